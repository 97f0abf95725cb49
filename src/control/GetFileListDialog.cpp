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
class GetFileListDialog::Sink final : public engine::IFileListSink,
                                      public std::enable_shared_from_this<GetFileListDialog::Sink> {
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

    void Progress(std::int64_t intDone, std::int64_t intExpected) override
    {
        // The newest figures wait here; one queued call at a time carries
        // them to the window, so a fast transfer never floods the GUI thread.
        m_intDone.store(intDone);
        m_intExpected.store(intExpected);
        auto pProvider = m_control.GetContextProvider();
        if (!pProvider || Result() != 0 || m_bProgressQueued.exchange(true)) {
            return;
        }
        std::weak_ptr<Sink> pWeakSelf = weak_from_this();
        pProvider->CallFromGuiThread(tools::MakeWorkHolder<0, void()>([pWeakSelf] {
                                         if (const auto pSelf = pWeakSelf.lock()) {
                                             pSelf->ShowProgress();
                                         }
                                     }),
                                     false);
    }

    // GUI thread: the window that shows the bar, until the dialog ends.
    void ShowProgressIn(std::shared_ptr<api::IDialogPresenter> pPresenter)
    {
        m_pPresenter = std::move(pPresenter);
    }

    void Ended(std::int32_t intResult) override
    {
        End(intResult == kResultComplete ? GetFileListDialog::kResultSuccess
                                         : GetFileListDialog::kResultFailure);
    }

private:
    // GUI thread.
    void ShowProgress()
    {
        m_bProgressQueued = false;
        if (m_pPresenter && Result() == 0) {
            m_pPresenter->FileListProgress(m_intDone.load(), m_intExpected.load());
        }
    }

    Pullbay& m_control;
    std::atomic<int> m_intResult{0};
    std::atomic<std::int64_t> m_intDone{0};
    std::atomic<std::int64_t> m_intExpected{0};
    std::atomic<bool> m_bProgressQueued{false};
    std::shared_ptr<api::IDialogPresenter> m_pPresenter;
};

GetFileListDialog::GetFileListDialog(std::wstring strListUrl, std::wstring strCookieText,
                                     std::wstring strPageAddress, Pullbay& control)
    : m_strListUrl(std::move(strListUrl)),
      m_strCookieText(std::move(strCookieText)),
      m_strPageAddress(std::move(strPageAddress)),
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
        m_strListUrl, m_strCookieText, m_strPageAddress, settings.GetTimeOut(),
        settings.GetReconnectAttemptsCount(), settings.GetReconnectTimeOut(), m_pSink);
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
            {settings.GetText(model::TextProperty::FileListProgressDialogText),
             settings.GetText(model::TextProperty::FileListProgressDialogCancelButtonText)},
            [pWeakSink] {
                if (const auto pSink = pWeakSink.lock()) {
                    pSink->End(kResultFailure);
                }
            });
        m_pSink->ShowProgressIn(pPresenter);
    }
    // Sleeps in the event loop: the retrieval's GUI-thread calls and its
    // end wake it; the timer keeps the wait at most one interval.
    QTimer pollTimer;
    pollTimer.start(kPollIntervalMs);
    while (m_pSink->Result() == 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    if (pPresenter) {
        m_pSink->ShowProgressIn(nullptr);
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
