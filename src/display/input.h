// The keyboard, pointer and joystick state that the input pump fills once per frame and everything
// else reads: key flags by key code (0..0x1FF: Latin-1 characters, then the special keys below),
// buttons, the wheel and the pointer. Written by the main thread only.
#pragma once

#include <cstdint>

// Key codes of the special keys (the Latin-1 range keeps its own codes).
// Unnamed: Xlib already owns the name KeyCode.
enum : int {
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
    uint8_t key_down[KEY_CODE_COUNT] = {};                  // 1 while the key with that code is held
    uint8_t key_pressed[KEY_CODE_COUNT] = {};               // 1 if the key went down (or repeated) this frame
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

// Once per frame (frame_end): polls the joystick, clears the per-frame flags, queries the pointer and
// takes up to 128 X events from the second connection into the key, button and motion state. Without
// a display only the joystick is polled.
void input_pump();
// The pump's pointer step on its own: pointer_dx, pointer_dy from the root-window position.
void pointer_query();

// The key code of a key: `keysym` is the key's first-level keysym, `text_byte` the byte the keyboard
// layout gives (-1 when none), `lookup_keysym` the keysym that came with it, `shift` whether Shift is
// held. Always 0..0x11B; 0 for a key without a code.
int key_code_for(unsigned long keysym, int text_byte, unsigned long lookup_keysym, bool shift);
// The other member of an upper/lower case pair of the extended Latin-1 codes, or -1.
int key_case_partner(int code);

// Reads at most one joystick event: -2 no joystick, 0 nothing read (or the device was just opened),
// 3 a significant change (a button changed, an axis moved by more than 8000), 4 anything else.
int joy_poll_once();
// At most every 0.03 s of engine_time: up to 64 events, stopping at the first -2, 0 or 3.
void joy_poll();
// The devices looked for, in order (tests point them elsewhere).
extern const char* joy_device_paths[2];

// Read access for the engine's interactive code.
void input_clear_mouse_left();
void input_clear_mouse_right();
void input_clear_wheel();
void input_clear_quit();
void input_clear_pressed();       // all of key_pressed
int joy_button_value(int index);  // 0 for an index outside 0..63
bool joy_button_pressed(int index);
void joy_button_clear(int index);
float joy_axis_normalised(int axis);  // -1..1; 0 for an axis outside 0..5
bool joy_axis_negative(int axis);     // pushed past -6000
bool joy_axis_positive(int axis);     // pushed past 6000
