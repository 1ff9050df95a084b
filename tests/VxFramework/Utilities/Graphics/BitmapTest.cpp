// Bitmaps on JUCE images: the path cache, sub-bitmaps, fills, colourising and
// pixel access, checked on the pixels of image files the tests write.

#include "VxFramework/Utilities/Graphics/Bitmap.h"

#include "VxFramework/ControlBase/Colorizer.h"
#include "tests/support/CaptureStderr.h"

#include <juce_graphics/juce_graphics.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{
using Vx::Color;
using Vx::LBitmap;
using Vx::RCPtr;
using Text = Vx::StringT<char, unsigned short>;
using Rect = Vx::RectT<std::int32_t>;
using Size = Vx::PointT<std::int32_t>;

constexpr float kChannelStep = 1.0f / 255.0f;

Color MakeColor(float red, float green, float blue, float alpha)
{
    Color color;
    color.red = red;
    color.green = green;
    color.blue = blue;
    color.alpha = alpha;
    return color;
}

RCPtr<Vx::LColorizer> Solid(const Color& color)
{
    return RCPtr<Vx::LColorizer>(new Vx::LColorizer("solid", 0, color, 0, 0, 0, 0, Color()));
}

RCPtr<Vx::LColorizer> Gradient(const Color& from, const Color& to)
{
    return RCPtr<Vx::LColorizer>(new Vx::LColorizer("gradient", 1, from, 0, 0, 1, 1, to));
}

RCPtr<Vx::LColorizer> Gradient(std::int32_t type, std::uint32_t from, std::uint32_t to, float startX, float startY,
                               float endX, float endY)
{
    return RCPtr<Vx::LColorizer>(
        new Vx::LColorizer("gradient", type, Color(from), startX, startY, endX, endY, Color(to)));
}

void ExpectColorNear(const Color& actual, const Color& expected, float tolerance = kChannelStep)
{
    EXPECT_NEAR(actual.red, expected.red, tolerance);
    EXPECT_NEAR(actual.green, expected.green, tolerance);
    EXPECT_NEAR(actual.blue, expected.blue, tolerance);
    EXPECT_NEAR(actual.alpha, expected.alpha, tolerance);
}

std::uint32_t RawPixel(const Vx::IPixelBuffer<std::int32_t>& buffer, int x, int y)
{
    return static_cast<std::uint32_t>(*buffer.GetPixel(x, y));
}

// An image whose every pixel tells its position: red = x, green = y, blue 7.
juce::Image PositionImage(juce::Image::PixelFormat format, int width, int height)
{
    juce::Image image(format, width, height, true);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixelAt(x, y, juce::Colour(static_cast<juce::uint8>(x), static_cast<juce::uint8>(y), 7));
    return image;
}

class Bitmaps : public ::testing::Test
{
protected:
    void SetUp() override
    {
        static int sequence = 0;
        mDirectory = std::filesystem::temp_directory_path()
            / ("vx-bitmaps-" + std::to_string(getpid()) + "-" + std::to_string(++sequence));
        std::filesystem::create_directories(mDirectory);
    }

    void TearDown() override { std::filesystem::remove_all(mDirectory); }

    Text Write(const std::string& name, const juce::Image& image)
    {
        const std::string path = (mDirectory / name).string();
        const juce::File file(path);
        file.deleteFile();
        juce::FileOutputStream stream(file);
        EXPECT_TRUE(stream.openedOk());
        bool written = false;
        if (name.ends_with(".jpg"))
        {
            juce::JPEGImageFormat jpeg;
            jpeg.setQuality(1.0f);
            written = jpeg.writeImageToStream(image, stream);
        }
        else
        {
            juce::PNGImageFormat png;
            written = png.writeImageToStream(image, stream);
        }
        EXPECT_TRUE(written);
        stream.flush();
        return Text(path.c_str());
    }

    Text WriteSolid(const std::string& name, juce::Colour colour, int width = 8, int height = 8)
    {
        juce::Image image(juce::Image::ARGB, width, height, true);
        image.clear(image.getBounds(), colour);
        return Write(name, image);
    }

    std::filesystem::path mDirectory;
};

