#include "app/TrayMenu.h"

#include "l10n/LocalizableXCStrings.h"

#include <QAction>
#include <QMenu>

namespace ostrel {

const QList<TrayMenuEntry> &trayMenuEntries()
{
    using A = TrayMenuEntry::Action;
    static const QList<TrayMenuEntry> entries = {
        {A::show, OSTREL_KEY("menubar.show"), QStringLiteral("Show Ostrel"), {}},
        {A::settings, OSTREL_KEY("menubar.settings"), QStringLiteral("Settings…"),
         QKeySequence(Qt::CTRL | Qt::Key_Comma)},
        {A::checkForUpdates, OSTREL_KEY("menubar.checkForUpdates"), QStringLiteral("Check for Updates…"), {}},
        {A::separator, {}, {}, {}},
        {A::quit, OSTREL_KEY("menubar.quit"), QStringLiteral("Quit Ostrel"),
         QKeySequence(Qt::CTRL | Qt::Key_Q)},
    };
    return entries;
}

QString systemMenuLanguage(const QLocale &locale, const LocalizableXCStrings &catalogue)
{
    for (const QString &tag : locale.uiLanguages()) {
        const QString code = tag.section(QLatin1Char('-'), 0, 0).section(QLatin1Char('_'), 0, 0).toLower();
        if (catalogue.byLanguage().contains(code))
            return code;
    }
    return QStringLiteral("en");
}

QString trayMenuTitle(const TrayMenuEntry &entry, const QString &language,
                      const LocalizableXCStrings &catalogue)
{
    if (entry.key.isEmpty())
        return {};
    // The catalogue answers a missing key with the key itself.
    const QString text = catalogue.localized(entry.key, language);
    return text.isEmpty() || text == entry.key ? entry.fallback : text;
}

QMenu *buildTrayMenu(const QString &language, const LocalizableXCStrings &catalogue,
                     std::function<void(TrayMenuEntry::Action)> onTriggered, QWidget *parent)
{
    auto *menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("trayMenu"));
    for (const TrayMenuEntry &entry : trayMenuEntries()) {
        if (entry.action == TrayMenuEntry::Action::separator) {
            menu->addSeparator();
            continue;
        }
        QAction *action = menu->addAction(trayMenuTitle(entry, language, catalogue));
        action->setObjectName(entry.key);
        action->setShortcut(entry.shortcut);
        action->setShortcutContext(Qt::WindowShortcut);
        const TrayMenuEntry::Action which = entry.action;
        QObject::connect(action, &QAction::triggered, menu, [onTriggered, which] { onTriggered(which); });
    }
    return menu;
}

} // namespace ostrel
