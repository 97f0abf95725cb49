#include "host/page/HostPage.h"

#include <charconv>
#include <filesystem>

#include "core/HexDigits.h"
#include "core/TextUnits.h"
#include "host/page/NestingScan.h"
#include "host/page/PageBytes.h"
#include "host/page/ParsedHtml.h"
#include "net/CodePageDecoder.h"
#include "platform/com/Guid.h"
#include "pullbay/Identity.h"

namespace pullbay::host {

namespace {

constexpr std::string_view kControlMimeType = "application/x-velmora-pullbay";
constexpr std::string_view kProgIdPrefix = "progid:";
constexpr std::string_view kClsidPrefix = "clsid:";
constexpr unsigned kCodePageUtf16Le = 1200;
constexpr unsigned kCodePageUtf16Be = 1201;
constexpr unsigned kCodePageLatin1 = 28591;
constexpr unsigned kCodePageWindows1252 = 1252;

struct CharsetName {
    std::string_view strName;
    unsigned uintCodePage;
};

constexpr CharsetName kCharsets[] = {
    {"utf-8", net::kCodePageUtf8},
    {"utf8", net::kCodePageUtf8},
    {"iso-8859-1", kCodePageLatin1},
    {"iso8859-1", kCodePageLatin1},
    {"latin1", kCodePageLatin1},
    {"l1", kCodePageLatin1},
    {"windows-1252", kCodePageWindows1252},
    {"cp1252", kCodePageWindows1252},
    {"x-cp1252", kCodePageWindows1252},
};

bool IsHtmlSpace(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\f' || ch == '\r';
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsHtmlSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsHtmlSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() &&
           core::EqualsIgnoreAsciiCase(text.substr(0, prefix.size()), prefix);
}

std::optional<unsigned> CodePageOfCharset(std::string_view strCharset)
{
    strCharset = Trim(strCharset);
    for (const CharsetName& charset : kCharsets) {
        if (core::EqualsIgnoreAsciiCase(strCharset, charset.strName)) {
            return charset.uintCodePage;
        }
    }
    return std::nullopt;
}

// The charset named in a Content-Type value or a meta element's content
// attribute, found the way browsers find it there: the first "charset"
// followed by "=" and a quoted or bare value.
std::optional<std::string_view> CharsetOfContentType(std::string_view strContentType)
{
    constexpr std::string_view kCharset = "charset";
    std::size_t uintPos = 0;
    while (uintPos + kCharset.size() <= strContentType.size()) {
        if (!core::EqualsIgnoreAsciiCase(strContentType.substr(uintPos, kCharset.size()),
                                         kCharset)) {
            ++uintPos;
            continue;
        }
        std::string_view rest = strContentType.substr(uintPos + kCharset.size());
        uintPos += kCharset.size();
        while (!rest.empty() && IsHtmlSpace(rest.front())) {
            rest.remove_prefix(1);
        }
        if (rest.empty() || rest.front() != '=') {
            continue;
        }
        rest.remove_prefix(1);
        while (!rest.empty() && IsHtmlSpace(rest.front())) {
            rest.remove_prefix(1);
        }
        if (!rest.empty() && (rest.front() == '"' || rest.front() == '\'')) {
            const std::size_t uintClose = rest.find(rest.front(), 1);
            if (uintClose == std::string_view::npos) {
                return std::nullopt;
            }
            return rest.substr(1, uintClose - 1);
        }
        std::size_t uintEnd = 0;
        while (uintEnd < rest.size() && !IsHtmlSpace(rest[uintEnd]) && rest[uintEnd] != ';') {
            ++uintEnd;
        }
        return rest.substr(0, uintEnd);
    }
    return std::nullopt;
}

bool ClassIdNamesControl(std::string_view strClassId)
{
    strClassId = Trim(strClassId);
    if (StartsWithIgnoreCase(strClassId, kProgIdPrefix)) {
        return core::EqualsIgnoreAsciiCase(
            core::FromUtf8(Trim(strClassId.substr(kProgIdPrefix.size()))), api::kProgId);
    }
    if (StartsWithIgnoreCase(strClassId, kClsidPrefix)) {
        std::wstring strGuid = core::FromUtf8(Trim(strClassId.substr(kClsidPrefix.size())));
        if (strGuid.empty() || strGuid.front() != L'{') {
            strGuid = L"{" + strGuid + L"}";
        }
        const std::optional<com::Guid> guid = com::Guid::Parse(strGuid);
        return guid && *guid == api::CLSID_Pullbay;
    }
    return false;
}

bool NamesControl(const GumboNode* pObject)
{
    const GumboVector& attributes = pObject->v.element.attributes;
    for (unsigned int i = 0; i < attributes.length; ++i) {
        const auto* pAttribute = static_cast<const GumboAttribute*>(attributes.data[i]);
        const std::string_view strName = pAttribute->name;
        const std::string_view strValue = Trim(pAttribute->value);
        if (strName == "classid" && ClassIdNamesControl(strValue)) {
            return true;
        }
        // A MIME type may carry parameters after ";".
        if (strName == "type" &&
            core::EqualsIgnoreAsciiCase(Trim(strValue.substr(0, strValue.find(';'))),
                                        kControlMimeType)) {
            return true;
        }
        if (core::EqualsIgnoreAsciiCase(core::FromUtf8(strValue), api::kProgId)) {
            return true;
        }
    }
    return false;
}

std::optional<int> PixelExtent(const char* strValue)
{
    if (strValue == nullptr) {
        return std::nullopt;
    }
    const std::string_view strText = Trim(strValue);
    if (strText.empty() || strText.front() < '0' || strText.front() > '9') {
        return std::nullopt;
    }
    int intValue = 0;
    const char* pEnd = strText.data() + strText.size();
    const auto [pStop, error] = std::from_chars(strText.data(), pEnd, intValue);
    if (error != std::errc() || pStop != pEnd) {
        return std::nullopt;
    }
    return intValue;
}

std::vector<std::pair<std::wstring, std::wstring>> ParamsOf(const GumboNode* pObject)
{
    std::vector<std::pair<std::wstring, std::wstring>> params;
    ParsedHtml::WalkDescendants(pObject, [&params](const GumboNode* pNode) {
        if (ParsedHtml::IsHtmlElement(pNode, GUMBO_TAG_OBJECT)) {
            return false;  // a nested object's params are its own
        }
        if (ParsedHtml::IsHtmlElement(pNode, GUMBO_TAG_PARAM)) {
            const char* strName = ParsedHtml::AttributeValue(pNode, "name");
            if (strName != nullptr && *strName != '\0') {
                const char* strValue = ParsedHtml::AttributeValue(pNode, "value");
                params.emplace_back(core::FromUtf8(strName),
                                    core::FromUtf8(strValue != nullptr ? strValue : ""));
            }
        }
        return true;
    });
    return params;
}

bool NestsTooDeeply(std::string_view strHtmlUtf8)
{
    return NestingScan::Depth(strHtmlUtf8, HostPage::kMaxNestingDepth) > HostPage::kMaxNestingDepth;
}

// The code page that the page's first meta element with a known charset names.
std::optional<unsigned> MetaCodePage(std::string_view strHtmlUtf8)
{
    if (NestsTooDeeply(strHtmlUtf8)) {
        return std::nullopt;
    }
    const ParsedHtml parsed(strHtmlUtf8);
    std::optional<unsigned> codePage;
    ParsedHtml::WalkDescendants(parsed.Document(), [&codePage](const GumboNode* pNode) {
        if (codePage) {
            return false;
        }
        if (!ParsedHtml::IsHtmlElement(pNode, GUMBO_TAG_META)) {
            return true;
        }
        if (const char* strCharset = ParsedHtml::AttributeValue(pNode, "charset")) {
            codePage = CodePageOfCharset(strCharset);
        } else if (const char* strEquiv = ParsedHtml::AttributeValue(pNode, "http-equiv");
                   strEquiv != nullptr &&
                   core::EqualsIgnoreAsciiCase(Trim(strEquiv), "content-type")) {
            if (const char* strContent = ParsedHtml::AttributeValue(pNode, "content")) {
                if (const auto charset = CharsetOfContentType(strContent)) {
                    codePage = CodePageOfCharset(*charset);
                }
            }
        }
        return true;
    });
    return codePage;
}

std::string Decode(std::string_view bytes, unsigned uintCodePage)
{
    return core::ToUtf8(net::GetDecodedString(bytes, uintCodePage));
}

// Locale-free: the process locale may group digits.
std::string DecimalText(long long intValue)
{
    char buffer[24];
    const auto converted = std::to_chars(buffer, buffer + sizeof buffer, intValue);
    return std::string(buffer, converted.ptr);
}

bool IsWebUrl(std::string_view strPage)
{
    return StartsWithIgnoreCase(strPage, "http://") || StartsWithIgnoreCase(strPage, "https://");
}

// The text of an element's text children with runs of white space made one
// space and the ends trimmed.
std::string CollapsedText(const GumboNode* pElement)
{
    std::string strText;
    const GumboVector& children = pElement->v.element.children;
    for (unsigned int i = 0; i < children.length; ++i) {
        const auto* pChild = static_cast<const GumboNode*>(children.data[i]);
        if (pChild->type == GUMBO_NODE_TEXT || pChild->type == GUMBO_NODE_WHITESPACE) {
            strText += pChild->v.text.text;
        }
    }
    std::string strCollapsed;
    bool bSpace = false;
    for (const char ch : strText) {
        if (IsHtmlSpace(ch)) {
            bSpace = !strCollapsed.empty();
            continue;
        }
        if (bSpace) {
            strCollapsed += ' ';
            bSpace = false;
        }
        strCollapsed += ch;
    }
    return strCollapsed;
}

}  // namespace

HostPage::PageObject HostPage::FindControl(std::string_view strHtmlUtf8)
{
    const ParsedHtml parsed(strHtmlUtf8);
    const GumboNode* pFound = nullptr;
    const GumboNode* pTitle = nullptr;
    ParsedHtml::WalkDescendants(parsed.Document(), [&pFound, &pTitle](const GumboNode* pNode) {
        if (pTitle == nullptr && ParsedHtml::IsHtmlElement(pNode, GUMBO_TAG_TITLE)) {
            pTitle = pNode;
            return false;
        }
        if (pFound == nullptr && ParsedHtml::IsHtmlElement(pNode, GUMBO_TAG_OBJECT) &&
            NamesControl(pNode)) {
            pFound = pNode;
            return false;
        }
        return pFound == nullptr || pTitle == nullptr;
    });
    PageObject object;
    if (pTitle != nullptr) {
        object.strTitle = core::FromUtf8(CollapsedText(pTitle));
    }
    if (pFound == nullptr) {
        return object;
    }
    object.bFound = true;
    object.params = ParamsOf(pFound);
    object.width = PixelExtent(ParsedHtml::AttributeValue(pFound, "width"));
    object.height = PixelExtent(ParsedHtml::AttributeValue(pFound, "height"));
    return object;
}

std::string HostPage::DecodeToUtf8(std::string_view bytes, std::string_view strContentType)
{
    // A byte-order mark outranks every declaration.
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        return Decode(bytes.substr(3), net::kCodePageUtf8);
    }
    if (bytes.substr(0, 2) == "\xFF\xFE") {
        return Decode(bytes.substr(2), kCodePageUtf16Le);
    }
    if (bytes.substr(0, 2) == "\xFE\xFF") {
        return Decode(bytes.substr(2), kCodePageUtf16Be);
    }
    if (const auto charset = CharsetOfContentType(strContentType)) {
        if (const auto codePage = CodePageOfCharset(*charset)) {
            return Decode(bytes, *codePage);
        }
    }
    // The meta element is ASCII, so the page read as UTF-8 is good enough to find it.
    std::string strUtf8 = Decode(bytes, net::kCodePageUtf8);
    if (const auto codePage = MetaCodePage(strUtf8); codePage && *codePage != net::kCodePageUtf8) {
        strUtf8 = Decode(bytes, *codePage);
    }
    return strUtf8;
}

