#include "tests/e2e/x_session.h"

#include "tests/start_pose_probes.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace e2e {

namespace {

using Clock = std::chrono::steady_clock;

void Pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

Clock::time_point Deadline(int ms) {
    return Clock::now() + std::chrono::milliseconds(ms);
}

// Waits for a child by PID up to the deadline; its status if it ended.
std::optional<int> Reap(pid_t pid, Clock::time_point deadline) {
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (r < 0 || Clock::now() >= deadline) return std::nullopt;
        Pause(10);
    }
}

// Ends a child we started: politely, then not.
void Stop(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    if (Reap(pid, Deadline(3000))) return;
    kill(pid, SIGKILL);
    Reap(pid, Deadline(3000));
}

// X errors (a window gone between two calls) are expected here.
int IgnoreXError(Display *, XErrorEvent *) {
    return 0;
}

Atom Intern(Display *x, const char *name) {
    return XInternAtom(x, name, False);
}

// A window property as a vector of 32-bit items (Xlib gives them as longs).
std::vector<long> Longs(Display *x, Window w, const char *name) {
    Atom type;
    int format;
    unsigned long count = 0, after;
    unsigned char *data = nullptr;
    std::vector<long> out;
    if (XGetWindowProperty(x, w, Intern(x, name), 0, 64, False, AnyPropertyType, &type, &format,
                           &count, &after, &data) == Success &&
        data && format == 32) {
        const long *items = reinterpret_cast<const long *>(data);
        out.assign(items, items + count);
    }
    if (data) XFree(data);
    return out;
}

KeyCode Code(Display *x, const char *key) {
    return XKeysymToKeycode(x, XStringToKeysym(key));
}

} // namespace

// XServer -----------------------------------------------------------------------

