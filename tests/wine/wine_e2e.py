#!/usr/bin/env python3
"""End-to-end tests of the Windows program: the MinGW-built orvanel.exe run
under Wine (Mesa's llvmpipe drawing) on private Xvfb servers, and used as a
person would use it: read the question box, click or type the answer, look
at the window's pixels, hold keys, close the window, read the exit status.

    wine_e2e.py setup   --state FILE --exe EXE --wininfo SRC --probes TOOL
    wine_e2e.py run CASE --state FILE --exe EXE --shots DIR
    wine_e2e.py cleanup --state FILE

`setup` prepares one fresh Wine prefix in a temporary folder (no dialog,
no display) and builds the small Win32 inspection tool wininfo.exe; every
case then runs on that prefix with a wineserver of its own, which it stops
with `wineserver -k` for that prefix only; `cleanup` removes the folder.
Every wait has a timeout. Exit status: 0 passed, 1 failed, 77 skipped
(no orvanel.exe built).
"""

import argparse
import ctypes
import math
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import zlib

SKIP = 77
WAIT = 20.0  # seconds any one thing may take to show up
TOLERANCE = 12  # per colour channel, as in the drawing tests

WS_POPUP = 0x80000000
WS_OVERLAPPEDWINDOW = 0x00CF0000
WS_CAPTION = 0x00C00000
WS_CLIPS = 0x06000000  # WS_CLIPSIBLINGS | WS_CLIPCHILDREN
WS_EX_APPWINDOW = 0x00040000
WS_EX_WINDOWEDGE = 0x00000100
SS_TYPEMASK, SS_ICON = 0x1F, 0x03

QUESTION = ("FullScreen ?", "Passer en plein ecran (640x480) ?")
FALLBACK = ("Vorel GL", "The Requested Fullscreen Mode Is Not Supported By\n"
            "Your Video Card. Use Windowed Mode Instead?")
CLOSING = ("ERROR", "Program Will Now Close.")


class Failure(Exception):
    pass


def log(text):
    print(text, flush=True)


def wait_for(what, probe, timeout=WAIT, interval=0.1):
    """Polls probe() until it returns something true; fails after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f"gave up after {timeout:.0f} s waiting for {what}")
        time.sleep(interval)


def run(cmd, env=None, timeout=WAIT, check=True, **kw):
    try:
        done = subprocess.run(cmd, env=env, timeout=timeout, capture_output=True, text=True, **kw)
    except subprocess.TimeoutExpired:
        raise Failure(f"{' '.join(cmd)} did not finish in {timeout:.0f} s")
    if check and done.returncode != 0:
        raise Failure(f"{' '.join(cmd)} exited {done.returncode}: {done.stderr.strip()[-500:]}")
    return done


# ---------------------------------------------------------------- pictures

class Image:
    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.rgb[i:i + 3])

    def crop(self, left, top, width, height):
        if left < 0 or top < 0 or left + width > self.width or top + height > self.height:
            raise Failure(f"{width}x{height}+{left}+{top} is not inside the {self.width}x{self.height} screen")
        rows = [self.rgb[((top + y) * self.width + left) * 3:((top + y) * self.width + left + width) * 3]
                for y in range(height)]
        return Image(width, height, b"".join(rows))

    def __eq__(self, other):
        return (self.width, self.height, self.rgb) == (other.width, other.height, other.rgb)

    def save_png(self, path):
        raw = b"".join(b"\0" + self.rgb[y * self.width * 3:(y + 1) * self.width * 3] for y in range(self.height))

        def chunk(kind, data):
            return (struct.pack(">I", len(data)) + kind + data +
                    struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n" +
                    chunk(b"IHDR", struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)) +
                    chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b""))


def near(got, want, tolerance=TOLERANCE):
    return all(abs(g - w) <= tolerance for g, w in zip(got, want))


# ------------------------------------------------------ the arm, predicted
# Where each box of the arm lands on the screen for a pose, from the same
# transforms the program draws with. Points well inside one box's outline
# (and outside every box of another colour) must show its colour; points
# well outside every outline must show the black background.

def _mul(a, b):
    return [[sum(a[i][k] * b[k][j] for k in range(4)) for j in range(4)] for i in range(4)]


def _translate(x, y, z):
    return [[1, 0, 0, x], [0, 1, 0, y], [0, 0, 1, z], [0, 0, 0, 1]]


def _scale(x, y, z):
    return [[x, 0, 0, 0], [0, y, 0, 0], [0, 0, z, 0], [0, 0, 0, 1]]


def _rotate(degrees, axis):
    c, s = math.cos(math.radians(degrees)), math.sin(math.radians(degrees))
    if axis == "z":
        return [[c, -s, 0, 0], [s, c, 0, 0], [0, 0, 1, 0], [0, 0, 0, 1]]
    return [[1, 0, 0, 0], [0, c, -s, 0], [0, s, c, 0], [0, 0, 0, 1]]


def _chain(*ms):
    out = ms[0]
    for m in ms[1:]:
        out = _mul(out, m)
    return out


def _apply(m, p):
    return tuple(sum(m[i][k] * v for k, v in enumerate(p + (1,))) for i in range(3))


START_POSE = {"green": 0, "blue": 0, "wrist": 0, "length": 1, "gripper": 45}

RED, GREEN, BLUE = (255, 0, 0), (0, 255, 0), (0, 0, 255)
SECOND_PIECE, JAW_ONE, JAW_TWO = (0, 77, 179), (128, 51, 255), (230, 128, 77)
BLACK = (0, 0, 0)


def arm_boxes(pose):
    """(name, colour, matrix) for each box; the matrix maps the unit box
    [0,1] x [0,1] x [-1,0] to eye space."""
    boxes = []
    m = _translate(-10, -5, -25)

    def segment(m, name, colour, angle):
        m = _chain(m, _translate(0, 1.5, -1.5), _rotate(angle, "z"), _translate(0, -1.5, 1.5))
        boxes.append((name + " segment", colour, _mul(m, _scale(3, 3, 3))))
        return _mul(m, _translate(3, 0, 0))

    def connector(m, name, colour):
        boxes.append((name + " connector", colour, _chain(m, _translate(0, 0.75, 0), _scale(1.5, 1.5, 1.5))))
        return _mul(m, _translate(1.5, 0, 0))

    length = pose["length"]
    m = connector(segment(m, "red", RED, 0), "red", RED)
    m = connector(segment(m, "green", GREEN, pose["green"]), "green", GREEN)
    m = segment(m, "blue", BLUE, pose["blue"])
    m = _chain(m, _translate(0, 1.5, -1.5), _rotate(pose["wrist"], "x"), _translate(0, -1.5, 1.5))
    piece = _chain(_translate(0, 1, -1), _scale(length, 1, 1))
    boxes.append(("first piece", BLUE, _mul(m, piece)))
    m = _mul(m, _translate(length, 0, 0))
    boxes.append(("second piece", SECOND_PIECE, _mul(m, piece)))
    base = _mul(m, _translate(length, 1, -1))
    for name, colour, sign in (("jaw one", JAW_ONE, 1), ("jaw two", JAW_TWO, -1)):
        jaw = _chain(base, _translate(0, 0.5, 0), _rotate(sign * pose["gripper"], "z"), _translate(0, -0.5, 0))
        boxes.append((name, colour, _mul(jaw, _scale(5, 1, 1))))
        tip = _chain(jaw, _translate(5, 0.5, 0), _rotate(-sign * 80, "z"), _translate(0, -0.5, 0))
        boxes.append((name + " tip", colour, _mul(tip, _scale(5, 1, 1))))
    return boxes


def to_pixel(eye):
    """Top-down pixel coordinates in the 640x480 client area (45-degree
    perspective), matching the shared probes' placement."""
    f, aspect = 1 / math.tan(math.radians(22.5)), 640 / 480
    x = f / aspect * eye[0] / -eye[2]
    y = f * eye[1] / -eye[2]
    return (x + 1) * 320, 480 - (y + 1) * 240


