// The program's main loop on a real display (DISPLAY), in its own window as
// WinMain opens it after a No (the question is not asked), interleaved block by
// block with loops that have no message machinery, in the same GL context:
//   program: WinMain's loop: PeekMessageA, TranslateMessage, DispatchMessageA
//     until the queue is empty, then FrameStep;
//   ideal: DrawGLScene and the swap; ideal+pump: the same after SDL's own event
//     pump, so that program against it is what our layer adds to SDL;
//   floor: a clear and the swap.
// Usage: orvanel-loop-bench [ROUNDS [WxH...]]; exit status 0 once all is measured.

#include "bench.h"

#include "app/main.h"
#include "arm/arm.h"
#include "window/window.h"

#include <SDL.h>
#include <array>

namespace {

enum Loop { kProgram, kIdeal, kPumped, kFloor, kLoops };
const char *const kNames[kLoops] = {"program", "ideal", "ideal+pump", "floor"};
// The parts of a frame that are timed; which ones, depends on the loop.
enum Part { kPoll, kDraw, kPresent, kStep, kParts };
const int kTimed[kLoops] = {1 << kPoll | 1 << kStep, 1 << kDraw | 1 << kPresent, 7, 6};

struct Block {
    double seconds = 0, part[kParts] = {};
};
using Round = std::array<Block, kLoops>;

SDL_Window *window;
long programFrames = 0;
double residentAt1000 = -1;

[[noreturn]] void Fail(const char *why) {
    std::fprintf(stderr, "orvanel-loop-bench: %s\n", why);
    std::exit(1);
}

// One pass of WinMain's loop: the messages until the queue is empty, then a
// frame. Only the poll that finds the queue empty counts as polling.
void ProgramPass(double *part) {
    MSG msg;
    double t0 = Now();
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) Fail("the program was told to quit");
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        t0 = Now();
    }
    const double t1 = Now();
    BOOL done = FALSE;
    if (!FrameStep(&done) || done) Fail("the program's frame step ended its loop");
    part[kPoll] += t1 - t0;
    part[kStep] += Now() - t1;
    if (++programFrames == 1000) residentAt1000 = StatusMiB("self", "VmRSS:");
}

Block RunBlock(Loop loop, int frames) {
    Block b;
    const double start = Now();
    for (int i = 0; i < frames; ++i) {
        if (loop == kProgram) {
            ProgramPass(b.part);
            continue;
        }
        const double t0 = Now();
        if (loop == kPumped) SDL_PumpEvents(); // the program's next poll takes what it queued
        const double t1 = Now();
        loop == kFloor ? glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT) : (void)DrawGLScene();
        const double t2 = Now();
        SDL_GL_SwapWindow(window);
        b.part[kPoll] += t1 - t0;
        b.part[kDraw] += t2 - t1;
        b.part[kPresent] += Now() - t2;
    }
    b.seconds = Now() - start;
    return b;
}

// The figures of one size: each loop's rate and split, then ratios of rates
// taken within each round, where blocks milliseconds apart share one load.
void Report(const std::vector<Round> &rounds, int frames) {
    std::printf("  %-12s %-22s %9s %7s %7s %8s %7s\n", "loop", "fps median (p25 - p75)", "us/frame",
                "poll", "draw", "present", "step");
    for (int l = 0; l < kLoops; ++l) {
        std::vector<double> fps;
        Block sum;
        for (const Round &r : rounds) {
            fps.push_back(frames / r[l].seconds);
            sum.seconds += r[l].seconds;
            for (int p = 0; p < kParts; ++p)
                sum.part[p] += r[l].part[p];
        }
        const double us = 1e6 / (frames * rounds.size());
        std::printf("  %-12s %-22s %9.1f", kNames[l], Quartiles(fps, "%.0f").c_str(),
                    sum.seconds * us);
        for (int p = 0; p < kParts; ++p)
            if (kTimed[l] >> p & 1)
                std::printf(" %7.1f", sum.part[p] * us);
            else
                std::printf(" %7s", "-");
        std::printf("\n");
    }
    auto line = [&](const char *name, const char *note, auto of) {
        std::vector<double> v;
        for (const Round &r : rounds)
            v.push_back(of(r));
        std::printf("  %-18s %-24s %s\n", name, Quartiles(v, "%.3f").c_str(), note);
    };
    auto ratio = [](Loop a, Loop b) {
        return [=](const Round &r) { return r[b].seconds / r[a].seconds; };
    };
    line("program/ideal", "target at 640x480: at least 0.97", ratio(kProgram, kIdeal));
    line("program/ideal+pump", "our layer beyond SDL's pump", ratio(kProgram, kPumped));
    line("program/floor", "target at 640x480: at least 0.55", ratio(kProgram, kFloor));
    line("ideal/floor", "the bound: drawing, with no loop", ratio(kIdeal, kFloor));
    line("poll, % of frame", "target at 640x480: under 1",
         [](const Round &r) { return 100 * r[kProgram].part[kPoll] / r[kProgram].seconds; });
}

