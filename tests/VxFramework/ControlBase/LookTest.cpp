// Looks: where the parts of a look lie for a size, which colour it shows at a
// point, and what its three drawing passes put on a JUCE surface, limited to
// the dirty region, the look's region and the renderer's clip.

#include "VxFramework/ControlBase/Look.h"

#include "VxFramework/Renderer/Renderer.h"
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
using Vx::DockInfo;
using Vx::LLook;
using Vx::LLookDescriptor;
using Vx::LVisualPart;
using Vx::RCPtr;
using Vx::RgnLight;
using VxTest::IntRect;
using VxTest::IntSize;
using IntPoint = Vx::PointT<std::int32_t>;
using Point = Vx::PointT<double>;
using Rect = Vx::RectT<double>;

const std::string kLookSource = "VxFramework/ControlBase/Look.cpp";
constexpr std::uint32_t kNothing = LVisualPart::kNothing;

RCPtr<LLook> MakeLook(const RCPtr<LLookDescriptor>& descriptor, IntSize size, bool wordWrap = false)
{
    RCPtr<LLook> look;
    EXPECT_EQ(LLook::Create(descriptor, wordWrap, look), Vx::VXR_OK);
    look->SetSize(size);
    return look;
}

// A look whose client part is a colour at the offsets, with docked parts.
RCPtr<LLookDescriptor> ColourLook(std::uint32_t client, const DockInfo& offsets,
                                  const std::vector<RCPtr<Vx::LDockedPart>>& docked = {})
{
    const RCPtr<LLookDescriptor> look = LLookDescriptor::Create("look");
    look->SetClientPart(VxTest::Docked(VxTest::ColourPart(VxTest::Solid(client), {1, 1}), offsets));
    for (const RCPtr<Vx::LDockedPart>& part : docked)
        look->AddNonClientPart(part);
    return look;
}

RgnLight Region(std::initializer_list<IntRect> rects)
{
    RgnLight region;
    for (const IntRect& rect : rects)
        region.UnionRect(rect);
    return region;
}

// The smallest rectangle of the pixels with ink (alpha at least 64).
IntRect InkBounds(const juce::Image& image)
{
    int left = image.getWidth();
    int top = image.getHeight();
    int right = -1;
    int bottom = -1;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            if (VxTest::AlphaAt(image, x, y) >= 64)
            {
                left = std::min(left, x);
                top = std::min(top, y);
                right = std::max(right, x);
                bottom = std::max(bottom, y);
            }
    return right < 0 ? IntRect{0, 0, 0, 0} : IntRect{left, top, right - left + 1, bottom - top + 1};
}

// A look placed on a 64 x 48 surface at `at`, as a control paints it.
class LookDrawing : public VxTest::JUCERendering
{
protected:
    juce::Image DrawAt(IntPoint at, IntSize size, const std::function<void()>& body)
    {
        context = MakeContext(IntRect{0, 0, 64, 48}, true);
        return Paint([&] {
            const Rect bounds{static_cast<double>(at.x), static_cast<double>(at.y), static_cast<double>(size.x),
                              static_cast<double>(size.y)};
            const Vx::ScopedRenderClip push(renderer, bounds, bounds, nullptr);
            body();
        });
    }

    const RgnLight everything = Region({IntRect{0, 0, 64, 48}});
};

TEST(Look, DockedPartsArePlacedAgainstTheEdges)
{
    struct Case
    {
        const char* name;
        IntSize partSize;
        DockInfo dock;
        IntRect expected;
    };
    DockInfo sized = VxTest::Dock(8);
    sized.hasWidth = true;
    sized.width = 30;
    sized.hasHeight = true;
    sized.height = 6;
    const Case cases[] = {
        {"left edge", {10, 40}, VxTest::Dock(1), {0, 0, 10, 40}},
        {"right edge, inset", {10, 40}, VxTest::Dock(4, 0, 0, -2), {88, 0, 10, 40}},
        {"no edge: centred both ways", {11, 20}, VxTest::Dock(0), {44, 10, 11, 20}},
        {"wider than the look: halves truncated", {101, 40}, VxTest::Dock(0), {0, 0, 101, 40}},
        {"left and right: stretched", {10, 40}, VxTest::Dock(1 | 4, 3, 0, -3), {3, 0, 94, 40}},
        {"top and bottom, centred across", {10, 8}, VxTest::Dock(2 | 8, 0, 5, 0, -5), {45, 5, 10, 30}},
        {"the dock's own size", {10, 40}, sized, {35, 34, 30, 6}},
        {"offsets beyond the look", {10, 40}, VxTest::Dock(1 | 2, 150, -60), {150, -60, 10, 40}},
    };
    for (const Case& row : cases)
    {
        SCOPED_TRACE(row.name);
        const RCPtr<LLook> look = MakeLook(
            ColourLook(0xFF000000u, VxTest::Dock(15),
                       {VxTest::Docked(VxTest::ColourPart(VxTest::Solid(0xFF00FF00u), row.partSize), row.dock)}),
            {100, 40});
        ASSERT_EQ(look->GetNonClientRects().GetCount(), 1u);
        EXPECT_EQ(look->GetNonClientRects()[0], row.expected);
        EXPECT_EQ(look->GetNonClientParts()[0]->GetSize(), row.partSize);
    }
}

