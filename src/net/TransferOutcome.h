#pragma once
// What one transfer of a URL ended in, returned by WInetDownloader::Download:
// the caller looks at this value once the transfer has returned, instead of
// learning the end through callbacks.
#include <cstdint>
#include <optional>
#include <string>

namespace pullbay::net {

// What a 429 or 503 answer asked for when the transfer had a Retry-After
// limit (WInetDownloader::SetRetryAfter) and the answer ended it.
struct RetryAfterAnswer {
    enum class Kind {
        // No Retry-After, or none that could be read: failed at once.
        NoWait,
        // A wait beyond the limit: failed at once.
        BeyondLimit,
        // A wait within the limit, but no further attempt was left.
        NoAttemptLeft,
    };
    Kind kind = Kind::NoWait;
    // The wait asked for (not for NoWait).
    std::int64_t intSeconds = 0;
    std::uint32_t uintLimitSeconds = 0;
};

struct TransferOutcome {
    // The body arrived whole with status 200 (a validated tail counts as
    // the rest of the same body).
    bool bSucceeded = false;
    // The last status seen, 200 for a body continued by a 206; 0 when no
    // response arrived.
    int intHttpStatus = 0;
    // The transfer's error code (InternetErrors.h); 0 for a success and for
    // a status failure, whose status is the reason.
    std::int32_t intErrorCode = 0;
    // The body of an error response, as text (at most kMaxErrorTextBytes).
    std::wstring strResponseText;
    // Not 0 when a stop ended the transfer: the code that the stop
    // condition returned, or the one a callback's TransferVerdict carried.
    std::int32_t intStopCode = 0;
    // A callback threw: the transfer ended there, with no further attempt,
    // and the failure is recorded for the thread.
    bool bCallbackFailed = false;
    // Body bytes in place when the transfer ended (the position reached).
    std::int64_t intBytesWritten = 0;
    // The Content-Type of the last 200 response exactly as received.
    std::optional<std::wstring> strMimeType;
    // The validators of the first 200 response (empty: none sent).
    std::string strETag;
    std::string strLastModified;
    // Set when a 429 or 503 answer under a Retry-After limit was the last.
    std::optional<RetryAfterAnswer> retryAfter;
};

// A callback's answer: go on, or end the attempt or the whole transfer.
struct TransferVerdict {
    enum class Kind {
        Continue,
        // This attempt ends; a further attempt continues at the byte reached.
        EndAttempt,
        // The output failed: error 301, no further attempt.
        FileSystemFailure,
        // The transfer ends at once, with no further attempt; the outcome
        // carries intStopCode.
        EndTransfer,
    };
    Kind kind = Kind::Continue;
    std::int32_t intStopCode = 0;

    static TransferVerdict Continue() { return {}; }
    static TransferVerdict EndAttempt() { return {Kind::EndAttempt, 0}; }
    static TransferVerdict FileSystemFailure() { return {Kind::FileSystemFailure, 0}; }
    static TransferVerdict EndTransfer(std::int32_t intStopCode)
    {
        return {Kind::EndTransfer, intStopCode};
    }
};

}  // namespace pullbay::net
