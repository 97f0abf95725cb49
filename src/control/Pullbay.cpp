#include "control/Pullbay.h"

#include <limits>
#include <utility>

#include "control/DestinationFolderChooser.h"
#include "control/DialogSettings.h"
#include "control/EngineProgressSource.h"
#include "control/GetFileListDialog.h"
#include "control/PolicyPresenter.h"
#include "control/ProtectedModeMove.h"
#include "control/UrlAcceptance.h"
#include "core/TextUnits.h"
#include "core/ThreadAffinity.h"
#include "dialogs/InPageButton.h"
#include "dialogs/QtPresenter.h"
#include "engine/FileListDownloader.h"
#include "model/PropertyRules.h"
#include "model/PropertyTable.h"
#include "pullbay/Display.h"

#include <QCoreApplication>
#include "engine/InstanceTempFolder.h"
#include "engine/TempFiles.h"
#include "net/UrlFunctions.h"
#include "platform/IPlatform.h"
#include "platform/com/ErrorInfo.h"
#include "platform/com/StreamPersistence.h"
#include "tools/BackgroundWorkManager.h"
#include "tools/GuiThreadContextProvider.h"
#include "tools/WorkHolderBase.h"
#include "ui/TextFormatters.h"
#include "ui/TextPlaceholders.h"

namespace pullbay::control {

using com::DISPID;
using com::MemberInfo;
using com::MemberKind;
using com::NullableString;
using com::VarType;
using com::Variant;

namespace {

constexpr const wchar_t* kFileSizeNegativeText = L"FileSize must not be negative";
constexpr const wchar_t* kInvalidUrlText = L"Invalid url";
constexpr const wchar_t* kItemExistsText = L"Item already exists";
constexpr std::int32_t kBusyIndex = -2;

}  // namespace

Pullbay::Pullbay()
    : m_pTempFolder(std::make_unique<engine::InstanceTempFolder>(
          engine::GetTempFolder(engine::kTempFolderName))),
      m_pPool(std::make_unique<tools::BackgroundWorkManager>(false)),
      m_pQtPresenter(api::DisplayPresent() ? std::make_shared<dialogs::QtPresenter>() : nullptr),
      m_pDefaultPresenter(m_pQtPresenter ? std::shared_ptr<api::IDialogPresenter>(m_pQtPresenter)
                                         : std::make_shared<PolicyPresenter>()),
      m_pPresenter(m_pDefaultPresenter)
{
    com::RegisterProgId(kClsid, kProgId);
    // Every event is handled while the GUI thread waits for the engine.
    m_pPool->SetPumpMode(tools::BackgroundWorkManager::kPumpAllEvents);
}

Pullbay::~Pullbay()
{
    OnWindowDestroyed();
    // Temporary files of failed and skipped files go with the control's own
    // folder; other controls' folders are left alone.
    m_pTempFolder.reset();
}

void Pullbay::SetPresenter(std::shared_ptr<api::IDialogPresenter> pPresenter)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    m_pPresenter = pPresenter ? std::move(pPresenter) : m_pDefaultPresenter;
}

std::shared_ptr<api::IDialogPresenter> Pullbay::GetDefaultPresenter() const
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    return m_pDefaultPresenter;
}

std::shared_ptr<api::IDialogPresenter> Pullbay::GetWindowedPresenter()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (!m_pQtPresenter) {
        m_pQtPresenter = std::make_shared<dialogs::QtPresenter>();
        if (m_pWindow != nullptr) {
            m_pQtPresenter->SetOwner(m_pWindow);
        }
    }
    return m_pQtPresenter;
}

void Pullbay::SetClientSite(std::shared_ptr<api::IClientSite> pClientSite)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    m_pClientSite = std::move(pClientSite);
}

