#pragma once

class QWidget;

namespace ostrel {

// Eases `widget` in from transparent over `milliseconds` when its window is on screen (a widget
// in a hidden window is simply there); the effect is dropped at the end, as painting through it
// costs.
void fadeIn(QWidget *widget, int milliseconds = 150);

} // namespace ostrel
