// The root window: its top control, focus and idle pass; pointer, wheel and
// key events replayed through it against golden traces; invalidation,
// painting and a screenshot through the real paint path.

#include "tests/VxFramework/ControlBase/ControlInputDoubles.h"
#include "tests/VxFramework/ControlBase/LookTestSupport.h"
#include "tests/VxFramework/ControlBase/RootWindowHarness.h"
#include "tests/VxFramework/Renderer/JUCE/JUCERenderingSupport.h"
#include "tests/support/CaptureStderr.h"

#include "VxFramework/Notification/Notification.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace
{
using Vx::LControl;
using Vx::LControlDescriptor;
using Vx::RCPtr;
using Vx::RgnLight;
using VxTest::AssertionsIn;
using VxTest::CallControl;
using VxTest::IntPoint;
using VxTest::IntRect;
using VxTest::RootWindowHarness;
using VxTest::Trace;
using Rect = Vx::RectT<double>;

const std::string kGoldenDir = VX_ROOTWINDOW_GOLDEN_DIR;

std::vector<IntRect> RectsOf(const RgnLight& region)
{
    std::vector<IntRect> rects;
    for (const RgnLight::Node* node = region.GetFirstNode(); node != nullptr; node = node->next)
        rects.push_back(node->ToRectT());
    return rects;
}

long long AreaOf(const RgnLight& region)
{
    long long area = 0;
    for (const IntRect& rect : RectsOf(region))
        area += static_cast<long long>(rect.width) * rect.height;
    return area;
}

// ---- Ownership, focus and the idle pass ------------------------------------------------

class RootWindowOwnership : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const RCPtr<LControlDescriptor> first = h.Describe("first", nullptr, Rect{30, 40, 50, 60});
        h.Describe("one", first, Rect{0, 0, 10, 10});
        h.Describe("two", first, Rect{20, 0, 10, 10});
        const RCPtr<LControlDescriptor> second = h.Describe("second", nullptr, Rect{5, 5, 20, 20});
        h.Describe("three", second, Rect{0, 0, 10, 10});
        h.Describe("four", second, Rect{10, 0, 10, 10});
    }

    RootWindowHarness h;
};

TEST_F(RootWindowOwnership, ANewTopControlFillsTheClientAndTakesTheFocusWhileTheOldStateIsDroppedSilently)
{
    const RCPtr<LControl> first = h.CreateTop("first");
    ASSERT_FALSE(first.IsNull());
    EXPECT_EQ(first->GetBounds().x, 0.0) << "placed at the client origin, whatever the skin says";
    EXPECT_EQ(first->GetBounds().width, 800.0);
    EXPECT_EQ(first->GetBounds().height, 480.0);
    EXPECT_EQ(h.window->GetFocusControl().Get(), first->FindChild("one").Get()) << "the first focusable control";

    const RCPtr<LControl> two = first->FindChild("two");
    h.window->UpdateHover(two);
    h.window->SetCapture(two);
    h.window->SetFocusControl(two);
    h.TakeTrace();

    const RCPtr<LControl> second = h.CreateTop("second");
    // The old tree's own Detach gives up the focus that "one" really holds;
    // "two", which the window had recorded, hears nothing.
    EXPECT_EQ(h.TakeTrace(), (Trace{"first: focus-lost", "one: focus-lost"}))
        << "no leave, capture-lost or focus-lost from the window";
    EXPECT_TRUE(first->GetRootWindow().IsNull()) << "the old top control is detached";
    EXPECT_TRUE(h.window->GetHoverControl().IsNull());
    EXPECT_TRUE(h.window->GetCaptureControl().IsNull());
    EXPECT_EQ(h.window->GetFocusControl().Get(), second->FindChild("three").Get());

    // Without the keyboard focus the window asks the OS window for it instead.
    h.osWindow.mKeyboardFocus = false;
    h.CreateTop("first");
    EXPECT_TRUE(h.window->GetFocusControl().IsNull());
    EXPECT_EQ(h.osWindow.mFocusGrabs, 1);
}

TEST_F(RootWindowOwnership, UnfocusingAnotherControlTracesTheMismatchAndStillClearsTheFocus)
{
    const RCPtr<LControl> top = h.CreateTop("first");
    const RCPtr<LControl> one = top->FindChild("one");
    const RCPtr<LControl> two = top->FindChild("two");
    ASSERT_EQ(h.window->GetFocusControl().Get(), one.Get());

    VxTest::CaptureStderr capture;
    h.window->OnControlUnfocused(two);
    const std::string log = capture.Finish();
    EXPECT_NE(log.find("LRootWindow::OnControlUnfocused: passed control: two  mCurFocusedControlRCPtr: one"),
              std::string::npos)
        << log;
    EXPECT_TRUE(h.window->GetFocusControl().IsNull());
    EXPECT_EQ(h.window->GetPreviousFocusControl().Get(), one.Get());
}

