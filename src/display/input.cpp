// The input pump: keyboard, buttons, wheel and pointer from the window's second X connection, and the
// Linux joystick. Fills the input state's single instance once per frame. Main thread only; the second
// connection is used by nobody else.
#include "display/input.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "core/clock.h"
#include "display/x11.h"

#include <X11/Xutil.h>

InputState input_state;

const char* joy_device_paths[2] = {"/dev/input/js0", "/dev/input/js1"};

void input_reset() {
    input_state = InputState{};
}

namespace {

// Key press, key release, button press, button release, pointer motion, button motion.
constexpr long PUMP_EVENT_MASK = 0x204F;
// Events taken per frame at most; the rest wait for the next frame.
constexpr int PUMP_EVENT_CAP = 127;
// The joystick is read at most this often (seconds of engine_time).
constexpr double JOY_POLL_PERIOD = 0.03;
// Events read per poll at most.
constexpr int JOY_EVENTS_PER_POLL = 64;
// An axis move larger than this counts as a significant change.
constexpr int JOY_AXIS_STEP = 8000;
// The directional tests' dead zone.
constexpr int JOY_AXIS_DEAD_ZONE = 6000;
constexpr int JOY_AXES = 6;
constexpr int JOY_BUTTONS = 64;

struct SpecialKey {
    unsigned long keysym;
    int code;
};

// First-level keysyms that have a fixed code, whatever the layout's text says.
constexpr SpecialKey special_keys[] = {
    {0xFF52, KEY_UP},        {0xFF54, KEY_DOWN},    {0xFF53, KEY_RIGHT}, {0xFF51, KEY_LEFT},
    {0xFF56, KEY_PAGE_DOWN}, {0xFF55, KEY_PAGE_UP}, {0xFF50, KEY_HOME},  {0xFF57, KEY_END},
    {0xFFFF, KEY_DELETE},    {0xFFE1, KEY_SHIFT},   {0xFFE2, KEY_SHIFT}, {0xFFE3, KEY_CONTROL},
    {0xFFE4, KEY_CONTROL},   {0xFFE9, KEY_ALT},     {0xFFEA, KEY_ALT},   {0xFF08, KEY_BACKSPACE},
    {0xFF61, 0x11A},         {0xFFEB, KEY_SUPER},   {0xFF0D, 0x0D},      {0xFF8D, 0x0D},
    {0xFF1B, 0x1B},          {0xFFAA, '*'},         {0xFFAB, '+'},       {0xFFAD, '-'},
    {0xFFAF, '/'},           {0xFF9F, ','},         {0xFF9E, '0'},       {0xFF9C, '1'},
    {0xFF99, '2'},           {0xFF9B, '3'},         {0xFF96, '4'},       {0xFF9D, '5'},
    {0xFF98, '6'},           {0xFF95, '7'},         {0xFF97, '8'},       {0xFF9A, '9'},
};

// F1 to F10 are consecutive keysyms and consecutive codes.
constexpr unsigned long KEYSYM_F1 = 0xFFBE, KEYSYM_F10 = 0xFFC7;
// The double-acute letters that Latin-1 lacks, and their codes in the code page the texts use.
constexpr unsigned long KEYSYM_ODOUBLEACUTE = 0x1F5, KEYSYM_UDOUBLEACUTE = 0x1FB;

// Upper and lower case of the same letter in that code page: a release clears both, since Shift
// may have changed between press and release.
constexpr int case_pairs[][2] = {{0x94, 0x99}, {0xA2, 0xE0}, {0x8A, 0x8B}, {0x82, 0x90}, {0xEB, 0xFB},
                                 {0x81, 0x9A}, {0xA1, 0x92}, {0xA0, 0xB5}, {0xA3, 0xE9}};

// The code of the key of an X key event.
int x11_key_code(XKeyEvent* event) {
    const unsigned long keysym = XLookupKeysym(event, 0);
    char text[1] = {0};
    KeySym lookup = 0;
    const int n = XLookupString(event, text, 1, &lookup, nullptr);
    const int byte = n > 0 ? static_cast<unsigned char>(text[0]) : -1;
    return key_code_for(keysym, byte, lookup, input_state.key_down[KEY_SHIFT] != 0);
}

void record_key_release(XKeyEvent* event) {
    InputState& in = input_state;
    const int code = x11_key_code(event);
    in.key_down[code] = 0;
    in.key_pressed[code] = 0;
    const int partner = key_case_partner(code);
    if (partner >= 0) in.key_down[partner] = 0;
}

// An auto-repeated key arrives as a release immediately followed by a press of the same key.
bool is_autorepeat_release(Display* display, XKeyEvent* release) {
    if (!input_state.autorepeat_filter || XPending(display) <= 0) return false;
    XEvent next;
    XPeekEvent(display, &next);
    return next.type == KeyPress && XLookupKeysym(&next.xkey, 0) == XLookupKeysym(release, 0);
}

int* button_flag(unsigned button) {
    InputState& in = input_state;
    switch (button) {
        case 1:
            return &in.mouse_left;
        case 2:
            return &in.mouse_middle;
        case 3:
            return &in.mouse_right;
        case 4:
            return &in.wheel_up;
        case 5:
            return &in.wheel_down;
        default:
            return nullptr;
    }
}

void joy_poll_now() {
    for (int i = 0; i < JOY_EVENTS_PER_POLL; ++i) {
        const int r = joy_poll_once();
        if (r == -2 || r == 0 || r == 3) break;
    }
    input_state.joy_last_poll = engine_time();
}

int joy_axis_raw(int axis) {
    return axis >= 0 && axis < JOY_AXES ? input_state.joy_axis[axis] : 0;
}

}  // namespace

