// The render-state bookkeeping of every renderer: the context stack and its
// errors, the three push flavours with their rounding and clip snapping, pops
// that restore every field, and the scoped pushes.

#include "VxFramework/Renderer/Renderer.h"

#include "VxFramework/Renderer/JUCE/JUCERenderer.h"
#include "tests/VxFramework/Renderer/RendererTestSupport.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{
using Vx::LRenderContextInfo;
using Vx::LRenderer;
using Vx::LStencil;
using Vx::PointT;
using Vx::RCPtr;
using Vx::RectT;
using Vx::RenderState;
using Point = PointT<double>;
using Rect = RectT<double>;

const std::string kRendererSource = "VxFramework/Renderer/Renderer.cpp";

class TestContext : public LRenderContextInfo
{
public:
    TestContext() : LRenderContextInfo(RectT<std::int32_t>{0, 0, 100, 100}, 0, true) {}
    PointT<std::int32_t> GetMaxSurfaceSize() const override { return PointT<std::int32_t>{0, 0}; }
    void SaveAsPng(const Text&) override {}
};

// The base renderer with no drawing: records the state operations that the
// pushes and pops call through the interface.
class StateRenderer : public LRenderer
{
public:
    Vx::VxRESULT GetFontMetrics(const RCPtr<Vx::LFont>&, std::int32_t&, std::int32_t&, std::int32_t&) override
    {
        return Vx::VXR_OK;
    }
    RectT<float> MeasureText(const Text&, const RCPtr<Vx::LFont>&) override { return RectT<float>::Empty; }
    std::int32_t GetRendererKind() const override { return 0; }
    Vx::VxRESULT CreateRenderContext(const RectT<std::int32_t>&, std::intptr_t, bool,
                                     RCPtr<LRenderContextInfo>& context) override
    {
        context = new TestContext();
        return Vx::VXR_OK;
    }
    Vx::VxRESULT SetStencil(const RCPtr<LStencil>& stencil) override
    {
        calls.push_back("stencil");
        return LRenderer::SetStencil(stencil);
    }
    void SetClipRect(const Rect& clip) override
    {
        calls.push_back("clip");
        LRenderer::SetClipRect(clip);
    }
    void Translate(const Point& delta) override
    {
        calls.push_back("translate");
        LRenderer::Translate(delta);
    }
    void DrawText(const Text&, const RCPtr<Vx::LFont>&, const PointT<std::int32_t>&, const Vx::Color&) override {}
    void DrawRectangle(const RectT<std::int32_t>&, const Vx::Color&, float) override {}
    void FillRectangle(const RectT<std::int32_t>&, const Vx::Color&, bool) override {}
    void ClearRectangle(const RectT<std::int32_t>&) override {}
    void DrawFramedRectangle(const RectT<std::int32_t>&, const Vx::Color&, const Vx::Color&, float) override {}
    void FillRegion(const Vx::ColoredRectList&, const Point&) override {}
    void DrawLine(const PointT<float>&, const PointT<float>&, const Vx::Color&, float) override {}
    void DrawLineSegments(Vx::PolylineT<float>&, const Vx::Color&, const PointT<float>&, const PointT<float>&,
                          bool) override
    {
    }
    void DrawPath(Vx::PolylineT<float>&, const Vx::Color&, const PointT<float>&, const PointT<float>&, bool) override {}
    void DrawPolygon(Vx::PolylineT<float>&, const Vx::Color&, const PointT<float>&, const PointT<float>&, bool) override
    {
    }
    void FillPolygon(Vx::PolylineT<float>&, const Vx::Color&, const PointT<float>&, const PointT<float>&, bool) override
    {
    }
    void DrawBitmap(const RCPtr<Vx::LBitmap>&, const RectT<std::int32_t>&, std::int32_t) override {}
    Vx::VxRESULT DrawRenderContext(const RCPtr<LRenderContextInfo>&, const PointT<std::int32_t>&,
                                   const RectT<std::int32_t>&) override
    {
        return Vx::VXR_OK;
    }
    Vx::VxRESULT ScrollRenderContext(const RCPtr<LRenderContextInfo>&, const PointT<std::int32_t>&) override
    {
        return Vx::VXR_OK;
    }

    bool HasContext() const { return CurrentContextOrNull() != nullptr; }

    std::vector<std::string> calls;
};

class RenderStateStack : public ::testing::Test
{
protected:
    void SetUp() override
    {
        renderer->CreateRenderContext(RectT<std::int32_t>{0, 0, 100, 100}, 0, true, context);
        renderer->RenderStart(context);
    }

    void TearDown() override
    {
        if (renderer->HasContext())
            renderer->RenderFinish(context);
    }

    RenderState& State() { return context->GetState(); }

