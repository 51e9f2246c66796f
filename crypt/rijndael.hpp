#pragma once
// The cipher component: encrypts and decrypts whole files with AES (keys of
// 256 or 128 bits derived from a password). Every call is synchronous; while
// it works it advances the progress bar it was given and yields to the
// message loop, so that a cancel can set StopIt during the run.
//
// The layout of the files it writes is described in crypt/sealed_format.hpp:
// a header, then the content in chunks each sealed with AES-GCM, so that a
// wrong password and any change to the file (a flipped byte, cut, appended,
// reordered) make DecryptFile answer false. Memory stays the same whatever
// the file's size: a few chunks of buffer plus scrypt's 128 MiB.
//
// Keys: scrypt of Password with a salt (the key cache of the cipher's context,
// crypt/key_cache.hpp, remembers them, so the costly derivation runs once per
// password and salt).
//  - EncryptFile seals every file of one instance (one run: frmAES makes a
//    new instance for every run) under one salt drawn for the instance, so a
//    folder run derives its key once and decrypting the folder later derives
//    it once too. Every file still has its own random nonce prefix. Sharing
//    the salt within a run costs nothing: the files of a run share the
//    password anyway, and guessing it for one file is guessing it for all.
//  - EncryptInPlace uses the one salt of its key cache (the thread's, for the
//    thread's life, in the component): the
//    scramble before deletion seals thousands of files with one password and
//    destroys them right after, and a salt that repeats across data about to
//    be destroyed protects nothing less.
// The public methods never throw; they answer false and say why in LastError,
// in the user's language.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "crypt/cipher_context.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/controls.hpp"

namespace kx::crypt {

/// How LastError begins (translated) when the input is no file of this program.
inline constexpr std::string_view kNotOurFile = platform::trMark(
    "keine von diesem Programm verschlüsselte Datei (oder ihr Kopf wurde verändert)");

class RijnDael {
  public:
    /// A cipher working on the context's machine with its keys.
    explicit RijnDael(CipherContext context);
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

    /// EncryptFile and DecryptFile: the output is on the disk, not only in
    /// the system's cache, before the method answers true. A caller about to
    /// remove InputFile needs that; one that keeps InputFile may clear it and
    /// leave the writing to the system, as copying tools do (a crash soon
    /// after may then lose the output, never the input). Output that
    /// replaces its own input (OutputFile = InputFile) is flushed before it
    /// takes the name; the folder is left to the system, as a crash then
    /// leaves the old file or the new one, each whole.
    bool FlushOutput = true;

    /// Set false before a run; set true to abort it: the running method
    /// returns false within one chunk.
    bool StopIt = false;
    /// Advance ProgressBar while working.
    bool ShowProgress = false;

    /// Overwrites InputFile's own blocks with its encrypted form (no new file
    /// is made, the file keeps its inode and grows by the header and one tag
    /// per chunk); true on success. Refused before a byte is written: a
    /// symbolic link anywhere in the path (its target stays untouched), a
    /// file with other hard links, a FIFO, socket or device, a read-only file.
    /// The chunks are sealed from the end of the file towards its start, so
    /// that no chunk is overwritten before it was read with one chunk of
    /// memory. Stopped (or failing) part-way, the file is left partly
    /// sealed, which cannot be undone; the answer is false then. The result
    /// decrypts with DecryptFile and the same Password and KeyBits, unless
    /// RandomKey is set.
    bool EncryptInPlace();

    /// EncryptInPlace only: seal with a key drawn at random for the key
    /// cache (the thread's, in the component) and never stored, whatever Password says; nobody,
    /// this program included, can decrypt the result. Meant for scrambling before deletion: a
    /// password written into the program would let anyone who recovers the blocks decrypt them with
    /// the program itself.
    bool RandomKey = false;

    /// Bytes per chunk of the files this instance writes: a power of two from
    /// 4 KiB to 16 MiB (else the encrypting methods answer false). Reading
    /// uses the chunk size the file's header names.
    std::uint32_t ChunkBytes = 1u << 20;

    /// Why the last method answered false, in one line; "" after success.
    std::string LastError;

    /// The bar to advance, by bytes, when ShowProgress is set.
    std::shared_ptr<platform::ui::ProgressBar> ProgressBar;

  private:
    CipherContext context_;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kx::crypt
