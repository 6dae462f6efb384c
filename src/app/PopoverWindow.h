#pragma once

#include "platform/Clock.h"

#include <QRect>
#include <QWidget>

namespace ostrel {

// The frameless window that holds the popover root. A tool window that stays on top rather than a
// popup: Qt leaves popups out of the accessible tree, so screen readers would never reach the
// popover. It closes when it loses activation to anything but a window of its own, and on
// Escape, and reports every change of visibility.
class PopoverWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize fixedSize{360, 600};

    explicit PopoverWindow(Clock &clock, QWidget *parent = nullptr);

    void setContent(QWidget *content);
    QWidget *content() const { return m_content; }

    // Shows the popover at the tray icon's geometry (empty when the tray cannot tell), else at the
    // pointer, on the screen under it, inside that screen's available area.
    void popUp(const QRect &anchor);

    // When it was last hidden (on the clock); the click on the tray icon that closed the popover
    // by taking its activation must not open it again right away.
    Clock::Duration lastHiddenAt() const { return m_lastHiddenAt; }
    bool hasBeenHidden() const { return m_hasBeenHidden; }

signals:
    void visibilityChanged(bool visible);

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void closeUnlessOwnWindowActive();
    void focusFirstControl();

    class Outline;
    Outline *m_outline;
    Clock &m_clock;
    QWidget *m_content = nullptr;
    Clock::Duration m_lastHiddenAt{0};
    bool m_hasBeenHidden = false;
};

} // namespace ostrel
