// A TCP proxy that makes a loopback server look far away: every chunk read
// from one side is written to the other one half round trip later, in
// order, each way, and a new connection pays the round trip of a TCP
// handshake before its first byte. Bandwidth is not limited; each direction
// holds at most kMaxQueuedBytes in flight (it stops reading until its queue
// drains), like a window of that size.
//
//   build/bench/bench_delay_proxy --upstream 127.0.0.1:PORT --rtt-ms 40 [--listen 127.0.0.1:0]
//
// Prints "listening HOST:PORT" once it accepts connections (port 0: the
// kernel's choice), then runs until it is killed. One thread, epoll, and a
// timerfd for the next chunk that falls due.
//
// The handshake: the proxy connects upstream at once, but holds what the
// client sends until one round trip after the accept, then adds the half
// round trip that every chunk pays. A real client's connect returns one
// round trip after it started and its first bytes arrive half a round trip
// later; here the connect returns at once, so the round trip is added to
// the first bytes instead, and the first answer reaches the client two
// round trips after the connect, as over a real link. Connecting upstream
// at once (rather than after a delay) keeps a refused or failed upstream
// visible at once, and costs nothing: the server sends nothing before the
// client has spoken (HTTP, TLS). The server's direction therefore has no
// hold.
//
// Closing: an end of stream (read returns 0) travels like a chunk and
// becomes a shutdown(SHUT_WR) on the other side once everything before it
// was written, so a half-closed connection (a TLS close_notify followed by
// FIN, a client that shuts down its sending side) behaves as it would
// without the proxy. A reset (read or write failing) travels the same way
// and resets the other side. A pair is closed once both directions have
// ended.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReadBytes = 64 * 1024;
constexpr std::size_t kMaxQueuedBytes = 16 * 1024 * 1024;
// The interest mask of a socket that has left the epoll set.
constexpr std::uint32_t kRemoved = ~std::uint32_t{0};

struct Options {
    sockaddr_in listen{};
    sockaddr_in upstream{};
    Clock::duration rtt{};
};

enum class ChunkKind { Data, End, Reset };

struct Chunk {
    Clock::time_point due;
    ChunkKind kind;
    std::vector<char> bytes;
};

// One way of a connection pair: read from one socket, written to the other.
struct Direction {
    std::deque<Chunk> chunks;
    std::size_t uintHeadWritten = 0;  // bytes of the front chunk written already
    std::size_t uintQueuedBytes = 0;
    Clock::time_point holdUntil{};  // nothing leaves before this
    bool bSourceEnded = false;      // the source has ended or reset: no more reads
    bool bDelivered = false;        // the end (or reset) reached the other side
    bool bBlocked = false;          // the destination would block: wait for EPOLLOUT
};

struct Pair;

// What an epoll event points at: one socket of a pair.
struct Side {
    Pair* pPair;
    int intIndex;  // 0 the client, 1 the upstream
};

struct Pair {
    int fds[2] = {-1, -1};
    Side sides[2];
    // ways[0]: client to upstream; ways[1]: upstream to client.
    Direction ways[2];
    bool bUpstreamConnected = false;
    bool bDead = false;
    std::uint32_t masks[2] = {0, 0};
};

int g_intEpoll = -1;
int g_intTimer = -1;
Options g_options;
std::vector<std::unique_ptr<Pair>> g_pairs;

[[noreturn]] void Die(const char* strWhat)
{
    std::fprintf(stderr, "bench_delay_proxy: %s: %s\n", strWhat, std::strerror(errno));
    std::exit(1);
}

bool ParseAddress(const std::string& strText, sockaddr_in& address)
{
    const std::size_t uintColon = strText.rfind(':');
    if (uintColon == std::string::npos) {
        return false;
    }
    address = {};
    address.sin_family = AF_INET;
    char* pEnd = nullptr;
    const long intPort = std::strtol(strText.c_str() + uintColon + 1, &pEnd, 10);
    if (*pEnd != '\0' || intPort < 0 || intPort > 65535 ||
        ::inet_pton(AF_INET, strText.substr(0, uintColon).c_str(), &address.sin_addr) != 1) {
        return false;
    }
    address.sin_port = htons(static_cast<std::uint16_t>(intPort));
    return true;
}

