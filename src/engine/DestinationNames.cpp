#include "engine/DestinationNames.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string_view>

#include "core/Exceptions.h"
#include "core/TextFormat.h"
#include "core/TextUnits.h"
#include "core/ThrowSite.h"
#include "core/Win32Errors.h"
#include "engine/CreateDownloadPathException.h"

namespace pullbay::engine {

namespace {

bool IsSeparator(wchar_t ch)
{
    return ch == L'/' || ch == L'\\';
}

// C0 controls, DEL and C1 controls: a name holding them rewrites a terminal
// that lists the folder (escape sequences, CR, BEL) and trips scripts.
bool IsControlCharacter(wchar_t ch)
{
    return (ch > 0 && ch <= 0x1F) || (ch >= 0x7F && ch <= 0x9F);
}

bool IsDotPart(std::wstring_view strPart)
{
    return strPart == L"." || strPart == L"..";
}

// A part that could name anything but one entry of its folder.
bool IsUnsafePart(std::wstring_view strPart)
{
    return strPart.empty() || IsDotPart(strPart) ||
           strPart.find_first_of(std::wstring_view(L"/\0", 2)) != std::wstring_view::npos;
}

std::wstring DecimalText(unsigned uintValue)
{
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, uintValue);
    return std::wstring(digits, result.ptr);
}

std::wstring CurrentDirectory()
{
    std::string buffer(256, '\0');
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size()) != nullptr) {
            buffer.resize(std::char_traits<char>::length(buffer.data()));
            return core::FromUtf8(buffer);
        }
        if (errno != ERANGE) {
            // Without a current directory a relative folder has no meaning.
            core::ThrowErrnoException(errno, L"Unable to read the current directory:");
        }
        buffer.resize(buffer.size() * 2);
    }
}

[[noreturn]] void ThrowInvalidName(const std::wstring& strFileName)
{
    const std::wstring strMessage =
        core::FormatText(core::kSystemTextBufferUnits, L"%s ('%s')",
                         {core::Win32ErrorText(core::kWin32InvalidName), strFileName});
    PB_THROW(core::InvalidNameException, strMessage.c_str());
}

// One level appended to a path; a part that would not name one entry of the
// folder is refused with the path it would give.
std::wstring AppendFolder(const std::wstring& strPath, const std::wstring& strPart)
{
    std::wstring strResult = JoinPath(strPath, strPart);
    if (IsUnsafePart(strPart)) {
        PB_THROW(core::AccessDeniedException, strResult.c_str());
    }
    return strResult;
}

}  // namespace

DestinationName SplitDestinationName(const std::wstring& strFileName)
{
    if (strFileName.find(L'\0') != std::wstring::npos) {
        ThrowInvalidName(strFileName);
    }
    DestinationName name;
    std::wstring strPart;
    for (wchar_t ch : strFileName) {
        if (!IsSeparator(ch)) {
            strPart += IsControlCharacter(ch) ? L'_' : ch;
        } else if (!strPart.empty()) {
            name.folders.push_back(std::move(strPart));
            strPart.clear();
        }
    }
    // Also a trailing separator leaves an empty last part: no file name.
    if (strPart.empty()) {
        ThrowInvalidName(strFileName);
    }
    if (IsDotPart(strPart)) {
        PB_THROW(core::AccessDeniedException, strFileName.c_str());
    }
    name.strFileName = std::move(strPart);
    return name;
}

std::wstring NormalizeDestinationFolder(const std::wstring& strFolder)
{
    std::wstring strResult = strFolder;
    while (strResult.size() > 1 && strResult.back() == L'/') {
        strResult.pop_back();
    }
    if (strResult.empty() || strResult.front() != L'/') {
        strResult = JoinPath(CurrentDirectory(), strResult);
        while (strResult.size() > 1 && strResult.back() == L'/') {
            strResult.pop_back();
        }
    }
    return strResult;
}

std::wstring JoinPath(const std::wstring& strFolder, const std::wstring& strName)
{
    if (strFolder.empty()) {
        return strName;
    }
    if (strFolder.back() == L'/') {
        return strFolder + strName;
    }
    return strFolder + L'/' + strName;
}

std::wstring DisplayPath(const std::wstring& strFolder, const std::wstring& strName)
{
    if (strName.empty()) {
        return strFolder;
    }
    return JoinPath(strFolder, strName);
}

bool PathEntryExists(const std::wstring& strPath)
{
    if (strPath.empty() || strPath.find(L'\0') != std::wstring::npos) {
        return false;
    }
    struct stat info {};
    return ::lstat(core::ToUtf8(strPath).c_str(), &info) == 0;
}

std::wstring JoinFolders(const std::wstring& strFolder, const std::vector<std::wstring>& parts)
{
    std::wstring strPath = strFolder;
    for (const std::wstring& strPart : parts) {
        strPath = AppendFolder(strPath, strPart);
    }
    return strPath;
}

std::wstring CreatePath(const std::wstring& strFolder, const std::vector<std::wstring>& parts)
{
    std::wstring strPath = strFolder;
    for (const std::wstring& strPart : parts) {
        strPath = AppendFolder(strPath, strPart);
        // A level is entered only as a real folder: a link there, even to a
        // folder, would lead outside the destination (the chosen folder
        // itself may be a link).
        const std::string strPathUtf8 = core::ToUtf8(strPath);
        struct stat info {};
        if (::lstat(strPathUtf8.c_str(), &info) == 0) {
            if (S_ISLNK(info.st_mode)) {
                PB_THROW(core::AccessDeniedException, strPath.c_str());
            }
            // A folder is entered; anything else fails at the next level.
            continue;
        }
        // Another thread or program may create the level in between: a
        // folder that is there after all is what was wanted.
        if (::mkdir(strPathUtf8.c_str(), S_IRWXU | S_IRWXG | S_IRWXO) != 0 &&
            !(errno == EEXIST && ::lstat(strPathUtf8.c_str(), &info) == 0 &&
              S_ISDIR(info.st_mode))) {
            CreateDownloadPathException failure(
                core::QualifiedFunctionName(__PRETTY_FUNCTION__).c_str(), PB_SOURCE_FILE, __LINE__,
                strPath.c_str());
            failure.SetReason(core::ErrnoText(errno));
            core::RecordAndThrow(failure);
        }
    }
    return strPath;
}

std::wstring MakeCopyName(const std::wstring& strFolder, const std::wstring& strName)
{
    std::wstring strCandidate = L"Copy of " + strName;
    // Ends: a folder holds finitely many entries.
    for (unsigned uintNumber = 2; PathEntryExists(JoinPath(strFolder, strCandidate));
         ++uintNumber) {
        strCandidate = L"Copy (" + DecimalText(uintNumber) + L") of " + strName;
    }
    return strCandidate;
}

}  // namespace pullbay::engine
