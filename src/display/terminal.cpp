// Presentation on the terminal when there is no X display: downscale, nearest colours, one write.
// Called by whichever thread presents; the present thread is joined before the next present, so one
// thread at a time touches terminal_state. The downscale's helper threads write disjoint target rows.
#include "display/terminal.h"

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/cpu.h"
#include "core/threads.h"
#include "display/window.h"

namespace {

struct TerminalState {
    uint8_t* term_cells = nullptr;  // columns x rows cells (x 2 pixel rows in 24-bit mode), R, G, B
    int64_t term_cell_count = 0;    // pixel count the cell array was made for
    std::vector<char> out;          // the frame's bytes, written in one go
    int gone = 0;                   // 1 once standard output refused our frames for good
    int output_checked = 0;         // 1 once the first frame looked at what standard output is
    int output_terminal = 0;        // 1 when standard output was a terminal then; else nothing is drawn
    int cursor_hidden = 0;          // 1 once a frame hid the cursor; shown again at exit
    int exit_hook = 0;              // the exit handler is registered (once per process)
    int64_t last_frame_ns = 0;      // monotonic time of the last frame, 0 before the first
};

TerminalState terminal_state;

// Sixteen references: black, the eight background colours as terminals show them (about three quarters
// intensity: 205 of 255 in xterm, 170 on the console, and bold does not brighten a background), then
// near-black and the bright hues at 1. Ties go to the earlier entry. A pixel darker than about a third
// lies nearer black than any colour a background code can show, so dark pictures stay dark; references
// at the dim hues' own values would print dark grey as a light background.
struct ReferenceColour {
    float r, g, b;
    int code;
};
constexpr float SHOWN = 0.75f;  // the intensity a background code shows its colour at
constexpr ReferenceColour REFERENCES[16] = {
    {0.0f, 0.0f, 0.0f, 40},  {SHOWN, 0.0f, 0.0f, 41},  {0.0f, SHOWN, 0.0f, 42},  {SHOWN, SHOWN, 0.0f, 43},
    {0.0f, 0.0f, SHOWN, 44}, {SHOWN, 0.0f, SHOWN, 45}, {0.0f, SHOWN, SHOWN, 46}, {SHOWN, SHOWN, SHOWN, 47},
    {0.1f, 0.1f, 0.1f, 40},  {1.0f, 0.0f, 0.0f, 41},   {0.0f, 1.0f, 0.0f, 42},   {1.0f, 0.5f, 0.0f, 43},
    {0.0f, 0.0f, 1.0f, 44},  {1.0f, 0.0f, 1.0f, 45},   {0.0f, 1.0f, 1.0f, 46},   {1.0f, 1.0f, 1.0f, 47},
};

// Source sizes that decide how many parts the downscale runs as.
constexpr int64_t DOWNSCALE_THREADED_MIN = 0x4000;  // below this the setup costs more than the work
constexpr int64_t DOWNSCALE_TWO_MAX = 0x23FFF;      // at or below: two parts
constexpr int64_t DOWNSCALE_FOUR_BELOW = 0x40000;   // below: at most four parts
constexpr int DOWNSCALE_PARTS_MAX = 8;

struct DownscaleJob {
    const uint8_t* source;
    int source_width, source_height;
    int target_width, target_height;
    uint8_t* target;
    int bytes_per_pixel;
    int thread_index, thread_count;  // this part converts the rows whose index % thread_count is thread_index
};

void downscale_rows(void* arg) {
    const DownscaleJob& job = *static_cast<const DownscaleJob*>(arg);
    const int bpp = job.bytes_per_pixel;
    const long double row_step = static_cast<long double>(job.source_height) / job.target_height;
    const long double col_step = static_cast<long double>(job.source_width) / job.target_width;
    const int64_t source_bytes = static_cast<int64_t>(job.source_width) * job.source_height * bpp;
    for (int i = job.thread_index; i < job.target_height; i += job.thread_count) {
        const int64_t row = static_cast<int64_t>(row_step * i);
        uint8_t* out = job.target + static_cast<int64_t>(i) * job.target_width * bpp;
        for (int j = 0; j < job.target_width; ++j, out += bpp) {
            const int64_t col = static_cast<int64_t>(col_step * j);
            const int64_t offset = (row * job.source_width + col) * bpp;
            if (offset < 0 || offset + bpp > source_bytes) continue;
            std::memcpy(out, job.source + offset, static_cast<size_t>(bpp));
        }
    }
}

int downscale_parts(int64_t source_pixels) {
    const int cpus = cpu_count();
    if (cpus <= 1 || source_pixels < DOWNSCALE_THREADED_MIN) return 1;
    int parts = cpus < DOWNSCALE_PARTS_MAX ? cpus : DOWNSCALE_PARTS_MAX;
    if (source_pixels <= DOWNSCALE_TWO_MAX) return parts < 2 ? parts : 2;
    if (source_pixels < DOWNSCALE_FOUR_BELOW && parts > 4) parts = 4;
    return parts;
}

int64_t monotonic_ns() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Holds the terminal at TERMINAL_FPS_MAX: a frame that comes early waits for its turn. This also paces
// a display-less run that has no terminal at all, which would otherwise render frames nobody sees.
void pace_frame() {
    TerminalState& ts = terminal_state;
    constexpr int64_t PERIOD_NS = 1000000000 / TERMINAL_FPS_MAX;
    int64_t now = monotonic_ns();
    if (ts.last_frame_ns != 0 && now - ts.last_frame_ns < PERIOD_NS) {
        const int64_t wait = PERIOD_NS - (now - ts.last_frame_ns);
        timespec pause{static_cast<time_t>(wait / 1000000000), static_cast<long>(wait % 1000000000)};
        while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
        }
        now = monotonic_ns();
    }
    ts.last_frame_ns = now;
}

