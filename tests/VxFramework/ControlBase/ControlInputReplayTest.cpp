// Pointer and key handling behind the real root window: replayed input
// drags and clicks controls, and a Tab that leaves the last control of one
// window activates the other.

#include "tests/VxFramework/ControlBase/ControlInputDoubles.h"
#include "tests/VxFramework/ControlBase/RootWindowHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{
using Vx::KeyCode;
using Vx::LControl;
using Vx::LControlDescriptor;
using Vx::PointT;
using Vx::RCPtr;
using VxTest::InputControl;
using VxTest::RootWindowHarness;
using Strings = std::vector<std::string>;

constexpr const char* kInputClass = "Test.Input";

// A page filling the window with a box at (0, 0, 200, 200) and in it a knob
// at (50, 50, 20, 20), all of the input class.
struct ReplayFixture
{
    ReplayFixture()
    {
        harness.factory->RegisterControlType(kInputClass, &Vx::CreateControl<InputControl>);
        const RCPtr<LControlDescriptor> page =
            harness.Describe("page", nullptr, {0, 0, 800, 480}, 0xFF000000u, kInputClass);
        const RCPtr<LControlDescriptor> box = harness.Describe("box", page, {0, 0, 200, 200}, 0xFF404040u, kInputClass);
        harness.Describe("knob", box, {50, 50, 20, 20}, 0xFFFFFFFFu, kInputClass);
        top = harness.CreateTop("page");
        Vx::RCPtrArray<LControl> all;
        all.Add(top);
        top->CollectDescendants(all);
        for (std::uint32_t i = 0; i < all.GetCount(); ++i)
            dynamic_cast<InputControl&>(*all[i]).mLog = &log;
    }

    InputControl& Knob() { return dynamic_cast<InputControl&>(*top->FindChild("box")->FindChild("knob")); }

    RootWindowHarness harness;
    RCPtr<LControl> top;
    VxTest::InputLog log;
};

TEST(ControlInputReplay, ADragThroughTheWindowMovesTheControlAndDoesNotClick)
{
    struct Case
    {
        const char* what;
        std::int32_t mode;
        const char* script;
        PointT<double> knobAt;
        bool clicks;
    };
    const Case cases[] = {
        {"a press and release clicks", 2, "0 move 55 55\n10 down 1 55 55\n20 up 1 55 55\n", {50, 50}, true},
        {"a drag in mode 2 moves it",
         2,
         "0 move 55 55\n10 down 1 55 55\n20 move 56 55\n30 move 95 75\n40 up 1 95 75\n",
         {90, 70},
         false},
        {"a drag in mode 2 stays in the box",
         2,
         "0 move 55 55\n10 down 1 55 55\n20 move 400 400\n30 up 1 400 400\n",
         {195, 195},
         false},
        {"a drag without mode clicks",
         0,
         "0 move 55 55\n10 down 1 55 55\n20 move 60 60\n30 up 1 60 60\n",
         {50, 50},
         true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        ReplayFixture fixture;
        InputControl& knob = fixture.Knob();
        knob.mPressDragMode = c.mode;
        knob.mPressDragAxes = 0x3;
        fixture.harness.Replay(c.script);
        EXPECT_EQ(knob.GetBounds().GetOrigin(), c.knobAt);
        EXPECT_EQ(std::count(fixture.log.begin(), fixture.log.end(), "knob: left click"), c.clicks ? 1 : 0);
        EXPECT_FALSE(knob.HoldsCapture());
        EXPECT_TRUE(fixture.harness.window->GetCaptureControl().IsNull());
    }
}

// Two windows, each with a page holding a and b: a Tab that leaves b of the
// second window activates the first; the OS window's keys (value 1) go round
// inside their page instead.
TEST(ControlInputReplay, ATabPastTheLastControlActivatesTheOtherWindow)
{
    struct Case
    {
        KeyCode key;
        std::uint8_t value;
        const char* focus;
        int activations;
    };
    const Case cases[] = {
        {KeyCode(0x09, 0), 0, "b", 1},
        {KeyCode(0x09, Vx::kModifierCtrl), 1, "b", 1},
        {KeyCode(0x09, 0), 1, "a", 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(Vx::KeyCodeToText(c.key).GetCString());
        RootWindowHarness harness;
        harness.factory->RegisterControlType(kInputClass, &Vx::CreateControl<InputControl>);
        const RCPtr<LControlDescriptor> page = harness.Describe("page", nullptr, {0, 0, 800, 480}, 0, kInputClass);
        harness.Describe("a", page, {0, 0, 50, 20}, 0xFF808080u, kInputClass);
        const RCPtr<LControlDescriptor> b = harness.Describe("b", page, {60, 0, 50, 20}, 0xFF808080u, kInputClass);
        b->GetLayout()->TabStop = 1;
        harness.CreateTop("page");

        VxTest::RecordingOSWindow secondOSWindow;
        harness.osWindow.mActive = false;
        harness.osWindow.mKeyboardFocus = false;
        const RCPtr<Vx::LRootWindow> second =
            Vx::LRootWindow::Create(RCPtr<Vx::LRenderer>(harness.renderer), &secondOSWindow);
        harness.app->AddRootWindow(second);
        second->CreateTopControl(LControl::Text("page"));
        const RCPtr<LControl> last = second->GetTopControl()->FindChild("b");
        ASSERT_EQ(last->SetFocus(true), Vx::VXR_OK);

        second->DispatchKey(Vx::LKeyParam::Create(c.key, c.value));
        EXPECT_EQ(std::string(second->GetFocusControl()->GetName().GetCString()), c.focus);
        EXPECT_EQ(harness.osWindow.mFocusGrabs, c.activations);

        second->SetTopControl(nullptr);
        harness.app->RemoveRootWindow(second);
    }
}
} // namespace
