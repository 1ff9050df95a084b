#include "tests/JuceBackend/DisplayTestSupport.h"
#include "tests/support/ChildProcess.h"

#include "JuceBackend/native/juce_linuxfb_Backend.h"
#include "JuceBackend/native/juce_linuxfb_Messaging.h"
#include "tests/support/CaptureStderr.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <fcntl.h>
#include <libinput.h>
#include <linux/kd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using juce::InternalMessageQueue;

namespace juce
{
struct InternalMessageQueueTestAccess
{
    static uint32& DispatchCounter(InternalMessageQueue& queue) { return queue.dispatchCounter; }
};
} // namespace juce

namespace
{
// Waits until the system event thread has flagged every one of the pending classes.
bool WaitForPending(int events)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);

    while ((InternalMessageQueue::getInstance()->getPendingEvents() & events) != events)
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    return true;
}

// Runs JUCE's dispatch loop until done() holds.
bool DispatchUntil(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);

    while (!done())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        juce::MessageManager::getInstance()->runDispatchLoopUntil(5);
    }

    return true;
}

std::vector<std::string>* recordedInput = nullptr;

void RecordInput(libinput_event* event)
{
    recordedInput->push_back("input " + std::to_string(Sim::SimInput::getEventId(event)));
}
} // namespace

//==============================================================================
// JUCE's message manager on the simulated device, one per test.
class MessageQueue : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sim.drm.flipLatency = std::chrono::microseconds(0);
        panel = sim.addDsiPanel(480, 800);
        sim.install();
        jucePlatform = std::make_unique<juce::ScopedJuceInitialiser_GUI>();

        // The screen paints its first frame after the scan; each test starts
        // once it is on the display and nothing is left to do, after an even
        // number of dispatch steps, so that it sees the order of a fresh queue.
        auto& screen = *Screens()[0];
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        int steps = 0;

        for (;;)
        {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline);
            const auto handled = juce::dispatchNextMessageOnSystemQueue(true);
            ++steps;
            if (!handled && screen.getFlipper().isReady() && !screen.isBusy() && !screen.isTimerRunning())
                break;
            if (!handled)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }

        if (steps % 2 != 0)
        {
            ASSERT_FALSE(juce::dispatchNextMessageOnSystemQueue(true));
        }
    }

    void TearDown() override
    {
        jucePlatform.reset();
        juce::LinuxFbBackend::inputEventHandler = nullptr;
        EXPECT_EQ(sim.console.getCurrentMode(), KD_TEXT);
        EXPECT_EQ(sim.getNumOpenDescriptors(), 0);
        EXPECT_EQ(sim.getNumMisusedDescriptors(), 0);
        EXPECT_EQ(sim.input.getNumLiveObjects(), 0);
        sim.uninstall();
    }

    const juce::OwnedArray<juce::DrmScreen>& Screens() { return juce::DrmDevice::getInstance()->getScreens(); }

    Sim::SimulatedDevice sim;
    uint32_t panel = 0;
    std::unique_ptr<juce::ScopedJuceInitialiser_GUI> jucePlatform;
};

TEST_F(MessageQueue, BringsTheBackendUpAndDown)
{
    auto* queue = InternalMessageQueue::getInstance();
    ASSERT_NE(queue, nullptr);
    EXPECT_TRUE(queue->isThreadRunning());
    EXPECT_EQ(queue->getThreadName(), "System Event Thread");

    EXPECT_EQ(sim.input.getSeat(), "seat0");
    EXPECT_EQ(sim.input.getMonitorSource(), "udev");
    EXPECT_EQ(sim.input.getMonitorSubsystem(), "drm");
    EXPECT_FALSE(sim.input.hasMonitorDevtype());
    EXPECT_EQ(sim.console.getCurrentMode(), KD_GRAPHICS);
    EXPECT_EQ(Screens().size(), 1);

    jucePlatform.reset();
    EXPECT_EQ(InternalMessageQueue::getInstance(), nullptr);
    EXPECT_EQ(juce::DrmDevice::getInstanceWithoutCreating(), nullptr);
}

