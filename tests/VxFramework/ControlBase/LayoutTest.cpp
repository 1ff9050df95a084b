// The rectangle of a control from its layout descriptor: CalcRectangle, the
// minimum and maximum passes and the normalising snap, in the order a
// control's layout runs them.

#include "VxFramework/ControlBase/LayoutDescriptor.h"

#include "tests/VxFramework/ControlBase/ControlDoubles.h"
#include "tests/VxFramework/Utilities/Graphics/MeasurementDoubles.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace Vx
{
template <class T>
std::ostream& operator<<(std::ostream& out, const RectT<T>& rect)
{
    return out << "(" << rect.x << ", " << rect.y << ", " << rect.width << ", " << rect.height << ")";
}
} // namespace Vx

namespace
{
using Vx::LimitReference;
using Vx::LLayoutDescriptor;
using Vx::PositionReference;
using Vx::RCPtr;
using Vx::RectT;
using Vx::SizeReference;
using Vx::TextOverflowType;
using Vx::VxRESULT;
using VxTest::Offsets;
using VxTest::TestControl;

const char* const kAssertion = "JUCE Assertion failure in ";

// JUCE's font caches are process-wide singletons that its shutdown deletes.
class JuceShutdown : public ::testing::Environment
{
public:
    void TearDown() override { juce::DeletedAtShutdown::deleteAll(); }
};
[[maybe_unused]] ::testing::Environment* const gJuceShutdown = ::testing::AddGlobalTestEnvironment(new JuceShutdown);

// A parent 200 x 100 at the origin (no look: its client area is all of it)
// and the control under test in it, with a default layout.  Text measures 10
// pixels a byte, lines are 20 high.
struct Scene
{
    Scene()
    {
        parent = TestControl::Create(nullptr, "parent");
        parent->Place({0, 0, 200, 100});
        control = TestControl::Create(parent, "control");
    }

    LLayoutDescriptor& L() { return control->Layout(); }

    RCPtr<TestControl> Sibling(const char* name, const RectT<double>& bounds, bool xDocked = false)
    {
        const RCPtr<TestControl> sibling = TestControl::Create(parent, name);
        sibling->Layout().XIsDocked = xDocked;
        sibling->Place(bounds);
        return sibling;
    }

    RCPtr<TestControl> Child(const char* name, const RectT<double>& bounds, bool clip = true, bool xDocked = false,
                             bool yDocked = false)
    {
        const RCPtr<TestControl> child = TestControl::Create(control, name);
        child->Layout().ClipToParent = clip;
        child->Layout().XIsDocked = xDocked;
        child->Layout().YIsDocked = yDocked;
        child->Place(bounds);
        return child;
    }

    // A look over the whole control whose text area spans the given
    // fractions of the width and height, showing the text.
    void TextLook(const char* text, float left = 0.0f, float right = 1.0f, float top = 0.0f, float bottom = 1.0f)
    {
        Vx::LLookDescriptor::TextArea area;
        area.leftRel = left;
        area.rightRel = right;
        area.topRel = top;
        area.bottomRel = bottom;
        const RCPtr<Vx::LLook> look = VxTest::MakeLook(Offsets(0, 0, 0, 0), &area);
        look->SetFont(Vx::LFont::GetFont("LayoutFixed", 0, 10.0f));
        look->SetText(text);
        control->AddWeightedLook(look, 1.0f);
    }

