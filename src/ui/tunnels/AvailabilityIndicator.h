#pragma once

#include <QWidget>

class QTimer;

namespace ostrel {

// The verdict of the live subdomain check beside the subdomain: nothing, a small spinner while
// checking, a green check when available, a red cross when taken or reserved. Its tooltip and
// accessible name say which.
class AvailabilityIndicator : public QWidget {
    Q_OBJECT
public:
    enum class State { idle, checking, available, taken, reserved };

    explicit AvailabilityIndicator(QWidget *parent = nullptr);

    State state() const { return m_state; }
    void setState(State state);
    QString symbol() const; // empty when nothing is drawn as a symbol

    QSize sizeHint() const override { return QSize(14, 14); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void retranslate();

    State m_state = State::idle;
    QTimer *m_spin;
    int m_angle = 0;
};

} // namespace ostrel
