#include "VxFramework/Application/ApplicationBaseJuce.h"

#include "JuceBackend/SystemPath.h"
#include "VxFramework/Notification/Notification.h"
#include "sim/SimulatedDevice.h"
#include "tests/VxFramework/Application/ApplicationDoubles.h"
#include "tests/support/CaptureStderr.h"
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>
#include <linux/kd.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>
#include <thread>

namespace
{
using VxTest::CaptureStderr;
using VxTest::FakeOSWindow;
using VxTest::FakeRootWindow;
using VxTest::Log;
using String = Vx::StringT<char, unsigned short>;
namespace fs = std::filesystem;

int CountAssertions(const std::string& err)
{
    int count = 0;
    for (std::string::size_type at = err.find("ApplicationBaseJuce.cpp"); at != std::string::npos;
         at = err.find("ApplicationBaseJuce.cpp", at + 1))
        ++count;
    return count;
}

// The application over the platform base, with the idle pass, the clock and
// the main window scriptable.  Its log also goes to a file, so that a child
// process can report it.
class ShellApp : public Vx::LApplicationBase<ShellApp>
{
public:
    ShellApp(const Vx::RCPtr<Vx::LControlFactory>& factory, const Vx::RCPtr<Vx::LStringTable>& strings,
             const String& commandLine)
        : LApplicationBase(factory, strings, commandLine)
    {
    }

    static Vx::RCPtr<ShellApp> CreateInstance(const Vx::RCPtr<Vx::LControlFactory>& factory,
                                              const Vx::RCPtr<Vx::LStringTable>& strings, const String& commandLine)
    {
        Vx::RCPtr<ShellApp> app = Vx::MakeRCPtr<ShellApp>(factory, strings, commandLine);
        app->Note("created");
        return app;
    }

    String GetVersionText() override { return String("1_0_0"); }
    String GetMainControlName() override { return String("mainControl"); }
    bool AllowExit() override { return mAllowExit; }
    std::uint32_t GetTickCount() override { return mTick ? *mTick : LApplicationBase::GetTickCount(); }

    // Scripted answers while the script lasts, the real pass afterwards.
    bool ProcessIdle(bool sendIdle) override
    {
        mIdleCalls.push_back(sendIdle);
        if (mPendingScript.empty())
            return LApplicationBase::ProcessIdle(sendIdle);
        const bool pending = mPendingScript.front();
        mPendingScript.pop_front();
        return pending;
    }

    Vx::VxRESULT RunApplicationStartup() override
    {
        Note("startup");
        return LApplicationBase::RunApplicationStartup();
    }

    void OnBeforeRun() override
    {
        Note("before-run");
        if (sExitOnRun)
        {
            // From another thread, as any part of the application may ask.
            std::thread([center = GetDefaultNotificationCenter()] {
                center->PostNotification("NID_APP_EXIT_REQ", nullptr);
            }).detach();
        }
        if (sInterruptOnRun)
        {
            juce::MessageManager::callAsync([] {
                std::thread([] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                    ::kill(::getpid(), SIGINT);
                }).detach();
            });
        }
    }

    Vx::VxRESULT OnShutdown() override
    {
        Note("shutdown");
        return LApplicationBase::OnShutdown();
    }

    ~ShellApp() override { Note("destroyed"); }

    void Note(const std::string& line)
    {
        mLog.push_back(line);
        if (!sLogPath.empty())
            std::ofstream(sLogPath, std::ios::app) << line << '\n';
    }

    static inline std::string sLogPath;
    static inline bool sExitOnRun = false;
    static inline bool sInterruptOnRun = false;

    Log mLog;
    bool mAllowExit = true;
    std::optional<std::uint32_t> mTick;
    std::deque<bool> mPendingScript;
    std::vector<bool> mIdleCalls;
    std::unique_ptr<FakeOSWindow> mOSWindow;

