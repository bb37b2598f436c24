#pragma once

#include <memory>
#include <string>

typedef struct x509_st X509;
typedef struct evp_pkey_st EVP_PKEY;

namespace quorvel::service {

// A throw-away self-signed certificate for 127.0.0.1 and localhost, made at start.
class TlsIdentity {
public:
    TlsIdentity();
    ~TlsIdentity();
    TlsIdentity(const TlsIdentity &) = delete;
    TlsIdentity &operator=(const TlsIdentity &) = delete;

    X509 *certificate() const { return cert_; }
    EVP_PKEY *key() const { return key_; }
    std::string certificatePEM() const;

private:
    X509 *cert_ = nullptr;
    EVP_PKEY *key_ = nullptr;
};

} // namespace quorvel::service
