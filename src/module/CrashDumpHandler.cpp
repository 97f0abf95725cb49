#include "module/CrashDumpHandler.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string_view>

#include "core/Exceptions.h"
#include "core/TextUnits.h"
#include "core/ThrowSite.h"
#include "core/UserTempRoot.h"
#include "module/DumpWriter.h"
#include "module/FixedText.h"

namespace pullbay::module {

namespace {

constexpr std::array<int, 5> kFatalSignals = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

constexpr std::size_t kMaxFrames = 128;
// A UTF-16 unit takes at most three UTF-8 bytes (a pair of two takes four),
// so a path within the limit always fits.
constexpr std::size_t kPathBytes = CrashDumpHandler::kMaxPathUnits * 3 + 1;
// The handler's frames plus backtrace() and the dynamic linker's symbol
// look-up; sanitizer builds need several times the usual frame sizes.
constexpr std::size_t kAltStackBytes = 128 * 1024;
constexpr std::size_t kMaxOffsetChanges = 64;
constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kOffsetDaysBefore = 1;
constexpr std::int64_t kOffsetDaysAfter = 2 * 366;
// How long a second crashing thread waits for the first one's dump.
constexpr int kWaitForOtherDumpMs = 10000;

// A UTC offset that applies from intFromUtc on.
struct OffsetChange {
    std::int64_t intFromUtc;
    std::int64_t intOffsetSeconds;
};

enum DumpState : int { kDumpIdle = 0, kDumpWriting = 1, kDumpDone = 2 };

// Everything the handler reads. Written by Install before the handler is
// activated, never changed while it is active.
struct HandlerState {
    char strFolder[kPathBytes];  // "<temp>/Pullbay", UTF-8
    // The length of strFolder's part that must exist already: the levels
    // after it are made when missing (the per-user root's, and Pullbay).
    std::size_t uintExistingBytes;
    char strVersion[kPathBytes];
    // UTF-16 units of the folder, the "/" and the version text; the rest of
    // the name is ASCII. Above the limit when the folder alone is too long.
    std::size_t uintPrefixUnits;
    OffsetChange offsets[kMaxOffsetChanges];
    std::size_t uintOffsetCount;
    void* frames[kMaxFrames];
    struct sigaction previousActions[kFatalSignals.size()];
    void* pAltStackMapping;  // null when none of ours is set up
    std::size_t uintAltStackMapped;
    void* pAltStackBase;  // ss_sp of our stack, above the guard page
    stack_t previousAltStack;
    pid_t intInstallThread;
};

HandlerState g_state;
std::atomic<bool> g_bActive{false};
std::atomic<int> g_intDumpState{kDumpIdle};
std::mutex g_installMutex;

static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "the handler may only use lock-free atomics");

// --- Names of signals, codes and registers ---------------------------------

struct CodeName {
    int intSignal;  // 0: any signal
    int intCode;
    const char* strName;
};

constexpr CodeName kSignalNames[] = {
    {SIGSEGV, 0, "SIGSEGV"}, {SIGBUS, 0, "SIGBUS"},   {SIGILL, 0, "SIGILL"},
    {SIGFPE, 0, "SIGFPE"},   {SIGABRT, 0, "SIGABRT"},
};

constexpr CodeName kCodeNames[] = {
    {0, SI_USER, "SI_USER"},
    {0, SI_KERNEL, "SI_KERNEL"},
    {0, SI_QUEUE, "SI_QUEUE"},
    {0, SI_TKILL, "SI_TKILL"},
    {SIGSEGV, SEGV_MAPERR, "SEGV_MAPERR"},
    {SIGSEGV, SEGV_ACCERR, "SEGV_ACCERR"},
    {SIGBUS, BUS_ADRALN, "BUS_ADRALN"},
    {SIGBUS, BUS_ADRERR, "BUS_ADRERR"},
    {SIGBUS, BUS_OBJERR, "BUS_OBJERR"},
    {SIGILL, ILL_ILLOPC, "ILL_ILLOPC"},
    {SIGILL, ILL_ILLOPN, "ILL_ILLOPN"},
    {SIGILL, ILL_ILLADR, "ILL_ILLADR"},
    {SIGILL, ILL_ILLTRP, "ILL_ILLTRP"},
    {SIGILL, ILL_PRVOPC, "ILL_PRVOPC"},
    {SIGILL, ILL_PRVREG, "ILL_PRVREG"},
    {SIGILL, ILL_COPROC, "ILL_COPROC"},
    {SIGILL, ILL_BADSTK, "ILL_BADSTK"},
    {SIGFPE, FPE_INTDIV, "FPE_INTDIV"},
    {SIGFPE, FPE_INTOVF, "FPE_INTOVF"},
    {SIGFPE, FPE_FLTDIV, "FPE_FLTDIV"},
    {SIGFPE, FPE_FLTOVF, "FPE_FLTOVF"},
    {SIGFPE, FPE_FLTUND, "FPE_FLTUND"},
    {SIGFPE, FPE_FLTRES, "FPE_FLTRES"},
    {SIGFPE, FPE_FLTINV, "FPE_FLTINV"},
    {SIGFPE, FPE_FLTSUB, "FPE_FLTSUB"},
};

template <std::size_t N>
const char* FindName(const CodeName (&table)[N], int intSignal, int intCode)
{
    for (const CodeName& entry : table) {
        if ((entry.intSignal == 0 || entry.intSignal == intSignal) && entry.intCode == intCode) {
            return entry.strName;
        }
    }
    return "unknown";
}

// Codes above 0 other than SI_KERNEL come from a fault of the crashing
// instruction, and only those carry a faulting address in si_addr.
bool IsFaultCode(int intSignal, int intCode)
{
    return intSignal != SIGABRT && intCode > 0 && intCode != SI_KERNEL;
}

#if defined(__x86_64__)
struct RegisterName {
    const char* strName;
    int intIndex;
};

constexpr RegisterName kRegisters[] = {
    {"RAX", REG_RAX},       {"RBX", REG_RBX},         {"RCX", REG_RCX},       {"RDX", REG_RDX},
    {"RSI", REG_RSI},       {"RDI", REG_RDI},         {"RBP", REG_RBP},       {"RSP", REG_RSP},
    {"R8", REG_R8},         {"R9", REG_R9},           {"R10", REG_R10},       {"R11", REG_R11},
    {"R12", REG_R12},       {"R13", REG_R13},         {"R14", REG_R14},       {"R15", REG_R15},
    {"RIP", REG_RIP},       {"EFL", REG_EFL},         {"CSGSFS", REG_CSGSFS}, {"ERR", REG_ERR},
    {"TRAPNO", REG_TRAPNO}, {"OLDMASK", REG_OLDMASK}, {"CR2", REG_CR2},
};
#endif

void WriteRegisters(DumpWriter& writer, const void* pContext)
{
#if defined(__x86_64__)
    if (pContext == nullptr) {
        writer << "Registers: not available\n";
        return;
    }
    const auto* pUserContext = static_cast<const ucontext_t*>(pContext);
    writer << "Registers:\n";
    for (const RegisterName& reg : kRegisters) {
        const std::string_view name(reg.strName);
        writer << "  " << name << std::string_view("        ", 8 - name.size());
        writer.Hex(static_cast<std::uint64_t>(pUserContext->uc_mcontext.gregs[reg.intIndex]));
        writer << "\n";
    }
#else
    (void)pContext;
    writer << "Registers: not recorded on this architecture\n";
#endif
}

// --- Local time without localtime() ------------------------------------------

std::int64_t OffsetAtInstall(std::time_t intUtc)
{
    struct tm local {};
    if (::localtime_r(&intUtc, &local) == nullptr) {
        return 0;
    }
    return local.tm_gmtoff;
}

// The UTC offsets from a day before now to two years on, with the exact
// second each change takes effect (found by bisection within the day).
void RecordOffsets(HandlerState& state)
{
    ::tzset();
    const std::int64_t intStart =
        static_cast<std::int64_t>(std::time(nullptr)) - kOffsetDaysBefore * kSecondsPerDay;
    const std::int64_t intEnd = intStart + (kOffsetDaysBefore + kOffsetDaysAfter) * kSecondsPerDay;
    std::int64_t intOffset = OffsetAtInstall(static_cast<std::time_t>(intStart));
    state.offsets[0] = {INT64_MIN, intOffset};
    state.uintOffsetCount = 1;
    for (std::int64_t intDay = intStart; intDay < intEnd; intDay += kSecondsPerDay) {
        const std::int64_t intNext = intDay + kSecondsPerDay;
        if (OffsetAtInstall(static_cast<std::time_t>(intNext)) == intOffset) {
            continue;
        }
        std::int64_t intLow = intDay;    // old offset
        std::int64_t intHigh = intNext;  // new offset
        while (intHigh - intLow > 1) {
            const std::int64_t intMiddle = intLow + (intHigh - intLow) / 2;
            if (OffsetAtInstall(static_cast<std::time_t>(intMiddle)) == intOffset) {
                intLow = intMiddle;
            } else {
                intHigh = intMiddle;
            }
        }
        if (state.uintOffsetCount == kMaxOffsetChanges) {
            break;
        }
        intOffset = OffsetAtInstall(static_cast<std::time_t>(intHigh));
        state.offsets[state.uintOffsetCount++] = {intHigh, intOffset};
    }
}

std::int64_t OffsetAt(std::int64_t intUtc)
{
    if (!g_bActive.load(std::memory_order_acquire)) {
        return 0;
    }
    std::int64_t intOffset = g_state.offsets[0].intOffsetSeconds;
    for (std::size_t i = 1; i < g_state.uintOffsetCount && g_state.offsets[i].intFromUtc <= intUtc;
         ++i) {
        intOffset = g_state.offsets[i].intOffsetSeconds;
    }
    return intOffset;
}

// Proleptic Gregorian date and time of seconds since 1970-01-01 00:00.
CrashDumpHandler::LocalTime CivilTime(std::int64_t intSeconds)
{
    std::int64_t intDays = intSeconds / kSecondsPerDay;
    std::int64_t intSecondOfDay = intSeconds % kSecondsPerDay;
    if (intSecondOfDay < 0) {
        intSecondOfDay += kSecondsPerDay;
        --intDays;
    }
    // Days to year, month, day in 400-year eras starting on 1 March.
    intDays += 719468;
    const std::int64_t intEra = (intDays >= 0 ? intDays : intDays - 146096) / 146097;
    const std::int64_t intDayOfEra = intDays - intEra * 146097;
    const std::int64_t intYearOfEra =
        (intDayOfEra - intDayOfEra / 1460 + intDayOfEra / 36524 - intDayOfEra / 146096) / 365;
    const std::int64_t intDayOfYear =
        intDayOfEra - (365 * intYearOfEra + intYearOfEra / 4 - intYearOfEra / 100);
    const std::int64_t intMonthIndex = (5 * intDayOfYear + 2) / 153;
    const std::int64_t intMonth = intMonthIndex < 10 ? intMonthIndex + 3 : intMonthIndex - 9;

    CrashDumpHandler::LocalTime time;
    time.intYear = static_cast<int>(intYearOfEra + intEra * 400 + (intMonth <= 2 ? 1 : 0));
    time.intMonth = static_cast<int>(intMonth);
    time.intDay = static_cast<int>(intDayOfYear - (153 * intMonthIndex + 2) / 5 + 1);
    time.intHour = static_cast<int>(intSecondOfDay / 3600);
    time.intMinute = static_cast<int>(intSecondOfDay / 60 % 60);
    time.intSecond = static_cast<int>(intSecondOfDay % 60);
    return time;
}

// Zero-padded year, month, day, strMiddle, hour, minute, second.
template <std::size_t N>
void AppendTimestamp(FixedText<N>& text, const CrashDumpHandler::LocalTime& time,
                     std::string_view strDateSeparator, std::string_view strMiddle,
                     std::string_view strTimeSeparator)
{
    text.AppendDecimal(static_cast<std::uint64_t>(time.intYear), 4);
    text.Append(strDateSeparator);
    text.AppendDecimal(static_cast<std::uint64_t>(time.intMonth), 2);
    text.Append(strDateSeparator);
    text.AppendDecimal(static_cast<std::uint64_t>(time.intDay), 2);
    text.Append(strMiddle);
    text.AppendDecimal(static_cast<std::uint64_t>(time.intHour), 2);
    text.Append(strTimeSeparator);
    text.AppendDecimal(static_cast<std::uint64_t>(time.intMinute), 2);
    text.Append(strTimeSeparator);
    text.AppendDecimal(static_cast<std::uint64_t>(time.intSecond), 2);
}

// --- The dump ----------------------------------------------------------------

void CopyMemoryMap(DumpWriter& writer)
{
    const int intFd = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (intFd < 0) {
        writer << "(not readable)\n";
        return;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t intRead = ::read(intFd, buffer, sizeof buffer);
        if (intRead < 0 && errno == EINTR) {
            continue;
        }
        if (intRead <= 0) {
            break;
        }
        writer << std::string_view(buffer, static_cast<std::size_t>(intRead));
    }
    ::close(intFd);
}

// The dump folder, created if missing, opened only when it is a real
// directory of ours that nobody else may write: a folder in a shared /tmp
// may have been planted, as a link to somewhere else or open to others.
// Checking the opened descriptor leaves no gap between check and use.
int OpenDumpFolder()
{
    if (core::UserTempRoot::CreateLevels(g_state.strFolder, g_state.uintExistingBytes) != 0) {
        return -1;
    }
    const int intFolderFd =
        ::open(g_state.strFolder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (intFolderFd < 0) {
        return -1;
    }
    struct stat info {};
    if (::fstat(intFolderFd, &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() ||
        (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        ::close(intFolderFd);
        return -1;
    }
    return intFolderFd;
}

void WriteDump(int intSignal, const siginfo_t* pInfo, const void* pContext)
{
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const std::int64_t intUtc = static_cast<std::int64_t>(now.tv_sec);
    const std::int64_t intOffset = OffsetAt(intUtc);
    const CrashDumpHandler::LocalTime time = CivilTime(intUtc + intOffset);
    const pid_t intProcess = ::getpid();
    const pid_t intThread = ::gettid();

    FixedText<kPathBytes> name;
    name.Append(g_state.strVersion);
    name.Append("-");
    AppendTimestamp(name, time, "", "-", "");
    name.Append("-");
    name.AppendDecimal(static_cast<std::uint64_t>(intProcess));
    name.Append("-");
    name.AppendDecimal(static_cast<std::uint64_t>(intThread));
    name.Append(".dmp");
    const std::size_t uintSuffixUnits = name.Size() - std::strlen(g_state.strVersion);
    if (name.Overflow() ||
        g_state.uintPrefixUnits + uintSuffixUnits > CrashDumpHandler::kMaxPathUnits) {
        return;
    }

    const int intFolderFd = OpenDumpFolder();
    if (intFolderFd < 0) {
        return;
    }
    const int intFd = ::openat(intFolderFd, name.CStr(),
                               O_CREAT | O_TRUNC | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600);
    ::close(intFolderFd);
    if (intFd < 0) {
        return;
    }

    DumpWriter writer(intFd);
    writer << "Pullbay crash dump\n";
    writer << "Version: " << g_state.strVersion << "\n";
    FixedText<64> stamp;
    AppendTimestamp(stamp, time, "-", " ", ":");
    writer << "Local time: " << stamp.CStr() << " (UTC offset " << intOffset << " s)\n";
    writer << "Process: " << static_cast<std::int64_t>(intProcess) << "\n";
    writer << "Thread: " << static_cast<std::int64_t>(intThread) << "\n";
    writer << "Signal: " << static_cast<std::int64_t>(intSignal) << " ("
           << FindName(kSignalNames, intSignal, 0) << ")\n";
    if (pInfo != nullptr) {
        writer << "Code: " << static_cast<std::int64_t>(pInfo->si_code) << " ("
               << FindName(kCodeNames, intSignal, pInfo->si_code) << ")\n";
        if (IsFaultCode(intSignal, pInfo->si_code)) {
            writer << "Address: ";
            writer.Hex(reinterpret_cast<std::uintptr_t>(pInfo->si_addr));
            writer << "\n";
        } else if (pInfo->si_code <= 0) {
            writer << "Sent by: process " << static_cast<std::int64_t>(pInfo->si_pid) << ", user "
                   << static_cast<std::int64_t>(pInfo->si_uid) << "\n";
        }
    }
    WriteRegisters(writer, pContext);

    writer << "Backtrace:\n";
    writer.Flush();
    const int intFrames = ::backtrace(g_state.frames, static_cast<int>(kMaxFrames));
    ::backtrace_symbols_fd(g_state.frames, intFrames, intFd);

    writer << "Loaded modules (/proc/self/maps):\n";
    CopyMemoryMap(writer);
    writer << "End of dump\n";
    writer.Flush();
    ::close(intFd);
}

void SleepMilliseconds(long intMilliseconds)
{
    struct timespec pause {
        0, intMilliseconds * 1000000L
    };
    while (::nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

bool IsOurAction(const struct sigaction& action);

void HandleFatalSignal(int intSignal, siginfo_t* pInfo, void* pContext)
{
    const int intSavedErrno = errno;
    if (!g_bActive.load(std::memory_order_acquire)) {
        // Reached only through a handler that chained to ours after Uninstall.
        errno = intSavedErrno;
        return;
    }
    int intExpected = kDumpIdle;
    if (g_intDumpState.compare_exchange_strong(intExpected, kDumpWriting)) {
        WriteDump(intSignal, pInfo, pContext);
        g_intDumpState.store(kDumpDone);
    } else if (intExpected == kDumpWriting) {
        // Another thread crashed first: its dump describes the crash, and it
        // ends the process when done. Do not let this signal end it earlier.
        for (int intWaited = 0;
             intWaited < kWaitForOtherDumpMs && g_intDumpState.load() == kDumpWriting;
             intWaited += 10) {
            SleepMilliseconds(10);
        }
    }

    // SA_RESETHAND restored the default action on entry. A fault would come
    // back on return and take it, but a signal that was sent (kill, raise,
    // abort) would not come back: raising it again makes the default action
    // end the process in both cases, with the same signal. Where someone
    // else's handler is in place now, that handler decides.
    struct sigaction current {};
    if (::sigaction(intSignal, nullptr, &current) == 0) {
        if (IsOurAction(current)) {
            struct sigaction fallback {};
            fallback.sa_handler = SIG_DFL;
            ::sigemptyset(&fallback.sa_mask);
            ::sigaction(intSignal, &fallback, nullptr);
            current.sa_handler = SIG_DFL;
        }
        // The kernel's reset leaves SA_SIGINFO in the flags: look at the
        // handler alone.
        if (current.sa_handler == SIG_DFL) {
            ::raise(intSignal);
        }
    }
    errno = intSavedErrno;
}

bool IsOurAction(const struct sigaction& action)
{
    return (action.sa_flags & SA_SIGINFO) != 0 && action.sa_sigaction == &HandleFatalSignal;
}

// --- Install helpers -----------------------------------------------------------

void CopyBytes(char (&target)[kPathBytes], const std::string& strSource)
{
    const std::size_t uintLength = std::min(strSource.size(), kPathBytes - 1);
    std::memcpy(target, strSource.data(), uintLength);
    target[uintLength] = '\0';
}

// The user's temporary directory (core::UserTempRoot: $TMPDIR, else the
// per-user root) + "/Pullbay", as bytes: a TMPDIR that is not valid UTF-8
// must still name the same folder. uintExistingBytes: the part that must
// exist already (levels after it are made at the crash). Empty when the
// directory is unknown.
std::string DumpFolderBytes(std::size_t& uintExistingBytes)
{
    const core::UserTempRoot::Location root = core::UserTempRoot::Find();
    uintExistingBytes = root.uintExistingBytes;
    if (root.strPath.empty()) {
        return std::string();
    }
    std::string strFolder = root.strPath;
    if (strFolder != "/") {
        strFolder += '/';
    }
    strFolder += core::ToUtf8(CrashDumpHandler::kFolderName);
    return strFolder;
}

bool SetUpAltStack(HandlerState& state)
{
    const long intPage = ::sysconf(_SC_PAGESIZE);
    const std::size_t uintPage = intPage > 0 ? static_cast<std::size_t>(intPage) : 4096;
    std::size_t uintStack = kAltStackBytes;
#ifdef _SC_SIGSTKSZ
    const long intSystemMinimum = ::sysconf(_SC_SIGSTKSZ);
    if (intSystemMinimum > 0 && static_cast<std::size_t>(intSystemMinimum) > uintStack) {
        uintStack = static_cast<std::size_t>(intSystemMinimum);
    }
#endif
    uintStack = (uintStack + uintPage - 1) / uintPage * uintPage;
    // One inaccessible page below the stack: an overflow of the handler
    // itself faults instead of writing over other memory.
    const std::size_t uintMapped = uintStack + uintPage;
    void* pMapping = ::mmap(nullptr, uintMapped, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (pMapping == MAP_FAILED) {
        return false;
    }
    ::mprotect(pMapping, uintPage, PROT_NONE);
    stack_t stack{};
    stack.ss_sp = static_cast<char*>(pMapping) + uintPage;
    stack.ss_size = uintStack;
    stack.ss_flags = 0;
    if (::sigaltstack(&stack, &state.previousAltStack) != 0) {
        ::munmap(pMapping, uintMapped);
        return false;
    }
    state.pAltStackMapping = pMapping;
    state.uintAltStackMapped = uintMapped;
    state.pAltStackBase = stack.ss_sp;
    state.intInstallThread = ::gettid();
    return true;
}

// Our stack is taken down only on the thread it was set up for and only while
// it is still that thread's alternate stack. Anywhere else it stays mapped
// for good: freeing a stack that a thread may still switch to would be worse
// than keeping 132 KiB.
void TearDownAltStack(HandlerState& state)
{
    if (state.pAltStackMapping == nullptr || state.intInstallThread != ::gettid()) {
        return;
    }
    stack_t current{};
    if (::sigaltstack(nullptr, &current) != 0 || current.ss_sp != state.pAltStackBase) {
        return;
    }
    stack_t previous = state.previousAltStack;
    if ((previous.ss_flags & SS_DISABLE) != 0) {
        previous = {};
        previous.ss_flags = SS_DISABLE;
    }
    if (::sigaltstack(&previous, nullptr) != 0) {
        return;
    }
    ::munmap(state.pAltStackMapping, state.uintAltStackMapped);
    state.pAltStackMapping = nullptr;
}

void RestoreActions(HandlerState& state, std::size_t uintCount)
{
    for (std::size_t i = 0; i < uintCount; ++i) {
        struct sigaction current {};
        if (::sigaction(kFatalSignals[i], nullptr, &current) == 0 && IsOurAction(current)) {
            ::sigaction(kFatalSignals[i], &state.previousActions[i], nullptr);
        }
    }
}

}  // namespace

bool CrashDumpHandler::Install(std::wstring strVersionText)
{
    if (strVersionText.find_first_of(std::wstring_view(L"/\0", 2)) != std::wstring::npos) {
        PB_THROW(core::ArgumentException, L"strVersionText");
    }
    std::lock_guard<std::mutex> lock(g_installMutex);
    if (g_bActive.load()) {
        return true;
    }

    std::size_t uintExistingBytes = 0;
    const std::string strFolder = DumpFolderBytes(uintExistingBytes);
    const std::string strVersion = core::ToUtf8(strVersionText);
    const std::size_t uintPrefixUnits =
        core::Utf16Length(core::FromUtf8(strFolder)) + 1 + core::Utf16Length(strVersionText);
    if (!strFolder.empty() && uintPrefixUnits <= kMaxPathUnits) {
        CopyBytes(g_state.strFolder, strFolder);
        CopyBytes(g_state.strVersion, strVersion);
        g_state.uintExistingBytes = uintExistingBytes;
        g_state.uintPrefixUnits = uintPrefixUnits;
    } else {
        g_state.strFolder[0] = '\0';
        g_state.strVersion[0] = '\0';
        g_state.uintPrefixUnits = kMaxPathUnits + 1;
    }
    RecordOffsets(g_state);

    // backtrace() loads the unwinder on its first call, which allocates: do
    // that here, and resolve backtrace_symbols_fd once too.
    const int intFrames = ::backtrace(g_state.frames, static_cast<int>(kMaxFrames));
    const int intNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (intNull >= 0) {
        ::backtrace_symbols_fd(g_state.frames, intFrames, intNull);
        ::close(intNull);
    }

    if (!SetUpAltStack(g_state)) {
        return false;
    }
    g_intDumpState.store(kDumpIdle);
    g_bActive.store(true, std::memory_order_release);

    struct sigaction action {};
    action.sa_sigaction = &HandleFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
    // One dump at a time per thread: another fatal signal while writing takes
    // its default action at once.
    ::sigemptyset(&action.sa_mask);
    for (int intSignal : kFatalSignals) {
        ::sigaddset(&action.sa_mask, intSignal);
    }
    for (std::size_t i = 0; i < kFatalSignals.size(); ++i) {
        if (::sigaction(kFatalSignals[i], &action, &g_state.previousActions[i]) != 0) {
            RestoreActions(g_state, i);
            g_bActive.store(false);
            TearDownAltStack(g_state);
            return false;
        }
    }
    return true;
}

void CrashDumpHandler::Uninstall()
{
    std::lock_guard<std::mutex> lock(g_installMutex);
    if (!g_bActive.load()) {
        return;
    }
    RestoreActions(g_state, kFatalSignals.size());
    g_bActive.store(false, std::memory_order_release);
    TearDownAltStack(g_state);
}

bool CrashDumpHandler::IsInstalled()
{
    return g_bActive.load(std::memory_order_acquire);
}

CrashDumpHandler::LocalTime CrashDumpHandler::ToLocalTime(std::int64_t intUtcSeconds)
{
    return CivilTime(intUtcSeconds + OffsetAt(intUtcSeconds));
}

}  // namespace pullbay::module
