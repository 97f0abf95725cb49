#include "host/page/HostPage.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <filesystem>
#include <memory>
#include <system_error>

#include <gumbo.h>

#include "core/Exceptions.h"
#include "core/HexDigits.h"
#include "core/IStream.h"
#include "core/TextUnits.h"
#include "core/ThrowSite.h"
#include "host/page/NestingScan.h"
#include "net/CodePageDecoder.h"
#include "net/IDownloadEvents.h"
#include "net/InternetErrors.h"
#include "net/WInetDownloader.h"
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

// One parse of a page; the tree lives as long as this object.
class ParsedHtml {
public:
    explicit ParsedHtml(std::string_view strHtmlUtf8)
    {
        m_options = kGumboDefaultOptions;
        // Every recorded parse error keeps a copy of the open-element stack:
        // a page of a few thousand unclosed tags would take gigabytes.
        m_options.max_errors = 0;
        m_pOutput = gumbo_parse_with_options(&m_options, strHtmlUtf8.data(), strHtmlUtf8.size());
        if (m_pOutput == nullptr) {
            PB_THROW(core::MemoryException);
        }
    }
    ~ParsedHtml() { gumbo_destroy_output(&m_options, m_pOutput); }
    ParsedHtml(const ParsedHtml&) = delete;
    ParsedHtml& operator=(const ParsedHtml&) = delete;

    const GumboNode* Document() const { return m_pOutput->document; }

private:
    GumboOptions m_options;
    GumboOutput* m_pOutput = nullptr;
};

bool IsHtmlElement(const GumboNode* pNode, GumboTag tag)
{
    return pNode->type == GUMBO_NODE_ELEMENT && pNode->v.element.tag == tag &&
           pNode->v.element.tag_namespace == GUMBO_NAMESPACE_HTML;
}

const char* AttributeValue(const GumboNode* pElement, const char* strName)
{
    const GumboAttribute* pAttribute =
        gumbo_get_attribute(&pElement->v.element.attributes, strName);
    return pAttribute != nullptr ? pAttribute->value : nullptr;
}