void Pullbay::OnWindowCreated(QWidget* pWindow)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    m_properties.SetInitialized(true);
    QObject::disconnect(m_windowGone);
    m_pWindow = pWindow;
    m_bWindowGone = false;
    // A host that deletes the window without telling the control still ends
    // the run that depends on it.
    m_windowGone = QObject::connect(pWindow, &QObject::destroyed, [this] {
        if (!m_bWindowGone) {
            OnWindowDestroyed();
        }
    });
    OpenEvents();
    if (m_pQtPresenter) {
        m_pQtPresenter->SetOwner(pWindow);
    }
    delete m_pButton.data();
    m_pButton = new dialogs::InPageButton(
        pWindow, QString::fromStdWString(m_properties.GetButtonDownloadText()),
        m_properties.GetBackgroundColor(), m_bEnabled && m_bIdle, [this] {
            if (m_buttonRunner) {
                m_buttonRunner();
            } else {
                RunFromButton();
            }
        });
    if (!m_pPool) {
        m_pPool = std::make_unique<tools::BackgroundWorkManager>(false);
        m_pPool->SetPumpMode(tools::BackgroundWorkManager::kPumpAllEvents);
    }
    m_pPool->Start();
    m_strCookieText = m_pClientSite ? m_pClientSite->GetCookieText() : std::wstring();
    m_pProvider = std::make_shared<tools::GuiThreadContextProvider>(
        pWindow, tools::GuiThreadContextProvider::kInfinite);
    Initialize(m_pProvider);
    m_pInitTimer = std::make_unique<QTimer>();
    m_pInitTimer->setSingleShot(true);
    m_pInitTimer->setInterval(kInitCompleteRetryMs);
    QObject::connect(m_pInitTimer.get(), &QTimer::timeout, [this] { FireInitCompleteWithRetry(); });
    FireInitCompleteWithRetry();
}

void Pullbay::OnWindowDestroyed()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    QObject::disconnect(m_windowGone);
    m_bWindowGone = true;
    m_pWindow = nullptr;
    delete m_pButton.data();
    if (m_pInitTimer) {
        m_pInitTimer->stop();
        m_pInitTimer.reset();
    }
    SilenceEvents();
    if (IsRunning()) {
        // The run still waits somewhere below on this stack: it ends at its
        // next step and releases the pool itself once it has returned.
        EndRunEarly();
        return;
    }
    ReleaseWindowParts();
}

void Pullbay::ReleaseWindowParts()
{
    // The pool stops with the window (its workers get their time to end).
    m_pPool.reset();
}

void Pullbay::EndRunEarly()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (!IsRunning() || m_bRunEnding.exchange(true)) {
        return;
    }
    if (m_pFileListDialog != nullptr) {
        m_pFileListDialog->Cancel();
    }
    if (const auto pEngine = m_pEngine.lock()) {
        pEngine->SkipAll();
    }
    m_pPresenter->CancelDialogs();
}

HRESULT Pullbay::CancelRun()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
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
    m_pPresenter->CancelDialogs();
    return S_OK;
}

std::wstring Pullbay::TemporaryFolder()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    return m_pTempFolder->Path();
}

void Pullbay::FireInitCompleteWithRetry()
{
    if (FireInitComplete() == S_FALSE && m_pInitTimer) {
        m_pInitTimer->start();
    }
}

// --- file list -------------------------------------------------------------

bool Pullbay::IsValidIndex(std::int32_t intIndex) const
{
    return intIndex >= 0 && static_cast<std::size_t>(intIndex) < m_files.Count();
}

std::optional<std::wstring> Pullbay::AcceptScriptUrl(const std::wstring& strUrl) const
{
    std::optional<std::wstring> pageAddress;
    if (m_pClientSite) {
        pageAddress = m_pClientSite->GetPageAddress();
    }
    return AcceptUrl(strUrl, pageAddress);
}

void Pullbay::RaiseListError(std::int32_t intCode, const std::wstring& strDescription,
                             std::int32_t intIndex)
{
    Error(intCode, strDescription, 0, L"", L"", intIndex);
}

