#include "host/demo/DemoServer.h"

#include <algorithm>
#include <string_view>

#include "loopback/ResponseHead.h"

namespace pullbay::host {

namespace {

using loopback::ResponseHead;
using Ending = loopback::IRequestHandler::Ending;

constexpr std::size_t kMinSliceBytes = 4 * 1024;
constexpr std::size_t kMaxSliceBytes = 64 * 1024;
// About fifty slices a second: smooth progress without a wake-up per packet.
constexpr std::uint64_t kSlicesPerSecond = 50;

constexpr std::string_view kTextType = "text/plain; charset=utf-8";
constexpr std::string_view kNotFoundText = "Not Found\n";
constexpr std::string_view kMethodNotAllowedText = "Method Not Allowed\n";

loopback::LoopbackServer::Options ServerOptions()
{
    loopback::LoopbackServer::Options options;
    options.uintMaxHeadBytes = DemoServer::kMaxHeadBytes;
    options.uintMaxConnections = DemoServer::kMaxConnections;
    options.idleTimeOut = DemoServer::kIdleTimeOut;
    return options;
}

ResponseHead Head(int intStatus, std::string_view strContentType, std::uint64_t uintLength)
{
    ResponseHead head(intStatus);
    head.Add("Content-Type", strContentType);
    head.AddContentLength(uintLength);
    return head;
}

// A response whose body is small enough to go out in one piece.
Ending SendWhole(loopback::ResponseWriter& writer, const ResponseHead& head,
                 std::string_view strBody, bool bHead)
{
    return writer.WriteHead(head, false) && (bHead || writer.Write(strBody)) ? Ending::Complete
                                                                             : Ending::Dropped;
}

}  // namespace

DemoServer::DemoServer(std::uint64_t uintBytesPerSecond)
    : m_uintBytesPerSecond(uintBytesPerSecond), m_server(*this, ServerOptions())
{
}

DemoServer::~DemoServer()
{
    Stop();
}

std::string DemoServer::Start()
{
    m_server.Start();
    return BaseUrl();
}

void DemoServer::Stop()
{
    m_server.Stop();
}

std::string DemoServer::ListUrl() const
{
    return BaseUrl() + std::string(DemoCatalog::kListPath);
}

std::string DemoServer::PageHtml()
{
    return "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
           "<title>Pullbay demo</title>\n</head>\n"
           "<body style=\"font-family:sans-serif;margin:40px\">\n"
           "<h1>Pullbay demo</h1>\n"
           "<p>A dozen files, some in sub-folders, one missing and one of the wrong type.</p>\n"
           "<object id=\"pullbay\" classid=\"clsid:6E3B1A52-94C7-4D1E-8F20-3A5C7B9D1E01\" "
           "width=\"240\" height=\"48\">\n"
           "  <param name=\"FileList\" value=\"" +
           std::string(DemoCatalog::kListPath.substr(1)) +
           "\">\n"
           "  <param name=\"ButtonDownloadText\" value=\"Download the demo files\">\n"
           "  <param name=\"BackgroundColor\" value=\"WhiteSmoke\">\n"
           "  <param name=\"TimeOut\" value=\"60000\">\n"
           "  <param name=\"ParallelDownloads\" value=\"6\">\n"
           "  <param name=\"RetryAfterLimit\" value=\"60\">\n"
           "</object>\n"
           "<p id=\"status\"></p>\n"
           "<script>\n"
           "const control = document.getElementById('pullbay');\n"
           "const status = document.getElementById('status');\n"
           "control.addEventListener('DownloadItemComplete', (e) => {\n"
           "  status.textContent = e.detail.fileName + ': ' + e.detail.downloadResult;\n"
           "});\n"
           "control.onDownloadComplete = (result) => {\n"
           "  status.textContent = 'DownloadComplete ' + result;\n"
           "};\n"
           "</script>\n"
           "</body>\n</html>\n";
}

Ending DemoServer::Answer(const loopback::HttpRequest& request, loopback::ResponseWriter& writer)
{
    const bool bHead = request.strMethod == "HEAD";
    if (request.strMethod != "GET" && !bHead) {
        ResponseHead head = Head(405, kTextType, kMethodNotAllowedText.size());
        head.Add("Allow", "GET, HEAD");
        return SendWhole(writer, head, kMethodNotAllowedText, false);
    }
    const std::string strPath = request.Path();
    if (strPath == "/" || strPath == kPagePath) {
        const std::string strPage = PageHtml();
        return SendWhole(writer, Head(200, "text/html; charset=utf-8", strPage.size()), strPage,
                         bHead);
    }
    if (strPath == DemoCatalog::kListPath) {
        // The list names this server, whose port is fixed while it runs.
        const std::string strList = m_catalog.ListText(BaseUrl());
        return SendWhole(writer, Head(200, DemoCatalog::kListContentType, strList.size()), strList,
                         bHead);
    }
    if (const DemoCatalog::File* pFile = m_catalog.Find(strPath);
        pFile != nullptr && pFile->bServed) {
        if (!writer.WriteHead(Head(200, pFile->strContentType, pFile->uintSize), false)) {
            return Ending::Dropped;
        }
        return bHead ? Ending::Complete : SendBody(*pFile, writer);
    }
    return SendWhole(writer, Head(404, kTextType, kNotFoundText.size()), kNotFoundText, bHead);
}

Ending DemoServer::SendBody(const DemoCatalog::File& file, loopback::ResponseWriter& writer) const
{
    const Clock::time_point start = Clock::now();
    std::string strSlice;
    for (std::uint64_t uintNext = 0; uintNext < file.uintSize;) {
        // Offsets stay below 2^32 (32-bit sizes), so the product fits 64 bits.
        if (m_uintBytesPerSecond != 0 &&
            !writer.WaitUntil(start + std::chrono::nanoseconds(uintNext * 1'000'000'000ull /
                                                               m_uintBytesPerSecond))) {
            return Ending::Dropped;
        }
        strSlice.resize(static_cast<std::size_t>(
            std::min<std::uint64_t>(SliceBytes(), file.uintSize - uintNext)));
        DemoCatalog::ReadBody(file, uintNext, strSlice.data(), strSlice.size());
        if (!writer.Write(strSlice)) {
            return Ending::Dropped;
        }
        uintNext += strSlice.size();
    }
    return Ending::Complete;
}

std::size_t DemoServer::SliceBytes() const
{
    if (m_uintBytesPerSecond == 0) {
        return kMaxSliceBytes;
    }
    return static_cast<std::size_t>(std::clamp<std::uint64_t>(
        m_uintBytesPerSecond / kSlicesPerSecond, kMinSliceBytes, kMaxSliceBytes));
}

}  // namespace pullbay::host
