#pragma once

// The parameter tree's interfaces: the module base, one interface per module
// of the tree and the root's.  Each interface is implemented twice, by the
// engine's module classes (GeneratedCode/Engine/Src) and by the test views
// under the main control, so that both trees carry the same ids.

#include "DeviceControlClient/Inc/ParamContainers.h"
#include "Panel/Engine/TestAppCommon/DeviceCommunicationInterface.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Storage/Variant.h"

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <tuple>
#include <type_traits>
#include <utility>

namespace Vx
{
// A node of a parameter tree.  A module covers one run of consecutive ids
// from its first id: its own parameters, then its children's runs.  It stores
// no value: writes and reads climb the parent links to the root, which keeps
// them.  The parent is a plain pointer (the parent holds its children), so a
// climb takes no counted reference and allocates nothing.
class LParameterizedModule : public virtual LRefCountedObject
{
public:
    // Ids addressed to a module as a whole.
    static constexpr std::int32_t kFirstModuleLevelID = -256;
    static constexpr std::int32_t kLastModuleLevelID = -129;

    // Flags of SetValue: the value came from the device, or from the application.
    static constexpr std::uint32_t kFromApplication = 0;
    static constexpr std::uint32_t kFromDevice = 1;

    static constexpr bool IsModuleLevelID(std::int32_t paramID) noexcept
    {
        return paramID >= kFirstModuleLevelID && paramID <= kLastModuleLevelID;
    }

    LParameterizedModule(const LParameterizedModule&) = delete;
    LParameterizedModule& operator=(const LParameterizedModule&) = delete;

    // Stores the three values and nothing else; containers attach their
    // children too.
    virtual void Attach(LParameterizedModule* parent, std::int32_t firstParamID, std::uint32_t attachIndex)
    {
        mParent = parent;
        mFirstParamID = firstParamID;
        mAttachIndex = attachIndex;
    }

    // The module owning the id; one without children owns every id that
    // reaches it.
    virtual RCPtr<LParameterizedModule> GetModule(std::int32_t) { return RCPtr<LParameterizedModule>(this); }
    virtual ConstRCPtr<LParameterizedModule> GetModule(std::int32_t paramID) const
    {
        return const_cast<LParameterizedModule*>(this)->GetModule(paramID);
    }

    // Passes the value to the parent; the flags stop here.  A module without
    // own parameters takes only module-level ids and throws for the rest.
    virtual std::int32_t SetValue(const ParamDescriptor& descriptor, const Variant& value, std::uint32_t)
    {
        if (mOwnParamCount == 0 && !IsModuleLevelID(descriptor.mParamID))
            VX_THROW(std::logic_error, "");
        if (mParent != nullptr)
            return mParent->SetValueFromChild(descriptor, value);
        VX_ASSERT_FALSE();
        return -1;
    }

    virtual Variant GetValue(const ParamDescriptor& descriptor)
    {
        if (mOwnParamCount == 0 && !IsModuleLevelID(descriptor.mParamID))
            VX_THROW(std::logic_error, "");
        if (mParent != nullptr)
            return mParent->GetValueFromChild(descriptor);
        VX_ASSERT_FALSE();
        return Variant();
    }

    // The engine's root ends these two chains at its cache.
    virtual std::int32_t SetValueFromChild(const ParamDescriptor& descriptor, const Variant& value)
    {
        if (mParent != nullptr)
            return mParent->SetValueFromChild(descriptor, value);
        VX_ASSERT_FALSE();
        return -1;
    }

    virtual Variant GetValueFromChild(const ParamDescriptor& descriptor)
    {
        if (mParent != nullptr)
            return mParent->GetValueFromChild(descriptor);
        VX_ASSERT_FALSE();
        return Variant();
    }

    // Every module with own parameters answers this itself.
    virtual Variant GetDefaultValue(std::int32_t)
    {
        VX_ASSERT_FALSE();
        return Variant();
    }

    // Containers pass both to every child, so a call on a root reaches the
    // whole tree.
    virtual void OnDeviceConnected() {}
    virtual void OnTreeNotification() {}

    // Every parameter of this system has one element.
    virtual std::uint32_t GetElementCount(std::int32_t) { return 1; }

