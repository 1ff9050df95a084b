#include "tests/JuceBackend/DisplayTestSupport.h"

#include "JuceBackend/native/juce_linuxfb_Backend.h"
#include "tests/support/CaptureStderr.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

using VxTest::DrmCall;
using VxTest::PumpDisplayEvents;
using VxTest::RgaCall;
using VxTest::SimulatedDeviceTest;

namespace
{
void PutPixel(const juce::DrmDumbBuffer& buffer, int x, int y, uint32_t xrgb)
{
    std::memcpy(buffer.getData() + (size_t) y * buffer.getPitch() + (size_t) x * 4, &xrgb, sizeof(xrgb));
}

juce::uint32 PixelAt(const juce::Image& image, int x, int y)
{
    return image.getPixelAt(x, y).getARGB() & 0xffffff;
}

std::string ReadFile(const juce::File& file)
{
    return file.loadFileAsString().toStdString();
}

// The flippers' own lookup of completions by tag, which the event handlers go through.
struct CompletionTags : juce::DrmPageFlipper
{
    using juce::DrmPageFlipper::findByCompletionTag;
};
} // namespace

//==============================================================================
class DirectPageFlipper : public SimulatedDeviceTest
{
protected:
    void SetUp() override
    {
        SimulatedDeviceTest::SetUp();
        sim.drm.flipLatency = std::chrono::microseconds(0);
        panel = sim.addDsiPanel(480, 800);
    }

    juce::DrmScreen& Screen() { return *Screens()[0]; }
    juce::DrmPageFlipper& Flipper() { return Screen().getFlipper(); }

    uint32_t panel = 0;
};

TEST_F(DirectPageFlipper, SetsTheCrtcFirstThenFlipsWithAnEvent)
{
    ASSERT_TRUE(OpenDevice());
    const auto crtc = Screen().getCrtcId();

    ASSERT_EQ(Flipper().getNumBuffers(), 2);
    for (int i = 0; i < 2; ++i)
    {
        const auto* buffer = Flipper().getBuffer(i);
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(buffer->getWidth(), 480);
        EXPECT_EQ(buffer->getHeight(), 800);
        EXPECT_GE(buffer->getPitch(), 480u * 4);
        EXPECT_EQ(buffer->getData()[buffer->getSize() - 1], 0) << "mapped buffers start cleared";
    }
    EXPECT_EQ(Flipper().getBuffer(2), nullptr);
    EXPECT_FALSE(Flipper().isReady());

    // The first frame (all of the screen, dirty since the scan) only sets the
    // CRTC: no event will follow.
    EXPECT_FALSE(Screen().paintAndFlip());
    EXPECT_TRUE(Flipper().isReady());
    EXPECT_FALSE(Screen().isBusy());
    EXPECT_EQ(sim.drm.getCrtcState(crtc).numSets, 1);
    EXPECT_EQ(sim.drm.getCrtcState(crtc).framebufferId, Flipper().getBuffer(1)->getFramebufferId());
    EXPECT_EQ(sim.drm.getNumPendingFlips(), 0);

    // The next frame goes into the other buffer and is flipped.
    const auto back = Flipper().getBackBufferIndex();
    ASSERT_EQ(back, 0);
    PutPixel(*Flipper().getBuffer(back), 479, 799, 0x123456);
    EXPECT_TRUE(Screen().flipBackBuffer());
    EXPECT_TRUE(Screen().isBusy());
    EXPECT_FALSE(Screen().flipBackBuffer()) << "one flip outstanding at most";

    ASSERT_TRUE(PumpDisplayEvents([&] { return !Screen().isBusy(); }));
    EXPECT_EQ(sim.drm.getCrtcState(crtc).numFlips, 1);
    EXPECT_EQ(Flipper().getFrontBufferIndex(), 0);
    EXPECT_EQ(PixelAt(sim.drm.getScanoutImage(crtc), 479, 799), 0x123456u);
}

