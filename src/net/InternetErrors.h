#pragma once
// Error codes of the HTTP transfer, compatible with the codes that hosts of
// the original system know (12xxx), and the one table of their texts.
#include <cstdint>
#include <string>

#include "net/TransferOutcome.h"

namespace pullbay::net {

// An HTTP status failure carries no transport error.
inline constexpr std::int32_t kErrorHttpStatus = 0;
inline constexpr std::int32_t kErrorNotEnoughMemory = 8;
inline constexpr std::int32_t kErrorDiskFull = 112;
// The attempt failed writing the body: disk full, or a file-system failure
// raised by a callback of the read loop. Never attempted again.
inline constexpr std::int32_t kErrorFileSystem = 301;

inline constexpr std::int32_t kInternetTimeout = 12002;
inline constexpr std::int32_t kInternetInternalError = 12004;
inline constexpr std::int32_t kInternetInvalidUrl = 12005;
inline constexpr std::int32_t kInternetUnrecognizedScheme = 12006;
inline constexpr std::int32_t kInternetNameNotResolved = 12007;
inline constexpr std::int32_t kInternetOperationCancelled = 12017;
inline constexpr std::int32_t kInternetCannotConnect = 12029;
inline constexpr std::int32_t kInternetConnectionAborted = 12030;
inline constexpr std::int32_t kInternetConnectionReset = 12031;
inline constexpr std::int32_t kInternetSecCertDateInvalid = 12037;
inline constexpr std::int32_t kInternetHttpsToHttpOnRedirect = 12040;
inline constexpr std::int32_t kInternetSecCertCnInvalid = 12038;
inline constexpr std::int32_t kInternetInvalidCa = 12045;
inline constexpr std::int32_t kInternetSecCertRevoked = 12170;
inline constexpr std::int32_t kInternetSecurityChannelError = 12157;
inline constexpr std::int32_t kInternetSecCertErrors = 12055;
inline constexpr std::int32_t kHttpInvalidServerResponse = 12152;
inline constexpr std::int32_t kHttpRedirectFailed = 12156;

// The text for an error code of the transfer; codes outside the table get a
// generic text naming the number.
std::wstring InternetErrorText(std::int32_t intCode);

// The reason phrase of a common HTTP status ("Service Unavailable" for 503),
// or an empty text.
std::wstring HttpStatusReason(std::int32_t intStatus);

// What a failed transfer's error code means, with the HTTP status where the
// failure is one: "The server answered the request with HTTP status 503
// (Service Unavailable)." for code 0 and status 503, InternetErrorText for
// the rest.
std::wstring TransferFailureText(std::int32_t intCode, std::int32_t intHttpStatus);

// The same for a transfer's outcome, which also says what a 429 or 503 asked
// for under a Retry-After limit: "The server answered the request with HTTP
// status 503 (Service Unavailable) and asked to wait 120 seconds, more than
// the limit of 60 seconds."
std::wstring TransferFailureText(const TransferOutcome& outcome);

}  // namespace pullbay::net
