// A control's key handling driven directly: its own hot keys, the order in
// which siblings, the root window and the application are offered a key,
// Tab traversal in and out of containers, one key encoding from the key text
// to the keys the controls compare, and bad input.

#include "tests/VxFramework/ControlBase/ControlInputDoubles.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{
using Vx::KeyCode;
using Vx::LControl;
using Vx::LControlDescriptor;
using Vx::RCPtr;
using VxTest::AssertionsIn;
using VxTest::InputControl;
using VxTest::InputHarness;
using Strings = std::vector<std::string>;

constexpr int kTab = 0x09;
constexpr int kReturn = 0x0D;
constexpr int kLeft = 0x25;
constexpr int kDown = 0x28;
constexpr int kF5 = 0x74;
constexpr int kF6 = 0x75;
constexpr int kF7 = 0x76;
constexpr int kF8 = 0x77;
constexpr std::uint32_t kShift = Vx::kModifierShift;
constexpr std::uint32_t kCtrl = Vx::kModifierCtrl;
constexpr std::uint32_t kAlt = Vx::kModifierAlt;

// page: box (tab 0) holding a, b, c (tabs 0, 1, 2), then after (tab 1).
// b and c may carry create parameters.
struct PageFixture
{
    explicit PageFixture(std::initializer_list<std::pair<const char*, const char*>> bParams = {},
                         std::initializer_list<std::pair<const char*, const char*>> cParams = {})
    {
        const RCPtr<LControlDescriptor> page = harness.Describe("page", nullptr, {0, 0, 1024, 768});
        const RCPtr<LControlDescriptor> box = harness.Describe("box", page, {0, 0, 300, 100}, 0);
        harness.Describe("a", box, {0, 0, 50, 20}, 0);
        harness.Describe("b", box, {60, 0, 50, 20}, 1, bParams);
        harness.Describe("c", box, {120, 0, 50, 20}, 2, cParams);
        harness.Describe("after", page, {0, 200, 50, 20}, 1);
        harness.CreateTop("page");
        harness.app->mWindowKey = KeyCode(kF6, 0);
        harness.app->mApplicationKey = KeyCode(kF7, 0);
    }

    // The key goes to the control that takes the focus first.
    Vx::VxRESULT KeyOn(const char* name, const KeyCode& key, std::uint8_t value = 0)
    {
        InputControl& control = harness.Find(name);
        EXPECT_EQ(control.SetFocus(true), Vx::VXR_OK);
        harness.log.clear();
        return harness.Key(control, key, value);
    }

    InputHarness harness;
};

TEST(ControlKeys, AnOwnHotKeyFiresItsNotificationWithoutProcessKey)
{
    PageFixture fixture({{"LHK.NID_SIMULATE_CLICK", "VKEY_RETURN"}});
    EXPECT_EQ(fixture.KeyOn("b", KeyCode(kReturn, 0)), Vx::VXR_OK);
    EXPECT_EQ(fixture.harness.log, Strings{"b: NID_SIMULATE_CLICK"});

    // Another key goes the usual way.
    EXPECT_EQ(fixture.KeyOn("b", KeyCode(kLeft, 0)), Vx::VXR_NOTHING_DONE);
    EXPECT_EQ(fixture.harness.log, Strings{"b: ProcessKey VKEY_LEFT"});
}

TEST(ControlKeys, AnUnusedKeyGoesToSiblingsThenTheWindowThenTheApplication)
{
    struct Case
    {
        int key;
        Vx::VxRESULT result;
        Strings fired;
        Strings hotKeys;
    };
    const Case cases[] = {
        {kF5, Vx::VXR_OK, {"c: NID_C_KEY"}, {}},
        {kF6, Vx::VXR_OK, {}, {"window VKEY_F6"}},
        {kF7, Vx::VXR_OK, {}, {"window VKEY_F7", "application VKEY_F7"}},
        {kF8, Vx::VXR_NOTHING_DONE, {}, {"window VKEY_F8", "application VKEY_F8"}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.key);
        PageFixture fixture({}, {{"LHK.NID_C_KEY", "VKEY_F5"}});
        EXPECT_EQ(fixture.KeyOn("a", KeyCode(c.key, 0)), c.result);
        Strings fired;
        for (const std::string& line : fixture.harness.log)
            if (line.find("ProcessKey") == std::string::npos)
                fired.push_back(line);
        EXPECT_EQ(fired, c.fired);
        EXPECT_EQ(fixture.harness.app->mHotKeys, c.hotKeys);
    }
}

