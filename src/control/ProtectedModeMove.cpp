#include "control/ProtectedModeMove.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

#include "core/ApplicationExceptions.h"
#include "core/TextUnits.h"
#include "core/ThrowSite.h"
#include "engine/DestinationNames.h"
#include "engine/TempFiles.h"
#include "platform/IPlatform.h"
#include "platform/PlatformClass.h"
#include "pullbay/Events.h"

namespace pullbay::control {

namespace {

constexpr const wchar_t* kTreeRoutine = L"Pullbay::ProcessSubfoldersInTemporaryPath";

[[noreturn]] void ThrowFromTree(std::uint32_t uintLine, const wchar_t* strWhy)
{
    core::RecordAndThrow(core::UnexpectedException(kTreeRoutine, PB_SOURCE_FILE, uintLine, strWhy));
}

bool IsMovable(const model::FileItem& item)
{
    return item.GetResult() == api::ItemSuccess;
}

// R under the writeable folder, absolute; empty without a Protected Mode
// platform or a writeable folder.
std::wstring TreeRoot()
{
    const std::shared_ptr<platform::IPlatform> pPlatform = platform::CurrentPlatform();
    if (pPlatform->PlatformClass() < platform::kFirstProtectedModeClass) {
        return std::wstring();
    }
    std::wstring strFolder;
    if (Failed(platform::GetWriteableFolder(*pPlatform, strFolder)) || strFolder.empty()) {
        return std::wstring();
    }
    return engine::JoinPath(engine::NormalizeDestinationFolder(strFolder),
                            ProtectedModeMove::kTreeFolderName);
}

// A tree left behind is removed without following links out of it.
void RemoveTree(const std::wstring& strRoot)
{
    std::error_code error;
    std::filesystem::remove_all(std::filesystem::path(core::ToUtf8(strRoot)), error);
}

void DeleteTemporaryFile(const model::FileItem& item)
{
    const std::wstring& strPath = item.GetTemporaryFilePath();
    if (!strPath.empty() && strPath.find(L'\0') == std::wstring::npos) {
        ::unlink(core::ToUtf8(strPath).c_str());
    }
}

// One name inside one folder: no separator, not "." or "..".
bool IsPlainName(const std::wstring& strName)
{
    return !strName.empty() && strName != L"." && strName != L".." &&
           strName.find_first_of(std::wstring_view(L"/\\\0", 3)) == std::wstring::npos;
}

// The item's destination lies in strFolder (normalized) or below it, by
// names alone: no level "." or "..", no empty level.
bool IsInsideFolder(const model::FileItem& item, const std::wstring& strFolder)
{
    if (!IsPlainName(item.GetDestinationFileName())) {
        return false;
    }
    const std::wstring& strItemFolder = item.GetDestinationFolder();
    if (strItemFolder == strFolder) {
        return true;
    }
    const std::wstring strPrefix = strFolder == L"/" ? strFolder : strFolder + L'/';
    if (strItemFolder.compare(0, strPrefix.size(), strPrefix) != 0) {
        return false;
    }
    std::size_t uintStart = strPrefix.size();
    for (;;) {
        const std::size_t uintEnd = strItemFolder.find(L'/', uintStart);
        const std::wstring strLevel = strItemFolder.substr(
            uintStart, uintEnd == std::wstring::npos ? std::wstring::npos : uintEnd - uintStart);
        if (strLevel.empty() || strLevel == L"." || strLevel == L".." ||
            strLevel.find(L'\0') != std::wstring::npos) {
            return false;
        }
        if (uintEnd == std::wstring::npos) {
            return true;
        }
        uintStart = uintEnd + 1;
    }
}

// Moves one file into the tree; false when it does not get there.
bool MoveIntoTree(const model::FileItem& item, const std::wstring& strRoot)
{
    const std::wstring& strTemporary = item.GetTemporaryFilePath();
    const std::wstring& strName = item.GetDestinationFileName();
    if (strTemporary.empty() || !IsPlainName(strName)) {
        return false;
    }
    // Throws for an unusable name and refuses sub-folders "." and ".."
    // before it creates them, so nothing leaves the tree.
    const engine::DestinationName name = engine::SplitDestinationName(item.GetFileName());
    const std::wstring strFolder = engine::CreatePath(strRoot, name.folders);
    const std::string strTarget = core::ToUtf8(engine::JoinPath(strFolder, strName));
    // The first file for a place keeps it, as a move that never replaces.
    struct stat info {};
    if (::lstat(strTarget.c_str(), &info) == 0) {
        return false;
    }
    engine::SetStoredFileMode(strTemporary);
    return std::rename(core::ToUtf8(strTemporary).c_str(), strTarget.c_str()) == 0;
}

}  // namespace

ProtectedModeMove::ProtectedModeMove(std::shared_ptr<const platform::shell::FileMover> pMover,
                                     ErrorReport reportError)
    : m_pMover(std::move(pMover)), m_reportError(std::move(reportError))
{
}

bool ProtectedModeMove::Run(const std::vector<std::shared_ptr<model::FileItem>>& items,
                            const std::wstring& strDestination, bool bProcessSubfolders) const
{
    // Every temporary file of the run goes, moved or not: after a refused
    // move the downloaded data is gone, and nothing is left in the
    // low-integrity folder.
    const auto cleanUp = [&items, bProcessSubfolders] {
        for (const std::shared_ptr<model::FileItem>& pItem : items) {
            DeleteTemporaryFile(*pItem);
        }
        if (bProcessSubfolders) {
            if (const std::wstring strRoot = TreeRoot(); !strRoot.empty()) {
                RemoveTree(strRoot);
            }
        }
    };
    bool bMoved = false;
    try {
        bMoved = Move(items, strDestination, bProcessSubfolders);
    } catch (...) {
        cleanUp();
        throw;
    }
    if (!bMoved && m_reportError) {
        m_reportError(api::ErrorCode::kProtectedMoveFailed, kRefusedText);
    }
    cleanUp();
    return bMoved;
}

bool ProtectedModeMove::Move(const std::vector<std::shared_ptr<model::FileItem>>& items,
                             const std::wstring& strDestination, bool bProcessSubfolders) const
{
    const std::wstring strFolder = engine::NormalizeDestinationFolder(strDestination);
    std::vector<std::wstring> sources;
    std::vector<std::wstring> targets;
    std::size_t uintLeftOut = 0;
    if (bProcessSubfolders) {
        const Tree tree = ProcessSubfoldersInTemporaryPath(items);
        sources.push_back(tree.strRoot);
        targets.push_back(strFolder);
        uintLeftOut = tree.uintLeftOut;
    } else {
        for (const std::shared_ptr<model::FileItem>& pItem : items) {
            if (!IsMovable(*pItem)) {
                continue;
            }
            if (pItem->GetTemporaryFilePath().empty() || !IsInsideFolder(*pItem, strFolder)) {
                ++uintLeftOut;
                continue;
            }
            engine::SetStoredFileMode(pItem->GetTemporaryFilePath());
            sources.push_back(pItem->GetTemporaryFilePath());
            targets.push_back(pItem->FullDestinationPath());
        }
    }
    const bool bMoved = m_pMover != nullptr && m_pMover->Move(sources, targets);
    return bMoved && uintLeftOut == 0;
}

ProtectedModeMove::Tree ProtectedModeMove::ProcessSubfoldersInTemporaryPath(
    const std::vector<std::shared_ptr<model::FileItem>>& items)
{
    if (platform::CurrentPlatform()->PlatformClass() < platform::kFirstProtectedModeClass) {
        ThrowFromTree(__LINE__, L"no Protected Mode on this platform");
    }
    Tree tree;
    tree.strRoot = TreeRoot();
    if (tree.strRoot.empty()) {
        ThrowFromTree(__LINE__, L"no writeable folder");
    }
    RemoveTree(tree.strRoot);
    // A failure shows as every file failing to enter the tree.
    ::mkdir(core::ToUtf8(tree.strRoot).c_str(), 0777);

    std::size_t uintCounted = 0;
    for (const std::shared_ptr<model::FileItem>& pItem : items) {
        if (!IsMovable(*pItem)) {
            continue;
        }
        ++uintCounted;
        bool bEntered = false;
        try {
            bEntered = MoveIntoTree(*pItem, tree.strRoot);
        } catch (const core::Exception&) {
            // Recorded where it was thrown; the next file goes on.
        } catch (...) {
            core::RecordForeignFailure();
        }
        if (!bEntered) {
            DeleteTemporaryFile(*pItem);
            ++tree.uintLeftOut;
        }
    }
    if (uintCounted == 0) {
        ThrowFromTree(__LINE__, L"no downloaded file");
    }
    return tree;
}

}  // namespace pullbay::control
