// CUniqueFd: sole owner of one file descriptor; closes it on destruction.
// Move-only. Not thread-safe: one owner thread at a time.
#pragma once

#include <unistd.h>

#include <utility>

class CUniqueFd {
public:
    CUniqueFd() = default;
    explicit CUniqueFd(int fd) noexcept : m_fd(fd) {}
    ~CUniqueFd() { Reset(); }
    CUniqueFd(CUniqueFd&& other) noexcept : m_fd(other.Release()) {}
    CUniqueFd& operator=(CUniqueFd&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    CUniqueFd(const CUniqueFd&) = delete;
    CUniqueFd& operator=(const CUniqueFd&) = delete;

    int Get() const noexcept { return m_fd; }
    bool IsValid() const noexcept { return m_fd >= 0; }
    // Closes the held descriptor (if any) and takes fd.
    void Reset(int fd = -1) noexcept {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = fd;
    }
    // Closes now and reports close(2)'s result; the descriptor is gone either way.
    int Close() noexcept {
        int result = m_fd >= 0 ? ::close(m_fd) : 0;
        m_fd = -1;
        return result;
    }
    // Gives the descriptor up without closing it.
    int Release() noexcept { return std::exchange(m_fd, -1); }

private:
    int m_fd = -1;
};
