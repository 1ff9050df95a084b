// What the OS window makes of JUCE's keys and modifiers, with the keys coming
// from the simulated device's keyboard through the real backend and xkbcommon.

#include "VxFramework/Application/OSWindowJuce.h"

#include "tests/JuceBackend/DisplayTestSupport.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <string>
#include <vector>

namespace
{
class KeyWindow : public juce::Component
{
public:
    KeyWindow()
    {
        setBounds(0, 0, 320, 240);
        addToDesktop(0);
        setVisible(true);
    }

    bool keyPressed(const juce::KeyPress& key) override
    {
        keys.push_back(key);
        return true;
    }

    std::vector<juce::KeyPress> keys;
};

struct KeyCase
{
    std::vector<int> held;
    int key;
    const char* virtualKey;
    const char* character;
};

std::string Text(const Vx::KeyCode& key)
{
    return Vx::KeyCodeToText(key).GetCString();
}

class OSWindowKeys : public VxTest::JucePlatformTest
{
};
} // namespace

TEST_F(OSWindowKeys, EvdevKeysArriveAsTheFrameworksVirtualKeysThenCharacters)
{
    sim.drm.flipLatency = std::chrono::microseconds(0);
    sim.addDsiPanel(320, 240);
    StartJuce();
    KeyWindow window;

    const KeyCase cases[] = {
        {{}, KEY_LEFT, "VKEY_LEFT", "[0]"},
        {{}, KEY_RIGHT, "VKEY_RIGHT", "[0]"},
        {{}, KEY_UP, "VKEY_UP", "[0]"},
        {{}, KEY_DOWN, "VKEY_DOWN", "[0]"},
        {{}, KEY_HOME, "VKEY_HOME", "[0]"},
        {{}, KEY_END, "VKEY_END", "[0]"},
        {{}, KEY_PAGEUP, "VKEY_PAGEUP", "[0]"},
        {{}, KEY_INSERT, "VKEY_INSERT", "[0]"},
        {{}, KEY_DELETE, "VKEY_DELETE", "[127]"},
        {{}, KEY_F1, "VKEY_F1", "[0]"},
        {{}, KEY_F5, "VKEY_F5", "[0]"},
        {{}, KEY_F12, "VKEY_F12", "[0]"},
        {{}, KEY_TAB, "VKEY_TAB", "[9]"},
        {{KEY_LEFTSHIFT}, KEY_TAB, "Shift+VKEY_TAB", "Shift+[0]"},
        {{KEY_LEFTCTRL}, KEY_TAB, "Ctrl+Cmd+VKEY_TAB", "Ctrl+Cmd+[9]"},
        {{}, KEY_ENTER, "VKEY_RETURN", "[13]"},
        {{}, KEY_ESC, "VKEY_ESCAPE", "[27]"},
        {{}, KEY_BACKSPACE, "VKEY_BACK", "[8]"},
        {{}, KEY_SPACE, "VKEY_SPACE", "[32]"},
        {{}, KEY_KPENTER, "VKEY_RETURN", "[13]"},
        {{}, KEY_KP8, "VKEY_UP", "[0]"},
        {{}, KEY_KP1, "VKEY_END", "[0]"},
        {{}, KEY_KPMINUS, "VKEY_SUBTRACT", "[45]"},
        {{}, KEY_KPPLUS, "VKEY_ADD", "[43]"},
        {{}, KEY_KPASTERISK, "VKEY_MULTIPLY", "[42]"},
        {{}, KEY_KPSLASH, "VKEY_DIVIDE", "[47]"},
        {{}, KEY_A, "VKEY_A", "[97]"},
        {{KEY_LEFTSHIFT}, KEY_A, "Shift+VKEY_A", "Shift+[65]"},
        {{KEY_LEFTCTRL}, KEY_A, "Ctrl+Cmd+VKEY_A", "Ctrl+Cmd+[1]"},
        {{KEY_LEFTALT}, KEY_X, "Alt+VKEY_X", "Alt+[120]"},
        {{}, KEY_7, "VKEY_7", "[55]"},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.virtualKey);
        window.keys.clear();
        for (auto held : c.held)
            sim.input.key((uint32_t)held, true);
        sim.input.tapKey((uint32_t)c.key);
        for (auto held : c.held)
            sim.input.key((uint32_t)held, false);
        ASSERT_TRUE(DispatchUntil([&] { return !window.keys.empty(); }));

        const auto codes = Vx::KeyCodesFromJuceKeyPress(window.keys.front());
        EXPECT_EQ(Text(codes.virtualKey), c.virtualKey);
        EXPECT_EQ(Text(codes.character), c.character);
    }
}

TEST(OSWindowModifiers, PointerAndKeyEventsMapJucesModifiersAsTheFrameworkNeedsThem)
{
    using juce::ModifierKeys;
    const struct
    {
        int juce;
        std::uint32_t pointer;
        std::uint32_t key;
        int button;
    } cases[] = {
        {0, 0, 0, 0},
        {ModifierKeys::shiftModifier, Vx::kModifierShift, Vx::kModifierShift, 0},
        {ModifierKeys::ctrlModifier, Vx::kModifierCtrl, Vx::kModifierCtrl | Vx::kModifierCmd, 0},
        {ModifierKeys::altModifier, Vx::kModifierAlt, Vx::kModifierAlt, 0},
        {ModifierKeys::leftButtonModifier | ModifierKeys::rightButtonModifier, 0, 0, 1},
        {ModifierKeys::rightButtonModifier | ModifierKeys::middleButtonModifier, 0, 0, 4},
        {ModifierKeys::middleButtonModifier | ModifierKeys::shiftModifier, Vx::kModifierShift, Vx::kModifierShift, 2},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.juce);
        const ModifierKeys modifiers(c.juce);
        EXPECT_EQ(Vx::ModifierFlagsFromJuce(modifiers, false), c.pointer);
        EXPECT_EQ(Vx::ModifierFlagsFromJuce(modifiers, true), c.key);
        EXPECT_EQ(Vx::PointerButtonFromJuce(modifiers), c.button);
    }
}

TEST(OSWindowCursors, TheDefaultCursorNameIsTheArrowsTextInABufferOfItsOwn)
{
    EXPECT_EQ(std::string(Vx::UI_CURSOR_DEFAULT.GetCString()), "UI_CURSOR_ARROW");
    EXPECT_NE(Vx::UI_CURSOR_DEFAULT.GetCString(), Vx::UI_CURSOR_ARROW.GetCString());
    EXPECT_EQ(std::string(Vx::UI_CURSOR_MAG_MINUS.GetCString()), "UI_CURSOR_MAG_MINUS");
}