TEST_F(MessageQueue, DeliversEveryPostedMessageInEachThreadsOrder)
{
    constexpr int numThreads = 4;
    constexpr int perThread = 500;
    std::vector<std::vector<int>> received(numThreads);
    std::atomic<int> numReceived{0};

    std::vector<std::thread> posters;
    for (int t = 0; t < numThreads; ++t)
        posters.emplace_back([&, t] {
            for (int i = 0; i < perThread; ++i)
                ASSERT_TRUE(juce::MessageManager::callAsync([&, t, i] {
                    received[(size_t) t].push_back(i);
                    ++numReceived;
                }));
        });

    ASSERT_TRUE(DispatchUntil([&] { return numReceived == numThreads * perThread; }));
    for (auto& poster : posters)
        poster.join();

    for (int t = 0; t < numThreads; ++t)
    {
        ASSERT_EQ(received[(size_t) t].size(), (size_t) perThread);
        for (int i = 0; i < perThread; ++i)
            ASSERT_EQ(received[(size_t) t][(size_t) i], i) << "thread " << t;
    }
}

TEST_F(MessageQueue, TakesOneClassOfSystemEventsPerStepAlternatingWithMessages)
{
    std::vector<std::string> log;
    recordedInput = &log;
    juce::LinuxFbBackend::inputEventHandler = RecordInput;

    // A page flip in flight, a display hot-plug, three input events, two messages.
    auto& screen = *Screens()[0];
    ASSERT_TRUE(screen.flipBackBuffer());
    // The hot-plug's rescan repaints the screen; that frame's flip stays in
    // flight past the end, so that only the flip above completes here.
    sim.drm.flipLatency = std::chrono::seconds(10);
    sim.input.queueHotplug();
    for (int id = 1; id <= 3; ++id)
        sim.input.queueInputEvent(id);
    ASSERT_TRUE(WaitForPending(InternalMessageQueue::pageFlipPending | InternalMessageQueue::hotplugPending
                               | InternalMessageQueue::inputPending));
    for (auto* text : {"message 1", "message 2"})
        juce::MessageManager::callAsync([&log, text] { log.push_back(text); });

    // What each dispatch step handled.
    std::vector<std::string> steps;
    for (int step = 0; step < 12; ++step)
    {
        const auto wasBusy = screen.isBusy();
        const auto devicesBefore = sim.input.getNumReceivedDevices();
        log.clear();

        juce::dispatchNextMessageOnSystemQueue(true);

        if (wasBusy && !screen.isBusy())
            log.push_back("page flip");
        if (sim.input.getNumReceivedDevices() != devicesBefore)
            log.push_back("hot-plug");

        std::string handled;
        for (const auto& item : log)
            handled += (handled.empty() ? "" : ", ") + item;
        steps.push_back(handled);
    }

    recordedInput = nullptr;

    // The first step after start tries system events first.  A class whose
    // descriptor was still readable when it was taken may be flagged once more;
    // the step that takes that stale flag finds nothing and handles a message,
    // or nothing at all.
    std::erase_if(steps, [](const std::string& step) { return step.empty(); });
    EXPECT_EQ(steps.front(), "page flip");
    EXPECT_EQ(steps.size(), 5u);

    std::vector<std::string> systemSteps, messageSteps;
    for (const auto& step : steps)
        (step.rfind("message", 0) == 0 ? messageSteps : systemSteps).push_back(step);
    EXPECT_EQ(systemSteps, (std::vector<std::string>{"page flip", "hot-plug", "input 1, input 2, input 3"}));
    EXPECT_EQ(messageSteps, (std::vector<std::string>{"message 1", "message 2"}));
    EXPECT_EQ(steps[1], "message 1") << "messages take their turn between system events";
}

