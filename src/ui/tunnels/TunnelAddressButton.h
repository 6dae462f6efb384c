#pragma once

#include <QAbstractButton>

namespace ostrel {

// A tunnel's address in a monospaced font, truncated in the middle when it does not fit. As a
// link (http tunnels) it is drawn in the link colour and clicks; as plain text (tcp) it does not.
class TunnelAddressButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit TunnelAddressButton(QWidget *parent = nullptr);

    bool isLink() const { return m_link; }
    // Returns whether anything changed (and was repainted).
    bool set(const QString &address, bool link);
    // The text as drawn at the current width.
    QString shownText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_link = false;
};

} // namespace ostrel
