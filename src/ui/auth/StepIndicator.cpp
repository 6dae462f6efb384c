#include "ui/auth/StepIndicator.h"

#include "l10n/LocalizableXCStrings.h"
#include "ui/auth/AuthStyle.h"
#include "ui/controls/Palette.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVariantAnimation>

namespace ostrel {

// The capsules; `progress` runs from the previous step (0) to the current one (1).
class StepIndicator::Capsules : public QWidget {
public:
    Capsules(int count, QWidget *parent) : QWidget(parent), m_count(count)
    {
        m_animation = new QVariantAnimation(this);
        m_animation->setDuration(animationMilliseconds);
        m_animation->setEasingCurve(QEasingCurve::InOutQuad);
        m_animation->setStartValue(0.0);
        m_animation->setEndValue(1.0);
        connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
            m_progress = value.toReal();
            update();
        });
        setFixedSize(currentWidth + (count - 1) * (otherWidth + 4), 6);
    }
    void moveTo(int step)
    {
        m_previous = m_current;
        m_current = step;
        m_progress = isVisible() ? 0.0 : 1.0;
        if (isVisible())
            m_animation->start();
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        qreal x = 0;
        for (int step = 1; step <= m_count; ++step) {
            const qreal from = step == m_previous ? currentWidth : otherWidth;
            const qreal to = step == m_current ? currentWidth : otherWidth;
            const qreal width = from + (to - from) * m_progress;
            painter.setBrush(step == m_current ? Palette::brandBlue()
                                               : Palette::withOpacity(Palette::secondaryText(this), 0.35));
            painter.drawRoundedRect(QRectF(x, 0, width, height()), height() / 2.0, height() / 2.0);
            x += width + 4;
        }
    }

private:
    int m_count;
    int m_current = 1;
    int m_previous = 1;
    qreal m_progress = 1.0;
    QVariantAnimation *m_animation;
};

StepIndicator::StepIndicator(int count, std::function<QString()> language, QWidget *parent)
    : QWidget(parent), m_count(count), m_language(std::move(language))
{
    setObjectName(QStringLiteral("stepIndicator"));
    m_capsules = new Capsules(count, this);
    m_caption = new QLabel(this);
    m_caption->setObjectName(QStringLiteral("stepCaption"));
    m_caption->setFont(systemFont(9));
    setSecondaryText(m_caption);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(m_capsules, 0, Qt::AlignVCenter);
    row->addWidget(m_caption, 0, Qt::AlignVCenter);
    retranslate();
}

void StepIndicator::setCurrent(int step)
{
    if (step == m_current)
        return;
    m_current = step;
    m_capsules->moveTo(step);
    retranslate();
}

QString StepIndicator::captionText() const
{
    return m_caption->text();
}

void StepIndicator::retranslate()
{
    m_caption->setText(LocalizableXCStrings::shared().format(OSTREL_KEY("onboarding.step %lld %lld"),
                                                             {m_current, m_count}, m_language()));
    setAccessibleName(m_caption->text());
}

void StepIndicator::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

} // namespace ostrel