    // An absolute push at (0, 0) whose clip is stored as it is snapped.
    void PushClip(const Rect& clip) { renderer->PushClip(Rect{0, 0, 0, 0}, clip, nullptr, false); }

    RCPtr<StateRenderer> renderer{new StateRenderer()};
    RCPtr<LRenderContextInfo> context;
};

TEST_F(RenderStateStack, FreshContextHasTheDefaultState)
{
    EXPECT_EQ(renderer->GetStateDepth(), 0);
    EXPECT_EQ(renderer->GetOrigin(), (Point{0, 0}));
    // The single-precision constants, widened.
    EXPECT_EQ(renderer->GetClipRect(), (Rect{-5e15f, -5e15f, 1e16f, 1e16f}));
    EXPECT_NE(renderer->GetClipRect().x, -5e15);
    EXPECT_EQ(State().factor, 1.0f);
    EXPECT_FALSE(State().stencilActive);
    EXPECT_TRUE(State().stencil.IsNull());
    EXPECT_EQ(State(), RenderState());
}

TEST_F(RenderStateStack, MisusedContextsThrowAndLeaveTheStackAsItWas)
{
    RCPtr<LRenderContextInfo> other;
    renderer->CreateRenderContext(RectT<std::int32_t>{0, 0, 10, 10}, 0, true, other);

    VxTest::CaptureStderr capture;
    VxTest::ExpectExceptionText(VxTest::ThrownText<std::runtime_error>([&] { renderer->RenderStart(nullptr); }),
                                "Runtime Error", "Render context is NULL", kRendererSource);
    VxTest::ExpectExceptionText(VxTest::ThrownText<std::runtime_error>([&] { renderer->RenderStart(context); }),
                                "Runtime Error", "Render context reentered.", kRendererSource);
    VxTest::ExpectExceptionText(VxTest::ThrownText<std::runtime_error>([&] { renderer->RenderFinish(other); }),
                                "Runtime Error", "RenderFinish context does not match RenderStart context",
                                kRendererSource);

    // A nested pass: the outer context cannot be finished first, nor started again.
    renderer->RenderStart(other);
    EXPECT_EQ(renderer->GetCurrentContext(), other);
    VxTest::ThrownText<std::runtime_error>([&] { renderer->RenderFinish(context); });
    VxTest::ThrownText<std::runtime_error>([&] { renderer->RenderStart(context); });
    EXPECT_EQ(renderer->GetCurrentContext(), other);
    EXPECT_EQ(renderer->RenderFinish(other), Vx::VXR_OK);
    EXPECT_EQ(renderer->GetCurrentContext(), context);
    EXPECT_EQ(renderer->RenderFinish(context), Vx::VXR_OK);

    // With no pass open, finishing is a mismatch too.
    VxTest::ExpectExceptionText(VxTest::ThrownText<std::runtime_error>([&] { renderer->RenderFinish(context); }),
                                "Runtime Error", "RenderFinish context does not match RenderStart context",
                                kRendererSource);
    EXPECT_NE(capture.Finish().find("JUCE Assertion failure in Renderer.cpp:"), std::string::npos);
}

TEST_F(RenderStateStack, StateOperationsWithoutAContextDoNothing)
{
    renderer->RenderFinish(context);
    const RenderState before = State();

    VxTest::CaptureStderr capture;
    EXPECT_TRUE(renderer->GetCurrentContext().IsNull());
    EXPECT_EQ(renderer->GetStateDepth(), 0);
    EXPECT_EQ(renderer->GetOrigin(), (Point{0, 0}));
    EXPECT_EQ(renderer->GetClipRect(), RenderState().clipRect);
    renderer->PushClip();
    renderer->PushClip(Rect{1, 2, 3, 4}, Rect{1, 2, 3, 4}, nullptr, true);
    renderer->PushClip(Point{5, 5});
    renderer->PopClip();
    renderer->SetClipRect(Rect{0, 0, 1, 1});
    renderer->Translate(Point{3, 3});
    renderer->MultiplyFactor(0.5f);
    renderer->SetStencil(RCPtr<LStencil>(new LStencil(PointT<std::int32_t>{2, 2})));
    renderer->SetContextRect(RectT<std::int32_t>{0, 0, 1, 1});
    EXPECT_NE(capture.Finish().find("JUCE Assertion failure in Renderer.cpp:"), std::string::npos);

    EXPECT_EQ(State(), before);
    EXPECT_EQ(context->GetStateDepth(), 0);
    EXPECT_EQ(context->GetContextRect(), (RectT<std::int32_t>{0, 0, 100, 100}));
}

