#pragma once
// A folder of a file's destination path could not be created; the path is
// the argument text of its message.
#include "core/FileSystemExceptions.h"

namespace pullbay::engine {

class CreateDownloadPathException : public core::CreateTempFileException {
public:
    static constexpr std::uint32_t kTypeId = 64;
    CreateDownloadPathException(const wchar_t* strFunction, const wchar_t* strFile,
                                std::uint32_t uintLine, const wchar_t* strPath = nullptr);
};

}  // namespace pullbay::engine