TEST_F(DirectPageFlipper, ReportsFailedFlipsAndCrtcSets)
{
    sim.drm.faults.failEvery(DrmCall::setCrtc, EINVAL);
    ASSERT_TRUE(OpenDevice());

    VxTest::CaptureStderr capture;
    EXPECT_FALSE(Screen().flipBackBuffer());
    sim.drm.faults.failEvery(DrmCall::pageFlip, EBUSY);
    EXPECT_FALSE(Screen().flipBackBuffer());
    EXPECT_FALSE(Screen().isBusy()) << "the screen draws again at the next repaint";
    EXPECT_EQ(capture.Finish(), "drmModeSetCrtc failed: -22 (Invalid argument)\n"
                                "drmModePageFlip failed: -16 (Device or resource busy)\n");
}

TEST_F(DirectPageFlipper, AFailedFlipLeavesTheShownBufferAloneAndTheNextFlipShowsTheFrame)
{
    ASSERT_TRUE(OpenDevice());
    const auto crtc = Screen().getCrtcId();

    // Both buffers painted once, the second one flipped: nothing left dirty.
    EXPECT_FALSE(Screen().paintAndFlip());
    ASSERT_TRUE(Screen().paintAndFlip());
    ASSERT_TRUE(PumpDisplayEvents([&] { return !Screen().isBusy(); }));
    const auto shown = Flipper().getFrontBufferIndex();
    const auto back = Flipper().getBackBufferIndex();
    ASSERT_EQ(sim.drm.getCrtcState(crtc).framebufferId, Flipper().getBuffer(shown)->getFramebufferId());

    PutPixel(*Flipper().getBuffer(back), 3, 4, 0x0000ff);
    sim.drm.faults.failNext(DrmCall::pageFlip, EINVAL);
    {
        VxTest::CaptureStderr capture;
        EXPECT_FALSE(Screen().flipBackBuffer());
        EXPECT_EQ(capture.Finish(), "drmModePageFlip failed: -22 (Invalid argument)\n");
    }
    EXPECT_FALSE(Screen().isBusy());
    EXPECT_EQ(sim.drm.getNumPendingFlips(), 0);
    EXPECT_EQ(sim.drm.getCrtcState(crtc).framebufferId, Flipper().getBuffer(shown)->getFramebufferId());

    // The buffer on the display is still the front one: the next frame is not
    // drawn into what is being scanned out, and the frame that missed the
    // display reaches it with the next flip.
    EXPECT_EQ(Flipper().getFrontBufferIndex(), shown);
    EXPECT_EQ(Flipper().getBackBufferIndex(), back);
    ASSERT_TRUE(Screen().flipBackBuffer());
    ASSERT_TRUE(PumpDisplayEvents([&] { return !Screen().isBusy(); }));
    EXPECT_EQ(sim.drm.getCrtcState(crtc).framebufferId, Flipper().getBuffer(back)->getFramebufferId());
    EXPECT_EQ(PixelAt(sim.drm.getScanoutImage(crtc), 3, 4), 0x0000ffu);
}

TEST_F(DirectPageFlipper, EventForAFlipperARescanDeletedFindsNothing)
{
    ASSERT_TRUE(OpenDevice());
    Screen().flipBackBuffer();
    ASSERT_TRUE(Screen().flipBackBuffer());
    const auto pending = sim.drm.getPendingFlips();
    ASSERT_EQ(pending.size(), 1u);

    // The flip carries a tag that finds its flipper, not the flipper's address.
    const auto tag = pending[0].userData;
    ASSERT_EQ(CompletionTags::findByCompletionTag(tag), &Flipper());

    sim.drm.setConnected(panel, false);
    Device().scanScreens();
    ASSERT_TRUE(Screens().isEmpty());
    EXPECT_EQ(CompletionTags::findByCompletionTag(tag), nullptr) << "a deleted flipper is never reached";

    // A new flipper (of the panel plugged in again) never takes the tag over.
    sim.drm.setConnected(panel, true);
    Device().scanScreens();
    ASSERT_EQ(Screens().size(), 1);
    EXPECT_EQ(CompletionTags::findByCompletionTag(tag), nullptr);

    // The kernel still delivers the event, tagged for the deleted flipper:
    // it reaches nothing, so the new screen's first frame is still to come.
    ASSERT_TRUE(PumpDisplayEvents([&] { return sim.drm.getNumPendingFlips() == 0; }));
    EXPECT_FALSE(Screen().isBusy());
    EXPECT_FALSE(Flipper().isReady());
}

