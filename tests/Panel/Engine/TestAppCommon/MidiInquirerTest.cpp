// The identity inquiry against the simulated board: requests, waiting,
// replies and the traffic that must not end the wait.

#include "Panel/Engine/TestAppCommon/MidiInquirerAndSerialProgrammer.h"

#include "tests/Panel/Engine/TestAppCommon/MidiProtocolTestSupport.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

using namespace VxTest;
using namespace std::chrono_literals;
using Vx::RCPtr;
using Vx::VxRESULT;

namespace
{
constexpr VxRESULT kFail = static_cast<VxRESULT>(0x80000008);
constexpr VxRESULT kInvalid = static_cast<VxRESULT>(0x80000003);
constexpr VxRESULT kNoData = static_cast<VxRESULT>(0x8000FFFF);

class MidiInquirer : public MidiWorld
{
protected:
    void SetUp() override
    {
        MidiWorld::SetUp();
        Sim::SimControllerBoard::Identity identity;
        identity.firmwareVersion = {1, 2, 3, 4};
        identity.deviceId = 0x05;
        identity.additionalData = {0x2A, 0x01};
        for (size_t i = 0; i < identity.manufacturingData.size(); ++i)
            identity.manufacturingData[i] = static_cast<uint8_t>('a' + i);
        board->setIdentity(identity);
        InstallManager();
        inquirer = Vx::LMidiInquirer::Create();
    }

    VxRESULT Inquire(const char* port = kBoard, int deviceId = 0x00, std::int32_t attempts = 1,
                     std::uint32_t timeoutMs = 1000)
    {
        CaptureStderr capture;
        const VxRESULT result = inquirer->Inquire(port, port, static_cast<signed char>(deviceId), attempts, timeoutMs);
        trace = capture.Finish();
        return result;
    }

    // The identity's reply, with other ids.
    Bytes ReplyOf(const Bytes& manufacturer, int productId)
    {
        auto identity = board->getIdentity();
        identity.manufacturerId = Raw(manufacturer);
        identity.productId = static_cast<uint8_t>(productId);
        return BytesOf(Sim::SimControllerBoard::makeIdentityReply(identity));
    }

    RCPtr<Vx::LMidiInquirer> inquirer;
    std::string trace;
};
} // namespace

TEST_F(MidiInquirer, SendsTheRequestAndDecodesTheReply)
{
    ASSERT_EQ(Inquire(), 0) << trace;
    EXPECT_EQ(BoardMessages(*board), (std::vector<Bytes>{{0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7}}));

    Vx::MidiInquiryResult result;
    ASSERT_EQ(inquirer->GetResult(result), 0);
    EXPECT_EQ(BytesOf(result.manufacturerID), (Bytes{0x00, 0x3A, 0x51}));
    EXPECT_EQ(result.productID, 0x0E);
    EXPECT_EQ(result.deviceID, 0x05);
    EXPECT_EQ(BytesOf(result.manufacturingData), BytesOf(ByteArray("abcdefghijklmnop")));
    EXPECT_STREQ(inquirer->GetFirmwareVersionString().GetCString(), "12.34");
    inquirer->SetVersionFormat(Vx::LMidiInquirer::kVersionFormatDotted);
    EXPECT_STREQ(inquirer->GetFirmwareVersionString().GetCString(), "1.2.3.4");
    EXPECT_STREQ(inquirer->GetManufacturingDataString().GetCString(), "6162636465666768696A6B6C6D6E6F70");
    EXPECT_STREQ(inquirer->GetAdditionalDataString().GetCString(), "42") << "its first byte alone";
    Vx::MidiDeviceDescription description;
    ASSERT_EQ(inquirer->GetDeviceDescription(description), 0);
    EXPECT_EQ(description.deviceID, 0x05);
    EXPECT_EQ(description.productID, 0x0E);

    for (const char* line :
         {"\nStarting MIDI inquiry\n", "  Inquiry output  : Control Surface\n", "  Inquiry input   : Control Surface\n",
          "  Inquiry attempt : 1\n", "  Inquiry request : F07E000601F7\n", "    ProductID     : 0E\n",
          "    DeviceID      : 05\n", "    FWVersion     : 12.34\n", "    AdditionalData: 2A01\n",
          "Finished MIDI inquiry\n\n"})
        EXPECT_NE(trace.find(line), std::string::npos) << line << trace;
}

TEST_F(MidiInquirer, ForeignAndMalformedTrafficDuringTheWaitIsIgnored)
{
    board->setIdentityAnswer({
        Raw({0x90, 0x3C, 0x7F}),                                           // never reaches the inquirer
        Raw({0xF0, 0x7D, 0x01, 0x02, 0xF7}),                               // someone else's System Exclusive
        Raw({0xF0, 0x00, 0x3A, 0x51, 0x00, 0x0E, 0x60, 0x00, 0x00, 0xF7}), // the maker's, no reply
        Raw({0xF0, 0x7E, 0x00, 0x06, 0x02, 0x00, 0x3A, 0x51, 0x0E, 0x00, 0x19, 0xF7}), // a reply cut short
        {},                                                                            // the board's own reply
    });
    ASSERT_EQ(Inquire(), 0) << trace;
    Vx::MidiInquiryResult result;
    ASSERT_EQ(inquirer->GetResult(result), 0);
    EXPECT_EQ(BytesOf(result.manufacturerID), (Bytes{0x00, 0x3A, 0x51}));
    EXPECT_EQ(CountOf(trace, "  Parsing message : "), 4) << trace;
    EXPECT_EQ(trace.find("  Parsing message : 903C7F"), std::string::npos) << "only System Exclusive arrives";
}