// Visits the tree below pRoot in document order; visit returns whether to
// go into the node's children. Template contents are inert in a browser and
// are skipped. Iterative: a page may nest elements very deeply.
template <typename Visit>
void WalkDescendants(const GumboNode* pRoot, Visit visit)
{
    std::vector<const GumboNode*> pending;
    const auto pushChildren = [&pending](const GumboNode* pNode) {
        const GumboVector* pChildren = nullptr;
        if (pNode->type == GUMBO_NODE_DOCUMENT) {
            pChildren = &pNode->v.document.children;
        } else if (pNode->type == GUMBO_NODE_ELEMENT) {
            pChildren = &pNode->v.element.children;
        }
        if (pChildren == nullptr) {
            return;
        }
        for (unsigned int i = pChildren->length; i > 0; --i) {
            pending.push_back(static_cast<const GumboNode*>(pChildren->data[i - 1]));
        }
    };
    pushChildren(pRoot);
    while (!pending.empty()) {
        const GumboNode* pNode = pending.back();
        pending.pop_back();
        if (visit(pNode)) {
            pushChildren(pNode);
        }
    }
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
    WalkDescendants(pObject, [&params](const GumboNode* pNode) {
        if (IsHtmlElement(pNode, GUMBO_TAG_OBJECT)) {
            return false;  // a nested object's params are its own
        }
        if (IsHtmlElement(pNode, GUMBO_TAG_PARAM)) {
            const char* strName = AttributeValue(pNode, "name");
            if (strName != nullptr && *strName != '\0') {
                const char* strValue = AttributeValue(pNode, "value");
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
    WalkDescendants(parsed.Document(), [&codePage](const GumboNode* pNode) {
        if (codePage) {
            return false;
        }
        if (!IsHtmlElement(pNode, GUMBO_TAG_META)) {
            return true;
        }
        if (const char* strCharset = AttributeValue(pNode, "charset")) {
            codePage = CodePageOfCharset(strCharset);
        } else if (const char* strEquiv = AttributeValue(pNode, "http-equiv");
                   strEquiv != nullptr &&
                   core::EqualsIgnoreAsciiCase(Trim(strEquiv), "content-type")) {
            if (const char* strContent = AttributeValue(pNode, "content")) {
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

std::string ErrnoText(int intError)
{
    return std::system_category().message(intError);
}

// Locale-free: the process locale may group digits.
std::string DecimalText(long long intValue)
{
    char buffer[24];
    const auto converted = std::to_chars(buffer, buffer + sizeof buffer, intValue);
    return std::string(buffer, converted.ptr);
}

std::string SizeLimitText()
{
    return DecimalText(static_cast<long long>(HostPage::kMaxPageBytes / (1024 * 1024))) + " MiB";
}

// The fetched body in memory, refusing to grow past the page limit.
class PageBuffer final : public core::IStream {
public:
    HRESULT Read(void* /*pData*/, std::uint32_t /*uintSize*/, std::uint32_t* pRead) override
    {
        if (pRead != nullptr) {
            *pRead = 0;
        }
        return E_NOTIMPL;
    }

    HRESULT Write(const void* pData, std::uint32_t uintSize, std::uint32_t* pWritten) override
    {
        if (pWritten != nullptr) {
            *pWritten = 0;
        }
        if (m_uintPosition + uintSize > HostPage::kMaxPageBytes) {
            m_bTooLarge = true;
            return E_FAIL;
        }
        if (m_bytes.size() < m_uintPosition + uintSize) {
            m_bytes.resize(m_uintPosition + uintSize);
        }
        m_bytes.replace(m_uintPosition, uintSize, static_cast<const char*>(pData), uintSize);
        m_uintPosition += uintSize;
        if (pWritten != nullptr) {
            *pWritten = uintSize;
        }
        return S_OK;
    }

    HRESULT Seek(std::int64_t intOffset, core::StreamSeekOrigin origin,
                 std::uint64_t* pNewPosition) override
    {
        std::int64_t intBase = 0;
        if (origin == core::StreamSeekOrigin::Current) {
            intBase = static_cast<std::int64_t>(m_uintPosition);
        } else if (origin == core::StreamSeekOrigin::End) {
            intBase = static_cast<std::int64_t>(m_bytes.size());
        }
        const std::int64_t intTarget = intBase + intOffset;
        if (intTarget < 0 || static_cast<std::uint64_t>(intTarget) > HostPage::kMaxPageBytes) {
            return E_INVALIDARG;
        }
        m_uintPosition = static_cast<std::size_t>(intTarget);
        if (pNewPosition != nullptr) {
            *pNewPosition = m_uintPosition;
        }
        return S_OK;
    }

    HRESULT SetSize(std::uint64_t uintSize) override
    {
        if (uintSize > HostPage::kMaxPageBytes) {
            m_bTooLarge = true;
            return E_FAIL;
        }
        m_bytes.resize(static_cast<std::size_t>(uintSize));
        return S_OK;
    }

    const std::string& Bytes() const { return m_bytes; }
    bool TooLarge() const { return m_bTooLarge; }

private:
    std::string m_bytes;
    std::size_t m_uintPosition = 0;
    bool m_bTooLarge = false;
};

// One GET of the page with the project's transfer; the outcome is kept for
// the caller to word.
class PageFetch final : public net::IDownloadEvents {
public:
    // Empty on success, else the message.
    std::string Run(const std::string& strUrl, const std::wstring& strCookie)
    {
        net::WInetDownloader transfer;
        transfer.SetTimeOut(HostPage::kFetchTimeOutMs);
        transfer.SetReconnectAttemptsCount(0);
        transfer.SetCookieText(strCookie);
        transfer.SetDownloadEvents(this);
        transfer.SetOutputStream(&m_buffer);
        const std::wstring strWideUrl = core::FromUtf8(strUrl);
        try {
            transfer.Download(strWideUrl.c_str());
        } catch (const core::Exception& failure) {
            core::ClearRecordedFailure();
            return "cannot fetch the page: " + core::ToUtf8(failure.GetMessage());
        }
        if (m_bComplete) {
            return std::string();
        }
        if (m_buffer.TooLarge()) {
            return "the page is larger than " + SizeLimitText();
        }
        if (m_intStatus != 0 && m_intStatus != 200) {
            return "HTTP status " + DecimalText(m_intStatus);
        }
        return "cannot fetch the page: " + core::ToUtf8(net::InternetErrorText(m_intErrorCode)) +
               " (error " + DecimalText(m_intErrorCode) + ")";
    }

    const std::string& Bytes() const { return m_buffer.Bytes(); }
    const std::string& ContentType() const { return m_strContentType; }

    HRESULT DownloadProgress(std::int64_t /*intPosition*/,
                             std::int64_t /*intDeclaredLength*/) override
    {
        return S_OK;
    }

    HRESULT DownloadComplete(int /*intStatus*/, const wchar_t* /*strText*/) override
    {
        m_bComplete = true;
        return S_OK;
    }

    HRESULT ErrorOccured(int intStatus, const wchar_t* /*strText*/,
                         const wchar_t* /*strResponseText*/, int intErrorCode) override
    {
        m_intStatus = intStatus;
        m_intErrorCode = intErrorCode;
        return S_OK;
    }

    HRESULT MimeTypeAvailable(std::wstring strMimeType) override
    {
        m_strContentType = core::ToUtf8(strMimeType);
        return S_OK;
    }

    HRESULT WaitingForReconnect() override { return S_OK; }

private:
    PageBuffer m_buffer;
    std::string m_strContentType;
    bool m_bComplete = false;
    int m_intStatus = 0;
    int m_intErrorCode = 0;
};

// Empty on success, else the message.
std::string ReadLocalFile(const std::string& strPath, std::string& bytes)
{
    const int intFile = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (intFile < 0) {
        return "cannot read the page: " + ErrnoText(errno);
    }
    std::string strError;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t intRead = ::read(intFile, buffer, sizeof buffer);
        if (intRead < 0) {
            if (errno == EINTR) {
                continue;
            }
            strError = "cannot read the page: " + ErrnoText(errno);
            break;
        }
        if (intRead == 0) {
            break;
        }
        // Bounded also for a device or a pipe that never ends.
        if (bytes.size() + static_cast<std::size_t>(intRead) > HostPage::kMaxPageBytes) {
            strError = "the page is larger than " + SizeLimitText();
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(intRead));
    }
    ::close(intFile);
    return strError;
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
    WalkDescendants(parsed.Document(), [&pFound, &pTitle](const GumboNode* pNode) {
        if (pTitle == nullptr && IsHtmlElement(pNode, GUMBO_TAG_TITLE)) {
            pTitle = pNode;
            return false;
        }
        if (pFound == nullptr && IsHtmlElement(pNode, GUMBO_TAG_OBJECT) && NamesControl(pNode)) {
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
    object.width = PixelExtent(AttributeValue(pFound, "width"));
    object.height = PixelExtent(AttributeValue(pFound, "height"));
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
        PageFetch fetch;
        result.strError = fetch.Run(strPage, strCookie);
        if (!result.Ok()) {
            result.intExitCode = kExitNetworkError;
            return result;
        }
        result.strPageAddress = core::FromUtf8(strPage);
        strUtf8 = DecodeToUtf8(fetch.Bytes(), fetch.ContentType());
    } else {
        std::string bytes;
        result.strError = ReadLocalFile(strPage, bytes);
        if (!result.Ok()) {
            result.intExitCode = kExitPageError;
            return result;
        }
        result.strPageAddress = FileUrl(strPage);
        strUtf8 = DecodeToUtf8(bytes, std::string_view());
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
