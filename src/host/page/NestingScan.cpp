#include "host/page/NestingScan.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

namespace pullbay::host {

namespace {

// html and body: the parser always has them, and the scan never counts them.
constexpr std::size_t kAlwaysOpen = 2;
// At most this many identical formatting elements wait to be re-opened.
constexpr int kMaxSameFormatting = 3;

constexpr std::string_view kVoid[] = {
    "area", "base",  "basefont", "bgsound", "br",   "col",  "embed", "frame",  "hr",    "image",
    "img",  "input", "isindex",  "keygen",  "link", "meta", "param", "source", "track", "wbr"};
constexpr std::string_view kClosesP[] = {
    "address", "article", "aside",    "blockquote", "center", "details", "dialog",  "dir",
    "div",     "dl",      "fieldset", "figcaption", "figure", "footer",  "header",  "hgroup",
    "main",    "menu",    "nav",      "ol",         "p",      "section", "summary", "ul",
    "h1",      "h2",      "h3",       "h4",         "h5",     "h6",      "pre",     "listing",
    "form",    "hr",      "xmp",      "plaintext"};
constexpr std::string_view kHeadings[] = {"h1", "h2", "h3", "h4", "h5", "h6"};
constexpr std::string_view kFormatting[] = {"a",    "b", "big",   "code",   "em",     "font", "i",
                                            "nobr", "s", "small", "strike", "strong", "tt",   "u"};
// Their content is text up to their own end tag (in the HTML namespace).
constexpr std::string_view kRawText[] = {"style",    "xmp",   "iframe",  "noembed",
                                         "noframes", "title", "textarea"};
// Closing one of these drops the formatting elements opened inside it.
constexpr std::string_view kMarkers[] = {"td",     "th",      "caption", "object",
                                         "applet", "marquee", "template"};
// Elements that end implicitly, skipped when their container's end tag comes
// (the last six also by the end tag of an element that is not special).
constexpr std::string_view kImpliedEnd[] = {"p",        "li", "dd", "dt", "option",
                                            "optgroup", "rb", "rp", "rt", "rtc"};
constexpr std::string_view kImpliedEndNotSpecial[] = {"option", "optgroup", "rb",
                                                      "rp",     "rt",       "rtc"};
// End tags that close whatever lies above their element within its scope.
constexpr std::string_view kBlockEnds[] = {"li",      "dd",     "dt",     "applet",
                                           "marquee", "object", "button", "template"};
constexpr std::string_view kTableParts[] = {"caption", "colgroup", "tbody", "thead",
                                            "tfoot",   "tr",       "td",    "th"};
constexpr std::string_view kTableSections[] = {"tbody", "thead", "tfoot"};
constexpr std::string_view kCells[] = {"td", "th"};
// A start tag of these inside SVG or MathML leaves foreign content (font
// only with a color, face or size attribute).
constexpr std::string_view kBreakout[] = {
    "b",      "big",  "blockquote", "body",  "br",   "center", "code",    "dd",   "div",
    "dl",     "dt",   "em",         "embed", "h1",   "h2",     "h3",      "h4",   "h5",
    "h6",     "head", "hr",         "i",     "img",  "li",     "listing", "menu", "meta",
    "nobr",   "ol",   "p",          "pre",   "ruby", "s",      "small",   "span", "strong",
    "strike", "sub",  "sup",        "table", "tt",   "u",      "ul",      "var"};
// Foreign elements whose children are HTML.
constexpr std::string_view kIntegrationPoints[] = {
    "foreignobject", "desc", "title", "mi", "mo", "mn", "ms", "mtext"};

template <std::size_t N>
bool IsOneOf(std::string_view strName, const std::string_view (&names)[N])
{
    for (const std::string_view name : names) {
        if (name == strName) {
            return true;
        }
    }
    return false;
}

bool IsSpace(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\f' || ch == '\r';
}

bool IsLetter(char ch)
{
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
}

char Lower(char ch)
{
    return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
}

// One scan. The stack holds the elements the parser may have open, with
// every one it has open among them in the same order. Entries at or above
// m_uintTrusted that are anchors are certainly open in the parser: only
// they may end a run of implied closings, since closing them pops what lies
// above them in the parser too. When the parser might have closed something
// the scan keeps, everything on the stack stops being trusted.
class Scanner {
public:
    Scanner(std::string_view strHtml, std::size_t uintLimit)
        : m_strHtml(strHtml), m_uintLimit(uintLimit)
    {
    }

