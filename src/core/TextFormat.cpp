#include "core/TextFormat.h"

#include <algorithm>
#include <cwchar>
#include <new>

#include "core/ExceptionManager.h"
#include "core/Exceptions.h"
#include "core/TextUnits.h"
#include "core/ThreadId.h"
#include "core/ThrowSite.h"

namespace pullbay::core {

namespace {

template <typename Char>
std::basic_string<Char> Expand(std::basic_string_view<Char> strPattern,
                               std::initializer_list<std::basic_string_view<Char>> arguments)
{
    std::basic_string<Char> out;
    out.reserve(strPattern.size());
    auto nextArgument = arguments.begin();
    for (std::size_t i = 0; i < strPattern.size(); ++i) {
        if (strPattern[i] == Char('%') && i + 1 < strPattern.size()) {
            if (strPattern[i + 1] == Char('s')) {
                if (nextArgument != arguments.end()) {
                    out.append(*nextArgument++);
                }
                ++i;
                continue;
            }
            if (strPattern[i + 1] == Char('%')) {
                out.push_back(Char('%'));
                ++i;
                continue;
            }
        }
        out.push_back(strPattern[i]);
    }
    return out;
}

// Records the formatter's failure as the catch-all protocol asks, then lets
// the caller rethrow the caught object.
[[noreturn]] void RecordFormatterFailure(const wchar_t* strFormatter)
{
    ExceptionManager::PushStdException(CurrentThreadId());
    try {
        UnexpectedException failure(strFormatter, PB_SOURCE_FILE, __LINE__);
        ExceptionManager::SetException(CurrentThreadId(), failure);
    } catch (...) {
        // Out of memory while recording: the earlier record stays.
    }
    throw;
}

}  // namespace

std::wstring FormatText(std::size_t uintBufferUnits, std::wstring_view strPattern,
                        std::initializer_list<std::wstring_view> arguments)
{
    try {
        if (uintBufferUnits == 0) {
            return {};
        }
        std::wstring text = Expand(strPattern, arguments);
        text.resize(TruncateToUtf16Units(text, uintBufferUnits - 1).size());
        return text;
    } catch (...) {
        RecordFormatterFailure(L"FormatText");
    }
}

std::size_t FormatToBuffer(wchar_t* pBuffer, std::size_t uintBufferUnits,
                           std::wstring_view strPattern,
                           std::initializer_list<std::wstring_view> arguments)
{
    if (pBuffer == nullptr || uintBufferUnits == 0) {
        return 0;
    }
    try {
        const std::wstring text = FormatText(uintBufferUnits, strPattern, arguments);
        // The buffer counts wchar_t; a wide character never takes two.
        const std::size_t uintCount = std::min(text.size(), uintBufferUnits - 1);
        std::wmemcpy(pBuffer, text.data(), uintCount);
        pBuffer[uintCount] = L'\0';
        return uintCount;
    } catch (...) {
        pBuffer[0] = L'\0';
        throw;
    }
}

std::string FormatText(std::size_t uintBufferBytes, std::string_view strPattern,
                       std::initializer_list<std::string_view> arguments)
{
    try {
        if (uintBufferBytes == 0) {
            return {};
        }
        std::string text = Expand(strPattern, arguments);
        if (text.size() > uintBufferBytes - 1) {
            text.resize(uintBufferBytes - 1);
        }
        return text;
    } catch (...) {
        RecordFormatterFailure(L"FormatText");
    }
}

}  // namespace pullbay::core
