#pragma once

#include <QWidget>

class QLabel;

namespace ostrel {

class AppState;

// What the list shows while the account has no tunnel: a symbol, a title and a line saying
// under which host new tunnels are published.
class EmptyTunnelsView : public QWidget {
    Q_OBJECT
public:
    explicit EmptyTunnelsView(AppState &state, QWidget *parent = nullptr);
    QString titleText() const;
    QString bodyText() const;

protected:
    void changeEvent(QEvent *event) override;

private:
    void retranslate();
    AppState &m_state;
    QLabel *m_title;
    QLabel *m_body;
};

} // namespace ostrel