    std::size_t Run()
    {
        while (m_uintPos < m_strHtml.size() && Deepest() <= m_uintLimit) {
            const std::size_t uintLess = m_strHtml.find('<', m_uintPos);
            if (uintLess == std::string_view::npos) {
                break;
            }
            m_uintPos = uintLess;
            const char chNext = At(m_uintPos + 1);
            if (chNext == '!') {
                SkipMarkupDeclaration();
            } else if (chNext == '?') {
                SkipPast(">", m_uintPos + 2);
            } else if (chNext == '/') {
                if (IsLetter(At(m_uintPos + 2))) {
                    Tag tag;
                    if (!ReadTag(m_uintPos + 2, tag)) {
                        break;  // a tag cut off by the end of the page is dropped
                    }
                    EndTag(tag.strName);
                } else {
                    SkipPast(">", m_uintPos + 2);
                }
            } else if (IsLetter(chNext)) {
                Tag tag;
                if (!ReadTag(m_uintPos + 1, tag)) {
                    break;
                }
                tag.strKey.assign(m_strHtml.substr(uintLess, m_uintPos - uintLess));
                StartTag(tag);
            } else {
                ++m_uintPos;
            }
        }
        return Deepest();
    }

private:
    struct Entry {
        std::string strName;
        bool bForeign = false;
        // False for an element the parser may have ignored (a cell outside
        // a table, anything inside a select but its options).
        bool bAnchor = true;
        std::size_t uintResidualMark = 0;  // the residual list's size when opened
    };

    struct Tag {
        std::string strName;  // lower case
        std::string strKey;   // the tag as written: identical ones are one
        bool bSelfClosing = false;
        bool bFontAttribute = false;  // color, face or size
    };

    std::size_t Depth() const
    {
        return m_stack.size() + m_residual.size() + kAlwaysOpen + m_uintPessimistic;
    }

    std::size_t Deepest() const { return std::max(m_uintDeepest, Depth()); }

    char At(std::size_t uintPos) const
    {
        return uintPos < m_strHtml.size() ? m_strHtml[uintPos] : '\0';
    }

    void SkipPast(std::string_view strEnd, std::size_t uintFrom)
    {
        const std::size_t uintEnd = m_strHtml.find(strEnd, uintFrom);
        m_uintPos = uintEnd == std::string_view::npos ? m_strHtml.size() : uintEnd + strEnd.size();
    }

    void SkipMarkupDeclaration()
    {
        const std::string_view rest = m_strHtml.substr(m_uintPos);
        if (rest.substr(0, 4) == "<!--") {
            // "<!-->" and "<!--->" are whole comments; "--!>" also ends one.
            if (At(m_uintPos + 4) == '>') {
                m_uintPos += 5;
                return;
            }
            if (At(m_uintPos + 4) == '-' && At(m_uintPos + 5) == '>') {
                m_uintPos += 6;
                return;
            }
            const std::size_t uintDashes = m_strHtml.find("-->", m_uintPos + 4);
            const std::size_t uintBang = m_strHtml.find("--!>", m_uintPos + 4);
            if (uintBang < uintDashes) {
                m_uintPos = uintBang + 4;
            } else {
                m_uintPos =
                    uintDashes == std::string_view::npos ? m_strHtml.size() : uintDashes + 3;
            }
            return;
        }
        if (rest.substr(0, 9) == "<![CDATA[") {
            if (InForeignContent()) {
                SkipPast("]]>", m_uintPos + 9);
                return;
            }
            if (ForeignUncertain()) {
                CountRestPessimistically();
                return;
            }
        }
        SkipPast(">", m_uintPos + 2);  // a doctype or a bogus comment
    }

