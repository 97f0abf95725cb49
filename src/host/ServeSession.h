#pragma once
// The "serve" loop: request lines from standard input are handled on the GUI
// thread strictly in arrival order — also while a download runs, since the
// control's run keeps the event loop turning — and each reply, event and
// dialog goes out as one JSON line. Lines that come before InitComplete wait
// in the queue. The end of input cancels open dialogs, asks a running
// download to skip the rest, and ends the session once no call is under way.
// GUI thread only.
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "host/ClientPresenter.h"
#include "host/RequestDispatcher.h"
#include "host/StdinLineReader.h"

namespace pullbay::host {

class ServeSession {
public:
    ServeSession(com::ComPtr<com::IDispatch> pControl, std::shared_ptr<ClientPresenter> pPresenter);

    // Starts reading standard input.
    void Start();
    // InitComplete was written: queued and later requests are served.
    void SetReady();
    // Runs until the end of input has been handled; the exit code.
    int Exec();

private:
    // A line, or the end of input (nullopt).
    struct Input {
        std::optional<std::string> strLine;
        bool bOverlong = false;
    };

    void Enqueue(Input input);
    void Pump();
    void HandleLine(const std::string& strLine, bool bOverlong);
    void HandleEnd();

    RequestDispatcher m_dispatcher;
    std::shared_ptr<ClientPresenter> m_pPresenter;
    std::unique_ptr<StdinLineReader> m_pReader;
    std::deque<Input> m_queue;
    bool m_bReady = false;
    bool m_bEnded = false;
    int m_intCallDepth = 0;
};

}  // namespace pullbay::host
