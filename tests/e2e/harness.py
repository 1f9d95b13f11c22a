"""The real program on DISPLAY, used as a person would: xdotool, xwininfo, ImageMagick."""
import contextlib, ctypes, os, pathlib, re, signal, subprocess, tempfile, time, uuid  # noqa: E401

WAIT = 20.0  # seconds any one thing may take on a busy machine
LINGER = 5.0  # seconds what a program started may take to end once it has ended
FULLSCREEN, WINDOW = "fullscreen", "a window"  # how the program shows
START = (0, 0, 0, 1, 45)  # green joint, blue joint, wrist, length, gripper
POSE_KEYS = [("F2", (1, 0, 0, 1, 45)), ("F4", (1, 1, 0, 1, 45)),  # each once from START
             ("F6", (1, 1, 1, 1, 45)), ("Right", (1, 1, 1, 2, 45)), ("Up", (1, 1, 1, 2, 46))]
# Pixels off past FUZZ % (16 bits: 3 %) in outline, in colour. The right pose: 0; 17 on 24
# bits, 127 on 16 (the jaws' pivot). One unit off: 169 and more, 193 and more.
FUZZ, SAME_OUTLINE, SAME_COLOURS = 6, 60, 400
SNAPSHOT = PICTURES = X = D = last = WM = None  # WM: a window manager frames the windows


class Failure(Exception):
    pass


def check(good, what):
    if not good:
        raise Failure(what)
    print("ok:", what)


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


def start(snapshot_tool, pictures, wm=False):  # run unbuffered (-u): a timeout kills it
    """A connection held (Xvfb resets when its last client goes) brings what a window manager
    would: SDL's atom for no decorations; no auto-repeat (a key held is one press)."""
    global SNAPSHOT, PICTURES, X, D, WM
    SNAPSHOT, PICTURES, WM = snapshot_tool, os.path.abspath(pictures), wm
    os.makedirs(PICTURES, exist_ok=True)
    X = ctypes.CDLL("libX11.so.6")
    X.XOpenDisplay.restype = ctypes.c_void_p
    if not (D := ctypes.c_void_p(X.XOpenDisplay(None))):
        raise Failure(f"cannot open display {os.environ.get('DISPLAY')}")
    X.XInternAtom(D, b"_MOTIF_WM_HINTS", 0)
    X.XAutoRepeatOff(D)
    X.XSync(D, 0)


def processes(program):  # what it started, still running: PID, parent's PID, name
    """In its session (a new process group stays there), or with its mark in its environment
    (a daemon that starts a session of its own keeps that)."""
    found = []
    for proc in pathlib.Path("/proc").glob("[0-9]*"):
        with contextlib.suppress(OSError):  # gone meanwhile
            stat = (proc / "stat").read_text()
            name, fields = stat[stat.index("(") + 1:stat.rindex(")")], stat[stat.rindex(")") + 2:]
            state, parent, _, session = fields.split()[:4]
            if state not in "ZX" and (int(session) == program.pid or
                                      program.mark.encode() in (proc / "environ").read_bytes()):
                found.append((int(proc.name), int(parent), name))
    return found


class Program(subprocess.Popen):  # in a session of its own, its stderr kept, killed by its PID
    """Once it has ended, nothing it started may outlive it: what is left fails the run, named,
    and is killed by its PID."""

    def __init__(self, cmd, env=None, **kw):
        self.err = tempfile.TemporaryFile()
        self.mark = uuid.uuid4().hex  # in its environment, so in what it starts
        env = dict(os.environ if env is None else env, ORVANEL_TEST_PROGRAM=self.mark)
        super().__init__(cmd, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                         stderr=self.err, start_new_session=True, **kw)

    def __exit__(self, *exc):
        with contextlib.suppress(ProcessLookupError):
            os.killpg(self.pid, signal.SIGKILL)
        super().__exit__(*exc)
        with contextlib.suppress(Failure):
            wait_for("its processes to end", lambda: not processes(self), LINGER)
        left = processes(self)
        for pid, _, _ in left:
            with contextlib.suppress(ProcessLookupError):
                os.kill(pid, signal.SIGKILL)
        pids = [pid for pid, _, _ in left]
        named = ", ".join(f"{pid} {name}" + f" (started by {parent})" * (parent in pids)
                          for pid, parent, name in left)
        what = f"{os.path.basename(self.args[0])} (PID {self.pid}) ended, but left running: {named}"
        if left and exc[0]:  # the failure on the way says more
            print(what)
        elif left:
            raise Failure(what)

    def stderr_text(self):
        return os.pread(self.err.fileno(), 1 << 20, 0).decode(errors="replace")

    def proc(self, name):  # its /proc/PID/name
        return pathlib.Path(f"/proc/{self.pid}/{name}").read_text()


