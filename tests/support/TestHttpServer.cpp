#include "support/TestHttpServer.h"

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>

#include "core/TextUnits.h"
#include "loopback/FieldText.h"
#include "loopback/IRequestHandler.h"
#include "loopback/LoopbackServer.h"
#include "loopback/ResponseHead.h"
#include "loopback/ResponseWriter.h"
#include "support/TlsServerContext.h"

namespace pullbay::test {

namespace {

using loopback::HasListToken;
using loopback::ParseDecimal;
using loopback::TrimBlanks;
using Ending = loopback::IRequestHandler::Ending;

// What a Range request turns a 200 response into.
struct RangeAnswer {
    int intStatus = 200;
    std::string_view strBody;
    std::string strContentRange;
};

// Whether an If-Range validator names the response as it is now.
bool IfRangeMatches(const HttpResponse& response, std::string_view strValidator)
{
    if (strValidator.starts_with("W/")) {
        // Weak validators never match for ranges.
        return false;
    }
    if (strValidator.starts_with("\"")) {
        const std::optional<std::string> strETag = response.Header("ETag");
        return strETag && !strETag->starts_with("W/") && TrimBlanks(*strETag) == strValidator;
    }
    const std::optional<std::string> strLastModified = response.Header("Last-Modified");
    return strLastModified && TrimBlanks(*strLastModified) == strValidator;
}

// Range: one "bytes=" range (first-last, first-, -suffix). Syntax it does
// not understand, several ranges and a failed If-Range serve the whole body.
RangeAnswer ApplyRange(const HttpResponse& response, const HttpRequest& request)
{
    RangeAnswer answer{200, response.body, {}};
    const std::optional<std::string> strRange = request.Header("Range");
    if (!strRange) {
        return answer;
    }
    if (const std::optional<std::string> strIfRange = request.Header("If-Range");
        strIfRange && !IfRangeMatches(response, TrimBlanks(*strIfRange))) {
        return answer;
    }

    std::string_view strRangeText = TrimBlanks(*strRange);
    if (strRangeText.size() < 6 ||
        !core::EqualsIgnoreAsciiCase(strRangeText.substr(0, 6), "bytes=")) {
        return answer;
    }
    strRangeText = TrimBlanks(strRangeText.substr(6));
    const std::size_t uintDash = strRangeText.find('-');
    if (uintDash == std::string_view::npos || strRangeText.find(',') != std::string_view::npos) {
        return answer;
    }
    const std::string_view strFirst = TrimBlanks(strRangeText.substr(0, uintDash));
    const std::string_view strLast = TrimBlanks(strRangeText.substr(uintDash + 1));
    const std::uint64_t uintSize = response.body.size();
    std::uint64_t uintFirst = 0;
    std::uint64_t uintLast = 0;
    bool bSatisfiable = false;
    if (strFirst.empty()) {
        const std::optional<std::uint64_t> uintSuffix = ParseDecimal(strLast);
        if (!uintSuffix) {
            return answer;
        }
        bSatisfiable = *uintSuffix > 0 && uintSize > 0;
        uintFirst = uintSize - std::min(*uintSuffix, uintSize);
        uintLast = uintSize == 0 ? 0 : uintSize - 1;
    } else {
        const std::optional<std::uint64_t> uintFrom = ParseDecimal(strFirst);
        const std::optional<std::uint64_t> uintTo =
            strLast.empty() ? std::optional<std::uint64_t>(UINT64_MAX) : ParseDecimal(strLast);
        if (!uintFrom || !uintTo || *uintTo < *uintFrom) {
            return answer;
        }
        bSatisfiable = *uintFrom < uintSize;
        uintFirst = *uintFrom;
        uintLast = std::min(*uintTo, uintSize == 0 ? 0 : uintSize - 1);
    }
    const std::string strSize = loopback::DecimalText(uintSize);
    if (!bSatisfiable) {
        answer.intStatus = 416;
        answer.strBody = {};
        answer.strContentRange = "bytes */" + strSize;
        return answer;
    }
    answer.intStatus = 206;
    answer.strBody = std::string_view(response.body).substr(uintFirst, uintLast - uintFirst + 1);
    answer.strContentRange = "bytes " + loopback::DecimalText(uintFirst) + "-" +
                             loopback::DecimalText(uintLast) + "/" + strSize;
    return answer;
}

std::string HexText(std::size_t uintValue)
{
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, uintValue, 16);
    return std::string(digits, result.ptr);
}

// Writes the response as scripted, faults included.
Ending Send(const HttpResponse& response, const HttpRequest& request,
            loopback::ResponseWriter& writer)
{
    if (response.neverRespond) {
        writer.WaitUntil(loopback::ResponseWriter::Clock::time_point::max());
        return Ending::Dropped;
    }
    if (response.delayBeforeHeaders.count() > 0 && !writer.WaitFor(response.delayBeforeHeaders)) {
        return Ending::Dropped;
    }

    RangeAnswer range{response.status, response.body, {}};
    if (response.honourRange && response.status == 200) {
        range = ApplyRange(response, request);
    }
    const std::string_view strBody = range.strBody;
    const int intStatus = range.intStatus;
    const bool bBodyless = intStatus < 200 || intStatus == 204 || intStatus == 304;
    const bool bCloseDelimited = !bBodyless && !response.chunked && !response.sendContentLength;
    const std::optional<std::string> strConnection = response.Header("Connection");
    const bool bClose = !response.keepAlive || bCloseDelimited ||
                        (strConnection && HasListToken(*strConnection, "close"));

    loopback::ResponseHead head(intStatus,
                                intStatus == response.status ? response.reason : std::string());
    if (!response.contentType.empty()) {
        head.Add("Content-Type", response.contentType);
    }
    for (const auto& [strName, strValue] : response.headers) {
        head.Add(strName, strValue);
    }
    if (response.honourRange) {
        head.Add("Accept-Ranges", "bytes");
    }
    if (!range.strContentRange.empty()) {
        head.Add("Content-Range", range.strContentRange);
    }
    if (!bBodyless) {
        if (response.chunked) {
            head.Add("Transfer-Encoding", "chunked");
        } else if (response.sendContentLength) {
            head.AddContentLength(strBody.size());
        }
    }
    if (!writer.WriteHead(head, bClose)) {
        return Ending::Dropped;
    }
    if (bBodyless || request.strMethod == "HEAD") {
        return Ending::Complete;
    }

    const std::size_t uintLimit =
        std::min(response.closeAfterBodyBytes.value_or(strBody.size()), strBody.size());
    const std::size_t uintPieceSize =
        response.chunkSize == 0 ? std::max<std::size_t>(strBody.size(), 1) : response.chunkSize;
    for (std::size_t uintOffset = 0; uintOffset < strBody.size(); uintOffset += uintPieceSize) {
        if (uintOffset >= uintLimit) {
            return Ending::CutShort;
        }
        if (uintOffset > 0 && response.delayBetweenChunks.count() > 0 &&
            !writer.WaitFor(response.delayBetweenChunks)) {
            return Ending::Dropped;
        }
        const std::string_view strPiece = strBody.substr(uintOffset, uintPieceSize);
        const std::string_view strAllowed = strPiece.substr(0, uintLimit - uintOffset);
        bool bWritten = false;
        if (response.chunked) {
            std::string strFrame = HexText(strPiece.size()) + "\r\n";
            strFrame += strAllowed;
            if (strAllowed.size() == strPiece.size()) {
                strFrame += "\r\n";
            }
            bWritten = writer.Write(strFrame);
        } else {
            bWritten = writer.Write(strAllowed);
        }
        if (!bWritten) {
            return Ending::Dropped;
        }
        if (strAllowed.size() < strPiece.size()) {
            return Ending::CutShort;
        }
    }
    if (response.chunked && !writer.Write("0\r\n\r\n")) {
        return Ending::Dropped;
    }
    return response.closeAfterBodyBytes ? Ending::CutShort : Ending::Complete;
}

}  // namespace

