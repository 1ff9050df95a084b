// Visual parts: what a part becomes when built, how it draws and what colour
// it answers at a point, and the descriptor's cache of its part.

#include "VxFramework/ControlBase/VisualPart.h"

#include "tests/VxFramework/ControlBase/LookTestSupport.h"
#include "tests/VxFramework/Renderer/JUCE/JUCERenderingSupport.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{
using Vx::Color;
using Vx::LBitmap;
using Vx::LVisualPart;
using Vx::LVisualPartDescriptor;
using Vx::RCPtr;
using VxTest::IntRect;
using VxTest::IntSize;
using FloatPoint = Vx::PointT<float>;
using IntPoint = Vx::PointT<std::int32_t>;

// Parts draw and sample through JUCE images; JUCE's shared objects go at the end.
class JuceCleanUp : public ::testing::Environment
{
public:
    void TearDown() override { juce::DeletedAtShutdown::deleteAll(); }
};
[[maybe_unused]] ::testing::Environment* const kJuceCleanUp = ::testing::AddGlobalTestEnvironment(new JuceCleanUp);

const std::string kPartSource = "VxFramework/ControlBase/VisualPart.cpp";
const std::string kBitmapSource = "VxFramework/Utilities/Graphics/Bitmap.cpp";
constexpr std::uint32_t kNothing = LVisualPart::kNothing;

RCPtr<LVisualPart> ColourPart(std::uint32_t argb, IntSize size, std::int32_t resizeType = LVisualPart::kStretch,
                              float alphaModulation = 1.0f)
{
    return RCPtr<LVisualPart>(
        new LVisualPart("colour", nullptr, resizeType, alphaModulation, VxTest::Solid(argb), size, nullptr));
}

RCPtr<LVisualPart> BitmapPart(const RCPtr<LBitmap>& bitmap, std::int32_t resizeType)
{
    return RCPtr<LVisualPart>(new LVisualPart("bitmap", bitmap, resizeType, 1.0f, nullptr,
                                              IntSize{bitmap->GetWidth(), bitmap->GetHeight()}, nullptr));
}

// A part whose colorizer is swapped after it was built: states that building
// never leaves (a colour part with a gradient or an unknown colorizer).
class RecolouredPart : public LVisualPart
{
public:
    RecolouredPart(const RCPtr<Vx::LColorizer>& colorizer, IntSize size)
        : LVisualPart("recoloured", nullptr, kStretch, 1.0f, VxTest::Solid(0xFFFFFFFFu), size, nullptr)
    {
        mColorizer = colorizer;
    }
};

std::string SourceText(const LVisualPart& part, IntPoint point)
{
    return VxTest::ThrownText<std::runtime_error>([&] { part.GetSourcePixel(point); });
}

class VisualPartDrawing : public VxTest::JUCERendering
{
protected:
    // On a new, transparent context.
    juce::Image Draw(const LVisualPart& part, FloatPoint size)
    {
        context = MakeContext(IntRect{0, 0, 64, 48}, true);
        return Paint([&] { EXPECT_EQ(part.Draw(renderer, size), 0); });
    }
};

TEST(VisualPart, BuildingMakesEveryPartABitmapOrASolidColour)
{
    const RCPtr<LBitmap> picture = VxTest::PatternBitmap(6, 4);
    const RCPtr<LBitmap> mask = LBitmap::CreateFilled(IntSize{5, 5}, Color(0x80FFFFFFu));

    // A bitmap part takes the bitmap's size, after an assertion when the
    // given size differs.
    {
        VxTest::CaptureStderr capture;
        const LVisualPart part("p", picture, LVisualPart::kTile, 1.0f, nullptr, IntSize{9, 9}, nullptr);
        EXPECT_EQ(VxTest::CountAssertions(capture.Finish(), kPartSource), 1);
        EXPECT_EQ(part.GetSize(), (IntSize{6, 4}));
        EXPECT_EQ(part.GetBitmap().Get(), picture.Get());
    }
    // A solid colour alone stays a colour part.
    EXPECT_TRUE(ColourPart(0xFF112233u, {3, 3})->GetBitmap().IsNull());

    // With a bitmap the colorizer colours a copy, leaving the skin's image alone.
    const LVisualPart tinted("t", picture, LVisualPart::kStretch, 1.0f, VxTest::Solid(0xFF0000FFu), IntSize{6, 4},
                             nullptr);
    ASSERT_FALSE(tinted.GetBitmap().IsNull());
    EXPECT_NE(tinted.GetBitmap().Get(), picture.Get());
    EXPECT_EQ(tinted.GetSourcePixel({2, 1}), 0xFF0000FFu);
    EXPECT_EQ(LBitmap::GetPixelColor(picture, 2, 1).ToARGB(), VxTest::PatternPixel(2, 1));

    // A mask gives the colour its shape.
    const LVisualPart masked("m", nullptr, LVisualPart::kStretch, 1.0f, VxTest::Solid(0xFF00FF00u), IntSize{5, 5},
                             mask);
    ASSERT_FALSE(masked.GetBitmap().IsNull());
    EXPECT_EQ(masked.GetSourcePixel({4, 4}), 0x8000FF00u);

    // A gradient always becomes a bitmap: sampling reads it.
    const LVisualPart flat("g", nullptr, LVisualPart::kStretch, 0.5f,
                           VxTest::Gradient(Vx::LColorizer::kRadialGradient, 0xFF804020u, 0xFF804020u), IntSize{4, 4},
                           nullptr);
    ASSERT_FALSE(flat.GetBitmap().IsNull());
    EXPECT_EQ(flat.GetSourcePixel({3, 3}) >> 24, 0x80u);
}