std::optional<Options> ParseOptions(int argc, char** argv)
{
    Options options;
    ParseAddress("127.0.0.1:0", options.listen);
    bool bUpstream = false;
    bool bRtt = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string strName = argv[i];
        const std::string strValue = argv[i + 1];
        if (strName == "--listen") {
            if (!ParseAddress(strValue, options.listen)) {
                return std::nullopt;
            }
        } else if (strName == "--upstream") {
            bUpstream = ParseAddress(strValue, options.upstream);
            if (!bUpstream) {
                return std::nullopt;
            }
        } else if (strName == "--rtt-ms") {
            char* pEnd = nullptr;
            const double dblMs = std::strtod(strValue.c_str(), &pEnd);
            if (*pEnd != '\0' || !(dblMs >= 0)) {
                return std::nullopt;
            }
            options.rtt = std::chrono::duration_cast<Clock::duration>(
                std::chrono::duration<double, std::milli>(dblMs));
            bRtt = true;
        } else {
            return std::nullopt;
        }
    }
    if (argc % 2 == 0 || !bUpstream || !bRtt) {
        return std::nullopt;
    }
    return options;
}

// Chunks are written as they fall due; Nagle's algorithm would hold small
// ones back for an acknowledgement and add delay of its own.
void SetNoDelay(int intFd)
{
    const int intOn = 1;
    ::setsockopt(intFd, IPPROTO_TCP, TCP_NODELAY, &intOn, sizeof intOn);
}

// Closes with a reset rather than a FIN: what the peer of a reset sees.
void CloseWithReset(int intFd)
{
    const linger reset{1, 0};
    ::setsockopt(intFd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(intFd);
}

Direction& Way(Pair& pair, int intFrom)
{
    return pair.ways[intFrom];
}

// The interest of one socket: reading while its own direction takes more,
// writing while the other direction waits for room (or the connect).
void UpdateInterest(Pair& pair, int intIndex)
{
    if (pair.bDead || pair.masks[intIndex] == kRemoved) {
        return;
    }
    const Direction& out = Way(pair, intIndex);
    const Direction& in = Way(pair, 1 - intIndex);
    std::uint32_t uintMask = 0;
    const bool bConnecting = intIndex == 1 && !pair.bUpstreamConnected;
    if (!bConnecting && !out.bSourceEnded && out.uintQueuedBytes < kMaxQueuedBytes) {
        uintMask |= EPOLLIN;
    }
    if (bConnecting || in.bBlocked) {
        uintMask |= EPOLLOUT;
    }
    if (uintMask == pair.masks[intIndex]) {
        return;
    }
    epoll_event event{};
    event.events = uintMask;
    event.data.ptr = &pair.sides[intIndex];
    if (::epoll_ctl(g_intEpoll, EPOLL_CTL_MOD, pair.fds[intIndex], &event) != 0) {
        Die("epoll_ctl");
    }
    pair.masks[intIndex] = uintMask;
}

void Kill(Pair& pair)
{
    for (int& intFd : pair.fds) {
        if (intFd >= 0) {
            ::close(intFd);  // also leaves the epoll set
            intFd = -1;
        }
    }
    pair.bDead = true;
}

// Resets both sockets at once (a failed upstream connect).
void Abort(Pair& pair)
{
    for (int& intFd : pair.fds) {
        if (intFd >= 0) {
            CloseWithReset(intFd);
            intFd = -1;
        }
    }
    pair.bDead = true;
}

void Enqueue(Pair& pair, int intFrom, ChunkKind kind, std::vector<char> bytes)
{
    Direction& way = Way(pair, intFrom);
    const Clock::time_point now = Clock::now();
    const Clock::time_point due = std::max(now, way.holdUntil) + g_options.rtt / 2;
    way.uintQueuedBytes += bytes.size();
    way.chunks.push_back(Chunk{due, kind, std::move(bytes)});
    if (kind != ChunkKind::Data) {
        way.bSourceEnded = true;
    }
}

void ReadFrom(Pair& pair, int intFrom)
{
    Direction& way = Way(pair, intFrom);
    if (way.bSourceEnded) {
        return;
    }
    static char buffer[kReadBytes];
    const ssize_t intRead = ::recv(pair.fds[intFrom], buffer, sizeof buffer, 0);
    if (intRead > 0) {
        Enqueue(pair, intFrom, ChunkKind::Data, std::vector<char>(buffer, buffer + intRead));
    } else if (intRead == 0) {
        Enqueue(pair, intFrom, ChunkKind::End, {});
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        Enqueue(pair, intFrom, ChunkKind::Reset, {});
    }
}

// Writes every chunk of one direction that is due; a reset chunk, or a
// destination that fails, resets the whole pair.
void Pump(Pair& pair, int intFrom, Clock::time_point now)
{
    Direction& way = Way(pair, intFrom);
    const int intTo = 1 - intFrom;
    if (intTo == 1 && !pair.bUpstreamConnected) {
        return;
    }
    way.bBlocked = false;
    while (!pair.bDead && !way.chunks.empty() && way.chunks.front().due <= now) {
        Chunk& chunk = way.chunks.front();
        if (chunk.kind == ChunkKind::End) {
            ::shutdown(pair.fds[intTo], SHUT_WR);
            way.bDelivered = true;
            way.chunks.pop_front();
            break;
        }
        if (chunk.kind == ChunkKind::Reset) {
            Abort(pair);
            return;
        }
        const std::size_t uintLeft = chunk.bytes.size() - way.uintHeadWritten;
        const ssize_t intSent = ::send(pair.fds[intTo], chunk.bytes.data() + way.uintHeadWritten,
                                       uintLeft, MSG_NOSIGNAL);
        if (intSent < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                way.bBlocked = true;
                break;
            }
            if (errno == EINTR) {
                continue;
            }
            // The destination is gone: what the source sends can never
            // arrive, so its sender learns of it as a reset.
            Abort(pair);
            return;
        }
        way.uintHeadWritten += static_cast<std::size_t>(intSent);
        if (way.uintHeadWritten < chunk.bytes.size()) {
            way.bBlocked = true;
            break;
        }
        way.uintQueuedBytes -= chunk.bytes.size();
        way.uintHeadWritten = 0;
        way.chunks.pop_front();
    }
    if (pair.ways[0].bDelivered && pair.ways[1].bDelivered) {
        Kill(pair);
    }
}

