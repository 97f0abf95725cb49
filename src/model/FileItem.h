#pragma once
// One entry of the file list: what the page declared (URL, name, MIME type,
// size), where the engine puts the file, and what became of it. Shared by
// the list, the engine's copy and the dialogs.
//
// Threads: the declared fields are created and changed on the GUI thread.
// What the engine records (DestinationFolder, DestinationFileName,
// TemporaryStream, TemporaryFilePath, ReceivedMimeType, Result) is kept
// apart: one thread only writes it, the engine's worker during a run (Debug
// builds check it), and the GUI thread reads it once the engine has ended,
// so it needs no lock. Result (read by the dialogs while the engine writes
// it) and Checked are atomic.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "core/IStream.h"
#include "core/ThreadAffinity.h"

namespace pullbay::model {

class FileItem : public std::enable_shared_from_this<FileItem> {
public:
    static constexpr std::int32_t kResultNotProcessed = -1;

    FileItem() = default;
    FileItem(const FileItem&) = delete;
    FileItem& operator=(const FileItem&) = delete;

    // A new item from what a page declares; every other field initial.
    static std::shared_ptr<FileItem> Create(std::wstring strMimeType, std::int64_t intFileSize,
                                            std::wstring strFileName, std::wstring strUrl);
    // A new item with this item's MimeType, FileSize, FileName and Url and
    // every other field initial: the start of a replacement that changes
    // one of them (an item in a list is replaced, never re-keyed).
    std::shared_ptr<FileItem> CloneDeclared() const;

    // The declared size: 64 bits, so a list can declare files of 4 GiB and
    // more. The scripting surface and the events carry its low 32 bits.
    std::int64_t GetFileSize() const { return m_intFileSize; }
    // Also rewrites FileSizeText.
    void SetFileSize(std::int64_t intFileSize);
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

    // Recorded by the engine (see the thread note above).
    const std::wstring& GetDestinationFolder() const { return m_recorded.strDestinationFolder; }
    void SetDestinationFolder(std::wstring strFolder)
    {
        Recorded().strDestinationFolder = std::move(strFolder);
    }
    const std::wstring& GetDestinationFileName() const { return m_recorded.strDestinationFileName; }
    void SetDestinationFileName(std::wstring strName)
    {
        Recorded().strDestinationFileName = std::move(strName);
    }
    const std::shared_ptr<core::IStream>& GetTemporaryStream() const
    {
        return m_recorded.pTemporaryStream;
    }
    void SetTemporaryStream(std::shared_ptr<core::IStream> pStream)
    {
        Recorded().pTemporaryStream = std::move(pStream);
    }
    const std::wstring& GetTemporaryFilePath() const { return m_recorded.strTemporaryFilePath; }
    void SetTemporaryFilePath(std::wstring strPath)
    {
        Recorded().strTemporaryFilePath = std::move(strPath);
    }

    // The Content-Type the transfer received (empty until a response came).
    const std::wstring& GetReceivedMimeType() const { return m_recorded.strReceivedMimeType; }
    void SetReceivedMimeType(std::wstring strMimeType)
    {
        Recorded().strReceivedMimeType = std::move(strMimeType);
    }

    // DestinationFolder, "/" and DestinationFileName, joined as they stand
    // (no separator added or removed beyond that one); the name alone while
    // there is no folder.
    std::wstring FullDestinationPath() const;

    // -1 while not processed, else a DownloadItemCompleteType value.
    std::int32_t GetResult() const { return m_recorded.intResult.load(); }
    void SetResult(std::int32_t intResult) { Recorded().intResult.store(intResult); }

    // 1 (or any non-zero value) when the file is selected for download.
    std::int32_t GetChecked() const { return m_intChecked.load(); }
    void SetChecked(std::int32_t intChecked) { m_intChecked.store(intChecked); }

private:
    // What the engine records, written by one thread only.
    struct RecordedFields {
        core::ThreadAffinity writer{core::ThreadAffinity::kBindOnFirstUse};
        std::wstring strDestinationFolder;
        std::wstring strDestinationFileName;
        std::shared_ptr<core::IStream> pTemporaryStream;
        std::wstring strTemporaryFilePath;
        std::wstring strReceivedMimeType;
        std::atomic<std::int32_t> intResult{kResultNotProcessed};
    };

    RecordedFields& Recorded()
    {
        PB_ASSERT_OWNER_THREAD(m_recorded.writer);
        return m_recorded;
    }

    // Declared by the page or the list; GUI thread.
    std::int64_t m_intFileSize = 0;
    std::wstring m_strMimeType;
    std::wstring m_strFileSizeText;
    std::wstring m_strFileName;
    std::wstring m_strUrl;
    std::wstring m_strUrlKey;
    std::wstring m_strFileNameKey;
    std::atomic<std::int32_t> m_intChecked{1};

    RecordedFields m_recorded;
};

}  // namespace pullbay::model
