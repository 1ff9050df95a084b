#include "VxFramework/Application/FrameworkApp.h"

#include "VxFramework/Utilities/Storage/IniFileManager.h"
#include "tests/VxFramework/ControlBase/ControlDoubles.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <climits>
#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

using namespace VxTest;

namespace
{
constexpr int kNothingStored = INT_MIN;

// The application base's answers that the framework's start-up reads: the
// user settings file, the default font, the wait cursor.  The start-up, the
// skins and the shutdown are the framework's own.
class StartupApplication : public HarnessApplication
{
public:
    StartupApplication(Log* log, const Vx::RCPtr<Vx::LControlFactory>& factory) : HarnessApplication(log, factory) {}

    Vx::VxRESULT RunApplicationStartup() override { return LFrameworkApp::RunApplicationStartup(); }
    int GetCurrentSkinIndex() override { return LFrameworkApp::GetCurrentSkinIndex(); }
    Vx::VxRESULT LoadSkin(int index) override { return LFrameworkApp::LoadSkin(index); }
    Vx::VxRESULT OnShutdown() override { return LFrameworkApp::OnShutdown(); }

    Vx::IIniFileManager* GetIniFileManager() override { return mSettingsManager.Get(); }
    Vx::IniFileHandle GetSettings(int kind) override { return kind == 1 ? mUserSettings : nullptr; }
    Vx::VxRESULT GetDefaultFont(String& name, float& size, int& style) override
    {
        if (mDefaultFontFails)
            return Vx::VXR_E_FAIL;
        return HarnessApplication::GetDefaultFont(name, size, style);
    }
    juce::MouseCursor* LoadCursor(const String& name) override
    {
        mLog->push_back(std::string("load-cursor:") + name.GetCString());
        return &mCursor;
    }

    Vx::RCPtr<Vx::LIniFileManager> mSettingsManager;
    Vx::IniFileHandle mUserSettings = nullptr;
    bool mDefaultFontFails = false;
    juce::MouseCursor mCursor;
};

Vx::RCPtr<Vx::LControlDescriptor> Describe(const Vx::RCPtr<Vx::LControlDescriptor>& parent, const char* name)
{
    const Vx::RCPtr<Vx::LControlDescriptor> descriptor(
        new Vx::LControlDescriptor(ControlHarness::kControlClass, name, parent.Get()));
    descriptor->SetLayout(Vx::RCPtr<Vx::LLayoutDescriptor>(new Vx::LLayoutDescriptor()));
    const Vx::RCPtr<Vx::LSkinDescriptor> skin(new Vx::LSkinDescriptor(name));
    skin->lookList = new Vx::LookList();
    descriptor->SetSkin(skin);
    parent->AddChild(descriptor);
    return descriptor;
}

// Skins "skin<k>" with the font "Font<k>" of size 10 + k, each with a
// "mainControl" that has a "child" and an "other"; the application string table binds
// Ctrl+S to NID_SAVE.
Vx::RCPtr<Vx::LControlFactory> MakeFactory(int skins)
{
    const auto factory = Vx::MakeRCPtr<Vx::LControlFactory>("App");
    factory->RegisterControlType(ControlHarness::kControlClass, &Vx::CreateControl<TestControl>);
    for (int k = 0; k < skins; ++k)
    {
        const std::string name = "skin" + std::to_string(k);
        const Vx::RCPtr<Vx::LControlDescriptor> root(new Vx::LControlDescriptor("Application", name.c_str(), nullptr));
        const Vx::RCPtr<Vx::LSkinDescriptor> skin(new Vx::LSkinDescriptor(name.c_str()));
        skin->fontName = ("Font" + std::to_string(k)).c_str();
        skin->fontSize = 10.0f + static_cast<float>(k);
        root->SetSkin(skin);
        const Vx::RCPtr<Vx::LControlDescriptor> main = Describe(root, "mainControl");
        Describe(main, "child");
        Describe(main, "other");
        factory->AddSkinRoot(root);
    }
    factory->SetString("|App", "GHK.NID_SAVE", "Ctrl+VKEY_S");
    return factory;
}

int FrameworkAppAssertions(const std::string& err)
{
    return CountOf(err, "JUCE Assertion failure in FrameworkApp.cpp:");
}

class StartupTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mDirectory =
            std::filesystem::temp_directory_path() / ("vx-startup-" + std::to_string(::getpid()) + "-" +
                                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(mDirectory);
    }

    void TearDown() override
    {
        Release();
        std::filesystem::remove_all(mDirectory);
    }

