// Incremental SHA-256 over OpenSSL's EVP interface, which uses the CPU's SHA
// instructions where it has them.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

struct evp_md_ctx_st;

namespace hv {

class Sha256 {
  public:
    Sha256();
    void Update(const void* data, std::size_t size);
    // Lower-case hex digest of everything given; empty when OpenSSL failed.
    // Ends the hash: later calls return empty.
    std::string Finish();

  private:
    std::unique_ptr<evp_md_ctx_st, void (*)(evp_md_ctx_st*)> m_ctx;
    bool m_ok = false;
};

}  // namespace hv
