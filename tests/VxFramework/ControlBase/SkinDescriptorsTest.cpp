// The skin model: control descriptors and their order, clones that share what
// the skin defines once, looks, visual parts and string tables; the layout
// descriptor's copies, specs and sibling orders; a look laid out from its
// descriptor.

#include "VxFramework/ControlBase/SkinDescriptors.h"

#include "VxFramework/ControlBase/Look.h"
#include "tests/VxFramework/ControlBase/ControlDoubles.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
using Vx::LControlDescriptor;
using Vx::LLayoutDescriptor;
using Vx::RCPtr;
using Text = Vx::StringT<char, unsigned short>;

const char* const kAssertion = "JUCE Assertion failure in ";

RCPtr<LControlDescriptor> Descriptor(const char* name, std::int32_t layoutOrder, LControlDescriptor* parent = nullptr)
{
    const RCPtr<LControlDescriptor> descriptor(new LControlDescriptor("Framework.Button", name, parent));
    const RCPtr<LLayoutDescriptor> layout(new LLayoutDescriptor());
    layout->LayoutOrder = layoutOrder;
    descriptor->SetLayout(layout);
    return descriptor;
}

std::vector<std::string> ChildNames(const LControlDescriptor& descriptor)
{
    std::vector<std::string> names;
    for (std::uint32_t i = 0; i < descriptor.GetChildren().GetCount(); ++i)
        names.emplace_back(descriptor.GetChildren()[i]->GetName().GetCString());
    return names;
}

RCPtr<Vx::LControl> CreateNothing(const RCPtr<Vx::LControl>&, const RCPtr<LControlDescriptor>&)
{
    return nullptr;
}

TEST(SkinDescriptors, ChildrenSortStablyByLayoutOrder)
{
    struct Case
    {
        std::vector<std::int32_t> orders;
        std::vector<std::string> sorted;
    };
    const Case cases[] = {
        // Second, third, first.
        {{2, 1, 1}, {"c1", "c2", "c0"}},
        {{2, 1, 1, -2147483647 - 1, 2147483647, 0}, {"c3", "c5", "c1", "c2", "c0", "c4"}},
        {{5}, {"c0"}},
        {{}, {}},
    };
    for (const Case& c : cases)
    {
        const RCPtr<LControlDescriptor> parent(new LControlDescriptor("Application", "root", nullptr));
        for (std::size_t i = 0; i < c.orders.size(); ++i)
            parent->AddChild(Descriptor(("c" + std::to_string(i)).c_str(), c.orders[i], parent.Get()));
        EXPECT_EQ(parent->SortChildren(), 0);
        EXPECT_EQ(ChildNames(*parent), c.sorted);
    }

    // A child without a layout counts as order 0.
    const RCPtr<LControlDescriptor> parent(new LControlDescriptor("Application", "root", nullptr));
    parent->AddChild(Descriptor("late", 1));
    parent->AddChild(RCPtr<LControlDescriptor>(new LControlDescriptor("Framework.Label", "bare", parent.Get())));
    parent->SortChildren();
    EXPECT_EQ(ChildNames(*parent), (std::vector<std::string>{"bare", "late"}));
}

