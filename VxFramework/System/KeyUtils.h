#pragma once

#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>

namespace Vx
{
// Modifier flags: the framework-wide modifier word of key and pointer input.
// A side flag counts only together with its main flag.
inline constexpr std::uint32_t kModifierCtrl = 0x0001;
inline constexpr std::uint32_t kModifierLeftCtrl = 0x0002;
inline constexpr std::uint32_t kModifierRightCtrl = 0x0004;
inline constexpr std::uint32_t kModifierShift = 0x0008;
inline constexpr std::uint32_t kModifierLeftShift = 0x0010;
inline constexpr std::uint32_t kModifierRightShift = 0x0020;
inline constexpr std::uint32_t kModifierAlt = 0x0040;
inline constexpr std::uint32_t kModifierLeftAlt = 0x0080;
inline constexpr std::uint32_t kModifierRightAlt = 0x0100;
inline constexpr std::uint32_t kModifierCmd = 0x0200;
inline constexpr std::uint32_t kModifierLeftCmd = 0x0400;
inline constexpr std::uint32_t kModifierRightCmd = 0x0800;
inline constexpr std::uint32_t kModifierFifth = 0x1000;

// One key with its modifiers.  The code word holds a character (bits 0-15) or
// a virtual key (bits 16-23) and the modifier bits; the side mask tells which
// side of each held modifier was pressed.
class KeyCode
{
public:
    static constexpr std::uint32_t kCharacterMask = 0x0000FFFFu;
    static constexpr std::uint32_t kVirtualKeyMask = 0x00FF0000u;
    static constexpr std::uint32_t kCtrl = 0x01000000u;
    static constexpr std::uint32_t kShift = 0x02000000u;
    static constexpr std::uint32_t kAlt = 0x04000000u;
    static constexpr std::uint32_t kCmd = 0x08000000u;
    static constexpr std::uint32_t kFifthModifier = 0x10000000u;
    static constexpr std::uint32_t kVirtualKeyFlag = 0x20000000u;
    // Neither a character nor a virtual key: no name, compares only exactly.
    static constexpr std::uint32_t kNoKey = 0x80000000u;

    // Side-mask bits.
    static constexpr std::uint32_t kSideLeftShift = 0x01u;
    static constexpr std::uint32_t kSideRightShift = 0x02u;
    static constexpr std::uint32_t kSideLeftCtrl = 0x04u;
    static constexpr std::uint32_t kSideRightCtrl = 0x08u;
    static constexpr std::uint32_t kSideLeftAlt = 0x10u;
    static constexpr std::uint32_t kSideRightAlt = 0x20u;
    static constexpr std::uint32_t kSideLeftCmd = 0x40u;
    static constexpr std::uint32_t kSideRightCmd = 0x80u;

    // No key; arrays of key codes grow with this value.
    KeyCode() noexcept = default;
    // The low 8 bits of the virtual key.
    KeyCode(int virtualKey, std::uint32_t modifierFlags) noexcept;
    // The character is stored as given.
    KeyCode(unsigned short character, std::uint32_t modifierFlags) noexcept;
    // A char or char16_t would be taken for a virtual key by overload
    // resolution; say which one is meant with int or unsigned short.
    KeyCode(char, std::uint32_t) = delete;
    KeyCode(char16_t, std::uint32_t) = delete;

    // ORs the code-word bits of the modifier flags into the code word.
    static void ApplyModifierFlags(std::uint32_t& code, std::uint32_t modifierFlags) noexcept;
    static std::uint32_t GetSideMask(std::uint32_t modifierFlags) noexcept;

    std::uint32_t GetModifierFlags() const noexcept;
    bool IsCharacter() const noexcept { return (code & kNoKey) == 0 && (code & kVirtualKeyMask) == 0; }
    bool HasVirtualKey() const noexcept { return (code & kNoKey) == 0 && (code & kVirtualKeyMask) != 0; }
    // 0 for anything but a character code.
    unsigned short GetCharacter() const noexcept
    {
        return IsCharacter() ? static_cast<unsigned short>(code & kCharacterMask) : 0;
    }
    int GetVirtualKey() const noexcept { return static_cast<int>((code & kVirtualKeyMask) >> 16); }

    // Characters ignore Ctrl and Shift (the character already reflects them);
    // everything else compares the code words.  The side mask never counts.
    bool operator==(const KeyCode& other) const noexcept;
    bool operator!=(const KeyCode& other) const noexcept { return !(*this == other); }

    std::uint32_t code = kNoKey;
    std::uint32_t sideMask = 0;
    std::uint8_t extra = 0;
};

// "Ctrl+Alt+Shift+Cmd+" as held, then the VKEY_ name or "[<character>]".
StringT<char, unsigned short> KeyCodeToText(const KeyCode& key);
// The same prefix, then the display name or the character as shown in menus.
StringT<char, unsigned short> KeyCodeToDisplayText(const KeyCode& key);
// Reads a key text.  Text that names no key gives the virtual-key code of key 0.
KeyCode TextToKeyCode(const StringT<char, unsigned short>& text);

// Empty when the key has no name.
StringT<char, unsigned short> GetVirtualKeyName(int virtualKey);
StringT<char, unsigned short> GetVirtualKeyDisplayName(int virtualKey);
// Case-sensitive; 0 for a name not in the table.
int GetVirtualKeyFromName(const StringT<char, unsigned short>& name);
} // namespace Vx
