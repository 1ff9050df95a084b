#pragma once

#include "JuceBackend/native/juce_linuxfb_DrmDevice.h"
#include "sim/SimulatedDevice.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace juce
{
// JUCE's dispatch step, which the backend's message loop defines.
bool dispatchNextMessageOnSystemQueue(bool returnIfNoPendingMessages);
} // namespace juce

namespace VxTest
{
// Handles DRM events and accelerator completions as the message loop would,
// until done() holds; false when it did not within a few seconds.
bool PumpDisplayEvents(const std::function<bool()>& done);

// A simulated device installed behind the backend's seams for one test; the
// DRM device is shut down and the stand-ins removed afterwards.
class SimulatedDeviceTest : public ::testing::Test
{
protected:
    void SetUp() override { sim.install(); }

    void TearDown() override
    {
        juce::DrmDevice::shutdown();
        EXPECT_EQ(sim.drm.getNumMisusedDescriptors(), 0) << "calls on descriptors that were not open";
        sim.uninstall();
    }

    // Opens the DRM device; false when it did not open.
    bool OpenDevice() { return juce::DrmDevice::getInstance()->open(); }

    juce::DrmDevice& Device() { return *juce::DrmDevice::getInstance(); }
    const juce::OwnedArray<juce::DrmScreen>& Screens() { return Device().getScreens(); }

    Sim::SimulatedDevice sim;
};
} // namespace VxTest
