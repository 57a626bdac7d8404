#include "support/x_client.h"

#include <X11/Xutil.h>

#include <chrono>
#include <string>
#include <thread>

namespace vmtest {

void send_close_request(Display* dpy, Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, window, False, NoEventMask, &event);
    XSync(dpy, False);
}

namespace {

bool is_mapped_window_named(Display* dpy, Window w, const char* name) {
    char* title = nullptr;
    XWindowAttributes attr;
    bool match = XFetchName(dpy, w, &title) && title != nullptr && std::string(title) == name &&
                 XGetWindowAttributes(dpy, w, &attr) && attr.map_state == IsViewable;
    if (title != nullptr) XFree(title);
    return match;
}

}  // namespace

Window wait_for_window(Display* dpy, const char* name, double seconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        Window root, parent, *children = nullptr;
        unsigned count = 0;
        Window found = 0;
        if (XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &children, &count)) {
            for (unsigned i = 0; i < count && found == 0; ++i)
                if (is_mapped_window_named(dpy, children[i], name)) found = children[i];
            if (children != nullptr) XFree(children);
        }
        if (found != 0) return found;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return 0;
}

}  // namespace vmtest
