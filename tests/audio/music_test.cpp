// The kept theme against a real ALSA file sink: decoded once, by the preload's thread or by the first
// music_start, and every later start hands the player the same bytes; a missing or bad theme is silence.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "alsa_sink.h"
#include "audio/channels.h"
#include "audio/decode.h"
#include "core/threads.h"
#include "support/sound_files.h"
#include "support/temp_dir.h"

namespace {

class MusicTheme : public testing::Test {
  protected:
    void SetUp() override {
        music_release();
        music_theme.decodes = 0;
        out_ = dir_ / "out.raw";
        audiotest::use_file_sink(dir_, out_);
        ASSERT_NE(getcwd(cwd_, sizeof cwd_), nullptr);
        ASSERT_EQ(chdir(dir_.path().c_str()), 0);
    }
    void TearDown() override {
        // Joined before the folder goes: a preload may still be reading it.
        music_release();
        sound_stop(MUSIC_CHANNEL);
        sound_poll();
        ASSERT_EQ(chdir(cwd_), 0);
    }

    // A short theme where the program keeps it, and what a decode of it of our own gives.
    std::string write_theme() {
        const std::string ogg = soundfiles::ogg_file(2, 44100, 20000);
        EXPECT_FALSE(ogg.empty());
        dir_.write(MUSIC_FILE, ogg);
        size_t length = 0;
        int16_t* samples = sound_decode_file(MUSIC_FILE, &length);
        EXPECT_NE(samples, nullptr);
        std::string bytes(reinterpret_cast<const char*>(samples), samples != nullptr ? length : 0);
        free(samples);
        return bytes;
    }

    // Waits (at most five seconds) for the channel's player to end on its own and be reaped.
    void ended(int channel) {
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (sound_channels.pid[channel] != 0 && std::chrono::steady_clock::now() < give_up) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            sound_poll();
        }
        EXPECT_EQ(sound_channels.pid[channel], 0) << "the player ends on its own";
    }

    // music_start, and the bytes its player wrote once it has ended; "" when no player was started.
    std::string play_music() {
        music_start();
        if (sound_channels.pid[MUSIC_CHANNEL] <= 0) return "";
        ended(MUSIC_CHANNEL);
        std::string got = vmtest::read_file(out_);
        std::remove(out_.c_str());
        return got;
    }

    vmtest::TempDir dir_;
    std::string out_;
    char cwd_[4096] = {};
};

TEST_F(MusicTheme, DecodedOnceThenEveryStartPlaysTheKeptBytes) {
    const std::string expected = write_theme();
    ASSERT_FALSE(expected.empty());

    // No preload: the first start decodes here and keeps the result.
    EXPECT_EQ(play_music(), expected);
    EXPECT_EQ(music_theme.decodes, 1);
    const int16_t* kept = music_theme.samples;
    ASSERT_NE(kept, nullptr);

    // Even with the file gone, the next pass plays the same bytes from the same buffer.
    ASSERT_EQ(std::remove(MUSIC_FILE), 0);
    EXPECT_EQ(play_music(), expected);
    EXPECT_EQ(music_theme.decodes, 1);
    EXPECT_EQ(music_theme.samples, kept);
    // A preload after the decode has nothing left to do.
    music_preload();
    EXPECT_EQ(music_theme.decodes, 1);
}

TEST_F(MusicTheme, PreloadOnAThreadPlaysWhatASynchronousDecodePlays) {
    const std::string expected = write_theme();
    ASSERT_FALSE(expected.empty());

    const int64_t threads_before = threads_state.threads_created.load();
    music_preload();
    ASSERT_EQ(threads_state.threads_created.load(), threads_before + 1) << "the decode runs on a thread";
    music_preload();
    EXPECT_EQ(play_music(), expected);
    EXPECT_EQ(play_music(), expected);
    EXPECT_EQ(music_theme.decodes, 1);

    // Any player's fork waits for a preload that is still running.
    music_release();
    music_preload();
    const std::string other = soundfiles::pcm16(std::vector<int16_t>(2000, 9));
    ASSERT_GT(sound_play_buffer(other.data(), 5, 0, other.size()), 0);
    EXPECT_EQ(music_theme.decoder.running, 0);
    EXPECT_EQ(music_theme.decodes, 2);
    ended(5);
    EXPECT_EQ(vmtest::read_file(out_), other);
    std::remove(out_.c_str());
}

TEST_F(MusicTheme, MissingOrBadThemeIsSilenceAndIsNotTriedAgain) {
    // Missing, with and without a preload: no player, and later starts neither fail nor decode again.
    music_preload();
    EXPECT_EQ(play_music(), "");
    EXPECT_EQ(sound_channels.pid[MUSIC_CHANNEL], 0);
    EXPECT_EQ(play_music(), "");
    EXPECT_EQ(music_theme.decodes, 1);
    music_release();
    EXPECT_EQ(play_music(), "");
    EXPECT_EQ(music_theme.decodes, 2);

    // Not an Ogg file; a good one put there afterwards is not looked at in this process's life.
    music_release();
    dir_.write(MUSIC_FILE, std::string(5000, 'x'));
    music_preload();
    EXPECT_EQ(play_music(), "");
    EXPECT_EQ(music_theme.samples, nullptr);
    write_theme();
    EXPECT_EQ(play_music(), "");
    EXPECT_EQ(music_theme.decodes, 3);
}

}  // namespace
