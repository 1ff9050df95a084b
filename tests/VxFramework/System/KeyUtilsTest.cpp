#include "VxFramework/System/KeyUtils.h"

#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

using Vx::KeyCode;

namespace
{
using String = Vx::StringT<char, unsigned short>;

std::string Text(const String& text)
{
    return text.GetCString();
}

bool AssertionLogged(const std::string& err)
{
    return err.find("JUCE Assertion failure in KeyUtils.cpp:") != std::string::npos;
}

KeyCode WithCode(std::uint32_t code)
{
    KeyCode key;
    key.code = code;
    return key;
}

constexpr std::uint32_t kCtrl = Vx::kModifierCtrl;
constexpr std::uint32_t kShift = Vx::kModifierShift;
constexpr std::uint32_t kAlt = Vx::kModifierAlt;
constexpr std::uint32_t kCmd = Vx::kModifierCmd;
} // namespace

TEST(KeyCode, ConstructorsBuildTheCodeWordAndSideMask)
{
    const KeyCode none;
    EXPECT_EQ(none.code, 0x80000000u);
    EXPECT_EQ(none.sideMask, 0u);
    EXPECT_EQ(none.extra, 0u);
    EXPECT_FALSE(none.IsCharacter());
    EXPECT_EQ(none.GetCharacter(), 0);

    // Only the low 8 bits of the virtual key count.
    const KeyCode f5(0x174, kCtrl | Vx::kModifierRightCtrl | Vx::kModifierLeftShift);
    EXPECT_EQ(f5.code, 0x21740000u);
    EXPECT_EQ(f5.sideMask, KeyCode::kSideRightCtrl); // left Shift without Shift sets nothing
    EXPECT_FALSE(f5.IsCharacter());

    const KeyCode x(static_cast<unsigned short>('x'), kAlt | Vx::kModifierLeftAlt | Vx::kModifierFifth);
    EXPECT_EQ(x.code, 0x14000078u);
    EXPECT_EQ(x.sideMask, KeyCode::kSideLeftAlt);
    EXPECT_TRUE(x.IsCharacter());
    EXPECT_EQ(x.GetCharacter(), 'x');

    // Virtual key 0 has no key bits, so it reads as the character 0.
    EXPECT_TRUE(KeyCode(0, 0).IsCharacter());
}

TEST(KeyCode, ModifierFlagsSurviveTheCodeForEveryCombination)
{
    struct Modifier
    {
        std::uint32_t main, left, right;
    };
    const Modifier modifiers[] = {
        {Vx::kModifierCtrl, Vx::kModifierLeftCtrl, Vx::kModifierRightCtrl},
        {Vx::kModifierShift, Vx::kModifierLeftShift, Vx::kModifierRightShift},
        {Vx::kModifierAlt, Vx::kModifierLeftAlt, Vx::kModifierRightAlt},
        {Vx::kModifierCmd, Vx::kModifierLeftCmd, Vx::kModifierRightCmd},
    };
    // Per modifier: absent, main only, main + left, main + right, all three.
    for (int combination = 0; combination < 5 * 5 * 5 * 5 * 2; ++combination)
    {
        std::uint32_t flags = 0;
        int rest = combination;
        for (const Modifier& modifier : modifiers)
        {
            const int choice = rest % 5;
            rest /= 5;
            const std::uint32_t options[] = {0, modifier.main, modifier.main | modifier.left,
                                             modifier.main | modifier.right,
                                             modifier.main | modifier.left | modifier.right};
            flags |= options[choice];
        }
        if (rest != 0)
            flags |= Vx::kModifierFifth;

        EXPECT_EQ(KeyCode(0x41, flags).GetModifierFlags(), flags) << std::hex << flags;
        EXPECT_EQ(KeyCode(static_cast<unsigned short>('a'), flags).GetModifierFlags(), flags) << std::hex << flags;
    }

    // A side flag without its main flag leaves no trace.
    EXPECT_EQ(KeyCode(0x41, Vx::kModifierLeftCtrl | Vx::kModifierRightAlt).GetModifierFlags(), 0u);
    // A side bit whose modifier bit is clear is ignored when reading back.
    KeyCode stray = WithCode(0x20410000);
    stray.sideMask = 0xFF;
    EXPECT_EQ(stray.GetModifierFlags(), 0u);
}

