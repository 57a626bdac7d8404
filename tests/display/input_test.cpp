// The input pump against a private X server with real key and button events, the key-code rules on
// their own, and the joystick reader on FIFOs standing in for the devices.
#include "input_test_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "core/clock.h"
#include "support/temp_dir.h"

namespace {

using inputtest::first_pump;
using inputtest::send_keys;
using inputtest::wait_for_events;
using inputtest::xdotool;

class InputTest : public disptest::XServerTest {
  protected:
    void SetUp() override {
        XServerTest::SetUp();
        input_reset();
        open_startup_window();
        // No joystick lookups on the test machine's devices.
        input_state.joy_fd = -2;
    }
    void TearDown() override {
        input_reset();
        XServerTest::TearDown();
    }
};

TEST_F(InputTest, AKeyTappedBetweenTwoFramesIsPressedForOneFrameAndReleasedInTheNext) {
    first_pump();
    ASSERT_TRUE(send_keys("h"));
    ASSERT_TRUE(wait_for_events(2));
    input_pump();
    EXPECT_EQ(input_state.key_pressed['h'], 1);
    EXPECT_EQ(input_state.key_down['h'], 1);
    input_pump();
    EXPECT_EQ(input_state.key_pressed['h'], 0);
    EXPECT_EQ(input_state.key_down['h'], 0);
    input_pump();
    EXPECT_EQ(input_state.key_pressed['h'], 0);
}

TEST_F(InputTest, ShiftChangesTheCodeAndIsAKeyOfItsOwn) {
    first_pump();
    // As a typist does it: h let go before Shift (xdotool's "shift+h" lets Shift go first).
    ASSERT_TRUE(xdotool("windowfocus --sync " + std::to_string(display_state.x_window) +
                        " keydown shift keydown h keyup h keyup shift"));
    ASSERT_TRUE(wait_for_events(4));
    input_pump();
    EXPECT_EQ(input_state.key_pressed['H'], 1);
    EXPECT_EQ(input_state.key_pressed['h'], 0);
    EXPECT_EQ(input_state.key_down[KEY_SHIFT], 1);
    input_pump();
    EXPECT_EQ(input_state.key_down['H'], 0);
    EXPECT_EQ(input_state.key_down[KEY_SHIFT], 0);
}

TEST_F(InputTest, SpecialAndKeypadKeysTakeTheirTableCodesOneFrameEach) {
    first_pump();
    ASSERT_TRUE(send_keys("Up F3 KP_Home Escape Return"));
    ASSERT_TRUE(wait_for_events(10));
    for (int code : {int(KEY_UP), KEY_F1 + 2, int('7'), 0x1B, 0x0D}) {
        input_pump();
        EXPECT_EQ(input_state.key_pressed[code], 1) << code;
        int pressed = 0;
        for (uint8_t p : input_state.key_pressed) pressed += p;
        EXPECT_EQ(pressed, 1) << code;
    }
    input_pump();
    for (int code = 0; code < KEY_CODE_COUNT; ++code) EXPECT_EQ(input_state.key_down[code], 0) << code;
}

TEST_F(InputTest, AWheelNotchSetsWheelUpForExactlyOneFrame) {
    const std::string window = std::to_string(display_state.x_window);
    first_pump();
    ASSERT_TRUE(xdotool("mousemove --sync --window " + window + " 64 32"));
    ASSERT_TRUE(wait_for_events(1));
    input_pump();
    EXPECT_FLOAT_EQ(input_state.pointer_u, 64.0f / 512);
    EXPECT_FLOAT_EQ(input_state.pointer_v, 32.0f / 256);
    ASSERT_TRUE(xdotool("click 4"));
    ASSERT_TRUE(wait_for_events(2));
    input_pump();
    EXPECT_EQ(input_state.wheel_up, 1);
    EXPECT_EQ(input_state.wheel_down, 0);
    input_pump();
    EXPECT_EQ(input_state.wheel_up, 0);
}

TEST_F(InputTest, AButtonPressEndsTheFramesEventsAndMotionBehindItWaits) {
    const std::string window = std::to_string(display_state.x_window);
    first_pump();
    ASSERT_TRUE(xdotool("mousemove --sync --window " + window + " 64 32"));
    ASSERT_TRUE(wait_for_events(1));
    input_pump();
    ASSERT_TRUE(xdotool("mousedown 1 mousemove --sync --window " + window + " 128 64"));
    ASSERT_TRUE(wait_for_events(2));
    input_pump();
    EXPECT_EQ(input_state.mouse_left, 1);
    EXPECT_FLOAT_EQ(input_state.pointer_u, 64.0f / 512);
    input_pump();
    EXPECT_FLOAT_EQ(input_state.pointer_u, 128.0f / 512);
    EXPECT_FLOAT_EQ(input_state.motion_dx, 64);
    EXPECT_EQ(input_state.mouse_left, 1);
    ASSERT_TRUE(xdotool("mouseup 1"));
    ASSERT_TRUE(wait_for_events(1));
    input_pump();
    EXPECT_EQ(input_state.mouse_left, 0);
}

TEST_F(InputTest, ThePointerQueryMeasuresTheMoveSinceTheLastPump) {
    ASSERT_TRUE(xdotool("mousemove --sync 100 200"));
    input_pump();
    EXPECT_EQ(input_state.pointer_seen, 1);
    EXPECT_EQ(input_state.pointer_dx, 0);
    EXPECT_EQ(input_state.pointer_last_x, 100);
    ASSERT_TRUE(xdotool("mousemove --sync 130 190"));
    input_pump();
    EXPECT_EQ(input_state.pointer_dx, 30);
    EXPECT_EQ(input_state.pointer_dy, -10);
    input_pump();
    EXPECT_EQ(input_state.pointer_dx, 0);
}

TEST(InputNoDisplay, ThePumpOnlyPollsTheJoystick) {
    display_reset();
    input_reset();
    input_state.key_pressed['a'] = 1;
    input_state.wheel_up = 1;
    input_state.joy_fd = -2;
    input_pump();
    EXPECT_EQ(input_state.wheel_up, 0);
    // No connection, so the frame's key state is left as it was.
    EXPECT_EQ(input_state.key_pressed['a'], 1);
    input_reset();
}

TEST(KeyCodes, FollowTheTablesAndTheLayoutsByte) {
    EXPECT_EQ(key_code_for(0xFF52, -1, 0xFF52, false), KEY_UP);
    EXPECT_EQ(key_code_for(0xFFC7, -1, 0xFFC7, false), KEY_F1 + 9);
    EXPECT_EQ(key_code_for(0xFFC8, -1, 0xFFC8, false), 0);  // F11 has no code
    EXPECT_EQ(key_code_for(0xFFE2, -1, 0xFFE2, false), KEY_SHIFT);
    EXPECT_EQ(key_code_for(0xFF61, -1, 0xFF61, false), 0x11A);
    EXPECT_EQ(key_code_for(0xFF8D, 13, 0xFF8D, false), 0x0D);
    EXPECT_EQ(key_code_for(0xFF9F, -1, 0xFF9F, false), ',');
    EXPECT_EQ(key_code_for(0xFF9A, -1, 0xFF9A, false), '9');
    EXPECT_EQ(key_code_for('h', 'H', 'H', true), 'H');
    EXPECT_EQ(key_code_for(0xE9, 0xE9, 0xE9, false), 0xE9);
    EXPECT_EQ(key_code_for(0x1F5, -1, 0x1F5, false), 0x8B);
    EXPECT_EQ(key_code_for(0x1F5, -1, 0x1F5, true), 0x99);
    EXPECT_EQ(key_code_for(0x1FB, -1, 0x1FB, false), 0xFB);
    EXPECT_EQ(key_code_for(0x1FB, -1, 0x1FB, true), 0xEB);
    EXPECT_EQ(key_code_for(0x20AC, -1, 0x20AC, false), 0);
}

TEST(KeyCodes, NeverLeaveTheCodeSpace) {
    for (unsigned long keysym = 0; keysym <= 0x10000; ++keysym)
        for (int byte : {-1000, -1, 0, 127, 255, 256, 100000}) {
            const int code = key_code_for(keysym, byte, keysym, keysym & 1);
            ASSERT_GE(code, 0);
            ASSERT_LT(code, KEY_CODE_COUNT);
        }
    EXPECT_LT(key_code_for(0xFFFFFFFFul, 0x7FFFFFFF, 0xFFFFFFFFul, true), KEY_CODE_COUNT);
}

TEST(KeyCodes, CasePairsAreSymmetric) {
    EXPECT_EQ(key_case_partner(0x94), 0x99);
    EXPECT_EQ(key_case_partner(0x99), 0x94);
    EXPECT_EQ(key_case_partner(0xE9), 0xA3);
    EXPECT_EQ(key_case_partner('a'), -1);
    for (int code = 0; code < KEY_CODE_COUNT; ++code) {
        const int partner = key_case_partner(code);
        if (partner >= 0) {
            EXPECT_EQ(key_case_partner(partner), code);
        }
    }
}

// FIFOs in place of the joystick devices: the reader opens them as it would a device, and the test
// writes the driver's 8-byte events into them.
class JoystickTest : public ::testing::Test {
  protected:
    void SetUp() override {
        input_reset();
        missing_ = dir_ / "js0";
        device_ = dir_ / "js1";
        ASSERT_EQ(mkfifo(device_.c_str(), 0600), 0);
        joy_device_paths[0] = missing_.c_str();
        joy_device_paths[1] = device_.c_str();
    }
    void TearDown() override {
        if (input_state.joy_fd >= 0) close(input_state.joy_fd);
        if (writer_ >= 0) close(writer_);
        joy_device_paths[0] = "/dev/input/js0";
        joy_device_paths[1] = "/dev/input/js1";
        input_reset();
    }
    // Opens the device (the second one: the first is missing) and the test's writing end.
    void open_device() {
        ASSERT_EQ(joy_poll_once(), 0);
        ASSERT_GE(input_state.joy_fd, 0);
        writer_ = open(device_.c_str(), O_WRONLY | O_NONBLOCK);
        ASSERT_GE(writer_, 0);
    }
    void send(int16_t value, uint8_t type, uint8_t number) {
        uint8_t event[8] = {};
        std::memcpy(event + 4, &value, sizeof value);
        event[6] = type;
        event[7] = number;
        ASSERT_EQ(write(writer_, event, sizeof event), 8);
    }
    vmtest::TempDir dir_;
    std::string missing_, device_;
    int writer_ = -1;
};

TEST_F(JoystickTest, UsesTheSecondDeviceWhenTheFirstIsMissing) {
    open_device();
    EXPECT_EQ(joy_poll_once(), 0);  // nothing waiting
}

TEST_F(JoystickTest, ReportsSignificantChangesOfAxesAndButtons) {
    open_device();
    send(9000, 2, 0);
    EXPECT_EQ(joy_poll_once(), 3);
    EXPECT_EQ(input_state.joy_axis[0], 9000);
    send(16000, 2, 0);  // moved by 7000: stored, but not significant
    EXPECT_EQ(joy_poll_once(), 4);
    EXPECT_EQ(input_state.joy_axis[0], 16000);
    send(-32767, 2, 5);
    EXPECT_EQ(joy_poll_once(), 3);
    send(1, 2, 6);  // an axis beyond the sixth
    EXPECT_EQ(joy_poll_once(), 4);
    send(1, 1, 63);
    EXPECT_EQ(joy_poll_once(), 3);
    send(1, 1, 63);
    EXPECT_EQ(joy_poll_once(), 4);
    send(1, 1, 64);
    EXPECT_EQ(joy_poll_once(), 4);
    send(1, 0x81, 2);  // the driver's initial state
    EXPECT_EQ(joy_poll_once(), 4);
    EXPECT_EQ(input_state.joy_button[2], 0);
    EXPECT_EQ(joy_poll_once(), 0);

    EXPECT_TRUE(joy_button_pressed(63));
    EXPECT_EQ(joy_button_value(64), 0);
    EXPECT_EQ(joy_button_value(-1), 0);
    joy_button_clear(63);
    EXPECT_FALSE(joy_button_pressed(63));
    EXPECT_FLOAT_EQ(joy_axis_normalised(0), 16000 * 2.0f / 65534);
    EXPECT_FLOAT_EQ(joy_axis_normalised(5), -1);  // -32767 x 2 / 65530 is clamped
    EXPECT_TRUE(joy_axis_positive(0));
    EXPECT_TRUE(joy_axis_negative(5));
    EXPECT_FALSE(joy_axis_negative(1));
    EXPECT_EQ(joy_axis_normalised(6), 0);
}

TEST_F(JoystickTest, APollStopsAtTheFirstSignificantChangeAndWaitsItsPeriod) {
    open_device();
    send(100, 2, 1);
    send(200, 2, 1);
    send(1, 1, 0);
    send(20000, 2, 1);
    input_state.joy_last_poll = engine_time() - 1;
    joy_poll();
    // Two small moves, then the button: the axis move stays queued.
    EXPECT_EQ(input_state.joy_button[0], 1);
    EXPECT_EQ(input_state.joy_axis[1], 200);
    joy_poll();  // within 0.03 s of the last poll: nothing read
    EXPECT_EQ(input_state.joy_axis[1], 200);
    input_state.joy_last_poll = engine_time() - 1;
    joy_poll();
    EXPECT_EQ(input_state.joy_axis[1], 20000);
}

TEST_F(JoystickTest, AnyBytesAreSafe) {
    open_device();
    uint32_t state = 12345;
    for (int i = 0; i < 2000; ++i) {
        uint8_t event[8];
        for (uint8_t& b : event) {
            state = state * 1664525u + 1013904223u;
            b = static_cast<uint8_t>(state >> 24);
        }
        ASSERT_EQ(write(writer_, event, sizeof event), 8);
        const int r = joy_poll_once();
        EXPECT_TRUE(r == 3 || r == 4) << r;
    }
    // A short read (a partial event) reads as nothing.
    ASSERT_EQ(write(writer_, "abc", 3), 3);
    EXPECT_EQ(joy_poll_once(), 0);
}

TEST(Joystick, WithoutDevicesGivesUpForGood) {
    input_reset();
    joy_device_paths[0] = "/nonexistent/js0";
    joy_device_paths[1] = "/nonexistent/js1";
    EXPECT_EQ(joy_poll_once(), -2);
    EXPECT_EQ(input_state.joy_fd, -2);
    EXPECT_EQ(joy_poll_once(), -2);
    joy_device_paths[0] = "/dev/input/js0";
    joy_device_paths[1] = "/dev/input/js1";
    input_reset();
}

}  // namespace
