# A DevTools protocol client for headless Chromium over --remote-debugging-pipe:
# JSON messages ending in NUL, ours on its fd 3, its own on its fd 4.
import json
import os
import subprocess


class Browser:
    def __init__(self, chromium, profile):
        ours, its_in = os.pipe()[::-1]
        its_out, mine = os.pipe()[::-1]
        os.set_inheritable(its_in, True)
        os.set_inheritable(its_out, True)
        # No connections of its own: on a closed network they are refused, or hang.
        quiet = ["--no-first-run", "--disable-background-networking", "--disable-component-update",
                 "--disable-sync", "--disable-quic"]
        flags = ["--headless=new", "--no-sandbox", "--use-angle=swiftshader",
                 "--enable-unsafe-swiftshader", "--remote-debugging-pipe", *quiet,
                 "--window-size=1000,800", f"--user-data-dir={profile}", "about:blank"]
        # Its fds 3 and 4 are taken from ours by dup2 in the child.
        moves = f"exec 3<&{its_in} 4>&{its_out}; exec \"$0\" \"$@\""
        self.process = subprocess.Popen(["sh", "-c", moves, chromium, *flags],
                                        pass_fds=(its_in, its_out), stderr=subprocess.DEVNULL)
        os.close(its_in)
        os.close(its_out)
        self.to_it = os.fdopen(ours, "wb")
        self.from_it = os.fdopen(mine, "rb")
        self.last_id = 0
        self.session = None
        page = [t for t in self.send("Target.getTargets")["targetInfos"] if t["type"] == "page"][0]
        attached = self.send("Target.attachToTarget", targetId=page["targetId"], flatten=True)
        self.session = attached["sessionId"]

    def send(self, method, **params):
        self.last_id += 1
        message = {"id": self.last_id, "method": method, "params": params}
        if self.session:
            message["sessionId"] = self.session
        self.to_it.write(json.dumps(message).encode() + b"\0")
        self.to_it.flush()
        while True:  # events on the way are not needed
            reply = json.loads(self.read_message())
            if reply.get("id") == self.last_id:
                break
        if "error" in reply:
            raise RuntimeError(f"{method}: {reply['error']['message']}")
        return reply["result"]

    def read_message(self):
        data = b""
        while not data.endswith(b"\0"):
            byte = self.from_it.read(1)
            if not byte:
                raise RuntimeError("the browser closed its pipe")
            data += byte
        return data[:-1]

    def js(self, expression):
        result = self.send("Runtime.evaluate", expression=expression, awaitPromise=True,
                           returnByValue=True)
        return result["result"].get("value")

    def close(self):
        self.process.terminate()
        self.process.wait()
