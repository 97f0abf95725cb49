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
#include <string_view>

#include "core/CompactText.h"
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
    static std::shared_ptr<FileItem> Create(std::wstring_view strMimeType, std::int64_t intFileSize,
                                            std::wstring_view strFileName,
                                            std::wstring_view strUrl);
    // A new item with this item's MimeType, FileSize, FileName and Url and
    // every other field initial. URL and file name are the list's keys and
    // never change on an item: a change of either is a new item that
    // replaces this one in the list.
    std::shared_ptr<FileItem> CloneDeclared() const;

    // The declared size: 64 bits, so a list can declare files of 4 GiB and
    // more. The scripting surface and the events carry its low 32 bits.
    std::int64_t GetFileSize() const { return m_intFileSize; }
    void SetFileSize(std::int64_t intFileSize) { m_intFileSize = intFileSize; }
    // The size in plain decimal digits, whatever the process locale.
    std::wstring GetFileSizeText() const;

    // The declared texts are kept compact (a list may hold millions of
    // items), so each getter returns a copy; the views read them in place.
    std::wstring GetMimeType() const { return MimeTypeText().Str(); }
    void SetMimeType(std::wstring_view strMimeType);
    std::wstring GetFileName() const { return FileNameText().Str(); }
    std::wstring GetUrl() const { return UrlText().Str(); }
    core::CompactTextView MimeTypeText() const { return DeclaredText(kMimeTypeText); }
    core::CompactTextView FileNameText() const { return DeclaredText(kFileNameText); }
    core::CompactTextView UrlText() const { return DeclaredText(kUrlText); }

    // The keys of the list's uniqueness rule: URL and file name with A-Z
    // folded to lower case.
    std::wstring GetUrlKey() const;
    std::wstring GetFileNameKey() const;

    // Recorded by the engine (see the thread note above). Until the engine
    // records something the texts are empty and the stream null.
    const std::wstring& GetDestinationFolder() const
    {
        return m_pRecorded ? m_pRecorded->strDestinationFolder : EmptyText();
    }
    void SetDestinationFolder(std::wstring strFolder)
    {
        Recorded().strDestinationFolder = std::move(strFolder);
    }
    const std::wstring& GetDestinationFileName() const
    {
        return m_pRecorded ? m_pRecorded->strDestinationFileName : EmptyText();
    }
    void SetDestinationFileName(std::wstring strName)
    {
        Recorded().strDestinationFileName = std::move(strName);
    }
    const std::shared_ptr<core::IStream>& GetTemporaryStream() const;
    void SetTemporaryStream(std::shared_ptr<core::IStream> pStream)
    {
        Recorded().pTemporaryStream = std::move(pStream);
    }
    const std::wstring& GetTemporaryFilePath() const
    {
        return m_pRecorded ? m_pRecorded->strTemporaryFilePath : EmptyText();
    }
    void SetTemporaryFilePath(std::wstring strPath)
    {
        Recorded().strTemporaryFilePath = std::move(strPath);
    }

    // The Content-Type the transfer received (empty until a response came).
    const std::wstring& GetReceivedMimeType() const
    {
        return m_pRecorded ? m_pRecorded->strReceivedMimeType : EmptyText();
    }
    void SetReceivedMimeType(std::wstring strMimeType)
    {
        Recorded().strReceivedMimeType = std::move(strMimeType);
    }

    // DestinationFolder, "/" and DestinationFileName, joined as they stand
    // (no separator added or removed beyond that one); the name alone while
    // there is no folder.
    std::wstring FullDestinationPath() const;

    // -1 while not processed, else a DownloadItemCompleteType value.
    std::int32_t GetResult() const { return m_intResult.load(); }
    void SetResult(std::int32_t intResult)
    {
        PB_ASSERT_OWNER_THREAD(m_recordWriter);
        m_intResult.store(intResult);
    }

    // 1 (or any non-zero value) when the file is selected for download.
    std::int32_t GetChecked() const { return m_intChecked.load(); }
    void SetChecked(std::int32_t intChecked) { m_intChecked.store(intChecked); }

private:
    // The declared texts in their block, in this order.
    enum DeclaredTextIndex { kMimeTypeText = 0, kFileNameText = 1, kUrlText = 2 };

    // What the engine records, made when it records the first of it: the
    // items of a list that is only loaded or confirmed never pay for it.
    struct RecordedFields {
        std::wstring strDestinationFolder;
        std::wstring strDestinationFileName;
        std::shared_ptr<core::IStream> pTemporaryStream;
        std::wstring strTemporaryFilePath;
        std::wstring strReceivedMimeType;
    };

    static const std::wstring& EmptyText();
    core::CompactTextView DeclaredText(DeclaredTextIndex index) const;
    void SetDeclaredTexts(std::wstring_view strMimeType, std::wstring_view strFileName,
                          std::wstring_view strUrl);
    RecordedFields& Recorded();

    std::int64_t m_intFileSize = 0;
    // MimeType, FileName and Url, one compact text after the other; null
    // while all three are empty.
    std::unique_ptr<unsigned char[]> m_pDeclaredTexts;
    std::unique_ptr<RecordedFields> m_pRecorded;
    std::atomic<std::int32_t> m_intChecked{1};
    std::atomic<std::int32_t> m_intResult{kResultNotProcessed};
    // The one thread that writes what the engine records.
    core::ThreadAffinity m_recordWriter{core::ThreadAffinity::kBindOnFirstUse};
};

}  // namespace pullbay::model
