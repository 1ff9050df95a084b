// A control's pointer handling driven directly: the drag threshold, clicks
// after drags, moving and resizing drags with their bounds, auto-scroll of
// the parent, the fling of a kinetic drag, drop targets and their cursors,
// the wheel walk and bad input.

#include "tests/VxFramework/ControlBase/ControlInputDoubles.h"
#include "tests/support/CaptureStderr.h"

#include "VxFramework/ControlBase/ContextMenuPopup.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace
{
using Vx::LControl;
using Vx::LControlDescriptor;
using Vx::PointT;
using Vx::RCPtr;
using VxTest::AssertionsIn;
using VxTest::InputControl;
using VxTest::InputHarness;
using Strings = std::vector<std::string>;

constexpr std::uint32_t kLeftPressed = LControl::kLeftPressed;
constexpr std::uint32_t kLeftDragging = LControl::kLeftDragging;

// A page filling the window with a box at (0, 0, 200, 200) and in it a knob
// at (50, 50, 20, 20).
struct BoxFixture
{
    BoxFixture()
    {
        const RCPtr<LControlDescriptor> page = harness.Describe("page", nullptr, {0, 0, 1024, 768});
        const RCPtr<LControlDescriptor> box = harness.Describe("box", page, {0, 0, 200, 200});
        harness.Describe("knob", box, {50, 50, 20, 20});
        harness.CreateTop("page");
    }

    InputControl& Box() { return harness.Find("box"); }
    InputControl& Knob() { return harness.Find("knob"); }

    InputHarness harness;
};

TEST(ControlPointer, TheThresholdDecidesWhenAPressBecomesADrag)
{
    struct Case
    {
        std::int32_t threshold;
        PointT<int> move;
        std::uint32_t afterPress;
        std::uint32_t afterMove;
    };
    const Case cases[] = {
        {1, {6, 5}, kLeftPressed, kLeftDragging},  {1, {5, 5}, kLeftPressed, kLeftPressed},
        {0, {5, 5}, kLeftDragging, kLeftDragging}, {3, {7, 7}, kLeftPressed, kLeftPressed},
        {3, {5, 8}, kLeftPressed, kLeftDragging},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.threshold);
        BoxFixture fixture;
        InputControl& knob = fixture.Knob();
        ASSERT_EQ(knob.SetDragThreshold(c.threshold), Vx::VXR_OK);
        ASSERT_EQ(fixture.harness.Press(knob, 1, {5, 5}), Vx::VXR_OK);
        const std::uint32_t buttons = kLeftPressed | kLeftDragging;
        EXPECT_EQ(knob.ComputeConditions() & buttons, c.afterPress);
        EXPECT_TRUE(knob.HoldsCapture());
        fixture.harness.Move(knob, c.move);
        EXPECT_EQ(knob.ComputeConditions() & buttons, c.afterMove);
    }
}

TEST(ControlPointer, AReleaseOverTheControlClicksUnlessADragModeMovedIt)
{
    struct Case
    {
        const char* what;
        std::int32_t mode;
        bool drag;
        bool hovered;
        bool clicks;
    };
    const Case cases[] = {
        {"press and release", 0, false, true, true},
        {"drag without mode", 0, true, true, true},
        {"drag in mode 2", 2, true, true, false},
        {"released elsewhere", 0, false, false, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        BoxFixture fixture;
        InputControl& knob = fixture.Knob();
        if (c.hovered)
            knob.OnPointerEnter();
        fixture.harness.Press(knob, 1, {5, 5});
        // Every press resets the mode: listeners set it as the press lands.
        knob.SetDragMode(c.mode, 0x3);
        if (c.drag)
            fixture.harness.Move(knob, {9, 9});
        fixture.harness.log.clear();
        fixture.harness.Release(knob, 1, {9, 9});
        EXPECT_EQ(fixture.harness.log == Strings{"knob: left click"}, c.clicks);
        EXPECT_FALSE(knob.HoldsCapture());
        EXPECT_EQ(knob.ComputeConditions() & (kLeftPressed | kLeftDragging), 0u);
    }
}

TEST(ControlPointer, AMoveDragFollowsThePointerInsideTheParentsBounds)
{
    BoxFixture fixture;
    InputControl& knob = fixture.Knob();
    fixture.harness.Press(knob, 1, {5, 5});
    knob.SetDragMode(2, 0x3);
    fixture.harness.Move(knob, {25, 15});
    EXPECT_EQ(knob.GetBounds().GetOrigin(), (PointT<double>{70, 60}));
    // Far beyond the box: the grabbed point stays on its edge.
    fixture.harness.Move(knob, {900, -900});
    EXPECT_EQ(knob.GetBounds().GetOrigin(), (PointT<double>{195, -5}));
}

TEST(ControlPointer, AResizeDragKeepsOnePixel)
{
    struct Case
    {
        std::uint32_t edge;
        PointT<int> move;
        Vx::RectT<double> bounds;
    };
    const Case cases[] = {
        {0x4, {-100, 5}, {50, 50, 1, 20}},  // right edge dragged far left
        {0x8, {100, 5}, {69, 50, 1, 20}},   // left edge dragged far right
        {0x20, {5, -100}, {50, 50, 20, 1}}, // bottom edge dragged far up
        {0x4, {15, 5}, {50, 50, 30, 20}},   // right edge grows
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.edge);
        BoxFixture fixture;
        InputControl& knob = fixture.Knob();
        fixture.harness.Press(knob, 1, {5, 5});
        knob.SetDragMode(4, c.edge);
        VxTest::CaptureStderr errors;
        fixture.harness.Move(knob, c.move);
        EXPECT_EQ(AssertionsIn(errors.Finish()), 0);
        const Vx::RectT<double>& bounds = knob.GetBounds();
        EXPECT_EQ(bounds.x, c.bounds.x);
        EXPECT_EQ(bounds.y, c.bounds.y);
        EXPECT_EQ(bounds.width, c.bounds.width);
        EXPECT_EQ(bounds.height, c.bounds.height);
    }
}