    // Carried up the tree; no root ends this chain, so it stops at the
    // topmost module in its assertion.
    virtual void SetElementValue(const ParamDescriptor& descriptor, std::uint32_t elementIndex, const Variant& value,
                                 std::uint32_t flags)
    {
        if (elementIndex >= GetElementCount(descriptor.mParamID))
            VX_ASSERT_FALSE();
        if (mParent != nullptr)
            mParent->SetElementValueFromChild(descriptor, elementIndex, value, flags);
        else
            VX_ASSERT_FALSE();
    }

    virtual void SetElementValueFromChild(const ParamDescriptor& descriptor, std::uint32_t elementIndex,
                                          const Variant& value, std::uint32_t flags)
    {
        if (mParent != nullptr)
            mParent->SetElementValueFromChild(descriptor, elementIndex, value, flags);
        else
            VX_ASSERT_FALSE();
    }

    // The engine's root answers these from its cache.
    virtual std::int32_t SetParamValueCached(const ParamDescriptor& descriptor, const Variant& value)
    {
        if (mParent != nullptr)
            return mParent->SetParamValueCached(descriptor, value);
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }

    virtual Variant GetParamValueCached(const ParamDescriptor& descriptor)
    {
        if (mParent != nullptr)
            return mParent->GetParamValueCached(descriptor);
        VX_ASSERT_FALSE();
        return Variant();
    }

    ~LParameterizedModule() override = default;

    LParameterizedModule* GetParent() const noexcept { return mParent; }
    std::uint32_t GetOwnParamCount() const noexcept { return mOwnParamCount; }
    std::int32_t GetFirstParamID() const noexcept { return mFirstParamID; }
    std::uint32_t GetAttachIndex() const noexcept { return mAttachIndex; }

    // The module at the top of the parent links (this one without a parent).
    LParameterizedModule* GetTopmost() noexcept
    {
        LParameterizedModule* module = this;
        while (module->mParent != nullptr)
            module = module->mParent;
        return module;
    }

    // The id's distance from this module's first id, in unsigned arithmetic:
    // an id below the first one gives a large distance.
    std::uint32_t GetOffsetOf(std::int32_t paramID) const noexcept
    {
        return static_cast<std::uint32_t>(paramID) - static_cast<std::uint32_t>(mFirstParamID);
    }

protected:
    explicit LParameterizedModule(std::uint32_t ownParamCount) noexcept : mOwnParamCount(ownParamCount) {}

private:
    LParameterizedModule* mParent = nullptr;
    const std::uint32_t mOwnParamCount;
    std::int32_t mFirstParamID = 0;
    std::uint32_t mAttachIndex = 0;
};

// --- The children of a container interface ----------------------------------

// A single child at an offset from the container's first id, reached through
// the interface's accessor.
template <class Owner, class Child>
struct ParamChildSlot
{
    std::uint32_t mOffset;
    RCPtr<Child> (Owner::*mGet)();
};

// An array of children, element i at offset + i with attach index i.
template <class Owner, class Child>
struct ParamElementSlots
{
    std::uint32_t mOffset;
    std::uint32_t mCount;
    RCPtr<Child> (Owner::*mGet)(std::uint32_t);
};

template <class Owner, class Child>
constexpr ParamChildSlot<Owner, Child> ParamChild(std::uint32_t offset, RCPtr<Child> (Owner::*get)())
{
    return {offset, get};
}

template <class Owner, class Child>
constexpr ParamElementSlots<Owner, Child> ParamElements(std::uint32_t offset, std::uint32_t count,
                                                        RCPtr<Child> (Owner::*get)(std::uint32_t))
{
    return {offset, count, get};
}

// Ids a slot covers: the child's span, once per element.
template <class Owner, class Child>
constexpr std::uint32_t GetSlotExtent(const ParamChildSlot<Owner, Child>&)
{
    return Child::kSpan;
}

template <class Owner, class Child>
constexpr std::uint32_t GetSlotExtent(const ParamElementSlots<Owner, Child>& slots)
{
    return slots.mCount * Child::kSpan;
}

// An interface's own parameters come first, then its children's runs one
// after the other, filling the span exactly.
template <class Interface>
constexpr bool ParamLayoutFillsSpan()
{
    std::uint32_t next = Interface::kOwnParamCount;
    bool contiguous = true;
    std::apply(
        [&](const auto&... slot) {
            ((contiguous = contiguous && slot.mOffset == next, next += GetSlotExtent(slot)), ...);
        },
        Interface::Children());
    return contiguous && next == Interface::kSpan;
}

template <class Owner, class Child>
constexpr bool ParamElementsTakeOneIdEach(const ParamChildSlot<Owner, Child>&)
{
    return true;
}

template <class Owner, class Child>
constexpr bool ParamElementsTakeOneIdEach(const ParamElementSlots<Owner, Child>&)
{
    return Child::kSpan == 1;
}

// Declares a child's accessor, which each implementation supplies, and its
// read-only twin.
#define VX_PARAM_CHILD(Name)                                                                                           \
    virtual RCPtr<I##Name> Get##Name() = 0;                                                                            \
    ConstRCPtr<I##Name> Get##Name() const                                                                              \
    {                                                                                                                  \
        return const_cast<std::remove_cvref_t<decltype(*this)>*>(this)->Get##Name();                                   \
    }

// The same for an array of children, reached by element index.
#define VX_PARAM_CHILD_ARRAY(Name)                                                                                     \
    virtual RCPtr<I##Name> Get##Name(std::uint32_t index) = 0;                                                         \
    ConstRCPtr<I##Name> Get##Name(std::uint32_t index) const                                                           \
    {                                                                                                                  \
        return const_cast<std::remove_cvref_t<decltype(*this)>*>(this)->Get##Name(index);                              \
    }

// What every interface with children does with them: attach them at their
// offsets, route an id to the child whose run holds it, and pass the tree
// notifications on.  Missing children (a null accessor) are skipped.  The
// interface gives kOwnParamCount, kSpan and Children(), its slots in order.
template <class Interface>
class LParameterizedContainer : public LParameterizedModule
{
public:
    void Attach(LParameterizedModule* parent, std::int32_t firstParamID, std::uint32_t attachIndex) override
    {
        LParameterizedModule::Attach(parent, firstParamID, attachIndex);
        ForEachChild([&](LParameterizedModule& child, std::uint32_t offset, std::uint32_t index) {
            // Wraps rather than overflows; the modules refuse a wrong first id.
            child.Attach(this, static_cast<std::int32_t>(static_cast<std::uint32_t>(firstParamID) + offset), index);
        });
    }

