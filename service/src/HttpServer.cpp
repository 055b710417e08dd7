#include "HttpServer.h"

#include "Crypto.h"
#include "DeadlineServer.h"
#include "Log.h"
#include "Routes.h"
#include "WorkerPool.h"

#include <sys/socket.h>

#include <algorithm>
#include <thread>

namespace hv::service {

using nlohmann::json;

namespace {

// Enough for every allowed long poll and as many connections again.
constexpr std::size_t kMaxWorkerThreads = 2 * PollLimiter::kTotal;
// The API's bodies are small JSON objects.
constexpr std::size_t kMaxBodyBytes = 64 * 1024;
// The library bounds each header line (8 KiB) but not how many there are.
constexpr std::size_t kMaxHeaderCount = 100;
constexpr std::size_t kMaxHeaderBytes = 32 * 1024;
// Each wait for the peer to send or take more; a stalled peer frees its thread.
constexpr auto kReadTimeout = std::chrono::seconds(5);
constexpr auto kWriteTimeout = std::chrono::seconds(10);
constexpr auto kKeepAliveSeconds = 5;
// The TLS handshake, and each request with its body, as a whole: a peer that
// keeps sending a byte just within the timeout above is cut off here.
constexpr auto kRequestDeadline = std::chrono::seconds(10);
// A session ends after this long without a request, and this long after login.
constexpr long long kSessionIdleMs = 30LL * 60 * 1000;
constexpr long long kSessionLifetimeMs = 12LL * 60 * 60 * 1000;

// Answers, before any body is read, the requests that would make the service
// hold more than it needs. True when the answer is set.
bool RefuseOversized(const httplib::Request& req, httplib::Response& res) {
    std::size_t headerBytes = 0;
    for (const auto& [name, value] : req.headers) {
        headerBytes += name.size() + value.size() + 4;
    }
    if (req.headers.size() > kMaxHeaderCount || headerBytes > kMaxHeaderBytes) {
        SendError(res, 431, "headers_too_large");
    } else if (req.has_header("Content-Encoding") &&
               req.get_header_value("Content-Encoding") != "identity") {
        // The library would unpack it, and a small body can unpack to any size.
        res.set_header("Accept-Encoding", "identity");
        SendError(res, 415, "compressed_body");
    } else if (req.has_header("Transfer-Encoding")) {
        // The library reads a chunked body whole, whatever its length.
        SendError(res, 411, "length_required");
    } else {
        return false;
    }
    res.set_header("Connection", "close");
    return true;
}

}  // namespace

void SendJson(httplib::Response& res, int status, const json& body) {
    res.status = status;
    res.set_content(body.dump(), "application/json");
}

void SendError(httplib::Response& res, int status, const std::string& word, int code) {
    json body = {{"error", word}};
    if (code != 0) {
        body["code"] = code;
    }
    SendJson(res, status, body);
}

json ParseBody(const httplib::Request& req) {
    auto body = json::parse(req.body, nullptr, false);
    return body.is_object() ? body : json::object();
}

std::string StringField(const json& body, const char* name) {
    auto it = body.find(name);
    return it != body.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::string BaseUrl(const httplib::Request& req, const ServiceState& state) {
    std::string host = req.get_header_value("Host");
    if (host.empty()) {
        host = state.host + ":" + std::to_string(state.port);
    }
    return (state.options.tlsCertFile.empty() ? "http://" : "https://") + host;
}

std::filesystem::path CatalogueFile(const ServiceState& state) {
    const auto& options = state.options;
    return options.catalogue.empty() ? options.content / "catalogue.json" : options.catalogue;
}

void SleepUnlessStopping(const std::atomic<bool>& stopping, std::chrono::milliseconds total) {
    auto end = std::chrono::steady_clock::now() + total;
    while (!stopping && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            end - std::chrono::steady_clock::now(), std::chrono::milliseconds(50)));
    }
}

long long NowMs(const ServiceState& state) {
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    return now.count() + state.faults.clockOffsetMs.load();
}

// Checked on every request so that operator changes take effect without any
// signal to the service.

std::string EndReason(Store& store, const Session& session, long long nowMs) {
    if (nowMs - session.seenMs >= kSessionIdleMs ||
        nowMs - session.openedMs >= kSessionLifetimeMs) {
        return "logged_out";
    }
    auto user = store.FindUser(session.user);
    if (!user || !user->subscribed) {
        return "closed";
    }
    if (user->suspended) {
        return "suspended";
    }
    if (user->passwordGeneration != session.passwordGeneration) {
        return "password_changed";
    }
    if (store.RequiredVersion() > session.playerVersion) {
        return "version_changed";
    }
    return {};
}

