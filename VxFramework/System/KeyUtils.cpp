#include "VxFramework/System/KeyUtils.h"

#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/ObjectBase/NoDestructor.h"

#include <cctype>
#include <cstdlib>
#include <map>
#include <string>

namespace Vx
{
namespace
{
using String = StringT<char, unsigned short>;

struct NamedKey
{
    const char* name;
    int virtualKey;
};

// Name table entries outside the generated ranges, in insertion order; the
// ranges are inserted where their comments stand.
constexpr NamedKey kNamesBeforeDigits[] = {
    {"VKEY_BACK", 0x08},       {"VKEY_TAB", 0x09},        {"VKEY_CLEAR", 0x0C},      {"VKEY_RETURN", 0x0D},
    {"VKEY_SHIFT", 0x10},      {"VKEY_CONTROL", 0x11},    {"VKEY_MENU", 0x12},       {"VKEY_PAUSE", 0x13},
    {"VKEY_CAPITAL", 0x14},    {"VKEY_KANA", 0x15},       {"VKEY_HANGEUL", 0x15},    {"VKEY_HANGUL", 0x15},
    {"VKEY_JUNJA", 0x17},      {"VKEY_FINAL", 0x18},      {"VKEY_HANJA", 0x19},      {"VKEY_KANJI", 0x19},
    {"VKEY_ESCAPE", 0x1B},     {"VKEY_CONVERT", 0x1C},    {"VKEY_NONCONVERT", 0x1D}, {"VKEY_ACCEPT", 0x1E},
    {"VKEY_MODECHANGE", 0x1F}, {"VKEY_SPACE", 0x20},      {"VKEY_PAGEUP", 0x21},     {"VKEY_PAGEDN", 0x22},
    {"VKEY_END", 0x23},        {"VKEY_HOME", 0x24},       {"VKEY_LEFT", 0x25},       {"VKEY_UP", 0x26},
    {"VKEY_RIGHT", 0x27},      {"VKEY_DOWN", 0x28},       {"VKEY_SELECT", 0x29},     {"VKEY_PRINT", 0x2A},
    {"VKEY_EXECUTE", 0x2B},    {"VKEY_SNAPSHOT", 0x2C},   {"VKEY_INSERT", 0x2D},     {"VKEY_DELETE", 0x2E},
    {"VKEY_HELP", 0x2F},
};
// VKEY_0 to VKEY_9, VKEY_A to VKEY_Z
constexpr NamedKey kNamesBeforeNumpad[] = {
    {"VKEY_LWIN", 0x5B}, {"VKEY_RWIN", 0x5C}, {"VKEY_APPS", 0x5D}, {"VKEY_SLEEP", 0x5F},
};
// VKEY_NUMPAD0 to VKEY_NUMPAD9
constexpr NamedKey kNamesBeforeFunctionKeys[] = {
    {"VKEY_MULTIPLY", 0x6A}, {"VKEY_ADD", 0x6B},     {"VKEY_SEPARATOR", 0x6C},
    {"VKEY_SUBTRACT", 0x6D}, {"VKEY_DECIMAL", 0x6E}, {"VKEY_DIVIDE", 0x6F},
};
// VKEY_F1 to VKEY_F24
constexpr NamedKey kNamesAfterFunctionKeys[] = {
    {"VKEY_NUMLOCK", 0x90},
    {"VKEY_SCROLL", 0x91},
    {"VKEY_OEM_NEC_EQUAL", 0x92},
    {"VKEY_OEM_FJ_JISHO", 0x92},
    {"VKEY_OEM_FJ_MASSHOU", 0x93},
    {"VKEY_OEM_FJ_TOUROKU", 0x94},
    {"VKEY_OEM_FJ_LOYA", 0x95},
    {"VKEY_OEM_FJ_ROYA", 0x96},
    {"VKEY_LSHIFT", 0xA0},
    {"VKEY_RSHIFT", 0xA1},
    {"VKEY_LCONTROL", 0xA2},
    {"VKEY_RCONTROL", 0xA3},
    {"VKEY_LMENU", 0xA4},
    {"VKEY_RMENU", 0xA5},
    {"VKEY_BROWSER_BACK", 0xA6},
    {"VKEY_BROWSER_FORWARD", 0xA7},
    {"VKEY_BROWSER_REFRESH", 0xA8},
    {"VKEY_BROWSER_STOP", 0xA9},
    {"VKEY_BROWSER_SEARCH", 0xAA},
    {"VKEY_BROWSER_FAVORITES", 0xAB},
    {"VKEY_BROWSER_HOME", 0xAC},
    {"VKEY_VOLUME_MUTE", 0xAD},
    {"VKEY_VOLUME_DOWN", 0xAE},
    {"VKEY_VOLUME_UP", 0xAF},
    {"VKEY_MEDIA_NEXT_TRACK", 0xB0},
    {"VKEY_MEDIA_PREV_TRACK", 0xB1},
    {"VKEY_MEDIA_STOP", 0xB2},
    {"VKEY_MEDIA_PLAY_PAUSE", 0xB3},
    {"VKEY_LAUNCH_MAIL", 0xB4},
    {"VKEY_LAUNCH_MEDIA_SELECT", 0xB5},
    {"VKEY_LAUNCH_APP1", 0xB6},
    {"VKEY_LAUNCH_APP2", 0xB7},
};

// Display table entries in the same manner.
constexpr NamedKey kDisplayBeforeDigits[] = {
    {"Clear", 0x0C},       {"Return", 0x0D},      {"Shift", 0x10},       {"Control", 0x11},
    {"Menu", 0x12},        {"Pause", 0x13},       {"Capital", 0x14},     {"Kana", 0x15},
    {"Hangeul", 0x15},     {"Hangul", 0x15},      {"Junja", 0x17},       {"Final", 0x18},
    {"Hanja", 0x19},       {"Kanji", 0x19},       {"Escape", 0x1B},      {"Convert", 0x1C},
    {"Non-convert", 0x1D}, {"Accept", 0x1E},      {"Mode Change", 0x1F}, {"Space", 0x20},
    {"Page Up", 0x21},     {"Page Down", 0x22},   {"End", 0x23},         {"Home", 0x24},
    {"Left Arrow", 0x25},  {"Up Arrow", 0x26},    {"Right Arrow", 0x27}, {"Down Arrow", 0x28},
    {"Select", 0x29},      {"Print", 0x2A},       {"Execute", 0x2B},     {"Snapshot", 0x2C},
    {"Insert", 0x2D},      {"Del", 0x2E},         {"Help", 0x2F},
};
// "0" to "9", "A" to "Z"
constexpr NamedKey kDisplayBeforeNumpad[] = {
    {"Left Win", 0x5B}, {"Right Win", 0x5C}, {"Apps", 0x5D}, {"Sleep", 0x5F},
};
// "Numpad 0" to "Numpad 9"
constexpr NamedKey kDisplayBeforeFunctionKeys[] = {
    {"*", 0x6A}, {"+", 0x6B}, {"Separator", 0x6C}, {"-", 0x6D}, {".", 0x6E}, {"/", 0x6F},
};
// "F1" to "F24"
constexpr NamedKey kDisplayAfterFunctionKeys[] = {
    {"Numlock", 0x90},
    {"Scroll", 0x91},
    {"NEC Equal", 0x92},
    {"Jisho", 0x92},
    {"Masshou", 0x93},
    {"Touroku", 0x94},
    {"Loya", 0x95},
    {"Roya", 0x96},
    {"Left Shift", 0xA0},
    {"Right Shift", 0xA1},
    {"Left Control", 0xA2},
    {"Right Control", 0xA3},
    {"Left Menu", 0xA4},
    {"Right Menu", 0xA5},
    {"Browser Back", 0xA6},
    {"Browser Forward", 0xA7},
    {"Browser Refresh", 0xA8},
    {"Browser Stop", 0xA9},
    {"Browser Search", 0xAA},
    {"Browser Favorites", 0xAB},
    {"Browser Home", 0xAC},
    {"Volume Mute", 0xAD},
    {"Volume Down", 0xAE},
    {"Volume Up", 0xAF},
    {"Media Next Track", 0xB0},
    {"Media Prev Track", 0xB1},
    {"Media Stop", 0xB2},
    {"Media Play Pause", 0xB3},
    {"Launch Mail", 0xB4},
    {"Launch Media Select", 0xB5},
    {"Launch App 1", 0xB6},
    {"Launch App 2", 0xB7},
};

struct VirtualKeyTables
{
    // std::string orders byte-wise, as strcmp does.
    std::map<std::string, int> byName;
    std::map<int, std::string> displayNames;
    // For each key, the first of its names in byName's order.
    std::map<int, std::string> firstName;

