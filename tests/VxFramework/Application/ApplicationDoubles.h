#pragma once

// Stand-ins for the neighbours of the application object: the OS window, the
// root window, the status bar, the renderer, the JUCE application base and its
// idle timer.  Each does what the application object relies on and records
// what it was asked in a shared log.

#include "VxFramework/Application/FrameworkApp.h"
#include "VxFramework/Application/WindowOSServices.h"
#include "VxFramework/Renderer/Renderer.h"

#include <juce_events/juce_events.h>

#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace VxTest
{
using String = Vx::StringT<char, unsigned short>;
using Log = std::vector<std::string>;

class FakeRootWindow;

class FakeOSWindow : public Vx::IWindowOSServices
{
public:
    FakeOSWindow(std::string name, Log* log) : mName(std::move(name)), mLog(log) {}
    virtual ~FakeOSWindow() = default;

    Vx::VxRESULT SetTitle(const String&) override { return Vx::VXR_OK; }
    Vx::VxRESULT InvalidateClient() override { return InvalidateRect(mClientRect); }
    Vx::VxRESULT InvalidateRect(const Vx::RectT<int>&) override { return Vx::VXR_OK; }
    Vx::VxRESULT GetClientRect(Vx::RectT<int>& rectangle) override
    {
        rectangle = mClientRect;
        return Vx::VXR_OK;
    }
    Vx::PointT<int> ScreenToClient(const Vx::PointT<int>& point) override
    {
        return Vx::PointT<int>{point.x - mScreenOrigin.x, point.y - mScreenOrigin.y};
    }
    Vx::PointT<int> ClientToScreen(const Vx::PointT<int>& point) override
    {
        return Vx::PointT<int>{point.x + mScreenOrigin.x, point.y + mScreenOrigin.y};
    }
    Vx::VxRESULT SetBounds(const Vx::RectT<int>&) override { return Vx::VXR_OK; }
    Vx::VxRESULT ShowWindow(int) override { return Vx::VXR_OK; }
    Vx::VxRESULT Repaint() override
    {
        mLog->push_back("repaint:" + mName);
        return Vx::VXR_OK;
    }
    Vx::VxRESULT BringToFront() override { return Vx::VXR_OK; }
    Vx::VxRESULT ToFront(bool) override { return Vx::VXR_OK; }
    // Defined after FakeRootWindow: the window leaves the application's list
    // as the OS window's teardown makes it.
    Vx::VxRESULT Close(int result) override;
    int RunModalLoop() override { return 0; }
    bool IsInModalLoop() override { return false; }
    bool IsActive() override { return mActive; }
    bool HasKeyboardFocus() override { return mActive; }
    Vx::VxRESULT GrabKeyboardFocus() override { return Vx::VXR_OK; }
    // The cursor shown; the one before is returned.
    juce::MouseCursor* SetCursor(juce::MouseCursor* cursor) override
    {
        juce::MouseCursor* const replaced = mCursor;
        mCursor = cursor;
        return replaced;
    }
    Vx::PointT<int> GetMousePosition() override { return mMousePosition; }
    int GetMouseButtons() override { return mButtons; }
    void* GetNativeHandle() override { return nullptr; }
    Vx::VxRESULT SetTextEntryMode(bool, int) override { return Vx::VXR_OK; }

    std::string mName;
    Log* mLog;
    FakeRootWindow* mRootWindow = nullptr;
    bool mActive = false;
    bool mClosed = false;
    Vx::RectT<int> mClientRect{0, 0, 800, 480};
    Vx::PointT<int> mScreenOrigin{0, 0};
    Vx::PointT<int> mMousePosition{0, 0};
    int mButtons = 0;
    juce::MouseCursor* mCursor = nullptr;
};

class FakeMeasurementRenderer : public Vx::LMeasurementRenderer
{
public:
    Vx::VxRESULT GetFontMetrics(const Vx::RCPtr<Vx::LFont>&, std::int32_t& height, std::int32_t& top,
                                std::int32_t& descent) override
    {
        height = 10;
        top = -8;
        descent = 2;
        return Vx::VXR_OK;
    }
    Vx::RectT<float> MeasureText(const String&, const Vx::RCPtr<Vx::LFont>&) override
    {
        return Vx::RectT<float>{0, 0, 0, 0};
    }
};

// A root window: a distributor and a queue in one object, delivering its
// queue through itself, with a deferred close.
class FakeRootWindow : public Vx::LRootWindow
{
public:
    static Vx::RCPtr<FakeRootWindow> Create(std::string name, Log* log, FakeOSWindow* osWindow)
    {
        Vx::RCPtr<FakeRootWindow> window(new FakeRootWindow(std::move(name), log, osWindow));
        window->SetDistributor(Vx::RCPtr<Vx::LNotificationDistributor>(window));
        if (osWindow != nullptr)
            osWindow->mRootWindow = window.Get();
        return window;
    }

    Vx::IWindowOSServices* GetOSWindow() const override { return mOSWindow; }
    Vx::RCPtr<Vx::LMeasurementRenderer> GetMeasurementRenderer() const override { return mRenderer; }
    // Null unless the measuring renderer also paints.
    Vx::RCPtr<Vx::LRenderer> GetRenderer() const override { return Vx::RCPtr<Vx::LRenderer>(mRenderer); }

    bool ProcessIdle(bool sendIdle) override
    {
        const bool pending = ProcessPending(sendIdle);
        if (mClosePending && mOSWindow != nullptr)
        {
            mClosePending = false;
            mOSWindow->Close(mCloseCode);
        }
        return pending;
    }

    Vx::VxRESULT RequestClose(std::int32_t closeCode) override
    {
        if (mOSWindow == nullptr)
            return Vx::VXR_E_FAIL;
        mLog->push_back("request:" + mName);
        mClosePending = true;
        mCloseCode = closeCode;
        return Vx::VXR_OK;
    }

    Vx::PointT<int> GetClientSize() override
    {
        Vx::RectT<int> rectangle{0, 0, 1024, 768};
        if (mOSWindow != nullptr)
            mOSWindow->GetClientRect(rectangle);
        return Vx::PointT<int>{rectangle.width, rectangle.height};
    }

    void Invalidate(const Vx::RectT<int>& rectangle) override
    {
        mLog->push_back("invalidate:" + mName + " " + std::to_string(rectangle.x) + "," + std::to_string(rectangle.y) +
                        "," + std::to_string(rectangle.width) + "," + std::to_string(rectangle.height));
    }

    Vx::PointT<int> GetPointerPosition() override
    {
        if (mOSWindow == nullptr)
            return Vx::PointT<int>{0, 0};
        if (mOSWindow->IsActive())
            return mOSWindow->GetMousePosition();
        return mOSWindow->ScreenToClient(Vx::LFrameworkApp::GetApplication()->GetMousePosition());
    }

    // The OS window's answer; the cursor passed is logged by its address's
    // presence only.
    juce::MouseCursor* SetCursor(juce::MouseCursor* cursor) override
    {
        mLog->push_back(std::string("cursor:") + (cursor == nullptr ? "null" : "set"));
        return mOSWindow == nullptr ? nullptr : mOSWindow->SetCursor(cursor);
    }

    int GetHeldButtons() override
    {
        if (mOSWindow != nullptr)
            return mOSWindow->GetMouseButtons();
        return Vx::LFrameworkApp::GetApplication()->GetMouseButtons();
    }

    Vx::RectT<int> GetClientRect() override
    {
        const Vx::PointT<int> size = GetClientSize();
        const Vx::PointT<int> origin =
            mOSWindow != nullptr ? mOSWindow->ClientToScreen(Vx::PointT<int>{0, 0}) : Vx::PointT<int>{0, 0};
        return Vx::RectT<int>{origin.x, origin.y, size.x, size.y};
    }

    // The OS window takes the rectangle as it is.
    void SetWindowRect(const Vx::RectT<int>& rectangle) override
    {
        mLog->push_back("window-rect:" + mName + " " + std::to_string(rectangle.x) + "," + std::to_string(rectangle.y) +
                        "," + std::to_string(rectangle.width) + "," + std::to_string(rectangle.height));
        if (mOSWindow == nullptr)
            return;
        mOSWindow->mScreenOrigin = Vx::PointT<int>{rectangle.x, rectangle.y};
        mOSWindow->mClientRect = Vx::RectT<int>{0, 0, rectangle.width, rectangle.height};
    }

    // The control state is whatever the test put there; the controls' calls
    // are logged.
    Vx::RCPtr<Vx::LControl> GetTopControl() const override { return mTopControl; }
    Vx::RCPtr<Vx::LControl> GetFocusControl() const override { return mFocusControl; }
    void SetFocusControl(const Vx::RCPtr<Vx::LControl>& control) override
    {
        mLog->push_back("focus:" + std::string(control.IsNull() ? "null" : control->GetName().GetCString()));
        mFocusControl = control;
    }
    void OnControlUnfocused(const Vx::RCPtr<Vx::LControl>& control) override
    {
        mLog->push_back("unfocused:" + std::string(control.IsNull() ? "null" : control->GetName().GetCString()));
        mFocusControl = nullptr;
    }
    Vx::RCPtr<Vx::LControl> GetHoverControl() const override { return mHoverControl; }
    Vx::RCPtr<Vx::LControl> HitTest(Vx::RCPtr<Vx::LControl>& found, const Vx::PointT<int>& point,
                                    Vx::PointT<int>& pointInControl, bool updateHover) override
    {
        mLog->push_back("hit-test:" + std::to_string(point.x) + "," + std::to_string(point.y) +
                        (updateHover ? " hover" : ""));
        found = nullptr;
        pointInControl = point;
        return nullptr;
    }
    Vx::VxRESULT ReleaseCapture(const Vx::RCPtr<Vx::LControl>& control) override
    {
        mLog->push_back("release-capture:" + std::string(control.IsNull() ? "null" : control->GetName().GetCString()));
        return Vx::VXR_OK;
    }

    Vx::VxRESULT RemoveContainedReferences() override
    {
        RemoveAllClients();
        mOSWindow = nullptr;
        ClearControls();
        Detach();
        return Vx::LRefCountedObject::RemoveContainedReferences();
    }

    void ForgetOSWindow() { mOSWindow = nullptr; }
    // The controls hold the window too: a test lets go of them first.
    void ClearControls()
    {
        mTopControl = nullptr;
        mFocusControl = nullptr;
        mHoverControl = nullptr;
    }

    std::string mName;
    Log* mLog;
    FakeOSWindow* mOSWindow;
    Vx::RCPtr<Vx::LMeasurementRenderer> mRenderer;
    bool mClosePending = false;
    std::int32_t mCloseCode = 0;
    Vx::RCPtr<Vx::LControl> mTopControl;
    Vx::RCPtr<Vx::LControl> mFocusControl;
    Vx::RCPtr<Vx::LControl> mHoverControl;

private:
    FakeRootWindow(std::string name, Log* log, FakeOSWindow* osWindow)
        : mName(std::move(name)), mLog(log), mOSWindow(osWindow)
    {
    }
};

inline Vx::VxRESULT FakeOSWindow::Close(int /*result*/)
{
    mLog->push_back("close:" + mName);
    mClosed = true;
    mActive = false;
    if (mRootWindow != nullptr)
    {
        const Vx::RCPtr<Vx::LRootWindow> root(mRootWindow);
        mRootWindow->ForgetOSWindow();
        mRootWindow = nullptr;
        if (Vx::LFrameworkApp* app = Vx::LFrameworkApp::GetApplication())
            app->RemoveRootWindow(root);
    }
    return Vx::VXR_OK;
}

class FakeStatusBar : public Vx::LStatusBar
{
public:
    Vx::VxRESULT PostStatusText(const String& text) override
    {
        mLog.push_back(std::string("post:") + text.GetCString());
        return Vx::VXR_OK;
    }
    Vx::VxRESULT SetStatusTextNow(const String& text) override
    {
        mLog.push_back(std::string("now:") + text.GetCString());
        return Vx::VXR_OK;
    }
    String GetDefaultText() const override { return mDefaultText; }
    Vx::VxRESULT RemoveContainedReferences() override
    {
        RemoveAllClients();
        UnregisterAll();
        return Vx::LRefCountedObject::RemoveContainedReferences();
    }

    Log mLog;
    String mDefaultText{"Ready"};
};

class FakeControlFactory : public Vx::LControlFactory
{
};

class FakeStringTable : public Vx::LStringTable
{
};

// The JUCE application base and the test application above the framework
// object: platform answers, the exit agreement and the dispatch loop.
class TestApplication : public Vx::LFrameworkApp
{
public:
    TestApplication(Log* log, const Vx::RCPtr<Vx::LControlFactory>& factory = nullptr,
                    const Vx::RCPtr<Vx::LStringTable>& strings = nullptr)
        : LFrameworkApp(factory, strings, String("--test")), mLog(log)
    {
    }

    // The exit agreement of the application base.
    Vx::NotificationHandlerResultCode Receive(const Vx::RCPtr<Vx::LNotificationDistributor>& from,
                                              const Vx::ConstRCPtr<Vx::LNotification>& notification) override
    {
        if (notification.IsNull() || std::strcmp(notification->GetId(), "NID_APP_EXIT_REQ") != 0)
        {
            VX_ASSERT_FALSE();
            return LFrameworkApp::Receive(from, notification);
        }
        if (!mAllowExit)
            return 0;
        const Vx::NotificationHandlerResultCode result = LFrameworkApp::Receive(from, notification);
        const Vx::RCPtr<Vx::LRootWindow> main = GetRootWindow(0);
        if (!main.IsNull())
        {
            main->RequestClose(0);
            main->ProcessIdle(true);
        }
        ++mQuitRequests;
        mLog->push_back("quit");
        if (juce::MessageManager::getInstanceWithoutCreating() != nullptr)
            juce::MessageManager::getInstance()->stopDispatchLoop();
        return result;
    }

    // The framework part is not here; the base's own registration is.
    Vx::VxRESULT RunApplicationStartup() override
    {
        Register(Vx::RCPtr<Vx::LNotificationDistributor>(GetDefaultNotificationCenter()), "NID_APP_EXIT_REQ", 0);
        return Vx::VXR_OK;
    }

    String GetTitleText() override { return String(); }
    String GetApplicationName() override { return String(); }
    String GetInfoText() override { return String(); }
    String GetVersionText() override { return String("1_0_0"); }
    String GetExtraText() override { return String(); }
    String GetMainControlName() override { return String("mainControl"); }
    juce::MouseCursor* LoadCursor(const String&) override { return nullptr; }
    Vx::RCPtr<Vx::LStatusBar> GetStatusBar() override { return mStatusBar; }
    int GetLanguageId() override { return 9; }
    Vx::VxRESULT GetDefaultFont(String&, float&, int&) override { return Vx::VXR_OK; }
    Vx::RectT<int> GetDisplayArea() override { return Vx::RectT<int>{0, 0, 800, 480}; }
    String GetPath(int) override { return String(); }
    int GetCurrentSkinIndex() override { return 0; }
    Vx::VxRESULT LoadSkin(int) override { return Vx::VXR_OK; }
    double GetElapsedSeconds() override { return 0.0; }
    std::uint32_t GetTickCount() override { return 0; }
    Vx::VxRESULT GetLocalTime(Vx::LocalTimeFields&) override { return Vx::VXR_OK; }
    Vx::VxRESULT GetKeyState(int virtualKey, bool& pressed) override
    {
        mKeyQueries.push_back(virtualKey);
        pressed = mPressedKeys.count(virtualKey) != 0;
        return Vx::VXR_OK;
    }
    int MessageBox(const String& text, const String& caption, std::uint32_t flags) override
    {
        mLog->push_back(std::string("message:") + caption.GetCString() + ":" + text.GetCString() + ":" +
                        std::to_string(flags));
        return 0;
    }
    int RemoveRootWindow(const Vx::RCPtr<Vx::LRootWindow>& window) override
    {
        if (!mMainRootWindow.IsNull() && mMainRootWindow == window)
            mMainRootWindow = nullptr;
        return LFrameworkApp::RemoveRootWindow(window);
    }
    Vx::IIniFileManager* GetIniFileManager() override { return nullptr; }
    Vx::IniFileHandle GetSettings(int) override { return nullptr; }
    Vx::RCPtr<Vx::LControl> CreateControls(const String&) override { return nullptr; }
    int RunModalWindow(const Vx::RCPtr<Vx::LControl>&, bool) override { return 0; }
    Vx::VxRESULT OpenWindow(const Vx::RCPtr<Vx::LControl>&, bool, bool, bool) override { return Vx::VXR_OK; }
    Vx::VxRESULT SetCursorHidden(bool) override { return Vx::VXR_OK; }
    Vx::VxRESULT SetMousePosition(const Vx::PointT<int>&) override { return Vx::VXR_OK; }
    int GetMainWindowShowMode() override { return 3; }
    Vx::VxRESULT CreateMainWindow(int) override { return Vx::VXR_OK; }
    void OnBeforeRun() override { mLog->push_back("before-run"); }
    Vx::VxRESULT RunDispatchLoop() override
    {
        mLog->push_back("loop");
        if (mDispatchLoop)
            mDispatchLoop();
        else
            juce::MessageManager::getInstance()->runDispatchLoop();
        return Vx::VXR_OK;
    }
    Vx::VxRESULT OnShutdown() override { return Vx::VXR_OK; }

    Log* mLog;
    bool mAllowExit = true;
    int mQuitRequests = 0;
    std::set<int> mPressedKeys;
    std::vector<int> mKeyQueries;
    Vx::RCPtr<Vx::LStatusBar> mStatusBar;
    Vx::RCPtr<Vx::LRootWindow> mMainRootWindow;
    std::function<void()> mDispatchLoop;
};

// The shell's idle timer: 10 ms while idle, 1 ms while work is pending, no
// processing once the exit is requested.  The interval is its own, so tests
// can tick it by hand; with a message manager it also runs as a JUCE timer.
class IdleTimer : public juce::Timer
{
public:
    ~IdleTimer() override { stopTimer(); }

    void Start() { SetInterval(10, true); }

    void timerCallback() override
    {
        Vx::LFrameworkApp* const app = Vx::LFrameworkApp::GetApplication();
        if (app == nullptr || app->IsExitRequested())
        {
            SetInterval(10, false);
            return;
        }
        const bool pending = app->ProcessIdle(mInterval == 10);
        SetInterval(pending ? 1 : 10, false);
    }

    int mInterval = 0;

private:
    void SetInterval(int interval, bool start)
    {
        if (!start && interval == mInterval)
            return;
        mInterval = interval;
        if (juce::MessageManager::getInstanceWithoutCreating() != nullptr)
            startTimer(interval);
    }
};
} // namespace VxTest