//==============================================================================
// Buffers that cannot be mapped: the screen is left out, and nothing it had
// made is left behind.
TEST_F(SimulatedDeviceTest, ScreenWhoseBufferCannotBeMappedIsSkippedWithNothingLeft)
{
    struct Case
    {
        const char* name;
        bool accelerator;
        DrmCall call;
    };

    for (const auto& c : {Case{"direct, map request", false, DrmCall::mapDumbBuffer},
                          Case{"direct, memory map", false, DrmCall::mapMemory},
                          Case{"accelerator, map request", true, DrmCall::mapDumbBuffer},
                          Case{"accelerator, memory map", true, DrmCall::mapMemory}})
    {
        Sim::SimulatedDevice device;
        device.rga.present = c.accelerator;
        device.addDsiPanel(480, 800);
        device.install();
        device.drm.faults.failNext(c.call, ENOMEM);

        ASSERT_TRUE(juce::DrmDevice::getInstance()->open()) << c.name;
        auto& drm = *juce::DrmDevice::getInstance();
        EXPECT_TRUE(drm.getScreens().isEmpty()) << c.name;

        // Only the default cursors' buffers are left, unmapped.
        for (const auto& buffer : device.drm.getBuffers())
            EXPECT_EQ(buffer.width, 64u) << c.name;
        EXPECT_EQ(device.drm.getNumFramebuffers(), 0) << c.name;
        EXPECT_EQ(device.rga.getNumHandles(), 0) << c.name;

        // The fault has passed: the next scan brings the screen up.
        drm.scanScreens();
        EXPECT_EQ(drm.getScreens().size(), 1) << c.name;

        juce::DrmDevice::shutdown();
        EXPECT_TRUE(device.drm.getBuffers().empty()) << c.name;
        EXPECT_EQ(device.drm.getNumMappings(), 0) << c.name;
        EXPECT_EQ(device.getNumOpenDescriptors(), 0) << c.name;
        EXPECT_EQ(device.getNumMisusedDescriptors(), 0) << c.name;
    }
}

//==============================================================================
TEST_F(SimulatedDeviceTest, DumbBufferAllocationRetriesOnceAfterDroppingCaches)
{
    struct Case
    {
        int failures;
        bool cacheFileExists;
        bool screenExpected;
    };

    for (const auto& c : {Case{1, true, true}, Case{2, true, false}, Case{1, false, false}})
    {
        Sim::SimulatedDevice device;
        device.install();
        device.addDsiPanel(480, 800);
        device.drm.faults.failNext(DrmCall::createDumbBuffer, ENOMEM, c.failures);
        const auto dropCaches = device.getSystemFile("/proc/sys/vm/drop_caches");
        if (!c.cacheFileExists)
            dropCaches.deleteFile();

        VxTest::CaptureStderr capture;
        ASSERT_TRUE(juce::DrmDevice::getInstance()->open());
        capture.Finish();

        EXPECT_EQ(juce::DrmDevice::getInstance()->getScreens().size(), c.screenExpected ? 1 : 0) << c.failures;
        if (c.cacheFileExists)
        {
            EXPECT_EQ(ReadFile(dropCaches), "3\n");
        }
        juce::DrmDevice::shutdown();
        EXPECT_TRUE(device.drm.getBuffers().empty());
    }
}

//==============================================================================
class AcceleratorPageFlipper : public SimulatedDeviceTest
{
protected:
    void SetUp() override
    {
        SimulatedDeviceTest::SetUp();
        sim.rga.present = true;
        sim.drm.flipLatency = std::chrono::microseconds(0);
        sim.setDeviceTreeCell("korvatek,panel-rotation", 90);
        panel = sim.addDsiPanel(800, 480);
    }