    // Reads a tag's name and attributes from uintName to past its ">";
    // false when the page ends first. Quoted values may hold "<" and ">".
    bool ReadTag(std::size_t uintName, Tag& tag)
    {
        std::size_t uintPos = uintName;
        const std::size_t uintSize = m_strHtml.size();
        while (uintPos < uintSize && !IsSpace(m_strHtml[uintPos]) && m_strHtml[uintPos] != '/' &&
               m_strHtml[uintPos] != '>') {
            tag.strName += Lower(m_strHtml[uintPos++]);
        }
        for (;;) {
            while (uintPos < uintSize && IsSpace(m_strHtml[uintPos])) {
                ++uintPos;
            }
            if (uintPos >= uintSize) {
                return false;
            }
            if (m_strHtml[uintPos] == '>') {
                m_uintPos = uintPos + 1;
                return true;
            }
            if (m_strHtml[uintPos] == '/') {
                if (At(uintPos + 1) == '>') {
                    tag.bSelfClosing = true;
                    m_uintPos = uintPos + 2;
                    return true;
                }
                ++uintPos;
                continue;
            }
            // An attribute's name (its first character may be "=").
            const std::size_t uintNameStart = uintPos++;
            while (uintPos < uintSize && !IsSpace(m_strHtml[uintPos]) &&
                   m_strHtml[uintPos] != '/' && m_strHtml[uintPos] != '>' &&
                   m_strHtml[uintPos] != '=') {
                ++uintPos;
            }
            std::string strAttribute;
            for (std::size_t i = uintNameStart; i < uintPos; ++i) {
                strAttribute += Lower(m_strHtml[i]);
            }
            if (strAttribute == "color" || strAttribute == "face" || strAttribute == "size") {
                tag.bFontAttribute = true;
            }
            while (uintPos < uintSize && IsSpace(m_strHtml[uintPos])) {
                ++uintPos;
            }
            if (uintPos >= uintSize || m_strHtml[uintPos] != '=') {
                continue;
            }
            ++uintPos;
            while (uintPos < uintSize && IsSpace(m_strHtml[uintPos])) {
                ++uintPos;
            }
            if (uintPos >= uintSize) {
                return false;
            }
            const char chQuote = m_strHtml[uintPos];
            if (chQuote == '"' || chQuote == '\'') {
                const std::size_t uintClose = m_strHtml.find(chQuote, uintPos + 1);
                if (uintClose == std::string_view::npos) {
                    return false;
                }
                uintPos = uintClose + 1;
            } else {
                while (uintPos < uintSize && !IsSpace(m_strHtml[uintPos]) &&
                       m_strHtml[uintPos] != '>') {
                    ++uintPos;
                }
            }
        }
    }

    // Whether "</name" at uintPos ends raw text: the name (any case) followed
    // by white space, "/" or ">".
    bool IsEndTagOf(std::size_t uintPos, std::string_view strName) const
    {
        if (At(uintPos) != '<' || At(uintPos + 1) != '/') {
            return false;
        }
        for (std::size_t i = 0; i < strName.size(); ++i) {
            if (Lower(At(uintPos + 2 + i)) != strName[i]) {
                return false;
            }
        }
        const char chAfter = At(uintPos + 2 + strName.size());
        return IsSpace(chAfter) || chAfter == '/' || chAfter == '>';
    }

    // Moves to the "</name" that ends the raw text, or to the end of the page.
    void SkipRawText(std::string_view strName)
    {
        while ((m_uintPos = m_strHtml.find("</", m_uintPos)) != std::string_view::npos) {
            if (IsEndTagOf(m_uintPos, strName)) {
                return;
            }
            m_uintPos += 2;
        }
        m_uintPos = m_strHtml.size();
    }

