// What the OS window makes of JUCE's keys and modifiers, with the keys coming
// from the simulated device's keyboard through the real backend and xkbcommon.

#include "VxFramework/Application/OSWindowJuce.h"

#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Renderer/Renderer.h"
#include "tests/JuceBackend/DisplayTestSupport.h"
#include "tests/VxFramework/Application/ApplicationDoubles.h"
#include "tests/VxFramework/ControlBase/RootWindowHarness.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>

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

//==============================================================================
// The OS window on the simulated device, hosting a root window of an
// application double.
namespace
{
class WindowApplication : public VxTest::TestApplication
{
public:
    using TestApplication::TestApplication;

    void OnPowerButtonPressed() override { mLog->push_back("power button"); }

    juce::MouseCursor* LoadCursor(const String& name) override
    {
        mLog->push_back(std::string("load cursor:") + name.GetCString());
        return &mWaitCursor;
    }

    juce::MouseCursor mWaitCursor{juce::MouseCursor::WaitCursor};
};

class OSWindowTest : public VxTest::JucePlatformTest
{
protected:
    void SetUp() override
    {
        sim.drm.flipLatency = std::chrono::microseconds(0);
        sim.addDsiPanel(320, 240);
        StartJuce();
        mStatusBar = Vx::MakeRCPtr<VxTest::FakeStatusBar>();
        mApp = Vx::MakeRCPtr<WindowApplication>(&mLog);
        mApp->mStatusBar = mStatusBar;
        ASSERT_EQ(mApp->RunApplicationStartup(), Vx::VXR_OK);
    }

    void TearDown() override
    {
        delete mMain.getComponent();
        delete mSecond.getComponent();
        mApp = nullptr;
        mStatusBar = nullptr;
        JucePlatformTest::TearDown();
    }

    // The main window over the whole screen, and a second window beside it.
    void OpenWindows()
    {
        auto* main = new Vx::OSWindow();
        main->SetBounds(Vx::RectT<int>{0, 0, 200, 240});
        main->ShowWindow(5);
        ASSERT_EQ(main->CreateRootWindow(Vx::LRenderer::kJUCERendererKind), Vx::VXR_OK);
        mMain = main;

        auto* second = new Vx::OSWindow();
        second->SetBounds(Vx::RectT<int>{200, 0, 120, 240});
        second->ShowWindow(5);
        ASSERT_EQ(second->AttachRenderer(Vx::LRenderer::CreateRenderer(Vx::LRenderer::kJUCERendererKind,
                                                                       Vx::RectT<int>{0, 0, 120, 240}, 0)),
                  Vx::VXR_OK);
        mSecond = second;
        ASSERT_TRUE(WaitUntilPainted());
    }

    VxTest::Log mLog;
    Vx::RCPtr<VxTest::FakeStatusBar> mStatusBar;
    Vx::RCPtr<WindowApplication> mApp;
    juce::Component::SafePointer<Vx::OSWindow> mMain;
    juce::Component::SafePointer<Vx::OSWindow> mSecond;
};

bool Contains(const VxTest::Log& log, const std::string& entry)
{
    return std::find(log.begin(), log.end(), entry) != log.end();
}
} // namespace

TEST_F(OSWindowTest, TheRootWindowsAreTheApplicationsAndOnlyTheFirstIsTheMainWindow)
{
    OpenWindows();
    ASSERT_EQ(mApp->GetRootWindows().GetCount(), 2u);
    EXPECT_EQ(mApp->GetRootWindow(0), mMain->GetRootWindow());
    EXPECT_EQ(mApp->GetRootWindow(1), mSecond->GetRootWindow());
    EXPECT_TRUE(mMain->IsMainWindow());
    EXPECT_FALSE(mSecond->IsMainWindow());
    EXPECT_EQ(mMain->GetRootWindow()->GetOSWindow(), static_cast<Vx::IWindowOSServices*>(mMain.getComponent()));

    delete mSecond.getComponent();
    EXPECT_EQ(mApp->GetRootWindows().GetCount(), 1u) << "a window takes its root window along";

    // Only the JUCE renderer exists.
    const std::unique_ptr<Vx::OSWindow> third(new Vx::OSWindow());
    EXPECT_THROW(third->CreateRootWindow(2), Vx::Exception<std::domain_error>);
    EXPECT_TRUE(third->GetRootWindow().IsNull());
    EXPECT_EQ(mApp->GetRootWindows().GetCount(), 1u);
}

