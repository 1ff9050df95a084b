// Drawing on JUCE's graphics, checked on the pixels of offscreen surfaces:
// exactly where no text is drawn, against reference pictures where DejaVu
// glyphs from FreeType are.

#include "VxFramework/Renderer/JUCE/JUCERenderer.h"

#include "VxFramework/Utilities/Graphics/Font.h"
#include "tests/VxFramework/Renderer/JUCE/JUCERenderingSupport.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{
using Vx::Color;
using Vx::LFont;
using Vx::LJUCERenderContextInfo;
using Vx::PolylineT;
using Vx::RCPtr;
using VxTest::IntPoint;
using VxTest::IntRect;
using VxTest::kBlue;
using VxTest::kGreen;
using VxTest::kRed;
using VxTest::kTransparent;
using VxTest::kWhite;
using VxTest::OnlyAreaIs;
using VxTest::PatternPixel;
using VxTest::PixelAt;
using Point = Vx::PointT<double>;
using FloatPoint = Vx::PointT<float>;
using Rect = Vx::RectT<double>;
using Text = Vx::StringT<char, unsigned short>;

const std::string kRendererSource = "VxFramework/Renderer/JUCE/JUCERenderer.cpp";
const FloatPoint kNoOffset{0.0f, 0.0f};
const FloatPoint kNoScale{1.0f, 1.0f};

RCPtr<LFont> Sans(float points)
{
    return LFont::GetFont("DejaVu Sans", 0, points);
}

PolylineT<float> Polyline(std::initializer_list<FloatPoint> points, float thickness = 1.0f)
{
    PolylineT<float> polyline;
    for (const FloatPoint& point : points)
        polyline.Add(point);
    polyline.SetThickness(thickness);
    return polyline;
}

// Whether some pixel of the area has ink (alpha at least 64).
bool HasInk(const juce::Image& image, const IntRect& area)
{
    for (int y = area.y; y < area.y + area.height; ++y)
        for (int x = area.x; x < area.x + area.width; ++x)
            if (VxTest::AlphaAt(image, x, y) >= 64)
                return true;
    return false;
}

int MaxAlpha(const juce::Image& image)
{
    int alpha = 0;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            alpha = std::max<int>(alpha, VxTest::AlphaAt(image, x, y));
    return alpha;
}

class Drawing : public VxTest::JUCERendering
{
protected:
    // A picture drawn on a new context of the fixture's size.
    juce::Image PaintFresh(const std::function<void()>& body)
    {
        context = MakeContext(IntRect{0, 0, 64, 48}, true);
        return Paint(body);
    }

    // Inside the client push of a window: at (0, 0), clipped to the surface.
    juce::Image PaintInClient(const std::function<void()>& body)
    {
        return PaintFresh([&] {
            renderer->PushClip(Rect{0, 0, 64, 48}, Rect{0, 0, 64, 48}, nullptr, false);
            body();
            renderer->PopClip();
        });
    }
};

TEST_F(Drawing, RectanglesCoverWholePixels)
{
    EXPECT_TRUE(OnlyAreaIs(PaintFresh([&] {
                               renderer->FillRectangle(IntRect{3, 4, 10, 5}, Color(kRed), false);
                           }),
                           IntRect{3, 4, 10, 5}, kRed));

    // The outline lies inside the rectangle, its width truncated.
    for (const float width : {1.0f, 1.9f, 3.0f})
    {
        SCOPED_TRACE(width);
        const juce::Image picture = PaintFresh([&] {
            renderer->DrawRectangle(IntRect{2, 2, 12, 10}, Color(kGreen), width);
        });
        const int thickness = static_cast<int>(width);
        for (int y = 0; y < 48; ++y)
        {
            for (int x = 0; x < 64; ++x)
            {
                const bool inOuter = x >= 2 && x < 14 && y >= 2 && y < 12;
                const bool inInner =
                    x >= 2 + thickness && x < 14 - thickness && y >= 2 + thickness && y < 12 - thickness;
                ASSERT_EQ(PixelAt(picture, x, y), inOuter && !inInner ? kGreen : kTransparent) << x << ", " << y;
            }
        }
    }
}

TEST_F(Drawing, FramedRectanglesSkipWhatHasNoAlpha)
{
    struct Case
    {
        std::uint32_t fill;
        std::uint32_t frame;
        std::uint32_t inside;
        std::uint32_t border;
    };
    const Case cases[] = {
        {kRed, kBlue, kRed, kBlue},
        {0x00FF0000u, kBlue, kTransparent, kBlue},
        {kRed, 0x000000FFu, kRed, kRed},
        {0x00FF0000u, 0x000000FFu, kTransparent, kTransparent},
    };
    for (const Case& c : cases)
    {
        const juce::Image picture = PaintFresh([&] {
            renderer->DrawFramedRectangle(IntRect{4, 4, 10, 10}, Color(c.fill), Color(c.frame), 2.0f);
        });
        EXPECT_EQ(PixelAt(picture, 8, 8), c.inside);
        EXPECT_EQ(PixelAt(picture, 4, 4), c.border);
        EXPECT_EQ(PixelAt(picture, 13, 5), c.border);
        EXPECT_EQ(PixelAt(picture, 14, 14), kTransparent);
    }
}

