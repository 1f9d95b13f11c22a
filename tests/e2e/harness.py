"""The real program on the X server DISPLAY names (scripts/xvfb.sh starts
one a scenario, with no window manager), used as a person would: xdotool
types, xwininfo and xprop look, ImageMagick grabs the window and holds it
against the snapshot tool's frame of the pose. Every wait has a timeout."""
import contextlib
import ctypes
import os
import re
import signal
import subprocess
import tempfile
import time

WAIT = 20.0  # seconds any one thing may take on a busy machine
START = (0, 0, 0, 1, 45)  # green joint, blue joint, wrist, length, gripper
POSE_KEYS = [("F2", (1, 0, 0, 1, 45)), ("F4", (1, 1, 0, 1, 45)),  # each once from START
             ("F6", (1, 1, 1, 1, 45)), ("Right", (1, 1, 1, 2, 45)), ("Up", (1, 1, 1, 2, 46))]
# Pixels off the snapshot of the pose past FUZZ percent (16-bit screens are
# off by up to 3%), in outline (arm or background) and in colour. Measured,
# the right pose: 0 in outline; in colour 0 under Wine, up to 17 on 24 bits,
# 127 on 16, where faces meeting at the jaws' pivot show through each other
# (16-bit depth). One unit off: 169 and more in outline, 193 in colour.
FUZZ, SAME_OUTLINE, SAME_COLOURS = 6, 60, 400
SNAPSHOT = PICTURES = X = D = last = None


class Failure(Exception):
    pass


def check(good, what):
    if not good:
        raise Failure(what)
    print("ok:", what, flush=True)


def wait_for(what, probe, timeout=WAIT):
    deadline = time.monotonic() + timeout
    while not (value := probe()):
        if time.monotonic() > deadline:
            raise Failure(f"gave up after {timeout:.0f} s waiting for {what}")
        time.sleep(0.02)
    return value


def tool(*cmd, timeout=WAIT, check=True, **kw):
    done = subprocess.run(cmd, capture_output=True, text=True, timeout=timeout, **kw)
    if check and done.returncode:
        raise Failure(f"{' '.join(cmd)[:200]} exited {done.returncode}: {done.stderr[-300:]}")
    return done.stdout


def start(snapshot_tool, pictures):
    """One connection held for the run (Xvfb resets when its last client goes)
    brings what a window manager would: the atom SDL looks for to ask for no
    decorations; no auto-repeat, so a key held until it shows is one press."""
    global SNAPSHOT, PICTURES, X, D
    SNAPSHOT, PICTURES = snapshot_tool, os.path.abspath(pictures)
    os.makedirs(PICTURES, exist_ok=True)
    X = ctypes.CDLL("libX11.so.6")
    X.XOpenDisplay.restype = ctypes.c_void_p
    if not (D := ctypes.c_void_p(X.XOpenDisplay(None))):
        raise Failure(f"cannot open display {os.environ.get('DISPLAY')}")
    X.XInternAtom(D, b"_MOTIF_WM_HINTS", 0), X.XAutoRepeatOff(D), X.XSync(D, 0)


class Program(subprocess.Popen):
    """In a session of its own, its stderr kept, killed by its PID on the way out."""

    def __init__(self, cmd, env=None, **kw):
        self.err = tempfile.TemporaryFile()
        super().__init__(cmd, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                         stderr=self.err, start_new_session=True, **kw)

    def __exit__(self, *exc):
        with contextlib.suppress(ProcessLookupError):
            os.killpg(self.pid, signal.SIGKILL)
        return super().__exit__(*exc)

    def stderr_text(self):
        self.err.seek(0)
        return self.err.read().decode(errors="replace")

    def rss_kib(self):
        with open(f"/proc/{self.pid}/status") as f:
            return int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1))


def geometry(win):  # x, y, width, height
    text = tool("xwininfo", "-id", str(win))
    return tuple(map(int, re.findall(r"(?:Absolute upper-left .|Width|Height):\s+(-?\d+)", text)))


