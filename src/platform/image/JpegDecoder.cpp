#include <csetjmp>
#include <cstdio>
#include <cstring>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "image/ImageDecoders.h"

namespace hv::image {
namespace {

// A progressive file can hold any number of scans; each one walks the whole
// coefficient buffer, so a small hostile file could keep us busy for minutes.
constexpr int kMaxScans = 256;
constexpr long kMaxDecoderMemory = 512L << 20;

struct JpegContext {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr errorManager;
    jpeg_progress_mgr progress;
    std::jmp_buf jump;
};

// libjpeg hands callbacks only the common part; client_data leads back.
JpegContext* ContextOf(j_common_ptr cinfo) {
    return static_cast<JpegContext*>(cinfo->client_data);
}

[[noreturn]] void OnError(j_common_ptr cinfo) {
    std::longjmp(ContextOf(cinfo)->jump, 1);
}

// libjpeg reports corrupt or truncated data only as a warning and goes on
// with grey blocks; such a file is refused instead.
void OnMessage(j_common_ptr cinfo, int level) {
    if (level < 0) {
        OnError(cinfo);
    }
}

void OnProgress(j_common_ptr cinfo) {
    if (ContextOf(cinfo)->cinfo.input_scan_number > kMaxScans) {
        OnError(cinfo);
    }
}

// Adobe writes CMYK inverted (0 is full ink); other writers do not.
void CmykToRgba(uint8_t* row, uint32_t width, bool inverted) {
    for (uint32_t x = 0; x < width; ++x) {
        uint8_t* p = row + size_t{x} * 4;
        unsigned c = p[0], m = p[1], y = p[2], k = p[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        p[0] = static_cast<uint8_t>(c * k / 255);
        p[1] = static_cast<uint8_t>(m * k / 255);
        p[2] = static_cast<uint8_t>(y * k / 255);
        p[3] = 255;
    }
}

// The smallest scale (eighths) at which the picture still covers its fit.
unsigned ScaleEighths(uint32_t width, uint32_t height, uint32_t fitSide) {
    if (fitSide == 0) {
        return 8;
    }
    uint32_t fitWidth = 0;
    uint32_t fitHeight = 0;
    FitSize(width, height, fitSide, &fitWidth, &fitHeight);
    unsigned eighths = 1;
    while (eighths < 8 && (uint64_t{width} * eighths < uint64_t{fitWidth} * 8 ||
                           uint64_t{height} * eighths < uint64_t{fitHeight} * 8)) {
        ++eighths;
    }
    return eighths;
}

// The two phases below run under setjmp; libjpeg leaves them by longjmp, so
// they hold nothing that needs a destructor. The pixel buffer is allocated
// between them, outside any setjmp frame.
bool ReadHeader(JpegContext* ctx, const uint8_t* data, size_t size, uint32_t fitSide,
                DecodedImage* header) {
    j_decompress_ptr cinfo = &ctx->cinfo;
    if (setjmp(ctx->jump)) {
        return false;
    }
    jpeg_create_decompress(cinfo);
    cinfo->progress = &ctx->progress;
    cinfo->mem->max_memory_to_use = kMaxDecoderMemory;
    jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK) {
        return false;
    }
    const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
    if (!SizeAllowed(cinfo->image_width, cinfo->image_height)) {
        return false;
    }
    cinfo->scale_num = ScaleEighths(cinfo->image_width, cinfo->image_height, fitSide);
    cinfo->scale_denom = 8;
    jpeg_calc_output_dimensions(cinfo);
    if (!SizeAllowed(cinfo->output_width, cinfo->output_height) || cinfo->output_components != 4) {
        return false;
    }
    header->width = cinfo->output_width;
    header->height = cinfo->output_height;
    header->hasAlpha = false;
    return true;
}

bool ReadRows(JpegContext* ctx, uint8_t* pixels) {
    j_decompress_ptr cinfo = &ctx->cinfo;
    if (setjmp(ctx->jump)) {
        return false;
    }
    const bool cmyk = cinfo->out_color_space == JCS_CMYK;
    const bool inverted = cinfo->saw_Adobe_marker != 0;
    jpeg_start_decompress(cinfo);
    const size_t stride = size_t{cinfo->output_width} * 4;
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = pixels + stride * cinfo->output_scanline;
        if (jpeg_read_scanlines(cinfo, &row, 1) != 1) {
            return false;
        }
        if (cmyk) {
            CmykToRgba(row, cinfo->output_width, inverted);
        }
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

struct JpegDecoder {
    JpegContext ctx;
    JpegDecoder() {
        std::memset(&ctx, 0, sizeof ctx);
        ctx.cinfo.err = jpeg_std_error(&ctx.errorManager);
        ctx.cinfo.client_data = &ctx;
        ctx.errorManager.error_exit = OnError;
        ctx.errorManager.emit_message = OnMessage;
        ctx.progress.progress_monitor = OnProgress;
    }
    ~JpegDecoder() { jpeg_destroy_decompress(&ctx.cinfo); }
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;
};

}  // namespace

bool DecodeJpeg(const uint8_t* data, size_t size, DecodedImage* out, uint32_t fitSide) {
    if (data == nullptr || size < 3 || data[0] != 0xFF || data[1] != 0xD8) {
        return false;
    }
    auto decoder = std::make_unique<JpegDecoder>();
    DecodedImage image;
    if (!ReadHeader(&decoder->ctx, data, size, fitSide, &image)) {
        return false;
    }
    image.pixels = AllocatePixels(image.width, image.height);
    if (image.pixels == nullptr || !ReadRows(&decoder->ctx, image.pixels.get())) {
        return false;
    }
    *out = std::move(image);
    return true;
}

}  // namespace hv::image
