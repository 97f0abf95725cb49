#pragma once
// An absolute folder path as the control's folder texts want it: "." and
// ".." removed and no trailing separator ("out/" names the folder "out";
// the root stays "/"). Any thread.
#include <filesystem>
#include <string>

#include "core/TextUnits.h"

namespace pullbay::host {

inline std::wstring FolderText(const std::filesystem::path& absolute)
{
    std::filesystem::path normal = absolute.lexically_normal();
    if (!normal.has_filename() && normal.has_parent_path() && normal != normal.root_path()) {
        normal = normal.parent_path();
    }
    return core::FromUtf8(normal.string());
}

}  // namespace pullbay::host
