#include "VxFramework/Application/ApplicationBaseJuce.h"

#include "JuceBackend/SystemPath.h"
#include "VxFramework/Application/OSWindowJuce.h"
#include "VxFramework/ControlBase/RootWindow.h"
#include "VxFramework/Notification/Notification.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/ObjectBase/Mutex.h"
#include "VxFramework/ObjectBase/NoDestructor.h"
#include "VxFramework/Renderer/Renderer.h"
#include "VxFramework/Utilities/Computation/MathUtils.h"
#include "VxFramework/Utilities/DebugTracer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <limits>
#include <system_error>
#include <vector>

namespace Vx
{
namespace
{
constexpr const char* kExitRequestId = "NID_APP_EXIT_REQ";
constexpr const char* kStartupErrorText = "The application encountered problems during startup and will now close.";
constexpr const char* kStartupErrorCaption = "Error";
constexpr int kAppSettings = 0;
constexpr int kUserSettings = 1;

using String = LFrameworkApp::String;

int ShowNativeMessageBox(const MessageBoxRequest& request)
{
    switch (request.buttons)
    {
    case MessageBoxRequest::kOkCancel:
        return juce::NativeMessageBox::showOkCancelBox(request.icon, request.title, request.message, nullptr, nullptr)
                   ? 1
                   : 0;
    case MessageBoxRequest::kYesNoCancel:
        return juce::NativeMessageBox::showYesNoCancelBox(request.icon, request.title, request.message, nullptr,
                                                          nullptr);
    case MessageBoxRequest::kMessageOnly:
        break;
    }
    juce::NativeMessageBox::showMessageBox(request.icon, request.title, request.message);
    return 0;
}

MessageBoxPresenter& CurrentPresenter()
{
    static NoDestructor<MessageBoxPresenter> presenter{MessageBoxPresenter(&ShowNativeMessageBox)};
    return *presenter;
}

juce::String ToJuce(const String& text)
{
    return juce::String::fromUTF8(text.GetCString());
}

String FromJuce(const juce::String& text)
{
    return String(text.toRawUTF8());
}

// The user name of a data directory: a path seam path below JUCE's own.
String MappedSpecialLocation(juce::File::SpecialLocationType type)
{
    const std::string path = juce::File::getSpecialLocation(type).getFullPathName().toStdString();
    return String(MapSystemPath(path).c_str());
}

// The directory of the running executable; empty (after an assertion) when
// the link cannot be read whole.
String ExecutableDirectory()
{
    std::string target;
    if (!ApplicationPaths::ReadLink(MapSystemPath("/proc/self/exe"), ApplicationPaths::kLinkCapacity, target))
        VX_ASSERT_FALSE();
    const std::string::size_type slash = target.rfind('/');
    return String(slash == std::string::npos ? "" : target.substr(0, slash).c_str());
}

// Towards zero, clamped to the int range with an assertion.
int TruncateToInt(double value)
{
    constexpr double kLow = static_cast<double>(std::numeric_limits<int>::min());
    constexpr double kHigh = static_cast<double>(std::numeric_limits<int>::max());
    if (!(value >= kLow && value <= kHigh))
    {
        VX_ASSERT_FALSE();
        return value > 0.0 ? std::numeric_limits<int>::max() : (value < 0.0 ? std::numeric_limits<int>::min() : 0);
    }
    return static_cast<int>(value);
}

// Makes the directory and its parents; false when it is not a directory
// afterwards.
bool MakeDirectories(const String& path)
{
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path.GetCString()), error);
    return std::filesystem::is_directory(std::filesystem::path(path.GetCString()), error);
}
} // namespace

ScopedMessageBoxPresenter::ScopedMessageBoxPresenter(MessageBoxPresenter presenter)
    : mPrevious(std::move(CurrentPresenter()))
{
    CurrentPresenter() = std::move(presenter);
}

ScopedMessageBoxPresenter::~ScopedMessageBoxPresenter()
{
    CurrentPresenter() = std::move(mPrevious);
}

