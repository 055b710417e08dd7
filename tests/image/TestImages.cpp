#include "TestImages.h"

#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

namespace testimg {
namespace {

void AppendBytes(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void NoFlush(png_structp) {}

// Everything this frame needs is set up before setjmp; libpng returns here
// by longjmp on failure.
bool WritePngRows(png_structp png, png_infop info, const PngSpec& entry, size_t rowBytes,
                  png_bytepp rows, png_colorp palette, png_color_16p key) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_IHDR(png, info, entry.width, entry.height, entry.bitDepth, entry.colorType,
                 entry.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (png_get_rowbytes(png, info) != rowBytes || rowBytes * entry.height != entry.rows.size()) {
        png_error(png, "the rows do not fit the header");
    }
    if (!entry.palette.empty()) {
        png_set_PLTE(png, info, palette, static_cast<int>(entry.palette.size() / 3));
    }
    if (!entry.paletteAlpha.empty()) {
        png_set_tRNS(png, info, entry.paletteAlpha.data(),
                     static_cast<int>(entry.paletteAlpha.size()), nullptr);
    } else if (!entry.transparentKey.empty()) {
        png_set_tRNS(png, info, nullptr, 0, key);
    }
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

std::vector<uint8_t> WritePng(const PngSpec& entry) {
    std::vector<uint8_t> out;
    const size_t rowBytes = entry.rows.size() / entry.height;
    std::vector<png_bytep> rows(entry.height);
    std::vector<uint8_t> data = entry.rows;
    for (uint32_t y = 0; y < entry.height; ++y) {
        rows[y] = data.data() + y * rowBytes;
    }
    std::vector<png_color> palette(entry.palette.size() / 3);
    for (size_t i = 0; i < palette.size(); ++i) {
        palette[i] = {entry.palette[i * 3], entry.palette[i * 3 + 1], entry.palette[i * 3 + 2]};
    }
    png_color_16 key{};
    key.gray = entry.transparentKey.empty() ? 0 : entry.transparentKey[0];

    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, AppendBytes, NoFlush);
    const bool ok = WritePngRows(png, info, entry, rowBytes, rows.data(), palette.data(), &key);
    png_destroy_write_struct(&png, &info);
    return ok ? out : std::vector<uint8_t>{};
}

std::vector<uint8_t> GradientRgbaPng(uint32_t width, uint32_t height, bool interlaced) {
    PngSpec entry{.width = width,
                  .height = height,
                  .colorType = PNG_COLOR_TYPE_RGB_ALPHA,
                  .interlaced = interlaced};
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            entry.rows.insert(entry.rows.end(),
                              {static_cast<uint8_t>(x * 40), static_cast<uint8_t>(y * 40), 100,
                               static_cast<uint8_t>(50 + x + y)});
        }
    }
    return WritePng(entry);
}

std::vector<uint8_t> SolidJpeg(uint32_t width, uint32_t height, const std::vector<uint8_t>& pixel,
                               bool progressive, JpegColor color) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);

    cinfo.image_width = width;
    cinfo.image_height = height;
    // Indexed by JpegColor.
    static const J_COLOR_SPACE kSpaces[] = {JCS_RGB, JCS_GRAYSCALE, JCS_CMYK};
    cinfo.input_components = static_cast<int>(pixel.size());
    cinfo.in_color_space = kSpaces[static_cast<int>(color)];
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    if (progressive) {
        jpeg_simple_progression(&cinfo);
    }
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row;
    for (uint32_t x = 0; x < width; ++x) {
        row.insert(row.end(), pixel.begin(), pixel.end());
    }
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW rows = row.data();
        jpeg_write_scanlines(&cinfo, &rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

}  // namespace testimg
