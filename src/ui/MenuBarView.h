#pragma once

#include "platform/Clock.h"
#include "ui/PopoverScreen.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QLabel;
class QVBoxLayout;

namespace ostrel {

class AppState;
class ConfirmAction;
class PlanBadge;
class SymbolButton;
class UrlOpener;

// The popover's root: picks the screen for the session state (onboarding, sign-in screens,
// e-mail verification, tunnel list), frames it with the header (identity, plan badge, settings,
// two-step log-out) and the footer (environment line, two-step quit), and hosts the upgrade
// sheet while one is requested. Every text follows the in-app language at once.
class MenuBarView : public QWidget {
    Q_OBJECT
public:
    static constexpr int contentWidth = 360;
    static constexpr Clock::Duration confirmWindow = std::chrono::seconds(3);
    static constexpr int transitionMilliseconds = 180;

    struct Actions {
        std::function<void()> showSettings; // the header's settings button
        std::function<void()> quit;         // the footer's confirmed quit
        UrlOpener *urlOpener = nullptr;     // the verification screen's "open mail"; may be null
    };

    MenuBarView(AppState &state, Actions actions, QWidget *parent = nullptr);

    PopoverScreen currentScreen() const { return m_screen; }
    // The screen widget shown in the body (the onboarding screen has the popover to itself).
    QWidget *screenWidget() const { return m_screenWidget; }
    QWidget *upgradeSheet() const { return m_upgradeSheet; }
    // A new screen is still fading in.
    bool isTransitioning() const;

protected:
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void refresh();
    void refreshScreen();
    void refreshHeader();
    void refreshUpgradeSheet();
    void retranslate();
    QWidget *createScreen(const PopoverScreen &screen);
    void chainTabOrder(QWidget *screen);
    void fadeIn(QWidget *screen);
    QString language() const;

    AppState &m_state;
    Actions m_actions;
    PopoverScreen m_screen;
    bool m_hasScreen = false;

    QWidget *m_header;
    QLabel *m_name;
    QLabel *m_detail;
    PlanBadge *m_badge;
    SymbolButton *m_settingsButton;
    ConfirmAction *m_logoutButton;
    QWidget *m_topDivider;
    QVBoxLayout *m_body;
    QPointer<QWidget> m_screenWidget;
    QWidget *m_bottomDivider;
    QWidget *m_footer;
    QLabel *m_environment;
    ConfirmAction *m_quitButton;
    QWidget *m_upgradeSheet;
};

} // namespace ostrel
