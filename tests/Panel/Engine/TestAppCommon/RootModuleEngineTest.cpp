#include "Panel/Engine/TestAppCommon/RootModuleEngine.h"

#include "DeviceControl/GeneratedCode/Engine/Inc/DeviceControlClientInterface.h"
#include "VxFramework/Notification/NotificationCenter.h"
#include "sim/SimDeviceControl.h"
#include "tests/Panel/Engine/TestAppCommon/EngineApplication.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
using namespace std::chrono_literals;
using Vx::LRootModuleEngine;
using Vx::ParamDescriptor;
using Vx::Variant;
using VxTest::CaptureStderr;

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

Vx::RCPtr<Vx::LNotificationCenter> Center()
{
    return Vx::LNotificationCenterManager::GetInstance()->GetCenter(
        Vx::LNotificationCenterManager::GetDefaultCenterName());
}

// One notification as the main thread receives it: a value pair, a list of
// values, a connection state or a device count.
struct Seen
{
    std::string id;
    std::string kind;
    std::vector<std::int32_t> ids;
    std::vector<Variant> values;
    std::int64_t number = -1;
};

class Listener : public Vx::LNotificationClient
{
public:
    Vx::NotificationHandlerResultCode Receive(const Vx::RCPtr<Vx::LNotificationDistributor>&,
                                              const Vx::ConstRCPtr<Vx::LNotification>& notification) override
    {
        Seen seen{notification->GetId(), "other", {}, {}, -1};
        const Vx::LRefCountedObject* param = notification->GetParam().Get();
        if (const auto* pair = dynamic_cast<const Vx::LParamPair*>(param))
        {
            seen.kind = "pair";
            seen.ids.push_back(pair->GetKey().mParamID);
            seen.values.push_back(pair->GetValue());
        }
        else if (const auto* list = dynamic_cast<const Vx::LParamValuesWrapper*>(param))
        {
            seen.kind = "list";
            for (std::uint32_t i = 0; i < list->GetEntryCount(); ++i)
            {
                Variant value;
                Variant key;
                std::int32_t id = -1;
                list->GetEntry(i, value, id, key);
                seen.ids.push_back(id);
                seen.values.push_back(value);
            }
        }
        else if (const auto* state = dynamic_cast<const Vx::LHolder<LRootModuleEngine::DeviceConnectionState>*>(param))
        {
            seen.kind = "state";
            seen.number = state->GetValue();
        }
        else if (const auto* count = dynamic_cast<const Vx::LHolder<unsigned int>*>(param))
        {
            seen.kind = "count";
            seen.number = count->GetValue();
        }
        received.push_back(seen);
        return 0;
    }

    std::vector<std::string> Kinds() const
    {
        std::vector<std::string> kinds;
        for (const Seen& seen : received)
            kinds.push_back(seen.kind);
        return kinds;
    }

    std::vector<Seen> received;
};

void Pump()
{
    while (Vx::LNotificationCenterManager::GetInstance()->ProcessPending(false))
    {
    }
}

// Delivers what was posted until done() holds or the limit passes.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (true)
    {
        Pump();
        if (done())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
}

class EmptyDirectory
{
public:
    EmptyDirectory()
    {
        char pattern[] = "/tmp/rootmod-XXXXXX";
        mPath = mkdtemp(pattern);
    }
    ~EmptyDirectory() { rmdir(mPath.c_str()); }
    const std::string& Path() const { return mPath; }

private:
    std::string mPath;
};

class EngineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Pump();
        for (const char* id :
             {Vx::kParamModuleStateChangeId, Vx::kDeviceConnectionStateChangeId, Vx::kRemoteDeviceListChangeId})
            listener->Register(Vx::RCPtr<Vx::LNotificationDistributor>(Center()), id, 0);
    }
    void TearDown() override
    {
        engine = nullptr;
        Pump();
        listener->UnregisterAll();
    }

    Vx::RCPtr<Listener> listener = Vx::MakeRCPtr<Listener>();
    Vx::RCPtr<LRootModuleEngine> engine = Vx::MakeRCPtr<LRootModuleEngine>();
};

// --- Without the library -------------------------------------------------

