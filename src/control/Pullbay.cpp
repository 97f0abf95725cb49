#include "control/Pullbay.h"

#include <limits>
#include <utility>

#include "control/DestinationFolderChooser.h"
#include "control/GetFileListDialog.h"
#include "control/PolicyPresenter.h"
#include "control/PropertyRules.h"
#include "control/PropertyTable.h"
#include "control/UrlAcceptance.h"
#include "core/TextUnits.h"
#include "engine/FileListDownloader.h"

#include <QCoreApplication>
#include "engine/TempFiles.h"
#include "net/UrlFunctions.h"
#include "platform/IPlatform.h"
#include "tools/BackgroundWorkManager.h"
#include "tools/WorkHolderBase.h"
#include "ui/TextFormatters.h"
#include "ui/TextPlaceholders.h"
#include "platform/com/ErrorInfo.h"
#include "platform/com/StreamPersistence.h"
#include "tools/GuiThreadContextProvider.h"

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
constexpr const wchar_t* kExtentCxName = L"_cx";
constexpr const wchar_t* kExtentCyName = L"_cy";

Variant Text(const NullableString& strText)
{
    return Variant::FromString(strText);
}

// Builds the dispatch table: the list and download members here, the
// properties from the property table.
com::DispatchTable<Pullbay> BuildTable()
{
    com::DispatchTable<Pullbay> table;
    const auto index = com::ParameterInfo{L"Index", VarType::I4};

    // Properties come first, in the slot order of the type description.
    for (DISPID dispid : PropertyTable::SlotOrder()) {
        const PropertyDescriptor& property = PropertyTable::Find(dispid);
        table.Add(MemberInfo{property.strName, dispid, MemberKind::PropertyGet, {}, property.type},
                  [dispid](Pullbay& control, const std::vector<Variant>&, Variant& result) {
                      return control.GetProperty(dispid, result);
                  });
        if (!property.bReadOnly) {
            table.Add(MemberInfo{property.strName, dispid, MemberKind::PropertyPut,
                                 {{L"newVal", property.type}}, VarType::Empty},
                      [dispid](Pullbay& control, const std::vector<Variant>& args, Variant&) {
                          return control.PutProperty(dispid, args[0]);
                      });
        }
    }

    // Indexed string properties of the list.
    struct IndexedText {
        const wchar_t* strName;
        DISPID dispid;
        HRESULT (Pullbay::*get)(std::int32_t, NullableString*) const;
        HRESULT (Pullbay::*put)(std::int32_t, const NullableString&);
    };
    const IndexedText texts[] = {
        {L"DownloadFileUrl", Pullbay::DispidDownloadFileUrl, &Pullbay::GetDownloadFileUrl,
         &Pullbay::PutDownloadFileUrl},
        {L"DownloadFileName", Pullbay::DispidDownloadFileName, &Pullbay::GetDownloadFileName,
         &Pullbay::PutDownloadFileName},
        {L"DownloadFileMimeType", Pullbay::DispidDownloadFileMimeType,
         &Pullbay::GetDownloadFileMimeType, &Pullbay::PutDownloadFileMimeType},
    };
    for (const IndexedText& text : texts) {
        table.Add(MemberInfo{text.strName, text.dispid, MemberKind::PropertyGet, {index}, VarType::BStr},
                  [get = text.get](Pullbay& control, const std::vector<Variant>& args, Variant& result) {
                      NullableString value;
                      const HRESULT hr = (control.*get)(args[0].I4(), &value);
                      if (hr == S_OK) {
                          result = Text(value);
                      }
                      return hr;
                  });
        table.Add(MemberInfo{text.strName, text.dispid, MemberKind::PropertyPut,
                             {index, {L"newVal", VarType::BStr}}, VarType::Empty},
                  [put = text.put](Pullbay& control, const std::vector<Variant>& args, Variant&) {
                      return (control.*put)(args[0].I4(), args[1].String());
                  });
    }
    table.Add(MemberInfo{L"DownloadFileSize", Pullbay::DispidDownloadFileSize, MemberKind::PropertyGet,
                         {index}, VarType::I4},
              [](Pullbay& control, const std::vector<Variant>& args, Variant& result) {
                  std::int32_t intValue = 0;
                  const HRESULT hr = control.GetDownloadFileSize(args[0].I4(), &intValue);
                  if (hr == S_OK) {
                      result = Variant::FromI4(intValue);
                  }
                  return hr;
              });
    table.Add(MemberInfo{L"DownloadFileSize", Pullbay::DispidDownloadFileSize, MemberKind::PropertyPut,
                         {index, {L"newVal", VarType::I4}}, VarType::Empty},
              [](Pullbay& control, const std::vector<Variant>& args, Variant&) {
                  return control.PutDownloadFileSize(args[0].I4(), args[1].I4());
              });
    table.Add(MemberInfo{L"DownloadFileCount", Pullbay::DispidDownloadFileCount, MemberKind::PropertyGet,
                         {}, VarType::I4},
              [](Pullbay& control, const std::vector<Variant>&, Variant& result) {
                  std::int32_t intCount = 0;
                  const HRESULT hr = control.GetDownloadFileCount(&intCount);
                  result = Variant::FromI4(intCount);
                  return hr;
              });

    // Methods.
    table.Add(MemberInfo{L"DownloadFileAdd", Pullbay::DispidDownloadFileAdd, MemberKind::Method,
                         {{L"mimeType", VarType::BStr}, {L"fileSize", VarType::I4},
                          {L"fileName", VarType::BStr}, {L"url", VarType::BStr}},
                         VarType::I4},
              [](Pullbay& control, const std::vector<Variant>& args, Variant& result) {
                  // A duplicate leaves the result unwritten (still Empty).
                  constexpr std::int32_t kUnwritten = std::numeric_limits<std::int32_t>::min();
                  std::int32_t intIndex = kUnwritten;
                  const HRESULT hr = control.DownloadFileAdd(args[0].String(), args[1].I4(),
                                                             args[2].String(), args[3].String(),
                                                             &intIndex);
                  if (intIndex != kUnwritten) {
                      result = Variant::FromI4(intIndex);
                  }
                  return hr;
              });
    table.Add(MemberInfo{L"DownloadFileRemove", Pullbay::DispidDownloadFileRemove, MemberKind::Method,
                         {index}, VarType::Empty},
              [](Pullbay& control, const std::vector<Variant>& args, Variant&) {
                  return control.DownloadFileRemove(args[0].I4());
              });
    struct PlainMethod {
        const wchar_t* strName;
        DISPID dispid;
        HRESULT (Pullbay::*method)();
    };
    const PlainMethod methods[] = {
        {L"DownloadFileList", Pullbay::DispidDownloadFileList, &Pullbay::DownloadFileList},
        {L"Download", Pullbay::DispidDownload, &Pullbay::Download},
        {L"ClearFileList", Pullbay::DispidClearFileList, &Pullbay::ClearFileList},
        {L"SkipCurrent", Pullbay::DispidSkipCurrent, &Pullbay::SkipCurrent},
        {L"SkipAll", Pullbay::DispidSkipAll, &Pullbay::SkipAll},
    };
    for (const PlainMethod& method : methods) {
        table.Add(MemberInfo{method.strName, method.dispid, MemberKind::Method, {}, VarType::Empty},
                  [call = method.method](Pullbay& control, const std::vector<Variant>&, Variant&) {
                      return (control.*call)();
                  });
    }
    return table;
}

}  // namespace

