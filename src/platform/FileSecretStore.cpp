#include "platform/FileSecretStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QPointer>
#include <QSaveFile>
#include <QStandardPaths>

namespace ostrel {

namespace {
constexpr QFileDevice::Permissions ownerOnlyFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions ownerOnlyFolder = ownerOnlyFile | QFileDevice::ExeOwner;
} // namespace

FileSecretStore::FileSecretStore(QString path) : m_path(std::move(path))
{
}

QString FileSecretStore::defaultPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("ostrel/private/secrets.json"));
}

// {"<service>": {"<account>": "<base64 secret>"}}; anything unreadable holds nothing.
QJsonObject FileSecretStore::read() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

bool FileSecretStore::write(const QJsonObject &items) const
{
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QDir().mkpath(folder) || !QFile::setPermissions(folder, ownerOnlyFolder))
        return false;
    QSaveFile file(m_path);
    // The temporary file is created readable by others; it is closed to them before the token
    // goes in.
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(ownerOnlyFile))
        return false;
    file.write(QJsonDocument(items).toJson(QJsonDocument::Compact));
    return file.commit();
}

std::optional<QByteArray> FileSecretStore::find(const QString &service, const QString &account)
{
    const QJsonValue value = read().value(service).toObject().value(account);
    if (!value.isString())
        return std::nullopt;
    return QByteArray::fromBase64(value.toString().toLatin1());
}

void FileSecretStore::add(const QString &service, const QString &account, const QByteArray &secret,
                          QObject *context, Done done)
{
    QJsonObject items = read();
    QJsonObject accounts = items.value(service).toObject();
    accounts.insert(account, QString::fromLatin1(secret.toBase64()));
    items.insert(service, accounts);
    answer(context, std::move(done), write(items));
}

void FileSecretStore::remove(const QString &service, const QString &account, QObject *context, Done done)
{
    QJsonObject items = read();
    QJsonObject accounts = items.value(service).toObject();
    if (!accounts.contains(account)) {
        answer(context, std::move(done), true);
        return;
    }
    accounts.remove(account);
    if (accounts.isEmpty())
        items.remove(service);
    else
        items.insert(service, accounts);
    answer(context, std::move(done), write(items));
}

void FileSecretStore::answer(QObject *context, Done done, bool ok)
{
    if (!done)
        return;
    const bool hasContext = context != nullptr;
    QMetaObject::invokeMethod(
        &m_home,
        [hasContext, context = QPointer<QObject>(context), done = std::move(done), ok] {
            if (!hasContext || context)
                done(ok);
        },
        Qt::QueuedConnection);
}

} // namespace ostrel
