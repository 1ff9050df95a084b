// Input from libinput on the simulated device: touch, the absolute pointer and
// its wheel, keys through the real xkbcommon, the power key.

#include "tests/JuceBackend/DisplayTestSupport.h"

#include "JuceBackend/juce_linuxfb_SystemKeyHandler.h"
#include "JuceBackend/native/juce_linuxfb_Input.h"
#include "tests/support/CaptureStderr.h"
#include "tests/support/ChildProcess.h"

#include <linux/input-event-codes.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <vector>

using VxTest::JucePlatformTest;

namespace
{
constexpr int kWidth = 320;
constexpr int kHeight = 240;

// A top-level window that writes down what reaches it.
class InputWindow : public juce::Component, public juce::SystemKeyHandler
{
public:
    explicit InputWindow(juce::Rectangle<int> bounds)
    {
        setOpaque(true);
        setBounds(bounds);
        addToDesktop(0);
        setVisible(true);
    }

    void paint(juce::Graphics& g) override { g.fillAll(juce::Colours::black); }

    void mouseDown(const juce::MouseEvent& e) override { Record("down", e); }
    void mouseUp(const juce::MouseEvent& e) override { Record("up", e); }
    void mouseDrag(const juce::MouseEvent& e) override { Record("drag", e); }
    // JUCE adds moves of its own (before a down at a new place, after a
    // modifier change): recorded only where a test asks.
    void mouseMove(const juce::MouseEvent& e) override
    {
        if (recordMoves)
            Record("move", e);
    }

    void mouseWheelMove(const juce::MouseEvent& e, const juce::MouseWheelDetails& wheel) override
    {
        log.push_back("wheel " + Position(e) + " " + juce::String(wheel.deltaX).toStdString() + " " +
                      juce::String(wheel.deltaY).toStdString());
    }

    bool keyPressed(const juce::KeyPress& key) override
    {
        keys.push_back(key);
        log.push_back("key");
        return true;
    }

    bool keyStateChanged(bool isKeyDown) override
    {
        log.push_back(isKeyDown ? "keydown" : "keyup");
        return true;
    }

    void modifierKeysChanged(const juce::ModifierKeys&) override { log.push_back("modifiers"); }

    void systemPowerKeyPressed() override { log.push_back("power"); }
    void systemPowerKeyReleased() override { log.push_back("power released"); }

    std::vector<std::string> log;
    std::vector<juce::KeyPress> keys;
    bool recordMoves = false;

private:
    static std::string Position(const juce::MouseEvent& e)
    {
        return "(" + std::to_string(e.getPosition().x) + "," + std::to_string(e.getPosition().y) + ")";
    }

    void Record(const char* what, const juce::MouseEvent& e)
    {
        const auto& source = e.source;
        log.push_back(std::string(what) + " " + std::to_string(source.getIndex()) +
                      (source.isTouch() ? " touch " : " mouse ") + Position(e) +
                      (e.mods.isLeftButtonDown() ? " L" : ""));
    }
};

// Raw touch-panel units for a screen position (the sim's range is 4096).
double RawX(double x)
{
    return x * 4096.0 / kWidth;
}
double RawY(double y)
{
    return y * 4096.0 / kHeight;
}

class Input : public JucePlatformTest
{
protected:
    void SetUp() override
    {
        sim.drm.flipLatency = std::chrono::microseconds(0);
        sim.addDsiPanel(kWidth, kHeight);
        StartJuce();
        window = std::make_unique<InputWindow>(juce::Rectangle<int>(20, 10, 200, 150));
        ASSERT_TRUE(WaitUntilPainted());
    }

    void TearDown() override
    {
        window.reset();
        JucePlatformTest::TearDown();
    }

    // Dispatches until the window's log has count entries (or a few seconds passed).
    bool WaitForLog(size_t count)
    {
        return DispatchUntil([&] { return window->log.size() >= count; });
    }

