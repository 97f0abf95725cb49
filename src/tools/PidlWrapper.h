#pragma once
// Saves a shell item (PidlItem) to a REG_BINARY registry value and loads it
// back: the persistence of the last-visited folder. Static; any thread may
// call it.
#include "tools/PidlItem.h"
#include "tools/RegistryWorks.h"

namespace pullbay::tools {

class PidlWrapper {
public:
    PidlWrapper() = delete;

    // Writes the item's serialised list (nothing when it is empty). Refuses an
    // item without a list (ArgumentNullPointerException "pidl"). A core
    // exception is recorded again for the thread and thrown on unchanged; any
    // other failure becomes a thrown UnexpectedException.
    static void SavePidlToRegistry(RegistryWorks::Root root, const wchar_t* strSubKey,
                                   const wchar_t* strName, const PidlItem& item);

    // Reads the value into item. Every failure (missing key or value, another
    // type than REG_BINARY, no data) is thrown as UnexpectedException and
    // leaves item as it was.
    static void GetPidlFromRegistry(RegistryWorks::Root root, const wchar_t* strSubKey,
                                    const wchar_t* strName, PidlItem& item);
};

}  // namespace pullbay::tools
