#pragma once
// A file with the given contents in the temporary directory ($TMPDIR or
// /tmp), removed again when the object goes away. One thread at a time.
#include <string>

namespace pullbay::test {

class TempFile {
public:
    explicit TempFile(const std::string& strContents, const std::string& strSuffix = "");
    ~TempFile();
    TempFile(TempFile&& other) noexcept;
    TempFile& operator=(TempFile&& other) noexcept;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& Path() const { return m_strPath; }

private:
    std::string m_strPath;
};

}  // namespace pullbay::test
