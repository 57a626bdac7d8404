#include "support/sound_files.h"

#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace soundfiles {

namespace {

void put16(std::string& out, int v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void append_page(std::string& out, const ogg_page& page) {
    out.append(reinterpret_cast<const char*>(page.header), static_cast<size_t>(page.header_len));
    out.append(reinterpret_cast<const char*>(page.body), static_cast<size_t>(page.body_len));
}

}  // namespace

std::string wav_file(int channels, int rate, int bits, const std::string& samples, int64_t claimed_data) {
    // RIFF header (12) + fmt chunk (24) + padding chunk (8 + 92) + data chunk header (8) = 144.
    const uint32_t data_size =
        claimed_data < 0 ? static_cast<uint32_t>(samples.size()) : static_cast<uint32_t>(claimed_data);
    std::string out = "RIFF";
    put32(out, static_cast<uint32_t>(WAV_SAMPLES_AT - 8 + samples.size()));
    out += "WAVEfmt ";
    put32(out, 16);
    put16(out, 1);
    put16(out, channels);
    put32(out, static_cast<uint32_t>(rate));
    const int block = channels * bits / 8;
    put32(out, static_cast<uint32_t>(rate * block));
    put16(out, block);
    put16(out, bits);
    out += "JUNK";
    put32(out, 92);
    out.append(92, '\0');
    out += "data";
    put32(out, data_size);
    return out + samples;
}

std::string pcm16(const std::vector<int16_t>& samples) {
    std::string out;
    for (int16_t s : samples) put16(out, s);
    return out;
}

std::vector<int16_t> samples16(const std::string& bytes) {
    std::vector<int16_t> out(bytes.size() / 2);
    for (size_t i = 0; i < out.size(); ++i) {
        const auto lo = static_cast<uint8_t>(bytes[2 * i]);
        const auto hi = static_cast<uint8_t>(bytes[2 * i + 1]);
        out[i] = static_cast<int16_t>(lo | (hi << 8));
    }
    return out;
}

std::string ogg_file(int channels, int rate, int frames) {
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, channels, rate, 0.3f) != 0) {
        vorbis_info_clear(&info);
        return {};
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_block block;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, 1);

    std::string out;
    ogg_packet header, header_comment, header_code;
    vorbis_analysis_headerout(&dsp, &comment, &header, &header_comment, &header_code);
    ogg_stream_packetin(&stream, &header);
    ogg_stream_packetin(&stream, &header_comment);
    ogg_stream_packetin(&stream, &header_code);
    ogg_page page;
    while (ogg_stream_flush(&stream, &page) != 0) append_page(out, page);

    const int step = 1024;
    for (int done = 0;; done += step) {
        const int n = frames - done < step ? (frames > done ? frames - done : 0) : step;
        if (n > 0) {
            float** buffer = vorbis_analysis_buffer(&dsp, n);
            for (int i = 0; i < n; ++i) {
                const double t = static_cast<double>(done + i) / rate;
                for (int c = 0; c < channels; ++c)
                    buffer[c][i] = static_cast<float>(0.5 * std::sin(2 * 3.141592653589793 * 440 * t + c));
            }
        }
        vorbis_analysis_wrote(&dsp, n);  // 0 marks the end of the stream
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet) != 0) {
                ogg_stream_packetin(&stream, &packet);
                while (ogg_stream_pageout(&stream, &page) != 0) append_page(out, page);
            }
        }
        if (n == 0) break;
    }
    while (ogg_stream_flush(&stream, &page) != 0) append_page(out, page);
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return out;
}

}  // namespace soundfiles
