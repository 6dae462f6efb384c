#include "ui/tunnels/TunnelRowsView.h"

#include "state/AppState.h"
#include "ui/tunnels/TunnelRow.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QResizeEvent>
#include <QScrollBar>
#include <QVBoxLayout>

namespace ostrel {

namespace {
// The column of rows. Once a notice wraps, the scroll area gives it the height its rows need at
// the viewport's width; its minimum would be taller (a wrapped notice's minimum is measured at
// its narrowest) and kept a scroll bar over rows that fit.
class RowsColumn : public QWidget {
public:
    QSize minimumSizeHint() const override
    {
        const QSize minimum = QWidget::minimumSizeHint();
        return layout()->hasHeightForWidth() ? QSize(minimum.width(), 0) : minimum;
    }
};
} // namespace

TunnelRowsView::TunnelRowsView(AppState &state, std::function<void(const Tunnel &)> onEdit, QWidget *parent)
    : QScrollArea(parent), m_state(state), m_onEdit(std::move(onEdit))
{
    setObjectName(QStringLiteral("tunnelRows"));
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    // Tab goes to the rows' controls, and the area scrolls to the one focused (also when Tab
    // comes in from outside the list); the area itself is no stop of its own.
    setFocusPolicy(Qt::NoFocus);
    viewport()->setAutoFillBackground(false);
    m_content = new RowsColumn;
    m_content->setObjectName(QStringLiteral("tunnelRowsContent"));
    m_content->setAutoFillBackground(false);
    // The column goes before the area does (focus moves as it goes): the guard tells.
    connect(qApp, &QApplication::focusChanged, this,
            [this, content = QPointer<QWidget>(m_content)](QWidget *, QWidget *now) {
                if (content && now && content->isAncestorOf(now))
                    ensureWidgetVisible(now);
            });
    m_layout = new QVBoxLayout(m_content);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(6);
    m_layout->addStretch(1);
    setWidget(m_content);
    // A row that gains or loses its second line changes the column's height: the page must hear.
    m_content->installEventFilter(this);

    for (auto signal : {&AppState::runningTunnelIdsChanged, &AppState::tunnelRuntimeStatesChanged,
                        &AppState::frpcStartErrorsChanged, &AppState::frpcCrashesChanged,
                        &AppState::frpcFailureReasonsChanged, &AppState::frpcConfigChanged})
        connect(&m_state, signal, this, &TunnelRowsView::refreshRows);
    connect(&m_state, &AppState::tunnelsChanged, this, &TunnelRowsView::sync);
    sync();
}

void TunnelRowsView::sync()
{
    const QList<Tunnel> &tunnels = m_state.tunnels();
    QStringList order;
    order.reserve(tunnels.size());
    QSet<QString> listed;
    for (const Tunnel &tunnel : tunnels) {
        order.append(tunnel.id);
        listed.insert(tunnel.id);
    }
    for (auto it = m_rows.begin(); it != m_rows.end();) {
        if (listed.contains(it.key())) {
            ++it;
            continue;
        }
        delete it.value();
        it = m_rows.erase(it);
    }
    const bool reordered = order != m_order;
    for (const Tunnel &tunnel : tunnels) {
        if (TunnelRow *existing = m_rows.value(tunnel.id)) {
            existing->setTunnel(tunnel);
            continue;
        }
        auto *row = new TunnelRow(m_state, tunnel, m_onEdit, m_content);
        m_rows.insert(tunnel.id, row);
    }
    if (reordered) {
        // Rows keep their widgets; only their places in the column change.
        for (TunnelRow *row : std::as_const(m_rows))
            m_layout->removeWidget(row);
        int index = 0;
        for (const QString &id : std::as_const(order))
            m_layout->insertWidget(index++, m_rows.value(id));
        m_order = order;
        updateGeometry();
        // New rows join the focus chain at the window's end; Tab goes through them in list order,
        // right after what precedes the list.
        QWidget *previous = m_focusAnchor;
        for (const QString &id : std::as_const(m_order)) {
            for (QWidget *child : m_rows.value(id)->findChildren<QWidget *>()) {
                if (!previous || child->focusPolicy() == Qt::NoFocus)
                    continue;
                setTabOrder(previous, child);
                previous = child;
            }
        }
    }
}

void TunnelRowsView::refreshRows()
{
    for (TunnelRow *row : std::as_const(m_rows))
        row->refresh();
}

void TunnelRowsView::setFocusAnchor(QWidget *anchor)
{
    m_focusAnchor = anchor;
}

QList<TunnelRow *> TunnelRowsView::rows() const
{
    QList<TunnelRow *> rows;
    for (const QString &id : m_order)
        rows.append(m_rows.value(id));
    return rows;
}

QSize TunnelRowsView::sizeHint() const
{
    // As tall as the rows, so a short list leaves the usage summary right under it; the page's
    // layout shrinks it (and it scrolls) when the rows do not fit.
    // Wrapped notices make the rows taller the narrower they are: the height is the one at the
    // width they get.
    const QSize content = m_content->sizeHint();
    const int width = viewport()->width();
    const int height =
        width > 0 && m_content->hasHeightForWidth() ? m_content->heightForWidth(width) : content.height();
    return QSize(content.width(), height + 2 * frameWidth());
}

void TunnelRowsView::resizeEvent(QResizeEvent *event)
{
    QScrollArea::resizeEvent(event);
    if (event->size().width() != event->oldSize().width())
        updateGeometry();
}

bool TunnelRowsView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_content && event->type() == QEvent::LayoutRequest)
        updateGeometry();
    return QScrollArea::eventFilter(watched, event);
}

QSize TunnelRowsView::minimumSizeHint() const
{
    // The scroll bar's own minimum would keep a one-row list taller than its row.
    return QSize(0, std::min(sizeHint().height(), 120));
}

} // namespace ostrel