    juce::DrmScreen& Screen(int i = 0) { return *Screens()[i]; }

    juce::DrmRgaPageFlipper& Flipper(int i = 0)
    {
        return dynamic_cast<juce::DrmRgaPageFlipper&>(Screen(i).getFlipper());
    }

    // Flips, then takes the completion record the accelerator wrote.
    uint64_t SubmitJobKeepingItsRecord()
    {
        sim.rga.autoCompleteJobs = false;
        EXPECT_TRUE(Screen().flipBackBuffer());
        return sim.rga.getJobs().back().userData;
    }

    uint32_t panel = 0;
};

TEST_F(AcceleratorPageFlipper, RendersTurnedAndFlipsTheCopy)
{
    ASSERT_TRUE(OpenDevice());
    const auto crtc = Screen().getCrtcId();
    auto& flipper = Flipper();

    // A 90-degree panel: the application draws 480 x 800, the display scans 800 x 480.
    ASSERT_EQ(flipper.getNumBuffers(), 1);
    EXPECT_EQ(flipper.getBuffer(0)->getWidth(), 480);
    EXPECT_EQ(flipper.getBuffer(0)->getHeight(), 800);
    for (int i = 0; i < 2; ++i)
    {
        EXPECT_EQ(flipper.getScanoutBuffer(i)->getWidth(), 800);
        EXPECT_EQ(flipper.getScanoutBuffer(i)->getHeight(), 480);
        EXPECT_NE(flipper.getScanoutBuffer(i)->getFramebufferId(), 0u);
    }
    EXPECT_EQ(Screen().getArea(), juce::Rectangle<int>(0, 0, 480, 800));

    const auto corner = juce::Point<float>(10.0f, 20.0f).transformedBy(flipper.getRenderToScanoutTransform());
    EXPECT_NEAR(corner.x, 780.0f, 0.01f);
    EXPECT_NEAR(corner.y, 10.0f, 0.01f);

    // The first completed copy (of the screen painted after the scan) sets the
    // CRTC and counts as flipped at once.
    EXPECT_TRUE(Screen().paintAndFlip());
    EXPECT_FALSE(flipper.isReady());
    ASSERT_TRUE(PumpDisplayEvents([&] { return !Screen().isBusy(); }));
    EXPECT_TRUE(flipper.isReady());
    EXPECT_EQ(sim.drm.getCrtcState(crtc).numSets, 1);
    EXPECT_EQ(sim.drm.getCrtcState(crtc).framebufferId, flipper.getScanoutBuffer(1)->getFramebufferId());

    // Later copies go into the other scan-out buffer and are page-flipped.
    PutPixel(*flipper.getBuffer(0), 10, 20, 0xabcdef);
    EXPECT_TRUE(Screen().flipBackBuffer());
    ASSERT_TRUE(PumpDisplayEvents([&] { return !Screen().isBusy(); }));
    EXPECT_EQ(sim.drm.getCrtcState(crtc).numFlips, 1);
    EXPECT_EQ(sim.drm.getCrtcState(crtc).framebufferId, flipper.getScanoutBuffer(0)->getFramebufferId());
    EXPECT_EQ(PixelAt(sim.drm.getScanoutImage(crtc), 779, 10), 0xabcdefu);

    const auto jobs = sim.rga.getJobs();
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].rotation, 90u);
    EXPECT_NE(jobs[0].destinationHandle, jobs[1].destinationHandle);

    juce::DrmDevice::shutdown();
    EXPECT_EQ(sim.rga.getNumHandles(), 0);
    EXPECT_TRUE(sim.drm.getBuffers().empty());
}

TEST_F(AcceleratorPageFlipper, HasOnlyTheRenderBuffer)
{
    ASSERT_TRUE(OpenDevice());
    VxTest::CaptureStderr capture;
    EXPECT_EQ(Flipper().getBuffer(1), Flipper().getBuffer(0));
    EXPECT_NE(capture.Finish().find("JUCE Assertion failure in juce_linuxfb_DrmRgaPageFlipper.cpp"), std::string::npos);
}

