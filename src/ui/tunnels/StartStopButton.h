#pragma once

#include <QAbstractButton>

#include <optional>

namespace ostrel {

// The start/stop control of a tunnel row: a play or stop symbol, or a progress ring while a
// press is being handled. A double click counts as one press.
class StartStopButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit StartStopButton(QWidget *parent = nullptr);

    bool isRunning() const { return m_running; }
    bool isBusy() const { return m_busy; }
    // Each returns whether anything changed (and was repainted).
    bool setRunning(bool running);
    bool setBusy(bool busy);

    QSize sizeHint() const override { return QSize(24, 24); }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    bool m_running = false;
    bool m_busy = false;
    // When the last press that counted came (event time, milliseconds).
    std::optional<quint64> m_lastPress;
};

} // namespace ostrel
