#include "host/ProgressWatch.h"

#include <QEventLoop>
#include <QTimer>

#include "control/DialogSettings.h"

namespace pullbay::host {

void ProgressWatch::Run(const control::PropertyHolder& settings,
                        const std::shared_ptr<engine::FileListDownloader>& pEngine, const Draw& draw)
{
    ui::ProgressModel model(control::DialogSettings::ProgressTimeTexts(settings),
                            control::DialogSettings::ProgressTexts(settings));
    QEventLoop loop;
    QTimer timer;
    timer.setInterval(static_cast<int>(ui::ProgressModel::kTickMilliseconds));
    QObject::connect(&timer, &QTimer::timeout, [&] {
        // The texts are read at every tick: script may change them meanwhile.
        model.SetTexts(control::DialogSettings::ProgressTexts(settings));
        if (model.Tick(control::DialogSettings::EngineState(pEngine)) && draw) {
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
