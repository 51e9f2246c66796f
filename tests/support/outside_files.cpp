#include "support/outside_files.hpp"

#include "platform/files/files.hpp"

namespace kx::test {
namespace {

namespace fs = std::filesystem;
namespace files = platform::files;

constexpr const char* kWitnesses = "C:\\Zeugen\\";

}  // namespace

std::string_view plantName(Plant kind) {
    switch (kind) {
        case Plant::FileLink:
            return "sym_datei";
        case Plant::FolderLink:
            return "sym_ordner";
        case Plant::Dangling:
            return "sym_leer";
        case Plant::SelfLoop:
            return "schleife";
        case Plant::FolderLoop:
            return "kreis";
        case Plant::HardRO:
            return "hart_ro";
        case Plant::HardRW:
            return "hart_rw";
    }
    return "";
}

OutsideFiles::OutsideFiles(const TempMachine& tm) : outside_(tm.root() / "aussen") {
    tm.writeHostFile(outside_ / "rw.txt", kWritable);
    tm.writeHostFile(outside_ / "ro.txt", kReadOnly);
    tm.writeHostFile(outside_ / "ordner" / "drin.txt", kWritable);
    fs::permissions(outside_ / "ro.txt", fs::perms::owner_write | fs::perms::group_write,
                    fs::perm_options::remove);
    fs::create_directories(tm.host(kWitnesses));
    for (const auto* name : {"rw.txt", "ro.txt"})
        fs::create_hard_link(outside_ / name, tm.host(kWitnesses) / name);
    namespace attr = platform::fileattr;
    if (!files::setAttributes(std::string(kWitnesses) + "rw.txt", attr::Hidden) ||
        !files::setAttributes(std::string(kWitnesses) + "ro.txt", attr::ReadOnly | attr::System))
        throw std::runtime_error("cannot set the attributes of the files outside");
}

void OutsideFiles::plant(const fs::path& at, Plant kind) const {
    fs::create_directories(at.parent_path());
    switch (kind) {
        case Plant::FileLink:
            return fs::create_symlink(outside_ / "rw.txt", at);
        case Plant::FolderLink:
            return fs::create_directory_symlink(outside_ / "ordner", at);
        case Plant::Dangling:
            return fs::create_symlink(outside_ / "fehlt.txt", at);
        case Plant::SelfLoop:
            return fs::create_symlink(at.filename(), at);
        case Plant::FolderLoop:
            return fs::create_directory_symlink(".", at);
        case Plant::HardRO:
            return fs::create_hard_link(outside_ / "ro.txt", at);
        case Plant::HardRW:
            return fs::create_hard_link(outside_ / "rw.txt", at);
    }
}

void OutsideFiles::linkFolder(const fs::path& at) const {
    fs::remove_all(at);
    fs::create_directories(at.parent_path());
    fs::create_directory_symlink(outside_ / "ordner", at);
}

std::map<std::string, std::string> OutsideFiles::look() const {
    std::map<std::string, std::string> now;
    for (const auto& entry : fs::recursive_directory_iterator(outside_)) {
        auto& seen = now[fs::relative(entry.path(), outside_).string()];
        if (entry.is_regular_file())
            seen = TempMachine::readHostFile(entry.path()) + " " +
                   std::to_string(static_cast<int>(entry.status().permissions()));
    }
    for (const auto* name : {"rw.txt", "ro.txt"}) {
        const auto bits = files::attributes(std::string(kWitnesses) + name);
        now[name] += " " + (bits ? std::to_string(*bits) : std::string("?"));
    }
    return now;
}

}  // namespace kx::test
