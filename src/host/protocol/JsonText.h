#pragma once
// JSON texts for the host's machine-readable output: strings as UTF-8 with
// the escapes JSON requires, automation values as JSON values. Any thread.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
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
        // A member whose value is an array of uintCount JSON values, each
        // made by element(i) in its turn: a long array (a row per file of a
        // list) is written once, never first as a list of its values.
        template <typename Element>
        Object& Array(std::string_view strKey, std::size_t uintCount, Element element)
        {
            Raw(strKey, "[");
            for (std::size_t i = 0; i < uintCount; ++i) {
                if (i > 0) {
                    m_strText += ',';
                }
                m_strText += element(i);
            }
            m_strText += ']';
            return *this;
        }
        std::string Str() const& { return m_strText + "}"; }
        // The finished object taken out of a builder that is done with.
        std::string Str() &&
        {
            m_strText += '}';
            return std::move(m_strText);
        }

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
    // The JSON text of a member's value in a valid JSON object's text, as
    // written there (the last one when the key repeats); nullopt when the
    // object has no such member. Only keys written without escapes match.
    static std::optional<std::string_view> MemberJson(std::string_view strObject,
                                                      std::string_view strKey);
    // A number as JSON: whole numbers without a fraction, else the shortest
    // text that reads back the same; null when not finite.
    static std::string NumberText(double dblValue);
};

}  // namespace pullbay::host
