#include "juce_linuxfb_Input.h"
#include "juce_linuxfb_Backend.h"
#include "juce_linuxfb_ComponentPeer.h"
#include "juce_linuxfb_DrmDevice.h"
#include "JuceBackend/juce_linuxfb_InputSystemCalls.h"
#include "JuceBackend/juce_linuxfb_SystemKeyHandler.h"

#include <bitset>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <libinput.h>
#include <map>
#include <xkbcommon/xkbcommon.h>

namespace juce
{

namespace
{
    constexpr int shiftFlag = ModifierKeys::shiftModifier;
    constexpr int ctrlFlag = ModifierKeys::ctrlModifier;
    constexpr int altFlag = ModifierKeys::altModifier;
    constexpr int leftButton = ModifierKeys::leftButtonModifier;
    constexpr int buttonFlags = ModifierKeys::allMouseButtonModifiers;
    constexpr int extendedKey = 0x10000000;

    struct InputState
    {
        xkb_context* context = nullptr;
        xkb_keymap* keymap = nullptr;
        xkb_state* state = nullptr;
        int modifiers = 0;
        // One bit per keysym below 0x10000; the others are never "down".
        std::bitset<0x10000> keysDown;
        std::map<int, Point<float>> touchPositions;
        std::map<int, ComponentPeer*> touchPeers;
    };

    // Built on first use and never destroyed: JUCE may ask for key states
    // while static objects are being destroyed.
    InputState& input()
    {
        static auto* state = new InputState();
        return *state;
    }

    ModifierKeys currentModifierWord() { return ModifierKeys (input().modifiers); }

    void updateCurrentModifiers()
    {
        ModifierKeys::currentModifiers = currentModifierWord();
    }

    //==========================================================================
    bool isSystemKey (xkb_keysym_t keysym)
    {
        return keysym == 0x1005ff76 // SunPowerSwitch
               || keysym == 0x1005ff7d // SunPowerSwitchShift
               || keysym == XKB_KEY_XF86PowerDown
               || keysym == XKB_KEY_XF86PowerOff;
    }

    // Applies a modifier key to the modifier word; false for other keys.
    bool applyModifierKey (xkb_keysym_t keysym, bool pressed)
    {
        auto flag = 0;

        switch (keysym)
        {
            case XKB_KEY_Shift_L:
            case XKB_KEY_Shift_R:
                flag = shiftFlag;
                break;
            case XKB_KEY_Control_L:
            case XKB_KEY_Control_R:
                flag = ctrlFlag;
                break;
            case XKB_KEY_Alt_L:
            case XKB_KEY_Alt_R:
                flag = altFlag;
                break;
            case XKB_KEY_Scroll_Lock:
            case XKB_KEY_Num_Lock:
            case XKB_KEY_Caps_Lock:
                return true;
            default:
                return false;
        }

        auto& modifiers = input().modifiers;
        modifiers = pressed ? (modifiers | flag) : (modifiers & ~flag);
        return true;
    }

    // The keypad's keys as the keys they stand for: digits and operators as
    // key codes, navigation as the navigation keysyms.
    xkb_keysym_t translateKeypad (xkb_keysym_t keysym, int& keyCode)
    {
        switch (keysym)
        {
            case XKB_KEY_KP_Add:
                keyCode = 0x2b;
                return keysym;
            case XKB_KEY_KP_Subtract:
                keyCode = 0xad;
                return keysym;
            case XKB_KEY_KP_Multiply:
                keyCode = 0x2a;
                return keysym;
            case XKB_KEY_KP_Divide:
                keyCode = 0x2f;
                return keysym;
            case XKB_KEY_KP_Enter:
                return XKB_KEY_Return;
            case XKB_KEY_KP_Home:
                return XKB_KEY_Home;
            case XKB_KEY_KP_Left:
                return XKB_KEY_Left;
            case XKB_KEY_KP_Up:
                return XKB_KEY_Up;
            case XKB_KEY_KP_Right:
                return XKB_KEY_Right;
            case XKB_KEY_KP_Down:
                return XKB_KEY_Down;
            case XKB_KEY_KP_Page_Up:
                return XKB_KEY_Page_Up;
            case XKB_KEY_KP_Page_Down:
                return XKB_KEY_Page_Down;
            case XKB_KEY_KP_End:
                return XKB_KEY_End;
            case XKB_KEY_KP_Insert:
                return XKB_KEY_Insert;
            case XKB_KEY_KP_Delete:
                return XKB_KEY_Delete;
            default:
                break;
        }

        if (keysym >= XKB_KEY_KP_0 && keysym <= XKB_KEY_KP_9)
            keyCode = 0x30 + (int) (keysym - XKB_KEY_KP_0);

        return keysym;
    }