    using LApplicationBase::SetMainWindow;

protected:
    Vx::VxRESULT OpenMainWindow(int rendererKind, const Vx::MainWindowSettings&) override
    {
        Note("main-window:" + std::to_string(rendererKind));
        mOSWindow = std::make_unique<FakeOSWindow>("main", &mLog);
        return AddRootWindow(Vx::RCPtr<Vx::LRootWindow>(FakeRootWindow::Create("main", &mLog, mOSWindow.get())));
    }
};

// Hands the application the exit request as the default centre delivers it.
void RequestExit(Vx::LApplicationBaseJuce& app)
{
    Vx::RCPtr<Vx::LNotification> request;
    Vx::LNotification::Create(request, "NID_APP_EXIT_REQ", nullptr);
    app.Receive(Vx::RCPtr<Vx::LNotificationDistributor>(app.GetDefaultNotificationCenter()),
                Vx::ConstRCPtr<Vx::LNotification>(request));
}

// A simulated device for the test: its system tree is where every path of
// the application lies.
class ShellTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mDevice.addDsiPanel(480, 800);
        mDevice.install();
        mRoot = mDevice.getRoot().getFullPathName().toStdString();
    }

    void TearDown() override
    {
        ShellApp::sLogPath.clear();
        mDevice.uninstall();
    }

    // The executable as /proc/self/exe names it, in a folder of the tree.
    std::string PlaceExecutable()
    {
        const std::string folder = mRoot + "/opt/testapp";
        fs::create_directories(mRoot + "/proc/self");
        fs::create_directories(folder);
        fs::create_symlink(folder + "/app", mRoot + "/proc/self/exe");
        return folder;
    }

    Sim::SimulatedDevice mDevice;
    std::string mRoot;
};

// JUCE running for the test's process.
class ShellServicesTest : public ShellTest
{
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        mJuce = std::make_unique<juce::ScopedJuceInitialiser_GUI>();
        mApp = ShellApp::CreateInstance(nullptr, nullptr, String());
        Vx::GetGlobalApplication() = Vx::RCPtr<Vx::LApplicationBaseJuce>(mApp);
    }

    void TearDown() override
    {
        Vx::GetGlobalApplication() = nullptr;
        mApp = nullptr;
        mJuce.reset();
        ShellTest::TearDown();
    }

    std::unique_ptr<juce::ScopedJuceInitialiser_GUI> mJuce;
    Vx::RCPtr<ShellApp> mApp;
};

TEST_F(ShellServicesTest, PathsLieInTheSystemTree)
{
    const std::string executableFolder = PlaceExecutable();
    const std::string common =
        mRoot +
        juce::File::getSpecialLocation(juce::File::commonApplicationDataDirectory).getFullPathName().toStdString();
    const std::string user =
        mRoot +
        juce::File::getSpecialLocation(juce::File::userApplicationDataDirectory).getFullPathName().toStdString();
    const std::string home =
        mRoot + juce::File::getSpecialLocation(juce::File::userHomeDirectory).getFullPathName().toStdString();

    const struct
    {
        int id;
        std::string path;
    } cases[] = {
        {0, executableFolder},
        {1, executableFolder + "/Resources"},
        // The application's empty name, twice.
        {2, common + "//"},
        {3, user + "//"},
        {4, home},
    };
    CaptureStderr capture;
    for (const auto& c : cases)
        EXPECT_EQ(std::string(mApp->GetPath(c.id).GetCString()), c.path) << c.id;
    EXPECT_EQ(CountAssertions(capture.Finish()), 0);
    EXPECT_TRUE(fs::is_directory(common));
    EXPECT_TRUE(fs::is_directory(user));
}

TEST_F(ShellServicesTest, UnknownPathIdThrowsOutOfRange)
{
    for (const int id : {-1, 5, 6})
    {
        try
        {
            mApp->GetPath(id);
            ADD_FAILURE() << id;
        }
        catch (const std::out_of_range& error)
        {
            EXPECT_EQ(std::string(error.what())
                          .rfind("Out of Range : Unknown Path ID. :  : "
                                 "VxFramework/Application/ApplicationBaseJuce.cpp : Line ",
                                 0),
                      0u)
                << error.what();
        }
    }
}

