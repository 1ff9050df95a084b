#include "Panel/Engine/VB05Common/Platform/VB05Multiplexer.h"
#include "Panel/Engine/VB05Common/Platform/VB05USBHub.h"

#include "tests/Panel/Engine/VB05Common/Platform/PlatformTestSupport.h"
#include "tests/support/CaptureStderr.h"

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace
{
namespace fs = std::filesystem;
using String = Vx::StringT<char, unsigned short>;
using Strings = std::vector<std::string>;
using Calls = std::vector<std::vector<std::string>>;
using namespace Vx::VB05;
using namespace std::string_literals;

class MultiplexerTest : public VxTest::PlatformTest
{
protected:
    void SetStateFile(const char* path, const std::optional<std::string>& text)
    {
        fs::remove(TreePath(path));
        if (text.has_value())
            WriteSystemFile(path, *text);
    }
};

TEST_F(MultiplexerTest, StatesAreReadByTheirNames)
{
    struct Case
    {
        std::optional<std::string> text;
        bool sdResult;
        MuxState sdState;
        bool usbResult;
        MuxState usbState;
    };
    // The out value starts as 7: whatever a call leaves alone stays 7.
    const auto untouched = static_cast<MuxState>(7);
    const Case cases[] = {
        {"internal\n"s, true, MUX_STATE_INTERNAL, true, MUX_STATE_INTERNAL},
        {"external"s, true, MUX_STATE_EXTERNAL, true, MUX_STATE_EXTERNAL},
        {"External\n"s, false, untouched, false, MUX_STATE_UNKNOWN},
        {""s, false, untouched, false, MUX_STATE_UNKNOWN},
        // A board without the USB multiplexer counts as internal.
        {std::nullopt, false, untouched, true, MUX_STATE_INTERNAL},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.text.value_or("(no file)"));
        SetStateFile(kSDMuxStatePath, test.text);
        SetStateFile(kUSBMuxStatePath, test.text);
        MuxState sd = untouched;
        MuxState usb = untouched;
        EXPECT_EQ(GetSDMuxState(sd), test.sdResult);
        EXPECT_EQ(sd, test.sdState);
        EXPECT_EQ(GetUSBMuxState(usb), test.usbResult);
        EXPECT_EQ(usb, test.usbState);
        EXPECT_EQ(SDMuxExists(), test.text.has_value());
    }
}

TEST_F(MultiplexerTest, StateNames)
{
    for (const std::int32_t value : {0, 1, 2, -1})
    {
        SCOPED_TRACE(value);
        const auto state = static_cast<MuxState>(value);
        const bool known = value == 0 || value == 1;
        const char* const name = value == 0 ? "internal" : "external";
        String sd("untouched");
        String usb("untouched");
        EXPECT_EQ(GetSDMuxStateName(state, sd), known);
        EXPECT_EQ(GetUSBMuxStateName(state, usb), known);
        EXPECT_STREQ(sd.GetCString(), known ? name : "untouched");
        EXPECT_STREQ(usb.GetCString(), known ? name : "unknown");
    }
}

TEST_F(MultiplexerTest, TheSDMultiplexerIsWrittenAndGivenTimeToSettle)
{
    SetStateFile(kSDMuxStatePath, "internal\n"s);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(SetSDMuxState(MUX_STATE_EXTERNAL));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    EXPECT_EQ(ReadSystemFile(kSDMuxStatePath), "external");

    // Another state is refused before anything is written.
    EXPECT_FALSE(SetSDMuxState(static_cast<MuxState>(2)));
    EXPECT_EQ(ReadSystemFile(kSDMuxStatePath), "external");

    // A write that fails still waits, and fails.
    fs::remove_all(TreePath("/sys/bus"));
    const auto failedStart = std::chrono::steady_clock::now();
    EXPECT_FALSE(SetSDMuxState(MUX_STATE_INTERNAL));
    EXPECT_GE(std::chrono::steady_clock::now() - failedStart, std::chrono::milliseconds(200));
}