TEST(KeyCode, EqualityIgnoresCtrlAndShiftOfCharactersOnly)
{
    const unsigned short a = 'a';
    struct Case
    {
        KeyCode left, right;
        bool equal;
    };
    const Case cases[] = {
        {KeyCode(a, kShift), KeyCode(a, 0), true},
        {KeyCode(a, kCtrl | kShift), KeyCode(a, 0), true},
        {KeyCode(a, kAlt), KeyCode(a, 0), false},
        {KeyCode(a, kCmd), KeyCode(a, 0), false},
        {KeyCode(a, 0), KeyCode(static_cast<unsigned short>('b'), 0), false},
        {KeyCode(0x09, 0), WithCode(0x20090000), true},
        {KeyCode(0x09, 0), KeyCode(0x09, kCtrl), false},
        {KeyCode(0x09, kShift), KeyCode(0x09, 0), false},
        // Side masks never count.
        {KeyCode(0x09, kCtrl | Vx::kModifierLeftCtrl), KeyCode(0x09, kCtrl | Vx::kModifierRightCtrl), true},
        // No-key codes compare exactly, even when they look like characters with Shift.
        {WithCode(0x82000061), WithCode(0x80000061), false},
        {WithCode(0x80000061), WithCode(0x80000061), true},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
    {
        EXPECT_EQ(cases[i].left == cases[i].right, cases[i].equal) << "case " << i;
        EXPECT_EQ(cases[i].right == cases[i].left, cases[i].equal) << "case " << i;
    }
}

TEST(KeyNames, TablesHoldTheNamedKeys)
{
    std::set<int> named;
    std::set<int> displayed;
    for (int vk = -1; vk <= 256; ++vk)
    {
        if (!Vx::GetVirtualKeyName(vk).IsEmpty())
            named.insert(vk);
        if (!Vx::GetVirtualKeyDisplayName(vk).IsEmpty())
            displayed.insert(vk);
    }
    // 149 names for 145 keys; 147 display entries for 143 keys.
    EXPECT_EQ(named.size(), 145u);
    EXPECT_EQ(displayed.size(), 143u);
    std::vector<int> withoutDisplay;
    for (int vk : named)
        if (displayed.count(vk) == 0)
            withoutDisplay.push_back(vk);
    EXPECT_EQ(withoutDisplay, (std::vector<int>{0x08, 0x09}));
    for (int gap : {0x0A, 0x0B, 0x0E, 0x0F, 0x16, 0x1A, 0x3A, 0x40, 0x5E, 0x88, 0x8F, 0x97, 0x9F, 0xB8, 0xFF})
        EXPECT_EQ(named.count(gap), 0u) << std::hex << gap;

    struct Case
    {
        int vk;
        const char* name;
        const char* display;
    };
    const Case cases[] = {
        {0x15, "VKEY_HANGEUL", "Kana"},       {0x19, "VKEY_HANJA", "Hanja"},
        {0x92, "VKEY_OEM_FJ_JISHO", "NEC Equal"}, {0x08, "VKEY_BACK", ""},
        {0x22, "VKEY_PAGEDN", "Page Down"},   {0x2E, "VKEY_DELETE", "Del"},
        {0x37, "VKEY_7", "7"},                {0x5A, "VKEY_Z", "Z"},
        {0x63, "VKEY_NUMPAD3", "Numpad 3"},   {0x6D, "VKEY_SUBTRACT", "-"},
        {0x87, "VKEY_F24", "F24"},            {0xA5, "VKEY_RMENU", "Right Menu"},
        {0xB7, "VKEY_LAUNCH_APP2", "Launch App 2"},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(Text(Vx::GetVirtualKeyName(c.vk)), c.name);
        EXPECT_EQ(Text(Vx::GetVirtualKeyDisplayName(c.vk)), c.display);
    }

    // Every alias is found; lookups are exact and case-sensitive.
    const std::pair<const char*, int> aliases[] = {{"VKEY_KANA", 0x15},      {"VKEY_HANGUL", 0x15},
                                                   {"VKEY_KANJI", 0x19},     {"VKEY_OEM_NEC_EQUAL", 0x92},
                                                   {"VKEY_A", 0x41},         {"vkey_a", 0},
                                                   {"VKEY_A ", 0},           {"", 0}};
    for (const auto& [name, vk] : aliases)
        EXPECT_EQ(Vx::GetVirtualKeyFromName(name), vk) << name;
}

TEST(KeyText, BothTextFormsOfTypicalCodes)
{
    struct Case
    {
        KeyCode key;
        const char* text;
        const char* display;
    };
    const Case cases[] = {
        {KeyCode(0x74, kCtrl | kShift), "Ctrl+Shift+VKEY_F5", "Ctrl+Shift+F5"},
        {KeyCode(0x53, kCtrl | kShift), "Ctrl+Shift+VKEY_S", "Ctrl+Shift+S"},
        {KeyCode(0x41, kCmd | kAlt | kShift | kCtrl), "Ctrl+Alt+Shift+Cmd+VKEY_A", "Ctrl+Alt+Shift+Cmd+A"},
        {KeyCode(0x15, 0), "VKEY_HANGEUL", "Kana"},
        {KeyCode(0x09, kShift), "Shift+VKEY_TAB", "Shift+"},
        {KeyCode(0x3A, 0), "", ""},
        {KeyCode(static_cast<unsigned short>('x'), kAlt), "Alt+[120]", "Alt+x"},
        {KeyCode(static_cast<unsigned short>(3), 0), "[3]", "Ctrl+C"},
        {KeyCode(static_cast<unsigned short>(26), kCtrl), "Ctrl+[26]", "Ctrl+Ctrl+Z"},
        {KeyCode(static_cast<unsigned short>(32), 0), "[32]", ""},
        {KeyCode(static_cast<unsigned short>(33), 0), "[33]", "!"},
        {KeyCode(static_cast<unsigned short>(126), 0), "[126]", "~"},
        {KeyCode(static_cast<unsigned short>(127), 0), "[127]", ""},
        {KeyCode(static_cast<unsigned short>(0), 0), "[0]", ""},
        {KeyCode(static_cast<unsigned short>(0xE9), 0), "[233]", ""},
        {KeyCode(static_cast<unsigned short>(0xFFFF), kShift), "Shift+[65535]", "Shift+"},
        {WithCode(0x80000000 | KeyCode::kCtrl | KeyCode::kAlt | 0x00410000), "Ctrl+Alt+", "Ctrl+Alt+"},
        {KeyCode(), "", ""},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(Text(Vx::KeyCodeToText(c.key)), c.text) << std::hex << c.key.code;
        EXPECT_EQ(Text(Vx::KeyCodeToDisplayText(c.key)), c.display) << std::hex << c.key.code;
    }
}

TEST(KeyText, ParserReadsKeysAndAnswersBadTextSafely)
{
    struct Case
    {
        const char* text;
        std::uint32_t code;
        bool asserts;
    };
    const Case cases[] = {
        {"ctrl+shift+vkey_f5", 0x23740000, false},
        {"VKEY_SHIFT", 0x22100000, false},
        {"vkey_lshift", 0x22A00000, false},
        {"Alt+VKEY_RETURN", 0x240D0000, false},
        {"Command+VKEY_A", 0x28410000, false},
        {"Cmd+VKEY_A", 0x20410000, false}, // the word the text forms write is not read back
        {"Ctrl+VKEY_NOSUCHKEY", 0x21000000, false},
        {"VKEY_", 0x20000000, false},
        {"Alt+x", 0x04000078, false},
        {"x", 0x00000078, false},
        {"Ctrl+x", 0x00000078, true},
        {"Shift+[65]", 0x00000041, true},
        {"[13]", 0x0000000D, false},
        {"alt+[120]", 0x04000078, false},
        {"[ 42 ]", 0x0000002A, false},
        {"[-1]", 0x0000FFFF, false},
        {"[65536]", 0x00000000, false},
        {"[99999999999999999999999999]", 0x0000FFFF, false},
        {"[abc]", 0x00000000, false},
        {"Alt+[65", 0x20000000, false},
        {"]65[", 0x20000000, false},
        {"[", 0x20000000, false},
        {"", 0x20000000, false},
        {"\xE9", 0x000000E9, false},
        {"+", 0x0000002B, false},
    };
    for (const Case& c : cases)
    {
        VxTest::CaptureStderr capture;
        const KeyCode key = Vx::TextToKeyCode(c.text);
        const std::string err = capture.Finish();
        EXPECT_EQ(key.code, c.code) << '"' << c.text << "\" gave " << std::hex << key.code;
        EXPECT_EQ(key.sideMask, 0u) << c.text;
        EXPECT_EQ(AssertionLogged(err), c.asserts) << c.text << ": " << err;
    }
}

TEST(KeyText, TextFormRoundTripsOverEveryNameAndModifier)
{
    for (int vk = 0; vk <= 0xFF; ++vk)
    {
        const std::string name = Text(Vx::GetVirtualKeyName(vk));
        if (name.empty())
            continue;
        // The parser finds "SHIFT" inside a key's own name too.
        const std::uint32_t implied = name.find("SHIFT") != std::string::npos ? kShift : 0;
        for (std::uint32_t combination = 0; combination < 8; ++combination)
        {
            const std::uint32_t flags = ((combination & 1) != 0 ? kCtrl | Vx::kModifierLeftCtrl : 0) |
                                        ((combination & 2) != 0 ? kAlt | Vx::kModifierRightAlt : 0) |
                                        ((combination & 4) != 0 ? kShift : 0);
            const KeyCode key(vk, flags);
            const KeyCode parsed = Vx::TextToKeyCode(Vx::KeyCodeToText(key));
            EXPECT_EQ(parsed, KeyCode(vk, flags | implied)) << Text(Vx::KeyCodeToText(key));
        }
    }

    for (std::uint32_t character = 0; character <= 0xFFFF; ++character)
    {
        for (std::uint32_t flags : {0u, kAlt})
        {
            const KeyCode key(static_cast<unsigned short>(character), flags);
            const KeyCode parsed = Vx::TextToKeyCode(Vx::KeyCodeToText(key));
            ASSERT_EQ(parsed.code, key.code) << Text(Vx::KeyCodeToText(key));
        }
    }
}
