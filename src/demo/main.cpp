// The program's entry: no arguments, no configuration (one diagnostic: VELMORINE_FRAME_REPORT, see
// demo/frame_report.h). It ends only through exit: here when its media are missing, or from a frame's
// hot keys (Escape, the window's close button) or a quit signal (SIGTERM, SIGINT).
#include <cstdlib>

#include "core/log.h"
#include "demo/frame_report.h"
#include "demo/startup.h"
#include "shell/frame_end.h"
#include "shell/probe.h"

int main() {
    // First: it changes into the executable's folder, where the data folder is.
    system_probe();
    // Before anything is started that a quit must stop: the music's players, the hidden cursor.
    frame_end_catch_signals();
    if (!startup_load()) {
        // Not status 0: a program that cannot run must not report success.
        log_message(LogStream::out, "media files missing\n");
        std::exit(1);
    }
    frame_report_start();
    startup_play();
}