TEST_F(MultiplexerTest, TheUSBMultiplexerIsSwitchedByTheBoardsScript)
{
    mTools.SetScript("vb05-usbmux-switch", "[ \"$1\" = external ] && exit 0\nexit 3\n");
    VxTest::CaptureStderr capture;
    EXPECT_TRUE(SetUSBMuxState(MUX_STATE_EXTERNAL));
    EXPECT_FALSE(SetUSBMuxState(MUX_STATE_INTERNAL));
    EXPECT_FALSE(SetUSBMuxState(static_cast<MuxState>(2)));
    // The name reaches the script's tool as one word.
    EXPECT_FALSE(RunUSBMuxSwitch(String("external; touch x")));
    const std::string err = capture.Finish();
    const Strings lines{"Setting USB mux state to external", "Setting USB mux state: external",
                        "Setting USB mux state to internal", "Setting USB mux state: internal",
                        "Setting USB mux state: external; touch x"};
    EXPECT_EQ(VxTest::LinesAmong(err, lines), lines);
    EXPECT_EQ(mTools.Calls(), (Calls{{"vb05-usbmux-switch", "external"},
                                     {"vb05-usbmux-switch", "internal"},
                                     {"vb05-usbmux-switch", "external; touch x"}}));
}

//==============================================================================
// The hub on the simulated bus: it keeps what it was told and answers the
// result transfer with its status bytes; a step can be made to fail.
class USBHubTest : public VxTest::PlatformTest
{
protected:
    USBHubTest()
    {
        mDevice.deviceCalls.addI2cDevice(1, kUSBHubAddress, [this](i2c_msg* messages, std::uint32_t count) {
            ++mTransfers;
            if (mTransfers == mFailingTransfer)
                return -EIO;
            if (count == 2 && (messages[1].flags & I2C_M_RD) != 0)
            {
                for (std::uint16_t i = 0; i < messages[1].len && i < mAnswer.size(); ++i)
                    messages[1].buf[i] = mAnswer[i];
            }
            return 0;
        });
    }

    // The status bytes of ports 0 to 7 in an answer.
    void SetPorts(const std::vector<std::uint8_t>& ports)
    {
        mAnswer.assign(16, 0xEE);
        for (std::size_t port = 0; port < ports.size(); ++port)
            mAnswer[4 + port] = ports[port];
    }

    bool Query(std::string& err)
    {
        mTransfers = 0;
        VxTest::CaptureStderr capture;
        const bool result = USBHubStatus::GetInstance().Query();
        err = capture.Finish();
        return result;
    }

    std::vector<std::uint8_t> mAnswer = std::vector<std::uint8_t>(16, 0);
    int mTransfers = 0;
    int mFailingTransfer = 0;
};

TEST_F(USBHubTest, AQuerySendsTheCommandsByteForByteAndKeepsThePorts)
{
    SetPorts({0x02, 0x01, 0x22, 0x00, 0x03, 0x11, 0x33, 0x12});
    std::string err;
    ASSERT_TRUE(Query(err));

    using Message = Sim::SimDeviceCalls::I2cMessage;
    const auto transfers = mDevice.deviceCalls.getI2cTransfers();
    ASSERT_EQ(transfers.size(), 3u);
    const auto expectMessages = [](const Sim::SimDeviceCalls::I2cTransfer& transfer,
                                   const std::vector<Message>& expected) {
        EXPECT_EQ(transfer.bus, 1);
        ASSERT_EQ(transfer.messages.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i)
        {
            EXPECT_EQ(transfer.messages[i].address, expected[i].address);
            EXPECT_EQ(transfer.messages[i].flags, expected[i].flags);
            EXPECT_EQ(transfer.messages[i].bytes, expected[i].bytes);
        }
    };
    expectMessages(transfers[0], {{0x2D, 0, {0x00, 0x00, 0x03, 0x80, 0x00, 0xFF}}});
    expectMessages(transfers[1], {{0x2D, 0, {0x99, 0x3E, 0x00}}});
    expectMessages(transfers[2], {{0x2D, 0, {0x00, 0x00}}, {0x2D, I2C_M_RD, mAnswer}});
    EXPECT_EQ(mDevice.deviceCalls.getNumOpenDescriptors(), 0);
    EXPECT_EQ(mTools.Calls(), (Calls{{"modprobe", "i2c-dev"}}));

    const Strings lines{"Loading i2c-dev module",
                        "Opening i2c-1 device",
                        "Writing \"Get Port Device Status\" command",
                        "Executing \"Extended Status\" Commands",
                        "Reading \"Get Port Device Status\" command result",
                        "Received byte #00: 0xee",
                        "Received byte #04: 0x02",
                        "Received byte #09: 0x11",
                        "Received byte #0F: 0xee"};
    EXPECT_EQ(VxTest::LinesAmong(err, lines), lines);

    // Ports 5 to 7 lose their USB 3 bits.
    const std::uint32_t expected[] = {0x02, 0x01, 0x22, 0x00, 0x03, 0x00, 0x22, 0x02};
    for (std::int32_t port = 0; port < 8; ++port)
    {
        std::uint32_t status = 0xDEAD;
        EXPECT_TRUE(USBHubStatus::GetInstance().GetPortStatus(port, status));
        EXPECT_EQ(status, expected[port]) << port;
    }
    for (const std::int32_t port : {8, -1})
    {
        std::uint32_t status = 0xDEAD;
        EXPECT_FALSE(USBHubStatus::GetInstance().GetPortStatus(port, status));
        EXPECT_EQ(status, 0xDEADu);
    }
}