void FinishConnect(Pair& pair)
{
    int intError = 0;
    socklen_t uintLength = sizeof intError;
    if (::getsockopt(pair.fds[1], SOL_SOCKET, SO_ERROR, &intError, &uintLength) != 0 ||
        intError != 0) {
        Abort(pair);
        return;
    }
    pair.bUpstreamConnected = true;
}

void Register(Pair& pair, int intIndex, std::uint32_t uintMask)
{
    epoll_event event{};
    event.events = uintMask;
    event.data.ptr = &pair.sides[intIndex];
    if (::epoll_ctl(g_intEpoll, EPOLL_CTL_ADD, pair.fds[intIndex], &event) != 0) {
        Die("epoll_ctl");
    }
    pair.masks[intIndex] = uintMask;
}

void Accept(int intListener)
{
    for (;;) {
        const int intClient = ::accept4(intListener, nullptr, nullptr, SOCK_NONBLOCK);
        if (intClient < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ||
                errno == ECONNABORTED) {
                return;
            }
            if (errno == EMFILE || errno == ENFILE) {
                std::fprintf(stderr, "bench_delay_proxy: accept: %s\n", std::strerror(errno));
                return;
            }
            Die("accept");
        }
        const int intUpstream = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        if (intUpstream < 0) {
            CloseWithReset(intClient);
            continue;
        }
        SetNoDelay(intClient);
        SetNoDelay(intUpstream);
        auto pPair = std::make_unique<Pair>();
        Pair& pair = *pPair;
        pair.fds[0] = intClient;
        pair.fds[1] = intUpstream;
        pair.sides[0] = Side{&pair, 0};
        pair.sides[1] = Side{&pair, 1};
        pair.ways[0].holdUntil = Clock::now() + g_options.rtt;
        const int intConnect =
            ::connect(intUpstream, reinterpret_cast<const sockaddr*>(&g_options.upstream),
                      sizeof g_options.upstream);
        if (intConnect != 0 && errno != EINPROGRESS) {
            Abort(pair);
            continue;
        }
        pair.bUpstreamConnected = intConnect == 0;
        Register(pair, 0, EPOLLIN);
        Register(pair, 1, pair.bUpstreamConnected ? EPOLLIN : EPOLLOUT);
        g_pairs.push_back(std::move(pPair));
    }
}

void HandleEvent(Side& side, std::uint32_t uintEvents)
{
    Pair& pair = *side.pPair;
    if (pair.bDead) {
        return;
    }
    const int intIndex = side.intIndex;
    if (intIndex == 1 && !pair.bUpstreamConnected) {
        if ((uintEvents & (EPOLLOUT | EPOLLERR | EPOLLHUP)) != 0) {
            FinishConnect(pair);
        }
        return;
    }
    if ((uintEvents & (EPOLLIN | EPOLLERR | EPOLLHUP)) != 0) {
        if (!Way(pair, intIndex).bSourceEnded) {
            // A reading side notices errors and hang-ups through its read.
            ReadFrom(pair, intIndex);
        } else if ((uintEvents & (EPOLLERR | EPOLLHUP)) != 0) {
            // epoll reports these whatever the interest, so a socket read to
            // its end would wake the loop again and again while chunks wait.
            // It leaves the set; a later write to it still fails as it should.
            ::epoll_ctl(g_intEpoll, EPOLL_CTL_DEL, pair.fds[intIndex], nullptr);
            pair.masks[intIndex] = kRemoved;
        }
    }
    if ((uintEvents & EPOLLOUT) != 0) {
        Way(pair, 1 - intIndex).bBlocked = false;
    }
}

