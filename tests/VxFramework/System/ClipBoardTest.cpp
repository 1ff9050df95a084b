#include "VxFramework/System/ClipBoard.h"

#include "tests/VxFramework/ControlBase/ControlDoubles.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <string>
#include <vector>

using namespace VxTest;

namespace
{
// A text-box-like control: an edit target that performs the operations its
// mask allows and records them.
class EditBox : public TestControl
{
public:
    EditBox(const Vx::RCPtr<Vx::LControl>& parent, const Vx::LControl::Text& name) : TestControl(parent, name) {}

    bool IsEditTarget(std::int32_t) override { return true; }
    bool CanPerformEdit(std::int32_t operation) override { return ((mAllowed >> operation) & 1u) != 0; }
    Vx::VxRESULT PerformEdit(std::int32_t operation) override
    {
        mPerformed.push_back(operation);
        return Vx::VXR_OK;
    }

    unsigned mAllowed = 0xFu;
    std::vector<int> mPerformed;
};

int ClipboardAssertions(const std::string& err)
{
    return CountOf(err, "JUCE Assertion failure in ClipBoard.cpp:");
}

class ClipboardTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        clipboard = harness.app->GetClipboard();
        ASSERT_FALSE(clipboard.IsNull());
        ASSERT_EQ(clipboard->Initialize(), Vx::VXR_OK);
        top = TestControl::Create(nullptr, "top");
        box = Vx::RCPtr<EditBox>(new EditBox(top, "box"));
        inner = TestControl::Create(box, "inner");
        plain = TestControl::Create(top, "plain");
        harness.osWindow.mActive = true;
    }

    void TearDown() override { harness.window->ClearControls(); }

    ControlHarness harness;
    Vx::RCPtr<Vx::LClipboard> clipboard;
    Vx::RCPtr<TestControl> top;
    Vx::RCPtr<EditBox> box;
    Vx::RCPtr<TestControl> inner;
    Vx::RCPtr<TestControl> plain;
};
} // namespace

TEST_F(ClipboardTest, EditRequestsReachTheFocusedEditTargetAtTheNextTick)
{
    const struct
    {
        const char* request;
        const char* focus; // "box", "inner" (inside the box), "plain", or "none"
        unsigned allowed;
        bool active;
        std::vector<int> performed;
    } cases[] = {
        {"NID_EDIT_COPY_REQ", "box", 0xF, true, {2}},
        {"NID_EDIT_CUT_REQ", "inner", 0xF, true, {1}},
        {"NID_EDIT_DELETE_REQ", "box", 0xF, true, {0}},
        {"NID_EDIT_PASTE_REQ", "box", 0xF, true, {3}},
        // The target cannot paste now.
        {"NID_EDIT_PASTE_REQ", "box", 0x7, true, {}},
        // Not an edit target and none among its ancestors.
        {"NID_EDIT_PASTE_REQ", "plain", 0xF, true, {}},
        {"NID_EDIT_COPY_REQ", "none", 0xF, true, {}},
        // No active root window.
        {"NID_EDIT_COPY_REQ", "box", 0xF, false, {}},
    };
    const Vx::RCPtr<Vx::LNotificationCenter> center = harness.app->GetDefaultNotificationCenter();
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::string(c.request) + " on " + c.focus);
        box->mPerformed.clear();
        box->mAllowed = c.allowed;
        harness.osWindow.mActive = c.active;
        const std::string focus = c.focus;
        harness.window->mFocusControl = focus == "box"     ? Vx::RCPtr<Vx::LControl>(box)
                                        : focus == "inner" ? Vx::RCPtr<Vx::LControl>(inner)
                                        : focus == "plain" ? Vx::RCPtr<Vx::LControl>(plain)
                                                           : nullptr;

        ASSERT_EQ(center->PostNotification(c.request, nullptr), Vx::VXR_OK);
        EXPECT_TRUE(box->mPerformed.empty());
        CaptureStderr capture;
        harness.app->ProcessIdle(true);
        // Nothing is reported for a request that finds no target.
        EXPECT_EQ(AssertionsIn(capture.Finish()), 0);
        EXPECT_EQ(box->mPerformed, c.performed);
        EXPECT_EQ(clipboard->CanEditFocused(Vx::LClipboard::kEditCopy),
                  c.active && focus != "plain" && focus != "none");
    }
}

