// The JPEG reader (libjpeg-turbo) over bytes in memory: colour images as RGB, with the scan count, the
// size and the decoder's memory bounded. Main thread only.
#include <cstdio>  // jpeglib.h needs FILE and size_t first

#include <jerror.h>
#include <jpeglib.h>

#include <climits>
#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "assets/image.h"
#include "assets/image_reader.h"

namespace {

// Real progressive files use about ten scans; a file with thousands would keep the decoder busy for
// seconds re-reading the whole image each time.
constexpr int JPEG_MAX_SCANS = 64;

struct JpegErrors {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

// Everything that must survive a longjmp out of libjpeg lives here.
struct JpegJob {
    jpeg_decompress_struct cinfo;
    JpegErrors errors;
    jpeg_progress_mgr progress;
    const uint8_t* data = nullptr;
    size_t size = 0;
    uint8_t* out = nullptr;
    int width = 0;
    int height = 0;
};

[[noreturn]] void fail(j_common_ptr cinfo) {
    longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1);
}

// Silent, except that a file cut short is refused rather than shown with the grey fill the decoder
// puts where data is missing.
void on_message(j_common_ptr cinfo, int level) {
    if (level >= 0) return;
    int code = cinfo->err->msg_code;
    if (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER) fail(cinfo);
    cinfo->err->num_warnings++;
}

void no_output(j_common_ptr) {}

void on_progress(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > JPEG_MAX_SCANS) fail(cinfo);
}

// Adobe CMYK is stored inverted, so colour = ink x black / 255 (rounded).
inline uint8_t cmyk_mix(unsigned x, unsigned k) {
    unsigned t = x * k + 128;
    return static_cast<uint8_t>((t + (t >> 8)) >> 8);
}

// The decoding steps; any of them may longjmp back into run().
bool decode(JpegJob* job) {
    j_decompress_ptr cinfo = &job->cinfo;
    jpeg_create_decompress(cinfo);
    // Progressive files keep every coefficient of the image: with the pixel bound this caps the decoder's
    // whole-image buffers (two bytes per coefficient, up to four full-size components).
    int64_t budget = image_limits.max_pixels * 8 + (int64_t{16} << 20);
    cinfo->mem->max_memory_to_use = static_cast<long>(budget < LONG_MAX ? budget : LONG_MAX);
    cinfo->progress = &job->progress;
    jpeg_mem_src(cinfo, job->data, static_cast<unsigned long>(job->size));
    if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK) return false;
    int components = cinfo->num_components;
    // Grey files are refused like one-channel PNGs; four components are CMYK or YCCK.
    if (components == 3) {
        cinfo->out_color_space = JCS_RGB;
    } else if (components == 4) {
        cinfo->out_color_space = JCS_CMYK;
    } else {
        return false;
    }
    size_t bytes = 0;
    if (!image_size_ok(cinfo->image_width, cinfo->image_height, 3, &bytes)) return false;
    jpeg_start_decompress(cinfo);
    if (cinfo->output_width != cinfo->image_width || cinfo->output_height != cinfo->image_height ||
        cinfo->output_components != components) {
        return false;
    }
    job->out = image_alloc(bytes);
    if (job->out == nullptr) return false;
    size_t row = static_cast<size_t>(cinfo->output_width) * 3;
    JSAMPARRAY cmyk = nullptr;
    if (components == 4) {
        cmyk = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                           cinfo->output_width * 4, 1);
    }
    while (cinfo->output_scanline < cinfo->output_height) {
        uint8_t* dst = job->out + static_cast<size_t>(cinfo->output_scanline) * row;
        JSAMPROW target = dst;
        if (jpeg_read_scanlines(cinfo, cmyk != nullptr ? cmyk : &target, 1) != 1) return false;
        if (cmyk != nullptr) {
            const uint8_t* src = cmyk[0];
            for (JDIMENSION x = 0; x < cinfo->output_width; ++x, src += 4, dst += 3) {
                dst[0] = cmyk_mix(src[0], src[3]);
                dst[1] = cmyk_mix(src[1], src[3]);
                dst[2] = cmyk_mix(src[2], src[3]);
            }
        }
    }
    job->width = static_cast<int>(cinfo->output_width);
    job->height = static_cast<int>(cinfo->output_height);
    return true;
}

bool run(JpegJob* job) {
    if (setjmp(job->errors.jump)) return false;
    return decode(job);
}

}  // namespace

uint8_t* image_decode_jpeg(const uint8_t* data, size_t size, int* width, int* height, int* channels) {
    if (data == nullptr || size < 3 || data[0] != 0xFF || data[1] != 0xD8 || data[2] != 0xFF) return nullptr;
    JpegJob job{};
    job.data = data;
    job.size = size;
    job.cinfo.err = jpeg_std_error(&job.errors.pub);
    job.errors.pub.error_exit = fail;
    job.errors.pub.emit_message = on_message;
    job.errors.pub.output_message = no_output;
    job.progress.progress_monitor = on_progress;
    bool ok = run(&job);
    jpeg_destroy_decompress(&job.cinfo);
    if (!ok) {
        free(job.out);
        return nullptr;
    }
    return image_result(job.out, job.width, job.height, 3, width, height, channels);
}
