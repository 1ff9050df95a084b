#pragma once

// What the engine's module classes share: one class template over the
// interface's layout and the table below.  Each module class (one file per
// class beside this one) adds only its children's accessors and where its
// checks report from.

#include "DeviceControl/GeneratedCode/Engine/Inc/RootModuleInterface.h"
#include "VxFramework/Utilities/Storage/RCPtrArray.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <tuple>
#include <utility>

namespace Vx
{
// The engine's class of a module interface.
template <class Interface>
struct ParamModuleClass;

// A run of first ids, first to last, relative to the root's first id.
struct ParamIDRun
{
    std::int32_t mFirst;
    std::int32_t mLast;
};

// Where a module class may be attached.
template <class Module>
struct ParamModuleFirstParamIDs;

// The module classes and where each may be attached.  A class used in several
// places of the tree accepts each of them; every other one exactly its own.
// A first id elsewhere means the interface and the class disagree.
#define VX_PARAM_MODULE_ROW(Name, ...)                                                                                 \
    class L##Name;                                                                                                     \
    template <>                                                                                                        \
    struct ParamModuleClass<I##Name>                                                                                   \
    {                                                                                                                  \
        using Type = L##Name;                                                                                          \
    };                                                                                                                 \
    template <>                                                                                                        \
    struct ParamModuleFirstParamIDs<L##Name>                                                                           \
    {                                                                                                                  \
        static constexpr ParamIDRun kRuns[] = {__VA_ARGS__};                                                           \
    };

// clang-format off
//                 class                        first ids
VX_PARAM_MODULE_ROW(Device,                      {0, 0})
VX_PARAM_MODULE_ROW(UITests,                     {0, 0})
VX_PARAM_MODULE_ROW(SwitchesTest,                {0, 0})
VX_PARAM_MODULE_ROW(EncodersTest,                {41, 41})
VX_PARAM_MODULE_ROW(PotsTest,                    {44, 44})
VX_PARAM_MODULE_ROW(LEDTest,                     {47, 47})
VX_PARAM_MODULE_ROW(DisplayTest,                 {49, 49})
VX_PARAM_MODULE_ROW(CTPTest,                     {50, 50})
VX_PARAM_MODULE_ROW(FollowFingerTest,            {50, 50})
VX_PARAM_MODULE_ROW(MatchFingerTest,             {51, 51})
VX_PARAM_MODULE_ROW(PlatterTest,                 {52, 52})
VX_PARAM_MODULE_ROW(DeviceTests,                 {54, 54})
VX_PARAM_MODULE_ROW(IOTests,                     {54, 54})
VX_PARAM_MODULE_ROW(RemoteControlTest,           {63, 63})
VX_PARAM_MODULE_ROW(MediaTests,                  {69, 69})
VX_PARAM_MODULE_ROW(AudioOutTest,                {80, 80})
VX_PARAM_MODULE_ROW(AudioOutTestConfiguration,   {80, 81})
VX_PARAM_MODULE_ROW(MotorTest,                   {82, 82})
VX_PARAM_MODULE_ROW(SystemTests,                 {91, 91})
VX_PARAM_MODULE_ROW(MemoryTest,                  {91, 91})
VX_PARAM_MODULE_ROW(RTCTest,                     {96, 96})
VX_PARAM_MODULE_ROW(SuperCapTest,                {97, 97})
VX_PARAM_MODULE_ROW(VersionTest,                 {98, 98})
VX_PARAM_MODULE_ROW(MACTest,                     {99, 99})
VX_PARAM_MODULE_ROW(SerialTest,                  {100, 100})
VX_PARAM_MODULE_ROW(FanTest,                     {103, 103})
VX_PARAM_MODULE_ROW(ManualVerificationTest,      {48, 50}, {80, 81}, {96, 96}, {98, 98})
VX_PARAM_MODULE_ROW(MidiCommunicatingTestModule, {0, 39}, {41, 42}, {44, 45}, {52, 52})
VX_PARAM_MODULE_ROW(MidiMonitor,                 {40, 40}, {43, 43}, {46, 46}, {53, 53}, {68, 68})
// clang-format on

#undef VX_PARAM_MODULE_ROW

// The source position a module class's logic errors and assertions name.
struct ParamModuleSource
{
    const char* mPath;
    int mLine;
};

template <class Slot>
struct ParamModuleStorage;

template <class Owner, class Child>
struct ParamModuleStorage<ParamChildSlot<Owner, Child>>
{
    using Type = RCPtr<typename ParamModuleClass<Child>::Type>;
};

template <class Owner, class Child>
struct ParamModuleStorage<ParamElementSlots<Owner, Child>>
{
    using Type = RCPtrArray<typename ParamModuleClass<Child>::Type, 1, 0>;
};

template <class Slots>
struct ParamModuleStorageOf;

template <class... Slot>
struct ParamModuleStorageOf<std::tuple<Slot...>>
{
    using Type = std::tuple<typename ParamModuleStorage<Slot>::Type...>;
};

template <class Interface>
constexpr auto GetParamChildren()
{
    if constexpr (requires { Interface::Children(); })
        return Interface::Children();
    else
        return std::tuple<>();
}

// An engine-side module: it owns and creates its children, refuses a first id
// that is not its place in the tree, checks ids before it lets a value
// through to the root, and gives its parameters' defaults.  It stores no
// value.  Module is the class itself; it names its source position
// (Module::kSource) and may give its defaults (Module::DefaultValue).
template <class Module, class Interface>
class LGeneratedModule : public Interface
{
public:
    // A new module with its whole subtree; an exception on the way releases
    // what was built.
    static RCPtr<Module> Create()
    {
        RCPtr<Module> module(new Module());
        module->CreateChildren();
        return module;
    }

