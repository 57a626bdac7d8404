// The player process's side: device set-up, the write loop and the process's end. Runs in a forked
// child (or in a test's own process); touches nothing of the parent's but the sample buffer.
#include "audio/player.h"

#include <alsa/asoundlib.h>
#include <dirent.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

PlayerStats player_stats;

namespace {

// A write that keeps failing or writing nothing is given up after this many tries in a row, so a
// broken device cannot keep the player spinning.
constexpr int WRITE_MAX_RETRIES = 8;

// ALSA prints its own complaints to standard error; a machine without a card must stay quiet.
void alsa_ignore_error(const char*, int, const char*, int, const char*, ...) {}

// The default device three times (a sound server may be busy starting), the first card directly
// three times, then the default once more.
snd_pcm_t* alsa_open_pcm() {
    static const char* const names[] = {"default",    "default",    "default", "plughw:0,0",
                                        "plughw:0,0", "plughw:0,0", "default"};
    for (const char* name : names) {
        snd_pcm_t* pcm = nullptr;
        if (snd_pcm_open(&pcm, name, SND_PCM_STREAM_PLAYBACK, 0) >= 0 && pcm != nullptr) return pcm;
    }
    return nullptr;
}

// Stereo S16_LE interleaved near 44100 Hz; buffer and period sizes stay the device's own.
bool alsa_set_params(snd_pcm_t* pcm) {
    snd_pcm_hw_params_t* params = nullptr;
    snd_pcm_hw_params_alloca(&params);
    snd_pcm_hw_params_any(pcm, params);
    snd_pcm_hw_params_set_rate_resample(pcm, params, 1);
    snd_pcm_hw_params_set_access(pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED);
    snd_pcm_hw_params_set_format(pcm, params, SND_PCM_FORMAT_S16_LE);
    snd_pcm_hw_params_set_channels(pcm, params, 2);
    unsigned int rate = 44100;
    int direction = 0;
    snd_pcm_hw_params_set_rate_near(pcm, params, &rate, &direction);
    if (snd_pcm_hw_params(pcm, params) < 0) return false;
    snd_pcm_prepare(pcm);
    return true;
}

// One pass over the buffer in chunks of at most two seconds. Underruns and suspends are recovered and
// the chunk written again; the position moves by what the device took. False when a write failed
// beyond recovery.
bool alsa_write_pass(snd_pcm_t* pcm, const uint8_t* bytes, size_t length) {
    size_t position = 0;
    int retries = 0;
    while (length - position >= static_cast<size_t>(PCM_FRAME_BYTES)) {
        size_t frames = (length - position) / PCM_FRAME_BYTES;
        if (frames > static_cast<size_t>(PCM_CHUNK_FRAMES)) frames = PCM_CHUNK_FRAMES;
        if (player_stats.writes < 4)
            player_stats.first_chunks[player_stats.writes] = static_cast<int>(frames);
        ++player_stats.writes;
        const snd_pcm_sframes_t written =
            snd_pcm_writei(pcm, bytes + position, static_cast<snd_pcm_uframes_t>(frames));
        if (written < 0) {
            const int error = static_cast<int>(written);
            if (error != -EPIPE && error != -ESTRPIPE && error != -EINTR) return false;
            if (++retries > WRITE_MAX_RETRIES || snd_pcm_recover(pcm, error, 1) < 0) return false;
            ++player_stats.recoveries;
            continue;
        }
        if (written == 0) {
            if (++retries > WRITE_MAX_RETRIES) return false;
            continue;
        }
        retries = 0;
        const size_t taken = static_cast<size_t>(written) < frames ? static_cast<size_t>(written) : frames;
        position += taken * PCM_FRAME_BYTES;
    }
    return true;
}

// A player outliving the demo would play on as an orphan, and the descriptors it inherited (the X
// connections among them) would keep the demo's window on the server until it ended.
void player_detach(pid_t parent) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The parent may have died before the request: the player then belongs to someone else already.
    if (getppid() != parent) _exit(0);
    if (close_range(3, ~0U, 0) == 0) return;
    // Kernels before 5.9 lack close_range: the descriptors are listed instead (the list's own one
    // among them, closed last by closedir).
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) return;
    const int own = dirfd(dir);
    while (const dirent* entry = readdir(dir)) {
        const int fd = std::atoi(entry->d_name);
        if (fd > 2 && fd != own) close(fd);
    }
    closedir(dir);
}

// The demo's handlers serve the demo: in a player they would set the demo's flags in a copy nobody
// reads, or write the terminal's restore a second time, instead of letting the signal end the player.
// Ignored signals stay ignored.
void player_default_signals() {
    for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
        struct sigaction current;
        if (sigaction(signal_number, nullptr, &current) != 0) continue;
        if (current.sa_handler == SIG_DFL || current.sa_handler == SIG_IGN) continue;
        ::signal(signal_number, SIG_DFL);
    }
}

}  // namespace

int pcm_play(const void* buffer, size_t length, int loop) {
    // Less than one frame is nothing to play (and would loop for ever without a write).
    if (buffer == nullptr || length < static_cast<size_t>(PCM_FRAME_BYTES)) return 0;
    snd_lib_error_set_handler(alsa_ignore_error);
    snd_pcm_t* pcm = alsa_open_pcm();
    if (pcm == nullptr) return -1;
    ++player_stats.opens;
    if (!alsa_set_params(pcm)) {
        snd_pcm_close(pcm);
        return -1;
    }
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    bool ok = true;
    do {
        ok = alsa_write_pass(pcm, bytes, length);
    } while (loop && ok);
    if (!ok) {
        snd_pcm_close(pcm);
        return -1;
    }
    snd_pcm_drain(pcm);
    snd_pcm_close(pcm);
    return 0;
}

void player_main(const void* buffer, size_t length, int loop, pid_t parent) {
    player_detach(parent);
    player_default_signals();
    // Less than one frame returns 0 at once: looping on that would spin for ever.
    if (length < static_cast<size_t>(PCM_FRAME_BYTES)) _exit(0);
    while (pcm_play(buffer, length, loop) >= 0 && loop) {
    }
    _exit(0);
}