HRESULT Pullbay::DownloadFileAdd(const NullableString& strMimeType, std::int32_t intFileSize,
                                 const NullableString& strFileName, const NullableString& strUrl,
                                 std::int32_t* pIndex)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (strUrl.IsNull() || strFileName.IsNull() || strMimeType.IsNull()) {
        return E_POINTER;
    }
    if (!m_bIdle) {
        if (pIndex != nullptr) {
            *pIndex = kBusyIndex;
        }
        return S_FALSE;
    }
    if (intFileSize < 0) {
        RaiseListError(api::ErrorCode::kInvalidArgument, kFileSizeNegativeText, -1);
        return S_OK;
    }
    const std::optional<std::wstring> canonical = AcceptScriptUrl(strUrl.Value());
    if (!canonical) {
        RaiseListError(api::ErrorCode::kInvalidArgument, strUrl.Value(), -1);
        return S_OK;
    }
    auto pItem =
        model::FileItem::Create(strMimeType.Value(), intFileSize, strFileName.Value(), *canonical);
    if (m_files.Add(pItem)) {
        DownloadFileCountChange();
        if (pIndex != nullptr) {
            *pIndex = static_cast<std::int32_t>(m_files.Count() - 1);
        }
    }
    return S_OK;
}

HRESULT Pullbay::DownloadFileRemove(std::int32_t intIndex)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (!IsValidIndex(intIndex)) {
        return E_INVALIDARG;
    }
    if (!m_bIdle) {
        return S_FALSE;
    }
    m_files.RemoveAt(static_cast<std::size_t>(intIndex));
    DownloadFileCountChange();
    return S_OK;
}

HRESULT Pullbay::ReplaceItem(std::int32_t intIndex, const NullableString& strValue, bool bUrl)
{
    if (strValue.IsNull()) {
        return E_POINTER;
    }
    if (!m_bIdle) {
        return S_FALSE;
    }
    if (!IsValidIndex(intIndex)) {
        return E_INVALIDARG;
    }
    // A new item from the declared fields with the one field replaced; every
    // other field starts again at its initial value.
    // Held, not referenced: the host's page address is asked for below.
    const std::shared_ptr<const model::FileItem> pListed =
        m_files.At(static_cast<std::size_t>(intIndex));
    const model::FileItem& listed = *pListed;
    std::shared_ptr<model::FileItem> pItem;
    if (bUrl) {
        const std::optional<std::wstring> canonical = AcceptScriptUrl(strValue.Value());
        if (!canonical) {
            RaiseListError(api::ErrorCode::kInvalidArgument, kInvalidUrlText, intIndex);
            return S_OK;
        }
        pItem = model::FileItem::Create(listed.GetMimeType(), listed.GetFileSize(),
                                        listed.GetFileName(), *canonical);
    } else {
        pItem = model::FileItem::Create(listed.GetMimeType(), listed.GetFileSize(),
                                        strValue.Value(), listed.GetUrl());
    }
    // The old item is still indexed: the same keys count as a duplicate.
    if (m_files.ContainsEqual(*pItem)) {
        RaiseListError(api::ErrorCode::kDuplicateItem, kItemExistsText, intIndex);
        return S_OK;
    }
    m_files.ReplaceAt(static_cast<std::size_t>(intIndex), pItem);
    return S_OK;
}

HRESULT Pullbay::PutDownloadFileUrl(std::int32_t intIndex, const NullableString& strValue)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    return ReplaceItem(intIndex, strValue, true);
}

HRESULT Pullbay::PutDownloadFileName(std::int32_t intIndex, const NullableString& strValue)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    return ReplaceItem(intIndex, strValue, false);
}

HRESULT Pullbay::PutDownloadFileMimeType(std::int32_t intIndex, const NullableString& strValue)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (strValue.IsNull()) {
        return E_POINTER;
    }
    if (!m_bIdle) {
        return S_FALSE;
    }
    if (!IsValidIndex(intIndex)) {
        return E_INVALIDARG;
    }
    m_files.At(static_cast<std::size_t>(intIndex))->SetMimeType(strValue.Value());
    return S_OK;
}

