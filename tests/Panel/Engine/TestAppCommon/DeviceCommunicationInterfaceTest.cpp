#include "Panel/Engine/TestAppCommon/DeviceCommunicationInterface.h"

#include "sim/SimDeviceControl.h"
#include "tests/support/CaptureStderr.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ThreadEnd.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
using Sim::SimDeviceControlLibrary;
using Vx::DeviceControlEntry;
using Vx::LDeviceCommunicationInterface;
using Vx::ParamDescriptor;
using Vx::ParamValues;
using Vx::Variant;
using Transport = Vx::RCPtr<LDeviceCommunicationInterface>;

constexpr auto kLongWait = std::chrono::seconds(10);

Variant Text(const char* text)
{
    Variant value;
    value.SetString(text);
    return value;
}

Variant MakeArray(std::initializer_list<Variant> elements)
{
    Variant array;
    array.SetArray(elements.begin(), static_cast<std::uint32_t>(elements.size()));
    return array;
}

// A batch of one value: id n, value n * 10.
ParamValues Batch(std::int32_t n)
{
    ParamValues batch;
    batch.SetValue(ParamDescriptor(n), Variant(n * 10));
    return batch;
}

// Takes the values delivered and the threads they came on; can hold the
// first delivery until the test opens it, and refuse a batch by id.
class Receiver : public Vx::DeviceCommunicationReceiver
{
public:
    void ApplyValues(const ParamValues& values) override
    {
        std::unique_lock<std::mutex> guard(lock);
        const bool hold = holdFirst && !entered;
        entered = true;
        changed.notify_all();
        if (hold)
            changed.wait(guard, [this] { return open; });
        Variant value;
        Variant key;
        std::int32_t id = 0;
        if (values.GetEntryCount() == 1 && values.GetEntry(0, value, id, key) == 0 && id == refusedID)
            throw std::logic_error("refused id");
        batches.push_back(values);
        threads.push_back(std::this_thread::get_id());
        finished = true;
        changed.notify_all();
    }
    std::int32_t ReceiveOther(void*) override { return Vx::VXR_E_FAIL; }

    bool WaitForBatches(std::size_t count)
    {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, kLongWait, [&] { return batches.size() >= count; });
    }
    bool WaitUntilEntered()
    {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, kLongWait, [&] { return entered; });
    }
    void Open()
    {
        const std::lock_guard<std::mutex> guard(lock);
        open = true;
        changed.notify_all();
    }
    std::vector<std::int32_t> Ids()
    {
        const std::lock_guard<std::mutex> guard(lock);
        std::vector<std::int32_t> ids;
        for (const ParamValues& batch : batches)
        {
            Variant value;
            Variant key;
            std::int32_t id = 0;
            EXPECT_EQ(batch.GetEntry(0, value, id, key), 0);
            EXPECT_EQ(value.GetInt32(), id * 10);
            ids.push_back(id);
        }
        return ids;
    }

    std::mutex lock;
    std::condition_variable changed;
    std::vector<ParamValues> batches;
    std::vector<std::thread::id> threads;
    bool holdFirst = false;
    bool entered = false;
    bool open = false;
    bool finished = false;
    std::int32_t refusedID = -1000;
};

// An empty directory: the transport's library is looked up there.
class EmptyDirectory
{
public:
    EmptyDirectory()
    {
        char path[] = "/tmp/vx-no-device-control-XXXXXX";
        if (mkdtemp(path) == nullptr)
            throw std::runtime_error("no temporary directory");
        mPath = path;
    }
    ~EmptyDirectory() { rmdir(mPath.c_str()); }
    const std::string& Path() const { return mPath; }

private:
    std::string mPath;
};

Transport MakeTransport()
{
    return Transport(new LDeviceCommunicationInterface);
}

// --- Without a binding ---------------------------------------------------

