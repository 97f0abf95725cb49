#pragma once
// Turns the bytes of a file list, chunk by chunk as they arrive, into list
// items and line errors: drops a leading UTF-8 byte-order mark, keeps only an
// unfinished line between chunks, decodes whole lines only (so a multi-byte
// character is never cut at a chunk border), matches each line against the
// line pattern and resolves its URL against the list's address.
//
// Threads: no shared state of its own; any one thread at a time (the
// retrieval's worker). The line pattern is compiled once per process and
// shared read-only.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/FileListBatch.h"

namespace pullbay::engine {

class FileListParser {
public:
    // The longest line read, in bytes without its line feed. A longer line
    // is reported as a bad line (Error 100, described by its first
    // kMaxLineBytes bytes) and the rest of it is dropped as it arrives, so a
    // list that never ends a line costs neither memory nor time.
    static constexpr std::size_t kMaxLineBytes = 64 * 1024;

    // Fields: 1 MIME type, 2 size, 3 URL, 4 file name.
    static constexpr const wchar_t* kLinePattern =
        LR"(\s*?([a-zA-Z|*]+/[a-zA-Z|*]+)\s*?\|\s*?(\d*)\s*?\|\s*?([^\s].*[^\s])\s*?\|\s*?([^\s].*[^\s])\s*?)";
    // The same with every character that a MIME type or subtype name may
    // hold ("application/vnd.ms-excel", "image/svg+xml", "audio/mp4"). A line
    // is tried against it only when kLinePattern does not match: with more
    // than three "|" the wider type could take another split of the fields,
    // and a line that kLinePattern reads keeps the fields it gives.
    static constexpr const wchar_t* kWideTypeLinePattern =
        LR"(\s*?([a-zA-Z0-9!#$&\-^_.+|*]+/[a-zA-Z0-9!#$&\-^_.+|*]+)\s*?\|\s*?(\d*)\s*?\|\s*?([^\s].*[^\s])\s*?\|\s*?([^\s].*[^\s])\s*?)";

    explicit FileListParser(std::wstring strListUrl);

    // The next bytes of the list: the outcome of every line they complete.
    // A null pData with a non-zero size throws ArgumentNullPointerException.
    FileListBatch Consume(const char* pData, std::size_t uintSize);
    FileListBatch Consume(std::string_view bytes) { return Consume(bytes.data(), bytes.size()); }

    // End of the list: a last line without a line feed is read. The parser
    // is empty afterwards.
    FileListBatch Finish();

private:
    // The list URL up to and including its last "/"; the whole URL when it
    // has no "/" after the "//" of its scheme.
    static std::wstring BaseUrlOf(const std::wstring& strListUrl);
    // Splits what the buffer holds up to its last line feed, found at or
    // after uintSearchFrom (what was searched before holds none).
    FileListBatch TakeCompleteLines(std::size_t uintSearchFrom);
    // Lines of [pBegin, pEnd), each ended by a line feed and none too long,
    // decoded at once and parsed into the batch.
    void ParseLines(const char* pBegin, const char* pEnd, FileListBatch& batch) const;
    // A line without its end that is already past the limit: its error,
    // and the rest of it dropped as it arrives.
    void DropLongUnfinishedLine(FileListBatch& batch);
    // Error 100 for a line longer than kMaxLineBytes, from its first bytes.
    static FileListBatch::Entry LongLineError(std::string_view strLineStart);
    FileListBatch::Entry ParseLine(const std::wstring& strLine) const;
    // The item's URL from the URL field; false (with the URL as far as it
    // got) when no absolute http(s) URL with a usable port comes of it.
    bool MakeItemUrl(const std::wstring& strField, std::wstring& strUrl) const;

    const std::wstring m_strBaseUrl;
    // Bytes received and not yet split into lines.
    std::string m_strBuffer;
    // Whether the first bytes of the stream have been looked at for a
    // byte-order mark (decided once 3 bytes arrived, or a byte that cannot
    // begin one).
    bool m_bStartSeen = false;
    // Whether the bytes up to the next line feed belong to a line already
    // reported as too long, and are dropped.
    bool m_bDroppingLongLine = false;
};

}  // namespace pullbay::engine