TEST(ControlKeys, TabMovesTheFocusAndLeavesContainersAtTheirEnds)
{
    struct Case
    {
        const char* from;
        KeyCode key;
        std::uint8_t value;
        const char* focus;
        Strings nextWindow;
    };
    const Case cases[] = {
        {"a", KeyCode(kTab, 0), 0, "b", {}},
        {"c", KeyCode(kTab, 0), 0, "after", {}},
        {"b", KeyCode(kTab, kShift), 0, "a", {}},
        // Past the first control of the window: the window moves on.
        {"a", KeyCode(kTab, kShift), 0, "a", {"Shift+VKEY_TAB"}},
        {"after", KeyCode(kTab, 0), 0, "after", {"VKEY_TAB"}},
        // Ctrl+Tab leaves the box as a plain Tab.
        {"a", KeyCode(kTab, kCtrl), 0, "after", {}},
        {"b", KeyCode(kTab, kCtrl | kShift), 0, "b", {"Shift+VKEY_TAB"}},
        // With its value set the key stays inside the box.
        {"c", KeyCode(kTab, 0), 1, "a", {}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.from) + " " + Vx::KeyCodeToText(c.key).GetCString());
        PageFixture fixture;
        fixture.KeyOn(c.from, c.key, c.value);
        EXPECT_EQ(fixture.harness.FocusName(), c.focus);
        EXPECT_EQ(fixture.harness.window->mNextWindowKeys, c.nextWindow);
        EXPECT_TRUE(fixture.harness.app->mHotKeys.empty());
    }
}

TEST(ControlKeys, AControlThatWantsTabKeepsIt)
{
    PageFixture fixture({{"WANTS_TAB", "true"}});
    EXPECT_EQ(fixture.KeyOn("b", KeyCode(kTab, 0)), Vx::VXR_OK);
    EXPECT_EQ(fixture.harness.FocusName(), "b");
    EXPECT_EQ(fixture.harness.log, Strings{"b: ProcessKey VKEY_TAB"});
    EXPECT_TRUE(fixture.harness.window->mNextWindowKeys.empty());
}

// The key text of a hot key, the key the OS window makes of a key press (the
// virtual key with its modifiers) and the key the controls compare are one
// value.
TEST(ControlKeys, HotKeyTextAndPressedKeysAreOneEncoding)
{
    struct Case
    {
        const char* text;
        int virtualKey;
        std::uint32_t modifiers;
    };
    const Case cases[] = {
        {"VKEY_TAB", kTab, 0},   {"Shift+VKEY_TAB", kTab, kShift}, {"Ctrl+VKEY_TAB", kTab, kCtrl},
        {"VKEY_LEFT", kLeft, 0}, {"VKEY_DOWN", kDown, 0},          {"Ctrl+Alt+VKEY_F5", kF5, kCtrl | kAlt},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.text);
        const KeyCode pressed(c.virtualKey, c.modifiers);
        EXPECT_EQ(Vx::TextToKeyCode(c.text).code, pressed.code);
        EXPECT_EQ(pressed.code & 0x20FF0000u, 0x20000000u | static_cast<std::uint32_t>(c.virtualKey) << 16);

        PageFixture fixture({{"LHK.NID_BOUND", c.text}});
        EXPECT_EQ(fixture.harness.Find("b").GetFirstHotKey("NID_BOUND").code, pressed.code);
        EXPECT_EQ(fixture.KeyOn("b", pressed), Vx::VXR_OK);
        EXPECT_EQ(fixture.harness.log, Strings{"b: NID_BOUND"});
    }
}

