#include "ui/tunnels/TunnelListLoadingView.h"

#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"
#include "ui/controls/Palette.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

namespace ostrel {

// A still progress ring: the wait is short and animating it would need a timer of its own.
class TunnelListLoadingView::Mark : public QWidget {
public:
    explicit Mark(QWidget *parent) : QWidget(parent) { setFixedSize(14, 14); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF ring = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
        painter.setPen(QPen(Palette::withOpacity(Palette::secondaryText(this), 0.25), 2));
        painter.drawEllipse(ring);
        painter.setPen(QPen(Palette::secondaryText(this), 2, Qt::SolidLine, Qt::RoundCap));
        painter.drawArc(ring, 90 * 16, -100 * 16);
    }
};

TunnelListLoadingView::TunnelListLoadingView(AppState &state, QWidget *parent)
    : QWidget(parent), m_state(state)
{
    setObjectName(QStringLiteral("tunnelsLoading"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(4, 14, 4, 14);
    row->setSpacing(8);
    row->addStretch(1);
    row->addWidget(new Mark(this));
    m_text = new QLabel(this);
    m_text->setFont(systemFont(12));
    row->addWidget(m_text);
    row->addStretch(1);
    retranslate();
}

QString TunnelListLoadingView::text() const
{
    return m_text->text();
}

void TunnelListLoadingView::retranslate()
{
    m_text->setText(localized(OSTREL_KEY("tunnels.list.loading"), m_state.language()));
    setAccessibleName(m_text->text());
}

void TunnelListLoadingView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

} // namespace ostrel
