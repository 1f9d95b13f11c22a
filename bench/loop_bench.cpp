// The program's own main loop timed on a real display: WinMain, unchanged,
// on our Win32 layer and SDL2, run for a fixed number of idle passes with
// no input. Beside it, in the same window and GL context, and interleaved
// with it block by block, loops that have no message machinery:
//   ideal: DrawGLScene and the swap, nothing else;
//   ideal+pump: the same with SDL's own event pump before each frame, so
//     that program against ideal+pump is what our layer adds to SDL;
//   floor: a clear and the swap.
//
// This executable is the program, its own main() included, linked with
// the linker's --wrap around a few of its calls: main (to read this
// benchmark's options first and print its summary last), SwapBuffers
// (counts and times the program's frames; between the program's blocks it
// runs the other loops, and it ends the run with PostQuitMessage, so
// the loop ends its own way), PeekMessageA and DrawGLScene (timed, for the
// split of a frame), and MessageBoxA (the fullscreen question is answered
// No without a box, so the program opens its window; any other box is
// printed and counts as a failure). The program itself is built and
// shipped without any of this.
//
// Usage: orvanel-loop-bench [--rounds N] [--block-ms MS] [--frames N]
//                           [--warmup-frames N] [--sizes WxH,WxH,...]
// on an X display (DISPLAY). Exit status 0 when every size was measured.

#include "arm/arm.h"
#include "platform/sdl_backend.h"
#include "window/window.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

// The program's calls, as the linker hands them to us (Itanium-mangled names).
extern "C" {
int __real_main();
BOOL __real__Z11SwapBuffersP5HDC__(HDC dc);
BOOL __real__Z12PeekMessageAP3MSGP6HWND__jjj(LPMSG msg, HWND window, UINT first, UINT last,
                                             UINT remove);
int __real__Z11DrawGLScenev();
}

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Size {
    int width, height;
};

struct Options {
    int rounds = 100;
    double blockMs = 20;        // length of one block, in time
    int frames = 0;             // or in frames, when set
    int warmupFrames = 1000;    // program frames before the first measurement
    double warmupSeconds = 0.3; // at each size
    std::vector<Size> sizes = {{640, 480}, {320, 240}, {1280, 960}, {1920, 1080}};
};

// Where a frame's time goes, summed over a block.
struct Split {
    double poll = 0, draw = 0, present = 0;
    long polls = 0, messages = 0;
};

enum Loop { kProgram, kIdeal, kPumped, kFloor, kLoops };
const char *const kLoopNames[kLoops] = {"program", "ideal", "ideal+pump", "floor"};

struct Block {
    double seconds = 0;
    int frames = 0;
    Split split;
    double Fps() const { return frames / seconds; }
};

struct Round {
    Block loops[kLoops];
};

double LoadAverage() {
    std::ifstream in("/proc/loadavg");
    double load = -1;
    in >> load;
    return load;
}

// A "Vm..." line of /proc/self/status, in kB; -1 if missing.
long StatusKb(const char *field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, n, field) == 0 && line.size() > n && line[n] == ':')
            return std::atol(line.c_str() + n + 1);
    return -1;
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const double at = p * (v.size() - 1);
    const size_t below = (size_t)std::floor(at);
    const size_t above = std::min(below + 1, v.size() - 1);
    return v[below] + (v[above] - v[below]) * (at - below);
}

std::string Spread(const std::vector<double> &v, const char *format) {
    char text[128];
    const std::string f = std::string(format) + " (" + format + " - " + format + ")";
    std::snprintf(text, sizeof text, f.c_str(), Percentile(v, 0.5), Percentile(v, 0.25),
                  Percentile(v, 0.75));
    return text;
}

// Runs the program's loop through its phases, one per window size: the
// window resized and the new size taken up by the program, a warm-up, then
// rounds of one block of each loop, their order turned by one each round.
class Runner {
  public:
    explicit Runner(const Options &options) : options_(options) {}

    bool failed = false;
    bool finished = false;
    long programFrames = 0;
    long rssAfter1000 = -1, rssAtEnd = -1;
    bool counting = false; // within a program block: the wraps add to `split`
    Split split;

    void AfterProgramSwap(double now) {
        ++programFrames;
        if (programFrames == 1000) rssAfter1000 = StatusKb("VmRSS");
        switch (stage_) {
        case Stage::kStart:
            Start();
            break;
        case Stage::kResizing:
            if (HasSize(options_.sizes[phase_])) {
                stage_ = Stage::kWarmingUp;
                warmStart_ = now;
                warmFrames_ = 0;
            } else if (now - resizeStart_ > 10) {
                Fail("the window did not take the size " + SizeName(options_.sizes[phase_]) +
                     " (is the screen big enough?)");
            }
            break;
        case Stage::kWarmingUp:
            ++warmFrames_;
            if (now - warmStart_ >= options_.warmupSeconds &&
                programFrames >= options_.warmupFrames)
                StartMeasuring(warmFrames_ / (now - warmStart_));
            break;
        case Stage::kMeasuring:
            if (++framesInBlock_ < blockFrames_) break;
            counting = false;
            rounds_[schedule_[next_].round].loops[kProgram] = {now - blockStart_, framesInBlock_,
                                                               split};
            ++next_;
            Advance();
            break;
        case Stage::kDone:
            break;
        }
    }

