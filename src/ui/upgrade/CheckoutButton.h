#pragma once

#include <QAbstractButton>

namespace ostrel {

// The upgrade sheet's call to action: an icon and its text (set by the sheet, already localised)
// in white on a blue gradient with a soft shadow, scaled down slightly while pressed.
class CheckoutButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit CheckoutButton(QWidget *parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QRectF faceRect() const;
};

} // namespace ostrel
