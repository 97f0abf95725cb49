#pragma once
// The progress dialog's ticks without a window: every 200 ms the source's
// state goes through the progress model, and a tick that changed what the
// dialog shows is handed to the caller to draw (a terminal bar, a protocol
// line). Runs a nested event loop until the engine has no current file, so
// script calls and other dialogs keep being served meanwhile. GUI thread.
#include <functional>
#include <memory>

#include "pullbay/IDialogPresenter.h"
#include "ui/ProgressModel.h"

namespace pullbay::host {

class ProgressWatch {
public:
    using Draw = std::function<void(const ui::ProgressModel&)>;

    // Returns when the model has finished; the last tick's change is drawn.
    static void Run(const std::shared_ptr<api::IProgressSource>& pSource, const Draw& draw);
};

}  // namespace pullbay::host