MessageBoxRequest MakeMessageBoxRequest(const String& text, const String& caption, std::uint32_t flags)
{
    MessageBoxRequest request;
    request.title = ToJuce(caption);
    request.message = ToJuce(text);
    request.icon = (flags & 0x30u) != 0 ? juce::MessageBoxIconType::QuestionIcon : juce::MessageBoxIconType::InfoIcon;
    if ((flags & 0x1u) != 0)
        request.buttons = MessageBoxRequest::kOkCancel;
    else if ((flags & 0x2u) != 0)
        request.buttons = MessageBoxRequest::kYesNoCancel;
    else if ((flags & 0xcu) != 0)
        request.buttons = MessageBoxRequest::kOkCancel;
    else
        request.buttons = MessageBoxRequest::kMessageOnly;
    return request;
}

int ShowMessageBox(const MessageBoxRequest& request)
{
    const MessageBoxPresenter presenter = CurrentPresenter();
    const int answer = presenter ? presenter(request) : 0;
    switch (request.buttons)
    {
    case MessageBoxRequest::kOkCancel:
        return answer == 1 ? 0 : -1;
    case MessageBoxRequest::kYesNoCancel:
        return answer == 0 ? -1 : 0;
    case MessageBoxRequest::kMessageOnly:
        break;
    }
    return 0;
}

namespace ApplicationPaths
{
bool ReadLink(const std::string& linkPath, std::size_t capacity, std::string& target)
{
    target.clear();
    if (capacity < 2)
        return false;
    // readlink neither terminates nor says whether it cut the target: a
    // result that fills the buffer may have been cut and is refused.
    std::vector<char> buffer(capacity);
    const ssize_t length = ::readlink(linkPath.c_str(), buffer.data(), capacity);
    if (length < 0 || static_cast<std::size_t>(length) >= capacity)
        return false;
    target.assign(buffer.data(), static_cast<std::size_t>(length));
    return true;
}

String MakeLegalFileName(const String& name)
{
    std::string legal = name.GetCString();
    for (char& c : legal)
    {
        if (std::strchr("\\/:*?\"<>|&;,^()", c) != nullptr && c != '\0')
            c = '_';
    }
    return String(legal.c_str());
}
} // namespace ApplicationPaths

// ---- The platform base.

LApplicationBaseJuce::LApplicationBaseJuce(const RCPtr<LControlFactory>& factory,
                                           const RCPtr<LStringTable>& stringTable, const String& commandLine)
    : LFrameworkApp(factory, stringTable, commandLine), mLastTick(juce::Time::getMillisecondCounter()),
      mSettingsManager(std::make_unique<CIniFileManagerProxy>()),
      mCursorMap{
          {"UI_CURSOR_ARROW", juce::MouseCursor::NormalCursor},
          {"UI_CURSOR_IBEAM", juce::MouseCursor::IBeamCursor},
          {"UI_CURSOR_WAIT", juce::MouseCursor::WaitCursor},
          {"UI_CURSOR_CROSS", juce::MouseCursor::CrosshairCursor},
          {"UI_CURSOR_UP_ARROW", juce::MouseCursor::TopEdgeResizeCursor},
          {"UI_CURSOR_SIZE_ALL", juce::MouseCursor::UpDownLeftRightResizeCursor},
          {"UI_CURSOR_SIZE_NWSE", juce::MouseCursor::TopLeftCornerResizeCursor},
          {"UI_CURSOR_SIZE_NESW", juce::MouseCursor::TopRightCornerResizeCursor},
          {"UI_CURSOR_SIZE_WE", juce::MouseCursor::LeftRightResizeCursor},
          {"UI_CURSOR_SIZE_NS", juce::MouseCursor::UpDownResizeCursor},
          {"UI_CURSOR_NO_DROP", juce::MouseCursor::DraggingHandCursor},
          {"UI_CURSOR_HAND", juce::MouseCursor::PointingHandCursor},
      }
{
    mSettingsManager->Initialize();
}

