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
    return ok ? 0 : 1;
}