    RCPtr<LParameterizedModule> GetModule(std::int32_t paramID) override
    {
        const std::uint32_t offset = GetOffsetOf(paramID);
        if (offset >= Interface::kSpan)
        {
            VX_ASSERT_FALSE();
            return nullptr;
        }
        if (offset < Interface::kOwnParamCount)
            return RCPtr<LParameterizedModule>(this);
        RCPtr<LParameterizedModule> child = GetChildAt(offset);
        return child != nullptr ? child->GetModule(paramID) : nullptr;
    }

    ConstRCPtr<LParameterizedModule> GetModule(std::int32_t paramID) const override
    {
        return const_cast<LParameterizedContainer*>(this)->GetModule(paramID);
    }

    void OnDeviceConnected() override
    {
        ForEachChild([](LParameterizedModule& child, std::uint32_t, std::uint32_t) { child.OnDeviceConnected(); });
    }

    void OnTreeNotification() override
    {
        ForEachChild([](LParameterizedModule& child, std::uint32_t, std::uint32_t) { child.OnTreeNotification(); });
    }

protected:
    explicit LParameterizedContainer(std::uint32_t ownParamCount) noexcept : LParameterizedModule(ownParamCount)
    {
        static_assert(ParamLayoutFillsSpan<Interface>(), "own parameters and children must fill the span in order");
        static_assert(std::apply([](const auto&... slot) { return (ParamElementsTakeOneIdEach(slot) && ...); },
                                 Interface::Children()),
                      "array elements take one id each");
    }

private:
    Interface& Self() { return static_cast<Interface&>(*this); }

    template <class Child>
    RCPtr<LParameterizedModule> Fetch(const ParamChildSlot<Interface, Child>& slot, std::uint32_t)
    {
        return (Self().*slot.mGet)();
    }

    template <class Child>
    RCPtr<LParameterizedModule> Fetch(const ParamElementSlots<Interface, Child>& slots, std::uint32_t element)
    {
        return (Self().*slots.mGet)(element);
    }

    // Calls visit(child, offset, attach index) for every child present, in
    // order, array elements by index.  Each child is held while it is visited.
    template <class Visit>
    void ForEachChild(Visit&& visit)
    {
        const auto visitSlot = [&](const auto& slot) {
            std::uint32_t count = 1;
            if constexpr (requires { slot.mCount; })
                count = slot.mCount;
            for (std::uint32_t index = 0; index < count; ++index)
            {
                const RCPtr<LParameterizedModule> child = Fetch(slot, index);
                if (child != nullptr)
                    visit(*child, slot.mOffset + index, index);
            }
        };
        std::apply([&](const auto&... slot) { (visitSlot(slot), ...); }, Interface::Children());
    }

