#include "Content.h"

#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>
#include <stdexcept>

namespace hv::service {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr int kFields = 23;
constexpr std::size_t kMaxWidth = 9999;

}  // namespace

bool Game::IsFree() const {
    return IsDemo() || std::strtod(price.c_str(), nullptr) <= 0.0;
}

std::vector<Game> LoadGames(const fs::path& catalogueFile) {
    std::ifstream in(catalogueFile);
    if (!in) {
        throw std::runtime_error("cannot read " + catalogueFile.string());
    }
    json doc = json::parse(in);
    std::vector<Game> games;
    for (const auto& g : doc.at("games")) {
        Game game;
        game.package = g.at("package").get<std::string>();
        game.title = g.at("title").get<std::string>();
        game.type = g.value("type", 1);
        game.categories = g.value("categories", "");
        game.rating = g.value("rating", "");
        game.price = g.value("price", "0");
        game.developer = g.value("developer", "");
        game.publisher = g.value("publisher", "");
        game.pairKey = g.value("pair", "");
        game.archive = g.value("archive", "");
        game.program = g.value("program", "");
        game.playableBytes = g.value("playable_bytes", 0LL);
        games.push_back(std::move(game));
    }
    return games;
}

void SaveGames(const fs::path& catalogueFile, const std::vector<Game>& games) {
    json list = json::array();
    for (const auto& g : games) {
        list.push_back({{"package", g.package},
                        {"title", g.title},
                        {"type", g.type},
                        {"categories", g.categories},
                        {"rating", g.rating},
                        {"price", g.price},
                        {"developer", g.developer},
                        {"publisher", g.publisher},
                        {"pair", g.pairKey},
                        {"archive", g.archive},
                        {"program", g.program},
                        {"playable_bytes", g.playableBytes}});
    }
    fs::path tmp = catalogueFile;
    tmp += ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        out << json{{"games", list}}.dump(2) << '\n';
        if (!out) {
            throw std::runtime_error("cannot write " + tmp.string());
        }
    }
    fs::rename(tmp, catalogueFile);
}

std::string RenderCatalogue(const std::vector<Game>& games,
                            const std::map<std::string, long long>& archiveSizes) {
    std::string out;
    for (const auto& g : games) {
        auto size = archiveSizes.find(g.package);
        std::string sizeText = size == archiveSizes.end() ? "0" : std::to_string(size->second);
        // Unused by the client; they carry the archive facts for other readers.
        std::string fields[kFields] = {g.package,    g.title,     std::to_string(g.type),
                                       g.categories, g.rating,    g.price,
                                       "",           "",          "",
                                       g.developer,  g.publisher, "0",
                                       "0",          sizeText,    std::to_string(g.playableBytes),
                                       "0",          "0",         g.archive,
                                       sizeText,     "0",         g.pairKey,
                                       "",           ""};
        char width[8];
        for (auto& f : fields) {
            if (f.size() > kMaxWidth) {
                f.resize(kMaxWidth);
            }
            std::snprintf(width, sizeof width, "%04zu", f.size());
            out += width;
        }
        for (const auto& f : fields) {
            out += f;
        }
    }
    return out;
}

std::optional<FileInfo> ResolveUnder(const fs::path& root, const std::string& relative) {
    if (relative.empty() || relative.find('\0') != std::string::npos ||
        relative.find('\\') != std::string::npos) {
        return std::nullopt;
    }
    fs::path candidate = root;
    std::stringstream parts(relative);
    std::string part;
    while (std::getline(parts, part, '/')) {
        if (part.empty()) {
            continue;
        }
        if (part == "." || part == "..") {
            return std::nullopt;
        }
        candidate /= part;
    }
    std::error_code ec;
    fs::path realRoot = fs::canonical(root, ec);
    if (ec) {
        return std::nullopt;
    }
    fs::path real = fs::canonical(candidate, ec);
    if (ec) {
        return std::nullopt;
    }
    // Symbolic links inside the folder must not lead out of it either.
    auto rel = real.lexically_relative(realRoot);
    if (rel.empty() || *rel.begin() == "..") {
        return std::nullopt;
    }
    if (!fs::is_regular_file(real, ec)) {
        return std::nullopt;
    }
    FileInfo info;
    info.path = real;
    info.size = static_cast<long long>(fs::file_size(real, ec));
    if (ec) {
        return std::nullopt;
    }
    struct stat st {};
    if (::stat(real.c_str(), &st) != 0) {
        return std::nullopt;
    }
    info.modified = st.st_mtime;
    info.modifiedNs =
        static_cast<long long>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    info.inode = st.st_ino;
    return info;
}

std::string HttpDate(std::time_t t) {
    std::tm tm{};
    gmtime_r(&t, &tm);
    static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d GMT", days[tm.tm_wday],
                  tm.tm_mday, months[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min,
                  tm.tm_sec);
    return buf;
}

int VersionNumber(const std::string& version) {
    // Summed wide and checked, so that a version with many or huge parts reads
    // as unparsable instead of wrapping into some other number.
    constexpr long long kLimit = std::numeric_limits<int>::max();
    std::string rest = version;
    long long total = 0;
    long long weight = 1;
    bool weightBeyond = false;
    auto add = [&](const char* part) {
        const long long value = std::strtoll(part, nullptr, 10);
        if (value == 0) {
            return true;
        }
        if (weightBeyond || value < 0 || value > kLimit / weight) {
            return false;
        }
        total += value * weight;
        return total <= kLimit;
    };
    std::size_t parts = 0;
    for (auto comma = rest.rfind(','); comma != std::string::npos; comma = rest.rfind(',')) {
        if (!add(rest.c_str() + comma + 1)) {
            return 0;
        }
        rest.resize(comma);
        ++parts;
        weightBeyond = weightBeyond || weight > kLimit / 10;
        weight = weightBeyond ? weight : weight * 10;
    }
    if (parts == 0) {
        return 0;
    }
    if (rest.size() == 1 && !add(rest.c_str())) {
        return 0;
    }
    return static_cast<int>(total);
}

}  // namespace hv::service
