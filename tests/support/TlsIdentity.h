#pragma once

#include <string>

namespace pullbay::test {

// A certificate and its private key, both PEM, for the HTTPS test server.
struct TlsIdentity {
  std::string certificatePem;
  std::string privateKeyPem;

  // A fresh self-signed EC P-256 certificate for `hostName`, usable as its
  // own trust anchor (point the client's CA bundle at certificatePem).
  // subjectAltName holds hostName (as DNS or IP entry); for "localhost" it
  // also holds IP:127.0.0.1. `expired`: validity ended yesterday.
  static TlsIdentity SelfSigned(const std::string& hostName = "localhost", bool expired = false);
};

}  // namespace pullbay::test