class TestHttpServer::Impl final : public loopback::IRequestHandler {
public:
    explicit Impl(std::unique_ptr<TlsServerContext> pTls);
    ~Impl() override;

    bool ServesTls() const { return m_pTls != nullptr; }
    loopback::LoopbackServer& Server() { return m_server; }
    const loopback::LoopbackServer& Server() const { return m_server; }

    void SetRoute(const std::string& strPath, std::shared_ptr<const HttpResponse> pFixed,
                  std::shared_ptr<const HttpHandler> pHandler);
    std::vector<HttpRequest> Requests() const;
    std::size_t RequestCount(const std::string& strPath) const;
    bool WaitForRequests(std::size_t uintCount, std::chrono::milliseconds timeOut) const;

private:
    struct RouteEntry {
        std::shared_ptr<const HttpResponse> pFixed;
        std::shared_ptr<const HttpHandler> pHandler;
    };

    // Records the request, then answers it from its route.
    Ending Answer(const HttpRequest& request, loopback::ResponseWriter& writer) override;
    static loopback::LoopbackServer::Options ServerOptions(const TlsServerContext* pTls);

    const std::unique_ptr<TlsServerContext> m_pTls;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_requestArrived;
    std::map<std::string, RouteEntry, std::less<>> m_routes;
    std::vector<HttpRequest> m_requests;
    // Last: its threads end before the routes and the log go.
    loopback::LoopbackServer m_server;
};

