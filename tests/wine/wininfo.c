/* A small Windows console tool for the Wine end-to-end tests: it runs in
 * the same Wine session as orvanel.exe and reports what the Win32 side
 * knows and the X screen does not show as text.
 *
 *   wininfo windows      one line per visible top-level window, then one
 *                        per child: class, text, styles, owner, window
 *                        rectangle and client rectangle in screen pixels
 *   wininfo mode         the current display mode, WIDTHxHEIGHTxBITS
 *   wininfo renderer     the GL renderer a window of this session gets
 *   wininfo hold SECONDS stays on the desktop that long, so that a Wine
 *                        virtual desktop outlives the program under test
 *
 * It only reads: no message is sent to another process's windows. */
#include <windows.h>
#include <GL/gl.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void PrintQuoted(const char *s) {
    putchar('"');
    for (; *s; ++s) {
        if (*s == '\n') fputs("\\n", stdout);
        else if (*s == '\r') fputs("\\r", stdout);
        else if (*s == '"' || *s == '\\') printf("\\%c", *s);
        else putchar(*s);
    }
    putchar('"');
}

static void Describe(const char *kind, HWND w) {
    char text[1024] = "", cls[256] = "";
    RECT r, c;
    POINT origin = {0, 0};
    GetWindowTextA(w, text, sizeof text);
    GetClassNameA(w, cls, sizeof cls);
    GetWindowRect(w, &r);
    GetClientRect(w, &c);
    ClientToScreen(w, &origin);
    printf("%s hwnd=%p owner=%p style=%08lx exstyle=%08lx rect=%ld,%ld,%ld,%ld client=%ld,%ld,%ld,%ld class=",
           kind, (void *)w, (void *)GetWindow(w, GW_OWNER), (unsigned long)GetWindowLongA(w, GWL_STYLE),
           (unsigned long)GetWindowLongA(w, GWL_EXSTYLE), r.left, r.top, r.right, r.bottom, origin.x,
           origin.y, origin.x + c.right, origin.y + c.bottom);
    PrintQuoted(cls);
    fputs(" text=", stdout);
    PrintQuoted(text);
    putchar('\n');
}

static BOOL CALLBACK OnChild(HWND w, LPARAM unused) {
    (void)unused;
    Describe("child", w);
    return TRUE;
}

static BOOL CALLBACK OnTopLevel(HWND w, LPARAM unused) {
    (void)unused;
    if (!IsWindowVisible(w)) return TRUE;
    Describe("window", w);
    EnumChildWindows(w, OnChild, 0);
    return TRUE;
}

static int PrintMode(void) {
    DEVMODEA mode;
    memset(&mode, 0, sizeof mode);
    mode.dmSize = sizeof mode;
    if (!EnumDisplaySettingsA(NULL, ENUM_CURRENT_SETTINGS, &mode)) return 1;
    printf("%lux%lux%lu\n", (unsigned long)mode.dmPelsWidth, (unsigned long)mode.dmPelsHeight,
           (unsigned long)mode.dmBitsPerPel);
    return 0;
}

static int PrintRenderer(void) {
    PIXELFORMATDESCRIPTOR pfd;
    memset(&pfd, 0, sizeof pfd);
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 24;
    pfd.cDepthBits = 16;
    /* A hidden window of a system class is enough to get a context. */
    HWND w = CreateWindowA("STATIC", "wininfo", WS_POPUP, 0, 0, 16, 16, NULL, NULL, NULL, NULL);
    HDC dc = w ? GetDC(w) : NULL;
    int format = dc ? ChoosePixelFormat(dc, &pfd) : 0;
    HGLRC rc = NULL;
    if (format && SetPixelFormat(dc, format, &pfd)) rc = wglCreateContext(dc);
    if (!rc || !wglMakeCurrent(dc, rc)) return 1;
    printf("%s | %s\n", (const char *)glGetString(GL_RENDERER), (const char *)glGetString(GL_VERSION));
    wglMakeCurrent(NULL, NULL);
    wglDeleteContext(rc);
    ReleaseDC(w, dc);
    DestroyWindow(w);
    return 0;
}

int main(int argc, char **argv) {
    int status = 2;
    if (argc == 2 && !strcmp(argv[1], "windows")) {
        EnumWindows(OnTopLevel, 0);
        status = 0;
    } else if (argc == 2 && !strcmp(argv[1], "mode")) {
        status = PrintMode();
    } else if (argc == 2 && !strcmp(argv[1], "renderer")) {
        status = PrintRenderer();
    } else if (argc == 3 && !strcmp(argv[1], "hold")) {
        GetDesktopWindow();
        Sleep((DWORD)atoi(argv[2]) * 1000);
        status = 0;
    } else {
        fputs("usage: wininfo windows | mode | renderer | hold SECONDS\n", stderr);
    }
    fflush(stdout);
    return status;
}
