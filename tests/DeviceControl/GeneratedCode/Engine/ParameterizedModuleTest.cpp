#include "DeviceControl/GeneratedCode/Engine/Inc/RootModuleInterface.h"

#include "tests/DeviceControl/GeneratedCode/Engine/ParamTreeTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace
{
using Vx::LParameterizedModule;
using Vx::ParamDescriptor;
using Vx::RCPtr;
using Vx::Variant;
using VxTest::CountAllAssertions;
using VxTest::CountAssertions;
using VxTest::Text;

constexpr const char* kHeaderPath = "DeviceControl/GeneratedCode/Engine/Inc/RootModuleInterface.h";
constexpr const char* kHeader = "RootModuleInterface.h";

// A module with only the base behaviour.
class PlainModule : public LParameterizedModule
{
public:
    explicit PlainModule(std::uint32_t ownParamCount) : LParameterizedModule(ownParamCount) {}
};

// A parent that records what its children pass up and answers with fixed
// results; it has no parent itself.
class RecordingParent : public PlainModule
{
public:
    RecordingParent() : PlainModule(0) {}

    std::int32_t SetValueFromChild(const ParamDescriptor& descriptor, const Variant& value) override
    {
        writes.push_back({descriptor.mParamID, descriptor.mKey, value});
        return 7;
    }
    Variant GetValueFromChild(const ParamDescriptor& descriptor) override
    {
        reads.push_back(descriptor.mParamID);
        return Variant(std::int32_t{70});
    }
    void SetElementValueFromChild(const ParamDescriptor& descriptor, std::uint32_t elementIndex, const Variant& value,
                                  std::uint32_t flags) override
    {
        elementWrites.push_back({descriptor.mParamID, elementIndex, value, flags});
    }

    struct ElementWrite
    {
        std::int32_t paramID;
        std::uint32_t elementIndex;
        Variant value;
        std::uint32_t flags;
    };
    std::vector<VxTest::Write> writes;
    std::vector<std::int32_t> reads;
    std::vector<ElementWrite> elementWrites;
};

template <class T, class... Args>
RCPtr<T> Make(Args... args)
{
    return RCPtr<T>(new T(args...));
}

TEST(ParameterizedModule, NewModuleIsUnattachedAndItsValueCallsEndInAssertions)
{
    const auto module = Make<PlainModule>(3);
    EXPECT_EQ(module->GetFirstParamID(), 0);
    EXPECT_EQ(module->GetAttachIndex(), 0u);
    EXPECT_EQ(module->GetParent(), nullptr);
    EXPECT_EQ(module->GetOwnParamCount(), 3u);

    const ParamDescriptor descriptor(1, Variant(2));
    struct Case
    {
        const char* name;
        std::function<bool()> call;
    };
    const Case cases[] = {
        {"SetValue", [&] { return module->SetValue(descriptor, Variant(1), 0) == -1; }},
        {"GetValue", [&] { return module->GetValue(descriptor).GetTag() == Variant::T_NONE; }},
        {"SetValueFromChild", [&] { return module->SetValueFromChild(descriptor, Variant(1)) == -1; }},
        {"GetValueFromChild", [&] { return module->GetValueFromChild(descriptor).GetTag() == Variant::T_NONE; }},
        {"GetDefaultValue", [&] { return module->GetDefaultValue(1).GetTag() == Variant::T_NONE; }},
        {"SetParamValueCached", [&] { return module->SetParamValueCached(descriptor, Variant(1)) == Vx::VXR_E_FAIL; }},
        {"GetParamValueCached", [&] { return module->GetParamValueCached(descriptor).GetTag() == Variant::T_NONE; }},
        {"SetElementValueFromChild",
         [&] {
             module->SetElementValueFromChild(descriptor, 0, Variant(1), 1);
             return true;
         }},
    };
    for (const Case& c : cases)
    {
        bool answered = false;
        EXPECT_EQ(CountAllAssertions([&] { answered = c.call(); }), 1u) << c.name;
        EXPECT_EQ(CountAssertions(kHeader, [&] { c.call(); }), 1u) << c.name;
        EXPECT_TRUE(answered) << c.name;
    }
    // Nothing a failed call does changes the module.
    EXPECT_EQ(module->GetParent(), nullptr);
    EXPECT_EQ(module->GetFirstParamID(), 0);
}

TEST(ParameterizedModule, AttachStoresItsArgumentsAndNothingElse)
{
    const auto parent = Make<RecordingParent>();
    const auto module = Make<PlainModule>(1);
    const std::uint32_t parentRefs = parent->GetRefCount();
    module->Attach(parent.Get(), 103, 4);
    EXPECT_EQ(module->GetParent(), parent.Get());
    EXPECT_EQ(module->GetFirstParamID(), 103);
    EXPECT_EQ(module->GetAttachIndex(), 4u);
    // The parent link is not a counted reference.
    EXPECT_EQ(parent->GetRefCount(), parentRefs);
    // No check of the id: any first id is taken.
    module->Attach(nullptr, -5, 0);
    EXPECT_EQ(module->GetFirstParamID(), -5);
    EXPECT_EQ(module->GetParent(), nullptr);
}

TEST(ParameterizedModule, WritesAndReadsClimbToTheParentWithoutTheFlags)
{
    const auto parent = Make<RecordingParent>();
    const auto module = Make<PlainModule>(3);
    module->Attach(parent.Get(), 103, 0);

    const ParamDescriptor descriptor(104, Text("key"));
    EXPECT_EQ(CountAllAssertions([&] { EXPECT_EQ(module->SetValue(descriptor, Variant(9), 1), 7); }), 0u);
    ASSERT_EQ(parent->writes.size(), 1u);
    EXPECT_EQ(parent->writes[0].paramID, 104);
    EXPECT_EQ(parent->writes[0].key, Text("key"));
    EXPECT_EQ(parent->writes[0].value, Variant(9));

    EXPECT_EQ(module->GetValue(descriptor), Variant(std::int32_t{70}));
    EXPECT_EQ(module->SetValueFromChild(descriptor, Variant(8)), 7);
    EXPECT_EQ(module->GetValueFromChild(descriptor), Variant(std::int32_t{70}));
    EXPECT_EQ(parent->writes.size(), 2u);
    EXPECT_EQ(parent->reads, (std::vector<std::int32_t>{104, 104}));
    // A module with own parameters lets any id through in the base.
    EXPECT_EQ(module->SetValue(ParamDescriptor(5), Variant(1), 0), 7);
}

TEST(ParameterizedModule, AModuleWithoutOwnParametersTakesOnlyModuleLevelIds)
{
    const auto parent = Make<RecordingParent>();
    const auto container = Make<PlainModule>(0);
    container->Attach(parent.Get(), 0, 0);

    for (const std::int32_t id : {5, 0, -1, -128, -257, 106})
    {
        const std::string setError =
            VxTest::LogicErrorOf([&] { container->SetValue(ParamDescriptor(id), Variant(1), 0); });
        EXPECT_TRUE(VxTest::IsLogicErrorAt(setError, "", kHeaderPath)) << id << ": " << setError;
        const std::string getError = VxTest::LogicErrorOf([&] { container->GetValue(ParamDescriptor(id)); });
        EXPECT_TRUE(VxTest::IsLogicErrorAt(getError, "", kHeaderPath)) << id << ": " << getError;
        EXPECT_NE(setError, getError) << "each check names its own line";
    }
    EXPECT_TRUE(parent->writes.empty());
    EXPECT_TRUE(parent->reads.empty());

    for (const std::int32_t id : {-129, -200, -256})
    {
        EXPECT_EQ(container->SetValue(ParamDescriptor(id), Variant(1), 0), 7) << id;
        EXPECT_EQ(container->GetValue(ParamDescriptor(id)), Variant(std::int32_t{70})) << id;
    }
    EXPECT_EQ(parent->writes.size(), 3u);
}

TEST(ParameterizedModule, AModuleWithoutChildrenOwnsEveryIdThatReachesIt)
{
    const auto module = Make<PlainModule>(1);
    module->Attach(nullptr, 40, 0);
    for (const std::int32_t id : {40, 0, 105, -1, -129, INT32_MIN})
    {
        EXPECT_EQ(module->GetModule(id).Get(), module.Get()) << id;
        const Vx::ConstRCPtr<LParameterizedModule> constModule =
            static_cast<const LParameterizedModule&>(*module).GetModule(id);
        EXPECT_EQ(constModule.Get(), module.Get()) << id;
    }
}

TEST(ParameterizedModule, ElementWritesCarryAllFourArgumentsUpAndCheckTheElementIndex)
{
    const auto parent = Make<RecordingParent>();
    const auto module = Make<PlainModule>(1);
    module->Attach(parent.Get(), 47, 0);
    EXPECT_EQ(module->GetElementCount(47), 1u);
    EXPECT_EQ(module->GetElementCount(-300), 1u);

    const ParamDescriptor descriptor(47);
    EXPECT_EQ(CountAllAssertions([&] { module->SetElementValue(descriptor, 0, Variant(3), 1); }), 0u);
    // An index past the element count is reported and still passed on.
    EXPECT_EQ(CountAssertions(kHeader, [&] { module->SetElementValue(descriptor, 1, Variant(4), 0); }), 1u);
    ASSERT_EQ(parent->elementWrites.size(), 2u);
    EXPECT_EQ(parent->elementWrites[0].elementIndex, 0u);
    EXPECT_EQ(parent->elementWrites[0].flags, 1u);
    EXPECT_EQ(parent->elementWrites[1].elementIndex, 1u);
    EXPECT_EQ(parent->elementWrites[1].value, Variant(4));
    EXPECT_EQ(parent->elementWrites[1].flags, 0u);

    // No root ends the chain: the topmost module reports it.
    const auto grandchild = Make<PlainModule>(1);
    const auto middle = Make<PlainModule>(1);
    middle->Attach(nullptr, 0, 0);
    grandchild->Attach(middle.Get(), 0, 0);
    EXPECT_EQ(CountAssertions(kHeader, [&] { grandchild->SetElementValue(descriptor, 0, Variant(1), 0); }), 1u);
}

TEST(ParameterizedModule, CacheCallsClimbToTheTopmostModule)
{
    // A tree whose top has no cache (the user interface's side) ends in the
    // top's assertion.
    const auto top = Make<PlainModule>(0);
    const auto middle = Make<PlainModule>(0);
    const auto leaf = Make<PlainModule>(1);
    middle->Attach(top.Get(), 0, 0);
    leaf->Attach(middle.Get(), 0, 0);
    const ParamDescriptor descriptor(0);
    std::int32_t result = 0;
    EXPECT_EQ(CountAssertions(kHeader, [&] { result = leaf->SetParamValueCached(descriptor, Variant(1)); }), 1u);
    EXPECT_EQ(result, Vx::VXR_E_FAIL);
    Variant value(1);
    EXPECT_EQ(CountAssertions(kHeader, [&] { value = leaf->GetParamValueCached(descriptor); }), 1u);
    EXPECT_EQ(value.GetTag(), Variant::T_NONE);
    EXPECT_EQ(leaf->GetTopmost(), top.Get());

    // A root that keeps values ends them.
    const RCPtr<VxTest::TestRoot> root(new VxTest::TestRoot);
    root->cachedResult = 5;
    middle->Attach(root.Get(), 0, 0);
    EXPECT_EQ(leaf->SetParamValueCached(ParamDescriptor(3, Variant(1)), Variant(8)), 5);
    EXPECT_EQ(leaf->GetParamValueCached(ParamDescriptor(3)), Variant(8));
    ASSERT_EQ(root->cachedWrites.size(), 1u);
    EXPECT_EQ(root->cachedWrites[0].key, Variant(1));
}

TEST(ParameterizedModule, TreeNotificationsOnAModuleWithoutChildrenDoNothing)
{
    const auto parent = Make<RecordingParent>();
    const auto module = Make<PlainModule>(1);
    module->Attach(parent.Get(), 0, 0);
    EXPECT_EQ(CountAllAssertions([&] {
                  module->OnDeviceConnected();
                  module->OnTreeNotification();
              }),
              0u);
    EXPECT_TRUE(parent->writes.empty());
}
} // namespace
