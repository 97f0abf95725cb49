#pragma once
// An IDownloadEvents that records every callback in order, with hooks that
// let a test answer with a verdict, throw from a callback or act at a given
// moment; and a downloader that records each transfer's outcome into the
// events object it was given, as the last call.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/IDownloadEvents.h"
#include "net/WInetDownloader.h"

namespace pullbay::test {

struct DownloadCallback {
    enum class Kind { Progress, Complete, Error, MimeType, Waiting };
    Kind kind;
    std::int64_t intPosition = 0;
    std::int64_t intDeclared = 0;
    int intStatus = 0;
    int intErrorCode = 0;
    std::wstring strText;  // MIME type or response text
};

class RecordingDownloadEvents : public net::IDownloadEvents {
public:
    std::function<net::TransferVerdict(std::int64_t, std::int64_t)> onProgress;
    std::function<net::TransferVerdict(const std::wstring&)> onMimeType;
    std::function<void()> onWaiting;

    net::TransferVerdict DownloadProgress(std::int64_t intPosition,
                                          std::int64_t intDeclared) override
    {
        calls.push_back({DownloadCallback::Kind::Progress, intPosition, intDeclared, 0, 0, L""});
        return onProgress ? onProgress(intPosition, intDeclared) : net::TransferVerdict::Continue();
    }
    net::TransferVerdict MimeTypeAvailable(const std::wstring& strMimeType) override
    {
        calls.push_back({DownloadCallback::Kind::MimeType, 0, 0, 0, 0, strMimeType});
        return onMimeType ? onMimeType(strMimeType) : net::TransferVerdict::Continue();
    }
    void WaitingForReconnect() override
    {
        calls.push_back({DownloadCallback::Kind::Waiting, 0, 0, 0, 0, L""});
        if (onWaiting) {
            onWaiting();
        }
    }

    // The transfer's end as the last call: Complete for a success, else
    // Error with the status, the error code and the response text.
    void Record(const net::TransferOutcome& outcome)
    {
        last = outcome;
        if (outcome.bSucceeded) {
            calls.push_back(
                {DownloadCallback::Kind::Complete, 0, 0, outcome.intHttpStatus, 0, L""});
        } else {
            calls.push_back({DownloadCallback::Kind::Error, 0, 0, outcome.intHttpStatus,
                             outcome.intErrorCode, outcome.strResponseText});
        }
    }

    int Count(DownloadCallback::Kind kind) const
    {
        int intCount = 0;
        for (const auto& call : calls) {
            intCount += call.kind == kind ? 1 : 0;
        }
        return intCount;
    }
    // The last call: after a transfer, its end (Complete or Error).
    const DownloadCallback& Outcome() const
    {
        static const DownloadCallback kNone{DownloadCallback::Kind::Progress, 0, 0, 0, 0, L""};
        return calls.empty() ? kNone : calls.back();
    }

    std::vector<DownloadCallback> calls;
    // The whole outcome of the last transfer recorded.
    net::TransferOutcome last;
};

// Records every outcome into the events object last given to it.
class RecordingDownloader : public net::WInetDownloader {
public:
    void SetDownloadEvents(RecordingDownloadEvents* pEvents)
    {
        m_pEvents = pEvents;
        net::WInetDownloader::SetDownloadEvents(pEvents);
    }
    net::TransferOutcome Download(const wchar_t* strUrl)
    {
        net::TransferOutcome outcome = net::WInetDownloader::Download(strUrl);
        if (m_pEvents != nullptr) {
            m_pEvents->Record(outcome);
        }
        return outcome;
    }

private:
    RecordingDownloadEvents* m_pEvents = nullptr;
};

}  // namespace pullbay::test
