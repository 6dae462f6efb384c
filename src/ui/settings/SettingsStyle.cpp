#include "ui/settings/SettingsStyle.h"

#include "ui/controls/Palette.h"
#include "ui/controls/SymbolIcon.h"

#include <QLabel>
#include <QLocale>
#include <QPainter>

namespace ostrel::settingsstyle {

namespace {
class Divider : public QWidget {
public:
    Divider(QWidget *parent, qreal opacity) : QWidget(parent), m_opacity(opacity) { setFixedHeight(1); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Palette::withOpacity(Palette::primaryText(this), 0.25 * m_opacity));
    }

private:
    qreal m_opacity;
};

class RoundedPanel : public QWidget {
public:
    RoundedPanel(QWidget *parent, std::function<QColor(const QWidget &)> fill, qreal radius,
                 std::optional<QColor> border)
        : QWidget(parent), m_fill(std::move(fill)), m_radius(radius), m_border(std::move(border))
    {
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(m_border ? QPen(*m_border, 0.8) : QPen(Qt::NoPen));
        painter.setBrush(m_fill(*this));
        const qreal inset = m_border ? 0.5 : 0;
        painter.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), m_radius, m_radius);
    }

private:
    std::function<QColor(const QWidget &)> m_fill;
    qreal m_radius;
    std::optional<QColor> m_border;
};
} // namespace

QWidget *roundedPanel(QWidget *parent, std::function<QColor(const QWidget &)> fill, qreal radius,
                      std::optional<QColor> border)
{
    return new RoundedPanel(parent, std::move(fill), radius, std::move(border));
}

QLabel *label(QWidget *parent, int pixelSize, QFont::Weight weight, const QColor &color, bool wrap)
{
    auto *result = new QLabel(parent);
    result->setFont(systemFont(pixelSize, weight));
    result->setTextFormat(Qt::PlainText);
    result->setWordWrap(wrap);
    setColor(result, color);
    return result;
}

void setColor(QLabel *label, const QColor &color)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

QLabel *symbol(QWidget *parent, const QString &name, int pixelSize, const QColor &color, int boxWidth)
{
    auto *icon = new QLabel(parent);
    icon->setPixmap(symbolPixmap(name, pixelSize, color, parent ? parent->devicePixelRatioF() : 1.0));
    icon->setAlignment(Qt::AlignCenter);
    if (boxWidth > 0)
        icon->setFixedWidth(boxWidth);
    icon->setAccessibleName(QString());
    return icon;
}

QWidget *divider(QWidget *parent, qreal opacity)
{
    return new Divider(parent, opacity);
}

QString longDate(const QDateTime &date, const QString &language)
{
    const QDate day = date.toLocalTime().date();
    if (language == QLatin1String("es"))
        return QLocale(QLocale::Spanish, QLocale::Spain)
            .toString(day, QStringLiteral("d 'de' MMMM 'de' yyyy"));
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(day, QStringLiteral("MMMM d, yyyy"));
}

} // namespace ostrel::settingsstyle
