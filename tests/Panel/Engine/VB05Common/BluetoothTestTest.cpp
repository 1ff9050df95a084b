#include "Panel/Engine/VB05Common/BluetoothTest.h"

#include "Panel/Main/TestIdentifiers.h"
#include "Panel/Main/TestRegistrations.h"

#include "tests/Panel/Engine/TestAppCommon/EngineTestSupport.h"
#include "tests/support/CaptureStderr.h"
#include "tests/support/DBusTestBus.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace
{
using namespace VxTest;
using Vx::LTestEngine;
using Vx::VB05::LBluetooth;
using Vx::VB05::LDBusClient;
using Vx::VB05::LIBluetooth;
using Lines = std::vector<std::string>;

constexpr char kDevice1[] = "org.bluez.Device1";
constexpr char kAdapter1[] = "org.bluez.Adapter1";

// The application as start-up leaves it: its factories with the registered
// creators, and its Bluetooth model over the simulated BlueZ.
class BluetoothTestTest : public EngineTestBase
{
protected:
    void SetUp() override
    {
        std::string why;
        if (!PrivateSystemBus::Start(why))
            GTEST_SKIP() << why;
        if (!mBluez.Start(why))
            GTEST_SKIP() << why;
        EngineTestBase::SetUp();
        Vx::RegisterTestEngineCreators(*sEngineFactory);
        Vx::RegisterTestCreators(*sTestFactory);
        sClient = Vx::MakeRCPtr<LDBusClient>();
        Vx::VB05::SetBluetoothManagerProvider([] { return sModel; });
    }

    void TearDown() override
    {
        Vx::VB05::SetBluetoothManagerProvider(nullptr);
        mEngine = nullptr;
        sModel = nullptr;
        sClient = nullptr;
        if (!mApp.IsNull())
            EngineTestBase::TearDown();
        mBluez.Stop();
        PrivateSystemBus::Stop();
    }

    void MakeModel() { sModel = Vx::MakeRCPtr<LBluetooth>(sClient); }

    void StartTest()
    {
        mEngine = sEngineFactory->Create(String(Vx::TID_IO_BLUETOOTH));
        ASSERT_FALSE(mEngine.IsNull());
        mStarted = std::chrono::steady_clock::now();
        ASSERT_EQ(mEngine->Start(), Vx::VXR_OK);
    }

    // The engine's result once the run has completed.
    std::int32_t Finish()
    {
        EXPECT_TRUE(PumpUntil([&] { return mRecorder->Count(Vx::kTestCompletedId) == 1; }, 60s));
        mFinished = std::chrono::steady_clock::now();
        for (const Received& received : mRecorder->mReceived)
        {
            if (received.id == Vx::kTestCompletedId)
                return received.result;
        }
        return -100;
    }

    Lines Log() { return Lines(VxTest::Lines(mEngine->GetLog())); }

    bool LogHas(const std::string& line)
    {
        for (const std::string& each : Log())
        {
            if (each == line)
                return true;
        }
        return false;
    }

    std::chrono::milliseconds Duration() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(mFinished - mStarted);
    }

    static inline Vx::RCPtr<LDBusClient> sClient;
    static inline Vx::RCPtr<LIBluetooth> sModel;
    MockBluez mBluez;
    Vx::RCPtr<LTestEngine> mEngine;
    std::chrono::steady_clock::time_point mStarted;
    std::chrono::steady_clock::time_point mFinished;
};

// The test's command runner writes the command, each output line (the last
// one without a line end too) and the exit status into the test's log.
TEST(BluetoothTestCommands, CommandsRunThroughTheTestLogTheirOutput)
{
    const Vx::RCPtr<Vx::VB05::LBluetoothTest2> test = Vx::MakeRCPtr<Vx::VB05::LBluetoothTest2>();
    RecordingCallbacks callbacks;
    test->SetCallbacks(&callbacks);
    std::int32_t status = -100;
    EXPECT_TRUE(test->Execute(String("printf 'one\\ntwo'"), status));
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(test->Execute(String("exit 3"), status));
    EXPECT_EQ(status, 3 * 256);
    test->SetCallbacks(nullptr);
    EXPECT_EQ(callbacks.What(), (Lines{"log:Executing command: printf 'one\\ntwo'", "log:one", "log:two",
                                       "log:Exit status: 0", "log:Executing command: exit 3", "log:Exit status: 768"}));
    // Nothing runs: the abort only wakes the held command.
    EXPECT_EQ(test->Abort(), 0);
}

TEST_F(BluetoothTestTest, TheIdMakesANewBluetoothTestEachTime)
{
    const Vx::RCPtr<Vx::LThreadedTest> one = sTestFactory->Create(String(Vx::TID_IO_BLUETOOTH));
    const Vx::RCPtr<Vx::LThreadedTest> two = sTestFactory->Create(String(Vx::TID_IO_BLUETOOTH));
    EXPECT_FALSE(Vx::RCPtr<Vx::VB05::LBluetoothTest2>(one).IsNull());
    EXPECT_FALSE(Vx::RCPtr<Vx::VB05::LBluetoothTest2>(two).IsNull());
    EXPECT_NE(one.Get(), two.Get());
    EXPECT_EQ(one->GetResult(), Vx::LThreadedTest::kResultNotRun);
}

