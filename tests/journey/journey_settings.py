#!/usr/bin/python3
"""The settings window: change the name, switch the language to Spanish and see every window follow,
and back to English."""

import ostrel_journey as oj


def journey(j):
    j.sign_in()

    j.step("open the settings from the popover: the account page comes first")
    j.press(j.find("push button", "Settings…", within=j.popover()))
    window = j.settings_window()
    j.find("label", "Account", within=window)

    j.step("change the name and save it")
    j.set_text(j.find("text", "Name", within=window), "Demo Renamed")
    j.press(j.find("push button", "Save", within=window))
    j.find("label", "Saved", within=window)

    j.step("switch the language to Spanish on the preferences page")
    j.press(j.find("push button", "Preferences", within=window))
    j.find("label", "Language", within=window)
    j.press(j.find("radio button", "Español", within=window))
    for role, name in (("label", "Preferencias"), ("push button", "Cuenta"), ("label", "Idioma"),
                       ("push button", "Zona de peligro")):
        j.find(role, name, within=window)
    for role, name in (("label", "Preferences"), ("push button", "Account"), ("label", "Language")):
        j.absent(role, name, within=window)

    j.step("the popover speaks Spanish too")
    j.open_url("ostrel://open")
    popover = j.popover()
    j.find("push button", "Salir de Ostrel", within=popover)
    j.absent("push button", "Quit Ostrel", within=popover)

    j.step("back to English from the settings window")
    window = j.settings_window()
    j.press(j.find("radio button", "English", within=window))
    j.find("label", "Preferences", within=window)
    j.find("push button", "Account", within=window)
    j.absent("label", "Preferencias", within=window)


oj.run(journey)
