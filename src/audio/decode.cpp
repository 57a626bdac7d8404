// Sound decoding and the rate steps. WAV is read from fixed header offsets; Ogg Vorbis goes through
// libvorbisfile over the file's bytes in memory. Main thread only.
#include "audio/decode.h"

#include <vorbis/vorbisfile.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "assets/locator.h"

SoundLimits sound_limits;

namespace {

// The WAV header is trusted at fixed offsets only; a file must hold at least this much, and its
// samples start at byte 144 whatever chunks the header describes.
constexpr size_t WAV_MIN_SIZE = 256;
constexpr size_t WAV_DATA_OFFSET = 144;
constexpr size_t WAV_CHANNELS_OFFSET = 22;
constexpr size_t WAV_RATE_OFFSET = 24;
constexpr size_t WAV_BITS_OFFSET = 34;

// The rate ratios, as the repetition steps use them.
constexpr double STRETCH_5500_RATIO = 2.0045454545454544;  // 11025 / 5500
constexpr double SHRINK_48000_RATIO = 0.91875;             // 44100 / 48000

// libvorbisfile hands back OV_HOLE for every gap in a damaged stream; this many in a row end the decode.
constexpr int OGG_MAX_HOLES = 64;

uint16_t get16le(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t get32le(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// A zeroed buffer of `length` bytes and the slack after them; null when the size overflows or memory
// runs out.
int16_t* alloc_sound(size_t length) {
    if (length > SIZE_MAX - SOUND_SLACK) return nullptr;
    return static_cast<int16_t*>(calloc(length + SOUND_SLACK, 1));
}

// Samples the buffer of `length` bytes has room for, slack included: the repetition steps may write
// their last copies there, as long as they stay inside the allocation.
size_t room_samples(size_t length) {
    return (length + SOUND_SLACK) / 2;
}

// Samples of a file at `rate` with `channels` allowed before the length cap cuts it.
size_t max_samples(int rate, int channels) {
    const uint64_t n = static_cast<uint64_t>(sound_limits.max_seconds > 0 ? sound_limits.max_seconds : 0) *
                       static_cast<uint64_t>(rate) * static_cast<uint64_t>(channels);
    return n > SIZE_MAX / 4 ? SIZE_MAX / 4 : static_cast<size_t>(n);
}

// Mono samples to stereo, then the rate steps; takes ownership of `samples`.
int16_t* finish(int16_t* samples, size_t length, int channels, int rate, size_t* out_length) {
    if (channels == 1) {
        size_t stereo_length = 0;
        int16_t* stereo = to_stereo(samples, length, &stereo_length);
        free(samples);
        if (stereo == nullptr) return nullptr;
        samples = stereo;
        length = stereo_length;
    }
    return sound_convert_rate(samples, length, rate, out_length);
}

struct MemorySource {
    const uint8_t* data;
    size_t size;
    size_t position;
};

size_t memory_read(void* out, size_t size, size_t count, void* source) {
    auto* s = static_cast<MemorySource*>(source);
    if (size == 0) return 0;
    const size_t left = s->size - s->position;
    size_t items = count;
    if (items > left / size) items = left / size;
    memcpy(out, s->data + s->position, items * size);
    s->position += items * size;
    return items;
}

}  // namespace

int sound_rate_accepted(int rate) {
    return rate == 5500 || rate == 11025 || rate == 22050 || rate == 44100 || rate == 48000;
}

int16_t* widen_8bit(const uint8_t* data, size_t length, size_t* out_length) {
    if (data == nullptr || length > SIZE_MAX / 2) return nullptr;
    int16_t* out = alloc_sound(length * 2);
    if (out == nullptr) return nullptr;
    for (size_t i = 0; i < length; ++i) out[i] = static_cast<int16_t>(data[i] * 127);
    *out_length = length * 2;
    return out;
}

int16_t* to_stereo(const int16_t* samples, size_t length, size_t* out_length) {
    if (samples == nullptr || length > SIZE_MAX / 2) return nullptr;
    int16_t* out = alloc_sound(length * 2);
    if (out == nullptr) return nullptr;
    const size_t n = length / 2;
    for (size_t i = 0; i < n; ++i) {
        out[2 * i] = samples[i];
        out[2 * i + 1] = samples[i];
    }
    *out_length = length * 2;
    return out;
}

int16_t* stretch_5500(const int16_t* samples, size_t length, size_t* out_length) {
    if (samples == nullptr) return nullptr;
    const uint64_t stretched = static_cast<uint64_t>(length) * 11025 / 5500;
    if (stretched > SIZE_MAX - SOUND_SLACK) return nullptr;
    const size_t new_length = static_cast<size_t>(stretched);
    int16_t* out = alloc_sound(new_length);
    if (out == nullptr) return nullptr;
    const size_t n = length / 2;
    const size_t room = room_samples(new_length);
    for (size_t i = 0; i < n; ++i) {
        const size_t at = static_cast<size_t>(static_cast<double>(i) * STRETCH_5500_RATIO);
        for (size_t k = 0; k < 3; ++k) {
            if (at + k < room) out[at + k] = samples[i];
        }
    }
    *out_length = new_length;
    return out;
}

int16_t* double_rate(const int16_t* samples, size_t length, size_t* out_length) {
    // Doubling the rate is the same repetition as widening mono to stereo.
    return to_stereo(samples, length, out_length);
}

int16_t* shrink_48000(const int16_t* samples, size_t length, size_t* out_length) {
    if (samples == nullptr) return nullptr;
    const size_t new_length = static_cast<size_t>(static_cast<uint64_t>(length) * 44100 / 48000);
    int16_t* out = alloc_sound(new_length);
    if (out == nullptr) return nullptr;
    const size_t n = length / 2;
    const size_t room = room_samples(new_length);
    for (size_t i = 0; i < n; ++i) {
        const size_t at = static_cast<size_t>(static_cast<double>(i) * SHRINK_48000_RATIO);
        if (at < room) out[at] = samples[i];
        if (at + 1 < room) out[at + 1] = samples[i];
    }
    *out_length = new_length;
    return out;
}

int16_t* fade_ends(const int16_t* samples, size_t length, size_t* out_length) {
    if (samples == nullptr) return nullptr;
    int16_t* out = alloc_sound(length);
    if (out == nullptr) return nullptr;
    memcpy(out, samples, length);
    const size_t n = length / 2;
    if (n > FADE_MIN_SAMPLES) {
        const int steps = static_cast<int>(FADE_SAMPLES);
        for (int k = 0; k < steps; ++k) {
            int16_t& head = out[k];
            int16_t& tail = out[n - FADE_SAMPLES + static_cast<size_t>(k)];
            head = static_cast<int16_t>(head * k / steps);
            tail = static_cast<int16_t>(tail * (steps - k) / steps);
        }
    }
    *out_length = length;
    return out;
}

int16_t* sound_convert_rate(int16_t* samples, size_t length, int rate, size_t* out_length) {
    if (samples == nullptr) return nullptr;
    if (!sound_rate_accepted(rate)) {
        free(samples);
        return nullptr;
    }
    using Step = int16_t* (*)(const int16_t*, size_t, size_t*);
    Step steps[4] = {};
    int count = 0;
    switch (rate) {
        case 5500:
            steps[count++] = stretch_5500;
            steps[count++] = double_rate;
            steps[count++] = double_rate;
            break;
        case 11025:
            steps[count++] = double_rate;
            steps[count++] = double_rate;
            break;
        case 22050:
            steps[count++] = double_rate;
            break;
        case 48000:
            steps[count++] = shrink_48000;
            break;
        default:
            break;
    }
    steps[count++] = fade_ends;
    for (int s = 0; s < count; ++s) {
        size_t next_length = 0;
        int16_t* next = steps[s](samples, length, &next_length);
        free(samples);
        if (next == nullptr) return nullptr;
        samples = next;
        length = next_length;
    }
    *out_length = length;
    return samples;
}

int16_t* wav_decode_memory(const uint8_t* data, size_t size, size_t* length) {
    if (data == nullptr || length == nullptr || size < WAV_MIN_SIZE) return nullptr;
    const int channels = get16le(data + WAV_CHANNELS_OFFSET) == 1 ? 1 : 2;
    const uint32_t file_rate = get32le(data + WAV_RATE_OFFSET);
    const int bits = get16le(data + WAV_BITS_OFFSET);
    if (bits != 8 && bits != 16) return nullptr;
    if (file_rate > 48000 || !sound_rate_accepted(static_cast<int>(file_rate))) return nullptr;
    const int rate = static_cast<int>(file_rate);

    // No chunk is parsed: the samples are whatever the file holds from the fixed offset on, so a
    // header that claims more data than the file has simply gives the shorter sound.
    const uint8_t* pcm = data + WAV_DATA_OFFSET;
    const size_t bytes = size - WAV_DATA_OFFSET;
    const size_t limit = max_samples(rate, channels);
    int16_t* samples = nullptr;
    size_t samples_length = 0;
    if (bits == 8) {
        samples = widen_8bit(pcm, bytes < limit ? bytes : limit, &samples_length);
    } else {
        // A trailing odd byte is half a sample and is dropped.
        const size_t n = bytes / 2 < limit ? bytes / 2 : limit;
        samples = alloc_sound(n * 2);
        if (samples != nullptr) {
            for (size_t i = 0; i < n; ++i) samples[i] = static_cast<int16_t>(get16le(pcm + 2 * i));
            samples_length = n * 2;
        }
    }
    if (samples == nullptr) return nullptr;
    return finish(samples, samples_length, channels, rate, length);
}

int16_t* ogg_decode_memory(const uint8_t* data, size_t size, size_t* length) {
    if (data == nullptr || length == nullptr || size == 0) return nullptr;
    MemorySource source{data, size, 0};
    // No seek callback: the stream is read once from the front, so the decoder never trusts the last
    // page's granule position for a length.
    const ov_callbacks callbacks = {memory_read, nullptr, nullptr, nullptr};
    OggVorbis_File file;
    if (ov_open_callbacks(&source, &file, nullptr, 0, callbacks) != 0) return nullptr;

    const vorbis_info* info = ov_info(&file, -1);
    if (info == nullptr || info->channels < 1 || info->channels > 2 || info->rate > 48000 ||
        !sound_rate_accepted(static_cast<int>(info->rate))) {
        ov_clear(&file);
        return nullptr;
    }
    const int channels = info->channels;
    const int rate = static_cast<int>(info->rate);
    const size_t limit = max_samples(rate, channels);

    std::vector<int16_t> decoded;
    char chunk[4096];
    int holes = 0;
    while (decoded.size() < limit) {
        int link = 0;
        const long got = ov_read(&file, chunk, static_cast<int>(sizeof chunk), 0, 2, 1, &link);
        if (got == 0) break;
        if (got < 0) {
            if (got == OV_HOLE && ++holes < OGG_MAX_HOLES) continue;
            break;
        }
        holes = 0;
        // A chained stream may change its layout from one link to the next; the sound ends there.
        const vorbis_info* now = ov_info(&file, -1);
        if (now == nullptr || now->channels != channels || now->rate != info->rate) break;
        size_t n = static_cast<size_t>(got) / 2;
        if (n > limit - decoded.size()) n = limit - decoded.size();
        const size_t at = decoded.size();
        decoded.resize(at + n);
        memcpy(decoded.data() + at, chunk, n * 2);
    }
    ov_clear(&file);
    if (decoded.empty()) return nullptr;

    int16_t* samples = alloc_sound(decoded.size() * 2);
    if (samples == nullptr) return nullptr;
    memcpy(samples, decoded.data(), decoded.size() * 2);
    const size_t samples_length = decoded.size() * 2;
    std::vector<int16_t>().swap(decoded);
    return finish(samples, samples_length, channels, rate, length);
}

namespace {

// Loads the whole file (bounded by the locator's limit) and decodes it from memory.
int16_t* decode_loaded(const char* path, size_t* length,
                       int16_t* (*decode)(const uint8_t*, size_t, size_t*)) {
    size_t size = 0;
    char* bytes = file_load(path, 1, &size);
    if (bytes == nullptr) return nullptr;
    int16_t* out = decode(reinterpret_cast<const uint8_t*>(bytes), size, length);
    free(bytes);
    return out;
}

}  // namespace

int16_t* wav_decode(const char* path, size_t* length) {
    return decode_loaded(path, length, wav_decode_memory);
}

int16_t* ogg_decode(const char* path, size_t* length) {
    return decode_loaded(path, length, ogg_decode_memory);
}

int16_t* sound_decode_file(const char* path, size_t* length) {
    if (path == nullptr || length == nullptr) return nullptr;
    const size_t n = strlen(path);
    if (n <= 5) return nullptr;
    const char* end = path + n - 3;
    if (memcmp(end, "wav", 3) == 0) return wav_decode(path, length);
    if (memcmp(end, "ogg", 3) == 0) return ogg_decode(path, length);
    return nullptr;
}
