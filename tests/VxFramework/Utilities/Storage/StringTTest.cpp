#include "VxFramework/Utilities/Storage/StringT.h"

#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
using String = Vx::StringT<char, unsigned short>;
using WideString = Vx::StringT<unsigned short, char>;
using Units = std::vector<unsigned short>;

std::string Text(const String& s)
{
    return std::string(s.GetCString(), static_cast<std::size_t>(s.GetLength()));
}

Units UnitsOf(const WideString& s)
{
    return Units(s.GetCString(), s.GetCString() + s.GetLength());
}

std::string Bytes(const Vx::RCPtr<Vx::LIBuffer>& buffer)
{
    return std::string(static_cast<const char*>(buffer->GetData()), buffer->GetSize());
}

bool AssertedIn(const std::string& err, const char* file)
{
    return err.find(std::string("JUCE Assertion failure in ") + file + ":") != std::string::npos;
}

// The array operations Split relies on, over a standard vector.
struct TestStringArray
{
    std::int32_t SetCount(std::uint32_t count)
    {
        items.resize(count);
        return static_cast<std::int32_t>(count);
    }
    std::int32_t RemoveAll()
    {
        items.clear();
        return 0;
    }
    std::int32_t Add(const String& item)
    {
        items.push_back(item);
        return static_cast<std::int32_t>(items.size() - 1);
    }
    std::uint32_t GetCount() const { return static_cast<std::uint32_t>(items.size()); }
    String& operator[](std::uint32_t index) { return items[index]; }

    std::vector<String> items;
};

struct TextCase
{
    const char* name;
    std::function<String()> make;
    std::string expected;
};