    // A new application over a factory with the skins; with settings, its
    // user settings file holds the stored index (unless kNothingStored).
    void Make(int skins, bool withSettings = true, int stored = kNothingStored)
    {
        Release();
        factory = MakeFactory(skins);
        app = Vx::MakeRCPtr<StartupApplication>(&log, factory);
        if (!withSettings)
            return;
        app->mSettingsManager = Vx::MakeRCPtr<Vx::LIniFileManager>();
        const std::string path = (mDirectory / "UserSettings.ini").string();
        std::filesystem::remove(path);
        ASSERT_EQ(app->mSettingsManager->Open(path.c_str(), String("1_0_0"), String(), app->mUserSettings), 0);
        if (stored != kNothingStored)
        {
            ASSERT_EQ(app->mSettingsManager->SetInt(app->mUserSettings, "CurrentSkinIndex", stored), 0);
        }
    }

    std::optional<int> Stored() const
    {
        if (app->mSettingsManager.IsNull() || !app->mSettingsManager->KeyExists(app->mUserSettings, "CurrentSkinIndex"))
            return std::nullopt;
        std::int32_t value = 0;
        app->mSettingsManager->GetInt(app->mUserSettings, "CurrentSkinIndex", -1, value);
        return value;
    }

    // A root window with an OS window; its top control is the skin's "mainControl".
    Vx::RCPtr<FakeRootWindow> AddWindow(const std::string& name, const char* topName)
    {
        mOSWindows.push_back(std::make_unique<FakeOSWindow>(name, &log));
        const Vx::RCPtr<FakeRootWindow> window = FakeRootWindow::Create(name, &log, mOSWindows.back().get());
        EXPECT_GE(app->AddRootWindow(window), 0);
        mWindows.push_back(window);
        return window;
    }

    void Release()
    {
        for (const Vx::RCPtr<FakeRootWindow>& window : mWindows)
        {
            if (!window->mTopControl.IsNull())
                window->mTopControl->SetRootWindow(nullptr);
            window->ClearControls();
            if (!app.IsNull())
                app->RemoveRootWindow(window);
        }
        mWindows.clear();
        app = nullptr;
        factory = nullptr;
        EXPECT_EQ(Vx::LFrameworkApp::GetApplication(), nullptr);
    }

    Log log;
    Vx::RCPtr<Vx::LControlFactory> factory;
    Vx::RCPtr<StartupApplication> app;
    std::vector<std::unique_ptr<FakeOSWindow>> mOSWindows;
    std::vector<Vx::RCPtr<FakeRootWindow>> mWindows;

private:
    std::filesystem::path mDirectory;
};
} // namespace

TEST_F(StartupTest, LoadsTheStoredSkinWithinTheListAndStoresItBack)
{
    const struct
    {
        int skins;
        bool settings;
        int stored;
        int loaded;
        std::optional<int> storedAfter;
    } cases[] = {
        {3, true, kNothingStored, 0, 0},
        {3, true, 1, 1, 1},
        {3, true, 5, 2, 2},
        // A negative index would name no skin: the first one is taken.
        {3, true, -4, 0, 0},
        {1, true, 7, 0, 0},
        // Without a user settings file: skin 0, nothing stored.
        {3, false, kNothingStored, 0, std::nullopt},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE("skins " + std::to_string(c.skins) + ", stored " + std::to_string(c.stored));
        Make(c.skins, c.settings, c.stored);
        CaptureStderr capture;
        EXPECT_EQ(app->RunApplicationStartup(), Vx::VXR_OK);
        EXPECT_EQ(AssertionsIn(capture.Finish()), 0);
        EXPECT_EQ(factory->GetCurrentSkinIndex(), c.loaded);
        EXPECT_EQ(Stored(), c.storedAfter);
        ASSERT_FALSE(app->GetSkinFont().IsNull());
        EXPECT_EQ(app->GetSkinFont()->GetName(), String(("Font" + std::to_string(c.loaded)).c_str()));
        EXPECT_EQ(app->GetSkinFont()->GetSize(), 10.0f + static_cast<float>(c.loaded));
        EXPECT_TRUE(app->GetHotKeys()->HasHotKey("NID_SAVE"));
        EXPECT_TRUE(app->GetClipboard()->IsInitialized());
        EXPECT_TRUE(Vx::LNotification::IsPoolingEnabled());
    }
}

TEST_F(StartupTest, AFactoryWithoutSkinsLoadsNone)
{
    Make(0, true, 3);
    CaptureStderr capture;
    EXPECT_EQ(app->RunApplicationStartup(), Vx::VXR_OK);
    EXPECT_EQ(FrameworkAppAssertions(capture.Finish()), 1);
    EXPECT_TRUE(app->GetSkinFont().IsNull());
    EXPECT_EQ(Stored(), 3);
    // The rest of the start-up still ran.
    EXPECT_TRUE(app->GetHotKeys()->HasHotKey("NID_SAVE"));
    EXPECT_TRUE(app->GetClipboard()->IsInitialized());
}

