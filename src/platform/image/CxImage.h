// CxImage: the decoded PNG and JPEG images of the client (skin images, rating
// badges, downloaded game icons), on libpng and libjpeg-turbo.
//
// Pixels are always 8-bit RGBA, rows top to bottom, GetStride() == width * 4
// bytes. An image without an alpha channel (AlphaIsValid() false) has 255 in
// every alpha byte, and whoever writes its pixels keeps it so; it is drawn as
// an opaque copy. The alpha maximum is a draw
// setting, not a change of the pixels: a pixel is drawn with opacity
// alpha * max / 255, so AlphaSetMax(255) restores full strength.
//
// Every decoder bounds the declared size before it allocates and fails on
// corrupt or truncated data, leaving the image empty.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

enum : uint32_t {
    CXIMAGE_FORMAT_UNKNOWN = 0,  // Decode and Load: tell the format from the signature
    CXIMAGE_FORMAT_JPG = 3,
    CXIMAGE_FORMAT_PNG = 4,
};

class CxImage {
  public:
    // Fetches a program resource by type ("PNG", "JPG") and number.
    using ResourceLoader = bool (*)(std::string_view type, unsigned id, std::vector<uint8_t>* out);

    static constexpr uint32_t kMaxSide = 16384;
    static constexpr size_t kMaxPixelBytes = size_t{256} << 20;
    static constexpr size_t kMaxFileBytes = size_t{64} << 20;

    explicit CxImage(uint32_t format = CXIMAGE_FORMAT_UNKNOWN);
    CxImage(const CxImage& other);
    CxImage& operator=(const CxImage& other);
    CxImage(CxImage&&) noexcept = default;
    CxImage& operator=(CxImage&&) noexcept = default;
    ~CxImage() = default;

    // Set once at start-up, before the first LoadResource.
    static void SetResourceLoader(ResourceLoader loader);

    bool Decode(const uint8_t* data, size_t size, uint32_t format);
    bool Load(const std::string& path, uint32_t format);
    // Refuses a file larger than maxFileBytes before reading it, and keeps
    // the picture no larger than maxSide on either side, aspect kept.
    bool LoadFitted(const std::string& path, uint32_t format, uint32_t maxSide,
                    size_t maxFileBytes);
    bool LoadResource(std::string_view type, unsigned id, uint32_t format);

    // A black image of the given size, opaque unless withAlpha (then fully
    // transparent), for callers that fill the pixels themselves.
    bool Create(uint32_t width, uint32_t height, bool withAlpha);
    void Destroy();

    bool IsValid() const { return m_pixels != nullptr; }
    uint32_t GetWidth() const { return m_width; }
    uint32_t GetHeight() const { return m_height; }
    // The format of the last successful decode (the constructor's otherwise).
    uint32_t GetType() const { return m_type; }
    size_t GetStride() const { return size_t{m_width} * 4; }
    const uint8_t* Pixels() const { return m_pixels.get(); }
    uint8_t* Pixels() { return m_pixels.get(); }

    bool AlphaIsValid() const { return IsValid() && m_hasAlpha; }
    // Gives an image without alpha an opaque alpha channel.
    void AlphaCreate();
    // Drops the alpha channel: the image is opaque again.
    void AlphaDelete();
    void AlphaSetMax(uint8_t max) { m_alphaMax = max; }
    uint8_t AlphaGetMax() const { return m_alphaMax; }

  private:
    // maxSide 0: the picture's own size.
    bool DecodeFitted(const uint8_t* data, size_t size, uint32_t format, uint32_t maxSide);
    void Adopt(std::unique_ptr<uint8_t[]> pixels, uint32_t width, uint32_t height, bool hasAlpha,
               uint32_t format);

    std::unique_ptr<uint8_t[]> m_pixels;
    uint32_t m_width = 0;
    uint32_t m_height = 0;
    uint32_t m_type = CXIMAGE_FORMAT_UNKNOWN;
    bool m_hasAlpha = false;
    uint8_t m_alphaMax = 255;
};
