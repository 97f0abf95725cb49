#include "host/page/OpenElements.h"

#include <algorithm>

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

}  // namespace

std::size_t OpenElements::Depth() const
{
    return m_stack.size() + m_residual.size() + kAlwaysOpen + m_uintPessimistic;
}

std::size_t OpenElements::Deepest() const
{
    return std::max(m_uintDeepest, Depth());
}

bool OpenElements::Trusted(std::size_t uintIndex) const
{
    return uintIndex >= m_uintTrusted && m_stack[uintIndex].bAnchor;
}

bool OpenElements::TopIs(std::string_view strName) const
{
    return !m_stack.empty() && !m_stack.back().bForeign && m_stack.back().strName == strName;
}

template <std::size_t N>
bool OpenElements::TopIsOneOf(const std::string_view (&names)[N]) const
{
    return !m_stack.empty() && !m_stack.back().bForeign && IsOneOf(m_stack.back().strName, names);
}

bool OpenElements::IsOpen(const std::string& strName) const
{
    const auto found = m_openCounts.find(strName);
    return found != m_openCounts.end() && found->second > 0;
}

bool OpenElements::InForeignContent() const
{
    return !m_stack.empty() && m_stack.back().bForeign &&
           !IsOneOf(m_stack.back().strName, kIntegrationPoints) && Trusted(m_stack.size() - 1);
}

bool OpenElements::ForeignUncertain() const
{
    return !m_stack.empty() && m_stack.back().bForeign && !InForeignContent() &&
           !IsOneOf(m_stack.back().strName, kIntegrationPoints);
}

void OpenElements::Push(const MarkupCursor::Tag& tag, bool bForeign, bool bAnchor)
{
    m_stack.push_back(Entry{tag.strName, bForeign, bAnchor, m_residual.size()});
    ++m_openCounts[tag.strName];
    m_uintDeepest = std::max(m_uintDeepest, Depth());
}

// Pops the current element; one closed inside a run of implied closings
// (bToResidual) and formatting stays to be re-opened by the parser.
void OpenElements::Pop(bool bToResidual)
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

void OpenElements::AddResidual(const std::string& strKey)
{
    int& intCount = m_residualCounts[strKey];
    if (intCount < kMaxSameFormatting) {
        ++intCount;
        m_residual.push_back(strKey);
    }
}

bool OpenElements::Passes(const Entry& entry, Passing passing)
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

template <typename IsTarget>
bool OpenElements::CloseThrough(Passing passing, IsTarget isTarget)
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

OpenElements::Content OpenElements::Open(const MarkupCursor::Tag& tag)
{
    const std::string& strName = tag.strName;
    if (strName == "html" || strName == "body") {
        return Content::Markup;
    }
    if (InForeignContent()) {
        const bool bBreakout =
            IsOneOf(strName, kBreakout) || (strName == "font" && tag.bFontAttribute);
        if (!bBreakout) {
            if (!tag.bSelfClosing) {
                PushKeyed(tag, true, true);
            }
            return Content::Markup;
        }
        while (!m_stack.empty() && m_stack.back().bForeign &&
               !IsOneOf(m_stack.back().strName, kIntegrationPoints)) {
            Pop(false);
        }
    }
    if (strName == "frameset" ||
        (ForeignUncertain() && (IsOneOf(strName, kRawText) || strName == "script"))) {
        return Content::Unreadable;
    }
    const bool bInSelect = IsOpen("select");
    if (bInSelect && strName != "script" && strName != "option" && strName != "optgroup") {
        // The parser ignores most of a select's content but leaves the
        // select on some tags: which text it then reads as raw is not
        // for the scan to tell.
        if (IsOneOf(strName, kRawText)) {
            return Content::Unreadable;
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
        return Content::Markup;
    }
    const bool bForeignUncertain = ForeignUncertain();
    CloseImplied(tag);
    // Void in HTML; SVG or MathML may nest it.
    if (IsOneOf(strName, kVoid) && !bForeignUncertain) {
        return Content::Markup;
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
        return Content::Script;
    }
    if (IsOneOf(strName, kRawText)) {
        return Content::RawText;
    }
    if (strName == "plaintext") {
        return Content::PlainText;
    }
    return Content::Markup;
}

// The section, row or column group the parser opens itself for a row,
// cell or column put straight into a table.
void OpenElements::PushImpliedTableParts(const std::string& strName)
{
    MarkupCursor::Tag implied;
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

void OpenElements::PushKeyed(const MarkupCursor::Tag& tag, bool bForeign, bool bAnchor)
{
    if (m_keys.size() <= m_stack.size()) {
        m_keys.resize(m_stack.size() + 1);
    }
    m_keys[m_stack.size()] = tag.strKey;
    Push(tag, bForeign, bAnchor);
}

// The closings the parser makes before opening an element; where it
// might close more than the scan follows, trust ends.
void OpenElements::CloseImplied(const MarkupCursor::Tag& tag)
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
    } else if (strName == "a" || strName == "nobr" || strName == "button" || strName == "select") {
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
void OpenElements::CloseTablePart(const std::string& strName)
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

void OpenElements::Close(const std::string& strName)
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
        bClosed = CloseThrough(
            Passing::Block, [](std::string_view strOpen) { return IsOneOf(strOpen, kHeadings); });
    } else if (!IsOneOf(strName, kFormatting)) {
        Passing passing = Passing::NotSpecial;
        if (IsOneOf(strName, kTableParts) || strName == "table") {
            passing = Passing::Table;
        } else if (IsOneOf(strName, kClosesP) || IsOneOf(strName, kBlockEnds)) {
            passing = Passing::Block;
        }
        bClosed = CloseThrough(passing,
                               [&strName](std::string_view strOpen) { return strOpen == strName; });
    }
    if (bClosed) {
        return;
    }
    if (strName == "p") {
        m_uintDeepest = std::max(m_uintDeepest, Depth() + 1);  // an empty one, opened and closed
    }
    // The parser may close something here that the scan keeps; an end
    // tag that names nothing open closes nothing (bar the parser's own
    // table sections and the formatting elements it re-opens).
    if (IsOpen(strName) || strName == "form" || IsOneOf(strName, kTableSections) ||
        strName == "tr" || IsOneOf(strName, kFormatting)) {
        Distrust();
    }
}

}  // namespace pullbay::host
