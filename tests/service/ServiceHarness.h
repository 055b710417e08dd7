// The real service on loopback with a small content folder, shared by the
// service's, the engine's and the client's tests.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "../support/TestFiles.h"

namespace hvtest {

struct HttpReply {
    long status = 0;                             // 0: the transfer failed
    std::map<std::string, std::string> headers;  // names lower-cased
    std::string body;
};

// caFile: the only certificates trusted for https; empty: the system's.
HttpReply Http(const std::string& method, const std::string& url, const std::string& body = {},
               const std::vector<std::string>& headers = {}, const std::string& caFile = {});

// A private authority and a certificate it signed for 127.0.0.1, made in the
// folder with the openssl program.
struct TestCertificates {
    explicit TestCertificates(const std::filesystem::path& dir);
    std::filesystem::path ca, cert, key;  // PEM files
    // The service's arguments to serve with the certificate.
    std::vector<std::string> ServeArgs() const;
};

// Runs a program to its end; returns its exit status (or -1), stdout in out.
int RunProgram(const std::vector<std::string>& argv, std::string* out = nullptr);

// The catalogue byte stream read the way the client reads it: per record 23
// four-digit widths, then the values.
std::vector<std::vector<std::string>> CatalogueRecords(const std::string& data);

// A small content folder: a priced game whose playable part comes first, its
// demo under the same title, a free game, a game whose archive is missing, art,
// a page and an upgrade.
struct TestContent {
    explicit TestContent(const std::filesystem::path& dir);
    std::filesystem::path root;
    std::string archive = "space.tar";  // the priced game's package archive
    std::string level;                  // data/level.dat, the last file of the full games
    long long playableBytes = 0;
    std::string secretOutside = "secret.txt";  // beside the folder; never served
};

// The real service binary on a free loopback port, killed with the object. Its
// admin token is kAdminToken, from a file, unless extra or the environment gives
// one; it signs manifests with a fresh key unless extra gives one; its log goes
// to a file.
class ServiceProcess {
  public:
    static constexpr const char* kAdminToken = "test-token";
    // Signs package addresses, unless extra gives a --link-secret-file.
    static constexpr const char* kLinkSecret = "test-link-secret-0123456789";
    // In extra: the service signs no manifests.
    static constexpr const char* kNoSigningKey = "--test-no-signing-key";

    ServiceProcess(const std::filesystem::path& content, const std::filesystem::path& db,
                   const std::vector<std::string>& extra = {});
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    const std::string& Url() const { return m_url; }
    int Port() const { return m_port; }
    // The public half (PEM file) of the key made for the service; empty when
    // extra said otherwise.
    const std::filesystem::path& PackageKey() const { return m_packageKey; }
    // After Stop, starts it again on the same port.
    void Start();
    // Sends the signal and waits up to timeoutMs; returns the exit status, or -1.
    int Stop(int signal = SIGTERM, int timeoutMs = 10000);
    int Admin(const std::vector<std::string>& args) const;
    // What the service has written to its log (standard error) so far.
    std::string Log() const;
    // Posts fault settings (JSON text); returns the HTTP status.
    long Faults(const std::string& settings, const std::string& token = kAdminToken) const;
    // The authority (PEM) that Faults and Session trust, for a service over TLS.
    void UseAuthority(const std::string& caFile) { m_caFile = caFile; }
    // Logs in through the API; returns the session, empty when refused.
    std::string Session(const std::string& user, const std::string& password) const;
    // The path of a package archive signed with kLinkSecret, valid until the
    // given time (seconds since the epoch; 0: an hour from now).
    static std::string PackagePath(const std::string& archive, long long expires = 0);

  private:
    std::vector<std::string> m_argv;
    std::filesystem::path m_db;
    std::filesystem::path m_log;
    std::filesystem::path m_packageKey;
    pid_t m_pid = -1;
    int m_port = 0;
    std::string m_url;
    std::string m_caFile;
};

struct Dripped {
    std::chrono::milliseconds took;  // or the limit, if the service never closed
    std::string answer;              // what the service sent before it closed
};
// Sends start on a new connection, then a byte every half second, each well
// within the service's wait for the next, until the service closes it.
Dripped DripUntilClosed(int port, const std::string& start, std::chrono::milliseconds limit);

// Connections that would hold the service's threads, closed with the object:
// long polls of one session asking to wait five minutes, and requests that are
// sent a byte every half second and never end.
class Siege {
  public:
    Siege(int port, const std::string& session, int polls, int slow);
    ~Siege();
    Siege(const Siege&) = delete;
    Siege& operator=(const Siege&) = delete;

    // How many of the long polls have been answered so far.
    int PollsAnswered() const;

  private:
    std::vector<int> m_polls;
    std::vector<int> m_slow;
    std::jthread m_drip;
};

// nginx in the foreground with its own configuration, serving one folder;
// under /nolm/ it leaves out Last-Modified, and under /packages/ it serves only
// addresses signed with the service's kLinkSecret. Stopped with the object.
class NginxProcess {
  public:
    static constexpr const char* kBinary = "/usr/sbin/nginx";
    static bool Installed();

    NginxProcess(const std::filesystem::path& work, const std::filesystem::path& root);
    ~NginxProcess();
    NginxProcess(const NginxProcess&) = delete;
    NginxProcess& operator=(const NginxProcess&) = delete;

    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    bool Ready() const { return m_ready; }

  private:
    int m_port = 0;
    pid_t m_pid = -1;
    bool m_ready = false;
};

}  // namespace hvtest
