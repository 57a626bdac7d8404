// The keyboard, pointer and joystick state that the input pump fills once per frame and everything
// else reads: key flags by key code (0..0x1FF: Latin-1 characters, then the special keys below),
// buttons, the wheel and the pointer. Written by the main thread only.
#pragma once

#include <cstdint>

// Key codes of the special keys (the Latin-1 range keeps its own codes).
enum KeyCode : int {
    KEY_UP = 0x100,
    KEY_DOWN = 0x101,
    KEY_RIGHT = 0x102,
    KEY_LEFT = 0x103,
    KEY_PAGE_DOWN = 0x104,
    KEY_PAGE_UP = 0x105,
    KEY_HOME = 0x106,
    KEY_END = 0x107,
    KEY_DELETE = 0x109,
    KEY_SHIFT = 0x10A,
    KEY_F1 = 0x10B,  // F1 to F10 are 0x10B to 0x114
    KEY_CONTROL = 0x117,
    KEY_ALT = 0x118,
    KEY_BACKSPACE = 0x119,
    KEY_SUPER = 0x11B,
    KEY_CODE_COUNT = 512,
};

struct InputState {
    uint8_t key_down[KEY_CODE_COUNT] = {};     // 1 while the key with that code is held
    uint8_t key_pressed[KEY_CODE_COUNT] = {};  // 1 if the key went down (or repeated) this frame
    int mouse_left = 0, mouse_middle = 0, mouse_right = 0;  // buttons 1, 2, 3 held
    int wheel_up = 0, wheel_down = 0;                       // buttons 4, 5 pressed this frame
    float pointer_dx = 0, pointer_dy = 0;  // change of the pointer's root-window position since the last pump
    int pointer_last_x = 0, pointer_last_y = 0;  // root-window position at the last pump
    int pointer_seen = 0;                        // the pointer has been queried once
    float motion_dx = 0, motion_dy = 0;          // motion events' movement this pump, window pixels
    int motion_last_x = 0, motion_last_y = 0;    // position of the last motion event
    float pointer_u = 0, pointer_v = 0;          // last motion position over the window's size, 0..1
    int autorepeat_filter = 1;
    int joy_fd = -1;  // -1 not yet opened, -2 no joystick (never retried), else the open device
    int joy_axis[6] = {};
    int joy_button[64] = {};
    double joy_last_poll = 0;  // engine_time of the last joystick poll
    int hud_visible = 0;       // the statistics display is on
};

extern InputState input_state;

// Back to the start values (tests).
void input_reset();
