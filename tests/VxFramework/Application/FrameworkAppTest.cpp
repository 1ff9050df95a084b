#include "VxFramework/Application/FrameworkApp.h"

#include "tests/VxFramework/Application/ApplicationDoubles.h"
#include "sim/SimulatedDevice.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace VxTest;

namespace
{
int CountAssertions(const std::string& err, const std::string& file)
{
    const std::string marker = "JUCE Assertion failure in " + file + ":";
    int count = 0;
    for (std::size_t at = err.find(marker); at != std::string::npos; at = err.find(marker, at + 1))
        ++count;
    return count;
}

// Counts the notifications of one id it receives and may act on each.
class CountingClient : public Vx::LNotificationClient
{
public:
    CountingClient(Log* log, std::string name) : mLog(log), mName(std::move(name)) {}

    Vx::NotificationHandlerResultCode Receive(const Vx::RCPtr<Vx::LNotificationDistributor>&,
                                              const Vx::ConstRCPtr<Vx::LNotification>& notification) override
    {
        ++mReceived;
        if (mLog != nullptr)
            mLog->push_back(mName + ":" + notification->GetId());
        if (mAction)
            mAction();
        return 1;
    }

    Log* mLog;
    std::string mName;
    int mReceived = 0;
    std::function<void()> mAction;
};

class ApplicationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mApp = Vx::MakeRCPtr<TestApplication>(&mLog);
        ASSERT_EQ(mApp->RunApplicationStartup(), Vx::VXR_OK);
    }

    void TearDown() override
    {
        mWindows.clear();
        mApp = nullptr;
        EXPECT_EQ(Vx::LFrameworkApp::GetApplication(), nullptr);
    }

    // A root window with an OS window, added to the application.
    Vx::RCPtr<FakeRootWindow> AddWindow(const std::string& name)
    {
        mOSWindows.push_back(std::make_unique<FakeOSWindow>(name, &mLog));
        Vx::RCPtr<FakeRootWindow> window = FakeRootWindow::Create(name, &mLog, mOSWindows.back().get());
        EXPECT_GE(mApp->AddRootWindow(window), 0);
        mWindows.push_back(window);
        return window;
    }

    FakeOSWindow& OSWindow(std::size_t index) { return *mOSWindows[index]; }

    Log mLog;
    Vx::RCPtr<TestApplication> mApp;
    std::vector<std::unique_ptr<FakeOSWindow>> mOSWindows;
    std::vector<Vx::RCPtr<FakeRootWindow>> mWindows;
};
} // namespace

TEST(FrameworkApp, IsTheCurrentApplicationForItsLifetime)
{
    Log log;
    const Vx::RCPtr<FakeControlFactory> factory = Vx::MakeRCPtr<FakeControlFactory>();
    const Vx::RCPtr<FakeStringTable> strings = Vx::MakeRCPtr<FakeStringTable>();
    EXPECT_EQ(Vx::LFrameworkApp::GetApplication(), nullptr);
    {
        Vx::RCPtr<TestApplication> app = Vx::MakeRCPtr<TestApplication>(&log, factory, strings);
        EXPECT_EQ(Vx::LFrameworkApp::GetApplication(), app.Get());
        EXPECT_EQ(app->GetControlFactory(), factory);
        EXPECT_EQ(app->GetFrameworkStringTable(), strings);
        EXPECT_TRUE(app->GetApplicationStringTable().IsNull());
        EXPECT_FALSE(app->IsExitRequested());
        EXPECT_EQ(factory->GetRefCount(), 2u);
        // The centres live and die with the application.
        EXPECT_FALSE(app->GetNotificationCenter("engine").IsNull());
        EXPECT_EQ(app->FindNotificationCenter("engine"), app->GetNotificationCenter("engine"));
        EXPECT_TRUE(app->FindNotificationCenter("nowhere").IsNull());
        EXPECT_EQ(app->GetDefaultNotificationCenter()->GetName(), String("application"));
    }
    EXPECT_EQ(Vx::LFrameworkApp::GetApplication(), nullptr);
    EXPECT_EQ(factory->GetRefCount(), 1u);
    EXPECT_EQ(Vx::LNotificationCenterManager::GetInstance()->GetCenterCount(), 0u);
}