TEST(VisualPart, AColorizerWithBothABitmapAndAMaskMakesNoPart)
{
    const RCPtr<LBitmap> picture = VxTest::PatternBitmap(4, 4);
    const std::string text = VxTest::ThrownText<std::domain_error>([&] {
        const LVisualPart part("p", picture, LVisualPart::kStretch, 1.0f, VxTest::Solid(0xFF000000u), IntSize{4, 4},
                               picture);
    });
    VxTest::ExpectExceptionText(text, "Domain Error", "", kBitmapSource);

    // Without a colorizer the mask is kept and not applied.
    const LVisualPart plain("p", picture, LVisualPart::kStretch, 1.0f, nullptr, IntSize{4, 4}, picture);
    EXPECT_EQ(plain.GetBitmap().Get(), picture.Get());
}

TEST_F(VisualPartDrawing, ColourPartsFillWithTheirAlphaModulated)
{
    // 0.5 alpha at 0.5 modulation: a quarter.
    const juce::Image quarter = Draw(*ColourPart(0x80FFFFFFu, {4, 4}, LVisualPart::kStretch, 0.5f), {20, 10});
    EXPECT_EQ(VxTest::AlphaAt(quarter, 0, 0), 0x40);
    EXPECT_EQ(VxTest::AlphaAt(quarter, 19, 9), 0x40);
    EXPECT_EQ(VxTest::AlphaAt(quarter, 20, 0), 0);
    EXPECT_EQ(ColourPart(0x80FFFFFFu, {4, 4}, LVisualPart::kStretch, 0.5f)->GetSourcePixel({0, 0}), 0x40FFFFFFu);

    EXPECT_EQ(VxTest::CountPixels(Draw(*ColourPart(0xFFFFFFFFu, {4, 4}, LVisualPart::kStretch, 0.0f), {20, 10}),
                                  [](std::uint32_t pixel) { return pixel != 0; }),
              0);

    // Centred: the part's own size in the middle, halves truncated.
    EXPECT_TRUE(VxTest::OnlyAreaIs(Draw(*ColourPart(VxTest::kRed, {10, 10}, LVisualPart::kCenter), {25, 25}),
                                   IntRect{7, 7, 10, 10}, VxTest::kRed));
    // Tiled and stretched colours cover the size, rounded to whole pixels.
    EXPECT_TRUE(VxTest::OnlyAreaIs(Draw(*ColourPart(VxTest::kRed, {10, 10}, LVisualPart::kTile), {12.5f, 3.4f}),
                                   IntRect{0, 0, 13, 3}, VxTest::kRed));
}

TEST_F(VisualPartDrawing, BitmapPartsAreDrawnAtTheSizeAndResizeType)
{
    const RCPtr<LBitmap> tile = VxTest::PatternBitmap(10, 10);
    const juce::Image tiled = Draw(*BitmapPart(tile, LVisualPart::kTile), {25, 12});
    EXPECT_EQ(VxTest::PixelAt(tiled, 13, 11), VxTest::PatternPixel(3, 1));
    EXPECT_EQ(VxTest::PixelAt(tiled, 25, 0), VxTest::kTransparent);
}

TEST_F(VisualPartDrawing, AColourPartWithoutColorizerCannotBeDrawnOrSampled)
{
    const LVisualPart part("bare", nullptr, LVisualPart::kStretch, 1.0f, nullptr, IntSize{4, 4}, nullptr);
    Paint([&] {
        VxTest::ExpectExceptionText(VxTest::ThrownText<std::runtime_error>([&] {
                                        part.Draw(renderer, {4, 4});
                                    }),
                                    "Runtime Error", "", kPartSource);
    });
    VxTest::ExpectExceptionText(SourceText(part, {1, 1}), "Runtime Error", "", kPartSource);
    // Outside the part nothing is asked of the colorizer.
    EXPECT_EQ(part.GetSourcePixel({4, 0}), kNothing);
}