TEST(Strings, OperationsGiveTheExpectedText)
{
    const String abcdef("abcdef");
    const auto inserted = [&](std::function<void(String&)> edit) {
        String s(abcdef);
        edit(s);
        return s;
    };
    const unsigned short smile[] = {0xD83D, 0xDE00, 0};
    const TextCase cases[] = {
        {"Mid from the end", [&] { return abcdef.Mid(-3, 2); }, "de"},
        {"Mid to the end", [&] { return abcdef.Mid(2); }, "cdef"},
        {"Mid beyond the end", [&] { return abcdef.Mid(10, 2); }, ""},
        {"Mid with a negative count", [&] { return abcdef.Mid(0, -1); }, "abcdef"},
        {"Mid clipped at the end", [&] { return abcdef.Mid(3, 100); }, "def"},
        {"Mid starting before the text", [&] { return abcdef.Mid(-10, 8); }, "abcd"},
        {"Mid wholly before the text", [&] { return abcdef.Mid(-10, 2); }, ""},
        {"Mid from far before, to the end", [&] { return abcdef.Mid(-10); }, "abcdef"},
        {"Mid of zero characters", [&] { return abcdef.Mid(1, 0); }, ""},
        {"Mid at the end", [&] { return abcdef.Mid(6, 1); }, ""},
        {"Insert at the end appends", [&] { return inserted([](String& s) { s.Insert(6, String("XY")); }); }, "abcdefXY"},
        {"Insert at the start", [&] { return inserted([](String& s) { s.Insert(0, String("XY")); }); }, "XYabcdef"},
        {"Insert inside", [&] { return inserted([](String& s) { s.Insert(3, String("XY")); }); }, "abcXYdef"},
        {"Insert a prefix of a text", [&] { return inserted([](String& s) { s.Insert(1, "XYZ", 2); }); }, "aXYbcdef"},
        {"Insert a text shorter than its maximum", [&] { return inserted([](String& s) { s.Insert(1, "X", 50); }); }, "aXbcdef"},
        {"Insert UTF-16", [&] { return inserted([&](String& s) { s.Insert(2, smile, -1); }); }, "ab\xF0\x9F\x98\x80" "cdef"},
        {"Insert UTF-16 units", [&] { return inserted([](String& s) { const unsigned short e[] = {0xE9, 'x'}; s.Insert(6, e, 1); }); }, "abcdef\xC3\xA9"},
        {"Remove inside", [&] { return inserted([](String& s) { s.Remove(1, 2); }); }, "adef"},
        {"Remove the tail", [&] { return inserted([](String& s) { s.Remove(4, 2); }); }, "abcd"},
        {"Remove nothing", [&] { return inserted([](String& s) { s.Remove(5, 0); }); }, "abcdef"},
        {"AppendChar", [&] { return inserted([](String& s) { s.AppendChar('!'); s.AppendChar('\0'); }); }, "abcdef!"},
        {"operator+", [&] { return String("ab") + "cd" + String(); }, "abcd"},
        {"fixed point pads the fraction only", [] { return String::FormatFixedPoint(5u, 3); }, ".005"},
        {"fixed point without decimals", [] { return String::FormatFixedPoint(123, 0); }, "123"},
        {"fixed point of a negative count", [] { return String::FormatFixedPoint(42u, -1); }, "42"},
        {"fixed point with integer digits", [] { return String::FormatFixedPoint(1234, 2); }, "12.34"},
        {"fixed point keeps the sign in front", [] { return String::FormatFixedPoint(-5, 3); }, "-.005"},
        {"fixed point of a negative value", [] { return String::FormatFixedPoint(-1234L, 2); }, "-12.34"},
        {"fixed point of 64 bits", [] { return String::FormatFixedPoint(-9000000000000000000LL, 18); }, "-9.000000000000000000"},
        {"fixed point of unsigned long", [] { return String::FormatFixedPoint(4000000000UL, 9); }, "4.000000000"},
        {"float with precision", [] { return String::FormatFloat(2, 3.14159); }, "3.14"},
        {"float without precision", [] { return String::FormatFloat(-1, 1.5f); }, "1.500000"},
        {"float with precision 0", [] { return String::FormatFloat(0, 2.5f); }, "2"},
        {"Format", [] { return String::Format("%d-%s-%04x", -7, "x", 0xab); }, "-7-x-00ab"},
        {"Format of a null format", [] { return String::Format(nullptr); }, ""},
        {"ToLower leaves other bytes", [] { return String("AbC-\xC3\x89Z").ToLower(); }, "abc-\xC3\x89z"},
        {"Trim of blanks only", [] { return String("   ").Trim(); }, ""},
        {"Trim of tab, x, line feed", [] { return String("\tx\n").Trim(); }, "x"},
        {"Trim keeps inner blanks", [] { return String(" \r a b \r\n").Trim(); }, "a b"},
        {"TrimRight", [] { return String("x.,.y.,.").TrimRight(".,"); }, "x.,.y"},
        {"TrimRight of nothing", [] { return String("xy").TrimRight(nullptr); }, "xy"},
        {"ReplaceChars", [] { String s("a-b_c-d"); s.ReplaceChars("-_", '+'); return s; }, "a+b+c+d"},
        {"ReplaceChars with 0 does nothing", [] { String s("a-b"); s.ReplaceChars("-", '\0'); return s; }, "a-b"},
        {"MakeLegalFileName", [] { return String("a\\b/c:d*e?f\"g<h>i|j&k;l,m^n(o)p q.txt").MakeLegalFileName(); },
         "a_b_c_d_e_f_g_h_i_j_k_l_m_n_o_p q.txt"},
        {"hexadecimal", [] { const unsigned char b[] = {0x0A, 0xFF, 0x00}; return String::EncodeBinaryData(0, b, 3); }, "0AFF00"},
        {"base64 of three bytes", [] { return String::EncodeBinaryData(1, "abc", 3); }, "YWJj"},
        {"base64 of two bytes", [] { return String::EncodeBinaryData(1, "ab", 2); }, "YWI="},
        {"base64 of one byte", [] { return String::EncodeBinaryData(1, "\xFB", 1); }, "+w=="},
        {"base64 of seven bytes", [] { return String::EncodeBinaryData(1, "\xFF\xFF\xFE" "abcd", 7); }, "///+YWJjZA=="},
        {"unknown encoding", [] { return String::EncodeBinaryData(2, "ab", 2); }, ""},
        {"nothing to encode", [] { return String::EncodeBinaryData(0, "ab", 0); }, ""},
        {"Reversed", [] { return String("abc").Reversed(); }, "cba"},
        {"Reversed keeps characters whole", [] { return String("a\xC3\xA9\xF0\x9F\x98\x80z").Reversed(); },
         "z\xF0\x9F\x98\x80\xC3\xA9" "a"},
        {"from one character", [] { return String('q'); }, "q"},
        {"from the character 0", [] { return String('\0'); }, ""},
        {"from one UTF-16 unit", [] { return String(static_cast<unsigned short>(0x20AC)); }, "\xE2\x82\xAC"},
        {"from a lone surrogate unit", [] { return String(static_cast<unsigned short>(0xD800)); }, ""},
        {"from UTF-16 text", [] { const unsigned short t[] = {'h', 0xE9, 0}; return String(t); }, "h\xC3\xA9"},
        {"from a wide string", [] { return String(WideString(String("\xC3\xA9t\xC3\xA9"))); }, "\xC3\xA9t\xC3\xA9"},
        {"from a text with a length", [] { return String("abcdef", 3); }, "abc"},
        {"from a text with a negative length", [] { return String("abcdef", -5); }, "abcdef"},
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(Text(c.make()), c.expected) << c.name;
}

TEST(Strings, EmptyStringsShareOneBuffer)
{
    const String byDefault;
    const String fromEmpty("");
    const String fromNull(static_cast<const char*>(nullptr));
    String emptied("x");
    emptied.Empty();
    String released("abc");
    released.GetBuffer(10)[0] = 0;
    released.ReleaseBuffer();
    for (const String* s : std::vector<const String*>{&fromEmpty, &fromNull, &emptied, &released, &String::GetEmptyString()})
    {
        EXPECT_EQ(s->GetCString(), byDefault.GetCString());
        EXPECT_EQ(s->GetLength(), 0);
        EXPECT_TRUE(s->IsEmpty());
    }
    EXPECT_TRUE(WideString().IsEmpty());
    EXPECT_EQ(WideString(String()).GetCString(), WideString::GetEmptyString().GetCString());
}

TEST(Strings, CopiesShareUntilOneWrites)
{
    String original("shared text");
    String copy(original);
    String assigned;
    assigned = original;
    EXPECT_EQ(copy.GetCString(), original.GetCString());
    EXPECT_EQ(assigned.GetCString(), original.GetCString());

    copy.Append(String("+more"));
    copy += "!";
    EXPECT_EQ(Text(original), "shared text");
    EXPECT_EQ(Text(assigned), "shared text");
    EXPECT_EQ(Text(copy), "shared text+more!");

    // Appending a string to itself reads its own text after the buffer moved.
    String twice("abc");
    twice.Append(twice);
    EXPECT_EQ(Text(twice), "abcabc");
    String shared(twice);
    shared.Append(shared);
    EXPECT_EQ(Text(shared), "abcabcabcabc");
    EXPECT_EQ(Text(twice), "abcabc");

    // Writing through GetBuffer privatises too.
    String writer(original);
    writer.GetBuffer(0)[0] = 'S';
    writer.ReleaseBuffer();
    EXPECT_EQ(Text(writer), "Shared text");
    EXPECT_EQ(Text(original), "shared text");
}

TEST(Strings, AppendedTextMatchesAStandardStringThroughEveryGrowth)
{
    // Pieces of every length up to a few words, some of them multi-byte, so
    // that appends land both in the room left by growing and past it.
    const std::string pieces[] = {
        "a", "bc", "def", "\xC3\xA9", "ghijklm", "nopqrstu", "\xF0\x9F\x98\x80", "vwxyz0123456789"};
    String built;
    std::string expected;
    for (int i = 0; i < 400; ++i)
    {
        const std::string& piece = pieces[(i * 7) % 8];
        if (i % 5 == 4)
        {
            built.AppendChar('!');
            expected += '!';
        }
        else
        {
            built += String(piece.c_str());
            expected += piece;
        }
        ASSERT_EQ(built.GetLength(), static_cast<std::int32_t>(expected.size())) << i;
        ASSERT_EQ(Text(built), expected) << i;
        ASSERT_EQ(built.GetCString()[expected.size()], 0) << i;
    }
    // Whatever room the buffer has is in no comparison, copy or conversion.
    const String fresh(expected.c_str());
    EXPECT_TRUE(built == fresh);
    EXPECT_TRUE(built == expected.c_str());
    EXPECT_FALSE(built < fresh);
    EXPECT_FALSE(fresh < built);
    EXPECT_EQ(built.Compare(fresh), 0);
    EXPECT_TRUE(String(built) == fresh);
    EXPECT_EQ(Text(String(WideString(built))), expected);
    EXPECT_EQ(Text(built.Mid(-3)), expected.substr(expected.size() - 3));
    EXPECT_EQ(std::string(built.GetBuffer(0)), expected);
    built.ReleaseBuffer();
    EXPECT_EQ(Text(built), expected);

    // The UTF-16 string grows the same way.
    WideString wide;
    Units units;
    for (int i = 0; i < 200; ++i)
    {
        const WideString piece(String(pieces[i % 8].c_str()));
        wide.Append(piece);
        const Units added = UnitsOf(piece);
        units.insert(units.end(), added.begin(), added.end());
        ASSERT_EQ(UnitsOf(wide), units) << i;
        ASSERT_EQ(wide.GetCString()[units.size()], 0) << i;
    }
}

TEST(Strings, AppendingNeverWritesIntoAnotherStringsBuffer)
{
    // A string with room to spare, then shared in every way a string can be.
    String grown;
    for (int i = 0; i < 20; ++i)
        grown += "0123456789";
    const std::string before = Text(grown);
    const String copied(grown);
    String assigned;
    assigned = grown;
    const char* const sharedText = copied.GetCString();

    grown += "+";
    EXPECT_EQ(Text(grown), before + "+");
    EXPECT_EQ(Text(copied), before);
    EXPECT_EQ(Text(assigned), before);
    EXPECT_EQ(copied.GetCString(), sharedText);

    // The one left holding the old buffer alone grows it in place.
    assigned += "-";
    assigned += assigned.Mid(0, 3);
    EXPECT_EQ(Text(assigned), before + "-012");
    EXPECT_EQ(Text(copied), before);
    EXPECT_EQ(Text(grown), before + "+");

    // Appending to itself, with room for the copy and without.
    String twice(grown);
    twice.Append(twice);
    EXPECT_EQ(Text(twice), before + "+" + before + "+");
    String small("ab");
    small += "c";
    small.Append(small);
    small.Append(small);
    EXPECT_EQ(Text(small), "abcabcabcabc");

    // A writer's buffer, released: what lay beyond the terminator is not text
    // and the next append writes over it; copies taken before are untouched.
    String written("x");
    std::memcpy(written.GetBuffer(100), "abc\0zzzz", 8);
    written.ReleaseBuffer();
    written += "d";
    EXPECT_EQ(Text(written), "abcd");
    const String beforeAppend(written);
    written.Append(String(written));
    EXPECT_EQ(Text(written), "abcdabcd");
    EXPECT_EQ(Text(beforeAppend), "abcd");

    // Appending while the buffer is out for writing keeps that mode's rules,
    // and a copy taken then keeps its own text.
    String writing("ab");
    writing.GetBuffer(10);
    const String copyOfWriter(writing);
    writing += "cd";
    EXPECT_TRUE(writing.IsBufferExclusive());
    EXPECT_EQ(Text(copyOfWriter), "ab");
    writing.ReleaseBuffer();
    writing += "ef";
    EXPECT_EQ(Text(writing), "abcdef");
}

TEST(Strings, AppendingReadsBothTextsAsCStrings)
{
    // Format can put a 0 inside a text; appending ends the result there, as
    // releasing a writer's buffer does.
    const auto grown = [] {
        String s;
        for (int i = 0; i < 10; ++i)
            s += "0123456789";
        return s;
    };
    const std::string hundred = Text(grown());
    const TextCase cases[] = {
        {"a 0 in the text",
         [] {
             String s = String::Format("a%cb", 0);
             s += "c";
             return s;
         },
         "a"},
        {"a 0 first in the text",
         [] {
             String s = String::Format("%cb", 0);
             s += "c";
             return s;
         },
         ""},
        {"a 0 in the appended text",
         [] {
             String s("x");
             s += String::Format("y%cz", 0);
             return s;
         },
         "xy"},
        {"a 0 first in the appended text",
         [] {
             String s("x");
             s += String::Format("%cz", 0);
             return s;
         },
         "x"},
        {"a 0 appended where there is room",
         [&] {
             String s = grown();
             s += String::Format("r%cs", 0);
             s += "t";
             return s;
         },
         hundred + "rt"},
        {"a 0 in a shared text",
         [] {
             const String f = String::Format("a%cb", 0);
             String s(f);
             s += "c";
             return s;
         },
         "a"},
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(Text(c.make()), c.expected) << c.name;
    String formatted = String::Format("a%cb", 0);
    const String shared(formatted);
    formatted += "c";
    EXPECT_EQ(shared.GetLength(), 3);
}

TEST(Strings, ReadersOnOtherThreadsNeverSeeAWrite)
{
    const String original = String::Format("%s", std::string(200, 'r').c_str());
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t)
    {
        readers.emplace_back([&] {
            while (!stop.load())
            {
                String copy(original);
                if (copy.GetLength() != 200 || copy.GetCString()[0] != 'r' || copy.GetCString()[199] != 'r' ||
                    copy.GetCString()[200] != 0)
                    ++bad;
            }
        });
    }
    for (int i = 0; i < 2000; ++i)
    {
        String writer(original);
        writer.Append(String("w"));
        char* data = writer.GetBuffer(0);
        data[0] = 'w';
        writer.ReleaseBuffer();
        writer.Insert(100, String("inserted"));
        ASSERT_EQ(writer.GetLength(), 209);
    }
    stop = true;
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_EQ(Text(original), std::string(200, 'r'));
}

TEST(Strings, WriteModeFollowsTheBufferProtocol)
{
    String s("abc");
    char* data = s.GetBuffer(100);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(data), "abc");
    EXPECT_EQ(data[99], 0); // the last unit of a 100-unit buffer
    EXPECT_TRUE(s.IsBufferExclusive());
    std::memcpy(data, "abcdef", 7);
    EXPECT_EQ(s.GetLength(), 6);

    // A copy of a string in write mode gets its own text.
    String copy(s);
    EXPECT_NE(copy.GetCString(), s.GetCString());
    EXPECT_FALSE(copy.IsBufferExclusive());
    EXPECT_EQ(Text(copy), "abcdef");

    {
        VxTest::CaptureStderr capture;
        EXPECT_EQ(s.GetBuffer(10), nullptr);
        EXPECT_TRUE(AssertedIn(capture.Finish(), "StringT.cpp"));
    }

    EXPECT_EQ(s.ReleaseBuffer(), Vx::VXR_OK);
    EXPECT_EQ(s.GetLength(), 6);
    EXPECT_FALSE(s.IsBufferExclusive());
    EXPECT_EQ(s.ReleaseBuffer(), Vx::VXR_NOTHING_DONE);

    // Assignments in write mode write in place and keep the mode.
    String hello("Hello");
    hello.GetBuffer(0);
    hello = "Hi";
    EXPECT_EQ(Text(hello), "Hi");
    EXPECT_TRUE(hello.IsBufferExclusive());
    hello = String("much longer than the buffer");
    EXPECT_EQ(Text(hello), "much ");
    hello.Empty();
    EXPECT_TRUE(hello.IsEmpty());
    EXPECT_TRUE(hello.IsBufferExclusive());
    hello.Append(String("appended grows"));
    EXPECT_EQ(Text(hello), "appended grows");
    hello.ReleaseBuffer();
    EXPECT_EQ(Text(hello), "appended grows");

    // A writer that fills the whole buffer without a terminator.
    String full("ab");
    std::memcpy(full.GetBuffer(4), "wxyz", 4);
    EXPECT_EQ(full.GetLength(), 4);
    EXPECT_EQ(Text(String(full)), "wxyz");
    EXPECT_EQ(full == "wxyz", true);
    full.ReleaseBuffer();
    EXPECT_EQ(std::string(full.GetCString()), "wxyz");

    // Shrinking the request cuts the text, terminated.
    String cut("abcdef");
    EXPECT_EQ(std::string(cut.GetBuffer(3)), "ab");
    cut.ReleaseBuffer();
    EXPECT_EQ(Text(cut), "ab");
}

