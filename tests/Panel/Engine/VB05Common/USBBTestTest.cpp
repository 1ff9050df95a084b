#include "Panel/Engine/VB05Common/USBBTest.h"

#include "Panel/Engine/VB05Common/Platform/VB05Multiplexer.h"
#include "Panel/Engine/VB05Common/Platform/VB05USBHub.h"
#include "Panel/Main/TestIdentifiers.h"
#include "Panel/Main/TestRegistrations.h"
#include "sim/SimulatedDevice.h"

#include "tests/Panel/Engine/TestAppCommon/EngineTestSupport.h"
#include "tests/support/CaptureStderr.h"
#include "tests/support/SimTools.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace
{
namespace fs = std::filesystem;
using String = Vx::StringT<char, unsigned short>;
using Lines = std::vector<std::string>;
using Calls = std::vector<std::vector<std::string>>;
using Requirement = Vx::VB05::LUSBBTestImpl::PortStatusRequirement;
using Vx::VB05::LUSBBTestImpl;
using namespace std::chrono_literals;

// The simulated board: the multiplexer's script switches its state file, the
// hub answers on its bus with the port bytes the test sets.
class USBBTestFixture : public VxTest::EngineTestBase
{
protected:
    USBBTestFixture()
    {
        mDevice.install();
        mRoot = mDevice.getRoot().getFullPathName().toStdString();
        mTools.SetScript("vb05-usbmux-switch",
                         "printf '%s\\n' \"$1\" > '" + mRoot + Vx::VB05::kUSBMuxStatePath + "'\n");
        SetUSBMux("internal");
        mDevice.deviceCalls.addI2cDevice(1, Vx::VB05::kUSBHubAddress, [this](i2c_msg* messages, std::uint32_t count) {
            ++mTransfers;
            if (mTransfers == mFailingTransfer)
                return -EIO;
            if (count == 2 && (messages[1].flags & I2C_M_RD) != 0)
            {
                for (std::uint16_t i = 0; i < messages[1].len && i < 16; ++i)
                    messages[1].buf[i] = i >= 4 && i < 12 ? mPorts[i - 4] : 0;
            }
            return 0;
        });
    }

    void SetUp() override
    {
        EngineTestBase::SetUp();
        Vx::RegisterTestEngineCreators(*sEngineFactory);
        Vx::RegisterTestCreators(*sTestFactory);
    }

    void SetUSBMux(const std::string& state)
    {
        mDevice.writeSystemFile(Vx::VB05::kUSBMuxStatePath, (state + "\n").data(), state.size() + 1);
    }
    std::string USBMux() const
    {
        std::ifstream stream(mRoot + Vx::VB05::kUSBMuxStatePath);
        std::string state;
        stream >> state;
        return state;
    }

    struct Outcome
    {
        Lines log;
        std::int32_t result = -100;
    };

    // One run of the test made for the id by the application's factories, or
    // of a test registered for the occasion.
    Outcome RunThroughEngine(const char* testId)
    {
        const Vx::RCPtr<Vx::LTestEngine> engine = sEngineFactory->Create(String(testId));
        EXPECT_FALSE(engine.IsNull());
        if (engine.IsNull())
            return {};
        mRecorder->mReceived.clear();
        mTransfers = 0;
        VxTest::CaptureStderr capture;
        EXPECT_EQ(engine->Start(), Vx::VXR_OK);
        EXPECT_TRUE(VxTest::PumpUntil([&] { return mRecorder->Count("NID_TEST_COMPLETED") == 1; }, 30s));
        mTrace = capture.Finish();
        Outcome outcome{VxTest::Lines(engine->GetLog()), -100};
        for (const VxTest::Received& received : mRecorder->mReceived)
        {
            if (received.id == "NID_TEST_COMPLETED")
                outcome.result = received.result;
        }
        return outcome;
    }

    // A run under a test id of its own, for a USB-B test with these requirements.
    Outcome RunWith(const char* testId, const Vx::Array<Requirement>& requirements, std::int32_t finalMuxState)
    {
        const String id(testId);
        sEngineFactory->Register(id, [id] { return Vx::MakeRCPtr<Vx::LTestEngine>(id); });
        sTestFactory->Register(id, [requirements, finalMuxState] {
            return Vx::RCPtr<Vx::LThreadedTest>(LUSBBTestImpl::Create(requirements, finalMuxState));
        });
        return RunThroughEngine(testId);
    }

    static Lines PortLines(const std::vector<std::string>& texts)
    {
        Lines lines;
        for (std::size_t port = 0; port < texts.size(); ++port)
            lines.push_back("Port #" + std::to_string(port) + " (" + (port == 0 ? "upstream" : "downstream") +
                            ") status: " + texts[port]);
        return lines;
    }

    Sim::SimulatedDevice mDevice;
    VxTest::ScopedSimTools mTools;
    std::string mRoot;
    std::string mTrace;
    std::uint8_t mPorts[8] = {};
    int mTransfers = 0;
    int mFailingTransfer = 0;
};

const Lines kUntilQuery{"Setting USB mux to external", "Waiting 2000 ms for SATA bridge to reset",
                        "Reading USB mux state", "Querying hub ports status"};
const Lines kRestore{"Setting USB mux state to internal", "Waiting 1 second for devices to enumerate"};

Lines Concat(std::initializer_list<Lines> parts)
{
    Lines all;
    for (const Lines& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST_F(USBBTestFixture, TheRegisteredTestWantsTheHostAtUSB3SpeedOnTheUpstreamPort)
{
    struct Case
    {
        const char* name;
        std::uint8_t port0;
        const char* text;
        bool passes;
    };
    const Case cases[] = {
        {"USB 3 host", 0x01, "USB3Connected ", true},
        {"USB 2 host only", 0x02, "USB2Connected ", false},
        {"no cable", 0x00, "Disconnected", false},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.name);
        std::fill(std::begin(mPorts), std::end(mPorts), 0);
        mPorts[0] = test.port0;
        // A stick on port 2, and USB 3 bits on port 6 that do not count.
        mPorts[2] = 0x22;
        mPorts[6] = 0x13;
        const Outcome outcome = RunThroughEngine(Vx::TID_IO_USBB);
        const Lines expected = Concat({
            {"Started TID_IO_USBB"},
            kUntilQuery,
            PortLines({test.text, "Disconnected", "USB2Connected USB2Suspended ", "Disconnected", "Disconnected",
                       "Disconnected", "USB2Connected ", "Disconnected"}),
            {std::string("Connection requirement for port #0 (upstream): USB3Connection (") +
             (test.passes ? "PASSED" : "FAILED") + ")"},
            kRestore,
            {std::string("Completed TID_IO_USBB: ") + (test.passes ? "succeeded" : "failed")},
        });
        EXPECT_EQ(outcome.log, expected);
        EXPECT_EQ(outcome.result, test.passes ? Vx::LTestEngine::kResultSucceeded : Vx::LTestEngine::kResultFailed);
        EXPECT_EQ(USBMux(), "internal");
        EXPECT_EQ(mDevice.deviceCalls.getNumOpenDescriptors(), 0);
    }
    EXPECT_EQ(mTools.Calls(), (Calls{{"vb05-usbmux-switch", "external"},
                                     {"modprobe", "i2c-dev"},
                                     {"vb05-usbmux-switch", "internal"},
                                     {"vb05-usbmux-switch", "external"},
                                     {"modprobe", "i2c-dev"},
                                     {"vb05-usbmux-switch", "internal"},
                                     {"vb05-usbmux-switch", "external"},
                                     {"modprobe", "i2c-dev"},
                                     {"vb05-usbmux-switch", "internal"}}));
}

TEST_F(USBBTestFixture, AHubFailureAtEachStepFailsTheTestAndTheMultiplexerIsRestored)
{
    struct Case
    {
        const char* name;
        std::function<void()> arrange;
    };
    const Case cases[] = {
        {"the module", [&] { mTools.SetAnswer("modprobe", "", 1); }},
        {"the bus", [&] { mDevice.deviceCalls.faults.failNext(Sim::SimDeviceCalls::Call::open, ENOENT); }},
        {"the first command", [&] { mFailingTransfer = 1; }},
        {"the second command", [&] { mFailingTransfer = 2; }},
        {"the result", [&] { mFailingTransfer = 3; }},
    };
    mPorts[0] = 0x01;
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.name);
        test.arrange();
        const Outcome outcome = RunThroughEngine(Vx::TID_IO_USBB);
        EXPECT_EQ(outcome.log, Concat({{"Started TID_IO_USBB"},
                                       kUntilQuery,
                                       {"Failed to read ports status"},
                                       kRestore,
                                       {"Completed TID_IO_USBB: failed"}}));
        EXPECT_EQ(USBMux(), "internal");
        EXPECT_EQ(mDevice.deviceCalls.getNumOpenDescriptors(), 0);
        mTools.SetAnswer("modprobe", "", 0);
        mFailingTransfer = 0;
    }
}

