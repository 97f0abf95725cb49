#pragma once
// How one file of a run ended, as a value. The engine gathers it from the
// file's steps (destination, temporary file, transfer, checks, commit) and
// maps it to the file's Result and events in one place.
#include <cstdint>
#include <string>

#include "core/Exception.h"
#include "net/TransferOutcome.h"

namespace pullbay::engine {

struct FileOutcome {
    enum class Kind {
        Success,
        Skipped,         // skip current or all, or Skip for a name that exists
        WrongMimeType,   // the server's type differs from the declared one
        WrongFileSize,   // the stored size differs from the declared one
        WriteError,      // a local file operation failed
        TransferFailed,  // the transfer failed (status or error code)
        // Anything else; its failure is recorded for the thread.
        Unclassified,
    };

    Kind kind = Kind::Success;
    // WriteError: the event's code (301 the temporary file, 302 the
    // destination), the text with local paths and the cause alone.
    std::int32_t intErrorCode = 0;
    std::wstring strText;
    std::wstring strReason;
    // TransferFailed: the transfer's outcome and, for a body that could not
    // be written (error 301), what the write reported, with paths and without.
    net::TransferOutcome transfer;
    std::wstring strWriteFailure;
    std::wstring strWriteFailureReason;

    static FileOutcome Of(Kind kind);
    // A local operation's failure: its message (or "An unexpected failure
    // occurred." when it has none) and its reason.
    static FileOutcome WriteError(std::int32_t intErrorCode, const core::Exception& cause);
    static FileOutcome WriteError(std::int32_t intErrorCode, std::wstring strText,
                                  std::wstring strReason);
    static FileOutcome TransferFailed(net::TransferOutcome transfer);

    // The description of a failed transfer: the decimal error code, ": " and
    // the transfer's text for it, which names an HTTP status (and the wait
    // a 429 or 503 asked for under a Retry-After limit). A body that
    // could not be written also gets what the write reported and the file
    // it went to (strTempPath; empty: not named), so that a full disk says
    // which one. bLocalPaths picks the write's report with paths.
    std::wstring TransferFailureText(bool bLocalPaths, const std::wstring& strTempPath) const;
};

}  // namespace pullbay::engine