LApplicationBaseJuce::~LApplicationBaseJuce()
{
    mSettingsManager->CloseAll();
    mCursorMap.clear();
    mCurrentCursor.reset();
    mSettingsManager.reset();
}

NotificationHandlerResultCode LApplicationBaseJuce::Receive(const RCPtr<LNotificationDistributor>& from,
                                                            const ConstRCPtr<LNotification>& notification)
{
    const String id = notification.IsNull() ? String() : NotificationIdText(notification->GetId());
    if (!(id == kExitRequestId))
    {
        VX_ASSERT_FALSE();
        return LFrameworkApp::Receive(from, notification);
    }
    if (!AllowExit())
        return 0;

    const NotificationHandlerResultCode result = LFrameworkApp::Receive(from, notification);
    const RCPtr<LRootWindow> main = GetRootWindow(0);
    if (!main.IsNull())
    {
        main->RequestClose(0);
        main->ProcessIdle(true);
    }
    if (juce::JUCEApplicationBase* const shell = juce::JUCEApplicationBase::getInstance())
        shell->systemRequestedQuit();
    return result;
}

juce::MouseCursor* LApplicationBaseJuce::LoadCursor(const String& name)
{
    int type = juce::MouseCursor::NormalCursor;
    const auto found = mCursorMap.find(name);
    if (found == mCursorMap.end())
        VX_ASSERT_FALSE();
    else
        type = found->second;

    auto cursor = std::make_unique<juce::MouseCursor>(static_cast<juce::MouseCursor::StandardCursorType>(type));
    if (mCurrentCursor == nullptr || *cursor != *mCurrentCursor)
        mCurrentCursor = std::move(cursor);
    return mCurrentCursor.get();
}

VxRESULT LApplicationBaseJuce::GetDefaultFont(String& name, float& size, int& style)
{
    const juce::Font font;
    name = FromJuce(font.getTypefaceName());
    size = font.getHeight();
    style = font.getStyleFlags();
    return VXR_OK;
}

RectT<int> LApplicationBaseJuce::GetDisplayArea()
{
    const juce::Displays::Display* const display = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay();
    if (display == nullptr)
    {
        VX_ASSERT_FALSE();
        return RectT<int>{0, 0, 0, 0};
    }
    const juce::Rectangle<int> area = display->userArea;
    return RectT<int>{area.getX(), area.getY(), area.getWidth(), area.getHeight()};
}

String LApplicationBaseJuce::GetPath(int pathId)
{
    String path;
    switch (pathId)
    {
    case kPathExecutable:
    case kPathResources:
        path = ExecutableDirectory();
        if (pathId == kPathResources)
            path = path + "/" + "Resources";
        break;
    case kPathCommonData:
    case kPathUserData:
    {
        const String name = ApplicationPaths::MakeLegalFileName(GetApplicationName());
        const String base = MappedSpecialLocation(pathId == kPathCommonData ? juce::File::commonApplicationDataDirectory
                                                                            : juce::File::userApplicationDataDirectory);
        // Both levels are the application's name; each is made on its own so
        // that the first failing one is the one reported.
        path = base + "/" + name;
        if (!MakeDirectories(path))
            VX_ASSERT_FALSE();
        path = path + "/" + name;
        if (!MakeDirectories(path))
            VX_ASSERT_FALSE();
        break;
    }
    case kPathHome:
        path = MappedSpecialLocation(juce::File::userHomeDirectory);
        break;
    default:
        VX_THROW(std::out_of_range, "Unknown Path ID.");
    }
    DebugTracer::Get().Trace(-1, "PathID %d: %s", pathId, path.GetCString());
    return path;
}

double LApplicationBaseJuce::GetElapsedSeconds()
{
    const std::uint32_t tick = GetTickCount();
    // Unsigned, so that the counter's wrap still gives the true difference.
    mElapsedSeconds += static_cast<double>(tick - mLastTick) / 1000.0;
    mLastTick = tick;
    return mElapsedSeconds;
}

std::uint32_t LApplicationBaseJuce::GetTickCount()
{
    return juce::Time::getMillisecondCounter();
}