class EngineWithoutLibrary : public EngineTest
{
protected:
    EmptyDirectory directory;
    Vx::ScopedDeviceControlClientDirectory lookup{directory.Path()};
};

TEST_F(EngineWithoutLibrary, StartPostsEveryValueThenTheConnectionState)
{
    ASSERT_EQ(engine->Start(0), 0);
    Pump();
    ASSERT_EQ(listener->Kinds(), (std::vector<std::string>{"list", "state"}));
    const Seen& all = listener->received[0];
    EXPECT_EQ(all.id, Vx::kParamModuleStateChangeId);
    ASSERT_EQ(all.ids.size(), 106u);
    for (std::int32_t id = 0; id < 106; ++id)
        EXPECT_EQ(all.ids[static_cast<std::size_t>(id)], id);
    EXPECT_EQ(all.values[40], MakeArray({Text("")}));
    EXPECT_EQ(listener->received[1].number, LRootModuleEngine::kConnected);
    EXPECT_TRUE(engine->GetRootModule()->IsCachedOnly());
    EXPECT_FALSE(engine->IsWorkerRunning());
}

TEST_F(EngineWithoutLibrary, CachedWritesPostOnePairPerChange)
{
    ASSERT_EQ(engine->Start(0), 0);
    Pump();
    listener->received.clear();

    EXPECT_EQ(engine->SetParamValue(ParamDescriptor(54), Variant(std::int8_t{2})), 0);
    EXPECT_EQ(engine->SetParamValue(ParamDescriptor(54), Variant(std::int8_t{2})), 0);
    Pump();
    ASSERT_EQ(listener->Kinds(), (std::vector<std::string>{"pair"}));
    EXPECT_EQ(listener->received[0].ids, (std::vector<std::int32_t>{54}));
    Variant value;
    EXPECT_EQ(engine->GetParamValue(ParamDescriptor(54), value), 0);
    EXPECT_EQ(value, Variant(std::int8_t{2}));

    // Refused only where it would change something: the slot holds a value.
    EXPECT_EQ(engine->SetParamValue(ParamDescriptor(12), Variant(std::int8_t{1})), 0);
    CaptureStderr capture;
    EXPECT_EQ(engine->SetParamValue(ParamDescriptor(12), Variant()), 0);
    EXPECT_NE(capture.Finish().find("SetParamValueCached received value T_NONE for ParamID = 12"), std::string::npos);
    EXPECT_EQ(engine->GetParamValue(ParamDescriptor(12), value), 0);
    EXPECT_EQ(value, Variant(std::int8_t{1}));
}

TEST_F(EngineWithoutLibrary, PostsPairsForUpToTwoValuesAndOneListBeyond)
{
    ASSERT_EQ(engine->Start(0), 0);
    Pump();
    listener->received.clear();
    Vx::Array<Vx::ParamValue> changes;
    changes.Add(Vx::ParamValue(9, Variant(), Variant(1)));
    changes.Add(Vx::ParamValue(4, Variant(), Variant(2)));
    engine->PostParamValueChanges(changes);
    changes.Add(Vx::ParamValue(7, Variant(), Variant(3)));
    engine->PostParamValueChanges(changes);
    engine->PostParamValueChanges(Vx::Array<Vx::ParamValue>());
    Pump();
    ASSERT_EQ(listener->Kinds(), (std::vector<std::string>{"pair", "pair", "list"}));
    EXPECT_EQ(listener->received[0].ids, (std::vector<std::int32_t>{9}));
    EXPECT_EQ(listener->received[1].ids, (std::vector<std::int32_t>{4}));
    // The list keeps the order given.
    EXPECT_EQ(listener->received[2].ids, (std::vector<std::int32_t>{9, 4, 7}));
}

