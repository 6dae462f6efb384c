#include "frpc/FrpcLogTail.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sys/stat.h>

#include <algorithm>

namespace ostrel {

namespace {

// At most this many bytes per kept line are read when much has been appended at once; what lies
// before would be dropped by the cap anyway.
constexpr qint64 bytesPerLine = 512;

} // namespace

FrpcLogTail::FrpcLogTail(QString path, int maxLines, QObject *parent)
    : QObject(parent), m_path(std::move(path)), m_maxLines(std::max(1, maxLines))
{
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, [this] {
        readAvailable();
        watch(); // a replaced or removed file drops out of the watcher
    });
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        watch();
        readAvailable();
    });
}

void FrpcLogTail::start()
{
    watch();
    readAvailable();
}

void FrpcLogTail::watch()
{
    const QString dir = QFileInfo(m_path).absolutePath();
    if (!m_watcher.directories().contains(dir) && QFileInfo::exists(dir))
        m_watcher.addPath(dir);
    if (!m_watcher.files().contains(m_path) && QFileInfo::exists(m_path))
        m_watcher.addPath(m_path);
}

QString FrpcLogTail::stripAnsi(const QString &text)
{
    // CSI sequences (colours, cursor moves), OSC sequences (titles), other two-byte escapes,
    // and carriage returns.
    static const QRegularExpression escapes(QStringLiteral(
        "\\x1B\\[[0-?]*[ -/]*[@-~]|\\x1B\\][^\\x07\\x1B]*(?:\\x07|\\x1B\\\\)?|\\x1B[@-Z\\\\-_]?|\\r"));
    QString plain = text;
    plain.remove(escapes);
    return plain;
}

void FrpcLogTail::readAvailable()
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_offset = 0; // not there (yet, or any more): a new file is read from its start
        m_pending.clear();
        return;
    }
    struct stat info = {};
    const quint64 inode = ::fstat(file.handle(), &info) == 0 ? quint64(info.st_ino) : 0;
    const qint64 size = file.size();
    if (inode != m_inode || size < m_offset) {
        // Replaced (rotated) or truncated (a new run): its content is new from the first byte.
        m_inode = inode;
        m_offset = 0;
        m_pending.clear();
    }
    if (size == m_offset)
        return;
    const qint64 budget = qint64(m_maxLines) * bytesPerLine;
    bool skipPartial = false;
    if (size - m_offset > budget) {
        m_offset = size - budget;
        m_pending.clear();
        skipPartial = true; // the read starts inside a line
        ++m_dropped;
    }
    if (!file.seek(m_offset))
        return;
    const QByteArray bytes = file.read(size - m_offset);
    m_offset += bytes.size();

    QStringList fresh;
    qsizetype from = 0;
    if (skipPartial) {
        const qsizetype newline = bytes.indexOf('\n');
        from = newline < 0 ? bytes.size() : newline + 1;
    }
    while (from < bytes.size()) {
        const qsizetype newline = bytes.indexOf('\n', from);
        if (newline < 0) {
            m_pending += bytes.mid(from);
            break;
        }
        append(fresh, m_pending + bytes.mid(from, newline - from));
        m_pending.clear();
        from = newline + 1;
    }
    while (m_pending.size() >= maxLineBytes) {
        append(fresh, m_pending.left(maxLineBytes));
        m_pending.remove(0, maxLineBytes);
    }
    if (fresh.isEmpty())
        return;
    m_lines += fresh;
    if (m_lines.size() > m_maxLines) {
        const qsizetype excess = m_lines.size() - m_maxLines;
        m_lines.remove(0, excess);
        m_dropped += excess;
    }
    if (fresh.size() > m_maxLines)
        fresh = fresh.mid(fresh.size() - m_maxLines);
    emit linesAppended(fresh);
}

void FrpcLogTail::append(QStringList &fresh, const QByteArray &line)
{
    for (qsizetype at = 0; at < line.size() || at == 0; at += maxLineBytes) {
        fresh << stripAnsi(QString::fromUtf8(line.mid(at, maxLineBytes)));
        if (line.size() <= maxLineBytes)
            break;
    }
}

} // namespace ostrel