HRESULT Pullbay::PutDownloadFileSize(std::int32_t intIndex, std::int32_t intValue)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (!m_bIdle) {
        return S_FALSE;
    }
    if (!IsValidIndex(intIndex) || intValue < 0) {
        return E_INVALIDARG;
    }
    m_files.At(static_cast<std::size_t>(intIndex))->SetFileSize(intValue);
    return S_OK;
}

// The getters of the indexed list properties share their checks: a null
// out-pointer, then the index; getters work during a run too.
template <typename Value, typename Read>
HRESULT Pullbay::ReadItem(std::int32_t intIndex, Value* pValue, Read read) const
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (pValue == nullptr) {
        return E_POINTER;
    }
    if (!IsValidIndex(intIndex)) {
        return E_INVALIDARG;
    }
    *pValue = read(*m_files.At(static_cast<std::size_t>(intIndex)));
    return S_OK;
}

HRESULT Pullbay::GetDownloadFileUrl(std::int32_t intIndex, NullableString* pValue) const
{
    return ReadItem(intIndex, pValue,
                    [](const model::FileItem& item) { return NullableString(item.GetUrl()); });
}

HRESULT Pullbay::GetDownloadFileName(std::int32_t intIndex, NullableString* pValue) const
{
    return ReadItem(intIndex, pValue,
                    [](const model::FileItem& item) { return NullableString(item.GetFileName()); });
}

HRESULT Pullbay::GetDownloadFileMimeType(std::int32_t intIndex, NullableString* pValue) const
{
    return ReadItem(intIndex, pValue,
                    [](const model::FileItem& item) { return NullableString(item.GetMimeType()); });
}

HRESULT Pullbay::GetDownloadFileSize(std::int32_t intIndex, std::int32_t* pValue) const
{
    // The low 32 bits of a size that a list declared beyond them.
    return ReadItem(intIndex, pValue, [](const model::FileItem& item) {
        return static_cast<std::int32_t>(item.GetFileSize());
    });
}

HRESULT Pullbay::GetDownloadFileCount(std::int32_t* pValue) const
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (pValue == nullptr) {
        return E_POINTER;
    }
    *pValue = static_cast<std::int32_t>(m_files.Count());
    return S_OK;
}

HRESULT Pullbay::ClearFileList()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    const std::size_t uintBefore = m_files.Count();
    m_files.Clear();
    if (m_files.Count() != uintBefore) {
        DownloadFileCountChange();
    }
    return S_OK;
}

// --- download run ---------------------------------------------------------------

namespace {

constexpr const wchar_t* kCopyFailedText = L"Couldn't write destination file.";
constexpr std::uint32_t kEngineStartPollMs = 10;

}  // namespace

void Pullbay::AbortRun(const wchar_t* strRoutine, std::uint32_t uintLine)
{
    core::RecordAndThrow(core::AbortedException(strRoutine, PB_SOURCE_FILE, uintLine));
}

HRESULT Pullbay::Download()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (!m_bEnabled || m_pWindow == nullptr) {
        return S_OK;
    }
    // One run at a time: a call from an event handler during a run (or a
    // file-list fetch) is told the control is busy.
    if (IsRunning()) {
        return S_FALSE;
    }
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

void Pullbay::RunFromButton()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    // A second click queued behind the first arrives while its run goes on.
    if (IsRunning()) {
        return;
    }
    if (m_pButton) {
        m_pButton->SetEnabled(false);
    }
    Download();
    UpdateButton();
}

QPushButton* Pullbay::Button() const
{
    return m_pButton ? m_pButton->Button() : nullptr;
}

void Pullbay::Draw(QPainter& painter, const QRect& bounds) const
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (m_properties.IsInitialized()) {
        dialogs::InPageButton::DrawInitialized(painter, bounds, m_properties.GetBackgroundColor());
    } else {
        dialogs::InPageButton::DrawDesignTime(
            painter, bounds, QString::fromWCharArray(model::PropertyHolder::kCaption));
    }
}

void Pullbay::SetIdle(bool bIdle)
{
    m_bIdle = bIdle;
    UpdateButton();
}

void Pullbay::UpdateButton()
{
    if (m_pButton) {
        m_pButton->SetEnabled(m_bEnabled && m_bIdle);
    }
}