TEST(SkinDescriptors, ClonesShareWhatTheSkinDefinesOnce)
{
    const RCPtr<LControlDescriptor> root(new LControlDescriptor("Application", "root", nullptr));
    const RCPtr<LControlDescriptor> item = Descriptor("item", 3, root.Get());
    item->AddChild(Descriptor("icon", 0, item.Get()));
    item->SetSkin(RCPtr<Vx::LSkinDescriptor>(new Vx::LSkinDescriptor("itemSkin")));
    Vx::LStringTable::Map parameters;
    parameters["LABEL"] = "Item";
    item->SetCreateParams(RCPtr<Vx::LStringTable>(new Vx::LStringTable(parameters)));
    item->SetCreator(&CreateNothing);

    const RCPtr<LControlDescriptor> clone = LControlDescriptor::Clone(item, "");
    EXPECT_EQ(clone->GetName(), "item") << "an empty name keeps the template's";
    EXPECT_EQ(clone->GetClassName(), "Framework.Button");
    EXPECT_EQ(clone->GetParent(), root.Get());
    EXPECT_EQ(clone->GetSkin().Get(), item->GetSkin().Get());
    EXPECT_EQ(clone->GetLayout().Get(), item->GetLayout().Get());
    EXPECT_EQ(clone->GetCreateParams().Get(), item->GetCreateParams().Get());
    EXPECT_EQ(clone->GetCreator(), &CreateNothing);
    ASSERT_EQ(clone->GetChildren().GetCount(), 1u);
    EXPECT_EQ(clone->GetChildren()[0].Get(), item->GetChildren()[0].Get()) << "children shared, the array copied";
    clone->AddChild(Descriptor("extra", 0));
    EXPECT_EQ(item->GetChildren().GetCount(), 1u);

    const RCPtr<LLayoutDescriptor> layout(new LLayoutDescriptor());
    layout->XSizeAbs = 99;
    const RCPtr<LControlDescriptor> row = LControlDescriptor::Create(item, "row7", layout);
    EXPECT_EQ(row->GetName(), "row7");
    EXPECT_EQ(row->GetLayout().Get(), layout.Get());
    EXPECT_EQ(item->GetLayout()->XSizeAbs, 16.0) << "the template keeps its layout";
    EXPECT_EQ(row->GetSkin().Get(), item->GetSkin().Get());
    EXPECT_EQ(row->GetCreateParams().Get(), item->GetCreateParams().Get());
    EXPECT_EQ(row->GetChildren()[0].Get(), item->GetChildren()[0].Get());

    VxTest::CaptureStderr capture;
    EXPECT_TRUE(LControlDescriptor::Clone(nullptr, "x").IsNull());
    EXPECT_TRUE(LControlDescriptor::Create(nullptr, "x", layout).IsNull());
    EXPECT_NE(capture.Finish().find(kAssertion), std::string::npos);
}

TEST(SkinDescriptors, LooksPartsAndColorizersAreSharedByReference)
{
    const RCPtr<Vx::LColorizer> red(
        new Vx::LColorizer("red", Vx::LColorizer::kSolid, Vx::Color(0xFFFF0000u), 0, 0, 0, 0, Vx::Color()));
    const RCPtr<Vx::LVisualPartDescriptor> fill(
        new Vx::LVisualPartDescriptor("fill", Vx::BitmapSource(), {8, 4}, 1, red, 0.5f, Vx::BitmapSource()));
    EXPECT_EQ(fill->GetColorizer().Get(), red.Get());
    EXPECT_EQ(fill->GetSize(), (Vx::PointT<std::int32_t>{8, 4})) << "without an image the given size stays";
    EXPECT_EQ(fill->GetResizeType(), Vx::LVisualPartDescriptor::kTile);
    EXPECT_EQ(fill->GetColorizerAlphaModulation(), 0.5f);

    const RCPtr<Vx::LLookDescriptor> normal = Vx::LLookDescriptor::Create("normal");
    ASSERT_FALSE(normal.IsNull());
    EXPECT_EQ(normal->GetName(), "normal");
    EXPECT_TRUE(normal->GetClientPart().IsNull());
    EXPECT_EQ(normal->GetNonClientParts().GetCount(), 0u);
    EXPECT_FALSE(normal->HasTextArea());
    Vx::DockInfo left;
    left.edgeMask = Vx::DockInfo::kLeft;
    normal->AddNonClientPart(RCPtr<Vx::LDockedPart>(new Vx::LDockedPart(fill, left)));
    normal->AddNonClientPart(RCPtr<Vx::LDockedPart>(new Vx::LDockedPart(fill, Vx::DockInfo())));
    ASSERT_EQ(normal->GetNonClientParts().GetCount(), 2u);
    EXPECT_EQ(normal->GetNonClientParts()[0]->GetDock().edgeMask, Vx::DockInfo::kLeft);
    EXPECT_EQ(normal->GetNonClientParts()[1]->GetPart().Get(), fill.Get());
    Vx::LLookDescriptor::TextArea area;
    area.rightRel = 1.0f;
    area.horizontalAlignment = 0.5f;
    normal->SetTextArea(area, fill);
    EXPECT_TRUE(normal->HasTextArea());
    EXPECT_EQ(normal->GetTextArea().horizontalAlignment, 0.5f);
    EXPECT_EQ(normal->GetTextForegroundPart().Get(), fill.Get());

    // A look list of three with entries 0 and 2 filled, the same look twice.
    const RCPtr<Vx::LookList> looks(new Vx::LookList(3));
    (*looks)[0] = normal;
    (*looks)[2] = normal;
    EXPECT_EQ(looks->GetCount(), 3u);
    EXPECT_TRUE((*looks)[1].IsNull());
    EXPECT_EQ((*looks)[2].Get(), normal.Get());

    Vx::LSkinDescriptor skin("main");
    EXPECT_TRUE(skin.lookList.IsNull());
    EXPECT_FALSE(skin.fontInheritsFromParent);
    EXPECT_FALSE(skin.fontSizeIsRelative);
    EXPECT_TRUE(skin.fontName.IsEmpty());
    EXPECT_EQ(skin.fontSize, 0.0f);
    EXPECT_EQ(skin.fontStyle, -1);
    skin.lookList = looks;
    EXPECT_EQ((*skin.lookList)[0].Get(), normal.Get());
}

