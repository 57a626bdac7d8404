// Fuzz target for the sound decoders: the same bytes as a WAV file and as an Ogg Vorbis file, both
// from memory, through the rate steps and the fade.
#include <cstdint>
#include <cstdlib>

#include "audio/decode.h"

namespace {

// Reads every sample the decoder claims, so that a length past the buffer shows up.
void consume(int16_t* samples, size_t length) {
    if (samples == nullptr) return;
    volatile int16_t sink = 0;
    for (size_t i = 0; i < length / 2; ++i) sink = static_cast<int16_t>(sink ^ samples[i]);
    (void)sink;
    free(samples);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A few seconds instead of ten minutes keeps each run fast; the cap is the same code.
    sound_limits.max_seconds = 4;
    size_t length = 0;
    consume(wav_decode_memory(data, size, &length), length);
    length = 0;
    consume(ogg_decode_memory(data, size, &length), length);
    return 0;
}
