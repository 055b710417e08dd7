#include "Admin.h"
#include "HttpServer.h"

#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <thread>

#include "trust/PackageManifest.h"

namespace {

using hv::service::Service;
using hv::service::ServiceOptions;

int Usage() {
    std::cerr << "usage: halvory-service serve --content DIR --db FILE --listen HOST:PORT\n"
                 "           [--admin-token-file FILE] [--catalogue-file FILE]\n"
                 "           [--signing-key-file FILE] [--link-secret-file FILE]\n"
                 "           [--tls-cert-file FILE --tls-key-file FILE]\n"
                 "           [--throttle-bps N] [--drop-after-bytes N] [--fail-next N]\n"
                 "           [--login-delay-ms N]\n"
                 "       halvory-service admin --db FILE COMMAND ...\n";
    return 2;
}

// The admin token never comes from the command line, which every user of the
// machine can read: from a file, or else from the environment.
bool ReadAdminToken(const std::string& file, std::string& token) {
    if (file.empty()) {
        const char* env = std::getenv("HALVORY_ADMIN_TOKEN");
        token = env ? env : "";
        return true;
    }
    std::ifstream in(file);
    if (!in || !std::getline(in, token) || token.empty()) {
        std::cerr << "halvory-service: no admin token in " << file << "\n";
        return false;
    }
    return true;
}

// The secret that signs package addresses, shared with nginx when it serves
// the packages: one line that nginx's configuration can hold as it stands.
bool ReadLinkSecret(const std::string& file, std::string& secret) {
    if (file.empty()) {
        return true;
    }
    std::ifstream in(file);
    const bool plain = in && std::getline(in, secret) && secret.size() >= 16 &&
                       std::all_of(secret.begin(), secret.end(), [](char c) {
                           return c > ' ' && c < 127 && c != '"' && c != '$' && c != '\\';
                       });
    if (!plain) {
        std::cerr << "halvory-service: " << file
                  << " must hold one line of at least 16 visible characters, without"
                     " quotes, $ or backslashes\n";
    }
    return plain;
}

// The manifests' signing key, from a file that only its owner may read.
bool ReadSigningKey(const std::string& file, std::string& key) {
    if (file.empty()) {
        return true;
    }
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0 || (info.st_mode & 077) != 0) {
        std::cerr << "halvory-service: " << file
                  << " must exist and be readable by its owner only (chmod 600)\n";
        return false;
    }
    std::ifstream in(file);
    key.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (hv::SignManifest({}, key).empty()) {
        std::cerr << "halvory-service: " << file << " holds no Ed25519 private key\n";
        return false;
    }
    return true;
}

int Serve(const std::vector<std::string>& args) {
    ServiceOptions options;
    std::string listen = "127.0.0.1:0";
    std::string tokenFile;
    std::string keyFile;
    std::string linkSecretFile;
    nlohmann::json faults = nlohmann::json::object();
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i + 1 >= args.size()) {
            return Usage();
        }
        const std::string& key = args[i];
        const std::string& value = args[++i];
        if (key == "--content") {
            options.content = value;
        } else if (key == "--db") {
            options.database = value;
        } else if (key == "--listen") {
            listen = value;
        } else if (key == "--admin-token-file") {
            tokenFile = value;
        } else if (key == "--signing-key-file") {
            keyFile = value;
        } else if (key == "--link-secret-file") {
            linkSecretFile = value;
        } else if (key == "--tls-cert-file") {
            options.tlsCertFile = value;
        } else if (key == "--tls-key-file") {
            options.tlsKeyFile = value;
        } else if (key == "--catalogue-file") {
            options.catalogue = value;
        } else if (key == "--throttle-bps" || key == "--drop-after-bytes" || key == "--fail-next" ||
                   key == "--login-delay-ms") {
            std::string name = key.substr(2);
            for (auto& c : name) {
                c = c == '-' ? '_' : c;
            }
            try {
                faults[name] = std::stoll(value);
            } catch (const std::exception&) {
                return Usage();
            }
        } else {
            return Usage();
        }
    }
    auto colon = listen.rfind(':');
    if (options.content.empty() || options.database.empty() || colon == std::string::npos ||
        options.tlsCertFile.empty() != options.tlsKeyFile.empty()) {
        return Usage();
    }
    std::string host = listen.substr(0, colon);
    int port = std::atoi(listen.c_str() + colon + 1);
    if (host.empty()) {
        // The library would take an empty host for every interface.
        std::cerr << "halvory-service: --listen needs an address, such as 127.0.0.1:" << port
                  << ", or 0.0.0.0:" << port << " for every interface\n";
        return 2;
    }
    if (!ReadAdminToken(tokenFile, options.adminToken) ||
        !ReadSigningKey(keyFile, options.signingKey) ||
        !ReadLinkSecret(linkSecretFile, options.linkSecret)) {
        return 2;
    }

    // A peer that leaves in the middle of an answer ends that answer, not the
    // service: TLS writes give no way to ask for that per call.
    signal(SIGPIPE, SIG_IGN);
    // Signals go to one waiting thread; every other thread inherits the blocked mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    Service service(options);
    service.GetFaults().Assign(faults);
    int bound = service.Bind(host, port);
    if (bound <= 0) {
        std::cerr << "halvory-service: cannot listen on " << listen << "\n";
        return 1;
    }
    std::printf("listening: %s://%s:%d\n", service.Scheme().c_str(), host.c_str(), bound);
    std::fflush(stdout);

    std::atomic<bool> finished{false};
    std::thread waiter([&service, &finished, signals] {
        int sig = 0;
        sigwait(&signals, &sig);
        service.Stop();
        // A listener that does not let go in time still must not keep the
        // process alive: its data is committed request by request.
        for (int waited = 0; !finished && waited < 5000; waited += 50) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (!finished) {
            std::_Exit(0);
        }
    });
    bool ok = service.Run();
    finished = true;
    // A run that ended without a signal still has to release the waiter.
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        return Usage();
    }
    std::string command = args.front();
    args.erase(args.begin());
    try {
        if (command == "serve") {
            return Serve(args);
        }
        if (command == "admin") {
            return hv::service::RunAdmin(args);
        }
    } catch (const std::exception& e) {
        std::cerr << "halvory-service: " << e.what() << "\n";
        return 1;
    }
    return Usage();
}
