// The frame's end: reads the input and acts on the hot keys. Main thread.
#include "shell/frame_end.h"

#include <signal.h>

#include <cstdlib>

#include "audio/channels.h"
#include "display/input.h"
#include "display/present.h"
#include "display/window.h"
#include "overlay/elements.h"
#include "render/render_config.h"
#include "shell/hud.h"

namespace {

// The statistics display's slots: its five lines and the one above them that it may use.
constexpr int HUD_LAST_SLOT = 7;

// Set by the quit signals' handler on whichever thread the signal lands, read by frame_end. Noting the
// request is all a handler may safely do: stopping the music and joining the present thread are not.
volatile sig_atomic_t quit_signalled = 0;

void note_quit_signal(int) {
    quit_signalled = 1;
}

}  // namespace

void frame_end_catch_signals() {
    for (int signal_number : {SIGTERM, SIGINT}) {
        struct sigaction current;
        if (sigaction(signal_number, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
        struct sigaction handler {};
        handler.sa_handler = note_quit_signal;
        sigemptyset(&handler.sa_mask);
        // The frame's blocking calls carry on; the request waits for the frame's end anyway.
        handler.sa_flags = SA_RESTART;
        sigaction(signal_number, &handler, nullptr);
    }
}

void frame_end() {
    InputState& in = input_state;
    input_pump();
    // Players that finished are reaped here, once a frame.
    sound_poll();
    if (in.key_down[0x1B] || display_state.quit_requested || quit_signalled) {
        // "NULL" on the music's channel stops its player.
        sound_play("NULL", MUSIC_CHANNEL, 0);
        present_join();
        std::exit(0);
    }
    // Lower case only: Shift+F is left for other uses.
    if (in.key_pressed['f']) fullscreen_toggle();
    if (in.key_pressed['h'] || in.key_pressed['H'])
        render_config.half_height_mode = 1 - render_config.half_height_mode;
    if (in.key_pressed['i'] || in.key_pressed['I']) in.hud_visible = !in.hud_visible;
    if (in.hud_visible) {
        hud_update();
        return;
    }
    for (int slot = HUD_FIRST_SLOT; slot <= HUD_LAST_SLOT && slot < overlay_table.slots.count; ++slot)
        overlay_hide(slot);
}
