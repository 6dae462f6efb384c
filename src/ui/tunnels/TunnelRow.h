#pragma once

#include "api/Models.h"
#include "state/TunnelRuntimeState.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QMenu;

namespace ostrel {

class AppState;
class DeleteTunnelConfirmation;
class StartStopButton;
class SymbolButton;
class TunnelAddressButton;
class TunnelLogView;

// One tunnel in the list: its run state as a coloured dot, its local port, its public address,
// the start/stop button and the more menu (copy link, QR code, log, edit, delete), and under
// them why the last start failed, what frpc reported as failing, or that the process crashed. A row is kept
// for as long as its tunnel is listed and repaints only what changed.
class TunnelRow : public QWidget {
    Q_OBJECT
public:
    TunnelRow(AppState &state, Tunnel tunnel, std::function<void(const Tunnel &)> onEdit,
              QWidget *parent = nullptr);
    ~TunnelRow() override;

    const Tunnel &tunnel() const { return m_tunnel; }
    void setTunnel(const Tunnel &tunnel);
    // Re-reads the run state, start errors, crashes and configuration from AppState.
    void refresh();

    bool isChangingState() const { return m_changingState; }
    bool isShowingQRCode() const { return !m_qrPopup.isNull(); }
    bool isShowingDeleteConfirmation() const { return !m_deleteConfirmation.isNull(); }
    // The tunnel's log window while it is open.
    TunnelLogView *logView() const;

    // The dot's colour and its tooltip key for a run state.
    static QColor statusColor(TunnelRuntimeState state, const QWidget *widget = nullptr);
    static QString statusKey(TunnelRuntimeState state);

    StartStopButton *startStopButton() const { return m_startStop; }
    SymbolButton *moreButton() const { return m_more; }
    TunnelAddressButton *addressButton() const { return m_address; }
    QWidget *statusDot() const;
    QColor statusDotColor() const;
    // The second line's text and colour; empty when it is hidden.
    QString noticeText() const;
    QColor noticeColor() const;
    // The more menu while it is open.
    QMenu *moreMenu() const;

    // Menu actions, also reachable from tests.
    void copyLink();
    void showQRCode();
    void showLog();
    void confirmDelete();
    void pressStartStop();

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    class Dot;
    // Everything the row draws from the state, to repaint only on a real change.
    struct Shown {
        TunnelRuntimeState runState = TunnelRuntimeState::stopped;
        bool running = false;
        bool canStart = false;
        bool changingState = false;
        QString port;
        QString address;
        bool link = false;
        QString notice;
        bool crash = false;
        QString language;
        friend bool operator==(const Shown &, const Shown &) = default;
    };
    Shown current() const;
    void apply(const Shown &shown);
    void openMoreMenu();
    void setChangingState(bool value);

    AppState &m_state;
    Tunnel m_tunnel;
    std::function<void(const Tunnel &)> m_onEdit;
    bool m_changingState = false;
    std::optional<Shown> m_shown;

    Dot *m_dot;
    QLabel *m_port;
    TunnelAddressButton *m_address;
    StartStopButton *m_startStop;
    SymbolButton *m_more;
    QWidget *m_noticeLine;
    QLabel *m_noticeIcon;
    QLabel *m_notice;
    QPointer<QMenu> m_menu;
    QPointer<QWidget> m_qrPopup;
    QPointer<DeleteTunnelConfirmation> m_deleteConfirmation;
    QPointer<QWidget> m_log; // a TunnelLogView
};

} // namespace ostrel