TEST_F(RenderStateStack, PushOffsetsRoundHalfAwayFromZero)
{
    struct Case
    {
        Point bounds;
        Point expected;
    };
    const Case cases[] = {
        {{10.4, 20.6}, {10, 21}}, {{-10.5, 0}, {-11, 0}},         {{2.5, -2.5}, {3, -3}},
        {{-0.4, 0.49}, {0, 0}},   {{1e17, -1e17}, {1e17, -1e17}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.bounds.x << ", " << c.bounds.y);
        const Rect bounds{c.bounds.x, c.bounds.y, 64, 64};
        renderer->PushClip(bounds, bounds, nullptr, true);
        EXPECT_EQ(renderer->GetOrigin(), c.expected);
        renderer->PopClip();
        EXPECT_EQ(renderer->GetOrigin(), (Point{0, 0}));
    }

    // Absolute bounds are relative to the context: the current origin is taken off.
    renderer->PushClip(Rect{5, 0, 50, 50}, Rect{0, 0, 50, 50}, nullptr, false);
    renderer->PushClip(Rect{12.6, 3.5, 10, 10}, Rect{0, 0, 10, 10}, nullptr, false);
    EXPECT_EQ(renderer->GetOrigin(), (Point{13, 4}));
    renderer->PopClip();
    renderer->PopClip();
}

TEST_F(RenderStateStack, ClipsSnapToWholePixels)
{
    struct Case
    {
        Rect clip;
        Rect expected;
    };
    const Case cases[] = {
        {{0.5, 0.5, 10, 10}, {0, 0, 10, 10}},
        // A negative size moves the edge.
        {{10, 0, -5, 3}, {5, 0, 5, 3}},
        {{-0.5, -1, 3, 2}, {-1, -1, 3, 2}},
        // A rounding error below a whole pixel snaps to it.
        {{2.9999999999999996, 0, 1, 1}, {3, 0, 1, 1}},
        {{0, 0, 2.9999999999999996, 1}, {0, 0, 3, 1}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.clip.x << ", " << c.clip.y << ", " << c.clip.width);
        PushClip(c.clip);
        EXPECT_EQ(renderer->GetClipRect(), c.expected);
        renderer->PopClip();
    }
}

TEST_F(RenderStateStack, RelativePushesIntersectAndMoveTheClipIntoTheNewOrigin)
{
    PushClip(Rect{0, 0, 100, 50});
    renderer->PushClip(Rect{10, 20, 200, 200}, Rect{0, 0, 1000, 1000}, nullptr, true);
    EXPECT_EQ(renderer->GetOrigin(), (Point{10, 20}));
    EXPECT_EQ(renderer->GetClipRect(), (Rect{0, 0, 90, 30}));

    // Nested: the inner clip meets the outer one, in the outer's coordinates.
    renderer->PushClip(Rect{80, 5, 40, 40}, Rect{80, 5, 40, 40}, nullptr, true);
    EXPECT_EQ(renderer->GetOrigin(), (Point{90, 25}));
    EXPECT_EQ(renderer->GetClipRect(), (Rect{0, 0, 10, 25}));
    renderer->PopClip();
    renderer->PopClip();
    renderer->PopClip();
}

TEST_F(RenderStateStack, AnEmptyRelativeIntersectionClipsEverything)
{
    PushClip(Rect{0, 0, 100, 50});
    VxTest::CaptureStderr capture;
    // Beyond the current clip: an empty clip, not the gap between the two.
    renderer->PushClip(Rect{200, 120, 10, 10}, Rect{200, 120, 10, 10}, nullptr, true);
    capture.Finish();
    const Rect clip = renderer->GetClipRect();
    EXPECT_EQ(clip.width, 0.0);
    EXPECT_EQ(clip.height, 0.0);
    renderer->PopClip();
    renderer->PopClip();
}

TEST_F(RenderStateStack, PopRestoresEveryFieldInOrder)
{
    renderer->Translate(Point{0.1, 0.2});
    State().factor = 0.75f;
    const RenderState before = State();

    const RCPtr<LStencil> stencil(new LStencil(PointT<std::int32_t>{4, 3}));
    renderer->calls.clear();
    renderer->PushClip(Rect{10.2, 10.7, 50, 50}, Rect{0, 0, 40, 40}, stencil, true);
    EXPECT_EQ(renderer->calls, (std::vector<std::string>{"clip", "translate", "stencil"}));
    renderer->Translate(Point{0.3, -7.9});
    renderer->SetClipRect(Rect{1, 2, 3, 4});
    renderer->MultiplyFactor(0.5f);
    EXPECT_EQ(State().factor, 0.375f);
    renderer->SetStencil(RCPtr<LStencil>(new LStencil(PointT<std::int32_t>{1, 1})));
    EXPECT_EQ(renderer->GetStateDepth(), 1);

    renderer->calls.clear();
    renderer->PopClip();
    EXPECT_EQ(renderer->calls, (std::vector<std::string>{"translate", "clip", "stencil"}));
    EXPECT_EQ(renderer->GetStateDepth(), 0);
    // Exactly, although origin plus the difference misses 0.1 by a rounding error.
    EXPECT_EQ(State(), before);
}

