// unique_fd.h: one owner per file descriptor, closed exactly once.
// Every descriptor the file-system layer opens lives in one of these, so an
// early return can never leak a descriptor or close a reused number twice.
#pragma once

#include <unistd.h>

#include <utility>

namespace reelkeep::fs {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueFd() { reset(); }

    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    int release() { return std::exchange(m_fd, -1); }
    // close() is not retried on EINTR: on Linux the descriptor is gone either way,
    // and a retry could close a number another thread has just been given.
    void reset(int fd = -1) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

}  // namespace reelkeep::fs
