"""A small client of Chromium's DevTools protocol: starts Debian's chromium headless with a fresh
profile and drives one page over the protocol's web socket (python3-websocket)."""

import json
import os
import shutil
import subprocess
import tempfile
import time
import urllib.request

CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                  "--disable-background-networking", "--disable-component-update", "--disable-sync",
                  "--remote-debugging-port=0", "--remote-allow-origins=*"]


def missing():
    """Why a browser test cannot run here, or None."""
    if not shutil.which("chromium"):
        return "chromium is not installed (scripts/install-deps.sh installs it)"
    try:
        import websocket  # noqa: F401
    except ImportError:
        return "python3-websocket is not installed (scripts/install-deps.sh installs it)"
    return None


class Browser:
    def __init__(self, log_path):
        self.profile = tempfile.mkdtemp(prefix="ostrel-chromium.")
        self._log = open(log_path, "w")
        self._process = subprocess.Popen(["chromium"] + CHROMIUM_FLAGS + ["--user-data-dir=" + self.profile,
                                                                        "about:blank"],
                                          stdout=self._log, stderr=subprocess.STDOUT)
        self.events = []
        self._next_id = 0
        self._socket = self._connect()

    def _connect(self):
        import websocket

        port_file = os.path.join(self.profile, "DevToolsActivePort")
        deadline = time.monotonic() + 30
        while not os.path.exists(port_file) or not open(port_file).read().strip():
            if self._process.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("chromium did not open its DevTools port (exit %s)" % self._process.poll())
            time.sleep(0.1)
        port = open(port_file).read().split()[0]
        with urllib.request.urlopen("http://127.0.0.1:%s/json/list" % port, timeout=10) as answer:
            pages = [t for t in json.load(answer) if t["type"] == "page"]
        return websocket.create_connection(pages[0]["webSocketDebuggerUrl"], timeout=30)

    def call(self, method, **params):
        self._next_id += 1
        ident = self._next_id
        self._socket.send(json.dumps({"id": ident, "method": method, "params": params}))
        while True:
            message = json.loads(self._socket.recv())
            if message.get("id") == ident:
                if "error" in message:
                    raise RuntimeError("%s: %s" % (method, message["error"]))
                return message.get("result", {})
            self.events.append(message)

    def mark(self):
        """A point in the event log for `wait_event(since=)`."""
        return len(self.events)

    def wait_event(self, predicate, what, since=0, timeout=20):
        """The first event after `since` (seen already or arriving within `timeout`) that
        satisfies `predicate`."""
        deadline = time.monotonic() + timeout
        index = since
        while True:
            while index < len(self.events):
                if predicate(self.events[index]):
                    return self.events[index]
                index += 1
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise RuntimeError("timed out waiting for %s" % what)
            self._socket.settimeout(remaining)
            try:
                self.events.append(json.loads(self._socket.recv()))
            except Exception as error:
                if "timed out" in str(error).lower():
                    continue
                raise

    def navigate(self, url):
        since = self.mark()
        self.call("Page.navigate", url=url)
        self.wait_event(lambda e: e.get("method") == "Page.loadEventFired", "%s to load" % url, since)

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True, awaitPromise=True)
        if "exceptionDetails" in result:
            raise RuntimeError("%s threw: %s" % (expression, result["exceptionDetails"]))
        return result["result"].get("value")

    def close(self):
        try:
            self._socket.close()
        except Exception:
            pass
        if self._process.poll() is None:
            self._process.terminate()
            try:
                self._process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()
        self._log.close()
        shutil.rmtree(self.profile, ignore_errors=True)
