// The channel table, the sound search, the starting and stopping of players and the kept theme. Main
// thread only, apart from the theme's decode when it is preloaded. A process id stays in the table only
// while it names a child of ours that has not been reaped: a reaped id may already belong to someone
// else, so it is never signalled again.
#include "audio/channels.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "assets/locator.h"
#include "audio/decode.h"
#include "audio/player.h"

SoundChannels sound_channels;
MusicTheme music_theme;

namespace {

struct ChannelPlumbing {
    SoundForkFn fork_fn = nullptr;  // nullptr: fork
    std::vector<int> unreaped;      // killed or replaced players no channel holds any more
};

ChannelPlumbing plumbing;

// Candidate paths are cut at this many characters.
constexpr size_t SOUND_PATH_MAX = 1023;

// Tried in this order after the name itself and its base name, each with the whole name appended.
// Some folders come twice: the order is the one the data sets were laid out for.
constexpr const char* SOUND_FOLDERS[] = {
    "../DATA/aud/",    "../DATA/AUD/",  "../data/aud/",    "data/",           "Data/",
    "DATA/",           "../Data/aud/",  "../Data/Aud/",    "data/aud/",       "DATA/aud/",
    "Data/aud/",       "Data/Aud/",     "DATA/AUD/",       "data/",           "../DATA/engine/",
    "../data/engine/", "data/engine/",  "../DATA/ENGINE/", "../Data/Engine/", "/Data/Engine/",
    "/DATA/Engine/",   "/DATA/ENGINE/", "/Data/Engine/",
};

bool channel_valid(int channel) {
    return channel >= 0 && channel < SOUND_CHANNELS;
}

// True when the child is gone for us: reaped now, or not ours to wait for.
bool reap(int pid) {
    for (;;) {
        int status = 0;
        const pid_t got = waitpid(pid, &status, WNOHANG);
        if (got == pid) return true;
        if (got == 0) return false;
        if (errno == EINTR) continue;
        return true;
    }
}

// Keeps a replaced player's id for reaping later, unless it can be reaped now.
void park(int pid) {
    if (pid > 0 && !reap(pid)) plumbing.unreaped.push_back(pid);
}

// Kills the channel's player if it is playing and marks the channel idle. The id stays in the table
// until the poll reaps it.
void channel_halt(int channel) {
    if (!sound_channels.active[channel]) return;
    const int pid = sound_channels.pid[channel];
    if (pid > 0) kill(pid, SIGKILL);
    sound_channels.active[channel] = 0;
}

}  // namespace

void sound_set_fork(SoundForkFn fork_fn) {
    plumbing.fork_fn = fork_fn;
}

void sound_poll() {
    for (int c = 0; c < SOUND_CHANNELS; ++c) {
        const int pid = sound_channels.pid[c];
        if (pid > 0 && reap(pid)) {
            sound_channels.pid[c] = 0;
            sound_channels.active[c] = 0;
        }
    }
    std::vector<int>& list = plumbing.unreaped;
    size_t kept = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        if (!reap(list[i])) list[kept++] = list[i];
    }
    list.resize(kept);
}

void sound_stop(int channel) {
    if (!channel_valid(channel)) return;
    sound_poll();
    const int pid = sound_channels.pid[channel];
    if (pid > 0) kill(pid, SIGKILL);
}

int sound_channel_start(const void* buffer, size_t length, int loop, int channel) {
    // Less than one frame (a one-frame 48 kHz file resamples to 3 bytes) has nothing a device could take.
    if (buffer == nullptr || length < static_cast<size_t>(PCM_FRAME_BYTES) || !channel_valid(channel))
        return 0;
    // No player is forked while the theme decodes: the child would be a copy taken in the middle of
    // the decoder's allocations and library calls, with only this thread in it.
    thread_join(music_theme.decoder);
    sound_poll();
    park(sound_channels.pid[channel]);
    sound_channels.pid[channel] = 0;
    sound_channels.active[channel] = 0;
    const pid_t parent = getpid();
    const pid_t pid = plumbing.fork_fn != nullptr ? plumbing.fork_fn() : fork();
    if (pid == 0) player_main(buffer, length, loop, parent);
    if (pid < 0) return 0;
    sound_channels.pid[channel] = static_cast<int>(pid);
    sound_channels.active[channel] = 1;
    return 1;
}

int sound_play_buffer(const void* buffer, int channel, int loop, size_t length) {
    if (!channel_valid(channel)) return 0;
    sound_poll();
    channel_halt(channel);
    if (buffer == nullptr || length == 0) return 0;
    if (!sound_channel_start(buffer, length, loop, channel)) return 0;
    return sound_channels.pid[channel];
}

int sound_find(const char* name, std::string* found) {
    if (name == nullptr || found == nullptr) return 0;
    if (file_exists(name)) {
        *found = name;
        return 1;
    }
    std::string candidate = name;
    path_basename(candidate);
    if (file_exists(candidate.c_str())) {
        *found = candidate;
        return 1;
    }
    for (const char* folder : SOUND_FOLDERS) {
        candidate = folder;
        candidate += name;
        if (candidate.size() > SOUND_PATH_MAX) candidate.resize(SOUND_PATH_MAX);
        if (file_exists(candidate.c_str())) {
            *found = candidate;
            return 1;
        }
    }
    return 0;
}

namespace {

// Finds, decodes and starts a sound on a channel already stopped; the decoded copy belongs to the
// player after the fork.
void start_file(const char* name, int channel, int loop) {
    std::string path;
    if (!sound_find(name, &path)) return;
    size_t length = 0;
    int16_t* samples = sound_decode_file(path.c_str(), &length);
    if (samples == nullptr) return;
    sound_channel_start(samples, length, loop, channel);
    free(samples);
}

}  // namespace

void sound_play(const char* name, int channel, int loop) {
    if (!channel_valid(channel)) return;
    sound_poll();
    channel_halt(channel);
    if (name == nullptr || strlen(name) <= 3 || strstr(name, "STOPSIG") != nullptr) return;
    start_file(name, channel, loop);
}

namespace {

// libvorbis's stack use is not ours to bound: the decode gets a thread of the system's default size.
constexpr size_t MUSIC_DECODE_STACK_BYTES = 0;

// Touches only the theme's samples, length and decode count, which nobody reads before the join.
void decode_theme(void*) {
    ++music_theme.decodes;
    std::string path;
    if (!sound_find(MUSIC_FILE, &path)) return;
    size_t length = 0;
    int16_t* samples = sound_decode_file(path.c_str(), &length);
    if (samples == nullptr) return;
    music_theme.samples = samples;
    music_theme.length = length;
}

// The theme decoded: by the preload, now joined, or here when there was none.
void music_ready() {
    thread_join(music_theme.decoder);
    if (music_theme.requested) return;
    music_theme.requested = 1;
    decode_theme(nullptr);
}

}  // namespace

void music_preload() {
    if (music_theme.requested) return;
    music_theme.requested = 1;
    thread_start(music_theme.decoder, decode_theme, nullptr, MUSIC_DECODE_STACK_BYTES);
}

void music_start() {
    sound_poll();
    channel_halt(MUSIC_CHANNEL);
    music_ready();
    // The player gets its own copy with the fork; the kept samples serve every later pass.
    sound_channel_start(music_theme.samples, music_theme.length, 0, MUSIC_CHANNEL);
}

void music_release() {
    thread_join(music_theme.decoder);
    free(music_theme.samples);
    music_theme.samples = nullptr;
    music_theme.length = 0;
    music_theme.requested = 0;
}
