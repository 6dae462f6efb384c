#pragma once

#include <QAbstractButton>

namespace ostrel {

// A small borderless button: semibold text in a tint, padded 10 by 4, on a rounded fill of the
// tint at opacity 0.15. Its text arrives already localised.
class TintedButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit TintedButton(const QColor &tint, QWidget *parent = nullptr);
    void setTint(const QColor &tint);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_tint;
};

} // namespace ostrel