TEST_F(Bitmaps, CachedBitmapIsSharedWhileHeldAndReloadedAfterwards)
{
    const Text path = WriteSolid("part.png", juce::Colours::red);
    RCPtr<LBitmap> first = LBitmap::LoadCached(path);
    ASSERT_FALSE(first.IsNull());
    EXPECT_TRUE(first->IsValid());
    EXPECT_EQ(first->GetRect(), (Rect{0, 0, 8, 8}));
    EXPECT_EQ(first->GetPath(), path);
    EXPECT_EQ(first->GetKey(), path);

    // While held, the cache answers and the file is not read again.
    WriteSolid("part.png", juce::Colours::blue);
    RCPtr<LBitmap> second = LBitmap::LoadCached(path);
    EXPECT_EQ(first, second);
    ExpectColorNear(LBitmap::GetPixelColor(second, 3, 3), MakeColor(1, 0, 0, 1));

    // A sub-bitmap holds its owner, and so the cache entry.
    RCPtr<LBitmap> part = LBitmap::CreateSubBitmap(first, Rect{1, 1, 2, 2});
    first = nullptr;
    second = nullptr;
    EXPECT_EQ(LBitmap::LoadCached(path), part->GetParent());

    // Once nobody holds it, the next load reads the file again.
    part = nullptr;
    const RCPtr<LBitmap> reloaded = LBitmap::LoadCached(path);
    ASSERT_FALSE(reloaded.IsNull());
    ExpectColorNear(LBitmap::GetPixelColor(reloaded, 3, 3), MakeColor(0, 0, 1, 1));
}

TEST_F(Bitmaps, PathsThatGiveNoImageAreRefused)
{
    const std::string notImage = (mDirectory / "notes.png").string();
    juce::File(notImage).replaceWithText("not an image");
    const std::vector<std::string> paths = {"::builtin", (mDirectory / "missing.png").string(), notImage,
                                            mDirectory.string(), ""};
    for (const std::string& path : paths)
    {
        SCOPED_TRACE(path);
        VxTest::CaptureStderr capture;
        EXPECT_TRUE(LBitmap::LoadCached(path.c_str()).IsNull());
        const LBitmap direct(path.c_str(), "key");
        EXPECT_FALSE(direct.IsValid());
        EXPECT_EQ(direct.GetImage(), nullptr);
        EXPECT_NE(capture.Finish().find("Bitmap.cpp"), std::string::npos);
    }
}

// JPEG and PNG files without alpha load as 3-byte pixels in JUCE; pixel access
// reads 4 bytes a pixel, so the last pixel of a row of 4 would overrun them.
TEST_F(Bitmaps, ImagesWithoutAlphaGetFourBytePixels)
{
    juce::Image rgb = PositionImage(juce::Image::RGB, 4, 3);
    juce::Image flat(juce::Image::RGB, 4, 3, true);
    flat.clear(flat.getBounds(), juce::Colour(0x20, 0x80, 0xC0));
    const std::vector<std::pair<Text, bool>> files = {{Write("plain.png", rgb), true},
                                                      {Write("photo.jpg", flat), false}};
    for (const auto& [path, exact] : files)
    {
        SCOPED_TRACE(path.GetCString());
        const RCPtr<LBitmap> bitmap = LBitmap::LoadCached(path);
        ASSERT_FALSE(bitmap.IsNull());
        ASSERT_EQ(bitmap->GetImage()->getFormat(), juce::Image::ARGB);
        const RCPtr<Vx::LBitmapData> pixels = LBitmap::GetPixelBuffer(bitmap);
        ASSERT_EQ(pixels->GetWidth(), 4);
        ASSERT_EQ(pixels->GetHeight(), 3);
        const std::uint32_t last = RawPixel(*pixels, 3, 2);
        EXPECT_EQ(last >> 24, 0xFFu);
        if (exact)
            EXPECT_EQ(last, 0xFF030207u);
        else
            ExpectColorNear(LBitmap::GetPixelColor(bitmap, 3, 2), MakeColor(0x20 / 255.0f, 0x80 / 255.0f,
                                                                             0xC0 / 255.0f, 1),
                            3 * kChannelStep);
    }
}