    // The child whose run holds the offset; null when it is missing.
    RCPtr<LParameterizedModule> GetChildAt(std::uint32_t offset)
    {
        RCPtr<LParameterizedModule> found;
        const auto trySlot = [&](const auto& slot) {
            if (offset >= slot.mOffset && offset - slot.mOffset < GetSlotExtent(slot))
                found = Fetch(slot, offset - slot.mOffset);
        };
        std::apply([&](const auto&... slot) { (trySlot(slot), ...); }, Interface::Children());
        return found;
    }
};
// An interface without children: its own parameters are its whole span.
template <std::uint32_t OwnParamCount>
class LParameterizedLeaf : public LParameterizedModule
{
public:
    static constexpr std::uint32_t kOwnParamCount = OwnParamCount;
    static constexpr std::uint32_t kSpan = OwnParamCount;

protected:
    LParameterizedLeaf() noexcept : LParameterizedModule(OwnParamCount) {}
};

// --- The interfaces of the tree's modules --------------------------------------
//
// Each gives its own parameter count, its span (the ids of the module and
// everything below it) and its children in order, at offsets from its first
// id.  Children come before the modules that hold them.

// Leaves, by own parameter count.
class IManualVerificationTest : public LParameterizedLeaf<1>
{
};
class IMidiCommunicatingTestModule : public LParameterizedLeaf<1>
{
};
class IMidiMonitor : public LParameterizedLeaf<1>
{
};
class IMatchFingerTest : public LParameterizedLeaf<1>
{
};
class ISuperCapTest : public LParameterizedLeaf<1>
{
};
class IMACTest : public LParameterizedLeaf<1>
{
};
class ISerialTest : public LParameterizedLeaf<3>
{
};
class IFanTest : public LParameterizedLeaf<3>
{
};
class IMemoryTest : public LParameterizedLeaf<5>
{
};
class IIOTests : public LParameterizedLeaf<9>
{
};
class IMotorTest : public LParameterizedLeaf<9>
{
};
class IMediaTests : public LParameterizedLeaf<11>
{
};

class ISwitchesTest : public LParameterizedContainer<ISwitchesTest>
{
public:
    static constexpr std::uint32_t kOwnParamCount = 0;
    static constexpr std::uint32_t kSpan = 41;
    static constexpr auto Children()
    {
        return std::tuple(ParamElements(0, 40, &ISwitchesTest::GetMidiCommunicatingTestModule),
                          ParamChild(40, &ISwitchesTest::GetMidiMonitor));
    }

    ISwitchesTest() noexcept : LParameterizedContainer(kOwnParamCount) {}
    VX_PARAM_CHILD_ARRAY(MidiCommunicatingTestModule)
    VX_PARAM_CHILD(MidiMonitor)
};

class IEncodersTest : public LParameterizedContainer<IEncodersTest>
{
public:
    static constexpr std::uint32_t kOwnParamCount = 0;
    static constexpr std::uint32_t kSpan = 3;
    static constexpr auto Children()
    {
        return std::tuple(ParamElements(0, 2, &IEncodersTest::GetMidiCommunicatingTestModule),
                          ParamChild(2, &IEncodersTest::GetMidiMonitor));
    }

    IEncodersTest() noexcept : LParameterizedContainer(kOwnParamCount) {}
    VX_PARAM_CHILD_ARRAY(MidiCommunicatingTestModule)
    VX_PARAM_CHILD(MidiMonitor)
};

class IPotsTest : public LParameterizedContainer<IPotsTest>
{
public:
    static constexpr std::uint32_t kOwnParamCount = 0;
    static constexpr std::uint32_t kSpan = 3;
    static constexpr auto Children()
    {
        return std::tuple(ParamElements(0, 2, &IPotsTest::GetMidiCommunicatingTestModule),
                          ParamChild(2, &IPotsTest::GetMidiMonitor));
    }

