"""Shared set-up and helpers for the journey tests.

A journey drives the built `ostrel` only the way assistive technology does: through the AT-SPI
accessibility bus, finding controls by role and accessible name, typing through the
EditableText interface and pressing through the Action interface.

Everything runs in private surroundings so that any number of journeys (and other people's test
runs) can share the machine: a private session bus (dbus-run-session) with its own accessibility
bus and an unlocked keyring, a bare X server on a free display (Xvfb -displayfd), the development
service on free ports with its demo account, and HOME and the XDG folders in a throwaway folder.

    import ostrel_journey as oj

    def journey(j):
        j.sign_in()
        j.step("the header shows the account")
        j.find("label", oj.DEMO_EMAIL, within=j.popover())

    oj.run(journey)
"""

import json
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback
import urllib.request

SKIP = 77  # the journeys' SKIP_RETURN_CODE
DEMO_EMAIL = "demo@ostrel.test"
DEMO_PASSWORD = "ostrel-demo"
DEFAULT_TIMEOUT = 15.0
POPOVER_SIZE = (360, 600)

_INNER = "OSTREL_JOURNEY_INNER"
_BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"


class Skip(Exception):
    """AT-SPI cannot start here: the journey is skipped, with the reason printed."""


class JourneyFailure(AssertionError):
    pass


def _say(text):
    print(text, flush=True)


# ---- Outer start: a private session bus --------------------------------------------------


def run(journey, before_app=None):
    """The entry of every journey script: runs `journey(j)` with `j` a started Journey.
    `before_app(j)`, if given, starts more of the surroundings (a panel, a notification daemon)
    once the display, buses and service are up and before ostrel starts."""
    build = _build_dir()
    if os.environ.get(_INNER) != "1":
        sys.exit(_run_outer(build))
    sys.exit(_run_inner(journey, build, before_app))


def _build_dir():
    build = os.environ.get("OSTREL_BUILD_DIR")
    if not build and len(sys.argv) > 1:
        build = sys.argv[1]
    if not build:
        _say("usage: journey_<area>.py <build folder> (or OSTREL_BUILD_DIR)")
        sys.exit(2)
    return os.path.abspath(build)


def _run_outer(build):
    for tool in ("dbus-run-session", "Xvfb", "gnome-keyring-daemon"):
        if not shutil.which(tool):
            _say("[journey] FAIL: %s is missing (scripts/install-deps.sh installs it)" % tool)
            return 1
    root = tempfile.mkdtemp(prefix="ostrel-journey.")
    try:
        env = dict(os.environ)
        home = os.path.join(root, "home")
        env.update(
            {
                _INNER: "1",
                "OSTREL_BUILD_DIR": build,
                "OSTREL_JOURNEY_ROOT": root,
                "HOME": home,
                "XDG_CONFIG_HOME": os.path.join(home, ".config"),
                "XDG_DATA_HOME": os.path.join(home, ".local/share"),
                "XDG_CACHE_HOME": os.path.join(home, ".cache"),
                "XDG_RUNTIME_DIR": os.path.join(root, "run"),
            }
        )
        for key in ("DISPLAY", "WAYLAND_DISPLAY", "AT_SPI_BUS_ADDRESS", "DBUS_SESSION_BUS_ADDRESS",
                    "GNOME_KEYRING_CONTROL", "SSH_AUTH_SOCK", "QT_QPA_PLATFORM"):
            env.pop(key, None)
        for key in ("XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"):
            os.makedirs(env[key], mode=0o700, exist_ok=True)
        command = ["dbus-run-session", "--", sys.executable, os.path.abspath(sys.argv[0]), build] + sys.argv[2:]
        return subprocess.call(command, env=env)
    finally:
        shutil.rmtree(root, ignore_errors=True)


# ---- Inner start: inside the private bus -------------------------------------------------


def _run_inner(journey, build, before_app=None):
    j = Journey(build)
    try:
        j.start(before_app)
        journey(j)
        _say("[journey] PASS after %d steps" % j.steps)
        return 0
    except Skip as skip:
        _say("[journey] SKIP: %s" % skip)
        return SKIP
    except Exception:
        _say("[journey] FAIL at step %d" % j.steps)
        traceback.print_exc()
        j.dump_on_failure()
        return 1
    finally:
        j.stop()