    // Creates the children in order, each with its own children, without
    // attaching them; an array gets its count first, then its elements in
    // index order.
    virtual void CreateChildren() { CreateSlots(std::make_index_sequence<kSlotCount>()); }

    // Attaches the subtree, then checks this module's place: its first id
    // less the topmost module's.  Children are checked before their parents.
    void Attach(LParameterizedModule* parent, std::int32_t firstParamID, std::uint32_t attachIndex) override
    {
        Interface::Attach(parent, firstParamID, attachIndex);
        const RCPtr<LParameterizedModule> topmost(this->GetTopmost());
        const std::int64_t place = std::int64_t{firstParamID} - topmost->GetFirstParamID();
        for (const ParamIDRun& run : ParamModuleFirstParamIDs<Module>::kRuns)
        {
            if (place >= run.mFirst && place <= run.mLast)
                return;
        }
        ThrowLogicError("Invalid FirstParamID");
    }

    // Own ids climb to the root with the flags left behind; module-level ids
    // written by the application go to the device; other ids are refused.
    std::int32_t SetValue(const ParamDescriptor& descriptor, const Variant& value, std::uint32_t flags) override
    {
        if constexpr (kOwnParamCount == 0)
        {
            return Interface::SetValue(descriptor, value, flags);
        }
        else
        {
            const std::int32_t paramID = descriptor.mParamID;
            if (paramID >= 0)
            {
                if (!IsOwnID(paramID))
                {
                    ReportAssertion();
                    return -1;
                }
                const ParamDescriptor ownDescriptor(descriptor);
                const Variant ownValue(value);
                return Interface::SetValue(ownDescriptor, ownValue, flags);
            }
            if (!LParameterizedModule::IsModuleLevelID(paramID))
            {
                ReportAssertion();
                return -1;
            }
            if (flags == LParameterizedModule::kFromApplication)
                WriteToDevice(descriptor, value);
            // No module-level id names a parameter of this tree's modules.
            return 1;
        }
    }

    Variant GetValue(const ParamDescriptor& descriptor) override
    {
        if constexpr (kOwnParamCount == 0)
        {
            return Interface::GetValue(descriptor);
        }
        else
        {
            if (!IsOwnID(descriptor.mParamID))
                ThrowLogicError("");
            return Interface::GetValue(descriptor);
        }
    }

    // Of an own id (absolute, not the index).
    Variant GetDefaultValue(std::int32_t paramID) override
    {
        if constexpr (kOwnParamCount == 0)
        {
            return Interface::GetDefaultValue(paramID);
        }
        else
        {
            if (!IsOwnID(paramID))
                ThrowLogicError("");
            return Module::DefaultValue(this->GetOffsetOf(paramID));
        }
    }

