"""python3 -m tests.e2e.linux SCENARIO [--wm] PROGRAM SNAPSHOT_TOOL, from the top folder:
fullscreen on a 640x480x16 Xvfb, windowed on 1024x768x24 (no 640x480 mode), nodisplay on none,
desktop on Xorg (xorg.sh), --wm: openbox."""
import contextlib, os, random, re, sys, time  # noqa: E401
from tests.e2e import harness as h

STORM_KEYS = ["F2", "F3", "F4", "F5", "F6", "F7", "Right", "Left", "Up", "Down",  # and some
              "a", "space", "Tab", "Home", "F8", "Shift_L", "Control_L"]  # it ignores
NO_640x480 = "orvanel: ChangeDisplaySettingsA: the display has no 640x480 mode\n"
# Longer runs: ORVANEL_TOGGLES=200, ORVANEL_STORM=10000.
TOGGLES, STORM = (int(os.environ.get(f"ORVANEL_{k}", n)) for k, n in (("TOGGLES", 10), ("STORM", 200)))
LEAK_KIB = 4096  # a window or GL context leaked a toggle: megabytes


def expect_mode(want, what, within=h.WAIT):  # the screen's size, its output's mode; in ms
    started = time.monotonic()
    while True:
        text = h.tool("xrandr")
        screen, output = map("x".join, re.findall(r"(?:current|primary) (\d+) ?x ?(\d+)", text))
        now = screen if screen == output else f"{screen} (its output at {output})"
        if now == want or time.monotonic() > started + within:
            h.check(now == want, f"{what}: the display at {now}" + f", not {want}" * (now != want))
            return round((time.monotonic() - started) * 1000)
        time.sleep(0.02)


def expect_window(shown, pose, what, display=None, f1_in=None):  # after F1 in f1_in if given
    if f1_in:
        h.hold_until(f1_in, "F1", "F1 to take the window down", lambda: h.gone(f1_in))
    win = h.find_window("Orvanel")
    (x, y, width, height), borderless = h.geometry(win), h.borderless(win)
    full = shown == h.FULLSCREEN
    h.check((width, height) == (640, 480) and borderless == full and (not full or (x, y) == (0, 0)),
            f"{what}: {width}x{height} at {x},{y}, {'borderless' if borderless else 'decorated'}")
    h.expect_pose(win, pose, what)
    if display:
        expect_mode(display, what)
    return win


def cpu_seconds(p):  # user and system time so far
    return sum(map(int, p.proc("stat").rsplit(")", 1)[1].split()[11:13])) / os.sysconf("SC_CLK_TCK")


def fullscreen(program):
    with h.Program([program]) as p:
        h.answer("FullScreen ?", "Return")
        win = expect_window(h.FULLSCREEN, h.START, "Yes")
        for key, pose in h.POSE_KEYS:
            h.expect_pose(win, pose, f"after {key}", key)
        rss = []
        for i in range(1, TOGGLES + 1):  # F1 to a window, back to fullscreen, ...
            shown = h.FULLSCREEN if i % 2 == 0 else h.WINDOW
            win = expect_window(shown, pose, f"F1 ({i})", f1_in=win)
            if i % 2 == 0:
                rss.append(int(re.search(r"VmRSS:\s+(\d+)", p.proc("status"))[1]))
        print(f"live soak: {TOGGLES} toggles, rss {rss[0]} -> {rss[-1]} KiB")
        h.check(rss[-1] - rss[0] < LEAK_KIB, f"the resident set grows less than {LEAK_KIB} KiB")
        h.quit(p, win, "Escape", 27)


def storm(win, count):  # seeded random key-downs and key-ups, a few keys held at once
    rng = random.Random(count)
    held = []
    cmd = ["xdotool"]
    for _ in range(count):
        if held and (len(held) > 3 or rng.random() < 0.5):
            cmd += ["keyup", held.pop(rng.randrange(len(held)))]
        else:
            held.append(rng.choice([k for k in STORM_KEYS if k not in held]))
            cmd += ["keydown", held[-1]]
        cmd += ["sleep", rng.choice(["0", "0.005", "0.02"])]
    h.tool("xdotool", "windowfocus", "--sync", str(win))
    h.tool(*cmd, *[a for k in held for a in ("keyup", k)], timeout=h.WAIT + 0.05 * count)
    print(f"key storm: {count + len(held)} key events")


def windowed(program):
    with h.Program([program]) as p:
        h.answer("FullScreen ?", "Escape")
        win = expect_window(h.WINDOW, h.START, "No")
        h.expect_pose(win, (-1, 0, 0, 1, 45), "after F3", "F3")
        h.expect_pose(win, (-1, -1, 0, 1, 45), "after F5", "F5")
        h.hold_until(win, "F1", "F1 to take the window down", lambda: h.gone(win))
        h.answer("Vorel GL", "Return")
        win = expect_window(h.WINDOW, (-1, -1, 0, 1, 45), "F1, no 640x480 mode, Yes")
        storm(win, STORM)
        black = h.differing(h.grab(win), "-size", "640x480", "xc:black")  # if it is alive
        h.check(black > 9999, f"drawing after the storm: {black} pixels not black")
        h.quit(p, win, "alt+F4", 0, NO_640x480)


