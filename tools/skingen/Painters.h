// Every image painter, keyed by resource type and number. Painters return a
// transparent ARGB canvas; the generator keys, flattens and encodes it as the
// resource table says.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <functional>
#include <map>
#include <string>
#include <utility>

#include "res/ResourceTable.h"

namespace skin {

using Painter = std::function<QImage(const hv::ResourceSpec&)>;
using PainterKey = std::pair<std::string, unsigned>;
using PainterMap = std::map<PainterKey, Painter>;

inline PainterKey Key(const hv::ResourceSpec& s) {
    return {std::string(s.type), s.id};
}

void AddScreenPainters(PainterMap& map);
void AddControlPainters(PainterMap& map);
void AddAnimationPainters(PainterMap& map);

// 16-bit stereo PCM click-and-whoosh, RIFF/WAVE bytes.
QByteArray SynthesiseClick();

struct SheetEntry {
    const hv::ResourceSpec* entry;
    QByteArray bytes;
};
QImage DrawContactSheet(const std::vector<SheetEntry>& entries);

}  // namespace skin
