#include "Admin.h"

#include "Store.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "trust/PackageManifest.h"

namespace hv::service {

namespace {

int Usage() {
    std::cerr << "usage: halvory-service admin --db FILE COMMAND ...\n"
                 "       halvory-service admin new-signing-key PRIVATE_FILE PUBLIC_FILE\n"
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

// Writes a new file with the given mode; an existing one is never replaced.
bool WriteNewFile(const std::string& path, const std::string& text, mode_t mode) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
        std::cerr << "cannot create " << path << " (it must not exist yet)\n";
        return false;
    }
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return ::close(fd) == 0 && ok;
}

// The key that signs the package manifests: the private half readable only by
// its owner (the service), the public half for the players.
int WriteSigningKey(const std::string& privateFile, const std::string& publicFile) {
    const auto key = hv::NewSigningKey();
    if (!key) {
        std::cerr << "cannot generate a key\n";
        return 1;
    }
    if (!WriteNewFile(privateFile, key->privatePem, 0600)) {
        return 1;
    }
    if (!WriteNewFile(publicFile, key->publicPem, 0644)) {
        ::unlink(privateFile.c_str());
        return 1;
    }
    return 0;
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
    if (rest.size() == 3 && rest[0] == "new-signing-key") {
        return WriteSigningKey(rest[1], rest[2]);
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
