// A control tree painted on the JUCE renderer: the normal and the
// non-clipping pass, looks and hooks per dirty rectangle, children drawn
// directly and through an offscreen surface, scrolling, the surface switched
// off, failures inside a pass, and invalidation from other threads.

#include "tests/VxFramework/ControlBase/ControlDoubles.h"
#include "tests/support/CaptureStderr.h"

#include "VxFramework/Notification/Notification.h"
#include "VxFramework/Renderer/JUCE/JUCERenderContextInfo.h"
#include "VxFramework/Renderer/JUCE/JUCERenderer.h"

#include <juce_graphics/juce_graphics.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace
{
using Vx::LControl;
using Vx::LControlDescriptor;
using Vx::LLayoutDescriptor;
using Vx::RCPtr;
using Vx::RgnLight;
using VxTest::AssertionsIn;
using VxTest::ControlHarness;
using VxTest::TestControl;
using IntRect = Vx::RectT<std::int32_t>;
using Rect = Vx::RectT<double>;
using HookCalls = std::vector<TestControl::HookCall>;

constexpr std::uint32_t kWhite = 0xFFFFFFFFu;
constexpr std::uint32_t kRed = 0xFFFF0000u;
constexpr std::uint32_t kGreen = 0xFF00FF00u;
constexpr std::uint32_t kBlue = 0xFF0000FFu;

std::uint32_t RowColour(int row)
{
    return 0xFF000000u | static_cast<std::uint32_t>(row * 20) << 16 | static_cast<std::uint32_t>(255 - row * 20) << 8 |
           0x40u;
}

std::uint32_t PixelAt(const juce::Image& image, int x, int y)
{
    return image.getPixelAt(x, y).getPixelARGB().getNativeARGB();
}

RgnLight RegionOf(std::initializer_list<IntRect> rects)
{
    RgnLight region;
    for (const IntRect& rect : rects)
        region.UnionRect(rect);
    return region;
}

class Painting : public ::testing::Test
{
protected:
    void SetUp() override
    {
        renderer = new Vx::LJUCERenderer();
        harness.window->mRenderer = renderer;
        screen = MakeScreen();
    }

    void TearDown() override { juce::DeletedAtShutdown::deleteAll(); }

    RCPtr<Vx::LJUCERenderContextInfo> MakeScreen()
    {
        RCPtr<Vx::LRenderContextInfo> made;
        EXPECT_EQ(renderer->CreateRenderContext(IntRect{0, 0, 800, 480}, 0, true, made), Vx::VXR_OK);
        return RCPtr<Vx::LJUCERenderContextInfo>(made);
    }

    // A page filling the window, white.
    RCPtr<LControlDescriptor> Page()
    {
        const RCPtr<LControlDescriptor> page = harness.Describe("page", nullptr, ControlHarness::kControlClass,
                                                                {VxTest::LookDescriptor(Offsets(0), nullptr, kWhite)});
        LLayoutDescriptor& layout = *page->GetLayout();
        layout.XSizeReference = Vx::SizeReference::Client;
        layout.XSizeRel = 1.0f;
        layout.XSizeAbs = 0;
        layout.YSizeReference = Vx::SizeReference::Client;
        layout.YSizeRel = 1.0f;
        layout.YSizeAbs = 0;
        return page;
    }

    // A child at the rectangle of its parent's content, in one colour whose
    // client part is inset on every side.
    RCPtr<LControlDescriptor> Box(const char* name, const RCPtr<LControlDescriptor>& parent, const Rect& rect,
                                  std::uint32_t argb, std::int32_t inset = 0)
    {
        const RCPtr<LControlDescriptor> box = harness.Describe(name, parent, ControlHarness::kControlClass,
                                                               {VxTest::LookDescriptor(Offsets(inset), nullptr, argb)});
        LLayoutDescriptor& layout = *box->GetLayout();
        layout.XPositionAbs = rect.x;
        layout.YPositionAbs = rect.y;
        layout.XSizeAbs = rect.width;
        layout.YSizeAbs = rect.height;
        return box;
    }

    static Vx::DockInfo Offsets(std::int32_t inset) { return VxTest::Offsets(inset, inset, -inset, -inset); }

    TestControl& Find(const RCPtr<LControl>& top, std::initializer_list<const char*> path)
    {
        RCPtr<LControl> control = top;
        for (const char* name : path)
            control = control->FindChild(name);
        return VxTest::AsTest(control);
    }

    // Both passes over the region, as the root window runs them: the top
    // control, then every control handed back, from its parent's content
    // origin.  A failure still ends the pass.
    void PaintScreen(const RCPtr<LControl>& top, const RgnLight& dirty, bool secondPass = true)
    {
        PaintOn(screen, top, dirty, secondPass);
    }

    void PaintOn(const RCPtr<Vx::LJUCERenderContextInfo>& target, const RCPtr<LControl>& top, const RgnLight& dirty,
                 bool secondPass = true)
    {
        RgnLight::Rect box{};
        if (!dirty.GetBounds(box))
            return;
        renderer->RenderStart(target);
        try
        {
            const Vx::ScopedRenderClip client(renderer, Rect{0, 0, 800, 480}, static_cast<Rect>(box.ToRectT()), nullptr,
                                              false);
            handedBack.RemoveAll();
            ASSERT_EQ(top->Paint(renderer, dirty, handedBack, false), Vx::VXR_OK);
            if (secondPass)
                PaintHandedBack(dirty);
        }
        catch (...)
        {
            renderer->RenderFinish(target);
            throw;
        }
        renderer->RenderFinish(target);
    }

    void PaintHandedBack(const RgnLight& dirty)
    {
        // The nested passes may hand back more; those are not needed here.
        std::vector<RCPtr<LControl>> list;
        for (const RCPtr<LControl>& control : handedBack)
            list.push_back(control);
        for (const RCPtr<LControl>& control : list)
        {
            const RCPtr<LControl>& parent = control->GetParent();
            const Vx::PointT<double> origin =
                static_cast<Vx::PointT<double>>(parent->GetRectInRootWindow().GetOrigin().Round() +
                                                parent->GetLookBounds(-1).GetOrigin().Round()) -
                parent->GetScrollOffset();
            Vx::PushClipRequest offset;
            offset.flavor = 2;
            offset.offset = origin;
            const Vx::ScopedRenderClip at(renderer, offset);
            renderer->GetCurrentContext()->GetState().factor = control->GetOpacity();
            Vx::RCPtrArray<LControl> nested;
            EXPECT_EQ(control->Paint(renderer, dirty, nested, true), Vx::VXR_OK);
        }
    }

    void PaintAll(const RCPtr<LControl>& top) { PaintScreen(top, RegionOf({IntRect{0, 0, 800, 480}})); }

    // The window's invalidations since the last call, as its dirty region.
    RgnLight TakeDirty()
    {
        RgnLight dirty;
        for (const std::string& line : harness.TakeLog())
        {
            IntRect rect{};
            if (std::sscanf(line.c_str(), "invalidate:main %d,%d,%d,%d", &rect.x, &rect.y, &rect.width, &rect.height) ==
                4)
                dirty.UnionRect(rect);
        }
        return dirty;
    }

    juce::Image Picture() const { return screen->GetFrontImage()->createCopy(); }

    ControlHarness harness;
    RCPtr<Vx::LJUCERenderer> renderer;
    RCPtr<Vx::LJUCERenderContextInfo> screen;
    Vx::RCPtrArray<LControl> handedBack;
};

// Page, a red box with a green child that does not clip to it and reaches
// into a blue sibling that lies above the red one.
class Overlapping : public Painting
{
protected:
    void SetUp() override
    {
        Painting::SetUp();
        const RCPtr<LControlDescriptor> page = Page();
        const RCPtr<LControlDescriptor> red = Box("red", page, {10, 10, 100, 100}, kRed);
        Box("green", red, {80, 80, 50, 50}, kGreen)->GetLayout()->ClipToParent = false;
        Box("blue", page, {100, 100, 100, 100}, kBlue);
        top = harness.CreateTop("page");
    }

    RCPtr<LControl> top;
};

TEST_F(Overlapping, AControlThatDoesNotClipIsPaintedInTheSecondPassAboveItsParentsSiblings)
{
    TestControl& green = Find(top, {"red", "green"});
    PaintScreen(top, RegionOf({IntRect{0, 0, 800, 480}}), false);
    ASSERT_EQ(handedBack.GetCount(), 1u);
    EXPECT_EQ(handedBack[0].Get(), &green);
    juce::Image picture = Picture();
    EXPECT_EQ(PixelAt(picture, 50, 50), kRed);
    EXPECT_EQ(PixelAt(picture, 95, 95), kRed) << "not drawn by its parent";
    EXPECT_EQ(PixelAt(picture, 120, 120), kBlue);
    EXPECT_EQ(PixelAt(picture, 5, 5), kWhite);
    EXPECT_EQ(green.GetPaintCount(), 0u);

    PaintAll(top);
    picture = Picture();
    EXPECT_EQ(PixelAt(picture, 95, 95), kGreen);
    EXPECT_EQ(PixelAt(picture, 120, 120), kGreen) << "above the blue sibling";
    EXPECT_EQ(PixelAt(picture, 150, 150), kBlue);
    EXPECT_EQ(green.GetPaintCount(), 1u);

    // Each control belongs to one pass.
    VxTest::CaptureStderr capture;
    Vx::RCPtrArray<LControl> list;
    renderer->RenderStart(screen);
    EXPECT_EQ(green.Paint(renderer, RegionOf({IntRect{0, 0, 800, 480}}), list, false), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(top->Paint(renderer, RegionOf({IntRect{0, 0, 800, 480}}), list, true), Vx::VXR_E_INVALIDARG);
    renderer->RenderFinish(screen);
    EXPECT_EQ(AssertionsIn(capture.Finish()), 2);
    EXPECT_EQ(list.GetCount(), 0u);
    EXPECT_EQ(PixelAt(Picture(), 120, 120), kGreen) << "nothing drawn";
}

TEST_F(Overlapping, AnInvisibleControlDrawsAndCollectsNothing)
{
    TestControl& red = Find(top, {"red"});
    red.SetVisible(false);
    PaintAll(top);
    EXPECT_EQ(handedBack.GetCount(), 0u) << "its non-clipping child is hidden with it";
    EXPECT_EQ(red.GetPaintCount(), 0u);
    EXPECT_EQ(PixelAt(Picture(), 50, 50), kWhite);

    // Asked directly, on a picture of its own.
    screen = MakeScreen();
    Vx::RCPtrArray<LControl> list;
    renderer->RenderStart(screen);
    EXPECT_EQ(red.Paint(renderer, RegionOf({IntRect{0, 0, 800, 480}}), list, false), Vx::VXR_OK);
    renderer->RenderFinish(screen);
    EXPECT_EQ(list.GetCount(), 0u);
    EXPECT_EQ(PixelAt(Picture(), 50, 50), 0u);
}

TEST_F(Overlapping, InvalidationsOfAClippingChildStopAtItsParent)
{
    TestControl& green = Find(top, {"red", "green"});
    TestControl& red = Find(top, {"red"});
    green.SetClipToParent(true);
    (void)harness.TakeLog();
    EXPECT_EQ(green.InvalidateRect(Rect{30, 30, 10, 10}, true), Vx::VXR_NOTHING_DONE) << "outside red";
    EXPECT_TRUE(harness.TakeLog().empty());
    EXPECT_EQ(green.InvalidateRect(Rect{10, 10, 20, 20}, true), Vx::VXR_OK);
    EXPECT_EQ(harness.TakeLog(), (VxTest::Log{"invalidate:main 100,100,10,10"})) << "cut at red's edge";

    green.SetClipToParent(false);
    (void)harness.TakeLog();
    EXPECT_EQ(green.InvalidateRect(Rect{30, 30, 10, 10}, true), Vx::VXR_OK);
    EXPECT_EQ(harness.TakeLog(), (VxTest::Log{"invalidate:main 120,120,10,10"}));
    red.SetVisible(false);
    (void)harness.TakeLog();
    EXPECT_EQ(green.Invalidate(), Vx::VXR_NOTHING_DONE) << "hidden with its parent";
    EXPECT_TRUE(harness.TakeLog().empty());
}

TEST_F(Painting, HooksDrawOncePerDirtyRectangleAroundTheChildren)
{
    const RCPtr<LControlDescriptor> page = Page();
    const RCPtr<LControlDescriptor> panel = Box("panel", page, {100, 100, 200, 100}, kRed);
    Box("inner", panel, {0, 0, 50, 50}, kGreen);
    Box("untouched", panel, {150, 50, 50, 50}, kBlue);
    Box("outside", panel, {300, 0, 10, 10}, kBlue);
    const RCPtr<LControl> top = harness.CreateTop("page");
    HookCalls calls;
    for (const char* name : {"inner", "untouched", "outside"})
        Find(top, {"panel", name}).mHookLog = &calls;
    Find(top, {"panel"}).mHookLog = &calls;

    PaintScreen(top, RegionOf({IntRect{90, 90, 20, 20}, IntRect{250, 110, 10, 10}, IntRect{500, 400, 10, 10}}));
    std::vector<std::string> order;
    std::multiset<std::pair<std::string, std::string>> clips;
    for (const TestControl::HookCall& call : calls)
    {
        order.push_back(call.what);
        clips.insert({call.what, std::to_string(call.clip.x) + "," + std::to_string(call.clip.y) + "," +
                                     std::to_string(call.clip.width) + "," + std::to_string(call.clip.height)});
    }
    EXPECT_EQ(order, (std::vector<std::string>{"overlay:panel", "overlay:panel", "overlay:inner", "content:inner",
                                               "content:panel", "content:panel"}))
        << "overlays after the looks, contents after the children";
    EXPECT_EQ(clips, (std::multiset<std::pair<std::string, std::string>>{{"overlay:panel", "100,100,10,10"},
                                                                         {"overlay:panel", "250,110,10,10"},
                                                                         {"overlay:inner", "100,100,10,10"},
                                                                         {"content:inner", "100,100,10,10"},
                                                                         {"content:panel", "100,100,10,10"},
                                                                         {"content:panel", "250,110,10,10"}}));
    EXPECT_EQ(Find(top, {"panel", "inner"}).GetPaintCount(), 1u);
    EXPECT_EQ(Find(top, {"panel", "untouched"}).GetPaintCount(), 1u) << "visible, though not dirty";
    EXPECT_EQ(Find(top, {"panel", "outside"}).GetPaintCount(), 0u) << "clipped away";
    const juce::Image picture = Picture();
    EXPECT_EQ(PixelAt(picture, 105, 105), kGreen);
    EXPECT_EQ(PixelAt(picture, 255, 115), kRed);
    EXPECT_EQ(PixelAt(picture, 120, 120), 0u) << "not dirty, not drawn";
}

TEST_F(Painting, LooksAreDrawnAtTheirWeightTimesTheControlsOpacity)
{
    const RCPtr<TestControl> control = TestControl::Create(nullptr, "blend");
    control->Place({0, 0, 40, 40});
    control->AddWeightedLook(VxTest::MakeLook(Offsets(0), nullptr, false, kRed), 0.5f);
    control->AddWeightedLook(VxTest::MakeLook(Offsets(0), nullptr, false, kBlue), 0.0f);

    struct Case
    {
        float opacity;
        int alpha;
    };
    for (const Case c : {Case{1.0f, 128}, Case{0.5f, 64}})
    {
        SCOPED_TRACE(c.opacity);
        control->SetOpacity(c.opacity);
        screen = MakeScreen();
        PaintAll(control);
        const juce::Colour pixel = Picture().getPixelAt(20, 20);
        EXPECT_NEAR(pixel.getAlpha(), c.alpha, 1);
        EXPECT_EQ(pixel.getBlue(), 0) << "a look of weight 0 is not drawn";
        EXPECT_GT(pixel.getRed(), 250);
    }
}

// A scroll area of ten rows, 192 x 20 each, in a surface of its own, inside
// a client part inset by 4, with a header docked on both axes over them.
class ScrollArea : public Painting
{
protected:
    void SetUp() override
    {
        Painting::SetUp();
        const RCPtr<LControlDescriptor> page = Page();
        const RCPtr<LControlDescriptor> area = Box("area", page, {50, 50, 200, 100}, kWhite, 4);
        for (int row = 0; row < 10; ++row)
            Box(kRows[row], area, {0, 20.0 * row, 192, 20}, RowColour(row));
        LLayoutDescriptor& header = *Box("header", area, {0, 0, 192, 6}, kRed)->GetLayout();
        header.XIsDocked = true;
        header.YIsDocked = true;
        top = harness.CreateTop("page");
        for (const char* row : kRows)
            Find(top, {"area", row}).mHookLog = &calls;
        scroller = &Find(top, {"area"});
    }

    // The rows' content calls, as one region (surface pixels), emptied.
    RgnLight TakeRowPaints()
    {
        RgnLight painted;
        for (const TestControl::HookCall& call : calls)
            if (call.what.rfind("content:row", 0) == 0)
                painted.UnionRect(call.clip);
        calls.clear();
        return painted;
    }

    static RgnLight::Rect BoundsOf(const RgnLight& region)
    {
        RgnLight::Rect bounds{};
        region.GetBounds(bounds);
        return bounds;
    }

    static std::uint32_t AreaOf(const RgnLight& region)
    {
        std::uint32_t area = 0;
        for (const RgnLight::Node* node = region.GetFirstNode(); node != nullptr; node = node->next)
            area += static_cast<std::uint32_t>((node->right - node->left) * (node->bottom - node->top));
        return area;
    }

    // The same tree painted from scratch without a surface.
    ::testing::AssertionResult MatchesDirectPainting()
    {
        const juce::Image withSurface = Picture();
        const bool wasOn = scroller->IsOffscreenRendering();
        scroller->SetOffscreenRendering(false);
        const RCPtr<Vx::LJUCERenderContextInfo> reference = MakeScreen();
        PaintOn(reference, top, RegionOf({IntRect{0, 0, 800, 480}}));
        const juce::Image direct = reference->GetFrontImage()->createCopy();
        // Back as it was: a surface holding everything, nothing to repaint.
        if (wasOn)
        {
            scroller->SetOffscreenRendering(true);
            PaintAll(top);
        }
        calls.clear();
        (void)harness.TakeLog();
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 800; ++x)
                if (PixelAt(withSurface, x, y) != PixelAt(direct, x, y))
                    return ::testing::AssertionFailure()
                           << "pixel (" << x << ", " << y << ") is " << std::hex << PixelAt(withSurface, x, y)
                           << ", painted directly " << PixelAt(direct, x, y);
        return ::testing::AssertionSuccess();
    }

    static constexpr const char* kRows[10] = {"row0", "row1", "row2", "row3", "row4",
                                              "row5", "row6", "row7", "row8", "row9"};
    RCPtr<LControl> top;
    TestControl* scroller = nullptr;
    HookCalls calls;
};

TEST_F(ScrollArea, ScrollingRendersOnlyTheUncoveredStripIntoTheSurface)
{
    ASSERT_EQ(scroller->SetOffscreenRendering(true), Vx::VXR_OK);
    EXPECT_EQ(scroller->SetOffscreenRendering(true), Vx::VXR_NOTHING_DONE);
    PaintAll(top);
    EXPECT_EQ(BoundsOf(TakeRowPaints()), (RgnLight::Rect{0, 0, 192, 92})) << "the visible rows, in the surface";
    EXPECT_TRUE(MatchesDirectPainting());
    RgnLight left;
    scroller->GetSurfaceDirtyRegion(left);
    EXPECT_TRUE(left.IsEmpty());

    (void)harness.TakeLog();
    scroller->SetScrollOffset({0, 10});
    PaintScreen(top, TakeDirty());
    const RgnLight strip = TakeRowPaints();
    EXPECT_EQ(BoundsOf(strip), (RgnLight::Rect{0, 82, 192, 92})) << "the bottom 10 rows of pixels";
    EXPECT_EQ(AreaOf(strip), 192u * 10u);
    const juce::Image picture = Picture();
    EXPECT_EQ(PixelAt(picture, 60, 54), kRed) << "the docked header stays";
    EXPECT_EQ(PixelAt(picture, 60, 60), RowColour(0)) << "content 16";
    EXPECT_EQ(PixelAt(picture, 60, 145), RowColour(5)) << "content 101";
    EXPECT_TRUE(MatchesDirectPainting());

    // A row's own change reaches its place in the scrolled surface.
    (void)harness.TakeLog();
    Find(top, {"area", "row3"}).Invalidate();
    RgnLight dirt;
    scroller->GetSurfaceDirtyRegion(dirt);
    EXPECT_EQ(BoundsOf(dirt), (RgnLight::Rect{0, 50, 192, 70}));
    PaintScreen(top, TakeDirty());
    EXPECT_EQ(BoundsOf(TakeRowPaints()), (RgnLight::Rect{0, 50, 192, 70}));
    EXPECT_TRUE(MatchesDirectPainting());

    // A row that goes leaves nothing behind in the surface.
    (void)harness.TakeLog();
    Find(top, {"area", "row3"}).SetVisible(false);
    PaintScreen(top, TakeDirty());
    EXPECT_EQ(PixelAt(Picture(), 60, 110), kWhite) << "content 66, where the row was";
    EXPECT_TRUE(MatchesDirectPainting());
}

TEST_F(ScrollArea, ContentBeyondTheLargestSurfaceSwitchesItOffOnce)
{
    ASSERT_EQ(scroller->SetOffscreenRendering(true), Vx::VXR_OK);
    PaintAll(top);
    (void)TakeRowPaints();
    LLayoutDescriptor::PositionSpec position;
    LLayoutDescriptor::SizeSpec size;
    ASSERT_EQ(scroller->GetAxisPlacement(0, position, size), Vx::VXR_OK);

    VxTest::CaptureStderr capture;
    for (const double width : {5000.0, 5001.0})
    {
        size.abs = width;
        scroller->SetAxisPlacement(0, position, size);
    }
    const std::string logged = capture.Finish();
    EXPECT_EQ(VxTest::CountOf(logged, "Needed offscreen surface size is larger than max size renderer supports.\n"
                                      "Offscreen rendering will be shut off for the control \"area\"\n"),
              1)
        << logged;
    EXPECT_FALSE(scroller->IsOffscreenRendering());
    EXPECT_EQ(scroller->SetOffscreenRendering(true), Vx::VXR_E_FAIL) << "still too large";
    EXPECT_FALSE(scroller->IsOffscreenRendering());

    // Painted directly from now on, in window coordinates.
    PaintAll(top);
    EXPECT_EQ(BoundsOf(TakeRowPaints()), (RgnLight::Rect{54, 54, 246, 146}));
    EXPECT_EQ(PixelAt(Picture(), 60, 60), RowColour(0));
    EXPECT_TRUE(MatchesDirectPainting());
}

TEST_F(ScrollArea, AFailureInsideTheSurfacePassEndsItAndLosesNoDirt)
{
    ASSERT_EQ(scroller->SetOffscreenRendering(true), Vx::VXR_OK);
    PaintAll(top);
    (void)harness.TakeLog();
    scroller->SetScrollOffset({0, 10});
    const RgnLight dirty = TakeDirty();

    TestControl& row5 = Find(top, {"area", "row5"});
    row5.mThrowInContent = true;
    EXPECT_THROW(PaintScreen(top, dirty), std::runtime_error);
    // No pass is left open, and no state pushed.
    renderer->RenderStart(screen);
    EXPECT_EQ(renderer->GetCurrentContext(), screen);
    EXPECT_EQ(renderer->GetStateDepth(), 0);
    renderer->RenderFinish(screen);
    RgnLight dirt;
    scroller->GetSurfaceDirtyRegion(dirt);
    EXPECT_EQ(BoundsOf(dirt), (RgnLight::Rect{0, 82, 192, 92})) << "the strip is still to be rendered";

    row5.mThrowInContent = false;
    PaintScreen(top, dirty);
    EXPECT_TRUE(MatchesDirectPainting());
}

TEST_F(ScrollArea, SurfaceDumpsNameTheControlThePaintAndTheStep)
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("vx-dumps-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    ASSERT_EQ(scroller->SetOffscreenRendering(true), Vx::VXR_OK);
    scroller->SetDebugDump(0x5, folder.c_str());
    PaintAll(top);
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    std::filesystem::remove_all(folder);
    EXPECT_EQ(names, (std::set<std::string>{
                         "page_area__000000__ClearDirtyRegions_0.png", "page_area__000000__ClearDirtyRegions_2.png",
                         "page_area__000000__DrawChildren_0.png", "page_area__000000__DrawChildren_1.png"}));
}

TEST_F(Overlapping, AnotherThreadInvalidatesWindowCoordinatesOrPosts)
{
    TestControl& blue = Find(top, {"blue"});
    using Handler = Vx::LNotificationHandler<LControl>::Handler;
    ASSERT_EQ(blue.GetHandler()->Register(static_cast<Handler>(&TestControl::OnInvalidateRequest), harness.window,
                                          "NID_REPAINT_BLUE", 0),
              Vx::VXR_OK);
    (void)harness.TakeLog();

    VxTest::CaptureStderr capture;
    Vx::VxRESULT walked = Vx::VXR_OK;
    std::thread other([&] {
        walked = blue.Invalidate();
        harness.window->Invalidate(IntRect{1, 2, 3, 4});
        harness.window->PostNotification("NID_REPAINT_BLUE", nullptr);
    });
    other.join();
    EXPECT_EQ(AssertionsIn(capture.Finish()), 1);
    EXPECT_EQ(walked, Vx::VXR_E_FAIL) << "the tree is not walked off the main thread";
    EXPECT_EQ(harness.TakeLog(), (VxTest::Log{"invalidate:main 1,2,3,4"}));

    harness.Idle();
    EXPECT_EQ(harness.TakeLog(), (VxTest::Log{"invalidate:main 100,100,100,100"})) << "on the main thread";
    blue.GetHandler()->Unregister(harness.window, "NID_REPAINT_BLUE");
}
} // namespace
