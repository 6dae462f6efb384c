#pragma once

#include <QColor>
#include <QWidget>

namespace ostrel {

// The bare letterform of the logo in one colour on a transparent square of `size` pixels.
class OstrelLetter : public QWidget {
    Q_OBJECT
public:
    OstrelLetter(int size, const QColor &color, QWidget *parent = nullptr);
    void setColor(const QColor &color);
    QSize sizeHint() const override { return QSize(m_size, m_size); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_size;
    QColor m_color;
};

} // namespace ostrel