TEST(Strings, ComparisonsAndSearch)
{
    const String abc("abc");
    EXPECT_TRUE(abc == String("abc"));
    EXPECT_FALSE(abc == String("abd"));
    EXPECT_FALSE(abc == String("ab"));
    EXPECT_TRUE(abc == "abc");
    EXPECT_FALSE(abc == "abcd");
    EXPECT_FALSE(abc == "ab");
    EXPECT_TRUE(String() == static_cast<const char*>(nullptr));
    EXPECT_TRUE(String() == "");
    EXPECT_FALSE(abc == static_cast<const char*>(nullptr));
    EXPECT_TRUE(abc != "x");

    EXPECT_TRUE(String("ab") < String("abc"));
    EXPECT_TRUE(String("ABC") < String("abc"));
    EXPECT_TRUE(String("z") < String("\xC3\xA9")); // bytes compare unsigned
    EXPECT_FALSE(abc < abc);
    EXPECT_FALSE(String("abc") < String("abc"));

    EXPECT_EQ(abc.Compare(abc), 0);
    EXPECT_EQ(abc.Compare(String("abc")), 0);
    EXPECT_LT(abc.Compare(String("ABD"), false), 0);
    EXPECT_GT(abc.Compare(String("ABC")), 0);
    EXPECT_EQ(abc.Compare(String("ABC"), false), 0);
    EXPECT_EQ(String::CompareCStrings("Hello", "hELLO", false), 0);
    EXPECT_NE(String::CompareCStrings("Hello", "hELLO", true), 0);
    EXPECT_EQ(String::CompareCStrings(nullptr, "", true), 0);

    const String text("one two one");
    EXPECT_EQ(text.Find("one"), 0);
    EXPECT_EQ(text.Find("two"), 4);
    EXPECT_EQ(text.Find("three"), -1);
    EXPECT_EQ(text.Find(""), 0);
    EXPECT_EQ(text.Find(static_cast<const char*>(nullptr)), -1);
    EXPECT_EQ(String().Find("x"), -1);
    EXPECT_EQ(text.Find('o', 0), 0);
    EXPECT_EQ(text.Find('o', 1), 6);
    EXPECT_EQ(text.Find('e', 11), -1);
    EXPECT_EQ(text.Find('\0', 0), -1);
    VxTest::CaptureStderr capture;
    EXPECT_EQ(text.Find('o', 12), -1);
    EXPECT_EQ(text.Find('o', -1), -1);
    EXPECT_TRUE(AssertedIn(capture.Finish(), "StringT.cpp"));
}