TEST_F(OSWindowTest, OnlyTheMainWindowsCloseButtonRequestsTheExit)
{
    OpenWindows();

    mSecond->closeButtonPressed();
    Vx::LFrameworkApp::ProcessNotificationCenters(false);
    EXPECT_EQ(mApp->mQuitRequests, 0);
    // The second window's root window closes it at its next idle pass.
    mApp->ProcessIdle(false);
    EXPECT_EQ(mSecond.getComponent(), nullptr);

    mMain->closeButtonPressed();
    Vx::LFrameworkApp::ProcessNotificationCenters(false);
    EXPECT_EQ(mApp->mQuitRequests, 1);
}

TEST_F(OSWindowTest, ThePowerKeyReachesTheApplicationThroughTheMainWindowOnly)
{
    OpenWindows();

    // The pointer is where the first finger was.
    for (const int x : {250, 50})
    {
        sim.input.touchDown(0, x * 4096.0 / 320, 100 * 4096.0 / 240);
        sim.input.touchUp(0);
        sim.input.tapKey(KEY_POWER);
        sim.input.queueEventOfType(0);
        juce::MessageManager::getInstance()->runDispatchLoopUntil(50);
        EXPECT_EQ(Contains(mLog, "power button"), x == 50) << x;
    }
}

TEST_F(OSWindowTest, ShowCodesChangeVisibilityAndFullScreen)
{
    OpenWindows();
    struct
    {
        int code;
        bool visible;
        bool fullScreen;
    } const steps[] = {
        {0, false, false}, {5, true, false},  {3, true, true},  {1, true, false},  {3, true, true},
        {9, true, false},  {0, false, false}, {9, true, false}, {10, true, false}, {12, true, false},
        {6, true, false},  {3, true, true},   {6, true, true},
    };

    for (const auto& step : steps)
    {
        SCOPED_TRACE(step.code);
        EXPECT_EQ(mMain->ShowWindow(step.code), Vx::VXR_OK);
        EXPECT_EQ(mMain->isVisible(), step.visible);
        EXPECT_EQ(mMain->isFullScreen(), step.fullScreen);
    }
}

TEST_F(OSWindowTest, WindowServicesAnswerInTheWindowsOwnCoordinates)
{
    OpenWindows();
    Vx::RectT<int> client{-1, -1, -1, -1};
    EXPECT_EQ(mSecond->GetClientRect(client), Vx::VXR_OK);
    EXPECT_EQ(client, (Vx::RectT<int>{0, 0, 120, 240})) << "the native title bar takes no room";

    const Vx::PointT<int> screen = mSecond->ClientToScreen(Vx::PointT<int>{5, 7});
    EXPECT_EQ(screen, (Vx::PointT<int>{205, 7}));
    EXPECT_EQ(mSecond->ScreenToClient(screen), (Vx::PointT<int>{5, 7}));

    EXPECT_EQ(mSecond->SetTitle("Kalibrierung \xC3\xBC"), Vx::VXR_OK);
    EXPECT_EQ(mSecond->GetNativeHandle(), nullptr);
    EXPECT_EQ(mSecond->SetTextEntryMode(true, 3), Vx::VXR_OK);

    // The pointer is where the first finger was.
    sim.input.touchDown(0, 250 * 4096.0 / 320, 100 * 4096.0 / 240);
    ASSERT_TRUE(DispatchUntil([&] { return mSecond->GetMousePosition() == Vx::PointT<int>{50, 100}; }));
    EXPECT_EQ(mSecond->GetHeldButtons(), Vx::IWindowOSServices::kButtonLeft);
    sim.input.touchUp(0);
    ASSERT_TRUE(DispatchUntil([&] { return mSecond->GetHeldButtons() == 0; }));
}

