#pragma once

#include <QString>

#include <cstdio>
#include <functional>

namespace ostrel {

// One log line on standard output, flushed at once. Every line starts with its
// component in square brackets, e.g. "[AppState] init: ...".
class Log {
public:
    static void line(const QString &text);

    // Tests observe the lines written (in addition to standard output).
    // Pass an empty function to remove the observer.
    static void setObserver(std::function<void(const QString &)> observer);

    // Where the lines go (standard output unless changed); null drops them. The command line
    // keeps its standard output for its own answers.
    static void setStream(std::FILE *stream);
};

} // namespace ostrel