    // A script's text, with its "<!--" escapes: inside one, "<script"
    // starts a stretch where "</script" does not end the script.
    void SkipScript()
    {
        enum class State { Data, Escaped, DoubleEscaped } state = State::Data;
        const std::size_t uintSize = m_strHtml.size();
        while (m_uintPos < uintSize) {
            const std::size_t uintNext = m_strHtml.find_first_of("<-", m_uintPos);
            if (uintNext == std::string_view::npos) {
                break;
            }
            m_uintPos = uintNext;
            if (state != State::DoubleEscaped && IsEndTagOf(m_uintPos, "script")) {
                return;
            }
            if (state == State::DoubleEscaped && IsEndTagOf(m_uintPos, "script")) {
                state = State::Escaped;
                m_uintPos += 8;
            } else if (state == State::Data && m_strHtml.substr(m_uintPos, 4) == "<!--") {
                state = State::Escaped;
                m_uintPos += 2;  // the dashes may also close it: "<!-->"
            } else if (state != State::Data && m_strHtml.substr(m_uintPos, 3) == "-->") {
                state = State::Data;
                m_uintPos += 3;
            } else if (state == State::Escaped && m_strHtml[m_uintPos] == '<' &&
                       m_uintPos + 7 < uintSize && IsStartOfScript(m_uintPos)) {
                state = State::DoubleEscaped;
                m_uintPos += 7;
            } else {
                ++m_uintPos;
            }
        }
        m_uintPos = uintSize;
    }

    bool IsStartOfScript(std::size_t uintPos) const
    {
        constexpr std::string_view kScript = "script";
        for (std::size_t i = 0; i < kScript.size(); ++i) {
            if (Lower(At(uintPos + 1 + i)) != kScript[i]) {
                return false;
            }
        }
        const char chAfter = At(uintPos + 1 + kScript.size());
        return IsSpace(chAfter) || chAfter == '/' || chAfter == '>';
    }

    // Every tag from here on counts as opened and never closed: for markup
    // the scan cannot read the way the parser will.
    void CountRestPessimistically()
    {
        for (std::size_t i = m_uintPos; i + 1 < m_strHtml.size(); ++i) {
            if (m_strHtml[i] == '<' && IsLetter(m_strHtml[i + 1])) {
                ++m_uintPessimistic;
            }
        }
        m_uintPos = m_strHtml.size();
    }

    bool Trusted(std::size_t uintIndex) const
    {
        return uintIndex >= m_uintTrusted && m_stack[uintIndex].bAnchor;
    }

    bool TopIs(std::string_view strName) const
    {
        return !m_stack.empty() && !m_stack.back().bForeign && m_stack.back().strName == strName;
    }

    template <std::size_t N>
    bool TopIsOneOf(const std::string_view (&names)[N]) const
    {
        return !m_stack.empty() && !m_stack.back().bForeign &&
               IsOneOf(m_stack.back().strName, names);
    }

    bool IsOpen(const std::string& strName) const
    {
        const auto found = m_openCounts.find(strName);
        return found != m_openCounts.end() && found->second > 0;
    }

    // The parser reads the next tag as SVG or MathML: the current element is
    // foreign, not an integration point, and certainly open.
    bool InForeignContent() const
    {
        return !m_stack.empty() && m_stack.back().bForeign &&
               !IsOneOf(m_stack.back().strName, kIntegrationPoints) && Trusted(m_stack.size() - 1);
    }

    bool ForeignUncertain() const
    {
        return !m_stack.empty() && m_stack.back().bForeign && !InForeignContent() &&
               !IsOneOf(m_stack.back().strName, kIntegrationPoints);
    }

    void Distrust() { m_uintTrusted = m_stack.size(); }

    void Push(const Tag& tag, bool bForeign, bool bAnchor)
    {
        m_stack.push_back(Entry{tag.strName, bForeign, bAnchor, m_residual.size()});
        ++m_openCounts[tag.strName];
        m_uintDeepest = std::max(m_uintDeepest, Depth());
    }

    // Pops the current element; one closed inside a run of implied closings
    // (bToResidual) and formatting stays to be re-opened by the parser.
    void Pop(bool bToResidual)
    {
        Entry entry = std::move(m_stack.back());
        const bool bTrusted = Trusted(m_stack.size() - 1);
        m_stack.pop_back();
        --m_openCounts[entry.strName];
        if (m_uintTrusted > m_stack.size()) {
            m_uintTrusted = m_stack.size();
        }
        if (entry.bForeign) {
            return;
        }
        if (bTrusted && IsOneOf(entry.strName, kMarkers)) {
            while (m_residual.size() > entry.uintResidualMark) {
                --m_residualCounts[m_residual.back()];
                m_residual.pop_back();
            }
        }
        if (bToResidual && IsOneOf(entry.strName, kFormatting)) {
            AddResidual(m_keys[m_stack.size()]);
        }
    }

