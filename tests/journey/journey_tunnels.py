#!/usr/bin/python3
"""The tunnel list: a tunnel made on the service, started until connected, its address copied,
stopped, and deleted after the confirmation."""

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

    j.step("the more menu copies the address")
    j.press(j.find("push button", "More actions", within=popover))
    j.press(j.find("menu item", "Copy link", within=None))

    j.step("stop: stopped again")
    j.press(stop)
    j.find("push button", "Start tunnel", within=popover)
    find_named(j, "Stopped", popover)

    j.step("delete asks first; the confirmation deletes it and the list is empty")
    j.press(j.find("push button", "More actions", within=popover))
    j.press(j.find("menu item", "Delete tunnel", within=None))
    j.find("label", "The tunnel stops and its address is released. This can't be undone.", within=popover)
    j.press(j.find("push button", "Delete tunnel", within=popover))
    j.find("label", "No tunnels yet", within=popover)
    j.absent("push button", "Start tunnel", within=popover)


oj.run(journey)