TEST_F(Drawing, ClearingMakesPixelsTransparentWithinTheClip)
{
    // A transparent fill blends into nothing; clearing replaces the pixels.
    const juce::Image picture = PaintInClient([&] {
        renderer->FillRectangle(IntRect{0, 0, 64, 48}, Color(kRed), true);
        renderer->FillRectangle(IntRect{0, 0, 8, 8}, Color(kTransparent), true);
        renderer->PushClip(Rect{10, 10, 40, 30}, Rect{10, 10, 20, 10}, nullptr, true);
        renderer->ClearRectangle(IntRect{-5, -5, 100, 100});
        renderer->PopClip();
    });
    EXPECT_TRUE(OnlyAreaIs(picture, IntRect{10, 10, 20, 10}, kTransparent, kRed));
}

TEST_F(Drawing, PushesMoveTheOriginAndClip)
{
    const juce::Image nested = PaintInClient([&] {
        renderer->PushClip(Rect{0, 0, 64, 48}, Rect{10, 5, 30, 20}, nullptr, false);
        renderer->PushClip(Rect{20, 10, 100, 100}, Rect{0, 0, 100, 100}, nullptr, true);
        renderer->FillRectangle(IntRect{-50, -50, 200, 200}, Color(kGreen), true);
        renderer->PopClip();
        renderer->PopClip();
    });
    EXPECT_TRUE(OnlyAreaIs(nested, IntRect{20, 10, 20, 15}, kGreen));

    // After a pop the drawing is at the restored origin and clip.
    const juce::Image popped = PaintInClient([&] {
        renderer->PushClip(Rect{5, 6, 10, 10}, Rect{5, 6, 10, 10}, nullptr, true);
        renderer->PushClip(Rect{3, 3, 4, 4}, Rect{3, 3, 4, 4}, nullptr, true);
        renderer->PopClip();
        renderer->FillRectangle(IntRect{0, 0, 1, 1}, Color(kRed), true);
        renderer->PushClip();
        renderer->FillRectangle(IntRect{9, 9, 5, 5}, Color(kRed), true);
        renderer->PopClip();
        renderer->PopClip();
    });
    EXPECT_EQ(PixelAt(popped, 5, 6), kRed);
    EXPECT_EQ(PixelAt(popped, 14, 15), kRed);
    EXPECT_EQ(PixelAt(popped, 15, 15), kTransparent);
    EXPECT_EQ(VxTest::CountPixels(popped, [](std::uint32_t pixel) { return pixel != kTransparent; }), 2);

    // A relative push that meets nothing of the current clip draws nothing.
    VxTest::CaptureStderr capture;
    const juce::Image empty = PaintInClient([&] {
        renderer->PushClip(Rect{0, 0, 20, 20}, Rect{0, 0, 20, 20}, nullptr, true);
        renderer->PushClip(Rect{30, 30, 10, 10}, Rect{30, 30, 10, 10}, nullptr, true);
        renderer->FillRectangle(IntRect{-100, -100, 300, 300}, Color(kRed), true);
        renderer->PopClip();
        renderer->PopClip();
    });
    capture.Finish();
    EXPECT_EQ(MaxAlpha(empty), 0);
}

TEST_F(Drawing, ValuesBeyondTheIntRangeAreClampedBeforeJUCE)
{
    const juce::Image picture = PaintInClient([&] {
        // Origins far outside the int range, and back.
        renderer->PushClip(Rect{1e12, -1e12, 10, 10}, Rect{0, 0, 64, 48}, nullptr, false);
        renderer->FillRectangle(IntRect{0, 0, 10, 10}, Color(kRed), true);
        renderer->PushClip(Point{-3e9, 3e9});
        renderer->FillRectangle(IntRect{0, 0, 10, 10}, Color(kRed), true);
        renderer->PopClip();
        renderer->PopClip();
        renderer->FillRectangle(IntRect{1, 1, 2, 2}, Color(kGreen), true);

        // A clip beyond it on every side still clips to the surface.
        renderer->PushClip();
        renderer->SetClipRect(Rect{-1e12, -1e12, 2e12, 2e12});
        renderer->FillRectangle(IntRect{5, 1, 2, 2}, Color(kGreen), true);
        // Rectangles and text whose edges overflow an int.
        renderer->FillRectangle(IntRect{INT_MAX - 5, 0, 100, 10}, Color(kRed), true);
        renderer->FillRectangle(IntRect{INT_MIN, 0, INT_MAX, 10}, Color(kRed), true);
        renderer->DrawRectangle(IntRect{-INT_MAX, -INT_MAX, INT_MAX, INT_MAX}, Color(kRed), 1e30f);
        renderer->DrawText("far", Sans(12.0f), IntPoint{INT_MAX, INT_MAX}, Color(kRed));
        renderer->SetClipRect(Rect{1e300, 0, 1e300, 10});
        renderer->FillRectangle(IntRect{0, 0, 64, 48}, Color(kRed), true);
        renderer->PopClip();
    });
    EXPECT_EQ(PixelAt(picture, 1, 1), kGreen);
    EXPECT_EQ(PixelAt(picture, 5, 1), kGreen);
    EXPECT_EQ(VxTest::CountPixels(picture, [](std::uint32_t pixel) { return pixel != kTransparent; }), 8);
}

