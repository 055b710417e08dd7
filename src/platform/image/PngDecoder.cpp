#include <png.h>

#include <csetjmp>
#include <cstring>
#include <vector>

#include "image/ImageDecoders.h"

namespace hv::image {
namespace {

// Deflate never expands more than 1032:1, so rows the input cannot possibly
// fill are refused before their buffer is allocated.
constexpr uint64_t kMaxInflateRatio = 1032;

struct PngInput {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

void ReadInput(png_structp png, png_bytep out, size_t count) {
    auto* input = static_cast<PngInput*>(png_get_io_ptr(png));
    if (count > input->size - input->pos) {
        png_error(png, "truncated");
    }
    std::memcpy(out, input->data + input->pos, count);
    input->pos += count;
}

[[noreturn]] void OnError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

struct PngHandles {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngHandles() {
        if (png != nullptr) {
            png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
        }
    }
};

// The two phases below run under setjmp; libpng leaves them by longjmp, so
// they hold nothing that needs a destructor. The pixel buffer is allocated
// between them, outside any setjmp frame.
bool ReadHeader(png_structp png, png_infop info, size_t inputSize, DecodedImage* header) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_read_info(png, info);

    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (!SizeAllowed(width, height)) {
        return false;
    }
    const uint64_t packedBytes = uint64_t{height} * (png_get_rowbytes(png, info) + 1);
    if (packedBytes > uint64_t{inputSize} * kMaxInflateRatio) {
        return false;
    }

    const int colorType = png_get_color_type(png, info);
    const int bitDepth = png_get_bit_depth(png, info);
    const bool hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (bitDepth == 16) {
        png_set_scale_16(png);
    }
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(png);
    }
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) {
        png_set_expand_gray_1_2_4_to_8(png);
    }
    if (hasTrns) {
        png_set_tRNS_to_alpha(png);
    }
    if ((colorType & PNG_COLOR_MASK_COLOR) == 0) {
        png_set_gray_to_rgb(png);
    }
    const bool hasAlpha = (colorType & PNG_COLOR_MASK_ALPHA) != 0 || hasTrns;
    if (!hasAlpha) {
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t{width} * 4) {
        return false;
    }

    header->width = width;
    header->height = height;
    header->hasAlpha = hasAlpha;
    return true;
}

bool ReadRows(png_structp png, png_infop info, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_read_image(png, rows);
    png_read_end(png, info);
    return true;
}

}  // namespace

bool DecodePng(const uint8_t* data, size_t size, DecodedImage* out) {
    if (data == nullptr || size < 8 || png_sig_cmp(data, 0, 8) != 0) {
        return false;
    }
    PngHandles handles;
    handles.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (handles.png == nullptr) {
        return false;
    }
    handles.info = png_create_info_struct(handles.png);
    if (handles.info == nullptr) {
        return false;
    }
    PngInput input{data, size, 0};
    png_set_read_fn(handles.png, &input, ReadInput);
    png_set_user_limits(handles.png, CxImage::kMaxSide, CxImage::kMaxSide);

    DecodedImage image;
    if (!ReadHeader(handles.png, handles.info, size, &image)) {
        return false;
    }
    image.pixels = AllocatePixels(image.width, image.height);
    if (image.pixels == nullptr) {
        return false;
    }
    std::vector<png_bytep> rows(image.height);
    for (uint32_t y = 0; y < image.height; ++y) {
        rows[y] = image.pixels.get() + size_t{y} * image.width * 4;
    }
    if (!ReadRows(handles.png, handles.info, rows.data())) {
        return false;
    }
    *out = std::move(image);
    return true;
}

}  // namespace hv::image