TEST_F(ApplicationTest, RootWindowListKeepsIdentityAndOrder)
{
    Log log;
    FakeOSWindow osA("a", &log);
    FakeOSWindow osB("b", &log);
    const Vx::RCPtr<FakeRootWindow> a = FakeRootWindow::Create("a", &log, &osA);
    const Vx::RCPtr<FakeRootWindow> b = FakeRootWindow::Create("b", &log, &osB);
    const Vx::RCPtr<FakeRootWindow> stranger = FakeRootWindow::Create("c", &log, nullptr);

    EXPECT_EQ(mApp->AddRootWindow(a), 0);
    EXPECT_EQ(mApp->AddRootWindow(b), 1);
    EXPECT_EQ(mApp->AddRootWindow(a), 0);
    EXPECT_EQ(mApp->GetRootWindows().GetCount(), 2u);
    EXPECT_EQ(mApp->GetRootWindow(1), b);
    EXPECT_TRUE(mApp->GetRootWindow(2).IsNull());
    EXPECT_TRUE(mApp->GetRootWindow(0xFFFFFFFFu).IsNull());

    EXPECT_EQ(mApp->RemoveRootWindow(stranger), -1);
    EXPECT_EQ(mApp->RemoveRootWindow(nullptr), -1);
    EXPECT_EQ(mApp->RemoveRootWindow(a), 1);
    EXPECT_EQ(mApp->GetRootWindow(0), b);
    EXPECT_EQ(mApp->RemoveRootWindow(a), -1);
    EXPECT_EQ(mApp->RemoveRootWindow(b), 0);
    EXPECT_TRUE(mApp->GetRootWindow(0).IsNull());

    // A null window would be called on by every idle pass: refused.
    CaptureStderr capture;
    EXPECT_EQ(mApp->AddRootWindow(nullptr), static_cast<int>(Vx::VXR_E_INVALIDARG));
    EXPECT_EQ(CountAssertions(capture.Finish(), "FrameworkApp.cpp"), 1);
    EXPECT_EQ(mApp->GetRootWindows().GetCount(), 0u);
    EXPECT_FALSE(mApp->ProcessIdle(true));
}

TEST_F(ApplicationTest, ActiveRootWindowIsTheLastActiveOne)
{
    AddWindow("w0");
    AddWindow("w1");
    AddWindow("w2");
    EXPECT_TRUE(mApp->GetActiveRootWindow().IsNull());

    OSWindow(0).mActive = true;
    EXPECT_EQ(mApp->GetActiveRootWindow(), mWindows[0]);
    OSWindow(2).mActive = true;
    EXPECT_EQ(mApp->GetActiveRootWindow(), mWindows[2]);
    // A window that lost its OS window does not count.
    mWindows[2]->ForgetOSWindow();
    EXPECT_EQ(mApp->GetActiveRootWindow(), mWindows[0]);
}