TEST_F(Drawing, RegionFillsLeaveOriginAndClipAsTheyWere)
{
    Vx::ColoredRectList list;
    list.rects.Add(Vx::RectT<float>{0, 0, 4, 4});
    list.colors.Add(kRed);
    list.rects.Add(Vx::RectT<float>{2, 2, 4, 4});
    list.colors.Add(kGreen);
    list.scaleX = 2.0f;
    list.scaleY = 2.0f;

    Point origin;
    Rect clip;
    const juce::Image picture = PaintInClient([&] {
        renderer->PushClip(Rect{0, 0, 64, 48}, Rect{0, 0, 40, 20}, nullptr, false);
        renderer->FillRegion(list, Point{10, 5});
        origin = renderer->GetOrigin();
        clip = renderer->GetClipRect();
        // The clip's right edge is still at 40, not moved by the offset.
        renderer->FillRectangle(IntRect{38, 0, 20, 48}, Color(kBlue), true);
        renderer->PopClip();
    });
    EXPECT_EQ(origin, (Point{0, 0}));
    EXPECT_EQ(clip, (Rect{0, 0, 40, 20}));
    // Drawn from the last rectangle to the first: the first lies on top.
    EXPECT_EQ(PixelAt(picture, 10, 5), kRed);
    EXPECT_EQ(PixelAt(picture, 15, 10), kRed);
    EXPECT_EQ(PixelAt(picture, 20, 15), kGreen);
    EXPECT_EQ(PixelAt(picture, 21, 16), kGreen);
    EXPECT_EQ(PixelAt(picture, 22, 17), kTransparent);
    EXPECT_EQ(PixelAt(picture, 39, 19), kBlue);
    EXPECT_EQ(PixelAt(picture, 40, 5), kTransparent);
    EXPECT_EQ(PixelAt(picture, 39, 20), kTransparent);

    // A rectangle without a colour is not filled.
    list.colors.RemoveSpace(1, 1);
    VxTest::CaptureStderr capture;
    const juce::Image shorter = PaintInClient([&] { renderer->FillRegion(list, Point{0, 0}); });
    EXPECT_NE(capture.Finish().find("JUCE Assertion failure in JUCERenderer.cpp:"), std::string::npos);
    EXPECT_TRUE(OnlyAreaIs(shorter, IntRect{0, 0, 8, 8}, kRed));
}

TEST_F(Drawing, PolylinesStrokeAndFillTheirShapes)
{
    // Two segments of five points: the odd last point is ignored, and the
    // points of different pairs are not joined.
    PolylineT<float> segments = Polyline({{4, 4}, {40, 4}, {4, 20}, {40, 20}, {60, 44}}, 5.0f);
    const juce::Image picture =
        PaintInClient([&] { renderer->DrawLineSegments(segments, Color(kWhite), kNoOffset, kNoScale, true); });
    EXPECT_TRUE(HasInk(picture, IntRect{20, 1, 2, 2}));
    EXPECT_TRUE(HasInk(picture, IntRect{20, 17, 2, 2}));
    EXPECT_FALSE(HasInk(picture, IntRect{18, 10, 6, 4}));
    EXPECT_FALSE(HasInk(picture, IntRect{44, 24, 18, 20}));

    // A polygon is closed back to its first point; a path's sub-path is closed too.
    PolylineT<float> triangle = Polyline({{4, 4}, {40, 4}, {4, 40}});
    for (const bool polygon : {true, false})
    {
        const juce::Image outline = PaintInClient([&] {
            if (polygon)
                renderer->DrawPolygon(triangle, Color(kWhite), kNoOffset, kNoScale, false);
            else
                renderer->DrawPath(triangle, Color(kWhite), kNoOffset, kNoScale, false);
        });
        EXPECT_TRUE(HasInk(outline, IntRect{3, 20, 2, 2}));
        EXPECT_TRUE(HasInk(outline, IntRect{21, 21, 2, 2}));
        EXPECT_FALSE(HasInk(outline, IntRect{10, 10, 4, 4}));
    }

    // Filled at a scale and an offset: exact on whole pixels, and origin and
    // clip are back afterwards.
    PolylineT<float> square = Polyline({{0, 0}, {4, 0}, {4, 4}, {0, 4}});
    Point origin;
    const juce::Image filled = PaintInClient([&] {
        renderer->FillPolygon(square, Color(kGreen), FloatPoint{10, 6}, FloatPoint{2, 3}, true);
        origin = renderer->GetOrigin();
    });
    EXPECT_EQ(origin, (Point{0, 0}));
    EXPECT_TRUE(OnlyAreaIs(filled, IntRect{10, 6, 8, 12}, kGreen));
}

TEST_F(Drawing, PathsAreBuiltOnceUntilThePolylineChanges)
{
    PolylineT<float> square = Polyline({{2, 2}, {10, 2}, {10, 10}, {2, 10}});
    const auto fill = [&](bool keepCached) {
        return PaintInClient([&] { renderer->FillPolygon(square, Color(kRed), kNoOffset, kNoScale, keepCached); });
    };
    EXPECT_TRUE(OnlyAreaIs(fill(true), IntRect{2, 2, 8, 8}, kRed));
    EXPECT_FALSE(square.TakeChanged());

    // Writing through the points does not mark the polyline: the cached path stays.
    for (std::uint32_t i = 0; i < square.GetCount(); ++i)
        square.GetData()[i].x += 30.0f;
    EXPECT_TRUE(OnlyAreaIs(fill(true), IntRect{2, 2, 8, 8}, kRed));

    // A marked change rebuilds it.
    square.SetPoint(0, FloatPoint{32, 2});
    EXPECT_TRUE(OnlyAreaIs(fill(false), IntRect{32, 2, 8, 8}, kRed));

    // Not kept: the next draw builds the path again.
    for (std::uint32_t i = 0; i < square.GetCount(); ++i)
        square.GetData()[i].y += 20.0f;
    EXPECT_TRUE(OnlyAreaIs(fill(true), IntRect{32, 22, 8, 8}, kRed));

    // One polyline drawn in two ways gets the path of each.
    PolylineT<float> shape = Polyline({{2, 2}, {30, 2}, {30, 30}, {2, 30}}, 2.0f);
    const juce::Image both = PaintInClient([&] {
        renderer->DrawLineSegments(shape, Color(kBlue), kNoOffset, kNoScale, true);
        renderer->FillPolygon(shape, Color(kGreen), kNoOffset, kNoScale, true);
    });
    EXPECT_EQ(PixelAt(both, 16, 16), kGreen);
}

