#pragma once
// The control: its file list, settings, events and the scripting surface
// that a host reaches through the dispatch table (late binding) or through
// the C++ members below (early binding). Persistence through a property bag
// or a stream.
//
// A download run is a part of its own (DownloadRun), which the control owns
// and forwards its download members to.
//
// Threads: every member runs on the GUI thread (the QApplication's thread,
// which creates the control; Debug builds check it at the entry points);
// only the event raiser's operations, and the engine's reports to the run,
// may be called from workers, once the control's window exists; those
// reports read Properties and GetContextProvider there too.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRect>
#include <QTimer>
#include <QWidget>

#include "control/DownloadRun.h"
#include "control/EventRaiser.h"
#include "core/IStream.h"
#include "core/ThreadAffinity.h"
#include "engine/FileListBatch.h"
#include "model/FileList.h"
#include "model/PropertyHolder.h"
#include "platform/com/DispatchTable.h"
#include "platform/com/Guid.h"
#include "platform/com/IDispatchObject.h"
#include "platform/com/NullableString.h"
#include "platform/com/PropertyBag.h"
#include "platform/com/Variant.h"
#include "platform/shell/FileMover.h"
#include "pullbay/IClientSite.h"
#include "pullbay/IDialogPresenter.h"
#include "pullbay/Identity.h"

namespace pullbay::engine {
class InstanceTempFolder;
}  // namespace pullbay::engine

namespace pullbay::dialogs {
class InPageButton;
class QtPresenter;
}  // namespace pullbay::dialogs

namespace pullbay::tools {
class BackgroundWorkManager;
class GuiThreadContextProvider;
}  // namespace pullbay::tools

namespace pullbay::control {

class Pullbay : public EventRaiser<Pullbay>, public com::IDispatchObject {
public:
    // Identifiers of the class, its two interfaces and its type library.
    static constexpr com::Guid kClsid = api::CLSID_Pullbay;
    static constexpr com::Guid kIidIPullbay = api::IID_IPullbay;
    static constexpr com::Guid kIidEvents = api::DIID_PullbayEvents;
    static constexpr com::Guid kLibId = api::LIBID_Pullbay;
    static constexpr const wchar_t* kProgId = api::kProgId;

    // DISPIDs of the members that are not properties of the settings record.
    enum MemberId : com::DISPID {
        DispidDownloadFileUrl = 0x7B,
        DispidDownloadFileName = 0x7C,
        DispidDownloadFileMimeType = 0x7D,
        DispidDownloadFileSize = 0x7E,
        DispidDownloadFileCount = 0x81,
        DispidDownloadFileList = 0x130,
        DispidDownloadFileAdd = 0x132,
        DispidDownloadFileRemove = 0x133,
        DispidDownload = 0x13B,
        DispidClearFileList = 0x13C,
        DispidSkipCurrent = 0x13D,
        DispidSkipAll = 0x13E,
    };

    // How often InitComplete is fired again while no sink takes it.
    static constexpr int kInitCompleteRetryMs = 100;

    Pullbay();
    ~Pullbay() override;
    Pullbay(const Pullbay&) = delete;
    Pullbay& operator=(const Pullbay&) = delete;

    // IDispatchObject: the scripting surface by name and DISPID.
    HRESULT GetIDsOfNames(std::wstring_view strName, com::DISPID& dispid) override;
    HRESULT Invoke(com::DISPID dispid, std::uint16_t uintFlags, std::vector<com::Variant> args,
                   com::Variant* pResult) override;
    const std::vector<com::MemberInfo>& Describe() const override;

    // The host: page address and cookie text.
    void SetClientSite(std::shared_ptr<api::IClientSite> pClientSite);
    // The control's window, created by the host: settings become
    // initialised, the GUI-thread provider and the event raiser start, and
    // InitComplete is fired (again every 100 ms while no sink takes it).
    void OnWindowCreated(QWidget* pWindow);
    // The window is going (also when the host deletes it without saying):
    // no event follows; a run in progress ends early (EndRunEarly) and the
    // worker pool stops once the run has returned, else at once.
    void OnWindowDestroyed();
    // Ends the run in progress at its next step: the file-list fetch is
    // cancelled, the engine skips all, the open dialog closes as cancelled
    // and a file-exists question still to come is answered Skip. The run
    // then takes its common end (idle again, list cleared). Nothing when idle.
    void EndRunEarly();
    // The host cancels the run in progress as its person would, with the
    // events going on (IPullbayControl::CancelRun): S_FALSE when idle.
    HRESULT CancelRun();
    // The private folder of temporary files, made now if not yet.
    std::wstring TemporaryFolder();
    bool IsRunning() const { return m_run.IsRunning(); }

