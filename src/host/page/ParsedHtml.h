#pragma once
// One parse of a page (UTF-8) as a browser parses it; the tree lives as
// long as this object. With the element helpers the page reader uses to
// look at it. Any thread; the tree stays with the thread that parsed it.
#include <string_view>
#include <vector>

#include <gumbo.h>

namespace pullbay::host {

class ParsedHtml {
public:
    // Throws core::MemoryException when the parser cannot build the tree.
    explicit ParsedHtml(std::string_view strHtmlUtf8);
    ~ParsedHtml();
    ParsedHtml(const ParsedHtml&) = delete;
    ParsedHtml& operator=(const ParsedHtml&) = delete;

    const GumboNode* Document() const { return m_pOutput->document; }

    // Whether the node is an element of the tag in the HTML namespace.
    static bool IsHtmlElement(const GumboNode* pNode, GumboTag tag);
    // The attribute's value; nullptr when the element has none of the name.
    static const char* AttributeValue(const GumboNode* pElement, const char* strName);

    // Visits the tree below pRoot in document order; visit returns whether
    // to go into the node's children. Template contents are inert in a
    // browser and are skipped. Iterative: a page may nest elements very
    // deeply.
    template <typename Visit>
    static void WalkDescendants(const GumboNode* pRoot, Visit visit)
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

private:
    GumboOptions m_options;
    GumboOutput* m_pOutput = nullptr;
};

}  // namespace pullbay::host
