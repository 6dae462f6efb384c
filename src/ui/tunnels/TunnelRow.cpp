#include "ui/tunnels/TunnelRow.h"

#include "l10n/LocalizableXCStrings.h"
#include "platform/UrlOpener.h"
#include "state/AppState.h"
#include "ui/controls/Palette.h"
#include "ui/controls/SymbolButton.h"
#include "ui/controls/SymbolIcon.h"
#include "ui/tunnels/DeleteTunnelConfirmation.h"
#include "ui/tunnels/StartStopButton.h"
#include "ui/tunnels/TunnelAddressButton.h"
#include "ui/tunnels/TunnelLogView.h"
#include "ui/tunnels/TunnelQRCodeView.h"

#include <QClipboard>
#include <QEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QUrl>
#include <QVBoxLayout>

namespace ostrel {

// The 8 by 8 run-state dot; its tooltip and accessible name say the state.
class TunnelRow::Dot : public QWidget {
public:
    explicit Dot(QWidget *parent) : QWidget(parent) { setFixedSize(12, 12); }
    void setColor(const QColor &color)
    {
        if (color == m_color)
            return;
        m_color = color;
        update();
    }
    QColor color() const { return m_color; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(m_color);
        painter.drawEllipse(QRectF(2, 2, 8, 8));
    }

private:
    QColor m_color;
};

TunnelRow::TunnelRow(AppState &state, Tunnel tunnel, std::function<void(const Tunnel &)> onEdit,
                     QWidget *parent)
    : QWidget(parent), m_state(state), m_tunnel(std::move(tunnel)), m_onEdit(std::move(onEdit))
{
    setObjectName(QStringLiteral("tunnelRow"));
    m_dot = new Dot(this);
    m_dot->setObjectName(QStringLiteral("statusDot"));
    m_port = new QLabel(this);
    m_port->setObjectName(QStringLiteral("port"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(12);
    mono.setWeight(QFont::DemiBold);
    m_port->setFont(mono);
    m_address = new TunnelAddressButton(this);
    m_address->setObjectName(QStringLiteral("address"));
    connect(m_address, &QAbstractButton::clicked, this, [this] {
        if (!m_address->isLink())
            return;
        const QUrl url(m_tunnel.publicURL(m_state.publicHost()), QUrl::StrictMode);
        if (url.isValid() && !url.scheme().isEmpty() && !url.host().isEmpty())
            m_state.urlOpener().open(url);
    });
    m_startStop = new StartStopButton(this);
    connect(m_startStop, &QAbstractButton::clicked, this, &TunnelRow::pressStartStop);
    m_more = new SymbolButton(QStringLiteral("ellipsis.circle"), 16, OSTREL_KEY("tunnels.list.more"), this);
    m_more->setObjectName(QStringLiteral("more"));
    connect(m_more, &QAbstractButton::clicked, this, &TunnelRow::openMoreMenu);

    m_noticeLine = new QWidget(this);
    m_noticeLine->setObjectName(QStringLiteral("noticeLine"));
    m_noticeIcon = new QLabel(m_noticeLine);
    m_notice = new QLabel(m_noticeLine);
    m_notice->setObjectName(QStringLiteral("notice"));
    m_notice->setFont(systemFont(11));
    m_notice->setWordWrap(true);
    m_notice->setTextFormat(Qt::PlainText);
    m_notice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *noticeRow = new QHBoxLayout(m_noticeLine);
    noticeRow->setContentsMargins(20, 0, 0, 0);
    noticeRow->setSpacing(5);
    noticeRow->addWidget(m_noticeIcon, 0, Qt::AlignTop);
    noticeRow->addWidget(m_notice, 1);
    m_noticeLine->hide();

    auto *first = new QHBoxLayout;
    first->setSpacing(8);
    first->addWidget(m_dot);
    first->addWidget(m_port);
    first->addWidget(m_address, 1);
    first->addWidget(m_startStop);
    first->addWidget(m_more);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(10, 6, 6, 6);
    column->setSpacing(3);
    column->addLayout(first);
    column->addWidget(m_noticeLine);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    refresh();
}

TunnelRow::~TunnelRow()
{
    // The alert lives on the popover's content, not in the row.
    delete m_deleteConfirmation.data();
}

QColor TunnelRow::statusColor(TunnelRuntimeState state, const QWidget *widget)
{
    switch (state) {
    case TunnelRuntimeState::stopped:
        break;
    case TunnelRuntimeState::starting:
    case TunnelRuntimeState::connecting:
        return Palette::orange();
    case TunnelRuntimeState::connected:
        return Palette::green();
    case TunnelRuntimeState::disconnected:
    case TunnelRuntimeState::failed:
        return Palette::red();
    }
    return Palette::secondaryText(widget);
}

QString TunnelRow::statusKey(TunnelRuntimeState state)
{
    switch (state) {
    case TunnelRuntimeState::stopped:
        break;
    case TunnelRuntimeState::starting:
        return OSTREL_KEY("tunnels.list.status.starting");
    case TunnelRuntimeState::connecting:
        return OSTREL_KEY("tunnels.list.status.connecting");
    case TunnelRuntimeState::connected:
        return OSTREL_KEY("tunnels.list.status.connected");
    case TunnelRuntimeState::disconnected:
        return OSTREL_KEY("tunnels.list.status.disconnected");
    case TunnelRuntimeState::failed:
        return OSTREL_KEY("tunnels.list.status.failed");
    }
    return OSTREL_KEY("tunnels.list.status.stopped");
}

void TunnelRow::setTunnel(const Tunnel &tunnel)
{
    if (tunnel == m_tunnel)
        return;
    m_tunnel = tunnel;
    refresh();
}

TunnelRow::Shown TunnelRow::current() const
{
    Shown shown;
    shown.runState = m_state.runtimeState(m_tunnel.id);
    shown.running = m_state.runningTunnelIds().contains(m_tunnel.id);
    shown.canStart = m_state.frpcConfig().has_value();
    shown.changingState = m_changingState;
    shown.port = QLatin1Char(':') + QString::number(m_tunnel.localPort);
    shown.address = m_tunnel.displayHost(m_state.publicHost());
    shown.link = m_tunnel.protocolValue != QLatin1String("tcp");
    shown.language = m_state.language();
    // Keys show their text; a ready message (no such key) shows as it is.
    if (const auto error = m_state.frpcStartErrors().constFind(m_tunnel.id);
        error != m_state.frpcStartErrors().cend()) {
        shown.notice = localized(*error, shown.language);
    } else if (const auto reason = m_state.frpcFailureReasons().constFind(m_tunnel.id);
               reason != m_state.frpcFailureReasons().cend()) {
        // What frpc said went wrong says more than that it crashed.
        shown.notice = localized(*reason, shown.language);
        shown.crash =
            m_state.frpcCrashes().contains(m_tunnel.id) || shown.runState == TunnelRuntimeState::failed;
    } else if (const auto crash = m_state.frpcCrashes().constFind(m_tunnel.id);
               crash != m_state.frpcCrashes().cend()) {
        shown.notice = localized(*crash, shown.language);
        shown.crash = true;
    }
    return shown;
}

void TunnelRow::refresh()
{
    const Shown shown = current();
    if (m_shown == shown)
        return;
    apply(shown);
    m_shown = shown;
}

void TunnelRow::apply(const Shown &shown)
{
    const bool languageChanged = !m_shown || m_shown->language != shown.language;
    if (!m_shown || m_shown->runState != shown.runState || languageChanged) {
        m_dot->setColor(statusColor(shown.runState, this));
        const QString status = localized(statusKey(shown.runState), shown.language);
        m_dot->setToolTip(status);
        m_dot->setAccessibleName(status);
    }
    if (!m_shown || m_shown->port != shown.port) {
        m_port->setText(shown.port);
        m_port->setAccessibleName(shown.port);
    }
    m_address->set(shown.address, shown.link);
    m_startStop->setRunning(shown.running);
    m_startStop->setBusy(shown.changingState);
    // Busy, not disabled, while the state changes: a disabled button would hand the keyboard's
    // focus on to the next control. A press meanwhile does nothing (see pressStartStop).
    m_startStop->setEnabled(shown.canStart);
    if (!m_shown || m_shown->running != shown.running || languageChanged) {
        const QString help =
            localized(shown.running ? OSTREL_KEY("tunnels.list.stop") : OSTREL_KEY("tunnels.list.start"),
                      shown.language);
        m_startStop->setToolTip(help);
        m_startStop->setAccessibleName(help);
    }
    if (!m_shown || m_shown->notice != shown.notice || m_shown->crash != shown.crash) {
        const QColor color = shown.crash ? Palette::red() : Palette::orange();
        QPalette palette = m_notice->palette();
        palette.setColor(QPalette::WindowText, color);
        m_notice->setPalette(palette);
        m_notice->setText(shown.notice);
        m_noticeIcon->setPixmap(
            symbolPixmap(QStringLiteral("exclamationmark.triangle.fill"), 11, color, devicePixelRatioF()));
        m_noticeLine->setVisible(!shown.notice.isEmpty());
    }
    setAccessibleName(shown.address);
}

QWidget *TunnelRow::statusDot() const
{
    return m_dot;
}

QMenu *TunnelRow::moreMenu() const
{
    return m_menu.data();
}

QColor TunnelRow::statusDotColor() const
{
    return m_dot->color();
}

QString TunnelRow::noticeText() const
{
    return m_noticeLine->isHidden() ? QString() : m_notice->text();
}

QColor TunnelRow::noticeColor() const
{
    return m_notice->palette().color(QPalette::WindowText);
}

void TunnelRow::setChangingState(bool value)
{
    m_changingState = value;
    refresh();
}

void TunnelRow::pressStartStop()
{
    if (m_changingState)
        return;
    setChangingState(true);
    // Handled on the next turn of the event loop, so presses queued behind this one see the
    // guard and do nothing.
    QMetaObject::invokeMethod(
        this,
        [this] {
            const QString id = m_tunnel.id;
            if (m_state.runningTunnelIds().contains(id))
                m_state.stopTunnel(id);
            else if (m_state.isOverFreeBandwidthLimit())
                m_state.showBandwidthLimitBanner();
            else
                m_state.startTunnel(m_tunnel, true);
            setChangingState(false);
        },
        Qt::QueuedConnection);
}

void TunnelRow::openMoreMenu()
{
    const QString language = m_state.language();
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("moreMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setAccessibleName(localized(OSTREL_KEY("tunnels.list.more"), language));
    auto add = [&](const char *symbol, const QString &key, void (TunnelRow::*slot)()) {
        QAction *action = menu->addAction(symbolIcon(QString::fromLatin1(symbol)), localized(key, language));
        action->setObjectName(key);
        connect(action, &QAction::triggered, this, slot);
    };
    add("doc.on.doc", OSTREL_KEY("tunnels.share.copy"), &TunnelRow::copyLink);
    if (m_tunnel.protocolValue != QLatin1String("tcp"))
        add("qrcode", OSTREL_KEY("tunnels.share.qr"), &TunnelRow::showQRCode);
    add("doc.text", OSTREL_KEY("tunnels.list.log"), &TunnelRow::showLog);
    menu->addSeparator();
    QAction *edit = menu->addAction(symbolIcon(QStringLiteral("pencil")),
                                    localized(OSTREL_KEY("tunnels.list.edit"), language));
    edit->setObjectName(QStringLiteral("tunnels.list.edit"));
    connect(edit, &QAction::triggered, this, [this] {
        if (m_onEdit)
            m_onEdit(m_tunnel);
    });
    menu->addSeparator();
    add("trash", OSTREL_KEY("tunnels.list.delete"), &TunnelRow::confirmDelete);
    m_menu = menu;
    menu->popup(m_more->mapToGlobal(QPoint(0, m_more->height())));
}

void TunnelRow::copyLink()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(m_tunnel.publicURL(m_state.publicHost()));
}

void TunnelRow::showQRCode()
{
    if (m_tunnel.protocolValue == QLatin1String("tcp"))
        return;
    delete m_qrPopup.data();
    auto *popup = new QWidget(this, Qt::Popup);
    popup->setObjectName(QStringLiteral("qrPopup"));
    popup->setAttribute(Qt::WA_DeleteOnClose);
    auto *layout = new QVBoxLayout(popup);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new TunnelQRCodeView(m_state, m_tunnel, popup));
    popup->adjustSize();
    const QPoint below = m_more->mapToGlobal(QPoint(m_more->width(), m_more->height()));
    popup->move(below.x() - popup->width(), below.y());
    m_qrPopup = popup;
    popup->show();
}

TunnelLogView *TunnelRow::logView() const
{
    return static_cast<TunnelLogView *>(m_log.data());
}

void TunnelRow::showLog()
{
    if (!m_log)
        m_log = new TunnelLogView(m_state, m_tunnel, TunnelLogView::defaultMaxLines, this);
    m_log->show();
    m_log->raise();
    m_log->activateWindow();
}

void TunnelRow::confirmDelete()
{
    if (m_deleteConfirmation)
        return;
    m_deleteConfirmation = new DeleteTunnelConfirmation(m_state, m_tunnel, window());
}

void TunnelRow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Palette::withOpacity(Palette::primaryText(this), 0.04));
    painter.drawRoundedRect(QRectF(rect()), 9, 9);
}

void TunnelRow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        refresh();
}

} // namespace ostrel