TEST_F(USBBTestFixture, TheMultiplexerFailingEndsTheTestBeforeTheHub)
{
    // The switch fails: the multiplexer never left internal, nothing to restore.
    mTools.SetScript("vb05-usbmux-switch", "exit 1\n");
    Outcome outcome = RunThroughEngine(Vx::TID_IO_USBB);
    EXPECT_EQ(outcome.log, (Lines{"Started TID_IO_USBB", "Setting USB mux to external",
                                  "Failed to switch USB mux to external state", "Completed TID_IO_USBB: failed"}));

    // The switch claims success but the state stays internal.
    mTools.SetScript("vb05-usbmux-switch", "exit 0\n");
    outcome = RunThroughEngine(Vx::TID_IO_USBB);
    EXPECT_EQ(outcome.log,
              (Lines{"Started TID_IO_USBB", "Setting USB mux to external", "Waiting 2000 ms for SATA bridge to reset",
                     "Reading USB mux state", "USB mux state is not external", "Completed TID_IO_USBB: failed"}));

    // The state cannot be read: it is set back all the same.
    mTools.SetScript("vb05-usbmux-switch", "[ \"$1\" = internal ] && printf 'internal\\n' > '" + mRoot +
                                               Vx::VB05::kUSBMuxStatePath + "' && exit 0\nprintf 'between\\n' > '" +
                                               mRoot + Vx::VB05::kUSBMuxStatePath + "'\n");
    outcome = RunThroughEngine(Vx::TID_IO_USBB);
    EXPECT_EQ(outcome.log,
              Concat({{"Started TID_IO_USBB", "Setting USB mux to external", "Waiting 2000 ms for SATA bridge to reset",
                       "Reading USB mux state", "Failed to read USB mux state"},
                      kRestore,
                      {"Completed TID_IO_USBB: failed"}}));
    EXPECT_EQ(USBMux(), "internal");
    for (const auto& call : mTools.Calls())
        EXPECT_NE(call[0], "modprobe");
}