  private:
    enum class Stage { kStart, kResizing, kWarmingUp, kMeasuring, kDone };
    struct Scheduled {
        int round;
        Loop loop;
    };

    static std::string SizeName(Size s) {
        return std::to_string(s.width) + "x" + std::to_string(s.height);
    }

    void Fail(const std::string &why) {
        std::fprintf(stderr, "orvanel-loop-bench: %s\n", why.c_str());
        failed = true;
        stage_ = Stage::kDone;
        counting = false;
        PostQuitMessage(1);
    }

    // The window, its GL drawable and the program's viewport all at the size.
    bool HasSize(Size s) const {
        int w = 0, h = 0, dw = 0, dh = 0;
        SDL_GetWindowSize(window_, &w, &h);
        SDL_GL_GetDrawableSize(window_, &dw, &dh);
        GLint viewport[4] = {};
        glGetIntegerv(GL_VIEWPORT, viewport);
        return w == s.width && h == s.height && dw == s.width && dh == s.height &&
               viewport[2] == s.width && viewport[3] == s.height;
    }

    void Start() {
        window_ = SDL_GL_GetCurrentWindow();
        const sdl::Window *own = sdl::FindWindow(hWnd);
        if (!window_ || !own || own->window != window_) {
            Fail("the program's GL context is not current on its window");
            return;
        }
        std::printf("GL renderer: %s\n", (const char *)glGetString(GL_RENDERER));
        std::printf("GL version:  %s; swap interval %d (0: no vsync)\n",
                    (const char *)glGetString(GL_VERSION), SDL_GL_GetSwapInterval());
        GLint bits[7] = {};
        const GLenum kinds[7] = {GL_RED_BITS,   GL_GREEN_BITS,   GL_BLUE_BITS,     GL_ALPHA_BITS,
                                 GL_DEPTH_BITS, GL_STENCIL_BITS, GL_ACCUM_RED_BITS};
        for (int i = 0; i < 7; ++i)
            glGetIntegerv(kinds[i], &bits[i]);
        std::printf("Window's buffers: colour %d-%d-%d-%d, depth %d, stencil %d, accumulation %d\n",
                    bits[0], bits[1], bits[2], bits[3], bits[4], bits[5], bits[6] * 4);
        std::printf("Video: SDL %s driver on %s; %u CPUs\n", SDL_GetCurrentVideoDriver(),
                    std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "?",
                    std::thread::hardware_concurrency());
        std::printf("Each size: warm-up, then %d rounds of one block of each loop "
                    "(program, ideal, ideal+pump, floor), their order turned each round.\n\n",
                    options_.rounds);
        std::fflush(stdout);
        StartPhase(0);
    }

    void StartPhase(size_t phase) {
        phase_ = phase;
        loadBefore_ = LoadAverage();
        const Size s = options_.sizes[phase];
        int w = 0, h = 0;
        SDL_GetWindowSize(window_, &w, &h);
        // The program hears of the new size as WM_SIZE, through its own loop.
        if (w != s.width || h != s.height) SDL_SetWindowSize(window_, s.width, s.height);
        stage_ = Stage::kResizing;
        resizeStart_ = Now();
    }

    void StartMeasuring(double warmFps) {
        blockFrames_ = options_.frames > 0
                           ? options_.frames
                           : std::max(10, (int)std::lround(warmFps * options_.blockMs / 1000));
        for (Loop loop : {kIdeal, kPumped, kFloor})
            RunInline(loop); // warm the other loops as well
        rounds_.assign(options_.rounds, Round{});
        schedule_.clear();
        for (int r = 0; r < options_.rounds; ++r)
            for (int i = 0; i < kLoops; ++i)
                schedule_.push_back({r, Loop((i + r) % kLoops)});
        next_ = 0;
        stage_ = Stage::kMeasuring;
        Advance();
    }

    // Runs the scheduled blocks up to the next program block, which then
    // starts as the hook returns to the program.
    void Advance() {
        while (next_ < schedule_.size() && schedule_[next_].loop != kProgram) {
            rounds_[schedule_[next_].round].loops[schedule_[next_].loop] =
                RunInline(schedule_[next_].loop);
            ++next_;
        }
        if (next_ == schedule_.size()) {
            FinishPhase();
            return;
        }
        framesInBlock_ = 0;
        split = Split{};
        counting = true;
        blockStart_ = Now();
    }

