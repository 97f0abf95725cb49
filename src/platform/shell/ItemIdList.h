#pragma once
// Item identifier lists: how the shell layer names a folder. A list holds one
// item per path component under a leading root item, or a single item naming
// a virtual folder (one without a file-system path, such as the trash).
// Stateless; any thread may call every function.
//
// Wire form (what is stored as the last-visited folder): items, each
//   u16 little-endian total length (the two length bytes included),
//   u8  kind (ItemKind),
//   the name in UTF-8 (empty for the root item),
// ended by a u16 zero. A list never exceeds kMaxListBytes.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pullbay::platform::shell {

// The bytes of one item identifier list, terminator included; empty means
// "no folder".
using ItemIdBytes = std::vector<std::uint8_t>;

class ItemIdList {
public:
    enum class ItemKind : std::uint8_t {
        Root = 1,       // the file-system root "/"
        Component = 2,  // one path component below the previous item
        Virtual = 3,    // a folder without a file-system path
    };

    // Lists above this size are not supported (callers store them in a
    // registry value with the same limit).
    static constexpr std::size_t kMaxListBytes = 32000;

    ItemIdList() = delete;

    // The list of an absolute path, one item per component. Empty and "."
    // components are dropped and ".." goes up one level (never above the
    // root). Empty for a relative path, a path holding a NUL or one whose
    // list would exceed kMaxListBytes. The file system is not consulted.
    static ItemIdBytes FromPath(std::wstring_view strAbsolutePath);

    // The list of a virtual folder; empty for an empty or overlong name.
    static ItemIdBytes FromVirtualFolder(std::wstring_view strName);

    // The file-system path that a list names, or nullopt for a virtual
    // folder or a list that is not well formed (truncated, overlong, an
    // unknown kind, a name that is not valid UTF-8 or holds '/', NUL, "." or
    // ".."). Never reads outside [pList, pList + uintSize); bytes after the
    // terminator are ignored.
    static std::optional<std::wstring> ToPath(const std::uint8_t* pList, std::size_t uintSize);
    static std::optional<std::wstring> ToPath(const ItemIdBytes& list);

    // The name of a well-formed virtual-folder list, nullopt otherwise.
    static std::optional<std::wstring> VirtualFolderName(const ItemIdBytes& list);

    // True when the list names a file-system folder (a path, not a virtual
    // folder). Only the list is examined.
    static bool IsFileSystemFolder(const ItemIdBytes& list);

    // The list of an existing directory named by text: an absolute path, or
    // "~" / "~/..." under the user's home. Empty for anything else.
    static ItemIdBytes ParseDisplayName(std::wstring_view strDisplayName);
};

}  // namespace pullbay::platform::shell
