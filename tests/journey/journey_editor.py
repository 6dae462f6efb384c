#!/usr/bin/python3
"""The tunnel editor from the list, for the free demo account: the add button opens the form,
Escape closes it back to the list, a port typed and submitted makes a tunnel whose row the list
shows, and a second press of add leads to the upgrade sheet instead of the form."""

import ostrel_journey as oj


def press_escape():
    """Escape from the keyboard, as AT-SPI generates it (to the window with the focus)."""
    import pyatspi  # only inside the private bus, after the journey set it up

    pyatspi.Registry.generateKeyboardEvent(0xFF1B, None, pyatspi.KEY_SYM)  # XK_Escape


def open_editor(j, popover):
    j.press(j.find("push button", "New tunnel", within=popover))
    j.find("label", "New tunnel", within=popover)
    return j.find("text", "Local port", within=popover)


def journey(j):
    j.sign_in()
    popover = j.popover()
    j.find("label", "Tunnels", within=popover)

    j.step("the add button opens the form for a new tunnel, the port field first")
    port = open_editor(j, popover)
    j.wait_until(lambda: "focused" in j.states(port), "the port field to have the focus")
    j.find("push button", "Create tunnel", within=popover)

    j.step("Escape closes the form back to the list")
    press_escape()
    j.absent("push button", "Create tunnel", within=popover)
    j.find("push button", "New tunnel", within=popover)

    j.step("a port typed and submitted: the form closes and the list shows the new row")
    port = open_editor(j, popover)
    j.set_text(port, "4321")
    j.press(j.find("push button", "Create tunnel", within=popover))
    j.absent("push button", "Create tunnel", within=popover)
    j.find("label", ":4321", within=popover)
    j.find("push button", "Start tunnel", within=popover)

    # The row's edit action sits in its more menu, a popup menu that Qt leaves off the
    # accessibility bus (pressing "More actions" shows no menu there); the widget tests and the
    # development-service test edit through the list instead.

    j.step("a second tunnel on the free plan: add leads to the upgrade sheet, not the form")
    j.press(j.find("push button", "New tunnel", within=popover))
    j.find("label", "Upgrade to Ostrel Pro", within=popover)
    j.absent("push button", "Create tunnel", within=popover)


oj.run(journey)
