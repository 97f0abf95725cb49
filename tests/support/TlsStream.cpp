#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "support/TlsSupport.h"

namespace pullbay::test::detail {

namespace {

std::string WithOpenSslReasons(std::string what) {
  bool first = true;
  while (const unsigned long code = ERR_get_error()) {
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    what += first ? ": " : "; ";
    what += text;
    first = false;
  }
  return what;
}

class TlsStream final : public ServerStream {
 public:
  TlsStream(int fd, int stopFd, SSL* ssl) : fd_(fd), stopFd_(stopFd), ssl_(ssl) {}
  ~TlsStream() override {
    SSL_free(ssl_);
    ::close(fd_);
  }

  bool Handshake() override { return Drive([this] { return SSL_accept(ssl_); }) > 0; }

  size_t Read(char* buffer, size_t capacity) override {
    const int size = capacity > INT_MAX ? INT_MAX : static_cast<int>(capacity);
    const int n = Drive([&] { return SSL_read(ssl_, buffer, size); });
    return n > 0 ? static_cast<size_t>(n) : 0;
  }

  bool Write(std::string_view data) override {
    while (!data.empty()) {
      const int size = data.size() > INT_MAX ? INT_MAX : static_cast<int>(data.size());
      const int n = Drive([&] { return SSL_write(ssl_, data.data(), size); });
      if (n <= 0) return false;
      data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
  }

  void CloseGracefully() override {
    // One close_notify out; the peer's answer isn't awaited.
    if (healthy_) {
      ERR_clear_error();
      SSL_shutdown(ssl_);
    }
    LingeringShutdown(fd_, stopFd_);
  }

  void CloseAbruptly() override { LingeringShutdown(fd_, stopFd_); }

 private:
  // Runs a non-blocking OpenSSL call until it makes progress, waiting on the
  // socket in whichever direction OpenSSL asks for. Returns the call's result,
  // or -1 after an error or stop.
  template <typename Operation>
  int Drive(Operation operation) {
    while (healthy_) {
      ERR_clear_error();
      errno = 0;
      const int result = operation();
      if (result > 0) return result;
      switch (SSL_get_error(ssl_, result)) {
        case SSL_ERROR_WANT_READ:
          if (WaitReady(fd_, POLLIN, stopFd_) != Readiness::Ready) return -1;
          break;
        case SSL_ERROR_WANT_WRITE:
          if (WaitReady(fd_, POLLOUT, stopFd_) != Readiness::Ready) return -1;
          break;
        case SSL_ERROR_ZERO_RETURN:  // the peer's close_notify
          return 0;
        case SSL_ERROR_SYSCALL:
          if (errno == EINTR) break;
          healthy_ = false;  // a fatal error forbids SSL_shutdown later
          return -1;
        default:
          healthy_ = false;
          return -1;
      }
    }
    return -1;
  }

  int fd_;
  int stopFd_;
  SSL* ssl_;
  bool healthy_ = true;
};

}  // namespace

OpenSslError::OpenSslError(const std::string& what) : std::runtime_error(WithOpenSslReasons(what)) {}

void SslContextDeleter::operator()(SSL_CTX* context) const { SSL_CTX_free(context); }

SslContextPtr MakeServerContext(const TlsIdentity& identity) {
  ERR_clear_error();
  SslContextPtr context(SSL_CTX_new(TLS_server_method()));
  if (!context) throw OpenSslError("creating the TLS server context");
  SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION);
  SSL_CTX_set_mode(context.get(), SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);

  std::unique_ptr<BIO, decltype(&BIO_free)> certificateBio(
      BIO_new_mem_buf(identity.certificatePem.data(), static_cast<int>(identity.certificatePem.size())), &BIO_free);
  std::unique_ptr<BIO, decltype(&BIO_free)> keyBio(
      BIO_new_mem_buf(identity.privateKeyPem.data(), static_cast<int>(identity.privateKeyPem.size())), &BIO_free);
  if (!certificateBio || !keyBio) throw OpenSslError("reading the TLS identity");

  std::unique_ptr<X509, decltype(&X509_free)> certificate(
      PEM_read_bio_X509(certificateBio.get(), nullptr, nullptr, nullptr), &X509_free);
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
      PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr), &EVP_PKEY_free);
  if (!certificate || !key) throw OpenSslError("parsing the TLS identity's PEM");
  if (SSL_CTX_use_certificate(context.get(), certificate.get()) != 1 ||
      SSL_CTX_use_PrivateKey(context.get(), key.get()) != 1 || SSL_CTX_check_private_key(context.get()) != 1) {
    throw OpenSslError("installing the TLS identity");
  }
  return context;
}

std::unique_ptr<ServerStream> MakeTlsStream(int fd, int stopFd, SSL_CTX* context) {
  SSL* ssl = SSL_new(context);
  if (ssl == nullptr || SSL_set_fd(ssl, fd) != 1) {
    SSL_free(ssl);
    ::close(fd);
    ERR_clear_error();
    return nullptr;
  }
  return std::make_unique<TlsStream>(fd, stopFd, ssl);
}

}  // namespace pullbay::test::detail
