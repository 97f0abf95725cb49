#pragma once
// Owns one POSIX file descriptor and closes it when it goes. Not shared
// between threads; the descriptor itself may be used from any thread.
#include <unistd.h>

#include <utility>

namespace pullbay::platform {

class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int hFile) : m_hFile(hFile) {}
    ~FileDescriptor() { Reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : m_hFile(std::exchange(other.m_hFile, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        if (this != &other) {
            Reset(std::exchange(other.m_hFile, -1));
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return m_hFile; }
    bool IsValid() const { return m_hFile >= 0; }

    // Gives up ownership without closing.
    int Release() { return std::exchange(m_hFile, -1); }

    void Reset(int hFile = -1)
    {
        if (m_hFile >= 0) {
            ::close(m_hFile);
        }
        m_hFile = hFile;
    }

private:
    int m_hFile = -1;
};

}  // namespace pullbay::platform
