#include "VxFramework/Application/FrameworkApp.h"

#include "VxFramework/Application/OSWindowJuce.h"
#include "VxFramework/Controls/Panel.h"
#include "VxFramework/Controls/ScrollBar.h"
#include "VxFramework/Notification/Notification.h"
#include "VxFramework/ObjectBase/Mutex.h"
#include "VxFramework/ObjectBase/NoDestructor.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <algorithm>
#include <array>
#include <exception>

namespace Vx
{
namespace
{
constexpr const char* kExitRequestId = "NID_APP_EXIT_REQ";
constexpr const char* kSkinIndexKey = "CurrentSkinIndex";
constexpr int kUserSettings = 1;

// The framework's stock control types in registration order.  Each stock
// control class joins the table, at its place among the framework's type
// names, with the class; until then a skin naming it gets the factory's
// fallback.
constexpr std::array<LFrameworkApp::ControlTypeRegistration, 5> kStockControlTypes{{
    {"Framework.Panel", &CreateControl<LPanel>, __LINE__},
    {"Framework.ScrollChannel", &CreateControl<LPanel>, __LINE__},
    {"Framework.ComboSlider.DropDownPanel", &CreateControl<LPanel>, __LINE__},
    {"Framework.CenteredSliderBounds", &CreateControl<LPanel>, __LINE__},
    {"Framework.ScrollBar", &CreateControl<LScrollbar>, __LINE__},
}};

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
    try
    {
        // The first question for the default centre creates the centres'
        // manager and the centre.
        const RCPtr<LNotificationCenter> center = GetDefaultNotificationCenter();
        mHotKeys = MakeRCPtr<LGlobalHotKeyManager>(RCPtr<LNotificationReceiver>(center->GetPostingReceiver()));
        mClipboard = LClipboard::Create();
        if (!mControlFactory.IsNull())
            mApplicationStringTable = mControlFactory->GetApplicationStringTable();
    }
    catch (...)
    {
        mClipboard = nullptr;
        mHotKeys = nullptr;
        ResetControlHost(this);
        LFrameworkApp* expected = this;
        sCurrent.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
        throw;
    }
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
    const String id = NotificationIdText(notification->GetId());
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

namespace Vx
{
std::span<const LFrameworkApp::ControlTypeRegistration> LFrameworkApp::GetStockControlTypes() noexcept
{
    return kStockControlTypes;
}

void LFrameworkApp::RegisterControlTypes(LControlFactory& factory, std::span<const ControlTypeRegistration> types)
{
    for (const ControlTypeRegistration& type : types)
    {
        const VxRESULT result = factory.RegisterControlType(String(type.name), type.creator);
        if (result < 0)
            ThrowFailedResult(result, __FILE__, type.line);
    }
}

VxRESULT LFrameworkApp::RunApplicationStartup()
{
    try
    {
        LNotification::SetPoolingEnabled(true);
        // Nothing can be registered or skinned without a factory.
        if (mControlFactory.IsNull())
            ThrowFailedResult(VXR_E_FAIL, __FILE__, __LINE__);
        RegisterControlTypes(*mControlFactory, GetStockControlTypes());
        // A class nobody registered still contains its children and routes
        // Tab: it becomes a panel.
        mControlFactory->SetFallbackCreator(&CreateControl<LPanel>);
        // Without an application string table there are no global hot keys.
        if (!mHotKeys.IsNull() && !mApplicationStringTable.IsNull())
            mHotKeys->LoadFromCreateParams(mApplicationStringTable, "GHK");
        if (!mClipboard.IsNull())
            mClipboard->Initialize();

        // A stored index beyond the skins takes the last one, a negative one
        // the first; without any skin there is nothing to load.
        const int count = static_cast<int>(mControlFactory->GetSkinRoots().GetCount());
        if (count == 0)
            VX_ASSERT_FALSE();
        else
            LoadSkin(std::clamp(GetCurrentSkinIndex(), 0, count - 1));
    }
    catch (const std::exception& exception)
    {
        MessageBox(String(exception.what()), "Error", kMessageBoxFlags);
        return VXR_E_FAIL;
    }
    return VXR_OK;
}

int LFrameworkApp::GetCurrentSkinIndex()
{
    const IniFileHandle settings = GetSettings(kUserSettings);
    if (settings == nullptr)
        return 0;
    const IIniFileManager* const manager = static_cast<const LFrameworkApp*>(this)->GetIniFileManager();
    if (manager == nullptr)
    {
        VX_ASSERT_FALSE();
        return 0;
    }
    std::int32_t index = 0;
    if (manager->GetInt(settings, kSkinIndexKey, 0, index) < 0)
        VX_ASSERT_FALSE();
    return index;
}

VxRESULT LFrameworkApp::LoadSkin(int index)
{
    String fontName;
    float fontSize = 0.0f;
    int fontStyle = 0;
    VX_THROW_IF_FAILED(GetDefaultFont(fontName, fontSize, fontStyle));
    if (mControlFactory.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    // Out of the skin list: the factory refuses it, and nothing changes.
    const VxRESULT selected = mControlFactory->SetCurrentSkinIndex(index);
    if (selected < 0)
        return selected;
    mControlFactory->GetSkinFont(fontName, fontSize, fontStyle);
    mSkinFont = LFont::GetFont(fontName, fontStyle, fontSize);

    // The idle pass of each wait may close windows: the count is read again.
    for (std::uint32_t i = 0; i < mRootWindows.GetCount(); ++i)
    {
        const RCPtr<LRootWindow> window = mRootWindows[i];
        const WaitCursorScope wait("Loading Skin...");
        // Read before the skin changes anything.  The focus is taken off while
        // the looks are replaced and given back to the control that had it.
        IWindowOSServices* const osWindow = window->GetOSWindow();
        const bool active = osWindow != nullptr && osWindow->IsActive();
        if (active)
            window->DropHoverAndFocus();
        if (mControlFactory->ReapplyDescriptor(window->GetTopControl()) < 0)
            VX_ASSERT_FALSE();
        window->InvalidateAll();
        if (active)
            window->RestoreFocus();
    }

    const IniFileHandle settings = GetSettings(kUserSettings);
    if (settings != nullptr)
    {
        IIniFileManager* const manager = GetIniFileManager();
        if (manager == nullptr || manager->SetInt(settings, kSkinIndexKey, index) < 0)
            VX_ASSERT_FALSE();
    }
    return VXR_OK;
}

VxRESULT LFrameworkApp::OnShutdown()
{
    mControlFactory = nullptr;
    mHotKeys = nullptr;
    mClipboard = nullptr;
    return VXR_OK;
}
} // namespace Vx
