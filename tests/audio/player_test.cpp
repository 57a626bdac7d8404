// The player against a real ALSA file sink: the bytes that reach the device, the chunking, looping
// without reopening, and a machine without a device.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "alsa_sink.h"
#include "audio/player.h"
#include "support/sound_files.h"
#include "support/temp_dir.h"

namespace {

// Frames whose every byte says where it is, so a shifted or repeated chunk shows.
std::string frames(size_t count) {
    std::vector<int16_t> s(count * 2);
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>((i * 2654435761u) >> 16);
    return soundfiles::pcm16(s);
}

class PlayerTest : public testing::Test {
  protected:
    void SetUp() override {
        player_stats = PlayerStats{};
        out = dir / "out.raw";
        audiotest::use_file_sink(dir, out);
    }
    vmtest::TempDir dir;
    std::string out;
};

TEST_F(PlayerTest, ShortBufferPlaysWithOneWrite) {
    // Two bytes after the last whole frame are not a frame, and do not keep the pass going.
    const std::string buffer = frames(10), padded = buffer + "ab";
    ASSERT_EQ(pcm_play(padded.data(), padded.size(), 0), 0);
    EXPECT_EQ(player_stats.opens, 1);
    EXPECT_EQ(player_stats.writes, 1);
    EXPECT_EQ(player_stats.first_chunks[0], 10);
    EXPECT_EQ(vmtest::read_file(out), buffer);
    // Less than a frame opens nothing, looping or not.
    EXPECT_EQ(pcm_play(buffer.data(), 3, 1), 0);
    EXPECT_EQ(player_stats.opens, 1);
}

TEST_F(PlayerTest, LongBufferIsWrittenInTwoSecondChunks) {
    const std::string buffer = frames(100000);
    ASSERT_EQ(pcm_play(buffer.data(), buffer.size(), 0), 0);
    EXPECT_EQ(player_stats.writes, 2);
    EXPECT_EQ(player_stats.first_chunks[0], 88200);
    EXPECT_EQ(player_stats.first_chunks[1], 11800);
    EXPECT_EQ(vmtest::read_file(out), buffer);
}

TEST(PlayerLoop, ReplaysWithoutReopening) {
    // Through a FIFO: the player waits while nobody reads, and a reopened device would show as the end
    // of the stream to the reader.
    vmtest::TempDir dir;
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    audiotest::use_file_sink(dir, fifo);
    const std::string buffer = frames(3000);
    const pid_t parent = getpid();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) player_main(buffer.data(), buffer.size(), 1, parent);
    const std::string got = audiotest::read_fifo(fifo, 3 * buffer.size() + 100);
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status)) << "a looping player ends only when killed";
    ASSERT_EQ(got.size(), 3 * buffer.size() + 100);
    for (size_t at = 0; at < got.size(); at += buffer.size())
        ASSERT_EQ(got.compare(at, buffer.size(), buffer, 0, std::min(buffer.size(), got.size() - at)), 0)
            << at;
}

TEST(PlayerNoDevice, EndsAtOnceAndSilently) {
    vmtest::TempDir dir;
    audiotest::use_no_device(dir);
    const std::string buffer = frames(1000);
    EXPECT_EQ(pcm_play(buffer.data(), buffer.size(), 0), -1);

    // A looping player in its own process: it ends by itself, with status 0 and nothing on stderr.
    const std::string err = dir / "stderr.txt";
    const auto started = std::chrono::steady_clock::now();
    const pid_t parent = getpid();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd >= 0) dup2(fd, STDERR_FILENO);
        player_main(buffer.data(), buffer.size(), 1, parent);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(vmtest::read_file(err), "");
}

}  // namespace
