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
#include <stdexcept>
#include <string>

#include "support/TlsSupport.h"

namespace pullbay::test {

namespace {

using detail::OpenSslError;

template <auto Free>
struct Deleter {
  template <typename T>
  void operator()(T* p) const { Free(p); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using X509Ptr = std::unique_ptr<X509, Deleter<X509_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO_free_all>>;
using ExtensionPtr = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION_free>>;
using BignumPtr = std::unique_ptr<BIGNUM, Deleter<BN_free>>;

bool IsIpLiteral(const std::string& host) {
  unsigned char buffer[16];
  return ::inet_pton(AF_INET, host.c_str(), buffer) == 1 || ::inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

void AddExtension(X509* certificate, int nid, const std::string& value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
  ExtensionPtr extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str()));
  if (!extension || X509_add_ext(certificate, extension.get(), -1) != 1) {
    throw OpenSslError("adding certificate extension " + value);
  }
}

std::string DrainBio(BIO* bio) {
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio, &data);
  return std::string(data, static_cast<size_t>(size));
}

}  // namespace

TlsIdentity TlsIdentity::SelfSigned(const std::string& hostName, bool expired) {
  ERR_clear_error();
  PkeyPtr key(EVP_EC_gen("P-256"));
  if (!key) throw OpenSslError("generating an EC key");

  X509Ptr certificate(X509_new());
  if (!certificate || X509_set_version(certificate.get(), X509_VERSION_3) != 1) throw OpenSslError("creating a certificate");

  // A random positive serial, so certificates made in one run never collide.
  BignumPtr serial(BN_new());
  if (!serial || BN_rand(serial.get(), 63, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) != 1 ||
      BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(certificate.get())) == nullptr) {
    throw OpenSslError("setting the serial number");
  }

  constexpr long kDay = 24 * 60 * 60;
  const long notBefore = expired ? -2 * kDay : -60 * 60;
  const long notAfter = expired ? -kDay : 30 * kDay;
  if (X509_gmtime_adj(X509_getm_notBefore(certificate.get()), notBefore) == nullptr ||
      X509_gmtime_adj(X509_getm_notAfter(certificate.get()), notAfter) == nullptr) {
    throw OpenSslError("setting the validity period");
  }

  X509_NAME* name = X509_get_subject_name(certificate.get());
  const std::string commonName = hostName.substr(0, 64);  // the longest CN allowed
  if (X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>("Pullbay Test"), -1,
                                 -1, 0) != 1 ||
      X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                 reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1, 0) != 1 ||
      X509_set_issuer_name(certificate.get(), name) != 1 || X509_set_pubkey(certificate.get(), key.get()) != 1) {
    throw OpenSslError("setting the certificate names");
  }

  std::string altNames = (IsIpLiteral(hostName) ? "IP:" : "DNS:") + hostName;
  if (hostName == "localhost") altNames += ",IP:127.0.0.1";
  AddExtension(certificate.get(), NID_basic_constraints, "critical,CA:TRUE");
  AddExtension(certificate.get(), NID_key_usage, "critical,digitalSignature,keyCertSign");
  AddExtension(certificate.get(), NID_ext_key_usage, "serverAuth");
  AddExtension(certificate.get(), NID_subject_key_identifier, "hash");
  AddExtension(certificate.get(), NID_authority_key_identifier, "keyid:always");
  AddExtension(certificate.get(), NID_subject_alt_name, altNames);

  if (X509_sign(certificate.get(), key.get(), EVP_sha256()) <= 0) throw OpenSslError("signing the certificate");

  BioPtr certificateBio(BIO_new(BIO_s_mem()));
  BioPtr keyBio(BIO_new(BIO_s_mem()));
  if (!certificateBio || !keyBio || PEM_write_bio_X509(certificateBio.get(), certificate.get()) != 1 ||
      PEM_write_bio_PrivateKey(keyBio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
    throw OpenSslError("writing PEM");
  }
  return TlsIdentity{DrainBio(certificateBio.get()), DrainBio(keyBio.get())};
}

}  // namespace pullbay::test
