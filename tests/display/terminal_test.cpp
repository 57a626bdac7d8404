// The terminal renderer: nearest colours, the bytes a frame writes to standard output in both colour
// modes, a terminal that goes away, and the program itself drawing into a private tmux server.
#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "display/terminal.h"
#include "display/window.h"
#include "support/temp_dir.h"

namespace {

using vmtest::TempDir;

// A pseudo-terminal of a given size: its slave side stands in for the program's terminal.
struct Pty {
    int master = -1, slave = -1;
    Pty(int columns, int rows) {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
        slave = open(ptsname(master), O_RDWR | O_NOCTTY);
        resize(columns, rows);
    }
    ~Pty() {
        if (slave >= 0) close(slave);
        if (master >= 0) close(master);
    }
    void resize(int columns, int rows) {
        winsize size{};
        size.ws_col = static_cast<unsigned short>(columns);
        size.ws_row = static_cast<unsigned short>(rows);
        ioctl(slave, TIOCSWINSZ, &size);
    }
};

// Standard input and output replaced for the length of a test; standard output goes into a pipe.
struct Redirect {
    int saved_in = dup(STDIN_FILENO), saved_out = dup(STDOUT_FILENO);
    int pipe_fds[2] = {-1, -1};
    explicit Redirect(int input) {
        fflush(stdout);
        if (pipe(pipe_fds) != 0) return;
        fcntl(pipe_fds[0], F_SETFL, O_NONBLOCK);
        fcntl(pipe_fds[0], F_SETPIPE_SZ, 1 << 20);
        dup2(input, STDIN_FILENO);
        dup2(pipe_fds[1], STDOUT_FILENO);
    }
    ~Redirect() {
        dup2(saved_in, STDIN_FILENO);
        dup2(saved_out, STDOUT_FILENO);
        close(saved_in);
        close(saved_out);
        if (pipe_fds[0] >= 0) close(pipe_fds[0]);
        close(pipe_fds[1]);
        terminal_reset();
        display_state.quit_requested = 0;
    }
    // Everything written so far.
    std::string take() {
        std::string bytes;
        char chunk[65536];
        ssize_t n;
        while ((n = read(pipe_fds[0], chunk, sizeof chunk)) > 0) bytes.append(chunk, static_cast<size_t>(n));
        return bytes;
    }
};

std::vector<uint8_t> noise(int width, int height, uint32_t seed) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
    for (auto& byte : pixels) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(seed >> 24);
    }
    return pixels;
}

const uint8_t* pixel(const std::vector<uint8_t>& image, int width, int row, int column) {
    return image.data() + (static_cast<size_t>(row) * width + column) * 3;
}

// The background codes of a 16-colour frame, in order; empty when any cell is malformed.
std::vector<int> ansi_cells(const std::string& frame) {
    std::vector<int> codes;
    const std::string cell = "\33[1m\33[4";
    for (size_t at = 0; at < frame.size();) {
        if (frame.compare(at, cell.size(), cell) != 0 || at + cell.size() + 3 > frame.size()) return {};
        const char digit = frame[at + cell.size()];
        if (digit < '0' || digit > '7' || frame.compare(at + cell.size() + 1, 2, "m ") != 0) return {};
        codes.push_back(40 + digit - '0');
        at += cell.size() + 3;
    }
    return codes;
}

struct HalfCell {
    int fg[3], bg[3];
};

