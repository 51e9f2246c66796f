#pragma once
// Files written beside others without ever taking over a name that is in use:
// a fresh file created exclusively, and a file's content replaced so that a
// crash never leaves its name empty or half-written. Both work on the
// thread's current machine, never follow a link and never throw.
#include <string>
#include <string_view>

#include "platform/machine/machine.hpp"

namespace kx::fsys {

/// Creates a new, empty file in `folder` under the first name nothing has:
/// "<stem><ending>", then "<stem>1<ending>", "<stem>2<ending>", ... The file
/// is created exclusively, so a file of that name made meanwhile is never
/// taken over. Answers its path, "" when none could be made.
std::string createFreshFile(std::string_view folder, std::string_view stem,
                            std::string_view ending);

/// Moves the entry `path` to the first name of the series "<stem><ending>",
/// "<stem>1<ending>", ... in `folder` that nothing has, trying at most
/// `tries` names; a name in use is never replaced. Answers the new path, ""
/// when no move succeeded.
std::string moveToFreeName(platform::Machine& machine, std::string_view path,
                           std::string_view folder, std::string_view stem, std::string_view ending,
                           int tries);

/// Gives `path` the new content while the old one stays whole until the
/// caller destroys it: the new content is written and flushed under a fresh
/// name beside the file ("~<name>.tmp", "~<name>1.tmp", ...), and the two
/// names swap in one step (where the file system cannot, the file moves to
/// another such name and the new file takes its name). At no time, a crash
/// included, is the name empty or its content cut short. Answers where the
/// old file now is, for the caller to destroy; "" when nothing changed (the
/// file keeps its name and content, no file is left beside it).
std::string replaceKeepingOld(std::string_view path, std::string_view content);

}  // namespace kx::fsys