TEST(Look, TheColourAtAPointComesFromTheFirstPartThatShowsThere)
{
    const RCPtr<LLook> look = MakeLook(
        ColourLook(0xFFFF0000u, VxTest::Dock(15, 0, 0, 0, 0),
                   {VxTest::Docked(VxTest::ColourPart(VxTest::Solid(0x000000FFu), {10, 40}), VxTest::Dock(1)),
                    VxTest::Docked(VxTest::ColourPart(VxTest::Solid(0xFF0000FFu), {10, 40}), VxTest::Dock(4)),
                    VxTest::Docked(VxTest::ColourPart(VxTest::Solid(0xFF00FF00u), {10, 40}), VxTest::Dock(4))}),
        {100, 40});
    EXPECT_EQ(look->GetPixel({5, 5}), 0xFFFF0000u) << "a transparent docked part shows the client part";
    EXPECT_EQ(look->GetPixel({95, 5}), 0xFF0000FFu) << "the first docked part in order";
    EXPECT_EQ(look->GetPixel({50, 40}), 0x00FFFFFFu) << "outside the look";

    // A client bitmap shows over the client part where it is not transparent.
    RCPtr<Vx::LBitmap> picture = Vx::LBitmap::CreateFilled(IntSize{100, 40}, Color(0x00000000u));
    *Vx::LBitmap::GetWritablePixelBuffer(picture)->GetPixel(50, 20) = static_cast<std::int32_t>(0xFF00FF00u);
    EXPECT_EQ(look->SetClientBitmap(picture, LVisualPart::kStretch, true), Vx::VXR_OK);
    EXPECT_EQ(look->GetPixel({50, 20}), 0xFF00FF00u);
    EXPECT_EQ(look->GetPixel({50, 21}), 0xFFFF0000u) << "sampled even when the bitmap replaces it";
}

