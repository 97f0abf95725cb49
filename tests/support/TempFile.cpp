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

void WriteAll(int fd, std::string_view data, const std::string& path)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = errno;
            ::close(fd);
            ::unlink(path.c_str());
            throw std::system_error(error, std::generic_category(), "writing " + path);
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
}

}  // namespace

TempFile::TempFile(const std::string& contents, const std::string& suffix)
{
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") +
                          "/pullbay-test-XXXXXX" + suffix;
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemps(name.data(), static_cast<int>(suffix.size()));
    if (fd < 0)
        throw std::system_error(errno, std::generic_category(), "creating a file like " + pattern);
    path_ = name.data();
    WriteAll(fd, contents, path_);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(path_.c_str());
        throw std::system_error(error, std::generic_category(), "closing " + path_);
    }
}

TempFile::~TempFile()
{
    if (!path_.empty())
        ::unlink(path_.c_str());
}

TempFile::TempFile(TempFile&& other) noexcept : path_(std::exchange(other.path_, {}))
{
}

TempFile& TempFile::operator=(TempFile&& other) noexcept
{
    if (this != &other) {
        if (!path_.empty())
            ::unlink(path_.c_str());
        path_ = std::exchange(other.path_, {});
    }
    return *this;
}

}  // namespace pullbay::test