def gone(win):  # also once it no longer exists
    return "IsViewable" not in tool("xwininfo", "-id", str(win), check=False)


def find_window(title, old=None):  # viewable, top-level, titled so, not old
    def look():
        tops = re.findall(r'^\s+(0x\w+) "(.*)":', tool("xwininfo", "-root", "-children"), re.M)
        return next((w for w, t in tops if t == title and int(w, 16) != old and not gone(w)), None)
    return int(wait_for(f'a window titled "{title}"', look), 16)


def borderless(win):  # Motif hints: flags, functions, decorations, ...
    hints = re.findall(r"0x\w+", tool("xprop", "-id", str(win), "_MOTIF_WM_HINTS"))
    return len(hints) >= 3 and int(hints[0], 16) & 2 and int(hints[2], 16) == 0


def hold_until(win, key, what, done):
    """Gives the focus, as a window manager would, and holds a key (100 ms at
    least: a key-down and key-up in one run of messages change nothing) until
    done(), as a person does; a busy machine can make a short press a tap."""
    tool("xdotool", "windowfocus", "--sync", str(win))
    tool("xdotool", "keydown", key)  # chained, it would be sent to the window, not typed
    try:
        time.sleep(0.1)
        return wait_for(what, done)
    finally:
        tool("xdotool", "keyup", key)


def answer(caption, key):  # a message box acts on the key's release
    box = find_window(caption)
    hold_until(box, key, key, lambda: True)
    wait_for(f'the "{caption}" box to go after {key}', lambda: gone(box))


def minimise(win, restore=False):  # as a window manager does; --sync: till it is done
    tool("xdotool", "windowmap" if restore else "windowunmap", "--sync", str(win))


def close_box(win):
    """WM_DELETE_WINDOW (xdotool's windowclose destroys the window). The event in
    longs: ClientMessage, serial, send_event, display, window, type, format, data."""
    protocols, delete = (X.XInternAtom(D, n, 0) for n in (b"WM_PROTOCOLS", b"WM_DELETE_WINDOW"))
    event = (ctypes.c_long * 24)(33, 0, 0, 0, win, protocols, 32, delete)
    X.XSendEvent(D, ctypes.c_ulong(win), 0, 0, event), X.XSync(D, 0)


def grab(win):
    tool("import", "-silent", "-window", str(win), path := os.path.join(PICTURES, "shown.png"))
    return path


def differing(*images, outline=False):  # outline: arm or black background
    paint = ["-fill", "white", "+opaque", "black"] if outline else []
    return int(float(tool("convert", *images, "-fuzz", f"{FUZZ}%", *paint, "-metric", "AE",
                          "-compare", "-format", "%[distortion]", "info:")))


def shows(win, pose):
    global last
    snap = os.path.join(PICTURES, "pose_" + "_".join(map(str, pose)) + ".png")
    if not os.path.exists(snap):
        names = ("--piston1", "--piston2", "--piston3", "--trans", "--pince")
        tool(SNAPSHOT, *[a for n, v in zip(names, pose) for a in (n, str(v))], snap)
    shot = grab(win)
    last = differing(shot, snap, outline=True), differing(shot, snap)
    return last[0] <= SAME_OUTLINE and last[1] <= SAME_COLOURS


def expect_pose(win, pose, what, key=None):  # holding key meanwhile if given
    try:
        if key:
            hold_until(win, key, what, lambda: shows(win, pose))
        wait_for(what, lambda: shows(win, pose))
    except Failure as e:
        os.replace(grab(win), wrong := os.path.join(PICTURES, "WRONG.png"))
        raise Failure(f"{e}: {last[0]} pixels off in outline, {last[1]} in colour ({wrong})")
    check(True, f"{what}: pose {pose} ({last[0]} pixels off in outline, {last[1]} in colour)")


def run(scenario, *args):
    started = time.monotonic()
    try:
        scenario(*args)
    except (Failure, subprocess.TimeoutExpired) as e:
        return print(f"FAILED: {e}", flush=True) or 1
    return print(f"passed in {time.monotonic() - started:.1f} s", flush=True) or 0