VxRESULT LApplicationBaseJuce::GetLocalTime(LocalTimeFields& time)
{
    const juce::Time now = juce::Time::getCurrentTime();
    time.year = now.getYear();
    time.month = now.getMonth();
    time.dayOfWeek = now.getDayOfWeek();
    time.day = now.getDayOfMonth();
    time.hour = now.getHours();
    time.minute = now.getMinutes();
    time.second = now.getSeconds();
    time.millisecond = now.getMilliseconds();
    return VXR_OK;
}

VxRESULT LApplicationBaseJuce::GetKeyState(int virtualKey, bool& pressed)
{
    pressed = juce::KeyPress::isKeyCurrentlyDown(virtualKey);
    return VXR_OK;
}

int LApplicationBaseJuce::MessageBox(const String& text, const String& caption, std::uint32_t flags)
{
    return ShowMessageBox(MakeMessageBoxRequest(text, caption, flags));
}

int LApplicationBaseJuce::RemoveRootWindow(const RCPtr<LRootWindow>& window)
{
    // A root window that is closing has let go of its OS window already:
    // the main window also knows its root window.
    const auto* const mainOSWindow = dynamic_cast<const OSWindow*>(mMainWindow.get());
    if (mMainWindow != nullptr && !window.IsNull() &&
        (dynamic_cast<juce::DocumentWindow*>(window->GetOSWindow()) == mMainWindow.get() ||
         (mainOSWindow != nullptr && mainOSWindow->GetRootWindow().Get() == window.Get())))
    {
        // The window is on its way out and deletes itself.
        static_cast<void>(mMainWindow.release());
    }
    return LFrameworkApp::RemoveRootWindow(window);
}

IniFileHandle LApplicationBaseJuce::GetSettings(int kind)
{
    IniFileHandle* handle = nullptr;
    String path;
    if (kind == kAppSettings)
    {
        handle = &mAppSettings;
        if (*handle == nullptr)
            path = GetPath(kPathCommonData) + "/" + "AppSettings.ini";
    }
    else if (kind == kUserSettings)
    {
        handle = &mUserSettings;
        if (*handle == nullptr)
            path = GetPath(kPathUserData) + "/" + "UserSettings.ini";
    }
    else
    {
        VX_ASSERT_FALSE();
        return nullptr;
    }
    if (*handle == nullptr)
    {
        // A failed open leaves the handle null, so the next call tries again.
        IniFileHandle opened = nullptr;
        if (mSettingsManager->Open(path, GetVersionText(), GetApplicationName(), opened) < 0)
            VX_ASSERT_FALSE();
        else
            *handle = opened;
    }
    return *handle;
}

RCPtr<LControl> LApplicationBaseJuce::CreateControls(const String& descriptorName)
{
    RCPtr<LControlFactory>& factory = GetControlFactory();
    if (factory.IsNull())
    {
        VX_ASSERT_FALSE();
        return nullptr;
    }
    return factory->CreateControl(factory->FindControlDescriptor(descriptorName), nullptr);
}

namespace
{
// The root window a control window takes its place and renderer from: the
// active one, else root window 0 (asserted); null when there is none.
RCPtr<LRootWindow> ParentRootWindow(LFrameworkApp& app)
{
    RCPtr<LRootWindow> parent = app.GetActiveRootWindow();
    if (parent.IsNull())
    {
        VX_ASSERT_FALSE();
        parent = app.GetRootWindow(0);
    }
    if (parent.IsNull())
        VX_ASSERT_FALSE();
    return parent;
}

// A new OS window showing the control with the buttons, its root window the
// application's newest; the window and the index, or null and -1.
struct ControlWindow
{
    OSWindow* window = nullptr;
    int index = -1;
};

ControlWindow OpenControlWindow(LFrameworkApp& app, const RCPtr<LControl>& control, int buttons)
{
    if (control.IsNull())
    {
        VX_ASSERT_FALSE();
        return {};
    }
    const RCPtr<LRootWindow> parent = ParentRootWindow(app);
    if (parent.IsNull() || parent->GetOSWindow() == nullptr)
        return {};

    auto window = std::make_unique<OSWindow>();
    const std::uint32_t before = app.GetRootWindows().GetCount();
    const RectT<double>& bounds = control->GetBounds();
    const PointT<int> origin = parent->GetOSWindow()->ClientToScreen(
        PointT<int>{RoundHalfAwayFromZero(bounds.x), RoundHalfAwayFromZero(bounds.y)});
    window->setTitleBarButtonsRequired(buttons, false);
    window->setBounds(origin.x, origin.y, RoundHalfAwayFromZero(bounds.width), RoundHalfAwayFromZero(bounds.height));
    window->setIcon(LApplicationBaseJuce::GetApplicationIcon());
    window->AttachRenderer(parent->GetRenderer());
    if (app.GetRootWindows().GetCount() != before + 1 || window->GetRootWindow().IsNull())
        return {};

    window->GetRootWindow()->SetTopControl(control);
    window->setVisible(true);
    window->Repaint();
    return {window.release(), static_cast<int>(before)};
}
} // namespace