TEST_F(Bitmaps, SubBitmapsAddressTheirOwnersPixels)
{
    const RCPtr<LBitmap> owner = LBitmap::LoadCached(Write("grid.png", PositionImage(juce::Image::ARGB, 64, 48)));
    ASSERT_FALSE(owner.IsNull());

    const RCPtr<LBitmap> whole = LBitmap::CreateSubBitmap(owner, Rect{3, 3, 0, 5});
    EXPECT_EQ(whole->GetRect(), owner->GetRect());
    EXPECT_EQ(whole->GetParent(), owner);
    EXPECT_EQ(whole->GetImage(), owner->GetImage());

    const RCPtr<LBitmap> outer = LBitmap::CreateSubBitmap(owner, Rect{10, 10, 30, 30});
    const RCPtr<LBitmap> inner = LBitmap::CreateSubBitmap(outer, Rect{5, 5, 8, 4});
    EXPECT_EQ(inner->GetRect(), (Rect{15, 15, 8, 4}));
    EXPECT_EQ(inner->GetParent(), owner);
    EXPECT_TRUE(inner->IsValid());

    const RCPtr<LBitmap> shifted = LBitmap::CreateSubBitmap(owner, Rect{10, 20, 16, 16});
    const RCPtr<Vx::LBitmapData> part = LBitmap::GetPixelBuffer(shifted);
    const RCPtr<Vx::LBitmapData> all = LBitmap::GetPixelBuffer(owner);
    EXPECT_EQ(part->GetWidth(), 16);
    EXPECT_EQ(part->GetHeight(), 16);
    EXPECT_EQ(part->GetLineStride(), all->GetLineStride());
    EXPECT_EQ(part->GetPixel(3, 4), all->GetPixel(13, 24));
    EXPECT_EQ(RawPixel(*part, 3, 4), 0xFF0D1807u);
    ExpectColorNear(LBitmap::GetPixelColor(shifted, 3, 4), MakeColor(13 / 255.0f, 24 / 255.0f, 7 / 255.0f, 1));

    // The owner's buffer of a sub-bitmap covers the owner's whole rectangle.
    const RCPtr<Vx::LBitmapData> ownerPixels = LBitmap::GetOwnerPixelBuffer(inner);
    EXPECT_EQ(ownerPixels->GetWidth(), 64);
    EXPECT_EQ(ownerPixels->GetPixel(0, 0), all->GetPixel(0, 0));
}

// A rectangle reaching outside its parent is reported and cut to it, so that
// pixel access stays inside the image.
TEST_F(Bitmaps, SubRectanglesOutsideTheParentAreClipped)
{
    const RCPtr<LBitmap> owner = LBitmap::CreateFilled(Size{40, 30}, MakeColor(0, 1, 0, 1));
    const RCPtr<LBitmap> middle = LBitmap::CreateSubBitmap(owner, Rect{10, 10, 20, 10});
    struct Case
    {
        const char* name;
        RCPtr<LBitmap> source;
        Rect rect;
        Rect expected;
    };
    const std::vector<Case> cases = {
        {"past the right and bottom", owner, Rect{30, 25, 20, 20}, Rect{30, 25, 10, 5}},
        {"before the left and top", owner, Rect{-5, -8, 10, 10}, Rect{0, 0, 5, 2}},
        {"a sub-bitmap's source past its owner", middle, Rect{25, 15, 10, 10}, Rect{35, 25, 5, 5}},
        {"wholly outside", owner, Rect{100, 100, 5, 5}, Rect{40, 30, 0, 0}},
    };
    for (const Case& row : cases)
    {
        SCOPED_TRACE(row.name);
        VxTest::CaptureStderr capture;
        const RCPtr<LBitmap> sub = LBitmap::CreateSubBitmap(row.source, row.rect);
        EXPECT_NE(capture.Finish().find("Bitmap.cpp"), std::string::npos);
        ASSERT_FALSE(sub.IsNull());
        EXPECT_EQ(sub->GetRect(), row.expected);
        EXPECT_EQ(sub->GetParent(), owner);

        VxTest::CaptureStderr quiet;
        const RCPtr<Vx::LBitmapData> pixels = LBitmap::GetPixelBuffer(sub);
        EXPECT_EQ(pixels->GetWidth(), row.expected.width);
        EXPECT_EQ(pixels->GetHeight(), row.expected.height);
        for (int y = 0; y < pixels->GetHeight(); ++y)
            for (int x = 0; x < pixels->GetWidth(); ++x)
                EXPECT_EQ(RawPixel(*pixels, x, y), 0xFF00FF00u);
        quiet.Finish();
    }
}

