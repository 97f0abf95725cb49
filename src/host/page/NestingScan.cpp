#include "host/page/NestingScan.h"

#include "host/page/MarkupCursor.h"
#include "host/page/OpenElements.h"

namespace pullbay::host {

std::size_t NestingScan::Depth(std::string_view strHtml, std::size_t uintLimit)
{
    MarkupCursor cursor(strHtml);
    OpenElements elements;
    MarkupCursor::Tag tag;
    while (elements.Deepest() <= uintLimit) {
        const MarkupCursor::Token token = cursor.Next(tag);
        if (token == MarkupCursor::Token::End) {
            break;
        }
        if (token == MarkupCursor::Token::EndTag) {
            elements.Close(tag.strName);
            continue;
        }
        if (token == MarkupCursor::Token::CData) {
            // Character data in SVG or MathML, a bogus comment in HTML.
            if (elements.InForeignContent()) {
                cursor.SkipCData();
            } else if (elements.ForeignUncertain()) {
                elements.CountUnread(cursor.SkipCountingTags());
            } else {
                cursor.SkipBogusComment();
            }
            continue;
        }
        switch (elements.Open(tag)) {
        case OpenElements::Content::Markup:
            break;
        case OpenElements::Content::Script:
            cursor.SkipScript();
            break;
        case OpenElements::Content::RawText:
            cursor.SkipRawText(tag.strName);
            break;
        case OpenElements::Content::PlainText:
            cursor.SkipToEnd();
            break;
        case OpenElements::Content::Unreadable:
            elements.CountUnread(cursor.SkipCountingTags());
            break;
        }
    }
    return elements.Deepest();
}

}  // namespace pullbay::host