int LApplicationBaseJuce::RunModalWindow(const RCPtr<LControl>& control, bool closeButton)
{
    const ControlWindow opened = OpenControlWindow(*this, control, closeButton ? MainWindowSettings::kCloseButton : 0);
    if (opened.index < 0)
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    // The loop ends with the window's Close, which deletes it.
    return opened.window->RunModalLoop();
}

VxRESULT LApplicationBaseJuce::OpenWindow(const RCPtr<LControl>& control, bool closeButton, bool minimiseButton,
                                          bool maximiseButton)
{
    if (!control.IsNull() && control->GetDescriptor().IsNull())
        ThrowNullPointer("Control descriptor is null", __FILE__, __LINE__);
    const int buttons = (minimiseButton ? MainWindowSettings::kMinimiseButton : 0) |
                        (maximiseButton ? MainWindowSettings::kMaximiseButton : 0) |
                        (closeButton ? MainWindowSettings::kCloseButton : 0);
    const ControlWindow opened = OpenControlWindow(*this, control, buttons);
    return opened.index < 0 ? VXR_E_FAIL : opened.index;
}

VxRESULT LApplicationBaseJuce::SetCursorHidden(bool hidden)
{
    if (hidden)
        juce::Desktop::getInstance().getMainMouseSource().hideCursor();
    else
        juce::Desktop::getInstance().getMainMouseSource().revealCursor();
    return VXR_OK;
}

VxRESULT LApplicationBaseJuce::SetMousePosition(const PointT<int>& screenPoint)
{
    juce::Desktop::setMousePosition(juce::Point<int>(screenPoint.x, screenPoint.y));
    return VXR_OK;
}

MainWindowSettings MainWindowSettings::FromLayout(const LLayoutDescriptor& layout)
{
    MainWindowSettings settings;
    if (layout.XMinSizeReference == LimitReference::NamedControl &&
        layout.XMaxSizeReference == LimitReference::NamedControl &&
        layout.YMinSizeReference == LimitReference::NamedControl &&
        layout.YMaxSizeReference == LimitReference::NamedControl)
    {
        settings.resizable = false;
    }
    else if (layout.XMinSizeAbs == 0.0 && layout.XMinSizeRel == 0.0f && layout.YMinSizeAbs == 0.0 &&
             layout.YMinSizeRel == 0.0f)
    {
        settings.resizable = true;
    }
    else
    {
        const bool fixedX = layout.XMinSizeReference == layout.XMaxSizeReference &&
                            layout.XMinSizeAbs == layout.XMaxSizeAbs && layout.XMinSizeRel == layout.XMaxSizeRel;
        const bool fixedY = layout.YMinSizeReference == layout.YMaxSizeReference &&
                            layout.YMinSizeAbs == layout.YMaxSizeAbs && layout.YMinSizeRel == layout.YMaxSizeRel;
        settings.resizable = !(fixedX && fixedY);
    }

    if (layout.XPositionReference != PositionReference::Parent)
        VX_ASSERT_FALSE();
    if (layout.YPositionReference != PositionReference::Parent)
        VX_ASSERT_FALSE();
    if (layout.XSizeReference != SizeReference::Parent && layout.XSizeReference != SizeReference::Self)
        VX_ASSERT_FALSE();
    if (layout.YSizeReference != SizeReference::Parent && layout.YSizeReference != SizeReference::Self)
        VX_ASSERT_FALSE();

    settings.maximisable = settings.resizable && layout.XMaxSizeAbs == 0.0 && layout.YMaxSizeAbs == 0.0 &&
                           layout.XMaxSizeReference == LimitReference::Self &&
                           layout.YMaxSizeReference == LimitReference::Self;
    settings.bounds = RectT<int>{TruncateToInt(layout.XPositionAbs), TruncateToInt(layout.YPositionAbs),
                                 TruncateToInt(layout.XSizeAbs), TruncateToInt(layout.YSizeAbs)};
    settings.displayShare = PointT<double>{layout.XSizeReference == SizeReference::Parent ? layout.XSizeRel : 0.0,
                                           layout.YSizeReference == SizeReference::Parent ? layout.YSizeRel : 0.0};
    return settings;
}

