// `kolvanex cipher encrypt|decrypt IN [OUT | -o OUT] [--force] [--key-file F]
// [--key-bits 256|128] [--sync]`: the cipher component on one file, as a file
// run of the suite runs it (through frmAES, so Ctrl+C stops it like closing
// the progress window). IN stays as it is, so OUT is left to the system's
// writing unless --sync asks for it to be on the disk before the command ends.
//
// IN and OUT are Linux paths or Windows paths of the machine; "-" is standard
// input or output, staged in a private folder in memory (/dev/shm) where
// there is one, since the component works on files. An existing OUT is
// replaced only with --force, and never when it is IN itself (the same
// file, also through links or another hard link). The key file is read as
// given, a Linux or Windows path.
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <stdexcept>

#include "crypt/aes_holder.hpp"
#include "hosts/kolvanex/console_forms.hpp"
#include "hosts/kolvanex/host.hpp"
#include "hosts/kolvanex/terminal_progress.hpp"
#include "hosts/kolvanex/user_path.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/message_loop.hpp"
#include "services/progress.hpp"

namespace kx::host {

using platform::tr;
using platform::trf;

namespace {

namespace fs = std::filesystem;

struct CipherOptions {
    std::string direction;  // "encrypt" or "decrypt"
    std::string input;
    std::optional<std::string> output;
    std::optional<std::string> outputOption;  // -o
    std::optional<std::string> keyFile;
    int keyBits = 256;
    bool sync = false;
    bool force = false;
};

// A private folder for standard input or output, removed with what it holds;
// the files are overwritten before they go, as they may hold plain text.
class Staging {
  public:
    Staging() {
        std::error_code ec;
        const fs::path base = fs::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0
                                  ? fs::path("/dev/shm")
                                  : fs::temp_directory_path();
        std::string pattern = (base / "kolvanex-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error(
                trf("kann keinen privaten Ordner in {1} anlegen", {base.string()}));
        folder_ = pattern;
    }
    ~Staging() {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder_, ec)) {
            const auto size = fs::file_size(entry.path(), ec);
            if (std::ofstream out(entry.path(), std::ios::binary | std::ios::in); out && !ec) {
                static constexpr std::uintmax_t kBlock = 64 * 1024;
                const std::string zeros(kBlock, '\0');
                for (std::uintmax_t done = 0; done < size; done += kBlock)
                    out.write(zeros.data(),
                              static_cast<std::streamsize>(std::min(kBlock, size - done)));
            }
        }
        fs::remove_all(folder_, ec);
    }
    Staging(const Staging&) = delete;
    Staging& operator=(const Staging&) = delete;
    fs::path file(const char* name) const { return folder_ / name; }

  private:
    fs::path folder_;
};

// Standard input into a staged file, or a staged file to standard output.
void copyStaged(const fs::path& staged, bool fromStdin) {
    std::FILE* file = std::fopen(staged.c_str(), fromStdin ? "wb" : "rb");
    if (file == nullptr) {
        throw std::runtime_error(
            std::string(fromStdin ? tr("kann die Standardeingabe nicht zwischenspeichern")
                                  : tr("kann die Standardausgabe nicht zwischenspeichern")));
    }
    std::FILE* from = fromStdin ? stdin : file;
    std::FILE* to = fromStdin ? file : stdout;
    char buffer[64 * 1024];
    std::size_t n = 0;
    bool ok = true;
    while (ok && (n = std::fread(buffer, 1, sizeof buffer, from)) > 0)
        ok = std::fwrite(buffer, 1, n, to) == n;
    ok = ok && std::ferror(from) == 0 && std::fflush(to) == 0;
    std::fclose(file);
    if (!ok) {
        throw std::runtime_error(std::string(fromStdin
                                                 ? tr("kann die Standardeingabe nicht kopieren")
                                                 : tr("kann die Standardausgabe nicht kopieren")));
    }
}

