#include "loopback/FieldText.h"

#include <charconv>

#include "core/TextUnits.h"

namespace pullbay::loopback {

std::string_view TrimBlanks(std::string_view strText)
{
    const std::size_t uintFirst = strText.find_first_not_of(" \t");
    if (uintFirst == std::string_view::npos) {
        return {};
    }
    return strText.substr(uintFirst, strText.find_last_not_of(" \t") - uintFirst + 1);
}

bool HasListToken(std::string_view strList, std::string_view strToken)
{
    while (!strList.empty()) {
        const std::size_t uintComma = strList.find(',');
        if (core::EqualsIgnoreAsciiCase(TrimBlanks(strList.substr(0, uintComma)), strToken)) {
            return true;
        }
        if (uintComma == std::string_view::npos) {
            break;
        }
        strList.remove_prefix(uintComma + 1);
    }
    return false;
}

std::optional<std::uint64_t> ParseDecimal(std::string_view strText)
{
    std::uint64_t uintValue = 0;
    const auto result = std::from_chars(strText.data(), strText.data() + strText.size(), uintValue);
    if (strText.empty() || result.ec != std::errc() ||
        result.ptr != strText.data() + strText.size()) {
        return std::nullopt;
    }
    return uintValue;
}

std::string DecimalText(std::uint64_t uintValue)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, uintValue);
    return std::string(buffer, result.ptr);
}

std::optional<std::string> FindField(const FieldList& fields, std::string_view strName)
{
    for (const auto& [strFieldName, strValue] : fields) {
        if (core::EqualsIgnoreAsciiCase(strFieldName, strName)) {
            return strValue;
        }
    }
    return std::nullopt;
}

}  // namespace pullbay::loopback
