#include "res/Resources.h"

#include "res/ResourceTable.h"

#include <QFile>

#include <algorithm>
#include <cctype>

namespace hv {
namespace {

bool SameType(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

// The canonical spelling of a type, so that file names never depend on the caller's case.
std::string_view CanonicalType(std::string_view type) {
    if (SameType(type, "AVIINFO")) {
        return "AVIINFO";
    }
    for (const ResourceSpec& entry : kResourceTable) {
        if (SameType(type, entry.type)) {
            return entry.type;
        }
    }
    return {};
}

}  // namespace

const std::vector<ResourceInfo>& AllResources() {
    static const std::vector<ResourceInfo> all = [] {
        std::vector<ResourceInfo> list;
        list.reserve(kResourceTable.size());
        for (const ResourceSpec& s : kResourceTable) {
            list.push_back(
                {s.type, s.id, s.width, s.height, s.keyed, s.frames, s.fps, s.description});
        }
        return list;
    }();
    return all;
}

const ResourceInfo* FindResource(std::string_view type, unsigned id) {
    for (const ResourceInfo& info : AllResources()) {
        if (info.id == id && SameType(info.type, type)) {
            return &info;
        }
    }
    return nullptr;
}

QString ResourcePath(std::string_view type, unsigned id) {
    const std::string_view canonical = CanonicalType(type);
    if (canonical.empty()) {
        return {};
    }
    const std::string_view owner = canonical == "AVIINFO" ? std::string_view("AVI") : canonical;
    if (FindResource(owner, id) == nullptr) {
        return {};
    }
    return QStringLiteral(":/skin/") + QString::fromStdString(ResourceFileName(canonical, id));
}

bool LoadResourceData(std::string_view type, unsigned id, std::vector<uint8_t>* out) {
    out->clear();
    const QString path = ResourcePath(type, id);
    if (path.isEmpty()) {
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray bytes = file.readAll();
    out->assign(bytes.begin(), bytes.end());
    return !out->empty();
}

}  // namespace hv
