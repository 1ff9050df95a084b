#include "VxFramework/Application/FrameworkApp.h"

#include "VxFramework/Notification/Notification.h"
#include "VxFramework/ObjectBase/Mutex.h"
#include "VxFramework/ObjectBase/NoDestructor.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <exception>

namespace Vx
{
namespace
{
constexpr const char* kExitRequestId = "NID_APP_EXIT_REQ";

// What the root-window accessors hand out when there is no such window.
const RCPtr<LRootWindow>& GetNullRootWindow()
{
    static const NoDestructor<RCPtr<LRootWindow>> none;
    return *none;
}

// Text layout measures with the current application's renderer.
RCPtr<LMeasurementRenderer> CurrentMeasurementRenderer()
{
    LFrameworkApp* const application = LFrameworkApp::GetApplication();
    VX_ASSERT(application != nullptr);
    if (application == nullptr)
        return nullptr;
    return application->GetMeasurementRenderer();
}
} // namespace

std::atomic<LFrameworkApp*> LFrameworkApp::sCurrent{nullptr};

LFrameworkApp::LFrameworkApp(const RCPtr<LControlFactory>& factory, const RCPtr<LStringTable>& frameworkStringTable,
                             const String& commandLine)
    : mControlFactory(factory), mCommandLine(commandLine), mFrameworkStringTable(frameworkStringTable)
{
    // There is one application per process.
    LFrameworkApp* const previous = sCurrent.exchange(this, std::memory_order_acq_rel);
    VX_ASSERT(previous == nullptr);
    SetMeasurementRendererProvider(&CurrentMeasurementRenderer);
    SetControlHost(this);
}

LFrameworkApp::~LFrameworkApp()
{
    ResetControlHost(this);
    UnregisterAll();
    // Takes the notification centres down with the application.
    LNotificationCenterManager::ReleaseInstance();
    LNotification::SetPoolingEnabled(false);
    // Another application may have taken the place meanwhile.
    LFrameworkApp* expected = this;
    sCurrent.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
}

const RCPtr<LRootWindow>& LFrameworkApp::GetRootWindow(std::uint32_t index) const
{
    if (index >= mRootWindows.GetCount())
        return GetNullRootWindow();
    return mRootWindows[index];
}

const RCPtr<LRootWindow>& LFrameworkApp::GetActiveRootWindow() const
{
    for (std::uint32_t i = mRootWindows.GetCount(); i-- > 0;)
    {
        IWindowOSServices* const window = mRootWindows[i]->GetOSWindow();
        if (window != nullptr && window->IsActive())
            return mRootWindows[i];
    }
    return GetNullRootWindow();
}

RCPtr<LNotificationCenter> LFrameworkApp::GetNotificationCenter(const String& name)
{
    return LNotificationCenterManager::GetInstance()->GetCenter(name);
}

RCPtr<LNotificationCenter> LFrameworkApp::GetDefaultNotificationCenter()
{
    return GetNotificationCenter(LNotificationCenterManager::GetDefaultCenterName());
}

RCPtr<LNotificationCenter> LFrameworkApp::FindNotificationCenter(const String& name)
{
    return LNotificationCenterManager::GetInstance()->FindCenter(name);
}

bool LFrameworkApp::ProcessNotificationCenters(bool sendIdle)
{
    return LNotificationCenterManager::GetInstance()->ProcessPending(sendIdle);
}

VxRESULT LFrameworkApp::SetStatusText(const String& text, int mode)
{
    if (GetRootWindow(0).IsNull())
        return VXR_E_FAIL;
    const RCPtr<LStatusBar> statusBar = GetStatusBar();
    if (statusBar.IsNull())
        return VXR_E_FAIL;
    if (mode == 0)
        return statusBar->PostStatusText(text);
    if (mode != 1)
        VX_ASSERT_FALSE();
    return statusBar->SetStatusTextNow(text);
}

VxRESULT LFrameworkApp::RestoreStatusText(int mode)
{
    if (GetRootWindow(0).IsNull())
        return VXR_E_FAIL;
    const RCPtr<LStatusBar> statusBar = GetStatusBar();
    if (statusBar.IsNull())
        return VXR_E_FAIL;
    if (mode == 0)
        return statusBar->PostStatusText(statusBar->GetDefaultText());
    if (mode != 1)
        VX_ASSERT_FALSE();
    return statusBar->SetStatusTextNow(statusBar->GetDefaultText());
}

LFrameworkApp::String LFrameworkApp::GetStatusText()
{
    if (GetRootWindow(0).IsNull())
        return String();
    const RCPtr<LStatusBar> statusBar = GetStatusBar();
    if (statusBar.IsNull())
        return String();
    return statusBar->GetDefaultText();
}

NotificationHandlerResultCode LFrameworkApp::Receive(const RCPtr<LNotificationDistributor>& /*from*/,
                                                     const ConstRCPtr<LNotification>& notification)
{
    if (notification.IsNull())
        return 0;
    String id;
    {
        const ScopedLock lock(GetNotificationLock());
        StringArrayT<char, unsigned short>& table = GetNotificationNameTable();
        const std::int32_t index = table.FindByDataPointer(notification->GetId());
        if (index < 0)
            VX_ASSERT_FALSE();
        else
            id = table[static_cast<std::uint32_t>(index)];
    }
    if (!(id == kExitRequestId))
        return 0;

    mExitRequested.store(true);
    // Window 0 is the main window: the application base closes it last.
    for (std::uint32_t i = mRootWindows.GetCount(); i-- > 1;)
    {
        if (i >= mRootWindows.GetCount())
            continue;
        // Closing secondary windows at exit means something left them open.
        VX_ASSERT_FALSE();
        const RCPtr<LRootWindow> window = mRootWindows[i];
        window->RequestClose(0);
    }
    return 1;
}

bool LFrameworkApp::Run()
{
    const RCPtr<LRootWindow> main = GetRootWindow(0);
    if (!main.IsNull())
    {
        // The whole main window is drawn once before anything else.
        main->InvalidateAll();
        if (IWindowOSServices* const window = main->GetOSWindow())
            window->Repaint();
    }
    OnBeforeRun();
    ProcessIdle(true);

    String failure;
    bool failed = true;
    try
    {
        RunDispatchLoop();
        failed = false;
    }
    catch (const ExceptionBase& exception)
    {
        failure = exception.What();
    }
    catch (const std::exception& exception)
    {
        failure = exception.what();
    }
    catch (...)
    {
        failure = "Unknown Exception";
    }
    if (failed)
    {
        MessageBox(failure, "Exception", kMessageBoxFlags);
        // Delivered by the idle pass below, so the application leaves in order.
        RCPtr<LNotification> exitRequest;
        LNotification::Create(exitRequest, kExitRequestId, nullptr);
        GetDefaultNotificationCenter()->Post(exitRequest);
    }
    return ProcessIdle(true);
}

int LFrameworkApp::AddRootWindow(const RCPtr<LRootWindow>& window)
{
    // A null entry would be called on by every idle pass.
    if (window.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    for (std::uint32_t i = 0; i < mRootWindows.GetCount(); ++i)
    {
        if (mRootWindows[i] == window)
            return static_cast<int>(i);
    }
    return mRootWindows.Add(window);
}

int LFrameworkApp::RemoveRootWindow(const RCPtr<LRootWindow>& window)
{
    for (std::uint32_t i = 0; i < mRootWindows.GetCount(); ++i)
    {
        if (mRootWindows[i] == window && !window.IsNull())
        {
            // Released when this returns, after the list is consistent again.
            RCPtr<LRootWindow> removed;
            mRootWindows.RemoveAt(i, removed);
            return static_cast<int>(mRootWindows.GetCount());
        }
    }
    return -1;
}

PointT<int> LFrameworkApp::GetMousePosition()
{
    const RCPtr<LRootWindow> active = GetActiveRootWindow();
    if (!active.IsNull())
    {
        IWindowOSServices* const window = active->GetOSWindow();
        if (window != nullptr)
            return window->ClientToScreen(active->GetPointerPosition());
    }
    const juce::Point<int> position = juce::Desktop::getMousePosition();
    return PointT<int>{position.x, position.y};
}

int LFrameworkApp::GetMouseButtons()
{
    const RCPtr<LRootWindow> active = GetActiveRootWindow();
    if (!active.IsNull())
        return active->GetHeldButtons();

    bool left = false;
    bool middle = false;
    bool right = false;
    GetKeyState(kVirtualKeyLeftButton, left);
    GetKeyState(kVirtualKeyMiddleButton, middle);
    GetKeyState(kVirtualKeyRightButton, right);
    return (left ? IWindowOSServices::kButtonLeft : 0) | (middle ? IWindowOSServices::kButtonMiddle : 0) |
           (right ? IWindowOSServices::kButtonRight : 0);
}

bool LFrameworkApp::ProcessIdle(bool sendIdle)
{
    bool pending = ProcessNotificationCenters(sendIdle);
    // Downwards, so that a window whose pending close takes it out of the list
    // leaves the indices still to come valid.
    for (std::uint32_t i = mRootWindows.GetCount(); i-- > 0;)
    {
        if (i >= mRootWindows.GetCount())
            continue;
        // Held for the call: the window's close may drop the list's reference.
        const RCPtr<LRootWindow> window = mRootWindows[i];
        pending = window->ProcessIdle(sendIdle) || pending;
    }
    return pending;
}
} // namespace Vx