TEST(Strings, NumbersFromText)
{
    EXPECT_EQ(String("  42abc").ToInt(), 42);
    EXPECT_EQ(String("-17").ToInt(), -17);
    EXPECT_EQ(String("abc").ToInt(), 0);
    EXPECT_EQ(String("99999999999999999999").ToInt(), INT_MAX);
    EXPECT_EQ(String("-99999999999").ToInt(), INT_MIN);
    EXPECT_DOUBLE_EQ(String("2.5e3x").ToDouble(), 2500.0);
    EXPECT_DOUBLE_EQ(String("").ToDouble(), 0.0);
}

TEST(Strings, SplitKeepsInnerAndLeadingEmptyFields)
{
    struct SplitCase
    {
        const char* text;
        const char* delimiters;
        std::vector<std::string> fields;
    };
    const SplitCase cases[] = {
        {"a,,b", ",", {"a", "", "b"}},
        {",a", ",", {"", "a"}},
        {"a,", ",", {"a"}},
        {"a,,", ",", {"a", ""}},
        {"", ",", {""}},
        {"no delimiter", ",", {"no delimiter"}},
        {"a\n\nb", "\n", {"a", "", "b"}},
        {"k=v;x y", "=; ", {"k", "v", "x", "y"}},
        {",", ",", {""}},
        {"abc", "", {"abc"}},
        {"abc", nullptr, {"abc"}},
    };
    for (const SplitCase& c : cases)
    {
        TestStringArray out;
        out.Add(String("left over"));
        out.Add(String("from before"));
        const std::int32_t count = String(c.text).Split(out, c.delimiters, -1);
        std::vector<std::string> fields;
        for (const String& field : out.items)
            fields.push_back(Text(field));
        EXPECT_EQ(fields, c.fields) << '"' << c.text << '"';
        EXPECT_EQ(count, static_cast<std::int32_t>(c.fields.size()));
    }
    TestStringArray out;
    EXPECT_EQ(String("a;b;c").Split(out, ";", 2), 3);
}

