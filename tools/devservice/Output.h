#pragma once

#include <QString>

namespace ostrel::devservice {

// One line on standard output, flushed at once (the output is read by people and by tests).
void say(const QString &line);

} // namespace ostrel::devservice