TEST_F(ShellServicesTest, ExecutableLinkIsReadWholeOrNotAtAll)
{
    const std::string link = mRoot + "/link";
    const struct
    {
        std::size_t targetLength;
        bool read;
    } cases[] = {{15, true}, {16, false}, {40, false}};
    for (const auto& c : cases)
    {
        fs::remove(link);
        const std::string target = "/" + std::string(c.targetLength - 1, 'a');
        fs::create_symlink(target, link);
        std::string read = "stale";
        EXPECT_EQ(Vx::ApplicationPaths::ReadLink(link, 16, read), c.read) << c.targetLength;
        EXPECT_EQ(read, c.read ? target : std::string()) << c.targetLength;
    }
    std::string read;
    EXPECT_FALSE(Vx::ApplicationPaths::ReadLink(mRoot + "/missing", 16, read));

    // Without the link the executable's folder is empty, after an assertion.
    CaptureStderr capture;
    EXPECT_EQ(std::string(mApp->GetPath(0).GetCString()), "");
    EXPECT_EQ(CountAssertions(capture.Finish()), 1);
}

TEST(ApplicationPaths, NamesAreMadeLegal)
{
    EXPECT_EQ(
        std::string(
            Vx::ApplicationPaths::MakeLegalFileName(String("a\\b/c:d*e?f\"g<h>i|j&k;l,m^n(o)p q.r")).GetCString()),
        "a_b_c_d_e_f_g_h_i_j_k_l_m_n_o_p q.r");
}

TEST_F(ShellServicesTest, SettingsFilesOpenOnceEachAndOtherKindsAreRefused)
{
    Vx::IIniFileManager* const manager = mApp->GetIniFileManager();
    ASSERT_NE(manager, nullptr);
    const Vx::IniFileHandle app = mApp->GetSettings(0);
    const Vx::IniFileHandle user = mApp->GetSettings(1);
    ASSERT_NE(app, nullptr);
    ASSERT_NE(user, nullptr);
    EXPECT_NE(app, user);
    EXPECT_EQ(mApp->GetSettings(0), app);
    EXPECT_EQ(mApp->GetSettings(1), user);

    EXPECT_EQ(manager->SetInt(user, "CurrentSkinIndex", 1), 0);
    EXPECT_EQ(manager->Save(user), 0);
    const std::string userFile = std::string(mApp->GetPath(3).GetCString()) + "/UserSettings.ini";
    EXPECT_TRUE(fs::is_regular_file(userFile)) << userFile;

    CaptureStderr capture;
    EXPECT_EQ(mApp->GetSettings(2), nullptr);
    EXPECT_EQ(mApp->GetSettings(-1), nullptr);
    EXPECT_EQ(CountAssertions(capture.Finish()), 2);
}

// A settings folder that cannot be made is reported, writes into it fail
// instead of seeming to succeed, and a later call makes it.
TEST_F(ShellServicesTest, UnwritableSettingsFolderIsReportedAndRetried)
{
    const std::string common =
        mRoot +
        juce::File::getSpecialLocation(juce::File::commonApplicationDataDirectory).getFullPathName().toStdString();
    fs::create_directories(fs::path(common).parent_path());
    std::ofstream(common) << "in the way";

    Vx::IIniFileManager* const manager = mApp->GetIniFileManager();
    CaptureStderr capture;
    const Vx::IniFileHandle app = mApp->GetSettings(0);
    EXPECT_EQ(CountAssertions(capture.Finish()), 2);
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(manager->SetInt(app, "Key", 7), 0);
    EXPECT_LT(manager->Save(app), 0);

    fs::remove(common);
    CaptureStderr retry;
    mApp->GetPath(2);
    EXPECT_EQ(CountAssertions(retry.Finish()), 0);
    EXPECT_EQ(manager->Save(app), 0);
    EXPECT_TRUE(fs::is_regular_file(common + "/AppSettings.ini"));
}

