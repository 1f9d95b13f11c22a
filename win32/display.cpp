// USER32's screen: display-mode changes, the cursor's display count, and
// message boxes.
#include "win32/layer.h"

#include <cstddef>
#include <cstdio>

using layer::state;

// A temporary change for the whole display, one at a time; a null record
// goes back to the mode in force before the change.
LONG ChangeDisplaySettingsA(DEVMODEA *mode, DWORD /*flags*/) {
    if (!mode) {
        if (state.modeChanged) driver::RestoreMode();
        state.modeChanged = false;
        return DISP_CHANGE_SUCCESSFUL;
    }
    // The record must reach the fields read here, and name the size.
    const DWORD needed = DM_PELSWIDTH | DM_PELSHEIGHT;
    if (mode->dmSize < offsetof(DEVMODEA, dmDisplayFlags) || (mode->dmFields & needed) != needed)
        return DISP_CHANGE_BADMODE;
    if (layer::Ending() || !layer::Ready("ChangeDisplaySettingsA")) return DISP_CHANGE_FAILED;
    if (state.modeChanged) driver::RestoreMode();
    const int bits = (mode->dmFields & DM_BITSPERPEL) ? (int)mode->dmBitsPerPel : 0;
    state.modeChanged = driver::SetMode((int)mode->dmPelsWidth, (int)mode->dmPelsHeight, bits);
    if (!state.modeChanged) layer::PrintRefusal("ChangeDisplaySettingsA");
    return state.modeChanged ? DISP_CHANGE_SUCCESSFUL : DISP_CHANGE_BADMODE;
}

int ShowCursor(BOOL show) {
    const bool wasShown = state.cursorCount >= 0;
    state.cursorCount += show ? 1 : -1;
    if (wasShown != (state.cursorCount >= 0)) driver::SetCursorShown(state.cursorCount >= 0);
    return state.cursorCount;
}

// Return answers the first button, Escape or closing the box the last one.
// A box that could not be shown answers 0, and its text goes to stderr so
// that the user still learns what it said.
int MessageBoxA(HWND /*owner*/, LPCSTR text, LPCSTR caption, UINT type) {
    const bool yesNo = (type & MB_TYPEMASK) == MB_YESNO;
    driver::Icon icon = driver::kNoIcon;
    switch (type & MB_ICONMASK) {
    case MB_ICONSTOP:
        icon = driver::kError;
        break;
    case MB_ICONQUESTION:
        icon = driver::kQuestion;
        break;
    case MB_ICONEXCLAMATION:
        icon = driver::kWarning;
        break;
    case MB_ICONINFORMATION:
        icon = driver::kInformation;
        break;
    }
    if (!caption) caption = "Error";
    if (!text) text = "";
    if (layer::Ending()) return 0; // the program is closing: no more boxes
    const int answer = driver::ShowBox(text, caption, yesNo ? driver::kYesNo : driver::kOk, icon);
    if (answer < 0 && layer::Ending()) return 0; // taken down by the close request
    if (answer < 0) {
        std::fprintf(stderr, "%s: %s\n", caption, text);
        layer::PrintRefusal("MessageBoxA");
        return 0;
    }
    if (!yesNo) return IDOK;
    return answer == 0 ? IDYES : IDNO;
}
