#pragma once

#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Graphics/CTTypes.h"
#include "VxFramework/Utilities/Storage/StringT.h"

namespace juce
{
class MouseCursor;
} // namespace juce

namespace Vx
{
// What a root window and the application ask of the top-level OS window that
// hosts the root window.  Holders keep a plain pointer, valid until the window
// is closed or deleted by its owner.
//
// Coordinates are pixels in the window's own coordinates (GetClientRect has
// x 0 and y 0) unless an operation says screen coordinates.  Every operation
// runs on the message thread, except InvalidateRect, which any thread may call.
class IWindowOSServices
{
public:
    // Mouse-button mask of GetMouseButtons.
    static constexpr int kButtonLeft = 1;
    static constexpr int kButtonMiddle = 2;
    static constexpr int kButtonRight = 4;

    // The title in UTF-8.
    virtual VxRESULT SetTitle(const StringT<char, unsigned short>& title) = 0;
    // The same as InvalidateRect of what GetClientRect gives.
    virtual VxRESULT InvalidateClient() = 0;
    // Any thread.
    virtual VxRESULT InvalidateRect(const RectT<int>& rectangle) = 0;
    // x 0, y 0 and the size of the client area (window less borders and title bar).
    virtual VxRESULT GetClientRect(RectT<int>& rectangle) = 0;
    virtual PointT<int> ScreenToClient(const PointT<int>& screenPoint) = 0;
    virtual PointT<int> ClientToScreen(const PointT<int>& clientPoint) = 0;
    virtual VxRESULT SetBounds(const RectT<int>& rectangle) = 0;
    // Show codes in the Windows numbering: 0 hide, 1 leave full screen, 2, 7
    // and 11 minimise, 3 full screen, 4 and 8 to the front without the focus,
    // 5 and 10 show, 9 restore; codes above 11 do nothing.
    virtual VxRESULT ShowWindow(int showCode) = 0;
    virtual VxRESULT Repaint() = 0;
    // To the front with the keyboard focus.
    virtual VxRESULT BringToFront() = 0;
    virtual VxRESULT ToFront(bool grabFocus) = 0;
    // Ends a running modal loop with the result, then destroys the window: the
    // pointer must not be used afterwards.
    virtual VxRESULT Close(int result) = 0;
    // The result given to Close.
    virtual int RunModalLoop() = 0;
    // True exactly while RunModalLoop runs.
    virtual bool IsInModalLoop() = 0;
    virtual bool IsActive() = 0;
    // The window or a component inside it.
    virtual bool HasKeyboardFocus() = 0;
    virtual VxRESULT GrabKeyboardFocus() = 0;
    // Returns the cursor current before the call; the window side keeps it.
    virtual juce::MouseCursor* SetCursor(juce::MouseCursor* cursor) = 0;
    // Each coordinate truncated.
    virtual PointT<int> GetMousePosition() = 0;
    // Ask the active window only.
    virtual int GetMouseButtons() = 0;
    // Null when the window has no native counterpart.
    virtual void* GetNativeHandle() = 0;
    // A hint when a text box that asks for it is activated or deactivated;
    // no effect is required.
    virtual VxRESULT SetTextEntryMode(bool active, int value) = 0;

protected:
    // Holders never delete the window through this interface.
    ~IWindowOSServices() = default;
};
} // namespace Vx
