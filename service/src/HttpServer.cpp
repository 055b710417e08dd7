#include "HttpServer.h"

#include "Crypto.h"
#include "Store.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

namespace halvory::service {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// Login codes the engine turns into user messages.
constexpr int kUnknownUser = 80;
constexpr int kWrongPassword = 20;
constexpr int kSuspended = 96;
constexpr int kNoSubscription = 26;
constexpr int kUnsupportedVersion = 25;
// Download codes.
constexpr int kPackageUnavailable = 258;
constexpr int kBillingDenied = 261;

constexpr int kDefaultWaitSeconds = 20;
constexpr int kMaxWaitSeconds = 300;
constexpr auto kPollInterval = std::chrono::milliseconds(200);
constexpr std::size_t kWorkerThreads = 32;

void sendJson(httplib::Response& res, int status, const json& body) {
    res.status = status;
    res.set_content(body.dump(), "application/json");
}

void sendError(httplib::Response& res, int status, const std::string& word, int code = 0) {
    json body = {{"error", word}};
    if (code != 0) {
        body["code"] = code;
    }
    sendJson(res, status, body);
}

std::string baseUrl(const httplib::Request& req, const std::string& host, int port) {
    std::string h = req.get_header_value("Host");
    if (h.empty()) {
        h = host + ":" + std::to_string(port);
    }
    return "http://" + h;
}

std::string percentEncode(const std::string& s) {
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

bool equalsIgnoreCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string contentType(const fs::path& file) {
    auto ext = file.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == ".jpg" || ext == ".jpeg")
        return "image/jpeg";
    if (ext == ".png")
        return "image/png";
    if (ext == ".txt")
        return "text/plain";
    if (ext == ".htm" || ext == ".html")
        return "text/html; charset=utf-8";
    if (ext == ".css")
        return "text/css";
    if (ext == ".tar")
        return "application/x-tar";
    return "application/octet-stream";
}

bool isLoopback(const std::string& addr) {
    return addr.rfind("127.", 0) == 0 || addr == "::1" || addr.rfind("::ffff:127.", 0) == 0;
}

json parseBody(const httplib::Request& req) {
    auto body = json::parse(req.body, nullptr, false);
    return body.is_object() ? body : json::object();
}

std::string stringField(const json& body, const char* name) {
    auto it = body.find(name);
    return it != body.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// Why an open session must end now, or empty while it may go on. Checked on every
// request so that operator changes take effect without any signal to the service.
std::string endReason(Store& store, const Session& session) {
    auto user = store.user(session.user);
    if (!user) {
        return "closed";
    }
    if (user->suspended) {
        return "suspended";
    }
    if (user->passwordGeneration != session.passwordGeneration) {
        return "password_changed";
    }
    if (store.requiredVersion() > session.playerVersion) {
        return "version_changed";
    }
    return {};
}

// The open session named by the request, or nothing (the answer is then set).
std::optional<Session> requireSession(Store& store, const std::string& token,
                                      httplib::Response& res) {
    auto session = token.empty() ? std::nullopt : store.session(token);
    if (session && session->endReason.empty()) {
        auto reason = endReason(store, *session);
        if (reason.empty()) {
            return session;
        }
        store.endSession(token, reason, false);
    }
    sendError(res, 401, "session_closed");
    return std::nullopt;
}

const Game* findGame(const std::vector<Game>& games, const std::string& package) {
    for (const auto& g : games) {
        if (equalsIgnoreCase(g.package, package)) {
            return &g;
        }
    }
    return nullptr;
}

const Game* findPartner(const std::vector<Game>& games, const Game& game) {
    if (game.pairKey.empty()) {
        return nullptr;
    }
    for (const auto& g : games) {
        if (&g != &game && g.pairKey == game.pairKey && g.isDemo() != game.isDemo()) {
            return &g;
        }
    }
    return nullptr;
}

void sleepUnlessStopping(const std::atomic<bool>& stopping, std::chrono::milliseconds total) {
    auto end = std::chrono::steady_clock::now() + total;
    while (!stopping && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            end - std::chrono::steady_clock::now(), std::chrono::milliseconds(50)));
    }
}

}  // namespace

Service::Service(ServiceOptions options)
    : options_(std::move(options)), server_(std::make_unique<httplib::Server>()) {
    // Long polls hold a thread each; the library's default pool is small.
    server_->new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
    server_->set_keep_alive_max_count(100);
    // Small answers must not wait for the peer's delayed acknowledgement.
    server_->set_tcp_nodelay(true);
    // Accept only once a connection is waiting, so a stop is noticed within
    // this interval instead of racing a blocked accept.
    server_->set_idle_interval(0, 200000);
    routes();
}

Service::~Service() = default;

fs::path Service::catalogueFile() const {
    return options_.catalogue.empty() ? options_.content / "catalogue.json" : options_.catalogue;
}

int Service::bind(const std::string& host, int port) {
    host_ = host;
    if (port == 0) {
        port_ = server_->bind_to_any_port(host);
    } else {
        port_ = server_->bind_to_port(host, port) ? port : -1;
    }
    return port_;
}

bool Service::run() {
    return server_->listen_after_bind();
}

