#pragma once
// What one transfer reports to its user, on the thread that runs the
// transfer. Every callback may throw: the exception ends the transfer and
// passes out of WInetDownloader::Download after the handles are closed,
// except a core FileSystemException or AbortedException thrown by
// DownloadProgress, which the read loop takes as its own file-system failure
// or aborted attempt. Return values are ignored.
#include <cstdint>
#include <string>

#include "core/HResult.h"

namespace pullbay::net {

class IDownloadEvents {
public:
    virtual ~IDownloadEvents() = default;

    // After every read, also after the last empty one: the body position
    // reached and the length the server declared (0 when it declared none).
    // 64-bit, so bodies above 2 GiB neither overflow nor wrap.
    virtual HRESULT DownloadProgress(std::int64_t intPosition, std::int64_t intDeclaredLength) = 0;
    // Success: status 200 and an empty text.
    virtual HRESULT DownloadComplete(int intStatus, const wchar_t* strText) = 0;
    // Failure: last status (0 when none), an empty text, the response text
    // (the body of an error response) and the error code.
    virtual HRESULT ErrorOccured(int intStatus, const wchar_t* strText,
                                 const wchar_t* strResponseText, int intErrorCode) = 0;
    // The Content-Type of a 200 response exactly as received, before any
    // body byte.
    virtual HRESULT MimeTypeAvailable(std::wstring strMimeType) = 0;
    // Just before the pause that precedes a further attempt.
    virtual HRESULT WaitingForReconnect() = 0;
};

}  // namespace pullbay::net
