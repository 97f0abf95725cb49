#include "platform/com/DispatchTable.h"

#include <exception>
#include <new>

#include "core/Exception.h"

namespace pullbay::com {

HRESULT HResultFromCaughtException()
{
    core::RecordForeignFailure();
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const core::Exception& exception) {
        return Failed(exception.GetCode()) ? exception.GetCode() : DISP_E_EXCEPTION;
    } catch (...) {
        return DISP_E_EXCEPTION;
    }
}

}  // namespace pullbay::com
