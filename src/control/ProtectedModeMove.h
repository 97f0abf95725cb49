#pragma once
// The move stage of a Protected Mode run. The engine leaves every finished
// file at its temporary path in the low-integrity writeable folder; this
// stage moves the successful files to their destinations in one move
// operation (which its consent hook may refuse), reports a refused or failed
// move, and deletes every temporary file of the run in every case.
//
// Threads: GUI thread only. The run calls it once the engine's worker has
// finished, so nothing else reads or writes the items meanwhile.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/FileItem.h"
#include "platform/shell/FileMover.h"

namespace pullbay::control {

class ProtectedModeMove {
public:
    static constexpr const wchar_t* kTreeFolderName = L"DownloadedFiles";
    static constexpr const wchar_t* kRefusedText = L"UAC dialog was canceled.";

    // Raises the control's Error event (code, description; HttpCode 0, no
    // page, no URL, Index -1).
    using ErrorReport = std::function<void(std::int32_t intCode, const std::wstring& strText)>;

    // pMover null: there is no move routine and every move counts as refused.
    ProtectedModeMove(std::shared_ptr<const platform::shell::FileMover> pMover,
                      ErrorReport reportError);

    // Moves the files of the items whose Result is 0 to strDestination: each
    // to its own full destination path, or with bProcessSubfolders all at
    // once as the tree of ProcessSubfoldersInTemporaryPath merged into the
    // destination. True when every such file arrived; otherwise Error 303.
    // A file whose destination would lie outside strDestination is not
    // moved and makes the move fail. Then the temporary file of every item
    // is deleted (and the tree, if any is left). A core exception (from
    // ProcessSubfoldersInTemporaryPath) passes on after the same clean-up,
    // without Error 303.
    bool Run(const std::vector<std::shared_ptr<model::FileItem>>& items,
             const std::wstring& strDestination, bool bProcessSubfolders) const;

    struct Tree {
        std::wstring strRoot;
        // Successful files that could not be put in the tree; their
        // temporary files are deleted.
        std::size_t uintLeftOut = 0;
    };

    // Arranges the files of the items whose Result is 0, in list order, in a
    // new tree under the writeable folder: its root R ("DownloadedFiles")
    // replaces any old one, and each file goes to R, the sub-folders of its
    // FileName (split at "/" and "\"), and its DestinationFileName (the
    // engine's name, which keeps a copy name it chose). A name with a
    // sub-folder "." or ".." stays out of the tree, as does one whose place
    // is taken. Throws core::UnexpectedException (recorded) when the
    // platform is below class 5, when there is no writeable folder, or when
    // no item has Result 0.
    static Tree ProcessSubfoldersInTemporaryPath(
        const std::vector<std::shared_ptr<model::FileItem>>& items);

private:
    bool Move(const std::vector<std::shared_ptr<model::FileItem>>& items,
              const std::wstring& strDestination, bool bProcessSubfolders) const;

    std::shared_ptr<const platform::shell::FileMover> m_pMover;
    ErrorReport m_reportError;
};

}  // namespace pullbay::control
