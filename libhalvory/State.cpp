#include "State.h"

#include <strings.h>

#include <nlohmann/json.hpp>

#include "Files.h"

namespace hv {
using nlohmann::json;

namespace {
constexpr std::size_t kMaxStateBytes = 16 << 20;
constexpr int kFormat = 1;
}  // namespace

std::string EngineState::ToJson() const {
    json doc = {{"format", kFormat}, {"installed", json::object()}, {"partial", json::object()}};
    for (const auto& [package, p] : installed) {
        doc["installed"][package] = {{"title", p.title},
                                     {"folder", p.folder},
                                     {"program", p.program},
                                     {"sha256", p.sha256},
                                     {"demo", p.demo}};
    }
    for (const auto& [package, p] : partial) {
        doc["partial"][package] = {{"title", p.title},
                                   {"folder", p.folder},
                                   {"part_file", p.partFile},
                                   {"sha256", p.sha256},
                                   {"size", p.size}};
    }
    return doc.dump(1);
}

EngineState EngineState::FromJson(const std::string& text) {
    EngineState state;
    json doc = json::parse(text, nullptr, false);
    if (!doc.is_object() || doc.value("format", 0) != kFormat) {
        return state;
    }
    try {
        if (auto it = doc.find("installed"); it != doc.end() && it->is_object()) {
            for (const auto& [package, p] : it->items()) {
                state.installed[package] = {
                    p.at("title").get<std::string>(), p.at("folder").get<std::string>(),
                    p.at("program").get<std::string>(), p.at("sha256").get<std::string>(),
                    p.at("demo").get<bool>()};
            }
        }
        if (auto it = doc.find("partial"); it != doc.end() && it->is_object()) {
            for (const auto& [package, p] : it->items()) {
                state.partial[package] = {
                    p.at("title").get<std::string>(), p.at("folder").get<std::string>(),
                    p.at("part_file").get<std::string>(), p.at("sha256").get<std::string>(),
                    p.at("size").get<std::uint64_t>()};
            }
        }
    } catch (const json::exception&) {
        return {};
    }
    return state;
}

EngineState EngineState::Load(const std::filesystem::path& file) {
    auto text = ReadWholeFile(file, kMaxStateBytes);
    return text ? FromJson(*text) : EngineState{};
}

bool EngineState::Save(const std::filesystem::path& file, bool durable) const {
    return WriteFileAtomic(file, ToJson(), durable);
}

const std::string* EngineState::PackageForTitle(const std::string& title) const {
    // A game and its demo share a title; the full game wins.
    const std::string* found = nullptr;
    for (const auto& [package, p] : installed) {
        if (::strcasecmp(p.title.c_str(), title.c_str()) == 0 && (!found || !p.demo)) {
            found = &package;
        }
    }
    return found;
}

}  // namespace hv