TEST_F(Bitmaps, NothingIsMadeOfAnEmptyBitmap)
{
    const RCPtr<LBitmap> empty(new LBitmap());
    EXPECT_FALSE(empty->IsValid());
    VxTest::CaptureStderr capture;
    EXPECT_TRUE(LBitmap::CreateSubBitmap(empty, Rect{0, 0, 1, 1}).IsNull());
    EXPECT_TRUE(LBitmap::CreateSubBitmap(nullptr, Rect{0, 0, 1, 1}).IsNull());
    EXPECT_TRUE(LBitmap::DuplicateImage(empty).IsNull());
    ExpectColorNear(LBitmap::GetPixelColor(empty, 0, 0), Color());
    const RCPtr<Vx::LBitmapData> pixels = LBitmap::GetPixelBuffer(empty);
    EXPECT_EQ(pixels->GetWidth(), 0);
    EXPECT_EQ(pixels->GetHeight(), 0);
    EXPECT_EQ(pixels->GetPixel(0, 0), nullptr);
    EXPECT_EQ(LBitmap::GetPixelBuffer(nullptr)->GetPixel(0, 0), nullptr);
    EXPECT_NE(capture.Finish().find("Bitmap.cpp"), std::string::npos);
}

TEST_F(Bitmaps, FilledBitmapsHoldExactlyTheColour)
{
    // Half-transparent fills must not blend with what the new memory held.
    for (int round = 0; round < 3; ++round)
    {
        const RCPtr<LBitmap> bitmap = LBitmap::CreateFilled(Size{33, 17}, MakeColor(1, 0.5f, 0, 0.5f));
        EXPECT_EQ(bitmap->GetRect(), (Rect{0, 0, 33, 17}));
        const RCPtr<Vx::LBitmapData> pixels = LBitmap::GetPixelBuffer(bitmap);
        const std::uint32_t first = RawPixel(*pixels, 0, 0);
        EXPECT_EQ(first >> 24, 0x80u);
        for (int y = 0; y < 17; ++y)
            for (int x = 0; x < 33; ++x)
                ASSERT_EQ(RawPixel(*pixels, x, y), first);
        ExpectColorNear(LBitmap::GetPixelColor(bitmap, 32, 16), MakeColor(1, 0.5f, 0, 0.5f), 2 * kChannelStep);
    }
}

TEST_F(Bitmaps, BadSizesAndFillsThrow)
{
    const RCPtr<Vx::LColorizer> red = Solid(MakeColor(1, 0, 0, 1));
    const RCPtr<Vx::LColorizer> ramp = Gradient(MakeColor(1, 0, 0, 1), MakeColor(0, 0, 1, 1));
    const RCPtr<LBitmap> source = LBitmap::CreateFilled(Size{4, 4}, MakeColor(0, 0, 0, 1));
    struct Case
    {
        const char* name;
        std::function<void()> call;
        const char* kind;
    };
    const std::vector<Case> cases = {
        {"filled, zero width",
         [] {
             LBitmap::CreateFilled(Size{0, 5}, Color());
         },
         "Runtime Error"},
        {"filled, negative height",
         [] {
             LBitmap::CreateFilled(Size{5, -1}, Color());
         },
         "Runtime Error"},
        {"filled, too large",
         [] {
             LBitmap::CreateFilled(Size{1 << 20, 1 << 20}, Color());
         },
         "Runtime Error"},
        {"colorizer, zero size",
         [&] {
             LBitmap::CreateFromColorizer(red, Size{0, 0}, 1);
         },
         "Runtime Error"},
        {"colorizer, null",
         [] {
             LBitmap::CreateFromColorizer(nullptr, Size{2, 2}, 1);
         },
         "Runtime Error"},
        {"colorizer, unknown kind",
         [] {
             LBitmap::CreateFromColorizer(Gradient(7, 0xFF000000u, 0xFFFFFFFFu, 0, 0, 1, 1), Size{2, 2}, 1);
         },
         "Domain Error"},
        {"gradient, zero height",
         [&] {
             LBitmap::CreateFromColorizer(ramp, Size{2, 0}, 1);
         },
         "Runtime Error"},
        {"gradient, too large",
         [&] {
             LBitmap::CreateFromColorizer(ramp, Size{1 << 20, 1 << 20}, 1);
         },
         "Runtime Error"},
        {"gradient, point not finite",
         [] {
             LBitmap::CreateFromColorizer(Gradient(2, 0xFF000000u, 0xFFFFFFFFu, 0.5f, 0.5f, INFINITY, 0.5f), Size{2, 2},
                                          1);
         },
         "Domain Error"},
        {"colorize, null bitmap", [&] { LBitmap::Colorize(nullptr, red, 1); }, "Runtime Error"},
        {"colorize, null colorizer", [&] { LBitmap::Colorize(source, nullptr, 1); }, "Runtime Error"},
        {"colorize, gradient", [&] { LBitmap::Colorize(source, ramp, 1); }, "Domain Error"},
        {"colorized, two sources",
         [&] {
             LBitmap::CreateColorized(red, Size{2, 2}, source, 1, source);
         },
         "Domain Error"},
    };
    for (const Case& row : cases)
    {
        SCOPED_TRACE(row.name);
        try
        {
            row.call();
            ADD_FAILURE() << "no exception";
        }
        catch (const std::exception& error)
        {
            const std::string text = error.what();
            EXPECT_EQ(text.rfind(row.kind, 0), 0u) << text;
            EXPECT_NE(text.find("Bitmap.cpp : Line "), std::string::npos) << text;
        }
    }
    // The gradient refused above left the source alone.
    ExpectColorNear(LBitmap::GetPixelColor(source, 1, 1), MakeColor(0, 0, 0, 1));
}

