#pragma once

#include "VxFramework/System/KeyUtils.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>

namespace juce
{
class KeyPress;
class ModifierKeys;
} // namespace juce

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
} // namespace Vx