// A key no control used: a sibling's own hot key first, then the window's
// (its top control's "GHK." entries), then the application's.  The window's
// and the application's are posted and arrive at the next idle tick.
TEST(RootWindowHotKeys, AKeyReachesASiblingThenTheWindowThenTheApplicationAtTheNextIdleTick)
{
    constexpr int kF5 = 0x74;
    constexpr int kF6 = 0x75;
    constexpr int kF7 = 0x76;
    constexpr int kF8 = 0x77;
    struct Case
    {
        int key;
        Trace sibling;
        Trace window;
        Trace application;
    };
    // F5 is bound in all three places, F6 in the window and the application,
    // F7 in the application only.
    const Case cases[] = {
        {kF5, {"b: NID_SIBLING_F5"}, {}, {}},
        {kF6, {}, {"NID_WINDOW_F6"}, {}},
        {kF7, {}, {}, {"NID_APP_F7"}},
        {kF8, {}, {}, {}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.key);
        RootWindowHarness h;
        const char* const input = VxTest::InputHarness::kInputClass;
        h.factory->RegisterControlType(input, &Vx::CreateControl<VxTest::InputControl>);
        const RCPtr<LControlDescriptor> page = h.Describe("page", nullptr, Rect{0, 0, 800, 480}, 0, input);
        RootWindowHarness::Param(page, "GHK.NID_WINDOW_F5", "VKEY_F5");
        RootWindowHarness::Param(page, "GHK.NID_WINDOW_F6", "VKEY_F6");
        h.Describe("a", page, Rect{0, 0, 50, 20}, 0, input);
        RootWindowHarness::Param(h.Describe("b", page, Rect{60, 0, 50, 20}, 0, input), "LHK.NID_SIBLING_F5", "VKEY_F5");
        ASSERT_EQ(h.app->GetHotKeys()->AddHotKey(Vx::KeyCode(kF5, 0), "NID_APP_F5"), Vx::VXR_OK);
        ASSERT_EQ(h.app->GetHotKeys()->AddHotKey(Vx::KeyCode(kF6, 0), "NID_APP_F6"), Vx::VXR_OK);
        ASSERT_EQ(h.app->GetHotKeys()->AddHotKey(Vx::KeyCode(kF7, 0), "NID_APP_F7"), Vx::VXR_OK);
        const RCPtr<LControl> top = h.CreateTop("page");
        ASSERT_FALSE(top.IsNull());
        VxTest::InputLog sibling;
        for (const char* name : {"a", "b"})
            dynamic_cast<VxTest::InputControl&>(*top->FindChild(name)).mLog = &sibling;
        ASSERT_EQ(top->FindChild("a")->SetFocus(true), Vx::VXR_OK);

        const auto window = Vx::MakeRCPtr<VxTest::Recorder>();
        window->Listen(RCPtr<Vx::LNotificationDistributor>(h.window),
                       {"NID_WINDOW_F5", "NID_WINDOW_F6", "NID_APP_F5", "NID_APP_F6", "NID_APP_F7"});
        const auto application = Vx::MakeRCPtr<VxTest::Recorder>();
        application->Listen(RCPtr<Vx::LNotificationDistributor>(h.app->GetDefaultNotificationCenter()),
                            {"NID_WINDOW_F5", "NID_WINDOW_F6", "NID_APP_F5", "NID_APP_F6", "NID_APP_F7"});

        h.window->DispatchKey(Vx::LKeyParam::Create(Vx::KeyCode(c.key, 0), 0));
        const auto processKey = [](const std::string& line) { return line.find("ProcessKey") != std::string::npos; };
        sibling.erase(std::remove_if(sibling.begin(), sibling.end(), processKey), sibling.end());
        EXPECT_EQ(sibling, c.sibling);
        EXPECT_TRUE(window->mIds.empty());
        EXPECT_TRUE(application->mIds.empty());
        h.app->ProcessIdle(false);
        EXPECT_EQ(window->mIds, c.window);
        EXPECT_EQ(application->mIds, c.application);
        window->UnregisterAll();
        application->UnregisterAll();
    }
}

