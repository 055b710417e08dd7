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

// The account flags. Some end the account's sessions at once, so that undoing
// the change before the player's next request does not bring them back.
struct FlagCommand {
    const char* command;
    const char* column;
    bool value;
    const char* reason;  // what the account's event polls are told; empty: nothing ends
};
constexpr FlagCommand kFlagCommands[] = {
    {"suspend", "suspended", true, "suspended"},
    {"resume", "suspended", false, ""},
    {"end-subscription", "subscribed", false, "closed"},
    {"renew-subscription", "subscribed", true, ""},
    {"deny-billing", "deny_billing", true, ""},
    {"allow-billing", "deny_billing", false, ""},
};

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
        if (!store.SetPassword(rest[1], rest[2])) {
            return Report(false, rest[1]);
        }
        store.EndSessionsOf(rest[1], "password_changed");
        return 0;
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
    for (const auto& flag : kFlagCommands) {
        if (cmd == flag.command) {
            if (!store.SetFlag(name, flag.column, flag.value)) {
                return Report(false, name);
            }
            if (*flag.reason != '\0') {
                store.EndSessionsOf(name, flag.reason);
            }
            return 0;
        }
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
