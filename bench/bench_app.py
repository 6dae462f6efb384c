#!/usr/bin/env python3
"""Whole-application benchmarks of a built Ostrel, side by side with bench_yardstick.

    bench/bench_app.py <build folder> [--runs N] [--idle-seconds S] [--only cold,memory,idle]

Runs in private surroundings (a private session bus with an unlocked keyring, HOME and the XDG
folders in a throwaway folder, the development service on free ports, QT_QPA_PLATFORM=offscreen),
signs the demo account in once by magic link, makes it pro with 20 tunnels, then:

  cold    process start to the first painted popover frame, and to the first frame showing the
          20 tunnels (the app's bench probe, OSTREL_BENCH_MARKS=1; the yardstick prints the same
          marks, its second after one answer of the service), over N runs each
  memory  peak (VmHWM) and settled (VmRSS 3 s after the tunnel frame) resident set size
  idle    CPU time and context switches (every thread's, from /proc) over S seconds with the
          popover closed and two tunnels running, in windows of S/6 seconds
  stopall bench_frpc's rows (50 stand-ins stopped by stopAll, with and without SIGTERM-ignorers)
  scale   the tunnel-list benchmark's rows (bench_tunnel_list*), when it has been built
  profile one start of each program under callgrind (valgrind), ended at the frame with the
          tunnels; prints the instructions of each and leaves <name>.callgrind in --profile-dir
          for callgrind_annotate (not part of the default set)

It prints one table row per figure: median, minimum and maximum of the runs.
"""

import argparse
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

DEMO_EMAIL = "demo@ostrel.test"
DEMO_PASSWORD = "ostrel-demo"
INNER = "OSTREL_BENCH_INNER"
FIRST = "[Bench] first popover frame"
LISTED = re.compile(r"^\[Bench\] popover frame with (\d+) tunnels")
STARTED = "[Bench] started"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--idle-seconds", type=float, default=60.0)
    parser.add_argument("--only", default="cold,memory,idle,stopall,scale")
    parser.add_argument("--profile-dir", default=os.getcwd())
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    if os.environ.get(INNER) != "1":
        sys.exit(outer(build))
    sys.exit(inner(build, args))


