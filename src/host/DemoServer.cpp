#include "host/DemoServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <string_view>
#include <utility>

#include "core/TextUnits.h"
#include "core/ThrowSite.h"
#include "core/Win32Errors.h"

namespace pullbay::host {

namespace {

using namespace std::chrono_literals;

constexpr std::size_t kMinSliceBytes = 4 * 1024;
constexpr std::size_t kMaxSliceBytes = 64 * 1024;
// About fifty slices a second: smooth progress without a wake-up per packet.
constexpr std::uint64_t kSlicesPerSecond = 50;
constexpr std::size_t kReadBytes = 4096;
// A connection being closed gets this long to take its last bytes and to
// send what it still had in flight.
constexpr auto kLingerTime = 2s;
// Out of descriptors: accepting is retried after this pause instead of
// spinning on a listen socket that stays readable.
constexpr auto kAcceptPause = 100ms;

constexpr std::string_view kTextType = "text/plain; charset=utf-8";
constexpr std::string_view kBadRequestText = "Bad Request\n";
constexpr std::string_view kNotFoundText = "Not Found\n";
constexpr std::string_view kMethodNotAllowedText = "Method Not Allowed\n";

// Owns one file descriptor.
class Descriptor {
public:
    explicit Descriptor(int h = -1) : m_h(h) {}
    ~Descriptor() { Reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int Get() const { return m_h; }
    int Release() { return std::exchange(m_h, -1); }
    void Reset(int h = -1)
    {
        if (m_h >= 0) {
            ::close(m_h);
        }
        m_h = h;
    }

private:
    int m_h;
};

void CloseHandle(int& h)
{
    if (h >= 0) {
        ::close(h);
        h = -1;
    }
}

void ThrowSocketFailure(const wchar_t* strWhat)
{
    const int intErrno = errno;
    core::ThrowErrnoException(intErrno != 0 ? intErrno : EIO, strWhat);
}

std::string NumberText(std::uint64_t uintValue)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, uintValue);
    return std::string(buffer, result.ptr);
}

bool IsTokenChar(char ch)
{
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
           std::string_view("!#$%&'*+-.^_`|~").find(ch) != std::string_view::npos;
}

bool IsToken(std::string_view strText)
{
    return !strText.empty() && std::all_of(strText.begin(), strText.end(), IsTokenChar);
}

// Control characters (NUL, a stray CR among them) make a head unreadable;
// a tab is allowed in header values only.
bool HasControlCharacter(std::string_view strText, bool bTabAllowed)
{
    return std::any_of(strText.begin(), strText.end(), [&](char ch) {
        const auto uintCh = static_cast<unsigned char>(ch);
        return (uintCh < 0x20 && !(bTabAllowed && ch == '\t')) || uintCh == 0x7F;
    });
}

std::string_view TrimBlanks(std::string_view strText)
{
    const std::size_t uintFirst = strText.find_first_not_of(" \t");
    if (uintFirst == std::string_view::npos) {
        return {};
    }
    return strText.substr(uintFirst, strText.find_last_not_of(" \t") - uintFirst + 1);
}

// Whether a comma-separated header value such as Connection holds the token.
bool HasListToken(std::string_view strValue, std::string_view strToken)
{
    while (!strValue.empty()) {
        const std::size_t uintComma = strValue.find(',');
        if (core::EqualsIgnoreAsciiCase(TrimBlanks(strValue.substr(0, uintComma)), strToken)) {
            return true;
        }
        if (uintComma == std::string_view::npos) {
            break;
        }
        strValue.remove_prefix(uintComma + 1);
    }
    return false;
}

// The length of the request head (through its blank line), or npos while
// the blank line has not arrived. Lines end with LF, optionally CR LF.
std::size_t HeadLength(std::string_view strInput)
{
    std::size_t uintLineStart = 0;
    for (;;) {
        const std::size_t uintFeed = strInput.find('\n', uintLineStart);
        if (uintFeed == std::string_view::npos) {
            return std::string_view::npos;
        }
        const std::size_t uintLineLength = uintFeed - uintLineStart;
        if (uintLineLength == 0 || (uintLineLength == 1 && strInput[uintLineStart] == '\r')) {
            return uintFeed + 1;
        }
        uintLineStart = uintFeed + 1;
    }
}

std::string ResponseHead(int intStatus, std::string_view strReason, std::string_view strContentType,
                         std::uint64_t uintLength, std::string_view strConnection,
                         std::string_view strExtraHeaders)
{
    std::string strHead = "HTTP/1.1 ";
    strHead += NumberText(static_cast<std::uint64_t>(intStatus));
    strHead += ' ';
    strHead += strReason;
    strHead += "\r\nContent-Type: ";
    strHead += strContentType;
    strHead += "\r\nContent-Length: ";
    strHead += NumberText(uintLength);
    strHead += "\r\n";
    if (!strConnection.empty()) {
        strHead += "Connection: ";
        strHead += strConnection;
        strHead += "\r\n";
    }
    strHead += strExtraHeaders;
    strHead += "\r\n";
    return strHead;
}

}  // namespace

