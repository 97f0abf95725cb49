#include "control/PropertyHolder.h"

#include "control/PropertyTable.h"

namespace pullbay::control {

PropertyHolder::PropertyHolder()
{
    for (const PropertyDescriptor& property : PropertyTable::Entries()) {
        if (property.bHasTextRule) {
            m_texts[Index(property.text)] = property.textRule.strInitial;
        }
    }
}

}  // namespace pullbay::control