void Pullbay::EnterStage(RunStage stage)
{
    CheckRun();
    m_runStage = stage;
}

void Pullbay::CheckRun() const
{
    if (m_bRunEnding.load()) {
        AbortRun(L"Pullbay::Download", __LINE__);
    }
}

void Pullbay::FinishRun()
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
        if (m_pPool) {
            m_pPool->WaitForRunningWork();
        }
    }
    m_pEngine.reset();
    if (m_pProgressSource) {
        m_pProgressSource->Detach();
        m_pProgressSource.reset();
    }
    const bool bEndedEarly = m_bRunEnding.load();
    const bool bCancelled = m_bCancelled.exchange(false);
    SetIdle(true);
    m_files.Clear();
    DownloadFileCountChange();
    m_runStage = RunStage::Idle;
    m_bRunEnding = false;
    if (bEndedEarly || bCancelled) {
        // Temporary files of the files the early end skipped.
        m_pTempFolder->Clear();
    }
    if (m_bWindowGone) {
        ReleaseWindowParts();
    }
}

void Pullbay::RunDownload()
{
    m_downloadLog.reset();
    EnterStage(RunStage::FileList);
    DownloadStep(api::StepStarted);

    // The file list stage.
    DownloadStep(api::StepFileListStarted);
    if (!m_properties.GetFileList().empty()) {
        const std::size_t uintBefore = m_files.Count();
        const int intResult = RunFileListDialog();
        CheckRun();
        if (intResult != GetFileListDialog::kResultSuccess) {
            DownloadComplete(api::CompletionFileListFailed);
            AbortRun(L"Pullbay::CreateFileList", __LINE__);
        }
        if (m_files.Count() != uintBefore) {
            DownloadFileCountChange();
        }
    }
    DownloadStep(api::StepFileListReady);
    if (m_files.Count() == 0) {
        DownloadComplete(api::CompletionNoFiles);
        if (!m_bCancelled.load()) {
            m_pPresenter->ShowMessageBox(
                m_properties.GetText(model::TextProperty::MessageNoFilesToDownloadText),
                model::PropertyHolder::kCaption, api::MessageBoxButtons::Ok);
        }
        AbortRun(L"Pullbay::CreateFileList", __LINE__);
    }

    SetIdle(false);

    // The confirmation stage; a cancelled run ends here as cancelled.
    EnterStage(RunStage::Confirmation);
    if (m_bCancelled.load()) {
        DownloadComplete(api::CompletionConfirmationCancelled);
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
        DownloadStep(api::StepConfirmationShown);
        const std::wstring strServer = net::GetHost(m_properties.GetFileList());
        const api::ConfirmationAnswer answer = m_pPresenter->ConfirmDownload(
            DialogSettings::ConfirmationRequest(m_properties, strServer, m_files));
        CheckRun();
        if (answer.bOk) {
            for (std::size_t i = 0; i < answer.checked.size() && i < m_files.Count(); ++i) {
                m_files.At(i)->SetChecked(answer.checked[i] ? 1 : 0);
            }
        }
        m_files.DropUnchecked();
        DownloadStep(api::StepConfirmationClosed);
        if (!answer.bOk) {
            DownloadComplete(api::CompletionConfirmationCancelled);
            AbortRun(L"Pullbay::ShowConfirmationDialog", __LINE__);
        }
    }
    if (m_files.Count() == 0) {
        DownloadComplete(api::CompletionNothingSelected);
        AbortRun(L"Pullbay::ShowConfirmationDialog", __LINE__);
    }

    EnterStage(RunStage::Folder);
    if (m_bCancelled.load()) {
        DownloadComplete(api::CompletionFolderCancelled);
        AbortRun(L"Pullbay::ChooseDestinationFolder", __LINE__);
    }
    const std::wstring strDestination = ChooseDestination();
    CheckRun();

    EnterStage(RunStage::Transfer);
    RunTransfer(strDestination);
}

