#include "VxFramework/Utilities/Storage/VariantEx.h"

#include "VxFramework/Utilities/Storage/VxArray.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

using Vx::Variant;
using Vx::VariantEx;

namespace
{
VariantEx Text(const char* text)
{
    VariantEx v;
    v.SetString(text);
    return v;
}

VariantEx ArrayOf(const std::vector<Variant>& items)
{
    VariantEx v;
    v.SetArray(items.data(), static_cast<std::uint32_t>(items.size()));
    return v;
}

std::string Str(const VariantEx::String& s)
{
    return std::string(s.GetCString(), s.GetLength());
}
} // namespace

// Text values parse in the extended variant where the plain one reads the length.
TEST(VariantEx, TextGetters)
{
    struct Row
    {
        const char* text;
        bool b;
        std::int8_t i8;
        std::int16_t i16;
        std::int32_t i32;
        std::int64_t i64;
        std::uint8_t u8;
        std::uint16_t u16;
        std::uint32_t u32;
        std::uint64_t u64;
        double d;
    };
    const Row rows[] = {
        {"TRUE", true, 0, 0, 0, 0, 0, 0, 0, 0, 0.0},
        {"true", true, 0, 0, 0, 0, 0, 0, 0, 0, 0.0},
        {"yes", false, 0, 0, 0, 0, 0, 0, 0, 0, 0.0},
        {"abc", false, 0, 0, 0, 0, 0, 0, 0, 0, 0.0},
        {"-5", false, -5, -5, -5, -5, 251, 65531, 4294967291u, 18446744073709551611ull, -5.0},
        {"300", false, 44, 300, 300, 300, 44, 300, 300, 300, 300.0},
        {"70000", false, 112, 4464, 70000, 70000, 112, 4464, 70000, 70000, 70000.0},
        // Narrow readings saturate to the int range before the cut; the
        // unsigned 32-bit reading is the low half of the 64-bit one.
        {"4294967297", false, -1, -1, 2147483647, 4294967297ll, 255, 65535, 1, 4294967297ull, 4294967297.0},
        {"-4294967297", false, 0, 0, std::numeric_limits<std::int32_t>::min(), -4294967297ll, 0, 0, 4294967295u,
         18446744069414584319ull, -4294967297.0},
        {"2.5", false, 2, 2, 2, 2, 2, 2, 2, 2, 2.5},
        {"12abc", false, 12, 12, 12, 12, 12, 12, 12, 12, 12.0},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.text);
        const VariantEx v = Text(row.text);
        EXPECT_EQ(v.GetBool(), row.b);
        EXPECT_EQ(v.GetInt8(), row.i8);
        EXPECT_EQ(v.GetInt16(), row.i16);
        EXPECT_EQ(v.GetInt32(), row.i32);
        EXPECT_EQ(v.GetInt64(), row.i64);
        EXPECT_EQ(v.GetUInt8(), row.u8);
        EXPECT_EQ(v.GetUInt16(), row.u16);
        EXPECT_EQ(v.GetUInt32(), row.u32);
        EXPECT_EQ(v.GetUInt64(), row.u64);
        EXPECT_EQ(v.GetFloat(), static_cast<float>(row.d));
        EXPECT_EQ(v.GetDouble(), row.d);
    }

    // Through the base class the virtual getters still parse.
    const VariantEx abc = Text("abc");
    const Variant& asBase = abc;
    EXPECT_EQ(asBase.GetInt32(), 0);
    EXPECT_EQ(Variant(abc).GetInt32(), 3);
    // Other tags convert as in the plain variant.
    EXPECT_EQ(VariantEx(Variant(-2.5f)).GetInt32(), -3);
}

