// Writes small WAV and Ogg Vorbis files into the folder given, as the seeds of fuzz_sound: every
// accepted WAV rate and depth, mono and stereo, and Ogg files of both channel counts.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/sound_files.h"

namespace {

std::string folder;

bool save(const std::string& name, const std::string& bytes) {
    if (bytes.empty()) return false;
    const std::string path = folder + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::string samples(size_t bytes) {
    std::string out(bytes, '\0');
    for (size_t i = 0; i < bytes; ++i) out[i] = static_cast<char>(i * 37 + (i >> 3));
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sound_seeds FOLDER\n");
        return 1;
    }
    folder = argv[1];
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
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
