#include "VxFramework/Utilities/Computation/MathUtils.h"

#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace
{
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

template <class T, class S>
struct CastCase
{
    S input;
    T expected;
    bool asserts;
};

// Runs the conversion with standard error captured; the assertion line names
// this source file of the helpers.
template <class T, class S>
void ExpectCast(const CastCase<T, S>& c)
{
    VxTest::CaptureStderr capture;
    const T result = Vx::RangeCheckedCast<T>(c.input);
    const std::string logged = capture.Finish();
    EXPECT_EQ(result, c.expected) << "input " << c.input;
    if (c.asserts)
        EXPECT_NE(logged.find("MathUtils.cpp"), std::string::npos)
            << "input " << c.input << " logged: " << logged;
    else
        EXPECT_EQ(logged, "") << "input " << c.input;
}
} // namespace

TEST(RangeCheckedCast, DoubleToIntRoundsHalfAwayFromZeroAndSaturates)
{
    const CastCase<std::int32_t, double> cases[] = {
        {2.5, 3, false},
        {-2.5, -3, false},
        {2.4999, 2, false},
        {-0.4, 0, false},
        {2147483647.0, kMax, false},
        {2147483647.4, kMax, true},
        {-2147483648.0, kMin, false},
        {3e9, kMax, true},
        {-3e9, kMin, true},
        {std::nan(""), kMin, true},
        {std::numeric_limits<double>::infinity(), kMax, true},
    };
    for (const auto& c : cases)
        ExpectCast(c);
}

TEST(RangeCheckedCast, FloatToIntSaturatesAtTwoToThe31)
{
    const CastCase<std::int32_t, float> cases[] = {
        {1.5f, 2, false},
        {-1.5f, -2, false},
        // 0.49999997f + 0.5 in double stays below 1.
        {0.49999997f, 0, false},
        {2147483648.0f, kMax, false},
        {4294967296.0f, kMax, true},
        {-2147483648.0f, kMin, false},
        {-4294967296.0f, kMin, true},
    };
    for (const auto& c : cases)
        ExpectCast(c);
}

TEST(RangeCheckedCast, ToFloatIsLimitedToTwoToThe23)
{
    const CastCase<float, double> fromDouble[] = {
        {1e7, 8388608.0f, true},
        {-1e7, -8388608.0f, true},
        {8388608.0, 8388608.0f, false},
        {0.25, 0.25f, false},
        {std::nan(""), -8388608.0f, true},
    };
    for (const auto& c : fromDouble)
        ExpectCast(c);
    const CastCase<float, std::int32_t> fromInt[] = {
        {8388608, 8388608.0f, false},
        {8388609, 8388608.0f, true},
        {-16777216, -8388608.0f, true},
        {-7, -7.0f, false},
    };
    for (const auto& c : fromInt)
        ExpectCast(c);
}

TEST(RangeCheckedCast, FloatToDoubleIsLimitedToTwoToThe52)
{
    const CastCase<double, float> cases[] = {
        {1.5f, 1.5, false},
        {1e16f, 4503599627370496.0, true},
        {-1e16f, -4503599627370496.0, true},
    };
    for (const auto& c : cases)
        ExpectCast(c);
}

TEST(Rounding, RoundToIntChecksAndRoundHalfAwayFromZeroDoesNot)
{
    {
        VxTest::CaptureStderr capture;
        EXPECT_EQ(Vx::RoundToInt(-2.5), -3);
        EXPECT_EQ(Vx::RoundToInt(0.5), 1);
        EXPECT_EQ(Vx::RoundHalfAwayFromZero(2.5), 3);
        EXPECT_EQ(Vx::RoundHalfAwayFromZero(-0.0), 0);
        EXPECT_EQ(Vx::RoundHalfAwayFromZero(-7.5), -8);
        // Far out of range: saturated quietly, never undefined.
        EXPECT_EQ(Vx::RoundHalfAwayFromZero(1e300), kMax);
        EXPECT_EQ(Vx::RoundHalfAwayFromZero(-1e300), kMin);
        EXPECT_EQ(Vx::RoundHalfAwayFromZero(std::nan("")), 0);
        EXPECT_EQ(capture.Finish(), "");
    }
    VxTest::CaptureStderr capture;
    EXPECT_EQ(Vx::RoundToInt(1e10), kMax);
    EXPECT_EQ(Vx::RoundToInt(-1e10), kMin);
    EXPECT_NE(capture.Finish().find("MathUtils.cpp"), std::string::npos);
}

TEST(Rounding, TheDoubleFormKeepsValuesBeyondTheIntRange)
{
    struct Case
    {
        double input;
        double expected;
    };
    const Case cases[] = {
        {2.5, 3.0},
        {-2.5, -3.0},
        {-0.4, 0.0},
        {-0.0, 0.0},
        // Beyond the int range the int form would saturate; layout keeps these.
        {3e9 + 0.5, 3000000001.0},
        {-5000000000.5, -5000000001.0},
        // Whole already: adding 0.5 here would round up to the next double.
        {4503599627370497.0, 4503599627370497.0},
        {-1e300, -1e300},
        {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()},
        {std::nan(""), 0.0},
    };
    VxTest::CaptureStderr capture;
    for (const Case& c : cases)
        EXPECT_EQ(Vx::RoundHalfAwayFromZero<double>(c.input), c.expected) << "input " << c.input;
    // Both forms stay callable side by side.
    EXPECT_EQ(Vx::RoundHalfAwayFromZero<std::int32_t>(3e9), kMax);
    EXPECT_EQ(Vx::RoundHalfAwayFromZero(-2.5), -3);
    EXPECT_EQ(capture.Finish(), "");
}

TEST(Rounding, FloorTolerantCountsAHairBelowAWholeNumberAsThatNumber)
{
    struct Case
    {
        double input;
        double expected;
    };
    const Case cases[] = {
        {10.5, 10.0},
        {10.0, 10.0},
        {0.0, 0.0},
        // 0.7 + 0.1 + 0.2 falls a hair below 1.
        {0.7 + 0.1 + 0.2, 1.0},
        {std::nextafter(3.0, 0.0), 3.0},
        {2.9, 2.0},
        {-0.5, -1.0},
        {-3.0, -3.0},
        {std::nextafter(-3.0, -4.0), -3.0},
        {-3.1, -4.0},
        // Whole already: the nudge would reach the next double.
        {1e17, 1e17},
        {-1e17, -1e17},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Vx::FloorTolerant(c.input), c.expected) << "input " << c.input;
}
