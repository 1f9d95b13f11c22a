# The browser build end to end in headless Chromium: the question, the
# window, the page at phone, tablet and desktop sizes with a drawing buffer
# of the picture's pixels, every pose key, F1 and Escape from the keyboard
# and from the on-screen keys (in fullscreen too) against the snapshot
# tool's pictures, the picture taken away and given back, resting while
# minimised or hidden, an on-screen key held down, the exit status on
# the page, the close box, a frame where fullscreen is not allowed, axe-core
# in each of the page's states and the console over the whole run.
# Usage, from the top folder: python3 -m tests.web.scenario SNAPSHOT_TOOL SITE_DIR
import base64
import collections
import functools
import http.server
import json
import os
import shutil
import sys
import tempfile
import threading
import time

from tests.e2e import harness as h
from tests.web.devtools import Browser

h.SNAPSHOT, SITE = sys.argv[1], sys.argv[2]
AXE = os.path.join(SITE, "..", "axe", "node_modules", "axe-core", "axe.min.js")  # scripts/web.sh
WORK = h.PICTURES = tempfile.mkdtemp(prefix="orvanel-web-")
# A frame whose page denies it fullscreen (same-origin frames have it by default).
FRAME = '<iframe src="index.html" allow="fullscreen \'none\'" width="900" height="700"></iframe>'
# The virtual key Chromium wants with each key pressed, by its code (these keys' names too).
VIRTUAL_KEYS = {"Escape": 27, "Enter": 13, "F1": 112, "F2": 113, "F3": 114, "F4": 115, "F5": 116,
                "F6": 117, "F7": 118, "ArrowLeft": 37, "ArrowUp": 38, "ArrowRight": 39,
                "ArrowDown": 40}

# Presses of every pose key, as many of each as gives a pose that no key mapped to another
# value, or to the other way, gives: each key's count differs from its opposite's. A value
# is raised before it is lowered: the length and the gripper start at their least.
KEYBOARD_PLAN = (("F2", 2), ("F3", 1), ("F4", 1), ("F5", 3), ("F6", 3), ("F7", 1),
                 ("ArrowRight", 3), ("ArrowLeft", 1), ("ArrowUp", 2), ("ArrowDown", 1))
KEYBOARD_POSE = (1, -2, 2, 3, 46)
ON_SCREEN_PLAN = (("F2", 1), ("F3", 2), ("F4", 3), ("F5", 1), ("F6", 1), ("F7", 2),
                  ("ArrowRight", 2), ("ArrowLeft", 1), ("ArrowUp", 3), ("ArrowDown", 1))
ON_SCREEN_POSE = (-1, 2, -1, 2, 47)
HELD_RIGHT_POSE = (-1, 2, -1, 8, 47)  # the telescope at its longest: Right repeated
# The telescope short again and the wrist rolled up: parts overlap, as only the depth test shows.
ROLLED_POSE = (-1, 2, 75, 1, 47)

UNDER, BESIDE = "under", "beside"  # where the on-screen keys stand from the picture
MOBILE, DESKTOP = True, False  # a phone's or tablet's browser, or a desktop's
Device = collections.namedtuple("Device", "name width height density mobile keys least_picture")
DEVICES = (  # touch screens; least_picture: the picture's width at least (640: all of it)
    Device("smallest phone", 320, 480, 2, MOBILE, UNDER, 260),
    Device("smallest phone on its side", 480, 320, 2, MOBILE, BESIDE, 240),
    Device("phone upright", 390, 844, 3, MOBILE, UNDER, 360),
    Device("small tablet", 768, 1024, 2, MOBILE, UNDER, 640),
    Device("desktop", 1280, 800, 1, DESKTOP, BESIDE, 640),
    Device("large desktop", 1920, 1080, 1, DESKTOP, BESIDE, 640),
    Device("phone on its side", 844, 390, 3, MOBILE, BESIDE, 440),  # last: posed there
)
PHONE_ON_ITS_SIDE = DEVICES[-1]
PHONE_UPRIGHT = DEVICES[2]
COMPARING = Device("comparing size", 1000, 800, 1, DESKTOP, BESIDE, 640)  # the picture 640x480
# What the page's console may say: the refusal line, in the frame that may not go fullscreen.
REFUSAL = "orvanel: ChangeDisplaySettingsA: "


