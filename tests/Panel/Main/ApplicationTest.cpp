// The application object: its start-up in a sandbox (the simulated device's
// system tree, shell tools, sound cards, MIDI ports and a private system bus),
// and its own answers for paths and cursors.

#include "Panel/Main/Application.h"

#include "JuceBackend/juce_linux_SequencerCalls.h"
#include "Panel/Engine/TestAppCommon/TestFactory.h"
#include "Panel/Engine/VB05Common/BluetoothTest.h"
#include "Panel/Main/MidiStartup.h"
#include "VxFramework/Application/OSWindowJuce.h"
#include "VxFramework/ControlBase/ControlFactory.h"
#include "VxFramework/ControlBase/RootWindow.h"
#include "VxFramework/Renderer/Renderer.h"
#include "sim/SimControllerBoard.h"
#include "sim/SimSequencer.h"
#include "sim/SimulatedDevice.h"
#include "sim/alsa/SimAlsa.h"
#include "tests/support/CaptureStderr.h"
#include "tests/support/DBusTestBus.h"
#include "tests/support/SimTools.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using VxTest::CaptureStderr;
using String = Vx::LApplication::String;

namespace
{
int CountAssertions(const std::string& err, const char* file)
{
    int count = 0;
    for (auto at = err.find(file); at != std::string::npos; at = err.find(file, at + 1))
        ++count;
    return count;
}

std::string ReadFile(const juce::File& file)
{
    std::ifstream stream(file.getFullPathName().toStdString());
    std::stringstream text;
    text << stream.rdbuf();
    return text.str();
}

// The simulated device with JUCE running on it, and an application object on
// the project's resources.
class ApplicationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mDevice.addDsiPanel(800, 480);
        mDevice.install();
        mJuce = std::make_unique<juce::ScopedJuceInitialiser_GUI>();
        mFactory = Vx::MakeRCPtr<Vx::LControlFactory>(String());
        ASSERT_GE(mFactory->LoadResources(String(VX_SOURCE_DIR "/Resources"), 9), 0);
        mApp = Vx::LApplication::CreateInstance(mFactory, mFactory->GetFrameworkStringTable(), String());
    }

    void TearDown() override
    {
        if (!mApp.IsNull())
            mApp->OnShutdown();
        mApp = nullptr;
        mFactory = nullptr;
        mJuce.reset();
        mDevice.uninstall();
    }

    Sim::SimulatedDevice mDevice;
    std::unique_ptr<juce::ScopedJuceInitialiser_GUI> mJuce;
    Vx::RCPtr<Vx::LControlFactory> mFactory;
    Vx::RCPtr<Vx::LApplication> mApp;
};

// Start-up with everything attached that the simulated device has.
class StartupTest : public ApplicationTest
{
protected:
    void SetUp() override
    {
        std::string why;
        if (!VxTest::PrivateSystemBus::Start(why))
            GTEST_SKIP() << why;
        // After the bus: its daemon is the machine's own.
        mTools = std::make_unique<VxTest::ScopedSimTools>();
        ApplicationTest::SetUp();
        for (const char* radio : {"rfkill0", "rfkill1"})
            mDevice.writeSystemFile(std::string("/sys/class/rfkill/") + radio + "/soft", "1\n", 2);

        Sim::SimSoundCard card;
        card.id = "Mic";
        // Names come from outside: a format directive in one is text.
        card.description = "Mic 100%s %d Gain";
        card.playback = Sim::SimPcmStream();
        mAlsa.setCards({card});
        // An input alone, which is listed but never asked.
        mSequencer.addDevice("Pad 100%n", {{"Pad 100%n MIDI 1", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ}});
    }

    void TearDown() override
    {
        ApplicationTest::TearDown();
        mTools.reset();
        VxTest::PrivateSystemBus::Stop();
    }

    std::unique_ptr<VxTest::ScopedSimTools> mTools;
    Sim::SimAlsa mAlsa;
    Sim::SimSequencer mSequencer;
    juce::ScopedSequencerCalls mSequencerScope{mSequencer};
    Sim::SimControllerBoard mBoard{mSequencer, "Control Surface"};
};
} // namespace