// The cells of a 24-bit frame, each with the colours in force when its half block was written.
std::vector<HalfCell> truecolor_cells(const std::string& frame, bool* ok) {
    std::vector<HalfCell> cells;
    HalfCell now{{-1, -1, -1}, {-1, -1, -1}};
    *ok = true;
    for (size_t at = 0; at < frame.size();) {
        if (frame.compare(at, 3, "\xE2\x96\x80") == 0) {
            cells.push_back(now);
            at += 3;
            continue;
        }
        if (frame.compare(at, 2, "\33[") != 0) {
            *ok = false;
            return cells;
        }
        const size_t end = frame.find('m', at);
        if (end == std::string::npos) {
            *ok = false;
            return cells;
        }
        std::vector<int> params;
        for (size_t p = at + 2; p < end;) {
            params.push_back(std::atoi(frame.c_str() + p));
            p = frame.find(';', p);
            if (p == std::string::npos || p > end) break;
            ++p;
        }
        for (size_t k = 0; k + 4 < params.size() + 0 && k < params.size(); k += 5) {
            int* target = params[k] == 38 ? now.fg : params[k] == 48 ? now.bg : nullptr;
            if (target == nullptr || params[k + 1] != 2) {
                *ok = false;
                return cells;
            }
            for (int c = 0; c < 3; ++c) target[c] = params[k + 2 + c];
        }
        if (params.size() % 5 != 0) *ok = false;
        at = end + 1;
    }
    return cells;
}

TEST(Terminal, NearestColourPicksTheHue) {
    EXPECT_EQ(terminal_colour_code(255, 0, 0), 41);
    EXPECT_EQ(terminal_colour_code(0, 255, 0), 42);
    EXPECT_EQ(terminal_colour_code(0, 0, 255), 44);
    EXPECT_EQ(terminal_colour_code(255, 255, 0), 43);  // nearest the bright yellow's green of 0.5
    EXPECT_EQ(terminal_colour_code(255, 128, 0), 43);  // orange
    EXPECT_EQ(terminal_colour_code(255, 0, 255), 45);
    EXPECT_EQ(terminal_colour_code(0, 255, 255), 46);
    EXPECT_EQ(terminal_colour_code(255, 255, 255), 47);
    EXPECT_EQ(terminal_colour_code(0, 0, 0), 40);
    EXPECT_EQ(terminal_colour_code(128, 128, 128), 47);  // mid grey: the dim white at 0.3 is nearest
    EXPECT_EQ(terminal_colour_code(40, 40, 40), 40);     // dark grey stays black
    EXPECT_EQ(terminal_colour_code(80, 0, 0), 41);       // dim red
    EXPECT_EQ(terminal_colour_code(0, 0, 70), 44);       // dim blue
    EXPECT_EQ(terminal_colour_code(77, 51, 0), 43);      // the dim yellow itself
    EXPECT_EQ(terminal_colour_code(200, 30, 30), 41);    // a reddish pixel is red, not white or yellow
    EXPECT_EQ(terminal_colour_code(30, 200, 190), 46);
}

TEST(Terminal, SixteenColourFrameFillsTheTerminalAndFollowsItsSize) {
    Pty pty(80, 24);
    ASSERT_GE(pty.slave, 0);
    unsetenv("COLORTERM");
    Redirect io(pty.slave);
    const int width = 160, height = 48;  // every cell takes the pixel at twice its row and column
    const std::vector<uint8_t> image = noise(width, height, 11);
    terminal_present(image.data(), width, height);
    std::string frame = io.take();
    const std::string first = "\33[?25l\33[1;1H";  // the first frame also hides the cursor
    ASSERT_EQ(frame.compare(0, first.size(), first), 0);
    std::vector<int> codes = ansi_cells(frame.substr(first.size()));
    ASSERT_EQ(codes.size(), 1920u);
    for (int i = 0; i < 24; ++i)
        for (int j = 0; j < 80; ++j) {
            const uint8_t* p = pixel(image, width, 2 * i, 2 * j);
            ASSERT_EQ(codes[static_cast<size_t>(i) * 80 + j], terminal_colour_code(p[0], p[1], p[2]))
                << i << ", " << j;
        }

    // The next frame after a resize: cursor home, then the new grid.
    pty.resize(100, 30);
    terminal_present(image.data(), width, height);
    frame = io.take();
    ASSERT_EQ(frame.compare(0, 6, "\33[1;1H"), 0);
    codes = ansi_cells(frame.substr(6));
    ASSERT_EQ(codes.size(), 3000u);
    const uint8_t* last = pixel(image, width, static_cast<int>(48.0L / 30 * 29), static_cast<int>(1.6L * 99));
    EXPECT_EQ(codes.back(), terminal_colour_code(last[0], last[1], last[2]));
}