TEST(DeviceCommunicationWithoutBinding, AnswersTheDeviceLevelNamesItself)
{
    struct Case
    {
        std::int32_t id;
        std::int32_t result;
        Variant value;
    };
    const Case cases[] = {
        {-2, 0, Variant(true)},
        {-9, 0, Text("KAVRIS DJ")},
        {-10, 0, Text("RN31TestApp")},
        {-8, -1, Variant(99)},
        {5, Vx::VXR_E_FAIL, Variant()},
        {-4, Vx::VXR_E_FAIL, Variant()},
        {-241, Vx::VXR_E_FAIL, Variant()},
    };
    const Transport transport = MakeTransport();
    for (const Case& c : cases)
    {
        Variant value(99);
        EXPECT_EQ(transport->GetParamValue(ParamDescriptor(c.id), value), c.result) << c.id;
        EXPECT_EQ(value, c.value) << c.id;
    }
    EXPECT_TRUE(transport->IsConnected());
    EXPECT_TRUE(transport->IsDeviceConnected());
    std::int32_t status = 7;
    EXPECT_EQ(transport->GetLocalStatus(status), 0);
    EXPECT_EQ(status, 0);
}

TEST(DeviceCommunicationWithoutBinding, ForwardingFailsAndWritesAreRefused)
{
    const Transport transport = MakeTransport();
    Receiver receiver;
    const Vx::Array<Vx::GUID> filter;
    Vx::Array<Variant> devices;
    Variant value;
    Vx::DeviceInfo info;
    EXPECT_EQ(transport->WaitForDeviceListChange(filter, devices, 0), -1);
    EXPECT_EQ(transport->FindRemoteDevices(filter, devices), -1);
    EXPECT_EQ(transport->ConnectDevice(Text("unit")), -1);
    EXPECT_EQ(transport->RequestParamValues(Vx::ParamDescriptors()), -1);
    EXPECT_EQ(transport->RequestParamValue(ParamDescriptor(1)), -1);
    EXPECT_EQ(transport->GetParamRanges(nullptr, nullptr), -1);
    EXPECT_EQ(transport->GetParamValues(nullptr, nullptr), -1);
    EXPECT_EQ(transport->SetParamValues(ParamValues()), -1);
    EXPECT_EQ(transport->GetConnectedDevice(value), -1);
    EXPECT_EQ(transport->DisconnectDevice(), -1);
    EXPECT_EQ(transport->GetDeviceInfo(Text("unit"), info), -1);
    EXPECT_EQ(transport->GetDeviceParam(value), -1);
    EXPECT_EQ(transport->SetDeviceParam(value), -1);
    {
        VxTest::CaptureStderr capture;
        EXPECT_EQ(transport->RequestParamRanges(Vx::ParamRanges()), -1);
        EXPECT_NE(capture.Finish().find("JUCE Assertion failure in DeviceCommunicationInterface.cpp:"),
                  std::string::npos);
    }

    // No receiver: every write is refused.
    EXPECT_EQ(transport->SetParamValue(ParamDescriptor(-8), Variant(1)), Vx::VXR_E_FAIL);
    EXPECT_EQ(transport->SetParamValue(ParamDescriptor(-4), Variant(1)), Vx::VXR_E_FAIL);
    EXPECT_FALSE(transport->NotifyConnectionState(1));
    transport->SetReceiver(&receiver);
    EXPECT_EQ(transport->SetParamValue(ParamDescriptor(-8), Variant(1)), -1);
    EXPECT_EQ(transport->SetParamValue(ParamDescriptor(5), Variant(1)), Vx::VXR_E_FAIL);
    EXPECT_EQ(transport->SetParamValue(ParamDescriptor(-240), Variant(1)), Vx::VXR_E_FAIL);
    transport->SetReceiver(nullptr);
}

TEST(DeviceCommunicationWithoutBinding, FindDevicesAnswersOneIdentifierWithoutTheLibrary)
{
    const Transport transport = MakeTransport();
    Vx::Array<Variant> devices;
    EXPECT_EQ(transport->FindDevices(Vx::Array<Vx::GUID>(), devices), 0);
    ASSERT_EQ(devices.GetCount(), 1u);
    EXPECT_EQ(devices.GetAtConst(0)->GetTag(), Variant::T_NONE);
    devices.Add(Text("b"));
    *devices.GetAt(0) = Text("a");
    EXPECT_EQ(transport->FindDevices(Vx::Array<Vx::GUID>(), devices), 0);
    ASSERT_EQ(devices.GetCount(), 1u);
    EXPECT_EQ(*devices.GetAtConst(0), Text("a"));
}