Pullbay::Pullbay()
    : m_pPool(std::make_unique<tools::BackgroundWorkManager>(false)),
      m_pPresenter(std::make_shared<PolicyPresenter>())
{
    com::RegisterProgId(kClsid, kProgId);
    // Every event is handled while the GUI thread waits for the engine.
    m_pPool->SetPumpMode(tools::BackgroundWorkManager::kPumpAllEvents);
}

Pullbay::~Pullbay()
{
    OnWindowDestroyed();
    // Temporary files of failed and skipped files go with the control.
    engine::DeleteFolderContents(engine::GetTempFolder(engine::kTempFolderName));
}

void Pullbay::SetPresenter(std::shared_ptr<IDialogPresenter> pPresenter)
{
    m_pPresenter = pPresenter ? std::move(pPresenter) : std::make_shared<PolicyPresenter>();
}

const com::DispatchTable<Pullbay>& Pullbay::Table()
{
    static const com::DispatchTable<Pullbay> s_table = BuildTable();
    return s_table;
}

HRESULT Pullbay::GetIDsOfNames(std::wstring_view strName, DISPID& dispid)
{
    return Table().GetIDsOfNames(strName, dispid);
}

HRESULT Pullbay::Invoke(DISPID dispid, std::uint16_t uintFlags, std::vector<Variant> args,
                        Variant* pResult)
{
    return Table().Invoke(*this, dispid, uintFlags, std::move(args), pResult);
}

