#pragma once

#include "api/Models.h"

#include <QWidget>

class QLabel;

namespace ostrel {

class AppState;
class TintedButton;

// The alert that asks before a tunnel is deleted, drawn over `host` (the popover's content), as
// a separate window would close the popover. Cancel (also Escape) only closes it; the
// destructive button closes it and deletes the tunnel.
class DeleteTunnelConfirmation : public QWidget {
    Q_OBJECT
public:
    DeleteTunnelConfirmation(AppState &state, Tunnel tunnel, QWidget *host);

    TintedButton *cancelButton() const { return m_cancel; }
    TintedButton *deleteButton() const { return m_delete; }
    QString titleText() const;
    QString messageText() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void close();
    void confirm();
    void retranslate();

    AppState &m_state;
    Tunnel m_tunnel;
    QWidget *m_card;
    QLabel *m_title;
    QLabel *m_message;
    TintedButton *m_cancel;
    TintedButton *m_delete;
};

} // namespace ostrel
