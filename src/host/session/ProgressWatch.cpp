#include "host/session/ProgressWatch.h"

#include <QEventLoop>
#include <QTimer>

namespace pullbay::host {

void ProgressWatch::Run(const std::shared_ptr<api::IProgressSource>& pSource, const Draw& draw)
{
    if (!pSource) {
        return;
    }
    ui::ProgressModel model(pSource->TimeTexts(), pSource->Texts());
    QEventLoop loop;
    QTimer timer;
    timer.setInterval(static_cast<int>(ui::ProgressModel::kTickMilliseconds));
    QObject::connect(&timer, &QTimer::timeout, [&] {
        // The texts are read at every tick: script may change them meanwhile.
        model.SetTexts(pSource->Texts());
        if (model.Tick(pSource->State()) && draw) {
            draw(model);
        }
        if (model.IsFinished()) {
            timer.stop();
            loop.quit();
        }
    });
    timer.start();
    loop.exec();
}

}  // namespace pullbay::host
