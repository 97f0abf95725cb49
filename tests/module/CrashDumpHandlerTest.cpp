// Crash dumps: a forked child points TMPDIR at a private folder, installs the
// handler and crashes on purpose; the parent checks how the child died and the
// dump it left. Sanitizer builds need nothing special: the sanitizer runtime
// sets its own handlers before main, and the child's Install replaces them
// (allow_user_segv_handler is on by default), exactly as the module's would.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/Exceptions.h"
#include "module/CrashDumpHandler.h"

namespace pullbay::module {

// External linkage, so that -rdynamic puts their names into the backtrace.
// The sanitizers must not catch the null write before the processor does.
volatile int* volatile g_pNowhere = nullptr;

__attribute__((noinline, no_sanitize("address", "undefined"))) void CrashByNullWrite()
{
    *g_pNowhere = 42;
}

volatile int g_intNeverDepth = -1;

__attribute__((noinline)) int CrashByRecursion(int intDepth)
{
    volatile char padding[512];
    padding[0] = static_cast<char>(intDepth);
    if (intDepth == g_intNeverDepth) {
        return 0;
    }
    return CrashByRecursion(intDepth + 1) + padding[0];
}

namespace {

namespace fs = std::filesystem;

enum class Crash { NullWrite, NullWriteOnThread, StackOverflow, Abort, RaisedFpe };

fs::path MakePrivateFolder()
{
    std::string strPattern = (fs::path(std::getenv("TMPDIR")) / "crash-XXXXXX").string();
    EXPECT_NE(::mkdtemp(strPattern.data()), nullptr);
    return strPattern;
}

// Sends the crashing thread's id to the parent, then crashes.
void CrashNow(Crash crash, int intTidFd)
{
    if (crash == Crash::NullWriteOnThread) {
        std::thread([intTidFd] { CrashNow(Crash::NullWrite, intTidFd); }).join();
    }
    const pid_t intTid = ::gettid();
    (void)!::write(intTidFd, &intTid, sizeof intTid);
    if (crash == Crash::StackOverflow) {
        CrashByRecursion(0);
    } else if (crash == Crash::Abort) {
        std::abort();
    } else if (crash == Crash::RaisedFpe) {
        ::raise(SIGFPE);
    }
    CrashByNullWrite();
}

struct Child {
    pid_t intPid = -1;
    int intTidFd = -1;
    pid_t intTid = -1;     // of the crashing thread, once Finish has run
    std::string strDeath;  // "signal 11", "exit 101"
};

// The child installs the handler with TMPDIR = strTemp (after fnPrepare) and
// crashes; one that survives exits with 101, the alarm ends one that hangs.
Child StartChild(
    const std::string& strTemp, Crash crash, const std::function<void()>& fnPrepare = [] {})
{
    int tidPipe[2];
    EXPECT_EQ(::pipe(tidPipe), 0);
    const pid_t intPid = ::fork();
    if (intPid == 0) {
        ::alarm(60);
        ::setenv("TMPDIR", strTemp.c_str(), 1);
        try {
            fnPrepare();
            if (CrashDumpHandler::Install()) {
                CrashNow(crash, tidPipe[1]);
            }
        } catch (...) {
        }
        ::_exit(101);
    }
    ::close(tidPipe[1]);
    return {intPid, tidPipe[0], -1, {}};
}

void Finish(Child& child)
{
    if (::read(child.intTidFd, &child.intTid, sizeof child.intTid) != sizeof child.intTid) {
        child.intTid = -1;
    }
    ::close(child.intTidFd);
    int intStatus = 0;
    ::waitpid(child.intPid, &intStatus, 0);
    child.strDeath = WIFSIGNALED(intStatus) ? "signal " + std::to_string(WTERMSIG(intStatus))
                                            : "exit " + std::to_string(WEXITSTATUS(intStatus));
}

std::vector<fs::path> DumpsUnder(const fs::path& folder)
{
    std::vector<fs::path> dumps;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.path().extension() == ".dmp") {
            dumps.push_back(entry.path());
        }
    }
    return dumps;
}

// The clock the handler reads; time() lags it by up to a scheduler tick.
std::time_t Now()
{
    return std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
}

