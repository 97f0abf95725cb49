#pragma once
// The settings record: one value per property of the control. Written only on
// the GUI thread (property puts and loading) and read there; the download
// engine also reads TimeOut, ProcessSubfolders, the two file-exists settings,
// ParallelDownloads and RetryAfterLimit on its worker thread (those six are
// atomic).
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "core/Version.h"
#include "model/DownloadCompleteAction.h"
#include "model/FileExistsDialogAction.h"
#include "model/PropertyRules.h"
#include "model/TextProperty.h"

namespace pullbay::model {

class PropertyHolder {
public:
    static constexpr const wchar_t* kCaption = L"Velmora Pullbay";
    static constexpr const wchar_t* kVersion = core::kVersionFields;

    static constexpr std::int32_t kInitialTimeOut = 0;
    static constexpr std::int32_t kInitialFileExistsDialogTimeOut = -1;
    static constexpr std::uint32_t kInitialReconnectAttemptsCount = 3;
    static constexpr std::uint32_t kInitialReconnectTimeOut = 3000;
    static constexpr std::uint32_t kInitialParallelDownloads = 1;
    static constexpr std::uint32_t kInitialRetryAfterLimit = 0;
    static constexpr const wchar_t* kInitialButtonDownloadText = L"Download";

    // Every property at its initial value; not initialised.
    PropertyHolder();

    // The engine keeps a reference to the record of its control.
    PropertyHolder(const PropertyHolder&) = delete;
    PropertyHolder& operator=(const PropertyHolder&) = delete;

    // The setters store the value as given. The rules of each property's put
    // (ranges, fallbacks, parsing) are applied by the puts of PropertyTable.

    const std::wstring& GetText(TextProperty text) const { return m_texts[Index(text)]; }
    void SetText(TextProperty text, std::wstring strValue)
    {
        m_texts[Index(text)] = std::move(strValue);
    }

    // The file list URL as accepted (canonical), or empty.
    const std::wstring& GetFileList() const { return m_strFileList; }
    void SetFileList(std::wstring strValue) { m_strFileList = std::move(strValue); }

    const std::wstring& GetButtonDownloadText() const { return m_strButtonDownloadText; }
    void SetButtonDownloadText(std::wstring strValue)
    {
        m_strButtonDownloadText = std::move(strValue);
    }

    // Milliseconds; 0 means none. Read on the worker thread too.
    std::int32_t GetTimeOut() const { return m_intTimeOut.load(); }
    void SetTimeOut(std::int32_t intValue) { m_intTimeOut.store(intValue); }

    // Milliseconds; -1 means no countdown, 0 no dialog. Read on the worker
    // thread too.
    std::int32_t GetFileExistsDialogTimeOut() const { return m_intFileExistsDialogTimeOut.load(); }
    void SetFileExistsDialogTimeOut(std::int32_t intValue)
    {
        m_intFileExistsDialogTimeOut.store(intValue);
    }

    std::uint32_t GetReconnectAttemptsCount() const { return m_uintReconnectAttemptsCount; }
    void SetReconnectAttemptsCount(std::uint32_t uintValue)
    {
        m_uintReconnectAttemptsCount = uintValue;
    }

    std::uint32_t GetReconnectTimeOut() const { return m_uintReconnectTimeOut; }
    void SetReconnectTimeOut(std::uint32_t uintValue) { m_uintReconnectTimeOut = uintValue; }

    // Connections a run may use to one server at once, 1 to 32. Read on the
    // worker thread too.
    std::uint32_t GetParallelDownloads() const { return m_uintParallelDownloads.load(); }
    void SetParallelDownloads(std::uint32_t uintValue) { m_uintParallelDownloads.store(uintValue); }

    // Seconds: the longest Retry-After of a 429 or 503 answer that pauses the
    // server and leads to a further attempt; 0 fails such an answer at once.
    // Read on the worker thread too.
    std::uint32_t GetRetryAfterLimit() const { return m_uintRetryAfterLimit.load(); }
    void SetRetryAfterLimit(std::uint32_t uintValue) { m_uintRetryAfterLimit.store(uintValue); }