class Site(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):  # quiet
        pass


class Watched(Browser):  # keeps what the page's console says, over the whole run
    said = []

    def read(self, awaited, deadline):  # an exception in the page fails the call that meets it
        event = super().read(awaited, deadline)
        params = event.get("params", {})
        if event.get("method") == "Runtime.consoleAPICalled":
            self.said.append(" ".join(str(a.get("value", a.get("description"))) for a in params["args"]))
        elif event.get("method") == "Log.entryAdded" and params["entry"]["level"] != "verbose":
            self.said.append(params["entry"]["text"])
        return event


def until(doc, expression, what):  # d: the document the expression looks at
    h.wait_for(what, lambda: browser.js(f"(() => {{ const d = {doc}; return {expression}; }})()"))
    h.check(True, what)


def held():  # the program looks at its keys once a frame: a press lasts two
    browser.js("new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r)))")


def key(code):
    for kind in ("rawKeyDown", "keyUp"):
        browser.send("Input.dispatchKeyEvent", type=kind, code=code, key=code,
                     windowsVirtualKeyCode=VIRTUAL_KEYS[code])
        held()


def centre(selector):
    box = json.loads(browser.js(f"JSON.stringify(document.querySelector('{selector}')"
                                ".getBoundingClientRect())"))
    return box["x"] + box["width"] / 2, box["y"] + box["height"] / 2


def click(selector):  # the release may load another page: nothing waits on this one after it
    x, y = centre(selector)
    for kind in ("mousePressed", "mouseReleased"):
        browser.send("Input.dispatchMouseEvent", type=kind, button="left", clickCount=1, x=x, y=y)


def touch(code, down=True):  # a finger on an on-screen key, or lifted
    x, y = centre(f"#strip [data-code={code}]")
    points = [{"x": x, "y": y}] if down else []
    browser.send("Input.dispatchTouchEvent", type="touchStart" if down else "touchEnd",
                 touchPoints=points)
    if down:  # a lift and the next press may reach the program together
        held()


def tap(code):
    touch(code)
    touch(code, down=False)


def emulate(device):  # None: the browser's own window, with a mouse
    if device is None:
        browser.send("Emulation.clearDeviceMetricsOverride")
    else:
        browser.send("Emulation.setDeviceMetricsOverride", width=device.width, height=device.height,
                     deviceScaleFactor=device.density, mobile=device.mobile)
    browser.send("Emulation.setTouchEmulationEnabled", enabled=device is not None)


def screenshot(path):  # the drawing, as the page shows it
    box = json.loads(browser.js("JSON.stringify(canvas.getBoundingClientRect())"))
    clip = {"x": box["x"], "y": box["y"], "width": 640, "height": 480, "scale": 1}
    shot = browser.send("Page.captureScreenshot", clip=clip)
    with open(path, "wb") as f:
        f.write(base64.b64decode(shot["data"]))


def question(doc, caption):
    until(doc, f"d.querySelector('#box').open && d.querySelector('#box h2').textContent == "
          f"{json.dumps(caption)}", f"the box {caption!r} is up")


def ended(status, doc="document"):
    line = f"Orvanel ended with exit status {status}."
    until(doc, f"d.getElementById('ended-text').textContent == '{line}'", line)


def press_all(plan, press):
    for code, times in plan:
        for _ in range(times):
            press(code)


