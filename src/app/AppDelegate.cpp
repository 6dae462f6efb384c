#include "app/AppDelegate.h"

#include "app/AccessibleWindows.h"
#include "app/MenuBarView.h"
#include "app/PopoverWindow.h"
#include "app/SettingsWindow.h"
#include "app/TrayMenu.h"
#include "app/UpdateAnnouncer.h"
#include "l10n/LocalizableXCStrings.h"
#include "platform/Log.h"
#include "platform/Notifier.h"
#include "platform/SingleInstance.h"
#include "state/AppState.h"
#include "state/BuildConfig.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QUrl>

namespace ostrel {

namespace {
QPointer<AppDelegate> &sharedDelegate()
{
    static QPointer<AppDelegate> delegate;
    return delegate;
}
} // namespace

AppDelegate::AppDelegate(AppState &state, Notifier &notifier, UrlOpener &urlOpener, QObject *parent)
    : QObject(parent), m_state(state), m_notifier(notifier), m_urlOpener(urlOpener),
      m_announcer(new UpdateAnnouncer(notifier, urlOpener, this))
{
    sharedDelegate() = this;
}

AppDelegate::~AppDelegate()
{
    // Top-level widgets have no QObject parent here.
    delete m_popover;
    delete m_settingsWindow;
    delete m_menu;
}

AppDelegate *AppDelegate::shared()
{
    return sharedDelegate().data();
}

Updater *AppDelegate::updater() const
{
    return m_updater.get();
}

QIcon AppDelegate::iconFor(StatusColor color)
{
    const QImage image = statusImage(color);
    return image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image));
}

void AppDelegate::launch()
{
    if (m_launched)
        return;
    m_launched = true;

    connect(&m_notifier, &Notifier::activated, this, &AppDelegate::handleNotificationActivated);

    installAccessibleWindows();
    // The popover and its root.
    m_popover = new PopoverWindow(m_state.clock());
    m_menuBarView =
        new MenuBarView(m_state, {[this] { showSettingsWindow(); }, [this] { quit(); }, &m_urlOpener});
    m_popover->setContent(m_menuBarView);
    connect(m_popover, &PopoverWindow::visibilityChanged, this,
            [this](bool visible) { m_state.setPopoverVisible(visible); });

    // The menu: titles in the desktop's language, not the in-app one.
    LocalizableXCStrings &catalogue = LocalizableXCStrings::shared();
    m_menu = buildTrayMenu(systemMenuLanguage(QLocale::system(), catalogue), catalogue,
                           [this](TrayMenuEntry::Action action) {
                               switch (action) {
                               case TrayMenuEntry::Action::show:
                                   showPopover();
                                   break;
                               case TrayMenuEntry::Action::settings:
                                   showSettingsWindow();
                                   break;
                               case TrayMenuEntry::Action::checkForUpdates:
                                   checkForUpdates();
                                   break;
                               case TrayMenuEntry::Action::quit:
                                   quit();
                                   break;
                               case TrayMenuEntry::Action::separator:
                                   break;
                               }
                           });

    // The shortcuts of the menu (settings, quit) work in both windows; the settings window gets
    // them when it is first made.
    for (QAction *action : m_menu->actions()) {
        if (!action->shortcut().isEmpty())
            m_popover->addAction(action);
    }

    setUpTray();
    startUpdater();

    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        Log::line(QStringLiteral(
            "[Ostrel] No system tray on this desktop; open Ostrel with: ostrel ostrel://open"));
        showPopover();
    }
}

void AppDelegate::setUpTray()
{
    m_tray = new QSystemTrayIcon(this);
    m_tray->setToolTip(QStringLiteral("Ostrel"));
    m_tray->setContextMenu(m_menu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason != QSystemTrayIcon::Trigger)
            return;
        // A double click is one click, on every host: an XEmbed tray reports the second press as
        // DoubleClick (ignored), a StatusNotifierItem host calls Activate twice, which would open
        // the popover and close it at once.
        const Clock::Duration now = m_state.clock().now();
        if (m_lastTrayClick && now - *m_lastTrayClick < Clock::Duration(QApplication::doubleClickInterval()))
            return;
        m_lastTrayClick = now;
        togglePopover();
    });
    connect(&m_state, &AppState::runningTunnelIdsChanged, this, &AppDelegate::refreshStatusIcon);
    connect(&m_state, &AppState::tunnelRuntimeStatesChanged, this, &AppDelegate::refreshStatusIcon);
    m_statusColor = ostrel::statusColor(m_state.runningTunnelIds(), m_state.tunnelRuntimeStates());
    m_tray->setIcon(iconFor(m_statusColor));
    // Shown even without a tray host: the icon docks when a panel comes up later (a session whose
    // panel starts after Ostrel).
    m_tray->show();
}