    // Read on the worker thread too.
    FileExistsDialogAction GetFileExistsDialogDefaultAction() const
    {
        return m_fileExistsDialogDefaultAction.load();
    }
    void SetFileExistsDialogDefaultAction(FileExistsDialogAction value)
    {
        m_fileExistsDialogDefaultAction.store(value);
    }

    DownloadCompleteAction GetDownloadCompleteAction() const { return m_downloadCompleteAction; }
    void SetDownloadCompleteAction(DownloadCompleteAction value)
    {
        m_downloadCompleteAction = value;
    }

    // Read on the worker thread too.
    bool GetProcessSubfolders() const { return m_bProcessSubfolders.load(); }
    void SetProcessSubfolders(bool bValue) { m_bProcessSubfolders.store(bValue); }

    bool GetFileListExpanded() const { return m_bFileListExpanded; }
    void SetFileListExpanded(bool bValue) { m_bFileListExpanded = bValue; }

    bool GetLogFileExpanded() const { return m_bLogFileExpanded; }
    void SetLogFileExpanded(bool bValue) { m_bLogFileExpanded = bValue; }

    bool GetShowFileListProgressDialog() const { return m_bShowFileListProgressDialog; }
    void SetShowFileListProgressDialog(bool bValue) { m_bShowFileListProgressDialog = bValue; }

    bool GetShowProgressDialog() const { return m_bShowProgressDialog; }
    void SetShowProgressDialog(bool bValue) { m_bShowProgressDialog = bValue; }

    // 0x00BBGGRR.
    std::uint32_t GetBackgroundColor() const { return m_uintBackgroundColor; }
    void SetBackgroundColor(std::uint32_t uintValue) { m_uintBackgroundColor = uintValue; }

    // Set when the control's window is created; from then on the colour is
    // refused.
    bool IsInitialized() const { return m_bInitialized; }
    void SetInitialized(bool bValue) { m_bInitialized = bValue; }

    // Whether the confirmation dialog may be shown at all; reachable from C++
    // only, it is no scripting property.
    bool GetConfirmationEnabled() const { return m_bConfirmationEnabled; }
    void SetConfirmationEnabled(bool bValue) { m_bConfirmationEnabled = bValue; }

    const wchar_t* GetCaption() const { return kCaption; }

private:
    static constexpr std::size_t Index(TextProperty text) { return static_cast<std::size_t>(text); }

    std::array<std::wstring, kTextPropertyCount> m_texts;
    std::wstring m_strFileList;
    std::wstring m_strButtonDownloadText{kInitialButtonDownloadText};
    // Atomic because the engine reads it on the worker thread while script may
    // change it on the GUI thread; a change applies to the transfers that
    // start after it.
    std::atomic<std::int32_t> m_intTimeOut{kInitialTimeOut};
    // Atomic like m_intTimeOut: the control's file-exists handler runs on the
    // worker thread and reads these two before it decides to ask the user.
    std::atomic<std::int32_t> m_intFileExistsDialogTimeOut{kInitialFileExistsDialogTimeOut};
    std::uint32_t m_uintReconnectAttemptsCount = kInitialReconnectAttemptsCount;
    std::uint32_t m_uintReconnectTimeOut = kInitialReconnectTimeOut;
    // Atomic for the same reason as m_intTimeOut.
    std::atomic<std::uint32_t> m_uintParallelDownloads{kInitialParallelDownloads};
    std::atomic<std::uint32_t> m_uintRetryAfterLimit{kInitialRetryAfterLimit};
    std::atomic<FileExistsDialogAction> m_fileExistsDialogDefaultAction{
        FileExistsDialogAction::Overwrite};
    DownloadCompleteAction m_downloadCompleteAction = DownloadCompleteAction::None;
    // Atomic for the same reason as m_intTimeOut.
    std::atomic<bool> m_bProcessSubfolders{true};
    bool m_bFileListExpanded = false;
    bool m_bLogFileExpanded = false;
    bool m_bShowFileListProgressDialog = false;
    bool m_bShowProgressDialog = true;
    std::uint32_t m_uintBackgroundColor = kColorWhite;
    bool m_bInitialized = false;
    bool m_bConfirmationEnabled = true;
};

}  // namespace pullbay::model