TEST(ControlKeys, HotKeysThatCannotBeBoundAreSkippedWithAnAssertion)
{
    VxTest::CaptureStderr errors;
    PageFixture fixture(
        {{"LHK.NID_FIRST", "VKEY_F5"}, {"LHK.NID_SECOND", "vkey_f5"}, {"LHK.NID_BROKEN", "VKEY_NOSUCH"}});
    EXPECT_EQ(AssertionsIn(errors.Finish()), 2);
    const InputControl& b = fixture.harness.Find("b");
    EXPECT_TRUE(b.HasHotKey("NID_FIRST"));
    EXPECT_FALSE(b.HasHotKey("NID_SECOND"));
    EXPECT_FALSE(b.HasHotKey("NID_BROKEN"));
    const KeyCode none = b.GetFirstHotKey("NID_SECOND");
    EXPECT_EQ(none.code, 0x80000000u);
    EXPECT_EQ(none.sideMask, 0u);
    EXPECT_EQ(none.extra, 0u);
    EXPECT_EQ(b.GetHotKeys("NID_FIRST").GetCount(), 1u);
}

TEST(ControlKeys, BadInputIsRefusedAndAnInconsistentSiblingOrderDropsTheKey)
{
    PageFixture fixture({}, {{"LHK.NID_C_KEY", "VKEY_F5"}});
    InputControl& box = fixture.harness.Find("box");
    {
        VxTest::CaptureStderr errors;
        EXPECT_EQ(box.OnKey(nullptr), Vx::VXR_E_INVALIDARG);
        EXPECT_EQ(box.OnTabKey(nullptr), Vx::VXR_E_INVALIDARG);
        EXPECT_EQ(AssertionsIn(errors.Finish()), 2);
    }
    box.mBreakSiblingOrder = true;
    VxTest::CaptureStderr errors;
    EXPECT_EQ(fixture.KeyOn("a", KeyCode(kF8, 0)), Vx::VXR_OK);
    EXPECT_EQ(AssertionsIn(errors.Finish()), 1);
    EXPECT_TRUE(fixture.harness.app->mHotKeys.empty());
}

TEST(ControlKeys, SiblingsNextToTheSourceComeFirstAndThoseThatCannotHoldTheFocusLast)
{
    struct Case
    {
        Strings bound;
        const char* takes;
    };
    const Case cases[] = {
        {{"c", "n"}, "c"},
        {{"n"}, "n"},
        {{"a", "c", "d"}, "a"},
        {{"c", "d"}, "d"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.takes);
        InputHarness harness;
        const RCPtr<LControlDescriptor> page = harness.Describe("page", nullptr, {0, 0, 1024, 768});
        const auto describe = [&](const char* name, std::int32_t tabStop) {
            const bool bound = std::find(c.bound.begin(), c.bound.end(), name) != c.bound.end();
            const std::string id = std::string("LHK.NID_") + name;
            if (bound)
                harness.Describe(name, page, {0, 30.0 * tabStop + 60, 50, 20}, tabStop, {{id.c_str(), "VKEY_F5"}});
            else
                harness.Describe(name, page, {0, 30.0 * tabStop + 60, 50, 20}, tabStop);
        };
        describe("n", -1);
        describe("a", 0);
        describe("b", 1);
        describe("c", 2);
        describe("d", 3);
        harness.CreateTop("page");
        InputControl& b = harness.Find("b");
        b.SetFocus(true);
        harness.log.clear();
        EXPECT_EQ(harness.Key(b, KeyCode(kF5, 0)), Vx::VXR_OK);
        EXPECT_EQ(harness.log, (Strings{"b: ProcessKey VKEY_F5", std::string(c.takes) + ": NID_" + c.takes}));
    }
}
} // namespace
