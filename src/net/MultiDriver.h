#pragma once
// Drives several HTTP exchanges at once on one libcurl multi handle: the
// exchanges share its connections (reused across exchanges, and an HTTP/2
// connection carries several at once). An owner begins its exchange
// (HttpExchange::Begin) and attaches it with the function that takes its
// result; Step performs what the sockets allow, hands back each exchange
// that ended (libcurl finished it, its stop condition became true, or its
// receive time-out passed) and waits for the next activity. A completion
// may attach the exchange again (its next hop or attempt) or others.
//
// Threads: the thread that made it, and only that one; every exchange's
// callbacks and every completion run there.
#include <chrono>
#include <functional>
#include <vector>

#include <curl/curl.h>

#include "net/HttpExchange.h"

namespace pullbay::net {

class MultiDriver {
public:
    using Completion = std::function<void(HttpExchange&, HttpExchangeResult)>;

    explicit MultiDriver(CURLM* pMulti);
    // Detaches whatever is still attached; their completions never run.
    ~MultiDriver();
    MultiDriver(const MultiDriver&) = delete;
    MultiDriver& operator=(const MultiDriver&) = delete;

    // After exchange.Begin. Throws UnexpectedException when libcurl refuses
    // the handle.
    void Attach(HttpExchange& exchange, Completion done);
    bool Empty() const { return m_entries.empty(); }
    std::size_t Count() const { return m_entries.size(); }

    // One round: perform, hand back what ended, then, when nothing ended,
    // wait for activity at most maxWait (less when an exchange's receive
    // time-out comes sooner), also with nothing attached.
    void Step(std::chrono::milliseconds maxWait);

private:
    struct Entry {
        HttpExchange* pExchange;
        Completion done;
    };
    struct Ended {
        Entry entry;
        HttpExchangeResult result;
    };

    // Detaches the entry at uintIndex and keeps it for its completion.
    void End(std::size_t uintIndex, HttpExchangeResult result, std::vector<Ended>& ended);

    CURLM* const m_pMulti;
    std::vector<Entry> m_entries;
};

}  // namespace pullbay::net