    void AddResidual(const std::string& strKey)
    {
        int& intCount = m_residualCounts[strKey];
        if (intCount < kMaxSameFormatting) {
            ++intCount;
            m_residual.push_back(strKey);
        }
    }

    // What a run of implied closings may pass: formatting elements always
    // (the parser re-opens them), and the elements whose end the closing
    // implies.
    enum class Passing { Paragraph, NotSpecial, Block, Table };

    static bool Passes(const Entry& entry, Passing passing)
    {
        if (entry.bForeign) {
            return false;
        }
        const std::string& strName = entry.strName;
        if (IsOneOf(strName, kFormatting)) {
            return true;
        }
        switch (passing) {
        case Passing::Paragraph:
            return strName == "p";
        case Passing::NotSpecial:
            return IsOneOf(strName, kImpliedEndNotSpecial);
        case Passing::Block:
            return IsOneOf(strName, kImpliedEnd);
        case Passing::Table:
            return IsOneOf(strName, kImpliedEnd) || IsOneOf(strName, kTableParts);
        }
        return false;
    }

    // Pops down to and including the topmost element for which isTarget
    // holds, passing only what passing allows; the target must be trusted.
    // Returns whether it popped.
    template <typename IsTarget>
    bool CloseThrough(Passing passing, IsTarget isTarget)
    {
        std::size_t i = m_stack.size();
        while (i > 0) {
            const Entry& entry = m_stack[i - 1];
            if (!entry.bForeign && isTarget(entry.strName)) {
                break;
            }
            if (!Passes(entry, passing)) {
                return false;
            }
            --i;
        }
        if (i == 0 || !Trusted(i - 1)) {
            return false;
        }
        while (m_stack.size() >= i) {
            Pop(true);
        }
        return true;
    }

    void StartTag(Tag& tag)
    {
        const std::string& strName = tag.strName;
        if (strName == "html" || strName == "body") {
            return;
        }
        if (InForeignContent()) {
            const bool bBreakout =
                IsOneOf(strName, kBreakout) || (strName == "font" && tag.bFontAttribute);
            if (!bBreakout) {
                if (!tag.bSelfClosing) {
                    PushKeyed(tag, true, true);
                }
                return;
            }
            while (!m_stack.empty() && m_stack.back().bForeign &&
                   !IsOneOf(m_stack.back().strName, kIntegrationPoints)) {
                Pop(false);
            }
        }
        if (strName == "frameset" ||
            (ForeignUncertain() && (IsOneOf(strName, kRawText) || strName == "script"))) {
            CountRestPessimistically();
            return;
        }
        const bool bInSelect = IsOpen("select");
        if (bInSelect && strName != "script" && strName != "option" && strName != "optgroup") {
            // The parser ignores most of a select's content but leaves the
            // select on some tags: which text it then reads as raw is not
            // for the scan to tell.
            if (IsOneOf(strName, kRawText)) {
                CountRestPessimistically();
                return;
            }
            if (strName == "select" || strName == "input" || strName == "keygen") {
                Distrust();
            }
        }
        if (strName == "svg" || strName == "math") {
            CloseImplied(tag);
            if (!tag.bSelfClosing) {
                PushKeyed(tag, true, !bInSelect);
            }
            return;
        }
        const bool bForeignUncertain = ForeignUncertain();
        CloseImplied(tag);
        // Void in HTML; SVG or MathML may nest it.
        if (IsOneOf(strName, kVoid) && !bForeignUncertain) {
            return;
        }
        bool bAnchor = !bInSelect || strName == "option" || strName == "optgroup";
        if (IsOneOf(strName, kTableParts) || strName == "col" || strName == "head") {
            bAnchor =
                bAnchor && strName != "head" && !m_stack.empty() && Trusted(m_stack.size() - 1) &&
                (TopIs("table") || TopIsOneOf(kTableSections) || TopIs("tr") || TopIs("colgroup"));
        }
        if (bAnchor) {
            PushImpliedTableParts(strName);
        }
        if ((strName == "form" || strName == "a" || strName == "nobr") && IsOpen(strName)) {
            bAnchor = false;
        }
        PushKeyed(tag, false, bAnchor);
        if (strName == "script") {
            SkipScript();
        } else if (IsOneOf(strName, kRawText)) {
            SkipRawText(strName);
        } else if (strName == "plaintext") {
            m_uintPos = m_strHtml.size();
        }
    }

