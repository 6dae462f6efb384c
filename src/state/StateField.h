#pragma once

#include <utility>

namespace ostrel {

// The one "compare, assign, announce" step behind every field of the state objects: `changed`
// of `owner` is emitted only when the value really changes. Returns whether it did.
template <class Owner, class T, class V>
bool changeField(Owner *owner, void (Owner::*changed)(), T &field, V &&value)
{
    if (field == value)
        return false;
    field = std::forward<V>(value);
    emit(owner->*changed)();
    return true;
}

} // namespace ostrel
