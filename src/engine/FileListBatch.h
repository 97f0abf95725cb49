#pragma once
// What one chunk of a file list gave, in line order: a new item per good line
// and an Error code with its description per bad one. Made on the worker,
// handed whole to the GUI thread, where the consumer adds the items to the
// list in order (a refused duplicate is its Error 103). A plain value: one
// thread at a time.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/FileItem.h"
#include "pullbay/Events.h"

namespace pullbay::engine {

struct FileListBatch {
    // Descriptions of the line errors that carry a fixed text.
    static constexpr const wchar_t* kInvalidFileSizeText = L"Invalid file size";
    static constexpr const wchar_t* kItemExistsText = L"Item already exists";

    struct Entry {
        // The new item; null for a line error.
        std::shared_ptr<model::FileItem> pItem;
        // 0 for an item, else api::ErrorCode::kBadListLine (100),
        // kNoAbsoluteUrl (101) or kInvalidArgument (102).
        std::int32_t intErrorCode = 0;
        // 100: the line as decoded; 101: the URL as far as it was resolved
        // and canonicalised; 102: kInvalidFileSizeText.
        std::wstring strDescription;

        bool IsItem() const { return pItem != nullptr; }

        static Entry Item(std::shared_ptr<model::FileItem> pNewItem)
        {
            return Entry{std::move(pNewItem), 0, {}};
        }
        static Entry Error(std::int32_t intCode, std::wstring strText)
        {
            return Entry{nullptr, intCode, std::move(strText)};
        }
    };

    std::vector<Entry> entries;

    bool Empty() const { return entries.empty(); }
};

}  // namespace pullbay::engine
