#include "DeviceControl/GeneratedCode/Engine/Src/Device.h"

#include "tests/DeviceControl/GeneratedCode/Engine/ParamTreeTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <typeindex>
#include <utility>
#include <vector>

namespace
{
using namespace Vx;
using VxTest::CountAllAssertions;
using VxTest::CountAssertions;
using VxTest::IsLogicErrorAt;
using VxTest::LogicErrorOf;
using VxTest::TestRoot;

constexpr const char* kHeader = "RootModuleInterface.h";
constexpr const char* kHeaderPath = "DeviceControl/GeneratedCode/Engine/Inc/RootModuleInterface.h";

std::string SourcePath(const std::string& name)
{
    return "DeviceControl/GeneratedCode/Engine/Src/" + name + ".cpp";
}

// The engine's tree under a test root attached at the given first id.
struct Tree
{
    explicit Tree(std::int32_t first = 0) : root(new TestRoot)
    {
        device = LDevice::Create();
        root->device = device;
        root->transport = new VxTest::RecordingTransport;
        root->Attach(nullptr, first, 0);
    }

    RCPtr<TestRoot> root;
    RCPtr<LDevice> device;
};

// The owning module of each id, as the id layout gives it.  One module owns
// a whole run, except where each id of the run has its own module.
enum class Owner
{
    OneForTheRun,
    ArrayElementPerId, // element index = id - run's first id
    SingleChildPerId,  // a single child of a parent that is itself one per id
};

struct LayoutRow
{
    std::int32_t first;
    std::int32_t last;
    std::type_index owner;
    std::type_index parent;
    Owner kind;
};

const LayoutRow kLayout[] = {
    {0, 39, typeid(LMidiCommunicatingTestModule), typeid(LSwitchesTest), Owner::ArrayElementPerId},
    {40, 40, typeid(LMidiMonitor), typeid(LSwitchesTest), Owner::OneForTheRun},
    {41, 42, typeid(LMidiCommunicatingTestModule), typeid(LEncodersTest), Owner::ArrayElementPerId},
    {43, 43, typeid(LMidiMonitor), typeid(LEncodersTest), Owner::OneForTheRun},
    {44, 45, typeid(LMidiCommunicatingTestModule), typeid(LPotsTest), Owner::ArrayElementPerId},
    {46, 46, typeid(LMidiMonitor), typeid(LPotsTest), Owner::OneForTheRun},
    {47, 47, typeid(LLEDTest), typeid(LUITests), Owner::OneForTheRun},
    {48, 48, typeid(LManualVerificationTest), typeid(LLEDTest), Owner::OneForTheRun},
    {49, 49, typeid(LManualVerificationTest), typeid(LDisplayTest), Owner::OneForTheRun},
    {50, 50, typeid(LManualVerificationTest), typeid(LFollowFingerTest), Owner::OneForTheRun},
    {51, 51, typeid(LMatchFingerTest), typeid(LCTPTest), Owner::OneForTheRun},
    {52, 52, typeid(LMidiCommunicatingTestModule), typeid(LPlatterTest), Owner::OneForTheRun},
    {53, 53, typeid(LMidiMonitor), typeid(LPlatterTest), Owner::OneForTheRun},
    {54, 62, typeid(LIOTests), typeid(LDeviceTests), Owner::OneForTheRun},
    {63, 67, typeid(LRemoteControlTest), typeid(LDeviceTests), Owner::OneForTheRun},
    {68, 68, typeid(LMidiMonitor), typeid(LRemoteControlTest), Owner::OneForTheRun},
    {69, 79, typeid(LMediaTests), typeid(LDeviceTests), Owner::OneForTheRun},
    {80, 81, typeid(LManualVerificationTest), typeid(LAudioOutTestConfiguration), Owner::SingleChildPerId},
    {82, 90, typeid(LMotorTest), typeid(LDeviceTests), Owner::OneForTheRun},
    {91, 95, typeid(LMemoryTest), typeid(LSystemTests), Owner::OneForTheRun},
    {96, 96, typeid(LManualVerificationTest), typeid(LRTCTest), Owner::OneForTheRun},
    {97, 97, typeid(LSuperCapTest), typeid(LSystemTests), Owner::OneForTheRun},
    {98, 98, typeid(LManualVerificationTest), typeid(LVersionTest), Owner::OneForTheRun},
    {99, 99, typeid(LMACTest), typeid(LSystemTests), Owner::OneForTheRun},
    {100, 102, typeid(LSerialTest), typeid(LSystemTests), Owner::OneForTheRun},
    {103, 105, typeid(LFanTest), typeid(LSystemTests), Owner::OneForTheRun},
};

const LayoutRow& RowOf(std::int32_t index)
{
    for (const LayoutRow& row : kLayout)
    {
        if (index >= row.first && index <= row.last)
            return row;
    }
    throw std::out_of_range("no row");
}

TEST(GeneratedModules, EveryIdOfTheSpaceRoutesToTheModuleAndIndexOfTheLayout)
{
    // The layout covers 0..105 without a gap.
    std::int32_t next = 0;
    for (const LayoutRow& row : kLayout)
    {
        EXPECT_EQ(row.first, next);
        next = row.last + 1;
    }
    EXPECT_EQ(next, 106);

    // Ids are relative to the root's first id, wherever it is.
    for (const std::int32_t first : {0, 1000, -500})
    {
        const Tree tree(first);
        std::set<const LParameterizedModule*> owners;
        std::map<const LParameterizedModule*, std::int32_t> idsPerOwner;
        const std::size_t assertions = CountAllAssertions([&] {
            for (std::int32_t index = 0; index < 106; ++index)
            {
                const std::int32_t id = first + index;
                const LayoutRow& row = RowOf(index);
                const RCPtr<LParameterizedModule> module = tree.root->GetModule(id);
                ASSERT_NE(module, nullptr) << id;
                const LParameterizedModule& owner = *module;
                EXPECT_EQ(std::type_index(typeid(owner)), row.owner) << id;
                ASSERT_NE(module->GetParent(), nullptr) << id;
                const LParameterizedModule& parent = *module->GetParent();
                EXPECT_EQ(std::type_index(typeid(parent)), row.parent) << id;
                EXPECT_EQ(tree.device->GetModule(id).Get(), module.Get()) << id;
                EXPECT_EQ(module->GetModule(id).Get(), module.Get()) << id;

                const bool perId = row.kind != Owner::OneForTheRun;
                EXPECT_EQ(module->GetFirstParamID(), perId ? id : first + row.first) << id;
                EXPECT_EQ(module->GetOwnParamCount(), perId ? 1u : static_cast<std::uint32_t>(row.last - row.first + 1))
                    << id;
                EXPECT_EQ(module->GetAttachIndex(),
                          row.kind == Owner::ArrayElementPerId ? static_cast<std::uint32_t>(index - row.first) : 0u)
                    << id;
                // The index of the id in its module.
                EXPECT_EQ(module->GetOffsetOf(id), perId ? 0u : static_cast<std::uint32_t>(index - row.first)) << id;
                owners.insert(module.Get());
                ++idsPerOwner[module.Get()];
            }
        });
        EXPECT_EQ(assertions, 0u);
        // Every owning module holds exactly its own ids.
        EXPECT_EQ(owners.size(), 68u);
        for (const auto& [module, count] : idsPerOwner)
            EXPECT_EQ(static_cast<std::uint32_t>(count), module->GetOwnParamCount());
    }
}

TEST(GeneratedModules, TheTreeHoldsTheModulesOfTheTableAtTheirFirstIds)
{
    const Tree tree;
    // Every module lies on the way from an owning module up to the root.
    std::set<LParameterizedModule*> modules;
    for (std::int32_t id = 0; id < 106; ++id)
    {
        for (LParameterizedModule* module = tree.root->GetModule(id).Get(); module != tree.root.Get();
             module = module->GetParent())
            modules.insert(module);
    }
    std::multiset<std::pair<std::type_index, std::int32_t>> found;
    for (LParameterizedModule* module : modules)
        found.insert({typeid(*module), module->GetFirstParamID()});

    std::multiset<std::pair<std::type_index, std::int32_t>> expected = {
        {typeid(LDevice), 0},
        {typeid(LUITests), 0},
        {typeid(LSwitchesTest), 0},
        {typeid(LEncodersTest), 41},
        {typeid(LPotsTest), 44},
        {typeid(LLEDTest), 47},
        {typeid(LDisplayTest), 49},
        {typeid(LCTPTest), 50},
        {typeid(LFollowFingerTest), 50},
        {typeid(LMatchFingerTest), 51},
        {typeid(LPlatterTest), 52},
        {typeid(LDeviceTests), 54},
        {typeid(LIOTests), 54},
        {typeid(LRemoteControlTest), 63},
        {typeid(LMediaTests), 69},
        {typeid(LAudioOutTest), 80},
        {typeid(LAudioOutTestConfiguration), 80},
        {typeid(LAudioOutTestConfiguration), 81},
        {typeid(LMotorTest), 82},
        {typeid(LSystemTests), 91},
        {typeid(LMemoryTest), 91},
        {typeid(LRTCTest), 96},
        {typeid(LSuperCapTest), 97},
        {typeid(LVersionTest), 98},
        {typeid(LMACTest), 99},
        {typeid(LSerialTest), 100},
        {typeid(LFanTest), 103},
    };
    for (const std::int32_t first : {48, 49, 50, 80, 81, 96, 98})
        expected.insert({typeid(LManualVerificationTest), first});
    for (const std::int32_t first : {40, 43, 46, 53, 68})
        expected.insert({typeid(LMidiMonitor), first});
    for (std::int32_t first = 0; first < 40; ++first)
        expected.insert({typeid(LMidiCommunicatingTestModule), first});
    for (const std::int32_t first : {41, 42, 44, 45, 52})
        expected.insert({typeid(LMidiCommunicatingTestModule), first});

    EXPECT_EQ(modules.size(), 84u);
    EXPECT_EQ(found, expected);
    const auto countOf = [&](const std::type_info& type) {
        return std::count_if(found.begin(), found.end(), [&](const auto& entry) { return entry.first == type; });
    };
    EXPECT_EQ(countOf(typeid(LMidiCommunicatingTestModule)), 45);
    EXPECT_EQ(countOf(typeid(LMidiMonitor)), 5);
    EXPECT_EQ(countOf(typeid(LManualVerificationTest)), 7);
    EXPECT_EQ(countOf(typeid(LAudioOutTestConfiguration)), 2);
}

TEST(GeneratedModules, IdsOutsideTheSpaceFindNoModule)
{
    const Tree tree;
    for (const std::int32_t id : {106, 107, -1, -2, -128, -129, -256, -257, INT32_MIN, INT32_MAX})
    {
        RCPtr<LParameterizedModule> module;
        EXPECT_EQ(CountAssertions(kHeader, [&] { module = tree.root->GetModule(id); }), 1u) << id;
        EXPECT_EQ(module, nullptr) << id;
        EXPECT_EQ(CountAssertions(kHeader, [&] { module = tree.device->GetModule(id); }), 1u) << id;
        EXPECT_EQ(module, nullptr) << id;
        ConstRCPtr<LParameterizedModule> constModule;
        EXPECT_EQ(CountAssertions(kHeader, [&] { constModule = std::as_const(*tree.root).GetModule(id); }), 1u);
        EXPECT_EQ(constModule, nullptr) << id;
    }
    EXPECT_EQ(std::as_const(*tree.root).GetModule(105).Get(), tree.device->GetSystemTests()->GetFanTest().Get());
    // A container refuses what lies outside its own span too.
    const RCPtr<ISystemTests> system = tree.device->GetSystemTests();
    for (const std::int32_t id : {90, 106, 0})
    {
        RCPtr<LParameterizedModule> module;
        EXPECT_EQ(CountAssertions(kHeader, [&] { module = system->GetModule(id); }), 1u) << id;
        EXPECT_EQ(module, nullptr) << id;
    }
}

struct ModuleClass
{
    const char* name;
    std::function<RCPtr<LParameterizedModule>()> create;
};

template <class Module>
ModuleClass Class(const char* name)
{
    return {name, [] { return RCPtr<LParameterizedModule>(Module::Create()); }};
}

const std::vector<ModuleClass>& AllClasses()
{
    static const std::vector<ModuleClass> classes = {
        Class<LAudioOutTest>("AudioOutTest"),
        Class<LAudioOutTestConfiguration>("AudioOutTestConfiguration"),
        Class<LCTPTest>("CTPTest"),
        Class<LDevice>("Device"),
        Class<LDeviceTests>("DeviceTests"),
        Class<LDisplayTest>("DisplayTest"),
        Class<LEncodersTest>("EncodersTest"),
        Class<LFanTest>("FanTest"),
        Class<LFollowFingerTest>("FollowFingerTest"),
        Class<LIOTests>("IOTests"),
        Class<LLEDTest>("LEDTest"),
        Class<LMACTest>("MACTest"),
        Class<LManualVerificationTest>("ManualVerificationTest"),
        Class<LMatchFingerTest>("MatchFingerTest"),
        Class<LMediaTests>("MediaTests"),
        Class<LMemoryTest>("MemoryTest"),
        Class<LMidiCommunicatingTestModule>("MidiCommunicatingTestModule"),
        Class<LMidiMonitor>("MidiMonitor"),
        Class<LMotorTest>("MotorTest"),
        Class<LPlatterTest>("PlatterTest"),
        Class<LPotsTest>("PotsTest"),
        Class<LRemoteControlTest>("RemoteControlTest"),
        Class<LRTCTest>("RTCTest"),
        Class<LSerialTest>("SerialTest"),
        Class<LSuperCapTest>("SuperCapTest"),
        Class<LSwitchesTest>("SwitchesTest"),
        Class<LSystemTests>("SystemTests"),
        Class<LUITests>("UITests"),
        Class<LVersionTest>("VersionTest"),
    };
    return classes;
}

const ModuleClass& ClassNamed(const std::string& name)
{
    for (const ModuleClass& moduleClass : AllClasses())
    {
        if (name == moduleClass.name)
            return moduleClass;
    }
    throw std::out_of_range(name);
}

TEST(GeneratedModules, WithoutAParentOnlyTheClassesPlacedAtTheRootsFirstIdAttach)
{
    // Without a parent a module is its own top, so its place is 0 wherever
    // it is attached; a container's children are checked first, at their
    // offsets, and the first to refuse its place throws.
    const std::map<std::string, std::string> thrower = {
        {"AudioOutTest", "ManualVerificationTest"},
        {"AudioOutTestConfiguration", "ManualVerificationTest"},
        {"CTPTest", "ManualVerificationTest"},
        {"Device", ""},
        {"DeviceTests", "IOTests"},
        {"DisplayTest", "ManualVerificationTest"},
        {"EncodersTest", "MidiMonitor"},
        {"FanTest", "FanTest"},
        {"FollowFingerTest", "ManualVerificationTest"},
        {"IOTests", "IOTests"},
        {"LEDTest", "ManualVerificationTest"},
        {"MACTest", "MACTest"},
        {"ManualVerificationTest", "ManualVerificationTest"},
        {"MatchFingerTest", "MatchFingerTest"},
        {"MediaTests", "MediaTests"},
        {"MemoryTest", "MemoryTest"},
        {"MidiCommunicatingTestModule", ""},
        {"MidiMonitor", "MidiMonitor"},
        {"MotorTest", "MotorTest"},
        {"PlatterTest", "MidiMonitor"},
        {"PotsTest", "MidiMonitor"},
        {"RemoteControlTest", "MidiMonitor"},
        {"RTCTest", "ManualVerificationTest"},
        {"SerialTest", "SerialTest"},
        {"SuperCapTest", "SuperCapTest"},
        {"SwitchesTest", ""},
        {"SystemTests", "MemoryTest"},
        {"UITests", ""},
        {"VersionTest", "ManualVerificationTest"},
    };
    ASSERT_EQ(AllClasses().size(), 29u);
    for (const ModuleClass& moduleClass : AllClasses())
    {
        const std::string& expected = thrower.at(moduleClass.name);
        for (const std::int32_t first : {0, 77})
        {
            const RCPtr<LParameterizedModule> module = moduleClass.create();
            const std::string error = LogicErrorOf([&] { module->Attach(nullptr, first, 0); });
            if (expected.empty())
                EXPECT_EQ(error, "") << moduleClass.name;
            else
                EXPECT_TRUE(IsLogicErrorAt(error, "Invalid FirstParamID", SourcePath(expected)))
                    << moduleClass.name << ": " << error;
            // The values stay as stored.
            EXPECT_EQ(module->GetFirstParamID(), first) << moduleClass.name;
            EXPECT_EQ(module->GetParent(), nullptr) << moduleClass.name;
        }
    }
    // A leaf's own check, alone.
    const RCPtr<LFanTest> fan = LFanTest::Create();
    EXPECT_TRUE(IsLogicErrorAt(LogicErrorOf([&] { fan->Attach(nullptr, 103, 0); }), "Invalid FirstParamID",
                               SourcePath("FanTest")));
}

TEST(GeneratedModules, AModuleAttachedOutsideItsPlacesThrowsAfterItsChildren)
{
    struct Case
    {
        const char* module;
        std::int32_t first;
        const char* thrower; // empty when the place is right
    };
    const Case cases[] = {
        {"ManualVerificationTest", 51, "ManualVerificationTest"},
        {"ManualVerificationTest", 48, ""},
        {"ManualVerificationTest", 98, ""},
        {"MidiCommunicatingTestModule", 40, "MidiCommunicatingTestModule"},
        {"MidiCommunicatingTestModule", 43, "MidiCommunicatingTestModule"},
        {"MidiCommunicatingTestModule", 52, ""},
        {"MidiCommunicatingTestModule", 39, ""},
        {"MidiMonitor", 41, "MidiMonitor"},
        {"MidiMonitor", 68, ""},
        {"AudioOutTestConfiguration", 81, ""},
        // Its child is checked first, and refuses 82.
        {"AudioOutTestConfiguration", 82, "ManualVerificationTest"},
        {"FanTest", 103, ""},
        {"FanTest", 102, "FanTest"},
        {"EncodersTest", 41, ""},
        // Its second element would sit at 43.
        {"EncodersTest", 42, "MidiCommunicatingTestModule"},
        {"SystemTests", 91, ""},
        {"SystemTests", 92, "MemoryTest"},
        {"LEDTest", 47, ""},
        {"LEDTest", 46, "ManualVerificationTest"},
    };
    for (const Case& c : cases)
    {
        const RCPtr<TestRoot> root(new TestRoot);
        root->Attach(nullptr, 0, 0);
        const RCPtr<LParameterizedModule> module = ClassNamed(c.module).create();
        const std::string error = LogicErrorOf([&] { module->Attach(root.Get(), c.first, 2); });
        if (*c.thrower == '\0')
            EXPECT_EQ(error, "") << c.module << " at " << c.first;
        else
            EXPECT_TRUE(IsLogicErrorAt(error, "Invalid FirstParamID", SourcePath(c.thrower)))
                << c.module << " at " << c.first << ": " << error;
        EXPECT_EQ(module->GetParent(), root.Get());
        EXPECT_EQ(module->GetFirstParamID(), c.first);
        EXPECT_EQ(module->GetAttachIndex(), 2u);
    }

    // What was attached before the failure stays attached.
    const RCPtr<TestRoot> root(new TestRoot);
    const RCPtr<LAudioOutTestConfiguration> configuration = LAudioOutTestConfiguration::Create();
    EXPECT_NE(LogicErrorOf([&] { configuration->Attach(root.Get(), 82, 0); }), "");
    const RCPtr<IManualVerificationTest> verification = configuration->GetManualVerificationTest();
    EXPECT_EQ(verification->GetParent(), configuration.Get());
    EXPECT_EQ(verification->GetFirstParamID(), 82);
}

TEST(GeneratedModules, DefaultsAreEmptyExceptTheMidiMonitorsListOfOneEmptyText)
{
    const Tree tree;
    const std::set<std::int32_t> monitors = {40, 43, 46, 53, 68};
    for (std::int32_t id = 0; id < 106; ++id)
    {
        const Variant value = tree.root->GetModule(id)->GetDefaultValue(id);
        if (monitors.count(id) == 0)
        {
            EXPECT_EQ(value.GetTag(), Variant::T_NONE) << id;
            continue;
        }
        ASSERT_EQ(value.GetTag(), Variant::T_ARRAY) << id;
        EXPECT_EQ(value.GetSize(), 13u) << id;
        ASSERT_EQ(value.GetArrayCount(), 1u) << id;
        Variant element;
        ASSERT_EQ(value.GetArrayElement(0, element), 0);
        EXPECT_EQ(element.GetTag(), Variant::T_STRING);
        EXPECT_STREQ(element.GetString(), "");
        // The array's own header, then its one element: size 13, format 1,
        // tag 15 and the text's terminating zero.
        std::uint8_t bytes[25] = {};
        ASSERT_EQ(value.Serialize(bytes, sizeof bytes), 25);
        const std::uint8_t serialized[25] = {25, 0, 0, 0, 1, 0, 0, 0,  16, 0, 0, 0, 13,
                                             0,  0, 0, 1, 0, 0, 0, 15, 0,  0, 0, 0};
        EXPECT_TRUE(std::equal(bytes, bytes + 25, serialized)) << id;
    }

    // Only its own ids, absolute.
    const RCPtr<LParameterizedModule> lastMonitor = tree.root->GetModule(68);
    EXPECT_TRUE(IsLogicErrorAt(LogicErrorOf([&] { lastMonitor->GetDefaultValue(40); }), "", SourcePath("MidiMonitor")));
    EXPECT_TRUE(IsLogicErrorAt(LogicErrorOf([&] { lastMonitor->GetDefaultValue(0); }), "", SourcePath("MidiMonitor")));
    const RCPtr<LParameterizedModule> fan = tree.root->GetModule(103);
    for (const std::int32_t id : {102, 106, -1})
        EXPECT_TRUE(IsLogicErrorAt(LogicErrorOf([&] { fan->GetDefaultValue(id); }), "", SourcePath("FanTest"))) << id;
    // A module without own parameters keeps the base's answer.
    Variant value(1);
    EXPECT_EQ(CountAssertions(kHeader, [&] { value = tree.device->GetDeviceTests()->GetDefaultValue(54); }), 1u);
    EXPECT_EQ(value.GetTag(), Variant::T_NONE);
}

TEST(GeneratedModules, OwnValuesAreReadFromTheRootAndForeignIdsThrow)
{
    const Tree tree;
    const RCPtr<IFanTest> fan = tree.device->GetSystemTests()->GetFanTest();
    tree.root->values = {{103, Variant(1)}, {104, Variant(2)}, {105, VxTest::Text("x")}, {102, Variant(9)}};
    EXPECT_EQ(fan->GetValue(ParamDescriptor(103)), Variant(1));
    EXPECT_EQ(fan->GetValue(ParamDescriptor(104)), Variant(2));
    EXPECT_EQ(fan->GetValue(ParamDescriptor(105)), VxTest::Text("x"));
    EXPECT_EQ(tree.root->readsFromChildren, (std::vector<std::int32_t>{103, 104, 105}));
    for (const std::int32_t id : {102, 106, -1, -129})
    {
        const std::string error = LogicErrorOf([&] { fan->GetValue(ParamDescriptor(id)); });
        EXPECT_TRUE(IsLogicErrorAt(error, "", SourcePath("FanTest"))) << id << ": " << error;
    }
    EXPECT_EQ(tree.root->readsFromChildren.size(), 3u);
}

TEST(GeneratedModules, SetValueLetsOwnIdsThroughAndSendsModuleLevelIdsToTheDevice)
{
    const Tree tree;
    const RCPtr<IFanTest> fan = tree.device->GetSystemTests()->GetFanTest();
    const VxTest::RecordingTransport& transport = *tree.root->transport;
    struct Case
    {
        std::int32_t id;
        std::uint32_t flags;
        std::int32_t result;
        std::size_t assertions; // in FanTest.cpp
        std::size_t rootWrites;
        std::size_t deviceWrites;
    };
    const Case cases[] = {
        {106, 0, -1, 1, 0, 0},  {102, 1, -1, 1, 0, 0}, {-1, 0, -1, 1, 0, 0},  {-128, 0, -1, 1, 0, 0},
        {-257, 0, -1, 1, 0, 0}, {-129, 0, 1, 0, 0, 1}, {-256, 0, 1, 0, 0, 1}, {-129, 1, 1, 0, 0, 0},
        {103, 0, 0, 0, 1, 0},   {105, 1, 0, 0, 1, 0},
    };
    for (const Case& c : cases)
    {
        tree.root->fromChildren.clear();
        tree.root->transport->writes.clear();
        const ParamDescriptor descriptor(c.id, VxTest::Text("key"));
        std::int32_t result = 0;
        EXPECT_EQ(CountAssertions("FanTest.cpp", [&] { result = fan->SetValue(descriptor, Variant(5), c.flags); }),
                  c.assertions)
            << c.id;
        EXPECT_EQ(result, c.result) << c.id;
        ASSERT_EQ(tree.root->fromChildren.size(), c.rootWrites) << c.id;
        ASSERT_EQ(transport.writes.size(), c.deviceWrites) << c.id;
        for (const std::vector<VxTest::Write>* writes : {&std::as_const(tree.root->fromChildren), &transport.writes})
        {
            for (const VxTest::Write& write : *writes)
            {
                EXPECT_EQ(write.paramID, c.id);
                EXPECT_EQ(write.key, VxTest::Text("key"));
                EXPECT_EQ(write.value, Variant(5));
            }
        }
    }

    // The root's answer is the module's.
    tree.root->fromChildResult = -3;
    EXPECT_EQ(fan->SetValue(ParamDescriptor(104), Variant(1), 0), -3);

    // A failed device write is reported and the write still counts as done.
    tree.root->transport->result = -2;
    std::int32_t result = 0;
    EXPECT_EQ(CountAssertions("FanTest.cpp", [&] { result = fan->SetValue(ParamDescriptor(-200), Variant(1), 0); }),
              1u);
    EXPECT_EQ(result, 1);
    tree.root->transport = nullptr;
    EXPECT_EQ(CountAssertions("FanTest.cpp", [&] { result = fan->SetValue(ParamDescriptor(-200), Variant(1), 0); }),
              1u);
    EXPECT_EQ(result, 1);
}

TEST(GeneratedModules, ModulesWithoutOwnParametersKeepTheBaseChecks)
{
    const Tree tree;
    const RCPtr<IDeviceTests> deviceTests = tree.device->GetDeviceTests();
    for (const std::int32_t id : {54, 60, -1})
    {
        EXPECT_TRUE(IsLogicErrorAt(LogicErrorOf([&] { deviceTests->SetValue(ParamDescriptor(id), Variant(1), 0); }), "",
                                   kHeaderPath))
            << id;
        EXPECT_TRUE(IsLogicErrorAt(LogicErrorOf([&] { deviceTests->GetValue(ParamDescriptor(id)); }), "", kHeaderPath))
            << id;
    }
    // A module-level id climbs to the root like any value.
    EXPECT_EQ(deviceTests->SetValue(ParamDescriptor(-130), Variant(1), 0), 0);
    ASSERT_EQ(tree.root->fromChildren.size(), 1u);
    EXPECT_EQ(tree.root->fromChildren[0].paramID, -130);
    EXPECT_TRUE(tree.root->transport->writes.empty());
}

TEST(GeneratedModules, ModulesWithOwnParametersAndAChildOwnOnlyTheirOwnIds)
{
    const Tree tree;
    const RCPtr<IRemoteControlTest> remote = tree.device->GetDeviceTests()->GetRemoteControlTest();
    for (std::int32_t id = 63; id <= 67; ++id)
        EXPECT_EQ(remote->SetValue(ParamDescriptor(id), Variant(id), 0), 0) << id;
    std::int32_t result = 0;
    EXPECT_EQ(CountAssertions("RemoteControlTest.cpp",
                              [&] { result = remote->SetValue(ParamDescriptor(68), Variant(1), 0); }),
              1u);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(remote->GetModule(68).Get(), remote->GetMidiMonitor().Get());
    EXPECT_EQ(tree.root->fromChildren.size(), 5u);

    const RCPtr<ILEDTest> led = tree.device->GetUITests()->GetLEDTest();
    EXPECT_EQ(led->GetModule(47).Get(), led.Get());
    EXPECT_EQ(led->GetModule(48).Get(), led->GetManualVerificationTest().Get());
    EXPECT_EQ(CountAssertions("LEDTest.cpp", [&] { result = led->SetValue(ParamDescriptor(48), Variant(1), 0); }), 1u);
    EXPECT_EQ(result, -1);
}

TEST(GeneratedModules, ChildrenAreCreatedByTheFactoryInTheirNumbers)
{
    // Before its children are created a module has none.
    const RCPtr<LSwitchesTest> bare(new LSwitchesTest);
    EXPECT_EQ(bare->GetMidiMonitor(), nullptr);
    RCPtr<IMidiCommunicatingTestModule> element;
    EXPECT_EQ(CountAssertions("GeneratedModule.h", [&] { element = bare->GetMidiCommunicatingTestModule(0); }), 1u);
    EXPECT_EQ(element, nullptr);
    const RCPtr<LDevice> bareDevice(new LDevice);
    EXPECT_EQ(bareDevice->GetUITests(), nullptr);
    EXPECT_EQ(bareDevice->GetDeviceTests(), nullptr);
    EXPECT_EQ(bareDevice->GetSystemTests(), nullptr);

    bare->CreateChildren();
    std::set<const IMidiCommunicatingTestModule*> elements;
    for (std::uint32_t index = 0; index < 40; ++index)
        elements.insert(bare->GetMidiCommunicatingTestModule(index).Get());
    EXPECT_EQ(elements.size(), 40u);
    EXPECT_EQ(elements.count(nullptr), 0u);
    EXPECT_NE(bare->GetMidiMonitor(), nullptr);
    // An index past the array finds nothing.
    EXPECT_EQ(CountAssertions("GeneratedModule.h", [&] { element = bare->GetMidiCommunicatingTestModule(40); }), 1u);
    EXPECT_EQ(element, nullptr);

    const Tree tree;
    const RCPtr<IUITests> ui = tree.device->GetUITests();
    for (const auto& pair :
         {std::pair<RCPtr<IMidiCommunicatingTestModule>, RCPtr<IMidiCommunicatingTestModule>>{
              ui->GetEncodersTest()->GetMidiCommunicatingTestModule(0),
              ui->GetEncodersTest()->GetMidiCommunicatingTestModule(1)},
          {ui->GetPotsTest()->GetMidiCommunicatingTestModule(0), ui->GetPotsTest()->GetMidiCommunicatingTestModule(1)}})
    {
        EXPECT_NE(pair.first, nullptr);
        EXPECT_NE(pair.second, nullptr);
        EXPECT_NE(pair.first.Get(), pair.second.Get());
    }
    const RCPtr<IAudioOutTest> audio = tree.device->GetDeviceTests()->GetAudioOutTest();
    EXPECT_NE(audio->GetAudioOutTestConfiguration(0), nullptr);
    EXPECT_NE(audio->GetAudioOutTestConfiguration(1), nullptr);
    EXPECT_NE(audio->GetAudioOutTestConfiguration(0).Get(), audio->GetAudioOutTestConfiguration(1).Get());
    EXPECT_EQ(CountAllAssertions([&] { EXPECT_EQ(audio->GetAudioOutTestConfiguration(2), nullptr); }), 1u);

    // The read-only accessors give the same children.
    const IDevice& constDevice = *tree.device;
    EXPECT_EQ(constDevice.GetSystemTests().Get(), tree.device->GetSystemTests().Get());
    const ISwitchesTest& constSwitches = *ui->GetSwitchesTest();
    EXPECT_EQ(constSwitches.GetMidiCommunicatingTestModule(7).Get(),
              ui->GetSwitchesTest()->GetMidiCommunicatingTestModule(7).Get());
}

TEST(GeneratedModules, ReleasingTheRootReleasesTheWholeTree)
{
    // A module kept from the tree outlives it and is the last owner of its
    // own subtree.
    RCPtr<IAudioOutTest> audio;
    {
        const Tree tree;
        audio = tree.device->GetDeviceTests()->GetAudioOutTest();
        EXPECT_EQ(audio->GetRefCount(), 2u);
    }
    EXPECT_EQ(audio->GetRefCount(), 1u);
    const RCPtr<IAudioOutTestConfiguration> configuration = audio->GetAudioOutTestConfiguration(1);
    EXPECT_EQ(configuration->GetRefCount(), 2u);
    audio = nullptr;
    EXPECT_EQ(configuration->GetRefCount(), 1u);
}
} // namespace