// A new top control brings its own window hot keys; the old ones go.
TEST(RootWindowHotKeys, ANewTopControlReplacesTheWindowHotKeys)
{
    RootWindowHarness h;
    const char* const input = VxTest::InputHarness::kInputClass;
    h.factory->RegisterControlType(input, &Vx::CreateControl<VxTest::InputControl>);
    RootWindowHarness::Param(h.Describe("first", nullptr, Rect{0, 0, 800, 480}, 0, input), "GHK.NID_FIRST", "VKEY_F5");
    RootWindowHarness::Param(h.Describe("second", nullptr, Rect{0, 0, 800, 480}, 0, input), "GHK.NID_SECOND",
                             "Ctrl+VKEY_S");
    const Vx::RCPtr<Vx::LGlobalHotKeyManager>& hotKeys = h.window->GetHotKeys();
    ASSERT_FALSE(hotKeys.IsNull());

    h.CreateTop("first");
    EXPECT_TRUE(hotKeys->HasHotKey("NID_FIRST"));
    h.CreateTop("second");
    EXPECT_FALSE(hotKeys->HasHotKey("NID_FIRST"));
    EXPECT_EQ(hotKeys->FindNotificationForKey(Vx::KeyCode(0x53, Vx::kModifierCtrl)), "NID_SECOND");
    h.window->SetTopControl(nullptr);
    EXPECT_FALSE(hotKeys->HasHotKey("NID_SECOND"));
}

TEST_F(RootWindowOwnership, CloseRequestsAreCarriedOutOnceByTheNextIdlePassWithTheLastCode)
{
    h.CreateTop("first");
    EXPECT_EQ(h.window->RequestClose(3), Vx::VXR_OK);
    EXPECT_EQ(h.window->RequestClose(7), Vx::VXR_OK);
    EXPECT_TRUE(h.osWindow.mCloses.empty()) << "deferred";
    h.window->ProcessIdle(true);
    h.window->ProcessIdle(true);
    EXPECT_EQ(h.osWindow.mCloses, std::vector<int>{7});
    EXPECT_EQ(h.window->GetOSWindow(), nullptr) << "a closed OS window is never used again";
    EXPECT_EQ(h.window->RequestClose(1), Vx::VXR_E_FAIL);
}

TEST_F(RootWindowOwnership, AWindowReleasedByItsOwnCloseSurvivesTheIdlePassThatClosedIt)
{
    h.CreateTop("first");
    // The OS window's teardown drops the application's reference, the last
    // one from outside (ASan reports a use after free if the window goes
    // under its own call).
    Vx::LRootWindow* const raw = h.window.Get();
    h.osWindow.mOnClose = [this, raw] { h.app->RemoveRootWindow(RCPtr<Vx::LRootWindow>(raw)); };
    h.window = nullptr;
    raw->RequestClose(0);
    EXPECT_FALSE(raw->ProcessIdle(true));
    EXPECT_EQ(h.osWindow.mCloses, std::vector<int>{0});
    EXPECT_TRUE(h.app->GetRootWindow(0).IsNull());
}

TEST_F(RootWindowOwnership, WindowSizesAreConstrainedToAtLeastOnePixel)
{
    struct Case
    {
        IntPoint proposed;
        IntPoint expected;
        bool changed;
    };
    for (const Case& c : {Case{{0, 0}, {1, 1}, true}, Case{{-5, 9}, {1, 9}, true}, Case{{5, 7}, {5, 7}, false}})
    {
        IntPoint size = c.proposed;
        EXPECT_EQ(h.window->ConstrainWindowSize(size), c.changed) << c.proposed.x << "x" << c.proposed.y;
        EXPECT_EQ(size, c.expected);
    }
    // A top control that fills the client takes the proposed size as it is.
    h.CreateTop("first");
    IntPoint size{640, 200};
    EXPECT_FALSE(h.window->ConstrainWindowSize(size));
    EXPECT_EQ(size, (IntPoint{640, 200}));
}

