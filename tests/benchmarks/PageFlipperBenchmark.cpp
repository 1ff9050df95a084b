// How many frames a second the page flippers sustain on the simulated device,
// and the CPU time (all threads) each flip costs, through JUCE's message loop:
// the figure later painting adds its own cost to.

#include "JuceBackend/native/juce_linuxfb_DrmDevice.h"
#include "sim/SimulatedDevice.h"

#include <benchmark/benchmark.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <cstring>

namespace juce
{
bool dispatchNextMessageOnSystemQueue(bool returnIfNoPendingMessages);
} // namespace juce

namespace
{
enum class Flipper
{
    direct,
    accelerator
};

// Arguments: the flipper, and whether flips wait for the 60 Hz vertical blank.
void FlipFrames(benchmark::State& state)
{
    const auto flipper = static_cast<Flipper>(state.range(0));
    const bool vsync = state.range(1) != 0;

    Sim::SimulatedDevice device;
    device.rga.present = flipper == Flipper::accelerator;
    device.setDeviceTreeCell("korvatek,panel-rotation", 90);
    device.drm.flipLatency = std::chrono::microseconds(vsync ? -1 : 0);
    device.addDsiPanel(800, 480);
    device.install();

    {
        juce::ScopedJuceInitialiser_GUI platform;
        auto& screen = *juce::DrmDevice::getInstance()->getScreens()[0];
        auto& pageFlipper = screen.getFlipper();
        uint32_t colour = 0;

        auto flipOneFrame = [&] {
            // A small change per frame, as a blinking cursor would make.
            auto* buffer = pageFlipper.getBuffer(pageFlipper.getBackBufferIndex());
            for (int y = 0; y < 16; ++y)
                std::memset(buffer->getData() + (size_t) y * buffer->getPitch(), (int) (++colour & 0xff), 64);

            screen.flipBackBuffer();
            while (screen.isBusy())
                juce::dispatchNextMessageOnSystemQueue(false);
        };

        while (!pageFlipper.isReady())
            flipOneFrame();

        for (auto _ : state)
            flipOneFrame();

        state.counters["fps"] = benchmark::Counter((double) state.iterations(), benchmark::Counter::kIsRate);
    }

    device.uninstall();
}

BENCHMARK(FlipFrames)
    ->ArgNames({"accelerator", "vsync"})
    ->Args({(int) Flipper::direct, 1})
    ->Args({(int) Flipper::direct, 0})
    ->Args({(int) Flipper::accelerator, 1})
    ->Args({(int) Flipper::accelerator, 0})
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMicrosecond);
} // namespace

BENCHMARK_MAIN();
