#pragma once

#include <QByteArray>
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QStringList>

namespace ostrel {

// Follows a log file as it grows: the lines appended since the last read, ANSI colour codes
// stripped, of which only the newest `maxLines` are kept. A file that does not exist yet is
// picked up when it appears; one that is truncated or replaced is read again from its start
// (the lines already read stay, they are history).
class FrpcLogTail : public QObject {
    Q_OBJECT
public:
    static constexpr int defaultMaxLines = 2000;
    // Longer lines are cut into pieces of this many bytes, so a process that never writes a
    // line feed cannot grow a pending line without bound either.
    static constexpr qsizetype maxLineBytes = 4096;

    explicit FrpcLogTail(QString path, int maxLines = defaultMaxLines, QObject *parent = nullptr);

    // Reads what the file holds now and watches it from then on.
    void start();
    // Reads the bytes appended since the last read (the watcher calls it; so may the owner,
    // e.g. once a process has ended and its last lines must be seen now).
    void readAvailable();

    QString path() const { return m_path; }
    int maxLines() const { return m_maxLines; }
    const QStringList &lines() const { return m_lines; }
    // Lines dropped to keep within the cap (or skipped unread at the start of a large file).
    qint64 droppedLines() const { return m_dropped; }

    static QString stripAnsi(const QString &text);

signals:
    void linesAppended(const QStringList &lines);

private:
    void watch();
    void append(QStringList &fresh, const QByteArray &line);

    const QString m_path;
    const int m_maxLines;
    QFileSystemWatcher m_watcher;
    QStringList m_lines;
    QByteArray m_pending; // the start of a line whose line feed has not been written yet
    qint64 m_offset = 0;
    quint64 m_inode = 0;
    qint64 m_dropped = 0;
};

} // namespace ostrel
