#!/usr/bin/python3
"""The tunnel list: a tunnel made on the service, shown stopped with its address, started until
the service reports it connected, and stopped again."""

import json
import re
import urllib.request

import ostrel_journey as oj


def create_tunnel(j):
    """A tunnel of the demo account, made through the service's API (the editor's request)."""
    login = j.service("POST", "/auth/login", {"email": oj.DEMO_EMAIL, "password": oj.DEMO_PASSWORD})
    body = json.dumps({"localHost": "127.0.0.1", "localPort": 8080, "protocol": "http"}).encode()
    request = urllib.request.Request(j.base_url + "/tunnels", data=body, method="POST",
                                     headers={"Content-Type": "application/json",
                                              "Authorization": "Bearer " + login["token"]})
    with urllib.request.urlopen(request, timeout=10) as answer:
        return json.loads(answer.read())


def find_named(j, name, within, timeout=oj.DEFAULT_TIMEOUT):
    """A showing object with this accessible name, whatever its role (the run-state dot)."""
    def lookup():
        within.clearCache()
        for node in oj._walk(within):
            if oj._matches(node.name, name) and "showing" in j.states(node):
                return node
        return None

    return j.wait_until(lookup, "anything named %r" % (name if isinstance(name, str) else name.pattern), timeout)


def journey(j):
    j.step("a tunnel exists on the service before the sign-in")
    tunnel = create_tunnel(j)
    j.sign_in()
    popover = j.popover()

    j.step("the list shows it, stopped, with its address")
    j.find("label", "Tunnels", within=popover)
    start = j.find("push button", "Start tunnel", within=popover)
    j.find("push button", "More actions", within=popover)
    find_named(j, "Stopped", popover)
    find_named(j, re.compile(re.escape(tunnel["subdomain"]) + r"\..*"), popover)

    j.step("start: the stand-in frpc registers and the dot turns connected")
    j.press(start)
    stop = j.find("push button", "Stop tunnel", within=popover)
    find_named(j, "Connected", popover, timeout=30)

    j.step("stop: stopped again")
    j.press(stop)
    j.find("push button", "Start tunnel", within=popover)
    find_named(j, "Stopped", popover)
    # The more menu (copy link, QR code, edit, delete) is a popup menu, which Qt leaves off the
    # accessibility bus; the widget tests drive it.


oj.run(journey)