TEST(ControlPointer, DraggingIntoTheEdgeMarginAutoScrollsTheParentAndTheControlFollows)
{
    BoxFixture fixture;
    InputHarness& harness = fixture.harness;
    InputControl& knob = fixture.Knob();
    InputControl& box = fixture.Box();
    harness.Press(knob, 1, {5, 5});
    knob.SetDragMode(3, 0x3);
    // The pointer at x 180 of the box: 10 pixels into its 30-pixel margin.
    harness.Move(knob, {130, 5});
    ASSERT_TRUE(box.IsInertialScrolling(0));
    EXPECT_EQ(box.GetInertialVelocity(0), 165.0);
    EXPECT_FALSE(box.IsInertialScrolling(1));
    EXPECT_EQ(knob.GetBounds().x, 175);

    harness.Advance(100);
    harness.Idle();
    EXPECT_EQ(box.GetScrollOffset().x, 17);
    // The grabbed point stays under the pointer.
    EXPECT_EQ(knob.GetRectInRootWindow().x + 5, 180);

    // Back in the middle: the scroll stops; the release ends the drag.
    harness.Move(knob, {-60, 5});
    EXPECT_FALSE(box.IsInertialScrolling(0));
    harness.Move(knob, {35, 5});
    harness.Release(knob, 1, {35, 5});
    EXPECT_FALSE(box.IsInertialScrolling(0));
    EXPECT_EQ(box.GetIdleRequestCount(), 0);
}

// A kinetic drag of the box's content upwards by distance pixels in one
// second, released pause milliseconds after the last move.
void Fling(InputHarness& harness, InputControl& box, int distance, std::uint32_t pause)
{
    harness.Press(box, 1, {100, 150});
    box.SetDragMode(6, 0x2);
    harness.Move(box, {100, 149});
    harness.Advance(1000);
    harness.Move(box, {100, 150 - distance});
    harness.Advance(pause);
    harness.Release(box, 1, {100, 150 - distance});
}

TEST(ControlPointer, AKineticReleaseFlingsOnlyWithinTheLimits)
{
    struct Case
    {
        int distance;
        std::uint32_t pause;
        bool flings;
    };
    const Case cases[] = {{1200, 99, true}, {1200, 100, false}, {999, 99, false}, {1000, 0, true}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.distance);
        SCOPED_TRACE(c.pause);
        BoxFixture fixture;
        InputControl& box = fixture.Box();
        Fling(fixture.harness, box, c.distance, c.pause);
        EXPECT_EQ(box.GetScrollOffset().y, c.distance);
        EXPECT_EQ(box.IsInertialScrolling(1), c.flings);
        EXPECT_FALSE(box.IsInertialScrolling(0));
    }
}