TEST(Terminal, TrueColourHalfBlocksCarryBothPixels) {
    for (const char* colorterm : {"truecolor", "24bit"}) {
        Pty pty(7, 5);
        ASSERT_GE(pty.slave, 0);
        setenv("COLORTERM", colorterm, 1);
        Redirect io(pty.slave);
        const std::vector<uint8_t> image = noise(7, 10, 23);  // one pixel per half cell
        terminal_present(image.data(), 7, 10);
        const std::string frame = io.take();
        const std::string first = "\33[?25l\33[1;1H";
        ASSERT_EQ(frame.compare(0, first.size(), first), 0) << colorterm;
        bool ok = false;
        const std::vector<HalfCell> cells = truecolor_cells(frame.substr(first.size()), &ok);
        EXPECT_TRUE(ok);
        ASSERT_EQ(cells.size(), 35u);
        for (int i = 0; i < 5; ++i)
            for (int j = 0; j < 7; ++j) {
                const HalfCell& cell = cells[static_cast<size_t>(i) * 7 + j];
                const uint8_t* upper = pixel(image, 7, 2 * i, j);
                const uint8_t* lower = pixel(image, 7, 2 * i + 1, j);
                for (int c = 0; c < 3; ++c) {
                    ASSERT_EQ(cell.fg[c], upper[c]) << i << ", " << j;
                    ASSERT_EQ(cell.bg[c], lower[c]) << i << ", " << j;
                }
            }
    }
    // Equal neighbours share one colour code.
    Pty pty(10, 2);
    setenv("COLORTERM", "truecolor", 1);
    Redirect io(pty.slave);
    std::vector<uint8_t> flat(10 * 4 * 3, 200);
    terminal_present(flat.data(), 10, 4);
    const std::string frame = io.take();
    size_t codes = 0;
    for (size_t at = frame.find("8;2;"); at != std::string::npos; at = frame.find("8;2;", at + 1)) ++codes;
    EXPECT_EQ(codes, 2u) << frame;
    unsetenv("COLORTERM");
}

TEST(Terminal, OtherColourTermsGetSixteenColours) {
    Pty pty(8, 4);
    setenv("COLORTERM", "yes", 1);
    Redirect io(pty.slave);
    const std::vector<uint8_t> image = noise(8, 8, 5);
    terminal_present(image.data(), 8, 8);
    const std::string frame = io.take();
    EXPECT_EQ(ansi_cells(frame.substr(12)).size(), 32u);
    unsetenv("COLORTERM");
}

TEST(Terminal, WithoutATerminalNothingIsWritten) {
    const int null_fd = open("/dev/null", O_RDONLY);
    ASSERT_GE(null_fd, 0);
    {
        Redirect io(null_fd);
        const std::vector<uint8_t> image = noise(64, 32, 2);
        terminal_present(image.data(), 64, 32);
        EXPECT_EQ(io.take(), "");
        EXPECT_EQ(display_state.quit_requested.load(), 0);
    }
    close(null_fd);
    // A one-row or one-column terminal draws nothing either.
    Pty pty(1, 24);
    Redirect io(pty.slave);
    const std::vector<uint8_t> image = noise(64, 32, 2);
    terminal_present(image.data(), 64, 32);
    EXPECT_EQ(io.take(), "");
}

TEST(Terminal, AClosedPipeAsksToQuitAndStopsWriting) {
    Pty pty(40, 12);
    Redirect io(pty.slave);
    close(io.pipe_fds[0]);
    io.pipe_fds[0] = -1;
    const std::vector<uint8_t> image = noise(64, 32, 9);
    // SIGPIPE is ignored by the renderer, so this returns; the write fails with EPIPE.
    terminal_present(image.data(), 64, 32);
    EXPECT_EQ(display_state.quit_requested.load(), 1);
    // Later frames do not try again: standard output is now a fresh pipe that stays empty.
    int fresh[2];
    ASSERT_EQ(pipe(fresh), 0);
    fcntl(fresh[0], F_SETFL, O_NONBLOCK);
    dup2(fresh[1], STDOUT_FILENO);
    terminal_present(image.data(), 64, 32);
    char byte;
    EXPECT_EQ(read(fresh[0], &byte, 1), -1);
    close(fresh[0]);
    close(fresh[1]);
}

