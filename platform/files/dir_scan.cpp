#include "platform/files/dir_scan.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "platform/files/fs_fd.hpp"
#include "platform/runtime/error.hpp"
#include "platform/runtime/system_reason.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::platform {
namespace {

// One getdents64 call fills this much; a folder of a few thousand entries
// comes in with one system call.
constexpr std::size_t kBufferSize = 256 * 1024;

// Descriptors held for the folders on the current path. A deeper tree closes
// the shallowest ones and reopens them (without following links, checking
// they are still the same folder) when their remaining subfolders are due.
constexpr std::size_t kMaxOpenFrames = 64;

// Finished folders whose descriptors are closed together.
constexpr std::size_t kCloseTogether = 32;

constexpr int kOpenFolder = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The position ext4 gives the last entry of a listing read to its end. No
// entry of its own ever has it (hash positions stay below it, byte offsets
// far below), so a read ending there needs no further call to learn that
// nothing follows. Other file systems may use any position: their folders
// are always read until a call answers nothing.
constexpr std::int64_t kExt4ListingEnd = INT64_MAX;

// The failure to read the tree's root, named by its path when there is one.
Error rootError(int err, std::string_view folder = {}) {
    const std::uint32_t code =
        (err == EACCES || err == EPERM) ? Error::AccessDenied : Error::PathNotFound;
    const std::string reason = systemReason(err);
    return {code, folder.empty() ? trf("kann den Ordner nicht durchsuchen: {1}", {reason})
                                 : trf("kann {1} nicht durchsuchen: {2}", {folder, reason})};
}

class Walker {
  public:
    // `prefix` goes before every relative path (the folder's own path below
    // the tree's root when a part of the tree is walked on its own); `stop`,
    // when given and set, ends the walk early.
    Walker(const ScanCallback& onEntry, const ScanOptions& options, std::string_view prefix = {},
           const std::atomic<bool>* stop = nullptr)
        : onEntry_(onEntry),
          options_(options),
          buffer_(new char[kBufferSize]),
          stop_(stop),
          rel_(prefix) {}

    ~Walker() {
        closeDone();
        for (std::size_t i = 1; i < frames_.size(); ++i) closeFrame(i);
    }

    std::expected<ScanStats, Error> run(int rootFd) {
        auto listed = listRoot(rootFd);
        if (!listed)
            return std::unexpected(listed.error());
        return walkRest();
    }

    // Reads the root's own entries: its files are reported, its subfolders
    // wait for walkRest or takeSubfolders.
    std::expected<void, Error> listRoot(int rootFd) {
        struct stat st {};
        if (::fstat(rootFd, &st) != 0)
            return std::unexpected(rootError(errno));
        if (!S_ISDIR(st.st_mode))
            return std::unexpected(rootError(ENOTDIR));
        struct statfs fs {};
        const bool onExt4 = ::fstatfs(rootFd, &fs) == 0 && fs.f_type == EXT4_SUPER_MAGIC;
        frames_.push_back({rootFd, rel_.size(), {}, st.st_dev, st.st_ino, onExt4});
        if (!readFolder(rootFd, 0))
            return std::unexpected(rootError(errno));
        return {};
    }

    // The root's subfolders in the order walkRest would enter them; the
    // walker is left with nothing more to walk.
    std::vector<std::string> takeSubfolders() {
        std::vector<std::string> names;
        for (auto it = pending_.rbegin(); it != pending_.rend(); ++it)
            names.push_back(std::move(it->name));
        pending_.clear();
        return names;
    }

    std::size_t waitingSubfolders() const { return pending_.size(); }

