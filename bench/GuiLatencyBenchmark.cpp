// How long the GUI thread goes unserved during runs of the control: a 10 ms
// timer on the GUI thread while the control (headless presenter) loads each
// published list and downloads its files; prints the largest lateness of the
// timer over all runs. The figure includes the machine's own scheduling
// delays: run it when nothing else competes for the cores.
//
//   build/bench/bench_gui_latency LIST-URL...   (a URL ending "#load" only
//   loads and confirms that list, the folder choice is cancelled)
//
// BENCH_PARALLEL_DOWNLOADS=N sets the control's ParallelDownloads (files in
// flight per server) for every run.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "control/PolicyPresenter.h"
#include "control/Pullbay.h"
#include "core/ExceptionManager.h"
#include "core/TextUnits.h"

namespace {

using namespace pullbay;
namespace fs = std::filesystem;

constexpr int kTickMs = 10;

// One run over strList; returns the timer's largest lateness in ms.
qint64 RunOnce(const std::string& strList, const fs::path& destination)
{
    const bool bLoadOnly = strList.size() > 5 && strList.ends_with("#load");
    const std::string strUrl = bLoadOnly ? strList.substr(0, strList.size() - 5) : strList;
    fs::remove_all(destination);
    fs::create_directories(destination);

    QWidget window;
    control::Pullbay control;
    auto pPresenter = std::make_shared<control::PolicyPresenter>();
    pPresenter->SetFolder(bLoadOnly ? std::wstring() : destination.wstring());
    pPresenter->SetNotice([](const std::wstring&) {});
    control.SetPresenter(pPresenter);
    control.OnWindowCreated(&window);
    com::DISPID dispid = 0;
    if (Failed(control.GetIDsOfNames(L"FileList", dispid)) ||
        Failed(control.PutProperty(
            dispid, com::Variant::FromString(com::NullableString(core::FromUtf8(strUrl)))))) {
        std::fprintf(stderr, "FileList could not be set\n");
        std::exit(1);
    }

    if (const char* strParallel = std::getenv("BENCH_PARALLEL_DOWNLOADS")) {
        if (Failed(control.GetIDsOfNames(L"ParallelDownloads", dispid)) ||
            Failed(control.PutProperty(dispid, com::Variant::FromI4(std::atoi(strParallel))))) {
            std::fprintf(stderr, "ParallelDownloads could not be set\n");
            std::exit(1);
        }
    }

    qint64 intLargest = 0;
    QElapsedTimer clock;
    qint64 intDue = 0;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const qint64 intNow = clock.elapsed();
        intLargest = std::max(intLargest, intNow - intDue);
        intDue = intNow + kTickMs;
    });
    clock.start();
    intDue = kTickMs;
    timer.start(kTickMs);
    control.Download();
    timer.stop();
    fs::remove_all(destination);
    return intLargest;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s LIST-URL[#load]...\n", argv[0]);
        return 64;
    }
    QApplication app(argc, argv);
    core::ExceptionManagerScope registry;
    const char* strTemp = std::getenv("TMPDIR");
    const fs::path destination =
        fs::path(strTemp != nullptr && *strTemp != '\0' ? strTemp : "/tmp") / "gui-latency-dest";
    qint64 intLargest = 0;
    for (int i = 1; i < argc; ++i) {
        const qint64 intRun = RunOnce(argv[i], destination);
        std::printf("%s: largest lateness %lld ms\n", argv[i], static_cast<long long>(intRun));
        intLargest = std::max(intLargest, intRun);
    }
    // Plain integers only: the numbers must not depend on the locale.
    std::printf("largest lateness %lld ms\n", static_cast<long long>(intLargest));
    return 0;
}