    IPotsTest() noexcept : LParameterizedContainer(kOwnParamCount) {}
    VX_PARAM_CHILD_ARRAY(MidiCommunicatingTestModule)
    VX_PARAM_CHILD(MidiMonitor)
};

class ILEDTest : public LParameterizedContainer<ILEDTest>
{
public:
    static constexpr std::uint32_t kOwnParamCount = 1;
    static constexpr std::uint32_t kSpan = 2;
    static constexpr auto Children() { return std::tuple(ParamChild(1, &ILEDTest::GetManualVerificationTest)); }

    ILEDTest() noexcept : LParameterizedContainer(kOwnParamCount) {}
    VX_PARAM_CHILD(ManualVerificationTest)
};

class IDisplayTest : public LParameterizedContainer<IDisplayTest>
{
public:
    static constexpr std::uint32_t kOwnParamCount = 0;
    static constexpr std::uint32_t kSpan = 1;
    static constexpr auto Children() { return std::tuple(ParamChild(0, &IDisplayTest::GetManualVerificationTest)); }

    IDisplayTest() noexcept : LParameterizedContainer(kOwnParamCount) {}
    VX_PARAM_CHILD(ManualVerificationTest)
};

class IFollowFingerTest : public LParameterizedContainer<IFollowFingerTest>
{
public:
    static constexpr std::uint32_t kOwnParamCount = 0;
    static constexpr std::uint32_t kSpan = 1;
    static constexpr auto Children()
    {
        return std::tuple(ParamChild(0, &IFollowFingerTest::GetManualVerificationTest));
    }

    IFollowFingerTest() noexcept : LParameterizedContainer(kOwnParamCount) {}
    VX_PARAM_CHILD(ManualVerificationTest)
};

class ICTPTest : public LParameterizedContainer<ICTPTest>
{
public:
    static constexpr std::uint32_t kOwnParamCount = 0;
    static constexpr std::uint32_t kSpan = 2;
    static constexpr auto Children()
    {
        return std::tuple(ParamChild(0, &ICTPTest::GetFollowFingerTest), ParamChild(1, &ICTPTest::GetMatchFingerTest));
    }

    ICTPTest() noexcept : LParameterizedContainer(kOwnParamCount) {}
    VX_PARAM_CHILD(FollowFingerTest)
    VX_PARAM_CHILD(MatchFingerTest)
};

// The platter's MIDI module is a single child, not an array.
class IPlatterTest : public LParameterizedContainer<IPlatterTest>
{
public:
    static constexpr std::uint32_t kOwnParamCount = 0;
    static constexpr std::uint32_t kSpan = 2;
    static constexpr auto Children()
    {
        return std::tuple(ParamChild(0, &IPlatterTest::GetMidiCommunicatingTestModule),
                          ParamChild(1, &IPlatterTest::GetMidiMonitor));
    }

    IPlatterTest() noexcept : LParameterizedContainer(kOwnParamCount) {}
    VX_PARAM_CHILD(MidiCommunicatingTestModule)
    VX_PARAM_CHILD(MidiMonitor)
};

class IUITests : public LParameterizedContainer<IUITests>
{
public:
    static constexpr std::uint32_t kOwnParamCount = 0;
    static constexpr std::uint32_t kSpan = 54;
    static constexpr auto Children()
    {
        return std::tuple(ParamChild(0, &IUITests::GetSwitchesTest), ParamChild(41, &IUITests::GetEncodersTest),
                          ParamChild(44, &IUITests::GetPotsTest), ParamChild(47, &IUITests::GetLEDTest),
                          ParamChild(49, &IUITests::GetDisplayTest), ParamChild(50, &IUITests::GetCTPTest),
                          ParamChild(52, &IUITests::GetPlatterTest));
    }

    IUITests() noexcept : LParameterizedContainer(kOwnParamCount) {}
    VX_PARAM_CHILD(SwitchesTest)
    VX_PARAM_CHILD(EncodersTest)
    VX_PARAM_CHILD(PotsTest)
    VX_PARAM_CHILD(LEDTest)
    VX_PARAM_CHILD(DisplayTest)
    VX_PARAM_CHILD(CTPTest)
    VX_PARAM_CHILD(PlatterTest)
};

class IRemoteControlTest : public LParameterizedContainer<IRemoteControlTest>
{
public:
    static constexpr std::uint32_t kOwnParamCount = 5;
    static constexpr std::uint32_t kSpan = 6;
    static constexpr auto Children() { return std::tuple(ParamChild(5, &IRemoteControlTest::GetMidiMonitor)); }

