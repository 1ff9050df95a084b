// Render contexts of the JUCE renderer: their surfaces, presenting a window's
// dirty rectangles, drawing and scrolling offscreen pictures, nested passes
// and the PNG dump.

#include "VxFramework/Renderer/JUCE/JUCERenderContextInfo.h"

#include "VxFramework/Utilities/Graphics/Font.h"
#include "tests/VxFramework/Renderer/JUCE/JUCERenderingSupport.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace
{
using Vx::Color;
using Vx::LJUCERenderContextInfo;
using Vx::LRenderContextInfo;
using Vx::RCPtr;
using VxTest::IntPoint;
using VxTest::IntRect;
using VxTest::kBlue;
using VxTest::kGreen;
using VxTest::kRed;
using VxTest::kTransparent;
using VxTest::OnlyAreaIs;
using VxTest::PatternPixel;
using VxTest::PixelAt;
using Point = Vx::PointT<double>;
using Rect = Vx::RectT<double>;

const std::string kRendererSource = "VxFramework/Renderer/JUCE/JUCERenderer.cpp";

class Contexts : public VxTest::JUCERendering
{
protected:
    // Fills the offscreen context with the pattern of the pattern bitmap.
    void PaintPattern(const RCPtr<LJUCERenderContextInfo>& target)
    {
        const IntPoint size = target->GetFrontSurface()->GetSize();
        const RCPtr<Vx::LBitmap> pattern = VxTest::PatternBitmap(size.x, size.y);
        Paint(target, [&] { renderer->DrawBitmap(pattern, IntRect{0, 0, size.x, size.y}, 0); });
    }
};

TEST_F(Contexts, SurfacesFollowTheContextRectangleWhenItOutgrowsThem)
{
    const RCPtr<LJUCERenderContextInfo> control = MakeContext(IntRect{0, 0, 128, 128}, true);
    EXPECT_TRUE(control->IsOffscreen());
    EXPECT_EQ(control->GetMaxSurfaceSize(), (IntPoint{4096, 4096}));
    for (const auto* surface : {&control->GetFrontSurface(), &control->GetBackSurface()})
    {
        EXPECT_EQ((*surface)->GetSize(), (IntPoint{128, 128}));
        EXPECT_TRUE(OnlyAreaIs(*(*surface)->GetImage(), IntRect{0, 0, 0, 0}, kTransparent));
        EXPECT_EQ((*surface)->GetGraphics(), nullptr);
    }

    control->SetContextRect(IntRect{0, 0, 300, 100});
    const juce::Image grown = Paint(control, [] {});
    EXPECT_EQ(control->GetFrontSurface()->GetSize(), (IntPoint{300, 100}));
    EXPECT_EQ(control->GetBackSurface()->GetSize(), (IntPoint{300, 100}));
    EXPECT_EQ(grown.getWidth(), 300);

    // Smaller in one dimension: kept as they are, with their pictures.
    Paint(control, [&] { renderer->FillRectangle(IntRect{0, 0, 300, 100}, Color(kRed), true); });
    const juce::Image* front = control->GetFrontSurface()->GetImage();
    control->SetContextRect(IntRect{0, 0, 200, 100});
    EXPECT_TRUE(OnlyAreaIs(Paint(control, [] {}), IntRect{0, 0, 300, 100}, kRed));
    EXPECT_EQ(control->GetFrontSurface()->GetImage(), front);

    // Through the renderer's state operation, during a pass.
    Paint(control, [&] { renderer->SetContextRect(IntRect{0, 0, 310, 120}); });
    EXPECT_EQ(Paint(control, [] {}).getWidth(), 310);

    // Beyond the maximum: surfaces of the maximum size.
    VxTest::CaptureStderr capture;
    const RCPtr<LJUCERenderContextInfo> huge = MakeContext(IntRect{0, 0, 100000, 8}, true);
    EXPECT_NE(capture.Finish().find("JUCE Assertion failure in JUCERenderContextInfo.cpp:"), std::string::npos);
    EXPECT_EQ(huge->GetFrontSurface()->GetSize(), (IntPoint{4096, 8}));
}

TEST_F(Contexts, AWindowPresentsOnlyItsDirtyRectangles)
{
    const RCPtr<LJUCERenderContextInfo> window = MakeContext(IntRect{0, 0, 64, 48}, false);
    EXPECT_FALSE(window->IsOffscreen());
    juce::Image screen(juce::Image::ARGB, 64, 48, true);
    screen.clear(screen.getBounds(), juce::Colour(kBlue));

    window->GetDirtyRegion().AddRect(IntRect{2, 3, 10, 5});
    window->GetDirtyRegion().AddRect(IntRect{40, 30, 30, 30});
    {
        juce::Graphics target(screen);
        window->SetTargetGraphics(&target);
        Paint(window, [&] { renderer->FillRectangle(IntRect{0, 0, 64, 48}, Color(kRed), true); });
        window->SetTargetGraphics(nullptr);
    }
    for (int y = 0; y < 48; ++y)
    {
        for (int x = 0; x < 64; ++x)
        {
            const bool dirty = (x >= 2 && x < 12 && y >= 3 && y < 8) || (x >= 40 && y >= 30);
            ASSERT_EQ(PixelAt(screen, x, y), dirty ? kRed : kBlue) << x << ", " << y;
        }
    }

    // Without a target graphics nothing is presented, and the pass still ends.
    VxTest::CaptureStderr capture;
    Paint(window, [] {});
    EXPECT_NE(capture.Finish().find("JUCE Assertion failure in JUCERenderContextInfo.cpp:"), std::string::npos);
    EXPECT_EQ(renderer->GetStateDepth(), 0);
}

TEST_F(Contexts, OffscreenPicturesAreDrawnOntoOtherContexts)
{
    const RCPtr<LJUCERenderContextInfo> source = MakeContext(IntRect{0, 0, 16, 12}, true);
    PaintPattern(source);

    // Only an offscreen context of this renderer is a source.
    const RCPtr<LJUCERenderContextInfo> window = MakeContext(IntRect{0, 0, 16, 12}, false);
    VxTest::CaptureStderr capture;
    Vx::VxRESULT fromWindow = Vx::VXR_OK;
    Vx::VxRESULT fromNull = Vx::VXR_OK;
    Paint([&] {
        fromWindow = renderer->DrawRenderContext(window, IntPoint{0, 0}, IntRect{0, 0, 16, 12});
        fromNull = renderer->DrawRenderContext(nullptr, IntPoint{0, 0}, IntRect{0, 0, 16, 12});
    });
    EXPECT_NE(capture.Finish().find("JUCE Assertion failure in JUCERenderer.cpp:"), std::string::npos);
    EXPECT_EQ(fromWindow, Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(fromNull, Vx::VXR_E_INVALIDARG);

    // The part of the source at the destination, moved by the origin, clipped.
    Vx::VxRESULT drawn = Vx::VXR_E_FAIL;
    const juce::Image picture = Paint([&] {
        renderer->PushClip(Rect{0, 0, 64, 48}, Rect{0, 0, 64, 48}, nullptr, false);
        renderer->PushClip(Rect{10, 10, 40, 30}, Rect{0, 0, 30, 14}, nullptr, true);
        drawn = renderer->DrawRenderContext(source, IntPoint{3, 2}, IntRect{4, 5, 30, 5});
        renderer->PopClip();
        renderer->PopClip();
    });
    EXPECT_EQ(drawn, Vx::VXR_OK);
    // Columns 4 to 15 of the source (it is 16 wide): 12 columns from x = 13;
    // rows 12 and 13 inside the clip.
    for (int y = 0; y < 48; ++y)
    {
        for (int x = 0; x < 64; ++x)
        {
            const bool inside = x >= 13 && x < 25 && y >= 12 && y < 14;
            ASSERT_EQ(PixelAt(picture, x, y), inside ? PatternPixel(x - 13 + 4, y - 12 + 5) : kTransparent)
                << x << ", " << y;
        }
    }

    // A source rectangle left of and above the source is cut there, not stretched.
    context = MakeContext(IntRect{0, 0, 64, 48}, true);
    const juce::Image cut = Paint([&] {
        renderer->DrawRenderContext(source, IntPoint{20, 20}, IntRect{-2, -3, 6, 6});
    });
    EXPECT_EQ(PixelAt(cut, 22, 23), PatternPixel(0, 0));
    EXPECT_EQ(PixelAt(cut, 25, 25), PatternPixel(3, 2));
    EXPECT_EQ(VxTest::CountPixels(cut, [](std::uint32_t pixel) { return pixel != kTransparent; }), 4 * 3);
}

TEST_F(Contexts, ScrollingMovesThePictureAndUncoversTransparentRows)
{
    const RCPtr<LJUCERenderContextInfo> surface = MakeContext(IntRect{0, 0, 20, 30}, true);
    PaintPattern(surface);
    EXPECT_EQ(renderer->ScrollRenderContext(surface, IntPoint{0, -10}), Vx::VXR_OK);
    const juce::Image* picture = surface->GetFrontImage();
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(PixelAt(*picture, x, y), y < 20 ? PatternPixel(x, y + 10) : kTransparent) << x << ", " << y;

    EXPECT_EQ(renderer->ScrollRenderContext(surface, IntPoint{3, 0}), Vx::VXR_OK);
    EXPECT_EQ(PixelAt(*surface->GetFrontImage(), 3, 0), PatternPixel(0, 10));
    EXPECT_EQ(PixelAt(*surface->GetFrontImage(), 2, 0), kTransparent);

    // Shifted by more than its size: nothing of the picture is left.
    EXPECT_EQ(renderer->ScrollRenderContext(surface, IntPoint{INT_MIN, 5}), Vx::VXR_OK);
    EXPECT_TRUE(OnlyAreaIs(*surface->GetFrontImage(), IntRect{0, 0, 0, 0}, kTransparent));

    // A window context cannot be scrolled; a context being painted is re-entered.
    const RCPtr<LJUCERenderContextInfo> window = MakeContext(IntRect{0, 0, 20, 30}, false);
    {
        VxTest::CaptureStderr capture;
        EXPECT_EQ(renderer->ScrollRenderContext(window, IntPoint{0, 1}), Vx::VXR_E_INVALIDARG);
        EXPECT_EQ(renderer->ScrollRenderContext(nullptr, IntPoint{0, 1}), Vx::VXR_E_INVALIDARG);
        capture.Finish();
    }
    Paint(surface, [&] {
        VxTest::CaptureStderr capture;
        VxTest::ThrownText<std::runtime_error>([&] { renderer->ScrollRenderContext(surface, IntPoint{0, 1}); });
        capture.Finish();
        EXPECT_EQ(renderer->GetCurrentContext(), RCPtr<LRenderContextInfo>(surface));
    });
}

TEST_F(Contexts, NestedPassesReturnToTheOuterState)
{
    const RCPtr<LJUCERenderContextInfo> inner = MakeContext(IntRect{0, 0, 8, 8}, true);
    const juce::Image picture = Paint([&] {
        renderer->PushClip(Rect{0, 0, 64, 48}, Rect{0, 0, 64, 48}, nullptr, false);
        renderer->PushClip(Rect{10, 10, 20, 20}, Rect{10, 10, 20, 20}, nullptr, true);
        Paint(inner, [&] { renderer->FillRectangle(IntRect{0, 0, 8, 8}, Color(kGreen), true); });
        // Back in the outer pass, at its origin and inside its clip.
        renderer->FillRectangle(IntRect{-5, 0, 40, 2}, Color(kRed), true);
        renderer->DrawRenderContext(inner, IntPoint{2, 2}, IntRect{0, 0, 8, 8});
        renderer->PopClip();
        renderer->PopClip();
    });
    EXPECT_TRUE(OnlyAreaIs(*inner->GetFrontImage(), IntRect{0, 0, 8, 8}, kGreen));
    for (int y = 0; y < 48; ++y)
    {
        for (int x = 0; x < 64; ++x)
        {
            const bool red = x >= 10 && x < 30 && y >= 10 && y < 12;
            const bool green = x >= 12 && x < 20 && y >= 12 && y < 20;
            ASSERT_EQ(PixelAt(picture, x, y), red ? kRed : green ? kGreen : kTransparent) << x << ", " << y;
        }
    }
}

TEST_F(Contexts, RenderStartTakesOnlyTheRenderersOwnContexts)
{
    class ForeignContext : public Vx::LRenderContextInfo
    {
    public:
        ForeignContext() : LRenderContextInfo(IntRect{0, 0, 4, 4}, 0, true) {}
        IntPoint GetMaxSurfaceSize() const override { return IntPoint{0, 0}; }
        void SaveAsPng(const Text&) override {}
    };
    const RCPtr<Vx::LRenderContextInfo> foreign(new ForeignContext());
    const std::string text = VxTest::ThrownText<std::logic_error>([&] { renderer->RenderStart(foreign); });
    EXPECT_EQ(text.rfind("Logic Error : ", 0), 0u) << text;
    VxTest::CaptureStderr capture;
    EXPECT_TRUE(renderer->GetCurrentContext().IsNull());
    capture.Finish();

    // A mismatched finish presents and releases nothing.
    const RCPtr<LJUCERenderContextInfo> other = MakeContext(IntRect{0, 0, 4, 4}, true);
    renderer->RenderStart(context);
    {
        VxTest::CaptureStderr mismatch;
        VxTest::ThrownText<std::runtime_error>([&] { renderer->RenderFinish(other); });
        mismatch.Finish();
    }
    EXPECT_NE(context->GetFrontSurface()->GetGraphics(), nullptr);
    renderer->FillRectangle(IntRect{0, 0, 2, 2}, Color(kRed), true);
    renderer->RenderFinish(context);
    EXPECT_EQ(PixelAt(*context->GetFrontImage(), 1, 1), kRed);
}

TEST_F(Contexts, APictureIsSavedAsPNG)
{
    const std::filesystem::path directory =
        std::filesystem::temp_directory_path() / ("vx-renderer-" + std::to_string(getpid()));
    std::filesystem::create_directories(directory);
    PaintPattern(context);
    context->SaveAsPng((directory / "frame").string().c_str());

    const juce::Image saved = juce::ImageFileFormat::loadFrom(juce::File((directory / "frame.png").string()));
    ASSERT_TRUE(saved.isValid());
    ASSERT_EQ(saved.getWidth(), 64);
    ASSERT_EQ(saved.getHeight(), 48);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(PixelAt(saved, x, y), PatternPixel(x, y)) << x << ", " << y;

    VxTest::CaptureStderr capture;
    context->SaveAsPng((directory / "missing" / "frame").string().c_str());
    EXPECT_NE(capture.Finish().find("JUCE Assertion failure in JUCERenderContextInfo.cpp:"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(directory / "missing"));
    std::filesystem::remove_all(directory);
}

TEST_F(Contexts, ATargetGraphicsBelongsToAWindowContext)
{
    juce::Image screen(juce::Image::ARGB, 4, 4, true);
    juce::Graphics target(screen);
    VxTest::CaptureStderr capture;
    context->SetTargetGraphics(&target);
    EXPECT_NE(capture.Finish().find("JUCE Assertion failure in JUCERenderContextInfo.cpp:"), std::string::npos);
    context->SetTargetGraphics(nullptr);
}
// A pass may leave an opaque background unwritten where opaque fills cover it
// later: every picture must still be the one of the background written first.
// The reference draws the background in a pass of its own.
TEST_F(Contexts, ABackgroundLooksWrittenBeforeWhatIsDrawnOverIt)
{
    const RCPtr<Vx::LBitmap> tile = VxTest::PatternBitmap(8, 6);
    const RCPtr<Vx::LBitmap> other = Vx::LBitmap::CreateFilled(IntPoint{5, 5}, Color(0xFF203040u));
    const RCPtr<Vx::LBitmap> icon = Vx::LBitmap::CreateFilled(IntPoint{6, 6}, Color(0x80C00000u));
    const RCPtr<Vx::LFont> font = Vx::LFont::GetFont("DejaVu Sans", 0, 9.0f);
    const auto background = [&] {
        renderer->PushClip(Rect{0, 0, 64, 48}, Rect{2, 3, 60, 40}, nullptr, false);
        renderer->DrawBitmap(tile, IntRect{0, 0, 64, 48}, Vx::LRenderer::kTile);
        renderer->PopClip();
    };
    const auto inClient = [&](const std::function<void()>& draw) {
        return [&, draw] {
            renderer->PushClip(Rect{0, 0, 64, 48}, Rect{0, 0, 64, 48}, nullptr, false);
            draw();
            renderer->PopClip();
        };
    };
    const std::vector<std::pair<const char*, std::function<void()>>> scenes = {
        {"opaque fill, then text across its edge", inClient([&] {
             renderer->FillRectangle(IntRect{10, 10, 20, 15}, Color(kBlue), true);
             renderer->DrawText("Wg", font, IntPoint{24, 12}, Color(0xFFF0F0F0u));
         })},
        {"fills in a moved clip, then a translucent one over it all", inClient([&] {
             renderer->PushClip(Rect{20, 8, 30, 30}, Rect{20, 8, 20, 20}, nullptr, true);
             renderer->FillRectangle(IntRect{-5, -5, 15, 40}, Color(kGreen), true);
             renderer->DrawLine(Vx::PointT<float>{0, 0}, Vx::PointT<float>{30, 25}, Color(kRed), 2.0f);
             renderer->PopClip();
             renderer->FillRectangle(IntRect{0, 20, 64, 10}, Color(0x60FFFFFFu), true);
         })},
        {"a second background in a part, then a translucent icon", inClient([&] {
             renderer->PushClip(Rect{30, 4, 20, 20}, Rect{30, 4, 20, 20}, nullptr, true);
             renderer->DrawBitmap(other, IntRect{-2, -2, 30, 30}, Vx::LRenderer::kTile);
             renderer->PopClip();
             renderer->DrawBitmap(icon, IntRect{26, 10, 6, 6}, Vx::LRenderer::kStretch);
         })},
        {"a cleared part and an opaque region at reduced opacity", inClient([&] {
             renderer->ClearRectangle(IntRect{4, 30, 20, 10});
             renderer->MultiplyFactor(0.5f);
             Vx::ColoredRectList region;
             region.rects.Add(Vx::RectT<float>{10, 5, 30, 30});
             region.colors.Add(kRed);
             renderer->FillRegion(region, Point{0, 0});
         })},
        {"a copy of the picture being painted", inClient([&] {
             renderer->FillRectangle(IntRect{0, 0, 16, 16}, Color(kGreen), true);
             renderer->DrawRenderContext(context, IntPoint{40, 24}, IntRect{0, 0, 24, 24});
         })},
    };
    for (const auto& scene : scenes)
    {
        SCOPED_TRACE(scene.first);
        const std::function<void()>& draw = scene.second;
        context = MakeContext(IntRect{0, 0, 64, 48}, true);
        Paint(background);
        const juce::Image expected = Paint(draw);
        context = MakeContext(IntRect{0, 0, 64, 48}, true);
        const juce::Image actual = Paint([&] {
            background();
            draw();
        });
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                ASSERT_EQ(VxTest::RawPixelAt(actual, x, y), VxTest::RawPixelAt(expected, x, y)) << x << ", " << y;
    }
}

// Whatever reads the picture during a pass sees the deferred background.
TEST_F(Contexts, ThePictureReadDuringAPassHoldsTheBackground)
{
    const RCPtr<Vx::LBitmap> tile = VxTest::PatternBitmap(8, 8);
    renderer->RenderStart(context);
    renderer->PushClip(Rect{0, 0, 64, 48}, Rect{0, 0, 64, 48}, nullptr, false);
    renderer->DrawBitmap(tile, IntRect{0, 0, 64, 48}, Vx::LRenderer::kTile);
    renderer->FillRectangle(IntRect{0, 0, 8, 8}, Color(kRed), true);
    EXPECT_EQ(PixelAt(*context->GetFrontImage(), 9, 1), PatternPixel(1, 1));
    EXPECT_EQ(PixelAt(*context->GetFrontImage(), 1, 1), kRed);
    const std::string name = testing::TempDir() + "deferred-" + std::to_string(getpid());
    context->SaveAsPng(name.c_str());
    renderer->PopClip();
    renderer->RenderFinish(context);
    const juce::Image saved = juce::ImageFileFormat::loadFrom(juce::File(name + ".png"));
    std::filesystem::remove(name + ".png");
    ASSERT_TRUE(saved.isValid());
    EXPECT_EQ(PixelAt(saved, 63, 47), PatternPixel(63 % 8, 47 % 8));
}
} // namespace
