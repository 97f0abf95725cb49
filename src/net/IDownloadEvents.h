#pragma once
// What one transfer reports to its user while it runs, on the thread that
// runs the transfer. The end is not reported here: Download returns it as a
// TransferOutcome. A callback answers with a TransferVerdict and should not
// throw; one that throws ends the transfer as a callback failure (the
// exception is recorded for the thread and goes no further).
#include <cstdint>
#include <string>

#include "net/TransferOutcome.h"

namespace pullbay::net {

class IDownloadEvents {
public:
    virtual ~IDownloadEvents() = default;

    // After every read, also after the last empty one: the body position
    // reached and the length the server declared (0 when it declared none).
    // 64-bit, so bodies above 2 GiB neither overflow nor wrap.
    virtual TransferVerdict DownloadProgress(std::int64_t intPosition,
                                             std::int64_t intDeclaredLength) = 0;
    // The Content-Type of a 200 response exactly as received, before any
    // body byte.
    virtual TransferVerdict MimeTypeAvailable(const std::wstring& strMimeType) = 0;
    // Just before the pause that precedes a further attempt.
    virtual void WaitingForReconnect() = 0;
};

}  // namespace pullbay::net
