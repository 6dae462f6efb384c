#include "ui/tunnels/ProtocolPicker.h"

#include "l10n/LocalizableXCStrings.h"
#include "ui/controls/ButtonStyles.h"
#include "ui/controls/Palette.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>

namespace ostrel {

namespace {
class Segment : public QAbstractButton {
public:
    explicit Segment(QWidget *parent) : QAbstractButton(parent)
    {
        setCheckable(true);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::TabFocus);
        setMinimumHeight(24);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    QSize sizeHint() const override
    {
        const QFontMetrics metrics(systemFont(12, QFont::DemiBold));
        return QSize(metrics.horizontalAdvance(text()) + 24, 24);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF face = QRectF(rect()).adjusted(2, 2, -2, -2);
        if (isChecked()) {
            painter.setPen(QPen(Palette::withOpacity(Palette::primaryText(this), 0.08), 0.6));
            painter.setBrush(palette().color(QPalette::Base));
            painter.drawRoundedRect(face, 6, 6);
        }
        painter.setFont(systemFont(12, isChecked() ? QFont::DemiBold : QFont::Normal));
        painter.setPen(isChecked() ? Palette::primaryText(this) : Palette::secondaryText(this));
        painter.drawText(rect(), Qt::AlignCenter, text());
        if (hasFocus())
            paintFocusRing(painter, face, 6);
    }
};
} // namespace

ProtocolPicker::ProtocolPicker(QStringList titleKeys, QWidget *parent)
    : QWidget(parent), m_titleKeys(std::move(titleKeys)), m_group(new QButtonGroup(this))
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    for (int i = 0; i < m_titleKeys.size(); ++i) {
        auto *segment = new Segment(this);
        segment->setObjectName(m_titleKeys.at(i));
        m_group->addButton(segment, i);
        row->addWidget(segment);
    }
    m_group->setExclusive(true);
    connect(m_group, &QButtonGroup::idClicked, this, [this](int id) { select(id, true); });
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    select(0, false);
    retranslate();
}

QAbstractButton *ProtocolPicker::segment(int index) const
{
    return m_group->button(index);
}

void ProtocolPicker::setCurrentIndex(int index)
{
    select(index, false);
}

void ProtocolPicker::select(int index, bool byUser)
{
    if (index < 0 || index >= m_titleKeys.size())
        return;
    m_group->button(index)->setChecked(true);
    if (index == m_current)
        return;
    m_current = index;
    update();
    if (byUser)
        emit currentIndexChanged(index);
}

void ProtocolPicker::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) {
        const int next = m_current + (event->key() == Qt::Key_Left ? -1 : 1);
        select(next, true);
        if (QAbstractButton *button = m_group->button(m_current))
            button->setFocus(Qt::TabFocusReason);
        return;
    }
    QWidget::keyPressEvent(event);
}

void ProtocolPicker::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Palette::withOpacity(Palette::primaryText(this), 0.07));
    painter.drawRoundedRect(QRectF(rect()), 8, 8);
}

void ProtocolPicker::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

void ProtocolPicker::retranslate()
{
    for (int i = 0; i < m_titleKeys.size(); ++i) {
        QAbstractButton *button = m_group->button(i);
        button->setText(localized(m_titleKeys.at(i)));
        button->setAccessibleName(button->text());
        button->updateGeometry();
    }
}

} // namespace ostrel
