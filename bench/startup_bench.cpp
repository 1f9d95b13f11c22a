// Start-up of the program as a person meets it, timed from outside on the
// X server (DISPLAY): from starting the process to its question box on the
// screen, and from the answer (No, by Escape) to the first picture of the
// arm in its window. The program is the shipped one, run as it is.
//
// The box is seen as it is mapped. The window's pictures are seen through
// the DAMAGE extension: every new top-level window is watched from its
// creation on, well before it has a GL context, and the first damage to
// the program's window that leaves it showing anything but black is its
// first presented frame. Each run ends with Escape in the window, as a
// person quits.
//
// Usage: orvanel-startup-bench [--runs N] PROGRAM

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

const double kTimeout = 20; // seconds for any one step

int IgnoreXError(Display *, XErrorEvent *) {
    return 0; // windows come and go between two requests
}

// SDL sets the UTF-8 title (_NET_WM_NAME), with WM_NAME beside it.
std::string Title(Display *x, Window w) {
    for (const char *name : {"_NET_WM_NAME", "WM_NAME"}) {
        Atom type;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char *data = nullptr;
        const bool read =
            XGetWindowProperty(x, w, XInternAtom(x, name, False), 0, 256, False, AnyPropertyType,
                               &type, &format, &count, &after, &data) == Success;
        std::string title;
        if (read && data && format == 8) title.assign(reinterpret_cast<char *>(data), count);
        if (data) XFree(data);
        if (!title.empty()) return title;
    }
    return "";
}

// Whether the window shows anything but black.
bool ShowsAPicture(Display *x, Window w) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(x, w, &a) || a.map_state != IsViewable) return false;
    XImage *image = XGetImage(x, w, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
    if (!image) return false;
    bool any = false;
    for (int y = 0; y < a.height && !any; y += 2)
        for (int px = 0; px < a.width && !any; px += 2)
            any = (XGetPixel(image, px, y) & 0xffffff) != 0;
    XDestroyImage(image);
    return any;
}

void PressKey(Display *x, Window w, const char *key, int holdMs) {
    const KeyCode code = XKeysymToKeycode(x, XStringToKeysym(key));
    XSetInputFocus(x, w, RevertToParent, CurrentTime);
    XTestFakeKeyEvent(x, code, True, CurrentTime);
    XSync(x, False);
    if (holdMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
    XTestFakeKeyEvent(x, code, False, CurrentTime);
    XSync(x, False);
}

long ResidentKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, 6, "VmRSS:") == 0) return std::atol(line.c_str() + 6);
    return -1;
}

