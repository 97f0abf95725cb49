#pragma once
// The controls of one page, served over the browser's port: each object
// element of the page is one control, addressed by the number the
// extension gave it, with its own protocol session (the requests, replies,
// events and dialogs of "serve"). Every message from the browser carries the
// page's origin as the extension's port saw it; the first one fixes the
// port's origin and a message naming another is refused.
//
// Whether the origin may use the control is decided once per port: a
// remembered decision (OriginPermissions), else, on a display, the user's
// answer in the control's own message box, remembered. Without a display
// only an origin allowed at install with page dialogs is served, and its
// page answers the dialogs; with one, the control's own dialogs show.
//
// Messages to the browser are JSON objects; those of a control carry
// "control". GUI thread only.
#include <QJsonObject>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ThreadAffinity.h"

namespace pullbay::host {

class BridgePort {
public:
    using Output = std::function<void(std::string_view)>;

    // bDisplay: the control's dialogs can be shown. onFinished runs once
    // the input has ended and every control's session has finished.
    BridgePort(bool bDisplay, Output output, std::function<void()> onFinished);
    ~BridgePort();
    BridgePort(const BridgePort&) = delete;
    BridgePort& operator=(const BridgePort&) = delete;

    // One message from the browser (JSON text).
    void HandleMessage(const std::string& strMessage);
    // The browser closed the port (or its input broke off).
    void HandleEnd();

    // The question asked the first time a site uses the control.
    static std::wstring ConsentQuestion(const std::string& strOrigin);

private:
    struct Control;
    enum class Access { Unknown, Denied, Dialogs, PageDialogs };

    void Open(int intControl, const QJsonObject& message);
    void Close(int intControl);
    // Whether the port's origin may open a control, asking the user when
    // undecided (pAsk shows the control's own message box); the reason in
    // strWhy when not.
    Access Decide(const std::function<bool()>& ask, std::string& strWhy);
    void HandleHeld();
    void WriteError(std::optional<int> intControl, const std::string& strError);
    void ControlFinished(int intControl);
    void FinishIfDone();

    const core::ThreadAffinity m_guiThread;
    const bool m_bDisplay;
    Output m_output;
    std::function<void()> m_onFinished;
    std::optional<std::string> m_strOrigin;
    Access m_access = Access::Unknown;
    std::string m_strDenied;
    std::map<int, std::unique_ptr<Control>> m_controls;
    bool m_bAsking = false;
    // The messages (nullopt: the end) that came while the user was asked.
    std::vector<std::optional<std::string>> m_held;
    bool m_bEnded = false;
    bool m_bFinished = false;
};

}  // namespace pullbay::host
