#include "engine/CreateDownloadPathException.h"

namespace pullbay::engine {

CreateDownloadPathException::CreateDownloadPathException(const wchar_t* strFunction,
                                                         const wchar_t* strFile,
                                                         std::uint32_t uintLine,
                                                         const wchar_t* strPath)
    : core::CreateTempFileException(strFunction, strFile, uintLine, strPath)
{
    SetIdentity(L"CreateDownloadPathException", kTypeId);
}

}  // namespace pullbay::engine
