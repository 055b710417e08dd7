#include "trust/Sha256.h"

#include <openssl/evp.h>

namespace hv {

Sha256::Sha256() : m_ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free) {
    m_ok = m_ctx && EVP_DigestInit_ex(m_ctx.get(), EVP_sha256(), nullptr) == 1;
}

void Sha256::Update(const void* data, std::size_t size) {
    m_ok = m_ok && EVP_DigestUpdate(m_ctx.get(), data, size) == 1;
}

std::string Sha256::Finish() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    bool ok = m_ok && EVP_DigestFinal_ex(m_ctx.get(), digest, &length) == 1;
    m_ok = false;
    if (!ok) {
        return {};
    }
    static const char hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += hex[digest[i] >> 4];
        text += hex[digest[i] & 15];
    }
    return text;
}

}  // namespace hv