    // Lets everything queued so far be handled.
    void Settle()
    {
        sim.input.queueEventOfType(0);
        juce::MessageManager::getInstance()->runDispatchLoopUntil(30);
    }

    juce::Point<int> MousePosition() { return Device().getMousePosition(); }

    std::unique_ptr<InputWindow> window;
};

using Log = std::vector<std::string>;
} // namespace

TEST_F(Input, ATapReachesTheWindowAsDownDragUpWithTheLeftButtonOfTheMouseSource)
{
    sim.input.touchDown(0, RawX(50), RawY(40));
    sim.input.touchFrame();
    sim.input.touchMotion(0, RawX(60), RawY(45));
    sim.input.touchUp(0);
    ASSERT_TRUE(WaitForLog(3));
    Settle();

    // JUCE's up carries the button that went up.
    EXPECT_EQ(window->log, (Log{"down 0 mouse (30,30) L", "drag 0 mouse (40,35) L", "up 0 mouse (40,35) L"}));
    EXPECT_EQ(MousePosition(), juce::Point<int>(60, 45));
    EXPECT_FALSE(juce::ModifierKeys::getCurrentModifiersRealtime().isAnyMouseButtonDown());
}

TEST_F(Input, FurtherFingersAreTouchSourcesAndTheButtonIsHeldUntilTheLastLifts)
{
    sim.input.touchDown(0, RawX(50), RawY(40));
    sim.input.touchDown(1, RawX(100), RawY(100));
    sim.input.touchDown(4, RawX(150), RawY(100));
    ASSERT_TRUE(WaitForLog(3));
    EXPECT_EQ(MousePosition(), juce::Point<int>(50, 40)) << "only the first finger moves the pointer";

    sim.input.touchUp(0);
    sim.input.touchUp(4);
    ASSERT_TRUE(WaitForLog(5));
    EXPECT_TRUE(juce::ModifierKeys::getCurrentModifiersRealtime().isLeftButtonDown());

    sim.input.touchUp(1);
    ASSERT_TRUE(WaitForLog(6));
    EXPECT_FALSE(juce::ModifierKeys::getCurrentModifiersRealtime().isAnyMouseButtonDown());

    EXPECT_EQ(window->log, (Log{"down 0 mouse (30,30) L", "down 1 touch (80,90) L", "down 4 touch (130,90) L",
                                "up 0 mouse (30,30) L", "up 4 touch (130,90) L", "up 1 touch (80,90) L"}));
}

TEST_F(Input, BadTouchesAreDroppedOrMendedWithoutLosingTheButtonState)
{
    // An up and a motion without a down, and slots beyond the sources: nothing.
    sim.input.touchUp(2);
    sim.input.touchMotion(3, RawX(50), RawY(40));
    sim.input.touchDown(juce::LinuxFbInput::maxTouchSlots, RawX(50), RawY(40));
    sim.input.touchDown(1000000, RawX(50), RawY(40));
    Settle();
    EXPECT_TRUE(window->log.empty());

    // A panel without slots (-1) drives the first slot.
    sim.input.touchDown(-1, RawX(50), RawY(40));
    ASSERT_TRUE(WaitForLog(1));
    EXPECT_EQ(window->log.back(), "down 0 mouse (30,30) L");

    // A second down on an active slot ends the lost touch before it starts.
    sim.input.touchDown(0, RawX(70), RawY(40));
    ASSERT_TRUE(WaitForLog(3));
    sim.input.touchUp(-1);
    ASSERT_TRUE(WaitForLog(4));
    Settle();
    EXPECT_EQ(window->log, (Log{"down 0 mouse (30,30) L", "up 0 mouse (30,30) L", "down 0 mouse (50,30) L",
                                "up 0 mouse (50,30) L"}));
    EXPECT_FALSE(juce::ModifierKeys::getCurrentModifiersRealtime().isAnyMouseButtonDown());
}

