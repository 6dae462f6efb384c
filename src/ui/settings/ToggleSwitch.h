#pragma once

#include <QAbstractButton>

namespace ostrel {

// An on/off switch: a pill whose knob sits right and fills blue when on. Space toggles it from
// the keyboard. Its label is hidden; the row beside it names it (accessible name).
class ToggleSwitch : public QAbstractButton {
    Q_OBJECT
public:
    explicit ToggleSwitch(QWidget *parent = nullptr);
    QSize sizeHint() const override { return QSize(36, 20); }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace ostrel
