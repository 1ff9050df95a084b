#pragma once

#include "JuceBackend/native/juce_linuxfb_DrmDevice.h"
#include "JuceBackend/native/juce_linuxfb_DrmDirectPageFlipper.h"
#include "JuceBackend/native/juce_linuxfb_DrmRgaPageFlipper.h"
#include "sim/SimulatedDevice.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>

namespace juce
{
// JUCE's dispatch step, which the backend's message loop defines.
bool dispatchNextMessageOnSystemQueue(bool returnIfNoPendingMessages);
} // namespace juce

namespace VxTest
{
// The calls of the simulated devices that faults can make fail.
using DrmCall = Sim::SimDrmDevice::Call;
using RgaCall = Sim::SimRga::Call;
using ConsoleCall = Sim::SimConsole::Call;

// Handles DRM events and accelerator completions as the message loop would,
// until done() holds; false when it did not within a few seconds.
bool PumpDisplayEvents(const std::function<bool()>& done);

// The kernel's id of the process's thread of that name (cut to the 15 bytes
// the system keeps) once there is one; -1 when there was none within a few
// seconds.  A thread names itself once it runs.
pid_t WaitForThread(const std::string& name);

// True once the thread is asleep, waiting in the kernel; false when it was
// not within a few seconds.
bool WaitUntilAsleep(pid_t thread);

// The keyboard break's hand-shake: called from a message that the message
// thread's loop dispatched, sends the process SIGINT from another thread once
// the message thread is asleep waiting for what comes next.
void InterruptOnceAsleep();

// A simulated device installed behind the backend's seams for one test; the
// DRM device is shut down and the stand-ins removed afterwards.
class SimulatedDeviceTest : public ::testing::Test
{
protected:
    void SetUp() override { sim.install(); }

    void TearDown() override
    {
        juce::DrmDevice::shutdown();
        EXPECT_EQ(sim.getNumMisusedDescriptors(), 0) << "calls on descriptors that were not open";
        sim.uninstall();
    }

    // Opens the DRM device; false when it did not open.
    bool OpenDevice() { return juce::DrmDevice::getInstance()->open(); }

    juce::DrmDevice& Device() { return *juce::DrmDevice::getInstance(); }
    const juce::OwnedArray<juce::DrmScreen>& Screens() { return Device().getScreens(); }

    Sim::SimulatedDevice sim;
};

// JUCE's platform (message manager, desktop, timers) on a simulated device,
// started by the test once it has set the device up.
class JucePlatformTest : public ::testing::Test
{
protected:
    // Installs the device, starts JUCE on it and waits for the first frames.
    void StartJuce();
    void TearDown() override;

    // Runs JUCE's dispatch loop until done() holds; false when it did not
    // within a few seconds.
    static bool DispatchUntil(const std::function<bool()>& done);

    // Until every screen has shown a frame and has nothing more scheduled.
    bool WaitUntilPainted();

    juce::DrmDevice& Device() { return *juce::DrmDevice::getInstance(); }
    juce::DrmScreen& Screen(int index = 0) { return *Device().getScreens()[index]; }

    Sim::SimulatedDevice sim;
    std::unique_ptr<juce::ScopedJuceInitialiser_GUI> platform;
};

// An opaque top-level window of one colour that counts its paints.
class ColourWindow : public juce::Component
{
public:
    ColourWindow(juce::Colour colour, juce::Rectangle<int> bounds);
    void paint(juce::Graphics& g) override;

    juce::Colour colour;
    int numPaints = 0;
    juce::Rectangle<int> lastClip;
};
} // namespace VxTest