# The window, the picture and every on-screen key on screen, without scrolling, at each size.
LAYOUT = """JSON.stringify({
  view: [innerWidth, innerHeight],
  scroll: [document.documentElement.scrollWidth, document.documentElement.scrollHeight],
  boxes: [['the title bar', '#window .titlebar'], ['the picture', '#canvas'],
          ...[...document.querySelectorAll('#strip button')].map(b => ['the key ' + b.dataset.code, b])]
    .map(([name, e]) => [name, (typeof e == 'string' ? document.querySelector(e) : e).getBoundingClientRect()])
})"""


def fits(device):
    emulate(device)
    page = json.loads(browser.js(LAYOUT))
    (width, height), boxes = page["view"], dict(page["boxes"])
    picture = boxes["the picture"]

    def fault(what):
        raise h.Failure(f"{device.name} ({device.width}x{device.height}): {what}")

    if page["scroll"] != [width, height]:
        fault(f"the page scrolls: {page['scroll'][0]}x{page['scroll'][1]} in {width}x{height}")
    for name, box in boxes.items():
        if box["left"] < 0 or box["top"] < 0 or box["right"] > width or box["bottom"] > height:
            fault(f"{name} is off screen at {box['left']:.0f},{box['top']:.0f} to "
                  f"{box['right']:.0f},{box['bottom']:.0f}")
        beside = box["left"] >= picture["right"]
        under = box["top"] >= picture["bottom"]
        if name.startswith("the key ") and not (beside if device.keys == BESIDE else under):
            fault(f"{name} is not {device.keys} the picture")
        if name.startswith("the key ") and min(box["width"], box["height"]) < 44:
            fault(f"{name} is {box['width']:.0f}x{box['height']:.0f} px, under 44")
    if abs(picture["width"] * 3 - picture["height"] * 4) > 1:
        fault(f"the picture is {picture['width']}x{picture['height']}, not 4:3")
    if not device.least_picture <= picture["width"] <= 640:
        fault(f"the picture is {picture['width']:.0f} px wide, not {device.least_picture} to 640")
    h.check(True, f"{device.name}: the picture {picture['width']:.0f}x{picture['height']:.0f}, "
            f"the keys {device.keys} it, no scrolling")


def accessible(state):  # axe-core, brought into the page, finds no violation
    if browser.js("typeof axe") == "undefined":
        with open(AXE) as f:
            browser.js(f.read())
    found = json.loads(browser.js("axe.run({resultTypes: ['violations']}).then(r => JSON.stringify("
                                  "r.violations.map(v => v.id + ' at ' + v.nodes.map(n => n.target).join(', '))))"))
    h.check(not found, f"axe-core in {state}: {'; '.join(found) or 'no violation'}")


def console_says_nothing_else():
    unexpected = [line for line in browser.said if not line.startswith(REFUSAL)]
    h.check(not unexpected, "the console: " + (" | ".join(unexpected) or "nothing of its own"))
    refusals = [line for line in browser.said if line.startswith(REFUSAL)]
    h.check(len(refusals) == 1, f"the console has the frame's refusal line once: {refusals}")


# Counted from outside the page, as bench/web_measure.py counts them: the frames the program
# presents (the arm is one drawArrays a frame) and the viewport it set last.
COUNTER = """(() => {
  const gl = WebGLRenderingContext.prototype, draw = gl.drawArrays, viewport = gl.viewport;
  window.counted = {frames: 0, viewport: null};
  gl.drawArrays = function (...args) { counted.frames++; return draw.apply(this, args); };
  gl.viewport = function (...args) { counted.viewport = args; return viewport.apply(this, args); };
})()"""
SIZES = """JSON.stringify({shown: (b => [b.width, b.height])(canvas.getBoundingClientRect()),
  buffer: [canvas.width, canvas.height], viewport: counted.viewport})"""


def count_frames():  # in every page loaded from now on
    browser.send("Page.enable")
    browser.send("Page.addScriptToEvaluateOnNewDocument", source=COUNTER)


def frames():
    return browser.js("counted.frames")


