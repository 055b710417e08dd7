// Typed sending and posting. Each message id declares the types of its two
// parameters once (HV_MESSAGE, beside the id); the helpers below pack and
// unpack them, so a sender and a handler cannot disagree on a payload.
#pragma once

#include <type_traits>

#include "winapi/winapi.h"

namespace hv {

// A parameter the message does not use: always sent as 0.
struct NoParam {};

template <UINT Id>
struct MessageTraits;  // declared for each id with HV_MESSAGE

namespace detail {

template <class Raw, class T>
Raw Pack(T value) {
    if constexpr (std::is_same_v<T, NoParam>) {
        return 0;
    } else if constexpr (std::is_pointer_v<T>) {
        // The one place a pointer travels as an integer.
        return reinterpret_cast<Raw>(value);
    } else {
        return static_cast<Raw>(value);
    }
}

template <class T, class Raw>
T Unpack(Raw raw) {
    if constexpr (std::is_same_v<T, NoParam>) {
        return {};
    } else if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<T>(raw);
    } else {
        return static_cast<T>(raw);
    }
}

}  // namespace detail

template <UINT Id>
using WParamOf = typename MessageTraits<Id>::WParam;
template <UINT Id>
using LParamOf = typename MessageTraits<Id>::LParam;

template <UINT Id>
BOOL Post(HWND hwnd, WParamOf<Id> wParam = {}, LParamOf<Id> lParam = {}) {
    return PostMessageA(hwnd, Id, detail::Pack<WPARAM>(wParam), detail::Pack<LPARAM>(lParam));
}

template <UINT Id>
LRESULT Send(HWND hwnd, WParamOf<Id> wParam = {}, LParamOf<Id> lParam = {}) {
    return SendMessageA(hwnd, Id, detail::Pack<WPARAM>(wParam), detail::Pack<LPARAM>(lParam));
}

// In a handler: the parameters as the message declared them.
template <UINT Id>
WParamOf<Id> WParam(WPARAM raw) {
    return detail::Unpack<WParamOf<Id>>(raw);
}
template <UINT Id>
LParamOf<Id> LParam(LPARAM raw) {
    return detail::Unpack<LParamOf<Id>>(raw);
}

// True when no two ids in the list are equal.
template <class Ids>
constexpr bool AllDistinct(const Ids& ids) {
    for (auto a = ids.begin(); a != ids.end(); ++a) {
        for (auto b = a + 1; b != ids.end(); ++b) {
            if (*a == *b) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace hv

// Declares the parameter types of message `id`; at namespace scope.
#define HV_MESSAGE(id, WParamType, LParamType) \
    template <>                                \
    struct hv::MessageTraits<id> {             \
        using WParam = WParamType;             \
        using LParam = LParamType;             \
    }