    // Passed to the parent, which is held for the call.
    std::int32_t SetValueFromChild(const ParamDescriptor& descriptor, const Variant& value) override
    {
        const RCPtr<LParameterizedModule> parent(this->GetParent());
        if (parent == nullptr)
            return Interface::SetValueFromChild(descriptor, value);
        return parent->SetValueFromChild(descriptor, value);
    }

    Variant GetValueFromChild(const ParamDescriptor& descriptor) override
    {
        const RCPtr<LParameterizedModule> parent(this->GetParent());
        if (parent == nullptr)
            return Interface::GetValueFromChild(descriptor);
        return parent->GetValueFromChild(descriptor);
    }

    // Children are released in the reverse of their order.
    ~LGeneratedModule() override { ReleaseSlots(std::make_index_sequence<kSlotCount>()); }

protected:
    LGeneratedModule() noexcept = default;

    // The parameters of this tree start empty; a module may say otherwise.
    static Variant DefaultValue(std::uint32_t) { return Variant(); }

    template <class Child>
    RCPtr<Child> StoredChild() const
    {
        return std::get<RCPtr<Child>>(mChildren);
    }

    // Null, with an assertion, for an index past the array.
    template <class Child>
    RCPtr<Child> StoredElement(std::uint32_t index) const
    {
        const auto& elements = std::get<RCPtrArray<Child, 1, 0>>(mChildren);
        if (index >= elements.GetCount())
        {
            VX_ASSERT_FALSE();
            return nullptr;
        }
        return elements[index];
    }

private:
    static constexpr std::uint32_t kOwnParamCount = Interface::kOwnParamCount;
    using Slots = decltype(GetParamChildren<Interface>());
    static constexpr std::size_t kSlotCount = std::tuple_size_v<Slots>;

    bool IsOwnID(std::int32_t paramID) const noexcept { return this->GetOffsetOf(paramID) < kOwnParamCount; }

    [[noreturn]] static void ThrowLogicError(const char* message)
    {
        ThrowException<std::logic_error>(MakeExceptionText(ExceptionKind<std::logic_error>::kText, message,
                                                           Module::kSource.mPath, Module::kSource.mLine));
    }

    static void ReportAssertion() { juce::logAssertion(Module::kSource.mPath, Module::kSource.mLine); }

    // The device write of a module-level id: through the transport of the
    // root at the top of the tree.  A failure is reported and goes no further.
    void WriteToDevice(const ParamDescriptor& descriptor, const Variant& value)
    {
        const RCPtr<LParameterizedModule> topmost(this->GetTopmost());
        auto* root = dynamic_cast<IRootModule*>(topmost.Get());
        const RCPtr<LDeviceCommunicationInterface> transport =
            root != nullptr ? root->GetDeviceCommunicationInterface() : nullptr;
        if (transport == nullptr || transport->SetParamValue(descriptor, value) < 0)
            ReportAssertion();
    }

    template <std::size_t... K>
    void CreateSlots(std::index_sequence<K...>)
    {
        (CreateSlot(std::get<K>(mChildren), std::get<K>(GetParamChildren<Interface>())), ...);
    }

    template <class Child, class Slot>
    static void CreateSlot(RCPtr<Child>& child, const Slot&)
    {
        child = Child::Create();
    }

    template <class Child, class Slot>
    static void CreateSlot(RCPtrArray<Child, 1, 0>& elements, const Slot& slot)
    {
        elements.SetCount(slot.mCount);
        for (std::uint32_t index = 0; index < slot.mCount; ++index)
            elements[index] = Child::Create();
    }

    template <std::size_t... K>
    void ReleaseSlots(std::index_sequence<K...>)
    {
        (ReleaseSlot(std::get<kSlotCount - 1 - K>(mChildren)), ...);
    }

    template <class Child>
    static void ReleaseSlot(RCPtr<Child>& child)
    {
        child = nullptr;
    }

    template <class Child>
    static void ReleaseSlot(RCPtrArray<Child, 1, 0>& elements)
    {
        elements.SetCount(0);
    }

    typename ParamModuleStorageOf<Slots>::Type mChildren;
};
} // namespace Vx