// One size: the window resized, the program taking it up (it hears of it as
// WM_SIZE through its own loop), a warm-up of 1,000 program frames, then
// rounds of one block (about 20 ms) of each loop, their order turned each round.
void MeasureSize(int width, int height, int rounds) {
    const double load = LoadAverage();
    SDL_SetWindowSize(window, width, height);
    GLint viewport[4] = {};
    double ignored[kParts];
    for (const double start = Now(); viewport[2] != width || viewport[3] != height;) {
        if (Now() - start > 10) Fail("the program did not take up the size (screen too small?)");
        ProgramPass(ignored);
        glGetIntegerv(GL_VIEWPORT, viewport);
    }
    const double warm = Now();
    for (int i = 0; i < 1000; ++i)
        ProgramPass(ignored);
    const int frames = std::max(10, (int)(1000 / (Now() - warm) * 0.020));
    for (Loop l : {kIdeal, kPumped, kFloor})
        RunBlock(l, frames);
    std::vector<Round> all(rounds);
    for (int r = 0; r < rounds; ++r)
        for (int i = 0; i < kLoops; ++i)
            all[r][(i + r) % kLoops] = RunBlock(Loop((i + r) % kLoops), frames);
    std::printf("%dx%d: %d rounds, blocks of %d frames, load average %.2f -> %.2f\n", width, height,
                rounds, frames, load, LoadAverage());
    Report(all, frames);
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 100;
    std::vector<std::array<int, 2>> sizes;
    for (int i = 2; i < argc; ++i) {
        int w = 0, h = 0;
        if (std::sscanf(argv[i], "%dx%d", &w, &h) == 2 && w > 0 && h > 0) sizes.push_back({w, h});
    }
    if (rounds < 1 || (int)sizes.size() != std::max(argc - 2, 0)) {
        std::fprintf(stderr, "usage: orvanel-loop-bench [ROUNDS [WxH...]]\n");
        return 2;
    }
    if (sizes.empty()) sizes = {{640, 480}, {320, 240}, {1280, 960}, {1920, 1080}};

    if (!CreateGLWindow("Orvanel", 640, 480, 16, FALSE) || !(window = SDL_GL_GetCurrentWindow()))
        Fail("no window with a current GL context");
    GLint depth = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    std::printf("GL: %s, %s; %d-bit depth buffer; swap interval %d (0: no vsync)\n\n",
                (const char *)glGetString(GL_RENDERER), (const char *)glGetString(GL_VERSION),
                depth, SDL_GL_GetSwapInterval());
    for (const auto &s : sizes)
        MeasureSize(s[0], s[1], rounds);

    std::printf("Resident memory: %.1f MiB after 1,000 program frames; %.1f MiB after %ld frames "
                "(peak %.1f MiB)\n",
                residentAt1000, StatusMiB("self", "VmRSS:"), programFrames,
                StatusMiB("self", "VmHWM:"));
    KillGLWindow();
    SDL_Quit();
    return 0;
}
