#include "platform/shell/UserDirectories.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "core/TextUnits.h"

namespace pullbay::platform::shell {

namespace {

// The file is a few hundred bytes; anything far larger is not it.
constexpr std::size_t kMaxUserDirsBytes = 64 * 1024;

std::optional<std::string> AbsoluteEnvironmentPath(const char* strName)
{
    const char* strValue = std::getenv(strName);
    if (strValue == nullptr || strValue[0] != '/') {
        return std::nullopt;
    }
    return std::string(strValue);
}

std::optional<std::string> HomeBytes()
{
    if (std::optional<std::string> strHome = AbsoluteEnvironmentPath("HOME")) {
        return strHome;
    }
    long intBufferSize = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(intBufferSize > 0 ? static_cast<std::size_t>(intBufferSize) : 16384);
    passwd entry{};
    passwd* pResult = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &pResult) != 0 ||
        pResult == nullptr || pResult->pw_dir == nullptr || pResult->pw_dir[0] != '/') {
        return std::nullopt;
    }
    return std::string(pResult->pw_dir);
}

std::optional<std::string> ConfigHomeBytes()
{
    if (std::optional<std::string> strConfig = AbsoluteEnvironmentPath("XDG_CONFIG_HOME")) {
        return strConfig;
    }
    std::optional<std::string> strHome = HomeBytes();
    if (!strHome) {
        return std::nullopt;
    }
    return *strHome + "/.config";
}

std::optional<std::string> ReadSmallFile(const std::string& strPath)
{
    std::ifstream file(strPath, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::string strText;
    char buffer[4096];
    while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
        strText.append(buffer, static_cast<std::size_t>(file.gcount()));
        if (strText.size() > kMaxUserDirsBytes) {
            return std::nullopt;
        }
    }
    return strText;
}

void SkipBlanks(std::string_view& strLine)
{
    while (!strLine.empty() && (strLine.front() == ' ' || strLine.front() == '\t')) {
        strLine.remove_prefix(1);
    }
}

// One line of the file: KEY="value", with the value rules of
// FindUserDirsEntry. nullopt when the line is for another key or invalid.
std::optional<std::string> ParseLine(std::string_view strLine, std::string_view strKey,
                                     std::string_view strHome)
{
    SkipBlanks(strLine);
    if (!strLine.starts_with(strKey)) {
        return std::nullopt;
    }
    strLine.remove_prefix(strKey.size());
    SkipBlanks(strLine);
    if (!strLine.starts_with('=')) {
        return std::nullopt;
    }
    strLine.remove_prefix(1);
    SkipBlanks(strLine);
    if (!strLine.starts_with('"')) {
        return std::nullopt;
    }
    strLine.remove_prefix(1);

    std::string strValue;
    constexpr std::string_view kHome = "$HOME";
    if (strLine.starts_with(kHome)) {
        const std::string_view strRest = strLine.substr(kHome.size());
        if (!strRest.starts_with('/') && !strRest.starts_with('"')) {
            return std::nullopt;
        }
        strValue = strHome;
        strLine = strRest;
    } else if (!strLine.starts_with('/')) {
        return std::nullopt;
    }

    for (std::size_t uintIndex = 0; uintIndex < strLine.size(); ++uintIndex) {
        const char ch = strLine[uintIndex];
        if (ch == '"') {
            return strValue;
        }
        if (ch == '\\' && uintIndex + 1 < strLine.size()) {
            ++uintIndex;
        }
        strValue += strLine[uintIndex];
    }
    // No closing quote: the line was cut short.
    return std::nullopt;
}

}  // namespace

std::optional<std::wstring> UserDirectories::HomeDirectory()
{
    const std::optional<std::string> strHome = HomeBytes();
    if (!strHome) {
        return std::nullopt;
    }
    return core::FromUtf8(*strHome);
}

std::optional<std::wstring> UserDirectories::ConfigHome()
{
    const std::optional<std::string> strConfig = ConfigHomeBytes();
    if (!strConfig) {
        return std::nullopt;
    }
    return core::FromUtf8(*strConfig);
}

std::optional<std::wstring> UserDirectories::UserDirectory(std::string_view strKey,
                                                           std::wstring_view strDefaultName)
{
    const std::optional<std::string> strHome = HomeBytes();
    if (!strHome) {
        return std::nullopt;
    }
    if (const std::optional<std::string> strConfig = ConfigHomeBytes()) {
        if (const std::optional<std::string> strText =
                ReadSmallFile(*strConfig + "/user-dirs.dirs")) {
            if (std::optional<std::string> strEntry =
                    FindUserDirsEntry(*strText, strKey, *strHome)) {
                return core::FromUtf8(*strEntry);
            }
        }
    }
    return core::FromUtf8(*strHome) + L"/" + std::wstring(strDefaultName);
}

std::optional<std::string> UserDirectories::FindUserDirsEntry(std::string_view strText,
                                                              std::string_view strKey,
                                                              std::string_view strHome)
{
    std::optional<std::string> strFound;
    while (!strText.empty()) {
        const std::size_t uintEnd = strText.find('\n');
        const std::string_view strLine = strText.substr(0, uintEnd);
        strText.remove_prefix(uintEnd == std::string_view::npos ? strText.size() : uintEnd + 1);
        if (std::optional<std::string> strValue = ParseLine(strLine, strKey, strHome)) {
            strFound = std::move(strValue);
        }
    }
    return strFound;
}

}  // namespace pullbay::platform::shell