    // File list members.
    HRESULT DownloadFileAdd(const com::NullableString& strMimeType, std::int32_t intFileSize,
                            const com::NullableString& strFileName,
                            const com::NullableString& strUrl, std::int32_t* pIndex);
    HRESULT DownloadFileRemove(std::int32_t intIndex);
    HRESULT GetDownloadFileUrl(std::int32_t intIndex, com::NullableString* pValue) const;
    HRESULT PutDownloadFileUrl(std::int32_t intIndex, const com::NullableString& strValue);
    HRESULT GetDownloadFileName(std::int32_t intIndex, com::NullableString* pValue) const;
    HRESULT PutDownloadFileName(std::int32_t intIndex, const com::NullableString& strValue);
    HRESULT GetDownloadFileMimeType(std::int32_t intIndex, com::NullableString* pValue) const;
    HRESULT PutDownloadFileMimeType(std::int32_t intIndex, const com::NullableString& strValue);
    HRESULT GetDownloadFileSize(std::int32_t intIndex, std::int32_t* pValue) const;
    HRESULT PutDownloadFileSize(std::int32_t intIndex, std::int32_t intValue);
    HRESULT GetDownloadFileCount(std::int32_t* pValue) const;
    HRESULT ClearFileList();

    // A whole download run (S_FALSE while one is going; S_OK and nothing
    // when Enabled is false or there is no window; E_FAIL when a failure
    // other than an early end escaped a stage).
    HRESULT Download();
    // The in-page button's click: the run with the button disabled meanwhile.
    void RunFromButton();
    // Runs a click of the in-page button (RunFromButton) the way the owner
    // of the control needs it, e.g. holding a reference meanwhile; unset,
    // the click calls RunFromButton directly.
    void SetButtonRunner(std::function<void()> run) { m_buttonRunner = std::move(run); }
    // The in-page button while the window exists (tests press it).
    QPushButton* Button() const;
    // Draws the control into bounds: its background once its window has
    // been created, else the design-time picture (a frame and the title).
    void Draw(QPainter& painter, const QRect& bounds) const;
    HRESULT DownloadFileList();
    HRESULT SkipCurrent();
    HRESULT SkipAll();

    // Properties of the settings record (and Enabled), by DISPID.
    HRESULT GetProperty(com::DISPID dispid, com::Variant& value) const;
    HRESULT PutProperty(com::DISPID dispid, const com::Variant& value);
    // The confirmation switch: early binding only (no DISPID, no bag name).
    HRESULT GetConfirmationEnabled(bool* pValue) const;
    HRESULT PutConfirmationEnabled(bool bValue);

    // Persistence.
    HRESULT Load(com::IPropertyBag& bag);
    HRESULT Save(com::IPropertyBag& bag) const;
    HRESULT Load(core::IStream& stream);
    HRESULT Save(core::IStream& stream) const;
    HRESULT GetSizeMax(std::uint64_t* pSize) const;
    bool IsDirty() const { return m_bDirty; }

    void SetExtent(std::uint32_t uintCx, std::uint32_t uintCy);
    std::uint32_t GetExtentCx() const { return m_uintExtentCx; }
    std::uint32_t GetExtentCy() const { return m_uintExtentCy; }

    // The dialogs and message boxes of a run (the control's own presenter
    // until the host gives one; null gives it back).
    void SetPresenter(std::shared_ptr<api::IDialogPresenter> pPresenter);
    const std::shared_ptr<api::IDialogPresenter>& GetPresenter() const { return m_pPresenter; }
    std::shared_ptr<api::IDialogPresenter> GetDefaultPresenter() const;
    // The real dialogs, made on first request where no display was seen.
    std::shared_ptr<api::IDialogPresenter> GetWindowedPresenter();
    // The log of the last run that reached the transfer (null before).
    const std::shared_ptr<const std::vector<std::wstring>>& DownloadLog() const
    {
        return m_run.DownloadLog();
    }