    struct KeyDecision
    {
        int keyCode = 0;
        bool sendKeyPress = false;
        bool systemKey = false;
    };

    KeyDecision decideKey (xkb_keysym_t keysym, juce_wchar character, bool hasText)
    {
        KeyDecision decision;
        decision.keyCode = (int) character;

        if (keysym == XKB_KEY_ISO_Left_Tab || (keysym & 0xff00) == 0xff00)
            keysym = translateKeypad (keysym, decision.keyCode);

        switch (keysym)
        {
            case XKB_KEY_Home:
            case XKB_KEY_Left:
            case XKB_KEY_Up:
            case XKB_KEY_Right:
            case XKB_KEY_Down:
            case XKB_KEY_Page_Up:
            case XKB_KEY_Page_Down:
            case XKB_KEY_End:
            case XKB_KEY_Insert:
            case XKB_KEY_Delete:
                decision.keyCode = (int) (keysym & 0xff) | extendedKey;
                decision.sendKeyPress = true;
                break;

            case XKB_KEY_BackSpace:
            case XKB_KEY_Tab:
            case XKB_KEY_Return:
            case XKB_KEY_Escape:
                decision.keyCode = (int) (keysym & 0xff);
                decision.sendKeyPress = true;
                break;

            case XKB_KEY_ISO_Left_Tab:
                decision.keyCode = 9;
                decision.sendKeyPress = true;
                break;

            default:
                if (keysym >= XKB_KEY_F1 && keysym < XKB_KEY_F1 + 16)
                {
                    decision.keyCode = (int) (keysym & 0xff) | extendedKey;
                    decision.sendKeyPress = true;
                }
                else if (isSystemKey (keysym))
                {
                    decision.systemKey = true;
                }
                break;
        }

        if (hasText || ((keysym & 0xff00) == 0 && keysym >= 8))
            decision.sendKeyPress = true;

        return decision;
    }

    //==========================================================================
    Component* componentAtMousePosition()
    {
        auto* device = DrmDevice::getInstanceWithoutCreating();

        // Without a screen nothing is shown that input could be meant for.
        if (device == nullptr || device->getScreens().isEmpty())
            return nullptr;

        return Desktop::getInstance().findComponentAt (device->getMousePosition());
    }

    void handleKey (libinput_event* event)
    {
        auto& calls = InputSystemCalls::get();
        auto* keyEvent = calls.libinputEventGetKeyboardEvent (event);
        auto& in = input();

        if (keyEvent == nullptr || in.state == nullptr)
            return;

        const auto keycode = (xkb_keycode_t) (calls.libinputEventKeyboardGetKey (keyEvent) + 8);
        const auto keysym = xkb_state_key_get_one_sym (in.state, keycode);
        char text[64] = {};
        xkb_state_key_get_utf8 (in.state, keycode, text, sizeof (text));
        const auto character = CharPointer_UTF8 (text).getAndAdvance();
        const bool pressed = calls.libinputEventKeyboardGetKeyState (keyEvent) == LIBINPUT_KEY_STATE_PRESSED;

        const auto previousModifiers = in.modifiers;
        const bool isUpOrDownKey = keysym != XKB_KEY_NoSymbol && ! applyModifierKey (keysym, pressed);

        xkb_state_update_key (in.state, keycode, pressed ? XKB_KEY_DOWN : XKB_KEY_UP);

        if (keysym < in.keysDown.size())
            in.keysDown.set (keysym, pressed);

        KeyDecision decision;

        if (pressed)
            decision = decideKey (keysym, character, text[0] != 0);

        auto* component = componentAtMousePosition();

        if (decision.systemKey)
        {
            auto* handler = component != nullptr ? dynamic_cast<SystemKeyHandler*> (component->getTopLevelComponent()) : nullptr;

            if (handler != nullptr)
                handler->systemPowerKeyPressed();
            else
                std::fputs ("**** Component failed to handle system key\n", stderr);

            return;
        }

        auto* peer = component != nullptr ? component->getPeer() : nullptr;

        if (peer == nullptr)
            return;

        updateCurrentModifiers();

        if (previousModifiers != in.modifiers)
            peer->handleModifierKeysChange();

        // Each call may delete the window: go on only while its peer lives.
        if (isUpOrDownKey && ComponentPeer::isValidPeer (peer))
            peer->handleKeyUpOrDown (pressed);

        if (decision.sendKeyPress && ComponentPeer::isValidPeer (peer))
            peer->handleKeyPress (decision.keyCode, character);
    }