// Every named device of the first list counts; one without RSSI shows 0.
TEST_F(BluetoothTestTest, NamedDevicesAlreadyListedPassAtOnce)
{
    mBluez.AddAdapter("hci0", "vx");
    mBluez.AddDevice("hci0", "AA:BB:CC:DD:EE:01", "Speaker");
    const std::string quiet = mBluez.AddDevice("hci0", "AA:BB:CC:DD:EE:02", "Quiet");
    mBluez.DropProperties(quiet, kDevice1, {"RSSI"});
    mBluez.AddDevice("hci0", "AA:BB:CC:DD:EE:03", "");
    MakeModel();
    StartTest();
    EXPECT_EQ(Finish(), LTestEngine::kResultSucceeded);

    Lines log = Log();
    ASSERT_EQ(log.size(), 7u) << ::testing::PrintToString(log);
    // The device lines come in the model's order.
    std::sort(log.begin() + 3, log.begin() + 5);
    EXPECT_EQ(
        log, (Lines{"Started TID_IO_BLUETOOTH", "Enabling bluetooth controller power", "Starting blueooth devices scan",
                    "AA:BB:CC:DD:EE:01: Speaker, rssi=-79", "AA:BB:CC:DD:EE:02: Quiet, rssi=0",
                    "Number of bluetooth devices found: 2", "Completed TID_IO_BLUETOOTH: succeeded"}));
    const std::string bluez = mBluez.GetLog();
    EXPECT_NE(bluez.find("StartDiscovery"), std::string::npos) << bluez;
    EXPECT_NE(bluez.find("StopDiscovery"), std::string::npos) << bluez;
}

TEST_F(BluetoothTestTest, OnlyUnnamedDevicesFailAfterTenSeconds)
{
    mBluez.AddAdapter("hci0", "vx");
    mBluez.AddDevice("hci0", "AA:BB:CC:DD:EE:03", "");
    MakeModel();
    StartTest();
    EXPECT_EQ(Finish(), LTestEngine::kResultFailed);
    EXPECT_EQ(Log(), (Lines{"Started TID_IO_BLUETOOTH", "Enabling bluetooth controller power",
                            "Starting blueooth devices scan", "Number of bluetooth devices found: 0",
                            "Completed TID_IO_BLUETOOTH: failed"}));
    // Half a second of power, then polls until more than 9999 ms have passed.
    EXPECT_GE(Duration(), 10500ms);
}

TEST_F(BluetoothTestTest, PowerRefusedFailsWithoutAScan)
{
    mBluez.AddAdapter("hci0", "vx");
    mBluez.SetProperty("/org/bluez/hci0", kAdapter1, "Powered", false);
    mBluez.RefusePower("hci0", true);
    mBluez.AddDevice("hci0", "AA:BB:CC:DD:EE:01", "Speaker");
    MakeModel();
    CaptureStderr capture;
    StartTest();
    EXPECT_EQ(Finish(), LTestEngine::kResultFailed);
    const std::string err = capture.Finish();
    EXPECT_EQ(Log(), (Lines{"Started TID_IO_BLUETOOTH", "Enabling bluetooth controller power",
                            "Completed TID_IO_BLUETOOTH: failed"}));
    EXPECT_NE(err.find("DBUS: method call failed: Blocked through rfkill\n"), std::string::npos) << err;
    EXPECT_EQ(mBluez.GetLog().find("StartDiscovery"), std::string::npos);
}

TEST_F(BluetoothTestTest, WithoutAnAdapterOrAModelTheTestFails)
{
    MakeModel();
    StartTest();
    EXPECT_EQ(Finish(), LTestEngine::kResultFailed);
    EXPECT_EQ(Log(), (Lines{"Started TID_IO_BLUETOOTH", "Enabling bluetooth controller power",
                            "Completed TID_IO_BLUETOOTH: failed"}));

    sModel = nullptr;
    mRecorder->mReceived.clear();
    StartTest();
    EXPECT_EQ(Finish(), LTestEngine::kResultFailed);
    EXPECT_EQ(Log(), (Lines{"Started TID_IO_BLUETOOTH", "Enabling bluetooth controller power",
                            "Completed TID_IO_BLUETOOTH: failed"}));
}

TEST_F(BluetoothTestTest, ANameArrivingDuringTheScanCountsAtTheNextPoll)
{
    mBluez.AddAdapter("hci0", "vx");
    const std::string late = mBluez.AddDevice("hci0", "AA:BB:CC:DD:EE:04", "");
    MakeModel();
    StartTest();
    ASSERT_TRUE(WaitFor([&] { return LogHas("Starting blueooth devices scan"); }));
    mBluez.SetProperty(late, kDevice1, "Name", std::string("Late"));
    EXPECT_EQ(Finish(), LTestEngine::kResultSucceeded);
    EXPECT_EQ(Log(), (Lines{"Started TID_IO_BLUETOOTH", "Enabling bluetooth controller power",
                            "Starting blueooth devices scan", "AA:BB:CC:DD:EE:04: Late, rssi=-79",
                            "Number of bluetooth devices found: 1", "Completed TID_IO_BLUETOOTH: succeeded"}));
}

// The abort sets the stop flag the scan looks at: the scan ends early and
// discovery is stopped.
TEST_F(BluetoothTestTest, AnAbortEndsTheScan)
{
    mBluez.AddAdapter("hci0", "vx");
    mBluez.AddDevice("hci0", "AA:BB:CC:DD:EE:03", "");
    MakeModel();
    StartTest();
    ASSERT_TRUE(WaitFor([&] { return LogHas("Starting blueooth devices scan"); }));
    EXPECT_EQ(mEngine->Abort(), Vx::VXR_OK);
    EXPECT_EQ(Finish(), LTestEngine::kResultAborted);
    EXPECT_EQ(Log(),
              (Lines{"Started TID_IO_BLUETOOTH", "Enabling bluetooth controller power",
                     "Starting blueooth devices scan", "Test was aborted", "Completed TID_IO_BLUETOOTH: aborted"}));
    EXPECT_NE(mBluez.GetLog().find("StopDiscovery"), std::string::npos);
}
} // namespace
