#pragma once

// The popover as the user sees it, and screenshots of a widget in both languages.

#include "app/PopoverWindow.h"
#include "state/AppState.h"
#include "support/WidgetTest.h"
#include "ui/MenuBarView.h"

namespace ostrel::test {

// The popover root in its window.
struct Popover {
    explicit Popover(AppState &state, MenuBarView::Actions actions = {}) : window(state.clock())
    {
        view = new MenuBarView(state, std::move(actions));
        window.setContent(view);
        window.show();
    }
    PopoverWindow window;
    MenuBarView *view;
};

// Saves <name>-en.png and <name>-es.png, then goes back to English. A widget outside the popover
// root hears of the change from here, as the application's windows hear of it from Qt.
inline void saveScreenshots(AppState &state, QWidget &widget, const QString &name)
{
    const auto apply = [&](const QString &language) {
        state.applyLanguage(language);
        QCoreApplication::processEvents();
        if (!widget.findChild<MenuBarView *>() && !qobject_cast<MenuBarView *>(&widget)) {
            QEvent change(QEvent::LanguageChange);
            QCoreApplication::sendEvent(&widget, &change);
        }
    };
    for (const QString &language : {QStringLiteral("en"), QStringLiteral("es")}) {
        apply(language);
        saveScreenshot(widget, name + QLatin1Char('-') + language);
    }
    apply(QStringLiteral("en"));
}

} // namespace ostrel::test
