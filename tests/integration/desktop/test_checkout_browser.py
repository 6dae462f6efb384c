#!/usr/bin/python3
"""The paid-plan checkout in a real browser: the development service's checkout page in headless
chromium shows the plan and price; its pay button makes the account pro and sends the browser on
to the ostrel:// return link, which the desktop hands to the running ostrel, whose header then
shows the Pro badge."""

import json
import os
import sys
import urllib.request

import devtools

why = devtools.missing()
if why:
    print("[journey] SKIP: " + why)
    sys.exit(77)

import ostrel_journey as oj  # noqa: E402

RETURN_LINK = "ostrel://upgrade/success"


def api(j, method, path, token=None, body=None):
    headers = {"Content-Type": "application/json"}
    if token:
        headers["Authorization"] = "Bearer " + token
    data = None if body is None else json.dumps(body).encode()
    request = urllib.request.Request(j.base_url + path, data=data, method=method, headers=headers)
    with urllib.request.urlopen(request, timeout=10) as answer:
        return json.loads(answer.read() or b"null")


def journey(j):
    j.sign_in()
    popover = j.popover()
    j.find("label", "Free", within=popover)

    j.step("a checkout for the demo account, as the upgrade button starts it")
    token = api(j, "POST", "/auth/login", body={"email": oj.DEMO_EMAIL, "password": oj.DEMO_PASSWORD})["token"]
    checkout_url = api(j, "POST", "/billing/lemonsqueezy/checkout", token)["checkoutUrl"]

    browser = devtools.Browser(os.path.join(j.root, "chromium.log"))
    try:
        browser.call("Page.enable")
        browser.call("Network.enable")

        j.step("a form on another site that posts to the checkout is refused")
        foreign = ("data:text/html,<form method=post action='%s'><button type=submit>x</button></form>" %
                   checkout_url)
        browser.navigate(foreign)
        since = browser.mark()
        browser.evaluate("document.querySelector('button').click()")
        refused = browser.wait_event(
            lambda e: e.get("method") == "Network.responseReceived" and e["params"]["response"]["url"] ==
            checkout_url, "the answer to the foreign form", since)
        j.check(refused["params"]["response"]["status"] == 403,
                "the foreign form got %d" % refused["params"]["response"]["status"])
        j.check(api(j, "GET", "/users/me", token)["tier"] == "free", "a foreign form made the account pro")

        j.step("the checkout page shows the account, the plan and its price")
        browser.navigate(checkout_url)
        text = browser.evaluate("document.body.innerText")
        for wanted in (oj.DEMO_EMAIL, "Ostrel Pro", "$5/mo"):
            j.check(wanted in text, "%r is not on the checkout page:\n%s" % (wanted, text))
        j.check(api(j, "GET", "/users/me", token)["tier"] == "free", "the account is pro before paying")

        j.step("the pay button completes the purchase and sends the browser to the return link")
        since = browser.mark()
        browser.evaluate("document.querySelector('form button[type=submit]').click()")
        asked = browser.wait_event(
            lambda e: e.get("method") == "Network.requestWillBeSent" and
            e["params"]["request"]["url"].startswith("ostrel://"), "a navigation to an ostrel:// link", since)
        link = asked["params"]["request"]["url"]
        redirect = asked["params"].get("redirectResponse") or {}
        j.check(link == RETURN_LINK, "the browser was sent to %r" % link)
        j.check(redirect.get("status") == 303, "the return link came by %r, not a 303 from the form" % redirect)
        j.check(api(j, "GET", "/users/me", token)["tier"] == "pro", "the purchase did not make the account pro")
    finally:
        browser.close()

    j.step("the desktop hands the return link to ostrel, whose header shows the Pro badge")
    j.open_url(link)
    popover = j.popover()
    j.find("label", "Pro", within=popover, timeout=30)
    j.absent("label", "Free", within=popover)


oj.run(journey)
