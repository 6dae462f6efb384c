#include "ui/tunnels/TunnelLogView.h"

#include "frpc/FrpcLogTail.h"
#include "frpc/FrpcManager.h"
#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"
#include "ui/controls/Palette.h"
#include "ui/controls/TintedButton.h"

#include <QClipboard>
#include <QEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>

namespace ostrel {

TunnelLogView::TunnelLogView(AppState &state, Tunnel tunnel, int maxLines, QWidget *parent)
    : QWidget(parent, Qt::Window), m_state(state), m_tunnel(std::move(tunnel))
{
    setObjectName(QStringLiteral("tunnelLog"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(640, 420);

    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("logTitle"));
    m_title->setFont(systemFont(14, QFont::DemiBold));
    m_subtitle = new QLabel(m_tunnel.displayHost(m_state.publicHost()), this);
    m_subtitle->setObjectName(QStringLiteral("logTunnel"));
    m_subtitle->setFont(systemFont(11));
    QPalette secondary = m_subtitle->palette();
    secondary.setColor(QPalette::WindowText, Palette::secondaryText(this));
    m_subtitle->setPalette(secondary);
    m_copy = new TintedButton(Palette::brandBlue(), this);
    m_copy->setObjectName(QStringLiteral("copyLog"));
    connect(m_copy, &QAbstractButton::clicked, this, &TunnelLogView::copyAll);
    m_close = new TintedButton(Palette::primaryText(this), this);
    m_close->setObjectName(QStringLiteral("closeLog"));
    connect(m_close, &QAbstractButton::clicked, this, &QWidget::close);

    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("logText"));
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setMaximumBlockCount(maxLines);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(11);
    m_text->setFont(mono);

    auto *titles = new QVBoxLayout;
    titles->setSpacing(1);
    titles->addWidget(m_title);
    titles->addWidget(m_subtitle);
    auto *header = new QHBoxLayout;
    header->setSpacing(8);
    header->addLayout(titles, 1);
    header->addWidget(m_copy, 0, Qt::AlignVCenter);
    header->addWidget(m_close, 0, Qt::AlignVCenter);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(14, 12, 14, 14);
    column->setSpacing(10);
    column->addLayout(header);
    column->addWidget(m_text, 1);
    // The text first: it is what the window is for; then the buttons in the order shown.
    setTabOrder(m_text, m_copy);
    setTabOrder(m_copy, m_close);

    m_tail = new FrpcLogTail(m_state.frpc().logPath(m_tunnel.id), maxLines, this);
    connect(m_tail, &FrpcLogTail::linesAppended, this, &TunnelLogView::appendLines);
    m_tail->start();
    retranslate();
    m_text->setFocus();
}

QString TunnelLogView::shownText() const
{
    return m_text->toPlainText();
}

void TunnelLogView::appendLines(const QStringList &lines)
{
    // Stays at the newest line unless the user has scrolled up to read.
    QScrollBar *bar = m_text->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    m_text->appendPlainText(lines.join(QLatin1Char('\n')));
    if (atEnd)
        bar->setValue(bar->maximum());
    // Lines are read from their start, whatever the cursor's end of line scrolled to.
    m_text->horizontalScrollBar()->setValue(0);
}

void TunnelLogView::copyAll()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(m_tail->lines().join(QLatin1Char('\n')));
}

void TunnelLogView::retranslate()
{
    const QString language = m_state.language();
    const QString title = localized(OSTREL_KEY("tunnels.log.title"), language);
    m_title->setText(title);
    setWindowTitle(title + QStringLiteral(" — ") + m_subtitle->text());
    setAccessibleName(windowTitle());
    m_subtitle->setAccessibleName(m_subtitle->text());
    m_copy->setText(localized(OSTREL_KEY("tunnels.log.copy"), language));
    m_copy->setAccessibleName(m_copy->text());
    m_close->setText(localized(OSTREL_KEY("common.close"), language));
    m_close->setAccessibleName(m_close->text());
    m_text->setAccessibleName(localized(OSTREL_KEY("tunnels.log.output"), language));
    m_text->setPlaceholderText(localized(OSTREL_KEY("tunnels.log.empty"), language));
}

void TunnelLogView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

void TunnelLogView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace ostrel
