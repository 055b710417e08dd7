// The test hook: reading and setting the failures the service causes. Only for
// a caller on this machine that knows the admin token.

#include "Routes.h"

#include <stdexcept>

namespace hv::service {

using nlohmann::json;

namespace {

bool IsLoopback(const std::string& addr) {
    return addr.rfind("127.", 0) == 0 || addr == "::1" || addr.rfind("::ffff:127.", 0) == 0;
}

bool AdminAllowed(const ServiceState& state, const httplib::Request& req, httplib::Response& res) {
    const auto& token = state.options.adminToken;
    if (token.empty() || !IsLoopback(req.remote_addr) ||
        req.get_header_value("X-Admin-Token") != token) {
        SendError(res, 403, "forbidden");
        return false;
    }
    return true;
}

void SetFaults(ServiceState& state, const httplib::Request& req, httplib::Response& res) {
    if (!AdminAllowed(state, req, res)) {
        return;
    }
    auto body = json::parse(req.body, nullptr, false);
    try {
        state.faults.Assign(body);
    } catch (const std::invalid_argument& e) {
        return SendJson(res, 400, {{"error", "bad_request"}, {"detail", e.what()}});
    }
    SendJson(res, 200, state.faults.ToJson());
}

}  // namespace

void AddFaultRoutes(httplib::Server& server, ServiceState& state) {
    server.Get("/admin/faults", [&state](const httplib::Request& req, httplib::Response& res) {
        if (AdminAllowed(state, req, res)) {
            SendJson(res, 200, state.faults.ToJson());
        }
    });
    server.Post("/admin/faults", [&state](const httplib::Request& req, httplib::Response& res) {
        SetFaults(state, req, res);
    });
}

}  // namespace hv::service
