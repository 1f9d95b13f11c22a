// The process: the display opened once, SIGTERM, SIGINT and SIGHUP taken as
// requests to close, and the one line on stderr when the system refuses
// something, with the reason the driver gave.
#include "win32/layer.h"

#include <errno.h>
#include <signal.h>

#include <cstdarg>
#include <cstdio>

namespace {

// Set by the signal handler, hence on its own and not in the layer's state.
volatile sig_atomic_t closeAsked = 0;

// A close request asks the program to close, as the close box does; a box
// that is up goes first. Asked while no window of ours is up, it ends the
// program without one (layer::Ending).
void AskToClose(int) {
    closeAsked = 1;
    driver::EndBox();
}

// Taken before the display opens (SDL takes a moment): a close request then
// must not kill the program outright.
void TakeCloseRequests() {
    struct sigaction close {};
    close.sa_handler = AskToClose;
    close.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &close, nullptr);
}

} // namespace

namespace layer {

bool Start() {
    static int started = -1;
    if (started >= 0) return started;
    TakeCloseRequests();
    started = driver::Open();
    return started;
}

bool Ready(const char *call) {
    const bool open = Start();
    if (!open) PrintRefusal(call);
    return open;
}

// A close request with no window of ours to take it: every later box is
// answered at once without showing, and no window is made, so that the
// program's own failure paths end it, quietly.
bool Ending() {
    return closeAsked && state.windows.empty();
}

bool TakeCloseRequest() {
    if (!closeAsked) return false;
    closeAsked = 0;
    return true;
}

bool Why(const char *format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    state.why = text;
    return false;
}

void PrintRefusal(const char *call) {
    if (state.why.empty()) state.why = "the system gave no reason";
    if (call)
        std::fprintf(stderr, "%s: %s: %s\n", program_invocation_short_name, call,
                     state.why.c_str());
    else
        std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, state.why.c_str());
    state.why.clear();
}

} // namespace layer
