#include "core/ThrowSite.h"

#include <cctype>
#include <vector>

namespace pullbay::core {

std::wstring QualifiedFunctionName(std::string_view strPrettyFunction)
{
    // The parameter list starts at the first '(' outside template arguments.
    int intDepth = 0;
    std::size_t uintParen = strPrettyFunction.size();
    for (std::size_t i = 0; i < strPrettyFunction.size(); ++i) {
        const char ch = strPrettyFunction[i];
        if (ch == '<') {
            ++intDepth;
        } else if (ch == '>') {
            --intDepth;
        } else if (ch == '(' && intDepth == 0) {
            uintParen = i;
            break;
        }
    }
    // The name starts after the last blank outside template arguments.
    std::size_t uintStart = 0;
    intDepth = 0;
    for (std::size_t i = uintParen; i-- > 0;) {
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
