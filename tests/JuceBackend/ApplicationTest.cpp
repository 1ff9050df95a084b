// A whole JUCE application on the simulated device, each run in a child process
// of its own: JUCE's application start, its timers, windows and dispatch loop
// through the backend's message queue, and the way it ends.

#include "tests/JuceBackend/DisplayTestSupport.h"
#include "tests/support/ChildProcess.h"

#include "JuceBackend/native/juce_linuxfb_Messaging.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <linux/kd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

namespace
{
enum class Ending
{
    quit,
    sigint,
    sigintDuringMessageBox
};

Sim::SimulatedDevice* device = nullptr;
Ending ending = Ending::quit;

// Failures become the application's exit code, one code per check.
class DeviceApplication : public juce::JUCEApplication, private juce::Timer
{
public:
    const juce::String getApplicationName() override { return "DeviceApplication"; }
    const juce::String getApplicationVersion() override { return "1.0"; }
    bool moreThanOneInstanceAllowed() override { return true; }

    void initialise(const juce::String&) override
    {
        auto* queue = juce::InternalMessageQueue::getInstance();
        if (queue == nullptr || !queue->isThreadRunning() || queue->getThreadName() != "System Event Thread")
            return fail(20);
        if (device->console.getCurrentMode() != KD_GRAPHICS)
            return fail(21);

        window.setBounds(0, 0, 480, 800);
        window.addToDesktop(0);
        window.setVisible(true);
        if (window.getPeer() == nullptr)
            return fail(22);

        if (ending == Ending::sigint || ending == Ending::sigintDuringMessageBox)
        {
            // The break comes once the loop idles: JUCE's, or the box's own.
            // Nobody will press the box's button: it must not keep the process alive.
            if (ending == Ending::sigintDuringMessageBox)
                juce::MessageManager::callAsync([] {
                    juce::MessageManager::callAsync(VxTest::InterruptOnceAsleep);
                    juce::NativeMessageBox::showMessageBox(juce::MessageBoxIconType::WarningIcon, "Test", "No operator");
                    ::_exit(25);
                });
            else
                juce::MessageManager::callAsync(VxTest::InterruptOnceAsleep);
            return;
        }

        for (int t = 0; t < numThreads; ++t)
            posters.emplace_back([this, t] {
                for (int i = 0; i < perThread; ++i)
                    juce::MessageManager::callAsync([this, t, i] {
                        if (lastReceived[t] != i - 1)
                            fail(23);
                        lastReceived[t] = i;
                        ++numReceived;
                    });
            });

        hdmi = device->addHdmiOutput(1280, 720, false);
        device->plug(hdmi, true);
        startTimer(5);
    }

    void shutdown() override
    {
        for (auto& poster : posters)
            poster.join();
        window.removeFromDesktop();
    }

private:
    static constexpr int numThreads = 3;
    static constexpr int perThread = 300;

    void fail(int code)
    {
        setApplicationReturnValue(code);
        quit();
    }

    void timerCallback() override
    {
        const auto& displays = juce::Desktop::getInstance().getDisplays().displays;

        if (numReceived == numThreads * perThread && displays.size() == 2)
        {
            stopTimer();
            if (!displays[0].isMain || displays[1].totalArea != juce::Rectangle<int>(480, 0, 1280, 720))
                return fail(24);
            quit();
        }
    }

    juce::Component window;
    std::vector<std::thread> posters;
    int lastReceived[numThreads] = {-1, -1, -1};
    std::atomic<int> numReceived{0};
    uint32_t hdmi = 0;
};

juce::JUCEApplicationBase* CreateApplication()
{
    return new DeviceApplication();
}

// The child's wait status after running the application to its end.
int RunApplication(Sim::SimulatedDevice& simulated, Ending howItEnds)
{
    const VxTest::ChildResult child = VxTest::RunInChild([&] {
        device = &simulated;
        ending = howItEnds;
        simulated.install();
        juce::JUCEApplicationBase::createInstance = CreateApplication;
        return juce::JUCEApplicationBase::main();
    });
    EXPECT_FALSE(child.timedOut);
    return child.status;
}
} // namespace

TEST(JuceApplication, RunsOnTheSimulatedDeviceAndEndsWhenItQuits)
{
    Sim::SimulatedDevice simulated;
    simulated.addDsiPanel(480, 800);

    const auto status = RunApplication(simulated, Ending::quit);

    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(simulated.console.getCurrentMode(), KD_TEXT);
    EXPECT_EQ(simulated.console.getNumOpenDescriptors(), 0);
}

TEST(JuceApplication, SigintEndsItWithStatusOneAndTheConsoleRestored)
{
    for (const auto howItEnds : {Ending::sigint, Ending::sigintDuringMessageBox})
    {
        Sim::SimulatedDevice simulated;
        simulated.addDsiPanel(480, 800);

        const auto status = RunApplication(simulated, howItEnds);

        ASSERT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), 1);
        EXPECT_EQ(simulated.console.getCurrentMode(), KD_TEXT);
        EXPECT_EQ(simulated.console.getNumOpenDescriptors(), 0);
    }
}
