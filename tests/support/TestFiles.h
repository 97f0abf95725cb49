#pragma once
// Small helpers the end-to-end tests share: ASCII URLs as wide text, and a
// whole file read back for a byte-for-byte comparison.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace pullbay::test {

// For ASCII text such as the loopback server's URLs.
inline std::wstring Widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

inline std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace pullbay::test
