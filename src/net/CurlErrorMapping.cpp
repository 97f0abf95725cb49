#include "net/CurlErrorMapping.h"

#include "net/InternetErrors.h"

namespace pullbay::net {

namespace {

// OpenSSL's X509_V_ERR values that have a code of their own.
constexpr long kX509Ok = 0;
constexpr long kX509Unspecified = 1;
constexpr long kX509CertNotYetValid = 9;
constexpr long kX509CertHasExpired = 10;
constexpr long kX509CertRevoked = 23;
constexpr long kX509HostnameMismatch = 62;

std::int32_t CertificateError(long intSslVerifyResult)
{
    switch (intSslVerifyResult) {
    case kX509CertNotYetValid:
    case kX509CertHasExpired:
        return kInternetSecCertDateInvalid;
    case kX509CertRevoked:
        return kInternetSecCertRevoked;
    case kX509HostnameMismatch:
    case kX509Ok:
    case kX509Unspecified:
        // libcurl checks the host name itself after a verified chain and
        // reports its refusal as 0 or "unspecified" here.
        return kInternetSecCertCnInvalid;
    default:
        return kInternetInvalidCa;
    }
}

}  // namespace

std::int32_t InternetErrorFromCurl(CURLcode code, long intSslVerifyResult)
{
    switch (code) {
    case CURLE_OK:
        return 0;
    case CURLE_OPERATION_TIMEDOUT:
        return kInternetTimeout;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return kInternetNameNotResolved;
    case CURLE_COULDNT_CONNECT:
        return kInternetCannotConnect;
    case CURLE_SEND_ERROR:
        return kInternetConnectionAborted;
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
        return kInternetConnectionReset;
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_BAD_CONTENT_ENCODING:
#if LIBCURL_VERSION_NUM >= 0x080600
    case CURLE_TOO_LARGE:  // a response head beyond libcurl's limits
#endif
        return kHttpInvalidServerResponse;
    case CURLE_UNSUPPORTED_PROTOCOL:
        return kInternetUnrecognizedScheme;
    case CURLE_URL_MALFORMAT:
        return kInternetInvalidUrl;
    case CURLE_TOO_MANY_REDIRECTS:
        return kHttpRedirectFailed;
    case CURLE_PEER_FAILED_VERIFICATION:
        return CertificateError(intSslVerifyResult);
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
        return kInternetSecurityChannelError;
    case CURLE_OUT_OF_MEMORY:
        return kErrorNotEnoughMemory;
    default:
        return kInternetInternalError;
    }
}

}  // namespace pullbay::net
