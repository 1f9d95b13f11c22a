"""python3 -m tests.wine.wine EXE SNAPSHOT_TOOL (exit 77, skipped, when EXE is not built):
orvanel.exe under Wine on a fresh prefix in a temporary folder, on the 640x480x16 screen
DISPLAY names."""
import os, re, shutil, sys, tempfile  # noqa: E401
from tests.e2e import harness as h

# The key that answers the question, how the program then shows. Only a Yes changes the display.
ANSWERS = (("Escape", h.WINDOW, "Escape, as No"), ("Return", h.FULLSCREEN, "Yes"))


def expect_window(shown, what, f1_in=None):  # after F1 in that window, if given
    """Fullscreen: it and its drawing surface (a child) at 0,0. A window: a caption above."""
    if f1_in:
        h.hold_until(f1_in, "F1", "F1 to take the window down", lambda: h.gone(f1_in))
    win = h.find_window("Orvanel")
    top = h.geometry(win)
    kids = h.tool("xwininfo", "-children", "-id", str(win))
    x, y = map(int, re.search(r"^\s+0x\w+ .*?\s\d+x\d+\+(-?\d+)\+(-?\d+)\s", kids, re.M).groups())
    full = shown == h.FULLSCREEN
    h.check((top == (0, 0, 640, 480) and (x, y) == (0, 0)) if full else y > 15,
            f"{what}: {top[2]}x{top[3]} at {top[0]},{top[1]}, surface at {x},{y}: "
            f"{'fullscreen' if full else 'a window with a caption'}")
    return win


def scenario(exe, env):
    h.tool("wine", "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N",
           "/f", env=env, timeout=300)  # Wine's own window management: focus on a bare X server
    for answer, shown, what in ANSWERS:
        with h.Program(["wine", exe], env, cwd=os.path.dirname(exe)) as p:
            h.answer("FullScreen ?", answer)
            win = expect_window(shown, what)
            if shown == h.FULLSCREEN:  # a window does not fit on this screen: its pose unseen
                h.expect_pose(win, h.START, "Yes")
                for key, pose in h.POSE_KEYS:
                    h.expect_pose(win, pose, f"after {key}", key)
                for after_f1 in (h.WINDOW, h.FULLSCREEN):
                    win = expect_window(after_f1, "F1", win)
                h.expect_pose(win, pose, "back to fullscreen")
            h.quit(p, win, "Escape", 27, None)
            stop_wine(env)  # its server and services, which would stay a while: the rest is ours


def stop_wine(env):  # the prefix's wineserver, and all on it
    h.tool("wineserver", "-k", env=env, check=False)
    h.tool("wineserver", "-w", env=env, check=False, timeout=60)


def main(exe, snapshot_tool):
    if not os.path.isfile(exe):
        print(f"SKIPPED: {exe} is not built; scripts/windows-build.sh builds it")
        return 77
    env = dict(os.environ, WINEPREFIX=tempfile.mkdtemp(prefix="orvanel-wine."), WINEDEBUG="-all",
               GALLIUM_DRIVER="llvmpipe", WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
    try:  # no Mono or Gecko installers
        def started_scenario():
            h.start(snapshot_tool, "pictures-wine")
            scenario(os.path.abspath(exe), env)
        return h.run(started_scenario)
    finally:
        stop_wine(env)
        shutil.rmtree(env["WINEPREFIX"], ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]))