VxRESULT LApplicationBaseJuce::CreateMainWindow(int rendererKind)
{
    static_cast<void>(GetTitleText());
    RCPtr<LControlFactory>& factory = GetControlFactory();
    const RCPtr<LControlDescriptor> descriptor =
        factory.IsNull() ? RCPtr<LControlDescriptor>() : factory->FindControlDescriptor(GetMainControlName());
    if (descriptor.IsNull())
        ThrowNullPointer("Invalid Control Name", __FILE__, __LINE__);
    // A descriptor without layout is laid out by the defaults.
    const RCPtr<LLayoutDescriptor> layout =
        descriptor->GetLayout().IsNull() ? MakeRCPtr<LLayoutDescriptor>() : descriptor->GetLayout();
    return OpenMainWindow(rendererKind, MainWindowSettings::FromLayout(*layout));
}

VxRESULT LApplicationBaseJuce::OpenMainWindow(int rendererKind, const MainWindowSettings& settings)
{
    auto window = std::make_unique<OSWindow>();
    window->setResizable(settings.resizable, false);
    window->setTitleBarButtonsRequired(settings.GetTitleBarButtons(window->getDesktopWindowStyleFlags() & 7), false);
    const RectT<int> display =
        settings.displayShare == PointT<double>{0.0, 0.0} ? RectT<int>{0, 0, 0, 0} : GetDisplayArea();
    window->setBoundsConstrained(
        juce::Rectangle<int>(settings.bounds.x, settings.bounds.y,
                             settings.bounds.width + TruncateToInt(settings.displayShare.x * display.width),
                             settings.bounds.height + TruncateToInt(settings.displayShare.y * display.height)));
    window->setUsingNativeTitleBar(settings.nativeTitleBar);
    window->setBackgroundColour(settings.background);
    // Held before the root window exists, so a renderer that throws leaves
    // no window behind.
    OSWindow* const created = window.get();
    SetMainWindow(std::move(window));
    const VxRESULT result = created->CreateRootWindow(rendererKind);
    if (GetRootWindow(0).IsNull() || GetRootWindow(0).Get() != created->GetRootWindow().Get())
        VX_ASSERT_FALSE();
    return result;
}

VxRESULT LApplicationBaseJuce::CreateMainControl()
{
    const RCPtr<LRootWindow>& main = GetRootWindow(0);
    if (main.IsNull() || GetControlFactory().IsNull())
        return VXR_E_FAIL;
    const VxRESULT result = main->CreateTopControl(GetMainControlName());
    mMainControl = main->GetTopControl();
    return result;
}

VxRESULT LApplicationBaseJuce::RunApplicationStartup()
{
    const VxRESULT result = LFrameworkApp::RunApplicationStartup();
    if (result >= 0)
        Register(RCPtr<LNotificationDistributor>(GetDefaultNotificationCenter()), kExitRequestId, 0);
    return result;
}

