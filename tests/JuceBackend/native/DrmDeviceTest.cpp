#include "tests/JuceBackend/DisplayTestSupport.h"

#include "JuceBackend/SystemPath.h"
#include "tests/support/CaptureStderr.h"

#include <linux/kd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

using VxTest::ConsoleCall;
using VxTest::DrmCall;
using VxTest::SimulatedDeviceTest;

namespace
{
juce::Rectangle<int> Area(const juce::DrmScreen& screen)
{
    return screen.getArea();
}

// The buffers of the screens, leaving out the cursors' (64 x 64).
size_t NumScreenBuffers(const Sim::SimDrmDevice& drm)
{
    const auto buffers = drm.getBuffers();
    return (size_t) std::count_if(buffers.begin(), buffers.end(), [](const auto& b) { return b.width > 64; });
}
} // namespace

TEST(SystemPath, IsTheSystemsOwnUntilARootIsSet)
{
    EXPECT_EQ(Vx::MapSystemPath("/proc/sys/vm/drop_caches"), "/proc/sys/vm/drop_caches");
    Vx::SetSystemPathRoot("/tmp/tree/");
    EXPECT_EQ(Vx::MapSystemPath("/sys/firmware/devicetree/base/compatible"),
              "/tmp/tree/sys/firmware/devicetree/base/compatible");
    Vx::SetSystemPathRoot("");
    EXPECT_EQ(Vx::MapSystemPath("/dev/tty0"), "/dev/tty0");
}

//==============================================================================
using DrmDeviceOpen = SimulatedDeviceTest;

TEST_F(DrmDeviceOpen, TakesTheDeviceSwitchesTheConsoleAndGivesEverythingBack)
{
    sim.addDsiPanel(480, 800);
    ASSERT_TRUE(OpenDevice());

    EXPECT_TRUE(sim.drm.isMaster());
    EXPECT_EQ(sim.console.getCurrentMode(), KD_GRAPHICS);
    ASSERT_EQ(Screens().size(), 1);
    EXPECT_EQ(Device().getMousePosition(), juce::Point<int>(240, 400)) << "the first screen's centre";
    EXPECT_EQ(Screens()[0]->getCursorPosition(), juce::Point<int>(0, 0)) << "stored only, nothing moved";

    juce::DrmDevice::shutdown();

    EXPECT_EQ(juce::DrmDevice::getInstanceWithoutCreating(), nullptr);
    EXPECT_EQ(sim.console.getCurrentMode(), KD_TEXT);
    EXPECT_EQ(sim.getNumOpenDescriptors(), 0);
    EXPECT_TRUE(sim.drm.getBuffers().empty());
    EXPECT_EQ(sim.drm.getNumMappings(), 0);
    EXPECT_EQ(sim.drm.getNumFramebuffers(), 0);
}

TEST_F(DrmDeviceOpen, LeavesAConsoleAlreadyInGraphicsAsItWas)
{
    sim.console.setCurrentMode(KD_GRAPHICS);
    ASSERT_TRUE(OpenDevice());
    EXPECT_EQ(sim.console.getNumModeChanges(), 0);
    juce::DrmDevice::shutdown();
    EXPECT_EQ(sim.console.getCurrentMode(), KD_GRAPHICS);
}

TEST_F(DrmDeviceOpen, FailsAtTheFirstMissingPiece)
{
    struct Case
    {
        const char* name;
        void (*breakDevice)(Sim::SimulatedDevice&);
    };

    const Case cases[] = {
        {"no DRM device", [](Sim::SimulatedDevice& d) { d.drm.present = false; }},
        {"DRM device busy", [](Sim::SimulatedDevice& d) { d.drm.faults.failEvery(DrmCall::open, EBUSY); }},
        {"no dumb buffers", [](Sim::SimulatedDevice& d) { d.drm.dumbBufferCapability = 0; }},
        {"capabilities unreadable", [](Sim::SimulatedDevice& d) { d.drm.faults.failEvery(DrmCall::getCap, EINVAL); }},
        {"not the DRM master", [](Sim::SimulatedDevice& d) { d.drm.faults.failEvery(DrmCall::setMaster, EACCES); }},
        {"no console", [](Sim::SimulatedDevice& d) { d.console.present = false; }},
        {"console mode unreadable",
         [](Sim::SimulatedDevice& d) { d.console.faults.failEvery(ConsoleCall::getMode, ENOTTY); }},
        {"console refuses graphics",
         [](Sim::SimulatedDevice& d) { d.console.faults.failEvery(ConsoleCall::setMode, EINVAL); }},
    };

    for (const auto& c : cases)
    {
        Sim::SimulatedDevice device;
        device.install();
        c.breakDevice(device);

        EXPECT_FALSE(juce::DrmDevice::getInstance()->open()) << c.name;
        juce::DrmDevice::shutdown();
        EXPECT_EQ(device.getNumOpenDescriptors(), 0) << c.name;
        EXPECT_EQ(device.getNumMisusedDescriptors(), 0) << c.name;
        EXPECT_FALSE(device.drm.isMaster()) << c.name;
        EXPECT_NE(device.console.getCurrentMode(), KD_GRAPHICS) << c.name;
    }
}

