#pragma once

#include "JuceBackend/juce_linuxfb_SystemKeyHandler.h"
#include "VxFramework/Application/WindowOSServices.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/System/KeyUtils.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdint>

namespace Vx
{
// Cursor names: the application tells them apart by their shared text buffer,
// so callers pass these objects (or copies), never equal text of their own.
extern const StringT<char, unsigned short> UI_CURSOR_APP_STARTING;
extern const StringT<char, unsigned short> UI_CURSOR_ARROW;
extern const StringT<char, unsigned short> UI_CURSOR_IBEAM;
extern const StringT<char, unsigned short> UI_CURSOR_WAIT;
extern const StringT<char, unsigned short> UI_CURSOR_CROSS;
extern const StringT<char, unsigned short> UI_CURSOR_UP_ARROW;
extern const StringT<char, unsigned short> UI_CURSOR_SIZE_ALL;
extern const StringT<char, unsigned short> UI_CURSOR_SIZE_NWSE;
extern const StringT<char, unsigned short> UI_CURSOR_SIZE_NESW;
extern const StringT<char, unsigned short> UI_CURSOR_SIZE_WE;
extern const StringT<char, unsigned short> UI_CURSOR_SIZE_NS;
extern const StringT<char, unsigned short> UI_CURSOR_HAND;
extern const StringT<char, unsigned short> UI_CURSOR_HELP;
extern const StringT<char, unsigned short> UI_CURSOR_NO_DROP;
extern const StringT<char, unsigned short> UI_CURSOR_DROP_MOVE;
extern const StringT<char, unsigned short> UI_CURSOR_DROP_COPY;
extern const StringT<char, unsigned short> UI_CURSOR_SPLIT_V;
extern const StringT<char, unsigned short> UI_CURSOR_SPLIT_H;
extern const StringT<char, unsigned short> UI_CURSOR_ROTATE;
extern const StringT<char, unsigned short> UI_CURSOR_MAG;
extern const StringT<char, unsigned short> UI_CURSOR_MAG_PLUS;
extern const StringT<char, unsigned short> UI_CURSOR_MAG_MINUS;
// The default cursor: the arrow's text in a buffer of its own.
extern const StringT<char, unsigned short> UI_CURSOR_DEFAULT;

// The framework's modifier flags of JUCE's modifier keys.  Key events carry
// Ctrl as Ctrl and Cmd, pointer events as Ctrl only.
std::uint32_t ModifierFlagsFromJuce(const juce::ModifierKeys& modifiers, bool forKeyEvent);

// The pointer button of a mouse event: the first of left (1), right (4),
// middle (2) that the modifiers hold; 0 when none.
int PointerButtonFromJuce(const juce::ModifierKeys& modifiers);

// The framework's virtual key of a JUCE key code as the display backend makes
// them (key symbols: navigation and function keys with the extended flag,
// Backspace, Tab, Return and Escape as their control characters, the keypad's
// digits and operators as characters, other keys as their character); 0 for a
// key that has no virtual key.
int VirtualKeyFromJuceKeyCode(int juceKeyCode);

// The two key codes a JUCE key press dispatches, in this order: the virtual
// key, then the character (the text character's low 16 bits, also when 0),
// both with the key event's modifier flags.
struct JuceKeyCodes
{
    KeyCode virtualKey;
    KeyCode character;
};

JuceKeyCodes KeyCodesFromJuceKeyPress(const juce::KeyPress& key);

class LRootWindow;
class LRenderer;
class LRenderContextInfo;

// The application's cursor for a cursor-name constant; null without an
// application.
juce::MouseCursor* LoadCursor(const StringT<char, unsigned short>& name);

// The top-level window: one JUCE document window that hosts one root window,
// turns JUCE's mouse, key, paint, resize and close callbacks into calls on it
// and gives it the window services.  It takes the device's power key too.
// Message thread only, except InvalidateRect.
class OSWindow : public juce::DocumentWindow, public juce::SystemKeyHandler, public IWindowOSServices
{
public:
    // Title "Root window", light grey, close, minimise and maximise buttons,
    // on the desktop, centred, with the native title bar.
    OSWindow();
    ~OSWindow() override;
    OSWindow(const OSWindow&) = delete;
    OSWindow& operator=(const OSWindow&) = delete;

