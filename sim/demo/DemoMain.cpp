// The simulator's demonstration: a JUCE application showing a full-screen
// component on a simulated 800 x 480 panel, which saves what the panel shows
// as a PNG file once the picture is on it, and ends.
//
//   sim_demo <picture.png> [--rotation <degrees>]
//
// With a rotation the panel sits behind the raster accelerator turned by that
// many degrees, and the picture is what the panel scans out.
// Exit status: 0 saved, 1 bad arguments, 2 no picture in time, 3 not saved.

#include "JuceBackend/native/juce_linuxfb_DrmDevice.h"
#include "sim/SimulatedDevice.h"
#include "sim/demo/DemoComponent.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdio>
#include <cstdlib>

namespace
{
Sim::SimulatedDevice* device = nullptr;
uint32_t panel = 0;
juce::File picture;

class DemoApplication : public juce::JUCEApplication, private juce::Timer
{
public:
    const juce::String getApplicationName() override { return "Simulator demonstration"; }
    const juce::String getApplicationVersion() override { return "1.0"; }
    bool moreThanOneInstanceAllowed() override { return true; }

    void initialise(const juce::String&) override
    {
        content.addToDesktop(0);
        content.setVisible(true);
        content.getPeer()->setFullScreen(true);
        startTimer(5);
    }

    void shutdown() override { content.removeFromDesktop(); }

private:
    void timerCallback() override
    {
        auto* drm = juce::DrmDevice::getInstanceWithoutCreating();
        auto* screen = drm != nullptr ? drm->getScreens().getFirst() : nullptr;

        if (juce::Time::getMillisecondCounter() - startTime > 10000)
            return finish(2, "no picture on the panel in time");

        // The picture is on the panel once its first frame was put there and
        // nothing is left to paint or in flight.
        if (screen == nullptr || !screen->getFlipper().isReady() || screen->isBusy() || screen->isTimerRunning())
            return;

        if (!device->drm.saveScreenAsPng(panel, picture))
            return finish(3, "the picture could not be saved");

        finish(0, nullptr);
    }

    void finish(int status, const char* problem)
    {
        stopTimer();
        if (problem != nullptr)
            std::fprintf(stderr, "sim_demo: %s\n", problem);
        setApplicationReturnValue(status);
        quit();
    }

    Sim::DemoComponent content;
    const juce::uint32 startTime = juce::Time::getMillisecondCounter();
};

juce::JUCEApplicationBase* createApplication()
{
    return new DemoApplication();
}
} // namespace

int main(int argc, char* argv[])
{
    int rotation = -1;

    if (argc == 4 && juce::String(argv[2]) == "--rotation")
        rotation = juce::String(argv[3]).getIntValue();
    else if (argc != 2)
    {
        std::fprintf(stderr, "usage: sim_demo <picture.png> [--rotation <degrees>]\n");
        return 1;
    }

    picture = juce::File::getCurrentWorkingDirectory().getChildFile(argv[1]);

    Sim::SimulatedDevice simulated;
    if (rotation >= 0)
    {
        simulated.rga.present = true;
        simulated.setDeviceTreeCell("korvatek,panel-rotation", (uint32_t) rotation);
    }
    panel = simulated.addDsiPanel(800, 480);
    simulated.install();
    device = &simulated;

    juce::JUCEApplicationBase::createInstance = createApplication;
    const auto status = juce::JUCEApplicationBase::main();

    simulated.uninstall();
    return status;
}
