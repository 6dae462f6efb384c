#include "ui/controls/PrimaryButton.h"

#include "l10n/LocalizableXCStrings.h"
#include "ui/controls/Palette.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>

#include <cmath>

namespace ostrel {

namespace {
constexpr qreal cornerRadius = 11;
constexpr int verticalPadding = 11;
constexpr int horizontalPadding = 16;
constexpr int spacing = 8;
constexpr int spinnerSide = 14;
constexpr int shadowRadius = 10;

QFont titleFont()
{
    return systemFont(14, QFont::DemiBold);
}

// A three-pass box blur of an alpha mask: close to a Gaussian of the given radius.
void blurAlpha(QImage &mask, int radius)
{
    const int w = mask.width();
    const int h = mask.height();
    const int box = std::max(1, radius / 2);
    std::vector<int> line(size_t(std::max(w, h)));
    auto pass = [&](bool horizontal) {
        const int outer = horizontal ? h : w;
        const int inner = horizontal ? w : h;
        for (int o = 0; o < outer; ++o) {
            auto at = [&](int i) -> uchar & {
                return horizontal ? mask.scanLine(o)[i] : mask.scanLine(i)[o];
            };
            for (int i = 0; i < inner; ++i)
                line[size_t(i)] = at(i);
            int sum = 0;
            for (int i = -box; i <= box; ++i)
                sum += line[size_t(std::clamp(i, 0, inner - 1))];
            for (int i = 0; i < inner; ++i) {
                at(i) = uchar(sum / (2 * box + 1));
                sum += line[size_t(std::min(i + box + 1, inner - 1))];
                sum -= line[size_t(std::max(i - box, 0))];
            }
        }
    };
    for (int n = 0; n < 3; ++n) {
        pass(true);
        pass(false);
    }
}
} // namespace

PrimaryButton::PrimaryButton(QString titleKey, std::function<void()> action, QWidget *parent)
    : QAbstractButton(parent), m_titleKey(std::move(titleKey)), m_action(std::move(action))
{
    init();
}

PrimaryButton::PrimaryButton(LabelContent label, std::function<void()> action, QWidget *parent)
    : QAbstractButton(parent), m_label(std::move(label)), m_action(std::move(action))
{
    init();
}

void PrimaryButton::init()
{
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    new PressableButtonStyle(this, [this](bool pressed) {
        m_pressed = pressed;
        update();
    });
    connect(this, &QAbstractButton::clicked, this, &PrimaryButton::handleClick);
    m_spinnerTimer = new QTimer(this);
    m_spinnerTimer->setInterval(33);
    connect(m_spinnerTimer, &QTimer::timeout, this, [this] {
        m_spinnerAngle = (m_spinnerAngle + 12) % 360;
        update();
    });
    retranslate();
}

QMargins PrimaryButton::shadowMargins()
{
    return QMargins(6, 2, 6, 16);
}

void PrimaryButton::setTitleKey(const QString &key)
{
    m_titleKey = key;
    retranslate();
}

void PrimaryButton::setLoading(bool loading)
{
    if (loading == m_loading)
        return;
    m_loading = loading;
    if (loading && isDown())
        setDown(false);
    updateSpinner();
    retranslate();
}

void PrimaryButton::updateSpinner()
{
    if (m_loading && isVisible())
        m_spinnerTimer->start();
    else
        m_spinnerTimer->stop();
}

QString PrimaryButton::contentText() const
{
    if (!m_titleKey.isEmpty())
        return localized(m_titleKey);
    return m_label.text ? m_label.text(false) : QString();
}

QSize PrimaryButton::contentSize() const
{
    QSize size;
    if (!m_titleKey.isEmpty()) {
        const QFontMetrics metrics(titleFont());
        size = QSize(metrics.horizontalAdvance(contentText()), metrics.height());
    } else if (m_label.size) {
        size = m_label.size(*this, false);
    }
    if (m_loading)
        size = QSize(size.width() + spinnerSide + (size.width() > 0 ? spacing : 0),
                     std::max(size.height(), spinnerSide));
    return size;
}

QSize PrimaryButton::sizeHint() const
{
    const QSize content = contentSize();
    const QMargins m = shadowMargins();
    return QSize(content.width() + 2 * horizontalPadding + m.left() + m.right(),
                 content.height() + 2 * verticalPadding + m.top() + m.bottom());
}

QSize PrimaryButton::minimumSizeHint() const
{
    return sizeHint();
}

QRectF PrimaryButton::faceRect() const
{
    return QRectF(rect().marginsRemoved(shadowMargins()));
}

void PrimaryButton::handleClick()
{
    if (m_loading)
        return;
    QPointer<PrimaryButton> self(this);
    emit triggered();
    if (self && m_action)
        m_action();
}

bool PrimaryButton::event(QEvent *event)
{
    // While loading the button looks enabled but takes no clicks or key presses.
    if (m_loading) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            event->accept();
            return true;
        default:
            break;
        }
    }
    return QAbstractButton::event(event);
}

void PrimaryButton::retranslate()
{
    setText(contentText());
    setAccessibleName(contentText());
    updateGeometry();
    update();
}