def nodisplay(program):  # status 1 and one line naming the display, as X programs do
    for display, says in ((None, "DISPLAY is not set"), (":4093", 'cannot open display ":4093"')):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        with h.Program([program], dict(env, **({"DISPLAY": display} if display else {}))) as p:
            got = p.wait(h.WAIT)
            err = p.stderr_text()
        good = got == 1 and err.count("\n") == 1 and says in err
        h.check(good, f"DISPLAY {display}: status {got}" + ("" if good else f", stderr:\n{err}"))


def desktop(program):  # leaving 640x480, however it ends, puts back the mode just before
    with h.Program(["openbox"]) if h.WM else contextlib.nullcontext():
        managed = ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"]
        if h.WM:
            h.wait_for("openbox", lambda: "# 0x" in h.tool(*managed, check=False))
        focus = h.focused()
        with h.Program(["sh", "-c", "exec xev -root -event substructure >&2"]) as xev:
            with h.Program([program]) as p:  # a close request during the question
                box = h.find_window("FullScreen ?")
                p.terminate()
                h.ends(p, 0, "SIGTERM during the question, within 1 s,", 1)
                h.wait_for("the box to go within 1 s of SIGTERM", lambda: h.gone(box), 1)
                h.check(p.stderr_text() == "", f"SIGTERM: stderr {p.stderr_text()!r}")
            with h.Program([program]) as p:
                box = h.find_window("FullScreen ?")
                p.kill()
                h.wait_for("the box to go within 1 s of SIGKILL", lambda: h.gone(box), 1)
            maps = xev.stderr_text().count("MapNotify")
            h.check(maps == 2, f"the two boxes were the only windows mapped: {maps} maps")
        with h.Program([program]) as p:
            h.answer("FullScreen ?", "Return")
            win = expect_window(h.FULLSCREEN, h.START, "Yes", "640x480")
            if not h.WM:
                h.check(h.focused() == win, "the window takes the keyboard focus")
            with h.Program(["xev"]):  # another window takes the focus: ours stays
                other = h.find_window("Event Tester")
                h.tool("xdotool", "windowfocus", "--sync", str(other))
                time.sleep(0.5)
                h.check(not h.gone(win), "fullscreen, it stays when another window has the focus")
            win = expect_window(h.WINDOW, h.START, "F1", "1024x768", win)
            h.tool("xrandr", "-s", "800x600")  # as a person may while it has a window
            expect_window(h.FULLSCREEN, h.START, "F1 again", "640x480", win)
            p.terminate()
            expect_mode("800x600", "SIGTERM, within 1 s", 1)
            h.ends(p, 0, "SIGTERM")
        with h.Program([program]) as p:  # the window manager's close: No
            h.answer("FullScreen ?", "alt+F4" if h.WM else "Escape")
            win = expect_window(h.WINDOW, h.START, "No", "800x600")
            if not h.WM:
                h.check(h.focused() == win, "the window takes the keyboard focus")
            h.tool("xrandr", "-s", "1024x768")
            win = expect_window(h.FULLSCREEN, h.START, "F1", "640x480", win)
            win = expect_window(h.WINDOW, h.START, "F1", "1024x768", win)
            h.minimise(win)  # it draws nothing: the CPU it takes is its loop's waiting
            was = cpu_seconds(p)
            time.sleep(3)
            share = (cpu_seconds(p) - was) / 3 * 100
            h.check(share < 2, f"minimised: {share:.1f}% of a core")
            h.minimise(win, restore=True)
            h.expect_pose(win, h.START, "minimised and restored")
            h.hold_until(win, "F1", "F1 to take the window down", lambda: h.gone(win))
            win = h.find_window("Orvanel")  # fullscreen, killed before it settles the focus
            h.tool("xkill", "-id", str(win))  # its connection to the display killed
            print(f"mode back after xkill in {expect_mode('1024x768', 'xkill', 1)} ms")
            h.ends(p, 1, "xkill")
        if not h.WM:  # where a window manager would not put it
            h.check(h.focused() == focus, f"the focus after: {h.focused()}, before: {focus}")


if __name__ == "__main__":
    scenario, program, snapshot_tool = [a for a in sys.argv[1:] if a != "--wm"]
    wm = "--wm" in sys.argv
    if scenario != "nodisplay":
        h.start(snapshot_tool, f"pictures-{scenario}{'-wm' * wm}", wm)
    sys.exit(h.run(globals()[scenario], os.path.abspath(program)))
