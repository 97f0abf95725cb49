#include "host/JsonText.h"

#include <charconv>
#include <cmath>

#include "core/TextUnits.h"

namespace pullbay::host {

namespace {

template <typename Number>
std::string NumberText(Number value)
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
            static constexpr char kHex[] = "0123456789abcdef";
            strOut += "\\u00";
            strOut += kHex[uintCh >> 4];
            strOut += kHex[uintCh & 0x0F];
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
        return NumberText(value.I4());
    case com::VarType::UI4:
        return NumberText(value.UI4());
    case com::VarType::R8:
        // JSON has no NaN or infinity.
        return std::isfinite(value.R8()) ? NumberText(value.R8()) : std::string("null");
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

}  // namespace pullbay::host
