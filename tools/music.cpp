// The music generator: composes the demo's theme and writes it as Ogg Vorbis to the path given on the
// command line (the build's data/theme.ogg). Single-threaded, deterministic: the same bytes every run.
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "music_score.h"

namespace {

// Variable bit rate around 100 kbit/s for stereo: transparent enough for synthesised sound and
// quick to encode.
constexpr float kVorbisQuality = 0.35f;
// The Ogg stream's serial number is normally random; a fixed one keeps the file byte-identical.
constexpr int kStreamSerial = 0x56454c4d;
constexpr size_t kChunkFrames = 4096;  // frames handed to the encoder at a time

bool write_pages(std::FILE* file, ogg_stream_state& stream, bool flush) {
    ogg_page page;
    while (flush ? ogg_stream_flush(&stream, &page) : ogg_stream_pageout(&stream, &page)) {
        if (std::fwrite(page.header, 1, static_cast<size_t>(page.header_len), file) !=
                static_cast<size_t>(page.header_len) ||
            std::fwrite(page.body, 1, static_cast<size_t>(page.body_len), file) !=
                static_cast<size_t>(page.body_len)) {
            return false;
        }
    }
    return true;
}

// Encodes the buffer into `file`. Returns false on an encoder or write error.
bool encode(const StereoBuffer& music, std::FILE* file) {
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, 2, kMusicRate, kVorbisQuality) != 0) {
        vorbis_info_clear(&info);
        return false;
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_comment_add_tag(&comment, "TITLE", "Velmorine theme");
    vorbis_dsp_state dsp;
    vorbis_block block;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, kStreamSerial);

    ogg_packet header, header_comment, header_code;
    vorbis_analysis_headerout(&dsp, &comment, &header, &header_comment, &header_code);
    ogg_stream_packetin(&stream, &header);
    ogg_stream_packetin(&stream, &header_comment);
    ogg_stream_packetin(&stream, &header_code);
    // The headers on pages of their own, as decoders expect.
    bool ok = write_pages(file, stream, true);

    size_t frames = music.left.size();
    size_t done = 0;
    bool ended = false;
    while (ok && !ended) {
        size_t count = std::min(kChunkFrames, frames - done);
        if (count == 0) {
            vorbis_analysis_wrote(&dsp, 0);  // end of stream
        } else {
            float** input = vorbis_analysis_buffer(&dsp, static_cast<int>(count));
            for (size_t i = 0; i < count; ++i) {
                input[0][i] = music.left[done + i];
                input[1][i] = music.right[done + i];
            }
            vorbis_analysis_wrote(&dsp, static_cast<int>(count));
            done += count;
        }
        while (ok && vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (ok && vorbis_bitrate_flushpacket(&dsp, &packet)) {
                ogg_stream_packetin(&stream, &packet);
                ok = write_pages(file, stream, false);
                if (packet.e_o_s) ended = true;
            }
        }
        if (count == 0) ended = true;
    }
    if (ok) ok = write_pages(file, stream, true);

    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '\0') {
        std::fprintf(stderr, "usage: musicgen OUTPUT.ogg\n");
        return 2;
    }
    const std::string path = argv[1];
    // Written beside the target and renamed into place, so an interrupted build never leaves a
    // truncated file that looks up to date. Opened before composing, so a bad path fails at once.
    const std::string temp = path + ".tmp";
    std::FILE* file = std::fopen(temp.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "musicgen: cannot write %s\n", path.c_str());
        return 1;
    }
    StereoBuffer music = music_render();
    bool ok = encode(music, file);
    ok = std::fclose(file) == 0 && ok;
    if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        std::fprintf(stderr, "musicgen: cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}
