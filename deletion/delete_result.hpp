#pragma once
// What one secure deletion did: the deletion routine and the Gutmann wiper
// answer it, and their callers decide from it what to report or record.
#include <cstdint>
#include <string>
#include <utility>

namespace kx::deletion {

enum class DeleteOutcome : std::uint8_t {
    Deleted,            // the content destroyed and the file removed
    KeptIni,            // a configuration file (".ini"): the plain mode keeps it
    DeferredIndexFile,  // an "index.dat" file: left for the cleaning run to empty
    LinkRemoved,        // a symbolic link removed itself; its target kept
    NameRemoved,        // one name of a file with other hard links removed; content kept
    Refused,            // left untouched; DeleteResult::refusal says why
    Failed,             // DeleteResult::failure says what failed
    Cancelled,          // a cancel stopped the wipe; the file stays, partly overwritten
    NothingThere,       // no entry of that name
};

/// Why an entry was refused.
enum class Refusal : std::uint8_t {
    None,
    Folder,         // a folder
    Device,         // a device, pipe or socket
    TemporaryName,  // the name files take while they are destroyed
};

struct DeleteResult {
    DeleteOutcome outcome = DeleteOutcome::NothingThere;
    Refusal refusal = Refusal::None;
    /// The file's size in bytes as looked at before its content was touched
    /// (Deleted, Cancelled); 0 otherwise.
    std::uint64_t size = 0;
    /// Failed: what failed, in the file layer's words.
    std::string failure;
    /// DeferredIndexFile: the lower-cased path, as the cleaning run records it.
    std::string indexFile;

    static DeleteResult of(DeleteOutcome what) {
        DeleteResult result;
        result.outcome = what;
        return result;
    }
    static DeleteResult refused(Refusal why) {
        DeleteResult result = of(DeleteOutcome::Refused);
        result.refusal = why;
        return result;
    }
    static DeleteResult failed(std::string what) {
        DeleteResult result = of(DeleteOutcome::Failed);
        result.failure = std::move(what);
        return result;
    }

    /// The bytes freed: the size of a deleted file, 0 for every other outcome
    /// (a cancelled wipe leaves its file in place).
    double bytesFreed() const {
        return outcome == DeleteOutcome::Deleted ? static_cast<double>(size) : 0.0;
    }
};

}  // namespace kx::deletion
