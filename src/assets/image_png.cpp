// The PNG reader (libpng) over bytes in memory, keeping the file's own channel count.
// Main thread only.
#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "assets/image.h"
#include "assets/image_reader.h"

namespace {

struct PngSource {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

// Everything that must survive a longjmp out of libpng lives here, not in locals of the function that
// called setjmp.
struct PngJob {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngSource source{};
    uint8_t* out = nullptr;
    png_bytep* rows = nullptr;
    int width = 0;
    int height = 0;
    int channels = 0;
};

// No allocation libpng makes for a sane image comes near this (its largest is a row of a 32768-pixel
// 16-bit RGBA image); it stops text and palette chunks that claim gigabytes.
constexpr png_alloc_size_t PNG_ALLOC_MAX = png_alloc_size_t{16} << 20;

// Chunks whose content the engine never uses and which libpng would otherwise inflate or copy whole.
constexpr png_byte SKIPPED_CHUNKS[] = {
    't', 'E', 'X', 't', '\0', 'z', 'T', 'X', 't', '\0', 'i', 'T', 'X', 't', '\0',
    's', 'P', 'L', 'T', '\0', 'i', 'C', 'C', 'P', '\0', 'e', 'X', 'I', 'f', '\0',
};

// Deflate cannot expand better than 1032 to 1: a file too small to hold the rows it claims is
// truncated, and is refused before anything is inflated.
constexpr uint64_t DEFLATE_MAX_RATIO = 1032;

void read_from_memory(png_structp png, png_bytep out, size_t n) {
    auto* s = static_cast<PngSource*>(png_get_io_ptr(png));
    if (n > s->size - s->pos) png_error(png, "truncated");
    memcpy(out, s->data + s->pos, n);
    s->pos += n;
}

[[noreturn]] void fail(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void ignore_warning(png_structp, png_const_charp) {}

png_voidp limited_malloc(png_structp, png_alloc_size_t n) {
    return n <= PNG_ALLOC_MAX ? malloc(static_cast<size_t>(n)) : nullptr;
}

void limited_free(png_structp, png_voidp p) {
    free(p);
}

// The decoding steps; any of them may longjmp back into run().
bool decode(PngJob* job) {
    png_structp png = job->png;
    png_infop info = job->info;
    png_set_user_limits(png, IMAGE_MAX_SIDE, IMAGE_MAX_SIDE);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, SKIPPED_CHUNKS,
                                static_cast<int>(sizeof SKIPPED_CHUNKS / 5));
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    // Lets the fuzzer past the checksums to the decoder itself.
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
#endif
    png_set_read_fn(png, &job->source, read_from_memory);
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int depth = 0, colour = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colour, nullptr, nullptr, nullptr);
    bool has_trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    // Plain grey is one channel, which the engine does not draw.
    if (colour == PNG_COLOR_TYPE_GRAY && !has_trns) return false;
    if (!image_size_ok(width, height, 4, nullptr)) return false;
    uint64_t raw = static_cast<uint64_t>(height) * (static_cast<uint64_t>(png_get_rowbytes(png, info)) + 1);
    if (raw > DEFLATE_MAX_RATIO * job->source.size + 1024) return false;

    if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colour == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (has_trns) png_set_tRNS_to_alpha(png);
    // The high byte of each sample, as the textures were always reduced.
    if (depth == 16) png_set_strip_16(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    int channels = png_get_channels(png, info);
    if (channels < 2 || channels > 4 || png_get_bit_depth(png, info) != 8) return false;
    size_t bytes = 0;
    if (!image_size_ok(width, height, channels, &bytes)) return false;
    size_t row = static_cast<size_t>(width) * static_cast<size_t>(channels);
    if (png_get_rowbytes(png, info) != row) return false;
    job->out = image_alloc(bytes);
    if (job->out == nullptr) return false;
    job->rows = static_cast<png_bytep*>(malloc(sizeof(png_bytep) * height));
    if (job->rows == nullptr) return false;
    for (png_uint_32 y = 0; y < height; ++y) job->rows[y] = job->out + y * row;
    png_read_image(png, job->rows);
    job->width = static_cast<int>(width);
    job->height = static_cast<int>(height);
    job->channels = channels;
    return true;
}

bool run(PngJob* job) {
    if (setjmp(png_jmpbuf(job->png))) return false;
    return decode(job);
}

}  // namespace

uint8_t* image_decode_png(const uint8_t* data, size_t size, int* width, int* height, int* channels) {
    if (data == nullptr || size < 8 || png_sig_cmp(data, 0, 8) != 0) return nullptr;
    PngJob job;
    job.source = {data, size, 0};
    job.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, fail, ignore_warning, nullptr,
                                       limited_malloc, limited_free);
    if (job.png == nullptr) return nullptr;
    job.info = png_create_info_struct(job.png);
    bool ok = job.info != nullptr && run(&job);
    png_destroy_read_struct(&job.png, &job.info, nullptr);
    free(job.rows);
    if (!ok) {
        free(job.out);
        return nullptr;
    }
    return image_result(job.out, job.width, job.height, job.channels, width, height, channels);
}