TEST_F(USBHubTest, AFailureAtEachStepLeavesTheStatusInvalid)
{
    struct Case
    {
        const char* name;
        std::function<void()> arrange;
        std::string line;
    };
    const Case cases[] = {
        {"the module does not load", [&] { mTools.SetAnswer("modprobe", "", 1); },
         "Failed to load i2c-dev module: status=256"},
        {"the bus does not open", [&] { mDevice.deviceCalls.faults.failNext(Sim::SimDeviceCalls::Call::open, EACCES); },
         "Failed to open i2c device: errno=13"},
        {"the first command", [&] { mFailingTransfer = 1; }, "I2C_RDWR failed: errno=5"},
        {"the second command", [&] { mFailingTransfer = 2; }, "I2C_RDWR failed: errno=5"},
        {"the result", [&] { mFailingTransfer = 3; }, "I2C_RDWR failed: errno=5"},
    };
    SetPorts({0x01});
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.name);
        std::string err;
        ASSERT_TRUE(Query(err));
        test.arrange();
        EXPECT_FALSE(Query(err));
        EXPECT_EQ(VxTest::LinesAmong(err, {test.line}), Strings{test.line}) << err;
        std::uint32_t status = 0xDEAD;
        for (std::int32_t port = 0; port < 8; ++port)
            EXPECT_FALSE(USBHubStatus::GetInstance().GetPortStatus(port, status));
        EXPECT_EQ(status, 0xDEADu);
        EXPECT_EQ(mDevice.deviceCalls.getNumOpenDescriptors(), 0);
        mTools.SetAnswer("modprobe", "", 0);
        mFailingTransfer = 0;
    }
}

TEST(USBHubStatusObject, NothingCanBeReadBeforeAQuery)
{
    USBHubStatus hub;
    std::uint32_t status = 0xDEAD;
    for (std::int32_t port = 0; port < 8; ++port)
        EXPECT_FALSE(hub.GetPortStatus(port, status));
    EXPECT_EQ(status, 0xDEADu);
    EXPECT_EQ(&USBHubStatus::GetInstance(), &USBHubStatus::GetInstance());
}

TEST(USBHubTexts, PortsAndStatusWordsAreNamedAsTheTablesSay)
{
    const std::pair<std::int32_t, const char*> directions[] = {
        {0, "upstream"}, {1, "downstream"}, {7, "downstream"}, {8, "UNKNOWN"}, {-1, "UNKNOWN"}};
    for (const auto& [port, name] : directions)
        EXPECT_STREQ(GetUSBPortDirectionName(port).GetCString(), name) << port;

    const std::pair<std::uint32_t, const char*> statuses[] = {
        {0x00, "Disconnected"},
        {0x01, "USB3Connected "},
        {0x02, "USB2Connected "},
        {0x22, "USB2Connected USB2Suspended "},
        {0x33, "USB3Connected USB2Connected USB3Suspended USB2Suspended "},
        {0x10, "USB3Suspended "},
        // Bits without a name say nothing.
        {0x0C, ""},
        {0xC4, ""},
        {0x81, "USB3Connected "},
    };
    for (const auto& [status, text] : statuses)
        EXPECT_STREQ(FormatUSBPortStatus(status).GetCString(), text) << status;
}
} // namespace