TEST_F(MidiInquirer, AnyWholeIdentityReplyEndsTheWait)
{
    // Which board it is, is for the manager's matching to say.
    board->setIdentityAnswer({Raw(ReplyOf({0x41}, 0x22))});
    ASSERT_EQ(Inquire(), 0) << trace;
    Vx::MidiInquiryResult result;
    ASSERT_EQ(inquirer->GetResult(result), 0);
    EXPECT_EQ(BytesOf(result.manufacturerID), (Bytes{0x41}));
    EXPECT_EQ(result.productID, 0x22);
}

TEST_F(MidiInquirer, ALateAnswerWithinTheTimeLimitCountsAndOneAfterItDoesNot)
{
    board->setAnswerDelay(100ms);
    EXPECT_EQ(Inquire(kBoard, 0x00, 1, 1000), 0) << trace;

    board->setAnswerDelay(400ms);
    EXPECT_EQ(Inquire(kBoard, 0x00, 1, 100), kFail) << trace;
    EXPECT_NE(trace.find("  Inquiry error   : no valid response"), std::string::npos);
    Vx::MidiInquiryResult result;
    EXPECT_EQ(inquirer->GetResult(result), kNoData);
    Vx::MidiDeviceDescription description;
    EXPECT_EQ(inquirer->GetDeviceDescription(description), kNoData);
    EXPECT_STREQ(inquirer->GetAdditionalDataString().GetCString(), "N/A");

    // The late reply, when it comes, changes nothing.
    ASSERT_TRUE(board->waitUntilIdle());
    EXPECT_EQ(inquirer->GetResult(result), kNoData);
    EXPECT_STREQ(inquirer->GetFirmwareVersionString().GetCString(), "N/A");
}

TEST_F(MidiInquirer, ABoardThatNeverAnswersGetsEveryAttempt)
{
    board->setIdentityAnswer({});
    EXPECT_EQ(Inquire(kBoard, 0x00, 3, 50), kFail);
    EXPECT_EQ(board->getNumIdentityRequests(), 3);
    EXPECT_EQ(CountOf(trace, "  Inquiry error   : no valid response"), 3) << trace;
    EXPECT_NE(trace.find("  Inquiry attempt : 3"), std::string::npos);

    // A malformed answer is no answer either.
    board->setIdentityAnswer({Raw({0xF0, 0x7E, 0x00, 0x06, 0x02, 0x00, 0x3A, 0x51, 0xF7})});
    EXPECT_EQ(Inquire(kBoard, 0x00, 1, 50), kFail);

    // A board addressed by another device id keeps quiet.
    board->setIdentityAnswer({Sim::SimControllerBoard::Bytes()});
    EXPECT_EQ(Inquire(kBoard, 0x05, 1, 50), kFail);
    EXPECT_EQ(Inquire(kBoard, 0x7F, 1, 1000), 0) << "all boards";
}

TEST_F(MidiInquirer, TheMidiThroughEchoIsNoReply)
{
    EXPECT_EQ(Inquire("Midi Through", 0x00, 1, 100), kFail);
    EXPECT_NE(trace.find("  Parsing message : F07E000601F7"), std::string::npos) << trace;
    EXPECT_EQ(board->getNumIdentityRequests(), 0);
}

TEST_F(MidiInquirer, AttemptsAndPortsOutOfTheOrdinary)
{
    // No attempt: nothing sent, the open's code, no reply.
    EXPECT_EQ(Inquire(kBoard, 0x00, 0), 0);
    Vx::MidiInquiryResult result;
    EXPECT_EQ(inquirer->GetResult(result), kNoData);
    // A negative count ends at once, before any port is opened.
    EXPECT_EQ(Inquire(kBoard, 0x00, -1), kInvalid);
    EXPECT_EQ(Inquire(kBoard, 0x00, INT32_MIN), kInvalid);
    EXPECT_EQ(board->getNumIdentityRequests(), 0);

    EXPECT_EQ(Inquire("Nobody Lists Me"), kFail);
    EXPECT_NE(trace.find("  Inquiry error   : failed to open MIDI ports"), std::string::npos) << trace;
    EXPECT_EQ(inquirer->Inquire("", "", 0, 1, 10), kInvalid);

    // An unplugged board's ports are gone until it is back.
    board->unplug();
    EXPECT_EQ(Inquire(), kFail);
    board->plugIn();
    EXPECT_EQ(Inquire(), 0);
}
