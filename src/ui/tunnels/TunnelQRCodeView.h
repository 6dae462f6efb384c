#pragma once

#include "api/Models.h"

#include <QImage>
#include <QWidget>

class QLabel;

namespace ostrel {

class AppState;

// The QR code of a tunnel's public address (error correction Q), every module a `scale` by
// `scale` block of black or white pixels, no border. A null image when the text cannot be
// encoded.
QImage makeQRCodeImage(const QString &text, int scale);

// A tunnel's address as a QR code for a phone: the code with sharp modules on a white rounded
// card (readable in dark mode too), the address under it and a hint under that.
class TunnelQRCodeView : public QWidget {
    Q_OBJECT
public:
    static constexpr int viewWidth = 248;
    static constexpr int codeSide = 190;
    static constexpr int cardPadding = 10;
    static constexpr int moduleScale = 8;

    TunnelQRCodeView(AppState &state, Tunnel tunnel, QWidget *parent = nullptr);

    const QImage &image() const { return m_image; }
    QString urlText() const;
    QString hintText() const;

protected:
    void changeEvent(QEvent *event) override;

private:
    class Code;
    void retranslate();

    AppState &m_state;
    Tunnel m_tunnel;
    QImage m_image;
    QLabel *m_url;
    QLabel *m_hint;
};

} // namespace ostrel