TEST_F(ClipboardTest, DirectEditsAnswerWhetherTheyReachedATarget)
{
    harness.window->mFocusControl = Vx::RCPtr<Vx::LControl>(inner);
    EXPECT_EQ(clipboard->EditFocused(Vx::LClipboard::kEditCopy), Vx::VXR_OK);
    box->mAllowed = 0;
    EXPECT_EQ(clipboard->EditFocused(Vx::LClipboard::kEditCopy), Vx::VXR_NOTHING_DONE);
    harness.window->mFocusControl = Vx::RCPtr<Vx::LControl>(plain);
    EXPECT_EQ(clipboard->EditFocused(Vx::LClipboard::kEditCopy), Vx::VXR_NOTHING_DONE);
    EXPECT_EQ(box->mPerformed, std::vector<int>{2});
}

TEST_F(ClipboardTest, TextContentGoesThroughTheSystemClipboard)
{
    using Content = Vx::LClipboard::StringContent;
    const Vx::RCPtr<Content> text = Vx::MakeRCPtr<Content>(String("caf\xc3\xa9 42"));
    EXPECT_EQ(clipboard->SetContent(Vx::RCPtr<Vx::LRefCountedObject>(text)), Vx::VXR_OK);
    EXPECT_EQ(juce::SystemClipboard::getTextFromClipboard(), juce::String::fromUTF8("caf\xc3\xa9 42"));

    const Vx::RCPtr<Vx::LRefCountedObject> read = clipboard->GetContent();
    ASSERT_NE(dynamic_cast<Content*>(read.Get()), nullptr);
    EXPECT_NE(read.Get(), static_cast<Vx::LRefCountedObject*>(text.Get()));
    EXPECT_STREQ(dynamic_cast<Content&>(*read).GetCString(), "caf\xc3\xa9 42");

    // Anything else stays in the clipboard only until the system's text is read.
    const Vx::RCPtr<Vx::LRefCountedObject> other(Vx::MakeRCPtr<Vx::LTaggableObject>());
    EXPECT_EQ(clipboard->SetContent(other), Vx::VXR_OK);
    EXPECT_EQ(juce::SystemClipboard::getTextFromClipboard(), juce::String::fromUTF8("caf\xc3\xa9 42"));
    const Vx::RCPtr<Vx::LRefCountedObject> again = clipboard->GetContent();
    ASSERT_NE(dynamic_cast<Content*>(again.Get()), nullptr);
    EXPECT_STREQ(dynamic_cast<Content&>(*again).GetCString(), "caf\xc3\xa9 42");
}

TEST(Clipboard, WithoutAnApplicationItStaysUninitialisedAndIgnoresRequests)
{
    ASSERT_EQ(Vx::GetControlHost(), nullptr);
    const Vx::RCPtr<Vx::LClipboard> clipboard = Vx::LClipboard::Create();
    CaptureStderr capture;
    EXPECT_EQ(clipboard->Initialize(), Vx::VXR_E_FAIL);
    EXPECT_EQ(ClipboardAssertions(capture.Finish()), 1);
    EXPECT_FALSE(clipboard->IsInitialized());

    Vx::RCPtr<Vx::LNotification> request;
    Vx::LNotification::Create(request, "NID_EDIT_COPY_REQ", nullptr);
    EXPECT_EQ(clipboard->Receive(nullptr, request), 0);
    EXPECT_EQ(clipboard->EditFocused(Vx::LClipboard::kEditCopy), Vx::VXR_NOTHING_DONE);
}