    // Insertion never replaces: of several entries for one key the first stays.
    void AddName(const std::string& name, int virtualKey) { byName.emplace(name, virtualKey); }
    void AddDisplayName(int virtualKey, const std::string& name) { displayNames.emplace(virtualKey, name); }

    template <std::size_t N>
    void AddNames(const NamedKey (&entries)[N])
    {
        for (const NamedKey& entry : entries)
            AddName(entry.name, entry.virtualKey);
    }

    template <std::size_t N>
    void AddDisplayNames(const NamedKey (&entries)[N])
    {
        for (const NamedKey& entry : entries)
            AddDisplayName(entry.virtualKey, entry.name);
    }

    VirtualKeyTables()
    {
        AddNames(kNamesBeforeDigits);
        for (int i = 0; i <= 9; ++i)
            AddName("VKEY_" + std::to_string(i), 0x30 + i);
        for (int i = 0; i < 26; ++i)
            AddName(std::string("VKEY_") + static_cast<char>('A' + i), 0x41 + i);
        AddNames(kNamesBeforeNumpad);
        for (int i = 0; i <= 9; ++i)
            AddName("VKEY_NUMPAD" + std::to_string(i), 0x60 + i);
        AddNames(kNamesBeforeFunctionKeys);
        for (int i = 1; i <= 24; ++i)
            AddName("VKEY_F" + std::to_string(i), 0x6F + i);
        AddNames(kNamesAfterFunctionKeys);

        AddDisplayNames(kDisplayBeforeDigits);
        for (int i = 0; i <= 9; ++i)
            AddDisplayName(0x30 + i, std::to_string(i));
        for (int i = 0; i < 26; ++i)
            AddDisplayName(0x41 + i, std::string(1, static_cast<char>('A' + i)));
        AddDisplayNames(kDisplayBeforeNumpad);
        for (int i = 0; i <= 9; ++i)
            AddDisplayName(0x60 + i, "Numpad " + std::to_string(i));
        AddDisplayNames(kDisplayBeforeFunctionKeys);
        for (int i = 1; i <= 24; ++i)
            AddDisplayName(0x6F + i, "F" + std::to_string(i));
        AddDisplayNames(kDisplayAfterFunctionKeys);

        for (const auto& [name, virtualKey] : byName)
            firstName.emplace(virtualKey, name);
    }
};

// Built by whichever lookup comes first; never destroyed, so that lookups
// during static destruction still work.
const VirtualKeyTables& GetTables()
{
    static const NoDestructor<VirtualKeyTables> tables;
    return *tables;
}

void AppendModifierPrefix(String& text, std::uint32_t code)
{
    if ((code & KeyCode::kCtrl) != 0)
        text.Append("Ctrl+");
    if ((code & KeyCode::kAlt) != 0)
        text.Append("Alt+");
    if ((code & KeyCode::kShift) != 0)
        text.Append("Shift+");
    if ((code & KeyCode::kCmd) != 0)
        text.Append("Cmd+");
}

// The number at text as atoi reads it, without atoi's undefined overflow:
// out-of-range values saturate.
long long ReadNumber(const char* text)
{
    return std::strtoll(text, nullptr, 10);
}
} // namespace

KeyCode::KeyCode(int virtualKey, std::uint32_t modifierFlags) noexcept
    : code((static_cast<std::uint32_t>(virtualKey) & 0xFFu) << 16 | kVirtualKeyFlag),
      sideMask(GetSideMask(modifierFlags))
{
    ApplyModifierFlags(code, modifierFlags);
}

KeyCode::KeyCode(unsigned short character, std::uint32_t modifierFlags) noexcept
    : code(character), sideMask(GetSideMask(modifierFlags))
{
    ApplyModifierFlags(code, modifierFlags);
}

void KeyCode::ApplyModifierFlags(std::uint32_t& code, std::uint32_t modifierFlags) noexcept
{
    if ((modifierFlags & kModifierShift) != 0)
        code |= kShift;
    if ((modifierFlags & kModifierCtrl) != 0)
        code |= kCtrl;
    if ((modifierFlags & kModifierAlt) != 0)
        code |= kAlt;
    if ((modifierFlags & kModifierCmd) != 0)
        code |= kCmd;
    if ((modifierFlags & kModifierFifth) != 0)
        code |= kFifthModifier;
}

std::uint32_t KeyCode::GetSideMask(std::uint32_t modifierFlags) noexcept
{
    struct Side
    {
        std::uint32_t mainFlag;
        std::uint32_t sideFlag;
        std::uint32_t sideBit;
    };
    static constexpr Side kSides[] = {
        {kModifierShift, kModifierLeftShift, kSideLeftShift}, {kModifierShift, kModifierRightShift, kSideRightShift},
        {kModifierCtrl, kModifierLeftCtrl, kSideLeftCtrl},    {kModifierCtrl, kModifierRightCtrl, kSideRightCtrl},
        {kModifierAlt, kModifierLeftAlt, kSideLeftAlt},       {kModifierAlt, kModifierRightAlt, kSideRightAlt},
        {kModifierCmd, kModifierLeftCmd, kSideLeftCmd},       {kModifierCmd, kModifierRightCmd, kSideRightCmd},
    };
    std::uint32_t mask = 0;
    for (const Side& side : kSides)
    {
        if ((modifierFlags & side.mainFlag) != 0 && (modifierFlags & side.sideFlag) != 0)
            mask |= side.sideBit;
    }
    return mask;
}

std::uint32_t KeyCode::GetModifierFlags() const noexcept
{
    struct Modifier
    {
        std::uint32_t codeBit;
        std::uint32_t mainFlag;
        std::uint32_t leftBit;
        std::uint32_t leftFlag;
        std::uint32_t rightBit;
        std::uint32_t rightFlag;
    };
    static constexpr Modifier kModifiers[] = {
        {kShift, kModifierShift, kSideLeftShift, kModifierLeftShift, kSideRightShift, kModifierRightShift},
        {kCtrl, kModifierCtrl, kSideLeftCtrl, kModifierLeftCtrl, kSideRightCtrl, kModifierRightCtrl},
        {kAlt, kModifierAlt, kSideLeftAlt, kModifierLeftAlt, kSideRightAlt, kModifierRightAlt},
        {kCmd, kModifierCmd, kSideLeftCmd, kModifierLeftCmd, kSideRightCmd, kModifierRightCmd},
    };
    std::uint32_t flags = 0;
    for (const Modifier& modifier : kModifiers)
    {
        if ((code & modifier.codeBit) == 0)
            continue;
        flags |= modifier.mainFlag;
        if ((sideMask & modifier.leftBit) != 0)
            flags |= modifier.leftFlag;
        if ((sideMask & modifier.rightBit) != 0)
            flags |= modifier.rightFlag;
    }
    if ((code & kFifthModifier) != 0)
        flags |= kModifierFifth;
    return flags;
}

bool KeyCode::operator==(const KeyCode& other) const noexcept
{
    if (IsCharacter() && other.IsCharacter())
        return ((code ^ other.code) & ~(kCtrl | kShift)) == 0;
    return code == other.code;
}

StringT<char, unsigned short> GetVirtualKeyName(int virtualKey)
{
    const VirtualKeyTables& tables = GetTables();
    const auto found = tables.firstName.find(virtualKey);
    return found == tables.firstName.end() ? String() : String(found->second.c_str());
}

StringT<char, unsigned short> GetVirtualKeyDisplayName(int virtualKey)
{
    const VirtualKeyTables& tables = GetTables();
    const auto found = tables.displayNames.find(virtualKey);
    return found == tables.displayNames.end() ? String() : String(found->second.c_str());
}

int GetVirtualKeyFromName(const StringT<char, unsigned short>& name)
{
    const VirtualKeyTables& tables = GetTables();
    const auto found = tables.byName.find(name.GetCString());
    return found == tables.byName.end() ? 0 : found->second;
}

StringT<char, unsigned short> KeyCodeToText(const KeyCode& key)
{
    String text;
    AppendModifierPrefix(text, key.code);
    if (key.HasVirtualKey())
        text.Append(GetVirtualKeyName(key.GetVirtualKey()));
    else if (key.IsCharacter())
        text.Append(String::Format("[%d]", static_cast<int>(key.code & KeyCode::kCharacterMask)));
    return text;
}

StringT<char, unsigned short> KeyCodeToDisplayText(const KeyCode& key)
{
    String text;
    AppendModifierPrefix(text, key.code);
    if (key.HasVirtualKey())
    {
        text.Append(GetVirtualKeyDisplayName(key.GetVirtualKey()));
    }
    else if (key.IsCharacter())
    {
        const unsigned int character = key.code & KeyCode::kCharacterMask;
        // Control characters read as the letter typed with Ctrl.
        if (character >= 1 && character <= 26)
        {
            text.Append("Ctrl+");
            text.AppendChar(static_cast<char>(character + 0x40));
        }
        else if (character >= 33 && character <= 126)
        {
            text.AppendChar(static_cast<char>(character));
        }
    }
    return text;
}

KeyCode TextToKeyCode(const StringT<char, unsigned short>& text)
{
    const char* const original = text.GetCString();
    std::string upper(original);
    for (char& byte : upper)
        byte = static_cast<char>(std::toupper(static_cast<unsigned char>(byte)));

    // The words are found anywhere, names included: VKEY_LSHIFT counts as Shift.
    const bool hasCtrl = upper.find("CTRL") != std::string::npos;
    const bool hasAlt = upper.find("ALT") != std::string::npos;
    const bool hasShift = upper.find("SHIFT") != std::string::npos;
    const bool hasCommand = upper.find("COMMAND") != std::string::npos;

    const std::size_t namePosition = upper.find("VKEY_");
    if (namePosition != std::string::npos)
    {
        const int virtualKey = GetVirtualKeyFromName(String(upper.c_str() + namePosition));
        std::uint32_t flags = 0;
        if (hasCtrl)
            flags |= kModifierCtrl;
        if (hasAlt)
            flags |= kModifierAlt;
        if (hasShift)
            flags |= kModifierShift;
        if (hasCommand)
            flags |= kModifierCmd;
        return KeyCode(virtualKey, flags);
    }

    // A character already reflects Ctrl and Shift; only Alt survives.
    if (hasCtrl || hasShift)
        VX_ASSERT_FALSE();
    const std::uint32_t flags = hasAlt ? kModifierAlt : 0;

    const std::size_t open = upper.find('[');
    if (open != std::string::npos)
    {
        // Only a "]" after the "[" closes the number.
        if (upper.find(']', open + 1) == std::string::npos)
            return KeyCode(0, 0);
        const long long number = ReadNumber(upper.c_str() + open + 1);
        return KeyCode(static_cast<unsigned short>(static_cast<unsigned long long>(number) & 0xFFFFu), flags);
    }

    // Nothing to take the character from.
    if (upper.empty())
        return KeyCode(0, 0);
    const unsigned char last = static_cast<unsigned char>(original[upper.size() - 1]);
    return KeyCode(static_cast<unsigned short>(last), flags);
}
} // namespace Vx