TEST_F(Bitmaps, ColorizedBitmapsFromColorizersAndSources)
{
    const Color blue = MakeColor(0, 0, 1, 1);
    // Without a source: the fill, its alpha scaled by the amount.
    const RCPtr<LBitmap> half = LBitmap::CreateColorized(Solid(blue), Size{6, 5}, nullptr, 0.5f, nullptr);
    EXPECT_EQ(half->GetRect(), (Rect{0, 0, 6, 5}));
    ExpectColorNear(LBitmap::GetPixelColor(half, 5, 4), MakeColor(0, 0, 1, 0.5f), 2 * kChannelStep);

    // A gradient between equal colours is a solid fill.
    const RCPtr<LBitmap> flat = LBitmap::CreateFromColorizer(Gradient(blue, blue), Size{2, 2}, 1);
    ExpectColorNear(LBitmap::GetPixelColor(flat, 1, 1), blue);

    // With one source: a colourised copy; the source keeps its pixels.
    const RCPtr<LBitmap> owner = LBitmap::CreateFilled(Size{20, 20}, MakeColor(1, 0, 0, 1));
    const RCPtr<LBitmap> part = LBitmap::CreateSubBitmap(owner, Rect{5, 5, 4, 4});
    for (const bool asSecond : {false, true})
    {
        SCOPED_TRACE(asSecond ? "second" : "first");
        const RCPtr<LBitmap> copy = asSecond ? LBitmap::CreateColorized(Solid(blue), Size{}, nullptr, 1, part)
                                             : LBitmap::CreateColorized(Solid(blue), Size{}, part, 1, nullptr);
        EXPECT_TRUE(copy->GetParent().IsNull());
        EXPECT_NE(copy->GetImage(), owner->GetImage());
        EXPECT_EQ(copy->GetRect(), part->GetRect());
        ExpectColorNear(LBitmap::GetPixelColor(copy, 0, 0), blue);
        ExpectColorNear(LBitmap::GetPixelColor(owner, 5, 5), MakeColor(1, 0, 0, 1));
    }
}

