#include "app/AccessibleWindows.h"

#include "app/PopoverWindow.h"
#include "app/SettingsWindow.h"
#include "ui/tunnels/TunnelLogView.h"

#include <QAccessibleWidget>

namespace ostrel {

namespace {
QAccessibleInterface *accessibleWindowFactory(const QString &, QObject *object)
{
    if (qobject_cast<PopoverWindow *>(object) || qobject_cast<SettingsWindow *>(object) ||
        qobject_cast<TunnelLogView *>(object))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
    return nullptr;
}
} // namespace

void installAccessibleWindows()
{
    static const bool installed = [] {
        QAccessible::installFactory(&accessibleWindowFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace ostrel
