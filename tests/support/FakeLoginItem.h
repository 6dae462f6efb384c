#pragma once

#include "platform/LoginItem.h"

namespace ostrel {

// A login item for tests: register/unregister move the status unless an error is set.
class FakeLoginItem final : public LoginItem {
public:
    int status() const override { return currentStatus; }
    std::optional<QString> registerItem() override
    {
        if (!error)
            currentStatus = enabled;
        return error;
    }
    std::optional<QString> unregisterItem() override
    {
        if (!error)
            currentStatus = notRegistered;
        return error;
    }

    int currentStatus = notRegistered;
    std::optional<QString> error;
};

} // namespace ostrel
