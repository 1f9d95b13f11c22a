// Start-up of the shipped program as a person meets it, ten runs, timed from
// outside on the X server (DISPLAY): from starting the process to its question
// box on the screen, and from the answer (No, by Escape) to the first picture
// in its window: the first damage (DAMAGE extension, on every top-level window
// from its creation on) that leaves the window showing anything but black.
// Each run ends with Escape in the window. Usage: orvanel-startup-bench PROGRAM

#include "bench.h"

#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>
#include <X11/keysym.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

Display *x;
int damageEvent = 0;

// SDL writes the title as UTF-8, which XFetchName does not read.
bool Titled(Window w, const char *title) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    XGetWindowProperty(x, w, XA_WM_NAME, 0, 64, False, AnyPropertyType, &type, &format, &count,
                       &after, &data);
    const bool same = data && std::string((char *)data, count) == title;
    if (data) XFree(data);
    return same;
}

bool ShowsAPicture(Window w) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(x, w, &a) || a.map_state != IsViewable) return false;
    XImage *image = XGetImage(x, w, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
    bool any = false;
    for (int y = 0; image && y < a.height && !any; y += 2)
        for (int px = 0; px < a.width && !any; px += 2)
            any = (XGetPixel(image, px, y) & 0xffffff) != 0;
    if (image) XDestroyImage(image);
    return any;
}

void PressEscape(Window w, int holdMs) {
    const KeyCode code = XKeysymToKeycode(x, XK_Escape);
    XSetInputFocus(x, w, RevertToParent, CurrentTime);
    XTestFakeKeyEvent(x, code, True, CurrentTime);
    XSync(x, False);
    usleep(holdMs * 1000);
    XTestFakeKeyEvent(x, code, False, CurrentTime);
    XSync(x, False);
}

pid_t child = 0;

// One run: from the start to the box, and from the answer to the first picture
// (ms), and the resident memory then (MiB); true if the program ended with 27.
bool Measure(const char *program, double *toBox, double *toFrame, double *resident) {
    alarm(20);      // a run that hangs ends the benchmark (see main)
    XSync(x, True); // drops what earlier runs left
    std::fflush(stdout);
    const double start = Now();
    if ((child = fork()) == 0) {
        if (std::freopen("/dev/null", "w", stdout)) execl(program, program, (char *)nullptr);
        _exit(127);
    }
    double answered = 0;
    for (Window window = 0; child > 0 && !window;) {
        XEvent e;
        XNextEvent(x, &e);
        const double at = Now();
        if (e.type == CreateNotify) { // watched well before its first picture
            XDamageCreate(x, e.xcreatewindow.window, XDamageReportNonEmpty);
        } else if (e.type == MapNotify && !answered && Titled(e.xmap.window, "FullScreen ?")) {
            *toBox = (at - start) * 1e3;
            PressEscape(e.xmap.window, 0);
            answered = Now();
        } else if (e.type == damageEvent + XDamageNotify) {
            const auto &d = reinterpret_cast<const XDamageNotifyEvent &>(e);
            XDamageSubtract(x, d.damage, None, None);
            if (answered && Titled(d.drawable, "Orvanel") && ShowsAPicture(d.drawable)) {
                *toFrame = (at - answered) * 1e3;
                *resident = StatusMiB(std::to_string(child), "VmRSS:");
                PressEscape(window = d.drawable, 100); // held a moment, as a person does
            }
        }
    }
    int status = -1;
    if (child > 0) waitpid(child, &status, 0);
    alarm(0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 27) return true;
    std::fprintf(stderr, "orvanel-startup-bench: the program did not end with 27 on Escape\n");
    return false;
}

} // namespace

int main(int argc, char **argv) {
    int unused = 0, major = 1, minor = 1;
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvanel-startup-bench PROGRAM\n");
        return 2;
    }
    if (!(x = XOpenDisplay(nullptr)) || !XDamageQueryExtension(x, &damageEvent, &unused) ||
        !XDamageQueryVersion(x, &major, &minor) ||
        !XTestQueryExtension(x, &unused, &unused, &major, &minor)) {
        std::fprintf(stderr, "orvanel-startup-bench: needs an X display with DAMAGE and XTEST\n");
        return 1;
    }
    XSetErrorHandler([](Display *, XErrorEvent *) { return 0; }); // windows come and go
    signal(SIGALRM, [](int) {
        static const char why[] = "orvanel-startup-bench: no box, picture or exit in 20 s\n";
        if (child > 0) kill(child, SIGKILL);
        const ssize_t said = write(2, why, sizeof why - 1);
        _exit(said > 0 ? 1 : 2);
    });
    XSelectInput(x, DefaultRootWindow(x), SubstructureNotifyMask);

    std::vector<double> toBox, toFrame;
    std::printf("Start-up of %s (ms):\n  %-4s %14s %23s %15s\n", argv[1], "run", "start -> box",
                "answer -> first frame", "RSS then, MiB");
    for (int run = 1; run <= 10; ++run) {
        double box = 0, frame = 0, resident = 0;
        if (!Measure(argv[1], &box, &frame, &resident)) return 1;
        toBox.push_back(box);
        toFrame.push_back(frame);
        std::printf("  %-4d %14.1f %23.1f %15.1f\n", run, box, frame, resident);
    }
    std::printf("  median (p25 - p75): start -> box %s ms; answer -> first frame %s ms "
                "(target under 150: %s)\n",
                Quartiles(toBox, "%.1f").c_str(), Quartiles(toFrame, "%.1f").c_str(),
                Quantile(toFrame, .5) < 150 ? "met" : "MISSED");
    XCloseDisplay(x);
    return 0;
}
