#pragma once
// JSON texts for the host's machine-readable output: strings as UTF-8 with
// the escapes JSON requires, automation values as JSON values. Any thread.
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/Variant.h"

namespace pullbay::host {

class JsonText {
public:
    // A quoted JSON string.
    static std::string Quote(std::wstring_view strText);
    // Numbers as numbers, booleans as true/false, a null text or Empty as null.
    static std::string FromVariant(const com::Variant& value);
    // {"event":"<name>","args":[...]}
    static std::string EventLine(std::wstring_view strName, const std::vector<com::Variant>& args);
};

}  // namespace pullbay::host