    ScanStats walkRest() {
        while (!pending_.empty()) {
            if (stop_ != nullptr && stop_->load(std::memory_order_relaxed))
                break;
            Pending item = std::move(pending_.back());
            pending_.pop_back();
            leaveBelow(item.parentDepth);
            const int parentFd = frameFd(item.parentDepth);
            if (parentFd < 0) {
                ++stats_.skippedFolders;
                continue;
            }
            bool endMarked = frames_[item.parentDepth].endMarked;
            const int fd = openSubfolder(parentFd, item.name.c_str(), endMarked);
            if (fd < 0) {
                // EACCES: unreadable. ELOOP/ENOTDIR: the folder was swapped for a
                // link or file since it was listed; either way it is not entered.
                ++stats_.skippedFolders;
                continue;
            }
            const std::size_t parentLen = frames_[item.parentDepth].relLen;
            rel_.resize(parentLen);
            if (parentLen > 0)
                rel_.push_back(options_.separator);
            rel_.append(item.name);
            // Its identity is taken only should it have to be closed early.
            frames_.push_back({fd, rel_.size(), std::move(item.name), 0, 0, endMarked});
            ++openFrames_;
            limitOpenFrames();
            if (!readFolder(fd, frames_.size() - 1))
                ++stats_.skippedFolders;
        }
        return stats_;
    }

  private:
    struct Frame {
        int fd;              // -1 while closed to save descriptors
        std::size_t relLen;  // length of this folder's relative path in rel_
        std::string name;    // in its parent
        dev_t dev;           // identity: taken when the frame is closed early
        ino_t ino;
        bool endMarked;  // on ext4, reached without crossing a mount
    };
    struct Pending {
        std::string name;
        std::size_t parentDepth;
    };

    // Opens a subfolder as kOpenFolder does. Below an ext4 root it also
    // refuses to cross into another mount, so that `endMarked` stays true
    // only for folders of that same file system; a folder that is a mount
    // point is opened all the same, with `endMarked` false.
    int openSubfolder(int parentFd, const char* name, bool& endMarked) {
        if (endMarked && openat2Works_) {
            open_how how{};
            how.flags = static_cast<std::uint64_t>(kOpenFolder);
            how.resolve = RESOLVE_NO_XDEV;
            const long fd = ::syscall(SYS_openat2, parentFd, name, &how, sizeof how);
            if (fd >= 0)
                return static_cast<int>(fd);
            if (errno == ENOSYS || errno == EPERM)
                openat2Works_ = false;  // an old kernel or a filter refusing it
            else if (errno != EXDEV)
                return -1;
        }
        endMarked = false;
        return ::openat(parentFd, name, kOpenFolder);
    }

    void closeFrame(std::size_t depth) {
        if (depth > 0 && frames_[depth].fd >= 0) {
            ::close(frames_[depth].fd);
            frames_[depth].fd = -1;
            --openFrames_;
        }
    }

    // Closes the descriptors of finished folders. Descriptors are handed out
    // lowest first, so those of folders finished one after another mostly
    // form runs of consecutive numbers: each run goes with one call.
    void closeDone() {
        std::sort(done_.begin(), done_.end());
        for (std::size_t i = 0; i < done_.size();) {
            std::size_t j = i + 1;
            while (j < done_.size() && done_[j] == done_[j - 1] + 1) ++j;
            const auto first = static_cast<unsigned>(done_[i]);
            const auto last = static_cast<unsigned>(done_[j - 1]);
            if (j - i == 1 || ::close_range(first, last, 0) != 0) {
                for (std::size_t k = i; k < j; ++k) ::close(done_[k]);
            }
            i = j;
        }
        done_.clear();
    }

    // Drops the frames below `depth`: the walk has finished with them.
    void leaveBelow(std::size_t depth) {
        while (frames_.size() > depth + 1) {
            Frame& frame = frames_.back();
            if (frame.fd >= 0) {
                done_.push_back(frame.fd);
                --openFrames_;
            }
            frames_.pop_back();
        }
        if (done_.size() >= kCloseTogether)
            closeDone();
    }

    // Closes the shallowest open frames over the limit, noting first which
    // folder each is, so that reopening it can tell it from a stand-in.
    void limitOpenFrames() {
        for (std::size_t i = 1; openFrames_ > kMaxOpenFrames && i + 1 < frames_.size(); ++i) {
            Frame& frame = frames_[i];
            if (frame.fd < 0)
                continue;
            struct stat st {};
            if (::fstat(frame.fd, &st) == 0) {
                frame.dev = st.st_dev;
                frame.ino = st.st_ino;
            }  // else the reopen finds no folder of identity 0/0 and skips it
            closeFrame(i);
        }
    }

