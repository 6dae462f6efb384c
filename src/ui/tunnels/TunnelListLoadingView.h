#pragma once

#include <QWidget>

class QLabel;

namespace ostrel {

class AppState;

// A small progress mark and "tunnels.list.loading", while the list has not arrived.
class TunnelListLoadingView : public QWidget {
    Q_OBJECT
public:
    explicit TunnelListLoadingView(AppState &state, QWidget *parent = nullptr);
    QString text() const;

protected:
    void changeEvent(QEvent *event) override;

private:
    class Mark;
    void retranslate();
    AppState &m_state;
    QLabel *m_text;
};

} // namespace ostrel
