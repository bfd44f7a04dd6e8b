// PNG decoding behind pngBind: libpng reads an open file into 8-bit RGB or RGBA rows and reports
// what the file held; the box filter builds each mipmap level on the CPU. Nothing here needs GL.
#include "platform/png/png_decode.h"

#include <png.h>

#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <new>

namespace {

// VIEWING_GAMMA outside this range is treated as unset: such values are typing mistakes, and
// libpng would reject the most extreme ones and with them every image.
constexpr double kMinViewingGamma = 0.1;
constexpr double kMaxViewingGamma = 10.0;

// The encoding gamma assumed for files without gAMA (or sRGB): the common 1/2.2.
constexpr double kDefaultFileGamma = 1.0 / 2.2;

// The largest block libpng may allocate. It sizes a chunk's buffer by the chunk's length field
// (up to 2 GiB) before it finds out whether the file holds that much; its own buffers for an
// image up to the size limit stay far below this. The pixels are ours, not libpng's. The
// chunks it would buffer whole are skipped (kUnusedChunks); this limit is the backstop.
constexpr png_alloc_size_t kMaxLibpngBlock = png_alloc_size_t{8} << 20;

// libpng reports errors through this; jumping back to the setjmp of the current step keeps
// libpng from printing anything.
void on_png_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void on_png_warning(png_structp, png_const_charp) {}

// Chunks pngBind has no use for and that libpng would read whole into memory: skipped unread.
constexpr png_byte kUnusedChunks[] = "tEXt\0zTXt\0iTXt\0sPLT\0eXIf";
constexpr int kUnusedChunkCount = 5;

// Above the limit libpng's allocation fails, and with it the decode.
png_voidp limited_malloc(png_structp, png_alloc_size_t size) {
    return size <= kMaxLibpngBlock ? std::malloc(size) : nullptr;
}
void limited_free(png_structp, png_voidp block) { std::free(block); }

struct ReadHandles {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~ReadHandles() {
        if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    }
};

// The viewing gamma from the environment, or 0 for "no correction".
double viewing_gamma() {
    const char* text = std::getenv("VIEWING_GAMMA");
    if (!text || !*text) return 0.0;
    char* end = nullptr;
    double value = std::strtod(text, &end);
    while (end && (*end == ' ' || *end == '\t')) ++end;
    if (!end || *end != '\0' || !std::isfinite(value)) return 0.0;
    if (value < kMinViewingGamma || value > kMaxViewingGamma) return 0.0;
    return value;
}

// Reads the header, records the file's layout and sets up the transforms that turn every
// kind of PNG into 8-bit RGB or RGBA. Only trivially destructible locals live here, because a
// libpng error longjmps back to the setjmp below.
bool read_header(png_structp png, png_infop info, bool want_alpha, png_uint_32 max_side,
                 DecodedPng* out) {
    if (setjmp(png_jmpbuf(png))) return false;

    png_set_user_limits(png, max_side, max_side);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kUnusedChunks, kUnusedChunkCount);
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int bit_depth = 0, color_type = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bit_depth, &color_type, &interlace, nullptr,
                 nullptr);
    if (width == 0 || height == 0 || width > max_side || height > max_side) return false;

    const bool has_trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    const bool alpha_channel = (color_type & PNG_COLOR_MASK_ALPHA) != 0;

    out->info.Width = width;
    out->info.Height = height;
    out->info.Depth = static_cast<unsigned>(bit_depth * png_get_channels(png, info));
    if (alpha_channel)
        out->info.Alpha = static_cast<unsigned>(bit_depth);
    else if (has_trns)
        // A palette's transparency entries are bytes; a grey or RGB colour key makes a pixel
        // either opaque or clear.
        out->info.Alpha = color_type == PNG_COLOR_TYPE_PALETTE ? 8u : 1u;
    else
        out->info.Alpha = 0;

    const bool keep_alpha = want_alpha && (alpha_channel || has_trns);

    if (color_type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (color_type == PNG_COLOR_TYPE_GRAY && bit_depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (has_trns && keep_alpha) png_set_tRNS_to_alpha(png);
    if (bit_depth == 16) png_set_scale_16(png);
    if (!(color_type & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
    if (!keep_alpha) png_set_strip_alpha(png);

    const double screen_gamma = viewing_gamma();
    if (screen_gamma > 0.0) {
        double file_gamma = 0.0;
        if (!png_get_gAMA(png, info, &file_gamma) || !(file_gamma > 0.0))
            file_gamma = kDefaultFileGamma;
        png_set_gamma(png, screen_gamma, file_gamma);
    }

    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    const int channels = png_get_channels(png, info);
    if (png_get_bit_depth(png, info) != 8 || channels != (keep_alpha ? 4 : 3)) return false;
    if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * channels) return false;
    out->width = width;
    out->height = height;
    out->channels = channels;
    return true;
}

bool read_rows(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    // The trailing chunks are not read: once the pixels are complete the image is usable.
    png_read_image(png, rows);
    return true;
}

// The source pixels that one destination pixel covers along one axis, with their integer
// weights (the overlap lengths when the source axis is stretched to a common length).
struct Taps {
    int first = 0;
    int count = 0;
    std::uint32_t weight[3] = {0, 0, 0};
};

// A box filter from src_size down to dst_size pixels along one axis. For src = 2 * dst this is
// the plain pair average; for an odd src every source pixel still counts, by the share of it
// that falls under each destination pixel.
std::vector<Taps> box_taps(int src_size, int dst_size, std::uint32_t* total) {
    std::vector<Taps> taps(dst_size);
    for (int d = 0; d < dst_size; ++d) {
        // In units where a source pixel is dst_size long and a destination pixel src_size.
        const std::int64_t lo = static_cast<std::int64_t>(d) * src_size;
        const std::int64_t hi = lo + src_size;
        Taps& t = taps[d];
        t.first = static_cast<int>(lo / dst_size);
        for (int s = t.first; s < src_size && static_cast<std::int64_t>(s) * dst_size < hi; ++s) {
            const std::int64_t s_lo = static_cast<std::int64_t>(s) * dst_size;
            const std::int64_t s_hi = s_lo + dst_size;
            const std::int64_t overlap = (s_hi < hi ? s_hi : hi) - (s_lo > lo ? s_lo : lo);
            t.weight[t.count++] = static_cast<std::uint32_t>(overlap);
        }
    }
    *total = static_cast<std::uint32_t>(src_size);
    return taps;
}

}  // namespace

bool decode_png(std::FILE* file, bool want_alpha, std::uint32_t max_side, DecodedPng* out) {
    if (!file) return false;
    png_byte signature[8];
    if (std::fread(signature, 1, sizeof signature, file) != sizeof signature) return false;
    if (png_sig_cmp(signature, 0, sizeof signature) != 0) return false;

    ReadHandles h;
    h.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, on_png_error, on_png_warning,
                                     nullptr, limited_malloc, limited_free);
    if (!h.png) return false;
    h.info = png_create_info_struct(h.png);
    if (!h.info) return false;
    png_init_io(h.png, file);
    png_set_sig_bytes(h.png, sizeof signature);

    if (!read_header(h.png, h.info, want_alpha, max_side, out)) return false;

    const size_t row_bytes = static_cast<size_t>(out->width) * out->channels;
    out->pixels.reset(new (std::nothrow) unsigned char[row_bytes * out->height]);
    std::unique_ptr<png_bytep[]> rows(new (std::nothrow) png_bytep[out->height]);
    if (!out->pixels || !rows) return false;
    for (png_uint_32 y = 0; y < out->height; ++y) rows[y] = out->pixels.get() + y * row_bytes;
    return read_rows(h.png, rows.get());
}

