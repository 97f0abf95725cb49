#pragma once
// The tokenizer's side of the nesting scan: walks a page's markup from tag
// to tag the way the HTML tokenizer reads it. Comments, doctypes,
// processing instructions and stray "<" are passed over; a start or end tag
// is read with its attributes (quoted values may hold "<" and ">"). What
// follows a start tag (script, raw text, plain text) and how a CDATA
// section reads depend on the open elements, so the caller says which to
// skip. One instance per scan, used by one thread at a time.
#include <cstddef>
#include <string>
#include <string_view>

namespace pullbay::host {

class MarkupCursor {
public:
    struct Tag {
        std::string strName;  // lower case
        std::string strKey;   // a start tag as written: identical ones are one
        bool bSelfClosing = false;
        bool bFontAttribute = false;  // color, face or size
    };

    enum class Token {
        // The page ends, or a tag is cut off by its end (and dropped).
        End,
        StartTag,
        EndTag,
        // "<![CDATA[": the caller skips it with SkipCData, SkipBogusComment
        // or SkipCountingTags.
        CData,
    };

    explicit MarkupCursor(std::string_view strHtml) : m_strHtml(strHtml) {}

    // Reads on to the next tag and fills tag with it.
    Token Next(Tag& tag);

    // A CDATA section in foreign content: skipped past its "]]>".
    void SkipCData();
    // A CDATA section in HTML content: a bogus comment, skipped past ">".
    void SkipBogusComment();
    // The content of the script element just opened, with its "<!--"
    // escapes: inside one, "<script" starts a stretch where "</script"
    // does not end the script.
    void SkipScript();
    // The raw text of the element just opened, up to its own end tag.
    void SkipRawText(std::string_view strName);
    // Plain text: the rest of the page.
    void SkipToEnd() { m_uintPos = m_strHtml.size(); }
    // Skips the rest of the page and returns how many start tags it holds.
    std::size_t SkipCountingTags();

private:
    char At(std::size_t uintPos) const
    {
        return uintPos < m_strHtml.size() ? m_strHtml[uintPos] : '\0';
    }

    void SkipPast(std::string_view strEnd, std::size_t uintFrom);
    // A comment, a doctype or a bogus comment at the cursor.
    void SkipMarkupDeclaration();
    bool ReadTag(std::size_t uintName, Tag& tag);
    bool IsEndTagOf(std::size_t uintPos, std::string_view strName) const;
    bool IsStartOfScript(std::size_t uintPos) const;

    std::string_view m_strHtml;
    std::size_t m_uintPos = 0;
};

}  // namespace pullbay::host