TEST_F(EngineWithoutLibrary, ChangeRequestsWriteAndBadPayloadsChangeNothing)
{
    ASSERT_EQ(engine->Start(0), 0);
    Pump();
    listener->received.clear();

    const auto request = [](const Vx::RCPtr<Vx::LRefCountedObject>& payload) {
        ASSERT_EQ(Center()->PostNotification(Vx::kParamModuleChangeRequestId, payload), 0);
    };
    CaptureStderr capture;
    request(nullptr);
    request(Vx::MakeRCPtr<Vx::LHolder<int>>(3));
    request(Vx::MakeRCPtr<Vx::LParamPair>(ParamDescriptor(60), Variant(std::int8_t{1})));
    Pump();
    const std::string err = capture.Finish();

    ASSERT_EQ(listener->Kinds(), (std::vector<std::string>{"pair"}));
    EXPECT_EQ(listener->received[0].ids, (std::vector<std::int32_t>{60}));
    std::size_t assertions = 0;
    for (std::size_t at = err.find("RootModuleEngine.cpp"); at != std::string::npos;
         at = err.find("RootModuleEngine.cpp", at + 1))
        ++assertions;
    EXPECT_EQ(assertions, 2u) << err;
}

// A write beyond the id space fails, is traced, and changes nothing.
TEST_F(EngineWithoutLibrary, WritesBeyondTheSpaceFailAndPostNothing)
{
    ASSERT_EQ(engine->Start(0), 0);
    Pump();
    listener->received.clear();
    CaptureStderr capture;
    EXPECT_LT(engine->SetParamValue(ParamDescriptor(106), Variant(1)), 0);
    EXPECT_LT(engine->SetParamValue(ParamDescriptor(-300), Variant(1)), 0);
    const std::string err = capture.Finish();
    EXPECT_NE(err.find("LRootModuleEngine::SetParamValue failed. - Updating Connection State."), std::string::npos);
    Pump();
    EXPECT_TRUE(listener->received.empty());
    EXPECT_EQ(engine->GetConnectionState(), LRootModuleEngine::kConnected);
}

TEST_F(EngineWithoutLibrary, WritesBeforeTheConnectionAreRefused)
{
    CaptureStderr capture;
    EXPECT_EQ(engine->SetParamValue(ParamDescriptor(3), Variant(1)), Vx::VXR_E_FAIL);
    EXPECT_NE(capture.Finish().find("LRootModuleEngine::SetParamValue failed because device is not connected."),
              std::string::npos);
}

TEST_F(EngineWithoutLibrary, TheRemoteListStaysOffAndRemembersTheFailedProbe)
{
    ASSERT_EQ(engine->Start(0), 0);
    EXPECT_EQ(engine->SetRemoteDeviceListEnabled(true), Vx::VXR_E_FAIL);
    EXPECT_EQ(engine->SetRemoteDeviceListEnabled(true), Vx::VXR_E_FAIL);
    EXPECT_FALSE(engine->IsWorkerRunning());
    Vx::Array<Variant> devices;
    EXPECT_LT(engine->GetRemoteDevices(devices), 0);
}

// --- With the simulated library ------------------------------------------

class EngineWithLibrary : public EngineTest
{
protected:
    Sim::DeviceControlScript& Script() { return library.script(); }

    Sim::SimDeviceControlLibrary library;
};

TEST_F(EngineWithLibrary, BatchesAreCachedAndPostedInOrderAfterTheConnection)
{
    ASSERT_EQ(engine->Start(0), 0);
    EXPECT_FALSE(engine->GetRootModule()->IsCachedOnly());
    EXPECT_EQ(Script().getCallCount(Vx::DeviceControlEntry::RequestParamRanges), 1);
    for (std::int32_t n = 1; n <= 3; ++n)
    {
        Vx::ParamValues batch;
        batch.SetValue(ParamDescriptor(n), Variant(n * 10));
        Script().sendBatch(&batch);
    }
    ASSERT_TRUE(Script().waitUntilSent(10000));
    ASSERT_TRUE(PumpUntil([&] { return listener->received.size() == 5; }));
    EXPECT_EQ(listener->Kinds(), (std::vector<std::string>{"list", "state", "pair", "pair", "pair"}));
    EXPECT_EQ(listener->received[2].ids, (std::vector<std::int32_t>{1}));
    EXPECT_EQ(listener->received[4].ids, (std::vector<std::int32_t>{3}));
    Variant value;
    EXPECT_EQ(engine->GetParamValue(ParamDescriptor(2), value), 0);
    EXPECT_EQ(value, Variant(20));
}

