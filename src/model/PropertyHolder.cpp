#include "model/PropertyHolder.h"

#include "model/PropertyTable.h"

namespace pullbay::model {

PropertyHolder::PropertyHolder()
{
    for (const PropertyDescriptor& property : PropertyTable::Entries()) {
        if (property.bHasTextRule) {
            m_texts[Index(property.text)] = property.textRule.strInitial;
        }
    }
}

}  // namespace pullbay::model