void Pullbay::RunTransfer(const std::wstring& strDestination)
{
    {
        std::lock_guard lock(m_rememberedMutex);
        m_rememberedAnswer.reset();
    }
    auto pEngine = std::make_shared<engine::FileListDownloader>(m_properties, strDestination,
                                                                m_files.Copy(), *this);
    if (std::wstring strTemp = m_pTempFolder->Path(); !strTemp.empty()) {
        pEngine->SetTemporaryFolder(std::move(strTemp));
    } else {
        // Every file then fails, saying which folder and why.
        pEngine->SetTemporaryFolderFailure(m_pTempFolder->FailedFolder(),
                                           m_pTempFolder->FailureReason());
    }
    pEngine->SetLocalPathsInErrors(m_pClientSite && m_pClientSite->MayShowLocalPaths());
    if (!m_pPool || !m_pPool->AddWork(pEngine, 0)) {
        // The pool is stopping: the files cannot be fetched.
        PB_THROW(core::UnexpectedException, L"the download engine could not be started");
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
        m_pPresenter->ShowProgress(m_pProgressSource);
    }
    // From here the pool alone holds the engine while it runs: the control
    // and a dialog that kept its source only watch it.
    pEngine.reset();
    if (m_pPool) {
        m_pPool->WaitForRunningWork();
    }
    CheckRun();

    bool bCopyFailed = false;
    if (platform::UsesProtectedMode(*platform::CurrentPlatform())) {
        const ProtectedModeMove move(m_pFileMover,
                                     [this](std::int32_t intCode, const std::wstring& strText) {
                                         Error(intCode, strText, 0, L"", L"", -1);
                                     });
        try {
            bCopyFailed =
                !move.Run(m_files.Copy(), strDestination, m_properties.GetProcessSubfolders());
        } catch (const core::Exception&) {
            // Recorded where it was thrown; the flag stays false.
        }
    }
    DownloadStep(api::StepDownloadFinished);
    if (bCopyFailed) {
        for (std::size_t i = 0; i < m_files.Count(); ++i) {
            Error(api::ErrorCode::kDestinationFailed, kCopyFailedText, 0, L"", L"",
                  static_cast<std::int32_t>(i));
        }
    }

    const api::CompletionReport report =
        DialogSettings::CompletionReport(m_properties, m_files.Copy(), bCopyFailed, strDestination);
    m_downloadLog = report.lines;
    EnterStage(RunStage::Completion);
    RunCompletionStages(report);

    DownloadComplete(api::CompletionSuccess);
    DownloadStep(api::StepFinished);
}

std::wstring Pullbay::ChooseDestination()
{
    DestinationFolderChooser chooser(m_strSettingsKey, m_pPresenter->FolderBrowser());
    DestinationFolderChooser::RunEvents events;
    events.folderCancelled = [this] {
        CheckRun();
        DownloadComplete(api::CompletionFolderCancelled);
    };
    events.folderChosen = [this] {
        CheckRun();
        DownloadStep(api::StepFolderChosen);
    };
    return chooser
        .ChooseDestinationFolder(
            m_properties.GetText(model::TextProperty::BrowseForFolderDialogText),
            m_properties.GetText(model::TextProperty::DefaultDestinationFolder), events)
        .strPath;
}

void Pullbay::RunCompletionStages(const api::CompletionReport& report)
{
    // A cancelled run shows no more dialogs and opens no folder.
    if (m_bCancelled.load()) {
        return;
    }
    if (!m_properties.GetText(model::TextProperty::DownloadCompleteDialogText).empty()) {
        DownloadStep(api::StepCompleteDialogStarted);
        if (!m_properties.GetText(model::TextProperty::DownloadCompleteDialogShowLogButtonText)
                 .empty()) {
            m_pPresenter->ShowDownloadComplete(report);
            CheckRun();
        }
        DownloadStep(api::StepCompleteDialogFinished);
    }

    DownloadStep(api::StepCompleteActionStarted);
    bool bOpen = false;
    switch (m_properties.GetDownloadCompleteAction()) {
    case model::DownloadCompleteAction::Prompt:
        bOpen = m_pPresenter->ShowMessageBox(
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
            m_pPresenter->OpenFolder(report.strDestination);
        } catch (...) {
            // Logged under the folder-opening routine; the run goes on.
            core::RecordForeignFailure();
            core::ExceptionManager::SetException(
                core::CurrentThreadId(),
                core::UnexpectedException(L"Pullbay::ExploreFolder", PB_SOURCE_FILE, __LINE__));
        }
    }
    DownloadStep(api::StepCompleteActionFinished);
}

