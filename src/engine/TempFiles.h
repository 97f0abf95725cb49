#pragma once
// Temporary files of the downloads: the private folder they live in, unique
// new files in it, their clean-up, and the commit of a finished file to its
// destination. Stateless free functions; any thread may call them (the engine
// calls them on its worker, the control on the GUI thread when it goes).
#include <cstdint>
#include <memory>
#include <string>

#include "core/HResult.h"

namespace pullbay::core {
class FileStream;
}

namespace pullbay::engine {

// The folder name under the user's temporary directory that the engine uses.
inline constexpr const wchar_t* kTempFolderName = L"Pullbay_Temp";

// The user's temporary directory ($TMPDIR, or /tmp when that is unset or
// empty) followed by "/", strName and "/".
std::wstring GetTempFolder(const std::wstring& strName);

// Makes sure strFolder exists (only its last level is created, mode 0700),
// checks that it is a real directory of the current user that no one else
// may write (a folder in /tmp can be planted by anyone), and creates a new,
// empty file "PBT<hex>.tmp" in it with mode 0600. S_OK with strPath set to the
// file's path; otherwise a failure code (E_ACCESSDENIED for a folder that is
// not ours, the file system's error as HResultFromWin32 otherwise) and
// strPath untouched.
HRESULT CreateTempFileName(const std::wstring& strFolder, std::wstring& strPath);

// As CreateTempFileName, with the new file open for reading and writing (a
// stream that knows the file is empty). S_OK with both out-arguments set;
// otherwise the failure code and both untouched. The calling thread keeps the
// folder it used last open: while its path still names that directory, with
// the same owner and mode, the next file costs a look at the path and the
// creation, not the whole make-and-check.
HRESULT CreateTempFileStream(const std::wstring& strFolder,
                             std::unique_ptr<core::FileStream>& pStream, std::wstring& strPath);

// Empties strFolder: entries whose name begins with "." stay; plain
// directories are emptied the same way and stay; every other entry (files,
// symbolic links, sockets...) is removed, failures ignored. A symbolic link
// is never followed, neither for strFolder itself nor below it, so the
// clean-up cannot reach outside the folder. Returns whether the folder could
// be read.
bool DeleteFolderContents(const std::wstring& strFolder);

// Removes from strFolder the hidden copies that commits across file systems
// left when their process died in the middle (a copy is locked while its
// commit runs, so another process's commit under way is never touched).
// Failures are ignored. Any thread.
void RemoveAbandonedCopies(const std::wstring& strFolder);

// Gives a finished temporary file the mode of a file its user saves: 0666
// less the process's umask (the temporary file was private, 0600). Failures
// are ignored: the file then stays private.
void SetStoredFileMode(const std::wstring& strTempPath);

// Moves a finished temporary file to its destination, replacing an existing
// file there. Within one file system this is one rename. Across file systems
// the file is copied to a hidden new file in the destination's folder,
// flushed to disk and renamed into place before the source is removed, so the
// destination never holds a partial file. A destination that is a directory
// is refused. Failures throw the core exception for the errno
// (core::ThrowErrnoException: a full disk is a Win32Exception with code 112);
// the temporary file then stays where it was.
void CommitFile(const std::wstring& strTempPath, const std::wstring& strDestPath);
// The same with the stored file's mode given (StoredFileMode, read once by a
// caller that commits many files: reading the umask costs four system calls).
void CommitFile(const std::wstring& strTempPath, const std::wstring& strDestPath,
                std::uint32_t uintStoredMode);

// The mode of a file its user saves: 0666 less the process's umask.
std::uint32_t StoredFileMode();

}  // namespace pullbay::engine
