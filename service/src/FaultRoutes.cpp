// The test hooks: reading and setting the failures the service causes, and a
// redirect on request. Only for a caller on this machine that knows the admin
// token.

#include "Crypto.h"
#include "Log.h"
#include "Routes.h"

#include <cstdlib>
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
        !SameSecret(req.get_header_value("X-Admin-Token"), token)) {
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
        LogLine(std::string("fault settings refused: ") + e.what());
        return SendError(res, 400, "bad_request");
    }
    SendJson(res, 200, state.faults.ToJson());
}

// Answers with the redirect asked for, so that a test can see how its client follows one.
void Redirect(const ServiceState& state, const httplib::Request& req, httplib::Response& res) {
    if (!AdminAllowed(state, req, res)) {
        return;
    }
    const int status = std::atoi(req.get_param_value("status").c_str());
    if (status < 300 || status > 399 || !req.has_param("to")) {
        return SendError(res, 400, "bad_request");
    }
    res.status = status;
    res.set_header("Location", req.get_param_value("to"));
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
    auto redirect = [&state](const httplib::Request& req, httplib::Response& res) {
        Redirect(state, req, res);
    };
    server.Get("/admin/redirect", redirect);
    server.Post("/admin/redirect", redirect);
}

}  // namespace hv::service
