#include "control/DownloadRun.h"

#include <utility>

#include <QCoreApplication>

#include "control/DestinationFolderChooser.h"
#include "control/DialogSettings.h"
#include "control/EngineProgressSource.h"
#include "control/GetFileListDialog.h"
#include "control/ProtectedModeMove.h"
#include "control/Pullbay.h"
#include "engine/FileListDownloader.h"
#include "engine/InstanceTempFolder.h"
#include "net/UrlFunctions.h"
#include "platform/IPlatform.h"
#include "tools/BackgroundWorkManager.h"
#include "tools/GuiThreadContextProvider.h"
#include "tools/WorkHolderBase.h"

namespace pullbay::control {

namespace {

constexpr const wchar_t* kCopyFailedText = L"Couldn't write destination file.";
constexpr std::uint32_t kEngineStartPollMs = 10;

}  // namespace

DownloadRun::DownloadRun(Pullbay& control, model::FileList& files,
                         engine::InstanceTempFolder& tempFolder)
    : m_control(control),
      m_properties(control.Properties()),
      m_files(files),
      m_tempFolder(tempFolder)
{
}

DownloadRun::~DownloadRun() = default;

void DownloadRun::AbortRun(const wchar_t* strRoutine, std::uint32_t uintLine)
{
    core::RecordAndThrow(core::AbortedException(strRoutine, PB_SOURCE_FILE, uintLine));
}

HRESULT DownloadRun::Run()
{
    HRESULT hr = S_OK;
    try {
        RunDownload();
    } catch (const core::AbortedException&) {
        // An early end: its DownloadComplete was raised; the record stays
        // as the trail of where the run ended.
    } catch (const core::Exception&) {
        hr = E_FAIL;
    } catch (...) {
        core::RecordForeignFailure();
        hr = E_FAIL;
    }
    try {
        FinishRun();
    } catch (...) {
        core::RecordForeignFailure();
        hr = E_FAIL;
    }
    return hr;
}

void DownloadRun::EndRunEarly()
{
    if (!IsRunning() || m_bRunEnding.exchange(true)) {
        return;
    }
    if (m_pFileListDialog != nullptr) {
        m_pFileListDialog->Cancel();
    }
    if (const auto pEngine = m_pEngine.lock()) {
        pEngine->SkipAll();
    }
    m_control.GetPresenter()->CancelDialogs();
}

HRESULT DownloadRun::CancelRun()
{
    if (!IsRunning()) {
        return S_FALSE;
    }
    if (m_bRunEnding.load() || m_bCancelled.exchange(true)) {
        return S_OK;
    }
    if (m_pFileListDialog != nullptr) {
        m_pFileListDialog->Cancel();
    }
    if (const auto pEngine = m_pEngine.lock()) {
        pEngine->SkipAll();
    }
    m_control.GetPresenter()->CancelDialogs();
    return S_OK;
}

void DownloadRun::EnterStage(RunStage stage)
{
    CheckRun();
    m_runStage = stage;
}

void DownloadRun::CheckRun() const
{
    if (m_bRunEnding.load()) {
        AbortRun(L"Pullbay::Download", __LINE__);
    }
}

void DownloadRun::FinishRun()
{
    // The engine is waited for whatever way the run ended: no file of this
    // run is still being written once Download returns.
    if (const auto pEngine = m_pEngine.lock()) {
        if (m_bRunEnding.load()) {
            pEngine->SkipAll();
        }
        while (!pEngine->WaitUntilStarted(kEngineStartPollMs)) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
        if (tools::BackgroundWorkManager* pPool = m_control.GetWorkManager()) {
            pPool->WaitForRunningWork();
        }
    }
    m_pEngine.reset();
    if (m_pProgressSource) {
        m_pProgressSource->Detach();
        m_pProgressSource.reset();
    }
    const bool bEndedEarly = m_bRunEnding.load();
    const bool bCancelled = m_bCancelled.exchange(false);
    m_control.SetIdle(true);
    m_files.Clear();
    m_control.DownloadFileCountChange();
    m_runStage = RunStage::Idle;
    m_bRunEnding = false;
    if (bEndedEarly || bCancelled) {
        // Temporary files of the files the early end skipped.
        m_tempFolder.Clear();
    }
}

void DownloadRun::RunDownload()
{
    m_downloadLog.reset();
    EnterStage(RunStage::FileList);
    m_control.DownloadStep(api::StepStarted);

    // The file list stage.
    m_control.DownloadStep(api::StepFileListStarted);
    if (!m_properties.GetFileList().empty()) {
        const std::size_t uintBefore = m_files.Count();
        const int intResult = RunFileListDialog();
        CheckRun();
        if (intResult != GetFileListDialog::kResultSuccess) {
            m_control.DownloadComplete(api::CompletionFileListFailed);
            AbortRun(L"Pullbay::CreateFileList", __LINE__);
        }
        if (m_files.Count() != uintBefore) {
            m_control.DownloadFileCountChange();
        }
    }
    m_control.DownloadStep(api::StepFileListReady);
    if (m_files.Count() == 0) {
        m_control.DownloadComplete(api::CompletionNoFiles);
        if (!m_bCancelled.load()) {
            m_control.GetPresenter()->ShowMessageBox(
                m_properties.GetText(model::TextProperty::MessageNoFilesToDownloadText),
                model::PropertyHolder::kCaption, api::MessageBoxButtons::Ok);
        }
        AbortRun(L"Pullbay::CreateFileList", __LINE__);
    }

    m_control.SetIdle(false);

    // The confirmation stage; a cancelled run ends here as cancelled.
    EnterStage(RunStage::Confirmation);
    if (m_bCancelled.load()) {
        m_control.DownloadComplete(api::CompletionConfirmationCancelled);
        AbortRun(L"Pullbay::ShowConfirmationDialog", __LINE__);
    }
    const bool bShowConfirmation =
        m_properties.GetConfirmationEnabled() &&
        (!m_properties.GetText(model::TextProperty::DownloadConfirmationDialogListUrlText)
              .empty() ||
         !m_properties.GetText(model::TextProperty::DownloadConfirmationDialogListFileNameText)
              .empty() ||
         !m_properties.GetText(model::TextProperty::DownloadConfirmationDialogListFileSizeText)
              .empty() ||
         !m_properties.GetText(model::TextProperty::DownloadConfirmationDialogListContentTypeText)
              .empty());
    if (bShowConfirmation) {
        m_control.DownloadStep(api::StepConfirmationShown);
        const std::wstring strServer = net::GetHost(m_properties.GetFileList());
        const api::ConfirmationAnswer answer = m_control.GetPresenter()->ConfirmDownload(
            DialogSettings::ConfirmationRequest(m_properties, strServer, m_files));
        CheckRun();
        if (answer.bOk) {
            for (std::size_t i = 0; i < answer.checked.size() && i < m_files.Count(); ++i) {
                m_files.At(i)->SetChecked(answer.checked[i] ? 1 : 0);
            }
        }
        m_files.DropUnchecked();
        m_control.DownloadStep(api::StepConfirmationClosed);
        if (!answer.bOk) {
            m_control.DownloadComplete(api::CompletionConfirmationCancelled);
            AbortRun(L"Pullbay::ShowConfirmationDialog", __LINE__);
        }
    }
    if (m_files.Count() == 0) {
        m_control.DownloadComplete(api::CompletionNothingSelected);
        AbortRun(L"Pullbay::ShowConfirmationDialog", __LINE__);
    }

    EnterStage(RunStage::Folder);
    if (m_bCancelled.load()) {
        m_control.DownloadComplete(api::CompletionFolderCancelled);
        AbortRun(L"Pullbay::ChooseDestinationFolder", __LINE__);
    }
    const std::wstring strDestination = ChooseDestination();
    CheckRun();

    EnterStage(RunStage::Transfer);
    RunTransfer(strDestination);
}

void DownloadRun::RunTransfer(const std::wstring& strDestination)
{
    {
        std::lock_guard lock(m_rememberedMutex);
        m_rememberedAnswer.reset();
    }
    auto pEngine = std::make_shared<engine::FileListDownloader>(m_properties, strDestination,
                                                                m_files.Copy(), *this);
    if (std::wstring strTemp = m_tempFolder.Path(); !strTemp.empty()) {
        pEngine->SetTemporaryFolder(std::move(strTemp));
    } else {
        // Every file then fails, saying which folder and why.
        pEngine->SetTemporaryFolderFailure(m_tempFolder.FailedFolder(),
                                           m_tempFolder.FailureReason());
    }
    const std::shared_ptr<api::IClientSite>& pClientSite = m_control.GetClientSite();
    pEngine->SetLocalPathsInErrors(pClientSite && pClientSite->MayShowLocalPaths());
    pEngine->SetParallelDownloads(m_properties.GetParallelDownloads());
    tools::BackgroundWorkManager* pPool = m_control.GetWorkManager();
    if (pPool == nullptr || !pPool->AddWork(pEngine, 0)) {
        // The pool is stopping: the files cannot be fetched. The record
        // names the control's routine, as the run's other records do.
        core::RecordAndThrow(
            core::UnexpectedException(L"Pullbay::RunTransfer", PB_SOURCE_FILE, __LINE__,
                                      L"the download engine could not be started"));
    }
    m_pEngine = pEngine;
    // The barrier below waits only for work a worker has taken; the pool
    // lives until the run has returned, so the engine does start.
    while (!pEngine->WaitUntilStarted(kEngineStartPollMs)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    if (m_bRunEnding.load() || m_bCancelled.load()) {
        pEngine->SkipAll();
    }
    if (m_properties.GetShowProgressDialog() && !m_bRunEnding.load() && !m_bCancelled.load()) {
        m_pProgressSource = std::make_shared<EngineProgressSource>(m_properties, pEngine);
        m_control.GetPresenter()->ShowProgress(m_pProgressSource);
    }
    // From here the pool alone holds the engine while it runs: the control
    // and a dialog that kept its source only watch it.
    pEngine.reset();
    if (tools::BackgroundWorkManager* pRunningPool = m_control.GetWorkManager()) {
        pRunningPool->WaitForRunningWork();
    }
    CheckRun();

    bool bCopyFailed = false;
    if (platform::UsesProtectedMode(*platform::CurrentPlatform())) {
        const ProtectedModeMove move(m_pFileMover,
                                     [this](std::int32_t intCode, const std::wstring& strText) {
                                         m_control.Error(intCode, strText, 0, L"", L"", -1);
                                     });
        try {
            bCopyFailed =
                !move.Run(m_files.Copy(), strDestination, m_properties.GetProcessSubfolders());
        } catch (const core::Exception&) {
            // Recorded where it was thrown; the flag stays false.
        }
    }
    m_control.DownloadStep(api::StepDownloadFinished);
    if (bCopyFailed) {
        for (std::size_t i = 0; i < m_files.Count(); ++i) {
            m_control.Error(api::ErrorCode::kDestinationFailed, kCopyFailedText, 0, L"", L"",
                            static_cast<std::int32_t>(i));
        }
    }

    const api::CompletionReport report =
        DialogSettings::CompletionReport(m_properties, m_files.Copy(), bCopyFailed, strDestination);
    m_downloadLog = report.lines;
    EnterStage(RunStage::Completion);
    RunCompletionStages(report);

    m_control.DownloadComplete(api::CompletionSuccess);
    m_control.DownloadStep(api::StepFinished);
}

std::wstring DownloadRun::ChooseDestination()
{
    DestinationFolderChooser chooser(m_control.GetSettingsKey(),
                                     m_control.GetPresenter()->FolderBrowser());
    DestinationFolderChooser::RunEvents events;
    events.folderCancelled = [this] {
        CheckRun();
        m_control.DownloadComplete(api::CompletionFolderCancelled);
    };
    events.folderChosen = [this] {
        CheckRun();
        m_control.DownloadStep(api::StepFolderChosen);
    };
    return chooser
        .ChooseDestinationFolder(
            m_properties.GetText(model::TextProperty::BrowseForFolderDialogText),
            m_properties.GetText(model::TextProperty::DefaultDestinationFolder), events)
        .strPath;
}

void DownloadRun::RunCompletionStages(const api::CompletionReport& report)
{
    // A cancelled run shows no more dialogs and opens no folder.
    if (m_bCancelled.load()) {
        return;
    }
    if (!m_properties.GetText(model::TextProperty::DownloadCompleteDialogText).empty()) {
        m_control.DownloadStep(api::StepCompleteDialogStarted);
        if (!m_properties.GetText(model::TextProperty::DownloadCompleteDialogShowLogButtonText)
                 .empty()) {
            m_control.GetPresenter()->ShowDownloadComplete(report);
            CheckRun();
        }
        m_control.DownloadStep(api::StepCompleteDialogFinished);
    }

    m_control.DownloadStep(api::StepCompleteActionStarted);
    bool bOpen = false;
    switch (m_properties.GetDownloadCompleteAction()) {
    case model::DownloadCompleteAction::Prompt:
        bOpen = m_control.GetPresenter()->ShowMessageBox(
                    m_properties.GetText(model::TextProperty::MessageOpenFolderText),
                    model::PropertyHolder::kCaption,
                    api::MessageBoxButtons::YesNo) == api::MessageBoxAnswer::Yes;
        CheckRun();
        break;
    case model::DownloadCompleteAction::OpenFolder:
        bOpen = true;
        break;
    default:
        break;
    }
    if (bOpen) {
        try {
            m_control.GetPresenter()->OpenFolder(report.strDestination);
        } catch (...) {
            // Logged under the folder-opening routine; the run goes on.
            core::RecordForeignFailure();
            core::ExceptionManager::SetException(
                core::CurrentThreadId(),
                core::UnexpectedException(L"Pullbay::ExploreFolder", PB_SOURCE_FILE, __LINE__));
        }
    }
    m_control.DownloadStep(api::StepCompleteActionFinished);
}

int DownloadRun::RunFileListDialog()
{
    std::optional<std::wstring> pageAddress;
    if (const std::shared_ptr<api::IClientSite>& pClientSite = m_control.GetClientSite()) {
        pageAddress = pClientSite->GetPageAddress();
    }
    GetFileListDialog dialog(m_properties.GetFileList(), m_control.GetCookieText(),
                             pageAddress.value_or(std::wstring()), m_control);
    m_pFileListDialog = &dialog;
    struct Forget {
        GetFileListDialog*& pDialog;
        ~Forget() { pDialog = nullptr; }
    } forget{m_pFileListDialog};
    return dialog.Run(m_properties.GetShowFileListProgressDialog());
}

DownloadRun::ListFetch DownloadRun::FetchFileList()
{
    m_runStage = RunStage::FileList;
    int intResult = GetFileListDialog::kResultFailure;
    try {
        intResult = RunFileListDialog();
    } catch (...) {
        core::RecordForeignFailure();
    }
    m_runStage = RunStage::Idle;
    m_bCancelled = false;
    if (m_bRunEnding.exchange(false)) {
        return ListFetch::EndedEarly;
    }
    return intResult == GetFileListDialog::kResultSuccess ? ListFetch::Arrived : ListFetch::Failed;
}

void DownloadRun::SkipCurrent()
{
    if (auto pEngine = m_pEngine.lock()) {
        pEngine->SkipCurrent();
    }
}

void DownloadRun::SkipAll()
{
    if (auto pEngine = m_pEngine.lock()) {
        pEngine->SkipAll();
    }
}

// --- the engine's reports (worker thread) ----------------------------------------

namespace {

// The DownloadItemComplete of a file, by the name it was written under. A
// name refused before it had a destination is told by the name the host
// gave: nothing was written under any other.
EventRaiser<Pullbay>::PendingEvent ItemCompleteEvent(const std::wstring& strPage,
                                                     const model::FileItem& item)
{
    const std::wstring& strDestination = item.GetDestinationFileName();
    return EventRaiser<Pullbay>::DownloadItemCompleteEvent(
        static_cast<api::DownloadItemCompleteType>(item.GetResult()), strPage, item.GetUrl(),
        strDestination.empty() ? item.GetFileName() : strDestination, item.GetMimeType(),
        static_cast<std::uint32_t>(item.GetFileSize()));
}

}  // namespace

void DownloadRun::ItemComplete(const std::wstring& strPage,
                               const std::shared_ptr<model::FileItem>& pItem)
{
    m_control.RaiseInOrder({ItemCompleteEvent(strPage, *pItem)});
}

void DownloadRun::ItemsSkipped(std::span<const std::shared_ptr<model::FileItem>> items,
                               std::int32_t intFirstIndex)
{
    std::vector<EventRaiser<Pullbay>::PendingEvent> events;
    events.reserve(items.size() * 2);
    std::int32_t intIndex = intFirstIndex;
    for (const std::shared_ptr<model::FileItem>& pItem : items) {
        events.push_back(EventRaiser<Pullbay>::ErrorEvent(api::ErrorCode::kFileSkipped, L"", 0, L"",
                                                          L"", intIndex++));
        events.push_back(ItemCompleteEvent(L"", *pItem));
    }
    m_control.RaiseInOrder(std::move(events));
}

void DownloadRun::Error(std::int32_t intCode, const std::wstring& strDescription,
                        std::int32_t intHttpCode, const std::wstring& strPage,
                        const std::wstring& strUrl, std::int32_t intIndex)
{
    m_control.Error(intCode, strDescription, intHttpCode, strPage, strUrl, intIndex);
}

void DownloadRun::Progress(double dblItemFraction, double dblTotalFraction, std::int32_t intIndex)
{
    m_control.Progress(PercentFromFraction(dblTotalFraction), PercentFromFraction(dblItemFraction),
                       intIndex);
}

model::FileExistsDialogAction DownloadRun::FileExists(const std::shared_ptr<model::FileItem>& pItem)
{
    const model::FileExistsDialogAction defaultAction =
        m_properties.GetFileExistsDialogDefaultAction();
    if (m_bRunEnding.load() || m_bCancelled.load()) {
        return model::FileExistsDialogAction::Skip;
    }
    const std::shared_ptr<tools::GuiThreadContextProvider> pProvider =
        m_control.GetContextProvider();
    if (m_properties.GetFileExistsDialogTimeOut() == 0 || !pProvider) {
        return defaultAction;
    }
    {
        std::lock_guard lock(m_rememberedMutex);
        if (m_rememberedAnswer) {
            return *m_rememberedAnswer;
        }
    }
    api::FileExistsReply reply{static_cast<ui::FileExistsAnswer>(defaultAction), false};
    const std::wstring strPath = pItem->FullDestinationPath();
    // The question is built and asked on the GUI thread: the texts and the
    // presenter belong to it. A run that is ending asks nothing more.
    pProvider->CallFromGuiThread(
        tools::MakeWorkHolder<0, void()>([&] {
            if (m_bRunEnding.load() || m_bCancelled.load()) {
                reply = {ui::FileExistsAnswer::Skip, false};
                return;
            }
            reply = m_control.GetPresenter()->AskFileExists(
                DialogSettings::FileExistsQuestion(m_properties, strPath, defaultAction));
            if (m_bRunEnding.load() || m_bCancelled.load()) {
                reply = {ui::FileExistsAnswer::Skip, false};
            }
        }),
        true);
    const auto action = static_cast<model::FileExistsDialogAction>(reply.action);
    if (reply.bApplyToAll) {
        std::lock_guard lock(m_rememberedMutex);
        m_rememberedAnswer = action;
    }
    return action;
}

}  // namespace pullbay::control
