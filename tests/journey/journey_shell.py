#!/usr/bin/python3
"""The shell: the signed-in popover's header, opening the settings, the two-step log-out."""

import ostrel_journey as oj


def journey(j):
    j.sign_in()

    j.step("the signed-in popover, as assistive technology sees it")
    popover = j.popover()
    j.print_tree(popover)
    j.find("label", "Ostrel", within=popover)
    j.find("label", oj.DEMO_EMAIL, within=popover)
    j.find("label", "Free", within=popover)
    settings = j.find("push button", "Settings…", within=popover)
    logout = j.find("push button", "Log out", within=popover)
    j.find("push button", "Quit Ostrel", within=popover)

    j.step("the settings button opens the settings window and closes the popover")
    j.press(settings)
    j.settings_window()
    # Looked up from the application: a window node found while it was still being shown can keep
    # a stale subtree, and these labels exist in the settings window only.
    j.find("label", "Settings")
    j.find("label", "Account")
    j.wait_until(lambda: not any(j.size_of(w) == oj.POPOVER_SIZE for w in j.windows()), "the popover to close")

    j.step("the popover comes back when the desktop opens ostrel again")
    j.open_url("ostrel://open")
    popover = j.popover()
    settings = j.find("push button", "Settings…", within=popover)
    logout = j.find("push button", "Log out", within=popover)

    j.step("the keyboard starts in the popover, on its first control")
    j.wait_until(lambda: "focused" in j.states(settings), "the settings button to have the focus")

    j.step("the first press on log-out only arms it")
    j.press(logout)
    j.find("push button", "Click again to log out", within=popover)
    j.find("label", oj.DEMO_EMAIL, within=popover)

    j.step("the second press signs out: the tagline instead of the account, no account controls")
    j.press(j.find("push button", "Click again to log out", within=popover))
    j.find("label", "Share localhost in one click", within=popover)
    for role, name in (("label", oj.DEMO_EMAIL), ("label", "Free"), ("push button", "Settings…"),
                       ("push button", "Log out")):
        j.absent(role, name, within=popover)

    j.step("the settings window, still open behind, locks")
    j.settings_window()
    j.find("label", "Sign in to Ostrel to see your settings.")


oj.run(journey)