TEST(Strings, PositionsOutsideTheTextChangeNothing)
{
    struct EditCase
    {
        const char* name;
        std::function<Vx::VxRESULT(String&)> edit;
    };
    const unsigned short loneLow[] = {'x', 0xDC00, 0};
    const EditCase cases[] = {
        {"Insert past the end", [](String& s) { return s.Insert(7, String("x")); }},
        {"Insert before the start", [](String& s) { return s.Insert(-1, String("x")); }},
        {"Insert a text past the end", [](String& s) { return s.Insert(7, "x"); }},
        {"Insert UTF-16 past the end", [&](String& s) { return s.Insert(7, loneLow, -1); }},
        {"Remove at the end", [](String& s) { return s.Remove(6, 0); }},
        {"Remove past the end", [](String& s) { return s.Remove(4, 3); }},
        {"Remove a negative count", [](String& s) { return s.Remove(1, -1); }},
        {"Remove a huge count", [](String& s) { return s.Remove(1, INT_MAX); }},
        {"Remove before the start", [](String& s) { return s.Remove(-1, 1); }},
    };
    for (const EditCase& c : cases)
    {
        String s("abcdef");
        VxTest::CaptureStderr capture;
        EXPECT_EQ(c.edit(s), Vx::VXR_E_INVALIDARG) << c.name;
        EXPECT_TRUE(AssertedIn(capture.Finish(), "StringT.cpp")) << c.name;
        EXPECT_EQ(Text(s), "abcdef") << c.name;
    }
    // Malformed UTF-16 is refused whole.
    String s("abcdef");
    EXPECT_EQ(s.Insert(2, loneLow, -1), Vx::VXR_E_FAIL);
    EXPECT_EQ(Text(s), "abcdef");
}

