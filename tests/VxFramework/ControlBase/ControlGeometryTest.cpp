// A control's geometry: the layout ripple through the tree, scrolling,
// frames, automatic sizes, animations under the test clock, and the focus of
// controls that lose their size, visibility or enabled state.

#include "tests/VxFramework/ControlBase/ControlDoubles.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace Vx
{
template <class T>
std::ostream& operator<<(std::ostream& out, const RectT<T>& rect)
{
    return out << "(" << rect.x << ", " << rect.y << ", " << rect.width << ", " << rect.height << ")";
}
} // namespace Vx

namespace
{
using Vx::LControl;
using Vx::LControlDescriptor;
using Vx::LLayoutDescriptor;
using Vx::RCPtr;
using Vx::RectT;
using VxTest::AssertionsIn;
using VxTest::ControlHarness;

// A top-level page that fills the harness's 800 x 480 window.
RCPtr<LControlDescriptor> DescribePage(ControlHarness& harness, const char* name = "page")
{
    const RCPtr<LControlDescriptor> page = harness.Describe(name);
    LLayoutDescriptor& layout = *page->GetLayout();
    layout.XSizeReference = Vx::SizeReference::Client;
    layout.XSizeRel = 1.0f;
    layout.XSizeAbs = 0;
    layout.YSizeReference = Vx::SizeReference::Client;
    layout.YSizeRel = 1.0f;
    layout.YSizeAbs = 0;
    return page;
}

// A child placed at (x, y) with the size, measured from the parent's client
// area.
RCPtr<LControlDescriptor> DescribeAt(ControlHarness& harness, const char* name, const RCPtr<LControlDescriptor>& parent,
                                     const RectT<double>& rect)
{
    const RCPtr<LControlDescriptor> child = harness.Describe(name, parent);
    LLayoutDescriptor& layout = *child->GetLayout();
    layout.XPositionAbs = rect.x;
    layout.YPositionAbs = rect.y;
    layout.XSizeAbs = rect.width;
    layout.YSizeAbs = rect.height;
    return child;
}

// A child whose every layout run logs one assertion (it is placed against a
// sibling that does not exist), so that its layout runs can be counted.
void DescribeCounted(ControlHarness& harness, const char* name, const RCPtr<LControlDescriptor>& parent)
{
    LLayoutDescriptor& layout = *harness.Describe(name, parent)->GetLayout();
    layout.YPositionReference = Vx::PositionReference::NamedControl;
    layout.YPositionControlName = "missing";
}

Vx::LLayoutDescriptor::SizeSpec SelfSize(double abs)
{
    return Vx::LLayoutDescriptor::SizeSpec{Vx::SizeReference::Self, "", 0.0f, abs};
}

TEST(ControlGeometry, ABoundsChangeRipplesToLaterSiblingsUntilOneChanges)
{
    ControlHarness harness;
    const RCPtr<LControlDescriptor> page = DescribePage(harness);
    DescribeAt(harness, "a", page, {0, 0, 100, 40});
    LLayoutDescriptor& b = *DescribeAt(harness, "b", page, {0, 0, 30, 40})->GetLayout();
    b.XPositionReference = Vx::PositionReference::NamedControl;
    b.XPositionControlName = "a";
    b.XPositionRel = 1.0f;
    DescribeCounted(harness, "counted", page);
    VxTest::CaptureStderr creating;
    const RCPtr<LControl> top = harness.CreateTop("page");
    creating.Finish();
    const RCPtr<LControl> a = top->FindChild("a");
    ASSERT_EQ(top->FindChild("b")->GetBounds().x, 100);

    // b moves: a's walk stops there, and b's own change carries on to the
    // counted sibling: one run, not two.
    Vx::LLayoutDescriptor::PositionSpec position;
    Vx::LLayoutDescriptor::SizeSpec size;
    ASSERT_EQ(a->GetAxisPlacement(0, position, size), Vx::VXR_OK);
    VxTest::CaptureStderr widening;
    EXPECT_EQ(a->SetAxisPlacement(0, position, SelfSize(150)), Vx::VXR_OK);
    EXPECT_EQ(AssertionsIn(widening.Finish()), 1);
    EXPECT_EQ(top->FindChild("b")->GetBounds().x, 150);

    // b stays: the walk goes on past it.
    ASSERT_EQ(a->GetAxisPlacement(1, position, size), Vx::VXR_OK);
    VxTest::CaptureStderr heightening;
    EXPECT_EQ(a->SetAxisPlacement(1, position, SelfSize(60)), Vx::VXR_OK);
    EXPECT_EQ(AssertionsIn(heightening.Finish()), 1);
    EXPECT_EQ(a->GetBounds(), (RectT<double>{0, 0, 150, 60}));
    EXPECT_EQ(a->SetBounds(a->GetBounds()), Vx::VXR_NOTHING_DONE);
}

TEST(ControlGeometry, ASizeChangeLaysTheChildrenOutOnceAMoveDoesNot)
{
    ControlHarness harness;
    const RCPtr<LControlDescriptor> page = DescribePage(harness);
    const RCPtr<LControlDescriptor> box = DescribeAt(harness, "box", page, {10, 10, 200, 100});
    DescribeCounted(harness, "inner", box);
    VxTest::CaptureStderr creating;
    const RCPtr<LControl> top = harness.CreateTop("page");
    creating.Finish();
    const RCPtr<LControl> boxControl = top->FindChild("box");
    Vx::LLayoutDescriptor::PositionSpec position;
    Vx::LLayoutDescriptor::SizeSpec size;
    ASSERT_EQ(boxControl->GetAxisPlacement(0, position, size), Vx::VXR_OK);

    VxTest::CaptureStderr resizing;
    EXPECT_EQ(boxControl->SetAxisPlacement(0, position, SelfSize(300)), Vx::VXR_OK);
    EXPECT_EQ(AssertionsIn(resizing.Finish()), 1);

    position.abs = 40;
    VxTest::CaptureStderr moving;
    EXPECT_EQ(boxControl->SetAxisPlacement(0, position, SelfSize(300)), Vx::VXR_OK);
    EXPECT_EQ(AssertionsIn(moving.Finish()), 0);
    EXPECT_EQ(boxControl->GetBounds(), (RectT<double>{40, 10, 300, 100}));
}

TEST(ControlGeometry, ScrollingRoundsOnceAndLeavesDockedChildrenInPlace)
{
    ControlHarness harness;
    const RCPtr<LControlDescriptor> page = DescribePage(harness);
    const RCPtr<LControlDescriptor> box = DescribeAt(harness, "box", page, {10, 20, 200, 100});
    DescribeAt(harness, "free", box, {5, 5, 20, 20});
    LLayoutDescriptor& pinned = *DescribeAt(harness, "pinned", box, {5, 30, 20, 20})->GetLayout();
    pinned.XIsDocked = true;
    pinned.YIsDocked = true;
    const RCPtr<LControl> top = harness.CreateTop("page");
    const RCPtr<LControl> boxControl = top->FindChild("box");
    const RCPtr<LControl> free = boxControl->FindChild("free");
    const RCPtr<LControl> docked = boxControl->FindChild("pinned");
    const RCPtr<VxTest::Recorder> recorder = Vx::MakeRCPtr<VxTest::Recorder>();
    recorder->Listen(boxControl, {"NID_SCROLL_OFFSET_CHANGE"});
    ASSERT_EQ(free->GetRectInRootWindow(), (RectT<double>{15, 25, 20, 20}));
    ASSERT_EQ(docked->GetRectInRootWindow(), (RectT<double>{15, 50, 20, 20}));

    EXPECT_EQ(boxControl->SetScrollOffset({10.5, -2.5}), (Vx::PointT<double>{11, -3}));
    EXPECT_EQ(recorder->mIds.size(), 1u);
    EXPECT_EQ(free->GetRectInRootWindow(), (RectT<double>{4, 28, 20, 20})) << "content moves";
    EXPECT_EQ(docked->GetRectInRootWindow(), (RectT<double>{15, 50, 20, 20})) << "docked stays";
    EXPECT_EQ(boxControl->GetVisibleContentRect(), (RectT<double>{11, -3, 200, 100}));
    EXPECT_EQ(free->ConvertPointFromControl(docked, {1, 1}), (Vx::PointT<double>{12, 23}));

    EXPECT_EQ(boxControl->SetScrollOffset({10.6, -3.4}), (Vx::PointT<double>{11, -3}));
    EXPECT_EQ(recorder->mIds.size(), 1u) << "the same offset again announces nothing";

    // Content moving under a resting pointer hands the hover on.
    harness.window->mHoverControl = free;
    harness.app->mMousePosition = Vx::PointT<int>{50, 50};
    harness.TakeLog();
    boxControl->SetScrollOffsetAxis(1, 0);
    EXPECT_EQ(VxTest::CountOf(harness.TakeLog().back(), "hit-test:50,50 hover"), 1);
    harness.app->mMousePosition = Vx::PointT<int>{500, 400};
    boxControl->SetScrollOffsetAxis(1, 5);
    for (const std::string& line : harness.TakeLog())
        EXPECT_EQ(line.find("hit-test"), std::string::npos) << "the pointer is outside";
    EXPECT_EQ(recorder->mIds.size(), 3u);
}

TEST(ControlGeometry, ChildrenBoundsLeaveDockedChildrenOut)
{
    ControlHarness harness;
    const RCPtr<LControlDescriptor> page = DescribePage(harness);
    DescribeAt(harness, "a", page, {10, 20, 30, 40});
    LLayoutDescriptor& docked = *DescribeAt(harness, "docked", page, {300, 300, 10, 10})->GetLayout();
    docked.YIsDocked = true;
    DescribeAt(harness, "b", page, {50, 5, 10, 10});
    const RCPtr<LControl> top = harness.CreateTop("page");
    const Vx::RgnLight::Rect bounds = top->GetChildrenBounds();
    EXPECT_EQ(bounds, (Vx::RgnLight::Rect{10, 5, 60, 60}));

    top->FindChild("a")->Detach();
    top->FindChild("b")->Detach();
    const Vx::RgnLight::Rect none = top->GetChildrenBounds();
    EXPECT_EQ(none.left, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(none.top, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(none.right, std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(none.bottom, std::numeric_limits<std::int32_t>::min());
}

TEST(ControlGeometry, AutomaticSizeFitsTheText)
{
    ControlHarness harness;
    const RCPtr<LControlDescriptor> page = DescribePage(harness);
    Vx::LLookDescriptor::TextArea text;
    text.rightRel = 1.0f;
    text.bottomRel = 1.0f;
    const RCPtr<LControlDescriptor> label = harness.Describe(
        "label", page, ControlHarness::kControlClass, {VxTest::LookDescriptor(VxTest::Offsets(0, 0, 0, 0), &text)});
    label->GetLayout()->XSizeAbs = 100;
    label->GetLayout()->TextOverflowXType = Vx::TextOverflowType::Expand;
    label->GetLayout()->TextOverflowYType = Vx::TextOverflowType::Expand;
    harness.factory->SetString("Test.Control|label", "LABEL", "Hello");
    const RCPtr<LControl> top = harness.CreateTop("page");
    const RCPtr<LControl> control = top->FindChild("label");
    ASSERT_EQ(control->GetText(), "Hello");

    EXPECT_EQ(control->GetAutoSize(), (Vx::PointT<double>{50, 20})) << "5 bytes of 10 pixels, one line of 20";
    EXPECT_EQ(control->GetBounds(), (RectT<double>{0, 0, 100, 40})) << "the placement comes back";
    control->SetText("Hello, world");
    EXPECT_EQ(control->GetBounds().width, 120) << "a text that outgrows the control widens it";
    EXPECT_EQ(control->GetMinimumSize(), (Vx::PointT<double>{0, 0}));

    LLayoutDescriptor::LimitSpec minimum;
    LLayoutDescriptor::LimitSpec maximum;
    ASSERT_EQ(control->GetAxisSizeLimits(0, minimum, maximum), Vx::VXR_OK);
    minimum = LLayoutDescriptor::LimitSpec{Vx::LimitReference::NamedControl, "Children", 0.0f, 7.0};
    EXPECT_EQ(control->SetAxisSizeLimits(0, minimum, maximum), Vx::VXR_OK);
    VxTest::CaptureStderr capture;
    EXPECT_EQ(control->GetMinimumSize(), (Vx::PointT<double>{0, 0})) << "a minimum measured on children";
    EXPECT_EQ(control->SetAxisSizeLimits(2, minimum, maximum), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(AssertionsIn(capture.Finish()), 2);
}

TEST(ControlGeometry, AnimationsMoveOnePixelPerMillisecondOfTheClock)
{
    ControlHarness harness;
    const RCPtr<LControlDescriptor> page = DescribePage(harness);
    LLayoutDescriptor& layout = *DescribeAt(harness, "panel", page, {0, 0, 20, 40})->GetLayout();
    layout.XMaxSizeAbs = 100;
    const RCPtr<LControl> top = harness.CreateTop("page");
    const RCPtr<LControl> panel = top->FindChild("panel");

    EXPECT_EQ(panel->StartGrow(0), Vx::VXR_OK);
    EXPECT_EQ(panel->StartGrow(0), Vx::VXR_NOTHING_DONE);
    harness.Advance(30);
    harness.Idle();
    EXPECT_EQ(panel->GetBounds().width, 50);
    harness.Idle();
    EXPECT_EQ(panel->GetBounds().width, 50) << "no time, no step";
    EXPECT_EQ(panel->GetIdleRequestCount(), 1) << "and no end either";
    harness.Advance(100);
    harness.Idle();
    EXPECT_EQ(panel->GetBounds().width, 100) << "the maximum holds it";
    harness.Advance(5);
    harness.Idle();
    EXPECT_EQ(panel->GetIdleRequestCount(), 0) << "a step that changed nothing ended it";

    EXPECT_EQ(panel->StartShrink(0), Vx::VXR_OK);
    harness.Advance(30);
    harness.Idle();
    EXPECT_EQ(panel->GetBounds().width, 70);
    harness.Advance(1000);
    harness.Idle();
    EXPECT_EQ(panel->GetBounds().width, 0);

    EXPECT_EQ(panel->MoveBy({25, -10}), Vx::VXR_OK);
    EXPECT_EQ(panel->MoveBy({1, 1}), Vx::VXR_E_FAIL) << "already moving";
    harness.Advance(10);
    harness.Idle();
    EXPECT_EQ(panel->GetBounds().x, 10);
    EXPECT_EQ(panel->GetBounds().y, -10);
    harness.Advance(100);
    harness.Idle();
    EXPECT_EQ(panel->GetBounds().x, 25) << "never past the target";
    harness.Advance(1);
    harness.Idle();
    EXPECT_EQ(panel->GetIdleRequestCount(), 0);

    // Growing needs a size and a maximum on the control itself.
    VxTest::CaptureStderr capture;
    EXPECT_EQ(panel->StartGrow(1), Vx::VXR_E_FAIL) << "no maximum height";
    EXPECT_EQ(panel->StartGrow(2), Vx::VXR_E_FAIL);
    EXPECT_EQ(top->StartShrink(0), Vx::VXR_E_FAIL) << "the page's size follows its window";
    EXPECT_EQ(AssertionsIn(capture.Finish()), 3);
}

struct FocusCase
{
    const char* what;
    std::function<void(LControl&)> change;
};

const FocusCase kFocusCases[] = {
    {"shrunk",
     [](LControl& c) {
         Vx::LLayoutDescriptor::PositionSpec position;
         Vx::LLayoutDescriptor::SizeSpec size;
         c.GetAxisPlacement(0, position, size);
         c.SetAxisPlacement(0, position, SelfSize(0));
     }},
    {"hidden", [](LControl& c) { c.SetVisible(false); }},
    {"disabled", [](LControl& c) { c.SetEnabled(false); }},
};

TEST(ControlGeometry, AFocusedControlThatCanNoLongerHoldTheFocusPassesItUp)
{
    for (const FocusCase& c : kFocusCases)
    {
        SCOPED_TRACE(c.what);
        ControlHarness harness;
        const RCPtr<LControlDescriptor> page = DescribePage(harness);
        DescribeAt(harness, "field", page, {10, 10, 50, 20});
        const RCPtr<LControl> top = harness.CreateTop("page");
        const RCPtr<LControl> field = top->FindChild("field");
        ASSERT_EQ(top->SetFocus(true), Vx::VXR_OK);
        ASSERT_TRUE(field->HasOwnFocus()) << "the page hands the focus on to its child";
        ASSERT_TRUE(top->ContainsFocus());

        c.change(*field);
        EXPECT_FALSE(field->HasFocus());
        EXPECT_TRUE(top->HasOwnFocus());
        EXPECT_EQ(harness.window->GetFocusControl(), top);
    }
}

TEST(ControlGeometry, AFocusedTopControlWithNobodyToPassItToDropsTheFocus)
{
    for (const FocusCase& c : kFocusCases)
    {
        SCOPED_TRACE(c.what);
        ControlHarness harness;
        DescribePage(harness, "solo");
        const RCPtr<LControl> top = harness.CreateTop("solo");
        ASSERT_EQ(top->SetFocus(true), Vx::VXR_OK);
        ASSERT_EQ(harness.window->GetFocusControl(), top);

        VxTest::CaptureStderr capture;
        c.change(*top);
        EXPECT_EQ(AssertionsIn(capture.Finish()), 0);
        EXPECT_FALSE(top->HasFocus());
        EXPECT_TRUE(harness.window->GetFocusControl().IsNull());
        int unfocused = 0;
        for (const std::string& line : harness.TakeLog())
            unfocused += line == "unfocused:solo" ? 1 : 0;
        EXPECT_EQ(unfocused, 1);
    }
}

TEST(ControlGeometry, ATopControlIsPlacedAgainstTheScreenAndThePointer)
{
    ControlHarness harness;
    LLayoutDescriptor& layout = *harness.Describe("popup")->GetLayout();
    layout.XPositionReference = Vx::PositionReference::Parent;
    layout.XPositionAbs = 5;
    layout.YPositionReference = Vx::PositionReference::NamedControl;
    layout.YPositionControlName = "pointer";
    harness.osWindow.mScreenOrigin = Vx::PointT<int>{100, 50};
    harness.app->mDisplayArea = RectT<int>{-20, 0, 800, 480};
    harness.app->mMousePosition = Vx::PointT<int>{130, 90};
    const RCPtr<LControl> popup = harness.CreateTop("popup");
    ASSERT_FALSE(popup.IsNull());
    EXPECT_EQ(popup->GetBounds(), (RectT<double>{-115, 40, 16, 40}))
        << "the screen's edge and the pointer, in the window's coordinates";
}

TEST(ControlGeometry, ATopControlNeedsItsWindowToBeLaidOut)
{
    ControlHarness harness;
    DescribePage(harness);
    const RCPtr<LControl> top = harness.CreateTop("page");
    ASSERT_EQ(top->GetBounds(), (RectT<double>{0, 0, 800, 480}));
    // The window's client area moved and shrank: the page follows it.
    harness.osWindow.mClientRect = RectT<int>{0, 0, 400, 300};
    EXPECT_EQ(top->OnWindowResized(), Vx::VXR_OK);
    EXPECT_EQ(top->GetBounds(), (RectT<double>{0, 0, 400, 300}));

    top->SetRootWindow(nullptr);
    VxTest::CaptureStderr capture;
    EXPECT_EQ(top->RecalcLayout(), Vx::VXR_E_FAIL);
    EXPECT_EQ(AssertionsIn(capture.Finish()), 1);
    EXPECT_EQ(top->GetBounds(), (RectT<double>{0, 0, 400, 300})) << "the bounds stay";
}
} // namespace
