#pragma once

#include "api/Models.h"

#include <QHash>
#include <QScrollArea>

#include <functional>

class QVBoxLayout;

namespace ostrel {

class AppState;
class TunnelRow;

// The rows of the tunnel list in a scroll area, one per tunnel in list order. Rows are kept by
// tunnel id: a refresh updates the rows whose tunnel or state changed, adds and removes rows for
// tunnels that came or went, and leaves the rest alone, so an unchanged refresh repaints
// nothing. Only rows inside the viewport are painted.
class TunnelRowsView : public QScrollArea {
    Q_OBJECT
public:
    TunnelRowsView(AppState &state, std::function<void(const Tunnel &)> onEdit, QWidget *parent = nullptr);

    // Brings the rows in line with AppState's tunnels.
    void sync();
    // The control Tab reaches just before the first row's.
    void setFocusAnchor(QWidget *anchor);
    // Every row re-reads its run state, errors and the configuration.
    void refreshRows();

    int rowCount() const { return int(m_order.size()); }
    TunnelRow *row(const QString &tunnelId) const { return m_rows.value(tunnelId); }
    QList<TunnelRow *> rows() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    AppState &m_state;
    std::function<void(const Tunnel &)> m_onEdit;
    QWidget *m_content;
    QVBoxLayout *m_layout;
    QHash<QString, TunnelRow *> m_rows;
    QStringList m_order;
    QWidget *m_focusAnchor = nullptr;
};

} // namespace ostrel
