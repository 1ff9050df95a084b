#pragma once

#include "VxFramework/Application/FrameworkApp.h"
#include "VxFramework/ControlBase/LayoutDescriptor.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/Utilities/Storage/IniFileManager.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace Vx
{
// What a message box shows, decided from the framework's flags.
struct MessageBoxRequest
{
    enum Buttons
    {
        kMessageOnly,
        kOkCancel,
        kYesNoCancel,
    };

    Buttons buttons = kMessageOnly;
    juce::MessageBoxIconType icon = juce::MessageBoxIconType::InfoIcon;
    juce::String title;
    juce::String message;
};

// Shows a box and answers JUCE's button number: OK / Cancel gives 1 for OK,
// Yes / No / Cancel gives 1 yes, 2 no, 0 cancel; a message-only box's answer
// is ignored.  The product shows JUCE's native box; tests answer instead,
// because a real box runs a modal loop.
using MessageBoxPresenter = std::function<int(const MessageBoxRequest&)>;

// Installs a presenter for its lifetime and restores the one before.
class ScopedMessageBoxPresenter
{
public:
    explicit ScopedMessageBoxPresenter(MessageBoxPresenter presenter);
    ~ScopedMessageBoxPresenter();
    ScopedMessageBoxPresenter(const ScopedMessageBoxPresenter&) = delete;
    ScopedMessageBoxPresenter& operator=(const ScopedMessageBoxPresenter&) = delete;

private:
    MessageBoxPresenter mPrevious;
};

// The box for the flags: bit 0 OK / Cancel, else bit 1 Yes / No / Cancel,
// else bit 2 or 3 OK / Cancel, else the message alone; the question icon
// when flags & 0x30, else the info icon.
MessageBoxRequest MakeMessageBoxRequest(const StringT<char, unsigned short>& text,
                                        const StringT<char, unsigned short>& caption, std::uint32_t flags);
// Shows the box through the installed presenter: 0 for OK, yes or no, -1
// for cancel; 0 for a message-only box.
int ShowMessageBox(const MessageBoxRequest& request);

// Paths of the running program, built below the system path seam, so that a
// test or the simulator serves them from its own tree.
namespace ApplicationPaths
{
// What readlink of the executable may return, terminating zero excluded.
constexpr std::size_t kLinkCapacity = 4096;

// The link's target when it fits in capacity - 1 bytes; false (the target
// empty) when the link cannot be read or was cut at the capacity.
bool ReadLink(const std::string& linkPath, std::size_t capacity, std::string& target);
// Each \ / : * ? " < > | & ; , ^ ( ) replaced by an underscore.
StringT<char, unsigned short> MakeLegalFileName(const StringT<char, unsigned short>& name);
} // namespace ApplicationPaths

// How the main window is made, from the main control's layout.
struct MainWindowSettings
{
    // JUCE's title-bar button bits.
    static constexpr int kMinimiseButton = juce::DocumentWindow::minimiseButton;
    static constexpr int kMaximiseButton = juce::DocumentWindow::maximiseButton;
    static constexpr int kCloseButton = juce::DocumentWindow::closeButton;

    bool resizable = true;
    // A resizable window without a maximum size gets a maximise button.
    bool maximisable = false;
    // Position and size, each truncated.
    RectT<int> bounds{0, 0, 0, 0};
    // The share of the display's width and height added to the size where
    // the layout sizes the control from its parent: the main window's parent
    // is the display, and a window of the absolute size alone (0 for a
    // full-screen control) would show nothing.
    PointT<double> displayShare{0.0, 0.0};
    bool nativeTitleBar = true;
    juce::Colour background{static_cast<juce::uint8>(10), static_cast<juce::uint8>(10), static_cast<juce::uint8>(200),
                            static_cast<juce::uint8>(255)};

    // The buttons for a window whose style has currentButtons: maximise, and
    // close and minimise where the style has them; currentButtons unchanged
    // when the window is not maximisable.
    int GetTitleBarButtons(int currentButtons) const
    {
        if (!maximisable)
            return currentButtons;
        return kMaximiseButton | (currentButtons & (kCloseButton | kMinimiseButton));
    }

    // Not resizable when all four limits name controls; resizable without
    // minimum; otherwise unless minimum and maximum agree on both axes.  A
    // position not measured from the parent, or a size measured from neither
    // the parent nor the control itself, is asserted.
    static MainWindowSettings FromLayout(const LLayoutDescriptor& layout);
};

// The framework application's platform operations on JUCE: message boxes,
// cursors, time, displays, paths, the settings files, the main window and
// the exit agreement.  The part of LApplicationBase<T> that does not depend
// on the application class.  Main thread only.
class LApplicationBaseJuce : public LFrameworkApp
{
public:
    // Path ids of GetPath.
    static constexpr int kPathExecutable = 0;
    static constexpr int kPathResources = 1;
    static constexpr int kPathCommonData = 2;
    static constexpr int kPathUserData = 3;
    static constexpr int kPathHome = 4;

    // The renderer kind of the JUCE renderer.
    static constexpr int kJuceRenderer = 3;

    LApplicationBaseJuce(const RCPtr<LControlFactory>& factory, const RCPtr<LStringTable>& stringTable,
                         const String& commandLine);
    ~LApplicationBaseJuce() override;

    // The exit agreement: for "NID_APP_EXIT_REQ", when AllowExit agrees, the
    // framework's exit handling, then root window 0 closed with one idle
    // pass and JUCE asked to quit.  Other ids: an assertion and the
    // framework's handling.
    NotificationHandlerResultCode Receive(const RCPtr<LNotificationDistributor>& from,
                                          const ConstRCPtr<LNotification>& notification) override;
    // False turns the exit request into nothing.
    virtual bool AllowExit() { return true; }

    String GetTitleText() override { return String(); }
    String GetApplicationName() override { return String(); }
    String GetInfoText() override { return String(); }
    String GetExtraText() override { return String(); }
    // A name not in the cursor map: an assertion and the normal cursor.  The
    // cursor returned stays the application's until the next one is made.
    juce::MouseCursor* LoadCursor(const String& name) override;
    // The locale identifier start-up asks for.
    int GetLanguageId() override { return 9; }
    VxRESULT GetDefaultFont(String& name, float& size, int& style) override;
    // The user area of JUCE's main display; empty (after an assertion) when
    // there is no display.
    RectT<int> GetDisplayArea() override;
    // See the kPath ids; another id throws the out-of-range error
    // "Unknown Path ID.".  A data directory that cannot be made is asserted
    // and its path still returned.
    String GetPath(int pathId) override;
    double GetElapsedSeconds() override;
    // A monotonic millisecond clock.
    std::uint32_t GetTickCount() override;
    VxRESULT GetLocalTime(LocalTimeFields& time) override;
    VxRESULT GetKeyState(int virtualKey, bool& pressed) override;
    int MessageBox(const String& text, const String& caption, std::uint32_t flags) override;
    // Forgets the main window (without deleting it) when it hosts the window.
    int RemoveRootWindow(const RCPtr<LRootWindow>& window) override;
    IIniFileManager* GetIniFileManager() override { return mSettingsManager.get(); }
    // Kind 0 "AppSettings.ini" in the common data directory, kind 1
    // "UserSettings.ini" in the user's; each opened once and kept.  A failed
    // open is asserted and tried again by the next call; another kind: an
    // assertion and null.
    IniFileHandle GetSettings(int kind) override;
    RCPtr<LControl> CreateControls(const String& descriptorName) override;
    // The control in a window of its own over the active root window (else
    // root window 0), with the renderer of that root window.  RunModalWindow
    // runs the window's modal loop and answers its result (0x80000008 when no
    // window could be made); OpenWindow answers the new root window's index.
    // A control without descriptor throws "Null Pointer : Control descriptor
    // is null" from OpenWindow.
    int RunModalWindow(const RCPtr<LControl>& control, bool closeButton) override;
    VxRESULT OpenWindow(const RCPtr<LControl>& control, bool closeButton, bool minimiseButton,
                        bool maximiseButton) override;
    VxRESULT SetCursorHidden(bool hidden) override;
    VxRESULT SetMousePosition(const PointT<int>& screenPoint) override;
    // The show command of the main window: show.
    int GetMainWindowShowMode() override { return 5; }
    virtual int GetMainRendererKind() { return kJuceRenderer; }
    // Throws "Null Pointer : Invalid Control Name" when the skin has no main
    // control; otherwise the result of OpenMainWindow with the settings from
    // the main control's layout.
    VxRESULT CreateMainWindow(int rendererKind) override;
    // Creates the main control in root window 0 and keeps it until shutdown.
    // Negative when the skin has no such control or there is no root window 0.
    virtual VxRESULT CreateMainControl();
    const RCPtr<LControl>& GetMainControl() const noexcept { return mMainControl; }
    // The framework's start-up, then the exit-request subscription on the
    // default centre when it did not fail.
    VxRESULT RunApplicationStartup() override;
    VxRESULT RunDispatchLoop() override;
    // Deletes the main window, then the framework's shutdown part.
    VxRESULT OnShutdown() override;

    // 32 x 32, light blue with "Vx" in black.
    static juce::Image GetApplicationIcon();

    juce::DocumentWindow* GetMainWindow() const noexcept { return mMainWindow.get(); }
    // The cursor made by the last LoadCursor; null before the first.
    juce::MouseCursor* GetCurrentCursor() const noexcept { return mCurrentCursor.get(); }

protected:
    // Opens the main window with its root window (which becomes root window
    // 0, asserted) and keeps it through SetMainWindow.  A renderer kind other
    // than the JUCE renderer's throws the renderer factory's domain error.
    virtual VxRESULT OpenMainWindow(int rendererKind, const MainWindowSettings& settings);
    void SetMainWindow(std::unique_ptr<juce::DocumentWindow> window) { mMainWindow = std::move(window); }

private:
    std::unique_ptr<juce::DocumentWindow> mMainWindow;
    // Held here until the root window keeps its own top control.
    RCPtr<LControl> mMainControl;
    std::uint32_t mLastTick;
    double mElapsedSeconds = 0.0;
    std::unique_ptr<IIniFileManager> mSettingsManager;
    IniFileHandle mAppSettings = nullptr;
    IniFileHandle mUserSettings = nullptr;
    std::unique_ptr<juce::MouseCursor> mCurrentCursor;
    std::map<String, int> mCursorMap;
};

// The application's platform base, instantiated for the application class.
template <class T>
class LApplicationBase : public LApplicationBaseJuce
{
public:
    LApplicationBase(const RCPtr<LControlFactory>& factory, const RCPtr<LStringTable>& stringTable,
                     const String& commandLine)
        : LApplicationBaseJuce(factory, stringTable, commandLine)
    {
    }
};

// The pointers the shell keeps: the shell itself and the application object.
// Main thread only.
RCPtr<LApplicationBaseJuce>& GetGlobalApplication();

// Drives the framework's idle processing from JUCE's timer: every 10 ms,
// every 1 ms while the last pass left work pending, nothing once the exit is
// requested.  The idle notification goes out only on ticks after a 10 ms
// wait.
class IdleTimerBase : public juce::Timer
{
public:
    static constexpr int kIdleInterval = 10;
    static constexpr int kBusyInterval = 1;

    ~IdleTimerBase() override { stopTimer(); }

    void Start(int interval)
    {
        mInterval = interval;
        startTimer(interval);
    }
    // One tick; the interval for the next.
    int Tick();
    void timerCallback() override { Tick(); }
    int GetInterval() const noexcept { return mInterval; }

private:
    int mInterval = kIdleInterval;
};

template <class T>
class IdleTimer : public IdleTimerBase
{
};

// The text of a start-up that failed, from the string table when it has one.
struct StartupErrorText
{
    StringT<char, unsigned short> text;
    StringT<char, unsigned short> caption;
};
StartupErrorText GetStartupErrorText(const RCPtr<LStringTable>& stringTable);

// JUCE's single-instance lock "juceAppLock_" + the application name, in the
// directory where JUCE 7 keeps it (below the system path seam).  Held until
// destroyed.
class ApplicationInstanceLock
{
public:
    explicit ApplicationInstanceLock(const juce::String& applicationName);
    ~ApplicationInstanceLock();
    ApplicationInstanceLock(const ApplicationInstanceLock&) = delete;
    ApplicationInstanceLock& operator=(const ApplicationInstanceLock&) = delete;

    // False when another process holds it.  A lock file that cannot be made
    // does not stop the program.
    bool IsHeld() const noexcept { return mHeld; }

private:
    int mFd = -1;
    bool mHeld = false;
};

// The JUCE application around the framework application: resources, the
// application object, its start-up, the main window and the idle timer.
class JuceFrameworkAppBase : public juce::JUCEApplication, public virtual LRefCountedObject
{
public:
    using String = StringT<char, unsigned short>;

    static constexpr const char* kAnotherInstanceLine = "Another instance is running - quitting...";

    ~JuceFrameworkAppBase() override;

    const juce::String getApplicationName() override { return {}; }
    const juce::String getApplicationVersion() override { return {}; }
    bool moreThanOneInstanceAllowed() override { return false; }
    void initialise(const juce::String& commandLine) override;
    void shutdown() override;
    void anotherInstanceStarted(const juce::String&) override {}
    // The instance check, then initialise.  JUCE 7 writes the line for a
    // second instance only in debug builds; the shell writes it itself.
    bool initialiseApp() override;

    // initialiseApp inside a handler for every exception, which shows the
    // start-up error box and gives false.
    bool InitialiseApp(const String& commandLine);

    RCPtr<LControlFactory>& GetControlFactory() noexcept { return mControlFactory; }
    RCPtr<LStringTable>& GetStringTable() noexcept { return mStringTable; }
    IdleTimerBase& GetIdleTimer() noexcept { return mIdleTimer; }

protected:
    // The application object for the factory and table.
    virtual RCPtr<LApplicationBaseJuce> CreateApplication(const RCPtr<LControlFactory>& factory,
                                                          const RCPtr<LStringTable>& stringTable,
                                                          const String& commandLine) = 0;

private:
    RCPtr<LControlFactory> mControlFactory;
    RCPtr<LStringTable> mStringTable;
    String mText;
    IdleTimerBase mIdleTimer;
    std::unique_ptr<ApplicationInstanceLock> mInstanceLock;
};

// The shell pointer.  Main thread only.
RCPtr<JuceFrameworkAppBase>& GetShell();

template <class T>
class JuceFrameworkApp : public JuceFrameworkAppBase
{
public:
    // The creation function handed to JUCE.
    static juce::JUCEApplicationBase* CreateInstance() { return new JuceFrameworkApp<T>(); }

protected:
    RCPtr<LApplicationBaseJuce> CreateApplication(const RCPtr<LControlFactory>& factory,
                                                  const RCPtr<LStringTable>& stringTable,
                                                  const String& commandLine) override
    {
        return RCPtr<LApplicationBaseJuce>(T::CreateInstance(factory, stringTable, commandLine));
    }
};

// The program: runs the shell and the application's dispatch loop inside
// JUCE's GUI support; JUCE's application return value.  createInstance
// makes the shell object.
int RunFrameworkApp(juce::JUCEApplicationBase::CreateInstanceFunction createInstance);

template <class T>
int RunJuceFrameworkApp()
{
    return RunFrameworkApp(&JuceFrameworkApp<T>::CreateInstance);
}
} // namespace Vx
