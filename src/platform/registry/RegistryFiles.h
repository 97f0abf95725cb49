#pragma once
// File operations of the registry store, relative to an open directory, so a
// key stays the directory it was opened as. Any thread may call them; two
// writers of the same file leave the content of the one that renamed last.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/HResult.h"
#include "platform/registry/FileDescriptor.h"

namespace pullbay::platform {

// The HRESULT of a file-system errno with the original platform's codes
// (ENOENT -> HResultFromWin32(2), EACCES -> 5, ENOSPC -> 112, ...).
HRESULT HResultFromErrno(int intErrno);

// A name for a temporary entry that no other writer uses at the same time:
// the prefix (starting with ".") followed by the process, the thread and a
// counter.
std::string MakeTemporaryEntryName(const char* strPrefix);

// Replaces (or creates) the file strName in the directory so that a reader
// sees either the old content or the new one, also after a crash: the bytes
// go to a temporary file of the same directory (mode 0600), which is synced,
// renamed over strName, and the directory is synced. On failure the
// temporary file is removed and the old content is left as it was.
HRESULT WriteFileAtomically(int hDirectory, const std::string& strName,
                            std::span<const std::uint8_t> bytes);

// The whole content of a regular file of the directory; symbolic links are
// not followed.
HRESULT ReadWholeFile(int hDirectory, const std::string& strName, std::vector<std::uint8_t>& bytes);

// The names in a directory, without "." and "..", in no particular order.
HRESULT ListDirectory(int hDirectory, std::vector<std::string>& names);

// Opens a subdirectory without following a symbolic link.
HRESULT OpenDirectory(int hDirectory, const std::string& strName, FileDescriptor& directory);

// Removes the entry strName of the directory with everything below it;
// symbolic links inside are removed, never followed.
HRESULT RemoveTree(int hDirectory, const std::string& strName);

// fsync of an open file or directory.
HRESULT SyncDescriptor(int hFile);

}  // namespace pullbay::platform
