# Figures for BENCHMARKS.md, not a test: load to the question, frames a
# second and CPU drawing against a page that draws empty frames (the
# floor), and CPU while the page is hidden; the site's size. The frames a
# page presents are counted from outside it (COUNTED), the CPU split by
# Chromium's processes. Usage, from the top folder: python3 -m bench.web_measure SITE_DIR
import collections
import functools
import http.server
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

from tests.web.devtools import Browser

FLOOR = b"""<canvas width=640 height=480></canvas><script>
const gl = document.querySelector('canvas').getContext('webgl');
(function frame() { gl.clear(gl.COLOR_BUFFER_BIT); requestAnimationFrame(frame); })();
</script>"""
FPS = """new Promise(r => { let n = 0; const t = performance.now();
  (function f() { n++; if (performance.now() - t < 10000) requestAnimationFrame(f); else r(n / 10); })();
})"""


def cpu_seconds(root):  # the browser and every process under it
    table = subprocess.run(["ps", "-eo", "pid=,ppid=,cputimes="], capture_output=True, text=True)
    rows = [list(map(int, line.split())) for line in table.stdout.splitlines()]
    tree = {root}
    for _ in range(5):  # deep enough for Chromium's zygotes
        tree |= {pid for pid, parent, _ in rows if parent in tree}
    return sum(seconds for pid, _, seconds in rows if pid in tree)


# Injected into every page before its own scripts: each of WebGL's clears and draws counted.
# A frame of the floor is one clear; a frame of Orvanel is one clear and one draw (the arm).
COUNTED = """(() => {
  const gl = WebGLRenderingContext.prototype, clear = gl.clear, draw = gl.drawArrays;
  window.counted = {clears: 0, draws: 0};
  gl.clear = function (...args) { counted.clears++; return clear.apply(this, args); };
  gl.drawArrays = function (...args) { counted.draws++; return draw.apply(this, args); };
})()"""


def count_presented(browser):  # in every page loaded from now on
    browser.send("Page.enable")
    browser.send("Page.addScriptToEvaluateOnNewDocument", source=COUNTED)


def cpu_by_process(root):  # CPU seconds of the browser's processes, by kind (ticks, not ps's seconds)
    tick = os.sysconf("SC_CLK_TCK")
    rows = {}
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            with open(f"/proc/{pid}/cmdline") as f:
                words = f.read().replace("\0", " ").split()  # Chromium rewrites its own
                kind = ([w[7:] for w in words if w.startswith("--type=")] or ["browser"])[0]
        except OSError:
            continue
        rows[int(pid)] = (int(fields[1]), kind, (int(fields[11]) + int(fields[12])) / tick)
    tree = {root}
    for _ in range(5):
        tree |= {pid for pid, (parent, _, _) in rows.items() if parent in tree}
    seconds = collections.Counter()
    for pid in tree & rows.keys():
        seconds[rows[pid][1]] += rows[pid][2]
    return seconds


def presented(browser, what, counter):  # frames presented a second, the CPU by process
    before, cpu_before = browser.js(f"counted.{counter}"), cpu_by_process(browser.process.pid)
    fps, _ = over_ten_seconds(browser)
    frames = (browser.js(f"counted.{counter}") - before) / 10
    cpu = cpu_by_process(browser.process.pid)
    cpu.subtract(cpu_before)
    split = ", ".join(f"{kind} {seconds * 10:.0f}" for kind, seconds in cpu.most_common() if seconds >= 0.05)
    print(f"{what}: {frames:.1f} frames presented a second ({fps:.0f} animation frames), "
          f"{sum(cpu.values()) * 10:.0f} % CPU ({split})")
    return frames, sum(cpu.values()) * 10


def against_the_floor(orvanel, floors):  # the floor measured before and after Orvanel
    frames, cpu = (sum(f[i] for f in floors) / len(floors) for i in (0, 1))
    print(f"Orvanel against the empty frames: {orvanel[0] / frames:.2f} of their frames "
          f"presented, {orvanel[1] / cpu:.2f} times their CPU")


def site_size(site):
    sizes = {name: os.path.getsize(os.path.join(site, name)) for name in sorted(os.listdir(site))}
    print(f"site: {sum(sizes.values()) / 1024:.1f} KiB (" +
          ", ".join(f"{name} {size / 1024:.1f}" for name, size in sizes.items()) + ")")


def over_ten_seconds(browser):  # frames a second, % of one core
    before = cpu_seconds(browser.process.pid)
    fps = browser.js(FPS)
    return fps, (cpu_seconds(browser.process.pid) - before) * 10


site = tempfile.mkdtemp()
shutil.copytree(sys.argv[1], site, dirs_exist_ok=True)
with open(f"{site}/floor.html", "wb") as f:
    f.write(FLOOR)
handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=site)
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
threading.Thread(target=server.serve_forever, daemon=True).start()
address = f"http://127.0.0.1:{server.server_address[1]}"
site_size(sys.argv[1])
with Browser("chromium", f"{site}/profile") as browser:
    count_presented(browser)
    browser.send("Page.navigate", url=f"{address}/floor.html")
    time.sleep(2)
    floor = presented(browser, "empty frames", "clears")
    browser.send("Page.navigate", url=f"{address}/index.html")
    seen = 0
    while not seen:
        seen = browser.js("document.getElementById('box')?.open ? performance.now() : 0")
    print("load to the question: %.0f ms" % seen)
    for kind in ("rawKeyDown", "keyUp"):  # No: the window
        browser.send("Input.dispatchKeyEvent", type=kind, code="Escape", key="Escape",
                     windowsVirtualKeyCode=27)
    time.sleep(2)
    print("its drawing buffer: %s at density %s" % tuple(
        browser.js("[`${canvas.width}x${canvas.height}`, devicePixelRatio]")))
    orvanel = presented(browser, "Orvanel in its window", "draws")
    ours = browser.send("Target.getTargetInfo")["targetInfo"]["targetId"]
    browser.send("Target.createTarget", url="about:blank")  # in front of ours, which is hidden
    time.sleep(2)
    before = cpu_seconds(browser.process.pid)
    time.sleep(10)
    state = browser.js("document.visibilityState")
    print("page %s: %.0f %% CPU" % (state, (cpu_seconds(browser.process.pid) - before) * 10))
    browser.send("Target.activateTarget", targetId=ours)  # the floor again, as the machine is now
    browser.send("Page.navigate", url=f"{address}/floor.html")
    time.sleep(2)
    against_the_floor(orvanel, [floor, presented(browser, "empty frames again", "clears")])
server.shutdown()
shutil.rmtree(site)