TEST_F(Drawing, BitmapsOfTheDestinationSizeAreDrawnUnscaled)
{
    const RCPtr<Vx::LBitmap> source = VxTest::PatternBitmap(20, 20);
    const RCPtr<Vx::LBitmap> part = Vx::LBitmap::CreateSubBitmap(source, IntRect{4, 3, 10, 8});
    for (const std::int32_t type : {0, 1, 2, 7})
    {
        SCOPED_TRACE(type);
        const juce::Image picture = PaintInClient([&] { renderer->DrawBitmap(part, IntRect{5, 6, 10, 8}, type); });
        for (int y = 0; y < 48; ++y)
        {
            for (int x = 0; x < 64; ++x)
            {
                const bool inside = x >= 5 && x < 15 && y >= 6 && y < 14;
                ASSERT_EQ(PixelAt(picture, x, y), inside ? PatternPixel(x - 5 + 4, y - 6 + 3) : kTransparent)
                    << x << ", " << y;
            }
        }
    }
}

TEST_F(Drawing, BitmapsAreFittedByResizeType)
{
    const RCPtr<Vx::LBitmap> tile = VxTest::PatternBitmap(10, 10);
    struct Case
    {
        const char* name;
        std::int32_t type;
        IntRect destination;
        std::function<std::uint32_t(int, int)> expected;
    };
    const Case cases[] = {
        // Centred, unscaled: offsets (15 - 10) / 2 and (13 - 10) / 2, truncated.
        {"centre",
         2,
         {0, 0, 15, 13},
         [](int x, int y) { return x >= 2 && x < 12 && y >= 1 && y < 11 ? PatternPixel(x - 2, y - 1) : kTransparent; }},
        // Cropped when the destination is smaller.
        {"centre cropped",
         2,
         {0, 0, 6, 4},
         [](int x, int y) { return x < 6 && y < 4 ? PatternPixel(x + 2, y + 3) : kTransparent; }},
        // Tiles drawn one by one.
        {"tiles",
         1,
         {0, 0, 25, 10},
         [](int x, int y) { return x < 25 && y < 10 ? PatternPixel(x % 10, y) : kTransparent; }},
        // Four tiles a side and more: one pattern fill, the same pixels.
        {"tile fill",
         1,
         {0, 0, 40, 10},
         [](int x, int y) { return x < 40 && y < 10 ? PatternPixel(x % 10, y) : kTransparent; }},
        // Several rows of tiles, the first cut off above the surface.
        {"tiles in rows",
         1,
         {0, -3, 25, 25},
         [](int x, int y) { return x < 25 && y < 22 ? PatternPixel(x % 10, (y + 3) % 10) : kTransparent; }},
        {"tile fill in rows", 1, {0, -3, 64, 51}, [](int x, int y) { return PatternPixel(x % 10, (y + 3) % 10); }},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const juce::Image picture = PaintInClient([&] { renderer->DrawBitmap(tile, c.destination, c.type); });
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                ASSERT_EQ(PixelAt(picture, x, y), c.expected(x, y)) << x << ", " << y;
    }

    // Stretched: the whole destination covered (JUCE's scaling leaves the
    // last column a trace short of opaque), nothing beyond it.
    const juce::Image stretched = PaintInClient([&] { renderer->DrawBitmap(tile, IntRect{3, 3, 30, 17}, 0); });
    EXPECT_EQ(VxTest::CountPixels(stretched, [](std::uint32_t pixel) { return (pixel >> 24) >= 0xF0; }), 30 * 17);
    EXPECT_EQ(VxTest::CountPixels(stretched, [](std::uint32_t pixel) { return pixel != kTransparent; }), 30 * 17);
}

