#include "model/FileList.h"

#include <cstdint>
#include <random>
#include <utility>

#include "core/Exceptions.h"
#include "core/TextUnits.h"
#include "core/ThrowSite.h"

namespace pullbay::model {

namespace {

// 64-bit FNV-1a over the folded characters, then the text's length, so that
// the pair (URL, name) is hashed field by field and not as one joined text.
constexpr std::uint64_t kFnvOffset = 14695981039346656037ull;
constexpr std::uint64_t kFnvPrime = 1099511628211ull;

// The hash starts from a value drawn once per process and its bits are mixed
// at the end: a published list cannot be made offline of names that all fall
// into one bucket, which would make loading it quadratic.
std::uint64_t ProcessHashStart()
{
    static const std::uint64_t uintStart = [] {
        std::random_device device;
        return kFnvOffset ^ ((static_cast<std::uint64_t>(device()) << 32) | device());
    }();
    return uintStart;
}

// The final mix of MurmurHash3: every input bit reaches every output bit.
std::uint64_t Mixed(std::uint64_t uintHash)
{
    uintHash ^= uintHash >> 33;
    uintHash *= 0xff51afd7ed558ccdull;
    uintHash ^= uintHash >> 33;
    uintHash *= 0xc4ceb9fe1a85ec53ull;
    uintHash ^= uintHash >> 33;
    return uintHash;
}

std::uint64_t HashFolded(std::uint64_t uintHash, const core::CompactTextView& text)
{
    for (std::size_t i = 0; i < text.Length(); ++i) {
        uintHash ^= static_cast<std::uint32_t>(core::ToLowerAscii(text.At(i)));
        uintHash *= kFnvPrime;
    }
    uintHash ^= text.Length();
    uintHash *= kFnvPrime;
    return uintHash;
}

bool EqualsFolded(const core::CompactTextView& left, const core::CompactTextView& right)
{
    if (left.Length() != right.Length()) {
        return false;
    }
    // From the end: the URLs of one list mostly share their beginning.
    for (std::size_t i = left.Length(); i-- > 0;) {
        if (core::ToLowerAscii(left.At(i)) != core::ToLowerAscii(right.At(i))) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::size_t FileList::KeysHash::operator()(const FileItem* pItem) const
{
    return static_cast<std::size_t>(
        Mixed(HashFolded(HashFolded(ProcessHashStart(), pItem->UrlText()), pItem->FileNameText())));
}

bool FileList::KeysEqual::operator()(const FileItem* pLeft, const FileItem* pRight) const
{
    return pLeft == pRight || (EqualsFolded(pLeft->UrlText(), pRight->UrlText()) &&
                               EqualsFolded(pLeft->FileNameText(), pRight->FileNameText()));
}

bool FileList::Add(std::shared_ptr<FileItem> pItem)
{
    if (pItem == nullptr) {
        PB_THROW(core::ArgumentNullPointerException, L"pItem");
    }
    const auto [itKeys, bInserted] = m_index.insert(pItem.get());
    if (!bInserted) {
        return false;
    }
    try {
        m_items.push_back(std::move(pItem));
    } catch (...) {
        m_index.erase(itKeys);
        throw;
    }
    return true;
}

bool FileList::ContainsEqual(const FileItem& item) const
{
    return m_index.find(&item) != m_index.end();
}

void FileList::RemoveAt(std::size_t uintIndex)
{
    CheckIndex(uintIndex);
    const auto itItem = m_items.begin() + static_cast<std::ptrdiff_t>(uintIndex);
    // The listed item is the only one with its keys: erasing them erases it.
    m_index.erase(itItem->get());
    m_items.erase(itItem);
}

bool FileList::ReplaceAt(std::size_t uintIndex, std::shared_ptr<FileItem> pItem)
{
    CheckIndex(uintIndex);
    if (pItem == nullptr) {
        PB_THROW(core::ArgumentNullPointerException, L"pItem");
    }
    std::shared_ptr<FileItem>& pListed = m_items[uintIndex];
    const auto itFound = m_index.find(pItem.get());
    if (itFound != m_index.end() && *itFound != pListed.get()) {
        return false;
    }
    if (itFound != m_index.end()) {
        // Same keys as the item it replaces: the entry now names the new one.
        auto node = m_index.extract(itFound);
        node.value() = pItem.get();
        m_index.insert(std::move(node));
    } else {
        m_index.insert(pItem.get());
        m_index.erase(pListed.get());
    }
    pListed = std::move(pItem);
    return true;
}

void FileList::DropUnchecked()
{
    // One pass that compacts the kept items in place.
    std::size_t uintKept = 0;
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i]->GetChecked() == 0) {
            m_index.erase(m_items[i].get());
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
    // Swapped out rather than cleared: clear() keeps the bucket array and
    // the vector's capacity, megabytes after a long list.
    Index().swap(m_index);
    std::vector<std::shared_ptr<FileItem>>().swap(m_items);
}

std::vector<std::shared_ptr<FileItem>> FileList::Copy() const
{
    return m_items;
}

const std::shared_ptr<FileItem>& FileList::At(std::size_t uintIndex) const
{
    CheckIndex(uintIndex);
    return m_items[uintIndex];
}

void FileList::CheckIndex(std::size_t uintIndex) const
{
    if (uintIndex >= m_items.size()) {
        PB_THROW(core::ArgumentOutOfRangeException, L"uintIndex");
    }
}

}  // namespace pullbay::model
