// Skin resources compiled into the program, addressed by type and number
// ("PNG 277", "BITMAP 180", "AVI 140", "WAVE 141", "FONT 1").
#pragma once

#include <QString>

#include <cstdint>
#include <string_view>
#include <vector>

namespace hv {

struct ResourceInfo {
    std::string_view type;
    unsigned id = 0;
    int width = 0;  // one frame for animations
    int height = 0;
    bool keyed = false;  // 0xFF00FF marks transparent pixels
    int frames = 0;      // animations: frames in the strip
    int fps = 0;         // animations: frames a second
    std::string_view description;
};

// Raw bytes of a resource as stored: PNG (BITMAP and ICON too, BITMAP without
// alpha), baseline JPEG, a horizontal PNG frame strip for AVI, RIFF PCM for
// WAVE, TrueType for FONT. "AVIINFO" gives an animation's JSON frame data.
// The type is matched ignoring case. Returns false and leaves out empty when
// there is no such resource.
bool LoadResourceData(std::string_view type, unsigned id, std::vector<uint8_t>* out);

// The ":/..." path for Qt file and image APIs; empty when unknown.
QString ResourcePath(std::string_view type, unsigned id);

// Every resource of the bundle (AVIINFO entries are implied by their AVI).
const std::vector<ResourceInfo>& AllResources();

// Entry for one resource, or null.
const ResourceInfo* FindResource(std::string_view type, unsigned id);

}  // namespace hv
