#pragma once
// What a file-list retrieval reports to its owner (the get-file-list dialog).
// Every call comes on the worker thread that runs the retrieval; the owner
// carries to the GUI thread whatever touches the list or the window. After
// FileListRetrieval::Cancel no call begins (see there for a call already
// under way).
#include <cstdint>
#include <string>

#include "engine/FileListBatch.h"

namespace pullbay::engine {

class IFileListSink {
public:
    // Results of Ended.
    static constexpr std::int32_t kResultComplete = 1;
    static constexpr std::int32_t kResultFailed = 2;

    virtual ~IFileListSink() = default;

    // The items and line errors of one chunk, in line order; never empty.
    // The owner adds the items to the list on the GUI thread in one
    // synchronous call, raising Error 103 (FileListBatch::kItemExistsText)
    // for each one the list refuses.
    virtual void AddBatch(FileListBatch batch) = 0;

    // The retrieval failed: code 201 (status 404), 202 (host not resolved)
    // or 200 (anything else); the description "Internal error code: " and
    // the transfer's error code; the last HTTP status, the error response's
    // text and the list URL. Ended(kResultFailed) follows.
    virtual void RetrievalFailed(std::int32_t intCode, std::wstring strDescription,
                                 std::int32_t intHttpStatus, std::wstring strResponseText,
                                 std::wstring strListUrl) = 0;

    // Bytes of the list received so far and the length the server declared
    // (0 when it declared none). Must not throw.
    virtual void Progress(std::int64_t intDone, std::int64_t intExpected) = 0;

    // The last call: kResultComplete once every line was delivered, or
    // kResultFailed.
    virtual void Ended(std::int32_t intResult) = 0;
};

}  // namespace pullbay::engine
