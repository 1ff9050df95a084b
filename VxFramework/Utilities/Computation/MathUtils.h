#pragma once

#include <cstdint>
#include <type_traits>

namespace Vx
{
// Rounds half away from zero (x + 0.5 or x - 0.5 by the sign bit, then
// truncation).  No assertion: a value beyond the int range saturates and NaN
// gives 0, so the conversion itself is always defined.
std::int32_t RoundHalfAwayFromZero(double value) noexcept;

// The same rounding with the result type named: RoundHalfAwayFromZero<double>
// keeps the value a double (truncated through a 64-bit integer), so layout
// values beyond the int range survive.  A value of 2^52 or more is already
// whole and comes back unchanged (infinities too); NaN gives 0.
template <class R>
R RoundHalfAwayFromZero(double value) noexcept = delete;
template <>
double RoundHalfAwayFromZero<double>(double value) noexcept;
template <>
inline std::int32_t RoundHalfAwayFromZero<std::int32_t>(double value) noexcept
{
    return RoundHalfAwayFromZero(value);
}

// The floor of a value taken after a relative nudge of 2^-52 upwards, so that
// a value a hair below a whole number (the rounding error of a sum) counts as
// that number.  Values of 2^52 or more, already whole, come back unchanged;
// NaN stays NaN.
double FloorTolerant(double value) noexcept;

// The same rounding with a range check: below -2^31 (or NaN) an assertion and
// INT32_MIN, above 2^31 - 1 an assertion and INT32_MAX.
std::int32_t RoundToInt(double value) noexcept;

namespace Detail
{
std::int32_t CheckedToInt(double value) noexcept;
std::int32_t CheckedToInt(float value) noexcept;
float CheckedToFloat(double value) noexcept;
float CheckedToFloat(std::int32_t value) noexcept;
double CheckedToDouble(float value) noexcept;
} // namespace Detail

// Every conversion between the coordinate types goes through here.  A value
// outside the target's range logs an assertion and gives the nearest bound
// (NaN counts as below the lower one); conversions to int round half away from
// zero.  Floats are limited to +-2^23 so that every integral value stays exact.
template <class T, class S>
T RangeCheckedCast(S value) noexcept
{
    if constexpr (std::is_same_v<T, S>)
        return value;
    else if constexpr (std::is_same_v<T, std::int32_t>)
    {
        static_assert(std::is_same_v<S, double> || std::is_same_v<S, float>, "unsupported conversion");
        return Detail::CheckedToInt(value);
    }
    else if constexpr (std::is_same_v<T, float>)
    {
        static_assert(std::is_same_v<S, double> || std::is_same_v<S, std::int32_t>, "unsupported conversion");
        return Detail::CheckedToFloat(value);
    }
    else if constexpr (std::is_same_v<T, double>)
    {
        static_assert(std::is_same_v<S, float> || std::is_same_v<S, std::int32_t>, "unsupported conversion");
        if constexpr (std::is_same_v<S, float>)
            return Detail::CheckedToDouble(value);
        else
            return static_cast<double>(value); // every int is exact in a double
    }
    else
    {
        static_assert(std::is_same_v<T, S>, "unsupported conversion");
        return value;
    }
}
} // namespace Vx