TEST(DeviceCommunicationWithoutBinding, InitializedWithNoLibraryAsksTheFailingBinding)
{
    const EmptyDirectory directory;
    const Vx::ScopedDeviceControlClientDirectory lookup(directory.Path());
    const Transport transport = MakeTransport();
    EXPECT_EQ(transport->Initialize(), 0);
    EXPECT_EQ(transport->Initialize(), 1);
    Variant value;
    EXPECT_EQ(transport->GetParamValue(ParamDescriptor(-10), value), -1);
    Vx::Array<Variant> devices;
    EXPECT_EQ(transport->WaitForDeviceListChange(Vx::Array<Vx::GUID>(), devices, 0), Vx::VXR_E_FAIL);
    EXPECT_EQ(transport->FindRemoteDevices(Vx::Array<Vx::GUID>(), devices), -1);
}

// --- With the simulated library ------------------------------------------

// Tells when the transport is wholly gone and, when its last release was on
// the delivery thread, when that thread has ended too: until then the thread
// may still be in the transport's destructor, disconnecting and releasing the
// library.  A virtual base named first is destroyed last, after every part of
// the transport.
class DestructionObserver
{
protected:
    explicit DestructionObserver(const VxTest::ThreadEndSignal& ended)
        : mEnded(ended), mCreator(std::this_thread::get_id())
    {
    }
    ~DestructionObserver()
    {
        if (std::this_thread::get_id() == mCreator)
            mEnded.Set();
        else
            mEnded.ArmOnThisThread();
    }

private:
    const VxTest::ThreadEndSignal& mEnded;
    const std::thread::id mCreator;
};

class ObservedTransport : private virtual DestructionObserver, public LDeviceCommunicationInterface
{
public:
    explicit ObservedTransport(const VxTest::ThreadEndSignal& ended) : DestructionObserver(ended) {}
};

class DeviceCommunication : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(transport->Initialize(), 0); }
    void TearDown() override { Release(); }

    // Returns once the transport is gone and no thread of it is left.
    void Release()
    {
        transport = nullptr;
        ASSERT_TRUE(ended.Wait(kLongWait));
    }

    Sim::DeviceControlScript& Script() { return library.script(); }

    // Connects to "unit-1" with the receiver attached and enabled.
    void Attach()
    {
        transport->SetReceiver(&receiver);
        transport->SetReceiverEnabled(true);
        ASSERT_EQ(transport->ConnectDevice(Text("unit-1")), 0);
    }

    void Send(std::int32_t n)
    {
        const ParamValues batch = Batch(n);
        Script().sendBatch(&batch);
    }

    const SimDeviceControlLibrary library;
    Receiver receiver;
    const VxTest::ThreadEndSignal ended;
    Transport transport{new ObservedTransport(ended)};
};

TEST_F(DeviceCommunication, ForwardsWithTheRememberedDevice)
{
    Script().setResult(DeviceControlEntry::ConnectDevice, 2);
    EXPECT_EQ(transport->ConnectDevice(Text("unit-1")), 2);
    const auto connect = Script().getLastCall(DeviceControlEntry::ConnectDevice);
    EXPECT_EQ(connect.device, Text("unit-1"));
    EXPECT_EQ(connect.pointers[0], static_cast<const void*>(transport.Get()));

    Script().setResult(DeviceControlEntry::RequestParamRanges, 5);
    EXPECT_EQ(transport->RequestParamRanges(Vx::ParamRanges()), 5);
    EXPECT_EQ(transport->RequestParamValue(ParamDescriptor(-8)), 0);
    EXPECT_EQ(transport->DisconnectDevice(), 0);
    for (const DeviceControlEntry entry :
         {DeviceControlEntry::RequestParamRanges, DeviceControlEntry::RequestParamValues,
          DeviceControlEntry::DisconnectDevice})
        EXPECT_EQ(Script().getLastCall(entry).device, Text("unit-1"));

    // Still remembered after the disconnection.
    Variant device;
    EXPECT_EQ(transport->GetConnectedDevice(device), 0);
    EXPECT_EQ(device, Text("unit-1"));

    // Device information is asked of the device given.
    Vx::DeviceInfo info;
    Script().setResult(DeviceControlEntry::GetDeviceInfo, -3);
    EXPECT_EQ(transport->GetDeviceInfo(Text("unit-2"), info), -3);
    EXPECT_FALSE(info.IsAvailable());
    EXPECT_EQ(Script().getLastCall(DeviceControlEntry::GetDeviceInfo).device, Text("unit-2"));

    // The device parameter is id -8 with an empty key.
    Script().setParamValue(Variant(42));
    Variant value;
    EXPECT_EQ(transport->GetDeviceParam(value), 0);
    EXPECT_EQ(value, Variant(42));
    EXPECT_EQ(Script().getLastCall(DeviceControlEntry::GetParamValue).paramID, -8);
    EXPECT_EQ(transport->SetDeviceParam(Variant(43)), 0);
    const auto set = Script().getLastCall(DeviceControlEntry::SetParamValue);
    EXPECT_EQ(set.paramID, -8);
    EXPECT_EQ(set.key.GetTag(), Variant::T_NONE);
    EXPECT_EQ(set.argument, Variant(43));
}