void AppDelegate::refreshStatusIcon()
{
    const StatusColor color = ostrel::statusColor(m_state.runningTunnelIds(), m_state.tunnelRuntimeStates());
    if (color == m_statusColor)
        return;
    m_statusColor = color;
    m_tray->setIcon(iconFor(color));
    emit statusColorChanged(color);
}

void AppDelegate::startUpdater()
{
    const BuildConfig &build = m_state.buildConfig();
    m_updater =
        std::make_unique<AppcastUpdater>(AppcastUpdater::feedURLForHost(build.updateHost.value_or(QString())),
                                         build.appVersion, m_state.clock());
    connect(m_updater.get(), &AppcastUpdater::updateAvailable, m_announcer, &UpdateAnnouncer::announce);
    m_updater->setAutomaticallyChecksForUpdates(m_state.automaticUpdatesEnabled());
    QString error;
    if (!m_updater->start(&error))
        Log::line(QStringLiteral("[Ostrel] Sparkle start failed: ") + error);
}

void AppDelegate::attach(SingleInstance &instance)
{
    connect(&instance, &SingleInstance::messageReceived, this, &AppDelegate::handleURL);
}

void AppDelegate::showPopover()
{
    if (!m_popover || m_popover->isVisible())
        return;
    m_popover->popUp(m_tray ? m_tray->geometry() : QRect());
    // Give it the keyboard once the window system has mapped it.
    QPointer<PopoverWindow> popover = m_popover;
    QMetaObject::invokeMethod(
        this,
        [popover] {
            if (popover && popover->isVisible())
                popover->activateWindow();
        },
        Qt::QueuedConnection);
}

void AppDelegate::hidePopover()
{
    if (m_popover && m_popover->isVisible())
        m_popover->hide();
}

void AppDelegate::togglePopover()
{
    if (!m_popover)
        return;
    if (m_popover->isVisible()) {
        hidePopover();
        return;
    }
    if (m_popover->hasBeenHidden() && m_state.clock().now() - m_popover->lastHiddenAt() < reopenGuard)
        return;
    showPopover();
}

SettingsWindow *AppDelegate::ensureSettingsWindow()
{
    // Made on first use: most starts never open it, and its pages cost as much to build as the
    // popover itself.
    if (!m_settingsWindow) {
        m_settingsWindow = new SettingsWindow(m_state);
        for (QAction *action : m_menu->actions()) {
            if (!action->shortcut().isEmpty())
                m_settingsWindow->addAction(action);
        }
    }
    return m_settingsWindow;
}

void AppDelegate::showSettingsWindow()
{
    if (!m_launched)
        return;
    ensureSettingsWindow();
    hidePopover();
    // Once the popover has handed the activation back.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_settingsWindow)
                m_settingsWindow->bringToFront();
        },
        Qt::QueuedConnection);
}

void AppDelegate::checkForUpdates()
{
    if (m_updater)
        m_updater->checkForUpdates();
}

void AppDelegate::quit()
{
    hidePopover();
    m_state.handleTermination();
    QCoreApplication::quit();
}

void AppDelegate::handleURL(const QString &text)
{
    if (!text.isEmpty()) {
        if (!QUrl(text, QUrl::StrictMode).isValid())
            return;
        m_state.handleDeepLink(text);
    }
    QPointer<AppDelegate> self = this;
    QMetaObject::invokeMethod(
        this,
        [self] {
            if (self)
                self->showPopover();
        },
        Qt::QueuedConnection);
}

void AppDelegate::handleNotificationActivated(const QString &identifier)
{
    m_announcer->handleActivation(identifier);
    showPopover();
}

} // namespace ostrel
