#include "cleaning/kept_record.hpp"
#include "facade/kolvanex.hpp"
#include "hosts/kolvanex/host.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::host {

void refuseWinePrefix(const std::filesystem::path& prefix) {
    if (!platform::isWinePrefix(prefix))
        return;
    throw UsageError(platform::trf(
        "{1} ist ein Wine-Präfix (system.reg, user.reg, dosdevices). Kolvanex erkennt es, "
        "arbeitet aber noch nicht darauf: seine Registrierungsdateien und Laufwerke werden weder "
        "gelesen noch geändert, und nichts wird hineingelegt, also läuft kein Befehl darauf. Was "
        "geht, ist eine eigene Maschine ('kolvanex machine init --prefix NEW_FOLDER'), in die "
        "'kolvanex machine link-firefox' Ihr Firefox-Profil verknüpft.",
        {prefix.string()}));
}

Session::Session(const GlobalOptions& options, bool mustExist)
    : prefix_(options.prefix ? std::filesystem::path(*options.prefix)
                             : platform::Machine::defaultPrefix()) {
    refuseWinePrefix(prefix_);
    const bool exists = std::filesystem::exists(prefix_ / "machine.ini");
    if (!exists && (mustExist || options.prefix)) {
        throw UsageError(
            platform::trf("keine Maschine in {1} (legen Sie sie mit 'kolvanex machine init' an)",
                          {prefix_.string()}));
    }
    if (exists) {
        auto opened = platform::Machine::open(prefix_);
        if (!opened)
            throw UsageError(platform::trf("die Maschine kann nicht geöffnet werden: {1}",
                                           {opened.error().message}));
        machine_ = std::move(*opened);
        scope_ = std::make_unique<platform::MachineScope>(*machine_);
        // Files a cleaning run ended by a crash left hidden are given back.
        (void)cleaning::restoreAbandonedKeptFiles(*machine_);
        loadBrowserSettings(prefix_);
    }
    // The shared state is set through the public properties, as any host does.
    CKOLVANEX kolvanex;
    (void)kolvanex.KXAppPath(options.appPath.value_or(std::string(kProgramFolder)));
    if (options.title)
        (void)kolvanex.KXAppTitle(*options.title);
    (void)kolvanex.gbQuiet(options.quiet);
    (void)kolvanex.gbFormsOnTop(options.onTop);
}

Session::~Session() {
    try {
        if (machine_)
            storeBrowserSettings(prefix_);
    } catch (const std::exception&) {
        // Nothing to report to: the command has answered already.
    }
}

platform::Machine& Session::machine() {
    if (!machine_)
        throw UsageError(platform::trf("keine Maschine in {1}", {prefix_.string()}));
    return *machine_;
}

}  // namespace kx::host