// "YYYYMMDD-HHMMSS" of every local second from intFrom to intTo.
std::set<std::string> LocalStamps(std::time_t intFrom, std::time_t intTo)
{
    std::set<std::string> stamps;
    for (std::time_t t = intFrom; t <= intTo; ++t) {
        struct tm local {};
        char text[32];
        ::localtime_r(&t, &local);
        std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
        stamps.insert(text);
    }
    return stamps;
}

const std::regex kDumpName(R"(7, 0, 2, 0-(\d{8}-\d{6})-(\d+)-(\d+)\.dmp)");

struct CrashCase {
    Crash crash;
    const char* strDeath;
    const char* strSignalLine;
    const char* strExpected;  // a further line or symbol the dump must hold
};

const CrashCase kCrashCases[] = {
    {Crash::NullWrite, "signal 11", "Signal: 11 (SIGSEGV)", "Address: 0x0000000000000000"},
    {Crash::NullWriteOnThread, "signal 11", "Signal: 11 (SIGSEGV)", "CrashByNullWrite"},
    {Crash::StackOverflow, "signal 11", "Signal: 11 (SIGSEGV)", "CrashByRecursion"},
    {Crash::Abort, "signal 6", "Signal: 6 (SIGABRT)", "Code: -6 (SI_TKILL)"},
    // A raised signal does not come back by itself when the handler returns.
    {Crash::RaisedFpe, "signal 8", "Signal: 8 (SIGFPE)", "Sent by: process"},
};

TEST(CrashDumpHandlerTest, ChildDiesOfItsSignalAndLeavesOneDescribedDump)
{
    for (const CrashCase& test : kCrashCases) {
        SCOPED_TRACE(test.strExpected);
        const fs::path temp = MakePrivateFolder();
        const std::time_t intBefore = Now();
        Child child = StartChild(temp.string(), test.crash);
        Finish(child);
        EXPECT_EQ(child.strDeath, test.strDeath);
        EXPECT_EQ(child.intTid != child.intPid, test.crash == Crash::NullWriteOnThread);

        const std::vector<fs::path> dumps = DumpsUnder(temp);
        ASSERT_EQ(dumps.size(), 1u);
        EXPECT_EQ(dumps[0].parent_path(), temp / "Pullbay");
        EXPECT_EQ(fs::symlink_status(temp / "Pullbay").permissions(), fs::perms::owner_all);
        EXPECT_EQ(fs::status(dumps[0]).permissions(),
                  fs::perms::owner_read | fs::perms::owner_write);
        std::smatch match;
        const std::string strName = dumps[0].filename().string();
        ASSERT_TRUE(std::regex_match(strName, match, kDumpName)) << strName;
        EXPECT_TRUE(LocalStamps(intBefore, Now()).count(match[1].str())) << strName;
        EXPECT_EQ(match[2].str(), std::to_string(child.intPid));
        EXPECT_EQ(match[3].str(), std::to_string(child.intTid));

        std::ifstream file(dumps[0], std::ios::binary);
        const std::string strDump(std::istreambuf_iterator<char>(file), {});
        for (const std::string& strPart :
             {std::string(test.strSignalLine), std::string(test.strExpected),
              "\nThread: " + std::to_string(child.intTid) + "\n", std::string("[stack]")}) {
            EXPECT_NE(strDump.find(strPart), std::string::npos) << strPart << "\n" << strDump;
        }
        for (const char* strPattern : {
                 R"(Backtrace:\n[^\n]*\[0x[0-9a-f]+\])",
                     R"(/proc/self/maps\):\n[0-9a-f]+-[0-9a-f]+ [-r][-w][-x][ps] )",
#if defined(__x86_64__)
                     R"(\n  RIP +0x[0-9a-f]{16}\n)",
#endif
                     R"(\nEnd of dump\n$)"
             }) {
            EXPECT_TRUE(std::regex_search(strDump, std::regex(strPattern))) << strPattern;
        }
        fs::remove_all(temp);
    }
}

TEST(CrashDumpHandlerTest, TwoProcessesCrashingTogetherLeaveTwoDumps)
{
    const fs::path temp = MakePrivateFolder();
    Child first = StartChild(temp.string(), Crash::NullWrite);
    Child second = StartChild(temp.string(), Crash::NullWrite);
    Finish(first);
    Finish(second);
    EXPECT_EQ(first.strDeath, "signal 11");
    EXPECT_EQ(second.strDeath, "signal 11");

    std::set<std::string> pids;
    for (const fs::path& dump : DumpsUnder(temp)) {
        std::smatch match;
        const std::string strName = dump.filename().string();
        ASSERT_TRUE(std::regex_match(strName, match, kDumpName)) << strName;
        pids.insert(match[2].str());
    }
    EXPECT_EQ(pids,
              (std::set<std::string>{std::to_string(first.intPid), std::to_string(second.intPid)}));
    fs::remove_all(temp);
}

