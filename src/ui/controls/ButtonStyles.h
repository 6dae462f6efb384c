#pragma once

#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QSize>
#include <QString>

#include <functional>

class QAbstractButton;
class QPainter;
class QWidget;

namespace ostrel {

// Content drawn inside a painted button. `flag` is the owner's state that changes the content
// (armed for ConfirmAction, unused by PrimaryButton). Texts are resolved when drawn, so the
// content follows a language change without being rebuilt.
struct LabelContent {
    std::function<QSize(const QWidget &owner, bool flag)> size;
    std::function<void(QPainter &painter, const QRectF &rect, const QWidget &owner, bool flag)> paint;
    // Plain text of the content, for the accessible name; may be empty.
    std::function<QString(bool flag)> text;
};

// How a painted button reacts to being pressed.
enum class ButtonStyle {
    staticStyle, // label unchanged, no pressed highlight
    pressable,   // label scaled to PressableStyle::pressedScale about its centre while pressed
};

namespace PressableStyle {
inline constexpr qreal pressedScale = 0.985;
// Applies the pressed scale about the centre of `rect` to `painter` when `pressed`.
void apply(QPainter &painter, const QRectF &rect, bool pressed);
} // namespace PressableStyle

// Applies `style` for the pressed flag `pressed`.
void applyButtonStyle(QPainter &painter, const QRectF &rect, ButtonStyle style, bool pressed);

// Mirrors a button's pressed flag into the owner's state: `onPressedChanged` runs each time the
// platform's pressed flag changes (never when the button is first shown).
class PressableButtonStyle : public QObject {
    Q_OBJECT
public:
    PressableButtonStyle(QAbstractButton *button, std::function<void(bool pressed)> onPressedChanged);
    bool isPressed() const { return m_pressed; }

private:
    void set(bool pressed);
    std::function<void(bool)> m_onPressedChanged;
    bool m_pressed = false;
};

// A keyboard focus ring around `rect` with corner `radius`.
void paintFocusRing(QPainter &painter, const QRectF &rect, qreal radius);

} // namespace ostrel
