#!/usr/bin/python3
"""A new account's way in, from the screens: sign up from the onboarding, verify the address by
the mailed link, sign out, reset the password by the mailed link, sign in with the new password,
and sign in again by magic link."""

import ostrel_journey as oj

EMAIL = "journey-auth@ostrel.test"


def field(j, name, within):
    """The line edit named `name`; a hidden password is announced under a role of its own."""
    for role in ("text", "password text"):
        try:
            return j.find(role, name, within=within, timeout=2)
        except oj.JourneyFailure:
            pass
    raise oj.JourneyFailure("no field named %r" % name)


def mailed_link(j, prefix):
    mails = j.service("GET", "/dev/mailbox?email=" + EMAIL)
    links = [link for mail in mails for link in mail["links"] if link.startswith(prefix)]
    j.check(links, "a %s link in the mailbox" % prefix)
    return links[-1]


def sign_out(j, popover):
    j.press(j.find("push button", "Log out", within=popover))
    j.press(j.find("push button", "Click again to log out", within=popover))
    j.find("push button", "Forgot password?", within=popover)


def journey(j):
    j.step("the onboarding's start leads to the sign-up form")
    popover = j.popover()
    j.press(j.find("push button", "Get started", within=popover))
    j.set_text(field(j, "Name", popover), "Journey")
    j.set_text(field(j, "Email", popover), EMAIL)
    j.set_text(field(j, "Password", popover), "first-password")
    j.press(j.find("push button", "Create account", within=popover))

    j.step("signed up, the address still to verify; the mailed link verifies it")
    j.find("label", "Verify your email", within=popover)
    j.find("label", EMAIL, within=popover)
    j.absent("push button", "Settings…", within=popover)
    j.open_url(mailed_link(j, "ostrel://auth/verify-email"))
    popover = j.popover()
    j.find("push button", "Settings…", within=popover)
    j.absent("label", "Verify your email", within=popover)

    j.step("signed out, a reset link is asked for")
    sign_out(j, popover)
    j.press(j.find("push button", "Forgot password?", within=popover))
    # The screen before is replaced, not changed: wait until it has left the tree.
    j.absent("push button", "Forgot password?", within=popover)
    j.set_text(field(j, "Email", popover), EMAIL)
    j.press(j.find("push button", "Send reset link", within=popover))
    j.find("label", "Check your email", within=popover)

    j.step("the reset link opens the new-password form; the new password is saved")
    j.open_url(mailed_link(j, "ostrel://reset"))
    popover = j.popover()
    j.absent("label", "Check your email", within=popover)
    j.set_text(field(j, "Password", popover), "second-password")
    j.set_text(field(j, "Repeat password", popover), "second-password")
    j.press(j.find("push button", "Save new password", within=popover))
    j.find("label", "Password updated", within=popover)
    j.press(j.find("push button", "Sign in", within=popover))
    j.absent("label", "Password updated", within=popover)

    j.step("the new password signs in")
    j.set_text(field(j, "Email", popover), EMAIL)
    j.set_text(field(j, "Password", popover), "second-password")
    j.press(j.find("push button", "Sign in", within=popover))
    j.find("push button", "Settings…", within=popover)

    j.step("signed out again, a magic link signs in without a password")
    sign_out(j, popover)
    j.open_url(j.magic_link(EMAIL))
    j.find("label", EMAIL, within=j.popover())
    j.find("push button", "Settings…", within=j.popover())


oj.run(journey)
