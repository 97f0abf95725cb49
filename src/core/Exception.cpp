#include "core/Exception.h"

#include <string>
#include <utility>

#include "core/MemoryManagement.h"

namespace pullbay::core {

namespace {

constexpr const wchar_t* kUndefined = L"undefined";

wchar_t* CopyOr(const wchar_t* strText, const wchar_t* strFallback)
{
    return MemoryManagement::TryAllocAndCopyString(strText != nullptr ? strText : strFallback);
}

// Puts a copy of strText in the place of pText's buffer (null when the copy
// failed for lack of memory; the getters then read their fallback).
void ReplaceText(wchar_t*& pText, std::wstring_view strText)
{
    const std::wstring text(strText);
    wchar_t* pCopy = MemoryManagement::TryAllocAndCopyString(text.c_str());
    MemoryManagement::FreeMemory(pText);
    pText = pCopy;
}

}  // namespace

Exception::Exception(const wchar_t* strFunction, const wchar_t* strFile, std::uint32_t uintLine,
                     HRESULT intCode, const wchar_t* strMessage)
    : m_intCode(intCode),
      m_strMessage(CopyOr(strMessage, L"")),
      m_strFile(CopyOr(strFile, kUndefined)),
      m_uintLine(uintLine),
      m_strFunction(CopyOr(strFunction, kUndefined)),
      m_strClassName(CopyOr(L"Exception", L""))
{
}

Exception::Exception(const Exception& other)
    : m_intCode(other.m_intCode),
      m_strMessage(CopyOr(other.m_strMessage, L"")),
      m_strReason(other.m_strReason != nullptr ? CopyOr(other.m_strReason, L"") : nullptr),
      m_strFile(CopyOr(other.m_strFile, kUndefined)),
      m_uintLine(other.m_uintLine),
      m_strFunction(CopyOr(other.m_strFunction, kUndefined)),
      m_strClassName(CopyOr(other.m_strClassName, L"Exception")),
      m_uintTypeId(other.m_uintTypeId)
{
}

Exception& Exception::operator=(const Exception& other)
{
    if (this != &other) {
        Exception copy(other);
        Swap(copy);
    }
    return *this;
}

Exception::~Exception()
{
    MemoryManagement::FreeMemory(m_strMessage);
    MemoryManagement::FreeMemory(m_strReason);
    MemoryManagement::FreeMemory(m_strFile);
    MemoryManagement::FreeMemory(m_strFunction);
    MemoryManagement::FreeMemory(m_strClassName);
}

void Exception::Swap(Exception& other) noexcept
{
    std::swap(m_intCode, other.m_intCode);
    std::swap(m_strMessage, other.m_strMessage);
    std::swap(m_strReason, other.m_strReason);
    std::swap(m_strFile, other.m_strFile);
    std::swap(m_uintLine, other.m_uintLine);
    std::swap(m_strFunction, other.m_strFunction);
    std::swap(m_strClassName, other.m_strClassName);
    std::swap(m_uintTypeId, other.m_uintTypeId);
}

// A text whose copy failed for lack of memory reads as its fallback.
const wchar_t* Exception::GetMessage() const
{
    return m_strMessage ? m_strMessage : L"";
}
const wchar_t* Exception::GetFile() const
{
    return m_strFile ? m_strFile : kUndefined;
}
const wchar_t* Exception::GetFunction() const
{
    return m_strFunction ? m_strFunction : kUndefined;
}
const wchar_t* Exception::GetClassName() const
{
    return m_strClassName ? m_strClassName : L"Exception";
}

void Exception::SetMessage(std::wstring_view strMessage)
{
    ReplaceText(m_strMessage, strMessage);
}

const wchar_t* Exception::GetReason() const
{
    return m_strReason ? m_strReason : L"";
}

void Exception::SetReason(std::wstring_view strReason)
{
    ReplaceText(m_strReason, strReason);
}

void Exception::SetIdentity(const wchar_t* strClassName, std::uint32_t uintTypeId)
{
    wchar_t* pCopy = MemoryManagement::TryAllocAndCopyString(strClassName);
    MemoryManagement::FreeMemory(m_strClassName);
    m_strClassName = pCopy;
    m_uintTypeId = uintTypeId;
}

}  // namespace pullbay::core
