// The confirmation dialog over 100,000 files, unfolded, from construction to
// the list's first paint (offscreen platform): the list serves rows on
// demand, so this must not grow with the list. Goal: under 250 ms.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QObject>

#include <cstdlib>
#include <string>

#include "control/DialogSettings.h"
#include "dialogs/ConfirmationDialog.h"
#include "model/PropertyHolder.h"

namespace {

using namespace pullbay;

constexpr int kRows = 100000;

api::ConfirmationRequest LargeRequest()
{
    api::ConfirmationRequest request;
    request.settings = control::DialogSettings::Confirmation(model::PropertyHolder());
    request.settings.bFileListExpanded = true;
    request.settings.bProtectedMode = false;
    request.strServer = L"mirror.example.net";
    request.rows.reserve(kRows);
    for (int i = 0; i < kRows; ++i) {
        const std::wstring strName = L"frame-" + std::to_wstring(i) + L".tiff";
        request.rows.push_back({L"https://mirror.example.net/archive/scans/" + strName, strName,
                                std::to_wstring(100 + i % 900) + L" KB", L"image/tiff", true});
    }
    return request;
}

// Notes the first paint of the watched widget.
class FirstPaint : public QObject {
public:
    bool bPainted = false;

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override
    {
        if (pEvent->type() == QEvent::Paint) {
            bPainted = true;
        }
        return QObject::eventFilter(pWatched, pEvent);
    }
};

void BM_ConfirmationDialogToFirstPaint(benchmark::State& state)
{
    // The request is the caller's: its copy into the dialog's model is timed.
    const api::ConfirmationRequest request = LargeRequest();
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        FirstPaint paint;
        {
            dialogs::ConfirmationDialog dialog(request, nullptr);
            dialog.List()->viewport()->installEventFilter(&paint);
            dialog.show();
            while (!paint.bPainted) {
                QApplication::processEvents(QEventLoop::WaitForMoreEvents);
            }
            state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        }
        // The dialog's deferred deletions, outside the measured time.
        QApplication::processEvents();
    }
    state.counters["rows"] = kRows;
}
// One dialog per repetition; the report's median is the figure to read.
BENCHMARK(BM_ConfirmationDialogToFirstPaint)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv)
{
    // Offscreen unless the caller chose a platform.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