TEST(SkinDescriptors, VisualPartSizeFollowsItsImage)
{
    Vx::BitmapSource image{"/skin/parts.png", 40, 0, 20, 10};
    Vx::BitmapSource mask{"/skin/mask.png", 0, 0, 20, 10};
    {
        VxTest::CaptureStderr capture;
        const Vx::LVisualPartDescriptor part("button", image, {30, 10}, 0, nullptr, 1.0f, mask);
        EXPECT_EQ(part.GetSize(), (Vx::PointT<std::int32_t>{20, 10}));
        EXPECT_EQ(part.GetImage().x, 40);
        EXPECT_NE(capture.Finish().find(kAssertion), std::string::npos) << "the given size differed";
    }
    {
        VxTest::CaptureStderr capture;
        const Vx::LVisualPartDescriptor part("button", image, {20, 10}, 0, nullptr, 1.0f, mask);
        EXPECT_EQ(capture.Finish(), "");
    }
    {
        VxTest::CaptureStderr capture;
        mask.height = 11;
        const Vx::LVisualPartDescriptor part("button", image, {20, 10}, 0, nullptr, 1.0f, mask);
        EXPECT_NE(capture.Finish().find(kAssertion), std::string::npos) << "the mask differs in size";
    }
    {
        VxTest::CaptureStderr capture;
        Vx::DockInfo dock;
        dock.edgeMask = 16;
        const Vx::LDockedPart docked(nullptr, dock);
        EXPECT_EQ(docked.GetDock().edgeMask, 16u) << "kept";
        EXPECT_NE(capture.Finish().find(kAssertion), std::string::npos);
    }
}

TEST(SkinDescriptors, StringTables)
{
    Vx::LStringTable::Map entries;
    entries["b"] = "second";
    entries["B"] = "upper";
    entries["a"] = "first";
    Vx::LStringTable table(entries);
    entries["a"] = "changed";
    Text text = "untouched";
    EXPECT_TRUE(table.Lookup("a", text));
    EXPECT_EQ(text, "first") << "the table holds a copy";
    text = "untouched";
    EXPECT_FALSE(table.Lookup("A", text));
    EXPECT_EQ(text, "untouched");

    table.Set("a", "replaced");
    table.Set("", "ignored");
    table.Set("c", "third");
    std::vector<std::string> keys;
    for (const auto& [key, value] : table.GetEntries())
        keys.emplace_back(std::string(key.GetCString()) + "=" + value.GetCString());
    EXPECT_EQ(keys, (std::vector<std::string>{"B=upper", "a=replaced", "b=second", "c=third"}))
        << "bytewise key order, no empty key";
}

