#include "trust/CertificateChain.h"

#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <memory>

namespace hv {

namespace {

struct StoreFree {
    void operator()(X509_STORE* store) const { X509_STORE_free(store); }
};
struct ContextFree {
    void operator()(X509_STORE_CTX* context) const { X509_STORE_CTX_free(context); }
};
struct CertificateFree {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
struct StackFree {
    void operator()(STACK_OF(X509) * stack) const { sk_X509_pop_free(stack, X509_free); }
};

X509* FromDer(const std::string& der) {
    const auto* data = reinterpret_cast<const unsigned char*>(der.data());
    return d2i_X509(nullptr, &data, static_cast<long>(der.size()));
}

}  // namespace

bool ChainTrusted(const std::vector<std::string>& chain, const std::string& host,
                  const std::string& caFile) {
    if (chain.empty() || host.empty() || caFile.empty()) {
        return false;
    }
    const std::unique_ptr<X509_STORE, StoreFree> store(X509_STORE_new());
    if (!store || X509_STORE_load_file(store.get(), caFile.c_str()) != 1) {
        return false;
    }
    const std::unique_ptr<X509, CertificateFree> leaf(FromDer(chain.front()));
    const std::unique_ptr<STACK_OF(X509), StackFree> intermediates(sk_X509_new_null());
    if (!leaf || !intermediates) {
        return false;
    }
    for (std::size_t i = 1; i < chain.size(); ++i) {
        X509* certificate = FromDer(chain[i]);
        if (!certificate || sk_X509_push(intermediates.get(), certificate) == 0) {
            X509_free(certificate);
            return false;
        }
    }
    const std::unique_ptr<X509_STORE_CTX, ContextFree> context(X509_STORE_CTX_new());
    if (!context ||
        X509_STORE_CTX_init(context.get(), store.get(), leaf.get(), intermediates.get()) != 1) {
        return false;
    }
    X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(context.get());
    // An address is matched as one, anything else as a name.
    if (X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) != 1 &&
        X509_VERIFY_PARAM_set1_host(param, host.c_str(), host.size()) != 1) {
        return false;
    }
    return X509_verify_cert(context.get()) == 1;
}

}  // namespace hv