// Gradient fills: each pixel takes the colour at its centre, interpolated
// premultiplied, channels rounded half away from zero.  Green 200 to red 200
// over four pixels gives 25, 75, 125 and 175 at the centres.
TEST_F(Bitmaps, GradientFillsColourEachPixelAtItsCentre)
{
    constexpr std::uint32_t kGreen = 0xFF00C800u;
    constexpr std::uint32_t kRed = 0xFFC80000u;
    constexpr std::uint32_t kOneEighth = 0xFF19AF00u; // red 25, green 175
    constexpr std::uint32_t kThreeEighths = 0xFF4B7D00u;
    constexpr std::uint32_t kMiddle = 0xFF646400u;
    constexpr std::uint32_t kFiveEighths = 0xFF7D4B00u;
    constexpr std::uint32_t kSevenEighths = 0xFFAF1900u;
    constexpr std::int32_t kLinear = Vx::LColorizer::kLinearGradient;
    constexpr std::int32_t kRadial = Vx::LColorizer::kRadialGradient;
    struct Probe
    {
        int x;
        int y;
        std::uint32_t pixel; // premultiplied, as stored
    };
    struct Case
    {
        const char* name;
        RCPtr<Vx::LColorizer> colorizer;
        Size size;
        float amount;
        std::vector<Probe> probes;
    };
    const std::vector<Case> cases = {
        {"downwards",
         Gradient(kLinear, kGreen, kRed, 0, 0, 0, 1),
         Size{3, 4},
         1,
         {{0, 0, kOneEighth}, {2, 1, kThreeEighths}, {1, 2, kFiveEighths}, {2, 3, kSevenEighths}}},
        {"upwards",
         Gradient(kLinear, kGreen, kRed, 0, 1, 0, 0),
         Size{3, 4},
         1,
         {{0, 0, kSevenEighths}, {2, 1, kFiveEighths}, {1, 2, kThreeEighths}, {2, 3, kOneEighth}}},
        {"rightwards",
         Gradient(kLinear, kGreen, kRed, 0, 0, 1, 0),
         Size{4, 2},
         1,
         {{0, 1, kOneEighth}, {3, 0, kSevenEighths}}},
        {"leftwards",
         Gradient(kLinear, kGreen, kRed, 1, 0, 0, 0),
         Size{4, 2},
         1,
         {{0, 1, kSevenEighths}, {3, 0, kOneEighth}}},
        // Lines across the direction share a colour; the middle one is half way.
        {"diagonal",
         Gradient(kLinear, kGreen, kRed, 0, 0, 1, 1),
         Size{4, 4},
         1,
         {{0, 0, kOneEighth}, {3, 0, kMiddle}, {1, 2, kMiddle}, {0, 3, kMiddle}, {3, 3, kSevenEighths}}},
        // Before the start and beyond the end the colours go on unchanged.
        {"shorter than the fill",
         Gradient(kLinear, kGreen, kRed, 0.25f, 0, 0.75f, 0),
         Size{8, 1},
         1,
         {{0, 0, kGreen}, {2, 0, kOneEighth}, {5, 0, kSevenEighths}, {7, 0, kRed}}},
        // Centre at the middle pixel's centre, radius 4.5: the start colour
        // there, the end colour in the corners, two pixels off 2 / 4.5 of the way.
        {"radial",
         Gradient(kRadial, kGreen, kRed, 0.5f, 0.5f, 1, 0.5f),
         Size{9, 9},
         1,
         {{4, 4, kGreen}, {0, 0, kRed}, {8, 8, kRed}, {6, 4, 0xFF596F00u}, {4, 2, 0xFF596F00u}}},
        // Transparent to opaque white at half the alpha, premultiplied: an
        // eighth of the way gives 16 in every channel, not a darker grey.
        {"into transparency",
         Gradient(kLinear, 0x00000000u, 0xFFFFFFFFu, 0, 0, 1, 0),
         Size{4, 1},
         0.5f,
         {{0, 0, 0x10101010u}, {3, 0, 0x70707070u}}},
        {"no alpha left", Gradient(kLinear, kGreen, kRed, 0, 0, 1, 0), Size{4, 1}, 0, {{0, 0, 0u}, {3, 0, 0u}}},
        {"amount not a number", Gradient(kRadial, kGreen, kRed, 0, 0, 1, 0), Size{4, 1}, NAN, {{0, 0, 0u}, {3, 0, 0u}}},
        // One pixel across the direction, or along it.
        {"one pixel", Gradient(kLinear, kGreen, kRed, 0, 0, 0, 1), Size{1, 1}, 1, {{0, 0, kMiddle}}},
        {"one row, downwards",
         Gradient(kLinear, kGreen, kRed, 0, 0, 0, 1),
         Size{5, 1},
         1,
         {{0, 0, kMiddle}, {4, 0, kMiddle}}},
        {"one column, downwards",
         Gradient(kLinear, kGreen, kRed, 0, 0, 0, 1),
         Size{1, 4},
         1,
         {{0, 0, kOneEighth}, {0, 3, kSevenEighths}}},
        {"one pixel, radial", Gradient(kRadial, kGreen, kRed, 0.5f, 0.5f, 1, 1), Size{1, 1}, 1, {{0, 0, kGreen}}},
        // Start and end in one place: every pixel lies at the end or beyond.
        {"no length",
         Gradient(kLinear, kGreen, kRed, 0.5f, 0.5f, 0.5f, 0.5f),
         Size{3, 3},
         1,
         {{0, 0, kRed}, {1, 1, kRed}}},
        {"no radius",
         Gradient(kRadial, kGreen, kRed, 0.5f, 0.5f, 0.5f, 0.5f),
         Size{3, 3},
         1,
         {{0, 0, kRed}, {1, 1, kRed}}},
    };
    for (const Case& row : cases)
    {
        SCOPED_TRACE(row.name);
        const RCPtr<LBitmap> bitmap = LBitmap::CreateColorized(row.colorizer, row.size, nullptr, row.amount, nullptr);
        ASSERT_TRUE(bitmap->IsValid());
        EXPECT_EQ(bitmap->GetRect(), (Rect{0, 0, row.size.x, row.size.y}));
        const RCPtr<Vx::LBitmapData> pixels = LBitmap::GetPixelBuffer(bitmap);
        for (const Probe& probe : row.probes)
            EXPECT_EQ(RawPixel(*pixels, probe.x, probe.y), probe.pixel)
                << std::hex << "at " << std::dec << probe.x << ", " << probe.y;
    }
}

