#include "ui/ConfirmationRows.h"

#include <algorithm>
#include <vector>

namespace pullbay::ui {

namespace {

// The four texts of a row lie one after another in this order.
enum RowPart { kUrlPart = 0, kFileNamePart = 1, kFileSizeTextPart = 2, kMimeTypePart = 3 };

}  // namespace

// Blocks that never move once made, so a row's texts are found by their
// address; a new block is started when the next row does not fit. Growing
// one buffer instead would hold the old and the new copy at once while it
// moves: twice the texts of a million rows at the worst moment.
struct ConfirmationRows::Storage {
    static constexpr std::size_t kBlockBytes = 256 * 1024;

    std::vector<std::unique_ptr<unsigned char[]>> blocks;
    unsigned char* pFree = nullptr;
    std::size_t uintFreeBytes = 0;
    // Where each row's texts begin.
    std::vector<const unsigned char*> rowTexts;
    std::vector<bool> checked;

    unsigned char* Allocate(std::size_t uintBytes)
    {
        if (uintBytes > uintFreeBytes) {
            const std::size_t uintBlock = std::max(uintBytes, kBlockBytes);
            blocks.push_back(std::make_unique_for_overwrite<unsigned char[]>(uintBlock));
            pFree = blocks.back().get();
            uintFreeBytes = uintBlock;
        }
        unsigned char* pBytes = pFree;
        pFree += uintBytes;
        uintFreeBytes -= uintBytes;
        return pBytes;
    }
};

ConfirmationRows::ConfirmationRows() = default;

ConfirmationRows::ConfirmationRows(std::initializer_list<ConfirmationRow> rows)
{
    reserve(rows.size());
    for (const ConfirmationRow& row : rows) {
        push_back(row);
    }
}

ConfirmationRows::~ConfirmationRows() = default;
ConfirmationRows::ConfirmationRows(const ConfirmationRows&) = default;
ConfirmationRows& ConfirmationRows::operator=(const ConfirmationRows&) = default;
ConfirmationRows::ConfirmationRows(ConfirmationRows&&) noexcept = default;
ConfirmationRows& ConfirmationRows::operator=(ConfirmationRows&&) noexcept = default;

std::size_t ConfirmationRows::size() const
{
    return m_pStorage ? m_pStorage->rowTexts.size() : 0;
}

void ConfirmationRows::reserve(std::size_t uintRows)
{
    Storage& storage = Writable();
    storage.rowTexts.reserve(uintRows);
    storage.checked.reserve(uintRows);
}

void ConfirmationRows::push_back(const ConfirmationRow& row)
{
    AddTexts(std::wstring_view(row.strUrl), std::wstring_view(row.strFileName), row.strFileSizeText,
             std::wstring_view(row.strMimeType), row.bChecked);
}

void ConfirmationRows::Add(const core::CompactTextView& url, const core::CompactTextView& fileName,
                           std::wstring_view strFileSizeText, const core::CompactTextView& mimeType,
                           bool bChecked)
{
    AddTexts(url, fileName, strFileSizeText, mimeType, bChecked);
}

template <typename UrlText, typename FileNameText, typename MimeTypeText>
void ConfirmationRows::AddTexts(const UrlText& url, const FileNameText& fileName,
                                std::wstring_view strFileSizeText, const MimeTypeText& mimeType,
                                bool bChecked)
{
    Storage& storage = Writable();
    const std::size_t uintBytes = core::CompactTextSize(url) + core::CompactTextSize(fileName) +
                                  core::CompactTextSize(strFileSizeText) +
                                  core::CompactTextSize(mimeType);
    unsigned char* const pTexts = storage.Allocate(uintBytes);
    unsigned char* pOut = core::WriteCompactText(url, pTexts);
    pOut = core::WriteCompactText(fileName, pOut);
    pOut = core::WriteCompactText(strFileSizeText, pOut);
    core::WriteCompactText(mimeType, pOut);
    // A failure leaves the rows as they were (an unused piece of a block at
    // the worst).
    storage.rowTexts.push_back(pTexts);
    try {
        storage.checked.push_back(bChecked);
    } catch (...) {
        storage.rowTexts.pop_back();
        throw;
    }
}

ConfirmationRow ConfirmationRows::operator[](std::size_t uintRow) const
{
    const unsigned char* pText = m_pStorage->rowTexts[uintRow];
    ConfirmationRow row;
    row.strUrl = core::ReadCompactText(pText).Str();
    row.strFileName = core::ReadCompactText(pText).Str();
    row.strFileSizeText = core::ReadCompactText(pText).Str();
    row.strMimeType = core::ReadCompactText(pText).Str();
    row.bChecked = m_pStorage->checked[uintRow];
    return row;
}

core::CompactTextView ConfirmationRows::Url(std::size_t uintRow) const
{
    return Text(uintRow, kUrlPart);
}

core::CompactTextView ConfirmationRows::FileName(std::size_t uintRow) const
{
    return Text(uintRow, kFileNamePart);
}

core::CompactTextView ConfirmationRows::FileSizeText(std::size_t uintRow) const
{
    return Text(uintRow, kFileSizeTextPart);
}

core::CompactTextView ConfirmationRows::MimeType(std::size_t uintRow) const
{
    return Text(uintRow, kMimeTypePart);
}

bool ConfirmationRows::IsChecked(std::size_t uintRow) const
{
    return m_pStorage->checked[uintRow];
}

core::CompactTextView ConfirmationRows::Text(std::size_t uintRow, int intPart) const
{
    const unsigned char* pText = m_pStorage->rowTexts[uintRow];
    core::CompactTextView text = core::ReadCompactText(pText);
    for (int i = kUrlPart; i < intPart; ++i) {
        text = core::ReadCompactText(pText);
    }
    return text;
}

ConfirmationRows::Storage& ConfirmationRows::Writable()
{
    if (!m_pStorage) {
        m_pStorage = std::make_shared<Storage>();
    } else if (m_pStorage.use_count() > 1) {
        // Another copy reads these texts: this one gets its own.
        const Storage& shared = *m_pStorage;
        auto pOwn = std::make_shared<Storage>();
        pOwn->rowTexts.reserve(shared.rowTexts.capacity());
        pOwn->checked = shared.checked;
        for (const unsigned char* pTexts : shared.rowTexts) {
            const unsigned char* pEnd = pTexts;
            for (int i = kUrlPart; i <= kMimeTypePart; ++i) {
                core::ReadCompactText(pEnd);
            }
            const auto uintBytes = static_cast<std::size_t>(pEnd - pTexts);
            unsigned char* const pCopy = pOwn->Allocate(uintBytes);
            std::copy(pTexts, pEnd, pCopy);
            pOwn->rowTexts.push_back(pCopy);
        }
        m_pStorage = std::move(pOwn);
    }
    return *m_pStorage;
}

}  // namespace pullbay::ui
