#include "TlsIdentity.hpp"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <stdexcept>

namespace quorvel::service {

namespace {

void addExtension(X509 *cert, int nid, const char *value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION *ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext) throw std::runtime_error("certificate extension failed");
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

} // namespace

TlsIdentity::TlsIdentity() {
    key_ = EVP_EC_gen("P-256");
    if (!key_) throw std::runtime_error("key generation failed");
    cert_ = X509_new();
    if (!cert_) throw std::runtime_error("certificate allocation failed");
    X509_set_version(cert_, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert_), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert_), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert_), 7L * 86400);
    X509_set_pubkey(cert_, key_);
    X509_NAME *name = X509_get_subject_name(cert_);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char *>("127.0.0.1"), -1, -1,
                               0);
    X509_set_issuer_name(cert_, name);
    addExtension(cert_, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
    addExtension(cert_, NID_basic_constraints, "critical,CA:TRUE");
    if (X509_sign(cert_, key_, EVP_sha256()) == 0) throw std::runtime_error("certificate signing failed");
}

TlsIdentity::~TlsIdentity() {
    X509_free(cert_);
    EVP_PKEY_free(key_);
}

std::string TlsIdentity::certificatePEM() const {
    BIO *bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, cert_);
    char *data = nullptr;
    long len = BIO_get_mem_data(bio, &data);
    std::string pem(data, static_cast<size_t>(len));
    BIO_free(bio);
    return pem;
}

} // namespace quorvel::service