TEST_F(StartupTest, BringsTheDeviceIntoAKnownStateAndGreetsTheControlSurface)
{
    CaptureStderr capture;
    const Vx::VxRESULT result = mApp->RunApplicationStartup();
    const std::string err = capture.Finish();
    EXPECT_GE(result, 0) << err;

    // The shell tools in order, each once; nothing is attached to unmount.
    const std::vector<std::vector<std::string>> expected = {
        {"vb05-usbmux-switch", "external"},    {"vb05-usbmux-switch", "internal"}, {"hciconfig", "hci0", "up"},
        {"systemctl", "restart", "bluetooth"}, {"connmanctl", "enable", "wifi"},   {"connmanctl", "scan", "wifi"},
    };
    EXPECT_EQ(mTools->Calls(), expected);

    for (const char* radio : {"rfkill0", "rfkill1"})
        EXPECT_EQ(ReadFile(mDevice.getSystemFile(juce::String("/sys/class/rfkill/") + radio + "/soft")), "0") << radio;
    EXPECT_NE(err.find("Audio device found: 1\n"), std::string::npos) << err;
    EXPECT_NE(err.find("Audio device #0: \"Mic 100%s %d Gain\"\n"), std::string::npos) << err;
    EXPECT_NE(err.find(":  Pad 100%n\n"), std::string::npos) << err;
    EXPECT_NE(err.find("Sending INIT command to control surface: F0003A517F0E60000404010100F7"), std::string::npos);

    mBoard.waitUntilIdle();
    const auto messages = mBoard.getReceivedMessages();
    ASSERT_FALSE(messages.empty());
    const std::vector<std::uint8_t> init = {0xF0, 0x00, 0x3A, 0x51, 0x7F, 0x0E, 0x60,
                                            0x00, 0x04, 0x04, 0x01, 0x01, 0x00, 0xF7};
    EXPECT_EQ(messages.back(), init);

    // The lower layers reach the services through the hooks.
    EXPECT_EQ(Vx::GetApplicationTestEngineFactory().Get(), mApp->GetTestEngineFactory().Get());
    EXPECT_EQ(Vx::GetApplicationTestFactory().Get(), mApp->GetTestFactory().Get());
    EXPECT_EQ(Vx::GetApplicationMidiManager().Get(), mApp->GetMidiManager().Get());
    EXPECT_FALSE(mApp->GetTestFactory().IsNull());
    EXPECT_FALSE(mApp->GetRootModuleEngine().IsNull());
    EXPECT_FALSE(Vx::VB05::GetApplicationBluetoothManager().IsNull());
}

TEST_F(StartupTest, WithoutControlSurfaceStartsUpSilently)
{
    mBoard.unplug();
    CaptureStderr capture;
    EXPECT_GE(mApp->RunApplicationStartup(), 0);
    const std::string err = capture.Finish();
    EXPECT_EQ(err.find("Sending INIT command"), std::string::npos) << err;
    EXPECT_EQ(CountAssertions(err, " Application.cpp:"), 0) << err;
}

TEST_F(ApplicationTest, HomeAliasesAndCursors)
{
    for (const int id : {5, 6})
        EXPECT_STREQ(mApp->GetPath(id).GetCString(), mApp->GetPath(4).GetCString()) << id;

    const struct
    {
        const String* name;
        bool null;
        int assertions;
        bool unimplemented;
    } cases[] = {
        // Before any cursor was made the current one is null.
        {&Vx::UI_CURSOR_DROP_COPY, true, 0, true}, {&Vx::UI_CURSOR_DROP_MOVE, true, 0, true},
        {&Vx::UI_CURSOR_SPLIT_V, true, 1, false},  {&Vx::UI_CURSOR_MAG_MINUS, true, 1, false},
        {&Vx::UI_CURSOR_HAND, false, 0, false},
    };
    for (const auto& c : cases)
    {
        CaptureStderr capture;
        juce::MouseCursor* const cursor = mApp->LoadCursor(*c.name);
        const std::string err = capture.Finish();
        EXPECT_EQ(cursor == nullptr, c.null) << c.name->GetCString();
        EXPECT_EQ(CountAssertions(err, " Application.cpp:"), c.assertions) << c.name->GetCString();
        EXPECT_EQ(err.find("LoadCursor unimplemented\n") != std::string::npos, c.unimplemented) << err;
    }

    // Now a cursor exists: the drop cursors answer it.  An equal text of
    // another buffer is the base's unknown name.
    juce::MouseCursor* const hand = mApp->GetCurrentCursor();
    EXPECT_EQ(mApp->LoadCursor(Vx::UI_CURSOR_DROP_MOVE), hand);
    CaptureStderr capture;
    EXPECT_NE(mApp->LoadCursor(String("UI_CURSOR_DROP_COPY")), nullptr);
    const std::string err = capture.Finish();
    EXPECT_EQ(CountAssertions(err, " ApplicationBaseJuce.cpp:"), 1) << err;
    EXPECT_EQ(err.find("LoadCursor unimplemented"), std::string::npos) << err;
}