TEST_F(DrmDeviceOpen, ShutdownWhoseConsoleRefusesItsModeStillReleasesEverything)
{
    sim.addDsiPanel(480, 800);
    ASSERT_TRUE(OpenDevice());
    ASSERT_EQ(Screens().size(), 1);

    sim.console.faults.failEvery(ConsoleCall::setMode, EIO);
    juce::DrmDevice::shutdown();

    EXPECT_EQ(juce::DrmDevice::getInstanceWithoutCreating(), nullptr);
    EXPECT_EQ(sim.console.getCurrentMode(), KD_GRAPHICS) << "the console could not be given back";
    EXPECT_FALSE(sim.drm.isMaster());
    EXPECT_EQ(sim.getNumOpenDescriptors(), 0);
    EXPECT_TRUE(sim.drm.getBuffers().empty());
    EXPECT_EQ(sim.drm.getNumFramebuffers(), 0);

    // The next start finds the console as it was left, and gives back that.
    sim.console.faults.clearAll();
    ASSERT_TRUE(OpenDevice());
    juce::DrmDevice::shutdown();
    EXPECT_EQ(sim.console.getCurrentMode(), KD_GRAPHICS);
}

TEST_F(DrmDeviceOpen, GoesOnWithoutTheAccelerator)
{
    sim.addDsiPanel(480, 800);
    VxTest::CaptureStderr capture;
    ASSERT_TRUE(OpenDevice());
    EXPECT_EQ(capture.Finish(), "Raster graphics accelerator is not available.\n");
    EXPECT_NE(dynamic_cast<juce::DrmDirectPageFlipper*>(&Screens()[0]->getFlipper()), nullptr);
}

//==============================================================================
// The panel's and the touch panel's rotation from the device tree.
struct RotationCase
{
    const char* name;
    std::vector<const char*> compatible;
    int panelFileBytes;     // -1: no file; 4: the cell; fewer: a short file
    uint32_t panelDegrees;
    int touchDegrees;       // -1: no file
    int expectedPanel;
    int expectedTouchIndex;
    bool expectAssertion = false;
};

void PrintTo(const RotationCase& c, std::ostream* os)
{
    *os << c.name;
}

class DrmDeviceRotation : public SimulatedDeviceTest, public ::testing::WithParamInterface<RotationCase>
{
};

TEST_P(DrmDeviceRotation, FollowsTheDeviceTree)
{
    const auto& c = GetParam();
    sim.rga.present = true;
    sim.addDsiPanel(800, 480);

    juce::StringArray models;
    for (auto* model : c.compatible)
        models.add(model);
    sim.setCompatible(models);

    if (c.panelFileBytes == 4)
        sim.setDeviceTreeCell("korvatek,panel-rotation", c.panelDegrees);
    else if (c.panelFileBytes >= 0)
        sim.writeSystemFile("/sys/firmware/devicetree/base/korvatek,panel-rotation", "\0\0\0\0", (size_t) c.panelFileBytes);

    if (c.touchDegrees >= 0)
        sim.setDeviceTreeCell("korvatek,touch-rotation", (uint32_t) c.touchDegrees);

    VxTest::CaptureStderr capture;
    ASSERT_TRUE(OpenDevice());
    const auto errors = capture.Finish();
    ASSERT_EQ(Screens().size(), 1);
    const auto& screen = *Screens()[0];

    auto* flipper = dynamic_cast<juce::DrmRgaPageFlipper*>(&screen.getFlipper());
    ASSERT_NE(flipper, nullptr);
    EXPECT_EQ(flipper->getRotation(), c.expectedPanel);
    EXPECT_EQ(screen.getTouchRotationIndex(), c.expectedTouchIndex);

    const bool quarterTurn = c.expectedPanel == 90 || c.expectedPanel == 270;
    EXPECT_EQ(Area(screen), quarterTurn ? juce::Rectangle<int>(0, 0, 480, 800) : juce::Rectangle<int>(0, 0, 800, 480));

    EXPECT_EQ(errors.find("JUCE Assertion failure in juce_linuxfb_DrmDevice.cpp") != std::string::npos,
              c.expectAssertion)
        << errors;
}