std::string SessionToken(const httplib::Request& req) {
    return req.get_header_value("X-Session");
}

std::optional<Session> RequireSession(Store& store, const std::string& token, long long nowMs,
                                      httplib::Response& res) {
    auto session = token.empty() ? std::nullopt : store.FindSession(token);
    if (session && session->endReason.empty()) {
        auto reason = EndReason(store, *session, nowMs);
        if (reason.empty()) {
            store.TouchSession(token, nowMs);
            return session;
        }
        store.EndSession(token, reason, false);
    }
    SendError(res, 401, "session_closed");
    return std::nullopt;
}

Service::Service(ServiceOptions options)
    : m_state(std::make_unique<ServiceState>()),
      m_server(std::make_unique<DeadlineServer>(kRequestDeadline, options.tlsCertFile,
                                                options.tlsKeyFile)) {
    m_state->options = std::move(options);
    if (m_state->options.linkSecret.empty()) {
        // Addresses given out then last until the service restarts.
        m_state->options.linkSecret = RandomHex(32);
    }
    // Each open connection holds a thread; the library's pool is fixed and small.
    m_server->new_task_queue = [] { return new WorkerPool(kMaxWorkerThreads); };
    m_server->set_keep_alive_max_count(100);
    // Small answers must not wait for the peer's delayed acknowledgement.
    m_server->set_tcp_nodelay(true);
    // Accept only once a connection is waiting, so a stop is noticed within
    // this interval instead of racing a blocked accept.
    m_server->set_idle_interval(0, 200000);
    m_server->set_payload_max_length(kMaxBodyBytes);
    m_server->set_read_timeout(kReadTimeout);
    m_server->set_write_timeout(kWriteTimeout);
    m_server->set_keep_alive_timeout(kKeepAliveSeconds);

    m_server->set_pre_routing_handler(
        [state = m_state.get()](const httplib::Request& req, httplib::Response& res) {
            // The library would cut every answer to the ranges asked, a part for
            // each however many there are. Only files take ranges, and they read
            // the header themselves. The request is the library's own non-const
            // object, handed to handlers as const.
            const_cast<httplib::Request&>(req).ranges.clear();
            if (RefuseOversized(req, res)) {
                return httplib::Server::HandlerResponse::Handled;
            }
            if (req.path.rfind("/admin/", 0) != 0 && state->faults.TakeFailure()) {
                SendError(res, 503, "injected_failure");
                return httplib::Server::HandlerResponse::Handled;
            }
            return httplib::Server::HandlerResponse::Unhandled;
        });
    m_server->set_exception_handler(
        [](const httplib::Request& req, httplib::Response& res, std::exception_ptr ep) {
            // The detail names files and internals: it goes to the log, never to the peer.
            std::string what = "unknown exception";
            try {
                std::rethrow_exception(ep);
            } catch (const std::exception& e) {
                what = e.what();
            } catch (...) {
            }
            LogLine(req.method + " " + req.path + ": " + what);
            SendError(res, 500, "internal");
        });

    AddAccountRoutes(*m_server, *m_state);
    AddPageRoutes(*m_server, *m_state);
    AddStaticRoutes(*m_server, *m_state);
    AddCatalogueRoutes(*m_server, *m_state);
    AddFaultRoutes(*m_server, *m_state);
}

Service::~Service() = default;

int Service::Bind(const std::string& host, int port) {
    m_state->host = host;
    if (!m_server->is_valid()) {
        LogLine("the certificate or its key cannot be used");
        return -1;
    }
    // The library listens with a backlog of five, so that a burst of players
    // connecting at once would wait a second each for the kernel to try again.
    int listening = -1;
    m_server->set_socket_options([&listening](socket_t sock) {
        httplib::default_socket_options(sock);
        listening = sock;
    });
    if (port == 0) {
        m_state->port = m_server->bind_to_any_port(host);
    } else {
        m_state->port = m_server->bind_to_port(host, port) ? port : -1;
    }
    m_server->set_socket_options(httplib::default_socket_options);
    if (m_state->port > 0 && ::listen(listening, SOMAXCONN) != 0) {
        LogLine("cannot widen the listen backlog");
    }
    return m_state->port;
}

bool Service::Run() {
    return m_server->listen_after_bind();
}

void Service::Stop() {
    m_state->stopping = true;
    m_server->stop();
}

std::string Service::Scheme() const {
    return m_state->options.tlsCertFile.empty() ? "http" : "https";
}

Faults& Service::GetFaults() {
    return m_state->faults;
}

}  // namespace hv::service