int key_code_for(unsigned long keysym, int text_byte, unsigned long lookup_keysym, bool shift) {
    for (const SpecialKey& k : special_keys)
        if (k.keysym == keysym) return k.code;
    if (keysym >= KEYSYM_F1 && keysym <= KEYSYM_F10) return KEY_F1 + static_cast<int>(keysym - KEYSYM_F1);
    // One byte from the layout: always inside the Latin-1 range of the code space.
    if (text_byte >= 0) return text_byte & 0xFF;
    if (lookup_keysym == KEYSYM_ODOUBLEACUTE) return shift ? 0x99 : 0x8B;
    if (lookup_keysym == KEYSYM_UDOUBLEACUTE) return shift ? 0xEB : 0xFB;
    return 0;
}

int key_case_partner(int code) {
    for (const auto& pair : case_pairs) {
        if (pair[0] == code) return pair[1];
        if (pair[1] == code) return pair[0];
    }
    return -1;
}

void pointer_query() {
    InputState& in = input_state;
    Display* display = display_state.input_display;
    in.pointer_dx = 0;
    in.pointer_dy = 0;
    if (display == nullptr) return;
    Window root, child;
    int root_x = 0, root_y = 0, win_x, win_y;
    unsigned mask;
    if (XQueryPointer(display, DefaultRootWindow(display), &root, &child, &root_x, &root_y, &win_x, &win_y,
                      &mask)) {
        if (in.pointer_seen) {
            in.pointer_dx = static_cast<float>(root_x - in.pointer_last_x);
            in.pointer_dy = static_cast<float>(root_y - in.pointer_last_y);
        } else {
            in.motion_last_x = root_x;
            in.motion_last_y = root_y;
        }
        in.pointer_last_x = root_x;
        in.pointer_last_y = root_y;
    }
    in.pointer_seen = 1;
}