def sharp(device):  # the buffer the picture's size in the screen's pixels, the viewport all of it
    def sizes():
        seen = json.loads(browser.js(SIZES))
        pixels = [round(length * device.density) for length in seen["shown"]]
        seen["good"] = (all(abs(b - p) <= 1 for b, p in zip(seen["buffer"], pixels))
                        and seen["viewport"] == [0, 0, *seen["buffer"]])
        return seen
    try:
        h.wait_for("the drawing buffer to follow the picture", lambda: sizes()["good"])
    except h.Failure:
        pass  # told below, with the sizes
    seen = sizes()
    h.check(seen["good"], f"{device.name} at density {device.density}: shown {seen['shown']}, "
            f"drawing buffer {seen['buffer']}, viewport {seen['viewport']}")


def no_frames(what, seconds=0.4):  # once a frame under way when the program was told is done
    time.sleep(0.1)
    before = frames()
    time.sleep(seconds)
    h.check(frames() == before, f"{what}: {frames() - before} frames presented in {seconds} s, "
            "want none")
    return before


def rests(what, rest, wake, seconds=0.4):  # and frames again after
    rest()
    before = no_frames(what, seconds)
    wake()
    h.wait_for(f"frames again after {what}", lambda: frames() > before + 3)
    h.check(True, f"{what}: frames again after")


def minimise_and_hide():
    rests("minimised", lambda: click("#minimise"), lambda: click("#minimise"))
    ours = browser.send("Target.getTargetInfo")["targetInfo"]["targetId"]
    other = None

    def hide():  # another tab in front
        nonlocal other
        other = browser.send("Target.createTarget", url="about:blank")["targetId"]
        h.check(browser.js("document.hidden"), "the page is hidden behind another tab")

    def show():
        browser.send("Target.activateTarget", targetId=ours)
        browser.send("Target.closeTarget", targetId=other)
    rests("the page hidden", hide, show, seconds=1.2)  # its timers wake once a second


def picture_lost_and_given_back():  # the pose moved meanwhile, as it can be while resting
    browser.js("(window.loser = canvas.getContext('webgl').getExtension('WEBGL_lose_context'))"
               ".loseContext()")
    no_frames("the picture taken away")
    h.check(browser.js("lost.hidden"), "the picture taken away: no notice at first")
    press_all((("ArrowLeft", 7),), tap)
    touch("F6")
    try:  # the wrist to its limit while the notice is waited for
        until("document", "!d.getElementById('lost').hidden",
              "the notice after 10 s without the picture")
    finally:
        touch("F6", down=False)
    accessible("the notice over the picture")
    browser.js("loser.restoreContext()")
    until("document", "d.getElementById('lost').hidden", "the picture given back: the notice gone")
    h.expect_pose(screenshot, ROLLED_POSE, "the picture given back, posed meanwhile")


def keys_in_fullscreen():  # where shown, beside or under the picture, which takes the room left
    for device in (PHONE_ON_ITS_SIDE, PHONE_UPRIGHT):
        fits(device)
        page = json.loads(browser.js(LAYOUT))
        (width, height), picture = page["view"], dict(page["boxes"])["the picture"]
        room = height if device.keys == BESIDE else width
        across = picture["height"] if device.keys == BESIDE else picture["width"]
        h.check(across >= room - 1, f"{device.name} in fullscreen: the picture {picture['width']:.0f}"
                f"x{picture['height']:.0f}, as large as the room {device.keys} the keys allows in "
                f"{width}x{height}")
        buffer = browser.js("[canvas.width, canvas.height]")
        h.check(buffer == [640, 480], f"{device.name} in fullscreen: the drawing buffer {buffer}, "
                "want the display mode's 640x480")
    tap("F1")
    until("document", "!d.fullscreenElement && !d.getElementById('window').hidden",
          "on a phone, the on-screen F1: back")
    touch("F1")  # a finger's press is the user's say-so for fullscreen only once lifted
    try:
        time.sleep(0.3)
        h.check(not browser.js("!!document.fullscreenElement || box.open"),
                "on a phone, the on-screen F1 held: no fullscreen yet, nor a refusal")
    finally:
        touch("F1", down=False)
    until("document", "d.fullscreenElement == stage", "on a phone, the on-screen F1 lifted: fullscreen")
    emulate(COMPARING)


