#!/usr/bin/python3
"""The tray icon with real tray hosts: `sni` docks it in xfce4-panel's status tray (a
StatusNotifierItem watcher and host), `xembed` in trayer (an XEmbed system tray). In both, the
icon is taken up without the no-tray fallback, real clicks on it open and close the popover, a
double click opens it as one click does, and its image follows the run state of a tunnel.
`sni` has no notification daemon: ostrel logs that there is none and carries on. `xembed` runs
dunst: a real crash of the tunnel's frpc shows the crash notification, and a click on it brings
the popover up."""

import glob
import json
import os
import signal
import subprocess
import sys
import time
import urllib.request

import ostrel_journey as oj
import tray_hosts as th

MODE = sys.argv[2] if len(sys.argv) > 2 else ""
PROGRAMS = {"sni": ("xfce4-panel", "xdotool", "xwininfo"),
            "xembed": ("trayer", "xdotool", "xwininfo", "import", "dunst", "dunstctl")}
if MODE not in PROGRAMS:
    print("usage: test_tray_hosts.py <build folder> sni|xembed")
    sys.exit(2)
why = th.missing(*PROGRAMS[MODE])
if why:
    print("[journey] SKIP: " + why)
    sys.exit(77)

NO_TRAY_LINE = "[Ostrel] No system tray on this desktop"
NO_DAEMON_LINE = "[AppState] notification auth error: no notification server: "
# Apart by more than the double-click interval (Qt's default 400 ms).
APART = 0.6
# A click on a notification runs its default action, as most desktops' daemons do.
DUNSTRC = """[global]
    mouse_left_click = do_action, close_current
    geometry = "300x100+0-0"
"""


def popover_showing(j):
    return any(j.size_of(window) == oj.POPOVER_SIZE for window in j.windows())


def sni_icon(j):
    j.step("ostrel registers its item with the panel's watcher")
    items = j.wait_until(th.registered_items, "an item registered with the StatusNotifierWatcher")
    j.check(len(items) == 1, "registered items: %r" % items)
    service, path = th.split_item(items[0])
    pid = th.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                  "GetConnectionUnixProcessID", "(s)", (service,))[0]
    j.check(pid == j.app_pid, "the item belongs to pid %d, not ostrel's %d" % (pid, j.app_pid))
    j.check(th.get_property(service, path, th.ITEM_INTERFACE, "ToolTip")[2] == "Ostrel", "tool tip is not Ostrel")
    pixmaps = th.get_property(service, path, th.ITEM_INTERFACE, "IconPixmap")
    j.check(pixmaps and all(len(data) == 4 * w * h for w, h, data in pixmaps), "icon pixmaps: %r" %
            [(w, h, len(data)) for w, h, data in pixmaps])
    # The status tray plug-in is the panel's only plug-in; ostrel's is its only icon.
    return j.wait_until(lambda: th.windows("--name", "^wrapper-2.0$"), "the panel's status tray")[0]


def xembed_icon(j):
    j.step("ostrel's icon window docks in trayer")
    tray = th.windows("--classname", "panel")[0]

    def docked():
        for line in th.children(tray).splitlines():
            if '("ostrel" "ostrel")' in line:
                return line.split()[0]
        return None

    return j.wait_until(docked, "an ostrel window inside trayer's panel")


def sni_image(j):
    items = th.registered_items()
    service, path = th.split_item(items[0])
    return th.get_property(service, path, th.ITEM_INTERFACE, "IconPixmap")


def xembed_image(j, window):
    return subprocess.run(["import", "-window", window, "rgb:-"], stdout=subprocess.PIPE, check=True).stdout


def start_trayer_and_dunst(j):
    th.start_trayer(j)
    with open(os.path.join(j.root, "dunstrc"), "w") as rc:
        rc.write(DUNSTRC)
    log = open(os.path.join(j.root, "dunst.log"), "w")
    j.spawn("dunst", ["dunst", "-config", os.path.join(j.root, "dunstrc")], stdout=log, stderr=subprocess.STDOUT)
    # Asked without starting anything: the bus could otherwise start a dunst of its own.
    j.wait_until(lambda: th.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                 "NameHasOwner", "(s)", ("org.freedesktop.Notifications",))[0], "dunst on the bus")