const std::vector<MemberInfo>& Pullbay::Describe() const
{
    return Table().Members();
}

void Pullbay::SetClientSite(std::shared_ptr<IClientSite> pClientSite)
{
    m_pClientSite = std::move(pClientSite);
}

void Pullbay::OnWindowCreated(QWidget* pWindow)
{
    m_properties.SetInitialized(true);
    m_pWindow = pWindow;
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
    if (m_pInitTimer) {
        m_pInitTimer->stop();
        m_pInitTimer.reset();
    }
    // The pool stops with the window (its workers get their time to end).
    m_pPool.reset();
    m_pWindow = nullptr;
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
        RaiseListError(ErrorCode::kInvalidArgument, kFileSizeNegativeText, -1);
        return S_OK;
    }
    const std::optional<std::wstring> canonical = AcceptScriptUrl(strUrl.Value());
    if (!canonical) {
        RaiseListError(ErrorCode::kInvalidArgument, strUrl.Value(), -1);
        return S_OK;
    }
    auto pItem = FileItem::Create(strMimeType.Value(), intFileSize, strFileName.Value(), *canonical);
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
    auto pItem = m_files.At(static_cast<std::size_t>(intIndex))->CloneDeclared();
    if (bUrl) {
        const std::optional<std::wstring> canonical = AcceptScriptUrl(strValue.Value());
        if (!canonical) {
            RaiseListError(ErrorCode::kInvalidArgument, kInvalidUrlText, intIndex);
            return S_OK;
        }
        pItem->SetUrl(*canonical);
    } else {
        pItem->SetFileName(strValue.Value());
    }
    // The old item is still indexed: the same keys count as a duplicate.
    if (m_files.ContainsEqual(*pItem)) {
        RaiseListError(ErrorCode::kDuplicateItem, kItemExistsText, intIndex);
        return S_OK;
    }
    m_files.ReplaceAt(static_cast<std::size_t>(intIndex), pItem);
    return S_OK;
}

HRESULT Pullbay::PutDownloadFileUrl(std::int32_t intIndex, const NullableString& strValue)
{
    return ReplaceItem(intIndex, strValue, true);
}

HRESULT Pullbay::PutDownloadFileName(std::int32_t intIndex, const NullableString& strValue)
{
    return ReplaceItem(intIndex, strValue, false);
}

HRESULT Pullbay::PutDownloadFileMimeType(std::int32_t intIndex, const NullableString& strValue)
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
    m_files.At(static_cast<std::size_t>(intIndex))->SetMimeType(strValue.Value());
    return S_OK;
}

HRESULT Pullbay::PutDownloadFileSize(std::int32_t intIndex, std::int32_t intValue)
{
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
    return ReadItem(intIndex, pValue, [](const FileItem& item) { return NullableString(item.GetUrl()); });
}

HRESULT Pullbay::GetDownloadFileName(std::int32_t intIndex, NullableString* pValue) const
{
    return ReadItem(intIndex, pValue, [](const FileItem& item) { return NullableString(item.GetFileName()); });
}

HRESULT Pullbay::GetDownloadFileMimeType(std::int32_t intIndex, NullableString* pValue) const
{
    return ReadItem(intIndex, pValue, [](const FileItem& item) { return NullableString(item.GetMimeType()); });
}

HRESULT Pullbay::GetDownloadFileSize(std::int32_t intIndex, std::int32_t* pValue) const
{
    return ReadItem(intIndex, pValue, [](const FileItem& item) { return item.GetFileSize(); });
}

HRESULT Pullbay::GetDownloadFileCount(std::int32_t* pValue) const
{
    if (pValue == nullptr) {
        return E_POINTER;
    }
    *pValue = static_cast<std::int32_t>(m_files.Count());
    return S_OK;
}