TEST_F(EngineWithLibrary, WritesReachTheCacheAndTheDevice)
{
    ASSERT_EQ(engine->Start(0), 0);
    Pump();
    listener->received.clear();
    EXPECT_EQ(engine->SetParamValue(ParamDescriptor(91), Variant(std::int8_t{2})), 0);
    Pump();
    const Sim::DeviceControlCall call = Script().getLastCall(Vx::DeviceControlEntry::SetParamValue);
    EXPECT_EQ(call.count, 1);
    EXPECT_EQ(call.paramID, 91);
    EXPECT_EQ(call.argument, Variant(std::int8_t{2}));
    ASSERT_EQ(listener->Kinds(), (std::vector<std::string>{"pair"}));
    EXPECT_EQ(listener->received[0].ids, (std::vector<std::int32_t>{91}));

    // The connection value comes back at once as [value, connected], while
    // batches from the device may arrive on the delivery thread.
    Vx::ParamValues batch;
    batch.SetValue(ParamDescriptor(92), Variant(std::int8_t{1}));
    Script().sendBatch(&batch);
    EXPECT_EQ(engine->SetParamValue(ParamDescriptor(-4), Variant(std::int64_t{5})), 0);
    ASSERT_TRUE(Script().waitUntilSent(10000));
    ASSERT_TRUE(PumpUntil([&] { return listener->received.size() == 3; }));
    bool echoed = false;
    for (const Seen& seen : listener->received)
    {
        if (seen.ids == std::vector<std::int32_t>{-4})
        {
            echoed = true;
            EXPECT_EQ(seen.values[0], MakeArray({Variant(std::int64_t{5}), Variant(true)}));
        }
    }
    EXPECT_TRUE(echoed);
}

TEST_F(EngineWithLibrary, GetRemoteDevicesListsOnceWhileTheListIsOff)
{
    Script().setDeviceList(MakeArray({Text("unit-1"), Text("unit-2")}));
    ASSERT_EQ(engine->Start(0), 0);
    Vx::Array<Variant> devices;
    EXPECT_EQ(engine->GetRemoteDevices(devices), 0);
    EXPECT_EQ(devices.GetCount(), 2u);
    EXPECT_FALSE(engine->IsWorkerRunning());
}

TEST_F(EngineWithLibrary, ReadsRangesAndSendsPendingRequestsAtMostOncePerInterval)
{
    ASSERT_EQ(engine->Start(0), 0);
    ASSERT_EQ(engine->SetParamValue(ParamDescriptor(5), Variant(std::int8_t{4})), 0);
    Vx::Array<Vx::ParamValue> values;
    values.Add(Vx::ParamValue(99));
    EXPECT_EQ(engine->GetParamValues(Vx::ParamRange{4, 2}, values, 1), 0);
    ASSERT_EQ(values.GetCount(), 3u);
    EXPECT_EQ(values.GetAt(0)->mDescriptor.mParamID, 99);
    EXPECT_EQ(values.GetAt(1)->mDescriptor.mParamID, 4);
    EXPECT_EQ(values.GetAt(2)->mValue, Variant(std::int8_t{4}));
    EXPECT_EQ(engine->GetParamValues(Vx::ParamRange{4, 1}, values, -1), 0);
    EXPECT_EQ(values.GetCount(), 1u);

    const int before = Script().getCallCount(Vx::DeviceControlEntry::RequestParamValues);
    CaptureStderr capture;
    EXPECT_EQ(engine->RequestParamValue(ParamDescriptor(9)), 0);
    EXPECT_EQ(engine->RequestParamValue(ParamDescriptor(2)), Vx::VXR_NOTHING_DONE);
    capture.Finish();
    const Sim::DeviceControlCall call = Script().getLastCall(Vx::DeviceControlEntry::RequestParamValues);
    EXPECT_EQ(call.count, before + 1);
    EXPECT_EQ(call.argument, MakeArray({MakeArray({Variant(9), Variant()})}));
    std::this_thread::sleep_for(100ms);
    CaptureStderr again;
    EXPECT_EQ(engine->RequestParamValue(ParamDescriptor(-8)), 0);
    again.Finish();
    // The whole pending set, in descriptor order: negative ids last.
    EXPECT_EQ(Script().getLastCall(Vx::DeviceControlEntry::RequestParamValues).argument,
              MakeArray({MakeArray({Variant(2), Variant()}), MakeArray({Variant(9), Variant()}),
                         MakeArray({Variant(-8), Variant()})}));
}