TEST_F(Input, ATouchOnEmptyDesktopSendsNothingAndItsLaterEventsAreDropped)
{
    sim.input.touchDown(0, RawX(300), RawY(200));
    sim.input.touchMotion(0, RawX(100), RawY(100));
    sim.input.touchUp(0);
    Settle();
    EXPECT_TRUE(window->log.empty());
    EXPECT_EQ(MousePosition(), juce::Point<int>(100, 100)) << "the first finger still moves the pointer";
}

TEST_F(Input, TheAbsolutePointerMovesThePointerAndTheWheelScrollsWhereItIs)
{
    window->recordMoves = true;
    sim.input.pointerMoveTo(32767.0 * 100 / kWidth, 32767.0 * 60 / kHeight);
    sim.input.wheel(15.0, -5.0);
    sim.input.wheel(std::nullopt, 7.5);
    ASSERT_TRUE(WaitForLog(3));
    Settle();

    EXPECT_EQ(MousePosition(), juce::Point<int>(100, 60));
    ASSERT_GE(window->log.size(), 3u);
    EXPECT_EQ(Log(window->log.begin(), window->log.begin() + 3),
              (Log{"move 0 mouse (80,50)", "wheel (80,50) -5 -15", "wheel (80,50) 7.5 0"}));
}

TEST_F(Input, EventsOfOtherTypesAreIgnored)
{
    sim.input.queueEventOfType(1);   // device added
    sim.input.queueEventOfType(400); // relative motion
    sim.input.queueEventOfType(402); // button
    sim.input.touchFrame();
    Settle();
    EXPECT_TRUE(window->log.empty());
    EXPECT_EQ(sim.input.getNumTypeMismatches(), 0);
}

//==============================================================================
// Keys go to the window under the pointer, which the first finger puts there.
class Keys : public Input
{
protected:
    void SetUp() override
    {
        Input::SetUp();
        sim.input.touchDown(0, RawX(50), RawY(40));
        sim.input.touchUp(0);
        ASSERT_TRUE(WaitForLog(2));
        window->log.clear();
    }
};

namespace
{
struct KeyCase
{
    const char* name;
    std::vector<int> held; // evdev codes held (or toggled, for the locks) first
    int key;
    int juceCode; // 0: no key press
    juce::juce_wchar character;
};
} // namespace

TEST_F(Keys, EvdevCodesBecomeTheKeysymBasedCodes)
{
    constexpr int ext = 0x10000000;
    const KeyCase cases[] = {
        {"a", {}, KEY_A, 'a', 'a'},
        {"shift a", {KEY_LEFTSHIFT}, KEY_A, 'A', 'A'},
        {"ctrl a", {KEY_LEFTCTRL}, KEY_A, 1, 1},
        {"digit", {}, KEY_5, '5', '5'},
        {"left", {}, KEY_LEFT, ext | 0x51, 0},
        {"home", {}, KEY_HOME, ext | 0x50, 0},
        {"end", {}, KEY_END, ext | 0x57, 0},
        {"delete", {}, KEY_DELETE, ext | 0xff, 0x7f},
        {"f1", {}, KEY_F1, ext | 0xbe, 0},
        {"f12", {}, KEY_F12, ext | 0xc9, 0},
        {"tab", {}, KEY_TAB, 9, 9},
        {"shift tab", {KEY_LEFTSHIFT}, KEY_TAB, 9, 0},
        {"ctrl tab", {KEY_LEFTCTRL}, KEY_TAB, 9, 9},
        {"enter", {}, KEY_ENTER, 13, 13},
        {"keypad enter", {}, KEY_KPENTER, 13, 13},
        {"escape", {}, KEY_ESC, 27, 27},
        {"backspace", {}, KEY_BACKSPACE, 8, 8},
        {"keypad minus", {}, KEY_KPMINUS, 0xad, '-'},
        {"keypad plus", {}, KEY_KPPLUS, 0x2b, '+'},
        {"keypad 5 with num lock", {KEY_NUMLOCK}, KEY_KP5, 0x35, '5'},
        {"keypad up without num lock", {}, KEY_KP8, ext | 0x52, 0},
        {"volume up (a keysym above 0xffff)", {}, KEY_VOLUMEUP, 0, 0},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        window->log.clear();
        window->keys.clear();

        for (auto held : c.held)
            sim.input.key((uint32_t)held, true);
        if (c.held == std::vector<int>{KEY_NUMLOCK})
            sim.input.key(KEY_NUMLOCK, false);

        sim.input.key((uint32_t)c.key, true);
        sim.input.key((uint32_t)c.key, false);

        for (auto held : c.held)
            if (held != KEY_NUMLOCK)
                sim.input.key((uint32_t)held, false);
        if (c.held == std::vector<int>{KEY_NUMLOCK})
            sim.input.tapKey(KEY_NUMLOCK);
        Settle();

        if (c.juceCode == 0)
        {
            EXPECT_TRUE(window->keys.empty());
            continue;
        }

        ASSERT_EQ(window->keys.size(), 1u);
        EXPECT_EQ(window->keys[0].getKeyCode(), c.juceCode);
        EXPECT_EQ(window->keys[0].getTextCharacter(), c.character);
    }

    EXPECT_FALSE(juce::ModifierKeys::getCurrentModifiersRealtime().isAnyModifierKeyDown());
}