    RCPtr<TestControl> parent;
    RCPtr<TestControl> control;
};

struct LayoutCase
{
    const char* what;
    void (*setUp)(Scene&);
    RectT<double> expected;
    bool asserts = false;
    VxRESULT minimumResult = 0;
    VxRESULT maximumResult = 0;
};

// CalcRectangle, ApplyMinimumSize, ApplyMaximumSize, NormalizeAndSnap.
RectT<double> Layout(Scene& scene, VxRESULT& minimumResult, VxRESULT& maximumResult)
{
    RectT<double> rect{-1, -1, -1, -1};
    EXPECT_EQ(Vx::CalcRectangle(RCPtr<LLayoutDescriptor>(&scene.L()), RCPtr<Vx::LControl>(scene.parent),
                                RectT<double>::Empty, {0, 0}, {0, 0}, rect),
              0);
    Vx::PointT<double> position{rect.x, rect.y};
    Vx::PointT<double> size{rect.width, rect.height};
    minimumResult = scene.control->ApplyMinimumSize(position, size);
    maximumResult = scene.control->ApplyMaximumSize(position, size);
    RectT<double> result{position.x, position.y, size.x, size.y};
    result.NormalizeAndSnap();
    return result;
}

const LayoutCase kCases[] = {
    // Placement.
    {"a default layout: 16 x 40 at the client origin", [](Scene&) {}, {0, 0, 16, 40}},
    {"client-relative position with a centre anchor in 101 pixels: Round(50.5) = 51, left 41",
     [](Scene& s) {
         s.parent->Place({0, 0, 101, 100});
         s.L().XPositionRel = 0.5f;
         s.L().XPlacementAnchor = 0.5f;
         s.L().XSizeAbs = 20;
     },
     {41, 0, 20, 40}},
    {"anchor 0, position 10, far edge at the client's right edge 110",
     [](Scene& s) {
         s.parent->Place({0, 0, 110, 100});
         s.L().XPositionAbs = 10;
         s.L().XSizeReference = SizeReference::Client;
         s.L().XSizeRel = 1.0f;
         s.L().XSizeAbs = 0;
     },
     {10, 0, 100, 40}},
    {"anchor 1, position 110, far edge at 10: the far edge is the left edge",
     [](Scene& s) {
         s.L().XPlacementAnchor = 1.0f;
         s.L().XPositionAbs = 110;
         s.L().XSizeReference = SizeReference::Client;
         s.L().XSizeAbs = 10;
     },
     {10, 0, 100, 40}},
    {"anchor 1 with the far edge right of the position: no direction admits it",
     [](Scene& s) {
         s.L().XPlacementAnchor = 1.0f;
         s.L().XPositionAbs = 10;
         s.L().XSizeReference = SizeReference::Client;
         s.L().XSizeAbs = 110;
     },
     {10, 0, 0, 40}},
    {"anchor 0 with the far edge left of the position: size 0",
     [](Scene& s) {
         s.L().XPositionAbs = 110;
         s.L().XSizeReference = SizeReference::Client;
         s.L().XSizeAbs = 10;
     },
     {110, 0, 0, 40}},
    {"anchor 0.5 towards a far edge on the right: the size doubles the distance",
     [](Scene& s) {
         s.L().XPlacementAnchor = 0.5f;
         s.L().XPositionAbs = 50;
         s.L().XSizeReference = SizeReference::Client;
         s.L().XSizeRel = 0.75f;
         s.L().XSizeAbs = 0;
     },
     {-50, 0, 200, 40}},
    {"anchor 0.25 towards a far edge on the left: the far edge is the left edge",
     [](Scene& s) {
         s.L().XPlacementAnchor = 0.25f;
         s.L().XPositionAbs = 100;
         s.L().XSizeReference = SizeReference::Client;
         s.L().XSizeAbs = 40;
     },
     {40, 0, 240, 40}},
    {"the anchor factor is single precision: 1 / (1 - 0.04f) puts the left edge at -0.5000001",
     [](Scene& s) {
         s.L().XPlacementAnchor = 0.04f;
         s.L().XSizeReference = SizeReference::Client;
         s.L().XSizeAbs = 12;
     },
     {-1, 0, 13, 40}},
    {"parent-relative: the parent's whole rectangle starts at minus its client offset",
     [](Scene& s) {
         s.parent->AddWeightedLook(VxTest::MakeLook(Offsets(10, 5, -10, -5)), 1.0f);
         for (int axis = 0; axis < 2; ++axis)
         {
             s.L().SetPositionSpec(axis, {0.0f, PositionReference::Parent, "", 0.0f, 0.0, false});
             s.L().SetSizeSpec(axis, {SizeReference::Parent, "", 1.0f, 0.0});
         }
     },
     {-10, -5, 200, 100}},
    {"client-relative sizes take the parent's client rectangle",
     [](Scene& s) {
         s.parent->AddWeightedLook(VxTest::MakeLook(Offsets(10, 5, -10, -5)), 1.0f);
         s.L().SetSizeSpec(0, {SizeReference::Client, "", 1.0f, 0.0});
         s.L().YPositionRel = 0.5f;
         s.L().SetSizeSpec(1, {SizeReference::Client, "", 1.0f, 0.0});
     },
     {0, 45, 180, 45}},
    {"a position after a named sibling: its extent times Rel, plus its position and Abs",
     [](Scene& s) {
         s.Sibling("left", {10, 20, 30, 40});
         s.L().XPositionReference = PositionReference::NamedControl;
         s.L().XPositionControlName = "left";
         s.L().XPositionRel = 1.0f;
         s.L().XPositionAbs = 5;
     },
     {45, 0, 16, 40}},
    {"a size up to a named sibling's right edge",
     [](Scene& s) {
         s.Sibling("right", {100, 0, 50, 10});
         s.L().XPositionAbs = 10;
         s.L().XSizeReference = SizeReference::NamedControl;
         s.L().XSizeControlName = "right";
         s.L().XSizeRel = 1.0f;
         s.L().XSizeAbs = 0;
     },
     {10, 0, 140, 40}},
    {"a sibling docked on the axis counts without the parent's scroll",
     [](Scene& s) {
         s.parent->Scroll({30, 0});
         s.Sibling("docked", {70, 0, 20, 10}, true);
         s.L().XPositionReference = PositionReference::NamedControl;
         s.L().XPositionControlName = "docked";
     },
     {40, 0, 16, 40}},
    {"a second sibling of the same name is refused: the first counts",
     [](Scene& s) {
         s.Sibling("twin", {50, 0, 10, 10});
         s.Sibling("twin", {90, 0, 10, 10});
         s.L().XPositionReference = PositionReference::NamedControl;
         s.L().XPositionControlName = "twin";
     },
     {50, 0, 16, 40},
     true},
    {"a missing sibling counts as position 0 and extent 0",
     [](Scene& s) {
         s.L().XPositionReference = PositionReference::NamedControl;
         s.L().XPositionControlName = "nobody";
         s.L().XPositionRel = 1.0f;
         s.L().XPositionAbs = 7;
     },
     {7, 0, 16, 40},
     true},
    {"a missing sibling as far edge gives an edge at Abs",
     [](Scene& s) {
         s.L().XPositionAbs = 10;
         s.L().XSizeReference = SizeReference::NamedControl;
         s.L().XSizeControlName = "nobody";
         s.L().XSizeAbs = 30;
     },
     {10, 0, 20, 40},
     true},
    {"an unknown position reference is taken as a named sibling",
     [](Scene& s) {
         s.Sibling("left", {10, 0, 30, 10});
         s.L().XPositionReference = 7;
         s.L().XPositionControlName = "left";
     },
     {10, 0, 16, 40},
     true},
    {"an unknown size reference is taken as a named sibling",
     [](Scene& s) {
         s.Sibling("right", {60, 0, 30, 10});
         s.L().XSizeReference = 9;
         s.L().XSizeControlName = "right";
         s.L().XSizeRel = 1.0f;
         s.L().XSizeAbs = 0;
     },
     {0, 0, 90, 40},
     true},
    {"a negative Self size counts as 0", [](Scene& s) { s.L().XSizeAbs = -5; }, {0, 0, 0, 40}, true},
    {"a docked axis stays put while the parent scrolls",
     [](Scene& s) {
         s.parent->Scroll({30, 12});
         s.L().XIsDocked = true;
         s.L().YPositionAbs = 4;
     },
     {30, 4, 16, 40}},
    {"Y is docked the same way",
     [](Scene& s) {
         s.parent->Scroll({30, 12});
         s.L().YIsDocked = true;
     },
     {0, 12, 16, 40}},
    {"edges, not sizes, are rounded: a left edge of 0.5 and a width of 10",
     [](Scene& s) {
         s.L().XPositionAbs = 0.5;
         s.L().XSizeAbs = 10;
     },
     {1, 0, 10, 40}},
    {"a left edge of -0.5 rounds to -1",
     [](Scene& s) {
         s.L().XPositionAbs = -0.5;
         s.L().XSizeAbs = 10;
     },
     {-1, 0, 11, 40}},
    {"sizes beyond the int range are kept", [](Scene& s) { s.L().XSizeAbs = 5e9; }, {0, 0, 5e9, 40}},

    // Minimums.
    {"a Self minimum of 50 over a width of 30 keeps the centre anchor's point",
     [](Scene& s) {
         s.L().XPlacementAnchor = 0.5f;
         s.L().XPositionAbs = 100;
         s.L().XSizeAbs = 30;
         s.L().XMinSizeAbs = 50;
     },
     {75, 0, 50, 40},
     false,
     1},
    {"a Self minimum below the size changes nothing", [](Scene& s) { s.L().YMinSizeAbs = 39; }, {0, 0, 16, 40}},
    {"a named child's far edge pulls the far edge out",
     [](Scene& s) {
         s.L().XPositionAbs = 10;
         s.Child("c", {0, 0, 50, 10});
         s.L().SetMinimumSpec(0, {LimitReference::NamedControl, "c", 1.0f, 5.0});
     },
     {10, 0, 55, 40},
     false,
     1},
    {"a child beyond the far edge with anchor 1 is refused",
     [](Scene& s) {
         s.L().XPlacementAnchor = 1.0f;
         s.L().XPositionAbs = 10;
         s.Child("c", {0, 0, 50, 10});
         s.L().SetMinimumSpec(0, {LimitReference::NamedControl, "c", 1.0f, 5.0});
     },
     {-6, 0, 16, 40},
     true,
     Vx::VXR_E_FAIL},
    {"a near edge pulled out to a fractional point snaps down",
     [](Scene& s) {
         s.L().XPlacementAnchor = 1.0f;
         s.L().XPositionAbs = 36;
         s.Child("c", {-10, 0, 1, 10});
         s.L().SetMinimumSpec(0, {LimitReference::NamedControl, "c", 0.5f, 0.0});
     },
     // q = 20 - 10 + 0.5: left 10.5, width 16 + Round(9.5) = 26, snapped to 10..36.
     {10, 0, 26, 40},
     false,
     1},
    {"a child before the near edge with anchor 0 is refused",
     [](Scene& s) {
         s.L().XPositionAbs = 20;
         s.Child("c", {-10, 0, 5, 10});
         s.L().SetMinimumSpec(0, {LimitReference::NamedControl, "c", 0.0f, 0.0});
     },
     {20, 0, 16, 40},
     true,
     Vx::VXR_E_FAIL},
    {"the pass reports its last axis that acted: X refused, then Y grown",
     [](Scene& s) {
         s.L().XPlacementAnchor = 1.0f;
         s.L().XPositionAbs = 10;
         s.Child("c", {0, 0, 50, 10});
         s.L().SetMinimumSpec(0, {LimitReference::NamedControl, "c", 1.0f, 5.0});
         s.L().YMinSizeAbs = 50;
     },
     {-6, 0, 16, 50},
     true,
     1},
    {"an anchor above 1 is refused when the far edge must move",
     [](Scene& s) {
         s.L().XPlacementAnchor = 1.5f;
         s.L().XPositionAbs = 10;
         s.Child("c", {0, 0, 50, 10});
         s.L().SetMinimumSpec(0, {LimitReference::NamedControl, "c", 1.0f, 0.0});
     },
     {-14, 0, 16, 40},
     true,
     Vx::VXR_E_FAIL},
    {"an anchor below 0 is refused when the near edge must move",
     [](Scene& s) {
         s.L().XPlacementAnchor = -0.5f;
         s.L().XPositionAbs = 20;
         s.Child("c", {-30, 0, 5, 10});
         s.L().SetMinimumSpec(0, {LimitReference::NamedControl, "c", 0.0f, 0.0});
     },
     {28, 0, 16, 40},
     true,
     Vx::VXR_E_FAIL},
    {"a child docked on the axis is moved once more by minus the scroll",
     [](Scene& s) {
         s.control->Scroll({5, 0});
         s.Child("c", {5, 0, 50, 10}, true, true);
         s.L().SetMinimumSpec(0, {LimitReference::NamedControl, "c", 1.0f, 0.0});
     },
     {0, 0, 45, 40},
     false,
     1},
    {"the children's union, without the ones that do not clip, plus the look's margin",
     [](Scene& s) {
         s.control->Place({0, 0, 100, 40});
         s.control->AddWeightedLook(VxTest::MakeLook(Offsets(2, 3, -2, -3)), 1.0f);
         s.Child("a", {0, 0, 30, 10});
         s.Child("b", {40, 0, 20, 10});
         s.Child("wide", {0, 0, 300, 10}, false);
         s.L().SetMinimumSpec(0, {LimitReference::NamedControl, "Children", 1.0f, 0.0});
     },
     // 60 for a and b, 4 of non-client margin (100 wide, client 96).
     {0, 0, 64, 40},
     false,
     1},
    {"the children's union without a look: no margin",
     [](Scene& s) {
         s.Child("a", {0, 0, 30, 10});
         s.Child("b", {40, 0, 20, 10});
         s.L().SetMinimumSpec(0, {LimitReference::NamedControl, "Children", 1.0f, 0.0});
     },
     {0, 0, 60, 40},
     true,
     1},
    {"a named minimum without children changes nothing",
     [](Scene& s) {
         s.L().SetMinimumSpec(0, {LimitReference::NamedControl, "c", 1.0f, 500.0});
     },
     {0, 0, 16, 40}},
    {"a named minimum whose child is missing changes nothing",
     [](Scene& s) {
         s.Child("a", {0, 0, 300, 10});
         s.L().SetMinimumSpec(0, {LimitReference::NamedControl, "c", 1.0f, 500.0});
     },
     {0, 0, 16, 40},
     true},

    // Maximums.
    {"a Self maximum of 50 over a width of 80 keeps the centre anchor's point",
     [](Scene& s) {
         s.L().XPlacementAnchor = 0.5f;
         s.L().XPositionAbs = 100;
         s.L().XSizeAbs = 80;
         s.L().XMaxSizeAbs = 50;
     },
     {75, 0, 50, 40},
     false,
     0,
     1},
    {"a Self maximum of 0 is no maximum", [](Scene& s) { s.L().XSizeAbs = 500; }, {0, 0, 500, 40}},
    {"a negative Self maximum is a maximum: the negative width is normalised",
     [](Scene& s) {
         s.L().XPositionAbs = 20;
         s.L().XMaxSizeAbs = -4;
     },
     {16, 0, 4, 40},
     false,
     0,
     1},
    {"a named maximum right of the anchor's point moves the far edge",
     [](Scene& s) {
         s.L().XPositionAbs = 10;
         s.L().XSizeAbs = 100;
         s.Child("c", {0, 0, 30, 10});
         s.L().SetMaximumSpec(0, {LimitReference::NamedControl, "c", 1.0f, 0.0});
     },
     {10, 0, 30, 40},
     false,
     0,
     1},
    {"a named maximum left of the anchor's point moves the near edge",
     [](Scene& s) {
         s.L().XPlacementAnchor = 1.0f;
         s.L().XPositionAbs = 110;
         s.L().XSizeAbs = 100;
         s.Child("c", {50, 0, 30, 10});
         s.L().SetMaximumSpec(0, {LimitReference::NamedControl, "c", 0.0f, 0.0});
     },
     {60, 0, 50, 40},
     false,
     0,
     1},
    {"a named maximum on the anchor's point leaves size 0 there",
     [](Scene& s) {
         s.L().XPlacementAnchor = 0.5f;
         s.L().XPositionAbs = 60;
         s.L().XSizeAbs = 100;
         s.Child("c", {40, 0, 30, 10});
         s.L().SetMaximumSpec(0, {LimitReference::NamedControl, "c", 0.0f, 10.0});
     },
     {60, 0, 0, 40},
     true,
     0,
     1},
    {"the maximum's union of children counts those that do not clip",
     [](Scene& s) {
         s.control->AddWeightedLook(VxTest::MakeLook(Offsets(0, 0, 0, 0)), 1.0f);
         s.L().XSizeAbs = 100;
         s.Child("a", {0, 0, 30, 10});
         s.Child("b", {0, 0, 50, 10}, false);
         s.L().SetMaximumSpec(0, {LimitReference::NamedControl, "Children", 1.0f, 0.0});
     },
     {0, 0, 50, 40},
     false,
     0,
     1},
    {"the maximum's union is empty when the first child is docked on both axes",
     [](Scene& s) {
         s.control->AddWeightedLook(VxTest::MakeLook(Offsets(0, 0, 0, 0)), 1.0f);
         s.L().XSizeAbs = 100;
         s.Child("a", {0, 0, 30, 10}, true, true, true);
         s.Child("b", {0, 0, 50, 10});
         s.L().SetMaximumSpec(0, {LimitReference::NamedControl, "Children", 1.0f, 0.0});
     },
     {0, 0, 100, 40}},
    {"a maximum's reference without height changes nothing",
     [](Scene& s) {
         s.L().XSizeAbs = 100;
         s.Child("c", {0, 0, 30, 0});
         s.L().SetMaximumSpec(0, {LimitReference::NamedControl, "c", 1.0f, 0.0});
     },
     {0, 0, 100, 40}},

    // Text fit.
    {"an expanding X grows to the widest line",
     [](Scene& s) {
         s.TextLook("abcdefghij\nabc");
         s.L().TextOverflowXType = TextOverflowType::Expand;
     },
     {0, 0, 100, 40},
     false,
     1},
    {"the growth is divided by the text area's relative span",
     [](Scene& s) {
         s.TextLook("abcdefghij", 0.25f, 0.75f);
         s.L().TextOverflowXType = TextOverflowType::Expand;
     },
     // Area 8 of 16: 92 short, twice that to grow.
     {0, 0, 200, 40},
     false,
     1},
    {"a text wider than the maximum stops at it, wraps, and the height grows to the wrapped lines",
     [](Scene& s) {
         s.TextLook("aaaa bbbb");
         s.L().YSizeAbs = 20;
         s.L().XMaxSizeAbs = 60;
         s.L().TextOverflowXType = TextOverflowType::Expand;
         s.L().TextOverflowYType = TextOverflowType::Expand;
     },
     {0, 0, 60, 40},
     false,
     1},
    {"an expanding Y grows to the lines",
     [](Scene& s) {
         s.TextLook("a\nb\nc");
         s.L().TextOverflowYType = TextOverflowType::Expand;
     },
     {0, 0, 16, 60},
     false,
     1},
    {"a text area whose relative edges coincide gives no growth",
     [](Scene& s) {
         s.TextLook("abcdefghij", 0.5f, 0.5f);
         s.L().TextOverflowXType = TextOverflowType::Expand;
     },
     {0, 0, 16, 40},
     true},
    {"a growth beyond the int range is clamped",
     [](Scene& s) {
         s.TextLook("abcdefghij", 0.0f, 1e-9f);
         s.L().TextOverflowXType = TextOverflowType::Expand;
     },
     {0, 0, 2147483647.0 + 16, 40},
     true,
     1},
    {"a text area beyond the float range is clamped and the text fits",
     [](Scene& s) {
         s.TextLook("abcdefghij");
         s.L().XSizeAbs = 1e7;
         s.L().TextOverflowXType = TextOverflowType::Expand;
     },
     {0, 0, 1e7, 40},
     true},
    {"Wrap on X does not grow",
     [](Scene& s) {
         s.TextLook("abcdefghij");
         s.L().TextOverflowXType = TextOverflowType::Wrap;
     },
     {0, 0, 16, 40}},
    {"an unknown overflow type on X does not grow",
     [](Scene& s) {
         s.TextLook("abcdefghij");
         s.L().TextOverflowXType = 9;
     },
     {0, 0, 16, 40},
     true},
    {"without a look the minimum stays",
     [](Scene& s) { s.L().TextOverflowXType = TextOverflowType::Expand; },
     {0, 0, 16, 40}},
};

TEST(Layout, RectangleOfEveryRule)
{
    const VxTest::MeasuringApplication application(RCPtr<Vx::LMeasurementRenderer>(new VxTest::FixedWidthRenderer()));
    for (const LayoutCase& c : kCases)
    {
        SCOPED_TRACE(c.what);
        Scene scene;
        VxRESULT minimumResult = -1;
        VxRESULT maximumResult = -1;
        VxTest::CaptureStderr capture;
        c.setUp(scene);
        const RectT<double> rect = Layout(scene, minimumResult, maximumResult);
        const std::string logged = capture.Finish();
        EXPECT_EQ(rect, c.expected);
        EXPECT_EQ(minimumResult, c.minimumResult);
        EXPECT_EQ(maximumResult, c.maximumResult);
        if (c.asserts)
            EXPECT_NE(logged.find(kAssertion), std::string::npos);
        else
            EXPECT_EQ(logged, "");
    }

    // The normalising snap alone: a negative width moves the left edge, then
    // the edges are floored.
    RectT<double> rect{10.5, 2.25, -4, 3};
    rect.NormalizeAndSnap();
    EXPECT_EQ(rect, (RectT<double>{6, 2, 4, 3}));
    rect = RectT<double>{0.7 + 0.1, -1.5, 0.2, -1};
    rect.NormalizeAndSnap();
    EXPECT_EQ(rect, (RectT<double>{0, -3, 1, 1})) << "0.7 + 0.1 + 0.2 counts as 1";
}
} // namespace

