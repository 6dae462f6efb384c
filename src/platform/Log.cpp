#include "platform/Log.h"

#include <cstdio>

namespace ostrel {

namespace {
std::function<void(const QString &)> &observer()
{
    static std::function<void(const QString &)> o;
    return o;
}
} // namespace

void Log::line(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    if (observer())
        observer()(text);
}

void Log::setObserver(std::function<void(const QString &)> o)
{
    observer() = std::move(o);
}

} // namespace ostrel
