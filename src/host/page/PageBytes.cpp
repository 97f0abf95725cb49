#include "host/page/PageBytes.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <system_error>

#include "core/Exceptions.h"
#include "core/IStream.h"
#include "core/TextUnits.h"
#include "core/ThrowSite.h"
#include "host/page/HostPage.h"
#include "net/IDownloadEvents.h"
#include "net/InternetErrors.h"
#include "net/WInetDownloader.h"

namespace pullbay::host {

namespace {

std::string ErrnoText(int intError)
{
    return std::system_category().message(intError);
}

// Locale-free: the process locale may group digits.
std::string DecimalText(long long intValue)
{
    char buffer[24];
    const auto converted = std::to_chars(buffer, buffer + sizeof buffer, intValue);
    return std::string(buffer, converted.ptr);
}

std::string SizeLimitText()
{
    return DecimalText(static_cast<long long>(HostPage::kMaxPageBytes / (1024 * 1024))) + " MiB";
}

// The fetched body in memory, refusing to grow past the page limit.
class PageBuffer final : public core::IStream {
public:
    HRESULT Read(void* /*pData*/, std::uint32_t /*uintSize*/, std::uint32_t* pRead) override
    {
        if (pRead != nullptr) {
            *pRead = 0;
        }
        return E_NOTIMPL;
    }

    HRESULT Write(const void* pData, std::uint32_t uintSize, std::uint32_t* pWritten) override
    {
        if (pWritten != nullptr) {
            *pWritten = 0;
        }
        if (m_uintPosition + uintSize > HostPage::kMaxPageBytes) {
            m_bTooLarge = true;
            return E_FAIL;
        }
        if (m_bytes.size() < m_uintPosition + uintSize) {
            m_bytes.resize(m_uintPosition + uintSize);
        }
        m_bytes.replace(m_uintPosition, uintSize, static_cast<const char*>(pData), uintSize);
        m_uintPosition += uintSize;
        if (pWritten != nullptr) {
            *pWritten = uintSize;
        }
        return S_OK;
    }

    HRESULT Seek(std::int64_t intOffset, core::StreamSeekOrigin origin,
                 std::uint64_t* pNewPosition) override
    {
        std::int64_t intBase = 0;
        if (origin == core::StreamSeekOrigin::Current) {
            intBase = static_cast<std::int64_t>(m_uintPosition);
        } else if (origin == core::StreamSeekOrigin::End) {
            intBase = static_cast<std::int64_t>(m_bytes.size());
        }
        const std::int64_t intTarget = intBase + intOffset;
        if (intTarget < 0 || static_cast<std::uint64_t>(intTarget) > HostPage::kMaxPageBytes) {
            return E_INVALIDARG;
        }
        m_uintPosition = static_cast<std::size_t>(intTarget);
        if (pNewPosition != nullptr) {
            *pNewPosition = m_uintPosition;
        }
        return S_OK;
    }

    HRESULT SetSize(std::uint64_t uintSize) override
    {
        if (uintSize > HostPage::kMaxPageBytes) {
            m_bTooLarge = true;
            return E_FAIL;
        }
        m_bytes.resize(static_cast<std::size_t>(uintSize));
        return S_OK;
    }

    const std::string& Bytes() const { return m_bytes; }
    bool TooLarge() const { return m_bTooLarge; }

private:
    std::string m_bytes;
    std::size_t m_uintPosition = 0;
    bool m_bTooLarge = false;
};

// One GET of the page with the project's transfer; the outcome is kept for
// the caller to word.
class PageFetch final : public net::IDownloadEvents {
public:
    // Empty on success, else the message.
    std::string Run(const std::string& strUrl, const std::wstring& strCookie)
    {
        net::WInetDownloader transfer;
        transfer.SetTimeOut(HostPage::kFetchTimeOutMs);
        transfer.SetReconnectAttemptsCount(0);
        transfer.SetCookieText(strCookie);
        transfer.SetDownloadEvents(this);
        transfer.SetOutputStream(&m_buffer);
        const std::wstring strWideUrl = core::FromUtf8(strUrl);
        net::TransferOutcome outcome;
        try {
            outcome = transfer.Download(strWideUrl.c_str());
        } catch (const core::Exception& failure) {
            core::ClearRecordedFailure();
            return "cannot fetch the page: " + core::ToUtf8(failure.GetMessage());
        }
        if (outcome.bSucceeded) {
            return std::string();
        }
        m_intStatus = outcome.intHttpStatus;
        m_intErrorCode = outcome.intErrorCode;
        if (m_buffer.TooLarge()) {
            return "the page is larger than " + SizeLimitText();
        }
        if (m_intStatus != 0 && m_intStatus != 200) {
            return "HTTP status " + DecimalText(m_intStatus);
        }
        return "cannot fetch the page: " + core::ToUtf8(net::InternetErrorText(m_intErrorCode)) +
               " (error " + DecimalText(m_intErrorCode) + ")";
    }

    const std::string& Bytes() const { return m_buffer.Bytes(); }
    const std::string& ContentType() const { return m_strContentType; }

    net::TransferVerdict DownloadProgress(std::int64_t /*intPosition*/,
                                          std::int64_t /*intDeclaredLength*/) override
    {
        return net::TransferVerdict::Continue();
    }

    net::TransferVerdict MimeTypeAvailable(const std::wstring& strMimeType) override
    {
        m_strContentType = core::ToUtf8(strMimeType);
        return net::TransferVerdict::Continue();
    }

    void WaitingForReconnect() override {}

private:
    PageBuffer m_buffer;
    std::string m_strContentType;
    int m_intStatus = 0;
    int m_intErrorCode = 0;
};

// Empty on success, else the message.
std::string ReadLocalFile(const std::string& strPath, std::string& bytes)
{
    const int intFile = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (intFile < 0) {
        return "cannot read the page: " + ErrnoText(errno);
    }
    std::string strError;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t intRead = ::read(intFile, buffer, sizeof buffer);
        if (intRead < 0) {
            if (errno == EINTR) {
                continue;
            }
            strError = "cannot read the page: " + ErrnoText(errno);
            break;
        }
        if (intRead == 0) {
            break;
        }
        // Bounded also for a device or a pipe that never ends.
        if (bytes.size() + static_cast<std::size_t>(intRead) > HostPage::kMaxPageBytes) {
            strError = "the page is larger than " + SizeLimitText();
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(intRead));
    }
    ::close(intFile);
    return strError;
}

}  // namespace

PageBytes PageBytes::Fetch(const std::string& strUrl, const std::wstring& strCookie)
{
    PageFetch fetch;
    PageBytes page;
    page.strError = fetch.Run(strUrl, strCookie);
    if (page.Ok()) {
        page.bytes = fetch.Bytes();
        page.strContentType = fetch.ContentType();
    }
    return page;
}

PageBytes PageBytes::ReadFile(const std::string& strPath)
{
    PageBytes page;
    page.strError = ReadLocalFile(strPath, page.bytes);
    return page;
}

}  // namespace pullbay::host