    // The move routine that takes the files of a Protected Mode run to
    // their destinations (a plain one until another is set); null leaves
    // none, and every such move counts as refused.
    void SetFileMover(std::shared_ptr<const platform::shell::FileMover> pMover)
    {
        m_run.SetFileMover(std::move(pMover));
    }

    // The download run; the engine's reports go to it (tests make them).
    DownloadRun& Run() { return m_run; }

    // For the get-file-list dialog (GUI thread): the worker pool, the
    // GUI-thread provider, and the items and line errors of one chunk of
    // the list, added in line order (a duplicate raises Error 103).
    tools::BackgroundWorkManager* GetWorkManager() const { return m_pPool.get(); }
    std::shared_ptr<tools::GuiThreadContextProvider> GetContextProvider() const
    {
        return m_pProvider;
    }
    void AddFileListBatch(const engine::FileListBatch& batch);

    bool IsIdle() const { return m_bIdle; }
    // Set by the run: cleared once its files are known, set again at its
    // end; the button follows.
    void SetIdle(bool bIdle);
    // Clears or sets the idle flag as a download run does, without a run
    // (tests).
    void SetIdleForTesting(bool bIdle) { m_bIdle = bIdle; }

    // The per-user registry key of the control's settings (the module
    // chooses it at load).
    void SetSettingsKey(std::wstring strKey) { m_strSettingsKey = std::move(strKey); }
    const std::wstring& GetSettingsKey() const { return m_strSettingsKey; }

    // The host (null until it is set) and the cookie text it gave when the
    // window was created: the file-list fetch sends them on.
    const std::shared_ptr<api::IClientSite>& GetClientSite() const { return m_pClientSite; }
    const std::wstring& GetCookieText() const { return m_strCookieText; }

    const model::PropertyHolder& Properties() const { return m_properties; }
    const model::FileList& Files() const { return m_files; }

private:
    static const com::DispatchTable<Pullbay>& Table();

    // The parts that live with the window: the InitComplete timer and the
    // worker pool (stopping it joins the worker).
    void ReleaseWindowParts();
    std::optional<std::wstring> AcceptScriptUrl(const std::wstring& strUrl) const;
    bool IsValidIndex(std::int32_t intIndex) const;
    template <typename Value, typename Read>
    HRESULT ReadItem(std::int32_t intIndex, Value* pValue, Read read) const;
    HRESULT ReplaceItem(std::int32_t intIndex, const com::NullableString& strValue, bool bUrl);
    void RaiseListError(std::int32_t intCode, const std::wstring& strDescription,
                        std::int32_t intIndex);
    void FireInitCompleteWithRetry();
    // The button is enabled exactly when Enabled is set and no run is going.
    void UpdateButton();

    const core::ThreadAffinity m_guiThread;
    model::PropertyHolder m_properties;
    model::FileList m_files;
    bool m_bIdle = true;
    bool m_bEnabled = true;
    bool m_bDirty = false;
    std::uint32_t m_uintExtentCx = 0;
    std::uint32_t m_uintExtentCy = 0;
    std::shared_ptr<api::IClientSite> m_pClientSite;
    std::wstring m_strSettingsKey;
    QPointer<QWidget> m_pWindow;
    QPointer<dialogs::InPageButton> m_pButton;
    std::function<void()> m_buttonRunner;
    std::shared_ptr<tools::GuiThreadContextProvider> m_pProvider;
    std::unique_ptr<QTimer> m_pInitTimer;
    // This control's own folder of temporary files.
    std::unique_ptr<engine::InstanceTempFolder> m_pTempFolder;
    std::unique_ptr<tools::BackgroundWorkManager> m_pPool;
    QMetaObject::Connection m_windowGone;
    // The control's own dialogs: real ones where a display is present, else
    // answers by policy.
    std::shared_ptr<dialogs::QtPresenter> m_pQtPresenter;
    std::shared_ptr<api::IDialogPresenter> m_pDefaultPresenter;
    std::shared_ptr<api::IDialogPresenter> m_pPresenter;
    std::wstring m_strCookieText;
    bool m_bWindowGone = false;
    // Uses the list and the folder of temporary files above.
    DownloadRun m_run;
};

}  // namespace pullbay::control
