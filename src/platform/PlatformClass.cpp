#include "platform/PlatformClass.h"

namespace pullbay::platform {

int PlatformClassFromVersion(const std::optional<OsVersion>& version)
{
    if (!version) {
        return 0;
    }
    const std::uint32_t uintMajor = version->uintMajor;
    const std::uint32_t uintMinor = version->uintMinor;
    const std::uint32_t uintPlatform = version->uintPlatformId;
    if (uintMajor == 4 && (uintMinor == 10 || uintMinor == 90) &&
        uintPlatform == kVerPlatformWin32Windows) {
        return 1;
    }
    if ((uintMajor == 3 || uintMajor == 4) && (uintMinor == 51 || uintMinor == 0) &&
        uintPlatform == kVerPlatformWin32Nt) {
        return 2;
    }
    if (uintMajor == 5 && uintMinor == 0 && uintPlatform == kVerPlatformWin32Nt) {
        return 3;
    }
    if (uintMajor == 5 && uintMinor == 1 && uintPlatform == kVerPlatformWin32Nt) {
        return 4;
    }
    if (uintMajor == 6 && uintMinor == 0) {
        return 5;
    }
    if (uintMajor == 6 && uintMinor == 1) {
        return 6;
    }
    return 0;
}

std::optional<OsVersion> QueryOsVersion()
{
    return std::nullopt;
}

int ProcessPlatformClass()
{
    static const int s_intClass = PlatformClassFromVersion(QueryOsVersion());
    return s_intClass;
}

}  // namespace pullbay::platform
