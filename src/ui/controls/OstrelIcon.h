#pragma once

#include <QWidget>

namespace ostrel {

// The application icon drawn in code, framed at `size` by `size` pixels.
class OstrelIcon : public QWidget {
    Q_OBJECT
public:
    explicit OstrelIcon(int size, QWidget *parent = nullptr);
    QSize sizeHint() const override { return QSize(m_size, m_size); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_size;
};

// The icon used as a decoration beside text: no accessible name of its own.
class OstrelMonogram : public OstrelIcon {
    Q_OBJECT
public:
    explicit OstrelMonogram(int size, QWidget *parent = nullptr);
};

} // namespace ostrel
