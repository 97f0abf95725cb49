#include "host/page/ParsedHtml.h"

#include "core/Exceptions.h"
#include "core/ThrowSite.h"

namespace pullbay::host {

ParsedHtml::ParsedHtml(std::string_view strHtmlUtf8)
{
    m_options = kGumboDefaultOptions;
    // Every recorded parse error keeps a copy of the open-element stack: a
    // page of a few thousand unclosed tags would take gigabytes.
    m_options.max_errors = 0;
    m_pOutput = gumbo_parse_with_options(&m_options, strHtmlUtf8.data(), strHtmlUtf8.size());
    if (m_pOutput == nullptr) {
        PB_THROW(core::MemoryException);
    }
}

ParsedHtml::~ParsedHtml()
{
    gumbo_destroy_output(&m_options, m_pOutput);
}

bool ParsedHtml::IsHtmlElement(const GumboNode* pNode, GumboTag tag)
{
    return pNode->type == GUMBO_NODE_ELEMENT && pNode->v.element.tag == tag &&
           pNode->v.element.tag_namespace == GUMBO_NAMESPACE_HTML;
}

const char* ParsedHtml::AttributeValue(const GumboNode* pElement, const char* strName)
{
    const GumboAttribute* pAttribute =
        gumbo_get_attribute(&pElement->v.element.attributes, strName);
    return pAttribute != nullptr ? pAttribute->value : nullptr;
}

}  // namespace pullbay::host
