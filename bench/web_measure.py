# Figures for BENCHMARKS.md, not a test: load to the question, frames a
# second and CPU drawing against a page that draws empty frames (the
# floor), and CPU while the page is hidden.
# Usage, from the top folder: python3 -m bench.web_measure SITE_DIR
import functools
import http.server
import shutil
import subprocess
import sys
import tempfile
import threading
import time

from tests.web.devtools import Browser  # the browser test's client

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
with Browser("chromium", f"{site}/profile") as browser:
    browser.send("Page.navigate", url=f"{address}/floor.html")
    time.sleep(2)
    print("empty frames: %.0f fps, %.0f %% CPU" % over_ten_seconds(browser))
    browser.send("Page.navigate", url=f"{address}/index.html")
    seen = 0
    while not seen:
        seen = browser.js("document.getElementById('box')?.open ? performance.now() : 0")
    print("load to the question: %.0f ms" % seen)
    for kind in ("rawKeyDown", "keyUp"):  # No: the window
        browser.send("Input.dispatchKeyEvent", type=kind, code="Escape", key="Escape",
                     windowsVirtualKeyCode=27)
    time.sleep(2)
    print("Orvanel in its window: %.0f fps, %.0f %% CPU" % over_ten_seconds(browser))
    browser.send("Target.createTarget", url="about:blank")  # in front of ours, which is hidden
    time.sleep(2)
    before = cpu_seconds(browser.process.pid)
    time.sleep(10)
    state = browser.js("document.visibilityState")
    print("page %s: %.0f %% CPU" % (state, (cpu_seconds(browser.process.pid) - before) * 10))
server.shutdown()
shutil.rmtree(site)
