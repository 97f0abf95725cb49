#include "model/FileItem.h"

#include <charconv>

#include "core/TextUnits.h"

namespace pullbay::model {

std::shared_ptr<FileItem> FileItem::Create(std::wstring strMimeType, std::int64_t intFileSize,
                                           std::wstring strFileName, std::wstring strUrl)
{
    auto pItem = std::make_shared<FileItem>();
    pItem->SetMimeType(std::move(strMimeType));
    pItem->SetFileSize(intFileSize);
    pItem->SetFileName(std::move(strFileName));
    pItem->SetUrl(std::move(strUrl));
    return pItem;
}

std::shared_ptr<FileItem> FileItem::CloneDeclared() const
{
    return Create(m_strMimeType, m_intFileSize, m_strFileName, m_strUrl);
}

void FileItem::SetFileSize(std::int64_t intFileSize)
{
    m_intFileSize = intFileSize;
    // Locale-free: the process locale may group digits.
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, intFileSize);
    m_strFileSizeText =
        result.ec == std::errc() ? std::wstring(buffer, result.ptr) : std::wstring();
}

void FileItem::SetFileName(std::wstring strFileName)
{
    m_strFileNameKey = core::ToLowerAscii(strFileName);
    m_strFileName = std::move(strFileName);
}

void FileItem::SetUrl(std::wstring strUrl)
{
    m_strUrlKey = core::ToLowerAscii(strUrl);
    m_strUrl = std::move(strUrl);
}

std::wstring FileItem::FullDestinationPath() const
{
    // A file that skip-all never started has a name but no folder: it is
    // shown by its name alone, not as "/name".
    const std::wstring& strFolder = m_recorded.strDestinationFolder;
    const std::wstring& strName = m_recorded.strDestinationFileName;
    if (strFolder.empty()) {
        return strName;
    }
    std::wstring strPath;
    strPath.reserve(strFolder.size() + 1 + strName.size());
    strPath.append(strFolder).append(1, L'/').append(strName);
    return strPath;
}

}  // namespace pullbay::model
