#include "support/NginxServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>
#include <vector>

#include "support/TestFiles.h"

extern char** environ;

namespace pullbay::test {
namespace {

constexpr auto kStartDeadline = std::chrono::seconds(15);
constexpr auto kPollInterval = std::chrono::milliseconds(5);
constexpr int kStartAttempts = 5;
constexpr const char* kPortClashText = "Address already in use";

sockaddr_in Loopback(std::uint16_t uintPort)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uintPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A port that is free right now (0 when none could be had).
std::uint16_t FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t uintLength = sizeof address;
    const bool bBound = fd >= 0 &&
                        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &uintLength) == 0;
    ::close(fd);
    return bBound ? ntohs(address.sin_port) : 0;
}

bool Accepts(std::uint16_t uintPort)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = Loopback(uintPort);
    const bool bConnected =
        fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bConnected;
}

void WriteText(const std::filesystem::path& path, const std::string& strText)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << strText;
}

}  // namespace

NginxServer::NginxServer(std::filesystem::path folder) : m_folder(std::move(folder))
{
    std::filesystem::create_directories(Root());
    std::filesystem::create_directories(m_folder / "temp");
}

std::string NginxServer::Start(const std::string& strCertificatePem, const std::string& strKeyPem)
{
    if (::access(kBinary, X_OK) != 0) {
        return std::string(kBinary) + " is missing: run scripts/install-deps.sh to install nginx";
    }
    WriteText(m_folder / "server.crt", strCertificatePem);
    WriteText(m_folder / "server.key", strKeyPem);
    // A free port may be taken by another process before nginx binds it.
    std::string strError;
    bool bPortClash = true;
    for (int i = 0; i < kStartAttempts && bPortClash; ++i) {
        m_uintHttpPort = FreePort();
        m_uintHttpsPort = FreePort();
        strError = StartOnce(bPortClash);
    }
    return strError;
}

std::string NginxServer::StartOnce(bool& bPortClash)
{
    bPortClash = m_uintHttpPort == 0 || m_uintHttpsPort == 0 || m_uintHttpPort == m_uintHttpsPort;
    if (bPortClash) {
        return "no two free loopback ports";
    }
    WriteConfiguration();
    std::filesystem::remove(m_folder / "error.log");

    // Single-process mode keeps nginx in the current account even as root,
    // where a master would serve through workers running as nobody, who
    // cannot read a private temporary folder. -e takes what nginx logs
    // before it has read the configuration.
    const std::string strOutput = (m_folder / "nginx.out").string();
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 1, strOutput.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                       0600);
    ::posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<std::string> arguments{kBinary,
                                       "-p",
                                       m_folder.string() + "/",
                                       "-c",
                                       (m_folder / "nginx.conf").string(),
                                       "-e",
                                       (m_folder / "error.log").string()};
    std::vector<char*> argv;
    for (std::string& strArgument : arguments) {
        argv.push_back(strArgument.data());
    }
    argv.push_back(nullptr);
    const int intSpawn = ::posix_spawn(&m_pid, kBinary, &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    if (intSpawn != 0) {
        m_pid = -1;
        return std::string("cannot start ") + kBinary;
    }

    const auto deadline = std::chrono::steady_clock::now() + kStartDeadline;
    while (std::chrono::steady_clock::now() < deadline) {
        int intStatus = 0;
        if (::waitpid(m_pid, &intStatus, WNOHANG) == m_pid) {
            m_pid = -1;
            const std::string strLog = ServerLog();
            bPortClash = strLog.find(kPortClashText) != std::string::npos;
            return "nginx ended at start-up: " + strLog;
        }
        // On a clash nginx retries its bind for a while before it gives up;
        // meanwhile the port answers, but not for nginx.
        if (Accepts(m_uintHttpPort) && Accepts(m_uintHttpsPort) &&
            ServerLog().find(kPortClashText) == std::string::npos) {
            return {};
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    const std::string strLog = ServerLog();
    Stop();
    return "nginx did not accept connections in time: " + strLog;
}

void NginxServer::Stop()
{
    // Nothing of nginx's state outlives the test: no need to end it gently.
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        int intStatus = 0;
        ::waitpid(m_pid, &intStatus, 0);
        m_pid = -1;
    }
}

void NginxServer::WriteConfiguration() const
{
    // Relative paths resolve against the prefix (-p), the server's folder;
    // every temporary path is named, or nginx creates its packaged ones.
    std::string strConfiguration =
        "daemon off;\nmaster_process off;\npid nginx.pid;\nerror_log error.log error;\n"
        "events { worker_connections 64; }\n"
        "http {\n"
        "    types { text/plain txt; application/octet-stream bin; }\n"
        "    default_type application/octet-stream;\n"
        // The connection's serial number and protocol tell which requests
        // shared a connection; the start and the duration, which overlapped.
        "    log_format transfers '$connection $server_protocol $msec $request_time "
        "$request_uri $status';\n"
        "    access_log access.log transfers;\n";
    for (const char* strModule : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"}) {
        strConfiguration +=
            "    " + std::string(strModule) + "_temp_path temp/" + strModule + ";\n";
    }
    strConfiguration += "    server {\n"
                        "        listen 127.0.0.1:" +
                        std::to_string(m_uintHttpPort) +
                        ";\n"
                        "        listen 127.0.0.1:" +
                        std::to_string(m_uintHttpsPort) +
                        " ssl http2;\n"
                        "        ssl_certificate server.crt;\n"
                        "        ssl_certificate_key server.key;\n"
                        "        root www;\n"
                        // Files under paced/ take a while, so that transfers overlap.
                        "        location /paced/ { limit_rate 256k; }\n"
                        "    }\n"
                        "}\n";
    WriteText(m_folder / "nginx.conf", strConfiguration);
}

std::string NginxServer::ServerLog() const
{
    return ReadFile(m_folder / "nginx.out") + ReadFile(m_folder / "error.log");
}

}  // namespace pullbay::test
