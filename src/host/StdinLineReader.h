#pragma once
// Reads standard input on a thread of its own and hands each line (without
// its newline; a CR before it is dropped) and then the end of input to the
// GUI thread as queued calls, in order. A line longer than kMaxLineBytes is
// handed on as an empty line marked overlong, and the rest of it is skipped.
// Construct, start and destroy on the GUI thread; the callbacks run there.
#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace pullbay::host {

class StdinLineReader {
public:
    static constexpr std::size_t kMaxLineBytes = 16u << 20;

    using OnLine = std::function<void(std::string strLine, bool bOverlong)>;
    using OnEnd = std::function<void()>;

    StdinLineReader(OnLine onLine, OnEnd onEnd, int fdInput = 0);
    ~StdinLineReader();
    StdinLineReader(const StdinLineReader&) = delete;
    StdinLineReader& operator=(const StdinLineReader&) = delete;

    void Start();

private:
    struct Shared;

    // GUI thread: the next line (or the end) the reading thread handed over.
    void DeliverNext();

    OnLine m_onLine;
    OnEnd m_onEnd;
    const int m_fdInput;
    QObject m_context;
    std::shared_ptr<Shared> m_pShared;
    std::thread m_thread;
};

}  // namespace pullbay::host
