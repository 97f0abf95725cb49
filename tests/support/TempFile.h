#pragma once

#include <string>

namespace pullbay::test {

// A file with the given contents in the temporary directory ($TMPDIR or
// /tmp), removed again when the object goes away.
class TempFile {
public:
    explicit TempFile(const std::string& contents, const std::string& suffix = "");
    ~TempFile();
    TempFile(TempFile&& other) noexcept;
    TempFile& operator=(TempFile&& other) noexcept;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

}  // namespace pullbay::test