void PrimaryButton::paintShadow(QPainter &painter, const QRectF &face)
{
    const qreal opacity = m_pressed ? 0.18 : 0.30;
    const qreal dy = m_pressed ? 4 : 8;
    const QString key = QStringLiteral("%1x%2@%3")
                            .arg(face.width())
                            .arg(face.height())
                            .arg(painter.device()->devicePixelRatioF());
    if (key != m_shadowKey) {
        const qreal ratio = painter.device()->devicePixelRatioF();
        const int pad = shadowRadius * 2;
        const QSize device(int(std::ceil((face.width() + 2 * pad) * ratio)),
                           int(std::ceil((face.height() + 2 * pad) * ratio)));
        QImage mask(device, QImage::Format_Alpha8);
        mask.fill(Qt::transparent);
        {
            QPainter p(&mask);
            p.setRenderHint(QPainter::Antialiasing);
            p.scale(ratio, ratio);
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::black);
            p.drawRoundedRect(QRectF(pad, pad, face.width(), face.height()), cornerRadius, cornerRadius);
        }
        blurAlpha(mask, int(shadowRadius * ratio));
        QImage image(device, QImage::Format_ARGB32_Premultiplied);
        image.fill(Palette::brandBlue());
        {
            QPainter p(&image);
            p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
            p.drawImage(0, 0, mask);
        }
        image.setDevicePixelRatio(ratio);
        m_shadowCache = image;
        m_shadowKey = key;
    }
    painter.save();
    painter.setOpacity(painter.opacity() * opacity);
    painter.drawImage(QPointF(face.left() - shadowRadius * 2, face.top() - shadowRadius * 2 + dy),
                      m_shadowCache);
    painter.restore();
}

void PrimaryButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool enabledLook = isEnabled();
    const QRectF face = faceRect();
    if (!enabledLook)
        painter.setOpacity(0.5);
    PressableStyle::apply(painter, face, m_pressed);

    if (enabledLook)
        paintShadow(painter, face);

    QPainterPath shape;
    shape.addRoundedRect(face, cornerRadius, cornerRadius);

    QLinearGradient base(face.topLeft(), face.bottomLeft());
    if (enabledLook) {
        base.setColorAt(0, Palette::brandBlueLight());
        base.setColorAt(1, Palette::brandBlueDeep());
    } else {
        base.setColorAt(0, Palette::withOpacity(Palette::gray(), 0.6));
        base.setColorAt(1, Palette::withOpacity(Palette::gray(), 0.8));
    }
    painter.fillPath(shape, base);

    if (enabledLook) {
        // A soft highlight over the upper half, blended so it brightens rather than washes out.
        painter.save();
        painter.setClipPath(shape);
        QLinearGradient highlight(face.topLeft(), QPointF(face.left(), face.center().y()));
        highlight.setColorAt(0, Palette::withOpacity(Palette::white(), m_pressed ? 0.25 : 0.18));
        highlight.setColorAt(1, Palette::clear());
        painter.setCompositionMode(QPainter::CompositionMode_Overlay);
        painter.fillRect(QRectF(face.left(), face.top(), face.width(), face.height() / 2), highlight);
        painter.restore();
    }

    // The border lies inside the edge.
    QLinearGradient border(face.topLeft(), face.bottomLeft());
    border.setColorAt(0, Palette::withOpacity(Palette::white(), 0.35));
    border.setColorAt(1, Palette::withOpacity(Palette::white(), 0.05));
    painter.setPen(QPen(QBrush(border), 0.6));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(face.adjusted(0.3, 0.3, -0.3, -0.3), cornerRadius - 0.3, cornerRadius - 0.3);

    // Content: spinner, then the title or the custom label, centred as one row.
    const QSize content = contentSize();
    qreal x = face.center().x() - content.width() / 2.0;
    const qreal cy = face.center().y();
    if (m_loading) {
        const QRectF spin(x + 1.5, cy - spinnerSide / 2.0 + 1.5, spinnerSide - 3, spinnerSide - 3);
        painter.setPen(QPen(Palette::withOpacity(Palette::white(), 0.3), 2));
        painter.drawEllipse(spin);
        painter.setPen(QPen(Palette::white(), 2, Qt::SolidLine, Qt::RoundCap));
        painter.drawArc(spin, -m_spinnerAngle * 16, 100 * 16);
        x += spinnerSide + spacing;
    }
    const QRectF rest(x, face.top(), face.right() - x, face.height());
    if (!m_titleKey.isEmpty()) {
        painter.setFont(titleFont());
        painter.setPen(Palette::white());
        painter.drawText(rest, Qt::AlignLeft | Qt::AlignVCenter, contentText());
    } else if (m_label.paint && m_label.size) {
        const QSize label = m_label.size(*this, false);
        m_label.paint(painter, QRectF(x, cy - label.height() / 2.0, label.width(), label.height()), *this,
                      false);
    }

    if (m_keyboardFocus && hasFocus())
        paintFocusRing(painter, face.adjusted(-2, -2, 2, 2), cornerRadius + 2);
}

void PrimaryButton::changeEvent(QEvent *event)
{
    QAbstractButton::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    else if (event->type() == QEvent::EnabledChange)
        update();
}

void PrimaryButton::focusInEvent(QFocusEvent *event)
{
    QAbstractButton::focusInEvent(event);
    m_keyboardFocus = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
}

void PrimaryButton::focusOutEvent(QFocusEvent *event)
{
    QAbstractButton::focusOutEvent(event);
    m_keyboardFocus = false;
}

void PrimaryButton::showEvent(QShowEvent *event)
{
    QAbstractButton::showEvent(event);
    updateSpinner();
}

void PrimaryButton::hideEvent(QHideEvent *event)
{
    QAbstractButton::hideEvent(event);
    updateSpinner();
}

} // namespace ostrel
