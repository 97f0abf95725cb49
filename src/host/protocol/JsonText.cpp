#include "host/protocol/JsonText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "core/HexDigits.h"
#include "core/TextUnits.h"

namespace pullbay::host {

namespace {

template <typename Number>
std::string FormatNumber(Number value)
{
    char buffer[64] = {};
    const auto [pEnd, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    (void)error;
    return std::string(buffer, pEnd);
}

}  // namespace

std::string JsonText::Quote(std::wstring_view strText)
{
    const std::string strUtf8 = core::ToUtf8(strText);
    std::string strOut = "\"";
    for (const char ch : strUtf8) {
        const auto uintCh = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            strOut += '\\';
            strOut += ch;
        } else if (ch == '\n') {
            strOut += "\\n";
        } else if (ch == '\r') {
            strOut += "\\r";
        } else if (ch == '\t') {
            strOut += "\\t";
        } else if (uintCh < 0x20) {
            strOut += "\\u00";
            core::AppendHex(strOut, uintCh, 2, core::HexCase::Lower);
        } else {
            strOut += ch;
        }
    }
    strOut += '"';
    return strOut;
}

std::string JsonText::FromVariant(const com::Variant& value)
{
    switch (value.Type()) {
    case com::VarType::I4:
        return FormatNumber(value.I4());
    case com::VarType::UI4:
        return FormatNumber(value.UI4());
    case com::VarType::R8:
        // JSON has no NaN or infinity.
        return NumberText(value.R8());
    case com::VarType::Bool:
        return value.Bool() ? "true" : "false";
    case com::VarType::BStr:
        return value.String().IsNull() ? std::string("null") : Quote(value.String().Value());
    case com::VarType::Empty:
        break;
    }
    return "null";
}

std::string JsonText::EventLine(std::wstring_view strName, const std::vector<com::Variant>& args)
{
    std::string strLine = "{\"event\":" + Quote(strName) + ",\"args\":[";
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i > 0) {
            strLine += ',';
        }
        strLine += FromVariant(args[i]);
    }
    strLine += "]}";
    return strLine;
}

std::optional<std::string_view> JsonText::MemberJson(std::string_view strObject,
                                                     std::string_view strKey)
{
    std::size_t uintPos = 0;
    const auto skipSpace = [&] {
        while (uintPos < strObject.size() &&
               (strObject[uintPos] == ' ' || strObject[uintPos] == '\t' ||
                strObject[uintPos] == '\n' || strObject[uintPos] == '\r')) {
            ++uintPos;
        }
    };
    // Past the string that starts at uintPos.
    const auto skipString = [&] {
        for (++uintPos; uintPos < strObject.size() && strObject[uintPos] != '"'; ++uintPos) {
            if (strObject[uintPos] == '\\') {
                ++uintPos;
            }
        }
        ++uintPos;
    };
    skipSpace();
    if (uintPos >= strObject.size() || strObject[uintPos] != '{') {
        return std::nullopt;
    }
    ++uintPos;
    std::optional<std::string_view> found;
    for (;;) {
        skipSpace();
        if (uintPos >= strObject.size() || strObject[uintPos] != '"') {
            return found;
        }
        const std::size_t uintKey = uintPos;
        skipString();
        const std::string_view strThisKey =
            strObject.substr(uintKey + 1, std::min(uintPos, strObject.size()) - uintKey - 2);
        skipSpace();
        ++uintPos;  // the ':'
        skipSpace();
        const std::size_t uintValue = uintPos;
        int intDepth = 0;
        while (uintPos < strObject.size()) {
            const char ch = strObject[uintPos];
            if (ch == '"') {
                skipString();
                continue;
            }
            if (ch == '{' || ch == '[') {
                ++intDepth;
            } else if (ch == '}' || ch == ']') {
                if (intDepth == 0) {
                    break;
                }
                --intDepth;
            } else if (ch == ',' && intDepth == 0) {
                break;
            }
            ++uintPos;
        }
        std::string_view strValue = strObject.substr(uintValue, uintPos - uintValue);
        while (!strValue.empty() && (strValue.back() == ' ' || strValue.back() == '\t' ||
                                     strValue.back() == '\n' || strValue.back() == '\r')) {
            strValue.remove_suffix(1);
        }
        if (strThisKey == strKey) {
            found = strValue;
        }
        if (uintPos >= strObject.size() || strObject[uintPos] != ',') {
            return found;
        }
        ++uintPos;
    }
}

std::string JsonText::NumberText(double dblValue)
{
    if (!std::isfinite(dblValue)) {
        return "null";
    }
    if (dblValue == std::trunc(dblValue) && std::fabs(dblValue) < 9.007199254740992e15) {
        return FormatNumber(static_cast<std::int64_t>(dblValue));
    }
    return FormatNumber(dblValue);
}

std::string JsonText::Array(const std::vector<std::string>& values)
{
    std::string strText = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        strText += (i > 0 ? "," : "") + values[i];
    }
    return strText + "]";
}

JsonText::Object& JsonText::Object::Raw(std::string_view strKey, std::string_view strJson)
{
    if (m_strText.size() > 1) {
        m_strText += ',';
    }
    m_strText += '"';
    m_strText += strKey;  // keys are the program's own ASCII names
    m_strText += "\":";
    m_strText += strJson;
    return *this;
}

JsonText::Object& JsonText::Object::Text(std::string_view strKey, std::wstring_view strValue)
{
    return Raw(strKey, Quote(strValue));
}

JsonText::Object& JsonText::Object::Number(std::string_view strKey, double dblValue)
{
    return Raw(strKey, NumberText(dblValue));
}

JsonText::Object& JsonText::Object::Bool(std::string_view strKey, bool bValue)
{
    return Raw(strKey, bValue ? "true" : "false");
}

}  // namespace pullbay::host