// Images are copied onto the renderer's surfaces by its own loop: the pixels
// must be JUCE's, for every alpha, under origin and clip.
TEST_F(Drawing, ImagesBlendAsJUCEBlendsThem)
{
    juce::Random random(21);
    const auto randomImage = [&random](int width, int height) {
        juce::Image image(juce::Image::ARGB, width, height, true);
        for (int y = 0; y < height; ++y)
        {
            for (int x = 0; x < width; ++x)
            {
                const int kind = random.nextInt(4);
                const auto alpha = static_cast<juce::uint8>(kind == 0 ? 0 : kind == 1 ? 255 : random.nextInt(256));
                image.setPixelAt(x, y,
                                 juce::Colour(static_cast<juce::uint8>(random.nextInt(256)),
                                              static_cast<juce::uint8>(random.nextInt(256)),
                                              static_cast<juce::uint8>(random.nextInt(256)), alpha));
            }
        }
        return image;
    };
    const auto toBitmap = [](const juce::Image& image) {
        RCPtr<Vx::LBitmap> bitmap =
            Vx::LBitmap::CreateFilled(IntPoint{image.getWidth(), image.getHeight()}, Color(kTransparent + 1u));
        const RCPtr<Vx::LBitmapData> pixels = Vx::LBitmap::GetWritablePixelBuffer(bitmap);
        for (int y = 0; y < image.getHeight(); ++y)
            for (int x = 0; x < image.getWidth(); ++x)
                *pixels->GetPixel(x, y) = static_cast<std::int32_t>(VxTest::RawPixelAt(image, x, y));
        return bitmap;
    };
    const juce::Image background = randomImage(64, 48);
    const juce::Image picture = randomImage(30, 20);
    const RCPtr<Vx::LBitmap> backgroundBitmap = toBitmap(background);
    const RCPtr<Vx::LBitmap> pictureBitmap = toBitmap(picture);
    const RCPtr<LJUCERenderContextInfo> source = MakeContext(IntRect{0, 0, 30, 20}, true);
    Paint(source, [&] { renderer->DrawBitmap(pictureBitmap, IntRect{0, 0, 30, 20}, 0); });

    const auto drawn = [&](const std::function<void()>& draw) {
        return PaintFresh([&] {
            renderer->DrawBitmap(backgroundBitmap, IntRect{0, 0, 64, 48}, 0);
            renderer->PushClip(Rect{0, 0, 64, 48}, Rect{0, 0, 64, 48}, nullptr, false);
            renderer->PushClip(Rect{7, 5, 50, 40}, Rect{7, 5, 30, 36}, nullptr, true);
            draw();
            renderer->PopClip();
            renderer->PopClip();
        });
    };
    juce::Image expected = background.createCopy();
    {
        juce::Graphics graphics(expected);
        graphics.reduceClipRegion(7, 5, 30, 36);
        graphics.setOrigin(7, 5);
        graphics.drawImageAt(picture, -3, 2);
    }
    const juce::Image viaBitmap = drawn([&] { renderer->DrawBitmap(pictureBitmap, IntRect{-3, 2, 30, 20}, 0); });
    const juce::Image viaContext = drawn([&] {
        renderer->DrawRenderContext(source, IntPoint{-3, 2}, IntRect{0, 0, 30, 20});
    });
    for (int y = 0; y < 48; ++y)
    {
        for (int x = 0; x < 64; ++x)
        {
            ASSERT_EQ(VxTest::RawPixelAt(viaBitmap, x, y), VxTest::RawPixelAt(expected, x, y)) << x << ", " << y;
            ASSERT_EQ(VxTest::RawPixelAt(viaContext, x, y), VxTest::RawPixelAt(expected, x, y)) << x << ", " << y;
        }
    }
}

TEST_F(Drawing, AnUnknownResizeTypeThrowsAndCachesNothing)
{
    const RCPtr<Vx::LBitmap> tile = VxTest::PatternBitmap(10, 10);
    const juce::Image picture = PaintInClient([&] {
        VxTest::ExpectExceptionText(VxTest::ThrownText<std::invalid_argument>([&] {
                                        renderer->DrawBitmap(tile, IntRect{0, 0, 20, 20}, 7);
                                    }),
                                    "Invalid Argument", "Invalid ResizeType passed to DrawBitmap.", kRendererSource);
        renderer->DrawBitmap(tile, IntRect{0, 0, 20, 20}, 1);
    });
    EXPECT_EQ(PixelAt(picture, 15, 15), PatternPixel(5, 5));
}

TEST_F(Drawing, PreparedBitmapsAreKeptUntilAPurgePeriodPassesWithoutThem)
{
    constexpr std::uint32_t kPeriod = Vx::LJUCERenderer::kPurgeInterval;
    const RCPtr<Vx::LBitmap> bitmap = VxTest::PatternBitmap(10, 10);
    const RCPtr<Vx::LBitmap> other = VxTest::PatternBitmap(4, 4);
    const auto paint = [&](const RCPtr<Vx::LBitmap>& drawn, const IntRect& destination) {
        return PaintInClient([&] { renderer->DrawBitmap(drawn, destination, 0); });
    };
    EXPECT_EQ(PixelAt(paint(bitmap, IntRect{0, 0, 10, 10}), 5, 5), PatternPixel(5, 5));

    // The same size at another place is the image already prepared.
    *Vx::LBitmap::GetWritablePixelBuffer(bitmap)->GetPixel(5, 5) = static_cast<std::int32_t>(kRed);
    EXPECT_EQ(PixelAt(paint(bitmap, IntRect{30, 20, 10, 10}), 35, 25), PatternPixel(5, 5));

    // The first purge keeps what was used before it.
    sNow += kPeriod + 1;
    paint(other, IntRect{0, 0, 4, 4});
    EXPECT_EQ(PixelAt(paint(bitmap, IntRect{0, 0, 10, 10}), 5, 5), PatternPixel(5, 5));
    // Used since the first purge: kept by the second.
    sNow += kPeriod + 1;
    paint(other, IntRect{0, 0, 4, 4});
    // Not a purge yet: exactly one period since the last.
    sNow += kPeriod;
    paint(other, IntRect{0, 0, 4, 4});
    // Not used since the second purge: the third drops it, and it is prepared again.
    sNow += 1;
    paint(other, IntRect{0, 0, 4, 4});
    EXPECT_EQ(PixelAt(paint(bitmap, IntRect{0, 0, 10, 10}), 5, 5), kRed);
}

