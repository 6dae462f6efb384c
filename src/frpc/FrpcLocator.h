#pragma once

#include <QString>
#include <QStringList>

namespace ostrel {

// Finds the frpc executable to run: the first executable file named `binaryName` in `folders`,
// in order. A build that ships frpc has it among the resources; otherwise it is the
// user's own, on PATH. Looked up at every start, so an frpc installed while Ostrel runs is found.
class FrpcLocator {
public:
    explicit FrpcLocator(QStringList folders, QString binaryName = QStringLiteral("frpc"));

    // The resource folder, then every absolute folder of `searchPath` (PATH syntax). Empty and
    // relative PATH entries are skipped: they name the working directory, which is not the user's
    // choice of program.
    static FrpcLocator standard(const QString &searchPath = qEnvironmentVariable("PATH"));

    // The executable's absolute path; else a file of that name that cannot be run; empty when no
    // folder holds one.
    QString locate() const;
    const QStringList &folders() const { return m_folders; }

private:
    QStringList m_folders;
    QString m_binaryName;
};

} // namespace ostrel
