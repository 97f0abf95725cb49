#include "model/FileItem.h"

#include <algorithm>
#include <charconv>

#include "core/TextUnits.h"

namespace pullbay::model {

std::shared_ptr<FileItem> FileItem::Create(std::wstring_view strMimeType, std::int64_t intFileSize,
                                           std::wstring_view strFileName, std::wstring_view strUrl)
{
    auto pItem = std::make_shared<FileItem>();
    pItem->SetDeclaredTexts(strMimeType, strFileName, strUrl);
    pItem->SetFileSize(intFileSize);
    return pItem;
}

std::shared_ptr<FileItem> FileItem::CloneDeclared() const
{
    auto pItem = std::make_shared<FileItem>();
    pItem->m_intFileSize = m_intFileSize;
    if (m_pDeclaredTexts) {
        // The block as it stands: its texts need no decoding to be copied.
        const core::CompactTextView url = UrlText();
        const auto uintSize = static_cast<std::size_t>(url.EncodedData() + url.EncodedSize() -
                                                       m_pDeclaredTexts.get());
        pItem->m_pDeclaredTexts = std::make_unique_for_overwrite<unsigned char[]>(uintSize);
        std::copy_n(m_pDeclaredTexts.get(), uintSize, pItem->m_pDeclaredTexts.get());
    }
    return pItem;
}

std::wstring FileItem::GetFileSizeText() const
{
    // Locale-free: the process locale may group digits.
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, m_intFileSize);
    return result.ec == std::errc() ? std::wstring(buffer, result.ptr) : std::wstring();
}

void FileItem::SetMimeType(std::wstring_view strMimeType)
{
    const std::wstring strFileName = GetFileName();
    const std::wstring strUrl = GetUrl();
    SetDeclaredTexts(strMimeType, strFileName, strUrl);
}

std::wstring FileItem::GetUrlKey() const
{
    return core::ToLowerAscii(GetUrl());
}

std::wstring FileItem::GetFileNameKey() const
{
    return core::ToLowerAscii(GetFileName());
}

const std::shared_ptr<core::IStream>& FileItem::GetTemporaryStream() const
{
    static const std::shared_ptr<core::IStream> pNone;
    return m_pRecorded ? m_pRecorded->pTemporaryStream : pNone;
}

std::wstring FileItem::FullDestinationPath() const
{
    // A file that skip-all never started has a name but no folder: it is
    // shown by its name alone, not as "/name".
    const std::wstring& strFolder = GetDestinationFolder();
    const std::wstring& strName = GetDestinationFileName();
    if (strFolder.empty()) {
        return strName;
    }
    std::wstring strPath;
    strPath.reserve(strFolder.size() + 1 + strName.size());
    strPath.append(strFolder).append(1, L'/').append(strName);
    return strPath;
}

const std::wstring& FileItem::EmptyText()
{
    static const std::wstring strEmpty;
    return strEmpty;
}

core::CompactTextView FileItem::DeclaredText(DeclaredTextIndex index) const
{
    if (!m_pDeclaredTexts) {
        return {};
    }
    const unsigned char* pText = m_pDeclaredTexts.get();
    core::CompactTextView text = core::ReadCompactText(pText);
    for (int i = kMimeTypeText; i < index; ++i) {
        text = core::ReadCompactText(pText);
    }
    return text;
}

void FileItem::SetDeclaredTexts(std::wstring_view strMimeType, std::wstring_view strFileName,
                                std::wstring_view strUrl)
{
    if (strMimeType.empty() && strFileName.empty() && strUrl.empty()) {
        m_pDeclaredTexts.reset();
        return;
    }
    const std::size_t uintSize = core::CompactTextSize(strMimeType) +
                                 core::CompactTextSize(strFileName) + core::CompactTextSize(strUrl);
    auto pTexts = std::make_unique_for_overwrite<unsigned char[]>(uintSize);
    unsigned char* pOut = core::WriteCompactText(strMimeType, pTexts.get());
    pOut = core::WriteCompactText(strFileName, pOut);
    core::WriteCompactText(strUrl, pOut);
    m_pDeclaredTexts = std::move(pTexts);
}

FileItem::RecordedFields& FileItem::Recorded()
{
    PB_ASSERT_OWNER_THREAD(m_recordWriter);
    if (!m_pRecorded) {
        m_pRecorded = std::make_unique<RecordedFields>();
    }
    return *m_pRecorded;
}

}  // namespace pullbay::model