// The worker announces a new list, stays silent while it is the same, and
// announces a change within one change wait.
TEST_F(EngineWithLibrary, TheRemoteListIsAnnouncedOnlyWhenItChanges)
{
    Script().setDeviceList(MakeArray({Text("unit-1"), Text("unit-2")}));
    ASSERT_EQ(engine->Start(0), 0);
    Pump();
    listener->received.clear();
    EXPECT_EQ(engine->SetRemoteDeviceListEnabled(true), 0);
    EXPECT_EQ(engine->SetRemoteDeviceListEnabled(true), 0);
    const int probes = Script().getCallCount(Vx::DeviceControlEntry::FindRemoteDevices);
    EXPECT_TRUE(engine->IsWorkerRunning());
    const auto counts = [&] {
        std::vector<std::int64_t> numbers;
        for (const Seen& seen : listener->received)
        {
            if (seen.kind == "count")
                numbers.push_back(seen.number);
        }
        return numbers;
    };
    ASSERT_TRUE(PumpUntil([&] { return counts().size() == 1; }));
    EXPECT_EQ(counts(), (std::vector<std::int64_t>{2}));

    // Several change waits over the same list: nothing new.
    PumpUntil([] { return false; }, 2s);
    EXPECT_EQ(counts().size(), 1u);
    EXPECT_GT(Script().getCallCount(Vx::DeviceControlEntry::FindRemoteDevices), probes);

    Script().setDeviceList(MakeArray({Text("unit-1"), Text("unit-2"), Text("unit-3")}));
    ASSERT_TRUE(PumpUntil([&] { return counts().size() == 2; }));
    EXPECT_EQ(counts().back(), 3);
    Vx::Array<Variant> devices;
    EXPECT_EQ(engine->GetRemoteDevices(devices), 0);
    EXPECT_EQ(devices.GetCount(), 3u);

    EXPECT_EQ(engine->SetRemoteDeviceListEnabled(false), 0);
    ASSERT_TRUE(PumpUntil([&] { return !engine->IsWorkerRunning(); }));
}

// A library whose listing fails leaves the known list as it was; the worker
// goes on and announces the next real change.
TEST_F(EngineWithLibrary, AFailingListingKeepsTheListAndTheWorker)
{
    Script().setDeviceList(MakeArray({Text("unit-1")}));
    ASSERT_EQ(engine->Start(0), 0);
    ASSERT_EQ(engine->SetRemoteDeviceListEnabled(true), 0);
    const auto counts = [&] {
        std::size_t number = 0;
        for (const Seen& seen : listener->received)
            number += seen.kind == "count" ? 1 : 0;
        return number;
    };
    ASSERT_TRUE(PumpUntil([&] { return counts() == 1; }));
    Script().setResult(Vx::DeviceControlEntry::FindRemoteDevices, -5);
    const int listings = Script().getCallCount(Vx::DeviceControlEntry::FindRemoteDevices);
    ASSERT_TRUE(
        PumpUntil([&] { return Script().getCallCount(Vx::DeviceControlEntry::FindRemoteDevices) > listings + 1; }));
    EXPECT_EQ(counts(), 1u);
    EXPECT_TRUE(engine->IsWorkerRunning());
    Vx::Array<Variant> devices;
    EXPECT_EQ(engine->GetRemoteDevices(devices), 0);
    EXPECT_EQ(devices.GetCount(), 1u);

    Script().setResult(Vx::DeviceControlEntry::FindRemoteDevices, 0);
    Script().setDeviceList(MakeArray({Text("unit-1"), Text("unit-2")}));
    ASSERT_TRUE(PumpUntil([&] { return counts() == 2; }));
}

