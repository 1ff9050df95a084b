#include "Panel/Main/TestRegistrations.h"

#include "Panel/Engine/VB05Common/RAMTest.h"
#include "Panel/Engine/VB05Common/StorageTest.h"
#include "Panel/Engine/VB05Common/USBBTest.h"
#include "Panel/Main/TestIdentifiers.h"

#include "tests/Panel/Engine/TestAppCommon/EngineTestSupport.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace VxTest;

namespace
{
using Vx::LTestEngine;

// The factories as start-up fills them.
class RegistrationsTest : public EngineTestBase
{
protected:
    void SetUp() override
    {
        EngineTestBase::SetUp();
        Vx::RegisterTestEngineCreators(*sEngineFactory);
        Vx::RegisterTestCreators(*sTestFactory);
    }
};

TEST_F(RegistrationsTest, EveryIdHasItsOwnEngines)
{
    for (const char* id : Vx::kTestIds)
    {
        SCOPED_TRACE(id);
        const Vx::RCPtr<LTestEngine> one = sEngineFactory->Create(String(id));
        const Vx::RCPtr<LTestEngine> two = sEngineFactory->Create(String(id));
        ASSERT_FALSE(one.IsNull());
        ASSERT_FALSE(two.IsNull());
        EXPECT_NE(one.Get(), two.Get());
        EXPECT_EQ(std::string(one->GetName().GetCString()), id);
        // Nothing is registered twice.
        EXPECT_EQ(sEngineFactory->Register(String(id), [] { return Vx::RCPtr<LTestEngine>(); }), Vx::VXR_E_FAIL);
    }
}

TEST_F(RegistrationsTest, TheDummyIdMakesANewDummyTestEachTime)
{
    const Vx::RCPtr<Vx::LThreadedTest> one = sTestFactory->Create(String(Vx::TID_DUMMY));
    const Vx::RCPtr<Vx::LThreadedTest> two = sTestFactory->Create(String(Vx::TID_DUMMY));
    const Vx::RCPtr<Vx::LDummyTest> dummy(one);
    ASSERT_FALSE(dummy.IsNull());
    EXPECT_EQ(dummy->GetSleepTime(), 1000);
    EXPECT_EQ(dummy->GetConfiguredResult(), 0);
    EXPECT_NE(one.Get(), two.Get());
}

TEST_F(RegistrationsTest, TheRamIdMakesANewRamTestEachTime)
{
    const Vx::RCPtr<Vx::LThreadedTest> one = sTestFactory->Create(String(Vx::TID_RAM));
    const Vx::RCPtr<Vx::LThreadedTest> two = sTestFactory->Create(String(Vx::TID_RAM));
    EXPECT_FALSE(Vx::RCPtr<Vx::VB05::LRAMTest>(one).IsNull());
    EXPECT_FALSE(Vx::RCPtr<Vx::VB05::LRAMTest>(two).IsNull());
    EXPECT_NE(one.Get(), two.Get());
    EXPECT_EQ(one->GetResult(), Vx::LThreadedTest::kResultNotRun);
}

TEST_F(RegistrationsTest, TheStorageAndUSBBIdsMakeTheirTestsEachTime)
{
    using namespace Vx::VB05;
    struct Case
    {
        const char* id;
        std::function<bool(const Vx::RCPtr<Vx::LThreadedTest>&)> isExpected;
    };
    const auto usbDisk = [](const char* disk) {
        return [disk](const Vx::RCPtr<Vx::LThreadedTest>& test) {
            const Vx::RCPtr<LStorageTestUSB> usb(test);
            return !usb.IsNull() && std::string(usb->GetDiskPath().GetCString()) == disk;
        };
    };
    const Case cases[] = {
        {Vx::TID_MEDIA_EMMC, [](const auto& test) { return !Vx::RCPtr<LStorageTestInternalFlash>(test).IsNull(); }},
        {Vx::TID_MEDIA_USB_FRONT_1, usbDisk("platform-ff500000.usb-usb-0:1.6:1.0-scsi-0:0:0:0")},
        {Vx::TID_MEDIA_USB_BACK_2, usbDisk("platform-ff500000.usb-usb-0:1.2:1.0-scsi-0:0:0:0")},
        {Vx::TID_MEDIA_USB_BACK_3, usbDisk("platform-ff500000.usb-usb-0:1.1:1.0-scsi-0:0:0:0")},
        {Vx::TID_MEDIA_SATA, usbDisk("platform-ff500000.usb-usb-0:1.4:1.0-scsi-0:0:0:0")},
        {Vx::TID_MEDIA_EXTERNAL_SD, [](const auto& test) { return !Vx::RCPtr<LStorageTestExternalSD>(test).IsNull(); }},
        {Vx::TID_IO_USBB,
         [](const auto& test) {
             // One requirement, USB 3 on the upstream port; the multiplexer ends internal.
             const Vx::RCPtr<LUSBBTestImpl> usbb(test);
             return !usbb.IsNull() && usbb->GetRequirements().GetCount() == 1 && usbb->GetRequirements()[0].port == 0 &&
                    usbb->GetRequirements()[0].requirement == LUSBBTestImpl::USB3Connection &&
                    usbb->GetFinalMuxState() == 0;
         }},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.id);
        const Vx::RCPtr<Vx::LThreadedTest> one = sTestFactory->Create(String(test.id));
        const Vx::RCPtr<Vx::LThreadedTest> two = sTestFactory->Create(String(test.id));
        EXPECT_TRUE(test.isExpected(one));
        EXPECT_TRUE(test.isExpected(two));
        EXPECT_NE(one.Get(), two.Get());
        EXPECT_EQ(one->GetResult(), Vx::LThreadedTest::kResultNotRun);
        // The engine of the id makes its test through the same factory.
        EXPECT_FALSE(sEngineFactory->Create(String(test.id)).IsNull());
    }
}