    // The descriptor of a frame, reopened from its nearest open ancestor when
    // it was closed. Each step refuses links and checks the folder's identity,
    // so a folder renamed or replaced meanwhile is not mistaken for it.
    int frameFd(std::size_t depth) {
        if (frames_[depth].fd >= 0)
            return frames_[depth].fd;
        std::size_t j = depth;
        while (frames_[j].fd < 0) --j;  // the root never closes
        int current = frames_[j].fd;
        fsfd::UniqueFd temp;
        for (std::size_t k = j + 1; k <= depth; ++k) {
            const int fd = ::openat(current, frames_[k].name.c_str(), kOpenFolder);
            if (fd < 0)
                return -1;
            struct stat st {};
            if (::fstat(fd, &st) != 0 || st.st_dev != frames_[k].dev ||
                st.st_ino != frames_[k].ino) {
                ::close(fd);
                return -1;
            }
            if (k < depth) {
                temp.reset(fd);
                current = fd;
            } else {
                frames_[depth].fd = fd;
                ++openFrames_;
            }
        }
        return frames_[depth].fd;
    }

    bool readFolder(int fd, std::size_t depth) {
        const std::size_t baseLen = frames_[depth].relLen;
        const bool checkSeparator = options_.separator != '/';
        for (;;) {
            const ssize_t n = ::getdents64(fd, buffer_.get(), kBufferSize);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            if (n == 0)
                return true;
            std::int64_t next = 0;
            for (ssize_t off = 0; off < n;) {
                const auto* e = reinterpret_cast<const struct dirent64*>(buffer_.get() + off);
                off += e->d_reclen;
                next = e->d_off;
                const char* name = e->d_name;
                if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
                    continue;
                }
                const std::size_t nameLen = std::strlen(name);
                if (checkSeparator && std::memchr(name, options_.separator, nameLen) != nullptr) {
                    ++stats_.unaddressable;
                    continue;
                }
                unsigned char type = e->d_type;
                if (type == DT_UNKNOWN) {
                    // Some file systems do not record types; only then a stat.
                    struct stat st {};
                    if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                        continue;  // gone
                    type = S_ISDIR(st.st_mode)   ? DT_DIR
                           : S_ISREG(st.st_mode) ? DT_REG
                           : S_ISLNK(st.st_mode) ? DT_LNK
                                                 : DT_FIFO;
                }
                rel_.resize(baseLen);
                if (baseLen > 0)
                    rel_.push_back(options_.separator);
                rel_.append(name, nameLen);
                switch (type) {
                    case DT_REG:
                        ++stats_.files;
                        onEntry_(rel_, EntryKind::File);
                        break;
                    case DT_DIR:
                        ++stats_.folders;
                        if (options_.reportFolders)
                            onEntry_(rel_, EntryKind::Folder);
                        pending_.push_back({std::string(name, nameLen), depth});
                        break;
                    case DT_LNK: {
                        struct stat target {};
                        if (::fstatat(fd, name, &target, 0) == 0 && S_ISDIR(target.st_mode)) {
                            ++stats_.folderLinks;
                            onEntry_(rel_, EntryKind::FolderLink);
                        } else {
                            ++stats_.links;
                            onEntry_(rel_, EntryKind::Link);
                        }
                        break;
                    }
                    default:
                        ++stats_.others;
                        onEntry_(rel_, EntryKind::Other);
                        break;
                }
            }
            if (frames_[depth].endMarked && next == kExt4ListingEnd)
                return true;
        }
    }

    const ScanCallback& onEntry_;
    const ScanOptions& options_;
    std::unique_ptr<char[]> buffer_;
    std::vector<Frame> frames_;
    std::vector<Pending> pending_;
    std::size_t openFrames_ = 0;
    std::vector<int> done_;  // descriptors of finished folders, still to close
    bool openat2Works_ = true;
    const std::atomic<bool>* stop_;
    std::string rel_;
    ScanStats stats_;
};

void addStats(ScanStats& into, const ScanStats& more) {
    into.files += more.files;
    into.folders += more.folders;
    into.links += more.links;
    into.folderLinks += more.folderLinks;
    into.others += more.others;
    into.skippedFolders += more.skippedFolders;
    into.unaddressable += more.unaddressable;
}

