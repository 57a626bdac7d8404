// Writes small WAV and Ogg Vorbis files into the folder given, as the seeds of fuzz_sound: every
// accepted WAV rate and depth, mono and stereo, and Ogg files of both channel counts.
#include <string>
#include <vector>

#include "seed_file.h"
#include "support/sound_files.h"

namespace {

std::string samples(size_t bytes) {
    std::string out(bytes, '\0');
    for (size_t i = 0; i < bytes; ++i) out[i] = static_cast<char>(i * 37 + (i >> 3));
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const char* seeds = seed_folder(argc, argv, "make_sound_seeds");
    if (seeds == nullptr) return 1;
    const std::string folder = seeds;
    const auto save = [&](const std::string& name, const std::string& bytes) {
        return seed_save(folder, name, bytes);
    };
    bool ok = true;
    const int rates[] = {5500, 11025, 22050, 44100, 48000};
    for (int rate : rates) {
        for (int channels = 1; channels <= 2; ++channels) {
            const std::string tag = std::to_string(rate) + "_" + std::to_string(channels);
            ok &= save("wav16_" + tag + ".wav", soundfiles::wav_file(channels, rate, 16, samples(600)));
            ok &= save("wav8_" + tag + ".wav", soundfiles::wav_file(channels, rate, 8, samples(300)));
        }
    }
    ok &= save("ogg_mono.ogg", soundfiles::ogg_file(1, 22050, 3000));
    ok &= save("ogg_stereo.ogg", soundfiles::ogg_file(2, 44100, 2000));
    ok &= save("ogg_48000.ogg", soundfiles::ogg_file(2, 48000, 1500));
    // The short ends: one frame of Ogg, and WAV files holding 1 to 3 bytes of samples (less than one
    // frame of 16-bit stereo), also under a header claiming a gigabyte.
    ok &= save("ogg_one_frame.ogg", soundfiles::ogg_file(2, 48000, 1));
    ok &= save("ogg_one_frame_mono.ogg", soundfiles::ogg_file(1, 5500, 1));
    for (size_t n = 1; n <= 3; ++n) {
        const std::string tag = std::to_string(n);
        ok &= save("wav16_stereo_" + tag + "_bytes.wav", soundfiles::wav_file(2, 48000, 16, samples(n)));
        ok &= save("wav8_mono_" + tag + "_bytes.wav", soundfiles::wav_file(1, 5500, 8, samples(n)));
        ok &=
            save("wav_claims_more_" + tag + ".wav", soundfiles::wav_file(2, 44100, 16, samples(n), 1 << 30));
    }
    return ok ? 0 : 1;
}