    //==========================================================================
    DrmScreen* firstScreen()
    {
        auto* device = DrmDevice::getInstanceWithoutCreating();
        return device != nullptr ? device->getScreens().getFirst() : nullptr;
    }

    MouseInputSource::InputSourceType sourceTypeOfSlot (int slot)
    {
        return slot == 0 ? MouseInputSource::InputSourceType::mouse : MouseInputSource::InputSourceType::touch;
    }

    void sendMouseEvent (ComponentPeer& peer, int slot, Point<float> position, ModifierKeys modifiers, uint32 time)
    {
        peer.handleMouseEvent (sourceTypeOfSlot (slot), position, modifiers, MouseInputSource::defaultPressure, MouseInputSource::defaultOrientation, (int64) time, {}, slot);
    }

    void handleAbsolutePointer (libinput_event* event)
    {
        auto& calls = InputSystemCalls::get();
        auto* pointer = calls.libinputEventGetPointerEvent (event);
        auto* screen = firstScreen();

        // Without a screen there is no size to scale to and nothing to point at.
        if (pointer == nullptr || screen == nullptr)
            return;

        const auto area = screen->getArea();
        const auto x = (int) calls.libinputEventPointerGetAbsoluteXTransformed (pointer, (uint32) area.getWidth());
        const auto y = (int) calls.libinputEventPointerGetAbsoluteYTransformed (pointer, (uint32) area.getHeight());

        DrmDevice::getInstanceWithoutCreating()->setMousePosition (x, y);

        if (auto* component = componentAtMousePosition())
        {
            if (auto* peer = component->getPeer())
            {
                updateCurrentModifiers();
                const auto local = Point<int> (x, y) - peer->getBounds().getPosition();
                peer->handleMouseEvent (MouseInputSource::InputSourceType::mouse, local.toFloat(), currentModifierWord(), MouseInputSource::defaultPressure, MouseInputSource::defaultOrientation, (int64) calls.libinputEventPointerGetTime (pointer));
            }
        }

        LinuxFbComponentPeer::refreshCursor();
    }

    void handleWheel (libinput_event* event)
    {
        auto& calls = InputSystemCalls::get();
        auto* pointer = calls.libinputEventGetPointerEvent (event);
        auto* device = DrmDevice::getInstanceWithoutCreating();

        if (pointer == nullptr || device == nullptr)
            return;

        MouseWheelDetails wheel;
        wheel.deltaX = calls.libinputEventPointerHasAxis (pointer, LIBINPUT_POINTER_AXIS_SCROLL_HORIZONTAL) != 0
                           ? (float) calls.libinputEventPointerGetAxisValue (pointer, LIBINPUT_POINTER_AXIS_SCROLL_HORIZONTAL)
                           : 0.0f;
        wheel.deltaY = calls.libinputEventPointerHasAxis (pointer, LIBINPUT_POINTER_AXIS_SCROLL_VERTICAL) != 0
                           ? -(float) calls.libinputEventPointerGetAxisValue (pointer, LIBINPUT_POINTER_AXIS_SCROLL_VERTICAL)
                           : 0.0f;
        wheel.isReversed = false;
        wheel.isSmooth = false;
        wheel.isInertial = false;

        if (auto* component = componentAtMousePosition())
        {
            if (auto* peer = component->getPeer())
            {
                const auto local = device->getMousePosition() - peer->getBounds().getPosition();
                peer->handleMouseWheel (MouseInputSource::InputSourceType::mouse, local.toFloat(), (int64) calls.libinputEventPointerGetTime (pointer), wheel);
            }
        }
    }