TEST(ControlPointer, AFlingCoastsForASecondThenSlowsToAStop)
{
    BoxFixture fixture;
    InputHarness& harness = fixture.harness;
    InputControl& box = fixture.Box();
    Fling(harness, box, 1200, 99);
    ASSERT_TRUE(box.IsInertialScrolling(1));
    std::vector<double> velocities;
    double offset = box.GetScrollOffset().y;
    for (int step = 1; step <= 23 && box.IsInertialScrolling(1); ++step)
    {
        harness.Advance(100);
        harness.Idle();
        velocities.push_back(box.GetInertialVelocity(1));
        if (step == 1)
        {
            EXPECT_EQ(box.GetScrollOffset().y - offset, 120);
        }
    }
    ASSERT_EQ(velocities.size(), 22u);
    EXPECT_EQ(velocities[9], 1200.0);  // one second after the release
    EXPECT_EQ(velocities[10], 1100.0); // then 1000 px/s less each second
    EXPECT_EQ(velocities[20], 100.0);
    EXPECT_FALSE(box.IsInertialScrolling(1));
    EXPECT_EQ(box.GetIdleRequestCount(), 0);

    // A press catches a running fling.
    Fling(harness, box, 1200, 0);
    ASSERT_TRUE(box.IsInertialScrolling(1));
    harness.Press(box, 1, {10, 10});
    EXPECT_FALSE(box.IsInertialScrolling(1));
    harness.Release(box, 1, {10, 10});
}

TEST(ControlPointer, AFreeMoveDragFindsDropTargetsAndShowsTheirCursors)
{
    InputHarness harness;
    const RCPtr<LControlDescriptor> page = harness.Describe("page", nullptr, {0, 0, 1024, 768});
    harness.Describe("plain", page, {300, 300, 50, 50});
    harness.Describe("target", page, {100, 100, 50, 50});
    harness.Describe("dragged", page, {10, 10, 20, 20});
    harness.CreateTop("page");
    InputControl& dragged = harness.Find("dragged");
    harness.Find("target").mAcceptsDrop = true;

    harness.Press(dragged, 1, {5, 5});
    dragged.SetDragMode(1, 0x3);
    harness.MoveTo(dragged, {320, 320}); // over the plain control
    EXPECT_TRUE(harness.window->mCapture == RCPtr<LControl>(&dragged));
    harness.MoveTo(dragged, {120, 120}); // over the target
    ASSERT_FALSE(dragged.GetDropTarget().IsNull());
    EXPECT_EQ(dragged.GetDropTarget()->GetName(), LControl::Text("target"));
    // The grabbed point stays under the pointer.
    EXPECT_EQ(dragged.GetBounds().GetOrigin(), (PointT<double>{115, 115}));
    // 20 pixels into the target's bottom margin, where it wants to scroll.
    InputControl& target = harness.Find("target");
    target.mAutoScrollFlags = 0x20;
    harness.MoveTo(dragged, {120, 140});
    EXPECT_EQ(target.GetInertialVelocity(1), 315.0);
    EXPECT_TRUE(target.IsInertialScrolling(1));
    EXPECT_FALSE(target.IsInertialScrolling(0));
    harness.Release(dragged, 1, {0, 0});
    EXPECT_FALSE(target.IsInertialScrolling(1));

    EXPECT_EQ(harness.app->mCursors, (Strings{"UI_CURSOR_NO_DROP", "UI_CURSOR_DROP_MOVE", "UI_CURSOR_ARROW"}));
    EXPECT_EQ(harness.log, (Strings{"target: enter dragged", "target: drop dragged", "target: leave dragged"}));
    EXPECT_TRUE(dragged.GetDropTarget().IsNull());
    EXPECT_TRUE(dragged.GetLayout()->ClipToParent);
    EXPECT_FALSE(dragged.IsDocked(4));
}

TEST(ControlPointer, TheWheelWalksUpUntilAControlTakesIt)
{
    struct Case
    {
        Vx::VxRESULT boxResult;
        Vx::VxRESULT result;
        Strings asked;
    };
    const Case cases[] = {
        {Vx::VXR_NOTHING_DONE, Vx::VXR_NOTHING_DONE, {"knob: wheel", "box: wheel", "page: wheel"}},
        {Vx::VXR_OK, Vx::VXR_OK, {"knob: wheel", "box: wheel"}},
    };
    for (const Case& c : cases)
    {
        BoxFixture fixture;
        fixture.Box().mWheelResult = c.boxResult;
        const RCPtr<Vx::LMouseWheelParam> wheel(new Vx::LMouseWheelParam({5, 5}, 0, 0));
        EXPECT_EQ(fixture.Knob().OnMouseWheel(wheel), c.result);
        EXPECT_EQ(fixture.harness.log, c.asked);
    }
}