// The loopback id has an engine but no test: its engine cannot start.
TEST_F(RegistrationsTest, TheMidiLoopbackEngineCannotStart)
{
    CaptureStderr capture;
    EXPECT_TRUE(sTestFactory->Create(String(Vx::TID_MIDI_LOOPBACK)).IsNull());
    const Vx::RCPtr<LTestEngine> engine = sEngineFactory->Create(String(Vx::TID_MIDI_LOOPBACK));
    ASSERT_FALSE(engine.IsNull());
    EXPECT_EQ(engine->Start(), Vx::VXR_E_FAIL);
    const std::string err = capture.Finish();
    EXPECT_EQ(CountAssertions(err, "TestFactory.cpp"), 2) << err;
    EXPECT_EQ(ApplicationCenter()->GetPendingCount(), 0u);
}

// One run of the dummy test through the real threader, engine and centre.
TEST_F(RegistrationsTest, ADummyRunEndToEnd)
{
    const Vx::RCPtr<LTestEngine> engine = sEngineFactory->Create(String(Vx::TID_DUMMY));
    ASSERT_EQ(engine->Start(), Vx::VXR_OK);
    ASSERT_TRUE(PumpUntil([&] { return mRecorder->Count("NID_TEST_COMPLETED") == 1; }));

    std::vector<std::string> expected{"Started TID_DUMMY", "This is dummy test message from dummy test",
                                      "Now I'm gonna sleep for 1000 milliseconds"};
    for (int i = 0; i < 64; ++i)
        expected.push_back("Dummy log message #" + std::to_string(i));
    expected.push_back("I'm returning the test result 0");
    expected.push_back("Completed TID_DUMMY: succeeded");
    EXPECT_EQ(Lines(engine->GetLog()), expected);

    // One log-changed per line; started after the first, completed last.
    std::vector<Received> notifications{{"NID_TEST_LOG_CHANGED", "TID_DUMMY", -100},
                                        {"NID_TEST_STARTED", "TID_DUMMY", -100}};
    for (std::size_t i = 1; i < expected.size(); ++i)
        notifications.push_back({"NID_TEST_LOG_CHANGED", "TID_DUMMY", -100});
    notifications.push_back({"NID_TEST_COMPLETED", "TID_DUMMY", LTestEngine::kResultSucceeded});
    EXPECT_EQ(mRecorder->mReceived, notifications);
}
} // namespace