TEST(LayoutDescriptor, ClonesAreIndependentCopies)
{
    const RCPtr<LLayoutDescriptor> layout(new LLayoutDescriptor());
    layout->ClipToParent = false;
    layout->Z_Order = 3;
    layout->TabStop = -1;
    layout->YIsDocked = true;
    layout->XPositionReference = Vx::PositionReference::NamedControl;
    layout->XPositionControlName = "left";
    layout->YMaxSizeAbs = 77;
    layout->TextDecoration = "underline";
    layout->TextOverflowYType = Vx::TextOverflowType::Expand;
    layout->LayoutOrder = 9;
    RCPtr<LLayoutDescriptor> clone;
    layout->Clone(clone);
    ASSERT_FALSE(clone.IsNull());
    EXPECT_NE(clone.Get(), layout.Get());
    for (int axis = 0; axis < 2; ++axis)
    {
        EXPECT_EQ(clone->GetPositionSpec(axis), layout->GetPositionSpec(axis));
        EXPECT_EQ(clone->GetSizeSpec(axis), layout->GetSizeSpec(axis));
        EXPECT_EQ(clone->GetMinimumSpec(axis), layout->GetMinimumSpec(axis));
        EXPECT_EQ(clone->GetMaximumSpec(axis), layout->GetMaximumSpec(axis));
    }
    EXPECT_EQ(clone->XPositionControlName, "left");
    EXPECT_FALSE(clone->ClipToParent);
    EXPECT_EQ(clone->Z_Order, 3);
    EXPECT_EQ(clone->TabStop, -1);
    EXPECT_EQ(clone->TextDecoration, "underline");
    EXPECT_EQ(clone->TextOverflowYType, Vx::TextOverflowType::Expand);
    EXPECT_EQ(clone->LayoutOrder, 9);

    clone->XPositionControlName = "other";
    clone->YMaxSizeAbs = 1;
    EXPECT_EQ(layout->XPositionControlName, "left");
    EXPECT_EQ(layout->YMaxSizeAbs, 77);

    // The defaults: a control 16 wide and 40 high at the client origin.
    const LLayoutDescriptor defaults;
    EXPECT_TRUE(defaults.ClipToParent && defaults.IsVisible && defaults.IsEnabled);
    EXPECT_EQ(defaults.GetPositionSpec(0), (LLayoutDescriptor::PositionSpec{}));
    EXPECT_EQ(defaults.GetSizeSpec(0), (LLayoutDescriptor::SizeSpec{Vx::SizeReference::Self, "", 0.0f, 16.0}));
    EXPECT_EQ(defaults.GetSizeSpec(1), (LLayoutDescriptor::SizeSpec{Vx::SizeReference::Self, "", 0.0f, 40.0}));
}