TEST(VisualPart, ColourPartsThatAreNotSolidCannotBeSampled)
{
    const RecolouredPart linear(VxTest::Gradient(Vx::LColorizer::kLinearGradient, 0xFF000000u, 0xFFFFFFFFu), {4, 4});
    VxTest::ExpectExceptionText(SourceText(linear, {0, 0}), "Runtime Error", "", kPartSource);

    const RecolouredPart unknown(VxTest::Gradient(7, 0xFF000000u, 0xFF000000u), {4, 4});
    VxTest::CaptureStderr capture;
    VxTest::ExpectExceptionText(SourceText(unknown, {0, 0}), "Runtime Error", "", kPartSource);
    EXPECT_EQ(VxTest::CountAssertions(capture.Finish(), kPartSource), 1);
}

TEST_F(VisualPartDrawing, AGradientColourPartIsDrawnInItsFirstColour)
{
    const RecolouredPart part(VxTest::Gradient(Vx::LColorizer::kLinearGradient, VxTest::kGreen, VxTest::kBlue), {4, 4});
    VxTest::CaptureStderr capture;
    EXPECT_TRUE(VxTest::OnlyAreaIs(Draw(part, {6, 6}), IntRect{0, 0, 6, 6}, VxTest::kGreen));
    EXPECT_EQ(VxTest::CountAssertions(capture.Finish(), kPartSource), 1);
}

// Gradient parts are bitmaps: drawn at their own size pixel for pixel, and
// stretched like any bitmap part.  The picture holds a diagonal ramp at its
// own size, a radial fade into transparency stretched to twice its width and a
// vertical strip one pixel wide stretched across the bottom.
TEST_F(VisualPartDrawing, GradientPartsMatchTheirPicture)
{
    const auto gradientPart = [](std::int32_t type, std::uint32_t from, std::uint32_t to, FloatPoint start,
                                 FloatPoint end, IntSize size) {
        const RCPtr<Vx::LColorizer> colorizer(
            new Vx::LColorizer("gradient", type, Color(from), start.x, start.y, end.x, end.y, Color(to)));
        return RCPtr<LVisualPart>(
            new LVisualPart("gradient", nullptr, LVisualPart::kStretch, 1.0f, colorizer, size, nullptr));
    };
    const RCPtr<LVisualPart> ramp =
        gradientPart(Vx::LColorizer::kLinearGradient, VxTest::kRed, VxTest::kBlue, {0, 0}, {1, 1}, IntSize{32, 24});
    const RCPtr<LVisualPart> fade = gradientPart(Vx::LColorizer::kRadialGradient, VxTest::kWhite, 0x00000000u,
                                                 {0.5f, 0.5f}, {1, 0.5f}, IntSize{16, 24});
    const RCPtr<LVisualPart> strip =
        gradientPart(Vx::LColorizer::kLinearGradient, 0xFF262C33u, 0xFFA0B0C0u, {0, 0}, {0, 1}, IntSize{1, 8});
    for (const RCPtr<LVisualPart>& part : {ramp, fade, strip})
        ASSERT_FALSE(part->GetBitmap().IsNull());

    context = MakeContext(IntRect{0, 0, 64, 48}, true);
    const juce::Image picture = Paint([&] {
        // Each part inside its own rectangle, as a look places it.
        const auto drawAt = [&](const LVisualPart& part, const Vx::RectT<double>& bounds) {
            const Vx::ScopedRenderClip clip(RCPtr<Vx::LRenderer>(renderer), bounds, bounds, nullptr);
            part.Draw(renderer, FloatPoint{static_cast<float>(bounds.width), static_cast<float>(bounds.height)});
        };
        drawAt(*ramp, {0, 0, 32, 24});
        drawAt(*fade, {32, 0, 32, 24});
        drawAt(*strip, {0, 24, 64, 24});
    });
    // The ramp's corners are the part's own pixels, 0.0175 of the way from
    // each end: (0.5 * 32 + 0.5 * 24) / (32 * 32 + 24 * 24).
    for (const IntPoint corner : {IntPoint{0, 0}, IntPoint{31, 23}})
        EXPECT_EQ(VxTest::PixelAt(picture, corner.x, corner.y), ramp->GetSourcePixel(corner));
    EXPECT_EQ(ramp->GetSourcePixel({0, 0}), 0xFFFB0004u);
    EXPECT_EQ(ramp->GetSourcePixel({31, 23}), 0xFF0400FBu);
    EXPECT_EQ(fade->GetSourcePixel({0, 0}), 0u) << "the corners lie beyond the radius";
    VxTest::ExpectMatchesGolden(picture, "gradient-parts", 8);
}

