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

// The user's temporary directory (core::UserTempRoot: $TMPDIR, else the
// per-user root $XDG_CACHE_HOME/pullbay, never the shared /tmp) followed by
// "/", strName and "/". Empty when that directory is unknown (TMPDIR unset
// and no home folder). Creates nothing: the folder's creation makes the
// per-user root as needed (core::UserTempRoot::CreateFolderIn).
std::wstring GetTempFolder(const std::wstring& strName);

// Why a temporary folder is refused, in the words of a failure message:
// it is not a real directory of this user that only this user may write.
inline constexpr const wchar_t* kNotPrivateFolderText =
    L"the folder is not a private folder of this user";
// Why there is no temporary folder at all (GetTempFolder gave nothing).
inline constexpr const wchar_t* kUnknownTempDirectoryText =
    L"the user's temporary directory is unknown (TMPDIR is not set and there is no home folder)";

// Makes sure strFolder exists (only its last level is created, mode 0700,
// and the per-user root above it when that is its parent),
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
// left when their process died in the middle. Only a copy this program can
// prove its own goes: a regular file of this user named ".PBT<hex>.tmp",
// with one link, carrying the extended attribute kCopyMarkerAttribute whose
// value names that very file (kCopyMarkerValue), and whose lock (flock) no
// process holds (a copy is locked from before it has a name until it has
// its final one, so another process's commit under way is never touched).
// A file a user or another program named so stays, and so does a copy on a
// file system without user extended attributes (its marker could not be
// written: never sweeping it is the safe choice). Failures are ignored.
// Any thread.
void RemoveAbandonedCopies(const std::wstring& strFolder);

// The marker of a commit's hidden copy: this extended attribute, set while
// the copy has no name yet (O_TMPFILE) or before it holds any data, and
// removed before the copy takes its final name, with the value
// "<kCopyMarkerValue> <inode number in decimal> <the copy's name>", so that
// a copy of the file elsewhere (a new inode) or under another name is not
// taken for the copy.
inline constexpr const char* kCopyMarkerAttribute = "user.pullbay.commit-copy";
inline constexpr const char* kCopyMarkerValue = "pullbay-commit-copy-1";

// Gives a finished temporary file the mode of a file its user saves: 0666
// less the process's umask (the temporary file was private, 0600). Failures
// are ignored: the file then stays private.
void SetStoredFileMode(const std::wstring& strTempPath);

// What a commit may do to an entry at the destination.
enum class CommitMode {
    // Replace it (the Overwrite answer): rename(2).
    Replace,
    // Never replace anything, also an entry that appears while the commit
    // runs: renameat2 with RENAME_NOREPLACE, or link then unlink where the
    // file system refuses that flag (EINVAL).
    NoReplace,
};

// What became of a commit that did not throw.
enum class CommitResult {
    Committed,
    // NoReplace only: an entry is at the destination; nothing was changed,
    // the temporary file is where it was. The file-exists rule applies.
    TargetExists,
};

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
// caller that commits many files: reading the umask costs four system calls)
// and what may happen to an entry at the destination. With NoReplace, an
// entry there (of any kind, found before the copy or appearing until the
// final rename) gives TargetExists and changes nothing.
CommitResult CommitFile(const std::wstring& strTempPath, const std::wstring& strDestPath,
                        std::uint32_t uintStoredMode, CommitMode mode = CommitMode::Replace);

namespace detail {
// The moves behind CommitMode::NoReplace, for the tests of the fallbacks:
// 0, or -1 with errno set (EEXIST: an entry is at the target). Rename
// tries renameat2 with RENAME_NOREPLACE and, where the file system refuses
// the flag, LinkThenUnlink: a hard link (which never replaces) and the old
// name removed; where hard links are refused too, a look for an entry just
// before a plain rename (the best such a file system allows).
int RenameWithoutReplacing(int intFromFolderFd, const char* strFrom, int intToFolderFd,
                           const char* strTo);
int LinkThenUnlink(int intFromFolderFd, const char* strFrom, int intToFolderFd, const char* strTo);
}  // namespace detail

// The mode of a file its user saves: 0666 less the process's umask.
std::uint32_t StoredFileMode();

}  // namespace pullbay::engine