TEST_F(DeviceCommunication, ReadsEveryIdThroughTheLibrary)
{
    Script().setParamValue(Text("from the device"));
    for (const std::int32_t id : {-10, -9, -2, 7})
    {
        Variant value;
        EXPECT_EQ(transport->GetParamValue(ParamDescriptor(id), value), 0) << id;
        EXPECT_EQ(value, Text("from the device")) << id;
    }
    Script().setResult(DeviceControlEntry::GetParamValue, -6);
    Variant value;
    EXPECT_EQ(transport->GetParamValue(ParamDescriptor(-10), value), -6);
}

TEST_F(DeviceCommunication, WritesGoToTheLibraryExceptTheRefusedAndTheConnectionValue)
{
    transport->SetReceiver(&receiver);
    Script().setResult(DeviceControlEntry::SetParamValue, 4);
    EXPECT_EQ(transport->SetParamValue(ParamDescriptor(5), Variant(1)), 4);
    for (const std::int32_t id : {-242, -241, -240})
        EXPECT_EQ(transport->SetParamValue(ParamDescriptor(id), Variant(1)), Vx::VXR_E_FAIL) << id;
    EXPECT_EQ(Script().getCallCount(DeviceControlEntry::SetParamValue), 1);

    // -4 comes back at once, on this thread, as [[value, connected], -4, empty].
    EXPECT_EQ(transport->SetParamValue(ParamDescriptor(-4), Variant(7)), 0);
    EXPECT_EQ(Script().getCallCount(DeviceControlEntry::SetParamValue), 1);
    ASSERT_EQ(receiver.batches.size(), 1u);
    EXPECT_EQ(receiver.threads[0], std::this_thread::get_id());
    Variant value;
    Variant key;
    std::int32_t id = 0;
    ASSERT_EQ(receiver.batches[0].GetEntryCount(), 1u);
    ASSERT_EQ(receiver.batches[0].GetEntry(0, value, id, key), 0);
    EXPECT_EQ(id, -4);
    EXPECT_EQ(key.GetTag(), Variant::T_NONE);
    EXPECT_EQ(value, MakeArray({Variant(std::int64_t{7}), Variant(true)}));
    transport->SetReceiver(nullptr);
}

TEST_F(DeviceCommunication, ListsDevicesAndRefusesAListThatIsNoArray)
{
    const Vx::Array<Vx::GUID> filter;
    Vx::Array<Variant> devices;
    Script().setDeviceList(MakeArray({Text("a"), Variant(2)}));
    Script().setResult(DeviceControlEntry::FindRemoteDevices, 1);
    EXPECT_EQ(transport->FindRemoteDevices(filter, devices), 1);
    ASSERT_EQ(devices.GetCount(), 2u);
    EXPECT_EQ(*devices.GetAtConst(0), Text("a"));
    EXPECT_EQ(*devices.GetAtConst(1), Variant(2));
    const auto call = Script().getLastCall(DeviceControlEntry::FindRemoteDevices);
    EXPECT_EQ(call.explicitListing, 1);
    EXPECT_EQ(call.filterCount, 0u);

    Script().setResult(DeviceControlEntry::FindRemoteDevices, 0);
    Script().setDeviceList(Variant(3));
    {
        VxTest::CaptureStderr capture;
        EXPECT_EQ(transport->FindRemoteDevices(filter, devices), Vx::VXR_E_FAIL);
        EXPECT_NE(capture.Finish().find("device list refused"), std::string::npos);
    }
    EXPECT_EQ(devices.GetCount(), 2u) << "the list is kept";

    // Nothing written: no devices.
    Script().setDeviceList(Variant());
    EXPECT_EQ(transport->FindRemoteDevices(filter, devices), 0);
    EXPECT_EQ(devices.GetCount(), 0u);

    Script().setResult(DeviceControlEntry::FindRemoteDevices, -2);
    devices.Add(Text("kept"));
    EXPECT_EQ(transport->FindRemoteDevices(filter, devices), -2);
    EXPECT_EQ(devices.GetCount(), 1u);
}

