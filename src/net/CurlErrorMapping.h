#pragma once
// libcurl failures as the transfer's error codes (InternetErrors.h).
#include <cstdint>

#include <curl/curl.h>

namespace pullbay::net {

// intSslVerifyResult is CURLINFO_SSL_VERIFYRESULT (an OpenSSL X509 code).
std::int32_t InternetErrorFromCurl(CURLcode code, long intSslVerifyResult);

}  // namespace pullbay::net
