// The browser driver under our Win32 layer. The program's loop stays as it
// is: presenting, waiting and boxes give the browser its turn through
// Asyncify, and the page's events wait in page.js until PumpEvents takes
// them.
//
// Does: one window, in the page's own frame, with the canvas's one WebGL
// context, drawn by our own GL 1.1 (gl.cpp); the window's client area the
// picture's size on screen in the screen's pixels, heard again whenever it
// or the pixel density changes; fullscreen with the Fullscreen API as the
// display mode (any size is there to have: the drawing keeps its size and
// is scaled, its aspect kept); boxes as <dialog>s; keys by
// KeyboardEvent.code, from the keyboard and the page's on-screen keys;
// minimising (the frame's button, the page hidden, or the WebGL context
// taken away: the window comes back with the context, which our GL builds
// on again); the screen kept on (Wake Lock); the cursor hidden in
// fullscreen.
// Does not: a second window at once; change the screen's real mode; end a
// box from outside (the page has no signals); F11, F12 and Tab (they stay
// the browser's); the mouse and text input (the program reads neither).
#include "win32/layer.h"
#include "win32/web/gl.h"

#include <emscripten.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

// The page's half, in library.js. The calls marked "sleeps" suspend the
// program until the browser answers.
extern "C" {
void web_take_keys(const char *codes);
int web_next_event(char *code, char *key, int size, int *repeat, int *alt, int *ctrl, int *width,
                   int *height);
void web_wait(int milliseconds); // sleeps
void web_present();              // sleeps
int web_enter_fullscreen();      // sleeps
void web_leave_fullscreen();
int web_box(const char *text, const char *caption, int yesNo, const char *icon,
            const char *glyph); // sleeps
void web_make_window(const char *title, int fullscreen);
void web_free_window();
void web_size_buffer(int width, int height);
void web_set_visible(int visible);
void web_set_cursor_shown(int shown);
void web_keep_screen_on(int on);
}

namespace {

// What web_next_event reports. The page learns the numbers from here, when
// the driver opens.
enum Event {
    kNone,
    kKeyDown,
    kKeyUp,
    kClose,
    kMinimised,
    kRestored,
    kFocused,
    kBlurred,
    kResized,  // the picture's size on screen, in the screen's pixels
    kGivenBack // the WebGL context, after the browser took it away
};
EM_JS(void, web_take_kinds,
      (int keyDown, int keyUp, int close, int minimised, int restored, int focused, int blurred,
       int resized, int givenBack),
      {
          page.kind = {
              keyDown : keyDown,
              keyUp : keyUp,
              close : close,
              minimised : minimised,
              restored : restored,
              focused : focused,
              blurred : blurred,
              resized : resized,
              givenBack : givenBack
          };
      });

// A box's icon, by the name the page's style knows it by, and its glyph.
struct BoxIcon {
    driver::Icon icon;
    const char *name, *glyph;
};
const BoxIcon kIcons[] = {
    {driver::kNoIcon, "none", ""},        {driver::kInformation, "information", "i"},
    {driver::kQuestion, "question", "?"}, {driver::kWarning, "warning", "!"},
    {driver::kError, "error", "\u00d7"},
};

// The driver's state: the page has room for one window, and its canvas
// keeps one WebGL context (numbered, to tell one made from none). The
// drawing buffer is the window's client area.
struct {
    driver::WindowSpec *shown = nullptr; // its title is the layer's, for the window's life
    int contexts = 0;
    int width = 0, height = 0; // the drawing buffer's
} web;

// The drawing buffer at this size, or as near as the browser gives.
void SizeBuffer(int width, int height) {
    if (width == web.width && height == web.height) return; // a new size clears it
    web_size_buffer(width, height);
    web.width = width;
    web.height = height;
    webgl::BufferSize(&web.width, &web.height);
}

// Virtual-key codes by KeyboardEvent.code, for the keys that are not
// letters, digits or function keys. Tab is the only one whose browser use
// stays: it moves the focus out of the page's window.
struct NamedKey {
    const char *code;
    WPARAM vk;
};
const NamedKey kKeys[] = {
    {"Backspace", VK_BACK},
    {"Tab", VK_TAB},
    {"Enter", VK_RETURN},
    {"NumpadEnter", VK_RETURN},
    {"Escape", VK_ESCAPE},
    {"Space", VK_SPACE},
    {"ShiftLeft", VK_SHIFT},
    {"ShiftRight", VK_SHIFT},
    {"ControlLeft", VK_CONTROL},
    {"ControlRight", VK_CONTROL},
    {"AltLeft", VK_MENU},
    {"AltRight", VK_MENU},
    {"ArrowLeft", VK_LEFT},
    {"ArrowUp", VK_UP},
    {"ArrowRight", VK_RIGHT},
    {"ArrowDown", VK_DOWN},
    {"PageUp", VK_PRIOR},
    {"PageDown", VK_NEXT},
    {"End", VK_END},
    {"Home", VK_HOME},
    {"Insert", VK_INSERT},
    {"Delete", VK_DELETE},
    {"Pause", VK_PAUSE},
    {"CapsLock", VK_CAPITAL},
};

// F11 and F12 stay the browser's: its own fullscreen and developer tools.
const int kFunctionKeys = 10;

WPARAM VirtualKey(const std::string &code, const std::string &key) {
    if (code.size() == 4 && code.compare(0, 3, "Key") == 0) return code[3];
    if (code.size() == 6 && code.compare(0, 5, "Digit") == 0) return code[5];
    if (code.size() == 7 && code.compare(0, 6, "Numpad") == 0 && isdigit(code[6])) {
        const int digit = code[6] - '0';
        // The key it typed says whether NumLock was on.
        return layer::KeypadKey(digit, key.size() == 1 && isdigit(key[0]));
    }
    if (code.size() >= 2 && code[0] == 'F' && isdigit(code[1])) {
        const int n = std::atoi(code.c_str() + 1);
        return (n >= 1 && n <= kFunctionKeys) ? VK_F1 + (n - 1) : 0;
    }
    for (const NamedKey &k : kKeys)
        if (code == k.code) return k.vk;
    return 0;
}

// Every code VirtualKey knows, but Tab, for the page to keep the browser's
// hands off them.
std::string CodesOfTheProgram() {
    std::string codes;
    for (char c = 'A'; c <= 'Z'; ++c)
        codes += std::string(" Key") + c;
    for (char c = '0'; c <= '9'; ++c)
        codes += std::string(" Digit") + c + " Numpad" + c;
    for (int n = 1; n <= kFunctionKeys; ++n)
        codes += " F" + std::to_string(n);
    for (const NamedKey &k : kKeys)
        if (k.vk != VK_TAB) codes += std::string(" ") + k.code;
    return codes;
}

} // namespace

