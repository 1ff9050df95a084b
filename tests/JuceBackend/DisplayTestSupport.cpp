#include "tests/JuceBackend/DisplayTestSupport.h"

#include "JuceBackend/native/juce_linuxfb_Backend.h"

#include <chrono>
#include <csignal>
#include <fstream>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace VxTest
{
bool PumpDisplayEvents(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);

    while (!done())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;

        pollfd fds[2] = {{juce::LinuxFbBackend::getDrmDescriptor(), POLLIN, 0},
                         {juce::LinuxFbBackend::getAcceleratorDescriptor(), POLLIN, 0}};
        ::poll(fds, 2, 10);
        juce::LinuxFbBackend::handleDrmEvents();
        juce::LinuxFbBackend::handleAcceleratorCompletions();
    }

    return true;
}

pid_t WaitForThread(const std::string& name)
{
    const auto shortName = name.substr(0, 15);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);

    while (std::chrono::steady_clock::now() < deadline)
    {
        for (const auto& task : juce::File("/proc/self/task").findChildFiles(juce::File::findDirectories, false))
        {
            std::ifstream comm(task.getChildFile("comm").getFullPathName().toStdString());
            std::string taskName;

            if (std::getline(comm, taskName) && taskName == shortName)
                return (pid_t)task.getFileName().getIntValue();
        }

        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    return -1;
}

bool WaitUntilAsleep(pid_t thread)
{
    const auto stat = "/proc/self/task/" + std::to_string(thread) + "/stat";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);

    while (std::chrono::steady_clock::now() < deadline)
    {
        // "tid (name) state ...": the name may hold anything, the state follows its last ')'.
        std::ifstream file(stat);
        std::string line;
        std::getline(file, line);
        const auto nameEnd = line.rfind(')');

        if (nameEnd != std::string::npos && nameEnd + 2 < line.size() && line[nameEnd + 2] == 'S')
            return true;

        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }

    return false;
}

void InterruptOnceAsleep()
{
    std::thread([messageThread = ::gettid()] {
        WaitUntilAsleep(messageThread);
        ::kill(::getpid(), SIGINT);
    }).detach();
}

//==============================================================================
void JucePlatformTest::StartJuce()
{
    sim.install();
    platform = std::make_unique<juce::ScopedJuceInitialiser_GUI>();
    ASSERT_TRUE(WaitUntilPainted());
}

void JucePlatformTest::TearDown()
{
    platform.reset();
    EXPECT_EQ(juce::DrmDevice::getInstanceWithoutCreating(), nullptr);
    EXPECT_EQ(sim.getNumMisusedDescriptors(), 0) << "calls on descriptors that were not open";
    EXPECT_TRUE(sim.drm.getBuffers().empty()) << "buffers left behind";
    sim.uninstall();
}

bool JucePlatformTest::DispatchUntil(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);

    while (!done())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        juce::MessageManager::getInstance()->runDispatchLoopUntil(2);
    }

    return true;
}

bool JucePlatformTest::WaitUntilPainted()
{
    return DispatchUntil([this] {
        for (auto* screen : Device().getScreens())
            if (!screen->getFlipper().isReady() || screen->isBusy() || screen->isTimerRunning())
                return false;
        return true;
    });
}

ColourWindow::ColourWindow(juce::Colour c, juce::Rectangle<int> bounds) : colour(c)
{
    setOpaque(true);
    setBounds(bounds);
    addToDesktop(0);
    setVisible(true);
}

void ColourWindow::paint(juce::Graphics& g)
{
    ++numPaints;
    lastClip = g.getClipBounds();
    g.fillAll(colour);
}
} // namespace VxTest