TEST(Look, ClientBitmapsAndTextForegroundPartsAreSetByTheControl)
{
    const RCPtr<LLook> look = MakeLook(ColourLook(0xFFFF0000u, VxTest::Dock(15, 2, 2, -2, -2)), {20, 10});
    const RCPtr<Vx::LBitmap> picture = VxTest::PatternBitmap(16, 6);
    EXPECT_EQ(look->SetClientBitmap(nullptr, LVisualPart::kStretch, false), 1) << "there was none";
    EXPECT_EQ(look->SetClientBitmap(picture, LVisualPart::kCenter, false), Vx::VXR_OK);
    ASSERT_FALSE(look->GetClientBitmapPart().IsNull());
    EXPECT_EQ(look->GetClientBitmapPart()->GetResizeType(), LVisualPart::kCenter);
    EXPECT_EQ(look->GetClientBitmapPart()->GetBitmap().Get(), picture.Get());
    EXPECT_EQ(look->SetClientBitmap(nullptr, LVisualPart::kStretch, false), Vx::VXR_OK);
    EXPECT_TRUE(look->GetClientBitmapPart().IsNull());

    VxTest::CaptureStderr capture;
    EXPECT_EQ(look->SetTextForegroundPart(nullptr), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(VxTest::CountAssertions(capture.Finish(), kLookSource), 1);
    const RCPtr<LVisualPart> white = VxTest::ColourPart(VxTest::Solid(0xFFFFFFFFu), {1, 1})->GetVisualPart();
    EXPECT_EQ(look->SetTextForegroundPart(white), Vx::VXR_OK);
    EXPECT_EQ(look->GetTextForegroundPart().Get(), white.Get());
}

TEST(Look, APartThatCannotBeBuiltLeavesTheLookAsItWas)
{
    const RCPtr<LLook> look = MakeLook(ColourLook(0xFFFF0000u, VxTest::Dock(15, 1, 1, -1, -1)), {20, 10});
    const RCPtr<LLookDescriptor> before = look->GetDescriptor();

    // A colour laid over both an image and a mask.
    const std::string dir = VX_LOOK_FIXTURE_DIR;
    const RCPtr<Vx::LVisualPartDescriptor> both(new Vx::LVisualPartDescriptor(
        "both", VxTest::ImageFile(dir + "/edge.png", 4, 16), {4, 16}, LVisualPart::kStretch, VxTest::Solid(0xFF000000u),
        1.0f, VxTest::ImageFile(dir + "/edge.png", 4, 16)));
    const RCPtr<LLookDescriptor> broken =
        ColourLook(0xFF00FF00u, VxTest::Dock(15), {VxTest::Docked(both, VxTest::Dock(1))});
    EXPECT_THROW(look->SetDescriptor(broken, false), std::domain_error);
    EXPECT_EQ(look->GetDescriptor().Get(), before.Get());
    EXPECT_EQ(look->GetClientRect(), (IntRect{1, 1, 18, 8}));
    EXPECT_EQ(look->GetNonClientParts().GetCount(), 0u);
    EXPECT_EQ(look->GetPixel({5, 5}), 0xFFFF0000u);
}

// Measures every byte `advance` pixels wide; lines are 20 high.
class FixedAdvance : public Vx::LMeasurementRenderer
{
public:
    Vx::VxRESULT GetFontMetrics(const RCPtr<Vx::LFont>&, std::int32_t& height, std::int32_t& top,
                                std::int32_t& descent) override
    {
        height = 20;
        top = -16;
        descent = 4;
        return Vx::VXR_OK;
    }
    Vx::RectT<float> MeasureText(const VxTest::Text& text, const RCPtr<Vx::LFont>&) override
    {
        return Vx::RectT<float>{0.0f, -16.0f, advance * static_cast<float>(text.GetLength()), 20.0f};
    }
    float advance = 10.0f;
};

TEST(Look, TextIsLaidOutInTheTextAreaAndKeptUntilSomethingItDependsOnChanges)
{
    const RCPtr<FixedAdvance> measure(new FixedAdvance());
    const VxTest::ScopedMeasurementRenderer installed(measure);
    const RCPtr<LLookDescriptor> descriptor = ColourLook(0xFF000000u, VxTest::Dock(15));
    Vx::LLookDescriptor::TextArea area = VxTest::WholeTextArea(0.0f, 0.0f);
    area.leftAbs = 5;
    area.rightAbs = -5;
    descriptor->SetTextArea(area, VxTest::ColourPart(VxTest::Solid(0xFFFFFFFFu), {1, 1}));
    const RCPtr<LLook> look = MakeLook(descriptor, {60, 50}, true);
    // A font of its own: fonts keep the metrics they were first measured with.
    look->SetFont(Vx::LFont::GetFont("Fixed Advance", 0, 10.0f));
    EXPECT_EQ(look->SetText("aa bb cc"), 1);
    const RCPtr<Vx::LFontText> text = look->GetText();
    EXPECT_EQ(text->GetBoxSize(), (IntSize{50, 50}));
    EXPECT_EQ(text->GetLineCount(), 2u) << "\"aa bb\" fits in 50";
    EXPECT_EQ(text->GetLineText(1), "cc");

    // Wider glyphs from here on: only what discards the lines breaks them anew.
    measure->advance = 30.0f;
    Vx::LLookDescriptor::TextArea centred = area;
    centred.horizontalAlignment = 0.5f;
    centred.verticalAlignment = 1.0f;
    const RCPtr<LLookDescriptor> moved = ColourLook(0xFF000000u, VxTest::Dock(15));
    moved->SetTextArea(centred, descriptor->GetTextForegroundPart());
    look->SetDescriptor(moved, true);
    ASSERT_EQ(text->GetLineCount(), 2u) << "an alignment keeps the lines";
    EXPECT_EQ(text->GetLineRect(1), (Vx::RectT<float>{-5.0f, 30.0f, 60.0f, 20.0f})) << "but places them again";
    EXPECT_EQ(look->SetText("aa bb cc"), 0) << "the same text";
    EXPECT_EQ(text->GetLineCount(), 2u);
    look->SetSize({61, 50});
    EXPECT_EQ(text->GetLineCount(), 3u) << "a new width breaks them again";
}

TEST_F(LookDrawing, PartsAreDrawnInTheirRectanglesWhereDirty)
{
    const RCPtr<LLook> look = MakeLook(
        ColourLook(VxTest::kRed, VxTest::Dock(15, 2, 2, -2, -2),
                   {VxTest::Docked(VxTest::ColourPart(VxTest::Solid(VxTest::kGreen), {4, 30}), VxTest::Dock(1))}),
        {40, 30});
    const auto drawBoth = [&](const RgnLight& dirty) {
        return DrawAt({10, 5}, {40, 30}, [&] {
            EXPECT_EQ(look->DrawClientPart(renderer, dirty), 0);
            EXPECT_EQ(look->DrawNonClientParts(renderer, dirty), 0);
        });
    };
    const juce::Image all = drawBoth(everything);
    EXPECT_EQ(VxTest::PixelAt(all, 12, 7), VxTest::kGreen) << "docked parts over the client part";
    EXPECT_EQ(VxTest::PixelAt(all, 14, 7), VxTest::kRed);
    EXPECT_EQ(VxTest::PixelAt(all, 47, 32), VxTest::kRed);
    EXPECT_EQ(VxTest::PixelAt(all, 48, 32), VxTest::kTransparent);
    EXPECT_EQ(VxTest::PixelAt(all, 14, 6), VxTest::kTransparent);

    // Only the dirty rectangles, in the context's coordinates.
    EXPECT_TRUE(VxTest::OnlyAreaIs(drawBoth(Region({IntRect{20, 0, 6, 20}})), IntRect{20, 7, 6, 13}, VxTest::kRed));

    // With a region the look paints only inside it, in its own coordinates.
    look->GetRegion().UnionRect(IntRect{0, 0, 8, 8});
    const juce::Image regional = drawBoth(Region({IntRect{12, 0, 30, 30}}));
    EXPECT_EQ(VxTest::PixelAt(regional, 13, 6), VxTest::kGreen);
    EXPECT_EQ(VxTest::PixelAt(regional, 17, 12), VxTest::kRed);
    EXPECT_EQ(VxTest::PixelAt(regional, 11, 6), VxTest::kTransparent) << "not dirty";
    EXPECT_EQ(VxTest::PixelAt(regional, 18, 12), VxTest::kTransparent) << "outside the region";
    EXPECT_EQ(VxTest::PixelAt(regional, 17, 13), VxTest::kTransparent) << "outside the region";
}

TEST_F(LookDrawing, ALookWithoutClientPartHasNoClientToDrawOrSample)
{
    const RCPtr<LLookDescriptor> descriptor = LLookDescriptor::Create("bare");
    descriptor->AddNonClientPart(
        VxTest::Docked(VxTest::ColourPart(VxTest::Solid(VxTest::kBlue), {10, 10}), VxTest::Dock(1 | 2)));
    const RCPtr<LLook> look = MakeLook(descriptor, {40, 20});
    EXPECT_EQ(look->GetClientRect(), (IntRect{0, 0, 40, 20})) << "laid out as if its offsets were 0";
    EXPECT_TRUE(look->GetClientPart().IsNull());
    EXPECT_EQ(look->GetPixel({5, 5}), VxTest::kBlue);
    EXPECT_EQ(look->GetPixel({20, 15}), kNothing);
    const juce::Image drawn = DrawAt({0, 0}, {40, 20}, [&] {
        EXPECT_EQ(look->DrawClientPart(renderer, everything), 0);
        EXPECT_EQ(look->DrawNonClientParts(renderer, everything), 0);
    });
    EXPECT_TRUE(VxTest::OnlyAreaIs(drawn, IntRect{0, 0, 10, 10}, VxTest::kBlue));
}

TEST_F(LookDrawing, TheRenderersClipLimitsEveryPart)
{
    const RCPtr<LLook> look = MakeLook(ColourLook(VxTest::kRed, VxTest::Dock(15)), {40, 30});
    const juce::Image clipped = DrawAt({10, 5}, {40, 30}, [&] {
        const Vx::ScopedRenderClip inner(renderer, Rect{0, 0, 40, 30}, Rect{5, 5, 10, 10}, nullptr);
        look->DrawClientPart(renderer, everything);
    });
    EXPECT_TRUE(VxTest::OnlyAreaIs(clipped, IntRect{15, 10, 10, 10}, VxTest::kRed));
}

TEST_F(LookDrawing, AClientBitmapIsDrawnOverOrInsteadOfTheClientPart)
{
    const RCPtr<LLook> look = MakeLook(ColourLook(VxTest::kRed, VxTest::Dock(15)), {20, 10});
    look->SetClientBitmap(VxTest::PatternBitmap(20, 10), LVisualPart::kStretch, false);
    VxTest::CaptureStderr capture;
    look->SetClientBitmap(VxTest::PatternBitmap(4, 4), LVisualPart::kCenter, false);
    EXPECT_EQ(VxTest::CountAssertions(capture.Finish(), "VxFramework/ControlBase/VisualPart.cpp"), 1)
        << "a bitmap of another size than the client rectangle";
    const juce::Image over = DrawAt({0, 0}, {20, 10}, [&] { look->DrawClientPart(renderer, everything); });
    EXPECT_EQ(VxTest::PixelAt(over, 0, 0), VxTest::kRed);
    EXPECT_EQ(VxTest::PixelAt(over, 9, 4), VxTest::PatternPixel(1, 1));

    look->SetClientBitmap(VxTest::PatternBitmap(20, 10), LVisualPart::kStretch, true);
    look->SetClientBitmap(VxTest::PatternBitmap(4, 4), LVisualPart::kCenter, true);
    const juce::Image instead = DrawAt({0, 0}, {20, 10}, [&] { look->DrawClientPart(renderer, everything); });
    EXPECT_EQ(VxTest::PixelAt(instead, 0, 0), VxTest::kTransparent);
    EXPECT_EQ(VxTest::PixelAt(instead, 9, 4), VxTest::PatternPixel(1, 1));
}

class TextDrawing : public LookDrawing
{
protected:
    void SetUp() override
    {
        LookDrawing::SetUp();
        measurement = std::make_unique<VxTest::ScopedMeasurementRenderer>(renderer);
        const RCPtr<LLookDescriptor> descriptor = ColourLook(0xFF000000u, VxTest::Dock(15));
        Vx::LLookDescriptor::TextArea area = VxTest::WholeTextArea(0.0f, 0.0f);
        area.topAbs = 10;
        area.leftAbs = 4;
        descriptor->SetTextArea(area, VxTest::ColourPart(VxTest::Solid(0xFFFFFFFFu), {1, 1}));
        look = MakeLook(descriptor, {60, 40});
        look->SetFont(Vx::LFont::GetFont("DejaVu Sans", 0, 12.0f));
        look->SetText("Ml");
    }
    void TearDown() override
    {
        look = nullptr;
        measurement.reset();
        LookDrawing::TearDown();
    }

    juce::Image DrawText(const RgnLight& dirty, Point offset = {0, 0})
    {
        return DrawAt({0, 0}, {60, 40}, [&] { EXPECT_EQ(look->DrawTextForeground(renderer, dirty, offset), 0); });
    }

    // Throws the domain error of a text-foreground part that is not a solid colour.
    std::string DomainErrorOf(const RgnLight& dirty)
    {
        std::string text;
        DrawAt({0, 0}, {60, 40}, [&] {
            text = VxTest::ThrownText<std::domain_error>([&] { look->DrawTextForeground(renderer, dirty, {0, 0}); });
            EXPECT_EQ(renderer->GetStateDepth(), 1) << "the look's pushes are popped";
        });
        return text;
    }

    std::unique_ptr<VxTest::ScopedMeasurementRenderer> measurement;
    RCPtr<LLook> look;
};

TEST_F(TextDrawing, LinesAreDrawnInTheForegroundColourInsideTheTextArea)
{
    const juce::Image drawn = DrawText(everything);
    const IntRect ink = InkBounds(drawn);
    EXPECT_GE(ink.x, 4);
    EXPECT_GE(ink.y, 10);
    EXPECT_LT(ink.x, 8);
    // White, stored premultiplied: every channel equals the alpha.
    for (int y = 0; y < drawn.getHeight(); ++y)
        for (int x = 0; x < drawn.getWidth(); ++x)
            ASSERT_EQ(VxTest::RawPixelAt(drawn, x, y), (VxTest::RawPixelAt(drawn, x, y) >> 24) * 0x01010101u);

    // The offset moves the lines, clipped to the text area.
    const IntRect moved = InkBounds(DrawText(everything, {-2, -3}));
    EXPECT_EQ(moved.x, ink.x + 2);
    EXPECT_EQ(moved.y, ink.y + 3);
    EXPECT_EQ(InkBounds(DrawText(everything, {0, 30})).height, 0) << "moved above the area";

    // Nothing outside the dirty region; nothing without a text area.
    EXPECT_EQ(InkBounds(DrawText(Region({IntRect{0, 0, 60, 10}}))).height, 0);
    const RCPtr<LLook> plain = MakeLook(ColourLook(0xFF000000u, VxTest::Dock(15)), {60, 40});
    DrawAt({0, 0}, {60, 40}, [&] { EXPECT_EQ(plain->DrawTextForeground(renderer, everything, {0, 0}), 1); });
}

TEST_F(TextDrawing, AForegroundPartWithoutOwnSizeDrawsTheTextTransparent)
{
    look->SetTextForegroundPart(VxTest::ColourPart(VxTest::Solid(0xFFFFFFFFu), {0, 1})->GetVisualPart());
    EXPECT_EQ(InkBounds(DrawText(everything)).height, 0);
    EXPECT_EQ(look->GetTextForegroundPart()->GetSourcePixel({0, 0}), kNothing);
}

TEST_F(TextDrawing, AForegroundPartThatIsNotASolidColourThrowsOnlyWhereTextIsDirty)
{
    const RgnLight aboveText = Region({IntRect{0, 0, 60, 10}});
    const RgnLight overText = Region({IntRect{0, 0, 60, 12}});
    const std::string kDomain = "Domain Error";

    look->SetTextForegroundPart(RCPtr<LVisualPart>(new LVisualPart(
        "picture", VxTest::PatternBitmap(2, 2), LVisualPart::kStretch, 1.0f, nullptr, {2, 2}, nullptr)));
    DrawText(aboveText);
    VxTest::ExpectExceptionText(DomainErrorOf(overText), kDomain,
                                "Bitmap fill for text foreground part not yet implemented.", kLookSource);

    // A gradient is built into a bitmap: the same error.
    look->SetTextForegroundPart(RCPtr<LVisualPart>(
        new LVisualPart("gradient", nullptr, LVisualPart::kStretch, 1.0f,
                        VxTest::Gradient(Vx::LColorizer::kLinearGradient, 0xFF102030u, 0xFF102030u), {2, 2}, nullptr)));
    VxTest::ExpectExceptionText(DomainErrorOf(overText), kDomain,
                                "Bitmap fill for text foreground part not yet implemented.", kLookSource);

    // A colour part whose colorizer is a gradient (which building never
    // leaves) has its own message.
    class GradientColourPart : public LVisualPart
    {
    public:
        GradientColourPart()
            : LVisualPart("gradient", nullptr, kStretch, 1.0f, VxTest::Solid(0xFFFFFFFFu), {2, 2}, nullptr)
        {
            mColorizer = VxTest::Gradient(Vx::LColorizer::kRadialGradient, 0xFF000000u, 0xFFFFFFFFu);
        }
    };
    look->SetTextForegroundPart(RCPtr<LVisualPart>(new GradientColourPart()));
    DrawText(aboveText);
    VxTest::ExpectExceptionText(DomainErrorOf(overText), kDomain,
                                "Gradient fill for text foreground part not yet implemented.", kLookSource);
}

TEST_F(TextDrawing, AForegroundPartWithoutColorizerDrawsNothing)
{
    look->SetTextForegroundPart(
        RCPtr<LVisualPart>(new LVisualPart("bare", nullptr, LVisualPart::kStretch, 1.0f, nullptr, {2, 2}, nullptr)));
    VxTest::CaptureStderr capture;
    EXPECT_EQ(InkBounds(DrawText(Region({IntRect{0, 0, 30, 40}, IntRect{30, 0, 30, 40}}))).height, 0);
    EXPECT_EQ(VxTest::CountAssertions(capture.Finish(), kLookSource), 2) << "one per dirty rectangle";
}

TEST_F(LookDrawing, TheFixtureSkinsLookMatchesItsPicture)
{
    context = MakeContext(IntRect{0, 0, VxTest::kFixtureLookSize.x, VxTest::kFixtureLookSize.y}, true);
    VxTest::PaintFixtureLook(renderer, context);
    const juce::Image picture = context->GetFrontImage()->createCopy();
    EXPECT_EQ(VxTest::PixelAt(picture, 80, 40), 0xFF203048u) << "the client part";
    EXPECT_EQ(VxTest::PixelAt(picture, 21, 24), 0xFFFF8020u) << "the disc";
    VxTest::ExpectMatchesGolden(picture, "fixture-button", 24);
}
} // namespace