TEST(VariantEx, TextForm)
{
    struct Row
    {
        VariantEx v;
        const char* text;
    };
    const Row rows[] = {
        {VariantEx(), "<empty>"},
        {VariantEx(Variant(true)), "true"},
        {VariantEx(Variant(false)), "false"},
        {VariantEx(Variant(std::int8_t(-1))), "-1"},
        {VariantEx(Variant(std::uint8_t(255))), "255"},
        {VariantEx(Variant(std::int16_t(-300))), "-300"},
        {VariantEx(Variant(std::uint16_t(65535))), "65535"},
        {VariantEx(Variant(std::numeric_limits<std::int32_t>::min())), "-2147483648"},
        {VariantEx(Variant(4294967295u)), "4294967295"},
        {VariantEx(Variant(1.5f)), "1.500000"},
        {VariantEx(Variant(-0.25)), "-0.250000"},
        {VariantEx(Variant(std::numeric_limits<std::int64_t>::min())), "-9223372036854775808"},
        // Unsigned 64-bit values print in upper-case hexadecimal.
        {VariantEx(Variant(std::uint64_t(0xABCDEF))), "ABCDEF"},
        {Text("some text"), "some text"},
        {Text(""), ""},
        {ArrayOf({}), "<empty array>"},
        {ArrayOf({Variant(5), Variant(7)}), "array(2):\n  [0] 5\n  [1] 7"},
        {ArrayOf({Text("a"), ArrayOf({Variant(1), ArrayOf({})}), Variant()}),
         "array(3):\n  [0] a\n  [1] array(2):\n    [0] 1\n    [1] <empty array>\n  [2] <empty>"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(Str(row.v.ToString()), row.text) << row.v.GetTag();

    // Referenced and owned bytes print their pointer.
    static const std::uint8_t block[2] = {1, 2};
    VariantEx external;
    external.SetExternalData(block, 2);
    char expected[32];
    std::snprintf(expected, sizeof expected, "%" PRIXPTR, reinterpret_cast<std::uintptr_t>(block));
    EXPECT_EQ(Str(external.ToString()), expected);

    EXPECT_EQ(Str(ArrayOf({Variant(5)}).ToStringIndented(1)), "array(1):\n    [0] 5");
}

// The text of nested arrays is written in one pass over the data; levels
// beyond the nesting limit, possible only in array data set directly, read as
// empty values, as GetArrayElement gives them.
TEST(VariantEx, TextOfNestedArraysStopsAtTheNestingLimit)
{
    const std::uint32_t limit = Variant::kMaxNestingDepth;
    auto nested = [](std::uint32_t depth) {
        std::vector<std::uint8_t> out;
        for (std::uint32_t level = 0; level < depth; ++level)
        {
            const std::uint32_t header[3] = {(depth - level) * 12, 1, Variant::T_ARRAY};
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(header);
            out.insert(out.end(), bytes, bytes + sizeof header); // the test hosts are little-endian
        }
        return out;
    };

    std::string expected;
    for (std::uint32_t level = 1; level < limit; ++level)
        expected += "array(1):\n" + std::string(2 * level, ' ') + "[0] ";
    expected += "<empty array>";
    const std::vector<std::uint8_t> atLimit = nested(limit);
    VariantEx v;
    ASSERT_EQ(v.Deserialize(atLimit.data(), static_cast<std::uint32_t>(atLimit.size())), Vx::VXR_OK);
    EXPECT_EQ(Str(v.ToString()), expected);

    const std::vector<std::uint8_t> deep = nested(10000);
    VariantEx raw;
    raw.SetFromBytes(Variant::T_ARRAY, deep.data() + 12, static_cast<std::uint32_t>(deep.size() - 12));
    EXPECT_EQ(Str(raw.ToString()), "array(1):\n  [0] <empty>");
}

TEST(VariantEx, XmlTextEscapesTheFiveCharacters)
{
    EXPECT_EQ(Str(Text("a\"b&c'd<e>f").ToXmlText()), "a&quot;b&amp;c&apos;d&lt;e&gt;f");
    EXPECT_EQ(Str(VariantEx(Variant(3)).ToXmlText()), "3");
}

// Owned data lives in a buffer of the variant's own, released through the
// extended variant's FreeData even when destroyed through the base class.
TEST(VariantEx, OwnedDataLivesInTheBuffer)
{
    const Variant plain = [] {
        Variant v;
        v.SetString("hello");
        return v;
    }();
    VariantEx ex(plain);
    ASSERT_FALSE(ex.GetBuffer().IsNull());
    EXPECT_EQ(ex.GetBuffer()->GetData(), static_cast<const void*>(ex.GetString()));
    EXPECT_EQ(ex.GetBuffer()->GetSize(), 6u);
    EXPECT_NE(static_cast<const void*>(ex.GetString()), static_cast<const void*>(plain.GetString()));

    const Variant back(ex);
    EXPECT_EQ(back, plain);

    std::unique_ptr<Variant> owner(new VariantEx(plain));
    owner->SetBytes("xyz", 3);
    owner.reset();

    VariantEx assigned;
    assigned = ex;
    assigned = plain;
    EXPECT_STREQ(assigned.GetString(), "hello");
    EXPECT_NE(assigned.GetBuffer().Get(), ex.GetBuffer().Get());
}

TEST(VariantEx, GetBufferOnlyForBytesAndText)
{
    VariantEx bytes;
    bytes.SetBytes("ab", 2);
    EXPECT_FALSE(bytes.GetBuffer().IsNull());
    try
    {
        VariantEx(Variant(1)).GetBuffer();
        FAIL() << "no exception";
    }
    catch (const std::runtime_error& e)
    {
        EXPECT_EQ(std::string(e.what()).rfind("Runtime Error :  :  : VxFramework/Utilities/Storage/VariantEx.cpp : Line ",
                                              0),
                  0u)
            << e.what();
    }
}

TEST(VariantEx, ShareFromSharesOneBuffer)
{
    VariantEx first = Text("shared");
    VariantEx second;
    second.ShareFrom(first);
    EXPECT_EQ(second.GetBuffer().Get(), first.GetBuffer().Get());
    EXPECT_EQ(second.GetString(), first.GetString());
    first.Clear();
    EXPECT_STREQ(second.GetString(), "shared");

    // Resizing one of two sharers gives it its own buffer.
    VariantEx bytes;
    bytes.SetBytes("abcd", 4);
    VariantEx other;
    other.ShareFrom(bytes);
    EXPECT_EQ(bytes.SetDataSize(8), Variant::T_BYTES);
    EXPECT_EQ(bytes.GetSize(), 8u);
    EXPECT_NE(bytes.GetBuffer().Get(), other.GetBuffer().Get());
    std::uint32_t size = 0;
    EXPECT_EQ(std::memcmp(other.GetData(size), "abcd", 4), 0);
    EXPECT_EQ(size, 4u);
    const std::uint8_t expected[8] = {'a', 'b', 'c', 'd', 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(bytes.GetData(size), expected, 8), 0);
}

TEST(VariantEx, SetDataSizeResizesBytesOnly)
{
    VariantEx bytes;
    bytes.SetBytes("abcdef", 6);
    EXPECT_EQ(bytes.SetDataSize(2), Variant::T_BYTES);
    std::uint32_t size = 0;
    const void* data = bytes.GetData(size);
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(std::memcmp(data, "ab", 2), 0);
    EXPECT_EQ(bytes.GetBuffer()->GetData(), data);

    VariantEx text = Text("abc");
    EXPECT_EQ(text.SetDataSize(1), Variant::T_STRING);
    EXPECT_EQ(text.GetSize(), 4u);
}

TEST(VariantEx, SetTextAndBytesFromBuffer)
{
    VariantEx v;
    v.SetText(VariantEx::String("words"));
    EXPECT_EQ(v.GetTag(), Variant::T_STRING);
    EXPECT_EQ(v.GetSize(), 6u);
    EXPECT_STREQ(v.GetString(), "words");

    Vx::RCPtr<Vx::LIBuffer> source = Vx::LIBuffer::Create(3, 0, 1);
    std::memcpy(source->GetData(), "xyz", 3);
    v.SetBytesFromBuffer(source);
    EXPECT_EQ(v.GetTag(), Variant::T_BYTES);
    EXPECT_EQ(v.GetSize(), 3u);
    EXPECT_NE(v.GetBuffer().Get(), source.Get());
    std::memcpy(source->GetData(), "XYZ", 3);
    std::uint32_t size = 0;
    EXPECT_EQ(std::memcmp(v.GetData(size), "xyz", 3), 0);

    v.SetBytesFromBuffer(nullptr);
    EXPECT_EQ(v.GetTag(), Variant::T_NONE);
}

TEST(VariantEx, SerializeIntoGrowsTheBuffer)
{
    const VariantEx value = Text("abc");
    Vx::RCPtr<Vx::LIBuffer> buffer;
    EXPECT_EQ(value.SerializeInto(buffer, 0), 16);
    ASSERT_FALSE(buffer.IsNull());
    EXPECT_EQ(buffer->GetSize(), 16u);

    EXPECT_EQ(VariantEx(Variant(7)).SerializeInto(buffer, 16), 16);
    EXPECT_EQ(buffer->GetSize(), 32u);
    VariantEx first;
    VariantEx second;
    const char* bytes = static_cast<const char*>(buffer->GetData());
    EXPECT_EQ(first.Deserialize(bytes, 32), Vx::VXR_OK);
    EXPECT_EQ(second.Deserialize(bytes + 16, 16), Vx::VXR_OK);
    EXPECT_EQ(first, value);
    EXPECT_EQ(second.GetInt32(), 7);
}

TEST(VariantEx, RoundTripOfEveryTag)
{
    std::vector<VariantEx> values = {VariantEx(),
                                     VariantEx(Variant(true)),
                                     VariantEx(Variant(std::int8_t(-7))),
                                     VariantEx(Variant(std::uint8_t(7))),
                                     VariantEx(Variant(std::int16_t(-7))),
                                     VariantEx(Variant(std::uint16_t(7))),
                                     VariantEx(Variant(-7)),
                                     VariantEx(Variant(7u)),
                                     VariantEx(Variant(0.5f)),
                                     VariantEx(Variant(0.25)),
                                     VariantEx(Variant(std::int64_t(-7))),
                                     VariantEx(Variant(std::uint64_t(7))),
                                     Text("text"),
                                     ArrayOf({Text("x"), Variant(1)}),
                                     ArrayOf({})};
    VariantEx bytes;
    bytes.SetBytes("\x00\x01", 2);
    values.push_back(bytes);
    for (const VariantEx& value : values)
    {
        Vx::RCPtr<Vx::LIBuffer> buffer;
        ASSERT_GT(value.SerializeInto(buffer, 0), 0) << value.GetTag();
        VariantEx back;
        EXPECT_EQ(back.Deserialize(buffer->GetData(), buffer->GetSize()), Vx::VXR_OK) << value.GetTag();
        EXPECT_EQ(back, value) << value.GetTag();
        // Bytes print their address, which differs between copies.
        if (value.GetTag() != Variant::T_BYTES)
        {
            EXPECT_EQ(Str(back.ToString()), Str(value.ToString()));
        }
    }
}

TEST(VariantEx, ArrayElementsIntoArrays)
{
    const VariantEx array = ArrayOf({Variant(1), Text("two"), ArrayOf({Variant(3)})});
    Vx::Array<Variant> plain;
    plain.Add(Variant(99));
    EXPECT_EQ(array.GetArrayElements(plain), Vx::VXR_OK);
    ASSERT_EQ(plain.GetCount(), 3u);
    EXPECT_EQ(plain[0], Variant(1));
    EXPECT_STREQ(plain[1].GetString(), "two");
    EXPECT_EQ(plain[2].GetArrayCount(), 1u);

    Vx::Array<VariantEx> extended;
    EXPECT_EQ(array.GetArrayElements(extended), Vx::VXR_OK);
    ASSERT_EQ(extended.GetCount(), 3u);
    EXPECT_FALSE(extended[1].GetBuffer().IsNull());

    VariantEx rebuilt;
    rebuilt.SetArrayFrom(extended);
    EXPECT_EQ(rebuilt, array);

    EXPECT_EQ(VariantEx().GetArrayElements(extended), Vx::VXR_OK);
    EXPECT_EQ(extended.GetCount(), 0u);

    plain.Add(Variant(1));
    VxTest::CaptureStderr capture;
    EXPECT_EQ(VariantEx(Variant(5)).GetArrayElements(plain), Vx::VXR_E_INVALIDARG);
    EXPECT_NE(capture.Finish().find("JUCE Assertion failure in VariantEx.cpp:"), std::string::npos);
    EXPECT_EQ(plain.GetCount(), 0u);
}

TEST(VariantEx, CompareFollowsTheOrder)
{
    EXPECT_EQ(VariantEx::Compare(Text("abc"), Text("abd")), -1);
    EXPECT_EQ(VariantEx::Compare(Text("abd"), Text("abc")), 1);
    EXPECT_EQ(VariantEx::Compare(Text("abc"), Text("abc")), 0);
    EXPECT_EQ(VariantEx::Compare(VariantEx(), Variant(false)), -1);
    EXPECT_TRUE(VariantEx(Variant(1)) < VariantEx(Variant(2)));
}

TEST(VariantEx, FreeDataOfAForeignPointerAsserts)
{
    struct Probe : VariantEx
    {
        void Free(void* p) { FreeData(p); }
    };
    Probe probe;
    probe.SetBytes("ab", 2);
    int foreign = 0;
    VxTest::CaptureStderr capture;
    probe.Free(&foreign);
    EXPECT_TRUE(probe.GetBuffer().IsNull());
    EXPECT_NE(capture.Finish().find("JUCE Assertion failure in VariantEx.cpp:"), std::string::npos);
    probe.Clear();
}
