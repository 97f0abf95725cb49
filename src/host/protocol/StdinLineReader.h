#pragma once
// Reads standard input on a thread of its own and hands each line (without
// its newline; a CR before it is dropped) and then the end of input to the
// GUI thread as queued calls, in order. A line longer than kMaxLineBytes is
// handed on as an empty line marked overlong, and the rest of it is skipped.
// Construct, start and destroy on the GUI thread; the callbacks run there.
#include <cstddef>
#include <functional>
#include <string>

#include "bridge/ThreadedReader.h"

namespace pullbay::host {

class StdinLineReader {
public:
    static constexpr std::size_t kMaxLineBytes = 16u << 20;

    using OnLine = std::function<void(std::string strLine, bool bOverlong)>;
    using OnEnd = std::function<void()>;

    StdinLineReader(OnLine onLine, OnEnd onEnd, int fdInput = 0);

    void Start();

private:
    struct Entry {
        std::string strLine;
        bool bOverlong = false;
        bool bEnd = false;
    };

    const int m_fdInput;
    bridge::ThreadedReader<Entry> m_reader;
};

}  // namespace pullbay::host
