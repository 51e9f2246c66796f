#include "cleaning/kept_record.hpp"
#include "facade/kolvanex.hpp"
#include "hosts/kolvanex/host.hpp"

namespace kx::host {

void refuseWinePrefix(const std::filesystem::path& prefix) {
    if (!platform::isWinePrefix(prefix))
        return;
    throw UsageError(
        prefix.string() +
        " is a Wine prefix (system.reg, user.reg, dosdevices). Kolvanex recognises it but does "
        "not work on it yet: its registry files and drives are neither read nor changed, and "
        "nothing is laid into it, so no command runs on it. What works is a machine of its "
        "own ('kolvanex machine init --prefix NEW_FOLDER'), into which 'kolvanex machine "
        "link-firefox' links your Firefox profile.");
}

Session::Session(const GlobalOptions& options, bool mustExist)
    : prefix_(options.prefix ? std::filesystem::path(*options.prefix)
                             : platform::Machine::defaultPrefix()) {
    refuseWinePrefix(prefix_);
    const bool exists = std::filesystem::exists(prefix_ / "machine.ini");
    if (!exists && (mustExist || options.prefix)) {
        throw UsageError("no machine at " + prefix_.string() +
                         " (create it with 'kolvanex machine init')");
    }
    if (exists) {
        auto opened = platform::Machine::open(prefix_);
        if (!opened)
            throw UsageError("cannot open the machine: " + opened.error().message);
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
        throw UsageError("no machine at " + prefix_.string());
    return *machine_;
}

}  // namespace kx::host
