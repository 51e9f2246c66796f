#pragma once
// File-descriptor plumbing shared by the file layer, the tree walk and the INI
// writer. Only platform/ includes this: it speaks POSIX.
#include <cerrno>
#include <cstddef>
#include <string_view>
#include <utility>

#include <unistd.h>

#include "platform/files/crash_points.hpp"

namespace kx::platform::fsfd {

/// Owns one descriptor; closes it once.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

  private:
    int fd_ = -1;
};

/// write(2) until everything is out; retries on EINTR and short writes.
/// Answers 0 or the errno of the failure.
inline int writeFully(int fd, std::string_view bytes) {
    files::beforeFileChange();
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

}  // namespace kx::platform::fsfd
