// What painting costs on the simulated 800 x 480 panel: a full-screen window
// repainted whole, and a small dirty rectangle of it, each brought up to date
// in both buffers of the direct flipper and flipped (flips complete at once,
// so the figures are CPU work, not waits for the vertical blank); beside them,
// one frame copied with memcpy, the floor of any whole-frame painting.
// Items are frames: each repaint is painted into both buffers.

#include "JuceBackend/native/juce_linuxfb_DrmDevice.h"
#include "sim/SimulatedDevice.h"
#include "sim/demo/DemoComponent.h"

#include <benchmark/benchmark.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <cstring>
#include <vector>

namespace juce
{
bool dispatchNextMessageOnSystemQueue(bool returnIfNoPendingMessages);
} // namespace juce

namespace
{
constexpr int panelWidth = 800;
constexpr int panelHeight = 480;

// JUCE on the simulated panel with the demonstration's window full screen.
class PaintingRig
{
public:
    PaintingRig()
    {
        device.drm.flipLatency = std::chrono::microseconds(0);
        device.addDsiPanel(panelWidth, panelHeight);
        device.install();
        platform = std::make_unique<juce::ScopedJuceInitialiser_GUI>();
        content = std::make_unique<Sim::DemoComponent>();
        content->addToDesktop(0);
        content->setVisible(true);
        content->getPeer()->setFullScreen(true);
        Settle();
    }

    ~PaintingRig()
    {
        content.reset();
        platform.reset();
        device.uninstall();
    }

    // One repaint, painted at once and flipped, then the other buffer too.
    void Paint(juce::Rectangle<int> area)
    {
        content->repaint(area);
        content->getPeer()->performAnyPendingRepaintsNow();
        // The repaint's 1 ms timer has nothing left to paint: waiting for it
        // would only measure the timer.
        Screen().stopTimer();
        Settle();
    }

private:
    static juce::DrmScreen& Screen() { return *juce::DrmDevice::getInstance()->getScreens()[0]; }

    void Settle()
    {
        auto& screen = Screen();

        // A flip's completion or the screen's timer is always on its way here.
        while (!screen.getFlipper().isReady() || screen.isBusy() || screen.isTimerRunning())
            juce::dispatchNextMessageOnSystemQueue(false);
    }

    Sim::SimulatedDevice device;
    std::unique_ptr<juce::ScopedJuceInitialiser_GUI> platform;
    std::unique_ptr<Sim::DemoComponent> content;
};

void PaintFullScreen(benchmark::State& state)
{
    PaintingRig rig;

    for (auto _ : state)
        rig.Paint({0, 0, panelWidth, panelHeight});

    state.SetItemsProcessed(state.iterations() * 2);
}

void PaintSmallRectangle(benchmark::State& state)
{
    PaintingRig rig;

    for (auto _ : state)
        rig.Paint({100, 100, 32, 32});

    state.SetItemsProcessed(state.iterations() * 2);
}

void CopyFrameWithMemcpy(benchmark::State& state)
{
    const auto frameBytes = (size_t) panelWidth * panelHeight * 4;
    std::vector<uint8_t> from(frameBytes, 0x5a), to(frameBytes);

    for (auto _ : state)
    {
        std::memcpy(to.data(), from.data(), frameBytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }

    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * (int64_t) frameBytes);
}

BENCHMARK(PaintFullScreen)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(PaintSmallRectangle)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(CopyFrameWithMemcpy)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);
} // namespace

BENCHMARK_MAIN();
