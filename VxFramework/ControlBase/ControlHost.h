#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Graphics/CTTypes.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>

namespace juce
{
class MouseCursor;
} // namespace juce

namespace Vx
{
class KeyCode;
class LControlFactory;
class LGlobalHotKeyManager;
class LNotificationCenter;
class LRootWindow;

// What controls and the control factory ask of the application: its clock,
// the display, the pointer and the keys, its root windows, its notification
// centre, its control factory, its hot keys and its default font.  The control base never
// includes the application; the application object installs itself here for
// its lifetime, and tests install a double of it.  Main thread only.
class IControlHost
{
public:
    // Milliseconds of a monotonic clock; wraps around.  The size, position
    // and scroll animations step by it.
    virtual std::uint32_t GetTickCount() = 0;
    // Seconds of the same clock.
    virtual double GetElapsedSeconds() = 0;
    // The user area of the main display, in screen coordinates.
    virtual RectT<int> GetDisplayArea() = 0;
    // The pointer in screen coordinates.
    virtual PointT<int> GetMousePosition() = 0;
    virtual VxRESULT GetKeyState(int virtualKey, bool& pressed) = 0;
    // 1 left, 2 middle, 4 right, wherever the pointer is.
    virtual int GetMouseButtons() = 0;
    // A cursor by its resource name; null when there is none.
    virtual juce::MouseCursor* LoadCursor(const StringT<char, unsigned short>& name) = 0;
    // Null when there is none.
    virtual const RCPtr<LRootWindow>& GetActiveRootWindow() const = 0;
    virtual const RCPtr<LRootWindow>& GetRootWindow(std::uint32_t index) const = 0;
    virtual RCPtr<LNotificationCenter> GetDefaultNotificationCenter() = 0;
    virtual RCPtr<LControlFactory>& GetControlFactory() noexcept = 0;
    // The application-wide hot keys, offered a key that no control and no
    // root window took; null when there are none.
    virtual RCPtr<LGlobalHotKeyManager>& GetHotKeys() noexcept = 0;
    // style: bit 0 bold, bit 1 italic, bit 2 underlined.
    virtual VxRESULT GetDefaultFont(StringT<char, unsigned short>& name, float& size, int& style) = 0;

    // The application's hot keys, which a key reaches when no control of the
    // window's tree and not the window's own hot keys took it.  0 taken, 1
    // not (also without a table).
    virtual VxRESULT ProcessGlobalHotKey(const KeyCode& /*key*/) { return VXR_NOTHING_DONE; }

protected:
    // Holders never delete the host through this interface.
    ~IControlHost() = default;
};

// The installed host; null while there is none.  Installing replaces the one
// before; null uninstalls.
void SetControlHost(IControlHost* host) noexcept;
IControlHost* GetControlHost() noexcept;
// Uninstalls the host only when it is the installed one.
void ResetControlHost(IControlHost* host) noexcept;
// Whether the calling thread may walk and change control trees: the thread
// that installed the host (the main thread), or any thread while no host is
// installed.
bool IsControlThread() noexcept;
} // namespace Vx
