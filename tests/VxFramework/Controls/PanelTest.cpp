#include "tests/VxFramework/Controls/ScrollHarness.h"

#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <string>

using namespace VxTest;
using Vx::RCPtr;
using Rect = Vx::RectT<double>;

namespace
{
constexpr int kTab = 9;
constexpr int kDown = 40;

// page: other (tab stop -1, a panel holding the vertical bar "sbar"),
// before (0), inner (1, a panel of a, b, c) and after (2).
class PanelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const auto page = h.Describe("page", nullptr, Rect{0, 0, 800, 480}, "Framework.Panel");
        const auto other = h.Describe("other", page, Rect{400, 0, 100, 300}, "Framework.Panel");
        ScrollHarness::Layout(other).TabStop = -1;
        h.DescribeBar("sbar", other, true, 0, 0, 200);
        ScrollHarness::Layout(h.Describe("before", page, Rect{0, 0, 50, 20})).TabStop = 0;
        const auto inner = h.Describe("inner", page, Rect{0, 30, 200, 100}, "Framework.Panel");
        ScrollHarness::Layout(inner).TabStop = 1;
        for (int i = 0; i < 3; ++i)
        {
            const char* names[] = {"a", "b", "c"};
            ScrollHarness::Layout(h.Describe(names[i], inner, Rect{i * 60.0, 0, 50, 20})).TabStop = i;
        }
        ScrollHarness::Layout(h.Describe("after", page, Rect{0, 140, 50, 20})).TabStop = 2;
        top = h.CreateTop("page");
        ASSERT_FALSE(top.IsNull());
    }

    RCPtr<Vx::LControl> Find(const char* name) const
    {
        RCPtr<Vx::LControl> found = top->FindChild(name);
        if (found.IsNull())
            found = top->FindChild("inner")->FindChild(name);
        return found;
    }

    std::string Focused() const
    {
        const RCPtr<Vx::LControl> focus = h.window->GetFocusControl();
        return focus.IsNull() ? std::string("none") : std::string(focus->GetName().GetCString());
    }

    ScrollHarness h;
    RCPtr<Vx::LControl> top;
};

TEST_F(PanelTest, TabLeavesANestedPanelAtItsEndsAndOnlyTheTopPanelWraps)
{
    struct Case
    {
        const char* from;
        std::uint32_t modifiers;
        const char* to;
    };
    const Case cases[] = {
        {"b", 0, "c"},
        {"c", 0, "after"},
        {"b", Vx::kModifierShift, "a"},
        {"a", Vx::kModifierShift, "before"},
        {"before", 0, "a"},
        {"after", Vx::kModifierShift, "c"},
        {"after", 0, "before"},
        {"before", Vx::kModifierShift, "after"},
        // Ctrl skips the panel's own search.
        {"a", Vx::kModifierCtrl, "after"},
        {"b", Vx::kModifierCtrl | Vx::kModifierShift, "before"},
    };
    for (const Case& c : cases)
    {
        ASSERT_EQ(Find(c.from)->SetFocus(true), Vx::VXR_OK) << c.from;
        ASSERT_EQ(Focused(), c.from);
        CaptureStderr capture;
        h.Key(kTab, c.modifiers);
        EXPECT_EQ(AssertionsIn(capture.Finish()), 0);
        EXPECT_EQ(Focused(), c.to) << "from " << c.from << " mods " << c.modifiers;
    }
    EXPECT_TRUE(h.osWindow.mCloses.empty());
}

TEST_F(PanelTest, AKeyNobodyUsesIsOfferedOnTheWayUpAndEndsAtTheHotKeysOnce)
{
    const auto inner = top->FindChild("inner");
    const auto innerRecorder = Vx::MakeRCPtr<Recorder>();
    innerRecorder->Listen(RCPtr<Vx::LNotificationDistributor>(inner), {"NID_SIBLING_KEY"});
    const auto pageRecorder = Vx::MakeRCPtr<Recorder>();
    pageRecorder->Listen(RCPtr<Vx::LNotificationDistributor>(top), {"NID_SIBLING_KEY"});

    ASSERT_EQ(Find("c")->SetFocus(true), Vx::VXR_OK);
    h.Key('X');
    EXPECT_EQ(innerRecorder->mIds.size(), 1u);
    EXPECT_EQ(pageRecorder->mIds.size(), 1u);
    // The window binds no hot keys here: the key ends at the application's.
    EXPECT_EQ(h.app->mHotKeys, (InputLog{"application VKEY_X"}));
    innerRecorder->UnregisterAll();
    pageRecorder->UnregisterAll();

    // Every key, Tab too, is left for the tree to route.
    for (const int key : {kTab, kDown, static_cast<int>('X')})
        EXPECT_EQ(top->ProcessKey(Vx::LKeyParam::Create(Vx::KeyCode(key, 0u), 1)), Vx::VXR_NOTHING_DONE);
}