int Pullbay::RunFileListDialog()
{
    std::optional<std::wstring> pageAddress;
    if (m_pClientSite) {
        pageAddress = m_pClientSite->GetPageAddress();
    }
    GetFileListDialog dialog(m_properties.GetFileList(), m_strCookieText,
                             pageAddress.value_or(std::wstring()), *this);
    m_pFileListDialog = &dialog;
    struct Forget {
        GetFileListDialog*& pDialog;
        ~Forget() { pDialog = nullptr; }
    } forget{m_pFileListDialog};
    return dialog.Run(m_properties.GetShowFileListProgressDialog());
}

HRESULT Pullbay::DownloadFileList()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (IsRunning()) {
        return S_FALSE;
    }
    DownloadStep(api::StepFileListStarted);
    if (m_properties.GetFileList().empty() || m_pWindow == nullptr) {
        return S_OK;
    }
    m_runStage = RunStage::FileList;
    const std::size_t uintBefore = m_files.Count();
    int intResult = GetFileListDialog::kResultFailure;
    try {
        intResult = RunFileListDialog();
    } catch (...) {
        core::RecordForeignFailure();
    }
    m_runStage = RunStage::Idle;
    m_bCancelled = false;
    const bool bEndedEarly = m_bRunEnding.exchange(false);
    if (m_bWindowGone) {
        ReleaseWindowParts();
    }
    if (bEndedEarly) {
        return S_OK;
    }
    if (intResult == GetFileListDialog::kResultSuccess) {
        DownloadStep(api::StepFileListReady);
        if (m_files.Count() != uintBefore) {
            DownloadFileCountChange();
        }
    } else {
        DownloadComplete(api::CompletionFileListFailed);
    }
    return S_OK;
}

HRESULT Pullbay::SkipCurrent()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (auto pEngine = m_pEngine.lock()) {
        pEngine->SkipCurrent();
    }
    return S_OK;
}

HRESULT Pullbay::SkipAll()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (auto pEngine = m_pEngine.lock()) {
        pEngine->SkipAll();
    }
    return S_OK;
}

