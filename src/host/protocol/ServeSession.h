#pragma once
// The "serve" transport: request lines from standard input become the
// messages of a ProtocolSession, and every reply, event and dialog goes out
// as one JSON line on standard output. A line that is not one JSON object is
// answered as an invalid request, in its turn. The end of input ends the
// program once the session has finished. GUI thread only.
#include <memory>
#include <string>

#include "host/protocol/ClientPresenter.h"
#include "host/protocol/ProtocolSession.h"
#include "host/protocol/StdinLineReader.h"

namespace pullbay::host {

class ServeSession {
public:
    ServeSession(com::ComPtr<com::IDispatch> pControl, std::shared_ptr<ClientPresenter> pPresenter);

    // Starts reading standard input.
    void Start();
    // InitComplete was written: queued and later requests are served.
    void SetReady();
    // The host was told to stop (a signal): the session ends as at the end
    // of input, without waiting for it, and Exec returns intExitCode once
    // a call under way (a running download) has returned.
    void Interrupt(int intExitCode);
    // Runs until the end of input has been handled; the exit code.
    int Exec();

private:
    void HandleLine(const std::string& strLine, bool bOverlong);

    int m_intExitCode = 0;
    ProtocolSession m_session;
    std::unique_ptr<StdinLineReader> m_pReader;
};

}  // namespace pullbay::host
