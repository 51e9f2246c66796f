#pragma once
// The one failure every fallible platform call answers: the Win32 code the
// Windows function would report and a message for people.
#include <cstdint>
#include <expected>
#include <string>

namespace kx::platform {

struct Error {
    /// The Win32 code; 0 for a failure Windows has no code for (the cipher's).
    std::uint32_t code = 0;
    std::string message;

    // The Win32 codes the platform answers.
    static constexpr std::uint32_t NotFound = 2;           // ERROR_FILE_NOT_FOUND
    static constexpr std::uint32_t PathNotFound = 3;       // ERROR_PATH_NOT_FOUND
    static constexpr std::uint32_t AccessDenied = 5;       // ERROR_ACCESS_DENIED
    static constexpr std::uint32_t NotSameDevice = 17;     // ERROR_NOT_SAME_DEVICE
    static constexpr std::uint32_t NotReady = 21;          // ERROR_NOT_READY
    static constexpr std::uint32_t WriteFault = 29;        // ERROR_WRITE_FAULT
    static constexpr std::uint32_t ReadFault = 30;         // ERROR_READ_FAULT
    static constexpr std::uint32_t SharingViolation = 32;  // ERROR_SHARING_VIOLATION
    static constexpr std::uint32_t NotSupported = 50;      // ERROR_NOT_SUPPORTED
    static constexpr std::uint32_t DiskFull = 112;         // ERROR_DISK_FULL
    static constexpr std::uint32_t InvalidName = 123;      // ERROR_INVALID_NAME
    static constexpr std::uint32_t DirNotEmpty = 145;      // ERROR_DIR_NOT_EMPTY
    static constexpr std::uint32_t AlreadyExists = 183;    // ERROR_ALREADY_EXISTS
};

}  // namespace kx::platform

/// Hands a failed std::expected on to the caller: when `result` holds an
/// error, the enclosing function returns it (its own std::expected has the
/// same error type); otherwise the function goes on. `result` is evaluated once.
///     auto entry = statOf(machine, path, false);
///     KX_PROPAGATE(entry);
///     KX_PROPAGATE(validateConfig(config));
#define KX_PROPAGATE(result)                               \
    do {                                                   \
        if (auto&& kxPropagated = (result); !kxPropagated) \
            return std::unexpected(kxPropagated.error());  \
    } while (false)
