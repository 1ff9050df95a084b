#include "tests/VxFramework/Controls/ScrollHarness.h"

#include "tests/VxFramework/Renderer/JUCE/JUCERenderingSupport.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

using namespace VxTest;
using Vx::RCPtr;
using Rect = Vx::RectT<double>;
using Size = Vx::PointT<double>;

namespace
{
// A view whose vertical bar counts rows of the given height.
class RowView : public Vx::LPanel
{
public:
    RowView(const RCPtr<Vx::LControl>& parent, const Text& name) : LPanel(parent, name) {}

    void SetRows(std::int32_t height)
    {
        m_verticalItemMode = 1;
        m_itemHeight = height;
        UpdateScrollBarRanges();
    }
};

// A page with "view", a 200 x 150 panel at (20, 15) with corner and bars
// 16 thick and a small child "content".
class ViewPage
{
public:
    void Make(const char* className = "Framework.Panel",
              const std::function<void(const RCPtr<Vx::LControlDescriptor>&)>& more = nullptr)
    {
        h.factory->RegisterControlType("Test.RowView", &Vx::CreateControl<RowView>);
        const auto page = h.Describe("page", nullptr, Rect{0, 0, 800, 480}, "Framework.Panel");
        const auto described = h.DescribeView("view", page, Rect{20, 15, 200, 150}, className);
        h.Describe("content", described, Rect{0, 0, 10, 10}, ScrollHarness::kPlain, 0xFFFF0000u);
        if (more)
            more(described);
        top = h.CreateTop("page");
        ASSERT_FALSE(top.IsNull());
        view = Part<Vx::LScrollView>(top, {"view"});
        ASSERT_FALSE(view.IsNull());
        hBar = view->GetHorizontalBar();
        vBar = view->GetVerticalBar();
        ASSERT_FALSE(hBar.IsNull());
        ASSERT_FALSE(vBar.IsNull());
    }

    static double Maximum(const RCPtr<Vx::LScrollbar>& bar) { return bar->NormalizedToValue(1.0); }

