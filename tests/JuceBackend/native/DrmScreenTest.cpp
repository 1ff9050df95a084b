// JUCE's windows painted by the screens into their buffers and flipped, and
// the framebuffer peer that places them.

#include "tests/JuceBackend/DisplayTestSupport.h"

#include "JuceBackend/native/juce_linuxfb_ComponentPeer.h"

using VxTest::ColourWindow;
using VxTest::JucePlatformTest;

namespace
{
const auto red = juce::Colour(0xffff0000);
const auto blue = juce::Colour(0xff0000ff);
const auto black = juce::Colour(0xff000000);
} // namespace

//==============================================================================
// A 320 x 240 panel behind the accelerator with no rotation: a flip is busy
// until the test hands over the accelerator's completion record.
class ScreenRepaints : public JucePlatformTest
{
protected:
    void SetUp() override
    {
        sim.rga.present = true;
        sim.drm.flipLatency = std::chrono::microseconds(0);
        sim.addDsiPanel(320, 240);
        StartJuce();
    }

    void CompleteTheJob()
    {
        sim.rga.queueCompletionBytes(Sim::SimRga::makeCompletionRecord(sim.rga.getJobs().back().userData, 0));
    }
};

TEST_F(ScreenRepaints, CoalesceBeforeTheTimerAndWaitForTheFlipWhileBusy)
{
    ColourWindow window(red, {0, 0, 200, 100});
    ASSERT_TRUE(WaitUntilPainted());
    sim.rga.autoCompleteJobs = false;
    const auto paints = window.numPaints;
    const auto jobs = sim.rga.getJobs().size();

    // Nothing on any screen: nothing to schedule.
    Device().repaint({5000, 5000, 10, 10});
    EXPECT_FALSE(Screen().isTimerRunning());
    EXPECT_TRUE(Screen().getDirtyRegion(0).isEmpty());

    // Two repaints before the timer fires make one frame.
    window.repaint(0, 0, 10, 10);
    window.repaint(50, 50, 10, 10);
    EXPECT_TRUE(Screen().isTimerRunning());
    ASSERT_TRUE(DispatchUntil([&] { return Screen().isBusy(); }));
    EXPECT_EQ(window.numPaints, paints + 1);
    EXPECT_EQ(window.lastClip, juce::Rectangle<int>(0, 0, 60, 60));
    EXPECT_EQ(sim.rga.getJobs().size(), jobs + 1);

    // While the copy is in flight a repaint only collects its rectangle...
    window.repaint(100, 0, 10, 10);
    EXPECT_FALSE(Screen().isTimerRunning());
    EXPECT_EQ(Screen().getDirtyRegion(0).getBounds(), juce::Rectangle<int>(100, 0, 10, 10));
    EXPECT_EQ(window.numPaints, paints + 1);

    // ...which is painted as soon as the frame has been flipped.
    CompleteTheJob();
    ASSERT_TRUE(DispatchUntil([&] { return window.numPaints == paints + 2; }));
    EXPECT_EQ(window.lastClip, juce::Rectangle<int>(100, 0, 10, 10));
    EXPECT_EQ(sim.rga.getJobs().size(), jobs + 2);
    EXPECT_TRUE(Screen().isBusy());
    CompleteTheJob();
    ASSERT_TRUE(DispatchUntil([&] { return !Screen().isBusy(); }));
}

//==============================================================================
// Two buffers flipped directly: each catches up with what changed since it
// was last painted.
class DirectScreen : public JucePlatformTest
{
protected:
    void SetUp() override
    {
        sim.drm.flipLatency = std::chrono::microseconds(0);
        sim.addDsiPanel(320, 240);
        StartJuce();
    }
};

TEST_F(DirectScreen, ARectangleRepaintedOnceReachesBothBuffers)
{
    ColourWindow window(red, {0, 0, 320, 240});
    ASSERT_TRUE(WaitUntilPainted());
    const auto crtc = Screen().getCrtcId();
    const auto flips = sim.drm.getCrtcState(crtc).numFlips;

    window.colour = blue;
    window.repaint(10, 10, 20, 20);
    ASSERT_TRUE(WaitUntilPainted());

    EXPECT_EQ(sim.drm.getCrtcState(crtc).numFlips, flips + 2);
    for (int i = 0; i < 2; ++i)
    {
        const auto image = Screen().getImage(i);
        EXPECT_EQ(image.getPixelAt(15, 15), blue) << "buffer " << i;
        EXPECT_EQ(image.getPixelAt(50, 50), red) << "buffer " << i << ": only what was dirty is painted";
        EXPECT_TRUE(Screen().getDirtyRegion(i).isEmpty()) << "buffer " << i;
    }
}

