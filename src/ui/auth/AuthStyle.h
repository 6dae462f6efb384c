#pragma once

class QWidget;

namespace ostrel {

// Small looks the sign-in screens share.

// Text in the secondary colour of the widget's palette.
void setSecondaryText(QWidget *widget);

// Eases `widget` in from transparent over `milliseconds`; the effect goes once it is there.
void fadeIn(QWidget *widget, int milliseconds);

} // namespace ostrel
