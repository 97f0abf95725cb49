#include "control/GetFileListDialog.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "control/Pullbay.h"
#include "engine/DownloadWork.h"
#include "engine/FileListRetrieval.h"
#include "engine/IFileListSink.h"
#include "pullbay/Events.h"
#include "tools/BackgroundWorkManager.h"
#include "tools/GuiThreadContextProvider.h"
#include "tools/WorkHolderBase.h"

namespace pullbay::control {

// The retrieval's notifications, on the worker; shared with the retrieval.
class GetFileListDialog::Sink final : public engine::IFileListSink {
public:
    explicit Sink(Pullbay& control) : m_control(control) {}

    int Result() const { return m_intResult.load(); }

    // GUI thread: the first end wins; the wait is woken.
    void End(int intResult)
    {
        int intExpected = 0;
        m_intResult.compare_exchange_strong(intExpected, intResult);
        if (QCoreApplication* pApplication = QCoreApplication::instance()) {
            if (QAbstractEventDispatcher* pDispatcher =
                    QAbstractEventDispatcher::instance(pApplication->thread())) {
                pDispatcher->wakeUp();
            }
        }
    }

    void AddBatch(engine::FileListBatch batch) override
    {
        // One synchronous call per chunk: the list is only ever touched on
        // the GUI thread, which keeps serving script meanwhile. A batch that
        // arrives after the dialog ended is dropped there.
        auto pProvider = m_control.GetContextProvider();
        if (!pProvider) {
            return;
        }
        pProvider->CallFromGuiThread(tools::MakeWorkHolder<0, void()>([this, &batch] {
                                         if (Result() == 0) {
                                             m_control.AddFileListBatch(batch);
                                         }
                                     }),
                                     true);
    }

    void RetrievalFailed(std::int32_t intCode, std::wstring strDescription,
                         std::int32_t intHttpStatus, std::wstring strResponseText,
                         std::wstring strListUrl) override
    {
        if (Result() == 0) {
            m_control.Error(intCode, strDescription, intHttpStatus, strResponseText, strListUrl,
                            -1);
        }
    }

    void Progress(std::int64_t, std::int64_t) override
    {
        // The progress bar belongs to the dialog's window.
    }

    void Ended(std::int32_t intResult) override
    {
        End(intResult == kResultComplete ? GetFileListDialog::kResultSuccess
                                         : GetFileListDialog::kResultFailure);
    }

private:
    Pullbay& m_control;
    std::atomic<int> m_intResult{0};
};

GetFileListDialog::GetFileListDialog(std::wstring strListUrl, std::wstring strCookieText,
                                     Pullbay& control)
    : m_strListUrl(std::move(strListUrl)),
      m_strCookieText(std::move(strCookieText)),
      m_control(control),
      m_pSink(std::make_shared<Sink>(control))
{
}

GetFileListDialog::~GetFileListDialog()
{
    // No notification reaches this dialog or the list after it goes.
    m_pSink->End(kResultFailure);
    if (m_pRetrieval) {
        m_pRetrieval->Cancel();
    }
}

int GetFileListDialog::Run(bool bShowWindow)
{
    const model::PropertyHolder& settings = m_control.Properties();
    m_pRetrieval = engine::FileListRetrieval::Create(
        m_strListUrl, m_strCookieText, settings.GetTimeOut(), settings.GetReconnectAttemptsCount(),
        settings.GetReconnectTimeOut(), m_pSink);
    tools::BackgroundWorkManager* pPool = m_control.GetWorkManager();
    if (pPool == nullptr || !pPool->AddWork(m_pRetrieval->CreateWork(), 0)) {
        return kResultFailure;
    }
    const std::shared_ptr<api::IDialogPresenter> pPresenter =
        bShowWindow ? m_control.GetPresenter() : nullptr;
    if (pPresenter) {
        // The host's cancel may come after this dialog has gone: it only
        // reaches the shared sink.
        std::weak_ptr<Sink> pWeakSink = m_pSink;
        pPresenter->FileListProgressShown(
            settings.GetText(model::TextProperty::FileListProgressDialogText), [pWeakSink] {
                if (const auto pSink = pWeakSink.lock()) {
                    pSink->End(kResultFailure);
                }
            });
    }
    // Sleeps in the event loop: the retrieval's GUI-thread calls and its
    // end wake it; the timer keeps the wait at most one interval.
    QTimer pollTimer;
    pollTimer.start(kPollIntervalMs);
    while (m_pSink->Result() == 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    if (pPresenter) {
        pPresenter->FileListProgressClosed();
    }
    // Ended (also by a cancel): the transfer stops and is heard no more.
    m_pRetrieval->Cancel();
    return m_pSink->Result();
}

void GetFileListDialog::Cancel()
{
    m_pSink->End(kResultFailure);
}

}  // namespace pullbay::control