TEST_F(StartupTest, AFailureOnTheWayIsShownAndEndsTheStartUp)
{
    for (const bool noFactory : {false, true})
    {
        SCOPED_TRACE(noFactory ? "no factory" : "no default font");
        Make(2, true, 1);
        if (noFactory)
        {
            app = nullptr;
            app = Vx::MakeRCPtr<StartupApplication>(&log, nullptr);
        }
        else
        {
            app->mDefaultFontFails = true;
        }
        log.clear();
        EXPECT_EQ(app->RunApplicationStartup(), Vx::VXR_E_FAIL);
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].rfind("message:Error:Failed Result : ", 0), 0u) << log[0];
        EXPECT_NE(log[0].find("FrameworkApp.cpp"), std::string::npos) << log[0];
        EXPECT_EQ(log[0].substr(log[0].size() - 3), ":16");
        EXPECT_TRUE(app->GetSkinFont().IsNull());
    }
}

TEST(FrameworkStartup, AFailedRegistrationNamesItsLineAndKeepsTheEarlierOnes)
{
    const auto factory = Vx::MakeRCPtr<Vx::LControlFactory>("App");
    const Vx::LFrameworkApp::ControlTypeRegistration types[] = {
        {"Test.A", &Vx::CreateControl<TestControl>, 1001},
        {"Test.B", nullptr, 1002},
        {"Test.C", &Vx::CreateControl<TestControl>, 1003},
    };
    CaptureStderr capture;
    try
    {
        Vx::LFrameworkApp::RegisterControlTypes(*factory, types);
        ADD_FAILURE() << "no exception";
    }
    catch (const Vx::FailedResultException& exception)
    {
        const std::string text = exception.what();
        EXPECT_EQ(text.rfind("Failed Result : ", 0), 0u) << text;
        EXPECT_NE(text.find("VxFramework/Application/FrameworkApp.cpp : Line 1002"), std::string::npos) << text;
    }
    capture.Finish();
    Vx::ControlCreator creator = nullptr;
    EXPECT_EQ(factory->FindCreator("Test.A", creator), Vx::VXR_OK);
    EXPECT_EQ(factory->FindCreator("Test.C", creator), Vx::VXR_NOTHING_DONE);
}

TEST_F(StartupTest, AGlobalHotKeyIsDeliveredAtTheNextIdleTick)
{
    Make(1);
    ASSERT_EQ(app->RunApplicationStartup(), Vx::VXR_OK);
    const auto recorder = Vx::MakeRCPtr<Recorder>();
    recorder->Listen(Vx::RCPtr<Vx::LNotificationDistributor>(app->GetDefaultNotificationCenter()), {"NID_SAVE"});

    EXPECT_EQ(app->GetHotKeys()->ProcessKey(Vx::KeyCode(0x53, 0)), Vx::VXR_NOTHING_DONE);
    EXPECT_EQ(app->GetHotKeys()->ProcessKey(Vx::KeyCode(0x53, Vx::kModifierCtrl)), Vx::VXR_OK);
    EXPECT_TRUE(recorder->mIds.empty());
    app->ProcessIdle(false);
    EXPECT_EQ(recorder->mIds, std::vector<std::string>{"NID_SAVE"});
    // The control base reaches the same table through its host.
    EXPECT_EQ(Vx::GetControlHost()->GetHotKeys(), app->GetHotKeys());
    recorder->UnregisterAll();
}