void Pullbay::AddFileListBatch(const engine::FileListBatch& batch)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    for (const engine::FileListBatch::Entry& entry : batch.entries) {
        if (!entry.IsItem()) {
            Error(entry.intErrorCode, entry.strDescription, 0, L"", L"", 0);
        } else if (!m_files.Add(entry.pItem)) {
            Error(api::ErrorCode::kDuplicateItem, engine::FileListBatch::kItemExistsText, 0, L"",
                  L"", 0);
        }
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

void Pullbay::ItemComplete(const std::wstring& strPage,
                           const std::shared_ptr<model::FileItem>& pItem)
{
    RaiseInOrder({ItemCompleteEvent(strPage, *pItem)});
}

void Pullbay::ItemsSkipped(std::span<const std::shared_ptr<model::FileItem>> items,
                           std::int32_t intFirstIndex)
{
    std::vector<PendingEvent> events;
    events.reserve(items.size() * 2);
    std::int32_t intIndex = intFirstIndex;
    for (const std::shared_ptr<model::FileItem>& pItem : items) {
        events.push_back(ErrorEvent(api::ErrorCode::kFileSkipped, L"", 0, L"", L"", intIndex++));
        events.push_back(ItemCompleteEvent(L"", *pItem));
    }
    RaiseInOrder(std::move(events));
}

void Pullbay::Error(std::int32_t intCode, const std::wstring& strDescription,
                    std::int32_t intHttpCode, const std::wstring& strPage,
                    const std::wstring& strUrl, std::int32_t intIndex)
{
    EventRaiser<Pullbay>::Error(intCode, strDescription, intHttpCode, strPage, strUrl, intIndex);
}

void Pullbay::Progress(double dblItemFraction, double dblTotalFraction, std::int32_t intIndex)
{
    EventRaiser<Pullbay>::Progress(PercentFromFraction(dblTotalFraction),
                                   PercentFromFraction(dblItemFraction), intIndex);
}

model::FileExistsDialogAction Pullbay::FileExists(const std::shared_ptr<model::FileItem>& pItem)
{
    const model::FileExistsDialogAction defaultAction =
        m_properties.GetFileExistsDialogDefaultAction();
    if (m_bRunEnding.load() || m_bCancelled.load()) {
        return model::FileExistsDialogAction::Skip;
    }
    if (m_properties.GetFileExistsDialogTimeOut() == 0 || !m_pProvider) {
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
    m_pProvider->CallFromGuiThread(
        tools::MakeWorkHolder<0, void()>([&] {
            if (m_bRunEnding.load() || m_bCancelled.load()) {
                reply = {ui::FileExistsAnswer::Skip, false};
                return;
            }
            reply = m_pPresenter->AskFileExists(
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

// --- properties --------------------------------------------------------------

HRESULT Pullbay::GetProperty(DISPID dispid, Variant& value) const
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (dispid == model::PropertyTable::kDispidEnabled) {
        // Reads false during a download run whatever was stored.
        value = Variant::FromBool(m_bEnabled && m_bIdle);
        return S_OK;
    }
    const model::PropertyDescriptor* pProperty = model::PropertyTable::TryFind(dispid);
    if (pProperty == nullptr) {
        return com::DISP_E_MEMBERNOTFOUND;
    }
    return pProperty->Get(m_properties, value);
}

HRESULT Pullbay::PutProperty(DISPID dispid, const Variant& value)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    const model::PropertyDescriptor* pProperty = model::PropertyTable::TryFind(dispid);
    if (pProperty == nullptr) {
        return com::DISP_E_MEMBERNOTFOUND;
    }
    if (dispid == model::PropertyTable::kDispidEnabled) {
        Variant flag;
        const HRESULT hr = value.ChangeType(VarType::Bool, flag);
        if (Failed(hr)) {
            return hr;
        }
        m_bEnabled = flag.Bool();
        m_bDirty = true;
        UpdateButton();
        return S_OK;
    }
    if (dispid == model::PropertyTable::kDispidFileList) {
        Variant text;
        const HRESULT hr = value.ChangeType(VarType::BStr, text);
        if (Failed(hr)) {
            return hr;
        }
        if (text.String().IsNull()) {
            return E_POINTER;
        }
        // A rejected URL keeps the old value and raises nothing.
        if (const auto canonical = AcceptScriptUrl(text.String().Value())) {
            m_properties.SetFileList(*canonical);
            m_bDirty = true;
        }
        return S_OK;
    }
    const HRESULT hr = pProperty->Put(m_properties, value);
    if (dispid == model::PropertyTable::kDispidBackgroundColor && hr == E_FAIL) {
        return com::ReportError(kClsid, model::kColorChangeRefusedText, kIidIPullbay, E_FAIL);
    }
    if (Succeeded(hr)) {
        m_bDirty = true;
        if (dispid == model::PropertyTable::kDispidButtonDownloadText && m_pButton) {
            m_pButton->Relabel(QString::fromStdWString(m_properties.GetButtonDownloadText()));
        }
    }
    return hr;
}

HRESULT Pullbay::GetConfirmationEnabled(bool* pValue) const
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (pValue == nullptr) {
        return E_POINTER;
    }
    *pValue = m_properties.GetConfirmationEnabled();
    return S_OK;
}

HRESULT Pullbay::PutConfirmationEnabled(bool bValue)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    m_properties.SetConfirmationEnabled(bValue);
    return S_OK;
}

}  // namespace pullbay::control