TEST_F(Keys, ModifiersChangeWithoutKeyUpsAndKeyStatesFollowTheKeys)
{
    sim.input.key(KEY_LEFTSHIFT, true);
    ASSERT_TRUE(WaitForLog(1));
    EXPECT_EQ(window->log, (Log{"modifiers"}));
    EXPECT_TRUE(juce::ModifierKeys::getCurrentModifiersRealtime().isShiftDown());

    sim.input.key(KEY_RIGHT, true);
    ASSERT_TRUE(WaitForLog(3));
    EXPECT_TRUE(juce::KeyPress::isKeyCurrentlyDown(juce::KeyPress::rightKey));
    EXPECT_FALSE(juce::KeyPress::isKeyCurrentlyDown(juce::KeyPress::leftKey));
    EXPECT_EQ(window->keys.back().getModifiers(), juce::ModifierKeys(juce::ModifierKeys::shiftModifier));

    sim.input.key(KEY_RIGHT, false);
    sim.input.key(KEY_LEFTSHIFT, false);
    ASSERT_TRUE(WaitForLog(5));
    EXPECT_FALSE(juce::KeyPress::isKeyCurrentlyDown(juce::KeyPress::rightKey));
    EXPECT_FALSE(juce::ModifierKeys::getCurrentModifiersRealtime().isShiftDown());
    EXPECT_EQ(window->log, (Log{"modifiers", "keydown", "key", "keyup", "modifiers"}));

    // Codes beyond the key-down bitmap are never down.
    for (int code : {0x10000, 0x1008ff2a, -1})
        EXPECT_FALSE(juce::KeyPress::isKeyCurrentlyDown(code)) << code;
}

TEST_F(Keys, ThePowerKeyGoesToTheWindowsSystemKeyHandlerAndItsReleaseIsAKeyUp)
{
    sim.input.key(KEY_POWER, true);
    sim.input.key(KEY_POWER, false);
    ASSERT_TRUE(WaitForLog(2));
    Settle();
    EXPECT_EQ(window->log, (Log{"power", "keyup"}));
    EXPECT_TRUE(window->keys.empty());
}

TEST_F(Keys, APowerKeyOverAWindowWithoutAHandlerIsReportedAndDropped)
{
    window.reset();
    VxTest::ColourWindow other(juce::Colours::red, {20, 10, 200, 150});
    VxTest::CaptureStderr capture;
    sim.input.key(KEY_POWER, true);
    Settle();
    EXPECT_NE(capture.Finish().find("**** Component failed to handle system key\n"), std::string::npos);
}