HRESULT Pullbay::ClearFileList()
{
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
    if (!m_bEnabled || m_pWindow == nullptr) {
        return S_OK;
    }
    // One run at a time: a call from an event handler during a run (or a
    // file-list fetch) is told the control is busy.
    if (m_bRunning) {
        return S_FALSE;
    }
    m_bRunning = true;
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
    // Whatever way the run ended.
    m_bIdle = true;
    m_files.Clear();
    DownloadFileCountChange();
    m_bRunning = false;
    return hr;
}

void Pullbay::RunDownload()
{
    DownloadStep(StepStarted);

    // The file list stage.
    DownloadStep(StepFileListStarted);
    if (!m_properties.GetFileList().empty()) {
        const std::size_t uintBefore = m_files.Count();
        if (RunFileListDialog() != GetFileListDialog::kResultSuccess) {
            DownloadComplete(CompletionFileListFailed);
            AbortRun(L"Pullbay::CreateFileList", __LINE__);
        }
        if (m_files.Count() != uintBefore) {
            DownloadFileCountChange();
        }
    }
    DownloadStep(StepFileListReady);
    if (m_files.Count() == 0) {
        DownloadComplete(CompletionNoFiles);
        m_pPresenter->ShowMessageBox(m_properties.GetText(TextProperty::MessageNoFilesToDownloadText),
                                     PropertyHolder::kCaption, MessageBoxButtons::Ok);
        AbortRun(L"Pullbay::CreateFileList", __LINE__);
    }

    m_bIdle = false;

    // The confirmation stage.
    const bool bShowConfirmation =
        m_properties.GetConfirmationEnabled() &&
        (!m_properties.GetText(TextProperty::DownloadConfirmationDialogListUrlText).empty() ||
         !m_properties.GetText(TextProperty::DownloadConfirmationDialogListFileNameText).empty() ||
         !m_properties.GetText(TextProperty::DownloadConfirmationDialogListFileSizeText).empty() ||
         !m_properties.GetText(TextProperty::DownloadConfirmationDialogListContentTypeText).empty());
    if (bShowConfirmation) {
        DownloadStep(StepConfirmationShown);
        const std::wstring strServer = net::GetHost(m_properties.GetFileList());
        const bool bConfirmed = m_pPresenter->ConfirmDownload(m_properties, strServer, m_files);
        m_files.DropUnchecked();
        DownloadStep(StepConfirmationClosed);
        if (!bConfirmed) {
            DownloadComplete(CompletionConfirmationCancelled);
            AbortRun(L"Pullbay::ShowConfirmationDialog", __LINE__);
        }
    }
    if (m_files.Count() == 0) {
        DownloadComplete(CompletionNothingSelected);
        AbortRun(L"Pullbay::ShowConfirmationDialog", __LINE__);
    }

    const std::wstring strDestination = ChooseDestination();

    // The transfer stage.
    bool bCopyFailed = false;
    {
        std::lock_guard lock(m_rememberedMutex);
        m_rememberedAnswer.reset();
    }
    auto pEngine = std::make_shared<engine::FileListDownloader>(m_properties, strDestination,
                                                                m_files.Copy(), *this);
    m_pEngine = pEngine;
    if (!m_pPool || !m_pPool->AddWork(pEngine, 0)) {
        // The pool is stopping: the files cannot be fetched.
        PB_THROW(core::UnexpectedException, L"the download engine could not be started");
    }
    // The barrier below waits only for work a worker has taken.
    while (!pEngine->WaitUntilStarted(kEngineStartPollMs)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    if (m_properties.GetShowProgressDialog()) {
        m_pPresenter->ShowProgress(m_properties, pEngine);
    }
    m_pPool->WaitForRunningWork();
    if (platform::UsesProtectedMode(*platform::CurrentPlatform()) && m_protectedModeMove) {
        try {
            bCopyFailed = !m_protectedModeMove(m_files.Copy(), strDestination);
        } catch (const core::Exception&) {
            // Recorded where it was thrown; the flag stays false.
        }
    }
    DownloadStep(StepDownloadFinished);
    if (bCopyFailed) {
        for (std::size_t i = 0; i < m_files.Count(); ++i) {
            Error(ErrorCode::kDestinationFailed, kCopyFailedText, 0, L"", L"", static_cast<std::int32_t>(i));
        }
    }

    RunCompletionStages(bCopyFailed, strDestination);

    DownloadComplete(CompletionSuccess);
    DownloadStep(StepFinished);
}

std::wstring Pullbay::ChooseDestination()
{
    DestinationFolderChooser chooser(m_strSettingsKey, m_pPresenter->FolderBrowser());
    DestinationFolderChooser::RunEvents events;
    events.folderCancelled = [this] { DownloadComplete(CompletionFolderCancelled); };
    events.folderChosen = [this] { DownloadStep(StepFolderChosen); };
    return chooser
        .ChooseDestinationFolder(m_properties.GetText(TextProperty::BrowseForFolderDialogText),
                                 m_properties.GetText(TextProperty::DefaultDestinationFolder), events)
        .strPath;
}

void Pullbay::RunCompletionStages(bool bCopyFailed, const std::wstring& strDestination)
{
    if (!m_properties.GetText(TextProperty::DownloadCompleteDialogText).empty()) {
        DownloadStep(StepCompleteDialogStarted);
        if (!m_properties.GetText(TextProperty::DownloadCompleteDialogShowLogButtonText).empty()) {
            m_pPresenter->ShowDownloadComplete(m_properties, m_files.Copy(), bCopyFailed, strDestination);
        }
        DownloadStep(StepCompleteDialogFinished);
    }

    DownloadStep(StepCompleteActionStarted);
    bool bOpen = false;
    switch (m_properties.GetDownloadCompleteAction()) {
    case DownloadCompleteAction::Prompt:
        bOpen = m_pPresenter->ShowMessageBox(m_properties.GetText(TextProperty::MessageOpenFolderText),
                                             PropertyHolder::kCaption,
                                             MessageBoxButtons::YesNo) == MessageBoxAnswer::Yes;
        break;
    case DownloadCompleteAction::OpenFolder:
        bOpen = true;
        break;
    default:
        break;
    }
    if (bOpen) {
        try {
            m_pPresenter->OpenFolder(strDestination);
        } catch (...) {
            // Logged under the folder-opening routine; the run goes on.
            core::RecordForeignFailure();
            core::ExceptionManager::SetException(
                core::CurrentThreadId(),
                core::UnexpectedException(L"Pullbay::ExploreFolder", PB_SOURCE_FILE, __LINE__));
        }
    }
    DownloadStep(StepCompleteActionFinished);
}

int Pullbay::RunFileListDialog()
{
    GetFileListDialog dialog(m_properties.GetFileList(), m_strCookieText, *this);
    return dialog.Run(m_properties.GetShowFileListProgressDialog());
}

HRESULT Pullbay::DownloadFileList()
{
    if (m_bRunning) {
        return S_FALSE;
    }
    DownloadStep(StepFileListStarted);
    if (m_properties.GetFileList().empty() || m_pWindow == nullptr) {
        return S_OK;
    }
    m_bRunning = true;
    const std::size_t uintBefore = m_files.Count();
    int intResult = GetFileListDialog::kResultFailure;
    try {
        intResult = RunFileListDialog();
    } catch (...) {
        core::RecordForeignFailure();
    }
    m_bRunning = false;
    if (intResult == GetFileListDialog::kResultSuccess) {
        DownloadStep(StepFileListReady);
        if (m_files.Count() != uintBefore) {
            DownloadFileCountChange();
        }
    } else {
        DownloadComplete(CompletionFileListFailed);
    }
    return S_OK;
}

HRESULT Pullbay::SkipCurrent()
{
    if (auto pEngine = m_pEngine.lock()) {
        pEngine->SkipCurrent();
    }
    return S_OK;
}

HRESULT Pullbay::SkipAll()
{
    if (auto pEngine = m_pEngine.lock()) {
        pEngine->SkipAll();
    }
    return S_OK;
}

void Pullbay::AddFileListBatch(const engine::FileListBatch& batch)
{
    for (const engine::FileListBatch::Entry& entry : batch.entries) {
        if (!entry.IsItem()) {
            Error(entry.intErrorCode, entry.strDescription, 0, L"", L"", 0);
        } else if (!m_files.Add(entry.pItem)) {
            Error(ErrorCode::kDuplicateItem, engine::FileListBatch::kItemExistsText, 0, L"", L"", 0);
        }
    }
}

// --- the engine's reports (worker thread) ----------------------------------------

void Pullbay::ItemComplete(const std::wstring& strPage, const std::shared_ptr<FileItem>& pItem)
{
    DownloadItemComplete(static_cast<DownloadItemCompleteType>(pItem->GetResult()), strPage,
                         pItem->GetUrl(), pItem->GetDestinationFileName(), pItem->GetMimeType(),
                         static_cast<std::uint32_t>(pItem->GetFileSize()));
}

void Pullbay::Error(std::int32_t intCode, const std::wstring& strDescription, std::int32_t intHttpCode,
                    const std::wstring& strPage, const std::wstring& strUrl, std::int32_t intIndex)
{
    EventRaiser<Pullbay>::Error(intCode, strDescription, intHttpCode, strPage, strUrl, intIndex);
}

void Pullbay::Progress(double dblItemFraction, double dblTotalFraction, std::int32_t intIndex)
{
    EventRaiser<Pullbay>::Progress(PercentFromFraction(dblTotalFraction),
                                   PercentFromFraction(dblItemFraction), intIndex);
}

FileExistsDialogAction Pullbay::FileExists(const std::shared_ptr<FileItem>& pItem)
{
    const FileExistsDialogAction defaultAction = m_properties.GetFileExistsDialogDefaultAction();
    if (m_properties.GetFileExistsDialogTimeOut() == 0 || !m_pProvider) {
        return defaultAction;
    }
    {
        std::lock_guard lock(m_rememberedMutex);
        if (m_rememberedAnswer) {
            return *m_rememberedAnswer;
        }
    }
    FileExistsDialogAction action = defaultAction;
    bool bApplyToAll = false;
    const std::wstring strPath = pItem->FullDestinationPath();
    // The question is built on the GUI thread: the texts belong to it.
    m_pProvider->CallFromGuiThread(
        tools::MakeWorkHolder<0, void()>([&] {
            std::wstring strQuestion = m_properties.GetText(TextProperty::FileExistsDialogText);
            ui::ReplaceAll(strQuestion, ui::kPlaceholderFileName, strPath);
            m_pPresenter->AskFileExists(m_properties, strQuestion, action, bApplyToAll);
        }),
        true);
    if (bApplyToAll) {
        std::lock_guard lock(m_rememberedMutex);
        m_rememberedAnswer = action;
    }
    return action;
}

// --- properties --------------------------------------------------------------

HRESULT Pullbay::GetProperty(DISPID dispid, Variant& value) const
{
    if (dispid == PropertyTable::kDispidEnabled) {
        // Reads false during a download run whatever was stored.
        value = Variant::FromBool(m_bEnabled && m_bIdle);
        return S_OK;
    }
    const PropertyDescriptor* pProperty = PropertyTable::TryFind(dispid);
    if (pProperty == nullptr) {
        return com::DISP_E_MEMBERNOTFOUND;
    }
    return pProperty->Get(m_properties, value);
}

HRESULT Pullbay::PutProperty(DISPID dispid, const Variant& value)
{
    const PropertyDescriptor* pProperty = PropertyTable::TryFind(dispid);
    if (pProperty == nullptr) {
        return com::DISP_E_MEMBERNOTFOUND;
    }
    if (dispid == PropertyTable::kDispidEnabled) {
        Variant flag;
        const HRESULT hr = value.ChangeType(VarType::Bool, flag);
        if (Failed(hr)) {
            return hr;
        }
        m_bEnabled = flag.Bool();
        m_bDirty = true;
        return S_OK;
    }
    if (dispid == PropertyTable::kDispidFileList) {
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
    if (dispid == PropertyTable::kDispidBackgroundColor && hr == E_FAIL) {
        return com::ReportError(kClsid, kColorChangeRefusedText, kIidIPullbay, E_FAIL);
    }
    if (Succeeded(hr)) {
        m_bDirty = true;
    }
    return hr;
}

HRESULT Pullbay::GetConfirmationEnabled(bool* pValue) const
{
    if (pValue == nullptr) {
        return E_POINTER;
    }
    *pValue = m_properties.GetConfirmationEnabled();
    return S_OK;
}

HRESULT Pullbay::PutConfirmationEnabled(bool bValue)
{
    m_properties.SetConfirmationEnabled(bValue);
    return S_OK;
}

// --- persistence ----------------------------------------------------------------

void Pullbay::SetExtent(std::uint32_t uintCx, std::uint32_t uintCy)
{
    m_uintExtentCx = uintCx;
    m_uintExtentCy = uintCy;
}

HRESULT Pullbay::Load(com::IPropertyBag& bag)
{
    Variant value;
    if (Succeeded(bag.Read(kExtentCxName, VarType::UI4, value))) {
        m_uintExtentCx = value.UI4();
    }
    if (Succeeded(bag.Read(kExtentCyName, VarType::UI4, value))) {
        m_uintExtentCy = value.UI4();
    }
    for (const PropertyDescriptor& property : PropertyTable::Entries()) {
        if (Failed(bag.Read(property.strName, property.type, value))) {
            continue;  // absent or not convertible: the property keeps its value
        }
        // Through the dispatch put, so every rule applies; a read-only
        // property (Version) has none and stops the load.
        const HRESULT hr = Invoke(property.dispid, com::kDispatchPropertyPut, {value}, nullptr);
        if (Failed(hr)) {
            return hr;
        }
    }
    m_bDirty = false;
    return S_OK;
}

HRESULT Pullbay::Save(com::IPropertyBag& bag) const
{
    HRESULT hr = bag.Write(kExtentCxName, Variant::FromUI4(m_uintExtentCx));
    if (Succeeded(hr)) {
        hr = bag.Write(kExtentCyName, Variant::FromUI4(m_uintExtentCy));
    }
    for (const PropertyDescriptor& property : PropertyTable::Entries()) {
        Variant value;
        if (Succeeded(hr)) {
            hr = GetProperty(property.dispid, value);
        }
        if (Succeeded(hr)) {
            hr = bag.Write(property.strName, value);
        }
    }
    return hr;
}

HRESULT Pullbay::Save(core::IStream& stream) const
{
    HRESULT hr = com::WriteVersion(stream);
    if (Succeeded(hr)) {
        hr = com::WriteUInt32(stream, m_uintExtentCx);
    }
    if (Succeeded(hr)) {
        hr = com::WriteUInt32(stream, m_uintExtentCy);
    }
    for (const PropertyDescriptor& property : PropertyTable::Entries()) {
        Variant value;
        if (Succeeded(hr)) {
            hr = GetProperty(property.dispid, value);
        }
        if (Succeeded(hr)) {
            hr = com::WriteVariant(stream, value);
        }
    }
    return hr;
}

HRESULT Pullbay::Load(core::IStream& stream)
{
    HRESULT hr = com::ReadVersion(stream);
    std::uint32_t uintCx = 0;
    std::uint32_t uintCy = 0;
    if (Succeeded(hr)) {
        hr = com::ReadUInt32(stream, uintCx);
    }
    if (Succeeded(hr)) {
        hr = com::ReadUInt32(stream, uintCy);
    }
    if (Failed(hr)) {
        return hr;
    }
    SetExtent(uintCx, uintCy);
    for (const PropertyDescriptor& property : PropertyTable::Entries()) {
        Variant value;
        hr = com::ReadVariant(stream, value);
        if (Failed(hr)) {
            return hr;
        }
        // A saved stream holds the read-only Version too: it is read past,
        // so a stream that this control wrote always loads again.
        if (property.bReadOnly) {
            continue;
        }
        hr = Invoke(property.dispid, com::kDispatchPropertyPut, {value}, nullptr);
        if (Failed(hr)) {
            return hr;
        }
    }
    m_bDirty = false;
    return S_OK;
}

HRESULT Pullbay::GetSizeMax(std::uint64_t* pSize) const
{
    if (pSize == nullptr) {
        return E_POINTER;
    }
    std::uint64_t uintSize = 4 + 4 + 4;  // version word and the extent
    for (const PropertyDescriptor& property : PropertyTable::Entries()) {
        Variant value;
        if (Succeeded(GetProperty(property.dispid, value))) {
            uintSize += com::VariantSizeEstimate(value);
        }
    }
    *pSize = uintSize;
    return S_OK;
}

}  // namespace pullbay::control