TEST_F(OSWindowTest, SetCursorShowsTheNormalCursorAndHandsBackTheOneBefore)
{
    OpenWindows();
    mMain->setMouseCursor(juce::MouseCursor::CrosshairCursor);
    juce::MouseCursor wait(juce::MouseCursor::WaitCursor);
    const juce::MouseCursor* before = mMain->SetCursor(&wait);
    ASSERT_NE(before, nullptr);
    EXPECT_EQ(*before, juce::MouseCursor(juce::MouseCursor::CrosshairCursor));
    EXPECT_EQ(mMain->getMouseCursor(), juce::MouseCursor(juce::MouseCursor::NormalCursor));
}

TEST_F(OSWindowTest, AModalLoopRunsUntilCloseEndsItWithItsResult)
{
    auto* window = new Vx::OSWindow();
    juce::Component::SafePointer<Vx::OSWindow> safe(window);
    EXPECT_FALSE(window->IsInModalLoop());
    bool inLoop = false;
    juce::MessageManager::callAsync([&] {
        inLoop = safe->IsInModalLoop();
        safe->Close(7);
    });
    EXPECT_EQ(window->RunModalLoop(), 7);
    EXPECT_TRUE(inLoop);
    EXPECT_EQ(safe.getComponent(), nullptr);
}

TEST_F(OSWindowTest, TheWaitCursorScopeShowsTheWaitCursorAndTheTextForItsLifetime)
{
    OpenWindows();
    // With one window, it is the active one or else root window 0.
    delete mSecond.getComponent();
    mMain->setMouseCursor(juce::MouseCursor::CrosshairCursor);
    {
        const Vx::WaitCursorScope scope("Loading skin");
        EXPECT_TRUE(Contains(mLog, "load cursor:UI_CURSOR_WAIT"));
        EXPECT_TRUE(Contains(mStatusBar->mLog, "now:Loading skin") || Contains(mStatusBar->mLog, "post:Loading skin"));
    }
    EXPECT_EQ(mMain->getMouseCursor(), juce::MouseCursor(juce::MouseCursor::NormalCursor));
    EXPECT_GE(mStatusBar->mLog.size(), 2u) << "the status text is restored";
}

TEST_F(OSWindowTest, TapsAndKeysFromTheDeviceReachTheControlsThroughTheRootWindow)
{
    OpenWindows();
    VxTest::Trace trace;
    VxTest::CallControl::Sink() = &trace;
    const Vx::RCPtr<VxTest::CallControl> pad(new VxTest::CallControl(nullptr, "pad"));
    pad->SetVisible(true);
    pad->SetEnabled(true);
    // Ups go to the control that holds the capture.
    pad->mCaptures = true;
    mMain->GetRootWindow()->SetTopControl(pad);
    // An opaque look to be hit on, and the focus for the keys.
    pad->AddWeightedLook(VxTest::MakeLook(VxTest::Offsets(0, 0, 0, 0)), 1.0f);
    mMain->GetRootWindow()->SetFocusControl(pad);
    // The root window takes input only while its window is the active one.
    mMain->BringToFront();
    ASSERT_TRUE(mMain->IsActive());
    auto keys = [&] {
        return std::count_if(trace.begin(), trace.end(),
                             [](const std::string& s) { return s.rfind("pad: key", 0) == 0; });
    };

    // A tap of the first finger, one of the second, then Ctrl+A.
    sim.input.touchDown(0, 50 * 4096.0 / 320, 100 * 4096.0 / 240);
    sim.input.touchUp(0);
    sim.input.touchDown(1, 60 * 4096.0 / 320, 90 * 4096.0 / 240);
    sim.input.touchUp(1);
    sim.input.key(KEY_LEFTCTRL, true);
    sim.input.tapKey(KEY_A);
    sim.input.key(KEY_LEFTCTRL, false);
    ASSERT_TRUE(DispatchUntil([&] { return keys() == 2; }));

    VxTest::Trace relevant;
    for (const auto& entry : trace)
        if (entry.rfind("pad: down", 0) == 0 || entry.rfind("pad: up", 0) == 0 || entry.rfind("pad: key", 0) == 0)
            relevant.push_back(entry);
    VxTest::CallControl::Sink() = nullptr;

    EXPECT_EQ(relevant, (VxTest::Trace{
                            "pad: down 1 at 50,100 dbl=0 held=1 mods=0x0 src=0",
                            "pad: up 1 at 50,100 dbl=0 held=0 mods=0x0 src=0",
                            // The held buttons are the main mouse source's (the first finger's).
                            "pad: down 1 at 60,90 dbl=0 held=0 mods=0x0 src=1",
                            "pad: up 1 at 60,90 dbl=0 held=0 mods=0x0 src=1",
                            // The virtual key first, then the character, both with Ctrl and Cmd.
                            "pad: key 0x29410000",
                            "pad: key 0x9000001",
                        }));
    mMain->GetRootWindow()->SetTopControl(nullptr);
}