    // A renderer of that kind (3: JUCE) for the client area, attached.  Any
    // other kind throws the renderer factory's domain error.
    virtual VxRESULT CreateRootWindow(int rendererKind);
    // Keeps the renderer, makes a render context of the client area and a root
    // window painting with them, and registers the root window with the
    // application.  0.
    virtual VxRESULT AttachRenderer(const RCPtr<LRenderer>& renderer);

    const RCPtr<LRootWindow>& GetRootWindow() const noexcept { return mRootWindow; }
    // The window whose root window is the application's root window 0.
    bool IsMainWindow() const;

    // juce::SystemKeyHandler: the main window hands the key to the application.
    void systemPowerKeyPressed() override;
    void systemPowerKeyReleased() override {}

    // JUCE's callbacks.
    void mouseMove(const juce::MouseEvent& event) override;
    void mouseDrag(const juce::MouseEvent& event) override;
    void mouseDown(const juce::MouseEvent& event) override;
    void mouseUp(const juce::MouseEvent& event) override;
    void mouseDoubleClick(const juce::MouseEvent& event) override;
    void mouseEnter(const juce::MouseEvent&) override {}
    void mouseExit(const juce::MouseEvent&) override {}
    void mouseMagnify(const juce::MouseEvent&, float) override {}
    bool keyPressed(const juce::KeyPress& key) override;
    void paint(juce::Graphics& graphics) override;
    void resized() override;
    void closeButtonPressed() override;

    // IWindowOSServices.
    VxRESULT SetTitle(const StringT<char, unsigned short>& title) override;
    VxRESULT InvalidateClient() override;
    VxRESULT InvalidateRect(const RectT<int>& rectangle) override;
    VxRESULT GetClientRect(RectT<int>& rectangle) override;
    PointT<int> ScreenToClient(const PointT<int>& screenPoint) override;
    PointT<int> ClientToScreen(const PointT<int>& clientPoint) override;
    VxRESULT SetBounds(const RectT<int>& rectangle) override;
    VxRESULT ShowWindow(int showCode) override;
    VxRESULT Repaint() override;
    VxRESULT BringToFront() override;
    VxRESULT ToFront(bool grabFocus) override;
    VxRESULT Close(int result) override;
    int RunModalLoop() override;
    bool IsInModalLoop() override { return mInModalLoop; }
    bool IsActive() override;
    bool HasKeyboardFocus() override;
    VxRESULT GrabKeyboardFocus() override;
    juce::MouseCursor* SetCursor(juce::MouseCursor* cursor) override;
    PointT<int> GetMousePosition() override;
    int GetMouseButtons() override;
    void* GetNativeHandle() override;
    VxRESULT SetTextEntryMode(bool active, int value) override;

    int GetHeldButtons() const noexcept { return mHeldButtons; }

private:
    void StorePointer(const juce::MouseEvent& event);

    RCPtr<LRootWindow> mRootWindow;
    RCPtr<LRenderer> mRenderer;
    RCPtr<LRenderContextInfo> mRenderContext;
    std::int32_t mPointerX = 0;
    std::int32_t mPointerY = 0;
    std::int32_t mHeldButtons = 0;
    bool mInModalLoop = false;
};

// While it lives, the active root window (else root window 0) shows the wait
// cursor and the status bar the text; one idle pass runs at once so that both
// show before the work starts.
class WaitCursorScope
{
public:
    explicit WaitCursorScope(const StringT<char, unsigned short>& text);
    ~WaitCursorScope();
    WaitCursorScope(const WaitCursorScope&) = delete;
    WaitCursorScope& operator=(const WaitCursorScope&) = delete;

private:
    RCPtr<LRootWindow> mRootWindow;
    juce::MouseCursor* mPreviousCursor = nullptr;
};
} // namespace Vx
