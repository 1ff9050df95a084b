#pragma once

#include "VxFramework/Application/WindowOSServices.h"
#include "VxFramework/ControlBase/ControlParams.h"
#include "VxFramework/Notification/NotificationCenter.h"
#include "VxFramework/Notification/NotificationDistributor.h"
#include "VxFramework/ObjectBase/Mutex.h"
#include "VxFramework/Renderer/MeasurementRenderer.h"
#include "VxFramework/System/HotKeyManager.h"
#include "VxFramework/Utilities/Graphics/CTTypes.h"
#include "VxFramework/Utilities/Graphics/RgnLight.h"
#include "VxFramework/Utilities/Storage/RCPtrArray.h"
#include "VxFramework/Utilities/Storage/RCPtrQueue.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace Vx
{
class LControl;
class LRenderer;

// The host of one control tree inside one OS window: a distributor that the
// window's controls register with, and a queue of notifications posted to the
// window and delivered through it on the main thread.  It owns the top
// control, the focus, hover, tool-tip and capture state and the dirty region,
// and turns the OS window's pointer and key events into control calls.
//
// Everything runs on the message thread except Invalidate, InvalidateAll,
// InvalidateRegion, TakeDirtyRegion (root-window mutex) and PostKey
// (key-queue mutex).
//
// The operations that controls and the application call are virtual so that
// tests can stand in for the window; the OS window's entry points are not.
class LRootWindow : public LNotificationDistributor, public LNotificationQueue
{
public:
    // One entry of the paint order: an index into the list of controls to
    // paint separately and that control's z-order.
    struct SortControl
    {
        int index;
        int zOrder;
    };

    static constexpr int kPointerSources = 10;

    // A window whose queue delivers through the window itself.
    static RCPtr<LRootWindow> Create(const RCPtr<LRenderer>& renderer, IWindowOSServices* osWindow);

    LRootWindow(const RCPtr<LRenderer>& renderer, IWindowOSServices* osWindow);
    ~LRootWindow() override;
    LRootWindow(const LRootWindow&) = delete;
    LRootWindow& operator=(const LRootWindow&) = delete;

    // The deepest control under the point (window coordinates) with the point
    // in its own frame in pointInControl; null (also in found) when none.
    // With updateHover the hover follows the result.
    virtual RCPtr<LControl> HitTest(RCPtr<LControl>& found, const PointT<int>& point, PointT<int>& pointInControl,
                                    bool updateHover);
    // Breaks the cycles with the top control and the queue's self reference.
    VxRESULT RemoveContainedReferences() override;

    // ---- Ownership, focus and the idle pass --------------------------------

    // Resets focus, hover and capture without callbacks, detaches the old top
    // control, makes the new one fill the client area and gives it the focus.
    // 0.
    virtual VxRESULT SetTopControl(const RCPtr<LControl>& control);
    // An empty name sets no top control; otherwise the factory's control tree
    // of that name (null when it cannot be made).
    virtual VxRESULT CreateTopControl(const StringT<char, unsigned short>& name);
    // The control that takes the focus reports itself; one that gives it up
    // reports that, and the window forgets its focus control.
    virtual void SetFocusControl(const RCPtr<LControl>& control);
    virtual void OnControlUnfocused(const RCPtr<LControl>& control);
    // A Tab (Shift+Tab backwards) left the top control: wraps around inside
    // the only window, or activates the next (previous) root window.
    virtual void MoveFocusToNextWindow(const RCPtr<LKeyParam>& key);
    // 1 already active, 0 activation requested, 0x80000008 no OS window.
    virtual VxRESULT Activate();
    // Around a skin change.
    virtual void DropHoverAndFocus();
    virtual void RestoreFocus();
    // The OS window's answer; false without one.
    virtual bool IsWindowActive();
    // A key that no control of the tree took: when it is one of the window's
    // hot keys ("GHK." of its top control) the bound notification is posted
    // to the window's own queue.  0 taken, 1 not.
    virtual VxRESULT ProcessHotKey(const KeyCode& key);
    // The window's hot keys; null only when they could not be made.
    const RCPtr<LGlobalHotKeyManager>& GetHotKeys() const noexcept { return m_hotKeys; }
    // The client area: its origin in screen coordinates, its width and height.
    virtual RectT<int> GetClientRect();
    // Width and height of the client area.
    virtual PointT<int> GetClientSize();
    // Moves the OS window so that its client area becomes the rectangle
    // (screen coordinates) and repaints the top control; nothing without an OS
    // window or when the rectangle is the client area already.
    virtual void SetWindowRect(const RectT<int>& rectangle);
    // Applies the top control's layout limits to a proposed size (at least
    // 1 x 1); true when the size was changed.
    virtual bool ConstrainWindowSize(PointT<int>& size);
    virtual void OnWindowResized(const PointT<int>& size);
    // Shows the cursor (the arrow for null) and returns the one it replaced;
    // null without an OS window.
    virtual juce::MouseCursor* SetCursor(juce::MouseCursor* cursor);
    // The next idle pass closes the OS window with the (last) code;
    // 0x80000008 without an OS window.
    virtual VxRESULT RequestClose(std::int32_t closeCode);
    virtual void OnCloseButton();
    // Queued keys, the window's own queue (with the idle notification when
    // sendIdle), then a pending close.  True when notifications remain.
    virtual bool ProcessIdle(bool sendIdle);

    // ---- Input dispatch ----------------------------------------------------

    // type 0 down, 1 up, 2 double click; button 1, 2 or 4; source 0..9.
    void PointerButton(int type, int button, int modifiers, const PointT<int>& point, unsigned int source);
    void PointerMove(const PointT<int>& point, int modifiers, unsigned int source);
    // direction 0 and 1 vertical, 2 and 3 horizontal.
    void MouseWheel(const PointT<int>& point, int modifiers, unsigned int direction);
    // To the focus control; dropped without one.
    void DispatchKey(const RCPtr<LKeyParam>& key);
    // Any thread; delivered by the next idle pass.  0.
    VxRESULT PostKey(const RCPtr<LKeyParam>& key);
    // While a control holds the capture only it can be hovered.  0.
    virtual VxRESULT UpdateHover(const RCPtr<LControl>& control);
    // 0, or 0x80000003 for a null control.
    virtual VxRESULT SetCapture(const RCPtr<LControl>& control);
    // The capture ends (an assertion when the control did not hold it).  0.
    virtual VxRESULT ReleaseCapture(const RCPtr<LControl>& control);
    virtual void NotifyCaptureLost();
    // Window coordinates; (0, 0) without an OS window.
    virtual PointT<int> GetPointerPosition();
    // 1 left, 2 middle, 4 right.
    virtual int GetHeldButtons();
    // Control 0x01, Shift 0x08, Alt 0x40.
    virtual int GetModifierKeys();
    // The pointer sources whose held mask holds every bit of the mask.
    virtual int CountSourcesHolding(int buttonMask);
    virtual void SetTextInputActive(bool on, const RCPtr<LControl>& control, int argument);

    // ---- Invalidation and painting -----------------------------------------

    // Adds the rectangle (client coordinates), clipped to the client area, to
    // the area to repaint and asks the OS window to repaint it.
    virtual void Invalidate(const RectT<int>& rectangle);
    void InvalidateAll();
    void InvalidateRegion(const RgnLight& region);
    // Moves the dirty region into region.
    void TakeDirtyRegion(RgnLight& region);
    // Paints the top control and the controls it hands back, limited to the
    // region.  Message thread only.
    void Paint(const RgnLight& region);
    void PaintControls(const RCPtr<LControl>& control, const RgnLight& region, bool nonClippingPass);

    // ---- State ---------------------------------------------------------------

    // The window's OS window; null when it has none.
    virtual IWindowOSServices* GetOSWindow() const;
    // The renderer that paints the window, for measuring text.
    virtual RCPtr<LMeasurementRenderer> GetMeasurementRenderer() const;
    // The same renderer for painting: controls make their offscreen surfaces
    // with it.  Null when the window has none.
    virtual RCPtr<LRenderer> GetRenderer() const;
    // The root of the window's control tree; null when there is none.
    virtual RCPtr<LControl> GetTopControl() const;
    // The control with the keyboard focus; null when none has it.
    virtual RCPtr<LControl> GetFocusControl() const;
    // The control under the pointer that last got its pointer-enter call.
    virtual RCPtr<LControl> GetHoverControl() const;
    RCPtr<LControl> GetPreviousFocusControl() const { return m_previousFocusControl; }
    RCPtr<LControl> GetToolTipOwner() const { return m_toolTipOwner; }
    RCPtr<LControl> GetCaptureControl() const { return m_captureControl; }

protected:
    // For doubles that stand in for the whole window.
    LRootWindow();

private:
    void DeliverButton(const RCPtr<LControl>& target, int button, const PointT<int>& point, int modifiers,
                       unsigned int source, bool doubleClick, bool down);
    PointT<int> RelativeToControl(const RCPtr<LControl>& control, const PointT<int>& point) const;
    void PaintSeparately(const RCPtr<LControl>& control, const RgnLight& region);
    // Stores the OS window's client rectangle (message thread) and returns
    // the stored one.
    RectT<int> RefreshClientRect();
    // The window's hot keys, posting to its own queue.
    void CreateHotKeys();
    // The tool-tip owner hides its tool tip.
    void HideToolTip();

    RCPtr<LRenderer> m_renderer;
    // Read by invalidations from any thread.
    std::atomic<IWindowOSServices*> m_osWindow{nullptr};
    RectT<int> m_clientRect{0, 0, 1024, 768};
    RCPtr<LControl> m_topControl;
    RgnLight m_dirtyRegion;
    Mutex m_mutex;
    std::int32_t m_doubleClickBits = 0;
    RCPtr<LGlobalHotKeyManager> m_hotKeys;
    RCPtr<LControl> m_focusControl;
    RCPtr<LControl> m_previousFocusControl;
    RCPtr<LControl> m_hoverControl;
    RCPtr<LControl> m_toolTipOwner;
    RCPtr<LControl> m_captureControl;
    bool m_closePending = false;
    int m_closeCode = 0;
    Mutex m_keyQueueMutex;
    RCPtrQueue<LKeyParam> m_keyQueue;
    std::array<std::int32_t, kPointerSources> m_heldButtons{};
};
} // namespace Vx
