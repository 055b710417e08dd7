// Files of the content folder: art, pages, package archives and the upgrade,
// with ranges for resumed transfers and the throttle and drop faults.

#include "Routes.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <memory>
#include <string_view>
#include <vector>

#include "Crypto.h"
#include "Log.h"
#include "Ranges.h"
#include "trust/PackageManifest.h"

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

// Reads the file chunk by chunk, slowed and cut short as the faults say.
// The library asks for offsets within the span; start is where it begins in the file.
httplib::ContentProvider FileProvider(ServiceState& state, const fs::path& path, long long start) {
    auto in = std::make_shared<std::ifstream>(path, std::ios::binary);
    auto sent = std::make_shared<long long>(0);
    return
        [&state, in, sent, start](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            long long throttle = state.faults.throttleBps;
            long long drop = state.faults.dropAfterBytes;
            long long flip = state.faults.flipByteAt;
            std::size_t chunk = std::min<std::size_t>(length, kChunkBytes);
            if (throttle > 0) {
                chunk = std::min<std::size_t>(
                    chunk, static_cast<std::size_t>(std::max(1LL, throttle / 20)));
            }
            if (drop > 0) {
                if (*sent >= drop) {
                    return false;
                }
                chunk = std::min<std::size_t>(chunk, static_cast<std::size_t>(drop - *sent));
            }
            std::vector<char> buf(chunk);
            const long long at = start + static_cast<long long>(offset);
            in->seekg(static_cast<std::streamoff>(at));
            in->read(buf.data(), static_cast<std::streamsize>(chunk));
            auto got = static_cast<std::size_t>(in->gcount());
            if (got == 0 || state.stopping) {
                return false;
            }
            if (flip > 0 && flip >= at && flip < at + static_cast<long long>(got) &&
                state.faults.TakeFlip()) {
                buf[static_cast<std::size_t>(flip - at)] ^= static_cast<char>(0xff);
            }
            if (!sink.write(buf.data(), got)) {
                return false;
            }
            *sent += static_cast<long long>(got);
            if (throttle > 0) {
                SleepUnlessStopping(
                    state.stopping,
                    std::chrono::milliseconds(static_cast<long long>(got) * 1000 / throttle));
            }
            return true;
        };
}

// A package is served only at the signed address the package information gave
// its owner, until that address expires; nginx's secure_link decides alike.
bool LinkAllowed(const ServiceState& state, const httplib::Request& req) {
    if (req.path.rfind("/packages/", 0) != 0) {
        return true;
    }
    const std::string expires = req.get_param_value("expires");
    const char* end = expires.data() + expires.size();
    long long seconds = 0;
    const auto parsed = std::from_chars(expires.data(), end, seconds);
    return !expires.empty() && parsed.ec == std::errc() && parsed.ptr == end &&
           seconds >= NowMs(state) / 1000 &&
           SameSecret(req.get_param_value("md5"),
                      LinkSignature(req.path, seconds, state.options.linkSecret));
}

void ServeFile(ServiceState& state, const httplib::Request& req, httplib::Response& res) {
    if (!LinkAllowed(state, req)) {
        SendError(res, 403, "link_refused");
        return;
    }
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
    auto range = req.has_header("Range") ? ChooseRange(req.get_header_value("Range"), size)
                                         : RangeChoice{RangeAnswer::Whole, {0, size - 1}};
    if (range.answer == RangeAnswer::Unsatisfiable) {
        res.status = 416;
        res.set_header("Content-Range", "bytes */" + std::to_string(size));
        return;
    }
    if (size == 0) {
        res.set_content("", ContentType(file->path));
        return;
    }
    const auto& span = range.span;
    if (range.answer == RangeAnswer::Part) {
        res.status = 206;
        res.set_header("Content-Range", "bytes " + std::to_string(span.first) + "-" +
                                            std::to_string(span.last) + "/" + std::to_string(size));
    }
    res.set_content_provider(static_cast<std::size_t>(span.last - span.first + 1),
                             ContentType(file->path), FileProvider(state, file->path, span.first));
}

// A package's manifest, signed once per version of the file.
void ServeManifest(ServiceState& state, const httplib::Request& req, httplib::Response& res) {
    auto file = ResolveUnder(state.options.content, req.matches[1].str());
    if (!file || state.options.signingKey.empty()) {
        return SendError(res, 404, "no_manifest");
    }
    const auto manifest =
        state.manifests.Get(*file, [&state](const FileInfo& package) -> std::optional<std::string> {
            const std::string name = package.path.filename().string();
            const auto described = DescribeFile(package.path.string(), name,
                                                BlockSizeFor(static_cast<uint64_t>(package.size)));
            std::string text =
                described ? SignManifest(*described, state.options.signingKey) : std::string();
            LogLine("signed the manifest of " + name + (text.empty() ? ": failed" : ""));
            return text.empty() ? std::nullopt : std::optional(std::move(text));
        });
    if (!manifest) {
        return SendError(res, 404, "no_manifest");
    }
    res.set_content(*manifest, "text/plain");
}

}  // namespace

void AddStaticRoutes(httplib::Server& server, ServiceState& state) {
    // Before the files themselves, whose pattern it also matches.
    server.Get(R"(/((?:packages|upgrade)/[^/]+)\.manifest)",
               [&state](const httplib::Request& req, httplib::Response& res) {
                   ServeManifest(state, req, res);
               });
    server.Get(R"(/(art|pages|packages|upgrade)/.*)",
               [&state](const httplib::Request& req, httplib::Response& res) {
                   ServeFile(state, req, res);
               });
}

}  // namespace hv::service
