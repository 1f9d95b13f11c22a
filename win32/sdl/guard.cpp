// The SDL2 driver's guard process: forking it, what the program asks of it
// on their socket and what it answers, and the boxes it shows.
//
// A program that changes the display's mode must put it back however it
// ends, and its boxes must not outlive it; a handler cannot do that for
// SIGKILL or a lost X connection. So a small guard process is forked
// before SDL starts. It shows each message box from a process of its own,
// the leader of a process group that it ends to take the box down (the
// toolkit may fork again below it), and keeps a snapshot of the display's
// mode (mode.cpp) while the program has it changed. When the program is
// gone (its parent-death signal, and its end of their socket closes), the
// guard takes any box down, puts the mode back, and ends too.
#include "win32/sdl/guard.h"

#include "win32/layer.h"
#include "win32/sdl/focus.h"
#include "win32/sdl/mode.h"

#include <SDL.h>
#include <X11/Xlib.h>
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// What the program keeps of its guard and, in the copy the fork gives it,
// what the guard keeps of its box; the guard's own connection and snapshot
// stay in Guard(), which never returns.
struct State {
    bool inGuard = false;             // true in the guard process
    int channel = -1;                 // the program's end of the socket
    pid_t guard = 0;                  // the guard process, in the program
    Display *display = nullptr;       // the program's own connection, for the focus
    Window focusBefore = PointerRoot; // what had the focus before our window took it
    // In the guard, the box's process while one is up: the leader of a
    // process group of its own, as the toolkit may fork again below it to
    // show the box. A signal handler reads it: hence its type.
    volatile sig_atomic_t boxGroup = 0;
} self;

// What the program asks of the guard: a fixed header, then (for a box) the
// caption, a zero and the text.
enum Kind { kBox, kSaveMode, kRestoreMode };
struct Request {
    Kind kind;
    bool yesNo;   // the buttons: Yes and No, or OK
    Uint32 flags; // the icon, as SDL's box flags
};
// The guard's answer: the button's index, or -1 with the reason after it.
struct Reply {
    int answer;
};

// Xlib's own handler calls exit(), whose handlers would talk to the lost
// connection again, which hangs (in the guard, they would be the program's,
// run in its copy of it): a lost connection ends the process here instead.
int LostDisplay(Display *) {
    if (!self.inGuard)
        std::fprintf(stderr, "%s: lost the connection to the display\n",
                     program_invocation_short_name);
    _exit(1);
}

// The guard's side -----------------------------------------------------------

// The program has gone (the parent-death signal), or asks for the box to go.
void EndBoxOnSignal(int) {
    if (self.boxGroup > 0) kill(-self.boxGroup, SIGKILL);
}

int ShowBox(const char *text, const char *caption, bool yesNo, int flags) {
    // Return answers the first button, Escape the last one.
    static const SDL_MessageBoxButtonData kYesNo[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 0, "Yes"},
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 1, "No"},
    };
    static const SDL_MessageBoxButtonData kOk[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0,
         "OK"},
    };
    SDL_MessageBoxData box{};
    box.flags = (Uint32)flags | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
    box.title = caption;
    box.message = text;
    box.numbuttons = yesNo ? 2 : 1;
    box.buttons = yesNo ? kYesNo : kOk;
    int pressed = -1;
    if (SDL_ShowMessageBox(&box, &pressed) != 0) return -1;
    return pressed < 0 ? box.numbuttons - 1 : pressed; // closed: the last button
}

void Send(int fd, int answer, const char *why = "") {
    const Reply r{answer};
    std::string reply(reinterpret_cast<const char *>(&r), sizeof r);
    reply += why;
    reply += '\0';
    send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
}

// Shows the box in a process of its own, which answers on a socket of its
// own; the guard relays the answer, or says that there was none.
void RelayBox(int fd, const Request &r, const char *caption) {
    int answer[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, answer) != 0)
        return Send(fd, -1, std::strerror(errno));
    sigset_t usr1, was;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    sigprocmask(SIG_BLOCK, &usr1, &was); // held until boxGroup names the new one
    const pid_t pid = fork();
    const int forkError = errno;
    if (pid == 0) {
        setpgid(0, 0);
        sigprocmask(SIG_SETMASK, &was, nullptr);
        const int pressed = ShowBox(caption + std::strlen(caption) + 1, caption, r.yesNo, r.flags);
        Send(answer[1], pressed, pressed < 0 ? SDL_GetError() : "");
        _exit(0);
    }
    close(answer[1]);
    if (pid > 0) setpgid(pid, pid); // as the child does: whichever comes first
    self.boxGroup = pid;
    sigprocmask(SIG_SETMASK, &was, nullptr);
    while (pid > 0 && waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    if (pid > 0) kill(-pid, SIGKILL); // whatever the toolkit left below it
    self.boxGroup = 0;
    char reply[512];
    const ssize_t n = recv(answer[0], reply, sizeof reply, 0);
    close(answer[0]);
    if (n > (ssize_t)sizeof(Reply))
        send(fd, reply, n, MSG_NOSIGNAL);
    else
        Send(fd, -1, pid < 0 ? std::strerror(forkError) : "the box was taken down");
}

