#pragma once
// An IDownloadEvents that records every callback in order, with hooks that
// let a test throw from a callback or act at a given moment.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/IDownloadEvents.h"

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
    std::function<void(std::int64_t, std::int64_t)> onProgress;
    std::function<void(const std::wstring&)> onMimeType;
    std::function<void()> onWaiting;

    HRESULT DownloadProgress(std::int64_t intPosition, std::int64_t intDeclared) override
    {
        calls.push_back({DownloadCallback::Kind::Progress, intPosition, intDeclared, 0, 0, L""});
        if (onProgress) {
            onProgress(intPosition, intDeclared);
        }
        return S_OK;
    }
    HRESULT DownloadComplete(int intStatus, const wchar_t* strText) override
    {
        calls.push_back({DownloadCallback::Kind::Complete, 0, 0, intStatus, 0, strText});
        return S_OK;
    }
    HRESULT ErrorOccured(int intStatus, const wchar_t* strText, const wchar_t* strResponseText,
                         int intErrorCode) override
    {
        (void)strText;
        calls.push_back(
            {DownloadCallback::Kind::Error, 0, 0, intStatus, intErrorCode, strResponseText});
        return S_OK;
    }
    HRESULT MimeTypeAvailable(std::wstring strMimeType) override
    {
        calls.push_back({DownloadCallback::Kind::MimeType, 0, 0, 0, 0, strMimeType});
        if (onMimeType) {
            onMimeType(strMimeType);
        }
        return S_OK;
    }
    HRESULT WaitingForReconnect() override
    {
        calls.push_back({DownloadCallback::Kind::Waiting, 0, 0, 0, 0, L""});
        if (onWaiting) {
            onWaiting();
        }
        return S_OK;
    }

    int Count(DownloadCallback::Kind kind) const
    {
        int intCount = 0;
        for (const auto& call : calls) {
            intCount += call.kind == kind ? 1 : 0;
        }
        return intCount;
    }
    // The single final outcome (Complete or Error); fails the test otherwise.
    const DownloadCallback& Outcome() const
    {
        static const DownloadCallback kNone{DownloadCallback::Kind::Progress, 0, 0, 0, 0, L""};
        return calls.empty() ? kNone : calls.back();
    }

    std::vector<DownloadCallback> calls;
};

}  // namespace pullbay::test