    // A block of one of the other loops, in the program's window and
    // context, straight to SDL. The pump only moves the system's events
    // into SDL's queue, where the program's next pump finds them.
    Block RunInline(Loop loop) {
        Block b;
        const double start = Now();
        for (int i = 0; i < blockFrames_; ++i) {
            const double t0 = Now();
            if (loop == kPumped) SDL_PumpEvents();
            const double t1 = Now();
            if (loop == kFloor) {
                glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            } else {
                __real__Z11DrawGLScenev();
            }
            const double t2 = Now();
            SDL_GL_SwapWindow(window_);
            const double t3 = Now();
            b.split.poll += t1 - t0;
            b.split.draw += t2 - t1;
            b.split.present += t3 - t2;
        }
        b.seconds = Now() - start;
        b.frames = blockFrames_;
        return b;
    }

    void FinishPhase() {
        counting = false;
        Report();
        if (phase_ + 1 < options_.sizes.size()) {
            StartPhase(phase_ + 1);
        } else {
            stage_ = Stage::kDone;
            finished = true;
            rssAtEnd = StatusKb("VmRSS");
            PostQuitMessage(0);
        }
    }

    void Report() const {
        const Size s = options_.sizes[phase_];
        const bool targets = s.width == 640 && s.height == 480;
        std::printf("%s: blocks of %d frames, load average %.2f -> %.2f\n", SizeName(s).c_str(),
                    blockFrames_, loadBefore_, LoadAverage());
        std::printf("  %-18s %-24s %9s %8s %8s %8s %8s\n", "loop", "fps median (p25 - p75)",
                    "us/frame", "poll", "draw", "present", "other");
        for (int l = 0; l < kLoops; ++l) {
            std::vector<double> fps;
            Split sum;
            double seconds = 0;
            long frames = 0;
            for (const Round &r : rounds_) {
                const Block &b = r.loops[l];
                fps.push_back(b.Fps());
                sum.poll += b.split.poll;
                sum.draw += b.split.draw;
                sum.present += b.split.present;
                sum.polls += b.split.polls;
                sum.messages += b.split.messages;
                seconds += b.seconds;
                frames += b.frames;
            }
            const double us = 1e6 / frames;
            char poll[16] = "-";
            if (l == kProgram || l == kPumped)
                std::snprintf(poll, sizeof poll, "%.2f", sum.poll * us);
            std::printf("  %-18s %-24s %9.1f %8s %8.1f %8.1f %8.1f\n", kLoopNames[l],
                        Spread(fps, "%.0f").c_str(), seconds * us, poll, sum.draw * us,
                        sum.present * us, (seconds - sum.poll - sum.draw - sum.present) * us);
            if (l == kProgram && (sum.messages != 0 || sum.polls != frames))
                std::printf("  (program: %ld messages taken, %.2f polls a frame)\n", sum.messages,
                            (double)sum.polls / frames);
        }

        // Ratios within each round: blocks run side by side see the same load.
        auto ratio = [&](Loop a, Loop b) {
            std::vector<double> v;
            for (const Round &r : rounds_)
                v.push_back(r.loops[a].Fps() / r.loops[b].Fps());
            return v;
        };
        std::vector<double> pollShare;
        for (const Round &r : rounds_)
            pollShare.push_back(100 * r.loops[kProgram].split.poll / r.loops[kProgram].seconds);
        auto line = [&](const char *name, const std::vector<double> &v, const char *note,
                        const char *target, bool met) {
            std::printf("  %-18s %-24s %s%s%s\n", name, Spread(v, "%.3f").c_str(), note,
                        targets && target ? target : "",
                        targets && target ? (met ? "met" : "MISSED") : "");
        };
        const std::vector<double> toIdeal = ratio(kProgram, kIdeal);
        const std::vector<double> toFloor = ratio(kProgram, kFloor);
        line("program/ideal", toIdeal, "",
             "target at least 0.97: ", Percentile(toIdeal, 0.5) >= 0.97);
        line("program/ideal+pump", ratio(kProgram, kPumped), "(our layer beyond SDL's pump)",
             nullptr, true);
        line("program/floor", toFloor, "",
             "target at least 0.55: ", Percentile(toFloor, 0.5) >= 0.55);
        line("ideal/floor", ratio(kIdeal, kFloor), "(the bound: drawing, with no loop)", nullptr,
             true);
        line("poll, % frame", pollShare, "", "target under 1%: ", Percentile(pollShare, 0.5) < 1);
        std::printf("\n");
        std::fflush(stdout);
    }

    const Options &options_;
    Stage stage_ = Stage::kStart;
    SDL_Window *window_ = nullptr;
    size_t phase_ = 0;
    double loadBefore_ = 0;
    double resizeStart_ = 0, warmStart_ = 0, blockStart_ = 0;
    long warmFrames_ = 0;
    int blockFrames_ = 0, framesInBlock_ = 0;
    std::vector<Round> rounds_;
    std::vector<Scheduled> schedule_;
    size_t next_ = 0;
};

