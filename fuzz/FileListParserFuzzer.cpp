// The file-list parser over arbitrary bytes, as a server may send them:
// nothing crashes or hangs, and the text gives the same items and line
// errors whatever the sizes of the chunks it arrives in (the first byte of
// the input chooses the chunk size).
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "engine/FileListParser.h"

namespace {

using pullbay::engine::FileListBatch;
using pullbay::engine::FileListParser;

constexpr const wchar_t* kListUrl = L"http://list.example:8080/lists/today/list.txt";

void Append(std::vector<FileListBatch::Entry>& all, FileListBatch batch)
{
    for (FileListBatch::Entry& entry : batch.entries) {
        all.push_back(std::move(entry));
    }
}

bool SameEntry(const FileListBatch::Entry& left, const FileListBatch::Entry& right)
{
    if (left.intErrorCode != right.intErrorCode || left.strDescription != right.strDescription ||
        left.IsItem() != right.IsItem()) {
        return false;
    }
    return !left.IsItem() || (left.pItem->GetUrl() == right.pItem->GetUrl() &&
                              left.pItem->GetFileName() == right.pItem->GetFileName() &&
                              left.pItem->GetMimeType() == right.pItem->GetMimeType() &&
                              left.pItem->GetFileSize() == right.pItem->GetFileSize());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uintSize)
{
    if (uintSize == 0) {
        return 0;
    }
    const std::size_t uintChunk = pData[0] % 64 + 1;
    const std::string_view bytes(reinterpret_cast<const char*>(pData + 1), uintSize - 1);

    std::vector<FileListBatch::Entry> whole;
    FileListParser oneChunk(kListUrl);
    Append(whole, oneChunk.Consume(bytes));
    Append(whole, oneChunk.Finish());

    std::vector<FileListBatch::Entry> chunked;
    FileListParser manyChunks(kListUrl);
    for (std::size_t uintAt = 0; uintAt < bytes.size(); uintAt += uintChunk) {
        Append(chunked, manyChunks.Consume(bytes.substr(uintAt, uintChunk)));
    }
    Append(chunked, manyChunks.Finish());

    PB_FUZZ_CHECK(whole.size() == chunked.size());
    for (std::size_t i = 0; i < whole.size(); ++i) {
        PB_FUZZ_CHECK(SameEntry(whole[i], chunked[i]));
        // An item always has an absolute http(s) URL and a usable name.
        if (whole[i].IsItem()) {
            const std::wstring& strUrl = whole[i].pItem->GetUrl();
            PB_FUZZ_CHECK(strUrl.rfind(L"http://", 0) == 0 || strUrl.rfind(L"https://", 0) == 0);
            PB_FUZZ_CHECK(whole[i].pItem->GetFileName().size() >= 2);
        }
    }
    return 0;
}