TEST_F(MessageQueue, KeepsAlternatingWhenTheStepCounterWraps)
{
    std::vector<std::string> log;
    recordedInput = &log;
    juce::LinuxFbBackend::inputEventHandler = RecordInput;
    for (auto* text : {"message 1", "message 2"})
        juce::MessageManager::callAsync([&log, text] { log.push_back(text); });

    // Even, as after SetUp: the next step tries system events first.  Every
    // step finds both a message and input waiting.
    juce::InternalMessageQueueTestAccess::DispatchCounter(*InternalMessageQueue::getInstance()) = 0xfffffffe;

    for (int id = 1; id <= 2; ++id)
    {
        sim.input.queueInputEvent(id);
        ASSERT_TRUE(WaitForPending(InternalMessageQueue::inputPending));
        ASSERT_TRUE(juce::dispatchNextMessageOnSystemQueue(true));
        ASSERT_TRUE(juce::dispatchNextMessageOnSystemQueue(true));
    }

    recordedInput = nullptr;
    EXPECT_EQ(log, (std::vector<std::string>{"input 1", "message 1", "input 2", "message 2"}));
}

TEST_F(MessageQueue, AnInterruptedWaitOfTheEventThreadIsNoFault)
{
    // A handler that returns makes the event thread's poll fail with EINTR:
    // poll is never restarted.
    static std::atomic<int> numSignals;
    numSignals = 0;
    struct sigaction action = {};
    struct sigaction previous = {};
    action.sa_handler = [](int) { ++numSignals; };
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);

    const auto eventThread = VxTest::WaitForThread("System Event Thread");
    ASSERT_GT(eventThread, 0);
    ASSERT_TRUE(VxTest::WaitUntilAsleep(eventThread));

    VxTest::CaptureStderr capture;
    ASSERT_EQ(::tgkill(::getpid(), eventThread, SIGUSR1), 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (numSignals == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    // Back to waiting, the thread still hears the devices.
    const auto waitsAgain = VxTest::WaitUntilAsleep(eventThread);
    sim.input.queueInputEvent(1);
    const auto inputFlagged = WaitForPending(InternalMessageQueue::inputPending);
    const auto output = capture.Finish();
    ::sigaction(SIGUSR1, &previous, nullptr);

    EXPECT_EQ(numSignals, 1);
    EXPECT_TRUE(waitsAgain);
    EXPECT_TRUE(inputFlagged);
    EXPECT_EQ(output, "") << "no assertion";
}

TEST_F(MessageQueue, HotplugRescansTheScreensAndJucesDisplays)
{
    const auto& displays = juce::Desktop::getInstance().getDisplays();
    ASSERT_EQ(displays.displays.size(), 1);

    const auto hdmi = sim.addHdmiOutput(1280, 720, false);
    auto* panelScreen = Screens()[0];
    sim.plug(hdmi, true);
    ASSERT_TRUE(DispatchUntil([&] { return Screens().size() == 2; }));

    EXPECT_EQ(Screens()[0], panelScreen) << "the panel's screen is kept";
    ASSERT_EQ(displays.displays.size(), 2);
    EXPECT_TRUE(displays.displays[0].isMain);
    EXPECT_EQ(displays.displays[0].totalArea, juce::Rectangle<int>(0, 0, 480, 800));
    EXPECT_FALSE(displays.displays[1].isMain);
    EXPECT_EQ(displays.displays[1].totalArea, juce::Rectangle<int>(480, 0, 1280, 720));
    EXPECT_EQ(displays.displays[1].userArea, displays.displays[1].totalArea);
    EXPECT_EQ(displays.displays[1].dpi, 72.0);

    sim.plug(hdmi, false);
    ASSERT_TRUE(DispatchUntil([&] { return Screens().size() == 1; }));
    EXPECT_EQ(displays.displays.size(), 1);
}

TEST_F(MessageQueue, UnreadableHotplugHandlesNothing)
{
    auto* screen = Screens()[0];
    sim.drm.setConnected(panel, false);
    sim.input.queueHotplug(false);
    ASSERT_TRUE(WaitForPending(InternalMessageQueue::hotplugPending));

    EXPECT_FALSE(juce::dispatchNextMessageOnSystemQueue(true));
    EXPECT_FALSE(juce::dispatchNextMessageOnSystemQueue(true));
    ASSERT_EQ(Screens().size(), 1);
    EXPECT_EQ(Screens()[0], screen);
}

TEST_F(MessageQueue, LibinputOpensDevicesWithTheFlagsItAsksFor)
{
    const auto* interface = sim.input.getLibinputInterface();
    ASSERT_NE(interface, nullptr);
    void* userData = sim.input.getLibinputUserData();

    EXPECT_EQ(interface->open_restricted("/nonexistent/event0", O_RDONLY, userData), -ENOENT);

    const auto file = sim.getSystemFile("/dev/input/event0");
    file.create();
    const auto fd = interface->open_restricted(file.getFullPathName().toRawUTF8(), O_RDWR | O_NONBLOCK, userData);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::fcntl(fd, F_GETFL) & (O_ACCMODE | O_NONBLOCK), O_RDWR | O_NONBLOCK);
    interface->close_restricted(fd, userData);
    EXPECT_EQ(::fcntl(fd, F_GETFL), -1) << "closed";
}

