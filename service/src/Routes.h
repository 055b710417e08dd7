#pragma once

#include "Content.h"
#include "Faults.h"
#include "HttpServer.h"
#include "LoginLimiter.h"
#include "PollLimiter.h"
#include "Store.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>

namespace hv::service {

// What the request handlers of every area share; owned by the Service.
struct ServiceState {
    ServiceOptions options;
    Faults faults;
    FileCache<std::string> hashes;     // hex SHA-256 of each archive
    FileCache<std::string> manifests;  // signed manifest of each package
    LoginLimiter logins;
    PollLimiter polls;
    std::atomic<bool> stopping{false};
    std::string host;
    int port = 0;
};

void AddAccountRoutes(httplib::Server& server, ServiceState& state);
void AddCatalogueRoutes(httplib::Server& server, ServiceState& state);
void AddStaticRoutes(httplib::Server& server, ServiceState& state);
// Before AddStaticRoutes: one of its pages takes the place of a static file.
void AddPageRoutes(httplib::Server& server, ServiceState& state);
void AddFaultRoutes(httplib::Server& server, ServiceState& state);

void SendJson(httplib::Response& res, int status, const nlohmann::json& body);
void SendError(httplib::Response& res, int status, const std::string& word, int code = 0);
// The request body as an object; anything else reads as an empty one.
nlohmann::json ParseBody(const httplib::Request& req);
std::string StringField(const nlohmann::json& body, const char* name);
// How the player reaches this service, for the links in an answer.
std::string BaseUrl(const httplib::Request& req, const ServiceState& state);
std::filesystem::path CatalogueFile(const ServiceState& state);
void SleepUnlessStopping(const std::atomic<bool>& stopping, std::chrono::milliseconds total);

// Milliseconds since the epoch on the service's clock, which a test can run ahead.
long long NowMs(const ServiceState& state);
// Why an open session must end now, or empty while it may go on.
std::string EndReason(Store& store, const Session& session, long long nowMs);
// The session token a request names: only in its X-Session header, never in
// the address, which logs, proxies and histories keep.
std::string SessionToken(const httplib::Request& req);
// The open session named by the request, or nothing (the answer is then set).
// A request keeps the session from going idle.
std::optional<Session> RequireSession(Store& store, const std::string& token, long long nowMs,
                                      httplib::Response& res);

}  // namespace hv::service
