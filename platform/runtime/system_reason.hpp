#pragma once
// Why the system refused a call, in the user's language. The C library
// words its reasons in English here (the program leaves the C locale alone,
// so numbers and file names read the same everywhere); the common reasons
// have their German text in the catalogue, whose English is the library's
// own wording. Any other reason stays as the library gives it.
#include <string>
#include <system_error>

namespace kx::platform {

/// The reason for `err` (an errno value).
std::string systemReason(int err);

/// The reason for `ec`: its errno value when it is one of the system's, else
/// the code's own message.
std::string systemReason(const std::error_code& ec);

}  // namespace kx::platform