    // The section, row or column group the parser opens itself for a row,
    // cell or column put straight into a table.
    void PushImpliedTableParts(const std::string& strName)
    {
        Tag implied;
        if (strName == "col" && TopIs("table")) {
            implied.strName = "colgroup";
            PushKeyed(implied, false, true);
            return;
        }
        const bool bCell = IsOneOf(strName, kCells);
        if ((bCell || strName == "tr") && TopIs("table")) {
            implied.strName = "tbody";
            PushKeyed(implied, false, true);
        }
        if (bCell && TopIsOneOf(kTableSections)) {
            implied.strName = "tr";
            PushKeyed(implied, false, true);
        }
    }

    void PushKeyed(const Tag& tag, bool bForeign, bool bAnchor)
    {
        if (m_keys.size() <= m_stack.size()) {
            m_keys.resize(m_stack.size() + 1);
        }
        m_keys[m_stack.size()] = tag.strKey;
        Push(tag, bForeign, bAnchor);
    }

    // The closings the parser makes before opening an element; where it
    // might close more than the scan follows, trust ends.
    void CloseImplied(const Tag& tag)
    {
        const std::string& strName = tag.strName;
        if (TopIs("colgroup") && strName != "col") {
            Pop(false);
        }
        if (IsOneOf(strName, kTableParts) || strName == "col" || strName == "table") {
            if (IsOpen("table")) {
                CloseTablePart(strName);
            }
            if (strName != "table") {
                return;
            }
        }
        if (strName == "li") {
            if (!CloseThrough(Passing::Paragraph,
                              [](std::string_view strOpen) { return strOpen == "li"; }) &&
                IsOpen("li")) {
                Distrust();
            }
        } else if (strName == "dd" || strName == "dt") {
            if (!CloseThrough(
                    Passing::Paragraph,
                    [](std::string_view strOpen) { return strOpen == "dd" || strOpen == "dt"; }) &&
                (IsOpen("dd") || IsOpen("dt"))) {
                Distrust();
            }
        } else if (strName == "option" || strName == "optgroup") {
            if (TopIs("option")) {
                Pop(false);
            }
            if (strName == "optgroup" && TopIs("optgroup")) {
                Pop(false);
            }
        } else if (strName == "rb" || strName == "rp" || strName == "rt" || strName == "rtc") {
            if (IsOpen("ruby")) {
                Distrust();
            }
        } else if (strName == "a" || strName == "nobr" || strName == "button" ||
                   strName == "select") {
            if (IsOpen(strName)) {
                Distrust();
            }
        }
        if (IsOneOf(strName, kClosesP) || strName == "li" || strName == "dd" || strName == "dt") {
            if (TopIs("p")) {
                Pop(false);
            }
            if (IsOpen("p")) {
                Distrust();
            }
        }
        if (IsOneOf(strName, kHeadings)) {
            if (TopIsOneOf(kHeadings)) {
                Pop(false);
            }
        }
    }

