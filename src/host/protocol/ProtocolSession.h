#pragma once
// One control's automation protocol, whatever carries it (the JSON lines of
// "serve", the native messages of "bridge"): requests are handled strictly
// in arrival order — also while a download runs, since the control's run
// keeps the event loop turning — and each reply goes to the output as one
// JSON object. Inputs that come before InitComplete wait in the queue. The
// end of input cancels open dialogs, asks a running download to skip the
// rest, and reports the session finished once no call is under way.
// GUI thread only.
#include <QJsonObject>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/ThreadAffinity.h"
#include "host/protocol/ClientPresenter.h"
#include "host/protocol/RequestDispatcher.h"

namespace pullbay::host {

class ProtocolSession {
public:
    using Output = std::function<void(std::string_view)>;

    // pPresenter: the client's presenter that takes answers; null when the
    // dialogs are not the client's (answers are then refused).
    ProtocolSession(com::ComPtr<com::IDispatch> pControl,
                    std::shared_ptr<ClientPresenter> pPresenter, Output output,
                    std::function<void()> onFinished);

    // InitComplete was written: queued and later inputs are served.
    void SetReady();
    // A request or an answer, and the text it was read from.
    void Enqueue(QJsonObject message, std::string_view strText);
    // Input that is no message; it is answered as an invalid request.
    void EnqueueInvalid(std::string strWhy);
    // The end of input.
    void EnqueueEnd();
    // The session is to end now (a signal), ahead of the inputs still
    // queued, which are dropped: as the end of input otherwise.
    void EndNow();
    // A call into the control is under way (its reply not yet written).
    bool Busy() const { return m_intCallDepth > 0; }

private:
    struct Input {
        std::optional<QJsonObject> message;
        std::string strIdJson;  // of a request
        std::string strInvalid;
        bool bEnd = false;
    };

    void Enqueue(Input input);
    void Pump();
    void Handle(const QJsonObject& message, const std::string& strIdJson);
    void HandleEnd();
    void Finish();

    const core::ThreadAffinity m_guiThread;
    RequestDispatcher m_dispatcher;
    std::shared_ptr<ClientPresenter> m_pPresenter;
    Output m_output;
    std::function<void()> m_onFinished;
    std::deque<Input> m_queue;
    bool m_bReady = false;
    bool m_bEnded = false;
    bool m_bFinished = false;
    int m_intCallDepth = 0;
};

}  // namespace pullbay::host
