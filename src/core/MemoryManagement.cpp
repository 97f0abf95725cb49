#include "core/MemoryManagement.h"

#include <cstdlib>
#include <cwchar>
#include <limits>

#include "core/Exceptions.h"
#include "core/ThrowSite.h"

namespace pullbay::core {

void* MemoryManagement::AllocMemory(std::size_t uintSize)
{
    void* pMemory = std::malloc(uintSize == 0 ? 1 : uintSize);
    if (pMemory == nullptr) {
        PB_THROW(MemoryException);
    }
    return pMemory;
}

void MemoryManagement::FreeMemory(void* pMemory)
{
    std::free(pMemory);
}

wchar_t* MemoryManagement::AllocAndCopyString(const wchar_t* strText)
{
    if (strText == nullptr) {
        return nullptr;
    }
    const std::size_t uintLength = std::wcslen(strText);
    if (uintLength >= std::numeric_limits<std::size_t>::max() / sizeof(wchar_t) - 1) {
        PB_THROW(UnexpectedException, L"string too long to copy");
    }
    auto* pCopy = static_cast<wchar_t*>(AllocMemory((uintLength + 1) * sizeof(wchar_t)));
    std::wmemcpy(pCopy, strText, uintLength + 1);
    return pCopy;
}

wchar_t* MemoryManagement::TryAllocAndCopyString(const wchar_t* strText) noexcept
{
    if (strText == nullptr) {
        return nullptr;
    }
    const std::size_t uintLength = std::wcslen(strText);
    auto* pCopy = static_cast<wchar_t*>(std::malloc((uintLength + 1) * sizeof(wchar_t)));
    if (pCopy != nullptr) {
        std::wmemcpy(pCopy, strText, uintLength + 1);
    }
    return pCopy;
}

}  // namespace pullbay::core