void out_text(std::vector<char>& out, const char* text) {
    out.insert(out.end(), text, text + std::strlen(text));
}

void out_number(std::vector<char>& out, int value) {
    if (value >= 100) out.push_back(static_cast<char>('0' + value / 100));
    if (value >= 10) out.push_back(static_cast<char>('0' + value / 10 % 10));
    out.push_back(static_cast<char>('0' + value % 10));
}

void out_rgb(std::vector<char>& out, const uint8_t* rgb) {
    for (int c = 0; c < 3; ++c) {
        out.push_back(';');
        out_number(out, rgb[c]);
    }
}

// Every cell: bold, the background code of its nearest reference, a space. Rows fill the terminal's
// width exactly, so no line feeds.
void build_ansi_frame(std::vector<char>& out, const uint8_t* cells, int64_t count) {
    for (int64_t k = 0; k < count; ++k, cells += 3) {
        out_text(out, "\33[1m\33[");
        out_number(out, terminal_colour_code(cells[0], cells[1], cells[2]));
        out_text(out, "m ");
    }
}

// Two pixels per cell: the upper half block in the upper pixel's colour on the lower pixel's colour.
// Colours are sent only when they differ from the previous cell's.
void build_truecolor_frame(std::vector<char>& out, const uint8_t* pixels, int columns, int rows) {
    const uint8_t* previous_upper = nullptr;
    const uint8_t* previous_lower = nullptr;
    const int64_t stride = static_cast<int64_t>(columns) * 3;
    for (int i = 0; i < rows; ++i) {
        const uint8_t* upper = pixels + 2 * i * stride;
        const uint8_t* lower = upper + stride;
        for (int j = 0; j < columns; ++j, upper += 3, lower += 3) {
            const bool new_upper = previous_upper == nullptr || std::memcmp(upper, previous_upper, 3) != 0;
            const bool new_lower = previous_lower == nullptr || std::memcmp(lower, previous_lower, 3) != 0;
            if (new_upper || new_lower) {
                out_text(out, "\33[");
                if (new_upper) {
                    out_text(out, "38;2");
                    out_rgb(out, upper);
                }
                if (new_upper && new_lower) out.push_back(';');
                if (new_lower) {
                    out_text(out, "48;2");
                    out_rgb(out, lower);
                }
                out.push_back('m');
            }
            out_text(out, "\xE2\x96\x80");  // U+2580 upper half block
            previous_upper = upper;
            previous_lower = lower;
        }
    }
}

// Plain attributes and the cursor shown, on a line of its own.
constexpr char RESTORE_SEQUENCE[] = "\33[0m\33[?25h\r\n";
constexpr char HIDE_SEQUENCE[] = "\33[?25l";

