#include "control/Pullbay.h"

#include <utility>

#include "control/PolicyPresenter.h"
#include "control/UrlAcceptance.h"
#include "core/ThreadAffinity.h"
#include "dialogs/InPageButton.h"
#include "dialogs/QtPresenter.h"
#include "engine/InstanceTempFolder.h"
#include "engine/TempFiles.h"
#include "model/PropertyRules.h"
#include "model/PropertyTable.h"
#include "platform/com/ErrorInfo.h"
#include "pullbay/Display.h"
#include "tools/BackgroundWorkManager.h"
#include "tools/GuiThreadContextProvider.h"

namespace pullbay::control {

using com::DISPID;
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
      m_pPresenter(m_pDefaultPresenter),
      m_run(*this, m_files, *m_pTempFolder)
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
    m_run.EndRunEarly();
}

HRESULT Pullbay::CancelRun()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    return m_run.CancelRun();
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
    const HRESULT hr = m_run.Run();
    // The window went while the run waited: its parts go now that the run
    // no longer needs them.
    if (m_bWindowGone) {
        ReleaseWindowParts();
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
    const std::size_t uintBefore = m_files.Count();
    const DownloadRun::ListFetch result = m_run.FetchFileList();
    if (m_bWindowGone) {
        ReleaseWindowParts();
    }
    if (result == DownloadRun::ListFetch::EndedEarly) {
        return S_OK;
    }
    if (result == DownloadRun::ListFetch::Arrived) {
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
    m_run.SkipCurrent();
    return S_OK;
}

HRESULT Pullbay::SkipAll()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    m_run.SkipAll();
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
