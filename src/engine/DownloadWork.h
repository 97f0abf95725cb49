#pragma once
// The work item that fetches a file list: queued on the thread pool by the
// get-file-list dialog, it runs the retrieval's transfer on a worker. It
// shares ownership of the retrieval, so the pool may run it after the dialog
// is gone. Execute on a worker; GetUrl on any thread.
#include <cstdint>
#include <memory>
#include <string>

#include "tools/IWorkItem.h"

namespace pullbay::engine {

class FileListRetrieval;

class DownloadWork : public tools::IWorkItem {
public:
    // A null retrieval throws ArgumentNullPointerException ("pRetrieval").
    explicit DownloadWork(std::shared_ptr<FileListRetrieval> pRetrieval);

    // Runs the retrieval (its transfer of the list URL); returns 0.
    long Execute(std::uint64_t uintParameter) override;
    // The low 32 bits of this object's address.

    const std::wstring& GetUrl() const { return m_strUrl; }

private:
    const std::shared_ptr<FileListRetrieval> m_pRetrieval;
    const std::wstring m_strUrl;
};

}  // namespace pullbay::engine
