#pragma once
// The control's list of files: items in the order the page added them (the
// positions are the scripting Index values) plus a uniqueness index on
// (UrlKey, FileNameKey), so no two items share both keys.
//
// The index holds the listed items themselves and reads their keys in
// place: an item's URL and file name never change (a change is a new item
// that replaces it), so the index never holds a copy of them. A list of a
// million files keeps each text once.
//
// Threads: GUI thread only. The engine works on a Copy, never on the list.
#include <cstddef>
#include <memory>
#include <unordered_set>
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

    // Empties the list and gives back the memory it held.
    void Clear();

    // The same shared items in list order, for the engine.
    std::vector<std::shared_ptr<FileItem>> Copy() const;

    std::size_t Count() const { return m_items.size(); }
    // Bad index: ArgumentOutOfRangeException.
    const std::shared_ptr<FileItem>& At(std::size_t uintIndex) const;

private:
    // Items are equal when their URLs and their file names are, A-Z folded
    // (whole code points compared: only equality matters to the callers).
    struct KeysHash {
        // Not noexcept: the set then keeps each hash with its entry, which
        // costs no memory at this entry size and spares rehashing the texts.
        std::size_t operator()(const FileItem* pItem) const;
    };
    struct KeysEqual {
        bool operator()(const FileItem* pLeft, const FileItem* pRight) const;
    };
    using Index = std::unordered_set<const FileItem*, KeysHash, KeysEqual>;

    void CheckIndex(std::size_t uintIndex) const;

    Index m_index;
    std::vector<std::shared_ptr<FileItem>> m_items;
};

}  // namespace pullbay::model