TEST_F(ShellServicesTest, MessageBoxFlagsChooseButtonsIconAndResult)
{
    using B = Vx::MessageBoxRequest;
    const auto info = juce::MessageBoxIconType::InfoIcon;
    const auto question = juce::MessageBoxIconType::QuestionIcon;
    const struct
    {
        std::uint32_t flags;
        int answer;
        B::Buttons buttons;
        juce::MessageBoxIconType icon;
        int result;
    } cases[] = {
        {0, 1, B::kMessageOnly, info, 0}, {16, 0, B::kMessageOnly, question, 0}, {1, 1, B::kOkCancel, info, 0},
        {1, 0, B::kOkCancel, info, -1},   {0x21, 0, B::kOkCancel, question, -1}, {2, 1, B::kYesNoCancel, info, 0},
        {2, 2, B::kYesNoCancel, info, 0}, {2, 0, B::kYesNoCancel, info, -1},     {3, 0, B::kOkCancel, info, -1},
        {4, 1, B::kOkCancel, info, 0},    {8, 0, B::kOkCancel, info, -1},        {0x40, 0, B::kMessageOnly, info, 0},
    };
    for (const auto& c : cases)
    {
        B shown;
        const Vx::ScopedMessageBoxPresenter presenter([&](const B& request) {
            shown = request;
            return c.answer;
        });
        EXPECT_EQ(mApp->MessageBox(String("100% done"), String("Caption"), c.flags), c.result) << c.flags;
        EXPECT_EQ(shown.buttons, c.buttons) << c.flags;
        EXPECT_EQ(shown.icon, c.icon) << c.flags;
        EXPECT_EQ(shown.message, juce::String("100% done"));
        EXPECT_EQ(shown.title, juce::String("Caption"));
    }
}

TEST_F(ShellServicesTest, CursorsComeFromTheMapAndOthersAreNormal)
{
    using C = juce::MouseCursor;
    const struct
    {
        const char* name;
        C::StandardCursorType type;
        int assertions;
    } cases[] = {
        {"UI_CURSOR_ARROW", C::NormalCursor, 0},
        {"UI_CURSOR_IBEAM", C::IBeamCursor, 0},
        {"UI_CURSOR_WAIT", C::WaitCursor, 0},
        {"UI_CURSOR_CROSS", C::CrosshairCursor, 0},
        {"UI_CURSOR_UP_ARROW", C::TopEdgeResizeCursor, 0},
        {"UI_CURSOR_SIZE_ALL", C::UpDownLeftRightResizeCursor, 0},
        {"UI_CURSOR_SIZE_NWSE", C::TopLeftCornerResizeCursor, 0},
        {"UI_CURSOR_SIZE_NESW", C::TopRightCornerResizeCursor, 0},
        {"UI_CURSOR_SIZE_WE", C::LeftRightResizeCursor, 0},
        {"UI_CURSOR_SIZE_NS", C::UpDownResizeCursor, 0},
        {"UI_CURSOR_NO_DROP", C::DraggingHandCursor, 0},
        {"UI_CURSOR_HAND", C::PointingHandCursor, 0},
        {"UI_CURSOR_HELP", C::NormalCursor, 1},
        {"UI_CURSOR_APP_STARTING", C::NormalCursor, 1},
    };
    for (const auto& c : cases)
    {
        CaptureStderr capture;
        juce::MouseCursor* const cursor = mApp->LoadCursor(String(c.name));
        EXPECT_EQ(CountAssertions(capture.Finish()), c.assertions) << c.name;
        ASSERT_NE(cursor, nullptr) << c.name;
        EXPECT_TRUE(*cursor == juce::MouseCursor(c.type)) << c.name;
        EXPECT_EQ(mApp->GetCurrentCursor(), cursor);
    }
    // The same kind again keeps the cursor made before.
    juce::MouseCursor* const hand = mApp->LoadCursor(String("UI_CURSOR_HAND"));
    EXPECT_EQ(mApp->LoadCursor(String("UI_CURSOR_HAND")), hand);
}