std::wstring HostPage::FileUrl(const std::string& strPath)
{
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(strPath, error);
    if (error) {
        path = strPath;
    }
    const std::string strNormal = path.lexically_normal().native();
    constexpr std::string_view kKept = "-._~/!$&'()*+,;=:@";
    std::wstring strUrl = L"file://";
    for (const char ch : strNormal) {
        const auto uintByte = static_cast<unsigned char>(ch);
        if ((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') ||
            kKept.find(ch) != std::string_view::npos) {
            strUrl.push_back(static_cast<wchar_t>(ch));
        } else {
            strUrl.push_back(L'%');
            core::AppendHex(strUrl, uintByte, 2, core::HexCase::Upper);
        }
    }
    return strUrl;
}

HostPage::LoadResult HostPage::Load(const std::string& strPage, const std::wstring& strCookie)
{
    LoadResult result;
    std::string strUtf8;
    if (IsWebUrl(strPage)) {
        const PageBytes page = PageBytes::Fetch(strPage, strCookie);
        if (!page.Ok()) {
            result.strError = page.strError;
            result.intExitCode = kExitNetworkError;
            return result;
        }
        result.strPageAddress = core::FromUtf8(strPage);
        strUtf8 = DecodeToUtf8(page.bytes, page.strContentType);
    } else {
        const PageBytes page = PageBytes::ReadFile(strPage);
        if (!page.Ok()) {
            result.strError = page.strError;
            result.intExitCode = kExitPageError;
            return result;
        }
        result.strPageAddress = FileUrl(strPage);
        strUtf8 = DecodeToUtf8(page.bytes, std::string_view());
    }
    if (NestsTooDeeply(strUtf8)) {
        result.strError = "the page nests elements deeper than " +
                          DecimalText(static_cast<long long>(kMaxNestingDepth)) + " levels";
        result.intExitCode = kExitPageError;
        return result;
    }
    result.object = FindControl(strUtf8);
    if (!result.object.bFound) {
        result.strError = "the page has no object element of " + core::ToUtf8(api::kProgId);
        result.intExitCode = kExitPageError;
    }
    return result;
}

}  // namespace pullbay::host
