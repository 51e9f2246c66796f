#pragma once
// The tracks `kolvanex demo` plants on a throw-away machine before it cleans
// it: what a few weeks of ordinary use leave behind in every category the
// cleaner knows, with a few files the user's exception list protects.
#include <string>
#include <vector>

namespace kx::host {

/// What the cleaning run should do with a planted file.
enum class Expect {
    Gone,     // deleted
    Kept,     // protected by an exception or a file type the cleaner never touches
    Emptied,  // still there, its content replaced (index files, filtered cookie files)
};

struct PlantedFile {
    std::string path;  // Windows path on the machine
    Expect expect;
};

struct PlantedTracks {
    std::vector<PlantedFile> files;
    /// Registry keys (below HKEY_CURRENT_USER) the run should remove or empty.
    std::vector<std::string> registryKeys;
};

/// Plants the tracks on the thread's machine and sets the options of a
/// thorough run (one overwrite pass, weekly junk search and recycle bin on,
/// no downloads). The machine needs a second fixed drive "E:" for the junk.
PlantedTracks plantDemoTracks();

}  // namespace kx::host
