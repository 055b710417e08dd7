// The catalogue, package descriptions and purchases: everything that needs an
// open session and reads the catalogue file.

#include "Crypto.h"
#include "Log.h"
#include "Routes.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace hv::service {

namespace {

// Download codes the engine turns into user messages.
constexpr int kPackageUnavailable = 258;
constexpr int kBillingDenied = 261;
// As long as a session may live: a long download keeps its address throughout.
constexpr long long kLinkLifetimeSeconds = 12LL * 60 * 60;

std::string PercentEncode(const std::string& s) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(digits[c >> 4]);
            out.push_back(digits[c & 0xF]);
        }
    }
    return out;
}

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

const Game* FindGame(const std::vector<Game>& games, const std::string& package) {
    for (const auto& g : games) {
        if (EqualsIgnoreCase(g.package, package)) {
            return &g;
        }
    }
    return nullptr;
}

const Game* FindPartner(const std::vector<Game>& games, const Game& game) {
    if (game.pairKey.empty()) {
        return nullptr;
    }
    for (const auto& g : games) {
        if (&g != &game && g.pairKey == game.pairKey && g.IsDemo() != game.IsDemo()) {
            return &g;
        }
    }
    return nullptr;
}

void Catalogue(const ServiceState& state, const httplib::Request& req, httplib::Response& res) {
    Store store(state.options.database);
    if (!RequireSession(store, SessionToken(req), NowMs(state), res)) {
        return;
    }
    auto games = LoadGames(CatalogueFile(state));
    std::map<std::string, long long> sizes;
    for (const auto& g : games) {
        if (auto file = ResolveUnder(state.options.content, "packages/" + g.archive)) {
            sizes[g.package] = file->size;
        }
    }
    res.set_content(RenderCatalogue(games, sizes), "text/plain");
}

void DescribePackage(ServiceState& state, const httplib::Request& req, httplib::Response& res) {
    Store store(state.options.database);
    auto session = RequireSession(store, SessionToken(req), NowMs(state), res);
    if (!session) {
        return;
    }
    auto games = LoadGames(CatalogueFile(state));
    const Game* game = FindGame(games, req.matches[1]);
    auto file =
        game ? ResolveUnder(state.options.content, "packages/" + game->archive) : std::nullopt;
    auto hash = file ? state.hashes.Get(*file,
                                        [](const FileInfo& archive) {
                                            auto hash = Sha256File(archive.path);
                                            LogLine("hashed " + archive.path.filename().string() +
                                                    (hash ? "" : ": unreadable"));
                                            return hash;
                                        })
                     : std::nullopt;
    if (!game || !file || !hash) {
        return SendError(res, 404, "unknown_package", kPackageUnavailable);
    }
    const Game* partner = FindPartner(games, *game);
    const bool owned = game->IsFree() || store.Owns(session->user, game->package);
    // Only an owner gets an address, and it carries the right for a while.
    std::string address;
    if (owned) {
        const std::string path = "/packages/" + game->archive;
        const long long expires = NowMs(state) / 1000 + kLinkLifetimeSeconds;
        address = BaseUrl(req, state) + "/packages/" + PercentEncode(game->archive) +
                  "?md5=" + LinkSignature(path, expires, state.options.linkSecret) +
                  "&expires=" + std::to_string(expires);
    }
    SendJson(res, 200,
             {{"package", game->package},
              {"title", game->title},
              {"demo", game->IsDemo()},
              {"partner", partner ? partner->package : ""},
              {"price", game->price},
              {"owned", owned},
              {"size", file->size},
              {"sha256", *hash},
              {"playable_bytes", std::min(game->playableBytes, file->size)},
              {"program", game->program},
              {"archive_url", address}});
}

void Purchase(const ServiceState& state, const httplib::Request& req, httplib::Response& res) {
    auto body = ParseBody(req);
    Store store(state.options.database);
    auto session = RequireSession(store, StringField(body, "session"), NowMs(state), res);
    if (!session) {
        return;
    }
    auto games = LoadGames(CatalogueFile(state));
    const Game* game = FindGame(games, StringField(body, "package"));
    if (!game) {
        return SendError(res, 404, "unknown_package", kPackageUnavailable);
    }
    if (!game->IsFree() && !store.Owns(session->user, game->package)) {
        auto user = store.FindUser(session->user);
        if (!user || user->denyBilling) {
            return SendError(res, 402, "billing_denied", kBillingDenied);
        }
        store.AddPurchase(session->user, game->package);
    }
    SendJson(res, 200, {{"owned", true}});
}

}  // namespace

void AddCatalogueRoutes(httplib::Server& server, ServiceState& state) {
    server.Get("/api/catalogue", [&state](const httplib::Request& req, httplib::Response& res) {
        Catalogue(state, req, res);
    });
    server.Get(R"(/api/packages/([^/]+))",
               [&state](const httplib::Request& req, httplib::Response& res) {
                   DescribePackage(state, req, res);
               });
    server.Post("/api/purchase", [&state](const httplib::Request& req, httplib::Response& res) {
        Purchase(state, req, res);
    });
}

}  // namespace hv::service