TEST_F(OSWindowTest, PaintingShowsWhatTheRootWindowPaintsInItsDirtyRegion)
{
    OpenWindows();
    const auto green = juce::Colour(0xFF00FF00);
    const auto red = juce::Colour(0xFFFF0000);
    const Vx::RCPtr<VxTest::TestControl> pad(new VxTest::TestControl(nullptr, "pad"));
    pad->SetVisible(true);
    const Vx::RCPtr<Vx::LRootWindow>& root = mMain->GetRootWindow();
    pad->AddWeightedLook(VxTest::MakeLook(VxTest::Offsets(0, 0, 0, 0), nullptr, false, green.getARGB()), 1.0f);
    root->SetTopControl(pad);

    auto shown = [&](int x, int y) { return sim.drm.getScanoutImage(Screen().getCrtcId()).getPixelAt(x, y); };
    root->InvalidateAll();
    ASSERT_TRUE(WaitUntilPainted());
    EXPECT_EQ(shown(150, 200), green);
    EXPECT_NE(shown(250, 200), green) << "the second window is not the main window's";

    // A look over it, which the window shows only where it is repainted.
    pad->AddWeightedLook(VxTest::MakeLook(VxTest::Offsets(0, 0, 0, 0), nullptr, false, red.getARGB()), 1.0f);
    root->Invalidate(Vx::RectT<int>{10, 20, 30, 40});
    ASSERT_TRUE(WaitUntilPainted());
    EXPECT_EQ(shown(10, 20), red);
    EXPECT_EQ(shown(39, 59), red);
    EXPECT_EQ(shown(40, 60), green);
    EXPECT_EQ(shown(150, 200), green);
    root->SetTopControl(nullptr);
}

TEST_F(OSWindowTest, AnotherThreadsInvalidationRepaintsAndResizingReachesTheRootWindow)
{
    OpenWindows();
    const auto green = juce::Colour(0xFF00FF00);
    const Vx::RCPtr<VxTest::TestControl> pad(new VxTest::TestControl(nullptr, "pad"));
    pad->SetVisible(true);
    const Vx::RCPtr<Vx::LRootWindow>& root = mMain->GetRootWindow();
    root->SetTopControl(pad);
    ASSERT_TRUE(WaitUntilPainted());
    pad->AddWeightedLook(VxTest::MakeLook(VxTest::Offsets(0, 0, 0, 0), nullptr, false, green.getARGB()), 1.0f);

    // The repaint request waits for the message thread, which keeps running.
    std::atomic<bool> done{false};
    std::thread other([&] {
        root->Invalidate(Vx::RectT<int>{0, 0, 200, 240});
        done = true;
    });
    ASSERT_TRUE(DispatchUntil([&] { return done.load(); }));
    other.join();
    ASSERT_TRUE(WaitUntilPainted());
    EXPECT_EQ(sim.drm.getScanoutImage(Screen().getCrtcId()).getPixelAt(100, 100), green);

    EXPECT_EQ(mMain->SetBounds(Vx::RectT<int>{0, 0, 150, 200}), Vx::VXR_OK);
    EXPECT_EQ(pad->GetBounds(), (Vx::RectT<double>{0, 0, 150, 200})) << "the top control fills the window";
    root->SetTopControl(nullptr);
}