TEST_F(RootWindowOwnership, KeysPostedFromOtherThreadsReachTheFocusControlInOrderOnTheNextIdlePass)
{
    h.CreateTop("first");
    h.TakeTrace();
    std::vector<std::thread> threads;
    for (std::uint32_t t = 0; t < 4; ++t)
        threads.emplace_back([this, t] {
            for (std::uint32_t i = 0; i < 100; ++i)
            {
                Vx::KeyCode key;
                key.code = t << 8 | i;
                h.window->PostKey(Vx::LKeyParam::Create(key, 1));
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(h.TakeTrace(), Trace{}) << "nothing before the idle pass";
    h.window->ProcessIdle(false);
    const Trace keys = h.TakeTrace();
    ASSERT_EQ(keys.size(), 400u);
    unsigned int last[4] = {0, 0, 0, 0};
    for (const std::string& line : keys)
    {
        unsigned int code = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "one: key 0x%x", &code), 1) << line;
        const unsigned int thread = code >> 8;
        EXPECT_GE(code & 0xFF, last[thread]) << "each thread's keys in order";
        last[thread] = code & 0xFF;
    }
}

TEST_F(RootWindowOwnership, AnIdlePassWithoutIdleDeliversPostedNotificationsOnly)
{
    const RCPtr<VxTest::Recorder> recorder(new VxTest::Recorder());
    recorder->Listen(RCPtr<Vx::LNotificationDistributor>(h.window), {"NID_IDLE", "NID_TEST"});
    h.window->PostNotification("NID_TEST", nullptr);
    EXPECT_FALSE(h.window->ProcessIdle(false));
    EXPECT_EQ(recorder->mIds, std::vector<std::string>{"NID_TEST"});
    h.window->ProcessIdle(true);
    EXPECT_EQ(recorder->mIds, (std::vector<std::string>{"NID_TEST", "NID_IDLE"}));
    recorder->UnregisterAll();
}

TEST_F(RootWindowOwnership, ShiftTabInTheOnlyWindowWrapsToTheLastControlAndASkinChangeRestoresTheFocus)
{
    const RCPtr<LControl> top = h.CreateTop("first");
    Vx::KeyCode shiftTab;
    shiftTab.code = 0x20090000u | Vx::KeyCode::kShift;
    h.window->MoveFocusToNextWindow(Vx::LKeyParam::Create(shiftTab, 1));
    EXPECT_EQ(h.window->GetFocusControl().Get(), top->FindChild("two").Get());

    // Inside a modal loop nothing moves.
    h.osWindow.mModalDepth = 1;
    Vx::KeyCode tab;
    tab.code = 0x20090000u;
    h.window->MoveFocusToNextWindow(Vx::LKeyParam::Create(tab, 1));
    EXPECT_EQ(h.window->GetFocusControl().Get(), top->FindChild("two").Get());

    h.window->UpdateHover(top->FindChild("one"));
    h.window->DropHoverAndFocus();
    EXPECT_TRUE(h.window->GetHoverControl().IsNull());
    EXPECT_TRUE(h.window->GetFocusControl().IsNull());
    h.window->RestoreFocus();
    EXPECT_EQ(h.window->GetFocusControl().Get(), top->FindChild("two").Get()) << "the control that had it";
}

TEST_F(RootWindowOwnership, GeometryCursorAndTextInputGoToTheOSWindow)
{
    const RCPtr<LControl> top = h.CreateTop("first");
    h.osWindow.mScreenOrigin = IntPoint{40, 30};
    const IntRect client = h.window->GetClientRect();
    EXPECT_EQ(VxTest::RectText(client), "40,30,800,480");
    h.window->SetWindowRect(client);
    EXPECT_TRUE(h.osWindow.mBounds.empty()) << "the same rectangle moves nothing";
    h.osWindow.TakeInvalidations();
    h.window->SetWindowRect(IntRect{0, 0, 400, 300});
    ASSERT_EQ(h.osWindow.mBounds.size(), 1u);
    EXPECT_EQ(VxTest::RectText(h.osWindow.mBounds[0]), "0,0,400,300");
    EXPECT_FALSE(h.osWindow.TakeInvalidations().empty()) << "the top control repaints";

    juce::MouseCursor* const hand = reinterpret_cast<juce::MouseCursor*>(&h);
    EXPECT_EQ(h.window->SetCursor(hand), nullptr);
    EXPECT_EQ(h.window->SetCursor(nullptr), hand) << "the replaced cursor";

    h.window->SetTextInputActive(true, top->FindChild("two"), 5);
    h.window->SetTextInputActive(true, top->FindChild("one"), 6);
    h.window->SetTextInputActive(false, top->FindChild("two"), 7);
    EXPECT_EQ(h.osWindow.mTextEntry, (std::vector<std::string>{"on 6", "off 7"}))
        << "only the focus control turns it on";
}

TEST_F(RootWindowOwnership, TabPastTheLastControlActivatesTheNextRootWindow)
{
    h.CreateTop("first");
    VxTest::RecordingOSWindow otherOS;
    otherOS.mActive = false;
    const RCPtr<Vx::LRootWindow> other = Vx::LRootWindow::Create(RCPtr<Vx::LRenderer>(h.renderer), &otherOS);
    h.app->AddRootWindow(other);

    Vx::KeyCode tab;
    tab.code = 0x20090000u;
    h.window->MoveFocusToNextWindow(Vx::LKeyParam::Create(tab, 1));
    EXPECT_EQ(otherOS.mFocusGrabs, 1) << "window 1 after window 0";

    // From the inactive window nothing moves.
    VxTest::CaptureStderr capture;
    other->MoveFocusToNextWindow(Vx::LKeyParam::Create(tab, 1));
    EXPECT_EQ(AssertionsIn(capture.Finish()), 1);
    EXPECT_EQ(h.osWindow.mFocusGrabs, 0);
    h.app->RemoveRootWindow(other);
}

// ---- Input dispatch ----------------------------------------------------------------------

// A page with a control that has a tool tip (a), one that takes the
// capture (b) with two children that use b's tool tip, one that leaves
// wheel events to others (c).
class RootWindowInput : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const RCPtr<LControlDescriptor> page = h.Describe("page", nullptr, Rect{0, 0, 800, 480});
        h.Describe("a", page, Rect{10, 10, 100, 100});
        const RCPtr<LControlDescriptor> b = h.Describe("b", page, Rect{200, 10, 200, 200});
        RootWindowHarness::Param(h.Describe("inner", b, Rect{20, 20, 40, 40}), "USE_PARENT_TOOLTIP", "true");
        RootWindowHarness::Param(h.Describe("inner2", b, Rect{100, 100, 40, 40}), "USE_PARENT_TOOLTIP", "true");
        h.Describe("c", page, Rect{10, 300, 100, 100});
        h.factory->SetString("Test.Control|a", "TOOLTIP", "Tip A");
        h.factory->SetString("Test.Control|b", "TOOLTIP", "Tip B");
        top = h.CreateTop("page");
        RootWindowHarness::Find(top, {"b"}).mCaptures = true;
        RootWindowHarness::Find(top, {"c"}).mWheelResult = Vx::VXR_NOTHING_DONE;
        h.window->SetFocusControl(top->FindChild("a"));
        h.TakeTrace();
    }

    RootWindowHarness h;
    RCPtr<LControl> top;
};

