#include "support/OpenSslError.h"

#include <openssl/err.h>

namespace pullbay::test {

namespace {

std::string WithOpenSslReasons(std::string strWhat)
{
    bool bFirst = true;
    while (const unsigned long uintCode = ERR_get_error()) {
        char text[256];
        ERR_error_string_n(uintCode, text, sizeof text);
        strWhat += bFirst ? ": " : "; ";
        strWhat += text;
        bFirst = false;
    }
    return strWhat;
}

}  // namespace

OpenSslError::OpenSslError(const std::string& strWhat)
    : std::runtime_error(WithOpenSslReasons(strWhat))
{
}

}  // namespace pullbay::test