void input_pump() {
    InputState& in = input_state;
    DisplayState& ds = display_state;
    if (engine_time() - in.joy_last_poll >= JOY_POLL_PERIOD) joy_poll_now();
    in.wheel_up = 0;
    in.wheel_down = 0;
    if (ds.input_display == nullptr) return;

    std::memset(in.key_pressed, 0, sizeof in.key_pressed);
    pointer_query();
    in.motion_dx = 0;
    in.motion_dy = 0;

    Display* display = ds.input_display;
    if (ds.x_display == nullptr || ds.x_window == 0) return;
    // Selected on every pump: the window may have been re-created since.
    XSelectInput(display, ds.x_window, PUMP_EVENT_MASK);

    int taken = 0;
    bool new_key_down = false;
    for (;;) {
        if (XPending(display) <= 0) return;
        if (in.autorepeat_filter && new_key_down) {
            // A key that went down this frame keeps its release for the next frame, so even a tap
            // shorter than a frame is seen as pressed for one frame.
            XEvent next;
            XPeekEvent(display, &next);
            if (next.type == KeyRelease) return;
        }
        XEvent event;
        XNextEvent(display, &event);
        switch (event.type) {
            case ClientMessage:
                ds.window_closed = 1;
                ds.quit_requested = 1;
                break;
            case MotionNotify: {
                const int x = event.xmotion.x, y = event.xmotion.y;
                in.motion_dx += static_cast<float>(x - in.motion_last_x);
                in.motion_dy += static_cast<float>(y - in.motion_last_y);
                in.motion_last_x = x;
                in.motion_last_y = y;
                const int w = ds.window_width, h = ds.window_height;
                if (w > 0) in.pointer_u = static_cast<float>(x) / static_cast<float>(w);
                if (h > 0) in.pointer_v = static_cast<float>(y) / static_cast<float>(h);
                break;
            }
            case ButtonPress: {
                if (int* flag = button_flag(event.xbutton.button)) *flag = 1;
                // A click ends the frame's events: what follows it belongs to the next frame.
                return;
            }
            case ButtonRelease:
                if (int* flag = button_flag(event.xbutton.button)) *flag = 0;
                break;
            case KeyPress: {
                const int code = x11_key_code(&event.xkey);
                if (!in.key_down[code]) new_key_down = true;
                in.key_down[code] = 1;
                in.key_pressed[code] = 1;
                break;
            }
            case KeyRelease:
                if (!is_autorepeat_release(display, &event.xkey)) record_key_release(&event.xkey);
                break;
            default:
                break;
        }
        if (++taken > PUMP_EVENT_CAP) return;
    }
}

int joy_poll_once() {
    InputState& in = input_state;
    if (in.joy_fd == -2) return -2;
    unsigned char event[8];
    if (in.joy_fd == -1) {
        int fd = open(joy_device_paths[0], O_RDONLY | O_NONBLOCK);
        if (fd < 0) fd = open(joy_device_paths[1], O_RDONLY | O_NONBLOCK);
        if (fd < 0) {
            in.joy_fd = -2;
            return -2;
        }
        in.joy_fd = fd;
        // The first event is dropped.
        [[maybe_unused]] const ssize_t dropped = read(fd, event, sizeof event);
        return 0;
    }
    if (read(in.joy_fd, event, sizeof event) != static_cast<ssize_t>(sizeof event)) return 0;
    // Linux joystick event: 32-bit time, signed 16-bit value, type, number (host byte order).
    int16_t value;
    std::memcpy(&value, event + 4, sizeof value);
    const int type = event[6], number = event[7];
    if (type == 2) {
        if (number >= JOY_AXES) return 4;
        const int previous = in.joy_axis[number];
        in.joy_axis[number] = value;
        return std::abs(value - previous) > JOY_AXIS_STEP ? 3 : 4;
    }
    if (type == 1) {
        if (number >= JOY_BUTTONS) return 4;
        const int previous = in.joy_button[number];
        in.joy_button[number] = value;
        return value != previous ? 3 : 4;
    }
    // Other kinds, and the driver's initial-state events (0x80 set).
    return 4;
}

void joy_poll() {
    if (engine_time() - input_state.joy_last_poll < JOY_POLL_PERIOD) return;
    joy_poll_now();
}

void input_clear_mouse_left() {
    input_state.mouse_left = 0;
}
void input_clear_mouse_right() {
    input_state.mouse_right = 0;
}
void input_clear_wheel() {
    input_state.wheel_up = 0;
    input_state.wheel_down = 0;
}
void input_clear_quit() {
    display_state.quit_requested = 0;
}
void input_clear_pressed() {
    std::memset(input_state.key_pressed, 0, sizeof input_state.key_pressed);
}

int joy_button_value(int index) {
    return index >= 0 && index < JOY_BUTTONS ? input_state.joy_button[index] : 0;
}
bool joy_button_pressed(int index) {
    return joy_button_value(index) != 0;
}
void joy_button_clear(int index) {
    if (index >= 0 && index < JOY_BUTTONS) input_state.joy_button[index] = 0;
}

float joy_axis_normalised(int axis) {
    // The sticks (axes 0 and 1) and the other axes report slightly different full ranges.
    const float range = axis < 2 ? 65534.0f : 65530.0f;
    float v = static_cast<float>(joy_axis_raw(axis)) * 2.0f / range;
    if (v < -1) v = -1;
    if (v > 1) v = 1;
    return v;
}
bool joy_axis_negative(int axis) {
    return joy_axis_raw(axis) < -JOY_AXIS_DEAD_ZONE;
}
bool joy_axis_positive(int axis) {
    return joy_axis_raw(axis) > JOY_AXIS_DEAD_ZONE;
}
