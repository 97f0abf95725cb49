#include "ui/ParameterSplitter.h"

#include <locale>
#include <stdexcept>

#include <boost/regex.hpp>

#include "core/Exceptions.h"
#include "core/TextUnits.h"
#include "core/ThrowSite.h"
#include "ui/TextFormatters.h"

namespace pullbay::ui {

namespace {

// Name: blanks, word characters, the value separator, '.', '*' or '?', as
// short as possible. Value: as short as possible up to the opening quote (if
// any) again, not preceded by a backslash, then blanks and the pair
// separator or the end.
constexpr std::wstring_view kPairPatternTemplate =
    LR"(\s*([ \w%VALUE_SEPARATOR%.*?]+?)\s*=\s*(['"]?)(.*?)(?<!\\)\2\s*(?:%PARAM_VALUE_SEPARATOR%|$))";
constexpr std::wstring_view kPairSeparator = L";";
constexpr std::wstring_view kValueSeparator = L",";

enum PairGroup { kGroupName = 1, kGroupValue = 3 };

std::locale RegexLocale()
{
    // Without a UTF-8 locale the wide-character classes miss non-ASCII text.
    try {
        return std::locale("C.UTF-8");
    } catch (const std::runtime_error&) {
        return std::locale::classic();
    }
}

struct CompiledPattern {
    boost::wregex regex;
    std::wstring strError;  // empty when the pattern compiled
};

CompiledPattern CompilePairPattern()
{
    std::wstring strPattern(kPairPatternTemplate);
    ReplaceAll(strPattern, L"%PARAM_VALUE_SEPARATOR%", kPairSeparator);
    ReplaceAll(strPattern, L"%VALUE_SEPARATOR%", kValueSeparator);
    CompiledPattern compiled;
    try {
        compiled.regex.imbue(RegexLocale());
        compiled.regex.assign(strPattern, boost::regex_constants::perl);
    } catch (const std::runtime_error& error) {
        compiled.strError = core::FromUtf8(error.what());
        if (compiled.strError.empty()) {
            compiled.strError = L"regular expression";
        }
    }
    return compiled;
}

// Compiled on first use (a thread-safe static); matching against the shared
// const pattern is safe from any thread.
const CompiledPattern& PairPattern()
{
    static const CompiledPattern pattern = CompilePairPattern();
    return pattern;
}

std::wstring GroupText(const boost::wcmatch& match, int intGroup)
{
    return std::wstring(match[intGroup].first, match[intGroup].second);
}

void RecordFailure(const wchar_t* strFunction, std::uint32_t uintLine, const std::wstring& strWhat)
{
    core::ExceptionManager::SetException(
        core::CurrentThreadId(),
        core::UnexpectedException(strFunction, PB_SOURCE_FILE, uintLine, strWhat.c_str()));
}

}  // namespace

bool ParameterSplitter::Split(std::wstring_view strText)
{
    m_params.clear();
    if (strText.empty()) {
        return false;
    }
    const std::wstring strFunction = core::QualifiedFunctionName(__PRETTY_FUNCTION__);
    const CompiledPattern& pattern = PairPattern();
    if (!pattern.strError.empty()) {
        RecordFailure(strFunction.c_str(), __LINE__, pattern.strError);
        return false;
    }
    try {
        const wchar_t* const pBegin = strText.data();
        const wchar_t* const pEnd = pBegin + strText.size();
        const std::size_t uintLastEquals = strText.rfind(L'=');
        const wchar_t* pNext = pBegin;
        boost::wcmatch match;
        // Every pair holds a '=', so past the last one no further match
        // exists. Stopping there spares the search a tail of blanks, on which
        // Boost's complexity limit gives up after a few dozen characters
        // ("a=1;" and 50 blanks).
        while (
            uintLastEquals != std::wstring_view::npos && pNext <= pBegin + uintLastEquals &&
            boost::regex_search(pNext, pEnd, match, pattern.regex,
                                pNext == pBegin ? boost::match_default : boost::match_prev_avail)) {
            m_params.push_back(Param{GroupText(match, kGroupName), GroupText(match, kGroupValue)});
            // Not empty: a match holds the '='.
            pNext = match[0].second;
        }
    } catch (const std::runtime_error& error) {
        // Boost gives up on texts whose matching grows too complex (hundreds
        // of blanks before a '='); such an option string is not splittable.
        RecordFailure(strFunction.c_str(), __LINE__, core::FromUtf8(error.what()));
        m_params.clear();
        return false;
    }
    return !m_params.empty();
}

ParameterSplitter::Param ParameterSplitter::GetParamValue(std::size_t uintIndex) const
{
    if (uintIndex >= m_params.size()) {
        PB_THROW(core::ArgumentOutOfRangeException, L"uintIndex");
    }
    return m_params[uintIndex];
}

}  // namespace pullbay::ui
