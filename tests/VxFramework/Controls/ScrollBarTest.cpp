#include "tests/VxFramework/Controls/ScrollHarness.h"

#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

using namespace VxTest;
using Vx::RCPtr;

namespace
{
constexpr int kUp = 38;
constexpr int kDown = 40;
constexpr int kLeft = 37;
constexpr int kRight = 39;
constexpr int kPageUp = 33;
constexpr int kPageDown = 34;
constexpr int kHome = 36;
constexpr int kEnd = 35;

// A page with a focusable "field" and two bars: "bar" vertical at
// (100, 100), 16 x 200 (channel 168 long from y 116), and "hbar"
// horizontal at (200, 100), 200 x 16.
class ScrollBarTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const auto page = h.Describe("page", nullptr, Vx::RectT<double>{0, 0, 800, 480}, "Framework.Panel");
        h.Describe("field", page, Vx::RectT<double>{0, 0, 50, 20});
        h.DescribeBar("bar", page, true, 100, 100, 200);
        h.DescribeBar("hbar", page, false, 200, 100, 200);
        top = h.CreateTop("page");
        ASSERT_FALSE(top.IsNull());
        bar = Part<Vx::LScrollbar>(top, {"bar"});
        hbar = Part<Vx::LScrollbar>(top, {"hbar"});
        ASSERT_FALSE(bar.IsNull());
        ASSERT_FALSE(hbar.IsNull());
        thumb = bar->GetThumb();
        ASSERT_FALSE(thumb.IsNull());
    }

    double ThumbY() const { return thumb->GetBounds().y; }
    double ThumbLength() const { return thumb->GetBounds().height; }

    ScrollHarness h;
    RCPtr<Vx::LControl> top;
    RCPtr<Vx::LScrollbar> bar;
    RCPtr<Vx::LScrollbar> hbar;
    RCPtr<Vx::LControl> thumb;
};

TEST_F(ScrollBarTest, PartsOrientationAndFocusFollowTheSkin)
{
    EXPECT_EQ(bar->GetOrientation(), 1);
    EXPECT_EQ(hbar->GetOrientation(), 0);
    EXPECT_EQ(bar->GetKeyMask(), 255);
    for (const char* name : {"dec", "inc", "channel"})
        EXPECT_TRUE(bar->FindChild(name)->IsNotFocusable(false)) << name;
    EXPECT_TRUE(bar->IsNotFocusable(false));
    EXPECT_TRUE(thumb->IsNotFocusable(false));
    // The channel is a panel; the thumb spans it across.
    EXPECT_NE(dynamic_cast<Vx::LPanel*>(bar->FindChild("channel").Get()), nullptr);
    EXPECT_EQ(thumb->GetBounds().width, 16.0);
}

TEST_F(ScrollBarTest, ThumbLengthAndPositionFollowSizeAndValue)
{
    struct Case
    {
        double size;
        double value;
        double length;
        double position;
    };
    // Channel 168 long; the thumb is at least as long as it is wide (16).
    const Case cases[] = {
        {0.25, 0.5, 42, 63},  {0.0, 1.0, 16, 152}, {1.0, 0.7, 168, 0},
        {0.5, 0.333, 84, 28}, {0.1, 0.0, 17, 0},   {0.05, 0.5, 16, 76},
    };
    for (const Case& c : cases)
    {
        bar->SetThumbSize(c.size);
        bar->SetValue(c.value);
        EXPECT_EQ(bar->GetThumbLength(), c.length) << c.size;
        EXPECT_EQ(ThumbLength(), c.length) << c.size;
        EXPECT_EQ(ThumbY(), c.position) << c.size << " at " << c.value;
    }
}

TEST_F(ScrollBarTest, ARangeChangeKeepsTheScaledValue)
{
    struct Case
    {
        double minimum;
        double maximum;
        Vx::VxRESULT result;
        double normalized;
    };
    // From scaled 250 of 0..1000 each time.
    const Case cases[] = {
        {0, 500, Vx::VXR_OK, 0.5},
        {0, 100, Vx::VXR_OK, 1.0},            // clamped into the smaller range
        {0, 0, Vx::VXR_OK, 0.0},              // an empty range
        {1000, 0, Vx::VXR_OK, 0.75},          // reversed ends keep the value too
        {0, NAN, Vx::VXR_E_INVALIDARG, 0.25}, // refused: range and value stay
    };
    for (const Case& c : cases)
    {
        ASSERT_EQ(bar->SetValueRange(0, 0, 1000), Vx::VXR_OK);
        bar->SetValue(0.25);
        CaptureStderr capture;
        EXPECT_EQ(bar->SetValueRange(0, c.minimum, c.maximum), c.result) << c.maximum;
        EXPECT_EQ(AssertionsIn(capture.Finish()), c.result < 0 ? 1 : 0);
        EXPECT_DOUBLE_EQ(bar->GetValue(), c.normalized) << c.minimum << ".." << c.maximum;
    }
}

