#pragma once
// What the control does after the download-complete dialog: nothing, ask
// whether to open the destination folder, or open it. A plain value; any
// thread may use it.
#include <cstdint>

namespace pullbay::model {

enum class DownloadCompleteAction : std::int32_t {
    None = 0,
    Prompt = 1,
    OpenFolder = 2,
};

}  // namespace pullbay::model
