#pragma once

class QWidget;

namespace ostrel {

class AppState;

// Sends `widget` a LanguageChange event whenever the in-app language changes, so it and its
// children re-read their texts. Delivered at once: the catalogue has the new language before
// the change is announced.
void followLanguage(QWidget *widget, AppState &state);

} // namespace ostrel
