#include "ServiceHarness.h"

#include "Content.h"
#include "Crypto.h"
#include "Tar.h"
#include "trust/PackageManifest.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

namespace hvtest {

namespace fs = std::filesystem;

namespace {

struct CurlInit {
    CurlInit() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~CurlInit() { curl_global_cleanup(); }
} curlInit;

size_t OnBody(char* data, size_t size, size_t n, void* user) {
    static_cast<std::string*>(user)->append(data, size * n);
    return size * n;
}

size_t OnHeader(char* data, size_t size, size_t n, void* user) {
    std::string line(data, size * n);
    auto colon = line.find(':');
    if (colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        value.erase(value.find_last_not_of("\r\n ") + 1);
        (*static_cast<std::map<std::string, std::string>*>(user))[name] = value;
    }
    return size * n;
}

// Starts a program with its standard output on a pipe, and its standard error
// appended to errorFile when one is named; returns its pid, or -1.
pid_t Spawn(const std::vector<std::string>& argv, int* output, const std::string& errorFile = {}) {
    // Built before fork: the child of a threaded process may only exec.
    std::vector<char*> args;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    int fds[2];
    if (pipe(fds) != 0) {
        return -1;
    }
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        if (!errorFile.empty()) {
            dup2(open(errorFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600), STDERR_FILENO);
        }
        close(fds[0]);
        close(fds[1]);
        execv(args[0], args.data());
        _exit(127);
    }
    close(fds[1]);
    *output = fds[0];
    return pid;
}

// Reads to the end, or only the first line; closes the pipe.
std::string ReadPipe(int fd, bool firstLine = false) {
    std::string text;
    char buf[4096];
    for (ssize_t n; (!firstLine || text.find('\n') == std::string::npos) &&
                    (n = read(fd, buf, sizeof buf)) > 0;) {
        text.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return text;
}

}  // namespace

HttpReply Http(const std::string& method, const std::string& url, const std::string& body,
               const std::vector<std::string>& headers, const std::string& caFile) {
    HttpReply reply;
    CURL* curl = curl_easy_init();
    if (!caFile.empty()) {
        curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.c_str());
        curl_easy_setopt(curl, CURLOPT_CAPATH, nullptr);
    }
    curl_slist* list = nullptr;
    for (const auto& h : headers) {
        list = curl_slist_append(list, h.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &reply.headers);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 60L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    // Paths go out as written, ".." included, so that tests can send hostile ones.
    curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
    if (method == "HEAD") {
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    } else if (method == "POST") {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    } else if (method != "GET") {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
    }
    curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    curl_slist_free_all(list);
    curl_easy_cleanup(curl);
    return reply;
}

int RunProgram(const std::vector<std::string>& argv, std::string* out) {
    int fd = -1;
    const pid_t pid = Spawn(argv, &fd);
    if (pid < 0) {
        return -1;
    }
    const std::string text = ReadPipe(fd);
    if (out) {
        *out = text;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::vector<std::string>> CatalogueRecords(const std::string& data) {
    std::vector<std::vector<std::string>> records;
    std::size_t pos = 0;
    while (data.size() - pos >= 92) {
        auto& fields = records.emplace_back();
        std::size_t at = pos + 92;
        for (std::size_t i = 0; i < 23; ++i) {
            const auto width = std::stoul(data.substr(pos + i * 4, 4));
            fields.push_back(data.substr(at, width));
            at += width;
        }
        pos = at;
    }
    EXPECT_EQ(pos, data.size()) << "trailing bytes after the last record";
    return records;
}

TestContent::TestContent(const fs::path& dir) : root(dir / "content") {
    using hv::service::Game;
    for (unsigned i = 0; i < 600000; ++i) {
        level += static_cast<char>('a' + (i * 7919u) % 26);
    }
    fs::create_directories(root / "packages");
    for (const std::string name : {"space.tar", "space-demo.tar", "rover.tar"}) {
        hv::service::TarWriter tar(root / "packages" / name, 1700000000);
        tar.AddFile("bin/game.sh", "#!/bin/sh\necho started > started.txt\nexec sleep 0.3\n", 0755);
        tar.AddFile("readme.txt", "Space Race\n");
        tar.AddFile("bin/assets.dat", std::string(200000, 'z'));
        playableBytes = tar.Offset();
        if (name != "space-demo.tar") {
            tar.AddFile("data/level.dat", level);
        }
        tar.Finish();
    }
    const auto demoBytes =
        static_cast<long long>(fs::file_size(root / "packages" / "space-demo.tar"));
    const Game space{
        "SPACE",   "Space Race", 1,       "Action,Adventure", "T - Teen",   "19.99", "Dev One",
        "Pub One", "space",      archive, "bin/game.sh",      playableBytes};
    const Game demo{"SPACE-D", "Space Race", 3,       "Action,Adventure", "T - Teen",    "0",
                    "Dev One", "Pub One",    "space", "space-demo.tar",   "bin/game.sh", demoBytes};
    const Game rover{"ROVER",   "Rover",   1,  "Racing",    "T - Teen",    "0",
                     "Dev One", "Pub One", "", "rover.tar", "bin/game.sh", playableBytes};
    const Game ghost{"GHOST",   "Ghost",   1,  "Racing",      "T - Teen",    "0",
                     "Dev One", "Pub One", "", "missing.tar", "bin/game.sh", playableBytes};
    hv::service::SaveGames(root / "catalogue.json", {space, demo, rover, ghost});

    WriteFile(root / "art" / "Space Race.jpg", std::string(5000, '\xAB'));
    WriteFile(root / "art" / "Space Race.txt", "A race.");
    WriteFile(root / "pages" / "announcements.htm", "<html><body>News</body></html>");
    WriteFile(root / "upgrade" / "Install.sfe", "upgrade package");
    WriteFile(dir / secretOutside, "TOP-SECRET");
}

ServiceProcess::ServiceProcess(const fs::path& content, const fs::path& db,
                               const std::vector<std::string>& extra)
    : m_argv{HV_SERVICE_BIN, "serve", "--content", content.string(), "--db", db.string()},
      m_db(db),
      m_log(db.string() + ".log") {
    const auto given = [&](const std::string& arg) {
        return std::find(extra.begin(), extra.end(), arg) != extra.end();
    };
    if (!given("--admin-token-file") && std::getenv("HALVORY_ADMIN_TOKEN") == nullptr) {
        const fs::path tokenFile = db.string() + ".admin-token";
        WriteFile(tokenFile, std::string(kAdminToken) + "\n");
        m_argv.insert(m_argv.end(), {"--admin-token-file", tokenFile.string()});
    }
    if (!given("--link-secret-file")) {
        const fs::path secretFile = db.string() + ".link-secret";
        WriteFile(secretFile, std::string(kLinkSecret) + "\n");
        m_argv.insert(m_argv.end(), {"--link-secret-file", secretFile.string()});
    }
    if (!given(kNoSigningKey) && !given("--signing-key-file")) {
        const fs::path keyFile = db.string() + ".signing-key";
        const auto key = hv::NewSigningKey();
        if (!key) {
            ADD_FAILURE() << "cannot make a signing key";
        } else {
            WriteFile(keyFile, key->privatePem);
            fs::permissions(keyFile, fs::perms::owner_read | fs::perms::owner_write);
            m_packageKey = db.string() + ".signing-key.pub";
            WriteFile(m_packageKey, key->publicPem);
        }
        m_argv.insert(m_argv.end(), {"--signing-key-file", keyFile.string()});
    }
    std::copy_if(extra.begin(), extra.end(), std::back_inserter(m_argv),
                 [](const std::string& arg) { return arg != kNoSigningKey; });
    Start();
}

ServiceProcess::~ServiceProcess() {
    Stop(SIGKILL, 5000);
}

// The service tells its address on the first line of its output, or ends.
void ServiceProcess::Start() {
    std::vector<std::string> argv = m_argv;
    argv.insert(argv.end(), {"--listen", "127.0.0.1:" + std::to_string(m_port)});
    int fd = -1;
    m_pid = Spawn(argv, &fd, m_log);
    const std::string text = m_pid < 0 ? std::string() : ReadPipe(fd, true);
    const std::string prefix = "listening: ";
    const auto at = text.find(prefix);
    if (at == std::string::npos) {
        ADD_FAILURE() << "service did not report its address: " << text << Log();
        return;
    }
    m_url = text.substr(at + prefix.size());
    m_url.erase(m_url.find_last_not_of("\r\n") + 1);
    m_port = std::stoi(m_url.substr(m_url.rfind(':') + 1));
}

int ServiceProcess::Stop(int signal, int timeoutMs) {
    if (m_pid <= 0) {
        return -1;
    }
    kill(m_pid, signal);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    pid_t ended = 0;
    while ((ended = waitpid(m_pid, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (ended == 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, &status, 0);
    }
    m_pid = -1;
    return ended != 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ServiceProcess::Log() const {
    std::ifstream in(m_log);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

int ServiceProcess::Admin(const std::vector<std::string>& args) const {
    std::vector<std::string> argv = {HV_SERVICE_BIN, "admin", "--db", m_db.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv);
}

long ServiceProcess::Faults(const std::string& settings, const std::string& token) const {
    return Http("POST", m_url + "/admin/faults", settings, {"X-Admin-Token: " + token}, m_caFile)
        .status;
}

std::string ServiceProcess::Session(const std::string& user, const std::string& password) const {
    const nlohmann::json request = {
        {"user", user}, {"password", password}, {"player_version", "1,0,0,1"}};
    auto reply = nlohmann::json::parse(
        Http("POST", m_url + "/api/login", request.dump(), {}, m_caFile).body, nullptr, false);
    return reply.is_object() ? reply.value("session", "") : "";
}

TestCertificates::TestCertificates(const fs::path& dir)
    : ca(dir / "ca.pem"), cert(dir / "cert.pem"), key(dir / "key.pem") {
    fs::create_directories(dir);
    const fs::path caKey = dir / "ca-key.pem", request = dir / "cert.csr", ext = dir / "cert.ext";
    WriteFile(ext, "subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n");
    const std::string openssl = "/usr/bin/openssl";
    const std::vector<std::vector<std::string>> steps = {
        {openssl, "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
         "-nodes", "-keyout", caKey, "-out", ca, "-days", "2", "-subj",
         "/CN=Halvory Test Authority"},
        {openssl, "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
         "-keyout", key, "-out", request, "-subj", "/CN=127.0.0.1"},
        {openssl, "x509", "-req", "-in", request, "-CA", ca, "-CAkey", caKey, "-CAcreateserial",
         "-out", cert, "-days", "2", "-extfile", ext},
    };
    for (const auto& step : steps) {
        std::string out;
        if (RunProgram(step, &out) != 0) {
            ADD_FAILURE() << "openssl " << step[1] << " failed: " << out;
            return;
        }
    }
}

std::vector<std::string> TestCertificates::ServeArgs() const {
    return {"--tls-cert-file", cert.string(), "--tls-key-file", key.string()};
}

std::string ServiceProcess::PackagePath(const std::string& archive, long long expires) {
    if (expires == 0) {
        expires = std::chrono::duration_cast<std::chrono::seconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count() +
                  3600;
    }
    const std::string path = "/packages/" + archive;
    return path + "?md5=" + hv::service::LinkSignature(path, expires, kLinkSecret) +
           "&expires=" + std::to_string(expires);
}

namespace {

sockaddr_in Loopback(int port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

int FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr = Loopback(0);
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    close(fd);
    return ntohs(addr.sin_port);
}

// A loopback connection to the port with the text sent, or -1.
int Connect(int port, const std::string& text) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in addr = Loopback(port);
    if (fd < 0 || connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        send(fd, text.data(), text.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(text.size())) {
        ADD_FAILURE() << "cannot reach port " << port;
        if (fd >= 0) {
            close(fd);
        }
        return -1;
    }
    return fd;
}

}  // namespace

Dripped DripUntilClosed(int port, const std::string& start, std::chrono::milliseconds limit) {
    const auto begin = std::chrono::steady_clock::now();
    const int fd = Connect(port, start);
    Dripped dripped{std::chrono::milliseconds(0), {}};
    auto& elapsed = dripped.took;
    while (fd >= 0 && elapsed < limit) {
        char reply[512];
        ssize_t got = 0;
        while ((got = recv(fd, reply, sizeof reply, MSG_DONTWAIT)) > 0) {
            dripped.answer.append(reply, static_cast<std::size_t>(got));
        }
        if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK) ||
            send(fd, "a", 1, MSG_NOSIGNAL) != 1) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - begin);
    }
    if (fd >= 0) {
        close(fd);
    }
    elapsed = std::min(elapsed, limit);
    return dripped;
}

Siege::Siege(int port, const std::string& session, int polls, int slow) {
    const std::string poll =
        "GET /api/events?wait=300 HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Session: " + session +
        "\r\n\r\n";
    for (int i = 0; i < polls; ++i) {
        m_polls.push_back(Connect(port, poll));
    }
    for (int i = 0; i < slow; ++i) {
        m_slow.push_back(Connect(port, "GET /discover HTTP/1.1\r\nX-Slow: "));
    }
    // Set before the thread starts, which only reads it.
    m_drip = std::jthread([this](const std::stop_token& stop) {
        std::mutex wait;
        std::condition_variable_any tick;
        std::unique_lock lock(wait);
        while (!stop.stop_requested()) {
            tick.wait_for(lock, stop, std::chrono::milliseconds(500), [] { return false; });
            for (int fd : m_slow) {
                send(fd, "a", 1, MSG_NOSIGNAL);
            }
        }
    });
}

Siege::~Siege() {
    m_drip.request_stop();
    m_drip.join();
    for (int fd : m_polls) {
        close(fd);
    }
    for (int fd : m_slow) {
        close(fd);
    }
}

int Siege::PollsAnswered() const {
    return static_cast<int>(std::count_if(m_polls.begin(), m_polls.end(), [](int fd) {
        char byte;
        return recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
    }));
}

bool NginxProcess::Installed() {
    return access(kBinary, X_OK) == 0;
}

NginxProcess::NginxProcess(const fs::path& work, const fs::path& root) : m_port(FreePort()) {
    fs::create_directories(work / "logs");
    const fs::path conf = work / "nginx.conf";
    std::ofstream out(conf);
    out << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
        << "pid " << (work / "nginx.pid").string() << ";\n"
        << "error_log " << (work / "logs" / "error.log").string() << ";\n"
        << "events { worker_connections 64; }\nhttp {\n access_log off;\n";
    for (const char* temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"}) {
        out << " " << temp << "_temp_path " << (work / temp).string() << ";\n";
    }
    out << " types { image/jpeg jpg; text/plain txt; application/x-tar tar;\n"
        << "  \"text/html; charset=utf-8\" htm; }\n"
        << " server { listen 127.0.0.1:" << m_port << "; root " << root.string() << ";\n"
        << "  location /nolm/ { add_header Last-Modified \"\"; etag off; }\n"
        << "  location /packages/ {\n   secure_link $arg_md5,$arg_expires;\n"
        << "   secure_link_md5 \"$secure_link_expires$uri " << ServiceProcess::kLinkSecret
        << "\";\n   if ($secure_link != \"1\") { return 403; }\n  }\n }\n}\n";
    out.close();
    const std::string prefix = work.string() + "/";
    const std::string errorLog = (work / "logs" / "error.log").string();
    const std::string confPath = conf.string();
    m_pid = fork();
    if (m_pid == 0) {
        execl(kBinary, kBinary, "-p", prefix.c_str(), "-e", errorLog.c_str(), "-c",
              confPath.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!m_ready && std::chrono::steady_clock::now() < deadline) {
        m_ready = Http("HEAD", Url() + "/").status != 0;
        if (!m_ready) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
}

NginxProcess::~NginxProcess() {
    if (m_pid > 0) {
        kill(m_pid, SIGQUIT);
        waitpid(m_pid, nullptr, 0);
    }
}

}  // namespace hvtest
