#pragma once
// Reads the browser's messages from standard input on a thread of its own
// and hands each one, then the end of input, to the GUI thread as queued
// calls in order. The end says why the input ended: closed by the browser,
// cut off inside a message, or a length above the framing's limit (the rest
// of the stream cannot be trusted and is not read).
// Construct, start and destroy on the GUI thread; the callbacks run there.
#include <functional>
#include <optional>
#include <string>

#include "bridge/ThreadedReader.h"

namespace pullbay::bridge {

class NativeMessageReader {
public:
    enum class End { Closed, Truncated, Overlong };

    using OnMessage = std::function<void(std::string strMessage)>;
    using OnEnd = std::function<void(End end)>;

    NativeMessageReader(OnMessage onMessage, OnEnd onEnd, int fdInput = 0);

    void Start();

private:
    struct Entry {
        std::string strMessage;
        std::optional<End> end;
    };

    const int m_fdInput;
    ThreadedReader<Entry> m_reader;
};

}  // namespace pullbay::bridge
