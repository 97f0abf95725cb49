#include "control/DestinationFolderChooser.h"

#include <array>
#include <exception>
#include <utility>

#include "core/Exceptions.h"
#include "core/TextUnits.h"
#include "core/ThrowSite.h"
#include "platform/registry/RegistryTypes.h"
#include "tools/PidlWrapper.h"

namespace pullbay::control {

using platform::shell::ItemIdBytes;
using platform::shell::ItemIdList;
using platform::shell::SpecialFolder;

namespace {

// The names in the order of their digits.
constexpr std::array<std::pair<const wchar_t*, SpecialFolder>, 9> kSpecialFolderNames = {{
    {L"BitBucket", SpecialFolder::BitBucket},
    {L"Desktop", SpecialFolder::Desktop},
    {L"MyComputer", SpecialFolder::MyComputer},
    {L"MyDocuments", SpecialFolder::MyDocuments},
    {L"MyMusic", SpecialFolder::MyMusic},
    {L"MyPictures", SpecialFolder::MyPictures},
    {L"MyVideo", SpecialFolder::MyVideo},
    {L"Network", SpecialFolder::Network},
    {L"Recent", SpecialFolder::Recent},
}};

tools::PidlItem ToPidlItem(ItemIdBytes list)
{
    return list.empty() ? tools::PidlItem() : tools::PidlItem(std::move(list));
}

ItemIdBytes ToItemIdBytes(const tools::PidlItem& item)
{
    if (item.IsEmpty()) {
        return {};
    }
    return ItemIdBytes(item.Data(), item.Data() + item.GetSize());
}

// A failure handled here for good stays on record for the thread, under the
// routine that handled it, with the caught failure's message as its detail.
void RecordHandledFailure(const wchar_t* strRoutine, std::uint32_t uintLine)
{
    std::wstring strDetail;
    try {
        throw;
    } catch (const core::Exception& exception) {
        strDetail = exception.GetMessage();
    } catch (const std::exception& exception) {
        strDetail = core::FromUtf8(exception.what());
    } catch (...) {
    }
    core::ExceptionManager::SetException(
        core::CurrentThreadId(),
        core::UnexpectedException(strRoutine, PB_SOURCE_FILE, uintLine,
                                  strDetail.empty() ? nullptr : strDetail.c_str()));
}

}  // namespace

DestinationFolderChooser::DestinationFolderChooser(
    std::wstring strSettingsKey, std::shared_ptr<platform::shell::IFolderBrowser> pBrowser)
    : m_strSettingsKey(std::move(strSettingsKey)), m_pBrowser(std::move(pBrowser))
{
    if (!m_pBrowser) {
        PB_THROW(core::ArgumentNullPointerException, L"pBrowser");
    }
}

std::optional<SpecialFolder> DestinationFolderChooser::SpecialFolderFromName(
    std::wstring_view strName)
{
    for (std::size_t uintDigit = 0; uintDigit < kSpecialFolderNames.size(); ++uintDigit) {
        const auto& [strFolderName, folder] = kSpecialFolderNames[uintDigit];
        if (core::EqualsIgnoreAsciiCase(strName, strFolderName) ||
            (strName.size() == 1 && strName.front() == static_cast<wchar_t>(L'0' + uintDigit))) {
            return folder;
        }
    }
    return std::nullopt;
}

tools::PidlItem DestinationFolderChooser::GetInitialFolder(
    const std::wstring& strDefaultDestinationFolder) const
{
    tools::PidlItem lastFolder = GetLastFolder();
    if (!lastFolder.IsEmpty()) {
        return lastFolder;
    }
    if (const std::optional<SpecialFolder> folder =
            SpecialFolderFromName(strDefaultDestinationFolder)) {
        return ToPidlItem(platform::shell::SpecialFolderLocation(*folder));
    }
    return ToPidlItem(ItemIdList::ParseDisplayName(strDefaultDestinationFolder));
}

tools::PidlItem DestinationFolderChooser::GetLastFolder() const
{
    try {
        tools::PidlItem item;
        tools::PidlWrapper::GetPidlFromRegistry(platform::RegistryRoot::CurrentUser,
                                                m_strSettingsKey.c_str(), kLastVisitedFolderValue,
                                                item);
        // Only file-system folders are stored; anything else is a damaged
        // value and as good as none.
        if (!ItemIdList::IsFileSystemFolder(ToItemIdBytes(item))) {
            return {};
        }
        return item;
    } catch (...) {
        RecordHandledFailure(L"Pullbay::GetLastFolder", __LINE__);
        return {};
    }
}

tools::PidlItem DestinationFolderChooser::ChooseFolder(
    const std::wstring& strTitle, const std::wstring& strDefaultDestinationFolder)
{
    const tools::PidlItem initialFolder = GetInitialFolder(strDefaultDestinationFolder);
    ItemIdBytes chosen = m_pBrowser->Browse(strTitle, ToItemIdBytes(initialFolder));
    // Browsers answer with file-system folders only; a host's browser that
    // does not is taken as cancelled rather than trusted.
    if (!ItemIdList::IsFileSystemFolder(chosen)) {
        return {};
    }
    tools::PidlItem folder = ToPidlItem(std::move(chosen));
    try {
        tools::PidlWrapper::SavePidlToRegistry(platform::RegistryRoot::CurrentUser,
                                               m_strSettingsKey.c_str(), kLastVisitedFolderValue,
                                               folder);
    } catch (...) {
        RecordHandledFailure(L"Pullbay::ChooseFolder", __LINE__);
    }
    return folder;
}

DestinationFolderChooser::Destination DestinationFolderChooser::ChooseDestinationFolder(
    const std::wstring& strTitle, const std::wstring& strDefaultDestinationFolder,
    const RunEvents& events)
{
    tools::PidlItem folder = ChooseFolder(strTitle, strDefaultDestinationFolder);
    const std::optional<std::wstring> strPath = ItemIdList::ToPath(ToItemIdBytes(folder));
    if (!strPath) {
        if (events.folderCancelled) {
            events.folderCancelled();
        }
        core::RecordAndThrow(
            core::AbortedException(L"Pullbay::ChooseDestinationFolder", PB_SOURCE_FILE, __LINE__));
    }
    if (events.folderChosen) {
        events.folderChosen();
    }
    return Destination{std::move(folder), *strPath};
}

}  // namespace pullbay::control
