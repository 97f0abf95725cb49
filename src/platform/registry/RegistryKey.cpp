#include "platform/registry/RegistryKey.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <limits>

#include "core/TextUnits.h"
#include "core/Win32Errors.h"
#include "platform/registry/RegistryData.h"
#include "platform/registry/RegistryFiles.h"
#include "platform/registry/RegistryNames.h"
#include "platform/registry/RegistryRecords.h"
#include "platform/registry/RegistryStore.h"

namespace pullbay::platform {

namespace {

constexpr std::uint32_t kWin32InvalidHandle = 6;
constexpr std::uint32_t kWin32InvalidData = 13;
constexpr std::uint32_t kWin32RegistryCorrupt = 1009;
constexpr const char* kKeyRecordName = ".key";

const HRESULT kNotFound = HResultFromWin32(core::kWin32FileNotFound);

HRESULT DuplicateDirectory(int hDirectory, FileDescriptor& duplicate)
{
    const int hCopy = ::fcntl(hDirectory, F_DUPFD_CLOEXEC, 0);
    if (hCopy < 0) {
        return HResultFromErrno(errno);
    }
    duplicate.Reset(hCopy);
    return S_OK;
}

HRESULT CheckLevels(const std::vector<std::wstring>& levels)
{
    for (const std::wstring& strLevel : levels) {
        const HRESULT hr = CheckRegistryKeyName(strLevel);
        if (Failed(hr)) {
            return hr;
        }
    }
    return S_OK;
}

// The name kept in a key's record; false when it has none.
bool ReadKeyName(int hKey, std::wstring& strName)
{
    std::vector<std::uint8_t> bytes;
    return Succeeded(ReadWholeFile(hKey, kKeyRecordName, bytes)) &&
           DecodeRegistryKeyRecord(bytes, strName);
}

// Opens one existing level below hParent.
HRESULT OpenKeyLevel(int hParent, std::wstring_view strName, const std::string& strEntry,
                     FileDescriptor& child)
{
    FileDescriptor opened;
    HRESULT hr = OpenDirectory(hParent, strEntry, opened);
    if (Failed(hr)) {
        return hr;
    }
    if (IsHashedRegistryEntryName(strEntry)) {
        // A shortened entry name may stand for another long name.
        std::wstring strStored;
        if (ReadKeyName(opened.Get(), strStored) &&
            !core::EqualsIgnoreAsciiCase(strStored, strName)) {
            return E_FAIL;
        }
    }
    child = std::move(opened);
    return S_OK;
}

// Creates one level: the key's folder and its record are made under a
// temporary name and renamed into place, so no reader ever sees a key
// without its record. When another writer created the key first, that key
// is opened.
HRESULT CreateKeyLevel(int hParent, std::wstring_view strName, const std::string& strEntry,
                       FileDescriptor& child)
{
    const std::string strTemporary = MakeTemporaryEntryName(".newkey-");
    if (::mkdirat(hParent, strTemporary.c_str(), 0700) != 0) {
        return HResultFromErrno(errno);
    }
    FileDescriptor created;
    HRESULT hr = OpenDirectory(hParent, strTemporary, created);
    if (Succeeded(hr)) {
        const std::vector<std::uint8_t> record = EncodeRegistryKeyRecord(strName);
        hr = WriteFileAtomically(created.Get(), kKeyRecordName, record);
    }
    if (Succeeded(hr) &&
        ::renameat(hParent, strTemporary.c_str(), hParent, strEntry.c_str()) != 0) {
        const int intErrno = errno;
        RemoveTree(hParent, strTemporary);
        if (intErrno == EEXIST || intErrno == ENOTEMPTY) {
            return OpenKeyLevel(hParent, strName, strEntry, child);
        }
        return HResultFromErrno(intErrno);
    }
    if (Failed(hr)) {
        RemoveTree(hParent, strTemporary);
        return hr;
    }
    hr = SyncDescriptor(hParent);
    if (Succeeded(hr)) {
        child = std::move(created);
    }
    return hr;
}

HRESULT OpenRootFolder(RegistryRoot root, bool bCreate, FileDescriptor& directory,
                       std::vector<std::wstring>& levels)
{
    std::filesystem::path folder;
    const HRESULT hr = GetRegistryRootFolder(bCreate, folder);
    if (Failed(hr)) {
        return hr;
    }
    directory.Reset(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!directory.IsValid()) {
        return HResultFromErrno(errno);
    }
    if (root == RegistryRoot::ClassesRoot) {
        levels.insert(levels.begin(), {L"Software", L"Classes"});
    }
    return S_OK;
}

// The value's record, checking that a shortened entry name is really the
// value asked for.
HRESULT ReadValueRecord(int hKey, std::wstring_view strName, const std::string& strEntry,
                        RegistryValueRecord& record)
{
    std::vector<std::uint8_t> bytes;
    const HRESULT hr = ReadWholeFile(hKey, strEntry, bytes);
    if (Failed(hr)) {
        return hr;
    }
    if (!DecodeRegistryValueRecord(bytes, record)) {
        return HResultFromWin32(kWin32RegistryCorrupt);
    }
    if (!core::EqualsIgnoreAsciiCase(record.strName, strName)) {
        return kNotFound;
    }
    return S_OK;
}

// The spelling a value keeps when it is written again: the one it was
// created with. E_FAIL when a shortened entry name already holds another
// value (a clash of the hash).
HRESULT StoredValueName(int hKey, std::wstring_view strName, const std::string& strEntry,
                        std::wstring& strStored)
{
    strStored.assign(strName);
    std::vector<std::uint8_t> bytes;
    RegistryValueRecord record;
    if (Failed(ReadWholeFile(hKey, strEntry, bytes)) || !DecodeRegistryValueRecord(bytes, record)) {
        return S_OK;
    }
    if (!core::EqualsIgnoreAsciiCase(record.strName, strName)) {
        return E_FAIL;
    }
    strStored = std::move(record.strName);
    return S_OK;
}

void SortNames(std::vector<std::wstring>& names)
{
    std::sort(names.begin(), names.end(), [](const std::wstring& left, const std::wstring& right) {
        return RegistryNameLess(left, right);
    });
}

}  // namespace

HRESULT RegistryKey::Open(RegistryRoot root, std::wstring_view strSubKey)
{
    return OpenFrom(root, strSubKey, false);
}

HRESULT RegistryKey::Open(const RegistryKey& parent, std::wstring_view strSubKey)
{
    return OpenFrom(parent, strSubKey, false);
}

HRESULT RegistryKey::Create(RegistryRoot root, std::wstring_view strSubKey)
{
    return OpenFrom(root, strSubKey, true);
}

HRESULT RegistryKey::Create(const RegistryKey& parent, std::wstring_view strSubKey)
{
    return OpenFrom(parent, strSubKey, true);
}

void RegistryKey::Close()
{
    m_directory.Reset();
}

HRESULT RegistryKey::OpenFrom(RegistryRoot root, std::wstring_view strSubKey, bool bCreate)
{
    std::vector<std::wstring> levels = SplitRegistryPath(strSubKey);
    HRESULT hr = CheckLevels(levels);
    if (Failed(hr)) {
        return hr;
    }
    FileDescriptor start;
    hr = OpenRootFolder(root, bCreate, start, levels);
    if (Failed(hr)) {
        return hr;
    }
    return OpenLevels(std::move(start), levels, bCreate);
}

HRESULT RegistryKey::OpenFrom(const RegistryKey& parent, std::wstring_view strSubKey, bool bCreate)
{
    if (!parent.IsOpen()) {
        return HResultFromWin32(kWin32InvalidHandle);
    }
    const std::vector<std::wstring> levels = SplitRegistryPath(strSubKey);
    HRESULT hr = CheckLevels(levels);
    if (Failed(hr)) {
        return hr;
    }
    FileDescriptor start;
    hr = DuplicateDirectory(parent.m_directory.Get(), start);
    if (Failed(hr)) {
        return hr;
    }
    return OpenLevels(std::move(start), levels, bCreate);
}

HRESULT RegistryKey::OpenLevels(FileDescriptor start, const std::vector<std::wstring>& levels,
                                bool bCreate)
{
    FileDescriptor current = std::move(start);
    for (const std::wstring& strLevel : levels) {
        const std::string strEntry = RegistryKeyEntryName(strLevel);
        FileDescriptor next;
        HRESULT hr = OpenKeyLevel(current.Get(), strLevel, strEntry, next);
        if (hr == kNotFound && bCreate) {
            hr = CreateKeyLevel(current.Get(), strLevel, strEntry, next);
        }
        if (Failed(hr)) {
            return hr;
        }
        current = std::move(next);
    }
    m_directory = std::move(current);
    return S_OK;
}

HRESULT RegistryKey::QueryValue(std::wstring_view strName, std::uint32_t& uintType,
                                std::vector<std::uint8_t>& data) const
{
    if (!IsOpen()) {
        return HResultFromWin32(kWin32InvalidHandle);
    }
    const HRESULT hr = CheckRegistryValueName(strName);
    if (Failed(hr)) {
        return hr;
    }
    RegistryValueRecord record;
    const HRESULT hrRead =
        ReadValueRecord(m_directory.Get(), strName, RegistryValueEntryName(strName), record);
    if (Failed(hrRead)) {
        return hrRead;
    }
    uintType = record.uintType;
    data = std::move(record.data);
    return S_OK;
}

HRESULT RegistryKey::SetValue(std::wstring_view strName, std::uint32_t uintType,
                              std::span<const std::uint8_t> data)
{
    if (!IsOpen()) {
        return HResultFromWin32(kWin32InvalidHandle);
    }
    HRESULT hr = CheckRegistryValueName(strName);
    if (Failed(hr)) {
        return hr;
    }
    if (data.size() > std::numeric_limits<std::uint32_t>::max()) {
        return E_INVALIDARG;
    }
    const std::string strEntry = RegistryValueEntryName(strName);
    std::wstring strStored;
    hr = StoredValueName(m_directory.Get(), strName, strEntry, strStored);
    if (Failed(hr)) {
        return hr;
    }
    const std::vector<std::uint8_t> record = EncodeRegistryValueRecord(strStored, uintType, data);
    return WriteFileAtomically(m_directory.Get(), strEntry, record);
}

HRESULT RegistryKey::QueryStringValue(std::wstring_view strName, std::wstring& strText) const
{
    std::uint32_t uintType = REG_NONE;
    std::vector<std::uint8_t> data;
    const HRESULT hr = QueryValue(strName, uintType, data);
    if (Failed(hr)) {
        return hr;
    }
    if (uintType != REG_SZ) {
        return HResultFromWin32(kWin32InvalidData);
    }
    strText = RegistryStringFromData(data);
    return S_OK;
}

HRESULT RegistryKey::SetStringValue(std::wstring_view strName, std::wstring_view strText)
{
    return SetValue(strName, REG_SZ, RegistryStringData(strText));
}

HRESULT RegistryKey::QueryDwordValue(std::wstring_view strName, std::uint32_t& uintValue) const
{
    std::uint32_t uintType = REG_NONE;
    std::vector<std::uint8_t> data;
    const HRESULT hr = QueryValue(strName, uintType, data);
    if (Failed(hr)) {
        return hr;
    }
    const std::optional<std::uint32_t> value = RegistryDwordFromData(data);
    if (uintType != REG_DWORD || !value) {
        return HResultFromWin32(kWin32InvalidData);
    }
    uintValue = *value;
    return S_OK;
}

HRESULT RegistryKey::SetDwordValue(std::wstring_view strName, std::uint32_t uintValue)
{
    return SetValue(strName, REG_DWORD, RegistryDwordData(uintValue));
}

HRESULT RegistryKey::DeleteValue(std::wstring_view strName)
{
    if (!IsOpen()) {
        return HResultFromWin32(kWin32InvalidHandle);
    }
    const HRESULT hr = CheckRegistryValueName(strName);
    if (Failed(hr)) {
        return hr;
    }
    const std::string strEntry = RegistryValueEntryName(strName);
    if (IsHashedRegistryEntryName(strEntry)) {
        RegistryValueRecord record;
        const HRESULT hrRead = ReadValueRecord(m_directory.Get(), strName, strEntry, record);
        if (Failed(hrRead)) {
            return hrRead;
        }
    }
    if (::unlinkat(m_directory.Get(), strEntry.c_str(), 0) != 0) {
        return HResultFromErrno(errno);
    }
    return SyncDescriptor(m_directory.Get());
}

HRESULT RegistryKey::DeleteSubKey(std::wstring_view strSubKey)
{
    if (!IsOpen()) {
        return HResultFromWin32(kWin32InvalidHandle);
    }
    std::vector<std::wstring> levels = SplitRegistryPath(strSubKey);
    if (levels.empty()) {
        return E_INVALIDARG;
    }
    HRESULT hr = CheckLevels(levels);
    if (Failed(hr)) {
        return hr;
    }
    const std::wstring strLast = levels.back();
    levels.pop_back();
    RegistryKey parent;
    FileDescriptor start;
    hr = DuplicateDirectory(m_directory.Get(), start);
    if (Succeeded(hr)) {
        hr = parent.OpenLevels(std::move(start), levels, false);
    }
    if (Failed(hr)) {
        return hr;
    }
    const int hParent = parent.m_directory.Get();
    const std::string strEntry = RegistryKeyEntryName(strLast);
    FileDescriptor doomed;
    hr = OpenKeyLevel(hParent, strLast, strEntry, doomed);
    if (Failed(hr)) {
        return hr;
    }
    doomed.Reset();
    // Renaming first makes the whole subtree vanish in one step; a crash
    // while the files are removed leaves only a hidden folder behind.
    const std::string strRemoved = MakeTemporaryEntryName(".deleted-");
    if (::renameat(hParent, strEntry.c_str(), hParent, strRemoved.c_str()) != 0) {
        return HResultFromErrno(errno);
    }
    hr = SyncDescriptor(hParent);
    RemoveTree(hParent, strRemoved);
    return hr;
}

HRESULT RegistryKey::EnumSubKeys(std::vector<std::wstring>& names) const
{
    if (!IsOpen()) {
        return HResultFromWin32(kWin32InvalidHandle);
    }
    std::vector<std::string> entries;
    const HRESULT hr = ListDirectory(m_directory.Get(), entries);
    if (Failed(hr)) {
        return hr;
    }
    std::vector<std::wstring> found;
    for (const std::string& strEntry : entries) {
        if (strEntry.front() == '.' || strEntry.front() == '=') {
            continue;
        }
        FileDescriptor subkey;
        if (Failed(OpenDirectory(m_directory.Get(), strEntry, subkey))) {
            continue;
        }
        std::wstring strName;
        if (!ReadKeyName(subkey.Get(), strName)) {
            // A folder made by hand: its file name is the best name there is.
            strName = core::FromUtf8(strEntry);
        }
        found.push_back(std::move(strName));
    }
    SortNames(found);
    names = std::move(found);
    return S_OK;
}

HRESULT RegistryKey::EnumValues(std::vector<std::wstring>& names) const
{
    if (!IsOpen()) {
        return HResultFromWin32(kWin32InvalidHandle);
    }
    std::vector<std::string> entries;
    const HRESULT hr = ListDirectory(m_directory.Get(), entries);
    if (Failed(hr)) {
        return hr;
    }
    std::vector<std::wstring> found;
    for (const std::string& strEntry : entries) {
        if (strEntry.front() != '=') {
            continue;
        }
        std::vector<std::uint8_t> bytes;
        RegistryValueRecord record;
        if (Succeeded(ReadWholeFile(m_directory.Get(), strEntry, bytes)) &&
            DecodeRegistryValueRecord(bytes, record)) {
            found.push_back(std::move(record.strName));
        }
    }
    SortNames(found);
    names = std::move(found);
    return S_OK;
}

}  // namespace pullbay::platform