INSTANTIATE_TEST_SUITE_P(
    Table, DrmDeviceRotation,
    ::testing::Values(
        RotationCase{"tl40", {"korvatek,tl40", "vendor,soc"}, -1, 0, -1, 90, 0},
        RotationCase{"tl45", {"korvatek,tl45"}, -1, 0, -1, 90, 1},
        RotationCase{"ks52", {"korvatek,ks52"}, -1, 0, -1, 90, 0},
        RotationCase{"rn27", {"korvatek,rn27"}, -1, 0, -1, 270, 3},
        RotationCase{"model further down the list", {"vendor,carrier", "korvatek,fe66"}, -1, 0, -1, 270, 3},
        RotationCase{"unknown model", {"vendor,board"}, -1, 0, -1, 0, 0},
        RotationCase{"no compatible file", {}, -1, 0, -1, 0, 0},
        RotationCase{"panel file wins over the model", {"korvatek,tl40"}, 4, 180, -1, 180, 2},
        RotationCase{"panel 270 without touch file", {}, 4, 270, -1, 270, 3},
        RotationCase{"touch file of its own", {}, 4, 90, 180, 90, 2},
        RotationCase{"unexpected panel value", {}, 4, 45, -1, 45, 0, true},
        RotationCase{"unexpected touch value", {}, 4, 0, 100, 0, 0, true},
        RotationCase{"short panel file", {"korvatek,tl45"}, 2, 0, -1, 0, 0},
        RotationCase{"empty panel file", {}, 0, 0, -1, 0, 0}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (auto& ch : name)
            if (!std::isalnum((unsigned char) ch))
                ch = '_';
        return name;
    });

TEST_F(SimulatedDeviceTest, WithoutTheAcceleratorRotationFilesAreNotRead)
{
    sim.setDeviceTreeCell("korvatek,panel-rotation", 90);
    sim.setCompatible({"korvatek,tl45"});
    sim.addDsiPanel(800, 480);
    ASSERT_TRUE(OpenDevice());
    EXPECT_EQ(Area(*Screens()[0]), juce::Rectangle<int>(0, 0, 800, 480));
    EXPECT_EQ(Screens()[0]->getTouchRotationIndex(), 0);
}

TEST_F(SimulatedDeviceTest, UnexpectedPanelRotationReachesTheAcceleratorUnchanged)
{
    sim.rga.present = true;
    sim.setDeviceTreeCell("korvatek,panel-rotation", 45);
    sim.addDsiPanel(800, 480);
    VxTest::CaptureStderr capture;
    ASSERT_TRUE(OpenDevice());
    ASSERT_EQ(Screens().size(), 1);

    Screens()[0]->flipBackBuffer();
    capture.Finish();

    const auto jobs = sim.rga.getJobs();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].rotation, 45u);
}

//==============================================================================
using DrmDeviceScan = SimulatedDeviceTest;

TEST_F(DrmDeviceScan, LaysOutPanelsFirstThenOtherOutputsByConnector)
{
    const auto hdmi = sim.addHdmiOutput(1280, 720);
    const auto panel = sim.addDsiPanel(480, 800);
    ASSERT_LT(hdmi, panel);
    ASSERT_TRUE(OpenDevice());

    ASSERT_EQ(Screens().size(), 2);
    EXPECT_EQ(Screens()[0]->getConnector().connector_id, panel);
    EXPECT_EQ(Area(*Screens()[0]), juce::Rectangle<int>(0, 0, 480, 800));
    EXPECT_EQ(Screens()[1]->getConnector().connector_id, hdmi);
    EXPECT_EQ(Area(*Screens()[1]), juce::Rectangle<int>(480, 0, 1280, 720));
    EXPECT_NE(Screens()[0]->getCrtcId(), Screens()[1]->getCrtcId());
}

