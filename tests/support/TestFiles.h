#pragma once
// Small helpers the end-to-end tests share: ASCII URLs as wide text, a
// whole file read back for a byte-for-byte comparison, and the temporary
// files left below a folder.
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

// Regular files anywhere below folder, without the controls' lock files
// ("*.lock", which live controls hold); 0 when the folder is missing.
inline int CountTemporaryFiles(const std::filesystem::path& folder)
{
    std::error_code error;
    int intCount = 0;
    for (std::filesystem::recursive_directory_iterator entry(folder, error), end;
         !error && entry != end; entry.increment(error)) {
        if (entry->is_regular_file() && entry->path().extension() != ".lock") {
            ++intCount;
        }
    }
    return intCount;
}

}  // namespace pullbay::test
