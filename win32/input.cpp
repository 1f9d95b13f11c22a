// What the driver reports of the user's doing, from its PumpEvents: keys,
// the close box, minimising and restoring, sizes and the focus, turned into
// the messages Windows posts or sends for each.
#include "win32/layer.h"

using layer::Lookup;
using layer::Send;
using layer::state;

namespace {

void SetMinimised(layer::Window &w, bool minimised) {
    const HWND window = w.handle;
    w.minimised = minimised;
    // A minimised window gives up the foreground and a restored one takes it
    // back; either way it hears WM_ACTIVATE with its minimised state, and
    // then its new size.
    if ((state.activeWindow == window) != minimised)
        Send(window, WM_ACTIVATE, MAKEWPARAM(minimised ? WA_INACTIVE : WA_ACTIVE, minimised), 0);
    else
        layer::Activate(window, !minimised);
    const layer::Window *still = Lookup(window);
    if (still)
        Send(window, WM_SIZE, minimised ? SIZE_MINIMIZED : SIZE_RESTORED,
             minimised ? 0 : MAKELPARAM(still->width, still->height));
}

} // namespace

namespace layer {

HWND WindowOfNative(void *native) {
    for (Window &w : state.windows)
        if (native && w.native == native) return w.handle;
    return nullptr;
}

WPARAM KeypadKey(int digit, bool numLock) {
    static const WPARAM kWithout[] = {VK_INSERT, VK_END,   VK_DOWN, VK_NEXT, VK_LEFT,
                                      VK_CLEAR,  VK_RIGHT, VK_HOME, VK_UP,   VK_PRIOR};
    return numLock ? VK_NUMPAD0 + digit : kWithout[digit];
}

// lParam: repeat count 1, and the key flags in its high word: Alt held; the
// key down before (an auto-repeat, or a key-up); the key going up. Keys
// with Alt (but not AltGr's Ctrl+Alt), Alt itself and F10 are system keys.
void Key(HWND window, WPARAM vk, bool down, bool repeat, bool alt, bool ctrl) {
    if (!window) window = state.focusWindow; // keys go to the focus window
    if (!Lookup(window) || vk == 0 || vk > 255) return;
    if (vk == VK_MENU) alt = down; // Alt itself: held from its press on
    const bool system = (alt && !ctrl) || vk == VK_MENU || vk == VK_F10;
    WORD flags = 0;
    if (alt) flags |= KF_ALTDOWN;
    if (!down || repeat) flags |= KF_REPEAT;
    if (!down) flags |= KF_UP;
    const UINT message =
        down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    Post(window, message, vk, MAKELPARAM(1, flags));
}

// What the close box sends; DefWindowProcA makes it WM_CLOSE.
void CloseAsked(HWND window) {
    Post(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void Minimised(HWND window) {
    Window *w = Lookup(window);
    if (w && !w->minimised) SetMinimised(*w, true);
}

// The size comes with the restore, as Windows sends it: WM_SIZE after the
// activation.
void Restored(HWND window, int width, int height) {
    Window *w = Lookup(window);
    if (!w) return;
    if (!w->minimised) return Resized(window, width, height);
    w->width = width;
    w->height = height;
    SetMinimised(*w, false);
}

void Resized(HWND window, int width, int height) {
    Window *w = Lookup(window);
    if (!w || (w->width == width && w->height == height)) return;
    w->width = width;
    w->height = height;
    if (!w->minimised) Send(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
}

void Focused(HWND window, bool focused) {
    if (Lookup(window)) Activate(window, focused);
}

} // namespace layer
