#include "core/ThrowSite.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace pullbay::core {

namespace {

bool IsIdentifierCharacter(char ch)
{
    return std::isalnum(static_cast<unsigned char>(ch)) != 0 || ch == '_';
}

// True when the keyword "operator" starts at uintPos.
bool IsOperatorKeyword(std::string_view strText, std::size_t uintPos)
{
    constexpr std::string_view kOperator = "operator";
    return strText.substr(uintPos, kOperator.size()) == kOperator &&
           (uintPos == 0 || !IsIdentifierCharacter(strText[uintPos - 1])) &&
           (uintPos + kOperator.size() == strText.size() ||
            !IsIdentifierCharacter(strText[uintPos + kOperator.size()]));
}

}  // namespace

std::wstring QualifiedFunctionName(std::string_view strPrettyFunction)
{
    // The parameter list starts at the first '(' outside template arguments.
    // An operator's name may hold '<', '>', '(' and blanks ("operator<<",
    // "operator->", "operator()", "operator bool"): its parameter list is the
    // first '(' after the symbol, and the name is searched before the keyword.
    int intDepth = 0;
    std::size_t uintParen = strPrettyFunction.size();
    std::size_t uintNameEnd = uintParen;
    for (std::size_t i = 0; i < strPrettyFunction.size(); ++i) {
        const char ch = strPrettyFunction[i];
        if (intDepth == 0 && IsOperatorKeyword(strPrettyFunction, i)) {
            std::size_t uintSymbol = i + std::string_view("operator").size();
            if (strPrettyFunction.substr(uintSymbol, 2) == "()") {
                uintSymbol += 2;
            }
            uintNameEnd = i;
            uintParen = std::min(strPrettyFunction.find('(', uintSymbol), strPrettyFunction.size());
            break;
        }
        if (ch == '<') {
            ++intDepth;
        } else if (ch == '>') {
            --intDepth;
        } else if (ch == '(' && intDepth == 0) {
            uintParen = i;
            uintNameEnd = i;
            break;
        }
    }
    // The name starts after the last blank outside template arguments.
    std::size_t uintStart = 0;
    intDepth = 0;
    for (std::size_t i = uintNameEnd; i-- > 0;) {
        const char ch = strPrettyFunction[i];
        if (ch == '>') {
            ++intDepth;
        } else if (ch == '<') {
            --intDepth;
        } else if (ch == ' ' && intDepth == 0) {
            uintStart = i + 1;
            break;
        }
    }
    std::string_view strName = strPrettyFunction.substr(uintStart, uintParen - uintStart);

    std::vector<std::string_view> parts;
    for (std::size_t uintPos = 0;;) {
        const std::size_t uintNext = strName.find("::", uintPos);
        parts.push_back(strName.substr(uintPos, uintNext - uintPos));
        if (uintNext == std::string_view::npos) {
            break;
        }
        uintPos = uintNext + 2;
    }
    // Namespaces of this project are lower-case; classes are CamelCase.
    std::size_t uintFirst = 0;
    while (uintFirst + 1 < parts.size() && !parts[uintFirst].empty() &&
           (std::islower(static_cast<unsigned char>(parts[uintFirst][0])) ||
            parts[uintFirst][0] == '{')) {
        ++uintFirst;
    }
    std::wstring result;
    for (std::size_t i = uintFirst; i < parts.size(); ++i) {
        if (!result.empty()) {
            result += L"::";
        }
        for (char ch : parts[i]) {
            result.push_back(static_cast<wchar_t>(static_cast<unsigned char>(ch)));
        }
    }
    return result;
}

}  // namespace pullbay::core
