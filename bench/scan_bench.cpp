// scan_bench: times DirScanner::Scan on a tree inside a machine prefix.
//   scan_bench populate <prefix> <folders> <files> [root] [bytes] [junk-every]
//       lays out <root> (default C:\bench) with <folders> folders and <files>
//       files of <bytes> bytes (default 1) spread evenly over them; with
//       <junk-every> n, every n-th file gets a leftover's name (".bak",
//       ".tmp", "~..." and the like) for the weekly junk search to find
//   scan_bench scan <prefix> <windows-root>          scans and prints
//       "<count> <milliseconds>"
// run_scan_bench.sh times it beside find(1) on the same tree.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fsys/dir_scanner.hpp"
#include "platform/machine/machine.hpp"

namespace {

namespace pf = kx::platform;

int usage() {
    std::fprintf(stderr,
                 "usage: scan_bench populate <prefix> <folders> <files> [root] [bytes] "
                 "[junk-every]\n"
                 "       scan_bench scan <prefix> <windows-root>\n");
    return 2;
}

// Two levels: `top` folders with `sub` subfolders each, so that top * (1 +
// sub) == folders; every folder gets the same number of files.
int populate(const std::string& prefix, long folders, long files, const std::string& windowsRoot,
             long bytes, long junkEvery) {
    auto machine = pf::Machine::openOrCreate(prefix);
    if (!machine) {
        std::fprintf(stderr, "%s\n", machine.error().message.c_str());
        return 1;
    }
    auto root = (*machine)->resolve(windowsRoot);
    if (!root)
        return 1;
    const long top = 100;
    const long sub = folders / top - 1;
    const long perFolder = files / (top * (1 + sub));
    if (sub < 0 || perFolder < 1)
        return usage();
    std::error_code ec;
    std::filesystem::create_directories(*root, ec);
    static constexpr const char* kLeftovers[] = {".bak", ".tmp", ".old", ".dmp", ".gid", "._"};
    const std::string content(static_cast<std::size_t>(bytes), 'x');
    long made = 0;
    const auto fill = [&](const std::string& dir) {
        for (long f = 0; f < perFolder; ++f) {
            std::string file = dir + "/file" + std::to_string(f);
            file +=
                junkEvery > 0 && made % junkEvery == 0 ? kLeftovers[made / junkEvery % 6] : ".dat";
            const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (fd < 0)
                std::exit(1);
            (void)!::write(fd, content.data(), content.size());
            ::close(fd);
            ++made;
        }
    };
    for (long t = 0; t < top; ++t) {
        const std::string topDir = root->string() + "/Ordner" + std::to_string(t);
        ::mkdir(topDir.c_str(), 0755);
        fill(topDir);
        for (long s = 0; s < sub; ++s) {
            const std::string subDir = topDir + "/Unterordner" + std::to_string(s);
            ::mkdir(subDir.c_str(), 0755);
            fill(subDir);
        }
    }
    std::printf("%ld files in %ld folders below %s\n", made, top * (1 + sub), root->c_str());
    return 0;
}

int scan(const std::string& prefix, const std::string& windowsRoot) {
    auto machine = pf::Machine::open(prefix);
    if (!machine) {
        std::fprintf(stderr, "%s\n", machine.error().message.c_str());
        return 1;
    }
    pf::MachineScope scope(**machine);
    kx::fsys::DirScanner scanner;
    const auto start = std::chrono::steady_clock::now();
    const auto count = scanner.Scan(windowsRoot);
    const auto ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("%d %.1f\n", count, ms);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 5 && argc <= 8 && std::string(argv[1]) == "populate") {
        return populate(argv[2], std::atol(argv[3]), std::atol(argv[4]),
                        argc > 5 ? argv[5] : "C:\\bench", argc > 6 ? std::atol(argv[6]) : 1,
                        argc > 7 ? std::atol(argv[7]) : 0);
    }
    if (argc == 4 && std::string(argv[1]) == "scan")
        return scan(argv[2], argv[3]);
    return usage();
}
