#pragma once
// The hidden copies that a commit across file systems makes beside its
// destination, and the unique names that they and the temporary files get.
// A copy is made locked (flock, held while the commit lasts) and marked (a
// user extended attribute naming it) before it has a name, so a sweep can
// prove which copies a dead process left and never takes a user's file.
// Any thread; every function works on the descriptors it is given.
#include <sys/types.h>

#include <fcntl.h>

#include <string>
#include <string_view>

namespace pullbay::engine::detail {

// A name of a fresh random number: strPrefix + up to eight upper-case hex
// digits + ".tmp".
std::string NewTempName(std::string_view strPrefix);
// Creates a new file strPrefix<hex>.tmp in the open folder, opened with
// intAccess (O_WRONLY or O_RDWR); -1 with errno set when that fails for a
// reason other than a name in use.
int CreateUniqueFile(int intFolderFd, std::string_view strPrefix, mode_t uintMode,
                     std::string& strName, int intAccess = O_WRONLY);
// A new hidden copy in the open folder, locked for as long as this process
// lives or the descriptor is open, and marked where the file system allows;
// its name in strCopyName. -1 with errno set.
int CreateLockedCopy(int intFolderFd, std::string& strCopyName);
// Removes the copies in the open folder that this program can prove its own
// and abandoned.
void SweepAbandonedCopies(int intFolderFd);

}  // namespace pullbay::engine::detail