TEST_F(EngineWithLibrary, AFailedFirstProbeIsRememberedAndNotRepeated)
{
    Script().setResult(Vx::DeviceControlEntry::FindRemoteDevices, -5);
    ASSERT_EQ(engine->Start(0), 0);
    const std::int32_t first = engine->SetRemoteDeviceListEnabled(true);
    EXPECT_LT(first, 0);
    const int probes = Script().getCallCount(Vx::DeviceControlEntry::FindRemoteDevices);
    Script().setResult(Vx::DeviceControlEntry::FindRemoteDevices, 0);
    EXPECT_EQ(engine->SetRemoteDeviceListEnabled(true), first);
    EXPECT_EQ(Script().getCallCount(Vx::DeviceControlEntry::FindRemoteDevices), probes);
    EXPECT_FALSE(engine->IsWorkerRunning());
}

// Releasing the engine while its worker waits on the library stops the
// worker (the fixture's release is the application's) and returns.
TEST_F(EngineWithLibrary, ReleaseStopsARunningWorker)
{
    Script().setDeviceList(MakeArray({Text("unit-1")}));
    ASSERT_EQ(engine->Start(0), 0);
    ASSERT_EQ(engine->SetRemoteDeviceListEnabled(true), 0);
    ASSERT_TRUE(engine->IsWorkerRunning());
    std::this_thread::sleep_for(300ms);
    engine = nullptr;
    // Nothing lists once the release has returned.
    const int listings = Script().getCallCount(Vx::DeviceControlEntry::FindRemoteDevices);
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(Script().getCallCount(Vx::DeviceControlEntry::FindRemoteDevices), listings);
}

// --- Inside the application ----------------------------------------------

// The application object owns the engine: its start-up starts it and the
// lookup finds it.  Nothing the engine posts, from the main thread or from the
// library's delivery thread, reaches a client outside the application's idle
// pass, which delivers it all in order.
TEST(EngineInApplication, TheApplicationsIdlePassDeliversTheEnginesWork)
{
    Sim::SimDeviceControlLibrary library;
    const Vx::RCPtr<Listener> listener = Vx::MakeRCPtr<Listener>();
    for (const char* id : {Vx::kParamModuleStateChangeId, Vx::kDeviceConnectionStateChangeId})
        listener->Register(Vx::RCPtr<Vx::LNotificationDistributor>(Center()), id, 0);
    VxTest::Log log;
    Vx::RCPtr<VxTest::EngineApplication> app = Vx::MakeRCPtr<VxTest::EngineApplication>(&log);
    ASSERT_EQ(app->RunApplicationStartup(), Vx::VXR_OK);
    const Vx::RCPtr<LRootModuleEngine> engine = LRootModuleEngine::GetInstance();
    ASSERT_FALSE(engine.IsNull());
    EXPECT_EQ(engine, app->mEngine);
    EXPECT_EQ(engine->GetConnectionState(), LRootModuleEngine::kConnected);

    EXPECT_EQ(engine->SetParamValue(ParamDescriptor(54), Variant(std::int8_t{2})), 0);
    Vx::ParamValues batch;
    batch.SetValue(ParamDescriptor(91), Variant(std::int8_t{2}));
    library.script().sendBatch(&batch);
    ASSERT_TRUE(library.script().waitUntilSent(10000));
    EXPECT_TRUE(listener->received.empty());

    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (listener->received.size() < 4 && std::chrono::steady_clock::now() < deadline)
    {
        if (!app->ProcessIdle(false))
            std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(listener->Kinds(), (std::vector<std::string>{"list", "state", "pair", "pair"}));
    ASSERT_EQ(listener->received.size(), 4u);
    EXPECT_EQ(listener->received[1].number, LRootModuleEngine::kConnected);
    EXPECT_EQ(listener->received[2].ids, (std::vector<std::int32_t>{54}));
    EXPECT_EQ(listener->received[3].ids, (std::vector<std::int32_t>{91}));

    // Shutdown releases the application's engine; the lookup finds none.
    EXPECT_EQ(app->OnShutdown(), Vx::VXR_OK);
    EXPECT_TRUE(LRootModuleEngine::GetInstance().IsNull());
    app = nullptr;
    Pump();
    listener->UnregisterAll();
}
} // namespace