std::optional<int> Reap(pid_t pid, double seconds) {
    const double deadline = Now() + seconds;
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (r < 0 || Now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

struct Run {
    double toBox = 0, toWindow = 0, toFrame = 0;
    long residentKb = -1;
    int exitStatus = -1;
};

class Session {
  public:
    explicit Session(Display *x) : x_(x), root_(DefaultRootWindow(x)) {
        XSelectInput(x_, root_, SubstructureNotifyMask);
        XSync(x_, False);
    }

    bool Ready(std::string *why) {
        int error = 0;
        if (!XDamageQueryExtension(x_, &damageEvent_, &error)) {
            *why = "the X server has no DAMAGE extension";
            return false;
        }
        int major = 1, minor = 1;
        XDamageQueryVersion(x_, &major, &minor);
        int event = 0, errorBase = 0;
        if (!XTestQueryExtension(x_, &event, &errorBase, &major, &minor)) {
            *why = "the X server has no XTEST extension";
            return false;
        }
        return true;
    }

    std::optional<Run> Measure(const char *program, std::string *why) {
        enum { kWaitingForBox, kWaitingForFrame, kDone } stage = kWaitingForBox;
        Run run;
        Window window = 0;
        Drain();
        const double start = Now();
        const pid_t pid = fork();
        if (pid == 0) {
            const int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, 1);
            execl(program, program, (char *)nullptr);
            _exit(127);
        }
        if (pid < 0) {
            *why = "fork failed";
            return std::nullopt;
        }
        double answered = 0;
        const int fd = ConnectionNumber(x_);
        while (stage != kDone) {
            if (Now() - start > kTimeout) {
                *why = stage == kWaitingForBox ? "no question box" : "no picture in the window";
                break;
            }
            if (!XPending(x_)) {
                pollfd p{fd, POLLIN, 0};
                poll(&p, 1, 10);
                continue;
            }
            XEvent e;
            XNextEvent(x_, &e);
            const double at = Now();
            if (e.type == CreateNotify && e.xcreatewindow.parent == root_) {
                // Watched from creation on: well before its first picture.
                XDamageCreate(x_, e.xcreatewindow.window, XDamageReportNonEmpty);
            } else if (e.type == MapNotify && stage == kWaitingForBox &&
                       Title(x_, e.xmap.window) == "FullScreen ?") {
                run.toBox = at - start;
                PressKey(x_, e.xmap.window, "Escape", 0); // No: a window
                answered = Now();
                stage = kWaitingForFrame;
            } else if (e.type == MapNotify && stage == kWaitingForFrame && run.toWindow == 0 &&
                       Title(x_, e.xmap.window) == "Orvanel") {
                run.toWindow = at - answered;
            } else if (e.type == damageEvent_ + XDamageNotify) {
                const auto &d = reinterpret_cast<const XDamageNotifyEvent &>(e);
                XDamageSubtract(x_, d.damage, None, None);
                if (stage == kWaitingForFrame && Title(x_, d.drawable) == "Orvanel" &&
                    ShowsAPicture(x_, d.drawable)) {
                    run.toFrame = at - answered;
                    run.residentKb = ResidentKb(pid);
                    window = d.drawable;
                    stage = kDone;
                }
            }
        }
        if (stage == kDone) {
            PressKey(x_, window, "Escape", 100); // held a moment, as a person does
            if (auto status = Reap(pid, kTimeout)) run.exitStatus = *status;
        }
        if (run.exitStatus < 0) {
            kill(pid, SIGKILL);
            Reap(pid, kTimeout);
            if (stage == kDone) *why = "the program did not end on Escape";
            return std::nullopt;
        }
        return run;
    }

  private:
    void Drain() {
        XSync(x_, False);
        while (XPending(x_)) {
            XEvent e;
            XNextEvent(x_, &e);
        }
    }

    Display *x_;
    Window root_;
    int damageEvent_ = 0;
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace

int main(int argc, char **argv) {
    int runs = 10;
    const char *program = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
        } else if (!program && argv[i][0] != '-') {
            program = argv[i];
        } else {
            program = nullptr;
            break;
        }
    }
    if (!program || runs < 1) {
        std::fprintf(stderr, "usage: orvanel-startup-bench [--runs N] PROGRAM\n");
        return 2;
    }
    Display *x = XOpenDisplay(nullptr);
    if (!x) {
        std::fprintf(stderr, "orvanel-startup-bench: no X display\n");
        return 1;
    }
    XSetErrorHandler(IgnoreXError);
    Session session(x);
    std::string why;
    if (!session.Ready(&why)) {
        std::fprintf(stderr, "orvanel-startup-bench: %s\n", why.c_str());
        return 1;
    }

    std::vector<double> toBox, toWindow, toFrame;
    std::printf("Start-up of %s, %d runs (ms):\n", program, runs);
    std::printf("  %-4s %14s %18s %23s %15s %6s\n", "run", "start -> box", "answer -> window",
                "answer -> first frame", "RSS then, MiB", "exit");
    for (int i = 0; i < runs; ++i) {
        std::optional<Run> run = session.Measure(program, &why);
        if (!run) {
            std::fprintf(stderr, "orvanel-startup-bench: run %d: %s\n", i + 1, why.c_str());
            return 1;
        }
        std::printf("  %-4d %14.1f %18.1f %23.1f %15.1f %6d\n", i + 1, run->toBox * 1e3,
                    run->toWindow * 1e3, run->toFrame * 1e3, run->residentKb / 1024.0,
                    run->exitStatus);
        toBox.push_back(run->toBox * 1e3);
        toWindow.push_back(run->toWindow * 1e3);
        toFrame.push_back(run->toFrame * 1e3);
    }
    auto range = [](const std::vector<double> &v) {
        char text[64];
        std::snprintf(text, sizeof text, "%.1f (%.1f - %.1f)", Median(v),
                      *std::min_element(v.begin(), v.end()), *std::max_element(v.begin(), v.end()));
        return std::string(text);
    };
    std::printf("  median (min - max), ms: start -> box %s; answer -> window %s;\n"
                "  answer -> first frame %s (target under 150: %s)\n",
                range(toBox).c_str(), range(toWindow).c_str(), range(toFrame).c_str(),
                Median(toFrame) < 150 ? "met" : "MISSED");
    XCloseDisplay(x);
    return 0;
}
