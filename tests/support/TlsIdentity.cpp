#include "support/TlsIdentity.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

#include "support/OpenSslError.h"

namespace pullbay::test {

namespace {

template <auto Free>
struct Deleter {
    template <typename T>
    void operator()(T* p) const
    {
        Free(p);
    }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using CertificatePtr = std::unique_ptr<X509, Deleter<X509_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO_free_all>>;
using ExtensionPtr = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION_free>>;
using BignumPtr = std::unique_ptr<BIGNUM, Deleter<BN_free>>;

bool IsIpLiteral(const std::string& strHost)
{
    unsigned char buffer[16];
    return ::inet_pton(AF_INET, strHost.c_str(), buffer) == 1 ||
           ::inet_pton(AF_INET6, strHost.c_str(), buffer) == 1;
}

void AddExtension(X509* pCertificate, int intNid, const std::string& strValue)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, pCertificate, pCertificate, nullptr, nullptr, 0);
    ExtensionPtr pExtension(X509V3_EXT_conf_nid(nullptr, &context, intNid, strValue.c_str()));
    if (!pExtension || X509_add_ext(pCertificate, pExtension.get(), -1) != 1) {
        throw OpenSslError("adding certificate extension " + strValue);
    }
}

std::string DrainBio(BIO* pBio)
{
    char* pData = nullptr;
    const long intSize = BIO_get_mem_data(pBio, &pData);
    return std::string(pData, static_cast<std::size_t>(intSize));
}

}  // namespace

TlsIdentity TlsIdentity::SelfSigned(const std::string& strHostName, bool bExpired)
{
    ERR_clear_error();
    KeyPtr pKey(EVP_EC_gen("P-256"));
    if (!pKey) {
        throw OpenSslError("generating an EC key");
    }

    CertificatePtr pCertificate(X509_new());
    if (!pCertificate || X509_set_version(pCertificate.get(), X509_VERSION_3) != 1) {
        throw OpenSslError("creating a certificate");
    }

    // A random positive serial, so certificates made in one run never collide.
    BignumPtr pSerial(BN_new());
    if (!pSerial || BN_rand(pSerial.get(), 63, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) != 1 ||
        BN_to_ASN1_INTEGER(pSerial.get(), X509_get_serialNumber(pCertificate.get())) == nullptr) {
        throw OpenSslError("setting the serial number");
    }

    constexpr long kDay = 24 * 60 * 60;
    const long intNotBefore = bExpired ? -2 * kDay : -60 * 60;
    const long intNotAfter = bExpired ? -kDay : 30 * kDay;
    if (X509_gmtime_adj(X509_getm_notBefore(pCertificate.get()), intNotBefore) == nullptr ||
        X509_gmtime_adj(X509_getm_notAfter(pCertificate.get()), intNotAfter) == nullptr) {
        throw OpenSslError("setting the validity period");
    }

    X509_NAME* pName = X509_get_subject_name(pCertificate.get());
    // The longest common name allowed.
    const std::string strCommonName = strHostName.substr(0, 64);
    if (X509_NAME_add_entry_by_txt(pName, "O", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>("Pullbay Test"), -1, -1,
                                   0) != 1 ||
        X509_NAME_add_entry_by_txt(pName, "CN", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(strCommonName.c_str()),
                                   -1, -1, 0) != 1 ||
        X509_set_issuer_name(pCertificate.get(), pName) != 1 ||
        X509_set_pubkey(pCertificate.get(), pKey.get()) != 1) {
        throw OpenSslError("setting the certificate names");
    }

    std::string strAltNames = (IsIpLiteral(strHostName) ? "IP:" : "DNS:") + strHostName;
    if (strHostName == "localhost") {
        strAltNames += ",IP:127.0.0.1";
    }
    AddExtension(pCertificate.get(), NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(pCertificate.get(), NID_key_usage, "critical,digitalSignature,keyCertSign");
    AddExtension(pCertificate.get(), NID_ext_key_usage, "serverAuth");
    AddExtension(pCertificate.get(), NID_subject_key_identifier, "hash");
    AddExtension(pCertificate.get(), NID_authority_key_identifier, "keyid:always");
    AddExtension(pCertificate.get(), NID_subject_alt_name, strAltNames);

    if (X509_sign(pCertificate.get(), pKey.get(), EVP_sha256()) <= 0) {
        throw OpenSslError("signing the certificate");
    }

    BioPtr pCertificateBio(BIO_new(BIO_s_mem()));
    BioPtr pKeyBio(BIO_new(BIO_s_mem()));
    if (!pCertificateBio || !pKeyBio ||
        PEM_write_bio_X509(pCertificateBio.get(), pCertificate.get()) != 1 ||
        PEM_write_bio_PrivateKey(pKeyBio.get(), pKey.get(), nullptr, nullptr, 0, nullptr,
                                 nullptr) != 1) {
        throw OpenSslError("writing PEM");
    }
    return TlsIdentity{DrainBio(pCertificateBio.get()), DrainBio(pKeyBio.get())};
}

}  // namespace pullbay::test
