#pragma once
// The control's own interface to its host, beside the scripting surface:
// the page it sits on, its window, its extent, its dialogs, the confirmation
// switch that only early binding reaches, the rich error of a refused call
// and the log of the last run. Called on the GUI thread.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/com/ErrorInfo.h"
#include "platform/com/IUnknown.h"
#include "pullbay/IClientSite.h"
#include "pullbay/IDialogPresenter.h"

class QPainter;
class QRect;
class QWidget;

namespace pullbay::api {

class IPullbayControl : public com::IUnknown {
public:
    virtual HRESULT SetClientSite(std::shared_ptr<IClientSite> pClientSite) = 0;
    // The host created the control's window (a child of its page view):
    // the control starts its window-bound parts and fires InitComplete.
    virtual HRESULT CreateControlWindow(QWidget* pWindow) = 0;
    // The window is going: a run in progress ends (its open dialog closes
    // as cancelled, the transfer stops, nothing is left half-written) and no
    // event follows.
    virtual HRESULT DestroyControlWindow() = 0;
    virtual HRESULT SetExtent(std::uint32_t uintCx, std::uint32_t uintCy) = 0;
    // Draws the control into bounds, for a host that paints it itself (a
    // design view before the window exists, a thumbnail): the background
    // once the window has been created, before that a frame with the
    // control's title centred in it.
    virtual HRESULT Draw(QPainter* pPainter, const QRect& bounds) = 0;
    // The dialogs of a download run (null: the control's own).
    virtual HRESULT SetPresenter(std::shared_ptr<IDialogPresenter> pPresenter) = 0;
    // The control's own presenter, which a host may wrap to replace some of
    // its dialogs.
    virtual HRESULT GetDefaultPresenter(std::shared_ptr<IDialogPresenter>* ppPresenter) = 0;
    // The control's own dialogs as windows owned by its window, whether or
    // not a display was detected: for a host that shows windows on a
    // platform the display rule does not count (offscreen rendering, a
    // test driving the dialogs).
    virtual HRESULT GetWindowedPresenter(std::shared_ptr<IDialogPresenter>* ppPresenter) = 0;
    virtual HRESULT GetConfirmationEnabled(bool* pValue) = 0;
    virtual HRESULT PutConfirmationEnabled(bool bValue) = 0;
    // The rich error the last refused scripting call of this thread left
    // (its description and source), taken out so the next call starts
    // clean. The record lives beside the control's code in the module: the
    // host asks here.
    virtual std::optional<com::ErrorInfo> TakeErrorInfo() = 0;
    // The download log of the last run that reached the transfer, as the
    // download-complete dialog shows it whether or not that dialog was
    // shown; S_FALSE and no lines when no run got that far.
    virtual HRESULT GetDownloadLog(std::vector<std::wstring>* pLines) = 0;
    // The host ends the run in progress as its person would cancel it (the
    // host is told to stop, by a signal): the open dialog closes as
    // cancelled, a waiting file-exists question is answered Skip, the file
    // list fetch stops, the engine skips every remaining file, and the
    // run's later dialogs are not shown. Unlike DestroyControlWindow the
    // events go on: the run ends through its usual DownloadComplete, its
    // log is kept, and its temporary files are removed. S_OK while a run
    // goes on (it is cancelled; a later call only says it still goes on),
    // S_FALSE when none does.
    virtual HRESULT CancelRun() = 0;
    // The control's private folder of temporary files (made now if it was
    // not yet), for a host that must end at once and removes it itself;
    // empty when none could be had.
    virtual HRESULT GetTemporaryFolder(std::wstring* pPath) = 0;

protected:
    ~IPullbayControl() = default;
};

}  // namespace pullbay::api
