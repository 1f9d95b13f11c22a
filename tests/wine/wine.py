#!/usr/bin/env python3
"""wine.py EXE SNAPSHOT_TOOL (exit 77, skipped, when EXE is not built)
The Windows program end to end: orvanel.exe under Wine on a fresh prefix in
a temporary folder, on the 640x480x16 screen that DISPLAY names."""
import os
import re
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import harness as h  # noqa: E402


def wine_env(prefix):
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", GALLIUM_DRIVER="llvmpipe",
               WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
    env.pop("WAYLAND_DISPLAY", None)
    return env


def stop_wineserver(env):  # this prefix's, and every Wine process on it
    h.tool("wineserver", "-k", env=env, check=False)
    h.tool("wineserver", "-w", env=env, check=False, timeout=60)


def make_prefix(prefix):
    """With no display (so no dialog shows), no Mono or Gecko installers, and
    Wine's own window management, which focuses its windows on a bare X server.
    Its wineserver, left running without a display, would give the program none."""
    env = {k: v for k, v in wine_env(prefix).items() if k != "DISPLAY"}
    h.tool("wine", "wineboot", "-i", env=env, timeout=300)
    h.tool("wine", "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N",
           "/f", env=env)
    stop_wineserver(env)


def expect_window(old, full, what):
    """Fullscreen: the window covers the screen, its drawing surface (a child X
    window) the window. A window: Wine draws its caption above the surface; it
    does not fit on this screen, so only fullscreen pictures are looked at."""
    win = h.find_window("Orvanel", old)
    top = h.geometry(win)
    kids = h.tool("xwininfo", "-children", "-id", str(win))
    x, y = map(int, re.search(r"^\s+0x\w+ .*?\s\d+x\d+\+(-?\d+)\+(-?\d+)\s", kids, re.M).groups())
    h.check((top == (0, 0, 640, 480) and (x, y) == (0, 0)) if full else y > 15,
            f"{what}: {top[2]}x{top[3]} at {top[0]},{top[1]}, surface at {x},{y}: "
            f"{'fullscreen' if full else 'a window with a caption'}")
    return win


def scenario(exe, env):
    with h.Program(["wine", exe], env, cwd=os.path.dirname(exe)) as p:
        h.answer("FullScreen ?", "Return")
        win = expect_window(None, True, "Yes")
        h.expect_pose(win, h.START, "Yes")
        for key, pose in h.POSE_KEYS:
            h.expect_pose(win, pose, f"after {key}", key)
        for full in (False, True):
            h.hold_until(win, "F1", "F1 to take the window down", lambda: h.gone(win))
            win = expect_window(win, full, "F1")
        h.expect_pose(win, pose, "back to fullscreen")
        h.hold_until(win, "Escape", "the program to end", lambda: p.poll() is not None)
        h.check(p.wait(h.WAIT) == 27, "Escape ends it with status 27")


def main(exe, snapshot_tool):
    if not os.path.isfile(exe):
        return print(f"SKIPPED: {exe} is not built; scripts/windows-build.sh builds it") or 77
    prefix = tempfile.mkdtemp(prefix="orvanel-wine.")
    env = wine_env(prefix)
    try:
        return h.run(lambda: (h.start(snapshot_tool, "pictures-wine"), make_prefix(prefix),
                              scenario(os.path.abspath(exe), env)))
    finally:
        stop_wineserver(env)
        shutil.rmtree(prefix, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]))
