#pragma once

#include <QKeySequence>
#include <QList>
#include <QLocale>
#include <QString>

#include <functional>

class QMenu;
class QWidget;

namespace ostrel {

class LocalizableXCStrings;

// One entry of the tray icon's menu; `key` empty is the separator.
struct TrayMenuEntry {
    enum class Action { show, settings, checkForUpdates, separator, quit };
    Action action;
    QString key;
    QString fallback; // English title used when the catalogue lacks the key
    QKeySequence shortcut;
};

// The entries in menu order.
const QList<TrayMenuEntry> &trayMenuEntries();

// The language the menu follows: the first of the desktop's interface languages the catalogue
// has a table for, else English. The menu deliberately ignores the in-app language.
QString systemMenuLanguage(const QLocale &locale, const LocalizableXCStrings &catalogue);

// The entry's title in `language`, or its English fallback when the key has no text.
QString trayMenuTitle(const TrayMenuEntry &entry, const QString &language,
                      const LocalizableXCStrings &catalogue);

// Builds the menu; every item is always enabled and calls `onTriggered` with its action.
// The actions carry their shortcuts, so adding them to a window makes the shortcuts work there.
QMenu *buildTrayMenu(const QString &language, const LocalizableXCStrings &catalogue,
                     std::function<void(TrayMenuEntry::Action)> onTriggered, QWidget *parent = nullptr);

} // namespace ostrel