    IRemoteControlTest() noexcept : LParameterizedContainer(kOwnParamCount) {}
    VX_PARAM_CHILD(MidiMonitor)
};

class IAudioOutTestConfiguration : public LParameterizedContainer<IAudioOutTestConfiguration>
{
public:
    static constexpr std::uint32_t kOwnParamCount = 0;
    static constexpr std::uint32_t kSpan = 1;
    static constexpr auto Children()
    {
        return std::tuple(ParamChild(0, &IAudioOutTestConfiguration::GetManualVerificationTest));
    }

    IAudioOutTestConfiguration() noexcept : LParameterizedContainer(kOwnParamCount) {}
    VX_PARAM_CHILD(ManualVerificationTest)
};

class IAudioOutTest : public LParameterizedContainer<IAudioOutTest>
{
public:
    static constexpr std::uint32_t kOwnParamCount = 0;
    static constexpr std::uint32_t kSpan = 2;
    static constexpr auto Children()
    {
        return std::tuple(ParamElements(0, 2, &IAudioOutTest::GetAudioOutTestConfiguration));
    }

    IAudioOutTest() noexcept : LParameterizedContainer(kOwnParamCount) {}
    VX_PARAM_CHILD_ARRAY(AudioOutTestConfiguration)
};

class IDeviceTests : public LParameterizedContainer<IDeviceTests>
{
public:
    static constexpr std::uint32_t kOwnParamCount = 0;
    static constexpr std::uint32_t kSpan = 37;
    static constexpr auto Children()
    {
        return std::tuple(ParamChild(0, &IDeviceTests::GetIOTests), ParamChild(9, &IDeviceTests::GetRemoteControlTest),
                          ParamChild(15, &IDeviceTests::GetMediaTests), ParamChild(26, &IDeviceTests::GetAudioOutTest),
                          ParamChild(28, &IDeviceTests::GetMotorTest));
    }

    IDeviceTests() noexcept : LParameterizedContainer(kOwnParamCount) {}
    VX_PARAM_CHILD(IOTests)
    VX_PARAM_CHILD(RemoteControlTest)
    VX_PARAM_CHILD(MediaTests)
    VX_PARAM_CHILD(AudioOutTest)
    VX_PARAM_CHILD(MotorTest)
};

class IRTCTest : public LParameterizedContainer<IRTCTest>
{
public:
    static constexpr std::uint32_t kOwnParamCount = 0;
    static constexpr std::uint32_t kSpan = 1;
    static constexpr auto Children() { return std::tuple(ParamChild(0, &IRTCTest::GetManualVerificationTest)); }

    IRTCTest() noexcept : LParameterizedContainer(kOwnParamCount) {}
    VX_PARAM_CHILD(ManualVerificationTest)
};

class IVersionTest : public LParameterizedContainer<IVersionTest>
{
public:
    static constexpr std::uint32_t kOwnParamCount = 0;
    static constexpr std::uint32_t kSpan = 1;
    static constexpr auto Children() { return std::tuple(ParamChild(0, &IVersionTest::GetManualVerificationTest)); }

    IVersionTest() noexcept : LParameterizedContainer(kOwnParamCount) {}
    VX_PARAM_CHILD(ManualVerificationTest)
};

class ISystemTests : public LParameterizedContainer<ISystemTests>
{
public:
    static constexpr std::uint32_t kOwnParamCount = 0;
    static constexpr std::uint32_t kSpan = 15;
    static constexpr auto Children()
    {
        return std::tuple(ParamChild(0, &ISystemTests::GetMemoryTest), ParamChild(5, &ISystemTests::GetRTCTest),
                          ParamChild(6, &ISystemTests::GetSuperCapTest), ParamChild(7, &ISystemTests::GetVersionTest),
                          ParamChild(8, &ISystemTests::GetMACTest), ParamChild(9, &ISystemTests::GetSerialTest),
                          ParamChild(12, &ISystemTests::GetFanTest));
    }

    ISystemTests() noexcept : LParameterizedContainer(kOwnParamCount) {}
    VX_PARAM_CHILD(MemoryTest)
    VX_PARAM_CHILD(RTCTest)
    VX_PARAM_CHILD(SuperCapTest)
    VX_PARAM_CHILD(VersionTest)
    VX_PARAM_CHILD(MACTest)
    VX_PARAM_CHILD(SerialTest)
    VX_PARAM_CHILD(FanTest)
};

class IDevice : public LParameterizedContainer<IDevice>
{
public:
    static constexpr std::uint32_t kOwnParamCount = 0;
    static constexpr std::uint32_t kSpan = 106;
    static constexpr auto Children()
    {
        return std::tuple(ParamChild(0, &IDevice::GetUITests), ParamChild(54, &IDevice::GetDeviceTests),
                          ParamChild(91, &IDevice::GetSystemTests));
    }