// Only write(): also called from signal handlers.
void write_sequence(const char* bytes, size_t length) {
    if (terminal_state.gone) return;
    const ssize_t written = write(STDOUT_FILENO, bytes, length);
    (void)written;  // nothing more to do if the terminal refuses it
}

void restore_terminal() {
    if (!terminal_state.cursor_hidden) return;
    write_sequence(RESTORE_SEQUENCE, sizeof RESTORE_SEQUENCE - 1);
}

// A signal that ends or stops the process (Ctrl-C or SIGTERM when nobody else handles them, SIGQUIT,
// Ctrl-Z, a crash) gives the shell its terminal back as it was, then takes its default course: raised
// again, it is delivered once the handler returns.
void restore_on_signal(int signal_number) {
    write_sequence(RESTORE_SEQUENCE, sizeof RESTORE_SEQUENCE - 1);
    ::signal(signal_number, SIG_DFL);
    raise(signal_number);
}

void hook_signal(int signal_number, void (*handler_fn)(int)) {
    struct sigaction handler {};
    handler.sa_handler = handler_fn;
    sigemptyset(&handler.sa_mask);
    handler.sa_flags = SA_RESTART;
    sigaction(signal_number, &handler, nullptr);
}

// Back in the foreground after Ctrl-Z: the next frame sets the colours again, only the cursor needs
// hiding, and the next Ctrl-Z the same care.
void hide_on_continue(int) {
    write_sequence(HIDE_SEQUENCE, sizeof HIDE_SEQUENCE - 1);
    hook_signal(SIGTSTP, restore_on_signal);
}

bool signal_is_default(int signal_number) {
    struct sigaction current;
    return sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler == SIG_DFL;
}

