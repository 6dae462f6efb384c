#pragma once

#include <QWidget>

namespace ostrel {

// A one-pixel hairline in the separator colour, between the parts of a panel.
class Divider : public QWidget {
    Q_OBJECT
public:
    explicit Divider(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace ostrel
