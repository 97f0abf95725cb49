#include "platform/shell/ItemIdList.h"

#include <sys/stat.h>

#include "core/TextUnits.h"
#include "platform/shell/UserDirectories.h"

namespace pullbay::platform::shell {

namespace {

constexpr std::size_t kLengthBytes = 2;
constexpr std::size_t kItemHeaderBytes = kLengthBytes + 1;

struct RawItem {
    std::uint8_t uintKind;
    std::string_view strName;
};

// Splits a list into its items, checking every length against the buffer
// and the size limit before anything is read.
std::optional<std::vector<RawItem>> SplitItems(const std::uint8_t* pList, std::size_t uintSize)
{
    if (pList == nullptr) {
        return std::nullopt;
    }
    std::vector<RawItem> items;
    std::size_t uintPos = 0;
    for (;;) {
        if (uintSize - uintPos < kLengthBytes) {
            return std::nullopt;
        }
        const std::size_t uintLength = static_cast<std::size_t>(pList[uintPos]) |
                                       (static_cast<std::size_t>(pList[uintPos + 1]) << 8);
        if (uintLength == 0) {
            return items;
        }
        if (uintLength < kItemHeaderBytes || uintLength > uintSize - uintPos ||
            uintPos + uintLength + kLengthBytes > ItemIdList::kMaxListBytes) {
            return std::nullopt;
        }
        items.push_back(
            {pList[uintPos + kLengthBytes],
             std::string_view(reinterpret_cast<const char*>(pList + uintPos + kItemHeaderBytes),
                              uintLength - kItemHeaderBytes)});
        uintPos += uintLength;
    }
}

bool IsValidUtf8(std::string_view strBytes)
{
    return core::ToUtf8(core::FromUtf8(strBytes)) == strBytes;
}

// A component that can stand in a path without changing its meaning.
bool IsValidComponent(std::string_view strName)
{
    return !strName.empty() && strName != "." && strName != ".." &&
           strName.find('/') == std::string_view::npos &&
           strName.find('\0') == std::string_view::npos && IsValidUtf8(strName);
}

class ListWriter {
public:
    // False when the item would take the list over the size limit.
    bool Add(ItemIdList::ItemKind kind, std::string_view strName)
    {
        const std::size_t uintLength = kItemHeaderBytes + strName.size();
        if (m_bytes.size() + uintLength + kLengthBytes > ItemIdList::kMaxListBytes) {
            return false;
        }
        AppendLength(uintLength);
        m_bytes.push_back(static_cast<std::uint8_t>(kind));
        m_bytes.insert(m_bytes.end(), strName.begin(), strName.end());
        return true;
    }

    ItemIdBytes Finish()
    {
        AppendLength(0);
        return std::move(m_bytes);
    }

private:
    void AppendLength(std::size_t uintLength)
    {
        m_bytes.push_back(static_cast<std::uint8_t>(uintLength & 0xFF));
        m_bytes.push_back(static_cast<std::uint8_t>((uintLength >> 8) & 0xFF));
    }

    ItemIdBytes m_bytes;
};

}  // namespace

ItemIdBytes ItemIdList::FromPath(std::wstring_view strAbsolutePath)
{
    if (strAbsolutePath.empty() || strAbsolutePath.front() != L'/' ||
        strAbsolutePath.find(L'\0') != std::wstring_view::npos) {
        return {};
    }
    std::vector<std::string> components;
    std::size_t uintStart = 0;
    while (uintStart <= strAbsolutePath.size()) {
        std::size_t uintEnd = strAbsolutePath.find(L'/', uintStart);
        if (uintEnd == std::wstring_view::npos) {
            uintEnd = strAbsolutePath.size();
        }
        const std::wstring_view strComponent =
            strAbsolutePath.substr(uintStart, uintEnd - uintStart);
        uintStart = uintEnd + 1;
        if (strComponent.empty() || strComponent == L".") {
            continue;
        }
        if (strComponent == L"..") {
            if (!components.empty()) {
                components.pop_back();
            }
            continue;
        }
        std::string strUtf8 = core::ToUtf8(strComponent);
        // A character without a UTF-8 form (a lone surrogate) would come
        // back as another name: refuse rather than name another folder.
        if (core::FromUtf8(strUtf8) != strComponent) {
            return {};
        }
        components.push_back(std::move(strUtf8));
    }

    ListWriter writer;
    if (!writer.Add(ItemKind::Root, {})) {
        return {};
    }
    for (const std::string& strComponent : components) {
        if (!writer.Add(ItemKind::Component, strComponent)) {
            return {};
        }
    }
    return writer.Finish();
}

ItemIdBytes ItemIdList::FromVirtualFolder(std::wstring_view strName)
{
    const std::string strUtf8 = core::ToUtf8(strName);
    if (!IsValidComponent(strUtf8)) {
        return {};
    }
    ListWriter writer;
    if (!writer.Add(ItemKind::Virtual, strUtf8)) {
        return {};
    }
    return writer.Finish();
}

std::optional<std::wstring> ItemIdList::ToPath(const std::uint8_t* pList, std::size_t uintSize)
{
    const std::optional<std::vector<RawItem>> items = SplitItems(pList, uintSize);
    if (!items || items->empty()) {
        return std::nullopt;
    }
    const RawItem& root = items->front();
    if (root.uintKind != static_cast<std::uint8_t>(ItemKind::Root) || !root.strName.empty()) {
        return std::nullopt;
    }
    if (items->size() == 1) {
        return std::wstring(L"/");
    }
    std::string strPath;
    for (std::size_t uintIndex = 1; uintIndex < items->size(); ++uintIndex) {
        const RawItem& item = (*items)[uintIndex];
        if (item.uintKind != static_cast<std::uint8_t>(ItemKind::Component) ||
            !IsValidComponent(item.strName)) {
            return std::nullopt;
        }
        strPath += '/';
        strPath += item.strName;
    }
    return core::FromUtf8(strPath);
}

std::optional<std::wstring> ItemIdList::ToPath(const ItemIdBytes& list)
{
    return ToPath(list.data(), list.size());
}

std::optional<std::wstring> ItemIdList::VirtualFolderName(const ItemIdBytes& list)
{
    const std::optional<std::vector<RawItem>> items = SplitItems(list.data(), list.size());
    if (!items || items->size() != 1 ||
        items->front().uintKind != static_cast<std::uint8_t>(ItemKind::Virtual) ||
        !IsValidComponent(items->front().strName)) {
        return std::nullopt;
    }
    return core::FromUtf8(items->front().strName);
}

bool ItemIdList::IsFileSystemFolder(const ItemIdBytes& list)
{
    return ToPath(list).has_value();
}

ItemIdBytes ItemIdList::ParseDisplayName(std::wstring_view strDisplayName)
{
    std::wstring strPath(strDisplayName);
    if (strPath == L"~" || strPath.starts_with(L"~/")) {
        const std::optional<std::wstring> strHome = UserDirectories::HomeDirectory();
        if (!strHome) {
            return {};
        }
        strPath = *strHome + strPath.substr(1);
    }
    ItemIdBytes list = FromPath(strPath);
    // The directory test runs on the normalised path, so the answer is the
    // folder that the list names.
    const std::optional<std::wstring> strNormalised = ToPath(list);
    if (!strNormalised) {
        return {};
    }
    struct stat status {};
    if (::stat(core::ToUtf8(*strNormalised).c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        return {};
    }
    return list;
}

}  // namespace pullbay::platform::shell