Options options;
Runner runner(options);

bool ParseSizes(const char *text, std::vector<Size> *sizes) {
    sizes->clear();
    std::string all = text;
    size_t at = 0;
    while (at <= all.size()) {
        const size_t comma = std::min(all.find(',', at), all.size());
        Size s{};
        char end = 0;
        const std::string item = all.substr(at, comma - at);
        const int fields = std::sscanf(item.c_str(), "%dx%d%c", &s.width, &s.height, &end);
        if (fields != 2 || s.width <= 0 || s.height <= 0) return false;
        sizes->push_back(s);
        at = comma + 1;
    }
    return !sizes->empty();
}

bool ParseOptions(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!value) return false;
        char *end = nullptr;
        if (a == "--rounds") {
            options.rounds = (int)std::strtol(value, &end, 10);
            if (*end || options.rounds < 1) return false;
        } else if (a == "--block-ms") {
            options.blockMs = std::strtod(value, &end);
            if (*end || options.blockMs <= 0) return false;
        } else if (a == "--frames") {
            options.frames = (int)std::strtol(value, &end, 10);
            if (*end || options.frames < 1) return false;
        } else if (a == "--warmup-frames") {
            options.warmupFrames = (int)std::strtol(value, &end, 10);
            if (*end || options.warmupFrames < 0) return false;
            options.warmupSeconds = std::min(options.warmupSeconds, options.warmupFrames / 1000.0);
        } else if (a == "--sizes") {
            if (!ParseSizes(value, &options.sizes)) return false;
        } else {
            return false;
        }
        ++i;
    }
    return true;
}

} // namespace

// The program's calls ---------------------------------------------------------

extern "C" {

BOOL __wrap__Z11SwapBuffersP5HDC__(HDC dc) {
    const double t0 = Now();
    const BOOL swapped = __real__Z11SwapBuffersP5HDC__(dc);
    const double t1 = Now();
    if (runner.counting) runner.split.present += t1 - t0;
    runner.AfterProgramSwap(t1);
    return swapped;
}

BOOL __wrap__Z12PeekMessageAP3MSGP6HWND__jjj(LPMSG msg, HWND window, UINT first, UINT last,
                                             UINT remove) {
    if (!runner.counting)
        return __real__Z12PeekMessageAP3MSGP6HWND__jjj(msg, window, first, last, remove);
    const double t0 = Now();
    const BOOL taken = __real__Z12PeekMessageAP3MSGP6HWND__jjj(msg, window, first, last, remove);
    const double t1 = Now();
    if (taken) {
        ++runner.split.messages;
    } else {
        runner.split.poll += t1 - t0;
        ++runner.split.polls;
    }
    return taken;
}

int __wrap__Z11DrawGLScenev() {
    if (!runner.counting) return __real__Z11DrawGLScenev();
    const double t0 = Now();
    const int drawn = __real__Z11DrawGLScenev();
    runner.split.draw += Now() - t0;
    return drawn;
}

int __wrap__Z11MessageBoxAP6HWND__PKcS2_j(HWND /*owner*/, LPCSTR text, LPCSTR caption, UINT type) {
    const bool yesNo = (type & MB_TYPEMASK) == MB_YESNO;
    if (caption && std::strcmp(caption, "FullScreen ?") == 0) return IDNO; // a window
    std::fprintf(stderr, "orvanel-loop-bench: the program says: %s: %s\n", caption ? caption : "",
                 text ? text : "");
    runner.failed = true;
    return yesNo ? IDNO : IDOK;
}

int __wrap_main(int argc, char **argv) {
    if (!ParseOptions(argc, argv)) {
        std::fprintf(stderr, "usage: orvanel-loop-bench [--rounds N] [--block-ms MS] [--frames N] "
                             "[--warmup-frames N] [--sizes WxH,WxH,...]\n");
        return 2;
    }
    const int status = __real_main(); // the program's own, as it ships

    if (runner.rssAfter1000 > 0)
        std::printf("Resident memory after 1,000 program frames: %.1f MiB\n",
                    runner.rssAfter1000 / 1024.0);
    if (runner.rssAtEnd > 0)
        std::printf("Resident memory at the end of the run, after %ld program frames: %.1f MiB "
                    "(peak %.1f MiB)\n",
                    runner.programFrames, runner.rssAtEnd / 1024.0, StatusKb("VmHWM") / 1024.0);
    if (!runner.finished || runner.failed) {
        std::fprintf(stderr, "orvanel-loop-bench: the run did not complete (exit status %d)\n",
                     status);
        return 1;
    }
    return 0;
}

} // extern "C"
