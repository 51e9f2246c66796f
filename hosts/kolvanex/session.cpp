#include "cleaning/kept_record.hpp"
#include "facade/kolvanex.hpp"
#include "hosts/kolvanex/host.hpp"

namespace kx::host {

Session::Session(const GlobalOptions& options, bool mustExist)
    : prefix_(options.prefix ? std::filesystem::path(*options.prefix)
                             : platform::Machine::defaultPrefix()) {
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