void next_mipmap_level(const unsigned char* src, int w, int h, int channels,
                       std::vector<unsigned char>* dst, int* out_w, int* out_h) {
    const int dw = w > 1 ? w / 2 : 1;
    const int dh = h > 1 ? h / 2 : 1;
    std::uint32_t total_x = 0, total_y = 0;
    const std::vector<Taps> tx = box_taps(w, dw, &total_x);
    const std::vector<Taps> ty = box_taps(h, dh, &total_y);
    const std::uint64_t total = static_cast<std::uint64_t>(total_x) * total_y;
    dst->assign(static_cast<size_t>(dw) * dh * channels, 0);
    for (int y = 0; y < dh; ++y) {
        const Taps& row = ty[y];
        for (int x = 0; x < dw; ++x) {
            const Taps& col = tx[x];
            for (int c = 0; c < channels; ++c) {
                std::uint64_t sum = 0;
                for (int j = 0; j < row.count; ++j) {
                    const unsigned char* line =
                        src + static_cast<size_t>(row.first + j) * w * channels;
                    std::uint64_t line_sum = 0;
                    for (int i = 0; i < col.count; ++i)
                        line_sum += static_cast<std::uint64_t>(col.weight[i]) *
                                    line[(col.first + i) * channels + c];
                    sum += line_sum * row.weight[j];
                }
                (*dst)[(static_cast<size_t>(y) * dw + x) * channels + c] =
                    static_cast<unsigned char>((sum + total / 2) / total);
            }
        }
    }
    *out_w = dw;
    *out_h = dh;
}
