#include "model/FileList.h"

#include <utility>

#include "core/Exceptions.h"
#include "core/ThrowSite.h"

namespace pullbay::model {

bool FileList::Add(std::shared_ptr<FileItem> pItem)
{
    if (pItem == nullptr) {
        PB_THROW(core::ArgumentNullPointerException, L"pItem");
    }
    const KeyView keys = KeysOf(*pItem);
    const auto itHint = m_index.lower_bound(keys);
    if (itHint != m_index.end() && !m_index.key_comp()(keys, *itHint)) {
        return false;
    }
    const auto itKeys = m_index.emplace_hint(
        itHint, Keys{std::wstring(keys.strUrlKey), std::wstring(keys.strFileNameKey)});
    try {
        m_items.push_back(Entry{std::move(pItem), itKeys});
    } catch (...) {
        m_index.erase(itKeys);
        throw;
    }
    return true;
}

bool FileList::ContainsEqual(const FileItem& item) const
{
    return m_index.find(KeysOf(item)) != m_index.end();
}

void FileList::RemoveAt(std::size_t uintIndex)
{
    CheckIndex(uintIndex);
    const auto itEntry = m_items.begin() + static_cast<std::ptrdiff_t>(uintIndex);
    m_index.erase(itEntry->itKeys);
    m_items.erase(itEntry);
}

bool FileList::ReplaceAt(std::size_t uintIndex, std::shared_ptr<FileItem> pItem)
{
    CheckIndex(uintIndex);
    if (pItem == nullptr) {
        PB_THROW(core::ArgumentNullPointerException, L"pItem");
    }
    Entry& entry = m_items[uintIndex];
    const KeyView keys = KeysOf(*pItem);
    const auto itFound = m_index.find(keys);
    if (itFound == entry.itKeys) {
        // Same keys as the item it replaces: the index entry stays.
        entry.pItem = std::move(pItem);
        return true;
    }
    if (itFound != m_index.end()) {
        return false;
    }
    const auto itKeys =
        m_index.emplace(Keys{std::wstring(keys.strUrlKey), std::wstring(keys.strFileNameKey)})
            .first;
    m_index.erase(entry.itKeys);
    entry.itKeys = itKeys;
    entry.pItem = std::move(pItem);
    return true;
}

void FileList::DropUnchecked()
{
    // One pass that compacts the kept entries in place; erasing an index
    // entry through its iterator costs amortised constant time.
    std::size_t uintKept = 0;
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i].pItem->GetChecked() == 0) {
            m_index.erase(m_items[i].itKeys);
            continue;
        }
        if (uintKept != i) {
            m_items[uintKept] = std::move(m_items[i]);
        }
        ++uintKept;
    }
    m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(uintKept), m_items.end());
}

void FileList::Clear()
{
    m_items.clear();
    m_index.clear();
}

std::vector<std::shared_ptr<FileItem>> FileList::Copy() const
{
    std::vector<std::shared_ptr<FileItem>> items;
    items.reserve(m_items.size());
    for (const Entry& entry : m_items) {
        items.push_back(entry.pItem);
    }
    return items;
}

const std::shared_ptr<FileItem>& FileList::At(std::size_t uintIndex) const
{
    CheckIndex(uintIndex);
    return m_items[uintIndex].pItem;
}

void FileList::CheckIndex(std::size_t uintIndex) const
{
    if (uintIndex >= m_items.size()) {
        PB_THROW(core::ArgumentOutOfRangeException, L"uintIndex");
    }
}

}  // namespace pullbay::model
