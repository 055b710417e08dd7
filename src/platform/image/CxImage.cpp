#include "image/CxImage.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>

#include "image/ImageDecoders.h"

namespace hv::image {

bool SizeAllowed(uint64_t width, uint64_t height) {
    return width > 0 && height > 0 && width <= CxImage::kMaxSide && height <= CxImage::kMaxSide &&
           width * height * 4 <= CxImage::kMaxPixelBytes;
}

std::unique_ptr<uint8_t[]> AllocatePixels(uint32_t width, uint32_t height) {
    if (!SizeAllowed(width, height)) {
        return nullptr;
    }
    // Not zeroed: a decoder overwrites every byte.
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size_t{width} * height * 4]);
}

}  // namespace hv::image

namespace {

std::atomic<CxImage::ResourceLoader> g_resourceLoader{nullptr};

uint32_t SniffFormat(const uint8_t* data, size_t size) {
    static const uint8_t kPng[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size >= sizeof kPng && std::memcmp(data, kPng, sizeof kPng) == 0) {
        return CXIMAGE_FORMAT_PNG;
    }
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) {
        return CXIMAGE_FORMAT_JPG;
    }
    return CXIMAGE_FORMAT_UNKNOWN;
}

void SetAlphaBytes(uint8_t* pixels, size_t count, uint8_t value) {
    for (size_t i = 0; i < count; ++i) {
        pixels[i * 4 + 3] = value;
    }
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

CxImage::CxImage(uint32_t format) : m_type(format) {}

CxImage::CxImage(const CxImage& other) {
    *this = other;
}

CxImage& CxImage::operator=(const CxImage& other) {
    if (this == &other) {
        return *this;
    }
    std::unique_ptr<uint8_t[]> copy;
    if (other.IsValid()) {
        copy = hv::image::AllocatePixels(other.m_width, other.m_height);
        if (copy == nullptr) {
            Destroy();
            return *this;
        }
        std::memcpy(copy.get(), other.m_pixels.get(), other.GetStride() * other.m_height);
    }
    m_pixels = std::move(copy);
    m_width = other.m_width;
    m_height = other.m_height;
    m_type = other.m_type;
    m_hasAlpha = other.m_hasAlpha;
    m_alphaMax = other.m_alphaMax;
    return *this;
}

void CxImage::SetResourceLoader(ResourceLoader loader) {
    g_resourceLoader.store(loader);
}

bool CxImage::Decode(const uint8_t* data, size_t size, uint32_t format) {
    Destroy();
    if (data == nullptr || size == 0) {
        return false;
    }
    if (format == CXIMAGE_FORMAT_UNKNOWN) {
        format = SniffFormat(data, size);
    }
    hv::image::DecodedImage image;
    bool ok = false;
    switch (format) {
        case CXIMAGE_FORMAT_PNG: ok = hv::image::DecodePng(data, size, &image); break;
        case CXIMAGE_FORMAT_JPG: ok = hv::image::DecodeJpeg(data, size, &image); break;
        default: break;
    }
    if (!ok) {
        return false;
    }
    Adopt(std::move(image.pixels), image.width, image.height, image.hasAlpha, format);
    return true;
}

bool CxImage::Load(const std::string& path, uint32_t format) {
    Destroy();
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (file == nullptr) {
        return false;
    }
    // Read one byte past the limit to tell a file that is too large.
    std::vector<uint8_t> bytes;
    uint8_t chunk[64 * 1024];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
        if (bytes.size() + got > kMaxFileBytes) {
            return false;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    if (std::ferror(file.get()) != 0) {
        return false;
    }
    return Decode(bytes.data(), bytes.size(), format);
}

bool CxImage::LoadResource(std::string_view type, unsigned id, uint32_t format) {
    Destroy();
    const ResourceLoader loader = g_resourceLoader.load();
    std::vector<uint8_t> bytes;
    if (loader == nullptr || !loader(type, id, &bytes)) {
        return false;
    }
    return Decode(bytes.data(), bytes.size(), format);
}

bool CxImage::Create(uint32_t width, uint32_t height, bool withAlpha) {
    Destroy();
    std::unique_ptr<uint8_t[]> pixels = hv::image::AllocatePixels(width, height);
    if (pixels == nullptr) {
        return false;
    }
    const size_t count = size_t{width} * height;
    std::memset(pixels.get(), 0, count * 4);
    SetAlphaBytes(pixels.get(), count, withAlpha ? 0 : 255);
    Adopt(std::move(pixels), width, height, withAlpha, m_type);
    return true;
}

void CxImage::Destroy() {
    m_pixels.reset();
    m_width = 0;
    m_height = 0;
    m_hasAlpha = false;
}

void CxImage::AlphaCreate() {
    if (!IsValid() || m_hasAlpha) {
        return;
    }
    SetAlphaBytes(m_pixels.get(), size_t{m_width} * m_height, 255);
    m_hasAlpha = true;
}

void CxImage::AlphaDelete() {
    if (!IsValid() || !m_hasAlpha) {
        return;
    }
    SetAlphaBytes(m_pixels.get(), size_t{m_width} * m_height, 255);
    m_hasAlpha = false;
}

void CxImage::Adopt(std::unique_ptr<uint8_t[]> pixels, uint32_t width, uint32_t height,
                    bool hasAlpha, uint32_t format) {
    m_pixels = std::move(pixels);
    m_width = width;
    m_height = height;
    m_hasAlpha = hasAlpha;
    m_type = format;
}
