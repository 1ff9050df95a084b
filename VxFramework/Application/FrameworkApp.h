#pragma once

#include "VxFramework/ControlBase/Control.h"
#include "VxFramework/ControlBase/ControlFactory.h"
#include "VxFramework/ControlBase/ControlHost.h"
#include "VxFramework/ControlBase/RootWindow.h"
#include "VxFramework/ControlBase/StringTable.h"
#include "VxFramework/Controls/StatusBar.h"
#include "VxFramework/Notification/NotificationCenter.h"
#include "VxFramework/Notification/NotificationClient.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Renderer/MeasurementRenderer.h"
#include "VxFramework/System/ClipBoard.h"
#include "VxFramework/System/HotKeyManager.h"
#include "VxFramework/Utilities/Graphics/CTTypes.h"
#include "VxFramework/Utilities/Graphics/Font.h"
#include "VxFramework/Utilities/Storage/IniFileManager.h"
#include "VxFramework/Utilities/Storage/RCPtrArray.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <atomic>
#include <cstdint>
#include <span>

namespace juce
{
class MouseCursor;
} // namespace juce

namespace Vx
{
// Local calendar time.
struct LocalTimeFields
{
    std::int32_t year;
    std::int32_t month; // 0 to 11
    std::int32_t dayOfWeek; // 0 Sunday
    std::int32_t day;
    std::int32_t hour;
    std::int32_t minute;
    std::int32_t second;
    std::int32_t millisecond;
};

// The one application object: it owns the open root windows and the control
// factory with the skins and string tables, drives the idle processing, and
// turns the exit request into closing windows.  Its virtual operations also
// declare the platform services the rest of the framework asks of "the
// application"; a platform base implements those left pure here.
//
// Main thread only.  Other threads reach it by posting notifications to the
// centres and root-window queues that the idle processing drains.
//
// It is the control host of the control base for its lifetime: controls read
// the clock, the display, the pointer and the keys through it.
class LFrameworkApp : public LNotificationClient, public IControlHost
{
public:
    using String = StringT<char, unsigned short>;

    // GetMouseButtons: the buttons as virtual keys of GetKeyState.
    static constexpr int kVirtualKeyLeftButton = 1;
    static constexpr int kVirtualKeyRightButton = 2;
    static constexpr int kVirtualKeyMiddleButton = 4;

    // Flags of the framework's own message boxes: one button.
    static constexpr std::uint32_t kMessageBoxFlags = 16;

    // One control type the start-up registers: the name, its creator, and
    // the source line a failed registration names.
    struct ControlTypeRegistration
    {
        const char* name;
        ControlCreator creator;
        int line;
    };

    LFrameworkApp(const RCPtr<LControlFactory>& factory, const RCPtr<LStringTable>& frameworkStringTable,
                  const String& commandLine);
    LFrameworkApp(const LFrameworkApp&) = delete;
    LFrameworkApp& operator=(const LFrameworkApp&) = delete;
    ~LFrameworkApp() override;

    // The current application; null outside its lifetime.
    static LFrameworkApp* GetApplication() noexcept { return sCurrent.load(std::memory_order_acquire); }

    // A null pointer when the index is not below the count.
    const RCPtr<LRootWindow>& GetRootWindow(std::uint32_t index) const override;
    // The last root window whose OS window reports itself active; null when none.
    const RCPtr<LRootWindow>& GetActiveRootWindow() const override;
    const RCPtrArray<LRootWindow, 1, 0>& GetRootWindows() const noexcept { return mRootWindows; }

    // Created when missing.
    RCPtr<LNotificationCenter> GetNotificationCenter(const String& name);
    // The centre named "application".
    RCPtr<LNotificationCenter> GetDefaultNotificationCenter() override;
    // Null when there is none of that name.
    RCPtr<LNotificationCenter> FindNotificationCenter(const String& name);
    // True when any centre still has notifications pending.
    static bool ProcessNotificationCenters(bool sendIdle);

    // Mode 0 posts the text to the status bar (shown at the next idle tick),
    // mode 1 shows it at once; other modes are reported and taken as 1.
    // 0x80000008 without root window 0 or without a status bar.
    VxRESULT SetStatusText(const String& text, int mode);
    // SetStatusText with the status bar's own text.
    VxRESULT RestoreStatusText(int mode);
    // The status bar's own text; empty without root window 0 or status bar.
    String GetStatusText();

    RCPtr<LControlFactory>& GetControlFactory() noexcept override { return mControlFactory; }
    RCPtr<LStringTable>& GetFrameworkStringTable() noexcept { return mFrameworkStringTable; }
    RCPtr<LStringTable>& GetApplicationStringTable() noexcept { return mApplicationStringTable; }
    // Null until the first skin is loaded.
    RCPtr<LFont>& GetSkinFont() noexcept { return mSkinFont; }
    // Null after OnShutdown.
    RCPtr<LGlobalHotKeyManager>& GetHotKeys() noexcept override { return mHotKeys; }
    // The application's hot keys: the bound notification is posted to the
    // default centre.  0 taken, 1 not (also after OnShutdown).
    VxRESULT ProcessGlobalHotKey(const KeyCode& key) override
    {
        return mHotKeys.IsNull() ? VXR_NOTHING_DONE : mHotKeys->ProcessKey(key);
    }
    RCPtr<LClipboard>& GetClipboard() noexcept { return mClipboard; }

    // The framework's stock control types, in registration order.
    static std::span<const ControlTypeRegistration> GetStockControlTypes() noexcept;
    // Registers the types in order; a failed registration throws the failed
    // result naming this file and the entry's line, and the types registered
    // before it stay.
    static void RegisterControlTypes(LControlFactory& factory, std::span<const ControlTypeRegistration> types);

