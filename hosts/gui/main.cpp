// kolvanex-gui: the engine under a Qt main window.
//
//   kolvanex-gui [--prefix DIR] [--title TITLE] [--on-top]
//   kolvanex-gui --screenshots DIR    every dialog as DIR/<form>.png, on a throw-away machine
//
// The machine is the one at the prefix (created on first use). The engine's
// forms appear through the Qt view; the engine runs on this, the GUI thread.
#include <stdlib.h>

#include <QApplication>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "facade/kolvanex.hpp"
#include "hosts/gui/gui.hpp"
#include "platform/machine/machine.hpp"
#include "platform/runtime/translation.hpp"
#include "views/qt/qt_services.hpp"

namespace {

namespace fs = std::filesystem;

struct Options {
    std::optional<fs::path> prefix;
    std::optional<std::string> title;
    bool onTop = false;
    std::optional<fs::path> screenshots;
};

constexpr std::string_view kUsage = kx::platform::trMark(
    "Aufruf: kolvanex-gui [--prefix ORDNER] [--title TITEL] [--on-top] [--screenshots ORDNER]\n");

std::optional<Options> parse(const QStringList& args) {
    Options o;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--on-top") {
            o.onTop = true;
        } else if (a == "--prefix" && hasValue) {
            o.prefix = args[++i].toStdString();
        } else if (a == "--title" && hasValue) {
            o.title = args[++i].toStdString();
        } else if (a == "--screenshots" && hasValue) {
            o.screenshots = args[++i].toStdString();
        } else {
            return std::nullopt;
        }
    }
    return o;
}

// A machine that lives only for the gallery: removed when the run ends.
struct ThrowAwayPrefix {
    fs::path path;
    ThrowAwayPrefix() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern =
            (tmp && *tmp ? std::string(tmp) : std::string("/tmp")) + "/kolvanex-gui-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot create a folder in " + pattern);
        path = fs::path(pattern) / "machine";
    }
    ~ThrowAwayPrefix() {
        std::error_code ignored;
        fs::remove_all(path.parent_path(), ignored);
    }
    ThrowAwayPrefix(const ThrowAwayPrefix&) = delete;
    ThrowAwayPrefix& operator=(const ThrowAwayPrefix&) = delete;
};

int run(const Options& o) {
    std::optional<ThrowAwayPrefix> scratch;
    if (o.screenshots)
        scratch.emplace();
    const fs::path prefix =
        scratch ? scratch->path : o.prefix.value_or(kx::platform::Machine::defaultPrefix());
    auto machine = kx::platform::Machine::openOrCreate(prefix);
    if (!machine) {
        std::cerr << "kolvanex-gui: "
                  << kx::platform::trf("der Rechner unter {1} lässt sich nicht öffnen: {2}",
                                       {prefix.string(), machine.error().message})
                  << "\n";
        return 1;
    }
    const kx::platform::MachineScope machineScope(**machine);
    const kx::views::QtEnvironment qt;

    kx::CKOLVANEX kolvanex;
    (void)kolvanex.KXAppPath("C:\\Programme\\Kolvanex");
    if (o.title)
        (void)kolvanex.KXAppTitle(*o.title);
    (void)kolvanex.gbFormsOnTop(o.onTop);

    if (o.screenshots)
        return kx::gui::renderGallery(*o.screenshots);
    kx::gui::MainWindow window;
    window.show();
    return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const auto options = parse(QApplication::arguments());
    if (!options) {
        std::cerr << kx::platform::tr(kUsage);
        return 2;
    }
    try {
        return run(*options);
    } catch (const std::exception& e) {
        std::cerr << "kolvanex-gui: " << e.what() << "\n";
        return 1;
    }
}