TEST_F(USBBTestFixture, EveryRequirementIsJudgedAndTheMultiplexerEndsAsAsked)
{
    mPorts[0] = 0x01;
    mPorts[3] = 0x02;
    Vx::Array<Requirement> requirements;
    requirements.Add({3, LUSBBTestImpl::NotConnected});
    requirements.Add({3, LUSBBTestImpl::USB2orUSB3Connection});
    requirements.Add({8, LUSBBTestImpl::USB2Connection});
    requirements.Add({1, LUSBBTestImpl::DontCare});
    Outcome outcome = RunWith("TID_USBB_JUDGED", requirements, 1);
    const Lines judged{"Connection requirement for port #3 (downstream): NotConnected (FAILED)",
                       "Connection requirement for port #3 (downstream): USB2orUSB3Connection (PASSED)",
                       "Connection requirement for port #8 (UNKNOWN): USB2Connection (FAILED)",
                       "Connection requirement for port #1 (downstream): DontCare (PASSED)",
                       "Completed TID_USBB_JUDGED: failed"};
    ASSERT_GE(outcome.log.size(), judged.size());
    EXPECT_EQ(Lines(outcome.log.end() - static_cast<std::ptrdiff_t>(judged.size()), outcome.log.end()), judged);
    // Port 8 has no status: an assertion, judged as showing nothing.
    EXPECT_EQ(VxTest::CountAssertions(mTrace, "USBBTest.cpp"), 1) << mTrace;
    // Left external as asked: no restore.
    EXPECT_EQ(USBMux(), "external");

    // No requirements: the ports are listed and the test passes; the
    // multiplexer goes back from external.
    outcome = RunWith("TID_USBB_NONE", {}, 0);
    EXPECT_EQ(outcome.log, Concat({{"Started TID_USBB_NONE"},
                                   kUntilQuery,
                                   PortLines({"USB3Connected ", "Disconnected", "Disconnected", "USB2Connected ",
                                              "Disconnected", "Disconnected", "Disconnected", "Disconnected"}),
                                   kRestore,
                                   {"Completed TID_USBB_NONE: succeeded"}}));
    EXPECT_EQ(USBMux(), "internal");
}