VxRESULT LApplicationBaseJuce::RunDispatchLoop()
{
    juce::MessageManager::getInstance()->runDispatchLoop();
    return VXR_OK;
}

VxRESULT LApplicationBaseJuce::OnShutdown()
{
    mMainControl = nullptr;
    mMainWindow.reset();
    return LFrameworkApp::OnShutdown();
}

juce::Image LApplicationBaseJuce::GetApplicationIcon()
{
    juce::Image icon(juce::Image::RGB, 32, 32, true);
    juce::Graphics graphics(icon);
    graphics.fillAll(juce::Colours::lightblue);
    graphics.setColour(juce::Colours::black);
    graphics.setFont(static_cast<float>(icon.getHeight()));
    graphics.drawText("Vx", icon.getBounds(), juce::Justification::centred, false);
    return icon;
}

RCPtr<LApplicationBaseJuce>& GetGlobalApplication()
{
    static NoDestructor<RCPtr<LApplicationBaseJuce>> application;
    return *application;
}

// ---- The idle timer.

int IdleTimerBase::Tick()
{
    int next = kIdleInterval;
    const RCPtr<LApplicationBaseJuce>& application = GetGlobalApplication();
    if (!application.IsNull() && !application->IsExitRequested())
    {
        // Held for the pass: the exit request it delivers may drop the global.
        const RCPtr<LApplicationBaseJuce> held = application;
        next = held->ProcessIdle(mInterval == kIdleInterval) ? kBusyInterval : kIdleInterval;
    }
    if (next != mInterval)
    {
        mInterval = next;
        startTimer(next);
    }
    return next;
}

// ---- The shell.

StartupErrorText GetStartupErrorText(const RCPtr<LStringTable>& stringTable)
{
    StartupErrorText texts{String(kStartupErrorText), String(kStartupErrorCaption)};
    if (!stringTable.IsNull())
    {
        stringTable->Lookup("STARTUP_ERROR", texts.text);
        stringTable->Lookup("STARTUP_ERROR_CAPTION", texts.caption);
    }
    return texts;
}

