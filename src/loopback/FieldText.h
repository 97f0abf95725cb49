#pragma once
// The text of HTTP header fields, as the request parser, the response head
// and the servers built on them read and write it. Numbers go through
// std::from_chars / std::to_chars, never through the process locale.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pullbay::loopback {

// Header fields as name and value, in the order sent or to be sent.
using FieldList = std::vector<std::pair<std::string, std::string>>;

// The text without its leading and trailing blanks (space, tab).
std::string_view TrimBlanks(std::string_view strText);

// Whether a comma-separated value such as Connection's holds the token;
// ASCII case is ignored.
bool HasListToken(std::string_view strList, std::string_view strToken);

// The decimal number that is the whole text; nullopt for anything else, the
// empty text and a number beyond 64 bits included.
std::optional<std::uint64_t> ParseDecimal(std::string_view strText);

// The decimal digits of the number.
std::string DecimalText(std::uint64_t uintValue);

// The value of the first field of that name (ASCII case ignored), if any.
std::optional<std::string> FindField(const FieldList& fields, std::string_view strName);

}  // namespace pullbay::loopback