TEST_F(ShellServicesTest, ElapsedSecondsAccumulateTicksAcrossTheCountersWrap)
{
    mApp->mTick = 0xfffff000u;
    const double start = mApp->GetElapsedSeconds();
    mApp->mTick = 0xfffff000u + 1500u;
    EXPECT_NEAR(mApp->GetElapsedSeconds() - start, 1.5, 1e-6);
    mApp->mTick = 0x00000100u; // wrapped: 0xa24 + 0x100 ms later
    EXPECT_NEAR(mApp->GetElapsedSeconds() - start, 1.5 + 2.852, 1e-6);
    EXPECT_NEAR(mApp->GetElapsedSeconds() - start, 1.5 + 2.852, 1e-6);
}

TEST_F(ShellServicesTest, DisplayAreaIsTheMainDisplays)
{
    const Vx::RectT<int> area = mApp->GetDisplayArea();
    const juce::Rectangle<int> expected = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay()->userArea;
    EXPECT_EQ(area.x, expected.getX());
    EXPECT_EQ(area.y, expected.getY());
    EXPECT_EQ(area.width, expected.getWidth());
    EXPECT_EQ(area.height, expected.getHeight());
    EXPECT_GT(area.width * area.height, 0);
}

// 10 ms while idle with the idle notification; 1 ms without it while work is
// pending; one more 1 ms tick after the work ends; nothing after the exit.
TEST_F(ShellServicesTest, IdleTimerFollowsPendingWorkAndStopsAfterTheExitRequest)
{
    Vx::IdleTimerBase timer;
    EXPECT_EQ(timer.GetInterval(), 10);
    mApp->mPendingScript = {false, true, true, false, false};
    std::vector<int> intervals;
    for (int i = 0; i < 5; ++i)
        intervals.push_back(timer.Tick());
    timer.stopTimer();
    EXPECT_EQ(intervals, (std::vector<int>{10, 1, 1, 10, 10}));
    EXPECT_EQ(mApp->mIdleCalls, (std::vector<bool>{true, true, false, false, true}));

    mApp->mPendingScript = {true};
    EXPECT_EQ(timer.Tick(), 1);
    RequestExit(*mApp);
    ASSERT_TRUE(mApp->IsExitRequested());
    mApp->mIdleCalls.clear();
    EXPECT_EQ(timer.Tick(), 10);
    EXPECT_EQ(timer.Tick(), 10);
    timer.stopTimer();
    EXPECT_TRUE(mApp->mIdleCalls.empty());

    Vx::GetGlobalApplication() = nullptr;
    EXPECT_EQ(timer.Tick(), 10);
    timer.stopTimer();
}

TEST_F(ShellServicesTest, ExitRequestNeedsTheApplicationsAgreement)
{
    mApp->mAllowExit = false;
    RequestExit(*mApp);
    EXPECT_FALSE(mApp->IsExitRequested());
    mApp->mAllowExit = true;
    RequestExit(*mApp);
    EXPECT_TRUE(mApp->IsExitRequested());
}

// A JUCE document window that is also the root window's OS window, telling
// when it is deleted.
class DocumentOSWindow : public juce::DocumentWindow, public FakeOSWindow
{
public:
    DocumentOSWindow(Log* log, bool* deleted)
        : juce::DocumentWindow("main", juce::Colours::black, 0), FakeOSWindow("main", log), mDeleted(deleted)
    {
    }
    ~DocumentOSWindow() override { *mDeleted = true; }

    bool* mDeleted;
};

