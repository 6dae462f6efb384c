#pragma once

// The callbacks of the state's asynchronous operations and the helpers around them.

#include "api/ApiResult.h"

#include <QPointer>

#include <functional>
#include <optional>

namespace ostrel {

// Failure of an operation that talks to the service; nothing on success.
using Completion = std::function<void(const std::optional<ApiFailure> &failure)>;
using Done = std::function<void()>;

// Calls `done` only while `context` (when one was given) is alive.
inline Completion guarded(QObject *context, Completion done)
{
    if (!done)
        return [](const std::optional<ApiFailure> &) {};
    if (!context)
        return done;
    return [ctx = QPointer<QObject>(context), done = std::move(done)](const std::optional<ApiFailure> &f) {
        if (ctx)
            done(f);
    };
}

inline Done guarded(QObject *context, Done done)
{
    if (!done)
        return [] {};
    if (!context)
        return done;
    return [ctx = QPointer<QObject>(context), done = std::move(done)] {
        if (ctx)
            done();
    };
}

inline bool isUnauthorized(const ApiFailure &failure)
{
    return failure.apiError() && failure.apiError()->kind() == ApiError::Kind::unauthorized;
}

template <class T> std::optional<ApiFailure> failureOf(const ApiResult<T> &result)
{
    if (result.ok())
        return std::nullopt;
    return result.failure();
}

} // namespace ostrel
