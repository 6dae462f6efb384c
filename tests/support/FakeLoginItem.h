#pragma once

#include "platform/LoginItem.h"

namespace ostrel {

// A login item for tests: register/unregister move the status unless an error is set.
class FakeLoginItem final : public LoginItem {
public:
    int status() const override { return currentStatus; }
    std::optional<QString> registerItem() override
    {
        ++registerCalls;
        if (!error)
            currentStatus = enabled;
        return error;
    }
    std::optional<QString> unregisterItem() override
    {
        ++unregisterCalls;
        if (!error)
            currentStatus = notRegistered;
        return error;
    }

    int currentStatus = notRegistered;
    std::optional<QString> error;
    int registerCalls = 0;
    int unregisterCalls = 0;
};

} // namespace ostrel