    //==========================================================================
    Point<float> touchPosition (InputSystemCalls& calls, libinput_event_touch* touch, const DrmScreen& screen)
    {
        const auto w = (uint32) screen.getArea().getWidth();
        const auto h = (uint32) screen.getArea().getHeight();
        const auto W = (float) w;
        const auto H = (float) h;
        auto tx = [&] (uint32 n)
        { return (float) calls.libinputEventTouchGetXTransformed (touch, n); };
        auto ty = [&] (uint32 n)
        { return (float) calls.libinputEventTouchGetYTransformed (touch, n); };

        Point<float> p;

        switch (screen.getTouchRotationIndex())
        {
            case 1:
                p = { ty (w), H - tx (h) };
                break;
            case 2:
                p = { W - tx (w), H - ty (h) };
                break;
            case 3:
                p = { W - ty (w), tx (h) };
                break;
            default:
                p = { tx (w), ty (h) };
                break;
        }

        // A touch on the panel's far edges (or a little beyond, as touch
        // panels report) stays on the screen.
        return { jlimit (0.0f, W - 1.0f, p.x), jlimit (0.0f, H - 1.0f, p.y) };
    }

    enum class TouchKind
    {
        down,
        up,
        motion,
        cancel
    };

    void endTouch (int slot, ComponentPeer& peer, Point<float> local, uint32 time)
    {
        auto& in = input();
        in.touchPeers.erase (slot);

        if (in.touchPeers.empty())
            in.modifiers &= ~buttonFlags;

        updateCurrentModifiers();
        sendMouseEvent (peer, slot, local, currentModifierWord().withoutMouseButtons(), time);
    }

    Point<float> localPosition (Point<float> position, const ComponentPeer& peer)
    {
        return (Point<int> ((int) position.x, (int) position.y) - peer.getBounds().getPosition()).toFloat();
    }

