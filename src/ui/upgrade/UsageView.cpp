#include "ui/upgrade/UsageView.h"

#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"
#include "ui/controls/Palette.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QVBoxLayout>

namespace ostrel {

namespace {
void setTextColor(QLabel *label, const QColor &color)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}
} // namespace

// The track and its tinted fill.
class UsageView::Bar : public QWidget {
public:
    explicit Bar(QWidget *parent) : QWidget(parent) { setFixedHeight(5); }
    void set(double fraction, const QColor &tint)
    {
        if (fraction == m_fraction && tint == m_tint)
            return;
        m_fraction = fraction;
        m_tint = tint;
        update();
    }
    double fraction() const { return m_fraction; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        const QRectF track = rect();
        const qreal radius = track.height() / 2;
        painter.setBrush(Palette::withOpacity(Palette::secondaryText(this), 0.16));
        painter.drawRoundedRect(track, radius, radius);
        if (m_fraction <= 0)
            return;
        painter.setBrush(m_tint);
        painter.drawRoundedRect(QRectF(track.left(), track.top(), track.width() * m_fraction, track.height()),
                                radius, radius);
    }

private:
    double m_fraction = 0;
    QColor m_tint;
};

UsageView::UsageView(AppState &state, QWidget *parent) : QWidget(parent), m_state(state)
{
    setObjectName(QStringLiteral("usageView"));
    m_headline = new QLabel(this);
    m_headline->setObjectName(QStringLiteral("usageHeadline"));
    m_headline->setFont(systemFont(11, QFont::DemiBold, 0.4));
    setTextColor(m_headline, Palette::secondaryText(this));
    m_percent = new QLabel(this);
    m_percent->setObjectName(QStringLiteral("usagePercent"));
    m_percent->setFont(systemFont(11, QFont::DemiBold));
    m_bar = new Bar(this);
    m_bar->setObjectName(QStringLiteral("usageBar"));
    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("usageSummary"));
    m_summary->setFont(systemFont(12, QFont::DemiBold));
    m_reset = new QLabel(this);
    m_reset->setObjectName(QStringLiteral("usageReset"));
    m_reset->setFont(systemFont(11));
    setTextColor(m_reset, Palette::tertiaryText(this));

    auto *top = new QHBoxLayout;
    top->setSpacing(6);
    top->addWidget(m_headline);
    top->addStretch(1);
    top->addWidget(m_percent);
    auto *bottom = new QHBoxLayout;
    bottom->setSpacing(6);
    bottom->addWidget(m_summary);
    bottom->addStretch(1);
    bottom->addWidget(m_reset);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(12, 10, 12, 10);
    column->setSpacing(6);
    column->addLayout(top);
    column->addWidget(m_bar);
    column->addLayout(bottom);
    // One element for assistive technology: the children only repeat its label.
    for (QLabel *label : {m_headline, m_percent, m_summary, m_reset})
        label->setAccessibleName(QString());
    setFocusPolicy(Qt::NoFocus);
    hide();
}

bool UsageView::isFreePlan(const Usage &usage)
{
    return usage.tier != QLatin1String("pro");
}

QColor UsageView::usageTint(qint64 percentUsed)
{
    if (percentUsed >= 95)
        return Palette::errorRed();
    if (percentUsed >= 80)
        return Palette::warningAmber();
    return Palette::brandBlue();
}

double UsageView::fillFraction(const UsageBandwidth &bandwidth)
{
    if (bandwidth.limitBytes < 1)
        return 0;
    return std::clamp(double(bandwidth.usedBytes) / double(bandwidth.limitBytes), 0.0, 1.0);
}

QString UsageView::formatGigabytes(qint64 usedBytes)
{
    const double gigabytes = double(usedBytes) / 1024 / 1024 / 1024;
    if (gigabytes >= 1.0)
        return QString::asprintf("%.2f GB", gigabytes);
    const double megabytes = gigabytes * 1024;
    if (megabytes >= 1.0)
        return QString::asprintf("%.0f MB", megabytes);
    return QString::asprintf("%.0f KB", megabytes * 1024);
}

QString UsageView::usageSummaryText(const Usage &usage)
{
    const QString limit = isFreePlan(usage) ? QString::number(usage.bandwidth.limitGB) + QStringLiteral(" GB")
                                            : QStringLiteral("\u221E");
    return formatGigabytes(usage.bandwidth.usedBytes) + QStringLiteral(" / ") + limit;
}

QString UsageView::resetDateText(const QDateTime &periodEnd, const QString &language)
{
    const QLocale locale(language == QLatin1String("es") ? QStringLiteral("es_ES") : QStringLiteral("en_US"));
    const QString date = locale.toString(periodEnd.toLocalTime(), QStringLiteral("d MMM"));
    return LocalizableXCStrings::shared().format(QStringLiteral("usage.resetOn"), {date}, language);
}

void UsageView::setUsage(const Usage &usage)
{
    if (m_usage == usage)
        return;
    m_usage = usage;
    refresh();
}

QString UsageView::headlineText() const
{
    return m_headline->text();
}
QString UsageView::percentText() const
{
    return m_percent->isHidden() ? QString() : m_percent->text();
}
QString UsageView::summaryText() const
{
    return m_summary->text();
}
QString UsageView::resetText() const
{
    return m_reset->text();
}
bool UsageView::showsBar() const
{
    return !m_bar->isHidden();
}

void UsageView::refresh()
{
    if (!m_usage)
        return;
    const Usage &usage = *m_usage;
    const QString language = m_state.language();
    const bool free = isFreePlan(usage);
    const QColor tint = usageTint(usage.bandwidth.percentUsed);
    m_headline->setText(
        localized(free ? OSTREL_KEY("usage.headline.monthly") : OSTREL_KEY("usage.headline.pro"), language)
            .toUpper());
    m_percent->setVisible(free);
    m_percent->setText(QString::number(usage.bandwidth.percentUsed) + QLatin1Char('%'));
    setTextColor(m_percent, tint);
    m_bar->setVisible(free);
    m_bar->set(fillFraction(usage.bandwidth), tint);
    const QString summary = usageSummaryText(usage);
    const QString reset = resetDateText(usage.bandwidth.periodEnd, language);
    m_summary->setText(summary);
    m_reset->setText(reset);
    setAccessibleName(LocalizableXCStrings::shared().format(QStringLiteral("usage.accessibilityLabel"),
                                                            {summary, reset}, language));
}

void UsageView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Palette::withOpacity(Palette::secondaryText(this), 0.08));
    painter.drawRoundedRect(QRectF(rect()), 10, 10);
}

void UsageView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        refresh();
}

} // namespace ostrel