//==============================================================================
// What ends the process: in child processes.
class MessageQueueExit : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(MessageQueueExit, EndsWithStatusOneWhenUdevOrLibinputCannotBeSetUp)
{
    using Fault = bool Sim::SimInput::*;
    for (Fault fault : {&Sim::SimInput::failUdev, &Sim::SimInput::failLibinputContext, &Sim::SimInput::failAssignSeat,
                        &Sim::SimInput::failMonitor, &Sim::SimInput::failMonitorFilter,
                        &Sim::SimInput::failMonitorEnable})
    {
        EXPECT_EXIT(
            {
                Sim::SimulatedDevice device;
                device.input.*fault = true;
                device.install();
                juce::MessageManager::getInstance();
            },
            ::testing::ExitedWithCode(1), "");
    }
}

TEST_F(MessageQueueExit, AbortsWithoutAUsableDrmDevice)
{
    using Fault = void (*)(Sim::SimDrmDevice&);
    for (Fault fault : {Fault([](Sim::SimDrmDevice& d) { d.present = false; }),
                        Fault([](Sim::SimDrmDevice& d) { d.dumbBufferCapability = 0; })})
    {
        EXPECT_EXIT(
            {
                Sim::SimulatedDevice device;
                fault(device.drm);
                device.install();
                juce::MessageManager::getInstance();
            },
            ::testing::KilledBySignal(SIGABRT), "");
    }
}

namespace
{
juce::JUCEApplicationBase* CreateNoApplication()
{
    return nullptr;
}

// Runs body() in a child with a time limit; the child's wait status.
int RunInChild(const std::function<int()>& body)
{
    const VxTest::ChildResult child = VxTest::RunInChild(body);
    EXPECT_FALSE(child.timedOut);
    return child.status;
}
} // namespace

TEST_F(MessageQueueExit, SigintShutsThePlatformDownAndEndsWithStatusOne)
{
    Sim::SimulatedDevice device;
    device.addDsiPanel(480, 800);

    const auto status = RunInChild([&] {
        device.install();
        // A standalone application: JUCE's application factory is set.
        juce::JUCEApplicationBase::createInstance = CreateNoApplication;
        juce::MessageManager::getInstance();
        if (device.console.getCurrentMode() != KD_GRAPHICS)
            return 10;

        // The break comes once the loop idles, and nothing else will ever
        // wake the message thread.
        juce::MessageManager::callAsync(VxTest::InterruptOnceAsleep);
        juce::MessageManager::getInstance()->runDispatchLoop();
        return 11;
    });

    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(device.console.getCurrentMode(), KD_TEXT);
    EXPECT_EQ(device.console.getNumOpenDescriptors(), 0);
}

TEST_F(MessageQueueExit, AfterTheBreakNothingIsDispatchedOrPosted)
{
    Sim::SimulatedDevice device;
    device.addDsiPanel(480, 800);

    const auto status = RunInChild([&] {
        device.install();
        juce::JUCEApplicationBase::createInstance = CreateNoApplication;
        juce::MessageManager::getInstance();
        // Not a standalone application any more: the break only stops dispatching.
        juce::JUCEApplicationBase::createInstance = nullptr;

        ::raise(SIGINT);
        if (!InternalMessageQueue::hasKeyboardBreakOccurred())
            return 10;
        if (juce::dispatchNextMessageOnSystemQueue(true))
            return 11;
        if (!InternalMessageQueue::hasErrorOccurred())
            return 12;
        if (juce::MessageManager::callAsync([] {}))
            return 13;
        return 0;
    });

    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