namespace driver {

bool Open() {
    web_take_kinds(kKeyDown, kKeyUp, kClose, kMinimised, kRestored, kFocused, kBlurred, kResized,
                   kGivenBack);
    web_take_keys(CodesOfTheProgram().c_str());
    return true;
}

void *MakeWindow(const WindowSpec &asked) {
    if (web.shown) {
        layer::Why("the page has room for one window");
        return nullptr;
    }
    web.shown = new driver::WindowSpec(asked);
    web_make_window(asked.title, asked.fullscreen);
    SizeBuffer(asked.width, asked.height); // until the page says how large it shows it
    return web.shown;
}

void FreeWindow(void *window) {
    if (window != web.shown) return;
    web_free_window();
    delete web.shown;
    web.shown = nullptr;
}

void SetVisible(void *, bool visible) {
    web_set_visible(visible);
}

bool SetFormat(void *, const PixelFormat &format) {
    return ChooseFormat(format);
}

void PumpEvents() {
    char code[32], key[32];
    int repeat, alt, ctrl, width, height;
    while (int event =
               web_next_event(code, key, sizeof code, &repeat, &alt, &ctrl, &width, &height)) {
        const HWND window = layer::WindowOfNative(web.shown);
        switch (event) {
        case kKeyDown:
        case kKeyUp:
            if (WPARAM vk = VirtualKey(code, key))
                layer::Key(window, vk, event == kKeyDown, repeat, alt, ctrl);
            break;
        case kClose:
            layer::CloseAsked(window);
            break;
        case kMinimised:
            layer::Minimised(window);
            break;
        case kRestored:
            if (web.shown) layer::Restored(window, web.width, web.height);
            break;
        case kResized: // fullscreen keeps the display mode's size
            if (!web.shown || web.shown->fullscreen) break;
            SizeBuffer(width, height);
            layer::Resized(window, web.width, web.height);
            break;
        case kGivenBack:
            webgl::Restore();
            break;
        case kFocused:
        case kBlurred:
            layer::Focused(window, event == kFocused);
            break;
        }
    }
}

void WaitEvents(int milliseconds) {
    web_wait(milliseconds);
}

bool Present(void *) {
    webgl::Flush();
    web_present();
    return true;
}

// WebGL draws double-buffered RGBA with a depth buffer, and has no
// accumulation buffer.
bool ChooseFormat(const PixelFormat &format) {
    return format.accum == 0 || layer::Why("WebGL has no accumulation buffer");
}

void *MakeContext(void *) {
    if (!webgl::MakeContext()) {
        layer::Why("the browser gives no WebGL context");
        return nullptr;
    }
    return reinterpret_cast<void *>(static_cast<std::uintptr_t>(++web.contexts));
}

// The canvas's one context is current from the start and stays so.
bool MakeCurrent(void *, void *) {
    return true;
}

void FreeContext(void *) {}

// The browser's fullscreen keeps the drawing at the size it is and scales
// it to the screen, so every size is there to have.
bool SetMode(int, int, int) {
    return web_enter_fullscreen() || layer::Why("the browser refused fullscreen");
}

void RestoreMode() {
    web_leave_fullscreen();
}

void SetCursorShown(bool shown) {
    web_set_cursor_shown(shown);
}

void KeepScreenOn(bool on) {
    web_keep_screen_on(on);
}

int ShowBox(const char *text, const char *caption, Buttons buttons, Icon icon) {
    const BoxIcon *shown = kIcons;
    for (const BoxIcon &i : kIcons)
        if (i.icon == icon) shown = &i;
    const int answer = web_box(text, caption, buttons == kYesNo, shown->name, shown->glyph);
    if (answer < 0) layer::Why("the page could not show the box");
    return answer;
}

// The page has no signals: nothing ends a box from outside.
void EndBox() {}

} // namespace driver