def dunst(*arguments):
    return subprocess.run(["dunstctl"] + list(arguments), stdout=subprocess.PIPE, text=True).stdout.strip()


def frpc_pids(j):
    """The running frpc of this journey's tunnels, found by their configuration files."""
    configs = glob.glob(os.path.join(os.environ["XDG_CACHE_HOME"], "ostrel-frpc", "frpc-*.toml"))
    pids = []
    for entry in os.listdir("/proc"):
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as cmdline:
                arguments = cmdline.read().decode(errors="replace").split("\0")
        except OSError:
            continue
        if any(config in arguments for config in configs):
            pids.append(int(entry))
    return pids


def create_tunnel(j):
    token = j.service("POST", "/auth/login", {"email": oj.DEMO_EMAIL, "password": oj.DEMO_PASSWORD})["token"]
    request = urllib.request.Request(j.base_url + "/tunnels", method="POST", data=json.dumps(
        {"localHost": "127.0.0.1", "localPort": 8080, "protocol": "http"}).encode(), headers={
        "Content-Type": "application/json", "Authorization": "Bearer " + token})
    urllib.request.urlopen(request, timeout=10).close()


def run_state_and_crash(j, icon):
    image = (lambda: sni_image(j)) if MODE == "sni" else (lambda: xembed_image(j, icon))
    idle = image()
    create_tunnel(j)
    j.sign_in()
    popover = j.popover()
    j.step("a started tunnel changes the icon; stopped, it is the idle icon again")
    j.press(j.find("push button", "Start tunnel", within=popover))
    j.wait_until(lambda: image() != idle, "the icon to change with the tunnel running")
    j.press(j.find("push button", "Stop tunnel", within=popover))
    j.wait_until(lambda: image() == idle, "the idle icon again")
    if MODE != "xembed":
        return

    j.step("frpc killed: dunst shows the crash notification")
    j.press(j.find("push button", "Start tunnel", within=popover))
    pids = j.wait_until(lambda: frpc_pids(j), "the tunnel's frpc")
    time.sleep(APART)
    th.click(icon)
    j.wait_until(lambda: not popover_showing(j), "the popover to close")
    os.kill(pids[0], signal.SIGKILL)
    j.wait_until(lambda: dunst("count", "displayed") == "1", "a notification on screen")

    j.step("a click on the notification brings the popover up")
    th.click(j.wait_until(lambda: th.windows("--classname", "Dunst"), "dunst's window")[0])
    j.wait_until(lambda: popover_showing(j), "the popover after the click")
    shown = [(entry["summary"]["data"], entry["body"]["data"])
             for group in json.loads(dunst("history"))["data"] for entry in group]
    j.check(any(summary == "Tunnel disconnected" and body.startswith("The tunnel ") and
                body.endswith(" stopped unexpectedly. Ostrel will try to reconnect it.") for summary, body in shown),
            "dunst showed %r" % shown)


def journey(j):
    icon = sni_icon(j) if MODE == "sni" else xembed_icon(j)

    if MODE == "sni":
        j.step("no notification daemon on this bus: ostrel says so and goes on")
        j.wait_until(lambda: NO_DAEMON_LINE in j.app_output(), "the line about the missing notification server")

    j.step("with a tray there is no fallback: no message, no popover at start")
    j.check(NO_TRAY_LINE not in j.app_output(), "ostrel fell back to no tray:\n" + j.app_output())
    j.check(not popover_showing(j), "the popover opened at start although a tray is there")

    j.step("a click on the tray icon opens the popover")
    th.click(icon)
    j.popover()

    j.step("a second click closes it")
    time.sleep(APART)
    th.click(icon)
    j.wait_until(lambda: not popover_showing(j), "the popover to close")

    j.step("a double click opens it as one click does, and it stays open")
    time.sleep(APART)
    th.click(icon, repeat=2)
    j.wait_until(lambda: popover_showing(j), "the popover after a double click")
    time.sleep(APART)
    j.check(popover_showing(j), "a double click opened the popover and closed it again")

    run_state_and_crash(j, icon)


oj.run(journey, before_app=th.start_xfce_panel if MODE == "sni" else start_trayer_and_dunst)
