#include "net/SafeWinApi.h"

#include <string_view>

#include "core/Exceptions.h"
#include "core/TextUnits.h"
#include "core/ThrowSite.h"
#include "net/UrlEncoding.h"
#include "net/UrlReference.h"

namespace pullbay::net::SafeWinApi {

std::wstring InternetCanonicalizeUrlW(const wchar_t* strUrl, unsigned uintFlags)
{
    if (strUrl == nullptr) {
        PB_THROW(core::ArgumentNullPointerException, L"strUrl");
    }
    try {
        const std::wstring_view strUsed =
            core::TruncateToUtf16Units(strUrl, kMaxCanonicalUrlUnits);
        const UrlReferenceParts parts = SplitUrlReference(strUsed);
        const std::wstring strPath = RemoveDotSegments(parts.path);

        std::wstring result(parts.prefix);
        if ((uintFlags & kIcuNoEncode) != 0) {
            result += strPath;
            result += parts.query;
        } else {
            result += PercentEncodeUnsafe(strPath);
            result += PercentEncodeUnsafe(parts.query);
        }
        result += parts.fragment;
        return result;
    } catch (...) {
        core::RecordForeignFailure();
        PB_THROW(core::UnexpectedException, L"InternetCanonicalizeUrl error occured");
    }
}

}  // namespace pullbay::net::SafeWinApi
