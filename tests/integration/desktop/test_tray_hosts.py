#!/usr/bin/python3
"""The tray icon with real tray hosts: `sni` docks it in xfce4-panel's status tray (a
StatusNotifierItem watcher and host), `xembed` in trayer (an XEmbed system tray). In both, the
icon is taken up without the no-tray fallback, and real clicks on it open and close the popover.
Neither starts a notification daemon: ostrel logs that there is none and carries on."""

import sys
import time

import ostrel_journey as oj
import tray_hosts as th

MODE = sys.argv[2] if len(sys.argv) > 2 else ""
PROGRAMS = {"sni": ("xfce4-panel", "xdotool", "xwininfo"), "xembed": ("trayer", "xdotool", "xwininfo")}
if MODE not in PROGRAMS:
    print("usage: test_tray_hosts.py <build folder> sni|xembed")
    sys.exit(2)
why = th.missing(*PROGRAMS[MODE])
if why:
    print("[journey] SKIP: " + why)
    sys.exit(77)

NO_TRAY_LINE = "[Ostrel] No system tray on this desktop"
NO_DAEMON_LINE = "[AppState] notification auth error: no notification server: "


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


def journey(j):
    icon = sni_icon(j) if MODE == "sni" else xembed_icon(j)

    j.step("no notification daemon on this bus: ostrel says so and goes on")
    j.wait_until(lambda: NO_DAEMON_LINE in j.app_output(), "the line about the missing notification server")

    j.step("with a tray there is no fallback: no message, no popover at start")
    j.check(NO_TRAY_LINE not in j.app_output(), "ostrel fell back to no tray:\n" + j.app_output())
    j.check(not popover_showing(j), "the popover opened at start although a tray is there")

    j.step("a click on the tray icon opens the popover")
    th.click(icon)
    j.popover()

    j.step("a second click closes it")
    # Apart by more than the double-click interval (Qt's default 400 ms): two quick clicks are a
    # double click, which the icon does not take as a toggle.
    time.sleep(0.6)
    th.click(icon)
    j.wait_until(lambda: not popover_showing(j), "the popover to close")


oj.run(journey, before_app=th.start_xfce_panel if MODE == "sni" else th.start_trayer)