// With TMPDIR unset the dumps go under the per-user root, whose missing
// levels (~/.cache too) the handler makes, private, at the crash: never to
// the shared /tmp.
TEST(CrashDumpHandlerTest, WithoutTmpdirTheDumpGoesUnderThePerUserRoot)
{
    struct Row {
        const char* strCache;  // XDG_CACHE_HOME below the test's folder; nullptr: unset
        const char* strRoot;   // where the root is expected, below the test's folder
    };
    const Row table[] = {
        {nullptr, "home/.cache/pullbay"},
        {"xdg", "xdg/pullbay"},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.strRoot);
        const fs::path temp = MakePrivateFolder();
        fs::create_directories(temp / "home");
        Child child = StartChild(temp.string(), Crash::NullWrite, [&] {
            ::unsetenv("TMPDIR");
            ::setenv("HOME", (temp / "home").c_str(), 1);
            if (row.strCache != nullptr) {
                ::setenv("XDG_CACHE_HOME", (temp / row.strCache).c_str(), 1);
            } else {
                ::unsetenv("XDG_CACHE_HOME");
            }
        });
        Finish(child);
        EXPECT_EQ(child.strDeath, "signal 11");
        const std::vector<fs::path> dumps = DumpsUnder(temp);
        ASSERT_EQ(dumps.size(), 1u);
        const fs::path root = temp / row.strRoot;
        EXPECT_EQ(dumps[0].parent_path(), root / "Pullbay");
        for (fs::path level = root / "Pullbay"; level != temp / "home" && level != temp;
             level = level.parent_path()) {
            EXPECT_EQ(fs::symlink_status(level).permissions(), fs::perms::owner_all) << level;
        }
        fs::remove_all(temp);
    }
}

TEST(CrashDumpHandlerTest, FolderThatIsNotOursGetsNoDump)
{
    using Plant = void (*)(const fs::path& folder, const fs::path& elsewhere);
    const Plant kPlanted[] = {
        [](const fs::path& folder, const fs::path& elsewhere) {
            fs::create_directory_symlink(elsewhere, folder);
        },
        [](const fs::path& folder, const fs::path&) { std::ofstream(folder) << "x"; },
        [](const fs::path& folder, const fs::path&) {
            fs::create_directory(folder);
            fs::permissions(folder, fs::perms::all);  // others may plant files
        },
    };
    for (const Plant fnPlant : kPlanted) {
        const fs::path temp = MakePrivateFolder();
        const fs::path elsewhere = MakePrivateFolder();
        fnPlant(temp / "Pullbay", elsewhere);
        Child child = StartChild(temp.string(), Crash::NullWrite);
        Finish(child);
        EXPECT_EQ(child.strDeath, "signal 11");
        EXPECT_TRUE(DumpsUnder(temp).empty());
        EXPECT_TRUE(fs::is_empty(elsewhere));
        fs::remove_all(temp);
        fs::remove_all(elsewhere);
    }
}

// Creates folders below strPath until it is uintUnits UTF-16 units long, with
// two-byte characters, so that counting bytes instead of units shows.
std::string MakeFolderOfUnits(std::string strPath, std::size_t uintUnits)
{
    std::size_t uintLeft = uintUnits - strPath.size();
    while (uintLeft > 0) {
        std::size_t uintChars = std::min<std::size_t>(100, uintLeft - 1);
        if (uintLeft - (uintChars + 1) == 1) {
            --uintChars;
        }
        strPath += "/";
        for (std::size_t i = 0; i < uintChars; ++i) {
            strPath += "\xC3\xA9";  // U+00E9
        }
        uintLeft -= uintChars + 1;
        ::mkdir(strPath.c_str(), 0700);
    }
    return strPath;
}

