#pragma once
// The control's list of files: items in the order the page added them (the
// positions are the scripting Index values) plus a uniqueness index on
// (UrlKey, FileNameKey), so no two items share both keys.
//
// Threads: GUI thread only. The engine works on a Copy, never on the list.
#include <cstddef>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "model/FileItem.h"

namespace pullbay::model {

class FileList {
public:
    // Appends the item unless one with the same keys is listed; true when
    // it was added. A null item throws ArgumentNullPointerException.
    bool Add(std::shared_ptr<FileItem> pItem);

    // True when a listed item has the same keys as item (item itself, when
    // listed, counts).
    bool ContainsEqual(const FileItem& item) const;

    // Removes the item at the position; the ones behind move up. An index
    // not below Count throws ArgumentOutOfRangeException.
    void RemoveAt(std::size_t uintIndex);

    // Puts pItem in place of the item at the position. Callers test
    // ContainsEqual first; should pItem still clash with another listed
    // item, nothing changes and false is returned (the index stays sound).
    // Bad index or null item: as for RemoveAt and Add.
    bool ReplaceAt(std::size_t uintIndex, std::shared_ptr<FileItem> pItem);

    // Removes every item whose Checked is 0, keeping the order of the rest.
    // Linear in the length of the list.
    void DropUnchecked();

    void Clear();

    // The same shared items in list order, for the engine.
    std::vector<std::shared_ptr<FileItem>> Copy() const;

    std::size_t Count() const { return m_items.size(); }
    // Bad index: ArgumentOutOfRangeException.
    const std::shared_ptr<FileItem>& At(std::size_t uintIndex) const;

private:
    // The keys as they were when the item was listed: the index's order
    // never depends on an item that someone changes afterwards.
    struct Keys {
        std::wstring strUrlKey;
        std::wstring strFileNameKey;
    };
    struct KeyView {
        std::wstring_view strUrlKey;
        std::wstring_view strFileNameKey;
    };
    // UrlKey first, FileNameKey when the URL keys are equal. Only equality
    // matters to the callers, so comparing whole code points (wchar_t)
    // instead of UTF-16 units finds the same duplicates.
    struct KeysLess {
        using is_transparent = void;
        static KeyView View(const Keys& keys) { return {keys.strUrlKey, keys.strFileNameKey}; }
        static KeyView View(const KeyView& keys) { return keys; }
        template <typename Left, typename Right>
        bool operator()(const Left& left, const Right& right) const
        {
            const KeyView a = View(left);
            const KeyView b = View(right);
            const int intUrl = a.strUrlKey.compare(b.strUrlKey);
            return intUrl != 0 ? intUrl < 0 : a.strFileNameKey < b.strFileNameKey;
        }
    };
    using Index = std::set<Keys, KeysLess>;

    struct Entry {
        std::shared_ptr<FileItem> pItem;
        // Where the item's keys sit in m_index: removal needs no lookup.
        Index::iterator itKeys;
    };

    static KeyView KeysOf(const FileItem& item)
    {
        return {item.GetUrlKey(), item.GetFileNameKey()};
    }
    void CheckIndex(std::size_t uintIndex) const;

    Index m_index;
    std::vector<Entry> m_items;
};

}  // namespace pullbay::model
