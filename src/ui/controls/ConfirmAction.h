#pragma once

#include "platform/Clock.h"
#include "ui/controls/ButtonStyles.h"

#include <QAbstractButton>
#include <QPointer>

namespace ostrel {

// A button for destructive actions that needs two clicks: the first arms it (its label shows the
// armed content), the second runs the action. An armed control disarms by itself `timeout`
// after the pointer is off it; while the pointer rests on it, it stays armed.
class ConfirmAction : public QAbstractButton {
    Q_OBJECT
public:
    // `idleHelp`/`confirmHelp` are text keys of the tooltip while idle/armed (an empty key
    // means no tooltip). `action` may be empty; `confirmed()` is emitted either way.
    ConfirmAction(Clock::Duration timeout, std::function<void()> action, QString idleHelp,
                  QString confirmHelp, LabelContent label, QWidget *parent = nullptr,
                  Clock &clock = Clock::system());

    // Text content: `idleKey` while idle, `armedKey` (in errorRed) while armed.
    static LabelContent textLabel(QString idleKey, QString armedKey);
    // A symbol centred in a 26 by 26 square while idle; the text of `armedKey` while armed.
    static LabelContent symbolLabel(QString symbol, QString armedKey);

    bool isConfirming() const { return m_confirming; }
    bool isHovered() const { return m_hovered; }
    int generation() const { return m_generation; }
    bool hasPendingTimeout() const { return !m_timeoutTask.isNull(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void confirmingChanged(bool confirming);
    // The confirming click, emitted after the control has disarmed.
    void confirmed();

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void handleClick();
    void setHovered(bool hovered);
    void setConfirming(bool confirming);
    void scheduleTimeout();
    void cancelTimeout();
    void retranslate();

    Clock &m_clock;
    Clock::Duration m_timeout;
    std::function<void()> m_action;
    QString m_idleHelp;
    QString m_confirmHelp;
    LabelContent m_label;
    bool m_confirming = false;
    bool m_hovered = false;
    bool m_keyboardFocus = false;
    int m_generation = 0;
    // The pending disarm: its context object. Deleting it cancels the wait.
    QPointer<QObject> m_timeoutTask;
};

} // namespace ostrel
