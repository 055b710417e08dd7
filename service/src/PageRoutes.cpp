// The pages the service renders itself: the account page, reached only
// through a single-use link, and the error help page for a given number.

#include "Pages.h"
#include "Routes.h"

#include <map>

namespace hv::service {

namespace {

constexpr long long kAccountLinkLifetimeMs = 60 * 1000;

void SendPage(httplib::Response& res, int status, const std::string& html) {
    res.status = status;
    // Nothing but the page's own style may load or run, whatever got into it.
    res.set_header("Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'");
    res.set_header("Cache-Control", "no-store");
    res.set_header("Referrer-Policy", "no-referrer");
    res.set_content(html, "text/html; charset=utf-8");
}

// The session comes in a header: an address ends up in logs and histories.
void OpenAccountLink(const ServiceState& state, const httplib::Request& req,
                     httplib::Response& res) {
    Store store(state.options.database);
    auto session = RequireSession(store, SessionToken(req), NowMs(state), res);
    if (!session) {
        return;
    }
    const long long now = NowMs(state);
    const auto token = store.OpenPageToken(session->token, now, now + kAccountLinkLifetimeMs);
    SendJson(res, 200,
             {{"url", BaseUrl(req, state) + "/account?token=" + token},
              {"expires_in", kAccountLinkLifetimeMs / 1000}});
}

void AccountPage(const ServiceState& state, const httplib::Request& req, httplib::Response& res) {
    Store store(state.options.database);
    const long long now = NowMs(state);
    const auto owner = store.TakePageToken(req.get_param_value("token"), now);
    auto session = owner ? store.FindSession(*owner) : std::nullopt;
    auto user = session && session->endReason.empty() && EndReason(store, *session, now).empty()
                    ? store.FindUser(session->user)
                    : std::nullopt;
    if (!user) {
        return SendPage(res, 410, RenderExpiredLinkPage());
    }
    std::map<std::string, Game> games;
    for (auto& g : LoadGames(CatalogueFile(state))) {
        games.emplace(g.package, std::move(g));
    }
    AccountView view{user->name, user->subscribed, !user->denyBilling, {}};
    for (const auto& p : store.PurchasesOf(user->name)) {
        auto it = games.find(p.package);
        view.purchases.push_back({it != games.end() ? it->second.title : p.package,
                                  it != games.end() ? it->second.price : "", p.bought});
    }
    SendPage(res, 200, RenderAccountPage(view));
}

}  // namespace

void AddPageRoutes(httplib::Server& server, ServiceState& state) {
    server.Post("/api/account-page", [&state](const httplib::Request& req, httplib::Response& res) {
        OpenAccountLink(state, req, res);
    });
    server.Get("/account", [&state](const httplib::Request& req, httplib::Response& res) {
        AccountPage(state, req, res);
    });
    // Before the static files: a plain web server serves the generated page
    // with every number, this one the notes on the number asked about.
    server.Get("/pages/errorinfo.htm", [](const httplib::Request& req, httplib::Response& res) {
        SendPage(res, 200,
                 RenderErrorHelp(req.has_param("Err") ? std::optional(req.get_param_value("Err"))
                                                      : std::nullopt));
    });
}

}  // namespace hv::service