TEST_F(USBBTestFixture, OnTheKS52AndKS56TheHubPortsMediaAreUnmountedBeforeAndAfter)
{
    mPorts[0] = 0x01;
    mDevice.writeSystemFile("/dev/sdb1", "", 0);
    fs::create_directories(mRoot + "/dev/disk/by-path");
    fs::create_symlink("../../sdb1",
                       mRoot + "/dev/disk/by-path/platform-ff500000.usb-usb-0:1.2:1.0-scsi-0:0:0:0-part1");
    for (const char* compatible : {"korvatek,ks52", "korvatek,ks56", "korvatek,rn12"})
    {
        SCOPED_TRACE(compatible);
        mDevice.setCompatible({compatible});
        const std::size_t before = mTools.Calls().size();
        RunThroughEngine(Vx::TID_IO_USBB);
        Calls umounts;
        const Calls calls = mTools.Calls();
        for (std::size_t i = before; i < calls.size(); ++i)
        {
            if (calls[i][0] == "umount")
                umounts.push_back(calls[i]);
        }
        const bool unmounts = std::string(compatible) != "korvatek,rn12";
        EXPECT_EQ(umounts, unmounts ? (Calls{{"umount", "/dev/sdb1"}, {"umount", "/dev/sdb1"}}) : Calls{});
    }
}

TEST(USBBRequirements, KindsAreMetAndNamedAsTheTableSays)
{
    struct Case
    {
        std::int32_t kind;
        const char* name;
        bool met[5]; // by the status words below
    };
    const std::uint32_t statuses[] = {0x00, 0x01, 0x02, 0x03, 0x20};
    const Case cases[] = {
        {0, "NotConnected", {true, false, false, false, false}},
        {1, "USB2Connection", {false, false, true, true, false}},
        {2, "USB3Connection", {false, true, false, true, false}},
        {3, "USB2orUSB3Connection", {false, true, true, true, false}},
        {4, "DontCare", {true, true, true, true, true}},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.name);
        const auto kind = static_cast<LUSBBTestImpl::ConnectionRequirement>(test.kind);
        EXPECT_STREQ(LUSBBTestImpl::GetRequirementName(kind).GetCString(), test.name);
        for (std::size_t i = 0; i < std::size(statuses); ++i)
            EXPECT_EQ(LUSBBTestImpl::IsRequirementMet(kind, statuses[i]), test.met[i]) << statuses[i];
    }
    for (const std::int32_t value : {5, -1})
    {
        const auto kind = static_cast<LUSBBTestImpl::ConnectionRequirement>(value);
        VxTest::CaptureStderr capture;
        EXPECT_STREQ(LUSBBTestImpl::GetRequirementName(kind).GetCString(), "None");
        EXPECT_FALSE(LUSBBTestImpl::IsRequirementMet(kind, 0x03));
        const std::string err = capture.Finish();
        EXPECT_EQ(VxTest::CountAssertions(err, "USBBTest.cpp"), 2) << err;
    }
    // An array's own new record asks nothing of port 0.
    Vx::Array<Requirement> requirements;
    requirements.SetCount(1);
    EXPECT_EQ(requirements[0].port, 0);
    EXPECT_EQ(requirements[0].requirement, LUSBBTestImpl::DontCare);
}
} // namespace