void Service::stop() {
    stopping_ = true;
    server_->stop();
}

void Service::routes() {
    auto& svr = *server_;

    svr.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        if (req.path.rfind("/admin/", 0) != 0 && faults_.takeFailure()) {
            sendError(res, 503, "injected_failure");
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });

    svr.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr ep) {
            std::string what = "internal";
            try {
                std::rethrow_exception(ep);
            } catch (const std::exception& e) {
                what = e.what();
            } catch (...) {
            }
            sendJson(res, 500, {{"error", "internal"}, {"detail", what}});
        });

    svr.Get("/discover", [this](const httplib::Request& req, httplib::Response& res) {
        Store store(options_.database);
        std::string upgrade;
        if (resolveUnder(options_.content, "upgrade/Install.sfe")) {
            upgrade = baseUrl(req, host_, port_) + "/upgrade/Install.sfe";
        }
        res.set_content(
            "#<RV>" + std::to_string(store.requiredVersion()) + "</RV><RURL>" + upgrade + "</RURL>",
            "text/plain");
    });

    svr.Get(R"(/(art|pages|packages|upgrade)/.*)", [this](const httplib::Request& req,
                                                          httplib::Response& res) {
        auto file = resolveUnder(options_.content, req.path);
        if (!file) {
            sendError(res, 404, "not_found");
            return;
        }
        res.set_header("Last-Modified", httpDate(file->modified));
        res.set_header("ETag", "\"" + std::to_string(file->size) + "-" +
                                   std::to_string(file->modified) + "\"");
        res.set_header("Accept-Ranges", "bytes");
        auto size = file->size;
        if (req.ranges.size() == 1) {
            auto [first, last] = req.ranges.front();
            bool suffix = first < 0;
            if ((!suffix && first >= size) || (suffix && last <= 0) || size == 0) {
                res.status = 416;
                res.set_header("Content-Range", "bytes */" + std::to_string(size));
                return;
            }
        }
        if (size == 0) {
            res.set_content("", contentType(file->path));
            return;
        }
        auto in = std::make_shared<std::ifstream>(file->path, std::ios::binary);
        auto sent = std::make_shared<long long>(0);
        res.set_content_provider(
            static_cast<std::size_t>(size), contentType(file->path),
            [this, in, sent](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                long long throttle = faults_.throttleBps;
                long long drop = faults_.dropAfterBytes;
                std::size_t chunk = std::min<std::size_t>(length, 64 * 1024);
                if (throttle > 0) {
                    chunk = std::min<std::size_t>(
                        chunk, static_cast<std::size_t>(std::max(1LL, throttle / 20)));
                }
                if (drop > 0) {
                    if (*sent >= drop) {
                        return false;
                    }
                    chunk = std::min<std::size_t>(chunk, static_cast<std::size_t>(drop - *sent));
                }
                std::vector<char> buf(chunk);
                in->seekg(static_cast<std::streamoff>(offset));
                in->read(buf.data(), static_cast<std::streamsize>(chunk));
                auto got = static_cast<std::size_t>(in->gcount());
                if (got == 0 || stopping_) {
                    return false;
                }
                if (!sink.write(buf.data(), got)) {
                    return false;
                }
                *sent += static_cast<long long>(got);
                if (throttle > 0) {
                    sleepUnlessStopping(
                        stopping_,
                        std::chrono::milliseconds(static_cast<long long>(got) * 1000 / throttle));
                }
                return true;
            });
    });

    svr.Post("/api/login", [this](const httplib::Request& req, httplib::Response& res) {
        auto delay = faults_.loginDelayMs.load();
        if (delay > 0) {
            sleepUnlessStopping(stopping_, std::chrono::milliseconds(delay));
        }
        auto body = parseBody(req);
        auto name = stringField(body, "user");
        auto password = stringField(body, "password");
        Store store(options_.database);
        auto user = store.user(name);
        if (!user) {
            return sendError(res, 403, "unknown_user", kUnknownUser);
        }
        if (!verifyPassword(password, user->passwordHash)) {
            return sendError(res, 403, "wrong_password", kWrongPassword);
        }
        if (user->suspended) {
            return sendError(res, 403, "suspended", kSuspended);
        }
        if (!user->subscribed) {
            return sendError(res, 403, "no_subscription", kNoSubscription);
        }
        int version = versionNumber(stringField(body, "player_version"));
        if (version < store.requiredVersion()) {
            return sendError(res, 403, "unsupported_version", kUnsupportedVersion);
        }
        auto token = store.openSession(*user, version);
        sendJson(
            res, 200,
            {{"session", token},
             {"account_url", baseUrl(req, host_, port_) + "/pages/account.htm?session=" + token},
             {"catalogue_version", store.catalogueVersion()}});
    });

    svr.Post("/api/logout", [this](const httplib::Request& req, httplib::Response& res) {
        auto token = stringField(parseBody(req), "session");
        Store store(options_.database);
        store.endSession(token, "logged_out", false);
        sendJson(res, 200, json::object());
    });

    svr.Get("/api/events", [this](const httplib::Request& req, httplib::Response& res) {
        auto token = req.get_param_value("session");
        int wait = kDefaultWaitSeconds;
        if (req.has_param("wait")) {
            wait = std::clamp(std::atoi(req.get_param_value("wait").c_str()), 0, kMaxWaitSeconds);
        }
        // The catalogue version the player has; a newer one is news that
        // does not end the session.
        std::optional<long long> catalogue;
        if (req.has_param("catalogue")) {
            catalogue = std::atoll(req.get_param_value("catalogue").c_str());
        }
        Store store(options_.database);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(wait);
        for (;;) {
            auto session = token.empty() ? std::nullopt : store.session(token);
            if (!session || session->endReported) {
                return sendJson(res, 401, {{"event", "closed"}});
            }
            if (!session->endReason.empty()) {
                store.markReported(token);
                return sendJson(res, 200, {{"event", session->endReason}});
            }
            auto reason = endReason(store, *session);
            if (!reason.empty()) {
                store.endSession(token, reason, true);
                return sendJson(res, 200, {{"event", reason}});
            }
            if (catalogue) {
                auto current = store.catalogueVersion();
                if (current != *catalogue) {
                    return sendJson(res, 200,
                                    {{"event", "catalogue"}, {"catalogue_version", current}});
                }
            }
            if (stopping_ || std::chrono::steady_clock::now() >= deadline) {
                return sendJson(res, 200, {{"event", "none"}});
            }
            std::this_thread::sleep_for(kPollInterval);
        }
    });

    svr.Get("/api/catalogue", [this](const httplib::Request& req, httplib::Response& res) {
        Store store(options_.database);
        if (!requireSession(store, req.get_param_value("session"), res)) {
            return;
        }
        auto games = loadGames(catalogueFile());
        std::map<std::string, long long> sizes;
        for (const auto& g : games) {
            if (auto file = resolveUnder(options_.content, "packages/" + g.archive)) {
                sizes[g.package] = file->size;
            }
        }
        res.set_content(renderCatalogue(games, sizes), "text/plain");
    });

    svr.Get(
        R"(/api/packages/([^/]+))", [this](const httplib::Request& req, httplib::Response& res) {
            Store store(options_.database);
            auto session = requireSession(store, req.get_param_value("session"), res);
            if (!session) {
                return;
            }
            auto games = loadGames(catalogueFile());
            const Game* game = findGame(games, req.matches[1]);
            auto file =
                game ? resolveUnder(options_.content, "packages/" + game->archive) : std::nullopt;
            auto hash = file ? hashes_.sha256(*file) : std::nullopt;
            if (!game || !file || !hash) {
                return sendError(res, 404, "unknown_package", kPackageUnavailable);
            }
            const Game* partner = findPartner(games, *game);
            sendJson(res, 200,
                     {{"package", game->package},
                      {"title", game->title},
                      {"demo", game->isDemo()},
                      {"partner", partner ? partner->package : ""},
                      {"price", game->price},
                      {"owned", game->isFree() || store.owns(session->user, game->package)},
                      {"size", file->size},
                      {"sha256", *hash},
                      {"playable_bytes", std::min(game->playableBytes, file->size)},
                      {"program", game->program},
                      {"archive_url",
                       baseUrl(req, host_, port_) + "/packages/" + percentEncode(game->archive)}});
        });

    svr.Post("/api/purchase", [this](const httplib::Request& req, httplib::Response& res) {
        auto body = parseBody(req);
        Store store(options_.database);
        auto session = requireSession(store, stringField(body, "session"), res);
        if (!session) {
            return;
        }
        auto games = loadGames(catalogueFile());
        const Game* game = findGame(games, stringField(body, "package"));
        if (!game) {
            return sendError(res, 404, "unknown_package", kPackageUnavailable);
        }
        if (!game->isFree() && !store.owns(session->user, game->package)) {
            auto user = store.user(session->user);
            if (!user || user->denyBilling) {
                return sendError(res, 402, "billing_denied", kBillingDenied);
            }
            store.addPurchase(session->user, game->package);
        }
        sendJson(res, 200, {{"owned", true}});
    });

    auto adminAllowed = [this](const httplib::Request& req, httplib::Response& res) {
        if (options_.adminToken.empty() || !isLoopback(req.remote_addr) ||
            req.get_header_value("X-Admin-Token") != options_.adminToken) {
            sendError(res, 403, "forbidden");
            return false;
        }
        return true;
    };
    svr.Get("/admin/faults",
            [this, adminAllowed](const httplib::Request& req, httplib::Response& res) {
                if (adminAllowed(req, res)) {
                    sendJson(res, 200, faults_.toJson());
                }
            });
    svr.Post("/admin/faults",
             [this, adminAllowed](const httplib::Request& req, httplib::Response& res) {
                 if (!adminAllowed(req, res)) {
                     return;
                 }
                 auto body = json::parse(req.body, nullptr, false);
                 try {
                     faults_.assign(body);
                 } catch (const std::invalid_argument& e) {
                     return sendJson(res, 400, {{"error", "bad_request"}, {"detail", e.what()}});
                 }
                 sendJson(res, 200, faults_.toJson());
             });
}

}  // namespace halvory::service
