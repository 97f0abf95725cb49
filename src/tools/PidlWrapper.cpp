#include "tools/PidlWrapper.h"

#include <vector>

#include "core/Exceptions.h"
#include "core/ThrowSite.h"
#include "platform/registry/RegistryTypes.h"

namespace pullbay::tools {

void PidlWrapper::SavePidlToRegistry(RegistryWorks::Root root, const wchar_t* strSubKey,
                                     const wchar_t* strName, const PidlItem& item)
{
    try {
        if (item.IsEmpty()) {
            PB_THROW(core::ArgumentNullPointerException, L"pidl");
        }
        const std::vector<std::uint8_t> bytes = item.Serialize();
        if (!bytes.empty()) {
            RegistryWorks::WriteRegData(root, strSubKey, strName, bytes.data(),
                                        static_cast<std::uint32_t>(bytes.size()),
                                        platform::REG_BINARY);
        }
    } catch (const core::Exception& failure) {
        core::ClearRecordedFailure();
        core::ExceptionManager::SetException(core::CurrentThreadId(), failure);
        throw;
    } catch (...) {
        core::RecordForeignFailure();
        PB_THROW(core::UnexpectedException);
    }
}

void PidlWrapper::GetPidlFromRegistry(RegistryWorks::Root root, const wchar_t* strSubKey,
                                      const wchar_t* strName, PidlItem& item)
{
    try {
        std::uint32_t uintSize = 0;
        RegistryWorks::GetRegDataSize(root, strSubKey, strName, uintSize);
        if (uintSize == 0) {
            PB_THROW(core::UnexpectedException);
        }
        std::vector<std::uint8_t> buffer(uintSize, 0);
        // The value may have shrunk since its size was read.
        buffer.resize(
            RegistryWorks::ReadRegData(root, strSubKey, strName, buffer.data(), uintSize));
        PidlItem loaded = PidlItem::Deserialize(buffer);
        item = std::move(loaded);
    } catch (...) {
        core::RecordForeignFailure();
        PB_THROW(core::UnexpectedException);
    }
}

}  // namespace pullbay::tools