// ---- The program itself ----

std::string program() {
    return vmtest::build_dir() + "/velmorine";
}

std::string file_sink(const TempDir& dir) {
    return dir.write("asound.conf", "pcm.!default {\n type file\n slave.pcm { type null }\n file \"" +
                                        (dir / "music.raw") + "\"\n format \"raw\"\n}\n");
}

std::string run(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) out.append(chunk, n);
    pclose(pipe);
    return out;
}

// A captured pane as rows of cells, each cell the background it was drawn on (-1: the default).
// tmux writes its own escapes: a code per run of equal colour, carried over line ends; -N keeps the
// trailing spaces that a row of one colour ends with.
std::vector<std::vector<int>> parse_capture(const std::string& capture) {
    std::vector<std::vector<int>> grid(1);
    int background = -1;
    for (size_t at = 0; at < capture.size();) {
        const unsigned char c = static_cast<unsigned char>(capture[at]);
        if (c == '\n') {
            grid.emplace_back();
            ++at;
        } else if (c == 27 && at + 1 < capture.size() && capture[at + 1] == '[') {
            size_t end = at + 2;
            while (end < capture.size() && (capture[end] < 0x40 || capture[end] > 0x7E)) ++end;
            if (end < capture.size() && capture[end] == 'm') {
                std::vector<int> params;
                for (size_t p = at + 2; p <= end;) {
                    params.push_back(std::atoi(capture.c_str() + p));
                    while (p < end && capture[p] != ';') ++p;
                    ++p;
                }
                for (size_t k = 0; k < params.size(); ++k) {
                    const int v = params[k];
                    if (v == 0 || v == 49) background = -1;
                    if ((v >= 40 && v <= 47) || (v >= 100 && v <= 107)) background = v;
                    if ((v == 38 || v == 48) && k + 1 < params.size()) {
                        const size_t skip = params[k + 1] == 5 ? 2 : params[k + 1] == 2 ? 4 : 1;
                        if (v == 48) background = 1000;
                        k += skip;
                    }
                }
            }
            at = end + 1;
        } else {
            if ((c & 0xC0) != 0x80) grid.back().push_back(background);
            ++at;
        }
    }
    while (!grid.empty() && grid.back().empty()) grid.pop_back();
    return grid;
}

// True when the first rows x columns cells are all coloured and nothing lies outside them.
bool grid_filled(const std::vector<std::vector<int>>& grid, size_t columns, size_t rows) {
    if (grid.size() != rows) return false;
    for (const auto& row : grid) {
        size_t coloured = 0;
        for (int cell : row) coloured += cell != -1;
        if (coloured != columns || row.size() != columns) return false;
    }
    return true;
}

// A private tmux server for one test, killed with it.
struct Tmux {
    std::string server = "vm_terminal_" + std::to_string(getpid());
    std::string tmux(const std::string& args) { return run("tmux -L " + server + " " + args + " 2>&1"); }
    ~Tmux() { tmux("kill-server"); }
};