// The root's subfolders walked side by side, one walker per thread, each
// taking the next folder not yet taken. Reading folders is mostly the
// kernel's work, which runs on every processor at once. The entries still
// reach the callback on the calling thread and in the order of a walk by
// one walker: a folder walked out of turn is kept as records and handed
// over once every folder before it has been.
class SubfolderWalks {
  public:
    SubfolderWalks(int rootFd, std::vector<std::string> names, const ScanCallback& onEntry,
                   const ScanOptions& options)
        : rootFd_(rootFd), onEntry_(onEntry), options_(options), walks_(names.size()) {
        for (std::size_t i = 0; i < names.size(); ++i) walks_[i].name = std::move(names[i]);
    }

    ~SubfolderWalks() {
        // Also when the callback threw: the helpers end before what they use goes.
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        roomFreed_.notify_all();
        for (auto& helper : helpers_) helper.join();
    }

    ScanStats run(unsigned helperCount) {
        try {
            for (unsigned i = 0; i < helperCount; ++i)
                helpers_.emplace_back([this] { work(/*caller=*/false); });
        } catch (const std::system_error&) {
            // No thread to be had: the walk goes on with the ones it has.
        }
        work(/*caller=*/true);
        for (std::unique_lock lock(mutex_); handedOver_ < walks_.size();) {
            finished_.wait(lock, [this] { return walks_[handedOver_].done; });
            handOverDone(lock);
        }
        return stats_;
    }

  private:
    struct Walk {
        std::string name;
        std::string records;  // kind, length, path: entries kept for their turn
        ScanStats stats;
        std::exception_ptr failure;
        bool done = false;
    };

    // Takes folders until none is left. Only the calling thread (no helper)
    // hands entries to the callback, directly when the folder's turn has
    // come, and hands over the kept ones in between.
    void work(bool caller) {
        for (;;) {
            if (!caller) {
                // A caller slower than the walk would otherwise have the
                // whole tree kept in memory; the caller itself never waits.
                std::unique_lock lock(mutex_);
                roomFreed_.wait(lock, [this] { return kept_ < options_.keptBytes || stop_; });
            }
            const std::size_t i = next_.fetch_add(1);
            if (i >= walks_.size() || stop_)
                return;
            bool inTurn = false;
            if (caller) {
                std::unique_lock lock(mutex_);
                handOverDone(lock);
                inTurn = handedOver_ == i;
            }
            Walk& walk = walks_[i];
            if (inTurn) {
                walk.stats = walkOne(walk.name, onEntry_);
                std::unique_lock lock(mutex_);
                walk.done = true;
                addStats(stats_, walk.stats);
                ++handedOver_;
                continue;
            }
            try {
                walk.stats = walkOne(walk.name, [&walk](std::string_view rel, EntryKind kind) {
                    const auto length = static_cast<std::uint32_t>(rel.size());
                    walk.records.push_back(static_cast<char>(kind));
                    walk.records.append(reinterpret_cast<const char*>(&length), sizeof length);
                    walk.records.append(rel);
                });
            } catch (...) {
                walk.failure = std::current_exception();  // out of memory: told in turn
            }
            std::lock_guard lock(mutex_);
            walk.done = true;
            kept_ += walk.records.size();
            finished_.notify_all();
        }
    }

    ScanStats walkOne(const std::string& name, const ScanCallback& onEntry) {
        fsfd::UniqueFd fd(::openat(rootFd_, name.c_str(), kOpenFolder));
        if (fd.valid()) {
            Walker walker(onEntry, options_, name, &stop_);
            if (auto walked = walker.run(fd.get()))
                return *walked;
        }
        ScanStats skipped;  // swapped for a link or unreadable, as a folder below is
        ++skipped.skippedFolders;
        return skipped;
    }

    // Hands the kept entries of finished folders to the callback, in order,
    // as far as the folders before them are done.
    void handOverDone(std::unique_lock<std::mutex>& lock) {
        while (handedOver_ < walks_.size() && walks_[handedOver_].done) {
            Walk& walk = walks_[handedOver_];
            lock.unlock();
            if (walk.failure)
                std::rethrow_exception(walk.failure);
            const std::size_t size = walk.records.size();
            std::string_view rest = walk.records;
            while (!rest.empty()) {
                std::uint32_t length = 0;
                std::memcpy(&length, rest.data() + 1, sizeof length);
                onEntry_(rest.substr(1 + sizeof length, length),
                         static_cast<EntryKind>(rest.front()));
                rest.remove_prefix(1 + sizeof length + length);
            }
            std::string().swap(walk.records);
            lock.lock();
            addStats(stats_, walk.stats);
            ++handedOver_;
            kept_ -= size;
            roomFreed_.notify_all();
        }
    }