// Leaving the application's list forgets the main window (its owner deletes
// it); shutdown deletes a main window still kept.
TEST_F(ShellServicesTest, MainWindowIsForgottenWhenItsRootWindowGoesAndDeletedAtShutdown)
{
    bool deleted = false;
    auto window = std::make_unique<DocumentOSWindow>(&mApp->mLog, &deleted);
    DocumentOSWindow* const main = window.get();
    mApp->SetMainWindow(std::move(window));
    const Vx::RCPtr<FakeRootWindow> root = FakeRootWindow::Create("main", &mApp->mLog, main);
    mApp->AddRootWindow(Vx::RCPtr<Vx::LRootWindow>(root));
    const Vx::RCPtr<FakeRootWindow> other = FakeRootWindow::Create("other", &mApp->mLog, nullptr);
    mApp->AddRootWindow(Vx::RCPtr<Vx::LRootWindow>(other));

    mApp->RemoveRootWindow(Vx::RCPtr<Vx::LRootWindow>(other));
    EXPECT_EQ(mApp->GetMainWindow(), main);
    mApp->RemoveRootWindow(Vx::RCPtr<Vx::LRootWindow>(root));
    EXPECT_EQ(mApp->GetMainWindow(), nullptr);
    EXPECT_FALSE(deleted);
    mApp->OnShutdown();
    EXPECT_FALSE(deleted);
    root->ForgetOSWindow();
    delete main;
    EXPECT_TRUE(deleted);

    deleted = false;
    mApp->SetMainWindow(std::make_unique<DocumentOSWindow>(&mApp->mLog, &deleted));
    mApp->OnShutdown();
    EXPECT_TRUE(deleted);
    EXPECT_EQ(mApp->GetMainWindow(), nullptr);
}

TEST(StartupErrorText, ComesFromTheStringTableWhereItHasTheKeys)
{
    using Map = Vx::LStringTable::Map;
    const struct
    {
        Vx::RCPtr<Vx::LStringTable> table;
        const char* text;
        const char* caption;
    } cases[] = {
        {nullptr, "The application encountered problems during startup and will now close.", "Error"},
        {Vx::MakeRCPtr<Vx::LStringTable>(Map{{"STARTUP_ERROR", "Broken."}}), "Broken.", "Error"},
        {Vx::MakeRCPtr<Vx::LStringTable>(Map{{"STARTUP_ERROR", "Broken."}, {"STARTUP_ERROR_CAPTION", "Oops"}}),
         "Broken.", "Oops"},
    };
    for (const auto& c : cases)
    {
        const Vx::StartupErrorText texts = Vx::GetStartupErrorText(c.table);
        EXPECT_STREQ(texts.text.GetCString(), c.text);
        EXPECT_STREQ(texts.caption.GetCString(), c.caption);
    }
}

TEST(MainWindowSettings, ComeFromTheMainControlsLayout)
{
    using Layout = Vx::LLayoutDescriptor;
    using Limit = Vx::LimitReference;
    constexpr int kMax = std::numeric_limits<int>::max();
    const struct
    {
        const char* name;
        std::function<void(Layout&)> change;
        bool resizable;
        bool maximisable;
        Vx::RectT<int> bounds;
        int assertions;
    } cases[] = {
        {"no limits", [](Layout&) {}, true, true, {0, 0, 800, 480}, 0},
        {"limits named",
         [](Layout& l) {
             l.XMinSizeReference = l.XMaxSizeReference = Limit::NamedControl;
             l.YMinSizeReference = l.YMaxSizeReference = Limit::NamedControl;
         },
         false,
         false,
         {0, 0, 800, 480},
         0},
        {"three limits named",
         [](Layout& l) { l.XMinSizeReference = l.XMaxSizeReference = l.YMinSizeReference = Limit::NamedControl; },
         true,
         false,
         {0, 0, 800, 480},
         0},
        {"minimum is maximum",
         [](Layout& l) {
             l.XMinSizeAbs = l.XMaxSizeAbs = 800;
             l.YMinSizeAbs = l.YMaxSizeAbs = 480;
         },
         false,
         false,
         {0, 0, 800, 480},
         0},
        {"fixed width only",
         [](Layout& l) {
             l.XMinSizeAbs = l.XMaxSizeAbs = 800;
             l.YMinSizeAbs = 100;
         },
         true,
         false,
         {0, 0, 800, 480},
         0},
        {"minimum without maximum", [](Layout& l) { l.YMinSizeRel = 0.5f; }, true, true, {0, 0, 800, 480}, 0},
        {"truncated bounds",
         [](Layout& l) {
             l.XPositionAbs = 10.9;
             l.YPositionAbs = -3.7;
             l.XSizeAbs = 1e12;
         },
         true,
         true,
         {10, -3, kMax, 480},
         1},
        {"measured from elsewhere",
         [](Layout& l) {
             l.XPositionReference = Vx::PositionReference::Client;
             l.YPositionReference = Vx::PositionReference::NamedControl;
             l.XSizeReference = Vx::SizeReference::Client;
             l.YSizeReference = Vx::SizeReference::NamedControl;
         },
         true,
         true,
         {0, 0, 800, 480},
         4},
    };
    for (const auto& c : cases)
    {
        const Vx::RCPtr<Layout> layout = Vx::MakeRCPtr<Layout>();
        layout->XPositionReference = layout->YPositionReference = Vx::PositionReference::Parent;
        layout->XSizeReference = layout->YSizeReference = Vx::SizeReference::Self;
        layout->XSizeAbs = 800;
        layout->YSizeAbs = 480;
        c.change(*layout);
        CaptureStderr capture;
        const Vx::MainWindowSettings settings = Vx::MainWindowSettings::FromLayout(*layout);
        EXPECT_EQ(CountAssertions(capture.Finish()), c.assertions) << c.name;
        EXPECT_EQ(settings.resizable, c.resizable) << c.name;
        EXPECT_EQ(settings.maximisable, c.maximisable) << c.name;
        EXPECT_EQ(settings.bounds.x, c.bounds.x) << c.name;
        EXPECT_EQ(settings.bounds.y, c.bounds.y) << c.name;
        EXPECT_EQ(settings.bounds.width, c.bounds.width) << c.name;
        EXPECT_EQ(settings.bounds.height, c.bounds.height) << c.name;
    }

    using S = Vx::MainWindowSettings;
    S maximisable;
    maximisable.maximisable = true;
    EXPECT_EQ(maximisable.GetTitleBarButtons(S::kCloseButton | S::kMinimiseButton),
              S::kMaximiseButton | S::kCloseButton | S::kMinimiseButton);
    EXPECT_EQ(maximisable.GetTitleBarButtons(0), S::kMaximiseButton);
    S fixed;
    fixed.maximisable = false;
    EXPECT_EQ(fixed.GetTitleBarButtons(S::kCloseButton), S::kCloseButton);
}

