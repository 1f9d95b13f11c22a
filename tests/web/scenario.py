# The browser build end to end in headless Chromium: the question, the
# window, pose keys (one on the on-screen strip) against the snapshot
# tool's picture, the exit status on the page, fullscreen and back, the
# close box, and a frame where fullscreen is not allowed.
# Usage, from the top folder: python3 -m tests.web.scenario SNAPSHOT_TOOL SITE_DIR
import base64
import functools
import http.server
import json
import os
import shutil
import sys
import tempfile
import threading

from tests.e2e import harness as h
from tests.web.devtools import Browser

h.SNAPSHOT, SITE = sys.argv[1], sys.argv[2]
WORK = h.PICTURES = tempfile.mkdtemp(prefix="orvanel-web-")
# A frame whose page denies it fullscreen (same-origin frames have it by default).
FRAME = '<iframe src="index.html" allow="fullscreen \'none\'" width="900" height="700"></iframe>'
# The virtual key Chromium wants with each key pressed, by its code (these keys' names too).
VIRTUAL_KEYS = {"Escape": 27, "Enter": 13, "F1": 112, "F2": 113, "ArrowRight": 39}


class Site(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):  # quiet
        pass


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


def click(selector, doc="document"):
    box = json.loads(browser.js(f"JSON.stringify({doc}.querySelector('{selector}')"
                                ".getBoundingClientRect())"))
    for kind in ("mousePressed", "mouseReleased"):
        browser.send("Input.dispatchMouseEvent", type=kind, button="left", clickCount=1,
                     x=box["x"] + box["width"] / 2, y=box["y"] + box["height"] / 2)
        held()


def screenshot(path):  # the drawing, as the page shows it
    box = json.loads(browser.js("JSON.stringify(canvas.getBoundingClientRect())"))
    clip = {"x": box["x"], "y": box["y"], "width": 640, "height": 480, "scale": 1}
    shot = browser.send("Page.captureScreenshot", clip=clip)
    with open(path, "wb") as f:
        f.write(base64.b64decode(shot["data"]))


def question(doc, caption):
    until(doc, f"d.querySelector('#box').open && d.querySelector('#box h2').textContent == "
          f"{json.dumps(caption)}", f"the box {caption!r} is up")


def ended(status):
    line = f"Orvanel ended with exit status {status}."
    until("document", f"d.getElementById('ended-text').textContent == '{line}'", line)


def scenario(address):
    browser.send("Page.navigate", url=f"{address}/index.html")
    question("document", "FullScreen ?")
    h.check(browser.js("box.getAttribute('role')") == "alertdialog", "the box is an alert dialog")
    key("Escape")
    until("document", "!d.getElementById('window').hidden && !box.open", "No gives the window")
    for code in ("F2", "F2", "F2", "ArrowRight", "ArrowRight"):
        key(code)
    click("#keys")
    click("#strip [data-code=ArrowUp]")
    h.expect_pose(screenshot, (3, 0, 0, 3, 46), "F2 x3, Right x2 and the strip's Up")
    key("Escape")
    ended(27)
    click("#again")
    question("document", "FullScreen ?")
    key("Enter")
    until("document", "d.fullscreenElement == stage", "Yes goes fullscreen")
    key("F2")
    key("F1")
    until("document", "!d.fullscreenElement && !d.getElementById('window').hidden", "F1: back")
    h.expect_pose(screenshot, (1, 0, 0, 1, 45), "F2 in fullscreen, the pose kept across F1")
    click("#close")
    ended(0)
    browser.js(f"document.body.innerHTML = {json.dumps(FRAME)}")  # the page, ended, holds it
    frame = "frames[0].document"
    question(frame, "FullScreen ?")
    browser.js("document.querySelector('iframe').focus()")
    key("Enter")
    question(frame, "Vorel GL")
    key("Enter")
    until(frame, "!d.getElementById('window').hidden && !d.fullscreenElement", "then the window")


if not os.path.exists(f"{SITE}/orvanel.wasm"):
    sys.exit(f"FAILED: the site is not built in {SITE} (scripts/web.sh builds it)")
handler = functools.partial(Site, directory=SITE)
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
threading.Thread(target=server.serve_forever, daemon=True).start()
try:
    with Browser("chromium", f"{WORK}/profile") as browser:
        status = h.run(scenario, f"http://127.0.0.1:{server.server_address[1]}")
except h.Failure as e:  # it would not start, or left processes behind
    print(f"FAILED: {e}")
    status = 1
finally:
    server.shutdown()
    shutil.rmtree(WORK)
sys.exit(status)
