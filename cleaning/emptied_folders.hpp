#pragma once
// The files of the folders a run empties as a whole (Internet Explorer's
// cache and history, the recycle bins) and the blanking of index files.
// With safety deletion on, the emptying removes nothing plainly that holds a
// track: every file below such a folder first goes through the run's secure
// deletion, and an index file it leaves by its name is blanked before the
// emptying takes it away.
#include <string>
#include <string_view>

namespace kx::cleaning {

struct RunContext;

/// The first bytes of a blanked index file: 30 characters, two blanks before
/// the at sign.
inline constexpr std::string_view kIndexHeader = "Client UrlCache MMF Ver 5.2  @";

/// True when the run destroys its files securely: "Security" on, or the
/// Gutmann mode.
bool safetyDeletionOn(const RunContext& run);

/// A file a step removes whatever its name: destroyed with the run's
/// settings, its bytes counted. An index file is blanked in place instead
/// (the step removes it then); a configuration file or a leftover under the
/// deletion's temporary name, which the deletion leaves by its name, is
/// destroyed under another name. Links and hard-linked files lose only
/// their name.
void destroyRemovedFile(const RunContext& run, const std::string& path);

/// Before a step empties `folder` plainly: with safety deletion on, every
/// file below it (links as links, linked folders never entered) goes
/// through destroyRemovedFile. A folder that is missing,
/// a link, or one no cleaner may empty (fsys::isProtectedFolder) is not
/// entered. Answers false when a cancel stopped the files part-way: the
/// step must then not empty the folder, or the rest would go plainly.
bool destroyFilesBelow(const RunContext& run, const std::string& folder);

/// Writes the header followed by as many zero bytes as the file held over
/// an index file, in its own blocks, and counts the bytes written. A file
/// blanked already, or one that is not a file of its own (a link, a file
/// with other hard links, a read-only one), is left as it is. True when it
/// was blanked.
bool blankIndexFile(const RunContext& run, const std::string& path);

}  // namespace kx::cleaning