struct DemoServer::Connection {
    explicit Connection(Clock::time_point now) : lastActivity(now) {}

    // Whether a response is under way (head or body bytes left to send).
    bool Responding() const { return !strOutput.empty() || pBody != nullptr; }

    Descriptor socket;
    // Received bytes of requests not yet answered.
    std::string strInput;
    // Bytes of the response ready to send, and how many of them went out.
    std::string strOutput;
    std::size_t uintOutputSent = 0;
    // The file whose body is being sent in slices, and the next offset.
    const DemoCatalog::File* pBody = nullptr;
    std::uint64_t uintBodyNext = 0;
    Clock::time_point bodyStart{};
    bool bCloseAfterResponse = false;
    // Shut down for writing; what the client still sends is read and
    // dropped until it closes, so our last response is not lost to a reset.
    bool bClosing = false;
    Clock::time_point closeDeadline{};
    Clock::time_point lastActivity;
};

struct DemoServer::Request {
    std::string_view strMethod;
    // The target's path, without query.
    std::string_view strPath;
    bool bKeepAlive = true;
    bool bHttp10 = false;
    // The request carries a body, which is not read: the connection closes
    // after the answer.
    bool bHasBody = false;
};

DemoServer::DemoServer(std::uint64_t uintBytesPerSecond)
    : m_uintBytesPerSecond(uintBytesPerSecond)
{
}

DemoServer::~DemoServer()
{
    Stop();
}

