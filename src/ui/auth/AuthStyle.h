#pragma once

#include "ui/controls/FadeIn.h"

class QWidget;

namespace ostrel {

// Small looks the sign-in screens share.

// Text in the secondary colour of the widget's palette.
void setSecondaryText(QWidget *widget);

} // namespace ostrel
