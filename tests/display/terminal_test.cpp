// The terminal renderer: nearest colours, the bytes a frame writes to standard output in both colour
// modes, a terminal that goes away, and the program itself drawing into a private tmux server.
#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "display/terminal.h"
#include "display/window.h"
#include "support/temp_dir.h"

namespace {

using vmtest::TempDir;

// A pseudo-terminal of a given size: its slave side stands in for the program's terminal, raw, so the
// bytes written arrive as they were written.
struct Pty {
    int master = -1, slave = -1;
    Pty(int columns, int rows) {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
        slave = open(ptsname(master), O_RDWR | O_NOCTTY);
        termios mode;
        if (tcgetattr(slave, &mode) == 0) {
            cfmakeraw(&mode);
            tcsetattr(slave, TCSANOW, &mode);
        }
        resize(columns, rows);
    }
    ~Pty() {
        if (slave >= 0) close(slave);
        close_master();
    }
    void close_master() {
        if (master >= 0) close(master);
        master = -1;
    }
    void resize(int columns, int rows) {
        winsize size{};
        size.ws_col = static_cast<unsigned short>(columns);
        size.ws_row = static_cast<unsigned short>(rows);
        ioctl(slave, TIOCSWINSZ, &size);
    }
};

// What a terminal received. A child process copies everything from the master side into a file, so a
// frame larger than the terminal's buffer (some 20 kB) never blocks its writer.
struct PtyTap {
    Pty& pty;
    std::string file;
    pid_t copier = -1;
    size_t taken = 0;
    int marks = 0;
    PtyTap(Pty& terminal, const std::string& path) : pty(terminal), file(path) {
        const int out = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        copier = fork();
        if (copier == 0) {
            char chunk[65536];
            ssize_t n;
            while ((n = read(pty.master, chunk, sizeof chunk)) > 0)
                if (write(out, chunk, static_cast<size_t>(n)) != n) break;
            _exit(0);
        }
        close(out);
    }
    ~PtyTap() { stop(); }
    void stop() {
        if (copier <= 0) return;
        kill(copier, SIGKILL);
        waitpid(copier, nullptr, 0);
        copier = -1;
    }
    // Everything written to the terminal since the last call: a mark written after it shows when the
    // copy has caught up.
    std::string take() {
        const std::string mark = "<mark " + std::to_string(++marks) + ">";
        if (write(pty.slave, mark.data(), mark.size()) != static_cast<ssize_t>(mark.size())) return "";
        for (int i = 0; i < 1000; ++i) {
            const std::string bytes = vmtest::read_file(file);
            const size_t at = bytes.find(mark, taken);
            if (at != std::string::npos) {
                const std::string got = bytes.substr(taken, at - taken);
                taken = at + mark.size();
                return got;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return "(the copy never caught up)";
    }
};

// Standard input and output replaced for the length of a test: standard output is a terminal (a tapped
// pseudo-terminal) or, without one, a pipe.
struct Redirect {
    int saved_in = dup(STDIN_FILENO), saved_out = dup(STDOUT_FILENO);
    int pipe_fds[2] = {-1, -1};
    TempDir dir;
    std::unique_ptr<PtyTap> tap;
    Redirect(int input, Pty* output) {
        fflush(stdout);
        dup2(input, STDIN_FILENO);
        if (output != nullptr) {
            tap = std::make_unique<PtyTap>(*output, dir / "terminal.bin");
            dup2(output->slave, STDOUT_FILENO);
            return;
        }
        if (pipe(pipe_fds) != 0) return;
        fcntl(pipe_fds[0], F_SETFL, O_NONBLOCK);
        fcntl(pipe_fds[0], F_SETPIPE_SZ, 1 << 20);
        dup2(pipe_fds[1], STDOUT_FILENO);
    }
    // The terminal's own size and output.
    explicit Redirect(Pty& pty) : Redirect(pty.slave, &pty) {}
    ~Redirect() {
        dup2(saved_in, STDIN_FILENO);
        dup2(saved_out, STDOUT_FILENO);
        close(saved_in);
        close(saved_out);
        if (pipe_fds[0] >= 0) close(pipe_fds[0]);
        if (pipe_fds[1] >= 0) close(pipe_fds[1]);
        terminal_reset();
        display_state.quit_requested = 0;
    }
    // Everything written so far.
    std::string take() {
        if (tap) return tap->take();
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
    EXPECT_EQ(terminal_colour_code(128, 128, 128), 47);  // mid grey: nearer the light grey shown than black
    EXPECT_EQ(terminal_colour_code(40, 40, 40), 40);     // dark grey stays black
    // Dim hues print as black: every background code but black shows a colour at some three quarters.
    EXPECT_EQ(terminal_colour_code(80, 0, 0), 40);
    EXPECT_EQ(terminal_colour_code(0, 0, 70), 40);
    EXPECT_EQ(terminal_colour_code(77, 51, 0), 40);
    EXPECT_EQ(terminal_colour_code(140, 0, 0), 41);  // from about half intensity they keep their hue
    EXPECT_EQ(terminal_colour_code(0, 0, 130), 44);
    EXPECT_EQ(terminal_colour_code(200, 30, 30), 41);  // a reddish pixel is red, not white or yellow
    EXPECT_EQ(terminal_colour_code(30, 200, 190), 46);
}

// A background code shows its colour at about three quarters intensity (bold leaves backgrounds alone),
// so a dark pixel printed as anything but black turns light: dark asphalt became a white road.
TEST(Terminal, DarkPicturesStayDark) {
    for (int v = 0; v < 96; ++v) EXPECT_EQ(terminal_colour_code(v, v, v), 40) << v;
    // Greys never come out as a hue.
    for (int v = 0; v < 256; ++v) {
        const int code = terminal_colour_code(v, v, v);
        EXPECT_TRUE(code == 40 || code == 47) << v << ": " << code;
    }
    // Asphalt, night grass, a dusk sky, tree bark.
    const uint8_t dark[][3] = {{60, 62, 66}, {20, 50, 25}, {30, 35, 70}, {70, 50, 35}, {90, 90, 100}};
    for (const auto& c : dark) EXPECT_EQ(terminal_colour_code(c[0], c[1], c[2]), 40) << int(c[0]);
}

TEST(Terminal, TheCellGridIsBounded) {
    int columns = -1, rows = -1;
    terminal_grid(80, 24, &columns, &rows);
    EXPECT_EQ(columns, 80);
    EXPECT_EQ(rows, 24);
    terminal_grid(65535, 65535, &columns, &rows);
    EXPECT_EQ(columns, TERMINAL_COLUMNS_MAX);
    EXPECT_EQ(rows, TERMINAL_ROWS_MAX);
    terminal_grid(2000, 50, &columns, &rows);
    EXPECT_EQ(columns, TERMINAL_COLUMNS_MAX);
    EXPECT_EQ(rows, 50);
    terminal_grid(1, 24, &columns, &rows);
    EXPECT_EQ(columns, 0);
    terminal_grid(80, 1, &columns, &rows);
    EXPECT_EQ(rows, 0);

    // A bogus size from the terminal: the frame is drawn at the bound instead of asking for gigabytes
    // of cells. Flat, so every half block after the first colour code is 3 bytes.
    Pty pty(65535, 65535);
    setenv("COLORTERM", "truecolor", 1);
    Redirect io(pty);
    const std::vector<uint8_t> flat(64 * 32 * 3, 90);
    terminal_present(flat.data(), 64, 32);
    const std::string frame = io.take();
    unsetenv("COLORTERM");
    const std::string first = "\33[?25l\33[1;1H";
    ASSERT_EQ(frame.compare(0, first.size(), first), 0) << frame.substr(0, 40);
    bool ok = false;
    const std::vector<HalfCell> cells = truecolor_cells(frame.substr(first.size()), &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(cells.size(), static_cast<size_t>(TERMINAL_COLUMNS_MAX) * TERMINAL_ROWS_MAX);
}

TEST(Terminal, SixteenColourFrameFillsTheTerminalAndFollowsItsSize) {
    Pty pty(80, 24);
    ASSERT_GE(pty.slave, 0);
    unsetenv("COLORTERM");
    Redirect io(pty);
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
        Redirect io(pty);
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
    Redirect io(pty);
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
    Redirect io(pty);
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
        Redirect io(null_fd, nullptr);
        const std::vector<uint8_t> image = noise(64, 32, 2);
        terminal_present(image.data(), 64, 32);
        EXPECT_EQ(io.take(), "");
        EXPECT_EQ(display_state.quit_requested.load(), 0);
    }
    close(null_fd);
    // Nor when standard output is not a terminal (`velmorine > file` would fill the disk), even with one
    // on standard input that says how large it is.
    {
        Pty input(80, 24);
        Redirect io(input.slave, nullptr);
        const std::vector<uint8_t> image = noise(64, 32, 2);
        terminal_present(image.data(), 64, 32);
        terminal_present(image.data(), 64, 32);
        EXPECT_EQ(io.take(), "");
        EXPECT_EQ(display_state.quit_requested.load(), 0);
    }
    // A one-row or one-column terminal draws nothing either.
    Pty pty(1, 24);
    Redirect io(pty);
    const std::vector<uint8_t> image = noise(64, 32, 2);
    terminal_present(image.data(), 64, 32);
    EXPECT_EQ(io.take(), "");
}

TEST(Terminal, AClosedTerminalAsksToQuitAndStopsWriting) {
    // Standard input keeps its size; the terminal on standard output hangs up after the first frame.
    Pty input(40, 12), output(40, 12);
    Redirect io(input.slave, &output);
    const std::vector<uint8_t> image = noise(64, 32, 9);
    terminal_present(image.data(), 64, 32);
    EXPECT_NE(io.take(), "");
    io.tap->stop();
    output.close_master();
    // The write fails with EIO.
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
    // A name of its own each time: the last server may still be going away.
    static inline int servers = 0;
    std::string server = "vm_terminal_" + std::to_string(getpid()) + "_" + std::to_string(++servers);
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

// A sink nobody reads: the music player waits in the device's open, still there when a signal comes.
std::string fifo_sink(const TempDir& dir) {
    const std::string fifo = dir / "music.fifo";
    mkfifo(fifo.c_str(), 0600);
    return dir.write("asound.conf", "pcm.!default {\n type file\n slave.pcm { type null }\n file \"" + fifo +
                                        "\"\n format \"raw\"\n}\n");
}

std::string program_command(const std::string& sink) {
    return "env -u DISPLAY -u COLORTERM ALSA_CONFIG_PATH=" + sink + " " + program();
}

// Runs the command in the pane, with every byte the pane receives also copied to `copy` (tmux stops
// showing a pane's state once it is dead) and its exit status (128 + the signal for a signal) written
// to `status`. The pane waits for the copy before it starts the program; the shell around it takes no
// part in Ctrl-C, and a crash leaves no core file.
void start_copied(Tmux& t, const std::string& command, const std::string& copy, const std::string& status) {
    t.tmux("new-session -d -s t -x 60 -y 20 'ulimit -c 0; trap : INT; tmux -L " + t.server +
           " wait-for vm_go; " + command + "; echo $? > " + status + "'");
    t.tmux("pipe-pane -t t 'cat > " + copy + "'");
    t.tmux("wait-for -S vm_go");
}

// The status the pane's shell wrote, or "" when the program has not ended after the tries.
std::string status_written(const std::string& status) {
    std::string text;
    for (int i = 0; i < 100 && text.empty(); ++i) {
        text = vmtest::read_file(status);
        if (text.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return text;
}

std::string pane(Tmux& t, const std::string& format) {
    return t.tmux("display-message -p -t t '" + format + "'");
}

// Polls the pane's format until it reads `want` (a line), at most `tries` times.
bool pane_reaches(Tmux& t, const std::string& format, const std::string& want, int tries = 100) {
    for (int i = 0; i < tries; ++i) {
        if (pane(t, format) == want + "\n") return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

// The copy once it holds `what`, or as it is after the tries.
std::string copy_holding(const std::string& copy, const std::string& what) {
    std::string bytes;
    for (int i = 0; i < 100; ++i) {
        bytes = vmtest::read_file(copy);
        if (bytes.find(what) != std::string::npos) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return bytes;
}

// True when the restore comes after every frame: nothing but plain text (the shell's word on a crash)
// follows it.
bool restored_last(const std::string& bytes, const std::string& restore) {
    const size_t at = bytes.rfind(restore);
    return at != std::string::npos && bytes.find('\33', at + restore.size()) == std::string::npos;
}

// The children of `parent` that run the program: the demo in its pane's shell, or its players.
std::vector<pid_t> program_children(pid_t parent) {
    const std::string exe = std::filesystem::canonical(program());
    std::vector<pid_t> children;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path() / "exe", error) != exe || error) continue;
        const std::string stat = vmtest::read_file(entry.path() / "stat");
        const size_t paren = stat.rfind(')');
        if (paren == std::string::npos || paren + 4 >= stat.size() || stat[paren + 2] == 'Z') continue;
        if (std::atoi(stat.c_str() + paren + 4) == parent)
            children.push_back(static_cast<pid_t>(std::atoi(entry.path().filename().c_str())));
    }
    return children;
}

// The demo the pane's shell runs, 0 when there is none.
pid_t pane_demo(Tmux& t) {
    const std::vector<pid_t> demo = program_children(std::atoi(pane(t, "#{pane_pid}").c_str()));
    return demo.size() == 1 ? demo[0] : 0;
}

size_t occurrences(const std::string& bytes, const std::string& what) {
    size_t n = 0;
    for (size_t at = bytes.find(what); at != std::string::npos; at = bytes.find(what, at + 1)) ++n;
    return n;
}

// As the pane's copy has it: the terminal turns the line feed into a carriage return and a line feed.
const std::string RESTORE = "\33[0m\33[?25h\r\r\n";

TEST(TerminalProgram, CtrlCGivesTheCursorBack) {
    if (system("command -v tmux > /dev/null") != 0) GTEST_SKIP() << "tmux is not installed";
    TempDir dir;
    Tmux t;
    const std::string out = dir / "out.bin", status = dir / "status";
    start_copied(t, program_command(fifo_sink(dir)), out, status);
    std::string capture;
    ASSERT_TRUE(grid_filled(wait_for_grid(t, 60, 20, 30, &capture), 60, 20)) << capture;
    // The frames hide the cursor while they draw.
    EXPECT_EQ(pane(t, "#{cursor_flag}"), "0\n");
    // Ctrl-C reaches the music player too: it must end quietly, not restore the terminal a second time.
    const pid_t demo = pane_demo(t);
    ASSERT_GT(demo, 0);
    for (int i = 0; i < 300 && program_children(demo).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_FALSE(program_children(demo).empty()) << "no music player";
    t.tmux("send-keys -t t C-c");
    // The quit path, as Escape takes it under X.
    EXPECT_EQ(status_written(status), "0\n");
    const std::string bytes = copy_holding(out, RESTORE);
    // Standard error shares the pane: the missing display's line, then the first frame.
    const std::string first = "X11 kapcsolathiba.\r\n\33[?25l\33[1;1H";
    EXPECT_EQ(bytes.compare(0, first.size(), first), 0) << bytes.substr(0, first.size());
    EXPECT_TRUE(restored_last(bytes, RESTORE));
    EXPECT_EQ(occurrences(bytes, "\33[?25h"), 1u);
}

TEST(TerminalProgram, CtrlZGivesTheShellItsTerminalAndFgHidesTheCursorAgain) {
    if (system("command -v tmux > /dev/null") != 0) GTEST_SKIP() << "tmux is not installed";
    TempDir dir;
    Tmux t;
    // A shell with job control, as a user runs the demo.
    t.tmux("new-session -d -s t -x 60 -y 20 'env PS1=prompt: bash --norc --noprofile'");
    t.tmux("send-keys -t t '" + program_command(file_sink(dir)) + "' Enter");
    std::string capture;
    ASSERT_TRUE(grid_filled(wait_for_grid(t, 60, 20, 30, &capture), 60, 20)) << capture;
    EXPECT_EQ(pane(t, "#{cursor_flag}"), "0\n");

    t.tmux("send-keys -t t C-z");
    EXPECT_TRUE(pane_reaches(t, "#{cursor_flag}", "1")) << "the shell's cursor stays hidden";
    // The shell's lines after the stop are in its own colours, not on the last cell's background.
    std::string text;
    for (int i = 0; i < 100 && text.find("prompt:") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        text = t.tmux("capture-pane -t t -p -N");
    }
    const std::vector<std::vector<int>> grid = parse_capture(t.tmux("capture-pane -t t -e -p -N"));
    std::vector<std::string> lines(1);
    for (char c : text) {
        if (c == '\n')
            lines.emplace_back();
        else
            lines.back().push_back(c);
    }
    size_t shell_lines = 0;
    for (size_t row = 0; row < lines.size() && row < grid.size(); ++row) {
        if (lines[row].find("Stopped") == std::string::npos &&
            lines[row].find("prompt:") == std::string::npos)
            continue;
        ++shell_lines;
        size_t coloured = 0;
        for (int cell : grid[row]) coloured += cell != -1;
        EXPECT_EQ(coloured, 0u) << lines[row];
    }
    EXPECT_EQ(shell_lines, 2u) << text;

    // Back in the foreground it draws again with the cursor hidden, and Ctrl-C still ends it.
    t.tmux("send-keys -t t fg Enter");
    EXPECT_TRUE(pane_reaches(t, "#{cursor_flag}", "0"));
    EXPECT_TRUE(grid_filled(wait_for_grid(t, 60, 20, 30, &capture), 60, 20)) << capture;
    t.tmux("send-keys -t t C-c");
    EXPECT_TRUE(pane_reaches(t, "#{cursor_flag}", "1"));
}

TEST(TerminalProgram, ACrashGivesTheCursorBack) {
    if (system("command -v tmux > /dev/null") != 0) GTEST_SKIP() << "tmux is not installed";
    for (int crash : {SIGSEGV, SIGABRT}) {
        TempDir dir;
        Tmux t;
        const std::string out = dir / "out.bin", status = dir / "status";
        // A sanitizer build catches SIGSEGV itself, and the renderer leaves a handled signal alone.
        start_copied(t, "env ASAN_OPTIONS=handle_segv=0 " + program_command(file_sink(dir)), out, status);
        std::string capture;
        ASSERT_TRUE(grid_filled(wait_for_grid(t, 60, 20, 30, &capture), 60, 20)) << capture;
        const pid_t demo = pane_demo(t);
        ASSERT_GT(demo, 0);
        ASSERT_EQ(kill(demo, crash), 0);
        // It still dies of the signal.
        EXPECT_EQ(status_written(status), std::to_string(128 + crash) + "\n");
        EXPECT_TRUE(restored_last(copy_holding(out, RESTORE), RESTORE)) << crash;
    }
}

// Starts the program with the given standard input and output, stderr into `err_path`.
pid_t start_program(int input, int output, const std::string& sink, const std::string& err_path) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(input, STDIN_FILENO);
        dup2(output, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        unsetenv("DISPLAY");
        unsetenv("COLORTERM");
        setenv("ALSA_CONFIG_PATH", sink.c_str(), 1);
        // The test's own descriptors stay behind: the terminal's other side among them.
        close_range(3, ~0U, 0);
        const std::string exe = program();
        execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// The program's exit status, or -1 (and the program killed) when it runs on for 30 s.
int wait_program(pid_t pid) {
    int status = -1;
    pid_t done = 0;
    for (int i = 0; i < 300 && done == 0; ++i) {
        done = waitpid(pid, &status, WNOHANG);
        if (done == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (done == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(TerminalProgram, WithAFileForOutputNothingIsDrawnAndSigtermEndsIt) {
    TempDir dir;
    const std::string sink = file_sink(dir);
    const std::string out_path = dir / "out.bin", err_path = dir / "stderr.txt";
    // A terminal on standard input says how large it is; standard output is a file.
    Pty input(40, 12);
    ASSERT_GE(input.slave, 0);
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(out, 0);
    const pid_t pid = start_program(input.slave, out, sink, err_path);
    close(out);
    ASSERT_GT(pid, 0);
    // The music starts once the loading, with its frames, is over.
    for (int i = 0; i < 600 && vmtest::read_file(dir / "music.raw").empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(vmtest::read_file(dir / "music.raw").empty());
    ASSERT_EQ(kill(pid, SIGTERM), 0);
    EXPECT_EQ(wait_program(pid), 0);
    EXPECT_EQ(vmtest::read_file(out_path).size(), 0u);
    EXPECT_EQ(vmtest::read_file(err_path), "X11 kapcsolathiba.\n");
}

TEST(TerminalProgram, AClosedTerminalEndsTheDemoQuietly) {
    TempDir dir;
    const std::string sink = file_sink(dir);
    const std::string err_path = dir / "stderr.txt";
    // The terminal on standard output hangs up; the one on standard input stays.
    Pty input(40, 12), output(40, 12);
    ASSERT_GE(input.slave, 0);
    ASSERT_GE(output.slave, 0);
    const pid_t pid = start_program(input.slave, output.slave, sink, err_path);
    ASSERT_GT(pid, 0);
    // Wait for frames (after loading starts), then hang up.
    std::string seen;
    char chunk[65536];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (seen.find("\33[1;1H") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        const ssize_t n = read(output.master, chunk, sizeof chunk);
        if (n <= 0) break;
        seen.append(chunk, static_cast<size_t>(n));
    }
    EXPECT_NE(seen.find("\33[1;1H"), std::string::npos);
    output.close_master();
    EXPECT_EQ(wait_program(pid), 0) << "the demo kept running or died after its terminal closed";
    // Only the missing X display is mentioned, nothing about the terminal.
    EXPECT_EQ(vmtest::read_file(err_path), "X11 kapcsolathiba.\n");
}

}  // namespace