TEST_F(ApplicationTest, MainWindowFillsTheDisplayAndHostsRootWindowZero)
{
    CaptureStderr capture;
    ASSERT_GE(mApp->CreateMainWindow(mApp->GetMainRendererKind()), 0);
    ASSERT_GE(mApp->CreateMainControl(), 0);
    const std::string err = capture.Finish();
    EXPECT_EQ(CountAssertions(err, " ApplicationBaseJuce.cpp:"), 0) << err;

    const auto* const window = dynamic_cast<Vx::OSWindow*>(mApp->GetMainWindow());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->GetRootWindow().Get(), mApp->GetRootWindow(0).Get());
    // The skin sizes the main control from its parent: the display.
    EXPECT_EQ(window->getBounds(), juce::Rectangle<int>(0, 0, 800, 480));
    EXPECT_EQ(mApp->GetRootWindow(0)->GetTopControl().Get(), mApp->GetMainControl().Get());
    EXPECT_FALSE(mApp->GetMainControl().IsNull());

    // A control window over it: the next root window, with the same renderer.
    const Vx::RCPtr<Vx::LControl> control = mFactory->CreateTopLevelControl(String("mainControl"), nullptr);
    ASSERT_FALSE(control.IsNull());
    EXPECT_EQ(mApp->OpenWindow(control, true, false, false), 1);
    ASSERT_EQ(mApp->GetRootWindows().GetCount(), 2u);
    EXPECT_EQ(mApp->GetRootWindow(1)->GetRenderer().Get(), mApp->GetRootWindow(0)->GetRenderer().Get());
    EXPECT_EQ(mApp->GetRootWindow(1)->GetTopControl().Get(), control.Get());

    // Closed as the exit request closes it: the window goes with its root window.
    const Vx::RCPtr<Vx::LRootWindow> second = mApp->GetRootWindow(1);
    ASSERT_GE(second->RequestClose(0), 0);
    second->ProcessIdle(false);
    EXPECT_EQ(mApp->GetRootWindows().GetCount(), 1u);
}

TEST_F(ApplicationTest, MainWindowOfAnotherRendererKindThrowsAndLeavesNoRootWindow)
{
    EXPECT_THROW(mApp->CreateMainWindow(2), std::domain_error);
    EXPECT_EQ(mApp->GetRootWindows().GetCount(), 0u);
    EXPECT_LT(mApp->CreateMainControl(), 0);
}

TEST(ApplicationStartup, FailedFrameworkStartupIsReturnedAndTouchesNothing)
{
    // Without a control factory the framework's start-up fails after its box.
    VxTest::ScopedSimTools tools;
    std::vector<std::string> boxes;
    const Vx::ScopedMessageBoxPresenter presenter([&boxes](const Vx::MessageBoxRequest& request) {
        boxes.push_back(request.title.toStdString());
        return 0;
    });
    const Vx::RCPtr<Vx::LApplication> app = Vx::LApplication::CreateInstance(nullptr, nullptr, String());

    CaptureStderr capture;
    EXPECT_EQ(app->RunApplicationStartup(), static_cast<Vx::VxRESULT>(0x80000008));
    const std::string err = capture.Finish();
    EXPECT_EQ(boxes, std::vector<std::string>{"Error"});
    EXPECT_TRUE(tools.Calls().empty());
    EXPECT_TRUE(app->GetTestEngineFactory().IsNull());
    EXPECT_TRUE(app->GetTestFactory().IsNull());
    EXPECT_TRUE(app->GetRootModuleEngine().IsNull());
    EXPECT_TRUE(app->GetMidiManager().IsNull());
    EXPECT_EQ(err.find("Sending INIT"), std::string::npos) << err;
}