// The colour answered at a point of a part drawn at a size.
struct SampleCase
{
    const char* name;
    std::int32_t resizeType;
    IntSize partSize;
    FloatPoint size;
    FloatPoint point;
    // The source pixel read, or none for 0x00ffffff.
    bool reads;
    IntPoint source;
};

TEST(VisualPart, SamplingFollowsTheResizeType)
{
    const std::vector<SampleCase> cases = {
        {"own size: the rounded point", LVisualPart::kStretch, {10, 10}, {10, 10}, {2.5f, 3.49f}, true, {3, 3}},
        {"own size, before the left edge", LVisualPart::kTile, {10, 10}, {10, 10}, {-0.5f, 3}, false, {}},
        {"outside the drawn area", LVisualPart::kStretch, {10, 10}, {20, 20}, {20, 3}, false, {}},
        {"tiled", LVisualPart::kTile, {10, 6}, {35, 20}, {23.4f, 13.6f}, true, {3, 2}},
        {"centred", LVisualPart::kCenter, {10, 10}, {30, 20}, {14.6f, 9.4f}, true, {5, 4}},
        {"centred, off the part", LVisualPart::kCenter, {10, 10}, {30, 20}, {4, 9}, false, {}},
        {"stretched larger: truncated", LVisualPart::kStretch, {10, 10}, {40, 20}, {39.9f, 19.9f}, true, {9, 9}},
        {"narrowed on one axis: one sample", LVisualPart::kStretch, {100, 100}, {50, 200}, {7, 9}, true, {14, 4}},
    };
    const RCPtr<LBitmap> bitmap = VxTest::PatternBitmap(100, 100);
    for (const SampleCase& row : cases)
    {
        SCOPED_TRACE(row.name);
        const RCPtr<LBitmap> source =
            LBitmap::CreateSubBitmap(bitmap, Vx::RectT<std::int32_t>{0, 0, row.partSize.x, row.partSize.y});
        const RCPtr<LVisualPart> part = BitmapPart(source, row.resizeType);
        const std::uint32_t expected = row.reads ? VxTest::PatternPixel(row.source.x, row.source.y) : kNothing;
        EXPECT_EQ(part->GetPixel(row.point, row.size), expected);
    }
}

TEST(VisualPart, ANarrowedPartAnswersTheFirstSampleThatShows)
{
    // A 100 x 100 part at 50 x 50: each pixel covers a 2 x 2 block, read
    // column by column.
    RCPtr<LBitmap> bitmap = LBitmap::CreateFilled(IntSize{100, 100}, Color(0x00000000u));
    const RCPtr<Vx::LBitmapData> pixels = LBitmap::GetWritablePixelBuffer(bitmap);
    *pixels->GetPixel(21, 10) = static_cast<std::int32_t>(0xFF0000FFu);
    *pixels->GetPixel(20, 11) = static_cast<std::int32_t>(0xFF00FF00u);
    const RCPtr<LVisualPart> part = BitmapPart(bitmap, LVisualPart::kStretch);
    EXPECT_EQ(part->GetPixel({10, 5}, {50, 50}), 0xFF00FF00u) << "the first column comes first";
    // None shows: the last sample read, transparent.
    EXPECT_EQ(part->GetPixel({30, 30}, {50, 50}) >> 24, 0u);
    // A block that runs past the part's edge finds nothing beyond it.
    EXPECT_EQ(part->GetPixel({49.9f, 49.9f}, {50, 50}), kNothing);
}

TEST(VisualPart, AnUnknownResizeTypeCannotBeSampledAtAnotherSize)
{
    const RCPtr<LVisualPart> part = ColourPart(VxTest::kRed, {4, 4}, 9);
    EXPECT_EQ(part->GetPixel({1, 1}, {4, 4}), VxTest::kRed) << "its own size needs no resizing";
    VxTest::ExpectExceptionText(VxTest::ThrownText<std::runtime_error>([&] {
                                    part->GetPixel({1, 1}, {8, 8});
                                }),
                                "Runtime Error", "", kPartSource);
}