TEST_F(PanelTest, AKeyOneSubtreeLeftReachesTheBarsOfASiblingPanel)
{
    const auto bar = Part<Vx::LScrollbar>(top, {"other", "sbar"});
    ASSERT_FALSE(bar.IsNull());
    bar->SetValue(0.5);
    ASSERT_EQ(Find("a")->SetFocus(true), Vx::VXR_OK);
    h.Key(kDown);
    EXPECT_DOUBLE_EQ(bar->GetValue(), 0.52);
    EXPECT_TRUE(h.app->mHotKeys.empty()) << "the bar used it";
    EXPECT_EQ(Focused(), "a");
}

TEST(PanelFallback, AnUnregisteredClassBecomesAPanelThatKeepsItsChildrenAndRoutesTab)
{
    Log log;
    RecordingOSWindow osWindow;
    const auto factory = Vx::MakeRCPtr<Vx::LControlFactory>("App");
    {
        CaptureStderr capture;
        ASSERT_EQ(factory->LoadSkins(VX_CONTROLS_FIXTURE_DIR "/fallback/Skins.xml"), Vx::VXR_OK);
        ASSERT_EQ(AssertionsIn(capture.Finish()), 0);
    }
    {
        const auto app = Vx::MakeRCPtr<HarnessApplication>(&log, factory);
        // The framework's own start-up registers the stock types and the
        // fallback.
        ASSERT_EQ(app->LFrameworkApp::RunApplicationStartup(), Vx::VXR_OK);
        for (const char* type : Vx::LPanel::kTypeNames)
        {
            Vx::ControlCreator creator = nullptr;
            EXPECT_EQ(factory->FindCreator(type, creator), Vx::VXR_OK) << type;
        }
        Vx::ControlCreator creator = nullptr;
        EXPECT_EQ(factory->FindCreator("Framework.ScrollBar", creator), Vx::VXR_OK);

        const RCPtr<Vx::LJUCERenderer> renderer(new Vx::LJUCERenderer());
        const auto window = Vx::LRootWindow::Create(RCPtr<Vx::LRenderer>(renderer), &osWindow);
        app->AddRootWindow(window);
        CaptureStderr capture;
        ASSERT_GE(window->CreateTopControl("mainControl"), 0);
        const std::string err = capture.Finish();
        EXPECT_EQ(CountOf(err, "App.UnknownView not registered."), 1);
        EXPECT_EQ(CountOf(err, "App.UnknownField not registered."), 2);
        const RCPtr<Vx::LControl> top = window->GetTopControl();
        ASSERT_NE(dynamic_cast<Vx::LPanel*>(top.Get()), nullptr);
        EXPECT_EQ(top->GetChildren().GetCount(), 2u);
        const RCPtr<Vx::LControl> first = top->FindChild("first");
        const RCPtr<Vx::LControl> second = top->FindChild("second");
        ASSERT_NE(dynamic_cast<Vx::LPanel*>(first.Get()), nullptr);
        ASSERT_NE(dynamic_cast<Vx::LPanel*>(second.Get()), nullptr);

        ASSERT_EQ(first->SetFocus(true), Vx::VXR_OK);
        window->DispatchKey(Vx::LKeyParam::Create(Vx::KeyCode(kTab, 0u), 1));
        EXPECT_EQ(window->GetFocusControl(), second);
        window->DispatchKey(Vx::LKeyParam::Create(Vx::KeyCode(kTab, 0u), 1));
        EXPECT_EQ(window->GetFocusControl(), first) << "the top panel wraps";

        window->SetTopControl(nullptr);
        app->RemoveRootWindow(window);
    }
    juce::DeletedAtShutdown::deleteAll();
}
} // namespace