TEST_F(Drawing, TheStateFactorIsTheOpacityOfEveryDrawing)
{
    const RCPtr<Vx::LBitmap> bitmap = Vx::LBitmap::CreateFilled(IntPoint{8, 8}, Color(kWhite));
    const RCPtr<LJUCERenderContextInfo> source = MakeContext(IntRect{0, 0, 8, 8}, true);
    Paint(source, [&] { renderer->FillRectangle(IntRect{0, 0, 8, 8}, Color(kWhite), true); });
    Vx::ColoredRectList region;
    region.rects.Add(Vx::RectT<float>{0, 0, 8, 8});
    region.colors.Add(kWhite);
    PolylineT<float> square = Polyline({{0, 0}, {8, 0}, {8, 8}, {0, 8}});
    const RCPtr<LFont> font = Sans(20.0f);

    const std::vector<std::pair<const char*, std::function<void()>>> drawings = {
        {"fill",
         [&] {
             renderer->FillRectangle(IntRect{0, 0, 8, 8}, Color(kWhite), true);
         }},
        {"outline",
         [&] {
             renderer->DrawRectangle(IntRect{0, 0, 8, 8}, Color(kWhite), 3.0f);
         }},
        {"frame",
         [&] {
             renderer->DrawFramedRectangle(IntRect{0, 0, 8, 8}, Color(0x00FFFFFFu), Color(kWhite), 2.0f);
         }},
        {"frame fill",
         [&] {
             renderer->DrawFramedRectangle(IntRect{0, 0, 8, 8}, Color(kWhite), Color(0x00FFFFFFu), 2.0f);
         }},
        {"region",
         [&] {
             renderer->FillRegion(region, Point{1, 1});
         }},
        {"line",
         [&] {
             renderer->DrawLine(FloatPoint{2, 10}, FloatPoint{40, 10}, Color(kWhite), 4.0f);
         }},
        {"polygon", [&] { renderer->FillPolygon(square, Color(kWhite), kNoOffset, kNoScale, true); }},
        {"text",
         [&] {
             renderer->DrawText("Ml", font, IntPoint{2, 2}, Color(kWhite));
         }},
        {"bitmap",
         [&] {
             renderer->DrawBitmap(bitmap, IntRect{0, 0, 8, 8}, 0);
         }},
        {"context",
         [&] {
             renderer->DrawRenderContext(source, IntPoint{4, 4}, IntRect{0, 0, 8, 8});
         }},
    };
    for (const auto& drawing : drawings)
    {
        const std::function<void()>& draw = drawing.second;
        SCOPED_TRACE(drawing.first);
        for (const float factor : {1.0f, 0.5f, 0.0f})
        {
            const juce::Image picture = PaintInClient([&] {
                renderer->PushClip();
                renderer->MultiplyFactor(factor);
                draw();
                renderer->PopClip();
            });
            EXPECT_NEAR(MaxAlpha(picture), 255.0f * factor, 1.0f) << factor;
        }
    }
}

TEST_F(Drawing, FontMetricsRoundUpJUCEsHeights)
{
    // 7.5 points are 10 pixels, 7.65 points 10.2.
    std::int32_t height = 0;
    std::int32_t top = 0;
    std::int32_t descent = 0;
    ASSERT_EQ(renderer->GetFontMetrics(Sans(7.5f), height, top, descent), Vx::VXR_OK);
    EXPECT_EQ(height, 10);
    const juce::Font ten("DejaVu Sans", 10.0f, 0);
    ASSERT_EQ(ten.getTypefacePtr()->getName(), juce::String("DejaVu Sans")) << "fonts-dejavu-core missing?";
    EXPECT_EQ(top, -static_cast<int>(ten.getAscent() + 0.999));
    EXPECT_EQ(descent, static_cast<int>(ten.getDescent() + 0.999));
    EXPECT_LT(top, 0);

    renderer->GetFontMetrics(Sans(7.65f), height, top, descent);
    EXPECT_EQ(height, 11);

    const RCPtr<LFont> font = Sans(12.0f);
    renderer->GetFontMetrics(font, height, top, descent);
    const Vx::RectT<float> box = renderer->MeasureText("Measured text", font);
    EXPECT_EQ(box.x, 0.0f);
    EXPECT_EQ(box.y, static_cast<float>(top));
    EXPECT_EQ(box.height, static_cast<float>(height));
    EXPECT_FLOAT_EQ(box.width, juce::Font("DejaVu Sans", 16.0f, 0).getStringWidthFloat("Measured text"));

    EXPECT_EQ(renderer->MeasureText("", nullptr), (Vx::RectT<float>{0, 0, 0, 0}));
    VxTest::CaptureStderr capture;
    EXPECT_EQ(renderer->MeasureText("x", nullptr), (Vx::RectT<float>{0, 0, 0, 0}));
    EXPECT_EQ(renderer->GetFontMetrics(nullptr, height, top, descent), Vx::VXR_E_INVALIDARG);
    EXPECT_NE(capture.Finish().find("JUCE Assertion failure in JUCERenderer.cpp:"), std::string::npos);
}

TEST_F(Drawing, TextIsDrawnBelowItsPosition)
{
    const RCPtr<LFont> font = Sans(12.0f);
    std::int32_t height = 0;
    std::int32_t top = 0;
    std::int32_t descent = 0;
    renderer->GetFontMetrics(font, height, top, descent);

    // Multi-line text breaks at its line feeds; single-line text stays on one line.
    const auto inkRows = [](const juce::Image& picture) {
        std::vector<bool> rows;
        for (int y = 0; y < picture.getHeight(); ++y)
            rows.push_back(HasInk(picture, IntRect{0, y, picture.getWidth(), 1}));
        return rows;
    };
    context = MakeContext(IntRect{0, 0, 120, 60}, true);
    const std::vector<bool> multi = inkRows(Paint([&] {
        renderer->DrawText("Al\nAl", font, IntPoint{2, 3}, Color(kWhite));
    }));
    context = MakeContext(IntRect{0, 0, 120, 60}, true);
    const std::vector<bool> single = inkRows(Paint([&] {
        renderer->DrawText("Al Al", font, IntPoint{2, 3}, Color(kWhite));
    }));
    const int firstRow = static_cast<int>(std::find(single.begin(), single.end(), true) - single.begin());
    EXPECT_GE(firstRow, 3);
    EXPECT_LE(firstRow, 3 + height / 2);
    EXPECT_EQ(std::count(single.begin() + 3 + height, single.end(), true), 0);
    EXPECT_GT(std::count(multi.begin() + 3 + height, multi.end(), true), 5);

    context = MakeContext(IntRect{0, 0, 160, 64}, true);
    const juce::Image picture = Paint([&] {
        renderer->FillRectangle(IntRect{0, 0, 160, 64}, Color(kWhite), true);
        renderer->DrawText("Renderer 0.5", font, IntPoint{2, 2}, Color(0xFF000000u));
        renderer->DrawText("two\nlines", Sans(10.0f), IntPoint{100, 2}, Color(0xFF2040C0u));
        renderer->PushClip(Rect{0, 0, 160, 64}, Rect{0, 30, 60, 30}, nullptr, false);
        renderer->MultiplyFactor(0.5f);
        renderer->DrawText("Clipped", Sans(16.0f), IntPoint{4, 26}, Color(0xFFC02020u));
        renderer->PopClip();
    });
    VxTest::ExpectMatchesGolden(picture, "text", 24);
}