def _hull(points):
    pts = sorted(set(points))

    def cross(o, a, b):
        return (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0])
    lower, upper = [], []
    for p in pts:
        while len(lower) >= 2 and cross(lower[-2], lower[-1], p) <= 0:
            lower.pop()
        lower.append(p)
    for p in reversed(pts):
        while len(upper) >= 2 and cross(upper[-2], upper[-1], p) <= 0:
            upper.pop()
        upper.append(p)
    return lower[:-1] + upper[:-1]


class Outline:
    """A box's convex outline on the screen, with margins."""

    def __init__(self, matrix):
        corners = [to_pixel(_apply(matrix, (x, y, z))) for x in (0, 1) for y in (0, 1) for z in (0, -1)]
        hull = _hull(corners)
        self.edges = []
        cx = sum(p[0] for p in hull) / len(hull)
        cy = sum(p[1] for p in hull) / len(hull)
        for a, b in zip(hull, hull[1:] + hull[:1]):
            nx, ny = a[1] - b[1], b[0] - a[0]
            norm = math.hypot(nx, ny)
            nx, ny = nx / norm, ny / norm
            if nx * (cx - a[0]) + ny * (cy - a[1]) < 0:
                nx, ny = -nx, -ny
            self.edges.append((nx, ny, nx * a[0] + ny * a[1]))
        xs, ys = [p[0] for p in hull], [p[1] for p in hull]
        self.box = (min(xs), min(ys), max(xs), max(ys))

    def depth(self, x, y):
        """Distance inside the outline (negative outside, at least that far)."""
        if not (self.box[0] - 50 <= x <= self.box[2] + 50 and self.box[1] - 50 <= y <= self.box[3] + 50):
            return -50.0
        return min(nx * x + ny * y - c for nx, ny, c in self.edges)


def predicted(pose, margin=2.0, step=5):
    """{(x, y): colour} for the sample points whose colour the pose decides."""
    outlines = [(colour, Outline(m)) for _, colour, m in arm_boxes(pose)]
    points = {}
    for y in range(2, 480, step):
        for x in range(2, 640, step):
            inside, unsure = set(), False
            for colour, outline in outlines:
                d = outline.depth(x + 0.5, y + 0.5)
                if d >= margin:
                    inside.add(colour)
                elif d > -margin:
                    unsure = True
            if unsure or len(inside) > 1:
                continue
            points[(x, y)] = inside.pop() if inside else BLACK
    return points


def changed_pixels_outside(before, after, pose_before, pose_after, margin=2.0):
    """Counts the pixels that differ between two pictures, and lists those
    that lie outside every box that moved from one pose to the other."""
    boxes_before, boxes_after = arm_boxes(pose_before), arm_boxes(pose_after)
    moving = []
    for (_, _, a), (_, _, b) in zip(boxes_before, boxes_after):
        if any(abs(a[i][j] - b[i][j]) > 1e-9 for i in range(4) for j in range(4)):
            moving += [Outline(a), Outline(b)]
    changed, outside = 0, []
    row_bytes = before.width * 3
    for y in range(before.height):
        row_a = before.rgb[y * row_bytes:(y + 1) * row_bytes]
        row_b = after.rgb[y * row_bytes:(y + 1) * row_bytes]
        if row_a == row_b:
            continue
        for x in range(before.width):
            if row_a[x * 3:x * 3 + 3] != row_b[x * 3:x * 3 + 3]:
                changed += 1
                if all(o.depth(x + 0.5, y + 0.5) < -margin for o in moving):
                    outside.append((x, y))
    return changed, outside