    // Handles the exit request.  The application base overrides it to agree.
    NotificationHandlerResultCode Receive(const RCPtr<LNotificationDistributor>& from,
                                          const ConstRCPtr<LNotification>& notification) override;

    virtual VxRESULT OnPreStartup(const String& commandLine) { return VXR_OK; }
    virtual VxRESULT OnPostStartup(const String& commandLine) { return VXR_OK; }
    // Nothing calls it.
    virtual VxRESULT OnStartupComplete() { return VXR_OK; }
    // Draws the main window once, makes one idle pass and runs the dispatch
    // loop; an exception escaping the loop is shown and becomes an exit
    // request, which the last idle pass delivers.  The last pass's result.
    virtual bool Run();
    virtual bool IsExitRequested() const { return mExitRequested.load(); }
    virtual String GetTitleText() = 0;
    virtual String GetApplicationName() = 0;
    virtual String GetInfoText() = 0;
    virtual String GetVersionText() = 0;
    virtual String GetExtraText() = 0;
    virtual String GetMainControlName() = 0;
    juce::MouseCursor* LoadCursor(const String& name) override = 0;
    // The framework keeps no status bar.
    virtual RCPtr<LStatusBar> GetStatusBar() { return nullptr; }
    virtual int GetLanguageId() = 0;
    // style: bit 0 bold, bit 1 italic, bit 2 underlined.
    VxRESULT GetDefaultFont(String& name, float& size, int& style) override = 0;
    RectT<int> GetDisplayArea() override = 0;
    virtual String GetPath(int pathId) = 0;
    // Root window 0's renderer; null (after an assertion) without root window 0.
    virtual RCPtr<LMeasurementRenderer> GetMeasurementRenderer()
    {
        const RCPtr<LRootWindow>& main = GetRootWindow(0);
        if (main.IsNull())
        {
            VX_ASSERT_FALSE();
            return nullptr;
        }
        return main->GetMeasurementRenderer();
    }
    // The skin index stored in the user settings file; 0 when there is none.
    virtual int GetCurrentSkinIndex();
    // Makes the skin current, takes its font, re-applies it to the top
    // control of every root window and stores the index: 0.  An index that
    // names no skin leaves everything as it is: an assertion and 0x80000003.
    virtual VxRESULT LoadSkin(int index);
    double GetElapsedSeconds() override = 0;
    std::uint32_t GetTickCount() override = 0;
    virtual VxRESULT GetLocalTime(LocalTimeFields& time) = 0;
    VxRESULT GetKeyState(int virtualKey, bool& pressed) override = 0;
    virtual int MessageBox(const String& text, const String& caption, std::uint32_t flags) = 0;
    // The window's index; a window already in the list keeps its index.
    virtual int AddRootWindow(const RCPtr<LRootWindow>& window);
    // The number of windows left; -1 when the window is not in the list.
    virtual int RemoveRootWindow(const RCPtr<LRootWindow>& window);
    virtual IIniFileManager* GetIniFileManager() = 0;
    virtual const IIniFileManager* GetIniFileManager() const
    {
        return const_cast<LFrameworkApp*>(this)->GetIniFileManager();
    }
    // Kind 0 the application settings file, 1 the user settings file; null
    // when not available.
    virtual IniFileHandle GetSettings(int kind) = 0;
    virtual RCPtr<LControl> CreateControls(const String& descriptorName) = 0;
    virtual int RunModalWindow(const RCPtr<LControl>& control, bool closeButton) = 0;
    virtual VxRESULT OpenWindow(const RCPtr<LControl>& control, bool closeButton, bool minimiseButton,
                                bool maximiseButton) = 0;
    virtual VxRESULT SetCursorHidden(bool hidden) = 0;
    virtual VxRESULT SetMousePosition(const PointT<int>& screenPoint) = 0;
    // Screen coordinates.
    PointT<int> GetMousePosition() override;
    // 1 left, 2 middle, 4 right.
    int GetMouseButtons() override;
    // One idle tick: the named centres, then every root window from the last
    // to the first.  True when any queue still holds notifications.
    virtual bool ProcessIdle(bool sendIdle);
    virtual int GetMainWindowShowMode() = 0;
    virtual void OnPowerButtonPressed() {}
    virtual VxRESULT CreateMainWindow(int showMode) = 0;
    // The framework's start-up: notification pooling, the stock control
    // types, the global hot keys, the clipboard and the stored skin.  0; an
    // exception on the way is shown in an "Error" box and gives 0x80000008.
    virtual VxRESULT RunApplicationStartup();
    virtual void OnBeforeRun() {}
    virtual VxRESULT RunDispatchLoop() = 0;
    // Lets go of the control factory, the hot keys and the clipboard.  0.
    virtual VxRESULT OnShutdown();

private:
    static std::atomic<LFrameworkApp*> sCurrent;

    RCPtr<LControlFactory> mControlFactory;
    String mCommandLine;
    RCPtrArray<LRootWindow, 1, 0> mRootWindows;
    RCPtr<LStringTable> mFrameworkStringTable;
    RCPtr<LStringTable> mApplicationStringTable;
    // Set once by the exit request, never cleared; read by other threads too.
    std::atomic<bool> mExitRequested{false};
    // Released in reverse order by the destructor, after the centres.
    RCPtr<LFont> mSkinFont;
    RCPtr<LGlobalHotKeyManager> mHotKeys;
    RCPtr<LClipboard> mClipboard;
};
} // namespace Vx