TEST_F(DrmDeviceScan, ChoosesThePreferredModeElseTheFirstAndSkipsOutputsWithout)
{
    const auto encoder = sim.drm.addEncoder(0x3);
    sim.drm.addConnector(DRM_MODE_CONNECTOR_DSI, {{640, 480, 60, false}, {800, 600, 60, true}}, {encoder});
    sim.drm.addConnector(DRM_MODE_CONNECTOR_HDMIA, {{1024, 768, 60, false}, {1280, 720, 60, false}}, {encoder});
    sim.drm.addConnector(DRM_MODE_CONNECTOR_HDMIA, {}, {encoder});
    ASSERT_TRUE(OpenDevice());

    ASSERT_EQ(Screens().size(), 2);
    EXPECT_EQ(Area(*Screens()[0]), juce::Rectangle<int>(0, 0, 800, 600));
    EXPECT_EQ(Area(*Screens()[1]), juce::Rectangle<int>(800, 0, 1024, 768));
}

TEST_F(DrmDeviceScan, RescanKeepsUnchangedScreensAndReplacesChangedOnes)
{
    const auto panel = sim.addDsiPanel(480, 800);
    const auto hdmi = sim.addHdmiOutput(1280, 720);
    ASSERT_TRUE(OpenDevice());
    ASSERT_EQ(Screens().size(), 2);
    auto* panelScreen = Screens()[0];
    auto* hdmiScreen = Screens()[1];
    const auto panelBuffer = panelScreen->getFlipper().getBuffer(0)->getHandle();

    Device().scanScreens();
    EXPECT_EQ(Screens()[0], panelScreen);
    EXPECT_EQ(Screens()[1], hdmiScreen);
    EXPECT_EQ(panelScreen->getFlipper().getBuffer(0)->getHandle(), panelBuffer);

    sim.drm.setModes(hdmi, {{1920, 1080, 60, true}});
    Device().scanScreens();
    ASSERT_EQ(Screens().size(), 2);
    EXPECT_EQ(Screens()[0], panelScreen);
    EXPECT_EQ(Area(*Screens()[1]), juce::Rectangle<int>(480, 0, 1920, 1080));
    EXPECT_EQ(NumScreenBuffers(sim.drm), 4u) << "the old screen's buffers are gone";

    sim.drm.setConnected(hdmi, false);
    Device().scanScreens();
    ASSERT_EQ(Screens().size(), 1);
    EXPECT_EQ(Screens()[0]->getConnector().connector_id, panel);
    EXPECT_EQ(NumScreenBuffers(sim.drm), 2u);
}

TEST_F(DrmDeviceScan, ScreenListStaysWhenResourcesCannotBeRead)
{
    sim.addDsiPanel(480, 800);
    ASSERT_TRUE(OpenDevice());
    auto* screen = Screens()[0];

    for (auto call : {DrmCall::getResources, DrmCall::getPlaneResources})
    {
        sim.drm.faults.failNext(call, ENOMEM);
        sim.drm.setConnected(Screens()[0]->getConnector().connector_id, false);
        Device().scanScreens();
        ASSERT_EQ(Screens().size(), 1);
        EXPECT_EQ(Screens()[0], screen);
        sim.drm.setConnected(screen->getConnector().connector_id, true);
    }
}

TEST_F(DrmDeviceScan, OutputWithoutAFreeCrtcIsSkippedUntilAStaleScreenFreesOne)
{
    const auto first = sim.addHdmiOutput(1280, 720);
    sim.addDsiPanel(480, 800);
    const auto third = sim.addHdmiOutput(1024, 768);
    ASSERT_TRUE(OpenDevice());

    // Two CRTCs for three outputs: the last one scanned stays dark.
    ASSERT_EQ(Screens().size(), 2);
    EXPECT_EQ(Screens()[1]->getConnector().connector_id, first);

    // The first output goes away as the third one would take its CRTC: the
    // scan frees the stale screen's CRTC and tries again.
    sim.drm.setConnected(first, false);
    Device().scanScreens();
    ASSERT_EQ(Screens().size(), 2);
    EXPECT_EQ(Screens()[1]->getConnector().connector_id, third);
    EXPECT_EQ(Area(*Screens()[1]), juce::Rectangle<int>(480, 0, 1024, 768));
}

TEST_F(DrmDeviceScan, OutputWhoseBuffersCannotBeMadeIsSkipped)
{
    sim.addDsiPanel(480, 800);
    sim.drm.faults.failEvery(DrmCall::addFramebuffer, EINVAL);
    VxTest::CaptureStderr capture;
    ASSERT_TRUE(OpenDevice());
    EXPECT_NE(capture.Finish().find("drmModeAddFB error: -22 (Invalid argument)\n"), std::string::npos);
    EXPECT_TRUE(Screens().isEmpty());
    EXPECT_TRUE(sim.drm.getBuffers().empty());
}
