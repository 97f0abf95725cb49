#pragma once
// What happens to a file whose destination name is taken: the answer of the
// file-exists dialog and the value of FileExistsDialogDefaultAction. A plain
// value; any thread may use it.
#include <cstdint>

namespace pullbay::model {

enum class FileExistsDialogAction : std::int32_t {
    Overwrite = 0,
    Skip = 1,
    Rename = 2,
};

}  // namespace pullbay::model
