#pragma once

#include "api/ApiError.h"

#include <QNetworkReply>
#include <QString>

#include <variant>

namespace ostrel {

// A request that failed below HTTP: no connection, host not found, time-out, cancelled.
struct TransportError {
    QNetworkReply::NetworkError code = QNetworkReply::UnknownNetworkError;
    QString description;
};

// A success answer that could not be decoded (bad JSON, missing key, bad date, 204 where a
// record was expected), or a body that could not be encoded.
struct DecodingError {
    QString description;
};

// Why a service call failed: the service said no (ApiError), the transport failed, or the
// answer could not be read.
class ApiFailure {
public:
    ApiFailure(ApiError e) : m_value(std::move(e)) {}
    ApiFailure(TransportError e) : m_value(std::move(e)) {}
    ApiFailure(DecodingError e) : m_value(std::move(e)) {}

    const ApiError *apiError() const { return std::get_if<ApiError>(&m_value); }
    const TransportError *transportError() const { return std::get_if<TransportError>(&m_value); }
    const DecodingError *decodingError() const { return std::get_if<DecodingError>(&m_value); }

    // The error's plain description, for log lines.
    QString description() const;

private:
    std::variant<ApiError, TransportError, DecodingError> m_value;
};

template <class T> class ApiResult {
public:
    ApiResult(T value) : m_value(std::move(value)) {}
    ApiResult(ApiFailure failure) : m_value(std::move(failure)) {}

    bool ok() const { return std::holds_alternative<T>(m_value); }
    const T &value() const { return std::get<T>(m_value); }
    const ApiFailure &failure() const { return std::get<ApiFailure>(m_value); }

private:
    std::variant<T, ApiFailure> m_value;
};

} // namespace ostrel
