// The channel table with real player processes. Players that must stay alive write to a FIFO nobody
// has opened yet, so they wait in the device's open without using the processor; players that must end
// write to a file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "alsa_sink.h"
#include "audio/channels.h"
#include "audio/decode.h"
#include "support/sound_files.h"
#include "support/temp_dir.h"

namespace {

// The process state letter from /proc ('Z' for a zombie), or 0 when the process no longer exists.
char process_state(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) return 0;
    const size_t paren = line.rfind(')');
    return paren != std::string::npos && paren + 2 < line.size() ? line[paren + 2] : 0;
}

bool is_running(int pid) {
    const char s = process_state(pid);
    return s != 0 && s != 'Z';
}

// Polls the table until `done` holds or two seconds pass.
template <typename Done>
bool poll_until(Done done) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < give_up) {
        sound_poll();
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

std::string tone(int16_t value, size_t frames) {
    return soundfiles::pcm16(std::vector<int16_t>(frames * 2, value));
}

class ChannelsTest : public testing::Test {
  protected:
    void SetUp() override {
        fifo = dir / "fifo";
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        audiotest::use_file_sink(dir, fifo);
    }
    void TearDown() override {
        // Only ids of real children: a broken table must not turn the clean-up into kill(-1).
        for (int c = 0; c < SOUND_CHANNELS; ++c)
            if (sound_channels.pid[c] > 0) sound_stop(c);
        poll_until([] {
            for (int c = 0; c < SOUND_CHANNELS; ++c)
                if (sound_channels.pid[c] != 0) return false;
            return true;
        });
        sound_set_fork(nullptr);
    }
    vmtest::TempDir dir;
    std::string fifo;
};

TEST_F(ChannelsTest, SecondSoundOnAChannelReplacesTheFirst) {
    const std::string first = tone(111, 4000), second = tone(-222, 4000);
    const int a = sound_play_buffer(first.data(), 5, 1, first.size());
    const int b = sound_play_buffer(second.data(), 5, 1, second.size());
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    EXPECT_EQ(sound_channels.pid[5], b);
    EXPECT_EQ(sound_channels.active[5], 1);
    EXPECT_TRUE(poll_until([&] { return process_state(a) == 0; })) << "the first player is killed and reaped";
    EXPECT_TRUE(is_running(b));

    // Only the second player is there to fill the FIFO once someone reads it.
    EXPECT_EQ(audiotest::read_fifo(fifo, 4096), second.substr(0, 4096));
    sound_stop(5);
    EXPECT_TRUE(poll_until([] { return sound_channels.pid[5] == 0 && sound_channels.active[5] == 0; }));
    errno = 0;
    EXPECT_EQ(waitpid(b, nullptr, WNOHANG), -1) << "already reaped";
    EXPECT_EQ(errno, ECHILD);
}

TEST_F(ChannelsTest, ChannelsPlayTogetherAndStopSeparately) {
    const std::string buffer = tone(5, 1000);
    ASSERT_GT(sound_play_buffer(buffer.data(), 3, 1, buffer.size()), 0);
    ASSERT_EQ(sound_channel_start(buffer.data(), buffer.size(), 1, 4), 1);
    const int p3 = sound_channels.pid[3], p4 = sound_channels.pid[4];
    // Channels outside the table change nothing.
    const SoundChannels before = sound_channels;
    EXPECT_EQ(sound_play_buffer(buffer.data(), 64, 1, buffer.size()), 0);
    EXPECT_EQ(sound_channel_start(buffer.data(), buffer.size(), 1, 64), 0);
    sound_play("STOPSIG", 64, 0);
    sound_stop(-1);
    EXPECT_EQ(memcmp(&before, &sound_channels, sizeof before), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    sound_poll();
    EXPECT_TRUE(is_running(p3));
    EXPECT_TRUE(is_running(p4));

    // "STOPSIG" and "NULL" stop a channel and start nothing.
    sound_play("STOPSIG", 3, 0);
    EXPECT_EQ(sound_channels.active[3], 0);
    EXPECT_TRUE(poll_until([&] { return process_state(p3) == 0 && sound_channels.pid[3] == 0; }));
    EXPECT_TRUE(is_running(p4));
    sound_play("NULL", 4, 0);
    EXPECT_TRUE(poll_until([&] { return process_state(p4) == 0 && sound_channels.pid[4] == 0; }));
}

TEST_F(ChannelsTest, FailedForkLeavesTheChannelEmpty) {
    sound_set_fork([] {
        errno = EAGAIN;
        return pid_t{-1};
    });
    // Checked before anything could signal it: kill(-1) would reach every process we may signal.
    const std::string buffer = tone(1, 100);
    EXPECT_LE(sound_play_buffer(buffer.data(), 2, 0, buffer.size()), 0);
    ASSERT_EQ(sound_channels.pid[2], 0);
    ASSERT_EQ(sound_channels.active[2], 0);
    EXPECT_EQ(sound_channel_start(buffer.data(), buffer.size(), 0, 2), 0);
    ASSERT_EQ(sound_channels.pid[2], 0);
    ASSERT_EQ(sound_channels.active[2], 0);
}

// A device takes whole frames: a looping player on less than one would write nothing and start over
// for ever. A too short sound still stops what the channel played.
TEST_F(ChannelsTest, LessThanOneFrameStartsNoPlayer) {
    static int forks;
    forks = 0;
    sound_set_fork([] {
        ++forks;
        errno = EAGAIN;
        return pid_t{-1};
    });
    const std::string buffer = tone(9, 1);
    for (size_t length = 1; length < buffer.size(); ++length)
        for (int loop = 0; loop <= 1; ++loop) {
            EXPECT_EQ(sound_channel_start(buffer.data(), length, loop, 6), 0) << length;
            EXPECT_LE(sound_play_buffer(buffer.data(), 6, loop, length), 0) << length;
        }
    EXPECT_EQ(forks, 0);
    EXPECT_EQ(sound_channels.pid[6], 0);
    EXPECT_EQ(sound_channels.active[6], 0);

    // A one-frame 48 kHz file comes out of the rate step shorter than a frame: played by name, looping.
    const std::string ogg = soundfiles::ogg_file(2, 48000, 1);
    ASSERT_FALSE(ogg.empty());
    const std::string path = dir.write("blip.ogg", ogg);
    size_t length = 0;
    int16_t* samples = sound_decode_file(path.c_str(), &length);
    ASSERT_NE(samples, nullptr);
    EXPECT_LT(length, 4u);
    free(samples);
    sound_set_fork(nullptr);
    const std::string playing = tone(3, 100);
    ASSERT_GT(sound_play_buffer(playing.data(), 6, 1, playing.size()), 0);
    const int before = sound_channels.pid[6];
    sound_play(path.c_str(), 6, 1);
    EXPECT_EQ(sound_channels.active[6], 0);
    EXPECT_TRUE(poll_until([&] { return sound_channels.pid[6] == 0 && process_state(before) == 0; }));
}

TEST(Channels, EndedPlayerIsReapedAndItsChannelFreed) {
    vmtest::TempDir dir;
    const std::string out = dir / "out.raw";
    audiotest::use_file_sink(dir, out);
    const std::string buffer = tone(77, 500);
    const int pid = sound_play_buffer(buffer.data(), 7, 0, buffer.size());
    ASSERT_GT(pid, 0);
    // Wait for the player to finish on its own (a zombie until the table is polled).
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (process_state(pid) != 'Z' && std::chrono::steady_clock::now() < give_up)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(process_state(pid), 'Z');
    EXPECT_EQ(sound_channels.active[7], 1);
    sound_poll();
    EXPECT_EQ(process_state(pid), 0);
    EXPECT_EQ(sound_channels.pid[7], 0);
    EXPECT_EQ(sound_channels.active[7], 0);
    EXPECT_EQ(vmtest::read_file(out), buffer);
}

TEST(Channels, MusicAndNamedSoundsAreFoundDecodedAndPlayed) {
    vmtest::TempDir dir;
    const std::string out = dir / "out.raw";
    audiotest::use_file_sink(dir, out);
    const std::string ogg = soundfiles::ogg_file(1, 22050, 6000);
    ASSERT_FALSE(ogg.empty());
    dir.write("game/data/theme.ogg", ogg);
    dir.write("game/data/aud/step.wav", soundfiles::wav_file(2, 44100, 16, tone(300, 3000)));
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir((dir / "game").c_str()), 0);

    size_t length = 0;
    int16_t* expected = sound_decode_file("data/theme.ogg", &length);
    ASSERT_NE(expected, nullptr);
    const std::string theme(reinterpret_cast<const char*>(expected), length);
    free(expected);

    // The player hands the decoded music to the device byte for byte.
    music_start();
    const int pid = sound_channels.pid[MUSIC_CHANNEL];
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(poll_until([] { return sound_channels.pid[MUSIC_CHANNEL] == 0; }));
    EXPECT_EQ(vmtest::read_file(out), theme);

    // A bare name is found in the sound folders; a missing one leaves the channel stopped.
    sound_play("step.wav", 9, 0);
    EXPECT_GT(sound_channels.pid[9], 0);
    EXPECT_TRUE(poll_until([] { return sound_channels.pid[9] == 0; }));
    sound_play("nothing-here.wav", 9, 0);
    EXPECT_EQ(sound_channels.pid[9], 0);
    ASSERT_EQ(chdir(cwd), 0);
}

}  // namespace