def scenario(address):
    browser.send("Runtime.enable")
    browser.send("Log.enable")
    count_frames()
    # A phone on its side, posed from the on-screen keys.
    emulate(PHONE_ON_ITS_SIDE)
    browser.send("Page.navigate", url=f"{address}/index.html")
    question("document", "FullScreen ?")
    h.check(browser.js("box.getAttribute('role')") == "alertdialog", "the box is an alert dialog")
    accessible("the question")
    key("Escape")
    until("document", "!d.getElementById('window').hidden && !box.open", "No gives the window")
    for device in DEVICES:
        fits(device)
        sharp(device)
    accessible("the window with the on-screen keys")
    press_all(ON_SCREEN_PLAN, tap)
    emulate(COMPARING)
    h.expect_pose(screenshot, ON_SCREEN_POSE, "every pose key once or more from the on-screen keys")
    touch("ArrowRight")
    try:
        h.expect_pose(screenshot, HELD_RIGHT_POSE, "the on-screen Right held repeats")
    finally:
        touch("ArrowRight", down=False)
    picture_lost_and_given_back()
    tap("F1")
    until("document", "d.fullscreenElement == stage && !d.getElementById('window').hidden",
          "the on-screen F1: fullscreen")
    keys_in_fullscreen()
    accessible("fullscreen")
    key("F1")
    until("document", "!d.fullscreenElement && !d.getElementById('window').hidden", "F1: back")
    tap("Escape")
    ended(27)
    accessible("the end")
    # The browser's own window with a mouse, posed from the keyboard.
    emulate(None)
    click("#again")
    question("document", "FullScreen ?")
    key("Enter")
    until("document", "d.fullscreenElement == stage", "Yes goes fullscreen")
    press_all(KEYBOARD_PLAN, key)
    key("F1")
    until("document", "!d.fullscreenElement && !d.getElementById('window').hidden", "F1: back")
    h.expect_pose(screenshot, KEYBOARD_POSE, "every pose key from the keyboard in fullscreen, "
                  "the pose kept across F1")
    until("document", "(p => (l => l.width && (l.left >= p.right || l.top >= p.bottom))("
          "d.getElementById('help').getBoundingClientRect()))(canvas.getBoundingClientRect())",
          "with a mouse, a list of the keys beside the picture")
    accessible("the window with the list of keys")
    minimise_and_hide()
    click("#close")
    ended(0)
    # A frame that may not go fullscreen: Yes, then the window; Escape ends it.
    browser.js(f"document.body.innerHTML = {json.dumps(FRAME)}")  # the page, ended, holds it
    frame = "frames[0].document"
    question(frame, "FullScreen ?")
    browser.js("document.querySelector('iframe').focus()")
    key("Enter")
    question(frame, "Vorel GL")
    key("Enter")
    until(frame, "!d.getElementById('window').hidden && !d.fullscreenElement", "then the window")
    key("Escape")
    ended(27, frame)
    console_says_nothing_else()


if not os.path.exists(f"{SITE}/orvanel.wasm"):
    sys.exit(f"FAILED: the site is not built in {SITE} (scripts/web.sh builds it)")
if not os.path.exists(AXE):
    sys.exit(f"FAILED: axe-core is not in {AXE} (scripts/web.sh installs it)")
handler = functools.partial(Site, directory=SITE)
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
threading.Thread(target=server.serve_forever, daemon=True).start()
try:
    with Watched("chromium", f"{WORK}/profile") as browser:
        status = h.run(scenario, f"http://127.0.0.1:{server.server_address[1]}")
except h.Failure as e:  # it would not start, or left processes behind
    print(f"FAILED: {e}")
    status = 1
finally:
    server.shutdown()
    shutil.rmtree(WORK)
sys.exit(status)
