#pragma once
// Writes a readable crash dump when the process dies of a fatal signal, then
// lets the signal kill the process as it would have. Install and Uninstall are
// called by the module's load and unload, on any thread but never
// concurrently with each other; the handler itself runs on the crashing thread.
#include <cstdint>
#include <string>

#include "core/Version.h"

namespace pullbay::module {

// The dump is a text file "<temp>/Pullbay/<version>-YYYYMMDD-HHMMSS-<pid>-<tid>.dmp"
// (<temp>: the user's temporary directory, core::UserTempRoot; local date
// and time, the process id and the kernel id of the crashing thread),
// holding the signal, its code and address, the registers, a backtrace of
// the crashing thread and the process's memory map. Everything
// that needs memory is prepared by Install; the handler itself only uses
// async-signal-safe calls and static storage.
//
// Local time: the handler cannot call localtime(). Install records the UTC
// offsets of the process's time zone (TZ, or /etc/localtime) from a day
// before Install to two years after it, with the exact second of each change,
// so daylight-saving changes in that span are followed; a change of the time
// zone setting itself after Install is not.
//
// The alternate signal stack is set up for the thread that calls Install (the
// one that loads the module, usually the main thread). A crash on another
// thread runs the handler on that thread's own stack, so a stack overflow
// there writes no dump unless that thread has an alternate stack of its own.
class CrashDumpHandler {
public:
    static constexpr const wchar_t* kDefaultVersionText = core::kVersionFields;
    static constexpr const wchar_t* kFolderName = L"Pullbay";
    // Longest dump path, in UTF-16 units; a longer one writes no dump.
    static constexpr std::size_t kMaxPathUnits = 520;

    struct LocalTime {
        int intYear = 0;
        int intMonth = 0;
        int intDay = 0;
        int intHour = 0;
        int intMinute = 0;
        int intSecond = 0;
    };

    CrashDumpHandler() = delete;

    // Installs the handler for SIGSEGV, SIGBUS, SIGILL, SIGFPE and SIGABRT and
    // reads the user's temporary directory (core::UserTempRoot: $TMPDIR, or
    // the per-user root $XDG_CACHE_HOME/pullbay, whose missing levels the
    // handler makes, mode 0700; no dump when neither is known). A
    // second call while installed changes nothing. False when the system
    // refused the alternate stack or a signal action; nothing is then left
    // installed. A version text holding "/" or NUL would put the dump in
    // another folder and is refused with an ArgumentException.
    static bool Install(std::wstring strVersionText = kDefaultVersionText);

    // Puts back the signal actions and the alternate stack that were there
    // before Install, where they are still the ones Install set; does nothing
    // when not installed.
    static void Uninstall();

    static bool IsInstalled();

    // The local time that a dump written at that UTC time is named with.
    // Async-signal-safe; UTC when not installed.
    static LocalTime ToLocalTime(std::int64_t intUtcSeconds);
};

}  // namespace pullbay::module