// Lines of text are laid out once per font and drawn moved: the pixels are
// those of JUCE's own single-line text at the baseline, to the bit.
TEST_F(Drawing, SingleLinesAreJUCEsOwnText)
{
    struct Line
    {
        const char* text;
        float points;
        std::uint32_t colour;
        IntPoint position;
        std::int32_t style = 0;
    };
    // Bold and underlined lines, and spaces that break and one that does not;
    // one line in two colours, which JUCE brightens differently.
    const std::vector<Line> lines = {{"Audio output", 9.0f, 0xFFF0F0F0u, {3, 2}},
                                     {"Audio output", 9.0f, 0xFF202020u, {41, 17}},
                                     {"MIDI loopback", 9.0f, 0x80C04020u, {-7, 30}},
                                     {"Wq 0.5", 14.5f, 0xFF2060F0u, {90, 40}},
                                     {"Audio", 14.5f, 0xFFFFFFFFu, {150, 3}},
                                     {"Pass\xC2\xA0"
                                      "ed",
                                      11.0f,
                                      0xFF000000u,
                                      {100, 20},
                                      1},
                                     {"Under line", 11.0f, 0xFFE0E0E0u, {60, 50}, 4},
                                     // Neighbours whose edges share pixels, and a line
                                     // across the clip's edge.
                                     {"AVAWAY Ty", 17.0f, 0xFFFFE0A0u, {2, 44}, 1},
                                     {"a___b===c", 14.5f, 0xFFFFFFFFu, {80, 26}},
                                     {"Audio output", 9.0f, 0xFFF0F0F0u, {150, 55}}};
    const auto paint = [&](bool viaRenderer) {
        context = MakeContext(IntRect{0, 0, 180, 64}, true);
        return Paint([&] {
            renderer->PushClip(Rect{0, 0, 180, 64}, Rect{0, 0, 180, 64}, nullptr, false);
            renderer->FillRectangle(IntRect{0, 0, 180, 64}, Color(0xFF608060u), true);
            juce::Graphics& graphics = *context->GetGraphics();
            for (int pass = 0; pass < 2; ++pass)
            {
                for (const Line& line : lines)
                {
                    const RCPtr<LFont> font = LFont::GetFont("DejaVu Sans", line.style, line.points);
                    if (viaRenderer)
                    {
                        renderer->DrawText(line.text, font, line.position, Color(line.colour));
                        continue;
                    }
                    std::int32_t height = 0;
                    std::int32_t top = 0;
                    std::int32_t descent = 0;
                    renderer->GetFontMetrics(font, height, top, descent);
                    const juce::Graphics::ScopedSaveState save(graphics);
                    graphics.setColour(juce::Colour(line.colour));
                    graphics.setFont(juce::Font("DejaVu Sans", line.points * 96.0f / 72.0f, line.style));
                    graphics.drawSingleLineText(juce::String::fromUTF8(line.text), line.position.x,
                                                line.position.y + std::abs(top) - 1);
                }
            }
            renderer->PopClip();
        });
    };
    const juce::Image expected = paint(false);
    const juce::Image actual = paint(true);
    for (int y = 0; y < expected.getHeight(); ++y)
        for (int x = 0; x < expected.getWidth(); ++x)
            ASSERT_EQ(VxTest::RawPixelAt(actual, x, y), VxTest::RawPixelAt(expected, x, y)) << x << ", " << y;
}

TEST_F(Drawing, ShapesMatchTheirReference)
{
    PolylineT<float> zigzag = Polyline({{4, 40}, {14, 30}, {24, 40}, {34, 30}});
    PolylineT<float> star = Polyline({{60, 4}, {66, 22}, {50, 10}, {70, 10}, {54, 22}});
    PolylineT<float> segments = Polyline({{80, 4}, {120, 10}, {80, 20}, {120, 14}}, 3.0f);
    const RCPtr<Vx::LBitmap> tile = VxTest::PatternBitmap(6, 6);
    context = MakeContext(IntRect{0, 0, 160, 64}, true);
    const juce::Image picture = Paint([&] {
        renderer->FillRectangle(IntRect{0, 0, 160, 64}, Color(kWhite), true);
        renderer->DrawFramedRectangle(IntRect{2, 2, 40, 24}, Color(0xFFE0E040u), Color(0xFF404040u), 2.0f);
        renderer->DrawLine(FloatPoint{4, 50}, FloatPoint{44, 60}, Color(0xFF0080FFu), 2.5f);
        renderer->DrawPath(zigzag, Color(0xFF008000u), kNoOffset, kNoScale, true);
        renderer->FillPolygon(star, Color(0x80FF0000u), kNoOffset, kNoScale, true);
        renderer->DrawPolygon(star, Color(0xFF800000u), FloatPoint{0, 30}, FloatPoint{1.0f, 1.5f}, true);
        renderer->DrawLineSegments(segments, Color(0xFF000080u), kNoOffset, kNoScale, true);
        renderer->DrawBitmap(tile, IntRect{80, 30, 70, 30}, 1);
    });
    VxTest::ExpectMatchesGolden(picture, "shapes", 8);
}