class Journey:
    def __init__(self, build):
        self.build = build
        self.bin = os.path.join(build, "bin")
        self.root = os.environ["OSTREL_JOURNEY_ROOT"]
        self.steps = 0
        self.base_url = None
        self.app_pid = None
        self._processes = []  # (name, Popen), stopped in reverse order
        self._app = None
        self._app_log = os.path.join(self.root, "ostrel.log")
        self._atspi = None

    # ---- Surroundings ---------------------------------------------------------------------

    def start(self, before_app=None):
        self._start_keyring()
        self._start_display()
        self._start_accessibility_bus()
        self._start_service()
        if before_app:
            before_app(self)
        self._start_app()

    def spawn(self, name, command, **kwargs):
        """Starts a process that is stopped with the surroundings."""
        return self._spawn(name, command, **kwargs)

    def _spawn(self, name, command, **kwargs):
        process = subprocess.Popen(command, **kwargs)
        self._processes.append((name, process))
        return process

    def _start_keyring(self):
        # --unlock creates the "login" keyring with this password and leaves it unlocked;
        # --start then completes the daemon's start-up.
        subprocess.run(["gnome-keyring-daemon", "--unlock", "--components=secrets"], input=b"ostrel-journey",
                       stdout=subprocess.DEVNULL, check=True)
        subprocess.run(["gnome-keyring-daemon", "--start", "--components=secrets"], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True)

    def _start_display(self):
        read_end, write_end = os.pipe()
        self._spawn("Xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x800x24", "-nolisten",
                             "tcp"], pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 20
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([read_end], [], [], 0.5)
            if ready:
                chunk = os.read(read_end, 16)
                if not chunk:
                    break
                number += chunk
        os.close(read_end)
        if not number.strip():
            raise JourneyFailure("Xvfb did not report a display")
        os.environ["DISPLAY"] = ":" + number.decode().strip()
        _say("[journey] X server on %s" % os.environ["DISPLAY"])

    def _start_accessibility_bus(self):
        if not os.access(_BUS_LAUNCHER, os.X_OK):
            raise Skip("%s is missing (at-spi2-core)" % _BUS_LAUNCHER)
        self._spawn("at-spi-bus-launcher", [_BUS_LAUNCHER, "--launch-immediately"], stdout=subprocess.DEVNULL,
                    stderr=subprocess.DEVNULL)
        try:
            import pyatspi  # noqa: F401 (the bus address is read on first use)
        except ImportError as error:
            raise JourneyFailure("python3-pyatspi is missing (scripts/install-deps.sh installs it): %s" % error)
        self._atspi = pyatspi
        deadline = time.monotonic() + 10
        while True:
            try:
                desktop = pyatspi.Registry.getDesktop(0)
                desktop.childCount
                return
            except Exception as error:  # the bus or its registry is not there (yet)
                if time.monotonic() > deadline:
                    raise Skip("the accessibility bus did not start: %s" % error)
                time.sleep(0.2)

    def _start_service(self):
        log = open(os.path.join(self.root, "devservice.log"), "w+")
        service = self._spawn(
            "ostrel-devservice",
            [os.path.join(self.bin, "ostrel-devservice"), "--seed", "--db", ":memory:", "--port", "0",
             "--control-port", "0", "--hash-iterations", "1000", "--quiet-mail"],
            stdout=log, stderr=subprocess.STDOUT, env=dict(os.environ, ASAN_OPTIONS="detect_leaks=0"))
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            log.seek(0)
            match = re.search(r"^listening on (http://127\.0\.0\.1:\d+)$", log.read(), re.M)
            if match:
                self.base_url = match.group(1)
                _say("[journey] development service at %s" % self.base_url)
                return
            if service.poll() is not None:
                break
            time.sleep(0.1)
        log.seek(0)
        raise JourneyFailure("the development service did not start:\n" + log.read())

    def app_environment(self):
        env = dict(os.environ)
        env.update(
            {
                # The release-like binary, pointed at this journey's service (development builds
                # only honour the override).
                "OSTREL_API_HOST": self.base_url.split("://", 1)[1],
                "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
                "QT_ACCESSIBILITY": "1",
                "ASAN_OPTIONS": "detect_leaks=0",
            }
        )
        return env

    def _start_app(self):
        self._app_output = open(self._app_log, "w+")
        self._app = self._spawn("ostrel", [os.path.join(self.bin, "ostrel")], env=self.app_environment(),
                                stdout=self._app_output, stderr=subprocess.STDOUT)
        self.app_pid = self._app.pid
        _say("[journey] ostrel started, pid %d" % self.app_pid)
        self.application()

    def stop(self):
        for name, process in reversed(self._processes):
            if process.poll() is None:
                process.send_signal(signal.SIGTERM)
                try:
                    process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        self._processes.clear()

    def app_output(self):
        with open(self._app_log) as log:
            return log.read()

    def dump_on_failure(self):
        try:
            _say("---- accessibility tree of ostrel ----")
            self.print_tree(self.application())
        except Exception as error:
            _say("(no tree: %s)" % error)
        _say("---- ostrel output ----")
        _say(self.app_output())

    # ---- Driving the application from outside ----------------------------------------------

    def open_url(self, url):
        """Hands a URL to the running ostrel the way the desktop does: a second start."""
        second = subprocess.run([os.path.join(self.bin, "ostrel"), url], env=self.app_environment(), timeout=30,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if second.returncode != 0:
            raise JourneyFailure("ostrel %s ended with %d: %s" % (url, second.returncode, second.stdout))

    def service(self, method, path, body=None):
        """A call to the development service; the decoded JSON answer (None when empty)."""
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(self.base_url + path, data=data, method=method,
                                         headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(request, timeout=10) as answer:
            text = answer.read()
        return json.loads(text) if text else None

    def magic_link(self, email=DEMO_EMAIL):
        self.service("POST", "/dev/magic-link", {"email": email})
        mails = self.service("GET", "/dev/mailbox?email=" + urllib.request.quote(email))
        links = [link for mail in mails for link in mail["links"] if link.startswith("ostrel://magic-link")]
        if not links:
            raise JourneyFailure("no magic link in the mailbox of %s" % email)
        return links[-1]

    def sign_in(self, email=DEMO_EMAIL):
        """Signs in by the magic link from the dev mailbox, delivered as a deep link."""
        self.step("sign in as %s by magic link" % email)
        self.open_url(self.magic_link(email))
        self.find("label", email, within=self.popover())

    # ---- Steps ---------------------------------------------------------------------------

    def step(self, text):
        self.steps += 1
        _say("[journey] step %d: %s" % (self.steps, text))

    def check(self, condition, text):
        if not condition:
            raise JourneyFailure(text)

    def wait_until(self, predicate, what, timeout=DEFAULT_TIMEOUT):
        deadline = time.monotonic() + timeout
        last_error = None
        while True:
            if self._app is not None and self._app.poll() is not None:
                raise JourneyFailure("ostrel ended (code %s) while waiting for %s" % (self._app.returncode, what))
            try:
                result = predicate()
                if result:
                    return result
            except Exception as error:  # an object that went away mid-walk: look again
                last_error = error
            if time.monotonic() > deadline:
                raise JourneyFailure("timed out after %.0f s waiting for %s%s" %
                                     (timeout, what, " (%s)" % last_error if last_error else ""))
            time.sleep(0.1)

    # ---- The accessibility tree ------------------------------------------------------------

    def application(self, timeout=DEFAULT_TIMEOUT):
        """The accessible application of the started ostrel."""

        def lookup():
            desktop = self._atspi.Registry.getDesktop(0)
            desktop.clearCache()
            for index in range(desktop.childCount):
                app = desktop.getChildAtIndex(index)
                if app is not None and app.get_process_id() == self.app_pid:
                    return app
            return None

        return self.wait_until(lookup, "ostrel on the accessibility bus", timeout)

    def popover(self, timeout=DEFAULT_TIMEOUT):
        """The popover's window while it is on screen. It and the settings window are both named
        Ostrel; the popover is the one of the popover's fixed size."""

        def lookup():
            for window in self.windows(showing=True):
                if self.size_of(window) == POPOVER_SIZE:
                    return window
            return None

        return self.wait_until(lookup, "the popover on screen", timeout)

    def settings_window(self, timeout=DEFAULT_TIMEOUT):
        """The settings window while it is on screen."""

        def lookup():
            for window in self.windows(showing=True):
                # The popover keeps its width while it resizes or closes; the window never has it.
                if window.name == "Ostrel" and self.size_of(window)[0] != POPOVER_SIZE[0]:
                    return window
            return None

        return self.wait_until(lookup, "the settings window on screen", timeout)

    def size_of(self, node):
        extents = node.queryComponent().getExtents(self._atspi.DESKTOP_COORDS)
        return (extents.width, extents.height)

    def windows(self, showing=True):
        app = self.application()
        app.clearCache()
        result = []
        for index in range(app.childCount):
            window = app.getChildAtIndex(index)
            if window is not None and (not showing or "showing" in self.states(window)):
                result.append(window)
        return result

    def find(self, role, name, within=None, timeout=DEFAULT_TIMEOUT, showing=True):
        """The first object under `within` (default: the application) with this role name (as
        AT-SPI spells it: "push button", "label", "text", "check box", ...) and accessible name (a
        string, or a compiled regular expression), waiting for it to appear."""
        what = "%s %r" % (role, name if isinstance(name, str) else name.pattern)

        def lookup():
            root = within if within is not None else self.application()
            root.clearCache()
            return self._find(root, role, name, showing)

        return self.wait_until(lookup, what, timeout)

    def find_all(self, role, within=None, showing=True):
        root = within if within is not None else self.application()
        root.clearCache()
        return [node for node in _walk(root) if node.getRoleName() == role and
                (not showing or "showing" in self.states(node))]

    def absent(self, role, name, within=None, timeout=DEFAULT_TIMEOUT):
        """Waits until no showing object with this role and name is left."""
        what = "%s %r to go away" % (role, name if isinstance(name, str) else name.pattern)

        def gone():
            root = within if within is not None else self.application()
            root.clearCache()
            return self._find(root, role, name, True) is None

        self.wait_until(gone, what, timeout)

    def _find(self, root, role, name, showing=True):
        for node in _walk(root):
            if node.getRoleName() == role and _matches(node.name, name):
                if not showing or "showing" in self.states(node):
                    return node
        return None

    def states(self, node):
        return {self._atspi.stateToString(state) for state in node.getState().getStates()}

    def press(self, node):
        """Presses a control through its Action interface (its first action, "Press" for buttons)."""
        action = node.queryAction()
        names = [action.getName(index) for index in range(action.nActions)]
        self.check(names, "%s %r offers no action" % (node.getRoleName(), node.name))
        index = names.index("Press") if "Press" in names else 0
        self.check(action.doAction(index), "%s %r refused %s" % (node.getRoleName(), node.name, names[index]))

    def set_text(self, node, text):
        """Replaces the text of an editable control through its EditableText interface."""
        self.check(node.queryEditableText().setTextContents(text), "%r took no text" % node.name)

    def text_of(self, node):
        content = node.queryText()
        return content.getText(0, content.characterCount)

    def tree_lines(self, root):
        lines = []

        def visit(node, depth):
            states = self.states(node)
            if depth and "showing" not in states:
                return
            marks = [s for s in ("focused", "focusable", "checked", "editable") if s in states]
            lines.append("%s%s %r%s" % ("  " * depth, node.getRoleName(), node.name,
                                        " [%s]" % ", ".join(marks) if marks else ""))
            for index in range(node.childCount):
                child = node.getChildAtIndex(index)
                if child is not None:
                    visit(child, depth + 1)

        root.clearCache()
        visit(root, 0)
        return lines

    def print_tree(self, root):
        """Prints the showing objects under `root`: role, accessible name and the states that
        matter to a keyboard user."""
        for line in self.tree_lines(root):
            _say("    " + line)


def _walk(root):
    stack = [root]
    while stack:
        node = stack.pop()
        yield node
        children = [node.getChildAtIndex(i) for i in range(node.childCount)]
        stack.extend(child for child in reversed(children) if child is not None)


def _matches(actual, wanted):
    if isinstance(wanted, str):
        return actual == wanted
    return actual is not None and wanted.fullmatch(actual) is not None