TEST(CrashDumpHandlerTest, DumpPathIsLimitedTo520Units)
{
    for (const std::size_t uintPathUnits : {std::size_t{520}, std::size_t{521}}) {
        SCOPED_TRACE(uintPathUnits);
        const fs::path temp = MakePrivateFolder();
        // "/Pullbay/" + "7, 0, 2, 0-YYYYMMDD-HHMMSS-" + pid + "-" + tid + ".dmp";
        // the crashing main thread's id is the pid.
        Child child = StartChild(temp.string(), Crash::NullWrite, [&] {
            const std::size_t uintIdDigits = std::to_string(::getpid()).size();
            const std::string strDeep =
                MakeFolderOfUnits(temp.string(), uintPathUnits - 9 - 27 - 5 - 2 * uintIdDigits);
            ::setenv("TMPDIR", strDeep.c_str(), 1);
        });
        Finish(child);
        EXPECT_EQ(child.strDeath, "signal 11");
        EXPECT_EQ(DumpsUnder(temp).size(), uintPathUnits <= 520 ? 1u : 0u);
        fs::remove_all(temp);
    }
}

// The handler cannot call localtime(): its own table of UTC offsets must give
// the same local time, on both sides of every daylight-saving change.
TEST(CrashDumpHandlerTest, LocalTimeMatchesTheTimeZoneAcrossDaylightSavingChanges)
{
    const char* strSavedZone = std::getenv("TZ");
    const std::string strSaved = strSavedZone != nullptr ? strSavedZone : "";
    for (const char* strZone : {"CET-1CEST,M3.5.0,M10.5.0/3", "AEST-10AEDT,M10.1.0,M4.1.0/3",
                                "NST3:30NDT,M3.2.0,M11.1.0", "UTC0"}) {
        SCOPED_TRACE(strZone);
        ::setenv("TZ", strZone, 1);
        ::tzset();
        ASSERT_TRUE(CrashDumpHandler::Install());
        // The quarter hours, where these zones change, and the second before.
        const std::time_t intStart = std::time(nullptr) / 900 * 900 + 900;
        int intMismatches = 0;
        for (std::time_t t = intStart; t < intStart + 400 * 86400 && intMismatches < 3; t += 900) {
            for (const std::time_t intUtc : {t - 1, t}) {
                struct tm local {};
                ::localtime_r(&intUtc, &local);
                const auto time = CrashDumpHandler::ToLocalTime(intUtc);
                const bool bSame = std::array{time.intYear, time.intMonth,  time.intDay,
                                              time.intHour, time.intMinute, time.intSecond} ==
                                   std::array{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                              local.tm_hour,        local.tm_min,     local.tm_sec};
                EXPECT_TRUE(bSame) << "UTC " << intUtc;
                intMismatches += bSame ? 0 : 1;
            }
        }
        CrashDumpHandler::Uninstall();
    }
    if (strSavedZone != nullptr) {
        ::setenv("TZ", strSaved.c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
}

void MarkerHandler(int)
{
}

TEST(CrashDumpHandlerTest, UninstallPutsBackWhatInstallReplaced)
{
    struct sigaction marker {};
    struct sigaction saved {};
    marker.sa_handler = &MarkerHandler;
    ASSERT_EQ(::sigaction(SIGBUS, &marker, &saved), 0);
    stack_t stackBefore{};
    ASSERT_EQ(::sigaltstack(nullptr, &stackBefore), 0);

    EXPECT_THROW(CrashDumpHandler::Install(L"7/0"), core::ArgumentException);
    EXPECT_FALSE(CrashDumpHandler::IsInstalled());
    ASSERT_TRUE(CrashDumpHandler::Install());
    ASSERT_TRUE(CrashDumpHandler::Install());  // must not save itself as the previous handler
    EXPECT_TRUE(CrashDumpHandler::IsInstalled());

    CrashDumpHandler::Uninstall();
    CrashDumpHandler::Uninstall();
    EXPECT_FALSE(CrashDumpHandler::IsInstalled());
    struct sigaction current {};
    ::sigaction(SIGBUS, nullptr, &current);
    EXPECT_EQ(current.sa_handler, &MarkerHandler);
    stack_t stackAfter{};
    ::sigaltstack(nullptr, &stackAfter);
    EXPECT_EQ(stackAfter.ss_flags, stackBefore.ss_flags);
    EXPECT_EQ(stackAfter.ss_sp, stackBefore.ss_sp);
    ::sigaction(SIGBUS, &saved, nullptr);
}

}  // namespace
}  // namespace pullbay::module