TEST_F(Drawing, DrawingWithoutAContextDrawsNothing)
{
    PolylineT<float> polyline = Polyline({{0, 0}, {5, 5}});
    const RCPtr<Vx::LBitmap> bitmap = VxTest::PatternBitmap(4, 4);
    const RCPtr<LJUCERenderContextInfo> source = MakeContext(IntRect{0, 0, 8, 8}, true);
    const std::vector<std::function<void()>> drawings = {
        [&] {
            renderer->DrawText("x", Sans(12.0f), IntPoint{0, 0}, Color(kRed));
        },
        [&] {
            renderer->DrawRectangle(IntRect{0, 0, 5, 5}, Color(kRed), 1.0f);
        },
        [&] {
            renderer->FillRectangle(IntRect{0, 0, 5, 5}, Color(kRed), true);
        },
        [&] {
            renderer->DrawFramedRectangle(IntRect{0, 0, 5, 5}, Color(kRed), Color(kRed), 1.0f);
        },
        [&] {
            renderer->FillRegion(Vx::ColoredRectList(), Point{0, 0});
        },
        [&] {
            renderer->DrawLine(FloatPoint{0, 0}, FloatPoint{5, 5}, Color(kRed), 1.0f);
        },
        [&] { renderer->DrawLineSegments(polyline, Color(kRed), kNoOffset, kNoScale, true); },
        [&] { renderer->DrawPath(polyline, Color(kRed), kNoOffset, kNoScale, true); },
        [&] { renderer->DrawPolygon(polyline, Color(kRed), kNoOffset, kNoScale, true); },
        [&] { renderer->FillPolygon(polyline, Color(kRed), kNoOffset, kNoScale, true); },
        [&] {
            EXPECT_EQ(renderer->DrawRenderContext(source, IntPoint{0, 0}, IntRect{0, 0, 8, 8}), Vx::VXR_E_FAIL);
        },
    };
    for (std::size_t i = 0; i < drawings.size(); ++i)
    {
        SCOPED_TRACE(i);
        VxTest::CaptureStderr capture;
        drawings[i]();
        EXPECT_NE(capture.Finish().find("JUCE Assertion failure in JUCERenderer.cpp:"), std::string::npos);
    }

    VxTest::CaptureStderr capture;
    VxTest::ExpectExceptionText(VxTest::ThrownText<std::runtime_error>([&] {
                                    renderer->DrawBitmap(bitmap, IntRect{0, 0, 4, 4}, 0);
                                }),
                                "Runtime Error", "", kRendererSource);
    capture.Finish();
    EXPECT_EQ(MaxAlpha(*context->GetFrontImage()), 0);
}

TEST_F(Drawing, BadShapesAndBitmapsAreRefused)
{
    PolylineT<float> notFinite = Polyline({{0, 0}, {std::numeric_limits<float>::quiet_NaN(), 5}, {5, 5}});
    PolylineT<float> huge = Polyline({{0, 0}, {1e30f, 5}, {5, 5}});
    const RCPtr<Vx::LBitmap> tile = VxTest::PatternBitmap(4, 4);
    const std::vector<std::function<void()>> drawings = {
        [&] { renderer->FillPolygon(notFinite, Color(kRed), kNoOffset, kNoScale, true); },
        [&] { renderer->DrawPolygon(huge, Color(kRed), kNoOffset, kNoScale, true); },
        [&] {
            renderer->DrawPath(huge, Color(kRed), FloatPoint{0, 0}, FloatPoint{1e30f, 1e30f}, true);
        },
        [&] {
            renderer->DrawLine(FloatPoint{0, 0}, FloatPoint{std::numeric_limits<float>::infinity(), 0}, Color(kRed), 1);
        },
        [&] {
            renderer->DrawLine(FloatPoint{0, 0}, FloatPoint{5, 5}, Color(kRed),
                               std::numeric_limits<float>::quiet_NaN());
        },
        [&] {
            renderer->DrawBitmap(nullptr, IntRect{0, 0, 4, 4}, 0);
        },
        [&] {
            renderer->DrawBitmap(RCPtr<Vx::LBitmap>(new Vx::LBitmap()), IntRect{0, 0, 4, 4}, 0);
        },
        [&] {
            renderer->DrawBitmap(tile, IntRect{0, 0, 100000, 100000}, 0);
        },
        [&] {
            renderer->DrawText("x", nullptr, IntPoint{0, 0}, Color(kRed));
        },
    };
    for (std::size_t i = 0; i < drawings.size(); ++i)
    {
        SCOPED_TRACE(i);
        VxTest::CaptureStderr capture;
        const juce::Image picture = PaintInClient(drawings[i]);
        EXPECT_NE(capture.Finish().find("JUCE Assertion failure in JUCERenderer.cpp:"), std::string::npos);
        EXPECT_EQ(MaxAlpha(picture), 0);
    }
    // An empty destination simply draws nothing.
    EXPECT_EQ(MaxAlpha(PaintInClient([&] { renderer->DrawBitmap(tile, IntRect{5, 5, 0, 4}, 0); })), 0);
}
} // namespace
