#pragma once
// A byte stream with a position, as the transfer and the temporary files use
// it. Failures are HRESULTs; a failure of the file system carries the Windows
// code as HResultFromWin32 (disk full: 112), so callers can tell it apart.
// Implementations say which thread may use them.
#include <cstdint>

#include "core/HResult.h"

namespace pullbay::core {

enum class StreamSeekOrigin { Begin, Current, End };

class IStream {
public:
    virtual ~IStream() = default;

    // Reads up to uintSize bytes; *pRead = 0 at the end of the stream.
    virtual HRESULT Read(void* pData, std::uint32_t uintSize, std::uint32_t* pRead) = 0;
    // May write fewer bytes than asked: *pWritten tells how many.
    virtual HRESULT Write(const void* pData, std::uint32_t uintSize, std::uint32_t* pWritten) = 0;
    virtual HRESULT Seek(std::int64_t intOffset, StreamSeekOrigin origin,
                         std::uint64_t* pNewPosition) = 0;
    // Cuts or extends the stream to uintSize bytes.
    virtual HRESULT SetSize(std::uint64_t uintSize) = 0;
};

}  // namespace pullbay::core
