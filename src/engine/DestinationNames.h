#pragma once
// Where a downloaded file goes: the item's file name split into sub-folders
// and a name, the sub-folders created under the destination folder, and the
// copy names that avoid a clash. A file list comes from a server, so nothing
// here lets a name reach outside the destination folder. Stateless free
// functions; any thread may call them (the engine calls them on its worker).
#include <string>
#include <vector>

namespace pullbay::engine {

// A file name split at its folder separators.
struct DestinationName {
    std::vector<std::wstring> folders;
    std::wstring strFileName;
};

// Splits a file name from a page or a file list. Both "/" and "\" separate
// folders and a run of separators counts as one, so a leading separator
// ("/a.txt", "\\\\server\\share\\x") and empty parts ("a//b.txt") add no
// level: an absolute name stays relative to the destination. The last part is
// the file name, the parts before it the sub-folders in order. Control
// characters (U+0001-U+001F, U+007F-U+009F) become "_" in every part, as
// browsers store such names. Sub-folders "." and ".." are returned as they
// are (CreatePath and JoinFolders refuse them, and dropped sub-folders do no
// harm). A name with no file-name part
// (empty, only separators, or ending with a separator) or with a NUL throws
// core::InvalidNameException; a file-name part "." or ".." throws
// core::AccessDeniedException with the name as given. Either ends the file as
// a write error.
DestinationName SplitDestinationName(const std::wstring& strFileName);

// The destination folder as names are joined to it: trailing "/" removed
// (the root stays "/") and a relative folder made absolute with the current
// directory. An empty folder is the current directory.
std::wstring NormalizeDestinationFolder(const std::wstring& strFolder);

// strFolder, "/" and strName; no second "/" after a folder that ends with one
// (the root). An empty folder gives the name alone, never a path in the root.
std::wstring JoinPath(const std::wstring& strFolder, const std::wstring& strName);

// The path as texts show it: the name alone when the folder is empty (not
// "/name"), the folder alone when the name is empty, otherwise JoinPath.
std::wstring DisplayPath(const std::wstring& strFolder, const std::wstring& strName);

// Whether any entry (file, folder, symbolic link, even a dangling one) exists
// at the path. Links are not followed.
bool PathEntryExists(const std::wstring& strPath);

// strFolder with the parts appended, without touching the disk; refuses the
// parts that CreatePath refuses, the same way. For a destination whose
// folders are created later (Protected Mode).
std::wstring JoinFolders(const std::wstring& strFolder, const std::vector<std::wstring>& parts);

// strFolder with the parts appended one level at a time; each missing level
// is created (mode 0777 less the umask), and an existing level is entered
// only if it is not a symbolic link (strFolder itself may be one): a link
// there, even to a folder, throws core::AccessDeniedException with the path
// of that level (the file ends as a write error, as a ".." does). A part "." or ".." throws
// core::AccessDeniedException with the path built so far, before anything is
// created for it (levels before it are created); so does an empty part or one
// holding "/" or NUL, which no split name has. A failing mkdir throws
// CreateDownloadPathException with the path of that level; levels created
// before a failure stay.
std::wstring CreatePath(const std::wstring& strFolder, const std::vector<std::wstring>& parts);

// The first of "Copy of <name>", "Copy (2) of <name>", "Copy (3) of <name>"...
// with no entry of any kind in the folder. Creates nothing.
std::wstring MakeCopyName(const std::wstring& strFolder, const std::wstring& strName);

}  // namespace pullbay::engine
