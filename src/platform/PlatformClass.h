#pragma once
// The platform class (0 to 6): which generation of the original platform the
// process runs on, and so whether Protected Mode handling can apply at all.
// Pure functions and a value computed once per process: any thread.
#include <cstdint>
#include <optional>

namespace pullbay::platform {

// Platform identifiers of the version query.
inline constexpr std::uint32_t kVerPlatformWin32Windows = 1;
inline constexpr std::uint32_t kVerPlatformWin32Nt = 2;

// Classes from this one on can run in Protected Mode.
inline constexpr int kFirstProtectedModeClass = 5;

struct OsVersion {
    std::uint32_t uintMajor = 0;
    std::uint32_t uintMinor = 0;
    std::uint32_t uintPlatformId = 0;
};

// The class of a version: 1 for 4.10/4.90 on platform 1; 2 for 3.x/4.x with
// minor 51 or 0 on platform 2; 3 for 5.0 and 4 for 5.1 on platform 2; 5 for
// 6.0 and 6 for 6.1 on any platform; 0 for every other version and for a
// failed query (nullopt).
int PlatformClassFromVersion(const std::optional<OsVersion>& version);

// The version of the original platform that the process runs on. Linux is
// none of them, so the query fails here: the kernel's release numbers count
// something else (Linux 6.1 is not version 6.1 of the table) and must never
// be fed to PlatformClassFromVersion.
std::optional<OsVersion> QueryOsVersion();

// PlatformClassFromVersion(QueryOsVersion()), computed on the first call and
// kept for the life of the process; 0 on Linux.
int ProcessPlatformClass();

}  // namespace pullbay::platform