TEST(Strings, FormattingIsCutAtTheBuffer)
{
    const std::string big(20000, 'f');
    const String formatted = String::Format("%s", big.c_str());
    EXPECT_EQ(formatted.GetLength(), 16383);
    EXPECT_EQ(Text(formatted), big.substr(0, 16383));

    String assigned("old");
    assigned.AssignFormat("%s|%d", big.c_str(), 5);
    EXPECT_EQ(assigned.GetLength(), 16383);
    assigned.AssignFormat("%u-%s", 7u, "x");
    EXPECT_EQ(Text(assigned), "7-x");
}

struct DecodeCase
{
    const char* name;
    std::int32_t mode;
    const char* text;
    std::uint32_t offset;
    const char* before; // initial buffer bytes, null for none
    Vx::VxRESULT result;
    std::string after;  // the buffer's bytes afterwards
    bool traced;
};

TEST(Strings, DecodingBinaryText)
{
    using std::string;
    const DecodeCase cases[] = {
        {"hexadecimal, either case", 0, "0aFF", 0, nullptr, Vx::VXR_OK, "\x0A\xFF", false},
        {"hexadecimal at an offset", 0, "0aff", 2, nullptr, Vx::VXR_OK, string("\0\0\x0A\xFF", 4), false},
        {"hexadecimal into a larger buffer", 0, "41", 1, "xyz", Vx::VXR_OK, "xAz", false},
        {"hexadecimal grows with zeros", 0, "4142", 3, "xy", Vx::VXR_OK, string("xy\0AB", 5), false},
        {"not a digit", 0, "0G", 0, nullptr, Vx::VXR_E_FAIL, string("\0", 1), true},
        {"pairs before a bad digit stay", 0, "4142zz43", 0, nullptr, Vx::VXR_E_FAIL, string("AB\0\0", 4), true},
        {"odd length makes no buffer", 0, "414", 0, nullptr, Vx::VXR_E_FAIL, "<null>", true},
        {"empty hexadecimal", 0, "", 2, nullptr, Vx::VXR_OK, string("\0\0", 2), false},
        {"base64 with one pad", 1, "YWI=", 0, nullptr, Vx::VXR_OK, "ab", false},
        {"base64 with one pad at an offset", 1, "YWI=", 3, nullptr, Vx::VXR_OK, string("\0\0\0ab", 5), false},
        {"base64 with two pads", 1, "+w==", 0, nullptr, Vx::VXR_OK, "\xFB", false},
        {"base64 groups", 1, "///+YWJjZA==", 0, nullptr, Vx::VXR_OK, "\xFF\xFF\xFE" "abcd", false},
        {"base64 trims a larger buffer", 1, "YWJj", 1, "0123456", Vx::VXR_OK, "0abc", false},
        {"empty base64", 1, "", 0, "keep", Vx::VXR_OK, "keep", false},
        {"base64 of a wrong length", 1, "YWJ", 0, nullptr, Vx::VXR_E_FAIL, "<null>", true},
        {"base64 with a lone character", 1, "Y===", 0, nullptr, Vx::VXR_E_FAIL, string(3, '\0'), true},
        {"base64 of padding only", 1, "====", 0, nullptr, Vx::VXR_E_FAIL, string("\0\0\0", 3), true},
        {"base64 with text after the padding", 1, "YQ==YQ==", 0, nullptr, Vx::VXR_E_FAIL, string(6, '\0'), true},
        {"base64 with a foreign character", 1, "YQ!!", 0, nullptr, Vx::VXR_E_FAIL, string("\0\0\0", 3), true},
        {"base64 with too much padding", 1, "YWI==A==", 0, nullptr, Vx::VXR_E_FAIL, string(6, '\0'), true},
        {"unknown mode", 2, "00", 0, nullptr, Vx::VXR_E_INVALIDARG, "<null>", false},
    };
    for (const DecodeCase& c : cases)
    {
        Vx::RCPtr<Vx::LIBuffer> buffer;
        if (c.before != nullptr)
        {
            buffer = Vx::LByteBuffer::Create(static_cast<std::uint32_t>(std::strlen(c.before)));
            std::memcpy(buffer->GetData(), c.before, buffer->GetSize());
        }
        VxTest::CaptureStderr capture;
        EXPECT_EQ(String(c.text).DecodeBinaryData(c.mode, buffer, c.offset), c.result) << c.name;
        const std::string err = capture.Finish();
        EXPECT_EQ(buffer == nullptr ? std::string("<null>") : Bytes(buffer), c.after) << c.name;
        EXPECT_EQ(err.find("Invalid String passed to StringT::DecodeBinaryData\n") != std::string::npos, c.traced)
            << c.name << ": " << err;
    }

    // Encoding and decoding are inverse for every byte value.
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    for (std::int32_t mode : {0, 1})
    {
        for (std::size_t length : {0u, 1u, 2u, 3u, 4u, 256u})
        {
            Vx::RCPtr<Vx::LIBuffer> decoded;
            const String encoded = String::EncodeBinaryData(mode, all.data(), static_cast<std::uint32_t>(length));
            ASSERT_EQ(encoded.DecodeBinaryData(mode, decoded, 0), Vx::VXR_OK);
            EXPECT_EQ(Bytes(decoded), all.substr(0, length)) << mode << " " << length;
        }
    }
}

