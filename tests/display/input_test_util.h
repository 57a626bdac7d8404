// Real input for the input tests: keys and buttons sent to the program's window with xdotool, as a
// user's would arrive, and waiting until they have reached the window's input connection.
#pragma once

#include "display_test_util.h"

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "display/input.h"

namespace inputtest {

// Runs "xdotool <args>" against the test's server (DISPLAY is set by the fixture); true on success.
inline bool xdotool(const std::string& args) {
    return std::system(("xdotool " + args + " >/dev/null 2>&1").c_str()) == 0;
}

// Types keys into the program's window: `keys` as xdotool names them ("h", "shift+h", "Escape").
inline bool send_keys(const std::string& keys) {
    return xdotool("windowfocus --sync " + std::to_string(display_state.x_window) + " key " + keys);
}

// Waits up to two seconds until at least `count` events wait on the input connection.
inline bool wait_for_events(int count) {
    Display* input = display_state.input_display;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < deadline) {
        if (XEventsQueued(input, QueuedAfterReading) >= count) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// One pump, then makes sure its event selection has reached the server, so keys sent next arrive.
inline void first_pump() {
    input_pump();
    XSync(display_state.input_display, False);
}

}  // namespace inputtest