def describe_pose(pose):
    return ", ".join(f"{k} {v}" for k, v in pose.items())


# --------------------------------------------------------------- a session

class X:
    """libX11 through ctypes, for the one thing the command-line tools do
    not do: the close box's WM_DELETE_WINDOW message."""

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                    ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                    ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                    ("data", ctypes.c_long * 5)]

    class Event(ctypes.Union):
        pass

    Event._fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]

    @classmethod
    def delete_window(cls, display, window):
        lib = ctypes.CDLL("libX11.so.6")
        lib.XOpenDisplay.restype = ctypes.c_void_p
        lib.XOpenDisplay.argtypes = [ctypes.c_char_p]
        lib.XInternAtom.restype = ctypes.c_ulong
        lib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        lib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                   ctypes.POINTER(cls.Event)]
        lib.XFlush.argtypes = [ctypes.c_void_p]
        lib.XCloseDisplay.argtypes = [ctypes.c_void_p]
        dpy = lib.XOpenDisplay(display.encode())
        if not dpy:
            raise Failure(f"cannot open display {display}")
        try:
            ev = cls.Event()
            ev.xclient.type = 33  # ClientMessage
            ev.xclient.window = window
            ev.xclient.message_type = lib.XInternAtom(dpy, b"WM_PROTOCOLS", 0)
            ev.xclient.format = 32
            ev.xclient.data[0] = lib.XInternAtom(dpy, b"WM_DELETE_WINDOW", 0)
            ev.xclient.data[1] = 0  # CurrentTime
            lib.XSendEvent(dpy, window, 0, 0, ctypes.byref(ev))
            lib.XFlush(dpy)
        finally:
            lib.XCloseDisplay(dpy)


_TREE_LINE = re.compile(r'^(\s*)(0x[0-9a-f]+) (?:"(.*)"|\(has no name\)): \(.*?\)\s+'
                        r'(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)\s*$')