TEST_F(DirectScreen, ContainsLeavesAPointToTheVisibleWindowAboveIt)
{
    ColourWindow lower(red, {0, 0, 100, 100});
    ColourWindow upper(blue, {50, 50, 100, 100});
    auto* peer = lower.getPeer();
    ASSERT_NE(dynamic_cast<juce::LinuxFbComponentPeer*>(peer), nullptr);

    EXPECT_TRUE(peer->contains({10, 10}, false));
    EXPECT_FALSE(peer->contains({60, 60}, false)) << "the upper window holds it";
    EXPECT_FALSE(peer->contains({100, 10}, false)) << "outside the window";
    EXPECT_FALSE(peer->contains({-1, 10}, false));
    EXPECT_EQ(juce::Desktop::getInstance().findComponentAt({60, 60}), &upper);

    upper.setVisible(false);
    EXPECT_TRUE(peer->contains({60, 60}, false)) << "a hidden window holds nothing";
    EXPECT_EQ(juce::Desktop::getInstance().findComponentAt({60, 60}), &lower);
}

TEST_F(DirectScreen, FullScreenTakesTheMainDisplayAndGivesTheBoundsBack)
{
    ColourWindow window(red, {10, 20, 50, 60});
    auto* peer = window.getPeer();

    peer->setFullScreen(true);
    EXPECT_TRUE(peer->isFullScreen());
    EXPECT_EQ(peer->getBounds(), juce::Rectangle<int>(0, 0, 320, 240));
    EXPECT_EQ(window.getBounds(), juce::Rectangle<int>(0, 0, 320, 240)) << "the component follows its window";

    peer->setFullScreen(false);
    EXPECT_FALSE(peer->isFullScreen());
    EXPECT_EQ(window.getBounds(), juce::Rectangle<int>(10, 20, 50, 60));

    // Nothing remembered: the bounds stay.
    peer->setFullScreen(true);
    peer->setNonFullScreenBounds({});
    peer->setFullScreen(false);
    EXPECT_FALSE(peer->isFullScreen());
    EXPECT_EQ(peer->getBounds(), juce::Rectangle<int>(0, 0, 320, 240));

    EXPECT_EQ(peer->localToGlobal(juce::Point<float>(1.5f, 2.0f)), juce::Point<float>(1.5f, 2.0f));
    window.setBounds(30, 40, 10, 10);
    EXPECT_EQ(peer->localToGlobal(juce::Point<float>(1.5f, 2.0f)), juce::Point<float>(31.5f, 42.0f));
    EXPECT_EQ(peer->globalToLocal(juce::Point<float>(31.5f, 42.0f)), juce::Point<float>(1.5f, 2.0f));
    EXPECT_EQ(peer->getAvailableRenderingEngines(), juce::StringArray("Software Renderer"));
}

//==============================================================================
// What the panel shows, read back the way the application drew it.
struct PanelCase
{
    const char* name;
    bool accelerator;
    int rotation;
};

void PrintTo(const PanelCase& c, std::ostream* os)
{
    *os << c.name;
}

class ScreenOnPanel : public JucePlatformTest, public ::testing::WithParamInterface<PanelCase>
{
protected:
    void SetUp() override
    {
        const auto& c = GetParam();
        sim.rga.present = c.accelerator;
        sim.drm.flipLatency = std::chrono::microseconds(0);
        if (c.accelerator)
            sim.setDeviceTreeCell("korvatek,panel-rotation", (uint32_t) c.rotation);
        sim.addDsiPanel(320, 240);
        StartJuce();
    }

    // The pixel the panel shows for the application's (x, y).
    juce::Colour Shown(int x, int y)
    {
        const auto scanout = sim.drm.getScanoutImage(Screen().getCrtcId());
        const auto width = Screen().getArea().getWidth();

        // The accelerator turns the picture by the panel's rotation on its way out.
        switch (GetParam().rotation)
        {
            case 90:
                return scanout.getPixelAt(scanout.getWidth() - 1 - y, x);
            case 270:
                return scanout.getPixelAt(y, width - 1 - x);
            default:
                return scanout.getPixelAt(x, y);
        }
    }
};

TEST_P(ScreenOnPanel, ShowsTheWindowsInTheirOrderAndBlackWhereTheyWere)
{
    const auto area = Screen().getArea();
    EXPECT_EQ(area, GetParam().rotation % 180 == 0 ? juce::Rectangle<int>(0, 0, 320, 240)
                                                    : juce::Rectangle<int>(0, 0, 240, 320));

    ColourWindow lower(red, {20, 30, 100, 50});
    auto upper = std::make_unique<ColourWindow>(blue, juce::Rectangle<int>(60, 40, 100, 100));
    ASSERT_TRUE(WaitUntilPainted());

    EXPECT_EQ(Shown(25, 35), red);
    EXPECT_EQ(Shown(70, 50), blue) << "the later window lies above";
    EXPECT_EQ(Shown(159, 139), blue);
    EXPECT_EQ(Shown(5, 5), black);
    EXPECT_EQ(Shown(area.getWidth() - 1, area.getHeight() - 1), black);

    upper.reset();
    ASSERT_TRUE(WaitUntilPainted());
    EXPECT_EQ(Shown(70, 50), red);
    EXPECT_EQ(Shown(159, 139), black) << "nothing is left where the window was";
}

INSTANTIATE_TEST_SUITE_P(Flippers, ScreenOnPanel,
                         ::testing::Values(PanelCase{"direct", false, 0}, PanelCase{"accelerator_turned_270", true, 270},
                                           PanelCase{"accelerator_turned_90", true, 90}),
                         [](const auto& info) { return std::string(info.param.name); });