TEST_F(ScrollBarTest, KeysFromASiblingStepByOrientationAndExactKey)
{
    struct Case
    {
        Vx::LScrollbar* target;
        int key;
        std::uint32_t modifiers;
        double value;
        // Some bar used the key; else it goes on to the hot keys.
        bool used;
    };
    const Case cases[] = {
        {bar.Get(), kDown, 0, 0.52, true},
        {bar.Get(), kUp, 0, 0.48, true},
        {bar.Get(), kPageDown, 0, 0.7, true},
        {bar.Get(), kPageUp, 0, 0.3, true},
        // Home and End fit both bars: the one offered the key first (the later
        // sibling) takes it.
        {bar.Get(), kHome, 0, 0.5, true},
        {bar.Get(), kEnd, 0, 0.5, true},
        {bar.Get(), kLeft, 0, 0.5, true},
        {bar.Get(), kDown, Vx::kModifierShift, 0.5, false},
        {hbar.Get(), kRight, 0, 0.52, true},
        {hbar.Get(), kLeft, 0, 0.48, true},
        {hbar.Get(), kHome, 0, 0.0, true},
        {hbar.Get(), kEnd, 0, 1.0, true},
        {hbar.Get(), kDown, 0, 0.5, true},
        {hbar.Get(), kPageDown, 0, 0.5, true},
        {hbar.Get(), kRight, Vx::kModifierCtrl, 0.5, false},
    };
    const RCPtr<Vx::LControl> field = top->FindChild("field");
    ASSERT_EQ(field->SetFocus(true), Vx::VXR_OK);
    for (const Case& c : cases)
    {
        bar->SetValue(0.5);
        hbar->SetValue(0.5);
        h.app->mHotKeys.clear();
        h.Key(c.key, c.modifiers);
        EXPECT_NEAR(c.target->GetValue(), c.value, 1e-12) << c.key << " mods " << c.modifiers;
        EXPECT_EQ(h.app->mHotKeys.empty(), c.used) << c.key << " mods " << c.modifiers;
    }
}

