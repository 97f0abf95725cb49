#pragma once
// What the module keeps for its whole life: the lock count that decides
// whether it may be unloaded, its own file path, the platform class and the
// per-user settings key. Set up by the library constructor, read from any
// thread.
#include <cstdint>
#include <string>

namespace pullbay::module {

class ModuleState {
public:
    // Objects alive plus LockServer locks.
    static void Lock();
    static void Unlock();
    static std::uint32_t LockCount();

    // The module's file path, as the loader knows it.
    static std::wstring ModulePath();

    // The settings key chosen at load (see control/SettingsKey.h).
    static const std::wstring& SettingsKey();

    // Load-time set-up and unload-time tear-down, in the order of process
    // attach and detach.
    static void Attach();
    static void Detach();
};

}  // namespace pullbay::module
