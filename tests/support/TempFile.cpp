#include "support/TempFile.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace pullbay::test {

namespace {

void WriteAll(int fd, std::string_view data, const std::string& strPath)
{
    while (!data.empty()) {
        const ssize_t intWritten = ::write(fd, data.data(), data.size());
        if (intWritten < 0 && errno == EINTR) {
            continue;
        }
        if (intWritten <= 0) {
            const int intError = errno;
            ::close(fd);
            ::unlink(strPath.c_str());
            throw std::system_error(intError, std::generic_category(), "writing " + strPath);
        }
        data.remove_prefix(static_cast<std::size_t>(intWritten));
    }
}

}  // namespace

TempFile::TempFile(const std::string& strContents, const std::string& strSuffix)
{
    const char* pDirectory = std::getenv("TMPDIR");
    const std::string strPattern =
        std::string(pDirectory != nullptr && *pDirectory != '\0' ? pDirectory : "/tmp") +
        "/pullbay-test-XXXXXX" + strSuffix;
    std::vector<char> name(strPattern.begin(), strPattern.end());
    name.push_back('\0');
    const int fd = ::mkstemps(name.data(), static_cast<int>(strSuffix.size()));
    if (fd < 0) {
        throw std::system_error(errno, std::generic_category(),
                                "creating a file like " + strPattern);
    }
    m_strPath = name.data();
    WriteAll(fd, strContents, m_strPath);
    if (::close(fd) != 0) {
        const int intError = errno;
        ::unlink(m_strPath.c_str());
        throw std::system_error(intError, std::generic_category(), "closing " + m_strPath);
    }
}

TempFile::~TempFile()
{
    if (!m_strPath.empty()) {
        ::unlink(m_strPath.c_str());
    }
}

TempFile::TempFile(TempFile&& other) noexcept : m_strPath(std::exchange(other.m_strPath, {}))
{
}

TempFile& TempFile::operator=(TempFile&& other) noexcept
{
    if (this != &other) {
        if (!m_strPath.empty()) {
            ::unlink(m_strPath.c_str());
        }
        m_strPath = std::exchange(other.m_strPath, {});
    }
    return *this;
}

}  // namespace pullbay::test
