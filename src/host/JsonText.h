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
    // Builds one JSON object with its members in the order they are added.
    class Object {
    public:
        // A member whose value is already JSON text.
        Object& Raw(std::string_view strKey, std::string_view strJson);
        Object& Text(std::string_view strKey, std::wstring_view strValue);
        Object& Number(std::string_view strKey, double dblValue);
        Object& Bool(std::string_view strKey, bool bValue);
        Object& Null(std::string_view strKey) { return Raw(strKey, "null"); }
        std::string Str() const { return m_strText + "}"; }

    private:
        std::string m_strText = "{";
    };

    // A JSON array of the given JSON values.
    static std::string Array(const std::vector<std::string>& values);
    // A quoted JSON string.
    static std::string Quote(std::wstring_view strText);
    // Numbers as numbers, booleans as true/false, a null text or Empty as null.
    static std::string FromVariant(const com::Variant& value);
    // {"event":"<name>","args":[...]}
    static std::string EventLine(std::wstring_view strName, const std::vector<com::Variant>& args);
    // A number as JSON: whole numbers without a fraction, else the shortest
    // text that reads back the same; null when not finite.
    static std::string NumberText(double dblValue);
};

}  // namespace pullbay::host
