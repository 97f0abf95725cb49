#pragma once
// What the download engine reports to its owner (the control), file by
// file. Every call comes on the engine's worker thread; the owner carries
// to the GUI thread whatever it must show there.
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "model/FileExistsDialogAction.h"
#include "model/FileItem.h"

namespace pullbay::engine {

class IDownloaderEvents {
public:
    virtual ~IDownloaderEvents() = default;

    // After every file, whatever became of it; page is empty.
    virtual void ItemComplete(const std::wstring& strPage,
                              const std::shared_ptr<model::FileItem>& pItem) = 0;
    virtual void Error(std::int32_t intCode, const std::wstring& strDescription,
                       std::int32_t intHttpCode, const std::wstring& strPage,
                       const std::wstring& strUrl, std::int32_t intIndex) = 0;
    // Files that skip-all ended before they started, the first of them at
    // intFirstIndex: each is reported as a skip Error followed by its
    // ItemComplete, in order, as if one call each had come. One call for
    // many files: a cancelled list of a million files must not cost two
    // hand-offs to the GUI thread per file.
    virtual void ItemsSkipped(std::span<const std::shared_ptr<model::FileItem>> items,
                              std::int32_t intFirstIndex) = 0;
    // Fractions from 0 to 1 of the current file and of the whole run.
    virtual void Progress(double dblItemFraction, double dblTotalFraction,
                          std::int32_t intIndex) = 0;
    // A file or folder already exists at the item's destination path.
    virtual model::FileExistsDialogAction FileExists(
        const std::shared_ptr<model::FileItem>& pItem) = 0;
};

}  // namespace pullbay::engine
