// Notification parameters: their text forms, the focus tests of the condition
// masks, and the pools they take their memory from.

#include "VxFramework/ControlBase/ControlParams.h"

#include "VxFramework/ControlBase/Control.h"
#include "VxFramework/Controls/MenuDescriptor.h"
#include "tests/VxFramework/ControlBase/ControlDoubles.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

namespace
{
using Vx::RCPtr;
using Text = Vx::StringT<char, unsigned short>;

constexpr std::uint32_t kNoIndex = 0xFFFFFFFFu;

std::string TextOf(const Vx::LRefCountedObject& object)
{
    return object.ToString().GetCString();
}

TEST(ControlParams, TextForms)
{
    const Vx::PointT<std::int32_t> point{-3, 7};
    const std::uint32_t shiftAlt = Vx::kPointerModifierShift | Vx::kPointerModifierAlt;
    struct Case
    {
        RCPtr<Vx::LRefCountedObject> param;
        const char* text;
    };
    const Case cases[] = {
        {new Vx::LPointParam(point), "point(-3, 7)"},
        {new Vx::LPointWithModifiersParam(point, shiftAlt, 2), "point(-3, 7)  modifiers: 0x00000048"},
        {new Vx::LMouseButtonParam(4, point, Vx::kPointerModifierControl, true, 5, 1),
         "point(-3, 7)  modifiers: 0x00000001"},
        {new Vx::LMouseWheelParam(point, 0, 0), "point(-3, 7)  modifiers: 0x00000000  direction: down"},
        {new Vx::LMouseWheelParam(point, 0, 1), "point(-3, 7)  modifiers: 0x00000000  direction: up"},
        {new Vx::LMouseWheelParam(point, 0, 2), "point(-3, 7)  modifiers: 0x00000000  direction: up"},
        {new Vx::LMouseWheelParam(point, 0xFFFFFFFFu, 3), "point(-3, 7)  modifiers: 0xffffffff  direction: up"},
        {new Vx::LMouseWheelParam(point, 0, -1), "point(-3, 7)  modifiers: 0x00000000  direction: up"},
        // The normalized value, not the scaled one.
        {new Vx::LValueParam(0.25, 1200.0), "ValueParam = 0.250000"},
        {new Vx::LConditionsParam(0, 1, {1.5, -2.0}), "(1.5, -2)"},
        {new Vx::LItemConditionsParam(0, 1, {0.25, 3e7}, 4, 0, true), "(0.25, 3e+07)"},
        {new Vx::LKeyParam(Vx::KeyCode(0x74, Vx::kModifierCtrl | Vx::kModifierShift), 1), "Ctrl+Shift+VKEY_F5"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TextOf(*c.param), c.text);

    // The classes without a text form of their own.
    const std::string fallback = "LRefCountedObject::ToString() not overridden. Returning TypeName: ";
    EXPECT_EQ(TextOf(*Vx::LSiblingKeyParam::Create(Vx::KeyCode(), nullptr)).rfind(fallback, 0), 0u);
    EXPECT_EQ(TextOf(Vx::LMenuActivationParam(nullptr, 3)).rfind(fallback, 0), 0u);
}

TEST(ControlParams, FieldsAsConstructedAndSharedNotCopied)
{
    const RCPtr<Vx::LMouseButtonParam> button(
        new Vx::LMouseButtonParam(4, {10, 20}, Vx::kPointerModifierShift, true, 5, 3));
    EXPECT_EQ(button->button, 4);
    EXPECT_EQ(button->point, (Vx::PointT<std::int32_t>{10, 20}));
    EXPECT_EQ(button->modifiers, Vx::kPointerModifierShift);
    EXPECT_TRUE(button->doubleClick);
    EXPECT_EQ(button->heldButtons, 5u);
    EXPECT_EQ(button->source, 3);
    EXPECT_EQ((RCPtr<Vx::LMouseWheelParam>(new Vx::LMouseWheelParam({0, 0}, 0, 2))->source), 0);

    const RCPtr<VxTest::TestControl> sender = VxTest::TestControl::Create(nullptr, "sender");
    const RCPtr<Vx::LSiblingKeyParam> sibling = Vx::LSiblingKeyParam::Create(Vx::KeyCode(0x41, 0), sender);
    EXPECT_EQ(sibling->unhandled, -1);
    EXPECT_EQ(sibling->sender.Get(), sender.Get());

    const RCPtr<Vx::LKeyParam> key = Vx::LKeyParam::Create(Vx::KeyCode(0x41, 0), 7);
    EXPECT_EQ(key->value, 7);
    EXPECT_EQ(key->visited.GetCount(), 0u);
    key->visited.Add(sender);
    const RCPtr<Vx::LKeyParam> held = key;
    EXPECT_EQ(held->visited.GetCount(), 1u) << "every holder sees the one object";
    EXPECT_THROW(key->CreateCopy(), std::logic_error);

    const RCPtr<Vx::LMenuDescriptor> menu(new Vx::LMenuDescriptor());
    const RCPtr<Vx::LMenuActivationParam> activation(new Vx::LMenuActivationParam(menu, 2));
    EXPECT_EQ(activation->menu.Get(), menu.Get());
    EXPECT_EQ(activation->item, 2);

    const RCPtr<Vx::LMenuItemUpdater> updater(new Vx::LMenuItemUpdater(sender));
    EXPECT_EQ(updater->GetControl().Get(), sender.Get());
    updater->ClearControl();
    EXPECT_TRUE(updater->GetControl().IsNull());
}

TEST(ControlParams, FocusChangesOfTheConditionMasks)
{
    struct Case
    {
        std::uint32_t previous;
        std::uint32_t current;
        bool gainedFocus;
        bool lostFocus;
        bool gainedContains;
        bool lostContains;
    };
    const Case cases[] = {
        {0x00, 0x01, true, false, false, false},    {0x01, 0x00, false, true, false, false},
        {0x01, 0x01, false, false, false, false},   {0x00, 0x02, false, false, true, false},
        {0x03, 0x00, false, true, false, true},     {0x02, 0x05, true, false, false, true},
        {0xFFC, 0xFFC, false, false, false, false},
    };
    for (const Case& c : cases)
    {
        const Vx::LConditionsParam param(c.previous, c.current, {0, 0});
        EXPECT_EQ(param.GainedFocus(), c.gainedFocus) << c.previous << " -> " << c.current;
        EXPECT_EQ(param.LostFocus(), c.lostFocus) << c.previous << " -> " << c.current;
        EXPECT_EQ(param.GainedContainsFocus(), c.gainedContains) << c.previous << " -> " << c.current;
        EXPECT_EQ(param.LostContainsFocus(), c.lostContains) << c.previous << " -> " << c.current;
    }
}

// Each pooled class with a factory for one object of it.
template <class T>
struct Pooled;
template <>
struct Pooled<Vx::LPointWithModifiersParam>
{
    static RCPtr<Vx::LPointWithModifiersParam> Make() { return Vx::LPointWithModifiersParam::Create({1, 2}, 0, 0); }
};
template <>
struct Pooled<Vx::LMouseButtonParam>
{
    static RCPtr<Vx::LMouseButtonParam> Make() { return new Vx::LMouseButtonParam(1, {1, 2}, 0, false, 1, 0); }
};
template <>
struct Pooled<Vx::LMouseWheelParam>
{
    static RCPtr<Vx::LMouseWheelParam> Make() { return new Vx::LMouseWheelParam({1, 2}, 0, 0); }
};
template <>
struct Pooled<Vx::LValueParam>
{
    static RCPtr<Vx::LValueParam> Make() { return new Vx::LValueParam(0.5, 5.0); }
};
template <>
struct Pooled<Vx::LConditionsParam>
{
    static RCPtr<Vx::LConditionsParam> Make() { return new Vx::LConditionsParam(0, 1, {0, 0}); }
};
template <>
struct Pooled<Vx::LMenuActivationParam>
{
    static RCPtr<Vx::LMenuActivationParam> Make() { return new Vx::LMenuActivationParam(nullptr, 0); }
};

template <class T>
class ParamPool : public ::testing::Test
{
};
using PooledClasses = ::testing::Types<Vx::LPointWithModifiersParam, Vx::LMouseButtonParam, Vx::LMouseWheelParam,
                                       Vx::LValueParam, Vx::LConditionsParam, Vx::LMenuActivationParam>;
TYPED_TEST_SUITE(ParamPool, PooledClasses);

TYPED_TEST(ParamPool, OneAfterAnotherReusesOneBlock)
{
    const void* first = nullptr;
    for (int i = 0; i < 100; ++i)
    {
        const RCPtr<TypeParam> param = Pooled<TypeParam>::Make();
        EXPECT_NE(TypeParam::GetPool().GetIndex(param.Get()), kNoIndex);
        if (first == nullptr)
            first = param.Get();
        ASSERT_EQ(static_cast<const void*>(param.Get()), first) << "creation " << i;
    }
}

TYPED_TEST(ParamPool, HeldObjectsTakeABlockEachAndComeBackLastInFirstOut)
{
    std::vector<RCPtr<TypeParam>> held;
    for (int i = 0; i < 100; ++i)
        held.push_back(Pooled<TypeParam>::Make());
    std::set<std::uint32_t> blocks;
    for (const RCPtr<TypeParam>& param : held)
        blocks.insert(TypeParam::GetPool().GetIndex(param.Get()));
    EXPECT_EQ(blocks.size(), 100u);
    EXPECT_EQ(blocks.count(kNoIndex), 0u);

    std::vector<const void*> released;
    for (RCPtr<TypeParam>& param : held)
    {
        released.push_back(param.Get());
        param = nullptr;
    }
    // The last released comes back first, then the one before it...
    for (std::size_t i = released.size(); i-- > 0;)
    {
        held[i] = Pooled<TypeParam>::Make();
        ASSERT_EQ(static_cast<const void*>(held[i].Get()), released[i]) << "creation " << i;
    }
    std::set<std::uint32_t> again;
    for (const RCPtr<TypeParam>& param : held)
        again.insert(TypeParam::GetPool().GetIndex(param.Get()));
    EXPECT_EQ(again, blocks) << "no new block for a freed one";
}

// Larger than its pooled base and without allocation functions of its own.
class WiderButtonParam : public Vx::LMouseButtonParam
{
public:
    WiderButtonParam() : LMouseButtonParam(1, {0, 0}, 0, false, 1, 0) {}
    double extra[4] = {};
};

TEST(ControlParams, DerivedClassesNeverReachThePool)
{
    VxTest::CaptureStderr capture;
    // A freed block of each pool is next in line...
    const void* conditionsBlock = Vx::LConditionsParam::GetPool().Allocate(sizeof(Vx::LConditionsParam));
    Vx::LConditionsParam::GetPool().Free(const_cast<void*>(conditionsBlock));
    const void* buttonBlock = Vx::LMouseButtonParam::GetPool().Allocate(sizeof(Vx::LMouseButtonParam));
    Vx::LMouseButtonParam::GetPool().Free(const_cast<void*>(buttonBlock));

    // ...and derived objects neither take it nor hand anything back: the
    // pools never read the memory in front of them (which the sanitizer
    // build would report).
    for (int i = 0; i < 3; ++i)
    {
        RCPtr<Vx::LItemConditionsParam> item(new Vx::LItemConditionsParam(1, 2, {3, 4}, 5, 6, true));
        EXPECT_NE(static_cast<const void*>(item.Get()), conditionsBlock);
        RCPtr<WiderButtonParam> wider(new WiderButtonParam());
        EXPECT_NE(static_cast<const void*>(wider.Get()), buttonBlock);
    }
    EXPECT_EQ(static_cast<const void*>(Pooled<Vx::LConditionsParam>::Make().Get()), conditionsBlock);
    EXPECT_EQ(static_cast<const void*>(Pooled<Vx::LMouseButtonParam>::Make().Get()), buttonBlock);
    EXPECT_EQ(capture.Finish(), "");
}

TEST(ControlParams, PoolsBelongToTheUserInterfaceThread)
{
    // This thread owns the pools (it used them first, or now).
    Pooled<Vx::LValueParam>::Make();
    VxTest::CaptureStderr capture;
    Pooled<Vx::LValueParam>::Make();
    EXPECT_EQ(capture.Finish(), "");

    VxTest::CaptureStderr fromElsewhere;
    std::thread([] { Pooled<Vx::LValueParam>::Make(); }).join();
    const std::string logged = fromElsewhere.Finish();
    EXPECT_NE(logged.find("JUCE Assertion failure in ControlParams.cpp:"), std::string::npos) << logged;

    // Heap objects of derived classes do not touch a pool: any thread.
    VxTest::CaptureStderr heap;
    std::thread([] {
        RCPtr<Vx::LItemConditionsParam>(new Vx::LItemConditionsParam(0, 0, {0, 0}, 0, 0, false));
    }).join();
    EXPECT_EQ(heap.Finish(), "");
}
} // namespace
