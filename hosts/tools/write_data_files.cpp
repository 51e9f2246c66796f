// kx-data-files DIR: writes the suite's data files (the proxy chain template,
// the ad filter, the zone and Flash registry files) into DIR, as they are
// installed into share/kolvanex for `kolvanex machine init` to copy from.
#include <filesystem>
#include <fstream>
#include <iostream>

#include "anonymity/shipped_files.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: kx-data-files DIR\n";
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    for (const auto& file : kx::anonymity::shippedFiles()) {
        std::ofstream out(folder / std::string(file.name), std::ios::binary | std::ios::trunc);
        out.write(file.text.data(), static_cast<std::streamsize>(file.text.size()));
        if (!out.flush()) {
            std::cerr << "kx-data-files: cannot write " << (folder / file.name).string() << "\n";
            return 1;
        }
    }
    return 0;
}
