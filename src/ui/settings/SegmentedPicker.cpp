#include "ui/settings/SegmentedPicker.h"

#include "ui/controls/ButtonStyles.h"
#include "ui/controls/Palette.h"
#include "ui/settings/SettingsStyle.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QPainter>

namespace ostrel {

namespace {
class Segment : public QAbstractButton {
public:
    explicit Segment(QWidget *parent) : QAbstractButton(parent)
    {
        setCheckable(true);
        setAutoExclusive(true);
        setFocusPolicy(Qt::StrongFocus);
        setCursor(Qt::PointingHandCursor);
    }
    QSize sizeHint() const override
    {
        const QFontMetrics metrics(systemFont(12, QFont::Medium));
        return QSize(metrics.horizontalAdvance(text()) + 16, metrics.height() + 8);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        if (!isEnabled())
            painter.setOpacity(0.5);
        const QRectF bounds = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
        if (isChecked()) {
            painter.setPen(QPen(Palette::withOpacity(Palette::primaryText(this), 0.12), 0.8));
            painter.setBrush(palette().color(QPalette::Base));
            painter.drawRoundedRect(bounds, 5, 5);
        }
        painter.setFont(systemFont(12, isChecked() ? QFont::DemiBold : QFont::Medium));
        painter.setPen(Palette::primaryText(this));
        painter.drawText(bounds, Qt::AlignCenter, text());
        if (hasFocus())
            paintFocusRing(painter, QRectF(rect()), 6);
    }
};

} // namespace

SegmentedPicker::SegmentedPicker(const QStringList &values, QWidget *parent)
    : QWidget(parent), m_values(values)
{
    auto *outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    QWidget *track = settingsstyle::roundedPanel(
        this, [](const QWidget &w) { return Palette::withOpacity(Palette::primaryText(&w), 0.07); }, 7);
    outer->addWidget(track);
    auto *row = new QHBoxLayout(track);
    row->setContentsMargins(1, 1, 1, 1);
    row->setSpacing(0);
    for (const QString &value : m_values) {
        auto *segment = new Segment(track);
        segment->setObjectName(QStringLiteral("segment.") + value);
        // Clicks, arrow keys and assistive technology's toggle all check a segment; setValue
        // does too, but says so.
        connect(segment, &QAbstractButton::toggled, this, [this, value](bool checked) {
            if (checked && !m_settingValue)
                emit activated(value);
        });
        row->addWidget(segment, 1);
        m_segments.append(segment);
    }
}

QString SegmentedPicker::value() const
{
    for (int i = 0; i < m_segments.size(); ++i)
        if (m_segments[i]->isChecked())
            return m_values[i];
    return {};
}

void SegmentedPicker::setValue(const QString &value)
{
    const qsizetype index = m_values.indexOf(value);
    if (index < 0)
        return;
    m_settingValue = true;
    m_segments[index]->setChecked(true);
    m_settingValue = false;
}

void SegmentedPicker::setTexts(const QStringList &texts)
{
    for (int i = 0; i < m_segments.size() && i < texts.size(); ++i) {
        m_segments[i]->setText(texts[i]);
        m_segments[i]->setAccessibleName(texts[i]);
    }
}

QAbstractButton *SegmentedPicker::segment(const QString &value) const
{
    const qsizetype index = m_values.indexOf(value);
    return index >= 0 ? m_segments[index] : nullptr;
}

} // namespace ostrel