    const int rootFd_;
    const ScanCallback& onEntry_;
    const ScanOptions& options_;
    std::vector<Walk> walks_;
    std::vector<std::thread> helpers_;
    std::atomic<std::size_t> next_{0};
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable finished_;
    std::condition_variable roomFreed_;
    std::size_t kept_ = 0;        // bytes of records waiting for their turn
    std::size_t handedOver_ = 0;  // folders whose entries the callback has had
    ScanStats stats_;
};

}  // namespace

std::expected<ScanStats, Error> scanTreeAt(int rootFd, const ScanCallback& onEntry,
                                           const ScanOptions& options) {
    Walker walker(onEntry, options);
    auto listed = walker.listRoot(rootFd);
    if (!listed)
        return std::unexpected(listed.error());
    const unsigned processors = std::max(1U, std::thread::hardware_concurrency());
    const unsigned helpers = std::min(options.threads == 0 ? processors : options.threads, 4U) - 1;
    if (helpers == 0 || walker.waitingSubfolders() < 2)
        return walker.walkRest();
    auto subfolders = walker.takeSubfolders();
    ScanStats stats = walker.walkRest();  // nothing left to walk: the root's own counts
    SubfolderWalks walks(rootFd, std::move(subfolders), onEntry, options);
    addStats(stats, walks.run(helpers));
    return stats;
}

std::expected<ScanStats, Error> scanTree(const std::filesystem::path& root,
                                         const ScanCallback& onEntry, const ScanOptions& options) {
    fsfd::UniqueFd fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid())
        return std::unexpected(rootError(errno, root.string()));
    return scanTreeAt(fd.get(), onEntry, options);
}

std::expected<ScanStats, Error> scanWindowsTree(Machine& machine, std::string_view windowsRoot,
                                                const ScanCallback& onEntry,
                                                const ScanOptions& options) {
    auto host = machine.resolve(windowsRoot);
    KX_PROPAGATE(host);
    const auto links = machine.linkedFoldersBelow(windowsRoot);
    if (links.empty())
        return scanTree(*host, onEntry, options);

    // A linked folder below the root is walked in its place, as a folder of
    // the tree: the link standing there in the prefix is not reported (nor
    // anything below it, should it have been replaced by a folder).
    std::vector<std::string> places;
    for (const auto& link : links) {
        std::string place;
        for (const auto& part : link.relative) {
            if (!place.empty())
                place.push_back(options.separator);
            place += part;
        }
        places.push_back(std::move(place));
    }
    const auto isPlace = [&](std::string_view rel) {
        for (const auto& place : places) {
            if (rel.size() >= place.size() && winEqualNoCase(rel.substr(0, place.size()), place) &&
                (rel.size() == place.size() || rel[place.size()] == options.separator))
                return true;
        }
        return false;
    };
    auto stats = scanTree(
        *host,
        [&](std::string_view rel, EntryKind kind) {
            if (!isPlace(rel))
                onEntry(rel, kind);
        },
        options);
    if (!stats)
        return stats;
    for (std::size_t i = 0; i < links.size(); ++i) {
        const std::string& place = places[i];
        if (options.reportFolders)
            onEntry(place, EntryKind::Folder);
        std::string full;
        const auto inside = scanTree(
            links[i].hostFolder,
            [&](std::string_view rel, EntryKind kind) {
                full.assign(place).push_back(options.separator);
                full.append(rel);
                onEntry(full, kind);
            },
            options);
        if (!inside) {
            ++stats->skippedFolders;
            continue;
        }
        ++stats->folders;
        stats->files += inside->files;
        stats->folders += inside->folders;
        stats->links += inside->links;
        stats->folderLinks += inside->folderLinks;
        stats->others += inside->others;
        stats->skippedFolders += inside->skippedFolders;
        stats->unaddressable += inside->unaddressable;
    }
    return stats;
}

}  // namespace kx::platform