    void handleTouch (libinput_event* event, TouchKind kind)
    {
        auto& calls = InputSystemCalls::get();
        auto* touch = calls.libinputEventGetTouchEvent (event);
        auto* screen = firstScreen();

        // Before the first frame the screen shows nothing to touch.
        if (touch == nullptr || screen == nullptr || ! screen->getFlipper().isReady())
            return;

        auto slot = (int) calls.libinputEventTouchGetSlot (touch);

        // A panel without slots tracks one finger: it is the first slot.
        if (slot == -1)
            slot = 0;

        if (slot < 0 || slot >= LinuxFbInput::maxTouchSlots)
            return;

        auto& in = input();
        const auto time = calls.libinputEventTouchGetTime (touch);
        const auto stored = in.touchPositions.find (slot);
        const auto storedPosition = stored != in.touchPositions.end() ? stored->second : Point<float>();
        Point<float> position;

        if (kind == TouchKind::up || kind == TouchKind::cancel)
        {
            position = storedPosition;
        }
        else
        {
            position = touchPosition (calls, touch, *screen);
            in.touchPositions[slot] = position;
        }

        if (slot == 0)
            DrmDevice::getInstanceWithoutCreating()->setMousePosition ((int) position.x, (int) position.y);

        ComponentPeer* peer = nullptr;

        if (kind == TouchKind::down)
        {
            // A down on a slot that is still down: its touch was lost, and it
            // ends where it was before this one starts.
            if (const auto active = in.touchPeers.find (slot); active != in.touchPeers.end())
            {
                auto* previous = active->second;

                if (ComponentPeer::isValidPeer (previous))
                    endTouch (slot, *previous, localPosition (storedPosition, *previous), time);
                else
                    in.touchPeers.erase (active);
            }

            auto* component = Desktop::getInstance().findComponentAt ({ (int) position.x, (int) position.y });
            peer = component != nullptr ? component->getPeer() : nullptr;

            if (peer == nullptr)
                return;

            in.touchPeers[slot] = peer;
        }
        else
        {
            const auto found = in.touchPeers.find (slot);

            if (found == in.touchPeers.end())
                return;

            if (! ComponentPeer::isValidPeer (found->second))
            {
                in.touchPeers.erase (found);

                if (in.touchPeers.empty())
                    in.modifiers &= ~buttonFlags;

                return;
            }

            peer = found->second;
        }

        const auto local = localPosition (position, *peer);

        switch (kind)
        {
            case TouchKind::down:
                updateCurrentModifiers();
                sendMouseEvent (*peer, slot, local, currentModifierWord().withoutMouseButtons(), time);
                in.modifiers |= leftButton;
                updateCurrentModifiers();

                if (ComponentPeer::isValidPeer (peer))
                    sendMouseEvent (*peer, slot, local, currentModifierWord(), time);
                break;

            case TouchKind::motion:
                updateCurrentModifiers();
                sendMouseEvent (*peer, slot, local, currentModifierWord(), time);
                break;

            case TouchKind::up:
            case TouchKind::cancel:
                endTouch (slot, *peer, local, time);
                break;
        }
    }
}

//==============================================================================
void LinuxFbInput::setUpKeyboard()
{
    auto& in = input();
    in.context = xkb_context_new (XKB_CONTEXT_NO_FLAGS);

    if (in.context == nullptr)
        std::abort();

    xkb_rule_names names {};
    names.model = "pc105";
    in.keymap = xkb_keymap_new_from_names (in.context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);

    if (in.keymap == nullptr)
        std::abort();

    in.state = xkb_state_new (in.keymap);

    if (in.state == nullptr)
        std::abort();

    in.modifiers = 0;
    in.keysDown.reset();

    // JUCE's real-time modifiers are the modifier word, whatever its mouse
    // sources last stored.
    struct RealtimeModifiers : public ComponentPeer
    {
        static void install()
        {
            getNativeRealtimeModifiers = []
            { return currentModifierWord(); };
        }
    };

    RealtimeModifiers::install();
    LinuxFbBackend::inputEventHandler = handleEvent;
}

void LinuxFbInput::releaseKeyboard()
{
    auto& in = input();

    if (LinuxFbBackend::inputEventHandler == handleEvent)
        LinuxFbBackend::inputEventHandler = nullptr;

    xkb_state_unref (in.state);
    xkb_keymap_unref (in.keymap);
    xkb_context_unref (in.context);
    in.state = nullptr;
    in.keymap = nullptr;
    in.context = nullptr;

    // A new start begins with no keys, buttons or touches.
    in.modifiers = 0;
    in.keysDown.reset();
    in.touchPositions.clear();
    in.touchPeers.clear();
}

void LinuxFbInput::handleEvent (libinput_event* event)
{
    switch (InputSystemCalls::get().libinputEventGetType (event))
    {
        case LIBINPUT_EVENT_KEYBOARD_KEY:
            handleKey (event);
            break;
        case LIBINPUT_EVENT_POINTER_MOTION_ABSOLUTE:
            handleAbsolutePointer (event);
            break;
        case LIBINPUT_EVENT_POINTER_AXIS:
            handleWheel (event);
            break;
        case LIBINPUT_EVENT_TOUCH_DOWN:
            handleTouch (event, TouchKind::down);
            break;
        case LIBINPUT_EVENT_TOUCH_UP:
            handleTouch (event, TouchKind::up);
            break;
        case LIBINPUT_EVENT_TOUCH_MOTION:
            handleTouch (event, TouchKind::motion);
            break;
        case LIBINPUT_EVENT_TOUCH_CANCEL:
            handleTouch (event, TouchKind::cancel);
            break;
        default:
            break;
    }
}

//==============================================================================
bool KeyPress::isKeyCurrentlyDown (int keyCode)
{
    int keysym;

    if ((keyCode & extendedKey) != 0)
        keysym = 0xff00 | (keyCode & 0xff);
    else if (keyCode == 8 || keyCode == 9 || keyCode == 13 || keyCode == 27)
        keysym = 0xff00 | keyCode;
    else if (keyCode < 0 || keyCode > 0xffff)
        return false;
    else
        keysym = keyCode;

    return input().keysDown.test ((size_t) keysym);
}

bool MouseInputSource::SourceList::addSource()
{
    const auto index = sources.size();
    addSource (index, index == 0 ? MouseInputSource::InputSourceType::mouse : MouseInputSource::InputSourceType::touch);
    return true;
}

bool MouseInputSource::SourceList::canUseTouch() { return true; }

} // namespace juce