TEST(ApplicationIcon, IsLightBlueWithBlackText)
{
    const juce::Image icon = Vx::LApplicationBaseJuce::GetApplicationIcon();
    ASSERT_EQ(icon.getWidth(), 32);
    ASSERT_EQ(icon.getHeight(), 32);
    EXPECT_EQ(icon.getPixelAt(0, 0), juce::Colours::lightblue);
    EXPECT_EQ(icon.getPixelAt(31, 31), juce::Colours::lightblue);
    int dark = 0;
    for (int y = 0; y < 32; ++y)
    {
        for (int x = 0; x < 32; ++x)
            dark += icon.getPixelAt(x, y).getBrightness() < 0.2f ? 1 : 0;
    }
    EXPECT_GT(dark, 10);
}

// ---- The whole shell, each run in a child process of its own.

class ShellRunTest : public ShellTest
{
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        mFolder = PlaceExecutable();
        ShellApp::sLogPath = mRoot + "/shell.log";
    }

    // The project's resources, with the panel's gradient made solid: the
    // looks are made into bitmaps here, which takes solid colours only.
    void CopyResources()
    {
        fs::copy(fs::path(VX_SOURCE_DIR) / "Resources", mFolder + "/Resources", fs::copy_options::recursive);
        const std::string skins = mFolder + "/Resources/Skins.xml";
        std::stringstream text;
        text << std::ifstream(skins).rdbuf();
        std::string xml = text.str();
        const std::string gradient = "ColorType=\"LinearGradient\"";
        for (auto at = xml.find(gradient); at != std::string::npos; at = xml.find(gradient))
            xml.replace(at, gradient.size(), "ColorType=\"Solid\"");
        std::ofstream(skins, std::ios::trunc) << xml;
    }

    // Runs the program in a child with a recording message box; its status.
    int RunProgram()
    {
        const VxTest::ChildResult child = VxTest::RunInChild([] {
            const Vx::ScopedMessageBoxPresenter presenter([](const Vx::MessageBoxRequest& request) {
                std::ofstream(ShellApp::sLogPath, std::ios::app)
                    << "box:" << request.title << ":" << request.message << '\n';
                return 0;
            });
            return Vx::RunJuceFrameworkApp<ShellApp>();
        });
        EXPECT_FALSE(child.timedOut);
        return child.status;
    }

    std::vector<std::string> ReadLog() const
    {
        std::ifstream file(ShellApp::sLogPath);
        std::vector<std::string> lines;
        for (std::string line; std::getline(file, line);)
            lines.push_back(line);
        return lines;
    }

    std::string mFolder;
};

