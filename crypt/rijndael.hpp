#pragma once
// The cipher component: encrypts and decrypts whole files with AES (keys of
// 256 or 128 bits derived from a password). Every call is synchronous; while
// it works it advances the progress bar it was given and yields to the
// message loop, so that a cancel can set StopIt during the run.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/ui/controls.hpp"

namespace kx::crypt {

class RijnDael {
public:
    RijnDael();
    ~RijnDael();
    RijnDael(const RijnDael&) = delete;
    RijnDael& operator=(const RijnDael&) = delete;

    /// Key length in bits: 256 or 128.
    std::int32_t KeyBits = 256;
    /// The file written by EncryptFile and DecryptFile (not by EncryptInPlace).
    std::string OutputFile;
    /// The file read.
    std::string InputFile;
    /// The key text; reads back unchanged.
    std::string Password;

    /// Writes the encrypted form of InputFile to OutputFile; true on success.
    /// On failure (or when stopped) no output file is left behind.
    bool EncryptFile();
    /// Writes the plain form of InputFile to OutputFile; true only when the
    /// password matches and the file is whole and unchanged. On failure no
    /// output (not even a partial one) is left behind.
    bool DecryptFile();

    /// Set false before a run; set true to abort it: the running method
    /// returns false within one chunk.
    bool StopIt = false;
    /// Advance ProgressBar while working.
    bool ShowProgress = false;

    /// Overwrites InputFile's own blocks with its encrypted form (no new file
    /// is made); true on success.
    bool EncryptInPlace();

    /// The bar to advance, by bytes, when ShowProgress is set.
    std::shared_ptr<platform::ui::ProgressBar> ProgressBar;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kx::crypt
