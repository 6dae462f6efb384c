#!/usr/bin/python3
"""A tunnel whose local port has nothing listening: it is started, its row says why it does not
work, and its log is opened from the row's more menu, read and closed again."""

import json
import re
import urllib.request

import ostrel_journey as oj


def create_tunnel(j, local_port):
    """A tunnel of the demo account, made through the service's API (the editor's request)."""
    login = j.service("POST", "/auth/login", {"email": oj.DEMO_EMAIL, "password": oj.DEMO_PASSWORD})
    body = json.dumps({"localHost": "127.0.0.1", "localPort": local_port, "protocol": "http"}).encode()
    request = urllib.request.Request(j.base_url + "/tunnels", data=body, method="POST",
                                     headers={"Content-Type": "application/json",
                                              "Authorization": "Bearer " + login["token"]})
    with urllib.request.urlopen(request, timeout=10) as answer:
        return json.loads(answer.read())


def free_port():
    """A port nothing listens on (bound, then given back)."""
    import socket
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def choose_show_log(j, popover):
    """Opens the more menu and picks "Show log". Qt may leave the popup menu off the bus; then
    the item is chosen with the keyboard, as a screen-reader user would (Down to the third item:
    copy link, QR code, log)."""
    j.press(j.find("push button", "More actions", within=popover))
    try:
        j.press(j.find("menu item", "Show log", timeout=3))
        return
    except oj.JourneyFailure:
        pass
    registry = j._atspi.Registry
    for key in ("Down", "Down", "Down", "Return"):
        registry.generateKeyboardEvent(_keysym(key), None, j._atspi.KEY_SYM)


def _keysym(name):
    return {"Down": 0xFF54, "Return": 0xFF0D}[name]


def journey(j):
    j.step("a tunnel of a local port where nothing listens exists before the sign-in")
    tunnel = create_tunnel(j, free_port())
    j.sign_in()
    popover = j.popover()

    j.step("start it: frpc registers, then finds nothing on the local port")
    j.press(j.find("push button", "Start tunnel", within=popover))
    j.find("label", "Nothing is listening on the local port; start your app, then try again.",
           within=popover, timeout=30)

    j.step("open its log from the more menu")
    choose_show_log(j, popover)
    log = j.wait_until(lambda: next((w for w in j.windows() if w.name.startswith("Tunnel log")), None),
                       "the log window")
    output = j.find("text", "frpc output", within=log)
    j.wait_until(lambda: "connect to local service" in j.text_of(output), "frpc's line in the log")
    j.check("\x1b" not in j.text_of(output), "colour codes left in the log")
    j.check(re.search(re.escape(tunnel["subdomain"]), log.name), "the window names the tunnel")
    j.find("push button", "Copy all", within=log)

    j.step("close it")
    j.press(j.find("push button", "Close", within=log))
    j.wait_until(lambda: not any(w.name.startswith("Tunnel log") for w in j.windows()),
                 "the log window to close")


oj.run(journey)
