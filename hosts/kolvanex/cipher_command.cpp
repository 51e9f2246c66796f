// `kolvanex cipher encrypt|decrypt IN OUT [--key-file F] [--key-bits 256|128]
// [--sync]`: the cipher component on one file, as a file run of the suite
// runs it (through frmAES, so Ctrl+C stops it like closing the progress
// window). IN stays as it is, so OUT is left to the system's writing unless
// --sync asks for it to be on the disk before the command ends.
//
// IN and OUT are Windows paths of the machine ("C:\Daten\brief.txt"); a host
// path is refused with a hint rather than guessed at, because the component
// reaches files only through the machine's file layer (which never writes
// through links). The key file is a host file: it is the user's secret, not
// part of the machine.
#include <CLI/CLI.hpp>

#include <cctype>
#include <iostream>

#include "crypt/aes_holder.hpp"
#include "hosts/kolvanex/console_forms.hpp"
#include "hosts/kolvanex/host.hpp"
#include "services/progress.hpp"

namespace kx::host {
namespace {

struct CipherOptions {
    std::string direction;  // "encrypt" or "decrypt"
    std::string input;
    std::string output;
    std::optional<std::string> keyFile;
    int keyBits = 256;
    bool sync = false;
};

bool looksLikeWindowsPath(const std::string& path) {
    return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

int runCipher(const GlobalOptions& options, const CipherOptions& o) {
    for (const auto* path : {&o.input, &o.output}) {
        if (!looksLikeWindowsPath(*path)) {
            throw UsageError("'" + *path +
                             "' is no Windows path of the machine (write it as C:\\...; the "
                             "prefix's drive_c is C:)");
        }
    }
    const bool encrypt = o.direction == "encrypt";
    std::string key;
    try {
        key = o.keyFile ? keyFromFile(*o.keyFile) : keyFromUser(encrypt);
    } catch (const PromptInterrupted&) {
        return kExitCancelled;  // nothing started, the terminal as it was
    }
    if (key.empty())
        throw UsageError("an empty password protects nothing");

    Session session(options, true);
    bool ok = false;
    std::string why;
    {
        AesRun run;
        auto& cipher = run.cipher();
        cipher.KeyBits = o.keyBits;
        cipher.InputFile = o.input;
        cipher.OutputFile = o.output;
        cipher.FlushOutput = o.sync;
        cipher.Password = std::move(key);
        cipher.StopIt = false;
        if (!options.quiet) {
            // The progress window's bar: the console view draws it on a terminal.
            Status((encrypt ? "encrypt " : "decrypt ") + o.input + " -> " + o.output);
            if (const auto window = existingProgressWindow()) {
                cipher.ProgressBar = window->pbBar;
                cipher.ShowProgress = true;
            }
        }
        ok = encrypt ? cipher.EncryptFile() : cipher.DecryptFile();
        why = cipher.LastError;
        cipher.Password.assign(cipher.Password.size(), '\0');
    }
    if (!ok) {
        std::cerr << "kolvanex: " << o.direction << " failed: " << why << "\n";
        return kExitFailed;
    }
    return 0;
}

}  // namespace

void addCipherCommand(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto o = std::make_shared<CipherOptions>();
    auto* cipher = app.add_subcommand("cipher", "encrypt or decrypt one file with AES");
    cipher->add_option("direction", o->direction, "encrypt or decrypt")
        ->required()
        ->check(CLI::IsMember({"encrypt", "decrypt"}));
    cipher->add_option("IN", o->input, "the file to read (a Windows path of the machine)")
        ->required();
    cipher->add_option("OUT", o->output, "the file to write (a Windows path of the machine)")
        ->required();
    cipher->add_option("--key-file", o->keyFile,
                       "read the password from the first line of this (host) file "
                       "instead of the terminal");
    cipher->add_option("--key-bits", o->keyBits, "AES key length: 256 (files) or 128")
        ->check(CLI::IsMember({128, 256}));
    cipher->add_flag("--sync", o->sync,
                     "have OUT on the disk, not only in the system's cache, before ending "
                     "(before removing IN, for one)");
    cipher->footer(
        "Exit status 0 when the file was written, 1 when the cipher failed (wrong password,\n"
        "changed file, I/O error: nothing is written then), 2 on bad input.\n\n"
        "Example:\n"
        "  kolvanex cipher encrypt 'C:\\Daten\\brief.txt' 'C:\\Daten\\brief.aes'");
    cipher->callback([o, &options, &exitCode] { exitCode = runCipher(options, *o); });
}

}  // namespace kx::host
