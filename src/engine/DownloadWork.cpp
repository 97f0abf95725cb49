#include "engine/DownloadWork.h"

#include <utility>

#include "core/Exceptions.h"
#include "core/ThrowSite.h"
#include "engine/FileListRetrieval.h"

namespace pullbay::engine {

DownloadWork::DownloadWork(std::shared_ptr<FileListRetrieval> pRetrieval)
    : m_pRetrieval(std::move(pRetrieval)),
      m_strUrl(m_pRetrieval ? m_pRetrieval->GetListUrl() : std::wstring())
{
    if (!m_pRetrieval) {
        PB_THROW(core::ArgumentNullPointerException, L"pRetrieval");
    }
}

long DownloadWork::Execute(std::uint64_t /*uintParameter*/)
{
    m_pRetrieval->Run();
    return 0;
}

}  // namespace pullbay::engine