TEST_F(ScrollBarTest, BadMasksAndThumbSizesAreAssertedAndBounded)
{
    const RCPtr<Vx::LControl> field = top->FindChild("field");
    ASSERT_EQ(field->SetFocus(true), Vx::VXR_OK);
    CaptureStderr capture;
    EXPECT_EQ(bar->SetKeyMask(0x100), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(bar->GetKeyMask(), 0) << "only the low byte is used";
    EXPECT_EQ(bar->SetKeyMask(-1), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(bar->GetKeyMask(), 0xFF);
    EXPECT_EQ(bar->SetKeyMask(0x02), Vx::VXR_OK);
    bar->SetThumbSize(1.5);
    EXPECT_EQ(bar->GetThumbSize(), 1.0);
    bar->SetThumbSize(-0.5);
    EXPECT_EQ(bar->GetThumbSize(), 0.0);
    EXPECT_EQ(AssertionsIn(capture.Finish()), 4);

    bar->SetValue(0.5);
    h.Key(kUp);
    EXPECT_EQ(bar->GetValue(), 0.5) << "Up is masked out";
    h.Key(kDown);
    EXPECT_DOUBLE_EQ(bar->GetValue(), 0.52);
}

TEST_F(ScrollBarTest, StepsBeyondTheEndsStopThereAndBadStepsAreRefused)
{
    struct Case
    {
        bool paging;
        double step;
        bool forward;
        Vx::VxRESULT result;
        double value;
    };
    // From 0.5 with line 0.02 and page 0.2 each time.
    const Case cases[] = {
        {false, 1e308, true, Vx::VXR_OK, 1.0},
        {false, 1e308, false, Vx::VXR_OK, 0.0},
        {true, INFINITY, true, Vx::VXR_OK, 1.0},
        {true, 5.0, false, Vx::VXR_OK, 0.0},
        {true, 0.0, true, Vx::VXR_OK, 0.5},
        {true, -0.3, true, Vx::VXR_E_INVALIDARG, 0.7},  // refused: 0.2 kept
        {false, NAN, true, Vx::VXR_E_INVALIDARG, 0.52}, // refused: 0.02 kept
    };
    for (const Case& c : cases)
    {
        bar->SetValue(0.5);
        ASSERT_EQ(bar->SetLineStep(0.02), Vx::VXR_OK);
        ASSERT_EQ(bar->SetPageStep(0.2), Vx::VXR_OK);
        CaptureStderr capture;
        EXPECT_EQ(c.paging ? bar->SetPageStep(c.step) : bar->SetLineStep(c.step), c.result) << c.step;
        EXPECT_EQ(c.paging ? bar->PageStep(c.forward) : bar->LineStep(c.forward), Vx::VXR_OK);
        EXPECT_EQ(AssertionsIn(capture.Finish()), c.result < 0 ? 1 : 0) << c.step;
        EXPECT_DOUBLE_EQ(bar->GetValue(), c.value) << c.step;
    }
}

TEST_F(ScrollBarTest, StepButtonsStepByTheLine)
{
    bar->SetValue(0.5);
    SendFrom(bar->FindChild("dec"), "NID_BUTTON_AUTOREPEAT");
    SendFrom(bar->FindChild("dec"), "NID_BUTTON_AUTOREPEAT");
    SendFrom(bar->FindChild("inc"), "NID_BUTTON_AUTOREPEAT");
    EXPECT_DOUBLE_EQ(bar->GetValue(), 0.48);
    // Another notification of the buttons is not a step.
    SendFrom(bar->FindChild("inc"), "NID_LEFT_CLICK");
    EXPECT_DOUBLE_EQ(bar->GetValue(), 0.48);
}

TEST_F(ScrollBarTest, DraggingTheThumbSetsTheValueAndHoldsOutsideValuesUntilTheEnd)
{
    bar->SetThumbSize(0.25); // 42 long, 126 of travel
    bar->SetValue(0.0);
    const auto recorder = Vx::MakeRCPtr<Recorder>();
    recorder->Listen(RCPtr<Vx::LNotificationDistributor>(bar), {"NID_VALUE_CHANGE"});

    // Grabbed 4 below its top (channel at y 116), moved down by 63.
    h.Replay("0 down 1 108 120\n"
             "10 move 108 150\n"
             "20 move 108 183\n");
    EXPECT_TRUE(bar->IsDragging());
    EXPECT_DOUBLE_EQ(bar->GetValue(), 0.5);
    EXPECT_EQ(ThumbY(), 63);
    EXPECT_EQ(recorder->mIds.size(), 2u) << "the value is sent during the drag";

    // A scroll view's value meanwhile waits.
    EXPECT_DOUBLE_EQ(bar->SetValue(0.9), 0.5);
    EXPECT_DOUBLE_EQ(bar->GetValue(), 0.5);
    // Beyond the channel the thumb stops at the end.
    h.Replay("30 move 108 400\n");
    EXPECT_DOUBLE_EQ(bar->GetValue(), 1.0);
    EXPECT_EQ(ThumbY(), 126);
    h.Replay("40 up 1 108 400\n");
    EXPECT_FALSE(bar->IsDragging());
    EXPECT_DOUBLE_EQ(bar->GetValue(), 0.9) << "the held value applies at the end";
    EXPECT_EQ(ThumbY(), 113);
    recorder->UnregisterAll();
}

TEST_F(ScrollBarTest, AThumbFillingTheChannelCannotMove)
{
    bar->SetThumbSize(1.0);
    bar->SetValue(0.0);
    h.Replay("0 down 1 108 150\n"
             "10 move 108 200\n"
             "20 move 108 250\n"
             "30 up 1 108 250\n");
    EXPECT_EQ(bar->GetValue(), 0.0);
    EXPECT_EQ(ThumbY(), 0);
}

TEST_F(ScrollBarTest, PressingTheChannelPagesAtOnceThenRepeatsWhileHeld)
{
    bar->SetThumbSize(0.25);
    bar->SetValue(0.9); // thumb 229..271 in the window
    const RCPtr<Vx::LControl> channel = bar->FindChild("channel");
    h.Replay("0 down 1 108 130\n"); // before the thumb
    EXPECT_EQ(bar->GetPressRegion(), 1);
    EXPECT_DOUBLE_EQ(bar->GetValue(), 0.7);
    EXPECT_EQ(channel->GetLookWeight(1), 1.0f) << "the pressed look shows";
    EXPECT_EQ(bar->GetIdleRequestCount(), 1);

    struct Step
    {
        std::uint32_t after;
        double value;
    };
    // 0.4 s before the first repeat, 0.2 s after (idle ticks land a little
    // past each); then the thumb reaches the pointer (thumb 13..55 in the
    // channel covers y 130) and the repeat stops.
    const Step steps[] = {{300, 0.7}, {110, 0.5}, {150, 0.5}, {60, 0.3}, {210, 0.1}, {210, 0.1}, {400, 0.1}};
    for (const Step& step : steps)
    {
        h.IdleAfter(step.after);
        EXPECT_NEAR(bar->GetValue(), step.value, 1e-12) << "after " << step.after;
    }

    // Back on the same side of the thumb, it goes on.
    bar->SetValue(0.5);
    h.Replay("2000 move 108 130\n");
    h.IdleAfter(10);
    EXPECT_NEAR(bar->GetValue(), 0.3, 1e-12);

    h.Replay("2100 up 1 108 130\n");
    EXPECT_EQ(bar->GetPressRegion(), 0);
    EXPECT_EQ(channel->GetLookWeight(1), 0.0f);
    EXPECT_EQ(bar->GetIdleRequestCount(), 0);
    h.IdleAfter(1000);
    EXPECT_NEAR(bar->GetValue(), 0.3, 1e-12);
}

TEST_F(ScrollBarTest, PressingAfterTheThumbPagesForward)
{
    bar->SetThumbSize(0.25);
    bar->SetValue(0.0); // thumb 116..158
    h.Replay("0 down 1 108 250\n"
             "10 up 1 108 250\n");
    EXPECT_DOUBLE_EQ(bar->GetValue(), 0.2);
    EXPECT_EQ(bar->GetPressRegion(), 0);
}
} // namespace