TEST_F(DeviceCommunication, WaitingListsEveryQuarterSecondUntilTheTimeout)
{
    struct Case
    {
        std::uint32_t timeout;
        int listings;
    };
    const Case cases[] = {{0, 1}, {1, 2}, {250, 2}, {251, 3}, {1500, 7}};
    for (const Case& c : cases)
    {
        library.script().reset();
        Vx::Array<Variant> devices;
        EXPECT_EQ(transport->WaitForDeviceListChange(Vx::Array<Vx::GUID>(), devices, c.timeout), 1) << c.timeout;
        EXPECT_EQ(Script().getCallCount(DeviceControlEntry::FindRemoteDevices), c.listings) << c.timeout;
        EXPECT_EQ(Script().getLastCall(DeviceControlEntry::FindRemoteDevices).explicitListing, 0);
        EXPECT_EQ(devices.GetCount(), 0u);
    }
}

TEST_F(DeviceCommunication, WaitingEndsWhenTheListChanges)
{
    // A device appears while the transport waits.
    std::thread plug([this] {
        while (Script().getCallCount(DeviceControlEntry::FindRemoteDevices) == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        Script().setDeviceList(MakeArray({Text("unit-1")}));
    });
    Vx::Array<Variant> devices;
    EXPECT_EQ(transport->WaitForDeviceListChange(Vx::Array<Vx::GUID>(), devices, 10000), 0);
    plug.join();
    ASSERT_EQ(devices.GetCount(), 1u);
    EXPECT_EQ(*devices.GetAtConst(0), Text("unit-1"));

    // Same count, another device: changed at the first listing.
    Script().setDeviceList(MakeArray({Text("unit-2")}));
    EXPECT_EQ(transport->WaitForDeviceListChange(Vx::Array<Vx::GUID>(), devices, 10000), 0);
    EXPECT_EQ(*devices.GetAtConst(0), Text("unit-2"));

    // A failing listing ends the wait and leaves the last listing.
    Script().setResult(DeviceControlEntry::FindRemoteDevices, -1);
    EXPECT_EQ(transport->WaitForDeviceListChange(Vx::Array<Vx::GUID>(), devices, 10000), Vx::VXR_E_FAIL);
    EXPECT_EQ(*devices.GetAtConst(0), Text("unit-2"));
}

TEST_F(DeviceCommunication, DeliversBatchesInOrderOnItsOwnThread)
{
    Attach();
    const std::vector<std::int32_t> sent{3, 1, 4, 1, 5, 9, 2, 6};
    for (const std::int32_t n : sent)
        Send(n);
    ASSERT_TRUE(receiver.WaitForBatches(sent.size()));
    EXPECT_EQ(receiver.Ids(), sent);
    for (const std::thread::id thread : receiver.threads)
    {
        EXPECT_NE(thread, std::this_thread::get_id());
        EXPECT_EQ(thread, receiver.threads[0]);
    }
}

TEST_F(DeviceCommunication, BatchesQueuedDuringADeliveryFollowInOrder)
{
    receiver.holdFirst = true;
    Attach();
    Send(1);
    ASSERT_TRUE(receiver.WaitUntilEntered());
    Send(2);
    Send(3);
    ASSERT_TRUE(Script().waitUntilSent(10000));
    receiver.Open();
    ASSERT_TRUE(receiver.WaitForBatches(3));
    EXPECT_EQ(receiver.Ids(), (std::vector<std::int32_t>{1, 2, 3}));
}

TEST_F(DeviceCommunication, BadBatchesAreDroppedAndTheRestDelivered)
{
    receiver.refusedID = 2;
    Attach();
    VxTest::CaptureStderr capture;
    Send(1);
    Script().sendBatch(nullptr);
    Send(2); // the receiver throws on it
    Send(3);
    ASSERT_TRUE(receiver.WaitForBatches(2));
    ASSERT_TRUE(Script().waitUntilSent(10000));
    EXPECT_EQ(receiver.Ids(), (std::vector<std::int32_t>{1, 3}));
    const std::string text = capture.Finish();
    EXPECT_NE(text.find("empty batch from the client library dropped"), std::string::npos) << text;
    EXPECT_NE(text.find("received batch not applied: refused id"), std::string::npos) << text;
}

TEST_F(DeviceCommunication, DisablingWaitsForTheDeliveryAndDropsWhatFollows)
{
    receiver.holdFirst = true;
    Attach();
    Send(1);
    ASSERT_TRUE(receiver.WaitUntilEntered());
    Send(2);
    ASSERT_TRUE(Script().waitUntilSent(10000));

    // Disabling waits for the batch being applied; the batch behind it is dropped.
    std::atomic<bool> returned{false};
    bool finishedAtReturn = false;
    std::thread disabler([&] {
        transport->SetReceiverEnabled(false);
        const std::lock_guard<std::mutex> guard(receiver.lock);
        finishedAtReturn = receiver.finished;
        returned = true;
    });
    while (transport->IsReceiverEnabled())
        std::this_thread::yield();
    EXPECT_FALSE(returned) << "returned while a batch was being applied";
    receiver.Open();
    disabler.join();
    EXPECT_TRUE(finishedAtReturn);
    EXPECT_EQ(receiver.Ids(), (std::vector<std::int32_t>{1}));

    // Enabled again, the next batch comes through.
    transport->SetReceiverEnabled(true);
    Send(3);
    ASSERT_TRUE(receiver.WaitForBatches(2));
    EXPECT_EQ(receiver.Ids(), (std::vector<std::int32_t>{1, 3}));
}

TEST_F(DeviceCommunication, ReleaseDisconnectsReleasesTheLibraryAndEndsTheThread)
{
    Attach();
    Send(1);
    ASSERT_TRUE(receiver.WaitForBatches(1));
    transport->SetReceiverEnabled(false);
    Release();
    EXPECT_EQ(Script().getCallCount(DeviceControlEntry::DisconnectDevice), 1);
    EXPECT_EQ(Script().getLastCall(DeviceControlEntry::DisconnectDevice).device, Text("unit-1"));
    EXPECT_EQ(Script().getCallCount(DeviceControlEntry::ReleaseAll), 1);
}

TEST(DeviceCommunicationRelease, JoinsAnIdleDeliveryThreadPromptly)
{
    // Run apart with a limit far below the threader's 60-second wait, which
    // is what a release that missed its thread would take.
    const auto result = VxTest::RunInChild(
        [] {
            for (int i = 0; i < 20; ++i)
                MakeTransport();
            return 0;
        },
        std::chrono::seconds(20));
    EXPECT_FALSE(result.timedOut);
    EXPECT_TRUE(WIFEXITED(result.status) && WEXITSTATUS(result.status) == 0);
}

TEST(DeviceCommunicationRelease, LastReferenceDroppedDuringADeliveryEndsOnTheDeliveryThread)
{
    const SimDeviceControlLibrary library;
    const VxTest::ThreadEndSignal ended;
    Receiver receiver;
    receiver.holdFirst = true;
    Transport transport(new ObservedTransport(ended));
    ASSERT_EQ(transport->Initialize(), 0);
    transport->SetReceiver(&receiver);
    transport->SetReceiverEnabled(true);
    ASSERT_EQ(transport->ConnectDevice(Text("unit-1")), 0);
    const ParamValues batch = Batch(1);
    library.script().sendBatch(&batch);
    ASSERT_TRUE(receiver.WaitUntilEntered());

    VxTest::CaptureStderr capture;
    transport = nullptr; // the delivery now holds the last reference
    EXPECT_FALSE(ended.IsSet());
    receiver.Open();
    // The thread leaves while the sanitizers watch.
    ASSERT_TRUE(ended.Wait(kLongWait));
    EXPECT_EQ(capture.Finish().find("JUCE Assertion failure"), std::string::npos);
    EXPECT_EQ(library.script().getCallCount(DeviceControlEntry::ReleaseAll), 1);
}
} // namespace
