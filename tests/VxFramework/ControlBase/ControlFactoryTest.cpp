// The control factory's registry and the creation of controls from the
// skin's descriptors.

#include "tests/VxFramework/ControlBase/ControlDoubles.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <string>
#include <typeinfo>
#include <vector>

namespace
{
using Vx::LControl;
using Vx::LControlDescriptor;
using Vx::RCPtr;
using VxTest::AssertionsIn;
using VxTest::ControlHarness;
using VxTest::CountOf;
using VxTest::TestControl;

TEST(ControlFactory, ARegisteredNameKeepsItsFirstCreator)
{
    const RCPtr<Vx::LControlFactory> factory = Vx::MakeRCPtr<Vx::LControlFactory>("App");
    EXPECT_EQ(factory->RegisterControlType("Framework.Button", &Vx::CreateControl<TestControl>), Vx::VXR_OK);
    EXPECT_EQ(factory->RegisterControlType("Framework.Button", &Vx::CreateControl<LControl>), Vx::VXR_OK);
    Vx::ControlCreator creator = nullptr;
    EXPECT_EQ(factory->FindCreator("Framework.Button", creator), Vx::VXR_OK);
    EXPECT_EQ(creator, &Vx::CreateControl<TestControl>);

    VxTest::CaptureStderr capture;
    EXPECT_EQ(factory->FindCreator("Framework.button", creator), Vx::VXR_NOTHING_DONE) << "names are exact";
    EXPECT_EQ(creator, factory->GetFallbackCreator());
    EXPECT_EQ(factory->GetMissingTypeCount(), 1);
    EXPECT_EQ(factory->RegisterControlType("", &Vx::CreateControl<LControl>), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(factory->RegisterControlType("Framework.Label", nullptr), Vx::VXR_E_INVALIDARG);
    const std::string logged = capture.Finish();
    EXPECT_EQ(CountOf(logged, "Framework.button not registered.\n"), 1);
    EXPECT_EQ(AssertionsIn(logged), 2);
}

TEST(ControlFactory, AnUnregisteredClassIsTracedOncePerDescriptorAndStillHasItsChildren)
{
    ControlHarness harness;
    // A class name from the skin file is text from outside: it must never
    // act as a format.
    const RCPtr<LControlDescriptor> page = harness.Describe("page", nullptr, "Odd.%s%n%d");
    harness.Describe("kid", page);

    VxTest::CaptureStderr first;
    const RCPtr<LControl> top = harness.CreateTop("page");
    const std::string logged = first.Finish();
    ASSERT_FALSE(top.IsNull());
    EXPECT_EQ(CountOf(logged, "Odd.%s%n%d not registered.\n"), 1);
    EXPECT_EQ(AssertionsIn(logged), 1) << "the tree met an unregistered class";
    const LControl& made = *top;
    EXPECT_TRUE(typeid(made) == typeid(LControl)) << "the stand-in for the panel";
    const RCPtr<LControl> kid = top->FindChild("kid");
    ASSERT_FALSE(kid.IsNull());
    const LControl& child = *kid;
    EXPECT_TRUE(typeid(child) == typeid(TestControl));

    VxTest::CaptureStderr second;
    const RCPtr<LControl> again = harness.CreateTop("page");
    EXPECT_EQ(second.Finish(), "") << "the descriptor keeps the creator it was given";
    EXPECT_NE(again, top);
}

TEST(ControlFactory, TopLevelControlsAreFoundByNameAndAlwaysVisible)
{
    ControlHarness harness;
    harness.Describe("main")->GetLayout()->XSizeAbs = 10;
    const RCPtr<LControlDescriptor> later = harness.Describe("main");
    later->GetLayout()->XSizeAbs = 20;
    later->GetLayout()->IsVisible = false;
    EXPECT_EQ(harness.factory->FindControlDescriptor("main"), later) << "the later of two";
    EXPECT_TRUE(harness.factory->FindControlDescriptor("none").IsNull());

    const RCPtr<LControl> top = harness.CreateTop("main");
    ASSERT_FALSE(top.IsNull());
    EXPECT_EQ(top->GetBounds().width, 20);
    EXPECT_TRUE(top->IsVisible(false));
    EXPECT_EQ(top->GetRootWindow(), harness.window);

    VxTest::CaptureStderr capture;
    EXPECT_TRUE(harness.CreateTop("none").IsNull());
    EXPECT_TRUE(harness.CreateTop("").IsNull());
    EXPECT_EQ(AssertionsIn(capture.Finish()), 2);
}

TEST(ControlFactory, ControlsTakeTheirCreateParametersFromTheStringTables)
{
    ControlHarness harness;
    harness.factory->RegisterControlType("TestApp.Dialog", &Vx::CreateControl<TestControl>);
    const RCPtr<LControlDescriptor> dialog = harness.Describe("dialog", nullptr, "TestApp.Dialog");
    const RCPtr<LControlDescriptor> ok = harness.Describe("okButton", dialog);
    ControlHarness::Param(ok, "INITIAL_VALUE", "0.25");
    ControlHarness::Param(ok, "NOT_FOCUSABLE", " True");
    harness.factory->SetString("TestApp.Dialog|okButton", "LABEL", "OK");
    harness.factory->SetString("Harness|dialog", "TOOLTIP", "A dialog");

    const RCPtr<LControl> top = harness.CreateTop("dialog");
    const RCPtr<LControl> button = top->FindChild("okButton");
    ASSERT_FALSE(button.IsNull());
    EXPECT_EQ(button->GetText(), "OK");
    EXPECT_EQ(top->GetToolTipText(0), "A dialog") << "without a parent the application's name stands in";
    EXPECT_EQ(button->GetValue(), 0.25);
    EXPECT_TRUE(button->IsNotFocusable(false));
    EXPECT_EQ(button->GetLayout()->TabStop, -1) << "the tab stop follows";

    // Each control gets its own copy of the table.
    const RCPtr<Vx::LStringTable> table = harness.factory->GetInstanceCreateParams(top, "okButton");
    ASSERT_FALSE(table.IsNull());
    table->Set("LABEL", "Changed");
    LControl::Text label;
    EXPECT_TRUE(button->GetCreateParams()->Lookup("LABEL", label));
    EXPECT_EQ(label, "OK");
    EXPECT_TRUE(harness.factory->GetInstanceCreateParams(nullptr, "okButton").IsNull());
}

// Records the creation steps it goes through.
class StepControl : public TestControl
{
public:
    StepControl(const RCPtr<LControl>& parent, const Text& name) : TestControl(parent, name) {}

    Vx::VxRESULT ApplyDescriptor(const RCPtr<LControlDescriptor>& descriptor) override
    {
        Note("ApplyDescriptor");
        return TestControl::ApplyDescriptor(descriptor);
    }
    Vx::VxRESULT CreateChildren(const RCPtr<LControlDescriptor>& descriptor) override
    {
        Note("CreateChildren");
        return TestControl::CreateChildren(descriptor);
    }
    Vx::VxRESULT Initialize() override
    {
        Note("Initialize");
        const Vx::VxRESULT result = TestControl::Initialize();
        GetHandler()->RegisterLocal(static_cast<Handler>(&StepControl::OnPing), "NID_PING");
        return result;
    }
    Vx::VxRESULT OnCreated() override
    {
        Note("OnCreated");
        mPingedBeforeCreated = Ping();
        return Vx::VXR_OK;
    }

    Vx::NotificationHandlerResultCode Ping()
    {
        RCPtr<Vx::LNotification> ping;
        Vx::LNotification::Create(ping, "NID_PING", nullptr);
        return Receive(nullptr, ping);
    }

    std::vector<std::string> mSteps;
    Vx::NotificationHandlerResultCode mPingedBeforeCreated = -1;

private:
    using Handler = Vx::LNotificationHandler<LControl>::Handler;

    void Note(const char* step) { mSteps.push_back(std::string(step) + (IsCreated() ? " (created)" : "")); }

    Vx::NotificationHandlerResultCode OnPing(const RCPtr<Vx::LNotificationDistributor>&,
                                             const Vx::ConstRCPtr<Vx::LNotification>&)
    {
        return 7;
    }
};

TEST(ControlFactory, TheCreationStepsAllRunInOrderBeforeTheControlCountsAsCreated)
{
    ControlHarness harness;
    harness.factory->RegisterControlType("Test.Steps", &Vx::CreateControl<StepControl>);
    harness.Describe("steps", nullptr, "Test.Steps");
    const RCPtr<StepControl> control(dynamic_cast<StepControl*>(harness.CreateTop("steps").Get()));
    ASSERT_FALSE(control.IsNull());
    EXPECT_EQ(control->mSteps,
              (std::vector<std::string>{"ApplyDescriptor", "CreateChildren", "Initialize", "OnCreated"}));
    EXPECT_EQ(control->mPingedBeforeCreated, 0) << "nothing is dispatched before the control is created";
    EXPECT_EQ(control->Ping(), 7);

    // A step that fails does not stop the others.
    const RCPtr<LControlDescriptor> bare(new LControlDescriptor("Test.Steps", "bare", nullptr));
    VxTest::CaptureStderr capture;
    const RCPtr<LControl> made = Vx::CreateControl<StepControl>(nullptr, bare);
    EXPECT_EQ(AssertionsIn(capture.Finish()), 2) << "the refused descriptor and the failed step";
    ASSERT_FALSE(made.IsNull());
    EXPECT_EQ(dynamic_cast<StepControl&>(*made).mSteps.size(), 4u);
    EXPECT_TRUE(made->IsCreated());
}

TEST(ControlFactory, DescriptorsThatCannotBeAppliedAreRefused)
{
    ControlHarness harness;
    const RCPtr<LControlDescriptor> noSkin(new LControlDescriptor(ControlHarness::kControlClass, "noSkin", nullptr));
    noSkin->SetLayout(RCPtr<Vx::LLayoutDescriptor>(new Vx::LLayoutDescriptor()));
    const RCPtr<LControlDescriptor> noLooks = harness.Describe("noLooks");
    noLooks->GetSkin()->lookList = nullptr;

    VxTest::CaptureStderr capture;
    EXPECT_TRUE(harness.factory->CreateControl(noSkin, nullptr).IsNull());
    EXPECT_TRUE(harness.factory->CreateControl(noLooks, nullptr).IsNull());
    EXPECT_TRUE(harness.factory->CreateControl(nullptr, nullptr).IsNull());
    EXPECT_TRUE(Vx::CreateControl<TestControl>(nullptr, nullptr).IsNull());
    EXPECT_EQ(AssertionsIn(capture.Finish()), 4);

    // Without any creator for an unregistered name.
    harness.factory->SetFallbackCreator(nullptr);
    harness.Describe("orphan", nullptr, "Nobody.Knows");
    VxTest::CaptureStderr none;
    EXPECT_TRUE(harness.CreateTop("orphan").IsNull());
    const std::string logged = none.Finish();
    EXPECT_EQ(CountOf(logged, "Nobody.Knows not registered.\n"), 1);
    EXPECT_EQ(AssertionsIn(logged), 1);
}
} // namespace