std::vector<std::vector<int>> wait_for_grid(Tmux& t, size_t columns, size_t rows, double seconds,
                                            std::string* last) {
    std::vector<std::vector<int>> grid;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        *last = t.tmux("capture-pane -t t -e -p -N");
        grid = parse_capture(*last);
        if (grid_filled(grid, columns, rows)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return grid;
}

TEST(TerminalProgram, DrawsEveryCellOfTheTmuxPaneAndFollowsAResize) {
    if (system("command -v tmux > /dev/null") != 0) GTEST_SKIP() << "tmux is not installed";
    TempDir dir;
    Tmux t;
    const std::string command =
        "env -u DISPLAY -u COLORTERM ALSA_CONFIG_PATH=" + file_sink(dir) + " " + program();
    t.tmux("new-session -d -s t -x 80 -y 24 '" + command + "'");
    std::string capture;
    std::vector<std::vector<int>> grid = wait_for_grid(t, 80, 24, 30, &capture);
    ASSERT_TRUE(grid_filled(grid, 80, 24)) << capture;
    // The demo's picture, not one flat colour.
    int first = grid[0][0], different = 0;
    for (const auto& row : grid)
        for (int cell : row) different += cell != first;
    EXPECT_GT(different, 0);

    t.tmux("resize-window -t t -x 100 -y 30");
    grid = wait_for_grid(t, 100, 30, 10, &capture);
    EXPECT_TRUE(grid_filled(grid, 100, 30)) << capture;
    t.tmux("resize-window -t t -x 50 -y 12");
    grid = wait_for_grid(t, 50, 12, 10, &capture);
    EXPECT_TRUE(grid_filled(grid, 50, 12)) << capture;
}

TEST(TerminalProgram, CtrlCGivesTheCursorBack) {
    if (system("command -v tmux > /dev/null") != 0) GTEST_SKIP() << "tmux is not installed";
    TempDir dir;
    Tmux t;
    // Standard output also goes to a file, so the bytes written after the signal can be read: tmux
    // stops showing a pane's state once it is dead.
    const std::string out = dir / "out.bin";
    const std::string command = "env -u DISPLAY -u COLORTERM ALSA_CONFIG_PATH=" + file_sink(dir) + " " +
                                program() + " | tee -i " + out;
    t.tmux("new-session -d -s t -x 60 -y 20 '" + command + "'");
    t.tmux("set-option -t t remain-on-exit on");
    std::string capture;
    ASSERT_TRUE(grid_filled(wait_for_grid(t, 60, 20, 30, &capture), 60, 20)) << capture;
    // The frames hide the cursor while they draw.
    EXPECT_EQ(t.tmux("display-message -p -t t '#{cursor_flag}'"), "0\n");
    t.tmux("send-keys -t t C-c");
    std::string dead;
    for (int i = 0; i < 100 && dead != "1\n"; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        dead = t.tmux("display-message -p -t t '#{pane_dead}'");
    }
    ASSERT_EQ(dead, "1\n");
    const std::string bytes = vmtest::read_file(out);
    EXPECT_EQ(bytes.compare(0, 12, "\33[?25l\33[1;1H"), 0);
    const std::string restore = "\33[0m\33[?25h\r\n";
    ASSERT_GE(bytes.size(), restore.size());
    EXPECT_EQ(bytes.substr(bytes.size() - restore.size()), restore);
}

TEST(TerminalProgram, AClosedPipeEndsTheDemoQuietly) {
    TempDir dir;
    const std::string sink = file_sink(dir);
    const std::string err_path = dir / "stderr.txt";
    Pty pty(40, 12);
    ASSERT_GE(pty.slave, 0);
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(pty.slave, STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        close(out[0]);
        unsetenv("DISPLAY");
        unsetenv("COLORTERM");
        setenv("ALSA_CONFIG_PATH", sink.c_str(), 1);
        const std::string exe = program();
        execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    // Wait for frames (after loading starts), then hang up.
    std::string seen;
    char chunk[65536];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (seen.find("\33[1;1H") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        const ssize_t n = read(out[0], chunk, sizeof chunk);
        if (n <= 0) break;
        seen.append(chunk, static_cast<size_t>(n));
    }
    EXPECT_NE(seen.find("\33[1;1H"), std::string::npos);
    close(out[0]);

    int status = -1;
    pid_t done = 0;
    for (int i = 0; i < 300 && done == 0; ++i) {
        done = waitpid(pid, &status, WNOHANG);
        if (done == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (done == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "the demo kept running after its terminal closed";
    }
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // Only the missing X display is mentioned, nothing about the terminal.
    EXPECT_EQ(vmtest::read_file(err_path), "X11 kapcsolathiba.\n");
}

}  // namespace
