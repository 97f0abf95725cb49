#include "support/TlsServerContext.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

#include <utility>

#include "support/OpenSslError.h"
#include "support/TlsStream.h"

namespace pullbay::test {

TlsServerContext::TlsServerContext(const TlsIdentity& identity)
{
    ERR_clear_error();
    std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> pContext(SSL_CTX_new(TLS_server_method()),
                                                               &SSL_CTX_free);
    if (!pContext) {
        throw OpenSslError("creating the TLS server context");
    }
    SSL_CTX_set_min_proto_version(pContext.get(), TLS1_2_VERSION);
    SSL_CTX_set_mode(pContext.get(),
                     SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);

    std::unique_ptr<BIO, decltype(&BIO_free)> pCertificateBio(
        BIO_new_mem_buf(identity.certificatePem.data(),
                        static_cast<int>(identity.certificatePem.size())),
        &BIO_free);
    std::unique_ptr<BIO, decltype(&BIO_free)> pKeyBio(
        BIO_new_mem_buf(identity.privateKeyPem.data(),
                        static_cast<int>(identity.privateKeyPem.size())),
        &BIO_free);
    if (!pCertificateBio || !pKeyBio) {
        throw OpenSslError("reading the TLS identity");
    }
    std::unique_ptr<X509, decltype(&X509_free)> pCertificate(
        PEM_read_bio_X509(pCertificateBio.get(), nullptr, nullptr, nullptr), &X509_free);
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> pKey(
        PEM_read_bio_PrivateKey(pKeyBio.get(), nullptr, nullptr, nullptr), &EVP_PKEY_free);
    if (!pCertificate || !pKey) {
        throw OpenSslError("parsing the TLS identity's PEM");
    }
    if (SSL_CTX_use_certificate(pContext.get(), pCertificate.get()) != 1 ||
        SSL_CTX_use_PrivateKey(pContext.get(), pKey.get()) != 1 ||
        SSL_CTX_check_private_key(pContext.get()) != 1) {
        throw OpenSslError("installing the TLS identity");
    }
    m_pContext = pContext.release();
}

TlsServerContext::~TlsServerContext()
{
    SSL_CTX_free(m_pContext);
}

std::unique_ptr<loopback::IConnectionStream> TlsServerContext::Accept(
    loopback::SocketStream&& socket) const
{
    std::unique_ptr<SSL, decltype(&SSL_free)> pSsl(SSL_new(m_pContext), &SSL_free);
    if (!pSsl || SSL_set_fd(pSsl.get(), socket.Handle()) != 1) {
        ERR_clear_error();
        return nullptr;
    }
    auto pStream = std::make_unique<TlsStream>(std::move(socket), pSsl.get());
    pSsl.release();
    return pStream;
}

}  // namespace pullbay::test
