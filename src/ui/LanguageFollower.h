#pragma once

class QWidget;

namespace ostrel {

class AppState;

// Sends `widget` a LanguageChange event whenever the in-app language changes, so it and its
// children re-read their texts. Queued: the catalogue learns the new language right after the
// change is announced, so the texts are read once the change is complete.
void followLanguage(QWidget *widget, AppState &state);

} // namespace ostrel
