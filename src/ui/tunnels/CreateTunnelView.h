#pragma once

#include "api/Models.h"

#include <QWidget>

#include <optional>

class QLabel;
class QPushButton;

namespace ostrel {

class AppState;

// The form that creates a tunnel (no `editing` tunnel) or edits one, shown by the tunnel list in
// place of its rows. It asks to be closed with closeRequested(); the list then removes it.
class CreateTunnelView : public QWidget {
    Q_OBJECT
public:
    CreateTunnelView(AppState &state, std::optional<Tunnel> editing, QWidget *parent = nullptr);

    const std::optional<Tunnel> &editingTunnel() const { return m_editing; }

signals:
    void closeRequested();

private:
    AppState &m_state;
    std::optional<Tunnel> m_editing;
    QLabel *m_title;
    QPushButton *m_close;
};

} // namespace ostrel