class Session:
    """One case: a private Xvfb server (or none), a wineserver of its own on
    the shared prefix, the program under test and what a user does."""

    def __init__(self, ctx, name, screen):
        self.ctx, self.name, self.screen = ctx, name, screen
        self.display = None
        self.xvfb = None
        self.program = None
        self.shots = 0
        self.env = ctx.wine_env()
        self.log_path = os.path.join(ctx.shots, f"{name}.log")
        self.log_file = open(self.log_path, "w")

    # -- life cycle
    def __enter__(self):
        self.ctx.stop_wineserver()
        if self.screen:
            self.start_xvfb()
            self.env["DISPLAY"] = self.display
        return self

    def __exit__(self, *exc):
        # The prefix's own wineserver first, then the program if it is
        # somehow still there, then the X server: all by our own handles.
        try:
            self.ctx.stop_wineserver(self.env)
        finally:
            if self.program and self.program.poll() is None:
                self.program.kill()
                self.program.wait(timeout=WAIT)
            if self.xvfb and self.xvfb.poll() is None:
                self.xvfb.terminate()
                try:
                    self.xvfb.wait(timeout=WAIT)
                except subprocess.TimeoutExpired:
                    self.xvfb.kill()
                    self.xvfb.wait(timeout=WAIT)
            self.log_file.close()
        return False

    def start_xvfb(self):
        for number in range(70, 200):
            if os.path.exists(f"/tmp/.X{number}-lock") or os.path.exists(f"/tmp/.X11-unix/X{number}"):
                continue
            display = f":{number}"
            # -r: no key repeat, so that a held key is exactly one press
            # however long a loaded machine makes the hold.
            xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", self.screen, "-nolisten", "tcp",
                                     "-noreset", "-r"], stdout=subprocess.DEVNULL, stderr=self.log_file)
            deadline = time.monotonic() + WAIT
            while xvfb.poll() is None and time.monotonic() < deadline:
                if subprocess.run(["xdpyinfo", "-display", display], capture_output=True, timeout=WAIT).returncode == 0:
                    self.xvfb, self.display = xvfb, display
                    log(f"  Xvfb {display} at {self.screen} (pid {xvfb.pid})")
                    return
                time.sleep(0.03)
            if xvfb.poll() is None:  # alive but never answered
                xvfb.kill()
            xvfb.wait(timeout=WAIT)  # it died: that number was taken after all
        raise Failure("no free display number from :70 to :199 for Xvfb")

    # -- the program
    def start_program(self):
        exe = self.ctx.exe
        self.log_file.write(f"--- wine {exe}\n")
        self.log_file.flush()
        self.program = subprocess.Popen(["wine", exe], cwd=os.path.dirname(exe), env=self.env,
                                        stdin=subprocess.DEVNULL, stdout=self.log_file, stderr=self.log_file)
        log(f"  started orvanel.exe under Wine (pid {self.program.pid})")

    def expect_running(self):
        if self.program.poll() is not None:
            raise Failure(f"orvanel.exe ended early with status {self.program.returncode}")

    def expect_exit(self, status, timeout=WAIT):
        try:
            got = self.program.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"orvanel.exe still running {timeout:.0f} s after it should have ended")
        if got != status:
            raise Failure(f"orvanel.exe exited {got}, expected {status}")
        log(f"ok: orvanel.exe exited {got}")

    # -- what the Win32 side says
    def wininfo(self, *args):
        return run(["wine", self.ctx.wininfo] + list(args), env=self.env).stdout

    def windows(self):
        """Visible top-level windows, each with its children."""
        tops = []
        for line in self.wininfo("windows").splitlines():
            kind, _, rest = line.partition(" ")
            w = {"kind": kind}
            for key, value in re.findall(r'(\w+)=("(?:[^"\\]|\\.)*"|\S+)', rest):
                if value.startswith('"'):
                    value = (value[1:-1].replace("\\n", "\n").replace("\\r", "\r")
                             .replace('\\"', '"').replace("\\\\", "\\"))
                elif key in ("rect", "client"):
                    value = tuple(int(v) for v in value.split(","))
                elif key in ("style", "exstyle"):
                    value = int(value, 16)
                elif key in ("hwnd", "owner"):
                    value = int(value, 16)
                w[key] = value
            if kind == "window":
                w["children"] = []
                tops.append(w)
            elif tops:
                tops[-1]["children"].append(w)
        return tops

    def find_window(self, title, cls=None):
        for w in self.windows():
            if w["text"] == title and (cls is None or w["class"] == cls):
                return w
        return None

    def mode(self):
        return self.wininfo("mode").strip()

    # -- what the X server shows
    def grab(self):
        """The whole X screen."""
        try:
            done = subprocess.run(["import", "-silent", "-display", self.display, "-window", "root",
                                   "-depth", "8", "ppm:-"], env=self.env, capture_output=True, timeout=WAIT)
        except subprocess.TimeoutExpired:
            raise Failure("import did not grab the screen in time")
        if done.returncode != 0:
            raise Failure(f"import failed: {done.stderr.decode(errors='replace')[-300:]}")
        m = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", done.stdout)
        if not m or m.group(3) != b"255":
            raise Failure("import gave no 8-bit PPM")
        width, height = int(m.group(1)), int(m.group(2))
        return Image(width, height, done.stdout[m.end():m.end() + width * height * 3])

    def save(self, image, what):
        self.shots += 1
        path = os.path.join(self.ctx.shots, f"{self.name}-{self.shots:02d}-{what}.png")
        image.save_png(path)
        return path

    def x_tree(self):
        """Every X window: (id, name, width, height, x, y, depth in tree)."""
        out = run(["xwininfo", "-display", self.display, "-root", "-tree"]).stdout
        windows = []
        for line in out.splitlines():
            m = _TREE_LINE.match(line)
            if m:
                windows.append({"id": int(m.group(2), 16), "name": m.group(3), "indent": len(m.group(1)),
                                "w": int(m.group(4)), "h": int(m.group(5)),
                                "x": int(m.group(6)), "y": int(m.group(7))})
        return windows

    def x_children(self, parent):
        tree = self.x_tree()
        for i, w in enumerate(tree):
            if w["id"] == parent["id"]:
                kids = []
                for k in tree[i + 1:]:
                    if k["indent"] <= w["indent"]:
                        break
                    kids.append(k)
                return kids
        return []

    def wait_x_window(self, name):
        """Waits until the screen has a window of that name. Looking on the
        screen first also keeps wininfo.exe from starting while the
        program's Wine session is still starting up: two Wine processes
        starting at once on a new wineserver can leave one of them hanging."""
        return wait_for(f'an X window titled "{name}"', lambda: self.x_window(name))

    def x_window(self, name):
        """The first X window of that name, at any depth (on a Wine virtual
        desktop, the program's windows are children of the desktop's)."""
        found = [w for w in self.x_tree() if w["name"] == name]
        return found[0] if found else None

    # -- what a user does
    def press(self, key, times=1):
        """Presses a key `times` times, each held 250 ms: a key-down and
        key-up handled before the same frame would change nothing, and a
        busy machine can hold up a frame. One xdotool run for all, so the
        timing does not depend on starting a process per key."""
        cmd = ["xdotool"]
        for _ in range(times):
            cmd += ["keydown", key, "sleep", "0.25", "keyup", key, "sleep", "0.05"]
        run(cmd, env=self.env, timeout=WAIT + 0.3 * times)

    def alt_f4(self):
        run(["xdotool", "keydown", "alt", "sleep", "0.05", "keydown", "F4", "sleep", "0.15",
             "keyup", "F4", "sleep", "0.05", "keyup", "alt"], env=self.env)

    def click(self, x, y):
        run(["xdotool", "mousemove", str(x), str(y), "click", "1"], env=self.env)

    # -- checks
    def expect_box(self, caption, text, buttons, icon):
        """Waits for a message box; checks its caption, text, buttons, icon
        (by its colours on the screen) and that no window owns it. Returns
        {button label: screen centre}."""
        self.wait_x_window(caption)
        box = wait_for(f'the "{caption}" box', lambda: self.find_window(caption, "#32770"))
        kids = box["children"]
        texts = [k["text"] for k in kids if k["class"] == "Static" and k["text"]]
        labels = [k["text"] for k in kids if k["class"] == "Button"]
        icons = [k for k in kids if k["class"] == "Static" and (k["style"] & SS_TYPEMASK) == SS_ICON]
        if texts != [text]:
            raise Failure(f'the "{caption}" box says {texts!r}, expected {[text]!r}')
        if labels != buttons:
            raise Failure(f'the "{caption}" box has buttons {labels!r}, expected {buttons!r}')
        if box["owner"] != 0:
            raise Failure(f'the "{caption}" box has an owner window')
        if len(icons) != 1:
            raise Failure(f'the "{caption}" box has {len(icons)} icons')
        shot = self.grab()
        self.save(shot, caption.strip(" ?").replace(" ", "-").lower() + "-box")
        left, top, right, bottom = icons[0]["rect"]
        seen = icon_kind(shot.crop(left, top, right - left, bottom - top))
        if seen != icon:
            raise Failure(f'the "{caption}" box shows a {seen} icon, expected {icon}')
        log(f'ok: box "{caption}": {text!r}, buttons {" ".join(buttons)}, {icon} icon, no owner')
        return {k["text"]: ((k["rect"][0] + k["rect"][2]) // 2, (k["rect"][1] + k["rect"][3]) // 2)
                for k in kids if k["class"] == "Button"}

    def expect_no_box(self, caption):
        if self.find_window(caption, "#32770"):
            raise Failure(f'a "{caption}" box is showing')

    def expect_gone(self, caption):
        wait_for(f'the "{caption}" box to close', lambda: not self.find_window(caption, "#32770"))

    def expect_window(self, fullscreen, previous=None):
        """Waits for the program's window; checks its class, styles and a
        640x480 client area. Returns the window."""
        def ready():
            w = self.find_window("Orvanel", "OpenGL")
            return w if w and w["hwnd"] != (previous or {}).get("hwnd") else None
        self.wait_x_window("Orvanel")
        w = wait_for('a window titled "Orvanel"', ready)
        style, exstyle = w["style"], w["exstyle"]
        left, top, right, bottom = w["client"]
        if (right - left, bottom - top) != (640, 480):
            raise Failure(f"client area {right - left}x{bottom - top}, expected 640x480")
        if style & WS_CLIPS != WS_CLIPS:
            raise Failure(f"style {style:08x} lacks WS_CLIPSIBLINGS | WS_CLIPCHILDREN")
        if fullscreen:
            if not style & WS_POPUP or style & WS_CAPTION or exstyle & WS_EX_WINDOWEDGE or \
                    not exstyle & WS_EX_APPWINDOW:
                raise Failure(f"not a fullscreen popup: style {style:08x}, extended {exstyle:08x}")
            if w["rect"] != (0, 0, 640, 480):
                raise Failure(f"fullscreen window at {w['rect']}, expected (0, 0, 640, 480)")
        else:
            if style & WS_OVERLAPPEDWINDOW != WS_OVERLAPPEDWINDOW or style & WS_POPUP or \
                    exstyle & (WS_EX_APPWINDOW | WS_EX_WINDOWEDGE) != WS_EX_APPWINDOW | WS_EX_WINDOWEDGE:
                raise Failure(f"not an overlapped window: style {style:08x}, extended {exstyle:08x}")
            wl, wt, wr, wb = w["rect"]
            if not (wl < left and wt < top and wr > right and wb > bottom):
                raise Failure(f"window {w['rect']} does not frame its client area {w['client']}")
        kind = "fullscreen popup" if fullscreen else "overlapped window"
        log(f'ok: "Orvanel" {kind}, window {w["rect"]}, client area 640x480 at ({left}, {top})')
        return w

    def client_image(self, window):
        left, top, _, _ = window["client"]
        return self.grab().crop(left, top, 640, 480)

    def expect_pose(self, window, pose, what, probes=False, moved_from=None):
        """Waits until the client area shows the arm in this pose: every
        sample point that the pose decides has its colour (and, with
        probes, the shared start-pose probes hold). With moved_from, at
        least 20 of those points must be predicted to have changed colour
        since that pose, so that the picture tells the two apart."""
        want = predicted(pose)
        coloured = sum(1 for c in want.values() if c != BLACK)
        if coloured < 100:
            raise Failure(f"the prediction for {describe_pose(pose)} covers only {coloured} points")
        changed = ""
        if moved_from is not None:
            before = predicted(moved_from)
            count = sum(1 for xy, c in want.items() if xy in before and before[xy] != c)
            if count < 20:
                raise Failure(f"{describe_pose(pose)} differs from {describe_pose(moved_from)} at only "
                              f"{count} sample points: too little to see")
            changed = f", {count} of them changed"
        last = {"image": None, "why": ""}

        def good():
            image = self.client_image(window)
            last["image"] = image
            wrong = [(xy, c, image.at(*xy)) for xy, c in want.items() if not near(image.at(*xy), c)]
            if probes:
                wrong += [((x, y), rgb, image.at(x, y)) for x, y, rgb, _ in self.ctx.probes
                          if not near(image.at(x, y), rgb)]
            if wrong:
                last["why"] = (f"{len(wrong)} of {len(want)} points differ, e.g. " +
                               "; ".join(f"at {xy} {got} instead of {c}" for xy, c, got in wrong[:4]))
                return False
            return True
        try:
            wait_for(f"the {what} ({describe_pose(pose)})", good, timeout=10)
        except Failure as e:
            path = self.save(last["image"], what.replace(" ", "-") + "-WRONG")
            raise Failure(f"{e}: {last['why']} (picture: {path})")
        self.save(last["image"], what.replace(" ", "-"))
        extra = f" and the {len(self.ctx.probes)} start-pose probes" if probes else ""
        log(f"ok: {what}: {len(want)} sample points ({coloured} on the arm{changed}){extra} as predicted")
        return last["image"]

    def expect_moved(self, before, after, pose_before, pose_after, what):
        """The pictures differ, and only where the pieces that moved were
        or now are."""
        changed, outside = changed_pixels_outside(before, after, pose_before, pose_after)
        if not changed:
            raise Failure(f"{what} changed nothing on the screen")
        if outside:
            raise Failure(f"{what} changed {len(outside)} pixels away from the pieces that move, "
                          f"e.g. at {outside[:4]}")
        log(f"ok: {what} changed {changed} pixels, all on the pieces that move")

    def expect_image(self, window, image, what):
        try:
            wait_for(what, lambda: self.client_image(window) == image, timeout=10)
        except Failure as e:
            path = self.save(self.client_image(window), what.replace(" ", "-") + "-WRONG")
            raise Failure(f"{e} (picture: {path})")
        log(f"ok: {what}")


def icon_kind(image):
    """question (blue), exclamation (orange) or stop (red), by the colours
    that fill most of the icon."""
    counts = {"question": 0, "exclamation": 0, "stop": 0}
    for y in range(image.height):
        for x in range(image.width):
            r, g, b = image.at(x, y)
            if max(r, g, b) - min(r, g, b) < 60:
                continue
            if b > r and b > g:
                counts["question"] += 1
            elif r > 150 and g > 90 and b < 100:
                counts["exclamation"] += 1
            elif r > 150 and g < 90 and b < 90:
                counts["stop"] += 1
    kind = max(counts, key=counts.get)
    others = sum(counts.values()) - counts[kind]
    return kind if counts[kind] >= 200 and others < counts[kind] // 4 else f"unclear {counts}"


# -------------------------------------------------------------- the cases

# (key up, key down, pose value, presses)
# The wrist turns the gripper about the arm's own axis, mostly in depth, so
# a few degrees of it change only a few pixels.
POSE_KEYS = [
    ("F2", "F3", "green", 4),
    ("F4", "F5", "blue", 4),
    ("F6", "F7", "wrist", 8),
    ("Right", "Left", "length", 1),
    ("Up", "Down", "gripper", 6),
]


def case_windowed(s):
    """Answered No: a 640x480 window with the start pose; every pose key
    moves the arm where it should and its partner brings it back; F1 on a
    display that refuses 640x480x16 asks the fallback question and, on
    Yes, opens a new window with the pose kept; Escape exits 27."""
    s.start_program()
    buttons = s.expect_box(*QUESTION, ["&Yes", "&No"], "question")
    s.click(*buttons["&No"])
    s.expect_gone(QUESTION[0])
    window = s.expect_window(fullscreen=False)

    # The GL drawing surface is the X window that sits exactly on the
    # client area.
    top = wait_for('the X window titled "Orvanel"', lambda: s.x_window("Orvanel"))
    left, upper = window["client"][:2]
    if not any(k["w"] == 640 and k["h"] == 480 and (k["x"], k["y"]) == (left, upper) for k in s.x_children(top)):
        raise Failure(f"no 640x480 X window at the client area ({left}, {upper}) in {s.x_children(top)}")
    log(f"ok: the X window holds a 640x480 drawing surface at ({left}, {upper})")

    start = s.expect_pose(window, START_POSE, "start pose", probes=True)
    for up, down, value, times in POSE_KEYS:
        pose = dict(START_POSE)
        pose[value] += times
        s.press(up, times)
        moved = s.expect_pose(window, pose, f"pose after {up} x{times}")
        s.expect_moved(start, moved, START_POSE, pose, f"{up} x{times}")
        s.press(down, times)
        s.expect_image(window, start, f"{down} x{times} brings back the start pose exactly")

    # F1 asks for fullscreen again, which this display refuses.
    pose = dict(START_POSE, green=4)
    s.press("F2", 4)
    before = s.expect_pose(window, pose, "pose before F1", moved_from=START_POSE)
    s.expect_moved(start, before, START_POSE, pose, "F2 x4")
    s.press("F1")
    buttons = s.expect_box(*FALLBACK, ["&Yes", "&No"], "exclamation")
    if s.find_window("Orvanel", "OpenGL"):
        raise Failure("the old window is still there while the fallback question shows")
    s.press("y")
    s.expect_gone(FALLBACK[0])
    window = s.expect_window(fullscreen=False, previous=window)
    s.expect_image(window, before, "the new window shows the same pose after F1")
    s.press("Escape")
    s.expect_exit(27)

    renderer = s.wininfo("renderer").strip()
    if "llvmpipe" not in renderer:
        raise Failure(f"Wine's GL is {renderer!r}, not Mesa's llvmpipe")
    log(f"ok: GL renderer under Wine: {renderer}")


def case_alt_f4(s):
    """Answered No from the keyboard; Alt+F4 closes the window: exit 0."""
    s.start_program()
    s.expect_box(*QUESTION, ["&Yes", "&No"], "question")
    s.press("n")
    window = s.expect_window(fullscreen=False)
    s.expect_pose(window, START_POSE, "start pose", probes=True)
    s.expect_running()
    s.alt_f4()
    s.expect_exit(0)


def case_fallback_yes(s):
    """Yes on a display that refuses 640x480x16: the fallback question;
    Yes gives the window; its close box (WM_DELETE_WINDOW) exits 0."""
    s.start_program()
    buttons = s.expect_box(*QUESTION, ["&Yes", "&No"], "question")
    s.click(*buttons["&Yes"])
    buttons = s.expect_box(*FALLBACK, ["&Yes", "&No"], "exclamation")
    s.click(*buttons["&Yes"])
    s.expect_gone(FALLBACK[0])
    window = s.expect_window(fullscreen=False)
    s.expect_pose(window, START_POSE, "start pose", probes=True)
    top = wait_for('the X window titled "Orvanel"', lambda: s.x_window("Orvanel"))
    s.expect_running()
    X.delete_window(s.display, top["id"])
    s.expect_exit(0)


def case_fallback_no(s):
    """Yes, then No to the fallback question: "Program Will Now Close.",
    no window, exit 0."""
    s.start_program()
    buttons = s.expect_box(*QUESTION, ["&Yes", "&No"], "question")
    s.click(*buttons["&Yes"])
    buttons = s.expect_box(*FALLBACK, ["&Yes", "&No"], "exclamation")
    s.click(*buttons["&No"])
    buttons = s.expect_box(*CLOSING, ["OK"], "stop")
    if s.find_window("Orvanel"):
        raise Failure('a window titled "Orvanel" showed up')
    s.click(*buttons["OK"])
    s.expect_exit(0)


def desktop_size(s):
    top = s.x_window("Default - Wine desktop")
    return (top["w"], top["h"]) if top else None


def case_fullscreen(s):
    """On a Wine virtual desktop of 1024x768, which can switch to 640x480:
    Yes gives a 640x480 popup covering the desktop, now 640x480; F1 goes
    to a window on the restored desktop and back, the pose kept; Escape
    exits 27 and the desktop is back at 1024x768."""
    # Set with no display and no wineserver left running: the desktop is
    # chosen when the first Wine process of a session starts.
    key = r"HKCU\Software\Wine\Explorer"
    headless = dict(s.env)
    headless.pop("DISPLAY", None)
    run(["wine", "reg", "add", key, "/v", "Desktop", "/d", "Default", "/f"], env=headless)
    run(["wine", "reg", "add", key + r"\Desktops", "/v", "Default", "/d", "1024x768", "/f"], env=headless)
    s.ctx.stop_wineserver(headless)
    try:
        # Keeps the desktop up after the program, to see it restored.
        holder = subprocess.Popen(["wine", s.ctx.wininfo, "hold", "120"], env=s.env,
                                  stdout=s.log_file, stderr=s.log_file)
        try:
            wait_for("the 1024x768 Wine desktop", lambda: desktop_size(s) == (1024, 768))
            if s.mode() != "1024x768x32":
                raise Failure(f"the desktop starts at {s.mode()}, expected 1024x768x32")
            log("ok: Wine desktop at 1024x768")
            fullscreen_steps(s)
        finally:
            if holder.poll() is None:
                holder.kill()
                holder.wait(timeout=WAIT)
    finally:
        # The next cases want no virtual desktop.
        s.ctx.stop_wineserver(s.env)
        run(["wine", "reg", "delete", key, "/v", "Desktop", "/f"], env=headless)
        s.ctx.stop_wineserver(headless)


def expect_desktop(s, width, height):
    wait_for(f"the desktop to be {width}x{height}",
             lambda: desktop_size(s) == (width, height) and s.mode().startswith(f"{width}x{height}x"))
    log(f"ok: desktop at {s.mode()} (X window {width}x{height})")


def fullscreen_steps(s):
    s.start_program()
    buttons = s.expect_box(*QUESTION, ["&Yes", "&No"], "question")
    s.click(*buttons["&Yes"])
    s.expect_gone(QUESTION[0])
    window = s.expect_window(fullscreen=True)
    expect_desktop(s, 640, 480)
    s.expect_no_box(FALLBACK[0])
    s.expect_pose(window, START_POSE, "fullscreen start pose", probes=True)
    pose = dict(START_POSE, blue=-6)
    s.press("F5", 6)
    posed = s.expect_pose(window, pose, "fullscreen pose after F5 x6", moved_from=START_POSE)

    # Each F1 is a new window and a new GL context: the same pose, drawn
    # the same to the pixel.
    s.press("F1")
    window = s.expect_window(fullscreen=False, previous=window)
    expect_desktop(s, 1024, 768)
    s.expect_pose(window, pose, "windowed pose after F1")
    s.expect_image(window, posed, "the window after F1 shows the same picture")
    s.press("F1")
    window = s.expect_window(fullscreen=True, previous=window)
    expect_desktop(s, 640, 480)
    s.expect_pose(window, pose, "fullscreen pose after F1 again")
    s.expect_image(window, posed, "the fullscreen window after F1 again shows the same picture")

    s.press("Escape")
    s.expect_exit(27)
    expect_desktop(s, 1024, 768)


def case_small_display(s):
    """On an X screen of 640x480 at 16 bits, Yes is granted at once: a
    fullscreen popup with the start pose; Escape exits 27."""
    s.start_program()
    buttons = s.expect_box(*QUESTION, ["&Yes", "&No"], "question")
    s.click(*buttons["&Yes"])
    window = s.expect_window(fullscreen=True)
    s.expect_no_box(FALLBACK[0])
    mode = s.mode()
    if mode != "640x480x16":
        raise Failure(f"display mode {mode}, expected 640x480x16")
    log(f"ok: display mode {mode}")
    s.expect_pose(window, START_POSE, "start pose at 16 bits", probes=True)
    s.press("Escape")
    s.expect_exit(27)


def case_no_display(s):
    """No display at all: the run ends by itself with status 0."""
    s.start_program()
    s.expect_exit(0, timeout=60)


CASES = {
    "windowed": (case_windowed, "1024x768x24"),
    "alt_f4": (case_alt_f4, "1024x768x24"),
    "fallback_yes": (case_fallback_yes, "1024x768x24"),
    "fallback_no": (case_fallback_no, "1024x768x24"),
    "fullscreen": (case_fullscreen, "1024x768x24"),
    "small_display": (case_small_display, "640x480x16"),
    "no_display": (case_no_display, None),
}


# ---------------------------------------------------------- shared state

class Context:
    def __init__(self, args, run_dir):
        self.exe = os.path.abspath(args.exe)
        self.run_dir = run_dir
        self.prefix = os.path.join(run_dir, "prefix")
        self.wininfo = os.path.join(run_dir, "wininfo.exe")
        self.shots = getattr(args, "shots", None) or run_dir
        os.makedirs(self.shots, exist_ok=True)
        self.probes = []
        probes = os.path.join(run_dir, "probes.txt")
        if os.path.exists(probes):
            for line in open(probes):
                x, y, r, g, b, name = line.split(maxsplit=5)
                self.probes.append((int(x), int(y), (int(r), int(g), int(b)), name.strip()))

    def wine_env(self):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        # Wine's own errors, but not its notes on what it does not do yet,
        # go to each case's log.
        env.update(WINEPREFIX=self.prefix, WINEDEBUG="fixme-all",
                   WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d",
                   GALLIUM_DRIVER="llvmpipe")
        return env

    def stop_wineserver(self, env=None):
        """Ends this prefix's wineserver and every Wine process on it."""
        env = env or self.wine_env()
        run(["wineserver", "-k"], env=env, check=False)
        run(["wineserver", "-w"], env=env, check=False, timeout=30)


def read_state(path):
    try:
        with open(path) as f:
            run_dir = f.read().strip()
    except FileNotFoundError:
        return None
    return run_dir if run_dir and os.path.isdir(run_dir) else None


def remove_run_dir(run_dir):
    if run_dir and os.path.basename(run_dir).startswith("orvanel-wine.") and os.path.isdir(run_dir):
        shutil.rmtree(run_dir, ignore_errors=True)


def exe_or_skip(exe):
    if not os.path.isfile(exe):
        log(f"SKIPPED: {exe} is not built; scripts/windows-build.sh builds it")
        sys.exit(SKIP)


def setup(args):
    exe_or_skip(args.exe)
    missing = [t for t in ("wine", "wineserver", "Xvfb", "xdotool", "xdpyinfo", "xwininfo", "import",
                           "x86_64-w64-mingw32-gcc") if not shutil.which(t)]
    if missing:
        raise Failure(f"missing tools: {' '.join(missing)} (scripts/test.sh installs them)")
    remove_run_dir(read_state(args.state))
    run_dir = tempfile.mkdtemp(prefix="orvanel-wine.")
    with open(args.state, "w") as f:
        f.write(run_dir + "\n")
    ctx = Context(args, run_dir)
    started = time.monotonic()

    run(["x86_64-w64-mingw32-gcc", "-O1", "-Wall", "-Wextra", "-o", ctx.wininfo, args.wininfo,
         "-lopengl32", "-lgdi32", "-luser32"], timeout=120)
    probes = run([args.probes]).stdout
    if len(probes.splitlines()) < 5:
        raise Failure(f"{args.probes} printed too few probes:\n{probes}")
    with open(os.path.join(run_dir, "probes.txt"), "w") as f:
        f.write(probes)
    check_model_against_probes(Context(args, run_dir).probes)

    # A fresh prefix, made with no display (so no dialog can show) and
    # without the Mono and Gecko installers; then Wine's own window
    # management, which focuses its windows on a bare X server.
    env = ctx.wine_env()
    run(["wine", "wineboot", "-i"], env=env, timeout=180)
    run(["wine", "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N", "/f"], env=env)
    # A wineserver left running without a display would make the next run
    # see none.
    ctx.stop_wineserver(env)
    log(f"ok: Wine prefix {ctx.prefix} ready in {time.monotonic() - started:.1f} s")
    log(f"ok: {len(ctx.probes) or len(probes.splitlines())} shared start-pose probes; wininfo.exe built")


def check_model_against_probes(probes):
    """The prediction must agree with the shared probes on the start pose."""
    centres = {name: to_pixel(_apply(m, (0.5, 0.5, 0))) for name, _, m in arm_boxes(START_POSE)}
    colours = {name: colour for name, colour, _ in arm_boxes(START_POSE)}
    matched = 0
    for x, y, rgb, name in probes:
        if name in centres:
            cx, cy = centres[name]
            if (int(cx), int(cy)) != (x, y) and math.hypot(cx - x - 0.5, cy - y - 0.5) > 1.5:
                raise Failure(f"the arm prediction puts {name} at ({cx:.1f}, {cy:.1f}), the shared probe at ({x}, {y})")
            if colours[name] != rgb:
                raise Failure(f"the arm prediction colours {name} {colours[name]}, the shared probe {rgb}")
            matched += 1
    if matched < 5:
        raise Failure(f"only {matched} shared probes name a piece of the arm prediction")


def run_case(args):
    exe_or_skip(args.exe)
    run_dir = read_state(args.state)
    if not run_dir:
        raise Failure("no prepared Wine prefix: the wine_prefix test did not run or failed")
    ctx = Context(args, run_dir)
    func, screen = CASES[args.case]
    log(f"{args.case}: {' '.join(func.__doc__.split())}")
    started = time.monotonic()
    with Session(ctx, args.case, screen) as s:
        try:
            func(s)
        except Failure:
            s.log_file.flush()
            log(f"  (Wine's output: {s.log_path}; pictures: {ctx.shots})")
            raise
    log(f"passed in {time.monotonic() - started:.1f} s")


def cleanup(args):
    run_dir = read_state(args.state)
    if run_dir:
        ctx = Context(args, run_dir)
        ctx.stop_wineserver()
        remove_run_dir(run_dir)
        log(f"ok: removed {run_dir}")
    if os.path.exists(args.state):
        os.remove(args.state)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("action", choices=["setup", "run", "cleanup"])
    parser.add_argument("case", nargs="?", choices=sorted(CASES))
    parser.add_argument("--state", required=True)
    parser.add_argument("--exe", default="")
    parser.add_argument("--shots")
    parser.add_argument("--wininfo")
    parser.add_argument("--probes")
    args = parser.parse_args()
    # A test runner that gives up on us still gets the servers stopped.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    try:
        if args.action == "setup":
            setup(args)
        elif args.action == "run":
            if not args.case:
                parser.error("run needs a case")
            run_case(args)
        else:
            cleanup(args)
    except Failure as e:
        log(f"FAILED: {e}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
