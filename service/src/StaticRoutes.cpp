// Files of the content folder: art, pages, package archives and the upgrade,
// with ranges for resumed transfers and the throttle and drop faults.

#include "Routes.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <memory>
#include <vector>

namespace hv::service {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kChunkBytes = 64 * 1024;

std::string ContentType(const fs::path& file) {
    auto ext = file.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == ".jpg" || ext == ".jpeg") {
        return "image/jpeg";
    }
    if (ext == ".png") {
        return "image/png";
    }
    if (ext == ".txt") {
        return "text/plain";
    }
    if (ext == ".htm" || ext == ".html") {
        return "text/html; charset=utf-8";
    }
    if (ext == ".css") {
        return "text/css";
    }
    if (ext == ".tar") {
        return "application/x-tar";
    }
    return "application/octet-stream";
}

// The library cuts the answer to the range; it only needs to hear of ranges
// that start past the end.
bool Unsatisfiable(const httplib::Request& req, long long size) {
    if (req.ranges.size() != 1) {
        return false;
    }
    auto [first, last] = req.ranges.front();
    bool suffix = first < 0;
    return (!suffix && first >= size) || (suffix && last <= 0) || size == 0;
}

// Reads the file chunk by chunk, slowed and cut short as the faults say.
httplib::ContentProvider FileProvider(ServiceState& state, const fs::path& path) {
    auto in = std::make_shared<std::ifstream>(path, std::ios::binary);
    auto sent = std::make_shared<long long>(0);
    return [&state, in, sent](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
        long long throttle = state.faults.throttleBps;
        long long drop = state.faults.dropAfterBytes;
        std::size_t chunk = std::min<std::size_t>(length, kChunkBytes);
        if (throttle > 0) {
            chunk = std::min<std::size_t>(chunk,
                                          static_cast<std::size_t>(std::max(1LL, throttle / 20)));
        }
        if (drop > 0) {
            if (*sent >= drop) {
                return false;
            }
            chunk = std::min<std::size_t>(chunk, static_cast<std::size_t>(drop - *sent));
        }
        std::vector<char> buf(chunk);
        in->seekg(static_cast<std::streamoff>(offset));
        in->read(buf.data(), static_cast<std::streamsize>(chunk));
        auto got = static_cast<std::size_t>(in->gcount());
        if (got == 0 || state.stopping) {
            return false;
        }
        if (!sink.write(buf.data(), got)) {
            return false;
        }
        *sent += static_cast<long long>(got);
        if (throttle > 0) {
            SleepUnlessStopping(state.stopping, std::chrono::milliseconds(
                                                    static_cast<long long>(got) * 1000 / throttle));
        }
        return true;
    };
}

void ServeFile(ServiceState& state, const httplib::Request& req, httplib::Response& res) {
    auto file = ResolveUnder(state.options.content, req.path);
    if (!file) {
        SendError(res, 404, "not_found");
        return;
    }
    res.set_header("Last-Modified", HttpDate(file->modified));
    res.set_header("ETag",
                   "\"" + std::to_string(file->size) + "-" + std::to_string(file->modified) + "\"");
    res.set_header("Accept-Ranges", "bytes");
    auto size = file->size;
    if (Unsatisfiable(req, size)) {
        res.status = 416;
        res.set_header("Content-Range", "bytes */" + std::to_string(size));
        return;
    }
    if (size == 0) {
        res.set_content("", ContentType(file->path));
        return;
    }
    res.set_content_provider(static_cast<std::size_t>(size), ContentType(file->path),
                             FileProvider(state, file->path));
}

}  // namespace

void AddStaticRoutes(httplib::Server& server, ServiceState& state) {
    server.Get(R"(/(art|pages|packages|upgrade)/.*)",
               [&state](const httplib::Request& req, httplib::Response& res) {
                   ServeFile(state, req, res);
               });
}

}  // namespace hv::service