TEST_F(StartupTest, ASkinSwitchReappliesTheSkinToEveryRootWindow)
{
    Make(2, true, 0);
    ASSERT_EQ(app->RunApplicationStartup(), Vx::VXR_OK);
    const auto statusBar = Vx::MakeRCPtr<FakeStatusBar>();
    app->mStatusBar = statusBar;
    const Vx::RCPtr<FakeRootWindow> main = AddWindow("main", "mainControl");
    const Vx::RCPtr<FakeRootWindow> second = AddWindow("second", "stray");
    mOSWindows[0]->mActive = true;
    main->mTopControl = factory->CreateTopLevelControl("mainControl", main);
    ASSERT_FALSE(main->mTopControl.IsNull());
    // No skin has a control of this name.
    second->mTopControl = TestControl::Create(nullptr, "stray");
    second->mTopControl->SetRootWindow(second);
    log.clear();

    CaptureStderr capture;
    EXPECT_EQ(app->LoadSkin(1), Vx::VXR_OK);
    EXPECT_EQ(FrameworkAppAssertions(capture.Finish()), 1);

    const Vx::RCPtr<Vx::LControlDescriptor>& skin1 = factory->GetSkinRoots()[1];
    const Vx::RCPtr<Vx::LControlDescriptor> top1 = factory->FindControlDescriptor("mainControl");
    ASSERT_EQ(top1->GetParent(), skin1.Get());
    EXPECT_EQ(main->mTopControl->GetDescriptor(), top1);
    EXPECT_EQ(main->mTopControl->FindChild("child")->GetDescriptor()->GetParent(), top1.Get());
    EXPECT_EQ(app->GetSkinFont()->GetName(), String("Font1"));
    EXPECT_EQ(Stored(), 1);

    // Each window waits under the wait cursor of the active one, is invalidated
    // whole, and the status text comes back.
    Log cursors;
    for (const std::string& line : log)
    {
        if (line.rfind("load-cursor:", 0) == 0 || line.rfind("cursor:", 0) == 0)
            cursors.push_back(line);
    }
    EXPECT_EQ(cursors, (Log{"load-cursor:UI_CURSOR_WAIT", "cursor:set", "cursor:null", "load-cursor:UI_CURSOR_WAIT",
                            "cursor:set", "cursor:null"}));
    // The last thing under each wait cursor is the whole window's invalidation.
    Log beforeRestore;
    for (std::size_t i = 1; i < log.size(); ++i)
    {
        if (log[i] == "cursor:null")
            beforeRestore.push_back(log[i - 1]);
    }
    EXPECT_EQ(beforeRestore, (Log{"invalidate:main 0,0,800,480", "invalidate:second 0,0,800,480"}));
    EXPECT_EQ(statusBar->mLog, (Log{"now:Loading Skin...", "post:Ready", "now:Loading Skin...", "post:Ready"}));

    // An index beyond the skins changes nothing.
    CaptureStderr refused;
    EXPECT_EQ(app->LoadSkin(2), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(AssertionsIn(refused.Finish()), 1);
    EXPECT_EQ(factory->GetCurrentSkinIndex(), 1);
    EXPECT_EQ(Stored(), 1);
    EXPECT_EQ(app->GetSkinFont()->GetName(), String("Font1"));
}

// While the looks change an active window loses hover and focus; the focus
// then goes back to the control that had it, not to the first one.  An
// inactive window is left alone.
TEST_F(StartupTest, ASkinSwitchGivesTheFocusBackToTheControlThatHadIt)
{
    Make(2, true, 0);
    ASSERT_EQ(app->RunApplicationStartup(), Vx::VXR_OK);
    struct Window
    {
        bool active;
        Vx::RCPtr<Vx::LRootWindow> root;
        Vx::RCPtr<Vx::LControl> other;
    };
    Window windows[] = {{true, nullptr, nullptr}, {false, nullptr, nullptr}};
    for (Window& window : windows)
    {
        mOSWindows.push_back(std::make_unique<FakeOSWindow>(window.active ? "active" : "inactive", &log));
        mOSWindows.back()->mActive = window.active;
        window.root = Vx::LRootWindow::Create(nullptr, mOSWindows.back().get());
        EXPECT_GE(app->AddRootWindow(window.root), 0);
        window.root->CreateTopControl("mainControl");
        window.other = window.root->GetTopControl()->FindChild("other");
        window.other->SetFocus(true);
        window.root->UpdateHover(window.other);
    }

    EXPECT_EQ(app->LoadSkin(1), Vx::VXR_OK);
    for (Window& window : windows)
    {
        SCOPED_TRACE(window.active);
        EXPECT_EQ(window.root->GetTopControl()->GetDescriptor(), factory->FindControlDescriptor("mainControl"));
        EXPECT_EQ(window.root->GetFocusControl(), window.other);
        EXPECT_TRUE(window.other->HasFocus());
        EXPECT_EQ(window.root->GetHoverControl(), window.active ? nullptr : window.other);
        window.root->SetTopControl(nullptr);
        app->RemoveRootWindow(window.root);
    }
}

TEST_F(StartupTest, ShutdownLetsGoOfTheFactoryHotKeysAndClipboard)
{
    Make(1);
    ASSERT_EQ(app->RunApplicationStartup(), Vx::VXR_OK);
    const Vx::RCPtr<Vx::LNotificationCenter> center = app->GetDefaultNotificationCenter();
    const char* const copy = Vx::InternNotificationId("NID_EDIT_COPY_REQ");
    ASSERT_FALSE(center->FindClientPool(copy).IsNull());
    EXPECT_EQ(center->FindClientPool(copy)->GetClientCount(), 1u);

    EXPECT_EQ(app->OnShutdown(), Vx::VXR_OK);
    EXPECT_TRUE(app->GetControlFactory().IsNull());
    EXPECT_TRUE(app->GetHotKeys().IsNull());
    EXPECT_TRUE(app->GetClipboard().IsNull());
    // The clipboard is gone, and its registrations with it.
    const auto pool = center->FindClientPool(copy);
    EXPECT_TRUE(pool.IsNull() || pool->GetClientCount() == 0u);
    EXPECT_EQ(factory->GetRefCount(), 1u);
}
