// The control tree: the child list and its orders, attaching and detaching,
// deferred removal and creation, re-applied descriptors and idle requests.

#include "tests/VxFramework/ControlBase/ControlDoubles.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{
using Vx::LControl;
using Vx::RCPtr;
using VxTest::AssertionsIn;
using VxTest::ControlHarness;
using VxTest::TestControl;
using Order = LControl::ChildControlList::Order;

std::vector<std::string> NamesIn(const LControl& parent, int order)
{
    std::vector<std::string> names;
    for (std::uint32_t i = 0; i < parent.GetChildren().GetCount(); ++i)
        names.push_back(parent.GetChildren().GetAt(i, order)->GetName().GetCString());
    return names;
}

std::vector<std::string> NamesIn(const Vx::RCPtrArray<LControl>& controls)
{
    std::vector<std::string> names;
    for (const RCPtr<LControl>& control : controls)
        names.push_back(control->GetName().GetCString());
    return names;
}

TEST(ControlTree, ChildrenJoinLeaveAndAreFoundByName)
{
    const RCPtr<TestControl> root = TestControl::Create(nullptr, "root");
    const RCPtr<TestControl> a = TestControl::Create(root, "a");
    const RCPtr<TestControl> b = TestControl::Create(root, "b");
    const RCPtr<TestControl> a1 = TestControl::Create(a, "x");
    const RCPtr<TestControl> b1 = TestControl::Create(b, "x");

    EXPECT_EQ(root->FindChild("b"), b);
    EXPECT_TRUE(root->FindChild("x").IsNull()) << "only direct children";
    EXPECT_EQ(a1->GetTopLevelControl(), root);
    EXPECT_TRUE(a1->IsDescendantOf(root));
    EXPECT_FALSE(root->IsDescendantOf(root));

    Vx::RCPtrArray<LControl> found;
    EXPECT_EQ(root->CollectDescendants(found), 4u);
    EXPECT_EQ(NamesIn(found), (std::vector<std::string>{"a", "x", "b", "x"})) << "depth first, pre-order";
    found.RemoveAll();
    EXPECT_EQ(root->FindDescendantsByName("x", found), 2u);
    EXPECT_EQ(found[0], b1) << "children from last to first";

    {
        VxTest::CaptureStderr capture;
        const RCPtr<TestControl> twin = TestControl::Create(root, "a");
        EXPECT_TRUE(twin->GetParent().IsNull()) << "a second child of the same name is refused";
        EXPECT_EQ(root->GetChildren().Add(twin), Vx::VXR_E_FAIL);
        EXPECT_EQ(root->GetChildren().Add(RCPtr<LControl>()), Vx::VXR_E_INVALIDARG);
        EXPECT_EQ(a->SetParent(a1), Vx::VXR_E_INVALIDARG) << "a control cannot go below itself";
        EXPECT_EQ(a->GetParent(), root);
        EXPECT_EQ(a1->SetParent(b), Vx::VXR_E_FAIL) << "b already has an x";
        EXPECT_TRUE(a1->GetParent().IsNull()) << "it left a all the same";
        EXPECT_EQ(AssertionsIn(capture.Finish()), 4);
    }

    // Moving a child: it leaves its old parent, which is told the index.
    EXPECT_EQ(a->mRemoved, (std::vector<std::string>{"x@0"}));
    EXPECT_EQ(a->SetParent(b), Vx::VXR_OK);
    EXPECT_EQ(root->mRemoved, (std::vector<std::string>{"a@0"}));
    EXPECT_EQ(NamesIn(*b, Order::kInsertionOrder), (std::vector<std::string>{"x", "a"}));
    EXPECT_EQ(a->SetParent(b), Vx::VXR_NOTHING_DONE);
}