XServer::XServer(const std::string &screen) {
    XSetErrorHandler(IgnoreXError);
    int ready[2];
    if (pipe(ready) != 0) {
        error_ = "no pipe";
        return;
    }
    pid_ = fork();
    if (pid_ == 0) {
        close(ready[0]);
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, 1);
        dup2(quiet, 2);
        const std::string fd = std::to_string(ready[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
               "-nolisten", "tcp", "-noreset", (char *)nullptr);
        _exit(127);
    }
    close(ready[1]);
    // The server writes its display number once it accepts clients, and
    // the pipe closes without one if it dies.
    std::string number;
    const auto deadline = Deadline(kTimeoutMs);
    while (Clock::now() < deadline) {
        pollfd p{ready[0], POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char c;
        if (read(ready[0], &c, 1) != 1 || c == '\n') break;
        number += c;
    }
    close(ready[0]);
    if (number.empty()) {
        error_ = "Xvfb did not start";
        return;
    }
    name_ = ":" + number;
    display_ = XOpenDisplay(name_.c_str());
    if (!display_) {
        error_ = "Xvfb on " + name_ + " does not answer";
        return;
    }
    // What a window manager brings: the atoms programs look for before
    // they ask for decorations, and an ear for their requests to it.
    Intern(display_, "_MOTIF_WM_HINTS");
    Intern(display_, "_NET_WM_STATE_FULLSCREEN");
    XSelectInput(display_, DefaultRootWindow(display_), SubstructureNotifyMask);
    XAutoRepeatOff(display_);
    XSync(display_, False);
}

XServer::~XServer() {
    if (display_) XCloseDisplay(display_);
    Stop(pid_);
}

// Program -------------------------------------------------------------------------

Program::Program(const std::string &path, const std::string &display) {
    char errPath[] = "/tmp/orvanel-e2e-stderr-XXXXXX";
    const int err = mkstemp(errPath);
    stderrPath_ = errPath;
    pid_ = fork();
    if (pid_ == 0) {
        const int quiet = open("/dev/null", O_RDWR);
        dup2(quiet, 0);
        dup2(quiet, 1);
        dup2(err, 2);
        if (display.empty()) {
            unsetenv("DISPLAY");
        } else {
            setenv("DISPLAY", display.c_str(), 1);
        }
        unsetenv("WAYLAND_DISPLAY");
        execl(path.c_str(), path.c_str(), (char *)nullptr);
        _exit(127);
    }
    close(err);
}

Program::~Program() {
    if (!status_) Stop(pid_);
    unlink(stderrPath_.c_str());
}

std::optional<int> Program::Wait(int timeoutMs) {
    if (!status_) status_ = Reap(pid_, Deadline(timeoutMs));
    return status_;
}

bool Program::Running() {
    return !Wait(0);
}

std::string Program::Stderr() const {
    std::ifstream in(stderrPath_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Desk ------------------------------------------------------------------------------

std::string Desk::Title(Window w) {
    // SDL sets the UTF-8 title; older tools read WM_NAME.
    for (const char *name : {"_NET_WM_NAME", "WM_NAME"}) {
        Atom type;
        int format;
        unsigned long count = 0, after;
        unsigned char *data = nullptr;
        if (XGetWindowProperty(x_, w, Intern(x_, name), 0, 256, False, AnyPropertyType, &type,
                               &format, &count, &after, &data) == Success &&
            data && format == 8) {
            std::string title(reinterpret_cast<char *>(data), count);
            XFree(data);
            return title;
        }
        if (data) XFree(data);
    }
    return "";
}

Window Desk::WaitForWindow(const std::string &title, Window except, int timeoutMs) {
    const auto deadline = Deadline(timeoutMs);
    do {
        Window root, parent, *children = nullptr;
        unsigned int count = 0;
        Window found = 0;
        if (XQueryTree(x_, DefaultRootWindow(x_), &root, &parent, &children, &count)) {
            for (unsigned int i = 0; i < count && !found; ++i) {
                XWindowAttributes a{};
                if (children[i] != except && XGetWindowAttributes(x_, children[i], &a) &&
                    a.map_state == IsViewable && Title(children[i]) == title)
                    found = children[i];
            }
            if (children) XFree(children);
        }
        if (found) return found;
        Pause(20);
    } while (Clock::now() < deadline);
    return 0;
}

bool Desk::WaitUntilGone(Window w, int timeoutMs) {
    const auto deadline = Deadline(timeoutMs);
    do {
        XWindowAttributes a{};
        if (!XGetWindowAttributes(x_, w, &a) || a.map_state != IsViewable) return true;
        Pause(20);
    } while (Clock::now() < deadline);
    return false;
}

XWindowAttributes Desk::Attributes(Window w) {
    XWindowAttributes a{};
    XGetWindowAttributes(x_, w, &a);
    return a;
}

bool Desk::AsksForFullscreen(Window w) {
    // A mapped window asks the window manager with a message to the root
    // window; one not yet mapped says so in its _NET_WM_STATE.
    const Atom full = Intern(x_, "_NET_WM_STATE_FULLSCREEN");
    const Atom state = Intern(x_, "_NET_WM_STATE");
    XSync(x_, False);
    while (XPending(x_)) {
        XEvent e;
        XNextEvent(x_, &e);
        if (e.type != ClientMessage || e.xclient.message_type != state) continue;
        const long action = e.xclient.data.l[0]; // 0 remove, 1 add, 2 toggle
        if ((Atom)e.xclient.data.l[1] != full && (Atom)e.xclient.data.l[2] != full) continue;
        bool &asked = fullscreenAsked_[e.xclient.window];
        asked = action == 1 || (action == 2 && !asked);
    }
    const auto asked = fullscreenAsked_.find(w);
    if (asked != fullscreenAsked_.end()) return asked->second;
    for (long item : Longs(x_, w, "_NET_WM_STATE"))
        if ((Atom)item == full) return true;
    return false;
}

bool Desk::AsksForNoDecorations(Window w) {
    // Motif hints: flags, functions, decorations, ...; flag 2 says the
    // decorations field counts.
    const std::vector<long> hints = Longs(x_, w, "_MOTIF_WM_HINTS");
    return hints.size() >= 3 && (hints[0] & 2) && hints[2] == 0;
}

void Desk::Focus(Window w) {
    XSetInputFocus(x_, w, RevertToPointerRoot, CurrentTime);
    XSync(x_, False);
}

Window Desk::FocusedWindow() {
    Window w = 0;
    int revert;
    XGetInputFocus(x_, &w, &revert);
    return w;
}

void Desk::KeyDown(const char *key) {
    XTestFakeKeyEvent(x_, Code(x_, key), True, CurrentTime);
    XSync(x_, False);
}

void Desk::KeyUp(const char *key) {
    XTestFakeKeyEvent(x_, Code(x_, key), False, CurrentTime);
    XSync(x_, False);
}

void Desk::Press(const char *key, const char *modifier, int holdMs) {
    if (modifier) KeyDown(modifier);
    KeyDown(key);
    Pause(holdMs);
    KeyUp(key);
    if (modifier) KeyUp(modifier);
}

bool Desk::HoldUntil(const char *key, const std::function<bool()> &done, int timeoutMs) {
    KeyDown(key);
    Pause(100);
    const auto deadline = Deadline(timeoutMs);
    bool ok;
    while (!(ok = done()) && Clock::now() < deadline)
        Pause(20);
    KeyUp(key);
    return ok;
}

void Desk::AutoRepeat(bool on) {
    on ? XAutoRepeatOn(x_) : XAutoRepeatOff(x_);
    XSync(x_, False);
}

void Desk::Close(Window w) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = Intern(x_, "WM_PROTOCOLS");
    e.xclient.format = 32;
    e.xclient.data.l[0] = (long)Intern(x_, "WM_DELETE_WINDOW");
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(x_, w, False, NoEventMask, &e);
    XSync(x_, False);
}

void Desk::Minimise(Window w) {
    XUnmapWindow(x_, w);
    XSync(x_, False);
}

void Desk::Restore(Window w) {
    XMapRaised(x_, w);
    XSync(x_, False);
    const auto deadline = Deadline(kTimeoutMs);
    while (Attributes(w).map_state != IsViewable && Clock::now() < deadline)
        Pause(10);
    Focus(w);
}

void Desk::Resize(Window w, int width, int height) {
    XResizeWindow(x_, w, width, height);
    XSync(x_, False);
}

Image Desk::Grab(Window w) {
    Image image;
    const XWindowAttributes a = Attributes(w);
    XImage *x =
        a.width > 0 ? XGetImage(x_, w, 0, 0, a.width, a.height, AllPlanes, ZPixmap) : nullptr;
    if (!x) return image;
    image.width = a.width;
    image.height = a.height;
    image.rgb.resize(size_t(a.width) * a.height * 3);
    // Scale each channel by its mask, so 16-bit screens read as 8 bits.
    const unsigned long masks[3] = {x->red_mask, x->green_mask, x->blue_mask};
    for (int y = 0; y < a.height; ++y)
        for (int i = 0; i < a.width; ++i) {
            const unsigned long pixel = XGetPixel(x, i, y);
            for (int c = 0; c < 3; ++c) {
                const unsigned long m = masks[c];
                const int shift = __builtin_ctzl(m);
                const unsigned long top = m >> shift;
                image.rgb[(size_t(y) * a.width + i) * 3 + c] =
                    (std::uint8_t)(((pixel & m) >> shift) * 255 / top);
            }
        }
    XDestroyImage(x);
    return image;
}

Image Desk::WaitForImage(Window w, const std::function<bool(const Image &)> &good, int timeoutMs,
                         bool *met) {
    const auto deadline = Deadline(timeoutMs);
    Image image;
    bool ok = false;
    do {
        image = Grab(w);
        if ((ok = good(image))) break;
        Pause(30);
    } while (Clock::now() < deadline);
    if (met) *met = ok;
    return image;
}

bool ShowsStartPose(const Image &image, std::string *why) {
    if (image.width <= 0) {
        if (why) *why = "no picture";
        return false;
    }
    for (const StartPoseProbe &p : kStartPoseProbes) {
        const auto xy = ProbePixel(p.eye, image.width, image.height);
        const int x = (int)xy[0], y = image.height - 1 - (int)xy[1];
        if (x < 0 || x >= image.width || y < 0 || y >= image.height) {
            if (why) *why = std::string(p.what) + " is outside the picture";
            return false;
        }
        const std::uint8_t *got = image.At(x, y);
        for (int c = 0; c < 3; ++c) {
            if (std::abs(int(got[c]) - int(p.rgb[c])) <= 12) continue;
            if (why) {
                std::ostringstream s;
                s << p.what << " at (" << x << ", " << y << ") shows " << int(got[0]) << ","
                  << int(got[1]) << "," << int(got[2]);
                *why = s.str();
            }
            return false;
        }
    }
    return true;
}

} // namespace e2e