// Serves the program's requests until it ends (its end of the socket
// closes), then puts the mode back if it is still changed, and the focus
// where it was when the program started.
[[noreturn]] void Guard(int fd, pid_t program, Window focusAtStart) {
    self.inGuard = true;
    setpgid(0, 0);                               // away from the terminal's Ctrl+C
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) // the program's close requests are not ours
        ::signal(signal, SIG_DFL);
    XSetIOErrorHandler(LostDisplay);
    signal(SIGUSR1, EndBoxOnSignal);
    prctl(PR_SET_PDEATHSIG, SIGUSR1);
    if (getppid() != program) _exit(0); // it ended before that: nothing to put back yet
    Display *d = nullptr;
    bool saved = false;
    mode::Snapshot snapshot{};
    char request[8192];
    for (;;) {
        const ssize_t n = recv(fd, request, sizeof request - 1, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < (ssize_t)sizeof(Request)) break; // the program has ended
        request[n] = 0;
        Request r;
        std::memcpy(&r, request, sizeof r);
        if (r.kind == kBox) {
            RelayBox(fd, r, request + sizeof r);
        } else if (r.kind == kSaveMode) {
            if (!d) d = XOpenDisplay(nullptr);
            if (d) snapshot = mode::Take(d);
            saved = d != nullptr;
            Send(fd, saved ? 0 : -1, saved ? "" : "the guard process cannot reach the display");
        } else if (r.kind == kRestoreMode) {
            if (saved) mode::PutBack(d, snapshot);
            saved = false;
            Send(fd, 0);
        }
    }
    if (saved) mode::PutBack(d, snapshot);
    if (!d) d = XOpenDisplay(nullptr);
    // SDL gives a window it shows the focus with RevertToNone where no
    // window manager runs, and a window that holds a changed mode may hold
    // the focus: a program that ends before it gives the focus back leaves
    // the keyboard with no window at all.
    if (d) focus::Restore(d, None, focusAtStart);
    _exit(0);
}

// The program's side ----------------------------------------------------------

// The guard's answer to the request just sent: -1, with its reason told to
// the layer, when the guard said no or is gone.
int Receive() {
    char reply[512];
    pollfd p{self.channel, POLLIN, 0};
    while (poll(&p, 1, -1) < 0 && errno == EINTR) {
    }
    const ssize_t n = recv(self.channel, reply, sizeof reply - 1, 0);
    if (n < (ssize_t)sizeof(Reply)) return layer::Why("the guard process has ended"), -1;
    reply[n] = 0;
    Reply r;
    std::memcpy(&r, reply, sizeof r);
    if (r.answer < 0) layer::Why("%s", reply + sizeof r);
    return r.answer;
}

bool SendToGuard(const std::string &request) {
    if (send(self.channel, request.data(), request.size(), MSG_NOSIGNAL) >= 0) return true;
    return layer::Why("the guard process has ended");
}

int Ask(Kind kind) {
    const Request r{kind, false, 0};
    return SendToGuard(std::string(reinterpret_cast<const char *>(&r), sizeof r)) ? Receive() : -1;
}

} // namespace

namespace guard {

bool Start() {
    const char *name = std::getenv("DISPLAY");
    if (!name || !*name) return layer::Why("cannot open display: DISPLAY is not set");
    if (!(self.display = XOpenDisplay(name)))
        return layer::Why("cannot open display \"%s\": no X server answers there, or it refused us",
                          name);
    int sockets[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sockets) != 0)
        return layer::Why("no guard process: %s", std::strerror(errno));
    const pid_t program = getpid();
    const Window focusAtStart = focus::Now(self.display);
    self.guard = fork();
    if (self.guard == 0) {
        close(sockets[0]);
        close(ConnectionNumber(self.display)); // the program's, not the guard's
        Guard(sockets[1], program, focusAtStart);
    }
    close(sockets[1]);
    self.channel = sockets[0];
    if (self.guard < 0) return layer::Why("no guard process: %s", std::strerror(errno));
    return true;
}

int Box(const char *text, const char *caption, bool yesNo, int sdlFlags) {
    const Request r{kBox, yesNo, (Uint32)sdlFlags};
    std::string request(reinterpret_cast<const char *>(&r), sizeof r);
    request += caption;
    request += '\0';
    request += text;
    const Window had = focus::Now(self.display);
    if (!SendToGuard(request)) return -1;
    // Until it answers: without a window manager, nobody else gives the
    // box the keyboard.
    pollfd p{self.channel, POLLIN, 0};
    bool focused = false;
    while (poll(&p, 1, 20) <= 0)
        if (!focused) focused = focus::TakeForTitle(self.display, caption);
    const int answer = Receive();
    focus::Restore(self.display, PointerRoot, had);
    return answer;
}

void EndWhenTheDisplayGoes() {
    // A write that the server's end of the connection closes under (the
    // window killed, the server gone) raises SIGPIPE, which would end the
    // program without a word. Ignored, the write fails and Xlib calls
    // LostDisplay, as for a read.
    signal(SIGPIPE, SIG_IGN);
    XSetIOErrorHandler(LostDisplay);
}

void EndBox() {
    if (self.guard > 0) kill(self.guard, SIGUSR1);
}

bool SaveMode() {
    return Ask(kSaveMode) == 0;
}
void RestoreMode() {
    Ask(kRestoreMode);
}

void Focus(unsigned long window) {
    const Window had = focus::Take(self.display, window);
    if (had != window) self.focusBefore = had;
}

void GiveBackFocus(unsigned long window) {
    const Window before = self.focusBefore;
    focus::Restore(self.display, window, before == window ? PointerRoot : before);
}

} // namespace guard