TEST_F(ApplicationTest, ExitRequestPostedFromAWorkerClosesTheWindowsAtTheNextTick)
{
    AddWindow("w0");
    AddWindow("w1");
    AddWindow("w2");
    IdleTimer timer;
    timer.Start();

    const Vx::RCPtr<Vx::LNotificationCenter> center = mApp->GetDefaultNotificationCenter();
    std::thread worker([center] { EXPECT_EQ(center->PostNotification("NID_APP_EXIT_REQ", nullptr), Vx::VXR_OK); });
    worker.join();
    // Posted, not delivered: nothing happens before the tick.
    EXPECT_FALSE(mApp->IsExitRequested());
    EXPECT_TRUE(mLog.empty());

    CaptureStderr capture;
    timer.timerCallback();
    const std::string err = capture.Finish();

    // Windows 2 and 1 are asked by the framework, window 0 by the application
    // base, which closes it at once; the walk over the windows closes the rest.
    EXPECT_EQ(mLog, (Log{"request:w2", "request:w1", "request:w0", "close:w0", "quit", "close:w2", "close:w1"}));
    EXPECT_EQ(CountAssertions(err, "FrameworkApp.cpp"), 2) << err;
    EXPECT_TRUE(mApp->IsExitRequested());
    EXPECT_EQ(mApp->GetRootWindows().GetCount(), 0u);
    EXPECT_EQ(mApp->mQuitRequests, 1);
    EXPECT_EQ(timer.mInterval, 10);

    // From now on the timer does no processing.
    const auto client = Vx::MakeRCPtr<CountingClient>(nullptr, "late");
    client->Register(Vx::RCPtr<Vx::LNotificationDistributor>(center), "NID_LATE", 0);
    center->PostNotification("NID_LATE", nullptr);
    timer.timerCallback();
    EXPECT_EQ(client->mReceived, 0);
    EXPECT_EQ(timer.mInterval, 10);
    EXPECT_TRUE(mApp->IsExitRequested());
}

TEST_F(ApplicationTest, ExitRequestWaitsForTheApplicationsAgreement)
{
    AddWindow("w0");
    AddWindow("w1");
    mApp->mAllowExit = false;
    mApp->GetDefaultNotificationCenter()->PostNotification("NID_APP_EXIT_REQ", nullptr);
    EXPECT_FALSE(mApp->ProcessIdle(true));
    EXPECT_FALSE(mApp->IsExitRequested());
    EXPECT_TRUE(mLog.empty());
    EXPECT_EQ(mApp->GetRootWindows().GetCount(), 2u);
}

TEST_F(ApplicationTest, OtherNotificationsChangeNothing)
{
    AddWindow("w0");
    AddWindow("w1");
    Vx::RCPtr<Vx::LNotification> other;
    Vx::LNotification::Create(other, "NID_SOMETHING_ELSE", nullptr);
    const Vx::RCPtr<Vx::LNotificationDistributor> center(mApp->GetDefaultNotificationCenter());

    EXPECT_EQ(mApp->LFrameworkApp::Receive(center, other), 0);
    EXPECT_EQ(mApp->LFrameworkApp::Receive(center, nullptr), 0);
    EXPECT_FALSE(mApp->IsExitRequested());
    EXPECT_TRUE(mLog.empty());
}

