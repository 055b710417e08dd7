#include "image/CxImage.h"

#include <sys/stat.h>

#include <algorithm>
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

void FitSize(uint32_t width, uint32_t height, uint32_t maxSide, uint32_t* fitWidth,
             uint32_t* fitHeight) {
    *fitWidth = width;
    *fitHeight = height;
    if (width <= maxSide && height <= maxSide) {
        return;
    }
    // The longer side becomes maxSide, the other keeps the ratio, rounded.
    const uint64_t longer = std::max(width, height);
    const uint64_t shorter = std::min(width, height);
    const auto scaled =
        static_cast<uint32_t>(std::max<uint64_t>(1, (shorter * maxSide + longer / 2) / longer));
    *fitWidth = width >= height ? maxSide : scaled;
    *fitHeight = width >= height ? scaled : maxSide;
}

bool ShrinkToFit(DecodedImage* image, uint32_t maxSide) {
    uint32_t width = 0;
    uint32_t height = 0;
    FitSize(image->width, image->height, maxSide, &width, &height);
    if (width == image->width && height == image->height) {
        return true;
    }
    std::unique_ptr<uint8_t[]> pixels = AllocatePixels(width, height);
    if (pixels == nullptr) {
        return false;
    }
    const size_t stride = size_t{image->width} * 4;
    // Each target pixel averages the source block it covers, colours weighted
    // by their alpha so that transparent pixels lend no colour to the edge.
    for (uint32_t y = 0; y < height; ++y) {
        const size_t top = uint64_t{y} * image->height / height;
        const size_t bottom = std::max<size_t>(top + 1, uint64_t{y + 1} * image->height / height);
        for (uint32_t x = 0; x < width; ++x) {
            const size_t left = uint64_t{x} * image->width / width;
            const size_t right = std::max<size_t>(left + 1, uint64_t{x + 1} * image->width / width);
            uint64_t sum[4] = {};
            for (size_t sy = top; sy < bottom; ++sy) {
                const uint8_t* p = image->pixels.get() + sy * stride + left * 4;
                for (size_t sx = left; sx < right; ++sx, p += 4) {
                    sum[0] += uint64_t{p[0]} * p[3];
                    sum[1] += uint64_t{p[1]} * p[3];
                    sum[2] += uint64_t{p[2]} * p[3];
                    sum[3] += p[3];
                }
            }
            uint8_t* out = pixels.get() + (size_t{y} * width + x) * 4;
            const uint64_t count = (bottom - top) * (right - left);
            for (int c = 0; c < 3; ++c) {
                out[c] = sum[3] == 0 ? 0 : static_cast<uint8_t>((sum[c] + sum[3] / 2) / sum[3]);
            }
            out[3] = static_cast<uint8_t>((sum[3] + count / 2) / count);
        }
    }
    image->pixels = std::move(pixels);
    image->width = width;
    image->height = height;
    return true;
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

// The whole file, when it holds at most limit bytes. A file that says it is
// larger is refused before anything is read.
bool ReadWhole(const std::string& path, size_t limit, std::vector<uint8_t>* bytes) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (file == nullptr) {
        return false;
    }
    struct stat st {};
    if (::fstat(::fileno(file.get()), &st) != 0 ||
        (S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) > limit)) {
        return false;
    }
    // Still bounded while reading: the file may grow, or not be a plain file.
    uint8_t chunk[64 * 1024];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
        if (bytes->size() + got > limit) {
            return false;
        }
        bytes->insert(bytes->end(), chunk, chunk + got);
    }
    return std::ferror(file.get()) == 0;
}

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
    return DecodeFitted(data, size, format, 0);
}

bool CxImage::DecodeFitted(const uint8_t* data, size_t size, uint32_t format, uint32_t maxSide) {
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
        case CXIMAGE_FORMAT_JPG: ok = hv::image::DecodeJpeg(data, size, &image, maxSide); break;
        default: break;
    }
    if (!ok || (maxSide != 0 && !hv::image::ShrinkToFit(&image, maxSide))) {
        return false;
    }
    Adopt(std::move(image.pixels), image.width, image.height, image.hasAlpha, format);
    return true;
}

bool CxImage::Load(const std::string& path, uint32_t format) {
    return LoadFitted(path, format, 0, kMaxFileBytes);
}

bool CxImage::LoadFitted(const std::string& path, uint32_t format, uint32_t maxSide,
                         size_t maxFileBytes) {
    Destroy();
    std::vector<uint8_t> bytes;
    return ReadWhole(path, maxFileBytes, &bytes) &&
           DecodeFitted(bytes.data(), bytes.size(), format, maxSide);
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