    // A table part's start tag (or a table's inside a table) closes the open
    // cell, row or section as the table's insertion modes do.
    void CloseTablePart(const std::string& strName)
    {
        if (strName == "table") {
            // A table directly in a table (not in a cell) closes it.
            if (TopIs("table") && Trusted(m_stack.size() - 1)) {
                Pop(false);
            } else if (!TopIsOneOf(kCells) && !TopIs("caption")) {
                Distrust();
            }
            return;
        }
        const bool bCell = IsOneOf(strName, kCells);
        const bool bRow = strName == "tr";
        const auto isContext = [&](std::string_view strOpen) {
            if (strOpen == "table") {
                return true;
            }
            if (IsOneOf(strOpen, kTableSections)) {
                return bCell || bRow;
            }
            if (strOpen == "tr") {
                return bCell;
            }
            return false;
        };
        // Closes down to the context the new part goes into.
        std::size_t i = m_stack.size();
        while (i > 0 && !(!m_stack[i - 1].bForeign && isContext(m_stack[i - 1].strName))) {
            const Entry& entry = m_stack[i - 1];
            const bool bPassable = !entry.bForeign && (IsOneOf(entry.strName, kImpliedEnd) ||
                                                       IsOneOf(entry.strName, kFormatting) ||
                                                       IsOneOf(entry.strName, kTableParts));
            if (!bPassable) {
                Distrust();
                return;
            }
            --i;
        }
        if (i == 0) {
            Distrust();
            return;
        }
        for (std::size_t j = i; j < m_stack.size(); ++j) {
            if (!Trusted(j)) {
                Distrust();
                return;
            }
        }
        while (m_stack.size() > i) {
            Pop(false);
        }
    }

    void EndTag(const std::string& strName)
    {
        if (strName == "html" || strName == "body" || strName == "br") {
            return;  // never closes an element
        }
        if (m_stack.empty()) {
            if (strName == "p") {
                m_uintDeepest =
                    std::max(m_uintDeepest, Depth() + 1);  // an empty one, opened and closed
            }
            return;
        }
        const Entry& top = m_stack.back();
        if (top.strName == strName) {
            Pop(false);
            return;
        }
        if (top.bForeign) {
            // Closes the nearest foreign element of the name, if only
            // foreign elements lie above it.
            std::size_t i = m_stack.size();
            while (i > 0 && m_stack[i - 1].bForeign && m_stack[i - 1].strName != strName) {
                --i;
            }
            if (i > 0 && m_stack[i - 1].bForeign) {
                if (Trusted(i - 1)) {
                    while (m_stack.size() >= i) {
                        Pop(false);
                    }
                } else {
                    Distrust();
                }
                return;
            }
        }
        bool bClosed = false;
        if (strName == "form") {
            bClosed = false;  // removes the form alone: what lay above it stays
        } else if (IsOneOf(strName, kHeadings)) {
            bClosed = CloseThrough(Passing::Block, [](std::string_view strOpen) {
                return IsOneOf(strOpen, kHeadings);
            });
        } else if (!IsOneOf(strName, kFormatting)) {
            Passing passing = Passing::NotSpecial;
            if (IsOneOf(strName, kTableParts) || strName == "table") {
                passing = Passing::Table;
            } else if (IsOneOf(strName, kClosesP) || IsOneOf(strName, kBlockEnds)) {
                passing = Passing::Block;
            }
            bClosed = CloseThrough(
                passing, [&strName](std::string_view strOpen) { return strOpen == strName; });
        }
        if (bClosed) {
            return;
        }
        if (strName == "p") {
            m_uintDeepest =
                std::max(m_uintDeepest, Depth() + 1);  // an empty one, opened and closed
        }
        // The parser may close something here that the scan keeps; an end
        // tag that names nothing open closes nothing (bar the parser's own
        // table sections and the formatting elements it re-opens).
        if (IsOpen(strName) || strName == "form" || IsOneOf(strName, kTableSections) ||
            strName == "tr" || IsOneOf(strName, kFormatting)) {
            Distrust();
        }
    }

    std::string_view m_strHtml;
    std::size_t m_uintLimit;
    std::size_t m_uintPos = 0;
    std::vector<Entry> m_stack;
    // The start tag as written of each stack position, for formatting.
    std::vector<std::string> m_keys;
    std::unordered_map<std::string, int> m_openCounts;
    std::size_t m_uintTrusted = 0;
    // Formatting elements closed implicitly, which the parser re-opens.
    std::vector<std::string> m_residual;
    std::unordered_map<std::string, int> m_residualCounts;
    std::size_t m_uintPessimistic = 0;
    std::size_t m_uintDeepest = 0;
};

}  // namespace

std::size_t NestingScan::Depth(std::string_view strHtml, std::size_t uintLimit)
{
    return Scanner(strHtml, uintLimit).Run();
}

}  // namespace pullbay::host