// Turned round, a gradient draws the mirror image, pixel for pixel, at even
// and odd sizes.
TEST_F(Bitmaps, AGradientTurnedRoundIsItsMirrorImage)
{
    for (const int length : {6, 7, 255})
    {
        for (const bool vertical : {false, true})
        {
            SCOPED_TRACE(std::to_string(length) + (vertical ? " high" : " wide"));
            const Size size = vertical ? Size{2, length} : Size{length, 2};
            const float endX = vertical ? 0.0f : 1.0f;
            const float endY = vertical ? 1.0f : 0.0f;
            const RCPtr<LBitmap> forth = LBitmap::CreateFromColorizer(
                Gradient(Vx::LColorizer::kLinearGradient, 0xFF102030u, 0x80F0E0D0u, 0, 0, endX, endY), size, 1);
            const RCPtr<LBitmap> back = LBitmap::CreateFromColorizer(
                Gradient(Vx::LColorizer::kLinearGradient, 0xFF102030u, 0x80F0E0D0u, endX, endY, 0, 0), size, 1);
            const RCPtr<Vx::LBitmapData> a = LBitmap::GetPixelBuffer(forth);
            const RCPtr<Vx::LBitmapData> b = LBitmap::GetPixelBuffer(back);
            for (int i = 0; i < length; ++i)
            {
                const int j = length - 1 - i;
                ASSERT_EQ(vertical ? RawPixel(*a, 1, i) : RawPixel(*a, i, 1),
                          vertical ? RawPixel(*b, 0, j) : RawPixel(*b, j, 0))
                    << i;
            }
        }
    }
}

