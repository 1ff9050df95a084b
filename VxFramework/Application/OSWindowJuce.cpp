#include "VxFramework/Application/OSWindowJuce.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace Vx
{
const StringT<char, unsigned short> UI_CURSOR_APP_STARTING("UI_CURSOR_APP_STARTING");
const StringT<char, unsigned short> UI_CURSOR_ARROW("UI_CURSOR_ARROW");
const StringT<char, unsigned short> UI_CURSOR_IBEAM("UI_CURSOR_IBEAM");
const StringT<char, unsigned short> UI_CURSOR_WAIT("UI_CURSOR_WAIT");
const StringT<char, unsigned short> UI_CURSOR_CROSS("UI_CURSOR_CROSS");
const StringT<char, unsigned short> UI_CURSOR_UP_ARROW("UI_CURSOR_UP_ARROW");
const StringT<char, unsigned short> UI_CURSOR_SIZE_ALL("UI_CURSOR_SIZE_ALL");
const StringT<char, unsigned short> UI_CURSOR_SIZE_NWSE("UI_CURSOR_SIZE_NWSE");
const StringT<char, unsigned short> UI_CURSOR_SIZE_NESW("UI_CURSOR_SIZE_NESW");
const StringT<char, unsigned short> UI_CURSOR_SIZE_WE("UI_CURSOR_SIZE_WE");
const StringT<char, unsigned short> UI_CURSOR_SIZE_NS("UI_CURSOR_SIZE_NS");
const StringT<char, unsigned short> UI_CURSOR_HAND("UI_CURSOR_HAND");
const StringT<char, unsigned short> UI_CURSOR_HELP("UI_CURSOR_HELP");
const StringT<char, unsigned short> UI_CURSOR_NO_DROP("UI_CURSOR_NO_DROP");
const StringT<char, unsigned short> UI_CURSOR_DROP_MOVE("UI_CURSOR_DROP_MOVE");
const StringT<char, unsigned short> UI_CURSOR_DROP_COPY("UI_CURSOR_DROP_COPY");
const StringT<char, unsigned short> UI_CURSOR_SPLIT_V("UI_CURSOR_SPLIT_V");
const StringT<char, unsigned short> UI_CURSOR_SPLIT_H("UI_CURSOR_SPLIT_H");
const StringT<char, unsigned short> UI_CURSOR_ROTATE("UI_CURSOR_ROTATE");
const StringT<char, unsigned short> UI_CURSOR_MAG("UI_CURSOR_MAG");
const StringT<char, unsigned short> UI_CURSOR_MAG_PLUS("UI_CURSOR_MAG_PLUS");
const StringT<char, unsigned short> UI_CURSOR_MAG_MINUS("UI_CURSOR_MAG_MINUS");
const StringT<char, unsigned short> UI_CURSOR_DEFAULT("UI_CURSOR_ARROW");

namespace
{
// The backend's key codes: the key symbol's low byte, with this flag for the
// keys that have no character.
constexpr int kExtendedKey = 0x10000000;

// Windows virtual-key numbers of the key-name table.
constexpr int kVkBack = 0x08;
constexpr int kVkTab = 0x09;
constexpr int kVkReturn = 0x0D;
constexpr int kVkEscape = 0x1B;
constexpr int kVkSpace = 0x20;
constexpr int kVkPageUp = 0x21;
constexpr int kVkPageDown = 0x22;
constexpr int kVkEnd = 0x23;
constexpr int kVkHome = 0x24;
constexpr int kVkLeft = 0x25;
constexpr int kVkUp = 0x26;
constexpr int kVkRight = 0x27;
constexpr int kVkDown = 0x28;
constexpr int kVkInsert = 0x2D;
constexpr int kVkDelete = 0x2E;
constexpr int kVkMultiply = 0x6A;
constexpr int kVkAdd = 0x6B;
constexpr int kVkSubtract = 0x6D;
constexpr int kVkDecimal = 0x6E;
constexpr int kVkDivide = 0x6F;
constexpr int kVkF1 = 0x70;

int VirtualKeyOfExtendedKey(int low)
{
    switch (low)
    {
    case 0x50:
        return kVkHome;
    case 0x51:
        return kVkLeft;
    case 0x52:
        return kVkUp;
    case 0x53:
        return kVkRight;
    case 0x54:
        return kVkDown;
    case 0x55:
        return kVkPageUp;
    case 0x56:
        return kVkPageDown;
    case 0x57:
        return kVkEnd;
    case 0x63:
        return kVkInsert;
    case 0xFF:
        return kVkDelete;
    default:
        break;
    }

    // F1 to F24 follow each other in both numberings.
    if (low >= 0xBE && low < 0xBE + 24)
        return kVkF1 + (low - 0xBE);

    return 0;
}
} // namespace

std::uint32_t ModifierFlagsFromJuce(const juce::ModifierKeys& modifiers, bool forKeyEvent)
{
    std::uint32_t flags = 0;

    if (modifiers.isShiftDown())
        flags |= kModifierShift;
    if (modifiers.isCtrlDown())
        flags |= forKeyEvent ? (kModifierCtrl | kModifierCmd) : kModifierCtrl;
    if (modifiers.isAltDown())
        flags |= kModifierAlt;

    return flags;
}

int PointerButtonFromJuce(const juce::ModifierKeys& modifiers)
{
    if (modifiers.isLeftButtonDown())
        return 1;
    if (modifiers.isRightButtonDown())
        return 4;
    if (modifiers.isMiddleButtonDown())
        return 2;
    return 0;
}

int VirtualKeyFromJuceKeyCode(int juceKeyCode)
{
    if ((juceKeyCode & kExtendedKey) != 0)
        return VirtualKeyOfExtendedKey(juceKeyCode & 0xFF);

    switch (juceKeyCode)
    {
    case 8:
        return kVkBack;
    case 9:
        return kVkTab;
    case 13:
        return kVkReturn;
    case 27:
        return kVkEscape;
    case ' ':
        return kVkSpace;
    case '*':
        return kVkMultiply;
    case '+':
        return kVkAdd;
    case '-':
        return kVkSubtract;
    case 0xAD:
        return kVkSubtract; // the keypad's minus
    case '.':
        return kVkDecimal;
    case '/':
        return kVkDivide;
    case 0x7F:
        return kVkDelete;
    default:
        break;
    }

    if (juceKeyCode >= '0' && juceKeyCode <= '9')
        return juceKeyCode;
    if (juceKeyCode >= 'A' && juceKeyCode <= 'Z')
        return juceKeyCode;
    if (juceKeyCode >= 'a' && juceKeyCode <= 'z')
        return juceKeyCode - 'a' + 'A';
    // Ctrl with a letter gives its control character.
    if (juceKeyCode >= 1 && juceKeyCode <= 26)
        return 'A' + juceKeyCode - 1;

    return 0;
}

JuceKeyCodes KeyCodesFromJuceKeyPress(const juce::KeyPress& key)
{
    const std::uint32_t flags = ModifierFlagsFromJuce(key.getModifiers(), true);
    const auto character = static_cast<unsigned short>(key.getTextCharacter() & 0xFFFF);
    return {KeyCode(VirtualKeyFromJuceKeyCode(key.getKeyCode()), flags), KeyCode(character, flags)};
}
} // namespace Vx
