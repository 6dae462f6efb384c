#pragma once

#include <QWidget>

class QLabel;

namespace ostrel {

class AppState;

// Why the list or the server settings could not be loaded (a text already localised), and that
// the client keeps trying, on a lightly tinted card.
class TunnelListErrorView : public QWidget {
    Q_OBJECT
public:
    explicit TunnelListErrorView(AppState &state, QWidget *parent = nullptr);
    void setMessage(const QString &message);
    QString message() const;
    QString retryText() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void retranslate();
    AppState &m_state;
    QLabel *m_message;
    QLabel *m_retry;
};

} // namespace ostrel
