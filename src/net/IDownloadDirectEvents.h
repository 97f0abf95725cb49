#pragma once
// Listener for the raw bytes of a 200 response, on the transfer's thread.
// An exception it throws is recorded for the thread and otherwise ignored.

namespace pullbay::net {

class IDownloadDirectEvents {
public:
    virtual ~IDownloadDirectEvents() = default;
    virtual void DataReceived(const char* pData, unsigned uintSize) = 0;
};

}  // namespace pullbay::net