TEST_F(ApplicationTest, IdleIntervalFallsTo1msWhileWorkIsPending)
{
    AddWindow("w0");
    const Vx::RCPtr<Vx::LNotificationCenter> engine = mApp->GetNotificationCenter("engine");
    const Vx::RCPtr<Vx::LNotificationDistributor> engineDistributor(engine);
    const Vx::RCPtr<Vx::LNotificationDistributor> window(mWindows[0]);

    // Each delivery posts more work until three deliveries are done.
    const auto centreWork = Vx::MakeRCPtr<CountingClient>(nullptr, "centre");
    centreWork->mAction = [&] {
        if (centreWork->mReceived < 3)
            engine->PostNotification("NID_WORK", nullptr);
    };
    centreWork->Register(engineDistributor, "NID_WORK", 0);
    const auto windowWork = Vx::MakeRCPtr<CountingClient>(nullptr, "window");
    windowWork->mAction = [&] {
        if (windowWork->mReceived < 2)
            mWindows[0]->PostNotification("NID_WINDOW_WORK", nullptr);
    };
    windowWork->Register(window, "NID_WINDOW_WORK", 0);
    // Idle notifications go out only on ticks that follow a 10 ms wait.
    const auto centreIdle = Vx::MakeRCPtr<CountingClient>(nullptr, "centre-idle");
    centreIdle->Register(engineDistributor, "NID_IDLE", 0);
    const auto windowIdle = Vx::MakeRCPtr<CountingClient>(nullptr, "window-idle");
    windowIdle->Register(window, "NID_IDLE", 0);

    IdleTimer timer;
    timer.Start();
    timer.timerCallback();
    EXPECT_EQ(timer.mInterval, 10); // nothing to do
    EXPECT_EQ(centreIdle->mReceived, 1);

    std::thread worker([&] {
        engine->PostNotification("NID_WORK", nullptr);
        mWindows[0]->PostNotification("NID_WINDOW_WORK", nullptr);
    });
    worker.join();

    struct Tick
    {
        int interval; // after the tick
        int centreWork, windowWork, centreIdle, windowIdle;
    };
    const Tick ticks[] = {
        {1, 1, 1, 2, 2},  // both queues posted again during delivery
        {1, 2, 2, 2, 2},  // a 1 ms tick: no idle notification; the window is done
        {10, 3, 2, 2, 2}, // the centre is done too
        {10, 3, 2, 3, 3},
    };
    for (std::size_t i = 0; i < std::size(ticks); ++i)
    {
        timer.timerCallback();
        EXPECT_EQ(timer.mInterval, ticks[i].interval) << "tick " << i;
        EXPECT_EQ(centreWork->mReceived, ticks[i].centreWork) << "tick " << i;
        EXPECT_EQ(windowWork->mReceived, ticks[i].windowWork) << "tick " << i;
        EXPECT_EQ(centreIdle->mReceived, ticks[i].centreIdle) << "tick " << i;
        EXPECT_EQ(windowIdle->mReceived, ticks[i].windowIdle) << "tick " << i;
    }
}

TEST_F(ApplicationTest, IdlePassSurvivesWindowsClosingDuringIt)
{
    AddWindow("w0");
    AddWindow("w1");
    AddWindow("w2");
    // Window 2's delivery closes windows 1 and 2 at once, as a dialog ending
    // with its owner might.
    const auto closer = Vx::MakeRCPtr<CountingClient>(nullptr, "closer");
    closer->mAction = [&] {
        OSWindow(2).Close(0);
        OSWindow(1).Close(0);
    };
    closer->Register(Vx::RCPtr<Vx::LNotificationDistributor>(mWindows[2]), "NID_CLOSE_BOTH", 0);
    mWindows[2]->PostNotification("NID_CLOSE_BOTH", nullptr);
    mWindows.resize(1);

    EXPECT_FALSE(mApp->ProcessIdle(true));
    EXPECT_EQ(mApp->GetRootWindows().GetCount(), 1u);
    EXPECT_EQ(mLog, (Log{"close:w2", "close:w1"}));
}

TEST_F(ApplicationTest, RunDrawsTheMainWindowOnceBeforeTheFirstIdlePass)
{
    AddWindow("w0");
    const auto idle = Vx::MakeRCPtr<CountingClient>(&mLog, "client");
    idle->Register(Vx::RCPtr<Vx::LNotificationDistributor>(mWindows[0]), "NID_IDLE", 0);
    mApp->mDispatchLoop = [] {};

    EXPECT_FALSE(mApp->Run());
    EXPECT_EQ(mLog, (Log{"invalidate:w0 0,0,800,480", "repaint:w0", "before-run", "client:NID_IDLE", "loop",
                         "client:NID_IDLE"}));
    EXPECT_FALSE(mApp->IsExitRequested());
}

TEST_F(ApplicationTest, RunWithoutWindowsStillRunsTheLoop)
{
    mApp->mDispatchLoop = [] {};
    EXPECT_FALSE(mApp->Run());
    EXPECT_EQ(mLog, (Log{"before-run", "loop"}));
}

// Run inside JUCE's dispatch loop, on the simulated device that JUCE's
// message manager brings up.
class ApplicationRunTest : public ApplicationTest, public ::testing::WithParamInterface<int>
{
protected:
    void SetUp() override
    {
        mDevice.addDsiPanel(480, 800);
        mDevice.install();
        mJuce = std::make_unique<juce::ScopedJuceInitialiser_GUI>();
        ApplicationTest::SetUp();
    }