std::string DemoServer::Start()
{
    if (m_thread.joinable()) {
        return BaseUrl();
    }
    Descriptor listen(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (listen.Get() < 0) {
        ThrowSocketFailure(L"DemoServer socket:");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = 0;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t uintAddressLength = sizeof address;
    if (::bind(listen.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listen.Get(), SOMAXCONN) != 0 ||
        ::getsockname(listen.Get(), reinterpret_cast<sockaddr*>(&address), &uintAddressLength) != 0) {
        ThrowSocketFailure(L"DemoServer listen:");
    }
    Descriptor wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (wake.Get() < 0) {
        ThrowSocketFailure(L"DemoServer eventfd:");
    }

    m_bStop = false;
    m_intConnections = 0;
    m_uintPort = ntohs(address.sin_port);
    m_strListText = m_catalog.ListText(BaseUrl());
    m_hListen = listen.Get();
    m_hWake = wake.Get();
    try {
        m_thread = std::thread(&DemoServer::Serve, this);
    } catch (...) {
        // The descriptors close with their owners here.
        core::RecordForeignFailure();
        m_hListen = -1;
        m_hWake = -1;
        throw;
    }
    listen.Release();
    wake.Release();
    return BaseUrl();
}

void DemoServer::Stop()
{
    if (!m_thread.joinable()) {
        return;
    }
    m_bStop = true;
    const std::uint64_t uintOne = 1;
    // Cannot fail short of a counter overflow, which a single write never
    // reaches; the flag is set either way.
    (void)!::write(m_hWake, &uintOne, sizeof uintOne);
    m_thread.join();
    CloseHandle(m_hListen);
    CloseHandle(m_hWake);
}

std::string DemoServer::BaseUrl() const
{
    return "http://127.0.0.1:" + NumberText(Port());
}

std::string DemoServer::ListUrl() const
{
    return BaseUrl() + std::string(DemoCatalog::kListPath);
}

void DemoServer::Serve()
{
    try {
        RunLoop();
    } catch (...) {
        // The thread's boundary: record, and refuse further connections so
        // that clients fail at once instead of waiting in the queue.
        core::RecordForeignFailure();
        ::shutdown(m_hListen, SHUT_RDWR);
    }
    m_connections.clear();
}

void DemoServer::RunLoop()
{
    std::vector<pollfd> descriptors;
    while (!m_bStop.load()) {
        const Clock::time_point now = Clock::now();
        Clock::time_point deadline = Clock::time_point::max();
        descriptors.clear();
        descriptors.push_back({m_hWake, POLLIN, 0});
        const bool bRoom = m_connections.size() < kMaxConnections;
        if (bRoom && now < m_acceptPausedUntil) {
            deadline = m_acceptPausedUntil;
        }
        // poll() skips a negative descriptor.
        descriptors.push_back({bRoom && now >= m_acceptPausedUntil ? m_hListen : -1, POLLIN, 0});
        for (const auto& pConnection : m_connections) {
            const Connection& connection = *pConnection;
            short intEvents = 0;
            if (connection.bClosing) {
                intEvents = POLLIN;
                deadline = std::min(deadline, connection.closeDeadline);
            } else if (connection.uintOutputSent < connection.strOutput.size()) {
                intEvents = POLLOUT;
            } else if (connection.Responding()) {
                // A paced body: writable again when its next slice is due.
                const Clock::time_point release = ReleaseTime(connection);
                if (release <= now) {
                    intEvents = POLLOUT;
                } else {
                    deadline = std::min(deadline, release);
                }
            } else {
                intEvents = POLLIN;
                deadline = std::min(deadline, connection.lastActivity + kIdleTimeOut);
            }
            descriptors.push_back({connection.socket.Get(), intEvents, 0});
        }

        int intTimeOut = -1;
        if (deadline != Clock::time_point::max()) {
            // Rounded up: waking a little early would only spin.
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
            intTimeOut = static_cast<int>(std::clamp<decltype(wait)>(wait, 0, INT_MAX));
        }
        if (::poll(descriptors.data(), descriptors.size(), intTimeOut) < 0) {
            if (errno == EINTR) {
                continue;
            }
            ThrowSocketFailure(L"DemoServer poll:");
        }
        if (descriptors[0].revents != 0) {
            std::uint64_t uintCount = 0;
            (void)!::read(m_hWake, &uintCount, sizeof uintCount);
        }
        if (m_bStop.load()) {
            break;
        }

        const Clock::time_point after = Clock::now();
        for (std::size_t i = 0; i < m_connections.size(); ++i) {
            Connection& connection = *m_connections[i];
            const short intReady = descriptors[i + 2].revents;
            bool bKeep = true;
            try {
                if ((intReady & (POLLERR | POLLNVAL)) != 0) {
                    bKeep = false;
                } else if ((intReady & POLLIN) != 0) {
                    bKeep = ReadFrom(connection, after);
                } else if ((intReady & POLLHUP) != 0) {
                    bKeep = false;
                }
                if (bKeep && (intReady & POLLOUT) != 0) {
                    bKeep = WriteTo(connection, after);
                }
                bKeep = bKeep && !Expired(connection, after);
            } catch (...) {
                // One connection's failure (memory) ends that connection only.
                core::RecordForeignFailure();
                bKeep = false;
            }
            if (!bKeep) {
                m_connections[i].reset();
            }
        }
        std::erase(m_connections, nullptr);
        if ((descriptors[1].revents & POLLIN) != 0) {
            AcceptConnections(after);
        }
    }
}

void DemoServer::AcceptConnections(Clock::time_point now)
{
    while (m_connections.size() < kMaxConnections) {
        auto pConnection = std::make_unique<Connection>(now);
        pConnection->socket.Reset(::accept4(m_hListen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (pConnection->socket.Get() < 0) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                m_acceptPausedUntil = now + kAcceptPause;
            }
            return;
        }
        m_connections.push_back(std::move(pConnection));
        ++m_intConnections;
    }
}

bool DemoServer::ReadFrom(Connection& connection, Clock::time_point now)
{
    char buffer[kReadBytes];
    const ssize_t intRead = ::recv(connection.socket.Get(), buffer, sizeof buffer, 0);
    if (intRead < 0) {
        return errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK;
    }
    if (intRead == 0) {
        return false;
    }
    if (connection.bClosing) {
        return true;
    }
    connection.lastActivity = now;
    connection.strInput.append(buffer, static_cast<std::size_t>(intRead));
    HandleInput(connection, now);
    return true;
}

bool DemoServer::WriteTo(Connection& connection, Clock::time_point now)
{
    for (;;) {
        if (connection.uintOutputSent == connection.strOutput.size()) {
            connection.strOutput.clear();
            connection.uintOutputSent = 0;
            if (connection.pBody != nullptr) {
                const std::uint64_t uintSize = connection.pBody->uintSize;
                if (connection.uintBodyNext == uintSize) {
                    connection.pBody = nullptr;
                } else if (ReleaseTime(connection) > now) {
                    return true;
                } else {
                    const auto uintSlice = static_cast<std::size_t>(
                        std::min<std::uint64_t>(SliceBytes(), uintSize - connection.uintBodyNext));
                    connection.strOutput.resize(uintSlice);
                    DemoCatalog::ReadBody(*connection.pBody, connection.uintBodyNext,
                                          connection.strOutput.data(), uintSlice);
                    connection.uintBodyNext += uintSlice;
                }
            }
            if (connection.strOutput.empty()) {
                // The response is complete.
                connection.lastActivity = now;
                if (connection.bCloseAfterResponse) {
                    BeginClosing(connection, now);
                } else {
                    // A request that arrived together with the last one.
                    HandleInput(connection, now);
                }
                return true;
            }
        }
        const ssize_t intSent = ::send(connection.socket.Get(), connection.strOutput.data() + connection.uintOutputSent,
                                       connection.strOutput.size() - connection.uintOutputSent, MSG_NOSIGNAL);
        if (intSent < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
        connection.uintOutputSent += static_cast<std::size_t>(intSent);
    }
}

void DemoServer::HandleInput(Connection& connection, Clock::time_point now)
{
    if (connection.Responding() || connection.bClosing) {
        return;
    }
    // Blank lines before a request line are ignored.
    std::string& strInput = connection.strInput;
    strInput.erase(0, std::min(strInput.find_first_not_of("\r\n"), strInput.size()));
    const std::size_t uintHead = HeadLength(strInput);
    if (uintHead == std::string::npos) {
        if (strInput.size() > kMaxHeadBytes) {
            Refuse(connection);
        }
        return;
    }
    if (uintHead > kMaxHeadBytes) {
        Refuse(connection);
        return;
    }
    const std::string strHead = strInput.substr(0, uintHead);
    strInput.erase(0, uintHead);
    Request request;
    if (!ParseRequest(strHead, request)) {
        Refuse(connection);
        return;
    }
    Answer(connection, request, now);
}

bool DemoServer::ParseRequest(std::string_view strHead, Request& request)
{
    std::vector<std::string_view> lines;
    while (!strHead.empty()) {
        const std::size_t uintFeed = strHead.find('\n');
        std::string_view strLine = strHead.substr(0, uintFeed);
        if (!strLine.empty() && strLine.back() == '\r') {
            strLine.remove_suffix(1);
        }
        if (!strLine.empty()) {
            lines.push_back(strLine);
        }
        strHead.remove_prefix(uintFeed == std::string_view::npos ? strHead.size() : uintFeed + 1);
    }
    if (lines.empty()) {
        return false;
    }

    // method SP request-target SP HTTP-version, single spaces.
    const std::string_view strLine = lines[0];
    const std::size_t uintFirst = strLine.find(' ');
    const std::size_t uintSecond =
        uintFirst == std::string_view::npos ? std::string_view::npos : strLine.find(' ', uintFirst + 1);
    if (uintSecond == std::string_view::npos || strLine.find(' ', uintSecond + 1) != std::string_view::npos) {
        return false;
    }
    request.strMethod = strLine.substr(0, uintFirst);
    std::string_view strTarget = strLine.substr(uintFirst + 1, uintSecond - uintFirst - 1);
    const std::string_view strVersion = strLine.substr(uintSecond + 1);
    if (!IsToken(request.strMethod) || strTarget.empty() || HasControlCharacter(strTarget, false)) {
        return false;
    }
    if (strVersion == "HTTP/1.0") {
        request.bHttp10 = true;
    } else if (strVersion != "HTTP/1.1") {
        return false;
    }
    // The absolute form names this server; only its path matters here.
    constexpr std::string_view kScheme = "http://";
    if (strTarget.size() > kScheme.size() &&
        core::EqualsIgnoreAsciiCase(strTarget.substr(0, kScheme.size()), kScheme)) {
        const std::size_t uintPath = strTarget.find('/', kScheme.size());
        strTarget = uintPath == std::string_view::npos ? std::string_view("/") : strTarget.substr(uintPath);
    }
    if (strTarget.front() != '/') {
        return false;
    }
    request.strPath = strTarget.substr(0, strTarget.find_first_of("?#"));

    bool bHost = false;
    bool bClose = false;
    bool bKeepAliveToken = false;
    bool bLengthSeen = false;
    std::uint64_t uintLength = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string_view strField = lines[i];
        // A line that begins with a blank continues the previous one: an
        // obsolete form that is refused rather than misread.
        const std::size_t uintColon = strField.find(':');
        if (uintColon == std::string_view::npos || !IsToken(strField.substr(0, uintColon))) {
            return false;
        }
        const std::string_view strName = strField.substr(0, uintColon);
        const std::string_view strValue = TrimBlanks(strField.substr(uintColon + 1));
        if (HasControlCharacter(strValue, true)) {
            return false;
        }
        if (core::EqualsIgnoreAsciiCase(strName, "Host")) {
            bHost = true;
        } else if (core::EqualsIgnoreAsciiCase(strName, "Connection")) {
            bClose = bClose || HasListToken(strValue, "close");
            bKeepAliveToken = bKeepAliveToken || HasListToken(strValue, "keep-alive");
        } else if (core::EqualsIgnoreAsciiCase(strName, "Content-Length")) {
            std::uint64_t uintValue = 0;
            const auto result = std::from_chars(strValue.data(), strValue.data() + strValue.size(), uintValue);
            if (strValue.empty() || result.ec != std::errc() || result.ptr != strValue.data() + strValue.size() ||
                (bLengthSeen && uintValue != uintLength)) {
                return false;
            }
            bLengthSeen = true;
            uintLength = uintValue;
        } else if (core::EqualsIgnoreAsciiCase(strName, "Transfer-Encoding")) {
            request.bHasBody = true;
        }
    }
    // HTTP/1.1 requires Host.
    if (!request.bHttp10 && !bHost) {
        return false;
    }
    request.bHasBody = request.bHasBody || uintLength > 0;
    request.bKeepAlive = !bClose && (!request.bHttp10 || bKeepAliveToken);
    return true;
}

void DemoServer::Answer(Connection& connection, const Request& request, Clock::time_point now)
{
    const bool bHead = request.strMethod == "HEAD";
    connection.bCloseAfterResponse = !request.bKeepAlive || request.bHasBody;
    const std::string_view strConnection =
        connection.bCloseAfterResponse ? "close" : (request.bHttp10 ? "keep-alive" : "");

    std::string_view strSmallBody;
    if (request.strMethod != "GET" && !bHead) {
        connection.strOutput = ResponseHead(405, "Method Not Allowed", kTextType, kMethodNotAllowedText.size(),
                                            strConnection, "Allow: GET, HEAD\r\n");
        strSmallBody = kMethodNotAllowedText;
    } else if (request.strPath == DemoCatalog::kListPath) {
        connection.strOutput = ResponseHead(200, "OK", DemoCatalog::kListContentType, m_strListText.size(),
                                            strConnection, "");
        strSmallBody = m_strListText;
    } else if (const DemoCatalog::File* pFile = m_catalog.Find(request.strPath); pFile != nullptr && pFile->bServed) {
        connection.strOutput = ResponseHead(200, "OK", pFile->strContentType, pFile->uintSize, strConnection, "");
        if (!bHead && pFile->uintSize > 0) {
            connection.pBody = pFile;
            connection.uintBodyNext = 0;
            connection.bodyStart = now;
        }
    } else {
        connection.strOutput = ResponseHead(404, "Not Found", kTextType, kNotFoundText.size(), strConnection, "");
        strSmallBody = kNotFoundText;
    }
    if (!bHead) {
        connection.strOutput += strSmallBody;
    }
    connection.uintOutputSent = 0;
}

void DemoServer::Refuse(Connection& connection)
{
    connection.strInput.clear();
    connection.strOutput = ResponseHead(400, "Bad Request", kTextType, kBadRequestText.size(), "close", "");
    connection.strOutput += kBadRequestText;
    connection.uintOutputSent = 0;
    connection.bCloseAfterResponse = true;
}

void DemoServer::BeginClosing(Connection& connection, Clock::time_point now)
{
    ::shutdown(connection.socket.Get(), SHUT_WR);
    connection.strInput.clear();
    connection.bClosing = true;
    connection.closeDeadline = now + kLingerTime;
}

bool DemoServer::Expired(const Connection& connection, Clock::time_point now) const
{
    if (connection.bClosing) {
        return now >= connection.closeDeadline;
    }
    return !connection.Responding() && now - connection.lastActivity >= kIdleTimeOut;
}

DemoServer::Clock::time_point DemoServer::ReleaseTime(const Connection& connection) const
{
    if (m_uintBytesPerSecond == 0) {
        return Clock::time_point::min();
    }
    // Offsets stay below 2^32 (32-bit sizes), so the product fits 64 bits.
    return connection.bodyStart +
           std::chrono::nanoseconds(connection.uintBodyNext * 1'000'000'000ull / m_uintBytesPerSecond);
}

std::size_t DemoServer::SliceBytes() const
{
    if (m_uintBytesPerSecond == 0) {
        return kMaxSliceBytes;
    }
    return static_cast<std::size_t>(
        std::clamp<std::uint64_t>(m_uintBytesPerSecond / kSlicesPerSecond, kMinSliceBytes, kMaxSliceBytes));
}

}  // namespace pullbay::host