struct Script
{
    const char* name;
    const char* events;
};

class RootWindowReplayed : public RootWindowInput, public ::testing::WithParamInterface<Script>
{
};

TEST_P(RootWindowReplayed, TheControlCallsMatchTheGoldenTrace)
{
    VxTest::CaptureStderr capture;
    h.Replay(GetParam().events);
    Trace trace = h.TakeTrace();
    trace.push_back("assertions: " + std::to_string(AssertionsIn(capture.Finish())));
    trace.push_back("sources holding 1: " + std::to_string(h.window->CountSourcesHolding(1)) +
                    ", 8: " + std::to_string(h.window->CountSourcesHolding(8)));
    const std::string mismatch = VxTest::CompareWithGolden(kGoldenDir + "/" + GetParam().name + ".trace", trace);
    EXPECT_EQ(mismatch, "");
}

INSTANTIATE_TEST_SUITE_P(Scripts, RootWindowReplayed,
                         ::testing::Values(
                             // Hover and tool tips: children that use b's tip do not show it
                             // again; while b holds the capture only b can be hovered; a release
                             // without capture is not delivered.
                             Script{"hover-capture", R"(
            0 move 50 50        # a
            10 move 350 50      # b
            20 move 230 40      # inner
            30 move 310 130     # inner2
            40 down 1 350 50    # b, not moved there first
            50 move 230 40      # inner, while b holds the capture
            60 move 350 50      # b again
            70 up 1 350 50
            80 up 1 240 60      # inner, without capture
        )"},
                             // A double click arrives as a flagged press whose release carries
                             // the flag; the next pair carries none.  Button 8 is held but never
                             // delivered.
                             Script{"double-click", R"(
            0 move 350 50
            10 down 1 350 50
            20 up 1 350 50
            30 double 1 350 50
            40 up 1 350 50
            50 down 4 350 50 mods=0x8
            60 up 4 350 50
            70 down 8 350 50 src=3
        )"},
                             // Source 10 and event type 5 are assertions and still delivered;
                             // an unknown wheel direction is horizontal, and a wheel event that
                             // c leaves goes to the focus control; any key hides the tool tip.
                             Script{"bad-input", R"(
            0 move 50 50
            10 down 1 50 50 src=10
            20 button 5 1 50 50 src=2
            30 wheel 7 15 315
            40 wheel 0 15 315
            50 key 0x41
        )"}),
                         [](const ::testing::TestParamInfo<Script>& info) {
                             std::string name = info.param.name;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

TEST_F(RootWindowInput, EventsWhileTheWindowIsInactiveAreDropped)
{
    h.osWindow.mActive = false;
    h.Replay("0 move 50 50\n10 down 1 50 50\n20 wheel 0 50 50\n");
    EXPECT_EQ(h.TakeTrace(), Trace{});
    EXPECT_EQ(h.window->CountSourcesHolding(1), 0) << "no mask changes";
    // Keys do not depend on the pointer.
    h.Replay("30 key 0x41");
    EXPECT_EQ(h.TakeTrace(), Trace{"a: key 0x41"});
}

TEST_F(RootWindowInput, CaptureRequestsThatAreWrongAreAssertionsWithTheDocumentedOutcome)
{
    const RCPtr<LControl> a = top->FindChild("a");
    const RCPtr<LControl> c = top->FindChild("c");
    VxTest::CaptureStderr capture;
    EXPECT_EQ(h.window->SetCapture(nullptr), Vx::VXR_E_INVALIDARG);
    EXPECT_TRUE(h.window->GetCaptureControl().IsNull());
    EXPECT_EQ(h.window->SetCapture(a), Vx::VXR_OK);
    EXPECT_EQ(h.window->SetCapture(a), Vx::VXR_OK);
    EXPECT_EQ(h.window->ReleaseCapture(c), Vx::VXR_OK);
    EXPECT_TRUE(h.window->GetCaptureControl().IsNull()) << "cleared all the same";
    EXPECT_EQ(AssertionsIn(capture.Finish()), 2);
    EXPECT_EQ(h.TakeTrace(), Trace{"a: capture-lost"}) << "the holder hears of a second capture, even its own";
}

TEST_F(RootWindowInput, TheHeldMasksCountTheSourcesHoldingEveryBit)
{
    h.Replay("0 down 1 50 50 src=0\n1 down 5 50 50 src=1\n2 down 4 50 50 src=9\n");
    struct Case
    {
        int mask;
        int sources;
    };
    for (const Case& c : {Case{0, 10}, Case{1, 2}, Case{4, 2}, Case{5, 1}, Case{2, 0}})
        EXPECT_EQ(h.window->CountSourcesHolding(c.mask), c.sources) << "mask " << c.mask;
}

TEST_F(RootWindowInput, AToolTipIsShownThroughTheFactorysToolTipClassAndRemovedWhenHidden)
{
    CallControl& a = RootWindowHarness::Find(top, {"a"});
    a.mRealToolTip = true;
    // No "toolTip" descriptor in the skin: nothing is made.
    h.Replay("0 move 50 50");
    EXPECT_TRUE(a.FindChild("toolTip").IsNull());

    // A descriptor of an unregistered class is refused.
    h.Describe("toolTip", nullptr, Rect{0, 0, 60, 20}, 0xFFFFFFE0u, "Framework.ToolTip");
    h.Replay("10 move 600 400\n20 move 50 50");
    EXPECT_TRUE(a.FindChild("toolTip").IsNull());

    h.factory->RegisterControlType("Framework.ToolTip", &Vx::CreateControl<VxTest::TestControl>);
    h.Replay("30 move 600 400\n40 move 50 50");
    const RCPtr<LControl> tip = a.FindChild("toolTip");
    ASSERT_FALSE(tip.IsNull());
    EXPECT_STREQ(tip->GetText().GetCString(), "Tip A");
    EXPECT_TRUE(tip->IsVisible(false));
    h.Replay("50 move 600 400");
    EXPECT_FALSE(tip->IsVisible(false));
    h.window->ProcessIdle(true);
    EXPECT_TRUE(a.FindChild("toolTip").IsNull()) << "removed by the idle pass";
}

TEST(RootWindowToolTipSource, AControlThatUsesItsParentsTipWithoutAParentIsItsOwnSource)
{
    RootWindowHarness h;
    RootWindowHarness::Param(h.Describe("lonely", nullptr, Rect{0, 0, 10, 10}), "USE_PARENT_TOOLTIP", "true");
    const RCPtr<LControl> top = h.CreateTop("lonely");
    VxTest::CaptureStderr capture;
    EXPECT_EQ(top->GetToolTipSource().Get(), top.Get());
    EXPECT_EQ(AssertionsIn(capture.Finish()), 1);
}

// ---- Invalidation and painting --------------------------------------------------------------

TEST(RootWindowInvalidation, RectanglesAreClippedToTheClientAreaBeforeTheyReachTheRegionAndTheOSWindow)
{
    RootWindowHarness h;
    struct Case
    {
        IntRect invalid;
        std::vector<IntRect> expected;
    };
    const Case cases[] = {
        {{-10, -10, 20, 20}, {{0, 0, 10, 10}}},
        {{790, 470, 50, 50}, {{790, 470, 10, 10}}},
        {{900, 10, 10, 10}, {}},
        {{10, 10, 0, 10}, {}},
        {{-2147483647, 0, 2147483647, 5}, {}},
    };
    for (const Case& c : cases)
    {
        h.window->Invalidate(c.invalid);
        RgnLight dirty;
        h.window->TakeDirtyRegion(dirty);
        EXPECT_EQ(RectsOf(dirty), c.expected) << VxTest::RectText(c.invalid);
        EXPECT_EQ(h.osWindow.TakeInvalidations(), c.expected) << VxTest::RectText(c.invalid);
    }
}

TEST(RootWindowInvalidation, OverlappingRectanglesLeaveDisjointRectanglesCoveringTheirUnionUntilTaken)
{
    RootWindowHarness h;
    h.window->Invalidate(IntRect{0, 0, 20, 20});
    h.window->Invalidate(IntRect{10, 10, 20, 20});
    RgnLight dirty;
    h.window->TakeDirtyRegion(dirty);
    EXPECT_EQ(AreaOf(dirty), 400 + 400 - 100);
    const std::vector<IntRect> rects = RectsOf(dirty);
    for (std::size_t i = 0; i < rects.size(); ++i)
        for (std::size_t j = i + 1; j < rects.size(); ++j)
            EXPECT_FALSE(
                RgnLight::Intersects(RgnLight::Rect::FromRectT(rects[i]), RgnLight::Rect::FromRectT(rects[j])));
    h.window->TakeDirtyRegion(dirty);
    EXPECT_TRUE(dirty.IsEmpty());
}

class RootWindowPainting : public ::testing::Test
{
protected:
    RootWindowPainting() : image(juce::Image::ARGB, 800, 480, true) {}

    // The OS window's paint with the stderr of the pass.
    std::string PaintAll()
    {
        VxTest::CaptureStderr capture;
        h.window->InvalidateAll();
        h.Paint(image);
        return capture.Finish();
    }

    RootWindowHarness h;
    juce::Image image;
};

TEST_F(RootWindowPainting, ControlsHandedBackArePaintedByZOrderThenListOrderWithTheirOpacity)
{
    const RCPtr<LControlDescriptor> page = h.Describe("page", nullptr, Rect{0, 0, 800, 480}, 0xFFFFFFFFu);
    const struct
    {
        const char* name;
        int z;
    } loose[] = {{"z5a", 5}, {"z1", 1}, {"z5b", 5}, {"z0", 0}};
    int x = 0;
    for (const auto& entry : loose)
    {
        const RCPtr<LControlDescriptor> child = h.Describe(entry.name, page, Rect{10.0 + x, 10, 20, 20}, 0xFF0000FFu);
        child->GetLayout()->ClipToParent = false;
        child->GetLayout()->Z_Order = entry.z;
        x += 30;
    }
    const RCPtr<LControl> top = h.CreateTop("page");
    std::vector<VxTest::TestControl::HookCall> hooks;
    std::vector<float> factors;
    for (const auto& entry : loose)
        RootWindowHarness::Find(top, {entry.name}).mHookLog = &hooks;
    RootWindowHarness::Find(top, {"z1"}).SetOpacity(0.5f);

    EXPECT_EQ(AssertionsIn(PaintAll()), 0) << "no state left changed";
    std::vector<std::string> order;
    for (const auto& hook : hooks)
        if (hook.what.rfind("content:", 0) == 0)
            order.push_back(hook.what.substr(8));
    EXPECT_EQ(order, (std::vector<std::string>{"z0", "z1", "z5a", "z5b"}));
    const juce::Colour half = image.getPixelAt(45, 15);
    EXPECT_NEAR(half.getRed(), 0x80, 2) << "blue at half weight over white";
    EXPECT_NEAR(half.getBlue(), 0xFF, 2);
    EXPECT_EQ(image.getPixelAt(15, 15).getARGB(), 0xFF0000FFu) << "the others opaque";
}

TEST_F(RootWindowPainting, APaintDuringAnotherPaintIsPutOffByInvalidatingTheClient)
{
    h.Describe("page", nullptr, Rect{0, 0, 800, 480}, 0xFFFF0000u);
    h.CreateTop("page");
    const RCPtr<Vx::LJUCERenderContextInfo> context =
        Vx::LJUCERenderContextInfo::Create(IntRect{0, 0, 800, 480}, 0, true);
    h.renderer->RenderStart(RCPtr<Vx::LRenderContextInfo>(context));
    h.renderer->PushClip();
    RgnLight dirty;
    dirty.UnionRect(IntRect{0, 0, 800, 480});
    h.window->Paint(dirty);
    EXPECT_EQ(h.osWindow.ClientInvalidations(), 1);
    EXPECT_EQ(context->GetFrontImage()->getPixelAt(5, 5).getARGB(), 0u) << "nothing painted";
    h.renderer->PopClip();
    h.renderer->RenderFinish(RCPtr<Vx::LRenderContextInfo>(context));
}

TEST_F(RootWindowPainting, InvalidatingFromFourThreadsWhileTheMainThreadPaintsLosesNoRectangle)
{
    h.Describe("page", nullptr, Rect{0, 0, 800, 480}, 0xFF00FF00u);
    h.CreateTop("page");
    PaintAll();
    std::atomic<int> running{4};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([this, t, &running] {
            // Thread t covers columns t * 100 to t * 100 + 99, rows 0 to 399.
            for (int i = 0; i < 400; ++i)
                h.window->Invalidate(IntRect{t * 100 + i % 10 * 10, i / 10 * 10, 10, 10});
            --running;
        });
    RgnLight seen;
    const auto paint = [&] {
        for (const IntRect& rect : RectsOf(h.Paint(image)))
            seen.UnionRect(rect);
    };
    while (running > 0)
        paint();
    for (std::thread& thread : threads)
        thread.join();
    paint();
    EXPECT_EQ(AreaOf(seen), 4 * 100 * 400) << "every invalidated pixel painted, nothing else";
    RgnLight::Rect bounds{0, 0, 0, 0};
    ASSERT_TRUE(seen.GetBounds(bounds));
    EXPECT_EQ(bounds, (RgnLight::Rect{0, 0, 400, 400}));
}

TEST_F(RootWindowPainting, TheFixtureSkinsMainControlMatchesItsScreenshot)
{
    h.app->mFontName = "DejaVu Sans";
    h.osWindow.mClientSize = IntPoint{240, 96};
    image = juce::Image(juce::Image::ARGB, 240, 96, true);
    const RCPtr<LControlDescriptor> main = h.Describe("mainControl", nullptr, Rect{0, 0, 10, 10}, 0);
    main->GetSkin()->lookList->Add(VxTest::FixtureButtonLook());
    const RCPtr<LControlDescriptor> badge = h.Describe("badge", main, Rect{180, 60, 40, 24}, 0xC0FFFFFFu);
    badge->GetLayout()->ClipToParent = false;
    const RCPtr<LControl> top = h.CreateTop("mainControl");
    top->SetText("Main");
    EXPECT_EQ(AssertionsIn(PaintAll()), 0);
    VxTest::ExpectMatchesGolden(image, "root-window-main", 24);
}
} // namespace

namespace
{
// ---- Hit testing ------------------------------------------------------------------------

// A page with a panel whose look is inset by 10 and scrolled by (5, 0); in
// it a clipped child partly outside the look, a docked child, and a child
// that does not clip, with z-order 3, reaching over a later sibling of the
// panel.
class RootWindowHitTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const RCPtr<LControlDescriptor> page = h.Describe("page", nullptr, Rect{0, 0, 800, 480});
        const RCPtr<LControlDescriptor> panel = h.Describe("panel", page, Rect{100, 100, 200, 200}, 0);
        panel->GetSkin()->lookList->Add(VxTest::LookDescriptor(VxTest::Offsets(10, 10, -10, -10)));
        h.Describe("edge", panel, Rect{170, 20, 60, 20});
        const RCPtr<LControlDescriptor> popup = h.Describe("popup", panel, Rect{150, 150, 100, 40});
        popup->GetLayout()->ClipToParent = false;
        popup->GetLayout()->Z_Order = 3;
        h.Describe("later", page, Rect{310, 250, 100, 100});
        top = h.CreateTop("page");
        h.window->GetTopControl()->FindChild("panel")->SetScrollOffset(Vx::PointT<double>{5, 0});
    }

    std::string HitAt(int x, int y)
    {
        RCPtr<LControl> found;
        IntPoint inControl{-1, -1};
        h.window->HitTest(found, IntPoint{x, y}, inControl, false);
        if (found.IsNull())
            return "none";
        return std::string(found->GetName().GetCString()) + " " + std::to_string(inControl.x) + "," +
               std::to_string(inControl.y);
    }

    RootWindowHarness h;
    RCPtr<LControl> top;
};

TEST_F(RootWindowHitTest, TheDeepestControlUnderThePointWinsWithNonClippingControlsAbove)
{
    struct Case
    {
        IntPoint point;
        const char* expected;
    };
    // The panel's content origin is (110 - 5, 110) in the window.
    const Case cases[] = {
        {{50, 50}, "page 50,50"},     {{105, 105}, "page 105,105"}, // the panel's inset look leaves its rim transparent
        {{115, 115}, "panel 15,15"},  {{280, 135}, "edge 5,5"},     // in the panel's look
        {{303, 135}, "page 303,135"},                               // the edge pokes out of the panel: not there
        {{300, 290}, "popup 45,30"},                                // outside the panel, still the popup
        {{320, 270}, "popup 65,10"},                                // above the later sibling
        {{320, 320}, "later 10,70"},  {{900, 20}, "none"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HitAt(c.point.x, c.point.y), c.expected) << c.point.x << "," << c.point.y;

    const RCPtr<LControl> panel = top->FindChild("panel");
    EXPECT_EQ(panel->FindChild("popup")->GetEffectiveZ(), 3);
    EXPECT_EQ(panel->FindChild("edge")->GetEffectiveZ(), INT32_MIN);
    EXPECT_EQ(panel->ChildAtPoint(IntPoint{180, 30}).Get(), panel->FindChild("edge").Get());
    EXPECT_TRUE(panel->ChildAtPoint(IntPoint{5, 5}).IsNull());
}

TEST_F(RootWindowHitTest, ExcludedAndHiddenControlsAreLookedThrough)
{
    const RCPtr<LControl> edge = top->FindChild("panel")->FindChild("edge");
    edge->SetHitTestExcluded(true);
    EXPECT_EQ(HitAt(280, 135), "panel 180,35");
    edge->SetHitTestExcluded(false);
    top->FindChild("panel")->SetVisible(false);
    EXPECT_EQ(HitAt(280, 135), "page 280,135");
    EXPECT_EQ(HitAt(320, 270), "later 10,20") << "the popup went with its parent";
}
} // namespace
