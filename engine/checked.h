// Checked arithmetic and indexing. Every counter and flag of the engine has a
// fixed width; stepping outside it, or outside an array, is a fault rather
// than silent wrap-around.
#pragma once

#include "fault.h"

#include <array>
#include <cmath>
#include <concepts>
#include <cstdint>
#include <limits>

namespace temp {

template <std::signed_integral T> constexpr T Narrow(std::int64_t value) {
    if (value < std::numeric_limits<T>::min() || value > std::numeric_limits<T>::max())
        RaiseFault(Fault::Overflow);
    return static_cast<T>(value);
}

// Results take the width of the first operand, as the stored field they feed.
template <std::signed_integral T> constexpr T Add(T a, std::int64_t b) {
    return Narrow<T>(static_cast<std::int64_t>(a) + b);
}
template <std::signed_integral T> constexpr T Sub(T a, std::int64_t b) {
    return Narrow<T>(static_cast<std::int64_t>(a) - b);
}
template <std::signed_integral T> constexpr T Mul(T a, std::int64_t b) {
    return Narrow<T>(static_cast<std::int64_t>(a) * b);
}
// Truncating division, as C++ and the original integer division both do.
template <std::signed_integral T> constexpr T Div(T a, std::int64_t b) {
    if (b == 0)
        RaiseFault(Fault::DivisionByZero);
    return Narrow<T>(static_cast<std::int64_t>(a) / b);
}
template <std::signed_integral T> constexpr T Mod(T a, std::int64_t b) {
    if (b == 0)
        RaiseFault(Fault::DivisionByZero);
    return Narrow<T>(static_cast<std::int64_t>(a) % b);
}

// A double result stored as a 32-bit float: NaN is an invalid operation,
// infinity or a value past the float range an overflow.
inline float ToSingle(double value) {
    if (std::isnan(value))
        RaiseFault(Fault::InvalidOperation);
    if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max())
        RaiseFault(Fault::Overflow);
    return static_cast<float>(value);
}

// A fixed array indexed Lo..Hi (both inclusive); any other index is a fault.
template <class T, int Lo, int Hi> class CheckedArray {
    static_assert(Lo <= Hi);

public:
    T &operator[](std::int64_t i) { return items_[Offset(i)]; }
    const T &operator[](std::int64_t i) const { return items_[Offset(i)]; }

private:
    static std::size_t Offset(std::int64_t i) {
        if (i < Lo || i > Hi)
            RaiseFault(Fault::SubscriptOutOfRange);
        return static_cast<std::size_t>(i - Lo);
    }

    std::array<T, Hi - Lo + 1> items_{};
};

} // namespace temp
