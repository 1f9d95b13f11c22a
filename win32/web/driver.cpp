// The browser driver under our Win32 layer: the page's one window frame
// with its canvas, WebGL under our own GL 1.1 (gl.cpp), the
// Fullscreen API as the display mode, and <dialog> boxes. The program's
// loop stays as it is: presenting, waiting and boxes give the browser its
// turn through Asyncify, and the page's events wait in page.js until
// PumpEvents takes them.
#include "win32/layer.h"
#include "win32/web/gl.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

// The page's half, in library.js. The calls marked "sleeps" suspend the
// program until the browser answers.
extern "C" {
void web_take_keys(const char *codes);
int web_next_event(char *code, char *key, int size, int *flags);
void web_wait(int milliseconds); // sleeps
void web_present();              // sleeps
int web_enter_fullscreen();      // sleeps
void web_leave_fullscreen();
int web_box(const char *text, const char *caption, int yesNo, int icon); // sleeps
void web_make_window(const char *title, int fullscreen);
void web_free_window();
void web_set_visible(int visible);
void web_set_cursor_shown(int shown);
void web_keep_screen_on(int on);
}

namespace {

// What web_next_event reports; page.js numbers them the same.
enum Event { kNone, kKeyDown, kKeyUp, kClose, kMinimised, kRestored, kFocused, kBlurred };
const int kRepeat = 1, kAlt = 2, kCtrl = 4;

struct Native {
    driver::WindowSpec asked;
    std::string title;
};

Native *shown = nullptr; // the page has room for one window
int contexts = 0;        // the canvas keeps one WebGL context: these name it

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
    {"PageUp", 0x21},
    {"PageDown", 0x22},
    {"End", 0x23},
    {"Home", 0x24},
    {"Insert", 0x2D},
    {"Delete", 0x2E},
    {"Pause", 0x13},
    {"CapsLock", 0x14},
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
    web_take_keys(CodesOfTheProgram().c_str());
    return true;
}

void *MakeWindow(const WindowSpec &asked) {
    if (shown) {
        layer::Why("the page has room for one window");
        return nullptr;
    }
    shown = new Native{asked, asked.title};
    shown->asked.title = shown->title.c_str();
    web_make_window(asked.title, asked.fullscreen);
    return shown;
}

void FreeWindow(void *window) {
    if (window != shown) return;
    web_free_window();
    delete shown;
    shown = nullptr;
}

void SetVisible(void *, bool visible) {
    web_set_visible(visible);
}

bool SetFormat(void *, const PixelFormat &format) {
    return ChooseFormat(format);
}

void PumpEvents() {
    char code[32], key[32];
    int flags = 0;
    while (int event = web_next_event(code, key, sizeof code, &flags)) {
        const HWND window = layer::WindowOfNative(shown);
        switch (event) {
        case kKeyDown:
        case kKeyUp:
            if (WPARAM vk = VirtualKey(code, key))
                layer::Key(window, vk, event == kKeyDown, flags & kRepeat, flags & kAlt,
                           flags & kCtrl);
            break;
        case kClose:
            layer::CloseAsked(window);
            break;
        case kMinimised:
            layer::Minimised(window, true);
            break;
        case kRestored:
            // Heard with the restore, as a desktop window's size is.
            if (shown) layer::Resized(window, shown->asked.width, shown->asked.height);
            layer::Minimised(window, false);
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
    return reinterpret_cast<void *>(static_cast<std::uintptr_t>(++contexts));
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
    const int answer = web_box(text, caption, buttons == kYesNo, icon);
    if (answer < 0) layer::Why("the page could not show the box");
    return answer;
}

// The page has no signals: nothing ends a box from outside.
void EndBox() {}

} // namespace driver
