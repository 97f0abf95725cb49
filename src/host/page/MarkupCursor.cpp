#include "host/page/MarkupCursor.h"

namespace pullbay::host {

namespace {

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

}  // namespace

MarkupCursor::Token MarkupCursor::Next(Tag& tag)
{
    while (m_uintPos < m_strHtml.size()) {
        const std::size_t uintLess = m_strHtml.find('<', m_uintPos);
        if (uintLess == std::string_view::npos) {
            break;
        }
        m_uintPos = uintLess;
        const char chNext = At(m_uintPos + 1);
        if (chNext == '!') {
            if (m_strHtml.substr(m_uintPos, 9) == "<![CDATA[") {
                return Token::CData;
            }
            SkipMarkupDeclaration();
        } else if (chNext == '?') {
            SkipPast(">", m_uintPos + 2);
        } else if (chNext == '/') {
            if (IsLetter(At(m_uintPos + 2))) {
                tag = Tag();
                // A tag cut off by the end of the page is dropped.
                return ReadTag(m_uintPos + 2, tag) ? Token::EndTag : Token::End;
            }
            SkipPast(">", m_uintPos + 2);
        } else if (IsLetter(chNext)) {
            tag = Tag();
            if (!ReadTag(m_uintPos + 1, tag)) {
                return Token::End;
            }
            tag.strKey.assign(m_strHtml.substr(uintLess, m_uintPos - uintLess));
            return Token::StartTag;
        } else {
            ++m_uintPos;
        }
    }
    return Token::End;
}

void MarkupCursor::SkipCData()
{
    SkipPast("]]>", m_uintPos + 9);
}

void MarkupCursor::SkipBogusComment()
{
    SkipPast(">", m_uintPos + 2);
}

void MarkupCursor::SkipPast(std::string_view strEnd, std::size_t uintFrom)
{
    const std::size_t uintEnd = m_strHtml.find(strEnd, uintFrom);
    m_uintPos = uintEnd == std::string_view::npos ? m_strHtml.size() : uintEnd + strEnd.size();
}

void MarkupCursor::SkipMarkupDeclaration()
{
    if (m_strHtml.substr(m_uintPos, 4) == "<!--") {
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
            m_uintPos = uintDashes == std::string_view::npos ? m_strHtml.size() : uintDashes + 3;
        }
        return;
    }
    SkipPast(">", m_uintPos + 2);  // a doctype or a bogus comment
}

// Reads a tag's name and attributes from uintName to past its ">"; false
// when the page ends first.
bool MarkupCursor::ReadTag(std::size_t uintName, Tag& tag)
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
        while (uintPos < uintSize && !IsSpace(m_strHtml[uintPos]) && m_strHtml[uintPos] != '/' &&
               m_strHtml[uintPos] != '>' && m_strHtml[uintPos] != '=') {
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
bool MarkupCursor::IsEndTagOf(std::size_t uintPos, std::string_view strName) const
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

void MarkupCursor::SkipRawText(std::string_view strName)
{
    while ((m_uintPos = m_strHtml.find("</", m_uintPos)) != std::string_view::npos) {
        if (IsEndTagOf(m_uintPos, strName)) {
            return;
        }
        m_uintPos += 2;
    }
    m_uintPos = m_strHtml.size();
}

void MarkupCursor::SkipScript()
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

bool MarkupCursor::IsStartOfScript(std::size_t uintPos) const
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

std::size_t MarkupCursor::SkipCountingTags()
{
    std::size_t uintTags = 0;
    for (std::size_t i = m_uintPos; i + 1 < m_strHtml.size(); ++i) {
        if (m_strHtml[i] == '<' && IsLetter(m_strHtml[i + 1])) {
            ++uintTags;
        }
    }
    m_uintPos = m_strHtml.size();
    return uintTags;
}

}  // namespace pullbay::host