TEST_F(ShellRunTest, StartsRunsAndEndsOnTheExitRequestWithStatusZero)
{
    CopyResources();
    ShellApp::sExitOnRun = true;
    const int status = RunProgram();
    ShellApp::sExitOnRun = false;
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // The hook runs at the end of the start and again as the run begins.
    EXPECT_EQ(ReadLog(), (std::vector<std::string>{"created", "startup", "main-window:3", "before-run", "before-run",
                                                   "shutdown", "destroyed"}));
}

TEST_F(ShellRunTest, StartupFailuresShowTheErrorBoxAndEndWithStatusZero)
{
    const std::string box = "box:Error:The application encountered problems during startup and will now close.";
    const struct
    {
        const char* name;
        std::function<void(const std::string&)> prepare;
        std::vector<std::string> log;
    } cases[] = {
        {"no folder", [](const std::string&) {}, {box}},
        {"empty folder", [](const std::string& resources) { fs::create_directories(resources); }, {box}},
        {"malformed skins",
         [this](const std::string& resources) {
             CopyResources();
             std::ofstream(resources + "/Skins.xml", std::ios::trunc) << "<Resources><Looks><Look";
         },
         {box}},
        {"no main control",
         [this](const std::string& resources) {
             CopyResources();
             std::ofstream(resources + "/Skins.xml", std::ios::trunc) << "<Resources></Resources>";
         },
         // The half-started application is still shut down in order.
         {"created", "startup", box, "shutdown", "destroyed"}},
    };
    for (const auto& c : cases)
    {
        fs::remove_all(mFolder + "/Resources");
        fs::remove(ShellApp::sLogPath);
        c.prepare(mFolder + "/Resources");
        const int status = RunProgram();
        ASSERT_TRUE(WIFEXITED(status)) << c.name << " " << status;
        EXPECT_EQ(WEXITSTATUS(status), 0) << c.name;
        EXPECT_EQ(ReadLog(), c.log) << c.name;
    }
}

TEST_F(ShellRunTest, SecondInstanceSaysSoAndEndsWithStatusZero)
{
    CopyResources();
    // This process holds the lock as a running instance would.
    const Vx::ApplicationInstanceLock running(juce::String{});
    ASSERT_TRUE(running.IsHeld());

    const std::string out = mRoot + "/stderr";
    const VxTest::ChildResult child = VxTest::RunInChild([&] {
        if (std::freopen(out.c_str(), "w", stderr) == nullptr)
            return 10;
        return Vx::RunJuceFrameworkApp<ShellApp>();
    });
    ASSERT_TRUE(WIFEXITED(child.status)) << child.status;
    EXPECT_EQ(WEXITSTATUS(child.status), 0);
    std::ifstream file(out);
    std::stringstream text;
    text << file.rdbuf();
    // The backend's own lines may come first.
    const std::string line = "Another instance is running - quitting...\n";
    const std::string err = text.str();
    EXPECT_TRUE(err.size() >= line.size() && err.compare(err.size() - line.size(), line.size(), line) == 0) << err;
    EXPECT_TRUE(ReadLog().empty());
}

TEST_F(ShellRunTest, SigintEndsWithStatusOneAndTheConsoleRestored)
{
    CopyResources();
    ShellApp::sInterruptOnRun = true;
    const int status = RunProgram();
    ShellApp::sInterruptOnRun = false;
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(mDevice.console.getCurrentMode(), KD_TEXT);
    EXPECT_EQ(mDevice.console.getNumOpenDescriptors(), 0);
}
} // namespace