// The same file: one device and inode, whatever names and links lead there.
bool sameFile(const fs::path& a, const fs::path& b) {
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool entryExists(const fs::path& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0;
}

int runCipher(const GlobalOptions& options, const CipherOptions& o) {
    if (o.output.has_value() == o.outputOption.has_value())
        throw UsageError(
            std::string(tr("nennen Sie die Ausgabe genau einmal: OUT oder -o OUT "
                           "(- für die Standardausgabe)")));
    const UserPath in(o.input);
    const UserPath out(o.output ? *o.output : *o.outputOption);
    if (in.isStdio() && !o.keyFile)
        throw UsageError(std::string(
            tr("liest die Eingabe von der Standardeingabe, kommt das Passwort aus --key-file")));
    const bool encrypt = o.direction == "encrypt";

    Session session(options, true);
    auto& machine = session.machine();
    // Both names are placed on the machine before anything is asked or written.
    std::optional<Staging> staging;
    if (in.isStdio() || out.isStdio())
        staging.emplace();
    const UserPath inFile = in.isStdio() ? UserPath(staging->file("in").string()) : in;
    const UserPath outFile = out.isStdio() ? UserPath(staging->file("out").string()) : out;
    const std::string inWindows = inFile.windows(machine);
    const std::string outWindows = outFile.windows(machine);
    if (!out.isStdio()) {
        const fs::path outHost = out.host(machine);
        if (!in.isStdio() && sameFile(in.host(machine), outHost))
            throw UsageError(
                trf("'{1}' ist die Eingabe selbst; nennen Sie eine andere Ausgabe", {out.given()}));
        if (entryExists(outHost) && !o.force)
            throw UsageError(
                trf("'{1}' existiert bereits; --force ersetzt die Datei", {out.given()}));
    }

    std::string key;
    try {
        key = o.keyFile ? keyFromFile(UserPath(*o.keyFile).host(machine).string())
                        : keyFromUser(encrypt);
    } catch (const PromptInterrupted&) {
        return kExitCancelled;  // nothing started, the terminal as it was
    }
    if (key.empty())
        throw UsageError(std::string(tr("ein leeres Passwort schützt nichts")));
    if (in.isStdio())
        copyStaged(staging->file("in"), true);

    bool ok = false;
    std::string why;
    {
        AesRun run;
        auto& cipher = run.cipher();
        cipher.KeyBits = o.keyBits;
        cipher.InputFile = inWindows;
        cipher.OutputFile = outWindows;
        cipher.FlushOutput = o.sync && !out.isStdio();
        cipher.Password = std::move(key);
        cipher.StopIt = false;
        TerminalProgress meter(options.quiet);
        std::optional<platform::ui::MessageLoop::SourceId> polling;
        if (!options.quiet)
            Status(encrypt ? trf("Verschlüsseln: {1} -> {2}", {in.given(), out.given()})
                           : trf("Entschlüsseln: {1} -> {2}", {in.given(), out.given()}));
        if (meter.drawn()) {
            // A bar of no window: the component moves it, the meter shows it.
            std::error_code ec;
            const auto total = fs::file_size(inFile.host(machine), ec);
            auto bar = std::make_shared<platform::ui::ProgressBar>("meter");
            cipher.ProgressBar = bar;
            cipher.ShowProgress = true;
            meter.begin(in.given(), ec ? 0 : total);
            polling = platform::ui::MessageLoop::current().addSource([&meter, bar, total] {
                const auto span = static_cast<std::uint64_t>(std::max(1, bar->max() - bar->min()));
                meter.advance(total * static_cast<std::uint64_t>(bar->value() - bar->min()) / span);
            });
        }
        ok = encrypt ? cipher.EncryptFile() : cipher.DecryptFile();
        if (polling)
            platform::ui::MessageLoop::current().removeSource(*polling);
        why = cipher.LastError;
        cipher.Password.assign(cipher.Password.size(), '\0');
    }
    if (!ok) {
        std::cerr << "kolvanex: "
                  << (encrypt ? trf("Verschlüsseln fehlgeschlagen: {1}", {why})
                              : trf("Entschlüsseln fehlgeschlagen: {1}", {why}))
                  << "\n";
        return kExitFailed;
    }
    if (out.isStdio())
        copyStaged(staging->file("out"), false);
    return 0;
}

}  // namespace

void addCipherCommand(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto o = std::make_shared<CipherOptions>();
    auto* cipher = app.add_subcommand(
        "cipher", std::string(tr("eine Datei mit AES verschlüsseln oder entschlüsseln")));
    cipher->add_option("direction", o->direction, std::string(tr("encrypt oder decrypt")))
        ->required()
        ->check(CLI::IsMember({"encrypt", "decrypt"}));
    cipher
        ->add_option("IN", o->input,
                     std::string(tr("die zu lesende Datei (Linux- oder Windows-Pfad, - für die "
                                    "Standardeingabe)")))
        ->required();
    cipher->add_option("OUT", o->output,
                       std::string(tr("die zu schreibende Datei (Linux- oder Windows-Pfad, - für "
                                      "die Standardausgabe)")));
    cipher->add_option("-o,--output", o->outputOption,
                       std::string(tr("die zu schreibende Datei, statt OUT")));
    cipher->add_flag("-f,--force", o->force, std::string(tr("ein vorhandenes OUT ersetzen")));
    cipher->add_option("--key-file", o->keyFile,
                       std::string(tr("das Passwort aus der ersten Zeile dieser Datei lesen statt "
                                      "vom Terminal")));
    cipher
        ->add_option("--key-bits", o->keyBits,
                     std::string(tr("AES-Schlüssellänge: 256 (Dateien) oder 128")))
        ->check(CLI::IsMember({128, 256}));
    cipher->add_flag("--sync", o->sync,
                     std::string(tr("OUT vor dem Ende auf die Platte bringen, nicht nur in den "
                                    "Cache des Systems (etwa bevor IN entfernt wird)")));
    cipher->footer(std::string(
        tr("Exit-Status 0, wenn die Datei geschrieben wurde, 1, wenn die Verschlüsselung\n"
           "scheiterte (falsches Passwort, veränderte Datei, E/A-Fehler: dann wird nichts\n"
           "geschrieben), 2 bei fehlerhafter Eingabe.\n\n"
           "Beispiel:\n"
           "  kolvanex cipher encrypt 'C:\\Daten\\brief.txt' 'C:\\Daten\\brief.aes'")));
    cipher->callback([o, &options, &exitCode] { exitCode = runCipher(options, *o); });
}

}  // namespace kx::host
