#include "HttpServer.h"

#include "Routes.h"

#include <algorithm>
#include <thread>

namespace hv::service {

using nlohmann::json;

namespace {

constexpr std::size_t kWorkerThreads = 32;

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
    return "http://" + host;
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

// Checked on every request so that operator changes take effect without any
// signal to the service.
std::string EndReason(Store& store, const Session& session) {
    auto user = store.FindUser(session.user);
    if (!user) {
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

std::optional<Session> RequireSession(Store& store, const std::string& token,
                                      httplib::Response& res) {
    auto session = token.empty() ? std::nullopt : store.FindSession(token);
    if (session && session->endReason.empty()) {
        auto reason = EndReason(store, *session);
        if (reason.empty()) {
            return session;
        }
        store.EndSession(token, reason, false);
    }
    SendError(res, 401, "session_closed");
    return std::nullopt;
}

Service::Service(ServiceOptions options)
    : m_state(std::make_unique<ServiceState>()), m_server(std::make_unique<httplib::Server>()) {
    m_state->options = std::move(options);
    // Long polls hold a thread each; the library's default pool is small.
    m_server->new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
    m_server->set_keep_alive_max_count(100);
    // Small answers must not wait for the peer's delayed acknowledgement.
    m_server->set_tcp_nodelay(true);
    // Accept only once a connection is waiting, so a stop is noticed within
    // this interval instead of racing a blocked accept.
    m_server->set_idle_interval(0, 200000);

    m_server->set_pre_routing_handler(
        [state = m_state.get()](const httplib::Request& req, httplib::Response& res) {
            if (req.path.rfind("/admin/", 0) != 0 && state->faults.TakeFailure()) {
                SendError(res, 503, "injected_failure");
                return httplib::Server::HandlerResponse::Handled;
            }
            return httplib::Server::HandlerResponse::Unhandled;
        });
    m_server->set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr ep) {
            std::string what = "internal";
            try {
                std::rethrow_exception(ep);
            } catch (const std::exception& e) {
                what = e.what();
            } catch (...) {
            }
            SendJson(res, 500, {{"error", "internal"}, {"detail", what}});
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
    if (port == 0) {
        m_state->port = m_server->bind_to_any_port(host);
    } else {
        m_state->port = m_server->bind_to_port(host, port) ? port : -1;
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

Faults& Service::GetFaults() {
    return m_state->faults;
}

}  // namespace hv::service