TEST(ControlTree, ChildListOrdersAndIndexErrors)
{
    const RCPtr<TestControl> root = TestControl::Create(nullptr, "root");
    const RCPtr<TestControl> a = TestControl::Create(root, "a");
    const RCPtr<TestControl> b = TestControl::Create(root, "b");
    const RCPtr<TestControl> c = TestControl::Create(root, "c");
    a->Layout().Z_Order = 5;
    b->Layout().ClipToParent = false;
    c->Layout().XIsDocked = true;
    a->Layout().TabStop = 2;
    c->Layout().TabStop = -1;
    root->GetChildren().Invalidate();
    EXPECT_EQ(NamesIn(*root, Order::kZOrder), (std::vector<std::string>{"a", "c", "b"}))
        << "clipping first, then fewer docked axes, then Z_Order";
    EXPECT_EQ(NamesIn(*root, Order::kTabOrder), (std::vector<std::string>{"c", "b", "a"}));
    EXPECT_EQ(root->GetChildIndex(b, Order::kZOrder), 2);
    EXPECT_EQ(root->GetChildIndex(root, Order::kInsertionOrder), -1);

    const LControl::ChildControlList& list = root->GetChildren();
    for (const auto& [index, order] : {std::pair{3u, 0}, std::pair{0u, 3}, std::pair{0u, -1}})
    {
        try
        {
            list.GetAt(index, order);
            ADD_FAILURE() << index << ", " << order << " did not throw";
        }
        catch (const std::runtime_error& error)
        {
            const std::string text = error.what();
            EXPECT_EQ(text.rfind("Runtime Error : ", 0), 0u) << text;
            EXPECT_NE(text.find("VxFramework/ControlBase/Control.cpp : Line "), std::string::npos) << text;
        }
    }
    for (const auto& [first, second] : {std::pair{-1, 0}, std::pair{0, 3}, std::pair{3, 3}})
        EXPECT_EQ(root->SwapChildren(first, second, false), Vx::VXR_E_INVALIDARG) << first << ", " << second;
}

