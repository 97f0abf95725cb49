#include "engine/DownloadExceptions.h"

#include <utility>

namespace pullbay::engine {

CreateDownloadPathException::CreateDownloadPathException(const wchar_t* strFunction,
                                                         const wchar_t* strFile,
                                                         std::uint32_t uintLine,
                                                         const wchar_t* strPath)
    : core::CreateTempFileException(strFunction, strFile, uintLine, strPath)
{
    SetIdentity(L"CreateDownloadPathException", kTypeId);
}

SkippedByUserException::SkippedByUserException(const wchar_t* strFunction, const wchar_t* strFile,
                                               std::uint32_t uintLine)
    : core::Exception(strFunction, strFile, uintLine)
{
    SetIdentity(L"SkippedByUserException", kTypeId);
}

InvalidMimeTypeException::InvalidMimeTypeException(const wchar_t* strFunction,
                                                   const wchar_t* strFile, std::uint32_t uintLine)
    : core::Exception(strFunction, strFile, uintLine)
{
    SetIdentity(L"InvalidMimeTypeException", kTypeId);
}

InvalidFileSizeException::InvalidFileSizeException(const wchar_t* strFunction,
                                                   const wchar_t* strFile, std::uint32_t uintLine)
    : core::Exception(strFunction, strFile, uintLine)
{
    SetIdentity(L"InvalidFileSizeException", kTypeId);
}

FileSystemErrorException::FileSystemErrorException(const wchar_t* strFunction,
                                                   const wchar_t* strFile, std::uint32_t uintLine,
                                                   std::int32_t intErrorCode,
                                                   const wchar_t* strReason)
    : core::Exception(strFunction, strFile, uintLine, E_FAIL, strReason),
      m_intErrorCode(intErrorCode)
{
    SetIdentity(L"FileSystemErrorException", kTypeId);
    if (strReason != nullptr) {
        SetReason(strReason);
    }
}

FileSystemErrorException::FileSystemErrorException(const wchar_t* strFunction,
                                                   const wchar_t* strFile, std::uint32_t uintLine,
                                                   std::int32_t intErrorCode,
                                                   const core::Exception& cause)
    : core::Exception(strFunction, strFile, uintLine, E_FAIL, cause.GetMessage()),
      m_intErrorCode(intErrorCode)
{
    SetIdentity(L"FileSystemErrorException", kTypeId);
    SetReason(cause.GetReason());
}

ConnectionErrorException::ConnectionErrorException(const wchar_t* strFunction,
                                                   const wchar_t* strFile, std::uint32_t uintLine,
                                                   std::wstring strResponseText,
                                                   std::int32_t intHttpStatus,
                                                   std::int32_t intErrorCode)
    : core::Exception(strFunction, strFile, uintLine),
      m_strResponseText(std::move(strResponseText)),
      m_intHttpStatus(intHttpStatus),
      m_intErrorCode(intErrorCode)
{
    SetIdentity(L"ConnectionErrorException", kTypeId);
}

}  // namespace pullbay::engine