struct Utf8Case
{
    const char* name;
    std::string utf8;
    Vx::VxRESULT result;
    Units utf16; // what was converted up to the error
};

TEST(Strings, Utf8ToUtf16RefusesMalformedText)
{
    const Utf8Case cases[] = {
        {"ASCII", "abc", Vx::VXR_OK, {'a', 'b', 'c'}},
        {"two bytes", "\xC3\xA9", Vx::VXR_OK, {0xE9}},
        {"three bytes", "\xE2\x82\xAC", Vx::VXR_OK, {0x20AC}},
        {"four bytes", "\xF0\x9F\x98\x80", Vx::VXR_OK, {0xD83D, 0xDE00}},
        {"largest code point", "\xF4\x8F\xBF\xBF", Vx::VXR_OK, {0xDBFF, 0xDFFF}},
        {"overlong two bytes", "a\xC0\x80", Vx::VXR_E_FAIL, {'a'}},
        {"overlong C1", "\xC1\xBF", Vx::VXR_E_FAIL, {}},
        {"overlong three bytes", "a\xE0\x80\x80", Vx::VXR_E_FAIL, {'a'}},
        {"overlong four bytes", "\xF0\x80\x80\x80", Vx::VXR_E_FAIL, {}},
        {"encoded surrogate", "x\xED\xA0\x80", Vx::VXR_E_FAIL, {'x'}},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", Vx::VXR_E_FAIL, {}},
        {"F5 lead byte", "\xF5\x80\x80\x80", Vx::VXR_E_FAIL, {}},
        {"lone continuation byte", "ab\x80", Vx::VXR_E_FAIL, {'a', 'b'}},
        {"truncated at the end", "ab\xE2\x82", Vx::VXR_E_FAIL, {'a', 'b'}},
        {"truncated by an ASCII byte", "\xE2\x82x", Vx::VXR_E_FAIL, {}},
        {"five-byte form", "\xF8\x88\x80\x80\x80", Vx::VXR_E_FAIL, {}},
    };
    for (const Utf8Case& c : cases)
    {
        Vx::RCPtr<Vx::LIBuffer> out;
        EXPECT_EQ(String::ConvertUTF8ToUTF16(c.utf8.c_str(), -1, out), c.result) << c.name;
        ASSERT_NE(out, nullptr) << c.name;
        const unsigned short* units = static_cast<const unsigned short*>(out->GetData());
        EXPECT_EQ(Units(units, units + out->GetSize() / 2 - 1), c.utf16) << c.name;
        EXPECT_EQ(units[out->GetSize() / 2 - 1], 0) << c.name;
        if (c.result == Vx::VXR_OK)
        {
            // And back.
            Vx::RCPtr<Vx::LIBuffer> back;
            EXPECT_EQ(String::ConvertUTF16ToUTF8(units, -1, back), Vx::VXR_OK);
            EXPECT_EQ(std::string(static_cast<const char*>(back->GetData())), c.utf8) << c.name;
        }
    }

    // The count bounds the read; a 0 ends the text early.
    Vx::RCPtr<Vx::LIBuffer> out;
    EXPECT_EQ(String::ConvertUTF8ToUTF16("\xC3\xA9\xC3", 2, out), Vx::VXR_OK);
    EXPECT_EQ(out->GetSize(), 4u);
    EXPECT_EQ(String::ConvertUTF8ToUTF16("\xC3\xA9\xC3", 3, out), Vx::VXR_E_FAIL);
    EXPECT_EQ(String::ConvertUTF8ToUTF16(std::string("ab\0cd", 5).c_str(), 5, out), Vx::VXR_OK);
    EXPECT_EQ(out->GetSize(), 6u);

    // Null and empty sources give the shared empty buffer.
    EXPECT_EQ(String::ConvertUTF8ToUTF16(nullptr, -1, out), Vx::VXR_OK);
    EXPECT_EQ(out->GetData(), WideString::GetEmptyString().GetCString());
    EXPECT_EQ(String::ConvertUTF16ToUTF8(nullptr, 5, out), Vx::VXR_OK);
    EXPECT_EQ(out->GetData(), String::GetEmptyString().GetCString());
}