TEST_F(AcceleratorPageFlipper, ReportsFailures)
{
    ASSERT_TRUE(OpenDevice());

    sim.rga.faults.failEvery(RgaCall::submitJob, EIO);
    {
        VxTest::CaptureStderr capture;
        EXPECT_FALSE(Screen().flipBackBuffer());
        EXPECT_FALSE(Screen().isBusy());
        EXPECT_EQ(capture.Finish(), "Failed to submit RGA2 job (Input/output error)\n");
    }
    sim.rga.faults.clear(RgaCall::submitJob);

    // A failed page flip still ends the frame, so the screen draws on.
    Screen().flipBackBuffer();
    ASSERT_TRUE(PumpDisplayEvents([&] { return Flipper().isReady() && !Screen().isBusy(); }));
    sim.drm.faults.failEvery(DrmCall::pageFlip, EBUSY);
    {
        VxTest::CaptureStderr capture;
        EXPECT_TRUE(Screen().flipBackBuffer());
        ASSERT_TRUE(PumpDisplayEvents([&] { return !Screen().isBusy(); }));
        EXPECT_EQ(capture.Finish(), "drmModePageFlip failed: -16 (Device or resource busy)\n");
    }

    // A job that completed with a bad status counts as completed.
    sim.drm.faults.clear(DrmCall::pageFlip);
    sim.rga.jobStatus = 5;
    {
        VxTest::CaptureStderr capture;
        EXPECT_TRUE(Screen().flipBackBuffer());
        ASSERT_TRUE(PumpDisplayEvents([&] { return !Screen().isBusy(); }));
        EXPECT_EQ(capture.Finish(), "Bad status from RGA2: 5\n");
    }
}

TEST_F(AcceleratorPageFlipper, FailedImportsSkipTheScreen)
{
    struct Case
    {
        void (*fail)(Sim::SimulatedDevice&);
        const char* line;
    };

    const Case cases[] = {
        {[](Sim::SimulatedDevice& d) { d.drm.faults.failEvery(DrmCall::exportDumbBuffer, ENODEV); },
         "Failed to export DRM buffer as FD (No such device)\n"},
        {[](Sim::SimulatedDevice& d) { d.rga.faults.failEvery(RgaCall::importBuffer, EINVAL); },
         "Failed to import DMA buffer to RGA (Invalid argument)\n"},
    };

    for (const auto& c : cases)
    {
        c.fail(sim);
        VxTest::CaptureStderr capture;
        ASSERT_TRUE(OpenDevice());
        const auto errors = capture.Finish();
        EXPECT_TRUE(Screens().isEmpty());
        EXPECT_NE(errors.find(c.line), std::string::npos) << errors;
        juce::DrmDevice::shutdown();
        EXPECT_TRUE(sim.drm.getBuffers().empty());
        EXPECT_EQ(sim.getNumOpenDescriptors(), 0) << "DMA-buffer descriptors are closed";
        sim.drm.faults.clearAll();
        sim.rga.faults.clearAll();
    }
}

TEST_F(AcceleratorPageFlipper, HandlesSeveralRecordsOfOneRead)
{
    sim.addHdmiOutput(1280, 720);
    ASSERT_TRUE(OpenDevice());
    ASSERT_EQ(Screens().size(), 2);

    EXPECT_TRUE(Screen(0).flipBackBuffer());
    EXPECT_TRUE(Screen(1).flipBackBuffer());

    EXPECT_TRUE(juce::LinuxFbBackend::handleAcceleratorCompletions());
    EXPECT_TRUE(Flipper(0).isReady());
    EXPECT_TRUE(Flipper(1).isReady());
    EXPECT_EQ(sim.drm.getCrtcState(Screen(0).getCrtcId()).numSets, 1);
    EXPECT_EQ(sim.drm.getCrtcState(Screen(1).getCrtcId()).numSets, 1);
}

