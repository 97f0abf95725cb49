#include "platform/shell/SpecialFolder.h"

#include <optional>
#include <string>

#include "platform/shell/UserDirectories.h"

namespace pullbay::platform::shell {

namespace {

ItemIdBytes UserDirectoryList(std::string_view strKey, std::wstring_view strDefaultName)
{
    const std::optional<std::wstring> strPath =
        UserDirectories::UserDirectory(strKey, strDefaultName);
    return strPath ? ItemIdList::FromPath(*strPath) : ItemIdBytes{};
}

}  // namespace

ItemIdBytes SpecialFolderLocation(SpecialFolder folder)
{
    switch (folder) {
    case SpecialFolder::Desktop:
        return UserDirectoryList("XDG_DESKTOP_DIR", L"Desktop");
    case SpecialFolder::MyDocuments:
        return UserDirectoryList("XDG_DOCUMENTS_DIR", L"Documents");
    case SpecialFolder::MyMusic:
        return UserDirectoryList("XDG_MUSIC_DIR", L"Music");
    case SpecialFolder::MyPictures:
        return UserDirectoryList("XDG_PICTURES_DIR", L"Pictures");
    case SpecialFolder::MyVideo:
        return UserDirectoryList("XDG_VIDEOS_DIR", L"Videos");
    case SpecialFolder::MyComputer:
        return ItemIdList::FromPath(L"/");
    // The trash has a path, but files downloaded into it would be as good
    // as lost: it is offered as a virtual folder, like the other two.
    case SpecialFolder::BitBucket:
        return ItemIdList::FromVirtualFolder(L"BitBucket");
    case SpecialFolder::Network:
        return ItemIdList::FromVirtualFolder(L"Network");
    case SpecialFolder::Recent:
        return ItemIdList::FromVirtualFolder(L"Recent");
    }
    return {};
}

}  // namespace pullbay::platform::shell
