#pragma once
// The progress dialog's ticks without a window: every 200 ms the engine's
// state goes through the progress model, and a tick that changed what the
// dialog shows is handed to the caller to draw (a terminal bar, a protocol
// line). Runs a nested event loop until the engine has no current file, so
// script calls and other dialogs keep being served meanwhile. GUI thread.
#include <functional>
#include <memory>

#include "control/PropertyHolder.h"
#include "ui/ProgressModel.h"

namespace pullbay::engine {
class FileListDownloader;
}

namespace pullbay::host {

class ProgressWatch {
public:
    using Draw = std::function<void(const ui::ProgressModel&)>;

    // Returns when the model has finished; the last tick's change is drawn.
    static void Run(const control::PropertyHolder& settings,
                    const std::shared_ptr<engine::FileListDownloader>& pEngine, const Draw& draw);
};

}  // namespace pullbay::host