TEST(ControlPointer, BadInputIsRefusedWithAnAssertion)
{
    BoxFixture fixture;
    InputControl& knob = fixture.Knob();
    const auto button = [](int b) {
        return RCPtr<Vx::LMouseButtonParam>(new Vx::LMouseButtonParam(b, {1, 1}, 0, false, 0, 0));
    };
    struct Case
    {
        const char* what;
        std::function<Vx::VxRESULT()> call;
        Vx::VxRESULT result;
    };
    const Case cases[] = {
        {"down without parameter", [&] { return knob.OnPointerDown(nullptr); }, Vx::VXR_E_INVALIDARG},
        {"down with button 3", [&] { return knob.OnPointerDown(button(3)); }, Vx::VXR_E_INVALIDARG},
        {"up without parameter", [&] { return knob.OnPointerUp(nullptr); }, Vx::VXR_E_INVALIDARG},
        {"up with button 8", [&] { return knob.OnPointerUp(button(8)); }, Vx::VXR_E_INVALIDARG},
        {"click with button 3", [&] { return knob.OnClick(button(3)); }, Vx::VXR_E_INVALIDARG},
        {"move without parameter", [&] { return knob.OnPointerMove(nullptr); }, Vx::VXR_E_INVALIDARG},
        {"wheel without parameter", [&] { return knob.OnMouseWheel(nullptr); }, -1},
        {"drop without override", [&] { return knob.OnDrop(RCPtr<LControl>(&fixture.Box())); }, Vx::VXR_E_FAIL},
        {"drag move while not dragging",
         [&] {
             return knob.OnDragMove(Vx::LPointWithModifiersParam::Create({1, 1}, 0, 0));
         },
         Vx::VXR_E_FAIL},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        VxTest::CaptureStderr errors;
        EXPECT_EQ(c.call(), c.result);
        EXPECT_EQ(AssertionsIn(errors.Finish()), 1);
    }
    EXPECT_FALSE(knob.HoldsCapture());

    ASSERT_EQ(knob.SetDragThreshold(4), Vx::VXR_OK);
    EXPECT_EQ(knob.SetDragThreshold(-1), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(knob.GetDragThreshold(), 4);
}

class TestPopup : public InputControl, public Vx::IContextMenuPopup
{
public:
    using InputControl::InputControl;
    Vx::VxRESULT SetMenu(const RCPtr<Vx::LMenuDescriptor>& menu) override
    {
        mMenu = menu;
        mVisibleWhenGiven = IsVisible(false);
        return Vx::VXR_OK;
    }
    RCPtr<Vx::LMenuDescriptor> mMenu;
    bool mVisibleWhenGiven = true;
};

TEST(ControlPointer, ARightClickOpensTheSkinsContextMenuWhenItIsAPopupMenu)
{
    struct Case
    {
        const char* popupClass;
        int assertions;
        bool opened;
    };
    const Case cases[] = {{nullptr, 0, false}, {"Test.Input", 1, false}, {"Test.Popup", 0, true}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.popupClass == nullptr ? "none" : c.popupClass);
        BoxFixture fixture;
        InputHarness& harness = fixture.harness;
        harness.factory->RegisterControlType("Test.Popup", &Vx::CreateControl<TestPopup>);
        if (c.popupClass != nullptr)
            harness.Describe("contextMenu", nullptr, {0, 0, 80, 60}, 0, {}, c.popupClass);
        InputControl& knob = fixture.Knob();
        const RCPtr<Vx::LMenuDescriptor> menu(new Vx::LMenuDescriptor());
        knob.SetContextMenu(menu);
        knob.OnPointerEnter();
        harness.Press(knob, 4, {5, 5});
        VxTest::CaptureStderr errors;
        harness.Release(knob, 4, {5, 5});
        EXPECT_EQ(AssertionsIn(errors.Finish()), c.assertions);
        harness.Idle();
        const RCPtr<LControl> popup = knob.FindChild("contextMenu");
        ASSERT_EQ(!popup.IsNull(), c.opened);
        if (c.opened)
        {
            const TestPopup& shown = dynamic_cast<const TestPopup&>(*popup);
            EXPECT_TRUE(shown.mMenu == menu);
            EXPECT_FALSE(shown.mVisibleWhenGiven);
            EXPECT_TRUE(popup->IsVisible(false));
        }
    }
}
} // namespace
