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
#include <termios.h>
#include <unistd.h>
#include <CLI/CLI.hpp>

#include <cctype>
#include <fstream>
#include <iostream>

#include "crypt/aes_holder.hpp"
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

// The first line of the key file, without its line end.
std::string keyFromFile(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw UsageError("cannot read the key file '" + file + "'");
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

// Echo off while the user types, and back on however the reading ends.
class NoEcho {
  public:
    NoEcho() : active_(::tcgetattr(STDIN_FILENO, &saved_) == 0) {
        if (active_) {
            termios quiet = saved_;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            active_ = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
        }
    }
    ~NoEcho() {
        if (active_)
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
    }
    NoEcho(const NoEcho&) = delete;
    NoEcho& operator=(const NoEcho&) = delete;

  private:
    termios saved_{};
    bool active_ = false;
};

std::string promptLine(const char* prompt) {
    std::cerr << prompt << std::flush;
    std::string line;
    {
        NoEcho noEcho;
        std::getline(std::cin, line);
    }
    std::cerr << "\n";
    return line;
}

// From the terminal without echo (twice when encrypting: a mistyped
// password would lock the file away for good), or the first line of
// standard input when that is no terminal.
std::string keyFromUser(bool confirm) {
    if (::isatty(STDIN_FILENO) != 1) {
        std::string line;
        std::getline(std::cin, line);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        return line;
    }
    std::string key = promptLine("Password: ");
    if (confirm && promptLine("Password again: ") != key)
        throw UsageError("the two passwords differ");
    return key;
}

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
    std::string key = o.keyFile ? keyFromFile(*o.keyFile) : keyFromUser(encrypt);
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
        "changed file, I/O error: nothing is written then), 2 on bad input.");
    cipher->callback([o, &options, &exitCode] { exitCode = runCipher(options, *o); });
}

}  // namespace kx::host