ApplicationInstanceLock::ApplicationInstanceLock(const juce::String& applicationName)
{
    // Where JUCE 7 keeps its lock files.
    std::string directory = MapSystemPath("/var/tmp");
    struct stat status
    {
    };
    if (::stat(directory.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
        directory = MapSystemPath("/tmp");
    const std::string path = directory + "/juceAppLock_" + applicationName.toStdString();

    mFd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (mFd < 0)
    {
        // No lock file: nothing tells another instance apart, so run.
        mHeld = true;
        return;
    }
    struct flock lock
    {
    };
    lock.l_whence = SEEK_SET;
    lock.l_type = F_WRLCK;
    int result = 0;
    do
        result = ::fcntl(mFd, F_SETLK, &lock);
    while (result < 0 && errno == EINTR);
    mHeld = result == 0 || (errno != EACCES && errno != EAGAIN);
}

ApplicationInstanceLock::~ApplicationInstanceLock()
{
    if (mFd >= 0)
        ::close(mFd);
}

RCPtr<JuceFrameworkAppBase>& GetShell()
{
    static NoDestructor<RCPtr<JuceFrameworkAppBase>> shell;
    return *shell;
}

JuceFrameworkAppBase::~JuceFrameworkAppBase()
{
    mIdleTimer.stopTimer();
}

bool JuceFrameworkAppBase::initialiseApp()
{
    if (!moreThanOneInstanceAllowed())
    {
        auto lock = std::make_unique<ApplicationInstanceLock>(getApplicationName());
        if (!lock->IsHeld())
        {
            // Where JUCE writes its own debug lines.
            std::fputs(kAnotherInstanceLine, stderr);
            std::fputc('\n', stderr);
            std::fflush(stderr);
            return false;
        }
        mInstanceLock = std::move(lock);
    }
    initialise(getCommandLineParameters());
    return !juce::MessageManager::getInstance()->hasStopMessageBeenSent();
}

bool JuceFrameworkAppBase::InitialiseApp(const String& /*commandLine*/)
{
    // The box says only that the start failed; the trace keeps why.
    try
    {
        return initialiseApp();
    }
    catch (const std::exception& exception)
    {
        DebugTracer::Get().Trace(-1, "%s", exception.what());
    }
    catch (...)
    {
        DebugTracer::Get().Trace(-1, "%s", "Unknown Exception");
    }
    const StartupErrorText texts = GetStartupErrorText(mStringTable);
    ShowMessageBox(MakeMessageBoxRequest(texts.text, texts.caption, 0x10));
    return false;
}

void JuceFrameworkAppBase::initialise(const juce::String& commandLine)
{
    GetShell() = RCPtr<JuceFrameworkAppBase>(this);
    const String text = FromJuce(commandLine);

    mControlFactory = MakeRCPtr<LControlFactory>(String());
    // The resources lie next to the executable; no application object exists
    // yet to answer the path, so the base's own answer is used.
    const String resources = ExecutableDirectory() + "/" + "Resources";
    DebugTracer::Get().Trace(-1, "PathID %d: %s", LApplicationBaseJuce::kPathResources, resources.GetCString());
    VX_THROW_IF_FAILED(mControlFactory->LoadResources(resources, 9));
    mStringTable = mControlFactory->GetFrameworkStringTable();

    RCPtr<LApplicationBaseJuce> application = CreateApplication(mControlFactory, mStringTable, text);
    VX_THROW_IF_NULL(application.Get(), "Application");
    GetGlobalApplication() = application;

    application->OnPreStartup(text);
    VX_THROW_IF_FAILED(application->RunApplicationStartup());
    application->OnPostStartup(text);
    VX_THROW_IF_FAILED(application->CreateMainWindow(application->GetMainRendererKind()));

    VX_THROW_IF_FAILED(application->CreateMainControl());

    application->OnBeforeRun();
    const RCPtr<LRootWindow>& main = application->GetRootWindow(0);
    if (!main.IsNull())
    {
        if (IWindowOSServices* const window = main->GetOSWindow())
            window->ShowWindow(application->GetMainWindowShowMode());
    }
    mIdleTimer.Start(IdleTimerBase::kIdleInterval);
}

void JuceFrameworkAppBase::shutdown()
{
    mIdleTimer.stopTimer();
    RCPtr<LApplicationBaseJuce> application = GetGlobalApplication();
    if (!application.IsNull())
    {
        application->OnShutdown();
        GetGlobalApplication() = nullptr;
        if (application->GetRefCount() != application->GetContainedRefCount() + 1)
            VX_ASSERT_FALSE();
        application = nullptr;
    }
    mControlFactory = nullptr;
    mStringTable = nullptr;
    GetShell() = nullptr;
}

int RunFrameworkApp(juce::JUCEApplicationBase::CreateInstanceFunction createInstance)
{
    juce::JUCEApplicationBase::createInstance = createInstance;
    const String commandLine;
    int result = 0;
    {
        const juce::ScopedJuceInitialiser_GUI gui;
        RCPtr<JuceFrameworkAppBase> shell(dynamic_cast<JuceFrameworkAppBase*>(createInstance()));
        if (shell.IsNull())
        {
            VX_ASSERT_FALSE();
            return 0;
        }
        GetShell() = shell;
        if (shell->InitialiseApp(commandLine))
        {
            // Not held across shutdown, which checks that it lets go of the
            // last reference.
            LApplicationBaseJuce* const application = GetGlobalApplication().Get();
            if (application == nullptr)
                VX_ASSERT_FALSE();
            else
                application->Run();
            shell->shutdown();
            juce::MessageManager::getInstance()->stopDispatchLoop();
        }
        else if (!GetGlobalApplication().IsNull())
        {
            // A start that failed half-way still closes the settings files
            // and releases the services it made, in order.
            shell->shutdown();
        }
        result = shell->getApplicationReturnValue();
        GetShell() = nullptr;
        shell = nullptr;
    }
    return result;
}
} // namespace Vx
