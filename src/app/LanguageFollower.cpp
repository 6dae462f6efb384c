#include "app/LanguageFollower.h"

#include "state/AppState.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace ostrel {

void followLanguage(QWidget *widget, AppState &state)
{
    QObject::connect(&state, &AppState::languageChanged, widget, [widget] {
        QEvent change(QEvent::LanguageChange);
        QCoreApplication::sendEvent(widget, &change);
    });
}

} // namespace ostrel
