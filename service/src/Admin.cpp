#include "Admin.h"

#include "Store.h"

#include <cstdlib>
#include <iostream>

namespace hv::service {

namespace {

int Usage() {
    std::cerr << "usage: halvory-service admin --db FILE COMMAND ...\n"
                 "  add-user NAME PASSWORD [--no-subscription]\n"
                 "  set-password NAME PASSWORD\n"
                 "  suspend NAME | resume NAME\n"
                 "  end-subscription NAME | renew-subscription NAME\n"
                 "  deny-billing NAME | allow-billing NAME\n"
                 "  close-sessions NAME\n"
                 "  set-required-version N\n"
                 "  publish-catalogue\n";
    return 2;
}

int Report(bool ok, const std::string& name) {
    if (!ok) {
        std::cerr << "no such user: " << name << "\n";
        return 1;
    }
    return 0;
}

}  // namespace

int RunAdmin(const std::vector<std::string>& args) {
    std::string db;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--db" && i + 1 < args.size()) {
            db = args[++i];
        } else {
            rest.push_back(args[i]);
        }
    }
    if (db.empty() || rest.empty()) {
        return Usage();
    }
    const std::string& cmd = rest[0];
    auto need = [&](std::size_t n) { return rest.size() >= n + 1; };
    Store store(db);
    if (cmd == "add-user" && need(2)) {
        bool subscribed = !(rest.size() > 3 && rest[3] == "--no-subscription");
        if (!store.AddUser(rest[1], rest[2], subscribed)) {
            std::cerr << "user exists: " << rest[1] << "\n";
            return 1;
        }
        return 0;
    }
    if (cmd == "set-password" && need(2)) {
        return Report(store.SetPassword(rest[1], rest[2]), rest[1]);
    }
    if (cmd == "set-required-version" && need(1)) {
        char* end = nullptr;
        long v = std::strtol(rest[1].c_str(), &end, 10);
        if (*end != '\0' || v < 0) {
            return Usage();
        }
        store.SetRequiredVersion(static_cast<int>(v));
        return 0;
    }
    if (cmd == "publish-catalogue") {
        std::cout << "catalogue version " << store.PublishCatalogue() << "\n";
        return 0;
    }
    if (!need(1)) {
        return Usage();
    }
    const std::string& name = rest[1];
    if (cmd == "suspend") {
        return Report(store.SetFlag(name, "suspended", true), name);
    }
    if (cmd == "resume") {
        return Report(store.SetFlag(name, "suspended", false), name);
    }
    if (cmd == "end-subscription") {
        return Report(store.SetFlag(name, "subscribed", false), name);
    }
    if (cmd == "renew-subscription") {
        return Report(store.SetFlag(name, "subscribed", true), name);
    }
    if (cmd == "deny-billing") {
        return Report(store.SetFlag(name, "deny_billing", true), name);
    }
    if (cmd == "allow-billing") {
        return Report(store.SetFlag(name, "deny_billing", false), name);
    }
    if (cmd == "close-sessions") {
        if (!store.FindUser(name)) {
            return Report(false, name);
        }
        std::cout << store.EndSessionsOf(name, "closed") << " session(s) closed\n";
        return 0;
    }
    return Usage();
}

}  // namespace hv::service
