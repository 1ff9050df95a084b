#include "VxFramework/Utilities/Computation/MathUtils.h"

#include "VxFramework/ObjectBase/Exception.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace Vx
{
namespace
{
constexpr double kIntMin = -2147483648.0;
constexpr double kIntMax = 2147483647.0;
constexpr double kTwoPow31 = 2147483648.0;
constexpr double kFloatLimit = 8388608.0;          // 2^23
constexpr double kDoubleLimit = 4503599627370496.0; // 2^52

// Rounds half away from zero; the caller has made sure the value is not NaN
// and lies within [-2^31, 2^31].
std::int32_t RoundInRange(double value) noexcept
{
    const double shifted = std::signbit(value) ? value - 0.5 : value + 0.5;
    if (shifted >= kTwoPow31)
        return std::numeric_limits<std::int32_t>::max();
    if (shifted <= kIntMin - 1.0)
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(shifted);
}

std::int32_t CheckedRound(double value, double upperBound) noexcept
{
    if (!(value >= kIntMin))
    {
        VX_ASSERT_FALSE();
        return std::numeric_limits<std::int32_t>::min();
    }
    if (value > upperBound)
    {
        VX_ASSERT_FALSE();
        return std::numeric_limits<std::int32_t>::max();
    }
    return RoundInRange(value);
}

template <class T>
T CheckedBound(double value, double limit) noexcept
{
    if (!(value >= -limit))
    {
        VX_ASSERT_FALSE();
        return static_cast<T>(-limit);
    }
    if (value > limit)
    {
        VX_ASSERT_FALSE();
        return static_cast<T>(limit);
    }
    return static_cast<T>(value);
}
} // namespace

std::int32_t RoundHalfAwayFromZero(double value) noexcept
{
    if (std::isnan(value))
        return 0;
    if (value <= kIntMin)
        return std::numeric_limits<std::int32_t>::min();
    return RoundInRange(value);
}

template <>
double RoundHalfAwayFromZero<double>(double value) noexcept
{
    if (std::isnan(value))
        return 0.0;
    // From 2^52 on every double is whole; adding 0.5 there could round the
    // sum up to the next representable value.
    if (!(std::fabs(value) < kDoubleLimit))
        return value;
    const double shifted = std::signbit(value) ? value - 0.5 : value + 0.5;
    return static_cast<double>(static_cast<std::int64_t>(shifted));
}

double FloorTolerant(double value) noexcept
{
    constexpr double kNudge = 1.0 / kDoubleLimit; // 2^-52
    // From 2^52 on every double is whole, and the nudge would be a whole step.
    if (!(std::fabs(value) < kDoubleLimit))
        return value;
    if (value >= 0.0)
        return std::trunc(value + value * kNudge);
    return std::trunc(value - 1.0 - value * kNudge);
}

std::int32_t RoundToInt(double value) noexcept
{
    return CheckedRound(value, kIntMax);
}

namespace Detail
{
std::int32_t CheckedToInt(double value) noexcept
{
    return CheckedRound(value, kIntMax);
}

std::int32_t CheckedToInt(float value) noexcept
{
    // 2^31 itself is a float; it saturates to INT32_MAX without an assertion.
    return CheckedRound(static_cast<double>(value), kTwoPow31);
}

float CheckedToFloat(double value) noexcept
{
    return CheckedBound<float>(value, kFloatLimit);
}

float CheckedToFloat(std::int32_t value) noexcept
{
    return CheckedBound<float>(static_cast<double>(value), kFloatLimit);
}

double CheckedToDouble(float value) noexcept
{
    return CheckedBound<double>(static_cast<double>(value), kDoubleLimit);
}
} // namespace Detail
} // namespace Vx