// Writes what is due everywhere, updates every socket's interest, drops
// closed pairs and arms the timer for the next chunk that falls due.
void Settle()
{
    const Clock::time_point now = Clock::now();
    std::optional<Clock::time_point> next;
    for (auto& pPair : g_pairs) {
        Pair& pair = *pPair;
        for (int intFrom = 0; intFrom < 2 && !pair.bDead; ++intFrom) {
            if (!Way(pair, intFrom).bBlocked) {
                Pump(pair, intFrom, now);
            }
        }
        if (pair.bDead) {
            continue;
        }
        for (int intIndex = 0; intIndex < 2; ++intIndex) {
            UpdateInterest(pair, intIndex);
            const Direction& way = Way(pair, intIndex);
            const bool bCanWrite = intIndex == 1 || pair.bUpstreamConnected;
            if (!way.chunks.empty() && !way.bBlocked && bCanWrite) {
                const Clock::time_point due = way.chunks.front().due;
                if (!next || due < *next) {
                    next = due;
                }
            }
        }
    }
    std::erase_if(g_pairs, [](const std::unique_ptr<Pair>& pPair) { return pPair->bDead; });

    itimerspec timer{};  // all zero: disarmed
    if (next) {
        // Never zero (that would disarm it): a chunk due now wakes at once.
        const auto since = std::max(next->time_since_epoch(), now.time_since_epoch()) +
                           std::chrono::nanoseconds(1);
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
        timer.it_value.tv_sec = static_cast<time_t>(seconds.count());
        timer.it_value.tv_nsec = static_cast<long>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds).count());
    }
    // steady_clock is CLOCK_MONOTONIC on Linux, the timer's clock.
    if (::timerfd_settime(g_intTimer, TFD_TIMER_ABSTIME, &timer, nullptr) != 0) {
        Die("timerfd_settime");
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const std::optional<Options> options = ParseOptions(argc, argv);
    if (!options) {
        std::fprintf(stderr,
                     "usage: %s --upstream HOST:PORT --rtt-ms MS [--listen HOST:PORT]\n"
                     "  (IPv4 addresses; port 0 to --listen lets the kernel choose)\n",
                     argv[0]);
        return 64;
    }
    g_options = *options;
    ::signal(SIGPIPE, SIG_IGN);

    const int intListener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    const int intOn = 1;
    if (intListener < 0 ||
        ::setsockopt(intListener, SOL_SOCKET, SO_REUSEADDR, &intOn, sizeof intOn) != 0 ||
        ::bind(intListener, reinterpret_cast<const sockaddr*>(&g_options.listen),
               sizeof g_options.listen) != 0 ||
        ::listen(intListener, 1024) != 0) {
        Die("listen");
    }
    sockaddr_in bound{};
    socklen_t uintBoundLength = sizeof bound;
    if (::getsockname(intListener, reinterpret_cast<sockaddr*>(&bound), &uintBoundLength) != 0) {
        Die("getsockname");
    }

    g_intEpoll = ::epoll_create1(EPOLL_CLOEXEC);
    g_intTimer = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (g_intEpoll < 0 || g_intTimer < 0) {
        Die("epoll_create1/timerfd_create");
    }
    // The listener and the timer are told apart from sockets by these
    // addresses; a Side is never at either.
    static int intListenerTag = 0;
    static int intTimerTag = 0;
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.ptr = &intListenerTag;
    if (::epoll_ctl(g_intEpoll, EPOLL_CTL_ADD, intListener, &event) != 0) {
        Die("epoll_ctl");
    }
    event.data.ptr = &intTimerTag;
    if (::epoll_ctl(g_intEpoll, EPOLL_CTL_ADD, g_intTimer, &event) != 0) {
        Die("epoll_ctl");
    }

    char strHost[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &bound.sin_addr, strHost, sizeof strHost);
    std::printf("listening %s:%u\n", strHost, static_cast<unsigned>(ntohs(bound.sin_port)));
    std::fflush(stdout);

    std::vector<epoll_event> events(256);
    for (;;) {
        const int intCount =
            ::epoll_wait(g_intEpoll, events.data(), static_cast<int>(events.size()), -1);
        if (intCount < 0) {
            if (errno == EINTR) {
                continue;
            }
            Die("epoll_wait");
        }
        for (int i = 0; i < intCount; ++i) {
            void* pTag = events[static_cast<std::size_t>(i)].data.ptr;
            if (pTag == &intListenerTag) {
                Accept(intListener);
            } else if (pTag == &intTimerTag) {
                std::uint64_t uintExpirations = 0;
                [[maybe_unused]] const ssize_t intRead =
                    ::read(g_intTimer, &uintExpirations, sizeof uintExpirations);
            } else {
                HandleEvent(*static_cast<Side*>(pTag), events[static_cast<std::size_t>(i)].events);
            }
        }
        // Pairs are only dropped here, after the batch: a later event of
        // the same batch may still point at one that ended.
        Settle();
    }
}
