// glib's headers use "signals" as an identifier, which Qt defines as a macro.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

#include "platform/LibsecretStore.h"

namespace ostrel {

namespace {

// Items are keyed by service and account alone, whichever program wrote them.
const SecretSchema *schema()
{
    static const SecretSchema s = {"app.ostrel.Password",
                                   SECRET_SCHEMA_DONT_MATCH_NAME,
                                   {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                    {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                    {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                   0,
                                   nullptr,
                                   nullptr,
                                   nullptr,
                                   nullptr,
                                   nullptr,
                                   nullptr,
                                   nullptr};
    return &s;
}

void clear(GError *&error)
{
    if (error)
        g_error_free(error);
    error = nullptr;
}

bool ok(GError *&error)
{
    const bool none = error == nullptr;
    clear(error);
    return none;
}

// `reached` (when given) tells whether the keyring answered, with or without the item.
std::optional<QByteArray> lookup(const QByteArray &service, const QByteArray &account,
                                 bool *reached = nullptr)
{
    GError *error = nullptr;
    SecretValue *value = secret_password_lookup_binary_sync(
        schema(), nullptr, &error, "service", service.constData(), "account", account.constData(), nullptr);
    if (reached)
        *reached = error == nullptr;
    clear(error);
    if (!value)
        return std::nullopt;
    gsize length = 0;
    const gchar *data = secret_value_get(value, &length);
    QByteArray secret(data, qsizetype(length));
    secret_value_unref(value);
    return secret;
}

bool store(const QByteArray &service, const QByteArray &account, const QByteArray &secret)
{
    SecretValue *value = secret_value_new(secret.constData(), secret.size(), "text/plain");
    GError *error = nullptr;
    secret_password_store_binary_sync(schema(), SECRET_COLLECTION_DEFAULT, "Ostrel session token", value,
                                      nullptr, &error, "service", service.constData(), "account",
                                      account.constData(), nullptr);
    secret_value_unref(value);
    return ok(error);
}

// Clearing nothing is no error: it answers false without setting one.
bool erase(const QByteArray &service, const QByteArray &account)
{
    GError *error = nullptr;
    secret_password_clear_sync(schema(), nullptr, &error, "service", service.constData(), "account",
                               account.constData(), nullptr);
    return ok(error);
}

} // namespace

LibsecretStore::LibsecretStore() : m_worker(new QObject)
{
    m_thread.setObjectName(QStringLiteral("ostrel-keyring"));
    m_worker->moveToThread(&m_thread);
    m_thread.start();
}

LibsecretStore::~LibsecretStore()
{
    QMetaObject::invokeMethod(
        m_worker, [] {}, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete m_worker;
}

void LibsecretStore::prefetch(const QString &service, const QString &account)
{
    QMetaObject::invokeMethod(
        m_worker,
        [this, s = service.toUtf8(), a = account.toUtf8()] {
            bool reached = false;
            std::optional<QByteArray> secret = lookup(s, a, &reached);
            m_prefetched = Prefetched{s, a, std::move(secret), reached};
        },
        Qt::QueuedConnection);
}

bool LibsecretStore::serviceAvailable()
{
    // Opening a session is the first thing every look-up does; without a bus or a service
    // answering on it, it fails.
    GError *error = nullptr;
    SecretService *service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &error);
    if (service)
        g_object_unref(service);
    return ok(error) && service;
}

bool LibsecretStore::reachable()
{
    bool reached = false;
    QMetaObject::invokeMethod(
        m_worker, [&] { reached = m_prefetched ? m_prefetched->reachable : serviceAvailable(); },
        Qt::BlockingQueuedConnection);
    return reached;
}

std::optional<QByteArray> LibsecretStore::find(const QString &service, const QString &account)
{
    std::optional<QByteArray> secret;
    QMetaObject::invokeMethod(
        m_worker,
        [&] {
            const QByteArray s = service.toUtf8();
            const QByteArray a = account.toUtf8();
            if (m_prefetched && m_prefetched->service == s && m_prefetched->account == a)
                secret = std::move(m_prefetched->secret);
            else
                secret = lookup(s, a);
            m_prefetched.reset();
        },
        Qt::BlockingQueuedConnection);
    return secret;
}

void LibsecretStore::add(const QString &service, const QString &account, const QByteArray &secret,
                         QObject *context, Done done)
{
    run(context, std::move(done),
        [s = service.toUtf8(), a = account.toUtf8(), secret] { return store(s, a, secret); });
}

void LibsecretStore::remove(const QString &service, const QString &account, QObject *context, Done done)
{
    run(context, std::move(done), [s = service.toUtf8(), a = account.toUtf8()] { return erase(s, a); });
}

void LibsecretStore::run(QObject *context, Done done, std::function<bool()> call)
{
    const quint64 id = ++m_lastId;
    m_pending.insert(id, Pending{context != nullptr, context, std::move(done)});
    QMetaObject::invokeMethod(
        m_worker,
        [this, id, call = std::move(call)] {
            // A change makes any value read ahead stale.
            m_prefetched.reset();
            const bool ok = call();
            QMetaObject::invokeMethod(
                &m_home, [this, id, ok] { finish(id, ok); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void LibsecretStore::finish(quint64 id, bool ok)
{
    const Pending pending = m_pending.take(id);
    if (pending.done && (!pending.hasContext || pending.context))
        pending.done(ok);
}

} // namespace ostrel
