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

TEST(Polyline, ChangesSetTheFlagAndWritesThroughPointersDoNot)
{
    Vx::PolylineT<float> line;
    EXPECT_TRUE(line.TakeChanged()) << "a new polyline counts as changed";
    EXPECT_FALSE(line.TakeChanged());
    EXPECT_FLOAT_EQ(line.GetThickness(), 1.0f);

    line.Close();
    EXPECT_FALSE(line.TakeChanged()) << "closing an empty polyline does nothing";
    EXPECT_EQ(line.GetCount(), 0u);

    line.AddPoint({1, 2}, 0);
    EXPECT_TRUE(line.TakeChanged());
    line.GetAt(0)->x = 5;
    EXPECT_FALSE(line.TakeChanged());

    line.SetThickness(1.0f);
    EXPECT_FALSE(line.TakeChanged());
    line.SetThickness(2.5f);
    EXPECT_TRUE(line.TakeChanged());
    EXPECT_EQ(line.RemoveAll(), Vx::VXR_OK);
    EXPECT_FLOAT_EQ(line.GetThickness(), 1.0f);
    EXPECT_TRUE(line.TakeChanged());

    {
        VxTest::CaptureStderr capture;
        line.SetPoint(0, {1, 1});
        EXPECT_NE(capture.Finish().find("CTTypes.h"), std::string::npos);
        EXPECT_FALSE(line.TakeChanged());
    }
    EXPECT_EQ(line.GetHandle(), reinterpret_cast<std::intptr_t>(&line));
}

TEST(Polyline, PointsCellsBoundsAndMirrors)
{
    Vx::PolylineT<double> line;
    line.AddPoint({10.0, 5.3}, 1);
    line.AddPoint({10.2, 5.0}, 1);
    EXPECT_EQ(line.GetCount(), 1u) << "same pixel cell";
    line.AddPoint({10.2, 5.0}, 0);
    EXPECT_EQ(line.GetCount(), 2u);
    line.AddPoint({10.0, 5.3}, 1);
    EXPECT_EQ(line.GetCount(), 2u);
    line.AddPoint({2.0, 2.0}, 0);
    line.AddPoint({1.5, 2.0}, 1);
    EXPECT_EQ(line.GetCount(), 4u) << "the cell's right edge is outside";
    line.AddPoint({1.75, 2.5}, 1);
    EXPECT_EQ(line.GetCount(), 4u) << "the cell's top edge is inside";

    Vx::PolylineT<double> single;
    single.AddPoint({3, 4}, 0);
    EXPECT_EQ(single.GetBounds(), (Vx::RectT<double>{3, 4, 0, 0}));
    EXPECT_EQ(Vx::PolylineT<double>().GetBounds(), (Vx::RectT<double>{0, 0, 0, 0}));

    Vx::PolylineT<double> shape;
    for (const Vx::PointT<double>& p : {Vx::PointT<double>{1, 1}, {4, -2}, {-3, 6}})
        shape.AddPoint(p, 0);
    EXPECT_EQ(shape.GetBounds(), (Vx::RectT<double>{-3, -2, 7, 8}));
    shape.Close();
    EXPECT_EQ(shape.GetCount(), 4u);
    EXPECT_EQ(shape[3], (Vx::PointT<double>{1, 1}));

    shape.OffsetPoints({10, 0}, 2);
    EXPECT_EQ(shape[1], (Vx::PointT<double>{4, -2}));
    EXPECT_EQ(shape[2], (Vx::PointT<double>{7, 6}));

    Vx::PolylineT<double> half;
    half.AddPoint({0, 0}, 0);
    half.AddPoint({2, 3}, 0);
    half.AppendMirrored(half, 0, 5);
    ASSERT_EQ(half.GetCount(), 4u);
    EXPECT_EQ(half[2], (Vx::PointT<double>{8, 3}));
    EXPECT_EQ(half[3], (Vx::PointT<double>{10, 0}));

    half.InsertPoints(half, {1, 1}, 1);
    ASSERT_EQ(half.GetCount(), 8u);
    EXPECT_EQ(half[1], (Vx::PointT<double>{1, 1}));
    EXPECT_EQ(half[4], (Vx::PointT<double>{11, 1}));
    EXPECT_EQ(half[5], (Vx::PointT<double>{2, 3}));
    half.InsertPoints(single, {0, 0}, -1);
    EXPECT_EQ(half[8], (Vx::PointT<double>{3, 4}));
    EXPECT_EQ(half.GetPointData(), half.GetDataConst());
}

TEST(Polyline, RoundedRectangleStaysInsideItsPixels)
{
    Vx::PolylineT<float> line;
    line.AddCorner({0, 4}, {4, 0}, {0, 0});
    ASSERT_FALSE(line.IsEmpty());
    EXPECT_EQ(line[0], (Vx::PointT<float>{0.5f, 4.5f})) << "the start plus half a pixel";
    const Vx::PointT<float> last = line[line.GetCount() - 1];
    EXPECT_NEAR(last.x, 4.5f, 0.75f);
    EXPECT_NEAR(last.y, 0.5f, 0.75f);

    Vx::PolylineT<float> rect;
    rect.AddRoundRect({10, 20, 30, 16}, 5);
    ASSERT_GT(rect.GetCount(), 8u);
    EXPECT_EQ(rect[0], rect[rect.GetCount() - 1]) << "closed";
    const Vx::RectT<float> bounds = rect.GetBounds();
    EXPECT_GE(bounds.x, 10.0f);
    EXPECT_GE(bounds.y, 20.0f);
    EXPECT_LE(bounds.GetRight(), 40.5f);
    EXPECT_LE(bounds.GetBottom(), 36.5f);
    for (std::uint32_t i = 1; i < rect.GetCount(); ++i)
        EXPECT_NE(rect[i], rect[i - 1]) << "no repeated point at " << i;
}

TEST(Color, TextFormTruncatesWithoutClamping)
{
    struct Case
    {
        Vx::Color color;
        const char* text;
    };
    const Case cases[] = {
        {Vx::Color(0xFFFF0000u), "0xffff0000"},
        {Vx::Color(0x80402010u), "0x80402010"},
        {Channels(1.5f, 0, 0, 1), "0xff17e0000"},
        {Channels(0.999f, 0, 0, 0), "0x00fe0000"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(c.color.ToString().GetCString(), c.text);
    for (std::uint32_t value : {0x00000000u, 0xFFFFFFFFu, 0x12345678u, 0xFE01807Fu})
    {
        const Vx::Color color(value);
        EXPECT_EQ(Vx::Color(color.ToString()), color) << std::hex << value;
    }
}