TEST_F(RenderStateStack, OffsetPushesOnlyInsideAnotherPush)
{
    const RenderState before = State();
    {
        VxTest::CaptureStderr capture;
        renderer->PushClip(Point{5, 5});
        EXPECT_NE(capture.Finish().find("JUCE Assertion failure in Renderer.cpp:"), std::string::npos);
    }
    EXPECT_EQ(renderer->GetStateDepth(), 0);
    EXPECT_EQ(State(), before);

    PushClip(Rect{0, 0, 100, 50});
    renderer->PushClip(Point{3.5, -2.4});
    EXPECT_EQ(renderer->GetStateDepth(), 2);
    EXPECT_EQ(renderer->GetOrigin(), (Point{4, -2}));
    // The same area in the new coordinates.
    EXPECT_EQ(renderer->GetClipRect(), (Rect{-4, 2, 100, 50}));
    renderer->PopClip();
    EXPECT_EQ(renderer->GetClipRect(), (Rect{0, 0, 100, 50}));
    renderer->PopClip();
}

TEST_F(RenderStateStack, ASecondStencilIsANewOneOfItsSize)
{
    const RCPtr<LStencil> first(new LStencil(PointT<std::int32_t>{8, 6}));
    const RCPtr<LStencil> second(new LStencil(PointT<std::int32_t>{3, 2}));
    renderer->PushClip(Rect{0, 0, 10, 10}, Rect{0, 0, 10, 10}, first, true);
    EXPECT_EQ(State().stencil, first);
    EXPECT_TRUE(State().stencilActive);

    renderer->PushClip(Rect{0, 0, 10, 10}, Rect{0, 0, 10, 10}, second, true);
    ASSERT_FALSE(State().stencil.IsNull());
    EXPECT_NE(State().stencil, first);
    EXPECT_NE(State().stencil, second);
    EXPECT_EQ(State().stencil->GetSize(), (PointT<std::int32_t>{3, 2}));
    EXPECT_EQ(State().stencil->GetBounds(), (RectT<std::int32_t>{0, 0, 3, 2}));

    renderer->PopClip();
    EXPECT_EQ(State().stencil, first);
    renderer->PopClip();
    EXPECT_TRUE(State().stencil.IsNull());
    EXPECT_FALSE(State().stencilActive);
}

TEST_F(RenderStateStack, ScopedClipsPushByRequestAndPopOnExit)
{
    const RCPtr<LRenderer> base(renderer);
    const std::uint32_t references = renderer->GetRefCount();
    {
        const Vx::ScopedRenderClip outer(base, Rect{5, 5, 20, 20}, Rect{0, 0, 20, 20}, nullptr);
        EXPECT_EQ(renderer->GetOrigin(), (Point{5, 5}));
        Vx::PushClipRequest request;
        request.flavor = 2;
        request.offset = Point{1, 1};
        {
            const Vx::ScopedRenderClip inner(base, request);
            EXPECT_EQ(renderer->GetOrigin(), (Point{6, 6}));
            request.flavor = 0;
            const Vx::ScopedRenderClip plain(base, request);
            EXPECT_EQ(renderer->GetStateDepth(), 3);
        }
        EXPECT_EQ(renderer->GetStateDepth(), 1);

        request.flavor = 3;
        VxTest::ExpectExceptionText(
            VxTest::ThrownText<std::runtime_error>([&] { const Vx::ScopedRenderClip bad(base, request); }),
            "Runtime Error", "Unknown PushClip flavor", kRendererSource);
        EXPECT_EQ(renderer->GetStateDepth(), 1);
        EXPECT_EQ(renderer->GetRefCount(), references + 1);
    }
    EXPECT_EQ(renderer->GetStateDepth(), 0);
    EXPECT_EQ(renderer->GetOrigin(), (Point{0, 0}));
    EXPECT_EQ(renderer->GetRefCount(), references);
}

TEST(RendererFactory, KindThreeIsTheJUCERenderer)
{
    const RCPtr<LRenderer> renderer = LRenderer::CreateRenderer(3, RectT<std::int32_t>{0, 0, 1, 1}, 0);
    ASSERT_FALSE(renderer.IsNull());
    EXPECT_EQ(renderer->GetRendererKind(), 3);
    EXPECT_NE(dynamic_cast<Vx::LJUCERenderer*>(renderer.Get()), nullptr);

    for (const std::int32_t kind : {0, 1, 2, 4, -3})
    {
        VxTest::ExpectExceptionText(VxTest::ThrownText<std::domain_error>([kind] {
                                        LRenderer::CreateRenderer(kind, RectT<std::int32_t>{0, 0, 1, 1}, 0);
                                    }),
                                    "Domain Error", "", kRendererSource);
    }
}
} // namespace
