#include "VxFramework/Utilities/Graphics/CTTypes.h"

#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace
{
constexpr float kByte = 1.0f / 255.0f;

struct ColorTextCase
{
    const char* text;
    Vx::Color expected; // starting from a colour whose channels are all 0.5
};

Vx::Color Channels(float red, float green, float blue, float alpha)
{
    Vx::Color color;
    color.red = red;
    color.green = green;
    color.blue = blue;
    color.alpha = alpha;
    return color;
}

void ExpectNear(const Vx::Color& actual, const Vx::Color& expected, const char* what)
{
    EXPECT_NEAR(actual.red, expected.red, 1e-6) << what;
    EXPECT_NEAR(actual.green, expected.green, 1e-6) << what;
    EXPECT_NEAR(actual.blue, expected.blue, 1e-6) << what;
    EXPECT_NEAR(actual.alpha, expected.alpha, 1e-6) << what;
}
} // namespace

TEST(Color, TextSetsOnlyTheChannelsItCarries)
{
    const ColorTextCase cases[] = {
        {"0xFF00FF00", Channels(0, 1, 0, 1)},
        {"FF00FF00", Channels(0, 1, 0, 1)},
        {"0Xff00ff00", Channels(0, 1, 0, 1)},
        {"80", Channels(0.5f, 0.5f, 0.5f, 128 * kByte)},
        {"0x80", Channels(0.5f, 0.5f, 0.5f, 128 * kByte)},
        {"00FF00", Channels(0, 1, 0, 0.5f)},
        {"12345", Channels(0.5f, 0.5f, 0.5f, 0.5f)},
        {"", Channels(0.5f, 0.5f, 0.5f, 0.5f)},
        {"0x", Channels(0.5f, 0.5f, 0.5f, 0.5f)},
        {"123456789", Channels(0.5f, 0.5f, 0.5f, 0.5f)},
        // Not hexadecimal: the value read is 0.
        {"zzzzzz", Channels(0, 0, 0, 0.5f)},
        // All eight digits land in 32 bits, also where long has 64.
        {"FFFFFFFF", Channels(1, 1, 1, 1)},
    };
    for (const auto& c : cases)
    {
        Vx::Color color = Channels(0.5f, 0.5f, 0.5f, 0.5f);
        color.Assign(c.text);
        ExpectNear(color, c.expected, c.text);
    }
    Vx::Color untouched = Channels(0.5f, 0.5f, 0.5f, 0.5f);
    untouched.Assign(nullptr);
    EXPECT_EQ(untouched, Channels(0.5f, 0.5f, 0.5f, 0.5f));
    EXPECT_EQ(Vx::Color(static_cast<const char*>(nullptr)), Vx::Color());
}

TEST(Color, PackedValuesRoundTripAndClamp)
{
    EXPECT_EQ(Vx::Color(0xFFFF0000u), Channels(1, 0, 0, 1));
    EXPECT_EQ(Vx::Color(static_cast<std::int32_t>(0x80402010)), Vx::Color(0x80402010u));
    for (std::uint32_t value : {0x00000000u, 0xFFFFFFFFu, 0x80402010u, 0x01FE7F80u})
        EXPECT_EQ(Vx::Color(value).ToARGB(), value);

    struct PackCase
    {
        float red;
        std::uint32_t packedRed;
    };
    const PackCase cases[] = {{1.2f, 255}, {-0.1f, 0}, {0.5f, 128}, {127.4f / 255.0f, 127}, {1e30f, 255}};
    for (const auto& c : cases)
        EXPECT_EQ((Channels(c.red, 0, 0, 0).ToARGB() >> 16) & 0xFF, c.packedRed) << c.red;
}

TEST(Geometry, RectanglesAreHalfOpenAndClipToASize)
{
    const Vx::RectT<int> rect{0, 0, 10, 10};
    EXPECT_TRUE(rect.Contains({9, 9}));
    EXPECT_TRUE(rect.Contains({0, 0}));
    EXPECT_FALSE(rect.Contains({10, 5}));
    EXPECT_FALSE(rect.Contains({5, 10}));
    EXPECT_FALSE(rect.Contains({-1, 5}));

    struct ClipCase
    {
        Vx::RectT<int> rect;
        Vx::PointT<int> size;
        Vx::RectT<int> clipped;
        bool counts;
    };
    const ClipCase cases[] = {
        {{-5, -5, 10, 10}, {100, 100}, {0, 0, 5, 5}, true},
        {{90, 10, 20, 5}, {100, 100}, {90, 10, 10, 5}, true},
        {{100, 0, 5, 5}, {100, 100}, {100, 0, 0, 5}, false},
        {{-20, 0, 10, 5}, {100, 100}, {0, 0, -10, 5}, false},
    };
    for (const auto& c : cases)
    {
        Vx::RectT<int> clipped = c.rect;
        EXPECT_EQ(clipped.ClipToSize(c.size), c.counts);
        EXPECT_EQ(clipped, c.clipped);
    }

    Vx::RectT<double> moved = Vx::RectT<double>::FromSize({4.5, 3}) + Vx::PointT<double>{1, 2};
    EXPECT_EQ(moved, (Vx::RectT<double>{1, 2, 4.5, 3}));
    moved -= Vx::PointT<double>{1, 2};
    EXPECT_EQ(moved, (Vx::RectT<double>{0, 0, 4.5, 3}));
}

TEST(Geometry, ConversionsRoundHalfAwayFromZeroWithTheRangeCheck)
{
    EXPECT_EQ((Vx::PointT<double>{2.5, -2.5}.Round()), (Vx::PointT<int>{3, -3}));
    EXPECT_EQ(static_cast<Vx::RectT<int>>(Vx::RectT<double>{0.5, 1.49, -0.5, 9.5}), (Vx::RectT<int>{1, 1, -1, 10}));
    EXPECT_EQ(static_cast<Vx::RectT<double>>(Vx::RectT<int>{1, 2, 3, 4}), (Vx::RectT<double>{1, 2, 3, 4}));

    Vx::PointT<int> point{10, 10};
    point += Vx::PointT<double>{0.5, -0.5};
    EXPECT_EQ(point, (Vx::PointT<int>{11, 9}));
    point -= Vx::PointT<double>{1.5, 1.4};
    EXPECT_EQ(point, (Vx::PointT<int>{9, 8}));

    VxTest::CaptureStderr capture;
    EXPECT_EQ(static_cast<Vx::PointT<float>>(Vx::PointT<int>{16777216, 3}), (Vx::PointT<float>{8388608.0f, 3.0f}));
    EXPECT_NE(capture.Finish().find("MathUtils.cpp"), std::string::npos);
}

TEST(Geometry, ConstantsAreZeroOneAndEmpty)
{
    EXPECT_EQ(Vx::PointT<int>::Zero, (Vx::PointT<int>{0, 0}));
    EXPECT_EQ(Vx::PointT<float>::Origin, (Vx::PointT<float>{0, 0}));
    EXPECT_EQ(Vx::PointT<double>::One, (Vx::PointT<double>{1, 1}));
    EXPECT_EQ(Vx::RectT<double>::Empty, (Vx::RectT<double>{0, 0, 0, 0}));
}