TEST(Layout, TopLevelControlsMeasureAgainstTheScreenTheWindowAndThePointer)
{
    const RCPtr<LLayoutDescriptor> layout(new LLayoutDescriptor());
    layout->XPositionReference = PositionReference::Parent;
    layout->XSizeReference = SizeReference::Parent;
    layout->XSizeRel = 1.0f;
    layout->XSizeAbs = 0;
    layout->YPositionReference = PositionReference::NamedControl;
    layout->YPositionControlName = "anything";
    layout->YPositionAbs = 5;
    layout->YSizeReference = SizeReference::Client;
    layout->YSizeRel = 0.5f;
    layout->YSizeAbs = 0;
    RectT<double> rect;
    VxTest::CaptureStderr capture;
    // The screen at (-50, -20) in window coordinates, a 300 x 200 client area,
    // the pointer at (7, 9).
    EXPECT_EQ(Vx::CalcRectangle(layout, nullptr, {-50, -20, 800, 480}, {300, 200}, {7, 9}, rect), 0);
    EXPECT_EQ(rect, (RectT<double>{-50, 14, 800, 86}));
    EXPECT_EQ(capture.Finish(), "") << "no sibling is looked for without a parent";

    layout->XSizeReference = SizeReference::NamedControl;
    EXPECT_EQ(Vx::CalcRectangle(layout, nullptr, {-50, -20, 800, 480}, {300, 200}, {7, 9}, rect), 0);
    EXPECT_EQ(rect.width, 57) << "a far edge at the pointer";

    rect = RectT<double>{1, 2, 3, 4};
    EXPECT_EQ(Vx::CalcRectangle(nullptr, nullptr, {0, 0, 800, 480}, {300, 200}, {0, 0}, rect), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(rect, (RectT<double>{1, 2, 3, 4})) << "nothing is written";
}
