#pragma once

#include "platform/AppcastUpdater.h"
#include "ui/controls/StatusImage.h"

#include <QHash>
#include <QIcon>
#include <QObject>
#include <QPointer>

#include <memory>
#include <optional>

class QMenu;
class QSystemTrayIcon;

namespace ostrel {

class AppState;
class MenuBarView;
class Notifier;
class PopoverWindow;
class SettingsWindow;
class SingleInstance;
class UpdateAnnouncer;
class UrlOpener;

// The application shell: the tray icon coloured by the running tunnels, its menu, the popover
// with the popover root, the settings window, deep links handed over by later starts,
// notification clicks and the updater. One exists for the run; other code reaches it through
// shared().
class AppDelegate : public QObject {
    Q_OBJECT
public:
    // A click on the tray icon within this time after the popover closed was the click that
    // closed it (it closes when anything else takes the activation): it must not open it again.
    static constexpr Clock::Duration reopenGuard{std::chrono::milliseconds(300)};

    AppDelegate(AppState &state, Notifier &notifier, UrlOpener &urlOpener, QObject *parent = nullptr);
    ~AppDelegate() override;

    // The delegate of this process, if one exists.
    static AppDelegate *shared();

    // Builds the tray icon, menu, popover and settings window and starts the updater. Where the
    // desktop has no tray, says how to open the popover and shows it once.
    void launch();
    // Later starts of the application hand their URL (or nothing) to this one.
    void attach(SingleInstance &instance);

    void showPopover();
    void hidePopover();
    void togglePopover();
    void showSettingsWindow();
    void checkForUpdates();
    // Stops every tunnel, then ends the event loop.
    void quit();
    // A URL handed over by the desktop or a later start; empty: just come forward.
    void handleURL(const QString &text);

    Updater *updater() const;
    AppcastUpdater *appcastUpdater() const { return m_updater.get(); }
    QSystemTrayIcon *trayIcon() const { return m_tray; }
    QMenu *trayMenu() const { return m_menu; }
    PopoverWindow *popover() const { return m_popover; }
    MenuBarView *menuBarView() const { return m_menuBarView; }
    // Null until the settings are first opened.
    SettingsWindow *settingsWindow() const { return m_settingsWindow; }
    StatusColor statusColor() const { return m_statusColor; }
    static QIcon iconFor(StatusColor color);

signals:
    // The icon's colour changed (after the tray icon got it).
    void statusColorChanged(ostrel::StatusColor color);

private:
    SettingsWindow *ensureSettingsWindow();
    void setUpTray();
    void startUpdater();
    void refreshStatusIcon();
    void handleNotificationActivated(const QString &identifier);

    AppState &m_state;
    Notifier &m_notifier;
    UrlOpener &m_urlOpener;
    QSystemTrayIcon *m_tray = nullptr;
    QMenu *m_menu = nullptr;
    PopoverWindow *m_popover = nullptr;
    MenuBarView *m_menuBarView = nullptr;
    SettingsWindow *m_settingsWindow = nullptr;
    std::unique_ptr<AppcastUpdater> m_updater;
    UpdateAnnouncer *m_announcer;
    StatusColor m_statusColor = StatusColor::white;
    bool m_launched = false;
    std::optional<Clock::Duration> m_lastTrayClick; // the last click that toggled the popover
};

} // namespace ostrel
