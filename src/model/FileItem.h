#pragma once
// One entry of the file list: what the page declared (URL, name, MIME type,
// size), where the engine puts the file, and what became of it. Shared by
// the list, the engine's copy and the dialogs.
//
// Threads: created and changed on the GUI thread. During a run the engine
// (worker thread) writes DestinationFolder, DestinationFileName,
// TemporaryStream, TemporaryFilePath, ReceivedMimeType and Result; the GUI
// thread does not read the first five while the engine runs (it waits for the engine), so they
// need no lock. Result (read by the dialogs while the engine writes it) and
// Checked are atomic.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "core/IStream.h"

namespace pullbay::model {

class FileItem : public std::enable_shared_from_this<FileItem> {
public:
    static constexpr std::int32_t kResultNotProcessed = -1;

    FileItem() = default;
    FileItem(const FileItem&) = delete;
    FileItem& operator=(const FileItem&) = delete;

    // A new item from what a page declares; every other field initial.
    static std::shared_ptr<FileItem> Create(std::wstring strMimeType, std::int32_t intFileSize,
                                            std::wstring strFileName, std::wstring strUrl);
    // A new item with this item's MimeType, FileSize, FileName and Url and
    // every other field initial: the start of a replacement that changes
    // one of them (an item in a list is replaced, never re-keyed).
    std::shared_ptr<FileItem> CloneDeclared() const;

    std::int32_t GetFileSize() const { return m_intFileSize; }
    // Also rewrites FileSizeText.
    void SetFileSize(std::int32_t intFileSize);
    const std::wstring& GetFileSizeText() const { return m_strFileSizeText; }

    const std::wstring& GetMimeType() const { return m_strMimeType; }
    void SetMimeType(std::wstring strMimeType) { m_strMimeType = std::move(strMimeType); }

    const std::wstring& GetFileName() const { return m_strFileName; }
    // Also rewrites FileNameKey.
    void SetFileName(std::wstring strFileName);
    const std::wstring& GetFileNameKey() const { return m_strFileNameKey; }

    const std::wstring& GetUrl() const { return m_strUrl; }
    // Also rewrites UrlKey.
    void SetUrl(std::wstring strUrl);
    const std::wstring& GetUrlKey() const { return m_strUrlKey; }

    // Written by the engine (see the thread note above).
    const std::wstring& GetDestinationFolder() const { return m_strDestinationFolder; }
    void SetDestinationFolder(std::wstring strFolder) { m_strDestinationFolder = std::move(strFolder); }
    const std::wstring& GetDestinationFileName() const { return m_strDestinationFileName; }
    void SetDestinationFileName(std::wstring strName) { m_strDestinationFileName = std::move(strName); }
    const std::shared_ptr<core::IStream>& GetTemporaryStream() const { return m_pTemporaryStream; }
    void SetTemporaryStream(std::shared_ptr<core::IStream> pStream) { m_pTemporaryStream = std::move(pStream); }
    const std::wstring& GetTemporaryFilePath() const { return m_strTemporaryFilePath; }
    void SetTemporaryFilePath(std::wstring strPath) { m_strTemporaryFilePath = std::move(strPath); }

    // The Content-Type the transfer received (empty until a response came).
    const std::wstring& GetReceivedMimeType() const { return m_strReceivedMimeType; }
    void SetReceivedMimeType(std::wstring strMimeType) { m_strReceivedMimeType = std::move(strMimeType); }

    // DestinationFolder, "/" and DestinationFileName, joined as they stand
    // (no separator added or removed beyond that one); the name alone while
    // there is no folder.
    std::wstring FullDestinationPath() const;

    // -1 while not processed, else a DownloadItemCompleteType value.
    std::int32_t GetResult() const { return m_intResult.load(); }
    void SetResult(std::int32_t intResult) { m_intResult.store(intResult); }

    // 1 (or any non-zero value) when the file is selected for download.
    std::int32_t GetChecked() const { return m_intChecked.load(); }
    void SetChecked(std::int32_t intChecked) { m_intChecked.store(intChecked); }

private:
    std::int32_t m_intFileSize = 0;
    std::wstring m_strMimeType;
    std::wstring m_strFileSizeText;
    std::wstring m_strFileName;
    std::wstring m_strUrl;
    std::wstring m_strDestinationFolder;
    std::wstring m_strDestinationFileName;
    std::shared_ptr<core::IStream> m_pTemporaryStream;
    std::wstring m_strTemporaryFilePath;
    std::wstring m_strReceivedMimeType;
    std::atomic<std::int32_t> m_intResult{kResultNotProcessed};
    std::atomic<std::int32_t> m_intChecked{1};
    std::wstring m_strUrlKey;
    std::wstring m_strFileNameKey;
};

}  // namespace pullbay::model
