// For the end-to-end tests: a private Xvfb server, the real program
// running on it, and what a user does there: find a window by its title,
// hold a key, look at the pixels, close, minimise and restore.
// Every wait has a timeout; nothing here sleeps for a result.
#pragma once

#include <X11/Xlib.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

// How long any one thing may take before the test gives up on it.
constexpr int kTimeoutMs = 10000;

// A private X server, started on a display number of its own choosing
// (-displayfd), checked to answer, and stopped by its PID.
class XServer {
  public:
    explicit XServer(const std::string &screen); // e.g. "1024x768x24"
    ~XServer();
    XServer(const XServer &) = delete;
    XServer &operator=(const XServer &) = delete;

    bool Ready() const { return display_ != nullptr; }
    const std::string &Error() const { return error_; }
    const std::string &Name() const { return name_; } // ":N"
    Display *X() const { return display_; }

  private:
    pid_t pid_ = -1;
    std::string name_, error_;
    Display *display_ = nullptr;
};

// A program, started with DISPLAY set as given (or unset when empty), its
// standard error kept. Killed by its PID if the test leaves it running.
class Program {
  public:
    Program(const std::string &path, const std::string &display);
    ~Program();
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;

    // The exit status once it has ended, or nothing after timeoutMs.
    std::optional<int> Wait(int timeoutMs = kTimeoutMs);
    bool Running();
    std::string Stderr() const;
    pid_t Pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    std::optional<int> status_;
    std::string stderrPath_;
};

struct Image {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb; // rows from the top
    const std::uint8_t *At(int x, int y) const { return &rgb[(size_t(y) * width + x) * 3]; }
    bool operator==(const Image &o) const {
        return width == o.width && height == o.height && rgb == o.rgb;
    }
    bool operator!=(const Image &o) const { return !(*this == o); }
};

// What a user at the X server sees and does.
class Desk {
  public:
    explicit Desk(Display *x) : x_(x) {}

    // The first viewable top-level window with this title (other than
    // `except`), waited for; 0 if none came.
    Window WaitForWindow(const std::string &title, Window except = 0, int timeoutMs = kTimeoutMs);
    bool WaitUntilGone(Window w, int timeoutMs = kTimeoutMs);
    std::string Title(Window w);
    XWindowAttributes Attributes(Window w);
    // Window properties a window manager reads to decorate or fill the screen.
    bool AsksForFullscreen(Window w);
    bool AsksForNoDecorations(Window w);

    // Keyboard focus to w, as a window manager gives it to a new window.
    void Focus(Window w);
    Window FocusedWindow();
    // Holds a key down for about 100 ms, with the given modifier held
    // around it if any: a key-down and key-up handled in one run of
    // messages would change nothing.
    void Press(const char *key, const char *modifier = nullptr, int holdMs = 100);
    // Holds a key (at least 100 ms) until `done` holds, as a person holds
    // a key until they see it work; false if that never came. On a busy
    // machine a plain press can reach the program as a tap.
    bool HoldUntil(const char *key, const std::function<bool()> &done, int timeoutMs = kTimeoutMs);
    void KeyDown(const char *key);
    void KeyUp(const char *key);
    // The server's auto-repeat: off from the start, so that holding a key
    // gives one key-down; on for what tests repeating.
    void AutoRepeat(bool on);

    // The close box (WM_DELETE_WINDOW), and what a window manager does to
    // minimise (unmap) and restore (map, then focus) a window.
    void Close(Window w);
    void Minimise(Window w);
    void Restore(Window w);
    // What a user does dragging the frame: the client area made this size.
    void Resize(Window w, int width, int height);

    Image Grab(Window w);
    // Grabs until `good` holds; the last grab either way.
    Image WaitForImage(Window w, const std::function<bool(const Image &)> &good,
                       int timeoutMs = kTimeoutMs, bool *met = nullptr);

  private:
    Display *x_;
    std::map<Window, bool> fullscreenAsked_;
};

// Whether the picture shows the start pose at every probe point; says
// where not.
bool ShowsStartPose(const Image &image, std::string *why = nullptr);

} // namespace e2e