TEST(VisualPart, TheDescriptorKeepsItsPartWhileSomebodyElseDoes)
{
    const RCPtr<LVisualPartDescriptor> descriptor = VxTest::ColourPart(VxTest::Solid(0xFF102030u), {6, 2});
    {
        const RCPtr<LVisualPart> part = descriptor->GetVisualPart();
        ASSERT_FALSE(part.IsNull());
        EXPECT_EQ(descriptor->GetVisualPart().Get(), part.Get());
        EXPECT_EQ(part->GetDescriptor().Get(), descriptor.Get());
        EXPECT_EQ(part->GetSize(), (IntSize{6, 2}));
        EXPECT_EQ(part->GetSourcePixel({5, 1}), 0xFF102030u);
        // This holder and the cache, whose reference is the contained one.
        EXPECT_EQ(part->GetRefCount(), 2u);
        EXPECT_EQ(part->GetContainedRefCount(), 1u);
        EXPECT_EQ(descriptor->GetRefCount(), 2u) << "the part's back reference";
        EXPECT_TRUE(descriptor->TakeVisualPart(nullptr).IsNull()) << "only the cached part is taken out";
    }
    // Released by its last holder, the part left the cache and was destroyed,
    // letting go of the descriptor; the next request builds a new one.
    EXPECT_EQ(descriptor->GetRefCount(), 1u);
    const RCPtr<LVisualPart> again = descriptor->GetVisualPart();
    ASSERT_FALSE(again.IsNull());
    EXPECT_EQ(again->GetContainedRefCount(), 1u);
    EXPECT_EQ(descriptor->GetRefCount(), 2u);
}

TEST(VisualPart, DescriptorsBuildPartsFromTheirFiles)
{
    const juce::File dir = juce::File::createTempFile("visual-parts");
    ASSERT_TRUE(dir.createDirectory());
    const juce::File file = dir.getChildFile("strip.png");
    {
        juce::FileOutputStream stream(file);
        ASSERT_TRUE(
            juce::PNGImageFormat().writeImageToStream(VxTest::PatternBitmap(16, 8)->GetImage()->createCopy(), stream));
    }
    const std::string path = file.getFullPathName().toStdString();

    // The image cut to the descriptor's rectangle.
    Vx::BitmapSource image = VxTest::ImageFile(path, 4, 3);
    image.x = 10;
    image.y = 5;
    const RCPtr<LVisualPartDescriptor> cut(
        new LVisualPartDescriptor("cut", image, {4, 3}, LVisualPart::kStretch, nullptr, 1.0f, Vx::BitmapSource()));
    const RCPtr<LVisualPart> part = cut->GetVisualPart();
    ASSERT_FALSE(part.IsNull());
    EXPECT_EQ(part->GetSize(), (IntSize{4, 3}));
    EXPECT_EQ(part->GetSourcePixel({1, 2}), VxTest::PatternPixel(11, 7));

    // No image and no colorizer: no part.  A file that gives no picture: no
    // part, after an assertion.
    const RCPtr<LVisualPartDescriptor> empty(new LVisualPartDescriptor(
        "none", Vx::BitmapSource(), {4, 3}, LVisualPart::kStretch, nullptr, 1.0f, Vx::BitmapSource()));
    EXPECT_TRUE(empty->GetVisualPart().IsNull());
    for (const bool asMask : {false, true})
    {
        SCOPED_TRACE(asMask ? "mask" : "image");
        const Vx::BitmapSource missing =
            VxTest::ImageFile(dir.getChildFile("missing.png").getFullPathName().toStdString(), 4, 3);
        const RCPtr<LVisualPartDescriptor> broken(
            new LVisualPartDescriptor("broken", asMask ? Vx::BitmapSource() : missing, {4, 3}, LVisualPart::kStretch,
                                      VxTest::Solid(0xFF000000u), 1.0f, asMask ? missing : Vx::BitmapSource()));
        VxTest::CaptureStderr capture;
        EXPECT_TRUE(broken->GetVisualPart().IsNull());
        EXPECT_EQ(VxTest::CountAssertions(capture.Finish(), "VxFramework/ControlBase/SkinDescriptors.cpp"), 1);
    }

    // A colorizer with image and mask: the domain error reaches the caller,
    // and nothing is cached.
    const RCPtr<LVisualPartDescriptor> both(new LVisualPartDescriptor("both", VxTest::ImageFile(path, 4, 3), {4, 3},
                                                                      LVisualPart::kStretch, VxTest::Solid(0xFF000000u),
                                                                      1.0f, VxTest::ImageFile(path, 4, 3)));
    EXPECT_THROW(both->GetVisualPart(), std::domain_error);
    EXPECT_THROW(both->GetVisualPart(), std::domain_error);
    dir.deleteRecursively();
}
} // namespace