//==============================================================================
TEST(InputWithoutKeymap, AKeymapThatCannotBeBuiltAbortsTheBackend)
{
    const auto empty = juce::File::createTempFile("xkb");
    ASSERT_TRUE(empty.createDirectory());

    const auto result = VxTest::RunInChild([&] {
        // xkbcommon finds no keyboard data here.
        ::setenv("XKB_CONFIG_ROOT", empty.getFullPathName().toRawUTF8(), 1);
        ::setenv("HOME", empty.getFullPathName().toRawUTF8(), 1);
        ::setenv("XKB_LOG_LEVEL", "critical", 1);
        juce::LinuxFbInput::setUpKeyboard();
        return 0;
    });

    empty.deleteRecursively();
    EXPECT_TRUE(WIFSIGNALED(result.status) && WTERMSIG(result.status) == SIGABRT);
}

//==============================================================================
class InputBeforeFirstFrame : public JucePlatformTest
{
};

TEST_F(InputBeforeFirstFrame, TouchesAreDroppedAndEventsWithoutScreensToo)
{
    // No output at all: every kind of event is dropped.
    sim.install();
    platform = std::make_unique<juce::ScopedJuceInitialiser_GUI>();
    InputWindow window({0, 0, 100, 100});
    sim.input.touchDown(0, 10, 10);
    sim.input.touchUp(0);
    sim.input.pointerMoveTo(100, 100);
    sim.input.wheel(15.0);
    sim.input.tapKey(KEY_A);
    sim.input.queueEventOfType(0);
    juce::MessageManager::getInstance()->runDispatchLoopUntil(50);
    EXPECT_TRUE(window.log.empty());
}

TEST_F(InputBeforeFirstFrame, ATouchBeforeTheScreenShowedAFrameIsDropped)
{
    sim.addDsiPanel(kWidth, kHeight);
    sim.install();
    platform = std::make_unique<juce::ScopedJuceInitialiser_GUI>();
    const auto before = Device().getMousePosition();

    // Handled at once, before anything was painted (a window on the desktop
    // would paint at once); the first slot would move the pointer.
    ASSERT_FALSE(Screen().getFlipper().isReady());
    sim.input.touchDown(0, 10, 10);
    sim.input.libinputDispatch(nullptr);
    auto* event = sim.input.libinputGetEvent(nullptr);
    ASSERT_NE(event, nullptr);
    juce::LinuxFbInput::handleEvent(event);
    sim.input.libinputEventDestroy(event);

    EXPECT_EQ(Device().getMousePosition(), before);
}

//==============================================================================
namespace
{
struct TouchRotationCase
{
    int touchDegrees;
    double rawX, rawY;
    juce::Point<int> expected;
};

class TouchRotation : public JucePlatformTest, public ::testing::WithParamInterface<TouchRotationCase>
{
};
} // namespace

TEST_P(TouchRotation, MapsTheRawPanelOntoTheScreenClampedToIt)
{
    const auto& c = GetParam();
    sim.rga.present = true;
    sim.setDeviceTreeCell("korvatek,panel-rotation", 0);
    sim.setDeviceTreeCell("korvatek,touch-rotation", (uint32_t)c.touchDegrees);
    sim.addDsiPanel(kWidth, kHeight);
    StartJuce();

    sim.input.touchDown(0, c.rawX, c.rawY);
    ASSERT_TRUE(DispatchUntil([&] { return Device().getMousePosition() == c.expected; }))
        << Device().getMousePosition().toString();
}

INSTANTIATE_TEST_SUITE_P(
    Input, TouchRotation,
    ::testing::Values(TouchRotationCase{0, 0, 0, {0, 0}}, TouchRotationCase{0, 4096, 4096, {319, 239}},
                      TouchRotationCase{0, 5000, -100, {319, 0}}, TouchRotationCase{90, 0, 0, {0, 239}},
                      TouchRotationCase{90, 1024, 2048, {160, 180}}, TouchRotationCase{180, 0, 0, {319, 239}},
                      TouchRotationCase{270, 0, 0, {319, 0}}, TouchRotationCase{270, 1024, 2048, {160, 60}}));
