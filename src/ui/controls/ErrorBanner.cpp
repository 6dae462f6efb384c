#include "ui/controls/ErrorBanner.h"

#include "l10n/LocalizableXCStrings.h"
#include "state/BannerState.h"
#include "ui/controls/Palette.h"
#include "ui/controls/SymbolButton.h"
#include "ui/controls/SymbolIcon.h"
#include "ui/controls/TintedButton.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace ostrel {

namespace {
constexpr int iconSize = 16;
constexpr qreal cornerRadius = 10;

void setTextColor(QLabel *label, const QColor &color)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}
} // namespace

ErrorBanner::ErrorBanner(Severity severity, QString message, QString actionTitle,
                         std::function<void()> action, std::function<void()> onDismiss, QWidget *parent)
    : QWidget(parent), m_severity(severity), m_actionTitle(std::move(actionTitle)),
      m_action(std::move(action)), m_onDismiss(std::move(onDismiss))
{
    m_icon = new QLabel(this);
    m_icon->setObjectName("icon");
    m_icon->setFixedSize(iconSize, 18);
    m_icon->setAlignment(Qt::AlignCenter);
    m_icon->setAccessibleName(QString()); // decorative: the title says the same

    m_title = new QLabel(this);
    m_title->setObjectName("title");
    m_title->setFont(systemFont(12, QFont::DemiBold, 0.4));

    m_message = new QLabel(std::move(message), this);
    m_message->setObjectName("message");
    m_message->setFont(systemFont(13));
    m_message->setWordWrap(true);
    m_message->setTextFormat(Qt::PlainText);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_actionButton = new TintedButton(tint(severity), this);
    m_actionButton->setObjectName("action");
    connect(m_actionButton, &QAbstractButton::clicked, this, [this] {
        // The action may put up another banner, which replaces `m_action` while it runs.
        const std::function<void()> action = m_action;
        if (action)
            action();
    });

    m_closeButton = new SymbolButton(QStringLiteral("xmark"), 11, QStringLiteral("common.close"), this);
    m_closeButton->setObjectName("close");
    connect(m_closeButton, &QAbstractButton::clicked, this, [this] {
        if (m_onDismiss)
            m_onDismiss();
    });

    auto *column = new QVBoxLayout;
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addWidget(m_title);
    column->addWidget(m_message);
    column->addWidget(m_actionButton, 0, Qt::AlignLeft);

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(12, 12, 12, 12);
    row->setSpacing(10);
    row->addWidget(m_icon, 0, Qt::AlignTop);
    row->addLayout(column, 1);
    row->addWidget(m_closeButton, 0, Qt::AlignTop);

    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    refresh();
}

QColor ErrorBanner::tint(Severity severity)
{
    switch (severity) {
    case Severity::error:
        return Palette::errorRed();
    case Severity::warning:
        return Palette::warningAmber();
    case Severity::info:
        break;
    }
    return Palette::brandBlue();
}

QString ErrorBanner::symbol(Severity severity)
{
    switch (severity) {
    case Severity::error:
        return QStringLiteral("exclamationmark.circle.fill");
    case Severity::warning:
        return QStringLiteral("exclamationmark.triangle.fill");
    case Severity::info:
        break;
    }
    return QStringLiteral("info.circle.fill");
}

QString ErrorBanner::titleKey(Severity severity)
{
    switch (severity) {
    case Severity::error:
        return QStringLiteral("common.error");
    case Severity::warning:
        return QStringLiteral("common.warning");
    case Severity::info:
        break;
    }
    return QStringLiteral("common.info");
}

void ErrorBanner::setSeverity(Severity severity)
{
    m_severity = severity;
    refresh();
}

QString ErrorBanner::message() const
{
    return m_message->text();
}

void ErrorBanner::setMessage(const QString &message)
{
    m_message->setText(message);
    refresh();
}

void ErrorBanner::setAction(const QString &actionTitle, std::function<void()> action)
{
    m_actionTitle = actionTitle;
    m_action = std::move(action);
    refresh();
}

void ErrorBanner::setBanner(const BannerState &banner)
{
    switch (banner.severity) {
    case BannerState::Severity::error:
        m_severity = Severity::error;
        break;
    case BannerState::Severity::warning:
        m_severity = Severity::warning;
        break;
    case BannerState::Severity::info:
        m_severity = Severity::info;
        break;
    }
    m_message->setText(banner.hint.value_or(banner.message));
    m_actionTitle = banner.actionTitle.value_or(QString());
    m_action = banner.action;
    refresh();
}

void ErrorBanner::setOnDismiss(std::function<void()> onDismiss)
{
    m_onDismiss = std::move(onDismiss);
    refresh();
}

void ErrorBanner::refresh()
{
    const QColor color = tint(m_severity);
    m_icon->setPixmap(symbolPixmap(symbol(m_severity), 14, color, devicePixelRatioF()));
    m_title->setText(localized(titleKey(m_severity)).toUpper());
    setTextColor(m_title, color);
    setAccessibleName(localized(titleKey(m_severity)));
    setAccessibleDescription(m_message->text());
    m_actionButton->setTint(color);
    m_actionButton->setText(m_actionTitle);
    m_actionButton->setAccessibleName(m_actionTitle);
    m_actionButton->setVisible(!m_actionTitle.isEmpty() && bool(m_action));
    m_closeButton->setVisible(bool(m_onDismiss));
    updateGeometry();
    update();
}

int ErrorBanner::heightForWidth(int width) const
{
    return layout() ? layout()->totalHeightForWidth(width) : -1;
}

void ErrorBanner::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor color = tint(m_severity);
    const QRectF bounds = QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25);
    painter.setBrush(Palette::withOpacity(color, 0.08));
    painter.setPen(QPen(Palette::withOpacity(color, 0.25), 0.5));
    painter.drawRoundedRect(bounds, cornerRadius, cornerRadius);
}

void ErrorBanner::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange || event->type() == QEvent::PaletteChange)
        refresh();
}

} // namespace ostrel
