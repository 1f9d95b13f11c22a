#!/usr/bin/env python3
"""linux.py fullscreen|windowed|nodisplay PROGRAM SNAPSHOT_TOOL [--toggles N] [--storm N]
The Linux program end to end: fullscreen on a 640x480x16 screen, windowed on
1024x768x24 (no 640x480 mode), from scripts/xvfb.sh; nodisplay on none."""
import argparse
import os
import random
import sys

import harness as h

STORM_KEYS = ["F2", "F3", "F4", "F5", "F6", "F7", "Right", "Left", "Up", "Down",  # and some
              "a", "space", "Tab", "Home", "F8", "Shift_L", "Control_L"]  # it ignores
# With no display: status 1 and one line on stderr naming it, as X programs do.
NO_DISPLAY = {None: "DISPLAY is not set", ":4093": 'cannot open display ":4093"'}
NO_640x480 = "orvanel: ChangeDisplaySettingsA: the display has no 640x480 mode\n"
LEAK_KIB = 4096  # a window or GL context leaked a toggle would cost megabytes each


def expect_window(old, full, pose, what):
    win = h.find_window("Orvanel", old)
    x, y, width, height = h.geometry(win)
    borderless = h.borderless(win)
    h.check((width, height) == (640, 480) and borderless == full and (not full or (x, y) == (0, 0)),
            f"{what}: {width}x{height} at {x},{y}, {'borderless' if borderless else 'decorated'}")
    h.expect_pose(win, pose, what)
    return win


def toggle(win, full, pose, what):
    h.hold_until(win, "F1", "F1 to take the window down", lambda: h.gone(win))
    return expect_window(win, full, pose, what)


def quit(p, win, key, status, stderr=""):
    h.hold_until(win, key, "the program to end", lambda: p.poll() is not None)
    h.check(p.wait(h.WAIT) == status, f"{key} ends it with status {status}")
    h.check(p.stderr_text() == stderr, f"stderr says {stderr!r}, not {p.stderr_text()!r}")


def fullscreen(program, args):
    with h.Program([program]) as p:
        h.answer("FullScreen ?", "Return")
        win = expect_window(None, True, h.START, "Yes")
        for key, pose in h.POSE_KEYS:
            h.expect_pose(win, pose, f"after {key}", key)
        rss = []
        for i in range(1, max(args.toggles, 2) + 1):  # F1 to a window, back to fullscreen, ...
            win = toggle(win, i % 2 == 0, pose, f"F1 ({i})")
            rss += [p.rss_kib()] if i % 2 == 0 else []
        print(f"live soak: {args.toggles} toggles, rss {rss[0]} -> {rss[-1]} KiB", flush=True)
        h.check(rss[-1] - rss[0] < LEAK_KIB, f"the resident set grows less than {LEAK_KIB} KiB")
        quit(p, win, "Escape", 27)


def storm(win, count):
    """Seeded random key-downs and key-ups, a few keys held at once."""
    rng, held, cmd = random.Random(count), [], ["xdotool"]
    for _ in range(count):
        if held and (len(held) > 3 or rng.random() < 0.5):
            cmd += ["keyup", held.pop(rng.randrange(len(held)))]
        else:
            held.append(rng.choice([k for k in STORM_KEYS if k not in held]))
            cmd += ["keydown", held[-1]]
        cmd += ["sleep", rng.choice(["0", "0.005", "0.02"])]
    h.tool("xdotool", "windowfocus", "--sync", str(win))
    h.tool(*cmd, *[a for k in held for a in ("keyup", k)], timeout=h.WAIT + 0.05 * count)
    print(f"key storm: {count + len(held)} key events", flush=True)


def windowed(program, args):
    with h.Program([program]) as p:
        h.answer("FullScreen ?", "Escape")
        win = expect_window(None, False, h.START, "No")
        h.minimise(win)
        h.minimise(win, restore=True)
        h.expect_pose(win, h.START, "minimised and restored")
        h.expect_pose(win, (-1, 0, 0, 1, 45), "after F3", "F3")
        h.expect_pose(win, (-1, -1, 0, 1, 45), "after F5", "F5")
        h.hold_until(win, "F1", "F1 to take the window down", lambda: h.gone(win))
        h.answer("Vorel GL", "Return")
        win = expect_window(win, False, (-1, -1, 0, 1, 45), "F1, no 640x480 mode, Yes")
        storm(win, args.storm)
        h.check(p.poll() is None, "still running after the storm")
        black = ["-size", "640x480", "xc:black"]
        h.check(h.differing(h.grab(win), *black) > 10000, "still drawing the arm, not black")
        quit(p, win, "alt+F4", 0, NO_640x480)
    with h.Program([program]) as p:
        h.answer("FullScreen ?", "Escape")
        h.close_box(h.find_window("Orvanel"))
        h.check(p.wait(h.WAIT) == 0, "the close box ends it with status 0")


def nodisplay(program, args):
    for display, says in NO_DISPLAY.items():
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        with h.Program([program], dict(env, **({"DISPLAY": display} if display else {}))) as p:
            got, err = p.wait(h.WAIT), p.stderr_text()
        good = got == 1 and err.count("\n") == 1 and says in err
        h.check(good, f"DISPLAY {display}: status {got}" + ("" if good else f", stderr:\n{err}"))


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("scenario", choices=["fullscreen", "windowed", "nodisplay"])
    parser.add_argument("tools", nargs=2, metavar=("PROGRAM", "SNAPSHOT_TOOL"))
    parser.add_argument("--toggles", type=int, default=10)
    parser.add_argument("--storm", type=int, default=200)
    args = parser.parse_args()
    if args.scenario != "nodisplay":
        h.start(args.tools[1], f"pictures-{args.scenario}")
    sys.exit(h.run(globals()[args.scenario], os.path.abspath(args.tools[0]), args))