def outer(build):
    for tool in ("dbus-run-session", "gnome-keyring-daemon"):
        if not shutil.which(tool):
            print("bench_app: %s is missing (scripts/install-deps.sh installs it)" % tool)
            return 1
    root = tempfile.mkdtemp(prefix="ostrel-bench.")
    try:
        home = os.path.join(root, "home")
        env = dict(os.environ)
        env.update({INNER: "1", "OSTREL_BENCH_ROOT": root, "HOME": home,
                    "XDG_CONFIG_HOME": os.path.join(home, ".config"),
                    "XDG_DATA_HOME": os.path.join(home, ".local/share"),
                    "XDG_CACHE_HOME": os.path.join(home, ".cache"),
                    "XDG_RUNTIME_DIR": os.path.join(root, "run"),
                    "QT_QPA_PLATFORM": "offscreen", "ASAN_OPTIONS": "detect_leaks=0"})
        for key in ("DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "GNOME_KEYRING_CONTROL"):
            env.pop(key, None)
        for key in ("XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"):
            os.makedirs(env[key], mode=0o700, exist_ok=True)
        return subprocess.call(["dbus-run-session", "--", sys.executable, os.path.abspath(sys.argv[0])] +
                               sys.argv[1:], env=env)
    finally:
        shutil.rmtree(root, ignore_errors=True)


class Marked:
    """A started program whose output lines are watched for the bench marks."""

    def __init__(self, command, env):
        self.started = time.monotonic()
        self.process = subprocess.Popen(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                        text=True, bufsize=1)
        self.pid = self.process.pid
        self.lines = []
        self.marks = {}
        self._changed = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            now = time.monotonic()
            with self._changed:
                self.lines.append(line.rstrip("\n"))
                for key in (FIRST, STARTED):
                    if line.startswith(key):
                        self.marks.setdefault(key, now - self.started)
                if LISTED.match(line):
                    self.marks.setdefault("listed", now - self.started)
                self._changed.notify_all()

    def wait_mark(self, key, timeout=30.0):
        deadline = time.monotonic() + timeout
        with self._changed:
            while key not in self.marks:
                left = deadline - time.monotonic()
                if left <= 0 or self.process.poll() is not None:
                    raise RuntimeError("no %r from %s:\n%s" % (key, self.process.args[0], "\n".join(self.lines)))
                self._changed.wait(min(left, 0.2))
            return self.marks[key]

    def end(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def status_kib(pid, key):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    return 0


def idle_counters(pid):
    """Per thread of the process: (run time in ms, context switches)."""
    counters = {}
    for task in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/schedstat" % (pid, task)) as schedstat:
                run_ms = int(schedstat.read().split()[0]) / 1e6
            switches = 0
            with open("/proc/%d/task/%s/status" % (pid, task)) as status:
                for line in status:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        switches += int(line.split()[1])
            counters[task] = (run_ms, switches)
        except (FileNotFoundError, ProcessLookupError):
            pass
    return counters


def idle_delta(before, after):
    """CPU ms and context switches between two samples; a thread that ended in between counts with
    what it had at the first sample (its last part is lost), a new one with all it has."""
    cpu = switches = 0
    for task, (run_ms, count) in after.items():
        start = before.get(task, (0, 0))
        cpu += run_ms - start[0]
        switches += count - start[1]
    return cpu, switches


def stats(values):
    ordered = sorted(values)
    return ordered[len(ordered) // 2], ordered[0], ordered[-1]


class Bench:
    def __init__(self, build):
        self.bin = os.path.join(build, "bin")
        self.root = os.environ["OSTREL_BENCH_ROOT"]
        self.service = None
        self.base_url = None
        self.rows = []

    def start_surroundings(self):
        subprocess.run(["gnome-keyring-daemon", "--unlock", "--components=secrets"], input=b"ostrel-bench",
                       stdout=subprocess.DEVNULL, check=True)
        subprocess.run(["gnome-keyring-daemon", "--start", "--components=secrets"], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True)
        log = open(os.path.join(self.root, "devservice.log"), "w+")
        self.service = subprocess.Popen(
            [os.path.join(self.bin, "ostrel-devservice"), "--seed", "--db", ":memory:", "--port", "0",
             "--control-port", "0", "--hash-iterations", "1000", "--quiet-mail"], stdout=log,
            stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline and not self.base_url:
            log.seek(0)
            match = re.search(r"^listening on (http://127\.0\.0\.1:\d+)$", log.read(), re.M)
            self.base_url = match.group(1) if match else None
            time.sleep(0.1)
        if not self.base_url:
            raise RuntimeError("the development service did not start")
        self.call("POST", "/dev/plan", {"email": DEMO_EMAIL, "tier": "pro"})
        token = self.call("POST", "/auth/login", {"email": DEMO_EMAIL, "password": DEMO_PASSWORD})["token"]
        for i in range(20):
            self.call("POST", "/tunnels", {"protocol": "http", "localHost": "127.0.0.1",
                                           "localPort": 3000 + i, "subdomain": "bench-%02d" % i}, token)

    def call(self, method, path, body=None, token=None):
        headers = {"Content-Type": "application/json"}
        if token:
            headers["Authorization"] = "Bearer " + token
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(self.base_url + path, data=data, method=method, headers=headers)
        with urllib.request.urlopen(request, timeout=10) as answer:
            text = answer.read()
        return json.loads(text) if text else None

    def app_env(self, **extra):
        env = dict(os.environ, OSTREL_API_HOST=self.base_url.split("://", 1)[1], OSTREL_BENCH_MARKS="1")
        env.update(extra)
        return env

    def app(self, wrapper=(), **extra):
        return Marked([*wrapper, os.path.join(self.bin, "ostrel")], self.app_env(**extra))

    def yardstick(self, wrapper=()):
        return Marked([*wrapper, os.path.join(self.bin, "bench_yardstick"), self.base_url + "/health"],
                      dict(os.environ))

    def profile(self, folder):
        """Instructions from process start to the frame with the tunnels, app and yardstick."""
        for name, program in (("ostrel", self.app), ("bench_yardstick", self.yardstick)):
            out = os.path.join(folder, name + ".callgrind")
            started = program(wrapper=("valgrind", "--tool=callgrind", "--callgrind-out-file=" + out))
            try:
                started.wait_mark("listed", timeout=600)
            finally:
                started.end()
            with open(out) as data:
                totals = [line for line in data if line.startswith(("summary:", "totals:"))]
            print("  %-44s %s instructions" % (name + " under callgrind", totals[-1].split()[1]), flush=True)

    def sign_in(self):
        app = self.app()
        try:
            app.wait_mark(FIRST)
            self.call("POST", "/dev/magic-link", {"email": DEMO_EMAIL})
            mails = self.call("GET", "/dev/mailbox?email=" + urllib.request.quote(DEMO_EMAIL))
            link = [l for m in mails for l in m["links"] if l.startswith("ostrel://magic-link")][-1]
            subprocess.run([os.path.join(self.bin, "ostrel"), link], env=self.app_env(), timeout=30, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT)
            app.wait_mark("listed")
            # The keyring stores the token asynchronously.
            time.sleep(2)
        finally:
            app.end()
            if os.environ.get("OSTREL_BENCH_VERBOSE"):
                print("\n".join(app.lines))

    def row(self, name, unit, values, yard=None):
        self.rows.append((name, unit, stats(values), stats(yard) if yard else None))
        print("  %-44s %s" % (name, " ".join("%.1f" % v for v in values)), flush=True)
        if yard:
            print("  %-44s %s" % ("  yardstick", " ".join("%.1f" % v for v in yard)), flush=True)

    def cold_and_memory(self, runs, want_cold, want_memory):
        first, listed, peak, settled = [], [], [], []
        y_first, y_listed, y_peak, y_settled = [], [], [], []
        for _ in range(runs):
            for program, marks in ((self.app, (first, listed, peak, settled)),
                                   (self.yardstick, (y_first, y_listed, y_peak, y_settled))):
                started = program()
                try:
                    marks[0].append(started.wait_mark(FIRST) * 1000)
                    marks[1].append(started.wait_mark("listed") * 1000)
                    time.sleep(3)
                    marks[2].append(status_kib(started.pid, "VmHWM") / 1024)
                    marks[3].append(status_kib(started.pid, "VmRSS") / 1024)
                finally:
                    started.end()
                    if os.environ.get("OSTREL_BENCH_VERBOSE"):
                        print("\n".join(started.lines))
        if want_cold:
            self.row("cold start to first popover frame", "ms", first, y_first)
            self.row("cold start to frame with 20 tunnels", "ms", listed, y_listed)
        if want_memory:
            self.row("peak RSS (VmHWM), popover shown", "MiB", peak, y_peak)
            self.row("settled RSS, popover shown", "MiB", settled, y_settled)

    def idle(self, seconds):
        app = self.app(OSTREL_BENCH_START_TUNNELS="2")
        yard = self.yardstick()
        try:
            app.wait_mark(STARTED)
            yard.wait_mark("listed")
            # The connection poll runs until the service reports both tunnels active.
            time.sleep(5)
            windows = 6
            cpu, switches, y_cpu, y_switches = [], [], [], []
            before, y_before = idle_counters(app.pid), idle_counters(yard.pid)
            for _ in range(windows):
                time.sleep(seconds / windows)
                after, y_after = idle_counters(app.pid), idle_counters(yard.pid)
                for (c, w), (into_c, into_w) in ((idle_delta(before, after), (cpu, switches)),
                                                 (idle_delta(y_before, y_after), (y_cpu, y_switches))):
                    into_c.append(c)
                    into_w.append(w)
                before, y_before = after, y_after
            running = sum(1 for line in app.lines if "[FrpcManager] started frpc" in line)
            print("  idle: %d frpc running, popover closed, %.0f s in %d windows" % (running, seconds, windows))
            span = "per %.0f s" % (seconds / windows)
            self.row("idle CPU time " + span, "ms", cpu, y_cpu)
            self.row("idle context switches " + span, "", switches, y_switches)
            whole = "in %.0f s" % seconds
            self.row("idle CPU time " + whole, "ms", [sum(cpu)], [sum(y_cpu)])
            self.row("idle context switches " + whole, "", [sum(switches)], [sum(y_switches)])
        finally:
            app.end()
            yard.end()

    def helper_rows(self, program, *arguments):
        """Runs a bench binary and takes over its "<what>: median M unit (min A, max B" rows."""
        output = subprocess.run([program, *arguments], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                                env=dict(os.environ), timeout=900).stdout
        found = False
        unit = ""
        for line in output.splitlines():
            match = re.match(r"^(.*): median ([\d.]+) (\S+) \(min ([\d.]+), max ([\d.]+)", line)
            # The list benchmark's form: a heading naming the unit, then "  <what>   <median>" lines.
            heading = re.match(r"^(\S.*) \((\w+)\)$", line)
            plain = re.match(r"^  (\S.*?)\s{2,}([\d.]+)\b(.*)$", line)
            if match:
                found = True
                med, lo, hi = (float(match.group(i)) for i in (2, 4, 5))
                self.rows.append((match.group(1), match.group(3), (med, lo, hi), None))
            elif heading:
                unit = heading.group(2)
                prefix = heading.group(1).split(",")[0]
            elif plain and unit:
                found = True
                value = float(plain.group(2))
                self.rows.append(("%s: %s%s" % (prefix, plain.group(1), plain.group(3)), unit,
                                  (value, value, value), None))
            if not line.startswith("[FrpcManager]"):
                print("  " + line, flush=True)
        if not found:
            self.rows.append((os.path.basename(program) + " printed no figures", "", None, None))

    def scale(self):
        programs = sorted(p for p in os.listdir(self.bin) if p.startswith("bench_tunnel_list"))
        if not programs:
            self.rows.append(("scale: 1,000-tunnel list (bench_tunnel_list not built)", "", None, None))
        for program in programs:
            self.helper_rows(os.path.join(self.bin, program))

    def print_table(self):
        width = max([len("figure")] + [len(row[0]) for row in self.rows])
        line = "%-" + str(width) + "s %-5s %26s %26s %7s"
        print()
        print(line % ("figure", "unit", "ostrel median (min-max)", "yardstick median (min-max)", "ratio"))
        for name, unit, figures, yard in self.rows:
            if figures is None:
                print(line % (name, unit, "-", "-", "-"))
                continue
            app_text = "%.1f (%.1f-%.1f)" % figures
            y_text = "%.1f (%.1f-%.1f)" % yard if yard else "-"
            ratio = "%.2f" % (figures[0] / yard[0]) if yard and yard[0] else "-"
            print(line % (name, unit, app_text, y_text, ratio))
        sys.stdout.flush()

    def stop(self):
        if self.service and self.service.poll() is None:
            self.service.send_signal(signal.SIGTERM)
            self.service.wait(timeout=10)


def inner(build, args):
    only = set(args.only.split(","))
    bench = Bench(build)
    try:
        if only & {"cold", "memory", "idle"}:
            bench.start_surroundings()
            bench.sign_in()
        if only & {"cold", "memory"}:
            bench.cold_and_memory(max(1, args.runs), "cold" in only, "memory" in only)
        if "idle" in only:
            bench.idle(args.idle_seconds)
        if "stopall" in only:
            bench.helper_rows(os.path.join(bench.bin, "bench_frpc"), "10", str(max(2, args.runs)))
        if "scale" in only:
            bench.scale()
        if "profile" in only:
            if "cold" not in only and "memory" not in only and "idle" not in only:
                bench.start_surroundings()
                bench.sign_in()
            bench.profile(os.path.abspath(args.profile_dir))
        bench.print_table()
        return 0
    finally:
        bench.stop()


if __name__ == "__main__":
    main()
