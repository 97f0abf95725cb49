#pragma once
// The tree builder's side of the nesting scan. The stack holds the elements
// the parser may have open, with every one it has open among them in the
// same order. Entries at or above the trusted mark that are anchors are
// certainly open in the parser: only they may end a run of implied
// closings, since closing them pops what lies above them in the parser too.
// When the parser might have closed something the scan keeps, everything on
// the stack stops being trusted. One instance per scan, used by one thread
// at a time.
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/page/MarkupCursor.h"

namespace pullbay::host {

class OpenElements {
public:
    // How the tokenizer reads on after a start tag.
    enum class Content {
        Markup,
        Script,
        RawText,
        PlainText,
        // The scan cannot read the rest the way the parser will: every tag
        // from here on counts as opened and never closed (CountUnread).
        Unreadable,
    };

    // The bound of the depth so far: the deepest the stack has been, html
    // and body included.
    std::size_t Deepest() const;

    // The parser reads the next tag as SVG or MathML: the current element is
    // foreign, not an integration point, and certainly open.
    bool InForeignContent() const;
    // The current element is foreign and not an integration point, but may
    // not be open in the parser.
    bool ForeignUncertain() const;

    // A start tag, with the closings the parser makes before it.
    Content Open(const MarkupCursor::Tag& tag);
    // An end tag.
    void Close(const std::string& strName);
    // Tags the scan could not read, each counted as opened and never closed.
    void CountUnread(std::size_t uintTags) { m_uintPessimistic += uintTags; }

private:
    struct Entry {
        std::string strName;
        bool bForeign = false;
        // False for an element the parser may have ignored (a cell outside
        // a table, anything inside a select but its options).
        bool bAnchor = true;
        std::size_t uintResidualMark = 0;  // the residual list's size when opened
    };

    // What a run of implied closings may pass: formatting elements always
    // (the parser re-opens them), and the elements whose end the closing
    // implies.
    enum class Passing { Paragraph, NotSpecial, Block, Table };

    std::size_t Depth() const;
    bool Trusted(std::size_t uintIndex) const;
    bool TopIs(std::string_view strName) const;
    template <std::size_t N>
    bool TopIsOneOf(const std::string_view (&names)[N]) const;
    bool IsOpen(const std::string& strName) const;
    void Distrust() { m_uintTrusted = m_stack.size(); }
    void Push(const MarkupCursor::Tag& tag, bool bForeign, bool bAnchor);
    void Pop(bool bToResidual);
    void AddResidual(const std::string& strKey);
    static bool Passes(const Entry& entry, Passing passing);
    template <typename IsTarget>
    bool CloseThrough(Passing passing, IsTarget isTarget);
    void PushImpliedTableParts(const std::string& strName);
    void PushKeyed(const MarkupCursor::Tag& tag, bool bForeign, bool bAnchor);
    void CloseImplied(const MarkupCursor::Tag& tag);
    void CloseTablePart(const std::string& strName);

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

}  // namespace pullbay::host