    ScrollHarness h;
    RCPtr<Vx::LControl> top;
    RCPtr<Vx::LScrollView> view;
    RCPtr<Vx::LScrollbar> hBar;
    RCPtr<Vx::LScrollbar> vBar;
};

class ScrollViewTest : public ::testing::Test, public ViewPage
{
};

TEST_F(ScrollViewTest, TheBarsShowWhenTheContentDoesNotFit)
{
    Make();
    struct Case
    {
        Size extent;
        bool h;
        bool v;
        Rect viewport;
    };
    const Case cases[] = {
        {{300, 140}, true, true, {0, 0, 184, 134}}, // taller only by less than the bar
        {{0, 0}, false, false, {0, 0, 200, 150}},     {{150, 300}, false, true, {0, 0, 184, 150}},
        {{200, 150}, false, false, {0, 0, 200, 150}}, {{300, 100}, true, false, {0, 0, 200, 134}},
        {{200, 151}, true, true, {0, 0, 184, 134}}, // the vertical bar crowds out the width
        {{184, 300}, false, true, {0, 0, 184, 150}},  {{100, 100}, false, false, {0, 0, 200, 150}},
    };
    for (const Case& c : cases)
    {
        CaptureStderr capture;
        view->SetClientExtent(c.extent);
        EXPECT_EQ(AssertionsIn(capture.Finish()), 0);
        EXPECT_EQ(hBar->IsVisible(false), c.h) << c.extent.x << " x " << c.extent.y;
        EXPECT_EQ(vBar->IsVisible(false), c.v) << c.extent.x << " x " << c.extent.y;
        const Rect viewport = view->GetDragBounds(nullptr);
        EXPECT_EQ(viewport.width, c.viewport.width) << c.extent.x << " x " << c.extent.y;
        EXPECT_EQ(viewport.height, c.viewport.height) << c.extent.x << " x " << c.extent.y;
        // The bars lie along the viewport's edges.
        if (c.v)
        {
            EXPECT_EQ(vBar->GetBounds(), (Rect{184, 0, 16, viewport.height}));
        }
        if (c.h)
        {
            EXPECT_EQ(hBar->GetBounds(), (Rect{0, 134, viewport.width, 16}));
        }
    }
}

TEST_F(ScrollViewTest, BarRangesFollowExtentAndViewport)
{
    Make();
    // Never set: unbounded scrolling, ranges down to minus the viewport.
    EXPECT_EQ(view->GetScrollBounds(), (Rect{0, 0, 4503599627370496.0, 4503599627370496.0}));
    EXPECT_EQ(Maximum(vBar), -150.0);
    EXPECT_EQ(Maximum(hBar), -200.0);
    EXPECT_EQ(vBar->GetThumbSize(), 1.0);

    view->SetClientExtent(Size{150, 300}); // 184 x 150 visible
    EXPECT_EQ(Maximum(vBar), 150.0);
    EXPECT_EQ(vBar->GetThumbSize(), 0.5);
    EXPECT_EQ(vBar->GetPageStep(), 1.0);
    EXPECT_NEAR(vBar->GetLineStep(), 0.1, 1e-7);
    EXPECT_EQ(view->GetScrollBounds(), (Rect{0, 0, 0, 150}));

    view->SetClientExtent(Size{400, 600}); // 184 x 134 visible
    EXPECT_EQ(Maximum(vBar), 466.0);
    EXPECT_EQ(Maximum(hBar), 216.0);
    EXPECT_FLOAT_EQ(static_cast<float>(vBar->GetThumbSize()), 134.0f / 600.0f);
    EXPECT_FLOAT_EQ(static_cast<float>(hBar->GetPageStep()), 184.0f / 216.0f);
}

TEST_F(ScrollViewTest, BarsAndScrollOffsetMoveTogether)
{
    Make();
    view->SetClientExtent(Size{400, 600});
    const auto recorder = Vx::MakeRCPtr<Recorder>();
    recorder->Listen(RCPtr<Vx::LNotificationDistributor>(view), {"NID_SCROLL_OFFSET_CHANGE"});

    vBar->SetValue(0.5);
    EXPECT_EQ(view->GetScrollOffset(), (Size{0, 233}));
    view->SetScrollOffset(Size{100, 233});
    EXPECT_DOUBLE_EQ(hBar->GetValue(), 100.0 / 216.0);
    EXPECT_EQ(view->GetScrollOffset(), (Size{100, 233})) << "the bar's change does not come back";
    EXPECT_EQ(recorder->mIds.size(), 2u);

    // Less content: the offset stays within the new range.
    view->SetClientExtent(Size{400, 300});
    EXPECT_EQ(view->GetScrollOffset(), (Size{100, 166}));
    EXPECT_EQ(vBar->GetValue(), 1.0);
    // None at all: back to the origin, bars hidden.  (The horizontal bar
    // moves first, so the vertical offset is briefly beyond its range, which
    // is asserted.)
    view->SetClientExtent(Size{0, 0});
    EXPECT_EQ(view->GetScrollOffset(), (Size{0, 0}));
    EXPECT_FALSE(vBar->IsVisible(false));
    recorder->UnregisterAll();
}

TEST_F(ScrollViewTest, AnExtentChangeIsAnnouncedOnceAndBadSizesCountAsNone)
{
    Make();
    const auto recorder = Vx::MakeRCPtr<Recorder>();
    recorder->Listen(RCPtr<Vx::LNotificationDistributor>(view), {"NID_CLIENT_EXTENT_CHANGE"});
    struct Case
    {
        Size extent;
        Vx::VxRESULT result;
        int assertions;
        Size stored;
    };
    const Case cases[] = {
        {{0, 0}, Vx::VXR_NOTHING_DONE, 0, {0, 0}},
        {{1e-16, 2e-15}, Vx::VXR_NOTHING_DONE, 0, {0, 0}}, // below ten epsilons: no change
        {{401, 600}, Vx::VXR_OK, 0, {401, 600}},
        {{401, 600}, Vx::VXR_NOTHING_DONE, 0, {401, 600}},
        {{-5, 600}, Vx::VXR_OK, 1, {0, 600}},
        {{NAN, INFINITY}, Vx::VXR_OK, 2, {0, 0}},
    };
    std::size_t sent = 0;
    for (const Case& c : cases)
    {
        CaptureStderr capture;
        EXPECT_EQ(view->SetClientExtent(c.extent), c.result) << c.extent.x;
        EXPECT_EQ(AssertionsIn(capture.Finish()), c.assertions) << c.extent.x;
        EXPECT_EQ(view->GetClientExtent(), c.stored) << c.extent.x;
        sent += c.result == Vx::VXR_OK ? 1 : 0;
        EXPECT_EQ(recorder->mIds.size(), sent) << c.extent.x;
    }
    recorder->UnregisterAll();
}

TEST_F(ScrollViewTest, TheWheelStepsTheBarItChooses)
{
    Make();
    view->SetClientExtent(Size{400, 600});
    struct Case
    {
        int modifiers;
        unsigned int direction;
        int axis;
        bool page;
        bool forward;
    };
    const Case cases[] = {
        {0, 0, 1, false, true},
        {0, 1, 1, false, false},
        {static_cast<int>(Vx::kModifierAlt), 0, 0, false, true},
        {static_cast<int>(Vx::kModifierShift), 0, 1, true, true},
        {static_cast<int>(Vx::kModifierShift | Vx::kModifierAlt), 1, 0, true, false},
        {0, 2, 0, false, true},
        {0, 3, 0, false, false},
    };
    for (const Case& c : cases)
    {
        view->SetScrollOffset(Size{108, 233}); // both bars at 0.5
        const RCPtr<Vx::LScrollbar>& bar = c.axis == 0 ? hBar : vBar;
        const double step = c.page ? bar->GetPageStep() : bar->GetLineStep();
        const double expected = std::round(Maximum(bar) * std::clamp(0.5 + (c.forward ? step : -step), 0.0, 1.0));
        h.window->MouseWheel(Vx::PointT<int>{70, 60}, c.modifiers, c.direction);
        const Size offset = view->GetScrollOffset();
        EXPECT_EQ(c.axis == 0 ? offset.x : offset.y, expected) << c.modifiers << " " << c.direction;
        EXPECT_EQ(c.axis == 0 ? offset.y : offset.x, c.axis == 0 ? 233 : 108) << "the other axis stays";
    }

    // Without bars the wheel is not the view's.
    view->SetScrollOffset(Size{0, 0});
    view->SetClientExtent(Size{0, 0});
    h.window->MouseWheel(Vx::PointT<int>{70, 60}, 0, 0);
    EXPECT_EQ(view->GetScrollOffset(), (Size{0, 0}));
}

TEST_F(ScrollViewTest, RowModeCountsWholeRows)
{
    Make("Test.RowView");
    auto& rows = dynamic_cast<RowView&>(*view);
    view->SetClientExtent(Size{0, 360});
    rows.SetRows(36); // 10 rows, 4 of them visible in 150
    EXPECT_EQ(Maximum(vBar), 6.0);
    EXPECT_DOUBLE_EQ(vBar->GetLineStep(), 1.0 / 6.0);
    EXPECT_DOUBLE_EQ(vBar->GetPageStep(), 4.0 / 6.0);
    EXPECT_DOUBLE_EQ(vBar->GetThumbSize(), 0.4);
    vBar->SetValue(2.7 / 6.0);
    EXPECT_EQ(view->GetScrollOffset().y, 72.0) << "row 2, not 2.7";

    CaptureStderr capture;
    rows.SetRows(0);
    EXPECT_EQ(AssertionsIn(capture.Finish()), 1) << "rows without height";
    EXPECT_EQ(Maximum(vBar), 6.0);
}

TEST(ScrollView, TheExtentCanFollowTheChildren)
{
    struct Case
    {
        const char* x;
        const char* y;
        Size extent;
    };
    const Case cases[] = {
        {"True", " TRUE ", {310, 500}},
        {"true", "no", {310, 0}},
        {nullptr, "true", {0, 500}},
    };
    for (const Case& c : cases)
    {
        ViewPage fresh;
        fresh.Make("Framework.Panel", [&](const RCPtr<Vx::LControlDescriptor>& view) {
            if (c.x != nullptr)
                ScrollHarness::Param(view, "AUTO_CLIENT_EXTENT_X", c.x);
            ScrollHarness::Param(view, "AUTO_CLIENT_EXTENT_Y", c.y);
            fresh.h.Describe("a", view, Rect{10, 20, 300, 40});
            // Hidden children count; docked ones do not.
            ScrollHarness::Layout(fresh.h.Describe("b", view, Rect{0, 100, 50, 400})).IsVisible = false;
            auto& docked = ScrollHarness::Layout(fresh.h.Describe("c", view, Rect{0, 0, 1000, 1000}));
            docked.XIsDocked = docked.YIsDocked = true;
        });
        EXPECT_EQ(fresh.view->GetClientExtent(), c.extent) << c.y;
    }

    // A child that moves takes the extent with it.
    ViewPage moving;
    moving.Make("Framework.Panel", [&](const RCPtr<Vx::LControlDescriptor>& view) {
        ScrollHarness::Param(view, "AUTO_CLIENT_EXTENT_X", "true");
        ScrollHarness::Param(view, "AUTO_CLIENT_EXTENT_Y", "true");
        moving.h.Describe("a", view, Rect{10, 20, 300, 40});
    });
    EXPECT_EQ(moving.view->GetClientExtent(), (Size{310, 60}));
    EXPECT_TRUE(moving.hBar->IsVisible(false));
    const RCPtr<Vx::LControl> a = moving.view->FindChild("a");
    Vx::LLayoutDescriptor::PositionSpec position;
    Vx::LLayoutDescriptor::SizeSpec size;
    ASSERT_GE(a->GetAxisPlacement(1, position, size), 0);
    position.abs = 300;
    a->SetAxisPlacement(1, position, size);
    EXPECT_EQ(moving.view->GetClientExtent(), (Size{310, 340}));
    EXPECT_TRUE(moving.vBar->IsVisible(false));
}

TEST_F(ScrollViewTest, ASkinAppliedAgainKeepsOneSubscriptionPerBar)
{
    Make();
    view->SetClientExtent(Size{400, 600});
    const auto clients = [](const RCPtr<Vx::LScrollbar>& bar) {
        const auto pool = bar->FindClientPool(Vx::InternNotificationId("NID_VALUE_CHANGE"));
        return pool.IsNull() ? 0u : pool->GetClientCount();
    };
    EXPECT_EQ(clients(vBar), 1u);
    for (int i = 0; i < 2; ++i)
        EXPECT_GE(view->ApplyDescriptor(view->GetDescriptor()), 0);
    EXPECT_EQ(clients(vBar), 1u);
    EXPECT_EQ(clients(hBar), 1u);
    EXPECT_TRUE(vBar->IsVisible(false));
    vBar->SetValue(0.5);
    EXPECT_EQ(view->GetScrollOffset().y, 233.0);
}

TEST_F(ScrollViewTest, AScrolledViewMatchesItsPicture)
{
    Make("Framework.Panel", [&](const RCPtr<Vx::LControlDescriptor>& view) {
        h.Describe("red", view, Rect{0, 0, 200, 150}, ScrollHarness::kPlain, 0xFFC02020u);
        h.Describe("green", view, Rect{200, 0, 200, 150}, ScrollHarness::kPlain, 0xFF20C020u);
        h.Describe("blue", view, Rect{0, 150, 200, 150}, ScrollHarness::kPlain, 0xFF2020C0u);
        h.Describe("yellow", view, Rect{200, 150, 200, 150}, ScrollHarness::kPlain, 0xFFC0C020u);
    });
    h.osWindow.mClientSize = IntPoint{240, 180};
    view->SetClientExtent(Size{400, 300});
    view->SetScrollOffset(Size{150, 100});
    EXPECT_EQ(vBar->GetBounds().height, 134.0);
    juce::Image image(juce::Image::ARGB, 240, 180, true);
    CaptureStderr capture;
    h.PaintAll(image);
    EXPECT_EQ(AssertionsIn(capture.Finish()), 0);
    VxTest::ExpectMatchesGolden(image, "scroll-view-scrolled", 2);
}
} // namespace

namespace
{
TEST_F(ScrollViewTest, VisibleContentAndMinimumSizeComeFromTheUndockedChildren)
{
    Make("Framework.Panel", [&](const RCPtr<Vx::LControlDescriptor>& view) {
        auto& layout = ScrollHarness::Layout(view);
        layout.XMaxSizeReference = Vx::LimitReference::NamedControl;
        layout.XMaxSizeControlName = "Children";
        layout.YMaxSizeAbs = 77;
        h.Describe("wide", view, Rect{30, 5, 120, 20});
    });
    view->SetClientExtent(Size{400, 600});
    view->SetScrollOffset(Size{100, 233});
    // The bars and the corner are docked and do not count.
    EXPECT_EQ(view->GetVisibleContentRect(), (Rect{100, 233, 150, 25}));
    EXPECT_EQ(view->GetMinimumSize(), (Size{150, 77}));
}
} // namespace