TEST(ControlTree, SwappingAndRenamingChildren)
{
    const RCPtr<TestControl> root = TestControl::Create(nullptr, "root");
    const RCPtr<TestControl> a = TestControl::Create(root, "a");
    const RCPtr<TestControl> b = TestControl::Create(root, "b");
    const RCPtr<TestControl> c = TestControl::Create(root, "c");
    a->Layout().XPositionAbs = 10;
    a->Layout().Z_Order = 1;
    a->Layout().IsVisible = false;
    b->Layout().XPositionAbs = 20;
    b->Layout().Z_Order = 2;
    c->Layout().XPositionReference = Vx::PositionReference::NamedControl;
    c->Layout().XPositionControlName = "b";
    c->Layout().XSizeReference = Vx::SizeReference::NamedControl;
    c->Layout().XSizeControlName = "a";

    // With keep, the Abs terms and the visibility stay; the rest moves.
    EXPECT_EQ(root->GetChildren().SwapChildren(0, 1, true), Vx::VXR_OK);
    EXPECT_EQ(NamesIn(*root, Order::kInsertionOrder), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(root->GetChildren().GetAt(0, Order::kInsertionOrder), b) << "the objects changed places and names";
    EXPECT_EQ(b->GetName(), "a");
    EXPECT_EQ(b->Layout().Z_Order, 1);
    EXPECT_EQ(b->Layout().XPositionAbs, 20);
    EXPECT_TRUE(b->Layout().IsVisible);
    EXPECT_EQ(a->Layout().Z_Order, 2);
    EXPECT_EQ(a->Layout().XPositionAbs, 10);
    EXPECT_FALSE(a->Layout().IsVisible);
    EXPECT_EQ(root->GetChildren().SwapChildren(0, 1, false), Vx::VXR_OK);
    EXPECT_EQ(a->Layout().XPositionAbs, 20) << "without keep everything moves";

    // Later siblings follow a renamed child.
    EXPECT_EQ(root->GetChildren().RenameChild(b, "bee"), Vx::VXR_OK);
    EXPECT_EQ(c->Layout().XPositionControlName, "bee");
    EXPECT_EQ(c->Layout().XSizeControlName, "a") << "other names stay";
    EXPECT_EQ(root->GetChildren().RenameChild(b, "bee"), Vx::VXR_NOTHING_DONE);
    VxTest::CaptureStderr capture;
    EXPECT_EQ(root->GetChildren().RenameChild(b, "a"), Vx::VXR_E_FAIL);
    EXPECT_EQ(root->GetChildren().RenameChild(root, "z"), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(AssertionsIn(capture.Finish()), 2);
}

TEST(ControlTree, ZOrderRenumbersAtTheLimits)
{
    const RCPtr<TestControl> root = TestControl::Create(nullptr, "root");
    const RCPtr<TestControl> a = TestControl::Create(root, "a");
    const RCPtr<TestControl> b = TestControl::Create(root, "b");
    const RCPtr<TestControl> c = TestControl::Create(root, "c");
    b->Layout().Z_Order = 7;

    EXPECT_EQ(a->BringToFront(), Vx::VXR_OK);
    EXPECT_EQ(a->Layout().Z_Order, 8);
    EXPECT_EQ(c->SendToBack(), Vx::VXR_OK);
    EXPECT_EQ(c->Layout().Z_Order, -1);
    EXPECT_EQ(NamesIn(*root, Order::kZOrder), (std::vector<std::string>{"c", "b", "a"}));

    // No room above the top: the siblings become 0..n-1 in their order first.
    b->Layout().Z_Order = std::numeric_limits<std::int32_t>::max();
    root->GetChildren().Invalidate();
    EXPECT_EQ(a->BringToFront(), Vx::VXR_OK);
    EXPECT_EQ(c->Layout().Z_Order, 0);
    EXPECT_EQ(b->Layout().Z_Order, 2);
    EXPECT_EQ(a->Layout().Z_Order, 3);
    EXPECT_EQ(NamesIn(*root, Order::kZOrder), (std::vector<std::string>{"c", "b", "a"}));

    // And below the bottom: 1..n, then one less than 1.
    c->Layout().Z_Order = std::numeric_limits<std::int32_t>::min();
    root->GetChildren().Invalidate();
    EXPECT_EQ(a->SendToBack(), Vx::VXR_OK);
    EXPECT_EQ(c->Layout().Z_Order, 1);
    EXPECT_EQ(b->Layout().Z_Order, 2);
    EXPECT_EQ(a->Layout().Z_Order, 0);
    EXPECT_EQ(root->BringToFront(), Vx::VXR_NOTHING_DONE) << "a control without parent";
}

// A page with two plain children, created in the harness's window.
struct Page
{
    explicit Page(ControlHarness& harness)
    {
        page = harness.Describe("page");
        Vx::LLayoutDescriptor& layout = *page->GetLayout();
        layout.XSizeReference = Vx::SizeReference::Client;
        layout.XSizeRel = 1.0f;
        layout.XSizeAbs = 0;
        layout.YSizeReference = Vx::SizeReference::Client;
        layout.YSizeRel = 1.0f;
        layout.YSizeAbs = 0;
        a = harness.Describe("a", page);
        b = harness.Describe("b", page);
    }

    RCPtr<Vx::LControlDescriptor> page;
    RCPtr<Vx::LControlDescriptor> a;
    RCPtr<Vx::LControlDescriptor> b;
};

TEST(ControlTree, DeferredRemovalHidesAtOnceAndDetachesAtTheIdlePass)
{
    ControlHarness harness;
    const Page descriptors(harness);
    const RCPtr<LControl> page = harness.CreateTop("page");
    const RCPtr<LControl> a = page->FindChild("a");
    ASSERT_FALSE(a.IsNull());
    ASSERT_TRUE(a->IsVisible(true));

    EXPECT_EQ(page->RemoveChildDeferred(a), Vx::VXR_OK);
    EXPECT_FALSE(a->IsVisible(false)) << "invisible at once";
    EXPECT_EQ(page->FindChild("a"), a) << "still found until the idle pass";
    EXPECT_EQ(page->RemoveChildDeferred(a), Vx::VXR_OK) << "asking twice changes nothing";
    EXPECT_EQ(page->GetIdleRequestCount(), 1);
    harness.Idle();
    EXPECT_TRUE(page->FindChild("a").IsNull());
    EXPECT_TRUE(a->GetParent().IsNull());
    EXPECT_EQ(page->GetIdleRequestCount(), 0);
    EXPECT_EQ(harness.window->GetClientCount(), 0) << "the idle handler is gone with the request";

    // A new child may take a pending child's name: the pending one leaves
    // first.
    const RCPtr<LControl> b = page->FindChild("b");
    page->RemoveChildDeferred(b);
    const RCPtr<TestControl> newB = TestControl::Create(page, "b");
    EXPECT_EQ(newB->GetParent(), page);
    EXPECT_TRUE(b->GetParent().IsNull());
    EXPECT_EQ(page->FindChild("b"), newB);
    EXPECT_EQ(page->GetIdleRequestCount(), 0);

    VxTest::CaptureStderr capture;
    EXPECT_EQ(page->RemoveChildDeferred(a), Vx::VXR_E_INVALIDARG) << "no longer a child";
    EXPECT_EQ(AssertionsIn(capture.Finish()), 1);
}

TEST(ControlTree, IdleRequestsMadeBeforeTheRootWindowRegisterWhenItArrives)
{
    ControlHarness harness;
    const Page descriptors(harness);
    const RCPtr<LControl> page = harness.factory->CreateTopLevelControl("page", nullptr);
    ASSERT_FALSE(page.IsNull());
    TestControl& a = VxTest::AsTest(page->FindChild("a"));

    EXPECT_EQ(a.RequestIdle(), Vx::VXR_OK);
    EXPECT_EQ(a.RequestIdle(), Vx::VXR_OK);
    harness.Idle();
    EXPECT_EQ(a.mIdlePasses, 0) << "no root window yet";

    page->SetRootWindow(harness.window);
    harness.Idle();
    EXPECT_EQ(a.mIdlePasses, 1);
    EXPECT_EQ(a.ReleaseIdle(), Vx::VXR_OK);
    harness.Idle();
    EXPECT_EQ(a.mIdlePasses, 2) << "one request is left";
    EXPECT_EQ(a.ReleaseIdle(), Vx::VXR_OK);
    harness.Idle();
    EXPECT_EQ(a.mIdlePasses, 2);

    VxTest::CaptureStderr capture;
    EXPECT_EQ(a.ReleaseIdle(), Vx::VXR_NOTHING_DONE);
    EXPECT_EQ(AssertionsIn(capture.Finish()), 1);
    EXPECT_EQ(a.GetIdleRequestCount(), 0);

    // A top control that leaves its window gives up its own requests; its
    // children keep theirs for the next window.
    a.RequestIdle();
    page->Detach();
    EXPECT_EQ(a.GetIdleRequestCount(), 1) << "kept for the next window";
    EXPECT_EQ(page->GetIdleRequestCount(), 0);
    EXPECT_TRUE(page->GetRootWindow().IsNull());
    // The handler still leaves the window it went to.
    EXPECT_EQ(a.ReleaseIdle(), Vx::VXR_OK);
    EXPECT_EQ(harness.window->GetClientCount(), 0);

    // A control that asked for idle time while out of any tree gets it when
    // it joins a shown one.
    const RCPtr<LControl> shown = harness.CreateTop("page");
    const RCPtr<LControl> loose = harness.factory->CreateControl(harness.Describe("loose"), nullptr);
    ASSERT_FALSE(loose.IsNull());
    loose->RequestIdle();
    EXPECT_EQ(loose->SetParent(shown), Vx::VXR_OK);
    harness.Idle();
    EXPECT_EQ(VxTest::AsTest(loose).mIdlePasses, 1);
}

TEST(ControlTree, ReapplyingADescriptorKeepsStateAndReattachesChildrenByName)
{
    ControlHarness harness;
    const Page first(harness);
    Vx::LLookDescriptor::TextArea text;
    text.rightRel = 1.0f;
    text.bottomRel = 1.0f;
    harness.Describe("c", first.page);
    for (int i = 0; i < 2; ++i)
        first.page->GetSkin()->lookList->Add(VxTest::LookDescriptor(VxTest::Offsets(0, 0, 0, 0)));
    const RCPtr<LControl> page = harness.CreateTop("page");
    page->SetText("Hello");
    page->SetLook(1);
    const RCPtr<LControl> a = page->FindChild("a");
    const RCPtr<LControl> b = page->FindChild("b");
    const RCPtr<LControl> c = page->FindChild("c");
    a->SetVisible(false);
    b->SetEnabled(false);

    // A second skin: the page has looks with text, and b and a new d in
    // that order, placed elsewhere; a and c are not in it.
    const RCPtr<Vx::LControlDescriptor> root2(new Vx::LControlDescriptor("Application", "skin2", nullptr));
    harness.factory->AddSkinRoot(root2);
    const RCPtr<Vx::LLookDescriptor> look = VxTest::LookDescriptor(VxTest::Offsets(0, 0, 0, 0), &text);
    const RCPtr<Vx::LControlDescriptor> page2 =
        harness.Describe("page", root2, ControlHarness::kControlClass, {look, look});
    harness.Describe("b", page2)->GetLayout()->YPositionAbs = 50;
    harness.Describe("d", page2);
    harness.factory->SetCurrentSkinIndex(1);

    EXPECT_EQ(page->ApplyDescriptor(harness.factory->FindControlDescriptor("page")), Vx::VXR_OK);
    EXPECT_EQ(NamesIn(*page, Order::kInsertionOrder), (std::vector<std::string>{"b", "a", "c"}))
        << "the described children first, in the new order; no new child is made";
    EXPECT_EQ(page->FindChild("b"), b) << "the same objects";
    EXPECT_EQ(b->GetBounds().y, 50) << "b took the new layout";
    EXPECT_FALSE(b->IsEnabled(false));
    EXPECT_FALSE(a->IsVisible(false));
    EXPECT_TRUE(c->IsVisible(false));
    ASSERT_EQ(page->GetLookCount(), 2u);
    EXPECT_EQ(page->GetLook(1)->GetText()->GetText(), "Hello") << "the new looks show the text";
    EXPECT_EQ(page->GetLookWeight(0), 0.0f);
    EXPECT_EQ(page->GetLookWeight(1), 1.0f) << "and the look that was shown";
    EXPECT_EQ(page->GetBounds(), (Vx::RectT<double>{0, 0, 800, 480})) << "a top control fills its window";
}

TEST(ControlTree, DeferredChildrenAreMadeWhenShownAndDroppedWhenHidden)
{
    ControlHarness harness;
    const Page descriptors(harness);
    for (const char* value : {"true", " TRUE ", "True\n", "false"})
        ControlHarness::Param(harness.Describe(value, descriptors.page), "DEFER_CREATE", value);
    const RCPtr<LControl> page = harness.CreateTop("page");
    EXPECT_EQ(NamesIn(*page, Order::kInsertionOrder), (std::vector<std::string>{"a", "b", "false"}));

    EXPECT_EQ(page->ShowChild(" TRUE "), Vx::VXR_OK);
    const RCPtr<LControl> made = page->FindChild(" TRUE ");
    ASSERT_FALSE(made.IsNull());
    EXPECT_TRUE(made->IsVisible(true));
    EXPECT_EQ(page->HideChild(" TRUE "), Vx::VXR_NOTHING_DONE) << "a deferred child is given up";
    EXPECT_TRUE(page->FindChild(" TRUE ").IsNull());
    EXPECT_TRUE(made->GetParent().IsNull());

    EXPECT_EQ(page->HideChild("a"), Vx::VXR_OK) << "any other child is only hidden";
    EXPECT_FALSE(page->FindChild("a")->IsVisible(false));
    EXPECT_EQ(page->ShowChild("a"), Vx::VXR_OK);
    EXPECT_TRUE(page->FindChild("a")->IsVisible(true));

    EXPECT_EQ(page->HideChild("nothing"), Vx::VXR_E_FAIL);
    VxTest::CaptureStderr capture;
    EXPECT_EQ(page->ShowChild("nothing"), Vx::VXR_E_FAIL);
    EXPECT_EQ(AssertionsIn(capture.Finish()), 1);
}

TEST(ControlTree, BadArgumentsAreRefusedAndLoseNothing)
{
    ControlHarness harness;
    const Page descriptors(harness);
    const RCPtr<LControl> page = harness.CreateTop("page");
    const RCPtr<LControl> a = page->FindChild("a");
    const RCPtr<LControl> loose(new LControl(nullptr, "loose"));
    VxTest::CaptureStderr capture;

    EXPECT_EQ(page->AttachChild(nullptr, descriptors.a), Vx::VXR_E_FAIL);
    EXPECT_EQ(page->AttachChild(loose, nullptr), Vx::VXR_E_FAIL);
    EXPECT_TRUE(loose->GetParent().IsNull());
    EXPECT_EQ(page->AttachChild(loose, descriptors.b), Vx::VXR_OK);
    EXPECT_EQ(loose->GetParent(), page);
    EXPECT_EQ(loose->GetDescriptor(), descriptors.b);

    // A descriptor that cannot be applied leaves the control as it was.
    const Vx::RectT<double> bounds = a->GetBounds();
    const RCPtr<Vx::LControlDescriptor> bare(new Vx::LControlDescriptor(ControlHarness::kControlClass, "a", nullptr));
    EXPECT_EQ(a->ApplyDescriptor(bare), Vx::VXR_E_FAIL);
    EXPECT_EQ(a->ApplyDescriptor(nullptr), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(a->GetDescriptor(), descriptors.a);
    EXPECT_EQ(a->GetBounds(), bounds);

    // A control that never had a descriptor has no layout to run.
    const RCPtr<LControl> plain(new LControl(nullptr, "plain"));
    EXPECT_EQ(plain->RecalcLayout(), Vx::VXR_E_FAIL);
    EXPECT_EQ(plain->GetBounds(), Vx::RectT<double>::Empty);
    EXPECT_EQ(AssertionsIn(capture.Finish()), 5);
    EXPECT_THROW(plain->PerformEdit(0), std::logic_error);
}
} // namespace