    IDevice() noexcept : LParameterizedContainer(kOwnParamCount) {}
    VX_PARAM_CHILD(UITests)
    VX_PARAM_CHILD(DeviceTests)
    VX_PARAM_CHILD(SystemTests)
};

// --- The root -------------------------------------------------------------------

// The root of a parameter tree: the device module at offset 0, the entry
// points that write and read a parameter by descriptor, and the change
// report.  The engine's root keeps the values in a cache and reaches the
// device through the transport; the user interface's root (the main control)
// has neither.
class IRootModule : public LParameterizedContainer<IRootModule>
{
public:
    static constexpr std::uint32_t kOwnParamCount = 0;
    static constexpr std::uint32_t kSpan = 106;
    static constexpr auto Children() { return std::tuple(ParamChild(0, &IRootModule::GetDevice)); }

    explicit IRootModule(bool cachedOnly) noexcept : LParameterizedContainer(kOwnParamCount), mCachedOnly(cachedOnly) {}

    // Reports a value that changed on this side of the model.
    virtual void OnValueChangedInternal(const ParamDescriptor& descriptor, const Variant& value) = 0;
    // Null when the root has none.
    virtual RCPtr<LDeviceCommunicationInterface> GetDeviceCommunicationInterface() = 0;

    // The module a module-level id addresses: none in this system.
    virtual RCPtr<LParameterizedModule> GetModuleForModuleID(std::int32_t) { return nullptr; }
    virtual ConstRCPtr<LParameterizedModule> GetModuleForModuleID(std::int32_t paramID) const
    {
        return const_cast<IRootModule*>(this)->GetModuleForModuleID(paramID);
    }

    // Cached only: the cache's result.  Otherwise the owning module takes the
    // value (its result unused) and the transport's result is returned;
    // device-level ids go to the transport alone.
    virtual std::int32_t SetParamValue(const ParamDescriptor& descriptor, const Variant& value)
    {
        if (IsCachedOnly())
            return SetParamValueCached(descriptor, value);
        const std::int32_t paramID = descriptor.mParamID;
        RCPtr<LParameterizedModule> module;
        if (paramID >= 0)
        {
            module = GetModule(paramID);
            if (module == nullptr)
                VX_ASSERT_FALSE();
        }
        else if (IsModuleLevelID(paramID))
        {
            module = GetModuleForModuleID(paramID);
        }
        if (module != nullptr)
            module->SetValue(descriptor, value, kFromApplication);

        const RCPtr<LDeviceCommunicationInterface> transport = GetDeviceCommunicationInterface();
        if (transport == nullptr)
        {
            // Only a root without a device writes here uncached: nothing can take the value.
            VX_ASSERT_FALSE();
            return VXR_E_FAIL;
        }
        return transport->SetParamValue(descriptor, value);
    }

    // Cached only: the cache's value and 0.  Otherwise the owning module's
    // value and 0, or an empty value and VXR_E_FAIL when no module owns the id.
    virtual std::int32_t GetParamValue(const ParamDescriptor& descriptor, Variant& value)
    {
        if (IsCachedOnly())
        {
            value = GetParamValueCached(descriptor);
            return VXR_OK;
        }
        const RCPtr<LParameterizedModule> module = GetModule(descriptor.mParamID);
        if (module == nullptr)
        {
            VX_ASSERT_FALSE();
            value.Clear();
            return VXR_E_FAIL;
        }
        value = module->GetValue(descriptor);
        return VXR_OK;
    }

    VX_PARAM_CHILD(Device)

    // While set, SetParamValue and GetParamValue work on the cache alone.
    bool IsCachedOnly() const noexcept { return mCachedOnly.load(); }

protected:
    // The engine's root sets it when connecting to the device fails and clears
    // it when connecting succeeds, on the engine's worker thread.
    void SetCachedOnly(bool cachedOnly) noexcept { mCachedOnly.store(cachedOnly); }

private:
    std::atomic<bool> mCachedOnly;
};

#undef VX_PARAM_CHILD
#undef VX_PARAM_CHILD_ARRAY
} // namespace Vx
