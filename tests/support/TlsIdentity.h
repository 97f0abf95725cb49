#pragma once
// A certificate and its private key, both PEM, for the HTTPS test server.
#include <string>

namespace pullbay::test {

struct TlsIdentity {
    std::string certificatePem;
    std::string privateKeyPem;

    // A fresh self-signed EC P-256 certificate for the host name, usable as
    // its own trust anchor (point the client's CA bundle at certificatePem).
    // subjectAltName holds the host name (as a DNS or IP entry); for
    // "localhost" it also holds IP:127.0.0.1. bExpired: the validity ended
    // yesterday.
    static TlsIdentity SelfSigned(const std::string& strHostName = "localhost",
                                  bool bExpired = false);
};

}  // namespace pullbay::test