// Colourising moves every pixel of the rectangle toward the colour and keeps
// its alpha; the stored pixels stay valid premultiplied ARGB.
TEST_F(Bitmaps, ColorizeKeepsAlphaAndPremultipliedPixels)
{
    juce::Image image(juce::Image::ARGB, 3, 1, true);
    image.setPixelAt(0, 0, juce::Colour(0xFF204060u));
    image.setPixelAt(1, 0, juce::Colour(0x80204060u));
    image.setPixelAt(2, 0, juce::Colour(0x00000000u));
    const Text path = Write("alpha.png", image);
    const Color white = MakeColor(1, 1, 1, 1);

    // amount, and the proportion of the way to the colour it means
    const std::vector<std::pair<float, float>> amounts = {{0.0f, 0.0f}, {-1.0f, 0.0f}, {0.5f, 0.5f},
                                                          {1.0f, 1.0f}, {4.0f, 1.0f}};
    for (const auto& [amount, t] : amounts)
    {
        SCOPED_TRACE(amount);
        const RCPtr<LBitmap> bitmap = LBitmap::DuplicateImage(LBitmap::LoadCached(path));
        EXPECT_EQ(LBitmap::Colorize(bitmap, Solid(white), amount), bitmap);

        const auto toward = [t = t](int channel) { return channel / 255.0f + (1.0f - channel / 255.0f) * t; };
        ExpectColorNear(LBitmap::GetPixelColor(bitmap, 0, 0), MakeColor(toward(0x20), toward(0x40), toward(0x60), 1),
                        1.5f * kChannelStep);
        EXPECT_NEAR(LBitmap::GetPixelColor(bitmap, 1, 0).alpha, 0x80 / 255.0f, kChannelStep);
        EXPECT_NEAR(LBitmap::GetPixelColor(bitmap, 2, 0).alpha, 0.0f, kChannelStep);

        const RCPtr<Vx::LBitmapData> pixels = LBitmap::GetPixelBuffer(bitmap);
        for (int x = 0; x < 3; ++x)
        {
            const std::uint32_t p = RawPixel(*pixels, x, 0);
            const std::uint32_t alpha = p >> 24;
            EXPECT_LE((p >> 16) & 0xFFu, alpha) << x;
            EXPECT_LE((p >> 8) & 0xFFu, alpha) << x;
            EXPECT_LE(p & 0xFFu, alpha) << x;
        }
    }

    // Full strength on the half-transparent pixel gives the colour at its alpha.
    const RCPtr<LBitmap> bitmap = LBitmap::DuplicateImage(LBitmap::LoadCached(path));
    LBitmap::Colorize(bitmap, Solid(MakeColor(1, 0.5f, 0, 0.25f)), 1);
    ExpectColorNear(LBitmap::GetPixelColor(bitmap, 1, 0), MakeColor(1, 0.5f, 0, 0x80 / 255.0f), 3 * kChannelStep);
}

TEST_F(Bitmaps, ColorizeChangesOnlyTheBitmapsRectangle)
{
    const RCPtr<LBitmap> owner = LBitmap::CreateFilled(Size{10, 10}, MakeColor(0, 0, 0, 1));
    const RCPtr<LBitmap> part = LBitmap::CreateSubBitmap(owner, Rect{2, 3, 4, 5});
    LBitmap::Colorize(part, Solid(MakeColor(0, 1, 0, 1)), 1);
    for (int y = 0; y < 10; ++y)
    {
        for (int x = 0; x < 10; ++x)
        {
            const bool inside = x >= 2 && x < 6 && y >= 3 && y < 8;
            ExpectColorNear(LBitmap::GetPixelColor(owner, x, y), MakeColor(0, inside ? 1.0f : 0.0f, 0, 1));
        }
    }
}

TEST_F(Bitmaps, WritablePixelsReachTheImage)
{
    const RCPtr<LBitmap> owner = LBitmap::CreateFilled(Size{8, 8}, MakeColor(0, 0, 0, 1));
    const RCPtr<LBitmap> part = LBitmap::CreateSubBitmap(owner, Rect{4, 2, 2, 2});
    {
        const RCPtr<Vx::LBitmapData> pixels = LBitmap::GetWritablePixelBuffer(part);
        *pixels->GetPixel(1, 1) = static_cast<std::int32_t>(0xFFFF8000u);
    }
    ExpectColorNear(LBitmap::GetPixelColor(owner, 5, 3), MakeColor(1, 0x80 / 255.0f, 0, 1));
}

class ExternalPixels : public Vx::LPixelBuffer<std::int32_t>
{
public:
    std::int32_t GetWidth() const override { return 1; }
    std::int32_t GetHeight() const override { return 1; }
    std::int32_t GetLineStride() const override { return 4; }
    std::int32_t* GetPixel(std::int32_t, std::int32_t) override { return &mPixel; }
    const std::int32_t* GetPixel(std::int32_t, std::int32_t) const override { return &mPixel; }

private:
    std::int32_t mPixel = 0;
};

TEST_F(Bitmaps, ExternalPixelBuffersAreRefusedWithoutLeaks)
{
    const RCPtr<LBitmap> bitmap = LBitmap::CreateFilled(Size{2, 2}, Color());
    const RCPtr<Vx::LPixelBuffer<std::int32_t>> external(new ExternalPixels());
    EXPECT_THROW(LBitmap::GetWritablePixelBuffer(bitmap, external), std::domain_error);
    // The half-built buffer let go of both again.
    EXPECT_EQ(bitmap->GetRefCount(), 1u);
    EXPECT_EQ(external->GetRefCount(), 1u);
}
} // namespace