TestHttpServer::Impl::Impl(std::unique_ptr<TlsServerContext> pTls)
    : m_pTls(std::move(pTls)), m_server(*this, ServerOptions(m_pTls.get()))
{
    m_server.Start();
}

TestHttpServer::Impl::~Impl()
{
    m_server.Stop();
}

loopback::LoopbackServer::Options TestHttpServer::Impl::ServerOptions(const TlsServerContext* pTls)
{
    loopback::LoopbackServer::Options options;
    if (pTls != nullptr) {
        options.streamFactory = [pTls](loopback::SocketStream&& socket) {
            return pTls->Accept(std::move(socket));
        };
    }
    return options;
}

void TestHttpServer::Impl::SetRoute(const std::string& strPath,
                                    std::shared_ptr<const HttpResponse> pFixed,
                                    std::shared_ptr<const HttpHandler> pHandler)
{
    std::lock_guard lock(m_mutex);
    m_routes[strPath] = RouteEntry{std::move(pFixed), std::move(pHandler)};
}

std::vector<HttpRequest> TestHttpServer::Impl::Requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::size_t TestHttpServer::Impl::RequestCount(const std::string& strPath) const
{
    std::lock_guard lock(m_mutex);
    return static_cast<std::size_t>(
        std::count_if(m_requests.begin(), m_requests.end(),
                      [&](const HttpRequest& request) { return request.Path() == strPath; }));
}

bool TestHttpServer::Impl::WaitForRequests(std::size_t uintCount,
                                           std::chrono::milliseconds timeOut) const
{
    std::unique_lock lock(m_mutex);
    return m_requestArrived.wait_for(lock, timeOut, [&] { return m_requests.size() >= uintCount; });
}

Ending TestHttpServer::Impl::Answer(const HttpRequest& request, loopback::ResponseWriter& writer)
{
    RouteEntry route;
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(request);
        if (const auto it = m_routes.find(request.Path()); it != m_routes.end()) {
            route = it->second;
        }
    }
    m_requestArrived.notify_all();
    if (route.pFixed) {
        return Send(*route.pFixed, request, writer);
    }
    HttpResponse response;
    if (route.pHandler) {
        try {
            response = (*route.pHandler)(request);
        } catch (const std::exception& failure) {
            response = HttpResponse::Text(500, std::string("handler threw: ") + failure.what());
        } catch (...) {
            response = HttpResponse::Text(500, "handler threw");
        }
    } else {
        response = HttpResponse::Text(404, "Not Found");
    }
    return Send(response, request, writer);
}

TestHttpServer::TestHttpServer() : m_pImpl(std::make_unique<Impl>(nullptr))
{
}

TestHttpServer::TestHttpServer(const TlsIdentity& identity)
    : m_pImpl(std::make_unique<Impl>(std::make_unique<TlsServerContext>(identity)))
{
}

TestHttpServer::~TestHttpServer() = default;

std::uint16_t TestHttpServer::Port() const
{
    return m_pImpl->Server().Port();
}

std::string TestHttpServer::BaseUrl() const
{
    if (!m_pImpl->ServesTls()) {
        return m_pImpl->Server().BaseUrl();
    }
    return "https://localhost:" + loopback::DecimalText(Port());
}

void TestHttpServer::Route(const std::string& strPath, HttpResponse response)
{
    m_pImpl->SetRoute(strPath, std::make_shared<const HttpResponse>(std::move(response)), nullptr);
}

void TestHttpServer::Route(const std::string& strPath, HttpHandler handler)
{
    m_pImpl->SetRoute(strPath, nullptr, std::make_shared<const HttpHandler>(std::move(handler)));
}

std::vector<HttpRequest> TestHttpServer::Requests() const
{
    return m_pImpl->Requests();
}

std::size_t TestHttpServer::RequestCount(const std::string& strPath) const
{
    return m_pImpl->RequestCount(strPath);
}

int TestHttpServer::ConnectionCount() const
{
    return m_pImpl->Server().ConnectionCount();
}

bool TestHttpServer::WaitForRequests(std::size_t uintCount, std::chrono::milliseconds timeOut) const
{
    return m_pImpl->WaitForRequests(uintCount, timeOut);
}

void TestHttpServer::Stop()
{
    m_pImpl->Server().Stop();
}

}  // namespace pullbay::test
