"""Real tray hosts for the journeys: xfce4-panel's status tray (a StatusNotifierItem watcher and
host) and trayer (an XEmbed system tray), started on the journey's private bus and display."""

import os
import shutil
import subprocess

from gi.repository import Gio, GLib

WATCHER = "org.kde.StatusNotifierWatcher"
ITEM_INTERFACE = "org.kde.StatusNotifierItem"

PANEL_CONFIG = """<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="30"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray"/>
  </property>
</channel>
"""


def missing(*programs):
    lacking = [p for p in programs if not shutil.which(p)]
    return "%s not installed (scripts/install-deps.sh installs them)" % ", ".join(lacking) if lacking else None


def bus():
    return Gio.bus_get_sync(Gio.BusType.SESSION, None)


def get_property(name, path, interface, prop):
    reply = bus().call_sync(name, path, "org.freedesktop.DBus.Properties", "Get",
                            GLib.Variant("(ss)", (interface, prop)), None, Gio.DBusCallFlags.NONE, 5000, None)
    return reply.unpack()[0]


def call(name, path, interface, method, signature=None, args=None):
    parameters = GLib.Variant(signature, args) if signature else None
    return bus().call_sync(name, path, interface, method, parameters, None, Gio.DBusCallFlags.NONE, 5000,
                           None).unpack()


def start_xfce_panel(j):
    """xfce4-panel with one panel holding only its status tray, on the journey's bus and display."""
    folder = os.path.join(os.environ["XDG_CONFIG_HOME"], "xfce4/xfconf/xfce-perchannel-xml")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "xfce4-panel.xml"), "w") as config:
        config.write(PANEL_CONFIG)
    log = open(os.path.join(j.root, "xfce4-panel.log"), "w")
    j.spawn("xfce4-panel", ["xfce4-panel", "--disable-wm-check"], stdout=log, stderr=subprocess.STDOUT)

    def host_ready():
        try:
            return get_property(WATCHER, "/StatusNotifierWatcher", WATCHER, "IsStatusNotifierHostRegistered")
        except GLib.Error:
            return False

    j.wait_until(host_ready, "xfce4-panel's StatusNotifierItem host", timeout=30)


def registered_items():
    return get_property(WATCHER, "/StatusNotifierWatcher", WATCHER, "RegisteredStatusNotifierItems")


def split_item(entry):
    """A watcher entry ("service/path" or a bare service name) as (service, object path)."""
    if "/" in entry:
        service, path = entry.split("/", 1)
        return service, "/" + path
    return entry, "/StatusNotifierItem"


def start_trayer(j):
    """trayer, an XEmbed system tray that takes the screen's _NET_SYSTEM_TRAY selection."""
    log = open(os.path.join(j.root, "trayer.log"), "w")
    j.spawn("trayer", ["trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "32",
                       "--SetDockType", "true", "--transparent", "false"], stdout=log, stderr=subprocess.STDOUT)
    j.wait_until(lambda: windows("--classname", "panel"), "trayer's panel window", timeout=20)


def windows(*search):
    """The visible X windows `xdotool search` finds."""
    result = subprocess.run(["xdotool", "search", "--all", "--onlyvisible"] + list(search), stdout=subprocess.PIPE,
                            text=True)
    return result.stdout.split()


def children(window):
    """`xwininfo -tree` of a window: its descendants' lines."""
    return subprocess.run(["xwininfo", "-id", window, "-tree"], stdout=subprocess.PIPE, text=True).stdout


def click(window, button=1, repeat=1):
    """A real pointer click in the middle of a window (`repeat` 2: a double click)."""
    geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window], stdout=subprocess.PIPE,
                              text=True).stdout
    size = dict(line.split("=", 1) for line in geometry.split())
    subprocess.run(["xdotool", "mousemove", "--window", window, str(int(size["WIDTH"]) // 2),
                    str(int(size["HEIGHT"]) // 2), "click", "--repeat", str(repeat), "--delay", "80", str(button)],
                   check=True)
