#include "trust/CertificateChain.h"

#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <memory>

namespace hv {

namespace {

using Store = std::unique_ptr<X509_STORE, decltype(&X509_STORE_free)>;
using StoreContext = std::unique_ptr<X509_STORE_CTX, decltype(&X509_STORE_CTX_free)>;
using Certificate = std::unique_ptr<X509, decltype(&X509_free)>;

void FreeStack(STACK_OF(X509) * stack) {
    sk_X509_pop_free(stack, X509_free);
}
using Stack = std::unique_ptr<STACK_OF(X509), decltype(&FreeStack)>;

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
    const Store store(X509_STORE_new(), X509_STORE_free);
    if (!store || X509_STORE_load_file(store.get(), caFile.c_str()) != 1) {
        return false;
    }
    const Certificate leaf(FromDer(chain.front()), X509_free);
    const Stack intermediates(sk_X509_new_null(), FreeStack);
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
    const StoreContext context(X509_STORE_CTX_new(), X509_STORE_CTX_free);
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
