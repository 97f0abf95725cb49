#pragma once
// The system's nginx as a child process serving a folder on two loopback
// ports, plain HTTP and HTTPS (with HTTP/2), for the end-to-end tests.
// Files under www/paced/ are sent at 256 kB/s. Everything nginx writes stays
// in the server's own folder. Test thread only.
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace pullbay::test {

class NginxServer {
public:
    static constexpr const char* kBinary = "/usr/sbin/nginx";

    // Keeps its configuration, logs and TLS files in folder and serves
    // folder/www; creates both.
    explicit NginxServer(std::filesystem::path folder);
    ~NginxServer() { Stop(); }
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    // Starts nginx with this certificate and key (PEM) on two free ports and
    // returns once both accept connections. Returns an empty text on
    // success, otherwise what went wrong, with nginx's log.
    std::string Start(const std::string& strCertificatePem, const std::string& strKeyPem);
    // Ends nginx and reaps it; a no-op when it is not running.
    void Stop();

    std::filesystem::path Root() const { return m_folder / "www"; }
    // One line per request, written when it ends: "<connection serial>
    // <protocol> <end time in s> <duration in s> <uri> <status>".
    std::filesystem::path AccessLog() const { return m_folder / "access.log"; }
    // "http://127.0.0.1:<port>" and "https://127.0.0.1:<port>", no slash.
    std::string HttpUrl() const { return "http://127.0.0.1:" + std::to_string(m_uintHttpPort); }
    std::string HttpsUrl() const { return "https://127.0.0.1:" + std::to_string(m_uintHttpsPort); }

private:
    // One start on m_uintHttpPort and m_uintHttpsPort; as Start, and
    // bPortClash tells Start to try other ports.
    std::string StartOnce(bool& bPortClash);
    void WriteConfiguration() const;
    std::string ServerLog() const;

    std::filesystem::path m_folder;
    pid_t m_pid = -1;
    std::uint16_t m_uintHttpPort = 0;
    std::uint16_t m_uintHttpsPort = 0;
};

}  // namespace pullbay::test