def geometry(win):  # x, y, width, height
    text = tool("xwininfo", "-id", str(win))
    return tuple(map(int, re.findall(r"(?:Absolute upper-left .|Width|Height):\s+(-?\d+)", text)))


def gone(win):  # also once it no longer exists
    return "IsViewable" not in tool("xwininfo", "-id", str(win), check=False)


def find_window(title):  # one that shows, in a window manager's frame or not
    def look():  # xwininfo errs as windows go
        wins = re.findall(r'(0x\w+) "(.*)":', tool("xwininfo", "-root", "-tree", check=False))
        return next((w for w, t in wins if t == title and not gone(w)), None)
    return int(wait_for(f'a window titled "{title}"', look), 16)


def borderless(win):  # Motif hints: flags, functions, decorations, ...
    hints = re.findall(r"0x\w+", tool("xprop", "-id", str(win), "_MOTIF_WM_HINTS"))
    return len(hints) >= 3 and int(hints[0], 16) & 2 and int(hints[2], 16) == 0


def hold_until(win, key, what, done):  # focused, as a person holds a key
    tool("xdotool", "windowfocus", "--sync", str(win))
    tool("xdotool", "keydown", key)  # chained, it would be sent to the window, not typed
    try:
        time.sleep(0.1)  # at least: a key down and up in one run of messages does nothing
        return wait_for(what, done)
    finally:
        tool("xdotool", "keyup", key)


def answer(caption, key):  # a message box takes the keyboard, and acts on the key's release
    box = find_window(caption)
    if not WM:
        wait_for(f'the "{caption}" box to take the keyboard', lambda: focused() == box)
    hold_until(box, key, key, lambda: True)
    wait_for(f'the "{caption}" box to go after {key}', lambda: gone(box))


def ends(p, status, what, within=WAIT):  # a wrong status shows with what it wrote
    got = p.wait(within)
    check(got == status, f"{what} ends it with status {got}" +
          ("" if got == status else f", not {status}; stderr {p.stderr_text()!r}"))


def quit(p, win, key, status, stderr=""):  # stderr None: not looked at
    hold_until(win, key, "the program to end", lambda: p.poll() is not None)
    ends(p, status, key)
    if stderr is not None:
        check(p.stderr_text() == stderr, f"stderr {p.stderr_text()!r}, want {stderr!r}")


def minimise(win, restore=False):  # as a window manager does, or asks one to
    if WM:
        tool("xdotool", "windowactivate" if restore else "windowminimize", "--sync", str(win))
    else:
        tool("xdotool", "windowmap" if restore else "windowunmap", "--sync", str(win))


def focused():  # the window with the keyboard focus
    win, revert = ctypes.c_ulong(), ctypes.c_int()
    return X.XGetInputFocus(D, ctypes.byref(win), ctypes.byref(revert)) and win.value


def grab(win, name="shown.png"):  # win: an X window, or what writes the picture to a path
    path = os.path.join(PICTURES, name)
    if callable(win):
        win(path)
    else:
        tool("import", "-silent", "-window", str(win), path)
    return path


def differing(*images, outline=False):  # outline: arm or black background
    paint = ["-fill", "white", "+opaque", "black"] if outline else []
    return int(float(tool("convert", *images, "-fuzz", f"{FUZZ}%", *paint, "-metric", "AE",
                          "-compare", "-format", "%[distortion]", "info:")))


def shows(win, pose):  # not while a window manager still brings it into view
    global last
    snap = os.path.join(PICTURES, "pose_" + "_".join(map(str, pose)) + ".png")
    names = ("--piston1", "--piston2", "--piston3", "--trans", "--pince")
    if not os.path.exists(snap):
        tool(SNAPSHOT, *[a for n, v in zip(names, pose) for a in (n, str(v))], snap)
    with contextlib.suppress(Failure):
        shot = grab(win)
        last = (differing(shot, snap, outline=True), differing(shot, snap))
        return last[0] <= SAME_OUTLINE and last[1] <= SAME_COLOURS


def expect_pose(win, pose, what, key=None):  # holding key meanwhile if given
    try:
        def done():
            return shows(win, pose)
        if key:
            hold_until(win, key, what, done)
        else:
            wait_for(what, done)
    except Failure as e:
        raise Failure(f"{e}: {last} pixels off in outline and colour ({grab(win, 'WRONG.png')})")
    check(True, f"{what}: pose {pose} ({last[0]} pixels off in outline, {last[1]} in colour)")


def run(scenario, *args):
    started = time.monotonic()
    try:
        scenario(*args)
    except (Failure, subprocess.TimeoutExpired) as e:
        print(f"FAILED: {e}")
        return 1
    print(f"passed in {time.monotonic() - started:.1f} s")
    return 0
