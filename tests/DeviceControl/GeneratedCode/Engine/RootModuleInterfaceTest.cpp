#include "DeviceControl/GeneratedCode/Engine/Inc/RootModuleInterface.h"

#include "DeviceControl/GeneratedCode/Engine/Src/Device.h"
#include "tests/DeviceControl/GeneratedCode/Engine/ParamTreeTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace
{
using namespace Vx;
using VxTest::CountAllAssertions;
using VxTest::CountAssertions;
using VxTest::TestRoot;
using VxTest::Text;

constexpr const char* kHeader = "RootModuleInterface.h";

using Log = std::vector<std::string>;

// The interfaces implemented the way the views implement them: children
// handed in from outside, any of them possibly missing, and every tree
// notification written to a log.
template <class Interface>
class Recorded : public Interface
{
public:
    Recorded(Log& log, std::string name) : mLog(log), mName(std::move(name)) {}

    void OnDeviceConnected() override
    {
        mLog.push_back(mName);
        Interface::OnDeviceConnected();
    }
    void OnTreeNotification() override
    {
        mLog.push_back("tree " + mName);
        Interface::OnTreeNotification();
    }

private:
    Log& mLog;
    const std::string mName;
};

template <class Interface>
RCPtr<Recorded<Interface>> Leaf(Log& log, const std::string& name)
{
    return RCPtr<Recorded<Interface>>(new Recorded<Interface>(log, name));
}

// Containers with the two kinds of child the interfaces have: arrays and
// single children.
template <class Interface>
class MidiGroup : public Recorded<Interface>
{
public:
    using Recorded<Interface>::Recorded;
    RCPtr<IMidiCommunicatingTestModule> GetMidiCommunicatingTestModule(std::uint32_t index) override
    {
        return index < elements.size() ? elements[index] : nullptr;
    }
    RCPtr<IMidiMonitor> GetMidiMonitor() override { return monitor; }

    std::vector<RCPtr<IMidiCommunicatingTestModule>> elements;
    RCPtr<IMidiMonitor> monitor;
};

template <class Interface>
class WithVerification : public Recorded<Interface>
{
public:
    using Recorded<Interface>::Recorded;
    RCPtr<IManualVerificationTest> GetManualVerificationTest() override { return verification; }
    RCPtr<IManualVerificationTest> verification;
};

class Platter : public Recorded<IPlatterTest>
{
public:
    using Recorded::Recorded;
    RCPtr<IMidiCommunicatingTestModule> GetMidiCommunicatingTestModule() override { return midi; }
    RCPtr<IMidiMonitor> GetMidiMonitor() override { return monitor; }
    RCPtr<IMidiCommunicatingTestModule> midi;
    RCPtr<IMidiMonitor> monitor;
};

class CTP : public Recorded<ICTPTest>
{
public:
    using Recorded::Recorded;
    RCPtr<IFollowFingerTest> GetFollowFingerTest() override { return follow; }
    RCPtr<IMatchFingerTest> GetMatchFingerTest() override { return match; }
    RCPtr<IFollowFingerTest> follow;
    RCPtr<IMatchFingerTest> match;
};

class UITests : public Recorded<IUITests>
{
public:
    using Recorded::Recorded;
    RCPtr<ISwitchesTest> GetSwitchesTest() override { return switches; }
    RCPtr<IEncodersTest> GetEncodersTest() override { return encoders; }
    RCPtr<IPotsTest> GetPotsTest() override { return pots; }
    RCPtr<ILEDTest> GetLEDTest() override { return led; }
    RCPtr<IDisplayTest> GetDisplayTest() override { return display; }
    RCPtr<ICTPTest> GetCTPTest() override { return ctp; }
    RCPtr<IPlatterTest> GetPlatterTest() override { return platter; }

    RCPtr<ISwitchesTest> switches;
    RCPtr<IEncodersTest> encoders;
    RCPtr<IPotsTest> pots;
    RCPtr<ILEDTest> led;
    RCPtr<IDisplayTest> display;
    RCPtr<ICTPTest> ctp;
    RCPtr<IPlatterTest> platter;
};

class Device : public Recorded<IDevice>
{
public:
    using Recorded::Recorded;
    RCPtr<IUITests> GetUITests() override { return ui; }
    RCPtr<IDeviceTests> GetDeviceTests() override { return deviceTests; }
    RCPtr<ISystemTests> GetSystemTests() override { return system; }
    RCPtr<IUITests> ui;
    RCPtr<IDeviceTests> deviceTests;
    RCPtr<ISystemTests> system;
};

template <class Group>
RCPtr<Group> MakeMidiGroup(Log& log, const std::string& name, const std::string& element, std::uint32_t count)
{
    const RCPtr<Group> group(new Group(log, name));
    for (std::uint32_t index = 0; index < count; ++index)
        group->elements.push_back(Leaf<IMidiCommunicatingTestModule>(log, element + " " + std::to_string(index)));
    group->monitor = Leaf<IMidiMonitor>(log, name + " monitor");
    return group;
}

template <class Interface>
RCPtr<WithVerification<Interface>> MakeWithVerification(Log& log, const std::string& name)
{
    const RCPtr<WithVerification<Interface>> module(new WithVerification<Interface>(log, name));
    module->verification = Leaf<IManualVerificationTest>(log, name + " verification");
    return module;
}

// The user-interface tests' part of a tree, every module recorded.
RCPtr<UITests> MakeUITests(Log& log)
{
    const RCPtr<UITests> ui(new UITests(log, "ui"));
    ui->switches = MakeMidiGroup<MidiGroup<ISwitchesTest>>(log, "switches", "switch", 40);
    ui->encoders = MakeMidiGroup<MidiGroup<IEncodersTest>>(log, "encoders", "encoder", 2);
    ui->pots = MakeMidiGroup<MidiGroup<IPotsTest>>(log, "pots", "pot", 2);
    ui->led = MakeWithVerification<ILEDTest>(log, "led");
    ui->display = MakeWithVerification<IDisplayTest>(log, "display");
    const RCPtr<CTP> ctp(new CTP(log, "ctp"));
    ctp->follow = MakeWithVerification<IFollowFingerTest>(log, "follow finger");
    ctp->match = Leaf<IMatchFingerTest>(log, "match finger");
    ui->ctp = ctp;
    const RCPtr<Platter> platter(new Platter(log, "platter"));
    platter->midi = Leaf<IMidiCommunicatingTestModule>(log, "platter midi");
    platter->monitor = Leaf<IMidiMonitor>(log, "platter monitor");
    ui->platter = platter;
    return ui;
}

Log ExpectedUITestsOrder()
{
    Log order = {"ui", "switches"};
    for (int index = 0; index < 40; ++index)
        order.push_back("switch " + std::to_string(index));
    const Log rest = {"switches monitor",
                      "encoders",
                      "encoder 0",
                      "encoder 1",
                      "encoders monitor",
                      "pots",
                      "pot 0",
                      "pot 1",
                      "pots monitor",
                      "led",
                      "led verification",
                      "display",
                      "display verification",
                      "ctp",
                      "follow finger",
                      "follow finger verification",
                      "match finger",
                      "platter",
                      "platter midi",
                      "platter monitor"};
    order.insert(order.end(), rest.begin(), rest.end());
    return order;
}

TEST(ModuleInterfaces, TreeNotificationsReachEveryModuleDepthFirstInTableOrder)
{
    Log log;
    const RCPtr<UITests> ui = MakeUITests(log);
    ui->OnDeviceConnected();
    EXPECT_EQ(log, ExpectedUITestsOrder());

    log.clear();
    ui->OnTreeNotification();
    Log tree = ExpectedUITestsOrder();
    for (std::string& entry : tree)
        entry = "tree " + entry;
    EXPECT_EQ(log, tree);
}

TEST(ModuleInterfaces, AttachingAContainerAttachesItsChildrenAtTheirOffsetsAndElementIndices)
{
    Log log;
    const RCPtr<UITests> ui = MakeUITests(log);
    const RCPtr<TestRoot> root(new TestRoot);
    ui->Attach(root.Get(), 0, 0);

    const RCPtr<ISwitchesTest> switches = ui->switches;
    EXPECT_EQ(switches->GetParent(), ui.Get());
    for (std::uint32_t index = 0; index < 40; ++index)
    {
        const RCPtr<IMidiCommunicatingTestModule> element = switches->GetMidiCommunicatingTestModule(index);
        EXPECT_EQ(element->GetFirstParamID(), static_cast<std::int32_t>(index));
        EXPECT_EQ(element->GetAttachIndex(), index);
        EXPECT_EQ(element->GetParent(), switches.Get());
    }
    EXPECT_EQ(switches->GetMidiMonitor()->GetFirstParamID(), 40);
    EXPECT_EQ(switches->GetMidiMonitor()->GetAttachIndex(), 0u);

    const RCPtr<IEncodersTest> encoders = ui->encoders;
    EXPECT_EQ(encoders->GetFirstParamID(), 41);
    EXPECT_EQ(encoders->GetMidiCommunicatingTestModule(1)->GetFirstParamID(), 42);
    EXPECT_EQ(encoders->GetMidiCommunicatingTestModule(1)->GetAttachIndex(), 1u);
    EXPECT_EQ(encoders->GetMidiMonitor()->GetFirstParamID(), 43);
    EXPECT_EQ(ui->led->GetFirstParamID(), 47);
    EXPECT_EQ(ui->led->GetManualVerificationTest()->GetFirstParamID(), 48);
    EXPECT_EQ(ui->ctp->GetMatchFingerTest()->GetFirstParamID(), 51);
    EXPECT_EQ(ui->platter->GetMidiCommunicatingTestModule()->GetFirstParamID(), 52);
    EXPECT_EQ(ui->platter->GetMidiCommunicatingTestModule()->GetAttachIndex(), 0u);
    EXPECT_EQ(ui->platter->GetMidiMonitor()->GetFirstParamID(), 53);

    // The engine's audio-output test at 80: configurations at 80 and 81, and
    // their verifications with them.
    const RCPtr<LAudioOutTest> audio = LAudioOutTest::Create();
    const RCPtr<TestRoot> deviceRoot(new TestRoot);
    audio->Attach(deviceRoot.Get(), 80, 0);
    for (std::uint32_t index = 0; index < 2; ++index)
    {
        const RCPtr<IAudioOutTestConfiguration> configuration = audio->GetAudioOutTestConfiguration(index);
        EXPECT_EQ(configuration->GetFirstParamID(), 80 + static_cast<std::int32_t>(index));
        EXPECT_EQ(configuration->GetAttachIndex(), index);
        EXPECT_EQ(configuration->GetManualVerificationTest()->GetFirstParamID(), 80 + static_cast<std::int32_t>(index));
        EXPECT_EQ(configuration->GetManualVerificationTest()->GetAttachIndex(), 0u);
    }
}

TEST(ModuleInterfaces, MissingChildrenAreSkippedWithoutAMessage)
{
    Log log;
    const RCPtr<UITests> ui = MakeUITests(log);
    // A missing array element and a missing single child.
    static_cast<MidiGroup<ISwitchesTest>&>(*ui->switches).elements[3] = nullptr;
    const RCPtr<IPotsTest> pots = ui->pots;
    ui->pots = nullptr;
    const RCPtr<TestRoot> root(new TestRoot);

    EXPECT_EQ(CountAllAssertions([&] {
                  ui->Attach(root.Get(), 0, 0);
                  EXPECT_EQ(ui->GetModule(3), nullptr);
                  for (const std::int32_t id : {44, 45, 46})
                      EXPECT_EQ(ui->GetModule(id), nullptr) << id;
                  ui->OnDeviceConnected();
              }),
              0u);
    // The others are attached and reached.
    EXPECT_EQ(ui->GetModule(4).Get(), ui->switches->GetMidiCommunicatingTestModule(4).Get());
    EXPECT_EQ(ui->GetModule(47).Get(), ui->led.Get());
    EXPECT_EQ(ui->led->GetFirstParamID(), 47);
    EXPECT_EQ(pots->GetParent(), nullptr);

    Log expected = ExpectedUITestsOrder();
    std::erase(expected, "switch 3");
    std::erase_if(expected, [](const std::string& entry) { return entry.rfind("pot", 0) == 0; });
    EXPECT_EQ(log, expected);

    // Before its children exist a container attaches nothing and routes nowhere.
    const RCPtr<LDevice> bare(new LDevice);
    EXPECT_EQ(CountAllAssertions([&] {
                  bare->Attach(nullptr, 0, 0);
                  EXPECT_EQ(bare->GetModule(103), nullptr);
                  bare->OnDeviceConnected();
              }),
              0u);
}

TEST(ModuleInterfaces, AContainerRoutesItsOwnIdsToItselfAndRefusesIdsOutsideItsSpan)
{
    Log log;
    const RCPtr<UITests> ui = MakeUITests(log);
    const RCPtr<TestRoot> root(new TestRoot);
    ui->Attach(root.Get(), 1000, 0);
    EXPECT_EQ(ui->GetModule(1047).Get(), ui->led.Get());
    EXPECT_EQ(ui->led->GetModule(1048).Get(), ui->led->GetManualVerificationTest().Get());
    for (const std::int32_t id : {999, 1054, 47, -1, INT32_MIN})
    {
        RCPtr<LParameterizedModule> module;
        EXPECT_EQ(CountAssertions(kHeader, [&] { module = ui->GetModule(id); }), 1u) << id;
        EXPECT_EQ(module, nullptr) << id;
    }
}

// --- The root ----------------------------------------------------------------

struct RootFixture
{
    RootFixture()
    {
        root = new TestRoot;
        root->device = LDevice::Create();
        root->transport = new VxTest::RecordingTransport;
        root->transport->result = 42;
        root->Attach(nullptr, 0, 0);
    }

    RCPtr<TestRoot> root;
};

TEST(RootModuleInterface, RootOfTheTreeRoutesTheDeviceAndPassesNotificationsToIt)
{
    Log log;
    const RCPtr<TestRoot> root(new TestRoot);
    const RCPtr<Device> device(new Device(log, "device"));
    device->ui = MakeUITests(log);
    root->device = device;
    root->Attach(nullptr, 0, 0);
    EXPECT_EQ(device->GetParent(), root.Get());
    EXPECT_EQ(root->GetModule(47).Get(), device->ui->GetLEDTest().Get());
    EXPECT_EQ(CountAllAssertions([&] { EXPECT_EQ(root->GetModule(60), nullptr); }), 0u);

    root->OnDeviceConnected();
    Log expected = {"device"};
    for (const std::string& entry : ExpectedUITestsOrder())
        expected.push_back(entry);
    EXPECT_EQ(log, expected);

    // Without a device the root attaches and notifies nothing.
    const RCPtr<TestRoot> empty(new TestRoot);
    EXPECT_EQ(CountAllAssertions([&] {
                  empty->Attach(nullptr, 0, 0);
                  empty->OnDeviceConnected();
                  empty->OnTreeNotification();
                  EXPECT_EQ(empty->GetModule(3), nullptr);
              }),
              0u);
    EXPECT_EQ(empty->GetModuleForModuleID(-129), nullptr);
    EXPECT_EQ(std::as_const(*empty).GetModuleForModuleID(-200), nullptr);
}

TEST(RootModuleInterface, CachedOnlyWritesAndReadsReachOnlyTheCache)
{
    RootFixture fixture;
    TestRoot& root = *fixture.root;
    root.SetCachedOnly(true);
    EXPECT_TRUE(root.IsCachedOnly());
    root.cachedResult = 3;
    for (const std::int32_t id : {47, 106, -4, -129})
    {
        root.cachedWrites.clear();
        EXPECT_EQ(root.SetParamValue(ParamDescriptor(id), Variant(id)), 3) << id;
        ASSERT_EQ(root.cachedWrites.size(), 1u) << id;
        EXPECT_EQ(root.cachedWrites[0].paramID, id);
    }
    EXPECT_TRUE(root.fromChildren.empty());
    EXPECT_TRUE(root.transport->writes.empty());

    Variant value;
    EXPECT_EQ(root.GetParamValue(ParamDescriptor(47), value), 0);
    EXPECT_EQ(value, Variant(47));
    // Never a module's check, whatever the id.
    EXPECT_EQ(CountAllAssertions([&] { EXPECT_EQ(root.GetParamValue(ParamDescriptor(500), value), 0); }), 0u);
    EXPECT_EQ(value.GetTag(), Variant::T_NONE);
    EXPECT_TRUE(root.readsFromChildren.empty());
}

TEST(RootModuleInterface, WritesGoToTheOwningModuleAndTheTransportWhoseResultIsReturned)
{
    RootFixture fixture;
    TestRoot& root = *fixture.root;
    EXPECT_FALSE(root.IsCachedOnly());
    // The module's write fails; the transport's result is still the answer.
    root.fromChildResult = -1;
    struct Case
    {
        std::int32_t id;
        std::size_t moduleWrites; // reaching the root from the owning module
        std::size_t assertions;
    };
    const Case cases[] = {
        {103, 1, 0}, {0, 1, 0}, {-129, 0, 0}, {-256, 0, 0}, {-8, 0, 0}, {-4, 0, 0}, {-300, 0, 0}, {106, 0, 2},
    };
    for (const Case& c : cases)
    {
        root.fromChildren.clear();
        root.transport->writes.clear();
        std::int32_t result = 0;
        EXPECT_EQ(CountAssertions(kHeader,
                                  [&] { result = root.SetParamValue(ParamDescriptor(c.id, Text("k")), Variant(7)); }),
                  c.assertions)
            << c.id;
        EXPECT_EQ(result, 42) << c.id;
        EXPECT_EQ(root.fromChildren.size(), c.moduleWrites) << c.id;
        ASSERT_EQ(root.transport->writes.size(), 1u) << c.id;
        EXPECT_EQ(root.transport->writes[0].paramID, c.id);
        EXPECT_EQ(root.transport->writes[0].key, Text("k"));
        EXPECT_EQ(root.transport->writes[0].value, Variant(7));
    }

    // Without a transport nothing can take the value.
    root.transport = nullptr;
    std::int32_t result = 0;
    EXPECT_EQ(CountAssertions(kHeader, [&] { result = root.SetParamValue(ParamDescriptor(-8), Variant(1)); }), 1u);
    EXPECT_EQ(result, VXR_E_FAIL);
}

TEST(RootModuleInterface, ReadsAskTheOwningModuleOrFailWithoutOne)
{
    RootFixture fixture;
    TestRoot& root = *fixture.root;
    root.values[103] = Variant(5);
    Variant value;
    EXPECT_EQ(root.GetParamValue(ParamDescriptor(103), value), 0);
    EXPECT_EQ(value, Variant(5));
    EXPECT_EQ(root.readsFromChildren, (std::vector<std::int32_t>{103}));

    for (const std::int32_t id : {106, -1, -129})
    {
        value = Variant(1);
        std::int32_t result = 0;
        // The span's assertion, then the missing module's.
        EXPECT_EQ(CountAssertions(kHeader, [&] { result = root.GetParamValue(ParamDescriptor(id), value); }), 2u) << id;
        EXPECT_EQ(result, VXR_E_FAIL) << id;
        EXPECT_EQ(value.GetTag(), Variant::T_NONE) << id;
    }
    EXPECT_TRUE(root.transport->writes.empty());
}
} // namespace
