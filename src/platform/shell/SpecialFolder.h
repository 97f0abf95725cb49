#pragma once
// The special folders that a page may name as the place to open the folder
// browser at, and where each of them is here: the XDG user directories, the
// file-system root, or a virtual folder (the trash, the network, recent
// files), which can be opened at but never chosen. Any thread may call it.
#include "platform/shell/ItemIdList.h"

namespace pullbay::platform::shell {

enum class SpecialFolder {
    BitBucket,
    Desktop,
    MyComputer,
    MyDocuments,
    MyMusic,
    MyPictures,
    MyVideo,
    Network,
    Recent,
};

// The folder's list; empty only when the user's home cannot be found.
ItemIdBytes SpecialFolderLocation(SpecialFolder folder);

}  // namespace pullbay::platform::shell
