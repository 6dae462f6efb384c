#include "ui/tunnels/TunnelQRCodeView.h"

#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"
#include "ui/controls/Palette.h"

#include <qrcodegen/qrcodegen.hpp>

#include <QEvent>
#include <QFontDatabase>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <exception>

namespace ostrel {

QImage makeQRCodeImage(const QString &text, int scale)
{
    if (scale < 1)
        return {};
    const QByteArray utf8 = text.toUtf8();
    try {
        const std::vector<std::uint8_t> bytes(utf8.begin(), utf8.end());
        const qrcodegen::QrCode code =
            qrcodegen::QrCode::encodeBinary(bytes, qrcodegen::QrCode::Ecc::QUARTILE);
        const int size = code.getSize();
        QImage image(size * scale, size * scale, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                if (code.getModule(x, y))
                    painter.fillRect(x * scale, y * scale, scale, scale, Qt::black);
        return image;
    } catch (const std::exception &) {
        // Too long for any QR version.
        return {};
    }
}

// The code on its white card, scaled without smoothing so the modules stay sharp.
class TunnelQRCodeView::Code : public QWidget {
public:
    Code(const QImage &image, QWidget *parent) : QWidget(parent), m_image(image)
    {
        const int side = codeSide + 2 * cardPadding;
        setFixedSize(side, side);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        painter.drawRoundedRect(QRectF(rect()), 10, 10);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(QRect(cardPadding, cardPadding, codeSide, codeSide), m_image);
    }

private:
    QImage m_image;
};

TunnelQRCodeView::TunnelQRCodeView(AppState &state, Tunnel tunnel, QWidget *parent)
    : QWidget(parent), m_state(state), m_tunnel(std::move(tunnel))
{
    setObjectName(QStringLiteral("tunnelQRCode"));
    setFixedWidth(viewWidth);
    m_image = makeQRCodeImage(m_tunnel.publicURL(m_state.publicHost()), moduleScale);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(8);
    if (!m_image.isNull()) {
        auto *code = new Code(m_image, this);
        code->setObjectName(QStringLiteral("qrCode"));
        column->addWidget(code, 0, Qt::AlignHCenter);
    }
    m_url = new QLabel(m_tunnel.publicURL(m_state.publicHost()), this);
    m_url->setObjectName(QStringLiteral("qrURL"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(11);
    m_url->setFont(mono);
    m_url->setAlignment(Qt::AlignHCenter);
    m_url->setWordWrap(true);
    m_url->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(m_url);
    m_hint = new QLabel(this);
    m_hint->setObjectName(QStringLiteral("qrHint"));
    m_hint->setFont(systemFont(11));
    m_hint->setAlignment(Qt::AlignHCenter);
    m_hint->setWordWrap(true);
    QPalette secondary = m_hint->palette();
    secondary.setColor(QPalette::WindowText, Palette::secondaryText(this));
    m_hint->setPalette(secondary);
    column->addWidget(m_hint);
    retranslate();
}

QString TunnelQRCodeView::urlText() const
{
    return m_url->text();
}

QString TunnelQRCodeView::hintText() const
{
    return m_hint->text();
}

void TunnelQRCodeView::retranslate()
{
    const bool tcp = m_tunnel.protocolValue == QLatin1String("tcp");
    m_hint->setText(
        localized(tcp ? OSTREL_KEY("tunnels.share.tcpHint") : OSTREL_KEY("tunnels.share.scanHint"),
                  m_state.language()));
    setAccessibleName(localized(OSTREL_KEY("tunnels.share.qr"), m_state.language()));
    setAccessibleDescription(m_url->text());
}

void TunnelQRCodeView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

} // namespace ostrel
