#pragma once
// How key and value names of the registry store become file names. Stateless;
// any thread may call every function.
//
// A key is a directory and a value a file inside its key's directory. The
// file name is derived from the name folded to lower case (A-Z only), so a
// lookup in any letter case finds the same entry without reading the
// directory; the original spelling is kept inside the entry. The derived name
// never holds '/', never is "." or "..", and never exceeds 200 bytes:
//   - '%', '/', '~', control characters, and '.' or '=' in first place are
//     written as "%XX"; code points that UTF-8 cannot carry as "%uXXXXXXXX";
//     everything else as UTF-8;
//   - a result above 200 bytes keeps its first 160 bytes (whole characters)
//     followed by "~" and 16 hex digits of a hash of the whole result;
//   - a value's file name is "=" followed by that text, so values and subkeys
//     of the same name live side by side.
// File names starting with "." belong to the store itself (key records,
// temporary files) and are never entries.
#include <string>
#include <string_view>
#include <vector>

#include "core/HResult.h"

namespace pullbay::platform {

// The levels of a key path written with "\" separators; empty levels (a
// leading, trailing or doubled "\") are dropped.
std::vector<std::wstring> SplitRegistryPath(std::wstring_view strPath);

// S_OK for a usable name, E_INVALIDARG for an empty key name, a NUL or a name
// above the platform's limit (255 UTF-16 units for a key, 16383 for a value;
// the empty value name is the key's default value).
HRESULT CheckRegistryKeyName(std::wstring_view strName);
HRESULT CheckRegistryValueName(std::wstring_view strName);

// The file names of a key and of a value, as described above.
std::string RegistryKeyEntryName(std::wstring_view strName);
std::string RegistryValueEntryName(std::wstring_view strName);

// True when an entry name was shortened with a hash: two names may then
// share it, and the caller compares the name kept inside the entry.
bool IsHashedRegistryEntryName(std::string_view strEntryName);

// Case-insensitive (A-Z) ordering, used for enumerations.
bool RegistryNameLess(std::wstring_view strLeft, std::wstring_view strRight);

}  // namespace pullbay::platform
