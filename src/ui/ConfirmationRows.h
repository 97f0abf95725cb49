#pragma once
// The rows of the confirmation dialog, one per file of the list, as one
// value. A list may hold a million files, so the rows keep their texts
// compact (core/CompactText.h) in large shared blocks: a copy shares them,
// and the request, the dialog's model and a host's presenter hold one set
// of texts between them. A row is copied out (ConfirmationRow) when asked
// for; a single text or the check flag can be read without that.
//
// Threads: a value, one thread at a time for each object. The shared texts
// never change: adding a row to rows that share them copies them first.
#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>

#include "core/CompactText.h"

namespace pullbay::ui {

// One file as the dialog shows it. bChecked is the item's Checked flag.
struct ConfirmationRow {
    std::wstring strUrl;
    std::wstring strFileName;
    std::wstring strFileSizeText;
    std::wstring strMimeType;
    bool bChecked = true;
};

class ConfirmationRows {
public:
    // Goes through the rows, each copied out as a ConfirmationRow.
    class Iterator {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = ConfirmationRow;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = ConfirmationRow;

        Iterator() = default;
        Iterator(const ConfirmationRows* pRows, std::size_t uintRow)
            : m_pRows(pRows), m_uintRow(uintRow)
        {
        }
        ConfirmationRow operator*() const { return (*m_pRows)[m_uintRow]; }
        Iterator& operator++()
        {
            ++m_uintRow;
            return *this;
        }
        Iterator operator++(int)
        {
            Iterator previous = *this;
            ++m_uintRow;
            return previous;
        }
        bool operator==(const Iterator& other) const { return m_uintRow == other.m_uintRow; }

    private:
        const ConfirmationRows* m_pRows = nullptr;
        std::size_t m_uintRow = 0;
    };

    ConfirmationRows();
    ConfirmationRows(std::initializer_list<ConfirmationRow> rows);
    ~ConfirmationRows();
    ConfirmationRows(const ConfirmationRows&);
    ConfirmationRows& operator=(const ConfirmationRows&);
    ConfirmationRows(ConfirmationRows&&) noexcept;
    ConfirmationRows& operator=(ConfirmationRows&&) noexcept;

    std::size_t size() const;
    bool empty() const { return size() == 0; }
    void reserve(std::size_t uintRows);

    void push_back(const ConfirmationRow& row);
    // A row from texts already kept compact (a file item's): their bytes
    // are copied as they stand.
    void Add(const core::CompactTextView& url, const core::CompactTextView& fileName,
             std::wstring_view strFileSizeText, const core::CompactTextView& mimeType,
             bool bChecked);

    // The row at the position, copied out; the position is below size().
    ConfirmationRow operator[](std::size_t uintRow) const;
    // One part of the row at the position (below size()), read in place.
    core::CompactTextView Url(std::size_t uintRow) const;
    core::CompactTextView FileName(std::size_t uintRow) const;
    core::CompactTextView FileSizeText(std::size_t uintRow) const;
    core::CompactTextView MimeType(std::size_t uintRow) const;
    bool IsChecked(std::size_t uintRow) const;

    Iterator begin() const { return Iterator(this, 0); }
    Iterator end() const { return Iterator(this, size()); }

private:
    struct Storage;

    // The storage, made or copied so that this object alone holds it.
    Storage& Writable();
    template <typename UrlText, typename FileNameText, typename MimeTypeText>
    void AddTexts(const UrlText& url, const FileNameText& fileName,
                  std::wstring_view strFileSizeText, const MimeTypeText& mimeType, bool bChecked);
    // The part of the row: 0 URL, 1 file name, 2 size text, 3 MIME type.
    core::CompactTextView Text(std::size_t uintRow, int intPart) const;

    // Null while there is no row.
    std::shared_ptr<Storage> m_pStorage;
};

}  // namespace pullbay::ui
