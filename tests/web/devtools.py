# A DevTools protocol client for headless Chromium over --remote-debugging-pipe: JSON messages
# ending in NUL, ours on its fd 3, its own on its fd 4. Every answer has a deadline, and an
# exception thrown in the page fails the call that meets it. Used as a context manager: the
# browser, and everything it started, ends with the block.
import json
import os
import select
import sys
import time

from tests.e2e.harness import Failure, Program


class Browser:
    def __init__(self, chromium, profile, wait=20.0):  # wait: seconds for any one answer
        ours, its_in = os.pipe()[::-1]
        its_out, self.from_it = os.pipe()[::-1]
        # No connections of its own: on a closed network they are refused, or hang.
        quiet = ["--no-first-run", "--disable-background-networking", "--disable-component-update",
                 "--disable-sync", "--disable-quic"]
        flags = ["--headless=new", "--no-sandbox", "--use-angle=swiftshader",
                 "--enable-unsafe-swiftshader", "--remote-debugging-pipe", *quiet,
                 "--window-size=1000,800", f"--user-data-dir={profile}", "about:blank"]
        # Its fds 3 and 4 are taken from ours by dup2 in the child.
        moves = f"exec 3<&{its_in} 4>&{its_out}; exec \"$0\" \"$@\""
        self.process = Program(["sh", "-c", moves, chromium, *flags], pass_fds=(its_in, its_out))
        os.close(its_in)
        os.close(its_out)
        self.to_it = os.fdopen(ours, "wb")
        self.wait, self.received, self.last_id, self.session = wait, b"", 0, None

    def __enter__(self):
        try:
            targets = self.send("Target.getTargets")["targetInfos"]
            page = [t["targetId"] for t in targets if t["type"] == "page"][0]
            attached = self.send("Target.attachToTarget", targetId=page, flatten=True)
            self.session = attached["sessionId"]
            self.send("Runtime.enable")  # for the page's exceptions
        except BaseException:
            self.__exit__(*sys.exc_info())
            raise
        return self

    def __exit__(self, *exc):
        self.to_it.close()
        os.close(self.from_it)
        return self.process.__exit__(*exc)

    def send(self, method, wait=None, **params):  # its result, within wait seconds
        self.last_id += 1
        message = {"id": self.last_id, "method": method, "params": params}
        if self.session:
            message["sessionId"] = self.session
        self.to_it.write(json.dumps(message).encode() + b"\0")
        self.to_it.flush()
        wait = wait or self.wait
        awaited, deadline = f"{method} within {wait:.0f} s", time.monotonic() + wait
        while (reply := self.read(awaited, deadline)).get("id") != self.last_id:
            if reply.get("method") != "Runtime.exceptionThrown":  # other events are not needed
                continue
            details = reply["params"]["exceptionDetails"]
            thrown = details.get("exception", {})
            what = str(thrown.get("description", thrown.get("value", details["text"])))
            raise Failure(f"the page threw {what.splitlines()[0]!r} "
                          f"({details.get('url', 'no URL')}:{details['lineNumber'] + 1})")
        if "error" in reply:
            raise Failure(f"{method}: {reply['error']['message']}")
        return reply["result"]

    def read(self, awaited, deadline):  # the next message
        while b"\0" not in self.received:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.from_it], [], [], left)[0]:
                raise Failure(f"the browser did not answer {awaited}")
            if not (data := os.read(self.from_it, 1 << 16)):
                raise Failure(f"the browser closed its pipe, awaited: {awaited}")
            self.received += data
        message, self.received = self.received.split(b"\0", 1)
        return json.loads(message)

    def js(self, expression, wait=None):
        result = self.send("Runtime.evaluate", wait, expression=expression, awaitPromise=True,
                           returnByValue=True)
        return result["result"].get("value")