TEST(LayoutDescriptor, SpecsCompareNamesOnlyForNamedReferences)
{
    using Position = LLayoutDescriptor::PositionSpec;
    using Size = LLayoutDescriptor::SizeSpec;
    using Limit = LLayoutDescriptor::LimitSpec;
    using Vx::LimitReference;
    using Vx::PositionReference;
    using Vx::SizeReference;
    EXPECT_EQ((Position{0.5f, PositionReference::Client, "old", 0, 1, false}),
              (Position{0.5f, PositionReference::Client, "new", 0, 1, false}));
    EXPECT_NE((Position{0.5f, PositionReference::NamedControl, "old", 0, 1, false}),
              (Position{0.5f, PositionReference::NamedControl, "new", 0, 1, false}));
    EXPECT_NE((Position{0.5f, PositionReference::Client, "", 0, 1, false}),
              (Position{0.5f, PositionReference::Client, "", 0, 1, true}));
    EXPECT_NE((Position{0.5f, PositionReference::Client, "", 0, 1, false}),
              (Position{0.50001f, PositionReference::Client, "", 0, 1, false}));
    EXPECT_EQ((Size{SizeReference::Self, "old", 0, 16}), (Size{SizeReference::Self, "new", 0, 16}));
    EXPECT_NE((Size{SizeReference::NamedControl, "old", 0, 16}), (Size{SizeReference::NamedControl, "new", 0, 16}));
    EXPECT_NE((Size{SizeReference::Self, "", 0, 16}), (Size{SizeReference::Self, "", 0, 16.000001}));
    EXPECT_EQ((Limit{LimitReference::Self, "old", 0, 1}), (Limit{LimitReference::Self, "new", 0, 1}));
    EXPECT_NE((Limit{LimitReference::NamedControl, "a", 0, 1}), (Limit{LimitReference::NamedControl, "b", 0, 1}));

    LLayoutDescriptor layout;
    const Position y{1.0f, PositionReference::Parent, "", 0.25f, 3, true};
    EXPECT_EQ(layout.SetPositionSpec(1, y), 0);
    EXPECT_EQ(layout.GetPositionSpec(1), y);
    EXPECT_TRUE(layout.YIsDocked);
    EXPECT_EQ(layout.GetPositionSpec(0), Position{}) << "X untouched";
    VxTest::CaptureStderr capture;
    EXPECT_EQ(layout.SetSizeSpec(2, Size{}), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(layout.SetMinimumSpec(-1, Limit{}), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(layout.GetMaximumSpec(5), layout.GetMaximumSpec(0));
    EXPECT_NE(capture.Finish().find(kAssertion), std::string::npos);
}

TEST(LayoutDescriptor, SkinWords)
{
    using Vx::LimitReference;
    using Vx::PositionReference;
    using Vx::SizeReference;
    using Vx::TextOverflowType;
    EXPECT_EQ(PositionReference::FromWord("Parent"), PositionReference::Parent);
    EXPECT_EQ(PositionReference::FromWord("Screen"), PositionReference::Parent);
    EXPECT_EQ(PositionReference::FromWord("Client"), PositionReference::Client);
    EXPECT_EQ(PositionReference::FromWord("Active Window"), PositionReference::Client);
    EXPECT_EQ(PositionReference::FromWord("client"), PositionReference::NamedControl) << "case-sensitive";
    EXPECT_EQ(PositionReference::FromWord("Self"), PositionReference::NamedControl);
    EXPECT_EQ(SizeReference::FromWord("Screen"), SizeReference::Parent);
    EXPECT_EQ(SizeReference::FromWord("Active Window"), SizeReference::Client);
    EXPECT_EQ(SizeReference::FromWord("Self"), SizeReference::Self);
    EXPECT_EQ(SizeReference::FromWord("okButton"), SizeReference::NamedControl);
    EXPECT_EQ(LimitReference::FromWord("Self"), LimitReference::Self);
    EXPECT_EQ(LimitReference::FromWord("Children"), LimitReference::NamedControl);
    EXPECT_EQ(TextOverflowType::FromWord("Clip"), TextOverflowType::Clip);
    EXPECT_EQ(TextOverflowType::FromWord("Expand"), TextOverflowType::Expand);
    EXPECT_EQ(TextOverflowType::FromWord("Wrap"), TextOverflowType::Wrap);
    EXPECT_EQ(TextOverflowType::FromWord("wrap"), -1);
}

// Children named by their insertion order: c0, c1, ...
std::vector<std::string> Order(const Vx::LControl& parent, int order)
{
    std::vector<std::string> names;
    for (std::uint32_t i = 0; i < parent.GetChildren().GetCount(); ++i)
        names.emplace_back(parent.GetChildren().GetAt(i, order)->GetName().GetCString());
    return names;
}

TEST(LayoutDescriptor, SiblingOrders)
{
    using List = Vx::LControl::ChildControlList;
    const RCPtr<VxTest::TestControl> parent = VxTest::TestControl::Create(nullptr, "parent");
    struct Child
    {
        bool clip;
        bool xDocked;
        bool yDocked;
        std::int32_t z;
        std::int32_t tab;
    };
    const Child children[] = {
        {true, false, false, 5, 2},   // c0
        {false, false, false, -9, 1}, // c1: does not clip, so paints last
        {true, true, true, -9, -1},   // c2: docked on both
        {true, false, true, 0, 1},    // c3: docked on one
        {true, false, false, 5, -1},  // c4: ties c0's Z_Order
        {true, false, false, -3, 0},  // c5
    };
    for (std::size_t i = 0; i < std::size(children); ++i)
    {
        const RCPtr<VxTest::TestControl> child = VxTest::TestControl::Create(parent, ("c" + std::to_string(i)).c_str());
        child->Layout().ClipToParent = children[i].clip;
        child->Layout().XIsDocked = children[i].xDocked;
        child->Layout().YIsDocked = children[i].yDocked;
        child->Layout().Z_Order = children[i].z;
        child->Layout().TabStop = children[i].tab;
    }
    EXPECT_EQ(Order(*parent, List::kInsertionOrder), (std::vector<std::string>{"c0", "c1", "c2", "c3", "c4", "c5"}));
    EXPECT_EQ(Order(*parent, List::kZOrder), (std::vector<std::string>{"c5", "c0", "c4", "c3", "c2", "c1"}));
    EXPECT_EQ(Order(*parent, List::kTabOrder), (std::vector<std::string>{"c2", "c4", "c5", "c1", "c3", "c0"}));

    // A change is seen once the list is told; then the orders are sorted again.
    parent->FindChild("c0").Get()->GetLayout()->TabStop = -5;
    EXPECT_EQ(Order(*parent, List::kTabOrder)[0], "c2");
    const_cast<List&>(parent->GetChildren()).Invalidate();
    EXPECT_EQ(Order(*parent, List::kTabOrder)[0], "c0");

    EXPECT_THROW(parent->GetChildren().GetAt(6, List::kInsertionOrder), std::runtime_error);
    EXPECT_THROW(parent->GetChildren().GetAt(0, 3), std::runtime_error);

    VxTest::CaptureStderr capture;
    const RCPtr<VxTest::TestControl> twin = VxTest::TestControl::Create(parent, "c3");
    EXPECT_NE(capture.Finish().find(kAssertion), std::string::npos);
    EXPECT_TRUE(twin->GetParent().IsNull()) << "a second child of the same name is refused";
    EXPECT_EQ(parent->GetChildren().GetCount(), 6u);
    EXPECT_EQ(parent->FindChild("c3")->GetParent().Get(), parent.Get());
}

TEST(Look, ClientRectangleAndTextAreaFollowTheSize)
{
    struct Case
    {
        Vx::DockInfo offsets;
        Vx::PointT<std::int32_t> size;
        Vx::RectT<std::int32_t> client;
    };
    const Case cases[] = {
        {VxTest::Offsets(5, 5, -5, -5), {100, 40}, {5, 5, 90, 30}},
        {VxTest::Offsets(120, 0, 0, 0), {100, 40}, {100, 0, 0, 40}},
        {VxTest::Offsets(0, 50, 0, -60), {100, 40}, {0, 40, 100, 0}},
        {VxTest::Offsets(0, 0, 0, 0), {0, 0}, {0, 0, 0, 0}},
    };
    for (const Case& c : cases)
    {
        const RCPtr<Vx::LLook> look = VxTest::MakeLook(c.offsets);
        look->SetSize(c.size);
        EXPECT_EQ(look->GetClientRect(), c.client);
    }

    Vx::LLookDescriptor::TextArea area;
    area.leftAbs = 3;
    area.rightRel = 0.5f;
    area.rightAbs = 3;
    area.topRel = 0.1f;
    area.bottomRel = 1.0f;
    area.horizontalAlignment = 0.5f;
    const RCPtr<Vx::LLook> look = VxTest::MakeLook(VxTest::Offsets(0, 0, 0, 0), &area, true);
    const RCPtr<Vx::LFontText> text = look->GetText();
    ASSERT_FALSE(text.IsNull());
    EXPECT_TRUE(text->GetWordWrap());
    EXPECT_EQ(text->GetHorizontalAlignment(), 0.5f);
    // 21 wide: the area is 10.5 + 3 - 3 = 10.5, laid out 11 wide; its top is
    // at 3.7, truncated to 3.
    look->SetSize({21, 37});
    EXPECT_EQ(text->GetBoxSize(), (Vx::PointT<std::int32_t>{11, 33}));
    EXPECT_EQ(look->GetTextOrigin(), (Vx::PointT<std::int32_t>{3, 3}));

    EXPECT_EQ(look->SetText("hello"), 1);
    EXPECT_EQ(look->SetText("hello"), 0) << "the same text again";
    EXPECT_EQ(text->GetText(), "hello");

    const RCPtr<Vx::LLook> plain = VxTest::MakeLook(VxTest::Offsets(0, 0, 0, 0));
    EXPECT_TRUE(plain->GetText().IsNull());
    EXPECT_EQ(plain->SetText("hello"), 1) << "no text object";
    look->SetDescriptor(plain->GetDescriptor(), false);
    EXPECT_TRUE(look->GetText().IsNull()) << "a descriptor without text area drops the text";
    EXPECT_EQ(look->GetClientRect(), (Vx::RectT<std::int32_t>{0, 0, 21, 37})) << "laid out again at its size";
}
} // namespace
