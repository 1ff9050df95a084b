// A control's state: conditions and their notifications, the cursor, values
// and their ranges, looks by index and weight, text fitting and fonts.

#include "tests/VxFramework/ControlBase/ControlDoubles.h"
#include "tests/support/CaptureStderr.h"

#include "VxFramework/ControlBase/Colorizer.h"
#include "VxFramework/Notification/Notification.h"
#include "VxFramework/Utilities/Graphics/Bitmap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace
{
using Vx::LControl;
using Vx::LControlDescriptor;
using Vx::RCPtr;
using VxTest::AssertionsIn;
using VxTest::ControlHarness;
using VxTest::TestControl;
using Ids = std::vector<std::string>;

const std::initializer_list<const char*> kConditionIds = {"NID_CONDITION_CHANGE",
                                                          "NID_HAS_FOCUS_CONDITION_CHANGE",
                                                          "NID_CONTAINS_FOCUS_CONDITION_CHANGE",
                                                          "NID_HOVER_CONDITION_CHANGE",
                                                          "NID_CAPTURE_CONDITION_CHANGE",
                                                          "NID_LEFT_DRAG_CONDITION_CHANGE",
                                                          "NID_MIDDLE_DRAG_CONDITION_CHANGE",
                                                          "NID_RIGHT_DRAG_CONDITION_CHANGE",
                                                          "NID_ENABLED_CONDITION_CHANGE",
                                                          "NID_VISIBLITY_CONDITION_CHANGE"};

// A visible control of 100 x 50 whose conditions are known, and a recorder
// of everything it announces.
struct Watched
{
    explicit Watched(const RCPtr<LControl>& parent = nullptr, const char* name = "watched")
        : control(TestControl::Create(parent, name))
    {
        control->Place({0, 0, 100, 50});
        control->UpdateConditions();
        recorder = new VxTest::Recorder();
        recorder->Listen(control, kConditionIds);
    }
    ~Watched() { recorder->UnregisterAll(); }

    Ids Take()
    {
        Ids taken;
        taken.swap(recorder->mIds);
        return taken;
    }

    RCPtr<TestControl> control;
    RCPtr<VxTest::Recorder> recorder;
};

TEST(ControlState, EachKindOfChangeIsAnnouncedOnceInOrder)
{
    struct Case
    {
        const char* what;
        std::function<void(TestControl&)> change;
        Ids ids;
        std::uint32_t mask;
    };
    const Case cases[] = {
        {"hover",
         [](TestControl& c) { c.SetHover(true); },
         {"NID_CONDITION_CHANGE", "NID_HOVER_CONDITION_CHANGE"},
         0xC00 | 0x4 | 0x1000},
        {"hover highlight",
         [](TestControl& c) { c.SetHoverHighlight(true); },
         {"NID_CONDITION_CHANGE", "NID_HOVER_CONDITION_CHANGE"},
         0xC00 | 0x1000},
        {"hover under a highlight",
         [](TestControl& c) {
             c.SetHoverHighlight(true);
             c.SetHover(true);
         },
         {"NID_CONDITION_CHANGE", "NID_HOVER_CONDITION_CHANGE", "NID_CONDITION_CHANGE"},
         0xC00 | 0x4 | 0x1000},
        {"capture",
         [](TestControl& c) { c.SetCaptured(true); },
         {"NID_CONDITION_CHANGE", "NID_CAPTURE_CONDITION_CHANGE"},
         0xC00 | 0x8},
        {"left press",
         [](TestControl& c) { c.SetLeftPressed(true); },
         {"NID_CONDITION_CHANGE", "NID_LEFT_DRAG_CONDITION_CHANGE"},
         0xC00 | 0x10},
        {"disabled",
         [](TestControl& c) { c.SetEnabled(false); },
         {"NID_CONDITION_CHANGE", "NID_ENABLED_CONDITION_CHANGE"},
         0x800},
        {"hidden",
         [](TestControl& c) { c.SetVisible(false); },
         {"NID_CONDITION_CHANGE", "NID_VISIBLITY_CONDITION_CHANGE"},
         0x400},
        {"press and capture at once",
         [](TestControl& c) {
             c.TakeCapture();
             c.SetLeftPressed(true);
         },
         {"NID_CONDITION_CHANGE", "NID_CAPTURE_CONDITION_CHANGE", "NID_LEFT_DRAG_CONDITION_CHANGE"},
         0xC00 | 0x8 | 0x10},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        Watched watched;
        ASSERT_EQ(watched.control->ComputeConditions(), 0xC00u) << "enabled and visible";
        const int activationsBefore = watched.control->mActivations;
        c.change(*watched.control);
        const Ids ids = watched.Take();
        EXPECT_EQ(ids, c.ids);
        EXPECT_EQ(watched.control->GetConditionsParam()->current, c.mask);
        EXPECT_EQ(watched.control->mActivations - activationsBefore,
                  std::count(ids.begin(), ids.end(), "NID_CONDITION_CHANGE"));

        watched.control->UpdateConditions();
        EXPECT_TRUE(watched.Take().empty()) << "nothing changed since";
    }
}

TEST(ControlState, DisablingOrHidingAParentNotifiesEveryDescendantOnce)
{
    Watched parent(nullptr, "parent");
    Watched child(parent.control, "child");
    Watched grandchild(child.control, "grandchild");
    Watched* const all[] = {&parent, &child, &grandchild};

    parent.control->SetEnabled(false);
    for (Watched* watched : all)
    {
        SCOPED_TRACE(watched->control->GetName().GetCString());
        EXPECT_EQ(watched->Take(), (Ids{"NID_CONDITION_CHANGE", "NID_ENABLED_CONDITION_CHANGE"}));
        EXPECT_EQ(watched->control->GetConditionsParam()->current & 0x400u, 0u);
        EXPECT_TRUE(watched->control->GetConditionsParam()->previous & 0x400u);
    }
    EXPECT_TRUE(child.control->GetLayout()->IsEnabled) << "only the parent's own flag changed";

    // A child disabled on its own stays so when the parent comes back.
    child.control->SetEnabled(false);
    for (Watched* watched : all)
        EXPECT_TRUE(watched->Take().empty()) << "still disabled through the parent";
    parent.control->SetEnabled(true);
    EXPECT_EQ(parent.Take(), (Ids{"NID_CONDITION_CHANGE", "NID_ENABLED_CONDITION_CHANGE"}));
    EXPECT_TRUE(child.Take().empty());
    EXPECT_TRUE(grandchild.Take().empty());

    child.control->SetEnabled(true);
    parent.control->SetVisible(false);
    (void)parent.Take();
    (void)child.Take();
    (void)grandchild.Take();
    parent.control->SetVisible(true);
    for (Watched* watched : all)
        EXPECT_EQ(watched->Take(), (Ids{"NID_CONDITION_CHANGE", "NID_VISIBLITY_CONDITION_CHANGE"}));
}

TEST(ControlState, FocusMovingBetweenSiblingsNotifiesOnlyThem)
{
    ControlHarness harness;
    const RCPtr<LControlDescriptor> page = harness.Describe("page");
    harness.Describe("a", page);
    harness.Describe("b", page);
    const RCPtr<LControl> top = harness.CreateTop("page");
    const RCPtr<LControl> a = top->FindChild("a");
    const RCPtr<LControl> b = top->FindChild("b");
    ASSERT_EQ(a->SetFocus(true), Vx::VXR_OK);

    const RCPtr<VxTest::Recorder> recorder(new VxTest::Recorder());
    for (const RCPtr<LControl>& control : {top, a, b})
        recorder->Listen(control, {"NID_HAS_FOCUS_CONDITION_CHANGE", "NID_CONTAINS_FOCUS_CONDITION_CHANGE"});
    ASSERT_EQ(b->SetFocus(true), Vx::VXR_OK);
    EXPECT_EQ(recorder->mIds, (Ids{"NID_HAS_FOCUS_CONDITION_CHANGE", "NID_HAS_FOCUS_CONDITION_CHANGE"}))
        << "the page keeps containing the focus";
    EXPECT_TRUE(a->GetConditionsParam()->LostFocus());
    EXPECT_TRUE(b->GetConditionsParam()->GainedFocus());
    EXPECT_FALSE(top->GetConditionsParam()->LostContainsFocus());
    EXPECT_EQ(harness.window->GetFocusControl(), b);
    recorder->UnregisterAll();
}

TEST(ControlState, AFocusRequestOfAControlThatCannotHoldItGoesToItsParent)
{
    ControlHarness harness;
    const RCPtr<LControlDescriptor> page = harness.Describe("page");
    ControlHarness::Param(harness.Describe("caption", page), "NOT_FOCUSABLE", "true");
    harness.Describe("field", page);
    const RCPtr<LControl> top = harness.CreateTop("page");
    const RCPtr<LControl> caption = top->FindChild("caption");

    EXPECT_EQ(caption->RequestFocus(caption), Vx::VXR_OK);
    EXPECT_FALSE(caption->HasFocus());
    EXPECT_EQ(harness.window->GetFocusControl(), top->FindChild("field")) << "the page hands it on";
    EXPECT_TRUE(top->ContainsFocus());
}

TEST(ControlState, TheCursorShowsWhileHoveredAndTheCaptureKeepsIt)
{
    ControlHarness harness;
    harness.Describe("page");
    const RCPtr<LControl> top = harness.CreateTop("page");
    TestControl& control = VxTest::AsTest(top);
    // Any address serves: the cursor is only handed on.
    juce::MouseCursor* const hand = reinterpret_cast<juce::MouseCursor*>(&harness);
    juce::MouseCursor* const arrow = reinterpret_cast<juce::MouseCursor*>(&control);
    harness.osWindow.mCursor = arrow;

    control.SetCursor(hand);
    EXPECT_EQ(harness.osWindow.mCursor, arrow) << "not hovered yet";
    control.SetHover(true);
    EXPECT_EQ(harness.osWindow.mCursor, hand);
    control.SetCaptured(true);
    control.SetHover(false);
    EXPECT_EQ(harness.osWindow.mCursor, hand) << "the capture keeps the cursor";
    control.SetCaptured(false);
    EXPECT_EQ(harness.osWindow.mCursor, arrow) << "the one it replaced comes back";

    // Changed while hovered: shown at once, and the arrow still comes back.
    control.SetHover(true);
    juce::MouseCursor* const beam = reinterpret_cast<juce::MouseCursor*>(&harness.osWindow);
    control.SetCursor(beam);
    EXPECT_EQ(harness.osWindow.mCursor, beam);
    control.SetHover(false);
    EXPECT_EQ(harness.osWindow.mCursor, arrow);
}

TEST(ControlState, ValuesAreClampedAndAnnouncedOnlyWhenTheyChange)
{
    Watched watched;
    TestControl& control = *watched.control;
    watched.recorder->Listen(watched.control, {"NID_VALUE_CHANGE"});
    ASSERT_EQ(control.SetValueRange(0, 10.0, 20.0), Vx::VXR_OK);

    struct Case
    {
        double given;
        double stored;
        bool announced;
        int assertions;
    };
    const Case cases[] = {
        {0.5, 0.5, true, 0},
        {1.5, 1.0, true, 1},
        {1.0, 1.0, false, 0},
        {-0.25, 0.0, true, 1},
        {std::numeric_limits<double>::quiet_NaN(), 0.0, false, 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.given);
        VxTest::CaptureStderr capture;
        EXPECT_EQ(control.SetValue(c.given), c.stored);
        EXPECT_EQ(AssertionsIn(capture.Finish()), c.assertions);
        EXPECT_EQ(watched.Take(), c.announced ? Ids{"NID_VALUE_CHANGE"} : Ids{});
    }
}

TEST(ControlState, LinearAndLogarithmicRangesConvertBothWays)
{
    const RCPtr<TestControl> control = TestControl::Create(nullptr, "knob");
    ASSERT_EQ(control->SetValueRange(1, 20.0, 20000.0), Vx::VXR_OK);
    EXPECT_NEAR(control->NormalizedToValue(0.5), 632.4555, 1e-4);
    EXPECT_DOUBLE_EQ(control->NormalizedToValue(1.0), 20000.0);
    EXPECT_DOUBLE_EQ(control->ValueToNormalized(20000.0), 1.0);
    EXPECT_NEAR(control->ValueToNormalized(632.4555320336759), 0.5, 1e-12);
    EXPECT_DOUBLE_EQ(control->ValueToNormalized(5.0), 0.0) << "clamped into the range";
    EXPECT_DOUBLE_EQ(control->ValueToNormalized(1e9), 1.0);

    ASSERT_EQ(control->SetValueRange(0, 100.0, -100.0), Vx::VXR_OK) << "a falling linear range";
    EXPECT_DOUBLE_EQ(control->NormalizedToValue(0.25), 50.0);
    EXPECT_DOUBLE_EQ(control->ValueToNormalized(50.0), 0.25);
    EXPECT_DOUBLE_EQ(control->ValueToNormalized(std::numeric_limits<double>::quiet_NaN()), 1.0)
        << "no number lands on the low end";
    ASSERT_EQ(control->SetValueRange(0, 3.0, 3.0), Vx::VXR_OK);
    EXPECT_DOUBLE_EQ(control->ValueToNormalized(3.0), 0.0) << "an empty range";

    // Refused ranges leave the one before in place.
    ASSERT_EQ(control->SetValueRange(0, 0.0, 10.0), Vx::VXR_OK);
    VxTest::CaptureStderr capture;
    const struct
    {
        std::int32_t scale;
        double minimum;
        double maximum;
    } refused[] = {{1, 0.0, 10.0},
                   {1, 1.0, -10.0},
                   {2, 1.0, 10.0},
                   {0, std::numeric_limits<double>::infinity(), 1.0},
                   {1, 1.0, std::numeric_limits<double>::quiet_NaN()}};
    for (const auto& r : refused)
        EXPECT_EQ(control->SetValueRange(r.scale, r.minimum, r.maximum), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(AssertionsIn(capture.Finish()), 5);
    EXPECT_DOUBLE_EQ(control->NormalizedToValue(0.5), 5.0);
}

TEST(ControlState, ABoundValueFollowsTheNotificationsOfItsSource)
{
    ControlHarness harness;
    harness.Describe("page");
    const RCPtr<LControl> top = harness.CreateTop("page");
    const RCPtr<Vx::LNotificationDistributor> source(new Vx::LNotificationDistributor());
    const auto send = [&](const RCPtr<Vx::LRefCountedObject>& parameter) {
        RCPtr<Vx::LNotification> notification;
        Vx::LNotification::Create(notification, "NID_LEVEL", parameter);
        source->Notify(notification);
    };

    ASSERT_EQ(top->BindValue(source, "NID_LEVEL"), Vx::VXR_OK);
    send(RCPtr<Vx::LRefCountedObject>(new Vx::LValueParam(0.75, 75.0)));
    EXPECT_EQ(top->GetValue(), 0.75);
    {
        VxTest::CaptureStderr capture;
        send(nullptr);
        send(RCPtr<Vx::LRefCountedObject>(new Vx::LConditionsParam(0, 0, {0, 0})));
        EXPECT_EQ(AssertionsIn(capture.Finish()), 2) << "no value to take";
        EXPECT_EQ(top->GetValue(), 0.75);
    }
    ASSERT_EQ(top->UnbindValue(source, "NID_LEVEL"), Vx::VXR_OK);
    send(RCPtr<Vx::LRefCountedObject>(new Vx::LValueParam(0.25, 25.0)));
    EXPECT_EQ(top->GetValue(), 0.75) << "no longer bound";

    VxTest::CaptureStderr capture;
    EXPECT_EQ(top->BindValue(nullptr, "NID_LEVEL"), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(top->UnbindValue(nullptr, "NID_LEVEL"), Vx::VXR_E_INVALIDARG);
    EXPECT_TRUE(Vx::Failed(top->UnbindValue(source, "NID_LEVEL"))) << "nothing bound";
    const RCPtr<TestControl> loose = TestControl::Create(nullptr, "loose");
    EXPECT_TRUE(Vx::Failed(loose->BindValue(source, "NID_LEVEL"))) << "no handler table before Initialize";
    EXPECT_EQ(AssertionsIn(capture.Finish()), 4);
}

// A control of 100 x 40 with the looks (null for an absent one) and weights.
RCPtr<TestControl> WithLooks(std::initializer_list<std::pair<bool, float>> looks)
{
    const RCPtr<TestControl> control = TestControl::Create(nullptr, "looks");
    control->Place({0, 0, 100, 40});
    for (const auto& [present, weight] : looks)
        control->AddWeightedLook(present ? VxTest::MakeLook(VxTest::Offsets(10, 10, -10, -10)) : nullptr, weight);
    return control;
}

TEST(ControlState, LooksAreChosenByIndexAndByWeight)
{
    ControlHarness harness;
    const RCPtr<TestControl> control = WithLooks({{true, 1.0f}, {true, 0.0f}, {true, 0.0f}});
    control->SetRootWindow(harness.window);
    (void)harness.TakeLog();
    ASSERT_EQ(control->SetLook(2), Vx::VXR_OK);
    EXPECT_EQ(control->GetLookWeight(0), 0.0f);
    EXPECT_EQ(control->GetLookWeight(2), 1.0f);
    EXPECT_EQ(harness.TakeLog(), (VxTest::Log{"invalidate:main 0,0,100,40"})) << "once";
    ASSERT_EQ(control->SetLook(2), Vx::VXR_OK);
    EXPECT_TRUE(harness.TakeLog().empty()) << "nothing changed";
    EXPECT_EQ(control->GetLook(-1), control->GetLook(2));
    EXPECT_EQ(control->GetFirstVisibleLookIndex(), 2);

    {
        VxTest::CaptureStderr capture;
        EXPECT_EQ(control->SetLookWeight(3, true, 1.0f), Vx::VXR_E_INVALIDARG);
        EXPECT_EQ(control->SetLookWeight(1, false, 1.5f), Vx::VXR_OK);
        EXPECT_EQ(control->GetLookWeight(1), 0.0f) << "out of 0..1: not stored";
        EXPECT_EQ(control->GetLookWeight(7), 0.0f);
        EXPECT_EQ(AssertionsIn(capture.Finish()), 3);
    }
    control->SetRootWindow(nullptr);

    const RCPtr<TestControl> blended = WithLooks({{false, 1.0f}, {true, 0.0f}, {true, 0.5f}});
    EXPECT_EQ(blended->GetLook(-1), blended->GetLook(2)) << "the first present look with a weight";
    EXPECT_EQ(blended->GetLook(99), blended->GetLook(2));
    EXPECT_FALSE(blended->HasLook(0));
    EXPECT_TRUE(blended->HasLook(1));
    EXPECT_FALSE(blended->HasLook(3));
    const RCPtr<TestControl> unshown = WithLooks({{true, 0.0f}, {true, 0.0f}});
    EXPECT_EQ(unshown->GetLook(-1), unshown->GetLook(0)) << "no weight: the first present look";
    EXPECT_EQ(unshown->GetFirstVisibleLookIndex(), -1);
}

TEST(ControlState, TransparencyComesFromTheWeightedLooks)
{
    // The looks fill only their client rectangle, 10 in from each edge.
    const RCPtr<TestControl> control = WithLooks({{true, 0.0f}, {true, 1.0f}});
    EXPECT_FALSE(control->IsTransparentAt({50, 20}));
    EXPECT_TRUE(control->IsTransparentAt({5, 5}));
    EXPECT_EQ(control->GetLookPixel({50, 20}, 1, 1.0f), 0xFF000000u);
    EXPECT_EQ(control->GetLookPixel({5, 5}, 1, 1.0f), 0x00FFFFFFu);
    control->SetLookWeight(1, true, 0.0f);
    VxTest::CaptureStderr capture;
    EXPECT_TRUE(control->IsTransparentAt({50, 20})) << "a look of weight 0 shows nothing";
    (void)capture.Finish();

    const RCPtr<TestControl> bare = TestControl::Create(nullptr, "bare");
    bare->Place({0, 0, 10, 10});
    EXPECT_TRUE(bare->IsTransparentAt({5, 5}));
    EXPECT_EQ(bare->GetLookPixel({5, 5}, -1, 1.0f), 0x00FFFFFFu);
}

TEST(ControlState, LookPicturesAndRegionsRepaintOnlyWhatShows)
{
    ControlHarness harness;
    const RCPtr<TestControl> control = WithLooks({{true, 1.0f}, {true, 0.0f}});
    control->SetRootWindow(harness.window);
    (void)harness.TakeLog();
    const RCPtr<Vx::LBitmap> picture = Vx::LBitmap::CreateFilled({4, 4}, Vx::Color(0xFF00FF00u));

    EXPECT_EQ(control->SetLookClientBitmap(picture, 0, 1, false), Vx::VXR_OK);
    EXPECT_TRUE(harness.TakeLog().empty()) << "that look is not shown";
    EXPECT_EQ(control->SetLookClientBitmap(picture, 0, 0, true), Vx::VXR_OK);
    EXPECT_EQ(harness.TakeLog().size(), 1u);
    EXPECT_EQ(control->GetLookPixel({50, 20}, 0, 1.0f), 0xFF00FF00u);
    EXPECT_EQ(control->SetAllLookClientBitmaps(nullptr, 0, false), Vx::VXR_OK);
    EXPECT_EQ(harness.TakeLog().size(), 1u);
    EXPECT_EQ(control->GetLookPixel({50, 20}, 0, 1.0f), 0xFF000000u);
    EXPECT_EQ(control->SetAllLookClientBitmaps(nullptr, 0, false), Vx::VXR_NOTHING_DONE);
    EXPECT_TRUE(harness.TakeLog().empty()) << "nothing was removed";

    Vx::RgnLight left;
    left.AddRect(Vx::RectT<std::int32_t>{0, 0, 30, 40});
    EXPECT_EQ(control->SetLookRegion(1, left), Vx::VXR_OK);
    EXPECT_EQ(control->SetLookRegionExcluding(0, 1), Vx::VXR_OK);
    Vx::RgnLight::Rect bounds{};
    ASSERT_TRUE(control->GetLook(0)->GetRegion().GetBounds(bounds));
    EXPECT_EQ(bounds, (Vx::RgnLight::Rect{30, 0, 100, 40})) << "the control less the other look's region";
    EXPECT_EQ(control->SetLookRegion(2, left), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(control->SetLookRegionExcluding(0, 2), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(control->ClearLookRegions(), Vx::VXR_OK);
    EXPECT_TRUE(control->GetLook(0)->GetRegion().IsEmpty());
    EXPECT_TRUE(control->GetLook(1)->GetRegion().IsEmpty());

    VxTest::CaptureStderr capture;
    const RCPtr<Vx::LVisualPart> white(new Vx::LVisualPart(
        "white", nullptr, 0, 1.0f,
        RCPtr<Vx::LColorizer>(new Vx::LColorizer("white", 0, Vx::Color(0xFFFFFFFFu), 0, 0, 0, 0, Vx::Color())), {1, 1},
        nullptr));
    EXPECT_EQ(control->SetLookClientBitmap(picture, 0, 5, false), Vx::VXR_E_FAIL);
    EXPECT_EQ(control->SetLookTextForegroundPart(nullptr, 0), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(control->SetLookTextForegroundPart(white, 9), Vx::VXR_E_FAIL);
    EXPECT_EQ(control->SetLookTextForegroundPart(white, 0), Vx::VXR_OK);
    EXPECT_EQ(control->GetLook(0)->GetTextForegroundPart(), white);
    EXPECT_EQ(AssertionsIn(capture.Finish()), 3);
    control->SetRootWindow(nullptr);
}

TEST(ControlState, TextIsClippedWhenTheTextAreaCannotHoldItsFirstLine)
{
    ControlHarness harness;
    Vx::LLookDescriptor::TextArea area;
    area.rightRel = 1.0f;
    area.leftAbs = 10;
    area.rightAbs = -10;
    area.bottomRel = 1.0f;
    const RCPtr<LControlDescriptor> page = harness.Describe("page");
    harness.Describe("label", page, ControlHarness::kControlClass,
                     {VxTest::LookDescriptor(VxTest::Offsets(0, 0, 0, 0), &area)});
    harness.Describe("plain", page, ControlHarness::kControlClass,
                     {VxTest::LookDescriptor(VxTest::Offsets(0, 0, 0, 0))});
    const RCPtr<LControl> top = harness.CreateTop("page");
    TestControl& label = VxTest::AsTest(top->FindChild("label"));
    TestControl& plain = VxTest::AsTest(top->FindChild("plain"));

    // 10 pixels a byte; the area is the width less 20.
    struct Case
    {
        const char* text;
        double width;
        bool clipped;
    };
    const Case cases[] = {{"abcdef", 80, false}, {"abcdef", 79, true}, {"", 30, false}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.text) + " in " + std::to_string(c.width));
        label.SetTextAndLayout(c.text, false);
        label.Place({0, 0, c.width, 30});
        EXPECT_EQ(label.IsTextClipped(), c.clipped);
    }
    // Without a text area any text is clipped.
    EXPECT_FALSE(plain.IsTextClipped());
    plain.SetTextAndLayout("x", false);
    EXPECT_TRUE(plain.IsTextClipped());

    VxTest::CaptureStderr capture;
    EXPECT_FALSE(TestControl::Create(nullptr, "bare")->IsTextClipped());
    EXPECT_EQ(AssertionsIn(capture.Finish()), 1) << "no look";
}

TEST(ControlState, RelativeFontsFollowTheParentsFont)
{
    ControlHarness harness;
    const RCPtr<LControlDescriptor> page = harness.Describe("page");
    page->GetSkin()->fontName = "Serif";
    page->GetSkin()->fontSize = 12.0f;
    page->GetSkin()->fontStyle = 1;
    const auto describeChild = [&](const char* name, bool relative, float size) {
        const RCPtr<LControlDescriptor> child = harness.Describe(name, page);
        child->GetSkin()->fontInheritsFromParent = true;
        child->GetSkin()->fontSizeIsRelative = relative;
        child->GetSkin()->fontSize = size;
    };
    describeChild("relative", true, 1.5f);
    describeChild("inherited", false, 0.0f);
    describeChild("absolute", false, 9.0f);
    const RCPtr<LControl> top = harness.CreateTop("page");

    struct Expected
    {
        const char* name;
        float at12;
        float at10;
    };
    const Expected expected[] = {{"relative", 18.0f, 15.0f}, {"inherited", 12.0f, 10.0f}, {"absolute", 9.0f, 9.0f}};
    for (const Expected& e : expected)
    {
        const RCPtr<Vx::LFont> font = top->FindChild(e.name)->GetFont();
        ASSERT_FALSE(font.IsNull()) << e.name;
        EXPECT_EQ(font->GetSize(), e.at12) << e.name;
        EXPECT_EQ(font->GetName(), "Serif") << e.name;
        EXPECT_EQ(font->GetStyle(), 1) << e.name;
    }
    ASSERT_EQ(top->SetFont("Serif", 1, false, 10.0f), Vx::VXR_OK);
    for (const Expected& e : expected)
        EXPECT_EQ(top->FindChild(e.name)->GetFont()->GetSize(), e.at10) << e.name;

    EXPECT_EQ(top->SetFontObject(nullptr), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(top->SetFontObject(top->GetFont()), Vx::VXR_NOTHING_DONE);
}

TEST(ControlState, TheMenuItemUpdaterIsMadeOnceAndLetGoWithTheTree)
{
    RCPtr<Vx::LMenuItemUpdater> updater;
    {
        const RCPtr<TestControl> control = TestControl::Create(nullptr, "menuOwner");
        updater = control->GetMenuItemUpdater();
        EXPECT_EQ(control->GetMenuItemUpdater(), updater);
        EXPECT_EQ(updater->GetControl(), control);
    }
    // The updater's reference alone does not keep the control.
    EXPECT_TRUE(updater->GetControl().IsNull());
}
} // namespace