TEST_F(AcceleratorPageFlipper, ReadsThatGiveNothingHandleNothing)
{
    ASSERT_TRUE(OpenDevice());

    VxTest::CaptureStderr capture;
    EXPECT_FALSE(juce::LinuxFbBackend::handleAcceleratorCompletions()) << "nothing to read: EAGAIN, silently";
    sim.rga.faults.failNext(RgaCall::readCompletions, EIO);
    EXPECT_FALSE(juce::LinuxFbBackend::handleAcceleratorCompletions());
    EXPECT_EQ(capture.Finish(), "Failed to read from RGA FD: 5 (Input/output error)\n");
}

TEST_F(AcceleratorPageFlipper, MalformedRecordsEndTheWalkWithinWhatWasRead)
{
    ASSERT_TRUE(OpenDevice());
    // The first frame, painted after the scan, is on the display.
    Screen().paintAndFlip();
    ASSERT_TRUE(PumpDisplayEvents([&] { return Flipper().isReady() && !Screen().isBusy(); }));

    struct Case
    {
        const char* name;
        std::vector<uint8_t> (*garbage)();
    };

    const Case cases[] = {
        {"length 0", [] { return Sim::SimRga::makeCompletionRecord(0, 0, 0, 0); }},
        {"shorter than its fields", [] { return Sim::SimRga::makeCompletionRecord(0, 0, 0, 12); }},
        {"longer than what was read", [] { return Sim::SimRga::makeCompletionRecord(0, 0, 0, 0xfffffff0u); }},
        {"a few stray bytes",
         [] {
             return std::vector<uint8_t>{1, 2, 3};
         }},
    };

    for (const auto& c : cases)
    {
        // A good record first: it is handled before the walk stops.
        const auto tag = SubmitJobKeepingItsRecord();
        auto bytes = Sim::SimRga::makeCompletionRecord(tag, 0);
        const auto unknown = Sim::SimRga::makeCompletionRecord(0, 0, 7, 8);
        bytes.insert(bytes.end(), unknown.begin(), unknown.begin() + 8);
        const auto bad = c.garbage();
        bytes.insert(bytes.end(), bad.begin(), bad.end());
        sim.rga.queueCompletionBytes(bytes);

        VxTest::CaptureStderr capture;
        EXPECT_TRUE(juce::LinuxFbBackend::handleAcceleratorCompletions()) << c.name;
        EXPECT_NE(capture.Finish().find("Bad RGA2 completion record in a read of "), std::string::npos) << c.name;
        EXPECT_TRUE(Flipper().isReady()) << c.name;
        if (Screen().isBusy())
        {
            ASSERT_TRUE(PumpDisplayEvents([&] { return !Screen().isBusy(); })) << c.name;
        }
    }
}

TEST_F(AcceleratorPageFlipper, CompletionForAFlipperARescanDeletedFindsNothing)
{
    ASSERT_TRUE(OpenDevice());
    const auto tag = SubmitJobKeepingItsRecord();
    ASSERT_EQ(CompletionTags::findByCompletionTag(tag), &Flipper()) << "the job carries its flipper's tag";

    sim.drm.setConnected(panel, false);
    Device().scanScreens();
    ASSERT_TRUE(Screens().isEmpty());
    EXPECT_EQ(CompletionTags::findByCompletionTag(tag), nullptr) << "a deleted flipper is never reached";

    // The panel's new flipper does not take the tag over: the stale record
    // leaves its first frame to its own job.
    sim.drm.setConnected(panel, true);
    Device().scanScreens();
    ASSERT_EQ(Screens().size(), 1);
    EXPECT_EQ(CompletionTags::findByCompletionTag(tag), nullptr);

    const auto sets = sim.drm.getCrtcState(Screen().getCrtcId()).numSets;
    sim.rga.queueCompletionBytes(Sim::SimRga::makeCompletionRecord(tag, 0));
    EXPECT_TRUE(juce::LinuxFbBackend::handleAcceleratorCompletions());
    EXPECT_FALSE(Flipper().isReady());
    EXPECT_EQ(sim.drm.getCrtcState(Screen().getCrtcId()).numSets, sets);
}
