#include "platform/Log.h"

namespace ostrel {

namespace {
std::function<void(const QString &)> &observer()
{
    static std::function<void(const QString &)> o;
    return o;
}

std::FILE *&stream()
{
    static std::FILE *s = stdout;
    return s;
}
} // namespace

void Log::line(const QString &text)
{
    if (std::FILE *out = stream()) {
        const QByteArray bytes = text.toUtf8();
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
        std::fputc('\n', out);
        std::fflush(out);
    }
    if (observer())
        observer()(text);
}

void Log::setStream(std::FILE *s)
{
    stream() = s;
}

void Log::setObserver(std::function<void(const QString &)> o)
{
    observer() = std::move(o);
}

} // namespace ostrel
