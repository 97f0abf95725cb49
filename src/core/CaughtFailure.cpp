#include "core/CaughtFailure.h"

#include "core/Exception.h"
#include "core/ThrowSite.h"

namespace pullbay::core {

void RecordCaughtFailure()
{
    try {
        throw;
    } catch (const Exception& failure) {
        ExceptionManager::SetException(CurrentThreadId(), failure);
    } catch (...) {
        RecordForeignFailure();
    }
}

}  // namespace pullbay::core
