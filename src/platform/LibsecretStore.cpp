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

} // namespace

std::optional<QByteArray> LibsecretStore::find(const QString &service, const QString &account)
{
    const QByteArray s = service.toUtf8();
    const QByteArray a = account.toUtf8();
    GError *error = nullptr;
    SecretValue *value = secret_password_lookup_binary_sync(schema(), nullptr, &error, "service",
                                                            s.constData(), "account", a.constData(), nullptr);
    clear(error);
    if (!value)
        return std::nullopt;
    gsize length = 0;
    const gchar *data = secret_value_get(value, &length);
    QByteArray secret(data, qsizetype(length));
    secret_value_unref(value);
    return secret;
}

void LibsecretStore::add(const QString &service, const QString &account, const QByteArray &secret)
{
    const QByteArray s = service.toUtf8();
    const QByteArray a = account.toUtf8();
    SecretValue *value = secret_value_new(secret.constData(), secret.size(), "text/plain");
    GError *error = nullptr;
    secret_password_store_binary_sync(schema(), SECRET_COLLECTION_DEFAULT, "Ostrel session token", value,
                                      nullptr, &error, "service", s.constData(), "account", a.constData(),
                                      nullptr);
    clear(error);
    secret_value_unref(value);
}

void LibsecretStore::remove(const QString &service, const QString &account)
{
    const QByteArray s = service.toUtf8();
    const QByteArray a = account.toUtf8();
    GError *error = nullptr;
    secret_password_clear_sync(schema(), nullptr, &error, "service", s.constData(), "account", a.constData(),
                               nullptr);
    clear(error);
}

} // namespace ostrel
