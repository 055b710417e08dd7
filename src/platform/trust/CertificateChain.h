// Whether a server's certificate chain is vouched for by a private authority,
// for a web view whose own store knows only the system's authorities.
#pragma once

#include <string>
#include <vector>

namespace hv {

// chain: DER certificates, the server's own first. True when it leads to a
// certificate in caFile (PEM), is valid now and names host (a name or an
// address).
bool ChainTrusted(const std::vector<std::string>& chain, const std::string& host,
                  const std::string& caFile);

}  // namespace hv