// Installed once, for the signals that end or stop a program from its terminal and for crashes, unless
// someone else handles or ignores them already.
void hook_exit() {
    // A closed terminal must end the demo through write errors, not kill it with a signal.
    ::signal(SIGPIPE, SIG_IGN);
    std::atexit(restore_terminal);
    for (int signal_number : {SIGINT, SIGTERM, SIGQUIT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
        if (signal_is_default(signal_number)) hook_signal(signal_number, restore_on_signal);
    if (signal_is_default(SIGTSTP) && signal_is_default(SIGCONT)) {
        hook_signal(SIGTSTP, restore_on_signal);
        hook_signal(SIGCONT, hide_on_continue);
    }
}

// A terminal that hung up is final: the demo ends quietly through quit_requested, never by a signal.
void terminal_gone() {
    terminal_state.gone = 1;
    display_state.quit_requested = 1;
}

// Writes the whole buffer. A terminal that is merely busy gets a short wait and then loses the rest of
// the frame; EPIPE, EIO, any other error or a write that keeps returning 0 mean it is gone.
void write_frame(const std::vector<char>& out) {
    constexpr int ZERO_WRITES_MAX = 3;
    constexpr int BUSY_WAIT_MS = 100;
    size_t done = 0;
    int zero_writes = 0;
    while (done < out.size()) {
        const ssize_t n = write(STDOUT_FILENO, out.data() + done, out.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            zero_writes = 0;
        } else if (n == 0) {
            if (++zero_writes >= ZERO_WRITES_MAX) return terminal_gone();
        } else if (errno == EINTR) {
            continue;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            pollfd ready{STDOUT_FILENO, POLLOUT, 0};
            if (poll(&ready, 1, BUSY_WAIT_MS) <= 0) return;
            if (ready.revents & (POLLERR | POLLHUP)) return terminal_gone();
        } else {
            return terminal_gone();
        }
    }
}

}  // namespace

int terminal_colour_code(uint8_t r, uint8_t g, uint8_t b) {
    const float fr = r / 255.0f, fg = g / 255.0f, fb = b / 255.0f;
    int best = 0;
    float best_distance = 0;
    for (int k = 0; k < 16; ++k) {
        const ReferenceColour& c = REFERENCES[k];
        const float d = std::abs(fr - c.r) + std::abs(fg - c.g) + std::abs(fb - c.b);
        if (k == 0 || d < best_distance) {
            best = k;
            best_distance = d;
        }
    }
    return REFERENCES[best].code;
}

int terminal_truecolor() {
    const char* colorterm = std::getenv("COLORTERM");
    if (colorterm == nullptr) return 0;
    return std::strcmp(colorterm, "truecolor") == 0 || std::strcmp(colorterm, "24bit") == 0;
}

void image_downscale(const uint8_t* source, int source_width, int source_height, int target_width,
                     int target_height, uint8_t* target, int bytes_per_pixel) {
    if (source == nullptr || target == nullptr || source_width <= 0 || source_height <= 0 ||
        target_width <= 0 || target_height <= 0 || (bytes_per_pixel != 3 && bytes_per_pixel != 4))
        return;
    const int parts = downscale_parts(static_cast<int64_t>(source_width) * source_height);
    DownscaleJob jobs[DOWNSCALE_PARTS_MAX];
    EngineThread threads[DOWNSCALE_PARTS_MAX];
    for (int k = 0; k < parts; ++k)
        jobs[k] = DownscaleJob{source,        source_width, source_height,   target_width,
                               target_height, target,       bytes_per_pixel, k,
                               parts};
    for (int k = 1; k < parts; ++k) thread_start(threads[k], downscale_rows, &jobs[k], SHORT_STACK_BYTES);
    downscale_rows(&jobs[0]);
    for (int k = 1; k < parts; ++k) thread_join(threads[k]);
}

void terminal_grid(int reported_columns, int reported_rows, int* columns, int* rows) {
    *columns = 0;
    *rows = 0;
    if (reported_columns <= 1 || reported_rows <= 1) return;
    *columns = reported_columns < TERMINAL_COLUMNS_MAX ? reported_columns : TERMINAL_COLUMNS_MAX;
    *rows = reported_rows < TERMINAL_ROWS_MAX ? reported_rows : TERMINAL_ROWS_MAX;
}

void terminal_present(const uint8_t* pixels, int width, int height) {
    TerminalState& ts = terminal_state;
    pace_frame();
    if (ts.gone || pixels == nullptr || width <= 0 || height <= 0) return;
    // Decided once: a terminal that hangs up later no longer passes the test, and its failing writes
    // must still end the demo.
    if (!ts.output_checked) {
        ts.output_checked = 1;
        ts.output_terminal = isatty(STDOUT_FILENO);
    }
    if (!ts.output_terminal) return;
    winsize size;
    if (ioctl(STDIN_FILENO, TIOCGWINSZ, &size) != 0) return;
    int columns = 0, rows = 0;
    terminal_grid(size.ws_col, size.ws_row, &columns, &rows);
    if (columns == 0) return;
    const int truecolor = terminal_truecolor();
    const int pixel_rows = truecolor ? rows * 2 : rows;
    const int64_t count = static_cast<int64_t>(columns) * pixel_rows;
    if (count != ts.term_cell_count) {
        std::free(ts.term_cells);
        ts.term_cells = nullptr;
        ts.term_cell_count = 0;
        // At most 6 MB within the bounds; without it this frame is skipped and the next one tries again.
        ts.term_cells = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(count) * 3));
        if (ts.term_cells == nullptr) return;
        std::memset(ts.term_cells, 0, static_cast<size_t>(count) * 3);
        ts.term_cell_count = count;
    }
    image_downscale(pixels, width, height, columns, pixel_rows, ts.term_cells);

    if (!ts.exit_hook) {
        hook_exit();
        ts.exit_hook = 1;
    }
    std::vector<char>& out = ts.out;
    out.clear();
    if (!ts.cursor_hidden) out_text(out, "\33[?25l");
    ts.cursor_hidden = 1;
    out_text(out, "\33[1;1H");
    if (truecolor)
        build_truecolor_frame(out, ts.term_cells, columns, rows);
    else
        build_ansi_frame(out, ts.term_cells, count);
    write_frame(out);
}

void terminal_reset() {
    TerminalState& ts = terminal_state;
    std::free(ts.term_cells);
    ts.term_cells = nullptr;
    ts.term_cell_count = 0;
    ts.gone = 0;
    ts.output_checked = 0;
    ts.output_terminal = 0;
    ts.cursor_hidden = 0;
    ts.last_frame_ns = 0;
}
