#include "net/InternetErrors.h"

#include <charconv>

namespace pullbay::net {

namespace {

struct ErrorText {
    std::int32_t intCode;
    const wchar_t* strText;
};

constexpr ErrorText kErrorTexts[] = {
    {kErrorHttpStatus, L"The server answered the request with an error status."},
    {kErrorNotEnoughMemory, L"Not enough memory resources are available to process this command."},
    {kErrorDiskFull, L"There is not enough space on the disk."},
    {kErrorFileSystem, L"The file could not be written: the disk is full or cannot be written to."},
    {kInternetTimeout, L"The operation timed out."},
    {kInternetInternalError, L"An internal error has occurred."},
    {kInternetInvalidUrl, L"The URL is invalid."},
    {kInternetUnrecognizedScheme, L"The URL scheme could not be recognized or is not supported."},
    {kInternetNameNotResolved, L"The server name or address could not be resolved."},
    {kInternetOperationCancelled, L"The operation was canceled."},
    {kInternetCannotConnect, L"A connection with the server could not be established."},
    {kInternetConnectionAborted, L"The connection with the server was terminated abnormally."},
    {kInternetConnectionReset, L"The connection with the server was reset."},
    {kInternetSecCertDateInvalid,
     L"The server's security certificate has expired or is not yet valid."},
    {kInternetHttpsToHttpOnRedirect,
     L"The server redirected an https request to http: the redirection was refused."},
    {kInternetSecCertCnInvalid,
     L"The server's security certificate does not match the server name."},
    {kInternetInvalidCa,
     L"The server's security certificate was issued by an authority that is not trusted."},
    {kInternetSecCertErrors, L"The server's security certificate contains errors."},
    {kInternetSecurityChannelError,
     L"A secure connection with the server could not be established."},
    {kInternetSecCertRevoked, L"The server's security certificate has been revoked."},
    {kHttpInvalidServerResponse, L"The server returned an invalid or unrecognized response."},
    {kHttpRedirectFailed, L"The redirection failed: too many redirections or an invalid target."},
};

struct StatusReason {
    std::int32_t intStatus;
    const wchar_t* strReason;
};

constexpr StatusReason kStatusReasons[] = {
    {400, L"Bad Request"},
    {401, L"Unauthorized"},
    {403, L"Forbidden"},
    {404, L"Not Found"},
    {405, L"Method Not Allowed"},
    {407, L"Proxy Authentication Required"},
    {408, L"Request Timeout"},
    {410, L"Gone"},
    {416, L"Range Not Satisfiable"},
    {429, L"Too Many Requests"},
    {500, L"Internal Server Error"},
    {501, L"Not Implemented"},
    {502, L"Bad Gateway"},
    {503, L"Service Unavailable"},
    {504, L"Gateway Timeout"},
};

std::wstring DecimalText(std::int64_t intValue)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, intValue);
    return std::wstring(buffer, result.ptr);
}

}  // namespace

std::wstring HttpStatusReason(std::int32_t intStatus)
{
    for (const StatusReason& entry : kStatusReasons) {
        if (entry.intStatus == intStatus) {
            return entry.strReason;
        }
    }
    return std::wstring();
}

namespace {

// "The server answered the request with HTTP status 503 (Service
// Unavailable)", without the full stop.
std::wstring StatusText(std::int32_t intHttpStatus)
{
    std::wstring strText =
        L"The server answered the request with HTTP status " + DecimalText(intHttpStatus);
    const std::wstring strReason = HttpStatusReason(intHttpStatus);
    if (!strReason.empty()) {
        strText += L" (" + strReason + L")";
    }
    return strText;
}

std::wstring Seconds(std::int64_t intSeconds)
{
    return DecimalText(intSeconds) + (intSeconds == 1 ? L" second" : L" seconds");
}

}  // namespace

std::wstring TransferFailureText(std::int32_t intCode, std::int32_t intHttpStatus)
{
    if (intCode != kErrorHttpStatus || intHttpStatus == 0) {
        return InternetErrorText(intCode);
    }
    return StatusText(intHttpStatus) + L".";
}

std::wstring TransferFailureText(const TransferOutcome& outcome)
{
    if (outcome.intErrorCode != kErrorHttpStatus || outcome.intHttpStatus == 0 ||
        !outcome.retryAfter) {
        return TransferFailureText(outcome.intErrorCode, outcome.intHttpStatus);
    }
    const RetryAfterAnswer& answer = *outcome.retryAfter;
    const std::wstring strStatus = StatusText(outcome.intHttpStatus);
    switch (answer.kind) {
    case RetryAfterAnswer::Kind::NoWait:
        break;
    case RetryAfterAnswer::Kind::BeyondLimit:
        return strStatus + L" and asked to wait " + Seconds(answer.intSeconds) +
               L", more than the limit of " + Seconds(answer.uintLimitSeconds) + L".";
    case RetryAfterAnswer::Kind::NoAttemptLeft:
        return strStatus + L" and asked to wait " + Seconds(answer.intSeconds) +
               L", but no further attempt was left.";
    }
    return strStatus + L" without saying how long to wait.";
}

std::wstring InternetErrorText(std::int32_t intCode)
{
    for (const ErrorText& entry : kErrorTexts) {
        if (entry.intCode == intCode) {
            return entry.strText;
        }
    }
    return L"The transfer failed with error " + DecimalText(intCode) + L".";
}

}  // namespace pullbay::net