TEST(Strings, Utf16AndUtf32ToUtf8RefuseLoneSurrogatesAndOutOfRangeValues)
{
    struct Case
    {
        const char* name;
        Units utf16;
        Vx::VxRESULT result;
        std::string utf8;
    };
    const Case cases[] = {
        {"pair", {'a', 0xD83D, 0xDE00}, Vx::VXR_OK, "a\xF0\x9F\x98\x80"},
        {"lone high surrogate at the end", {'a', 0xD83D}, Vx::VXR_E_FAIL, "a"},
        {"high surrogate before a character", {0xD83D, 'b'}, Vx::VXR_E_FAIL, ""},
        {"lone low surrogate", {'a', 0xDE00, 'b'}, Vx::VXR_E_FAIL, "a"},
        {"two high surrogates", {0xD800, 0xD800, 0xDC00}, Vx::VXR_E_FAIL, ""},
    };
    for (const Case& c : cases)
    {
        Units text = c.utf16;
        text.push_back(0);
        Vx::RCPtr<Vx::LIBuffer> out;
        EXPECT_EQ(String::ConvertUTF16ToUTF8(text.data(), static_cast<std::int32_t>(c.utf16.size()), out), c.result)
            << c.name;
        EXPECT_EQ(Bytes(out), c.utf8 + '\0') << c.name;

        String assigned("old");
        EXPECT_EQ(assigned.Assign(text.data(), -1), c.result) << c.name;
        EXPECT_EQ(Text(assigned), c.utf8) << c.name;
    }

    struct Utf32Case
    {
        std::vector<std::uint32_t> text;
        Vx::VxRESULT result;
        std::string utf8;
        Units utf16;
    };
    const Utf32Case utf32[] = {
        {{'a', 0xE9, 0x20AC, 0x1F600}, Vx::VXR_OK, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", {'a', 0xE9, 0x20AC, 0xD83D, 0xDE00}},
        {{'a', 0xD800}, Vx::VXR_E_FAIL, "a", {'a'}},
        {{'a', 0x110000, 'b'}, Vx::VXR_E_FAIL, "a", {'a'}},
        {{0xFFFFFFFF}, Vx::VXR_E_FAIL, "", {}},
    };
    for (const Utf32Case& c : utf32)
    {
        std::vector<std::uint32_t> text = c.text;
        text.push_back(0);
        Vx::RCPtr<Vx::LIBuffer> out;
        EXPECT_EQ(String::ConvertUTF32ToUTF8(text.data(), -1, out), c.result);
        EXPECT_EQ(Bytes(out), c.utf8 + '\0');
        EXPECT_EQ(String::ConvertUTF32ToUTF16(text.data(), -1, out), c.result);
        const unsigned short* units = static_cast<const unsigned short*>(out->GetData());
        EXPECT_EQ(Units(units, units + out->GetSize() / 2 - 1), c.utf16);
    }
}

TEST(Strings, WideStrings)
{
    const WideString e(String("\xC3\xA9"));
    EXPECT_EQ(UnitsOf(e), Units({0x00E9}));

    const WideString mixed(String("a\xF0\x9F\x98\x80" "b"));
    EXPECT_EQ(UnitsOf(mixed.Reversed()), Units({'b', 0xD83D, 0xDE00, 'a'}));
    EXPECT_EQ(UnitsOf(WideString(String("abcd")).Reversed()), Units({'d', 'c', 'b', 'a'}));

    const unsigned short text[] = {'x', 'y', 'z', 0};
    WideString w;
    w.Assign(text, 2);
    EXPECT_EQ(UnitsOf(w), Units({'x', 'y'}));
    EXPECT_TRUE(w == WideString(String("xy")));
    EXPECT_FALSE(w == text);
    w = text;
    EXPECT_TRUE(w == text);
    EXPECT_EQ(w.GetLength(), 3);
    WideString copy(w);
    copy.Append(copy);
    EXPECT_EQ(UnitsOf(copy), Units({'x', 'y', 'z', 'x', 'y', 'z'}));
    EXPECT_EQ(UnitsOf(w), Units({'x', 'y', 'z'}));
    EXPECT_TRUE(w < copy);
    EXPECT_EQ(Text(String(copy)), "xyzxyz");

    unsigned short* data = w.GetBuffer(5);
    data[3] = 'w';
    data[4] = 0;
    w.ReleaseBuffer();
    EXPECT_EQ(UnitsOf(w), Units({'x', 'y', 'z', 'w'}));
}

TEST(Strings, CreateDirectoryPathMakesEveryLevel)
{
    char base[] = "/tmp/vx-strings-XXXXXX";
    ASSERT_NE(mkdtemp(base), nullptr);
    const std::string root(base);
    EXPECT_EQ(String((root + "/a/b/c").c_str()).CreateDirectoryPath(), Vx::VXR_OK);
    struct stat status;
    EXPECT_EQ(stat((root + "/a/b/c").c_str(), &status), 0);
    EXPECT_TRUE(S_ISDIR(status.st_mode));
    EXPECT_EQ(String((root + "/a/b").c_str()).CreateDirectoryPath(), 1);

    // A file in the way.
    FILE* file = std::fopen((root + "/file").c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    EXPECT_EQ(String((root + "/file/sub").c_str()).CreateDirectoryPath(), Vx::VXR_E_FAIL);
    EXPECT_EQ(String((root + "/file").c_str()).CreateDirectoryPath(), Vx::VXR_E_FAIL);
    EXPECT_EQ(String().CreateDirectoryPath(), Vx::VXR_E_FAIL);

    std::system(("rm -rf '" + root + "'").c_str());
}
} // namespace
