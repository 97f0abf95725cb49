#pragma once
// The user's temporary directory (what GetTempPath gives on Windows): the
// folder under which the program keeps its temporary files (Pullbay_Temp)
// and its crash dumps (Pullbay), and later its store of partial files.
//
// It is $TMPDIR when that is set and not empty; otherwise the per-user root
// $XDG_CACHE_HOME/pullbay, with ~/.cache for XDG_CACHE_HOME when that is
// unset, empty or not an absolute path. Never the system-wide /tmp: a name
// there can be taken first by any other local user, and every file of ours
// would then fail.
//
// Stateless; any thread may call these (the environment is read at each
// call). Paths are bytes as the system has them: a TMPDIR or HOME that is
// not valid UTF-8 still names the same folder.
#include <cstddef>
#include <string>

namespace pullbay::core {

class UserTempRoot {
public:
    // The name of the per-user root under the cache folder.
    static constexpr const char* kCacheFolderName = "pullbay";

    struct Location {
        // Without a trailing "/" (the root "/" itself stays). Empty when
        // TMPDIR is unset and no home folder is known (HOME unset or
        // relative and none in the user database).
        std::string strPath;
        // The per-user root: it is created when missing, with its parents.
        // $TMPDIR is the user's own setting and is never created.
        bool bPerUser = false;
        // For the per-user root, the length of the part that is expected to
        // exist (the home folder, or XDG_CACHE_HOME's parent); levels after
        // it are created. strPath's length for $TMPDIR.
        std::size_t uintExistingBytes = 0;
    };

    UserTempRoot() = delete;

    // Where the directory is; nothing is created.
    static Location Find();

    // The directory's path (Find().strPath).
    static std::string Path();

    // Makes sure the directory exists: the per-user root is created with its
    // missing parents, each with mode 0700 (the XDG base directories are
    // private to their user); $TMPDIR is only looked at. 0 with strPath set
    // to the directory; otherwise the errno that says why (ENOENT for an
    // unknown home folder or a missing $TMPDIR, ENOTDIR when something else
    // is there), strPath then naming the folder that failed (empty when
    // none is known).
    static int Create(std::string& strPath);

    // Creates the folder strFolder (its last level only, mode 0700). When
    // its parent is missing and is the per-user root, the root is created
    // first with its missing parents: whoever puts a folder there makes the
    // root on demand. 0 when the folder was made or an entry is there
    // already (the caller checks what it is), else the errno.
    static int CreateFolderIn(const std::string& strFolder);

    // Creates every missing level of strPath that ends after its first
    // uintExistingBytes bytes, mode 0700. 0, or the errno of the level that
    // could not be made (strPath longer than kMaxPathBytes: ENAMETOOLONG).
    // Async-signal-safe: mkdir(2) on a copy in a fixed buffer on the stack,
    // nothing else; the crash handler calls it.
    static constexpr std::size_t kMaxPathBytes = 4096;
    static int CreateLevels(const char* strPath, std::size_t uintExistingBytes);
};

}  // namespace pullbay::core