    void TearDown() override
    {
        ApplicationTest::TearDown();
        mJuce.reset();
        mDevice.uninstall();
    }

    Sim::SimulatedDevice mDevice;
    std::unique_ptr<juce::ScopedJuceInitialiser_GUI> mJuce;
};

// An exception escaping JUCE's dispatch loop is shown and ends in an orderly
// exit through the regular exit request.
TEST_P(ApplicationRunTest, ExceptionEscapingTheDispatchLoopIsShownAndEndsInAnOrderlyExit)
{
    AddWindow("w0");
    AddWindow("w1");
    const int kind = GetParam();
    int thrownAtLine = 0;
    juce::MessageManager::callAsync([kind, &thrownAtLine] {
        switch (kind)
        {
        case 0:
            thrownAtLine = __LINE__ + 1;
            VX_THROW(std::runtime_error, "handler failed");
        case 1:
            throw std::out_of_range("plain standard exception");
        default:
            throw 42;
        }
    });

    CaptureStderr capture;
    EXPECT_FALSE(mApp->Run());
    const std::string err = capture.Finish();

    std::string shown;
    switch (kind)
    {
    case 0:
        shown = "Runtime Error : handler failed :  : tests/VxFramework/Application/FrameworkAppTest.cpp : Line " +
                std::to_string(thrownAtLine);
        break;
    case 1:
        shown = "plain standard exception";
        break;
    default:
        shown = "Unknown Exception";
        break;
    }
    EXPECT_EQ(mLog, (Log{"invalidate:w0 0,0,800,480", "repaint:w0", "before-run", "loop",
                         "message:Exception:" + shown + ":16", "request:w1", "request:w0", "close:w0", "quit",
                         "close:w1"}));
    EXPECT_EQ(CountAssertions(err, "FrameworkApp.cpp"), 1) << err;
    EXPECT_TRUE(mApp->IsExitRequested());
    EXPECT_EQ(mApp->GetRootWindows().GetCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(ExceptionKinds, ApplicationRunTest, ::testing::Values(0, 1, 2));

// An exit request from a worker while JUCE's loop runs: the idle timer
// delivers it, the application base asks JUCE to quit, and Run returns.
TEST_F(ApplicationRunTest, ExitRequestDuringTheDispatchLoopEndsRun)
{
    AddWindow("w0");
    IdleTimer timer;
    timer.Start();
    const Vx::RCPtr<Vx::LNotificationCenter> center = mApp->GetDefaultNotificationCenter();
    std::thread worker;
    // Started from inside the loop, so that the request arrives while it runs.
    juce::MessageManager::callAsync([&] {
        worker = std::thread([center] { center->PostNotification("NID_APP_EXIT_REQ", nullptr); });
    });

    EXPECT_FALSE(mApp->Run());
    worker.join();
    EXPECT_EQ(mLog, (Log{"invalidate:w0 0,0,800,480", "repaint:w0", "before-run", "loop", "request:w0", "close:w0",
                         "quit"}));
    EXPECT_TRUE(mApp->IsExitRequested());
}

TEST_F(ApplicationTest, MousePositionAndButtonsComeFromTheActiveWindow)
{
    AddWindow("w0");
    AddWindow("w1");
    OSWindow(1).mActive = true;
    OSWindow(1).mScreenOrigin = {100, 200};
    OSWindow(1).mMousePosition = {5, 6};
    OSWindow(1).mButtons = 4;
    const Vx::PointT<int> position = mApp->GetMousePosition();
    EXPECT_EQ(position.x, 105);
    EXPECT_EQ(position.y, 206);
    EXPECT_EQ(mApp->GetMouseButtons(), 4);
    EXPECT_TRUE(mApp->mKeyQueries.empty());
}

TEST_F(ApplicationTest, MouseButtonsWithoutAnActiveWindowComeFromTheKeyStates)
{
    AddWindow("w0");
    struct Case
    {
        std::set<int> pressed;
        int buttons;
    };
    // Virtual keys 1 left, 2 right, 4 middle; buttons 1 left, 2 middle, 4 right.
    const Case cases[] = {{{}, 0}, {{2}, 4}, {{4}, 2}, {{1}, 1}, {{1, 4}, 3}, {{1, 2, 4}, 7}, {{3, 5}, 0}};
    for (const Case& c : cases)
    {
        mApp->mPressedKeys = c.pressed;
        mApp->mKeyQueries.clear();
        EXPECT_EQ(mApp->GetMouseButtons(), c.buttons);
        EXPECT_EQ(mApp->mKeyQueries, (std::vector<int>{1, 4, 2}));
    }
}

TEST_F(ApplicationTest, StatusTextNeedsTheMainWindowAndAStatusBar)
{
    const Vx::RCPtr<FakeStatusBar> bar = Vx::MakeRCPtr<FakeStatusBar>();
    mApp->mStatusBar = bar;
    // No root window 0 yet.
    for (int mode : {0, 1, 2})
    {
        EXPECT_EQ(mApp->SetStatusText("text", mode), Vx::VXR_E_FAIL);
        EXPECT_EQ(mApp->RestoreStatusText(mode), Vx::VXR_E_FAIL);
    }
    EXPECT_EQ(std::string(mApp->GetStatusText().GetCString()), "");

    AddWindow("w0");
    struct Case
    {
        int mode;
        bool restore;
        const char* call;
        int assertions;
    };
    const Case cases[] = {
        {0, false, "post:Loading", 0}, {1, false, "now:Loading", 0}, {2, false, "now:Loading", 1},
        {-1, false, "now:Loading", 1}, {0, true, "post:Ready", 0},   {1, true, "now:Ready", 0},
        {2, true, "now:Ready", 1},
    };
    for (const Case& c : cases)
    {
        bar->mLog.clear();
        CaptureStderr capture;
        const Vx::VxRESULT result = c.restore ? mApp->RestoreStatusText(c.mode) : mApp->SetStatusText("Loading", c.mode);
        EXPECT_EQ(CountAssertions(capture.Finish(), "FrameworkApp.cpp"), c.assertions) << c.call;
        EXPECT_EQ(result, Vx::VXR_OK);
        EXPECT_EQ(bar->mLog, (Log{c.call}));
    }
    EXPECT_EQ(std::string(mApp->GetStatusText().GetCString()), "Ready");

    // No status bar: every mode fails.
    mApp->mStatusBar = nullptr;
    for (int mode : {0, 1, 2})
    {
        EXPECT_EQ(mApp->SetStatusText("text", mode), Vx::VXR_E_FAIL);
        EXPECT_EQ(mApp->RestoreStatusText(mode), Vx::VXR_E_FAIL);
    }
    EXPECT_EQ(std::string(mApp->GetStatusText().GetCString()), "");
}

TEST_F(ApplicationTest, MeasurementRendererIsTheMainWindows)
{
    {
        CaptureStderr capture;
        EXPECT_TRUE(mApp->GetMeasurementRenderer().IsNull());
        EXPECT_EQ(CountAssertions(capture.Finish(), "FrameworkApp.h"), 1);
    }
    AddWindow("w0");
    AddWindow("w1");
    mWindows[0]->mRenderer = Vx::MakeRCPtr<FakeMeasurementRenderer>();
    mWindows[1]->mRenderer = Vx::MakeRCPtr<FakeMeasurementRenderer>();
    const Vx::RCPtr<Vx::LMeasurementRenderer> renderer = mApp->GetMeasurementRenderer();
    EXPECT_EQ(renderer, mWindows[0]->mRenderer);
    EXPECT_EQ(renderer->GetRefCount(), 2u);
}
