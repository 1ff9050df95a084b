#include "VxFramework/Utilities/Storage/Variant.h"

#include "tests/support/CaptureStderr.h"
#include "tests/support/CountAllocations.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

using Vx::Variant;

namespace
{
constexpr std::int64_t kInt64Min = std::numeric_limits<std::int64_t>::min();
constexpr std::uint64_t kUInt64Max = std::numeric_limits<std::uint64_t>::max();

const std::uint8_t kExternal[8] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
const std::uint8_t kShort[2] = {0xFF, 0x7F};

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values)
{
    std::vector<std::uint8_t> bytes;
    for (int v : values)
        bytes.push_back(static_cast<std::uint8_t>(v));
    return bytes;
}

void AppendLE32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// One serialised element, its total size given explicitly so that it can lie.
std::vector<std::uint8_t> Element(std::uint32_t total, std::uint32_t format, std::uint32_t tag,
                                  const std::vector<std::uint8_t>& data = {})
{
    std::vector<std::uint8_t> out;
    AppendLE32(out, total);
    AppendLE32(out, format);
    AppendLE32(out, tag);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

std::vector<std::uint8_t> Element(std::uint32_t tag, const std::vector<std::uint8_t>& data = {})
{
    return Element(static_cast<std::uint32_t>(12 + data.size()), 1, tag, data);
}

std::vector<std::uint8_t> Concat(std::initializer_list<std::vector<std::uint8_t>> parts)
{
    std::vector<std::uint8_t> out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

Variant MakeArray(const std::vector<Variant>& items)
{
    Variant v;
    v.SetArray(items.data(), static_cast<std::uint32_t>(items.size()));
    return v;
}

Variant MakeString(const char* text)
{
    Variant v;
    v.SetString(text);
    return v;
}

Variant MakeBytes(const std::vector<std::uint8_t>& bytes)
{
    Variant v;
    v.SetBytes(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    return v;
}

// `depth` arrays, each the only element of the one around it, with `inner`
// as the innermost array's data.
std::vector<std::uint8_t> Nested(std::uint32_t depth, const std::vector<std::uint8_t>& inner = {})
{
    std::vector<std::uint8_t> out;
    out.reserve(depth * 12 + inner.size());
    for (std::uint32_t level = 0; level < depth; ++level)
    {
        AppendLE32(out, static_cast<std::uint32_t>((depth - level) * 12 + inner.size()));
        AppendLE32(out, 1);
        AppendLE32(out, Variant::T_ARRAY);
    }
    out.insert(out.end(), inner.begin(), inner.end());
    return out;
}

std::vector<std::uint8_t> SerializeToVector(const Variant& v)
{
    std::vector<std::uint8_t> out(v.GetSerializedSize());
    EXPECT_EQ(v.Serialize(out.data(), static_cast<std::uint32_t>(out.size())), static_cast<std::int32_t>(out.size()));
    return out;
}
} // namespace

// Every getter on every kind, with the values at the edges of the widths and
// the rounding rules.
TEST(Variant, ConversionTable)
{
    struct Row
    {
        const char* name;
        std::function<Variant()> make;
        bool b;
        std::int8_t i8;
        std::int16_t i16;
        std::int32_t i32;
        std::int64_t i64;
        std::uint8_t u8;
        std::uint16_t u16;
        std::uint32_t u32;
        std::uint64_t u64;
        float f;
        double d;
    };
    const Row rows[] = {
        {"empty", [] { return Variant(); }, false, 0, 0, 0, 0, 0, 0, 0, 0, 0.0f, 0.0},
        {"bool true", [] { return Variant(true); }, true, 1, 1, 1, 1, 1, 1, 1, 1, 1.0f, 1.0},
        {"bool false", [] { return Variant(false); }, false, 0, 0, 0, 0, 0, 0, 0, 0, 0.0f, 0.0},
        // The unsigned 16-bit reading takes the stored byte and the zero above it.
        {"int8 -1", [] { return Variant(std::int8_t(-1)); }, true, -1, -1, -1, -1, 255, 255, 4294967295u, kUInt64Max,
         -1.0f, -1.0},
        {"uint8 200", [] { return Variant(std::uint8_t(200)); }, true, -56, 200, 200, 200, 200, 200, 200, 200, 200.0f,
         200.0},
        {"int16 -300", [] { return Variant(std::int16_t(-300)); }, true, -44, -300, -300, -300, 212, 65236, 4294966996u,
         kUInt64Max - 299, -300.0f, -300.0},
        {"uint16 65535", [] { return Variant(std::uint16_t(65535)); }, true, -1, -1, 65535, 65535, 255, 65535, 65535,
         65535, 65535.0f, 65535.0},
        {"int32 min", [] { return Variant(std::numeric_limits<std::int32_t>::min()); }, true, 0, 0,
         std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::min(), 0, 0, 0x80000000u,
         0xFFFFFFFF80000000ull, -2147483648.0f, -2147483648.0},
        {"uint32 max", [] { return Variant(std::uint32_t(4294967295u)); }, true, -1, -1, -1, 4294967295ll, 255, 65535,
         4294967295u, 4294967295ull, 4294967296.0f, 4294967295.0},
        {"int64 min", [] { return Variant(kInt64Min); }, true, 0, 0, 0, kInt64Min, 0, 0, 0, 0x8000000000000000ull,
         -9223372036854775808.0f, -9223372036854775808.0},
        {"uint64 max", [] { return Variant(kUInt64Max); }, true, -1, -1, -1, -1, 255, 65535, 4294967295u, kUInt64Max,
         18446744073709551616.0f, 18446744073709551616.0},
        // Halves go away from zero; negative values saturate to 0 unsigned.
        {"float -2.5", [] { return Variant(-2.5f); }, true, -3, -3, -3, -3, 253, 0, 0, 0, -2.5f, -2.5},
        {"float 2.5", [] { return Variant(2.5f); }, true, 3, 3, 3, 3, 3, 3, 3, 3, 2.5f, 2.5},
        {"double -0.4", [] { return Variant(-0.4); }, true, 0, 0, 0, 0, 0, 0, 0, 0, -0.4f, -0.4},
        // The 64-bit readings round in float arithmetic, the narrower ones in double.
        {"float 0.49999997", [] { return Variant(0.49999997f); }, true, 0, 0, 0, 1, 0, 0, 0, 1, 0.49999997f,
         static_cast<double>(0.49999997f)},
        // Saturated to 32 bits before the narrower cuts.
        {"double 1e10", [] { return Variant(1e10); }, true, -1, -1, 2147483647, 10000000000ll, 255, 65535, 4294967295u,
         10000000000ull, 1e10f, 1e10},
        {"double -1e10", [] { return Variant(-1e10); }, true, 0, 0, std::numeric_limits<std::int32_t>::min(),
         -10000000000ll, 0, 0, 0, 0, -1e10f, -1e10},
        {"double 1e30", [] { return Variant(1e30); }, true, -1, -1, 2147483647, std::numeric_limits<std::int64_t>::max(),
         255, 65535, 4294967295u, kUInt64Max, 1e30f, 1e30},
        {"external data",
         [] {
             Variant v;
             v.SetExternalData(kExternal, sizeof kExternal);
             return v;
         },
         true, 1, 0x0201, 0x04030201, 0x0807060504030201ll, 1, 0x0201, 0x04030201u, 0x0807060504030201ull,
         static_cast<float>(0x04030201), static_cast<double>(0x0807060504030201ll)},
        // Data shorter than the width reads as padded with zero bytes.
        {"external data, 2 bytes",
         [] {
             Variant v;
             v.SetExternalData(kShort, sizeof kShort);
             return v;
         },
         true, -1, 0x7FFF, 0x7FFF, 0x7FFF, 255, 0x7FFF, 0x7FFF, 0x7FFF, 32767.0f, 32767.0},
        {"external object, null",
         [] {
             Variant v;
             v.SetExternalObject(nullptr, 0);
             return v;
         },
         false, 0, 0, 0, 0, 0, 0, 0, 0, 0.0f, 0.0},
        {"bytes 0x80", [] { return MakeBytes(Bytes({0x80})); }, true, -128, 128, 128, 128, 128, 128, 128, 128, 128.0f,
         128.0},
        {"bytes empty", [] { return MakeBytes({}); }, false, 0, 0, 0, 0, 0, 0, 0, 0, 0.0f, 0.0},
        // Text reads as its length here; the extended variant parses it.
        {"string abc", [] { return MakeString("abc"); }, true, 3, 3, 3, 3, 3, 3, 3, 3, 3.0f, 3.0},
        {"string empty", [] { return MakeString(""); }, false, 0, 0, 0, 0, 0, 0, 0, 0, 0.0f, 0.0},
        {"empty array", [] { return MakeArray({}); }, false, 0, 0, 0, 0, 0, 0, 0, 0, 0.0f, 0.0},
    };

    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        const Variant v = row.make();
        VxTest::CaptureStderr capture;
        EXPECT_EQ(v.GetBool(), row.b);
        EXPECT_EQ(v.GetInt8(), row.i8);
        EXPECT_EQ(v.GetInt16(), row.i16);
        EXPECT_EQ(v.GetInt32(), row.i32);
        EXPECT_EQ(v.GetInt64(), row.i64);
        EXPECT_EQ(v.GetUInt8(), row.u8);
        EXPECT_EQ(v.GetUInt16(), row.u16);
        EXPECT_EQ(v.GetUInt32(), row.u32);
        EXPECT_EQ(v.GetUInt64(), row.u64);
        EXPECT_EQ(v.GetFloat(), row.f);
        EXPECT_EQ(v.GetDouble(), row.d);
        const std::string log = capture.Finish();
        // Only arrays assert, and the empty array is an array.
        if (v.GetTag() == Variant::T_ARRAY)
            EXPECT_NE(log.find("JUCE Assertion failure in Variant.cpp:"), std::string::npos);
        else
            EXPECT_EQ(log, "");
    }
}

TEST(Variant, NaNReadsAsZeroInEveryIntegerWidth)
{
    const Variant v(std::numeric_limits<double>::quiet_NaN());
    EXPECT_TRUE(v.GetBool());
    EXPECT_EQ(v.GetInt8(), 0);
    EXPECT_EQ(v.GetInt32(), 0);
    EXPECT_EQ(v.GetInt64(), 0);
    EXPECT_EQ(v.GetUInt32(), 0u);
    EXPECT_EQ(v.GetUInt64(), 0u);
    EXPECT_TRUE(std::isnan(v.GetFloat()));
}

TEST(Variant, IntegerConstructorsPickTagByWidthAndSign)
{
    EXPECT_EQ(Variant(std::int8_t(1)).GetTag(), Variant::T_INT8);
    EXPECT_EQ(Variant(std::uint8_t(1)).GetTag(), Variant::T_UINT8);
    EXPECT_EQ(Variant(std::int16_t(1)).GetTag(), Variant::T_INT16);
    EXPECT_EQ(Variant(std::uint16_t(1)).GetTag(), Variant::T_UINT16);
    EXPECT_EQ(Variant(1).GetTag(), Variant::T_INT32);
    EXPECT_EQ(Variant(1u).GetTag(), Variant::T_UINT32);
    EXPECT_EQ(Variant(1ll).GetTag(), Variant::T_INT64);
    EXPECT_EQ(Variant(1ull).GetTag(), Variant::T_UINT64);
    EXPECT_EQ(Variant(1.0f).GetTag(), Variant::T_FLOAT);
    EXPECT_EQ(Variant(1.0).GetTag(), Variant::T_DOUBLE);
    EXPECT_EQ(Variant(true).GetTag(), Variant::T_BOOL);
}

TEST(Variant, GetDataReportsTheValueBytes)
{
    struct Case
    {
        Variant v;
        std::uint32_t size;
    };
    const Case cases[] = {{Variant(), 0},       {Variant(true), 1},   {Variant(std::uint8_t(1)), 1},
                          {Variant(std::int16_t(1)), 2}, {Variant(1), 4}, {Variant(1.0f), 4},
                          {Variant(1.0), 8},    {Variant(1ll), 8},    {MakeString("ab"), 3},
                          {MakeBytes(Bytes({1, 2})), 2}};
    for (const Case& c : cases)
    {
        Variant v = c.v;
        std::uint32_t size = 99;
        const void* data = v.GetData(size);
        EXPECT_EQ(size, c.size) << v.GetTag();
        EXPECT_EQ(data == nullptr, c.size == 0) << v.GetTag();
    }

    // The const accessor refuses referenced objects and arrays.
    int object = 0;
    Variant external;
    external.SetExternalObject(&object, sizeof object);
    const Variant array = MakeArray({Variant(1)});
    VxTest::CaptureStderr capture;
    std::uint32_t size = 99;
    EXPECT_EQ(static_cast<const Variant&>(external).GetData(size), nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(array.GetData(size), nullptr);
    EXPECT_EQ(external.GetData(size), &object);
    EXPECT_EQ(size, sizeof object);
    EXPECT_NE(capture.Finish().find("JUCE Assertion failure in Variant.cpp:"),
              std::string::npos);
}

TEST(Variant, CopiesOwnTheirDataAndReferencesShareThePointer)
{
    Variant text = MakeString("hello");
    Variant copy(text);
    EXPECT_NE(copy.GetString(), text.GetString());
    EXPECT_STREQ(copy.GetString(), "hello");
    text.SetString("changed");
    EXPECT_STREQ(copy.GetString(), "hello");

    Variant assigned;
    assigned = copy;
    const Variant& alias = assigned;
    assigned = alias;
    EXPECT_STREQ(assigned.GetString(), "hello");
    EXPECT_EQ(assigned.GetSize(), 6u);

    Variant external;
    external.SetExternalData(kExternal, sizeof kExternal);
    Variant externalCopy(external);
    std::uint32_t size = 0;
    EXPECT_EQ(externalCopy.GetData(size), kExternal);

    copy.Clear();
    EXPECT_EQ(copy.GetTag(), Variant::T_NONE);
    EXPECT_EQ(copy.GetSize(), 0u);
}

TEST(Variant, SettersMayReadFromTheVariantsOwnData)
{
    Variant v = MakeString("abcdef");
    v.SetString(v.GetString() + 2);
    EXPECT_STREQ(v.GetString(), "cdef");
    std::uint32_t size = 0;
    const void* data = v.GetData(size);
    v.SetBytes(data, 2);
    EXPECT_EQ(v, MakeBytes(Bytes({'c', 'd'})));
}

TEST(Variant, SetFromBytesChecksTheWidth)
{
    const std::uint8_t raw[8] = {0x2A, 0, 0, 0, 0, 0, 0, 0};
    struct Case
    {
        std::uint32_t tag;
        std::uint32_t length;
        std::uint32_t result;
    };
    const Case cases[] = {
        {Variant::T_BOOL, 1, Variant::T_BOOL},       {Variant::T_INT8, 1, Variant::T_INT8},
        {Variant::T_UINT8, 2, Variant::T_NONE},      {Variant::T_INT16, 2, Variant::T_INT16},
        {Variant::T_UINT16, 1, Variant::T_NONE},     {Variant::T_INT32, 4, Variant::T_INT32},
        {Variant::T_FLOAT, 4, Variant::T_FLOAT},     {Variant::T_UINT32, 3, Variant::T_NONE},
        {Variant::T_DOUBLE, 8, Variant::T_DOUBLE},   {Variant::T_INT64, 8, Variant::T_INT64},
        {Variant::T_UINT64, 4, Variant::T_NONE},     {Variant::T_EXTERNAL_DATA, 3, Variant::T_BYTES},
        {Variant::T_EXTERNAL_OBJECT, 3, Variant::T_BYTES}, {Variant::T_BYTES, 8, Variant::T_BYTES},
        {Variant::T_STRING, 2, Variant::T_STRING},   {Variant::T_ARRAY, 0, Variant::T_ARRAY},
        {Variant::T_NONE, 0, Variant::T_NONE},       {17, 4, Variant::T_NONE},
    };
    for (const Case& c : cases)
    {
        Variant v(7);
        VxTest::CaptureStderr capture;
        EXPECT_EQ(v.SetFromBytes(c.tag, raw, c.length), c.result) << c.tag << "/" << c.length;
        EXPECT_EQ(v.GetTag(), c.result);
        EXPECT_EQ(capture.Finish().empty(), c.result != Variant::T_NONE) << c.tag << "/" << c.length;
        if (c.result == Variant::T_STRING)
        {
            EXPECT_STREQ(v.GetString(), "*");
        }
        else if (c.result != Variant::T_NONE && c.result != Variant::T_ARRAY)
        {
            const bool isBool = c.result == Variant::T_BOOL;
            const bool isFloat = c.result == Variant::T_FLOAT || c.result == Variant::T_DOUBLE;
            if (!isFloat)
            {
                EXPECT_EQ(v.GetInt32(), isBool ? 1 : 42) << c.tag;
            }
        }
    }
}

TEST(Variant, SetFromBytesNeverReadsTextPastItsLength)
{
    const char unterminated[3] = {'a', 'b', 'c'};
    Variant v;
    VxTest::CaptureStderr capture;
    EXPECT_EQ(v.SetFromBytes(Variant::T_STRING, unterminated, sizeof unterminated), Variant::T_NONE);
    EXPECT_NE(capture.Finish(), "");
}

TEST(Variant, BoolFromBytesIsZeroOrOne)
{
    const std::uint8_t two = 2;
    Variant a;
    a.SetFromBytes(Variant::T_BOOL, &two, 1);
    EXPECT_EQ(a, Variant(true));
    EXPECT_EQ(a.GetInt32(), 1);
}

// Every tag that can be restored comes back equal; references cannot be.
TEST(Variant, SerialiseRoundTripOfEveryTag)
{
    const std::vector<Variant> values = {
        Variant(),
        Variant(true),
        Variant(std::int8_t(-128)),
        Variant(std::uint8_t(255)),
        Variant(std::int16_t(-32768)),
        Variant(std::uint16_t(65535)),
        Variant(std::numeric_limits<std::int32_t>::min()),
        Variant(4294967295u),
        Variant(-1.5f),
        Variant(1e300),
        Variant(kInt64Min),
        Variant(kUInt64Max),
        MakeBytes(Bytes({0, 1, 2, 255})),
        MakeBytes({}),
        MakeString("text with \xC3\xA9"),
        MakeString(""),
        MakeArray({}),
        MakeArray({Variant(5), MakeString("x"), MakeArray({Variant(1.0), MakeArray({})}), Variant()}),
    };
    for (const Variant& original : values)
    {
        SCOPED_TRACE(original.GetTag());
        const std::vector<std::uint8_t> bytes = SerializeToVector(original);
        ASSERT_EQ(bytes.size(), original.GetSerializedSize());
        Variant restored(99);
        EXPECT_EQ(restored.Deserialize(bytes.data(), static_cast<std::uint32_t>(bytes.size())), Vx::VXR_OK);
        EXPECT_EQ(restored, original);
        EXPECT_EQ(restored.GetTag(), original.GetTag());
    }

    for (std::uint32_t tag : {Variant::T_EXTERNAL_DATA, Variant::T_EXTERNAL_OBJECT})
    {
        Variant reference;
        if (tag == Variant::T_EXTERNAL_DATA)
            reference.SetExternalData(kExternal, sizeof kExternal);
        else
            reference.SetExternalObject(const_cast<std::uint8_t*>(kExternal), sizeof kExternal);
        const std::vector<std::uint8_t> bytes = SerializeToVector(reference);
        Variant restored;
        VxTest::CaptureStderr capture;
        EXPECT_EQ(restored.Deserialize(bytes.data(), static_cast<std::uint32_t>(bytes.size())), Vx::VXR_E_FAIL);
        EXPECT_EQ(restored.GetTag(), Variant::T_NONE);
    }
}

TEST(Variant, SerializeWritesTheLittleEndianHeader)
{
    const std::vector<std::uint8_t> bytes = SerializeToVector(MakeString(""));
    EXPECT_EQ(bytes, Element(13, 1, Variant::T_STRING, {0}));

    std::uint8_t small[12];
    EXPECT_EQ(Variant(1).Serialize(small, sizeof small), Vx::VXR_E_FAIL);
    EXPECT_EQ(Variant(1).Serialize(nullptr, 100), Vx::VXR_E_FAIL);
    Variant emptyReference;
    emptyReference.SetExternalData(nullptr, 0);
    std::uint8_t big[64];
    EXPECT_EQ(emptyReference.Serialize(big, sizeof big), Vx::VXR_E_FAIL);
}

TEST(Variant, DeserializeAcceptsWellFormedInput)
{
    struct Case
    {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::uint32_t tag;
        std::int64_t value;
    };
    const Case cases[] = {
        {"empty", Element(Variant::T_NONE), Variant::T_NONE, 0},
        {"empty array", Element(Variant::T_ARRAY), Variant::T_ARRAY, 0},
        {"old int32", Element(16, 0, 2, Bytes({4, 0, 0, 0})), Variant::T_INT32, 4},
        {"old int64", Element(20, 0, 3, Bytes({9, 0, 0, 0, 0, 0, 0, 0})), Variant::T_INT64, 9},
        {"old text", Element(14, 0, 9, Bytes({'x', 0})), Variant::T_STRING, 1},
        {"trailing input ignored", Concat({Element(Variant::T_INT16, Bytes({7, 0})), Bytes({1, 2, 3})}),
         Variant::T_INT16, 7},
        {"text up to its first zero", Element(Variant::T_STRING, Bytes({'a', 'b', 0, 'c', 0})), Variant::T_STRING, 2},
    };
    for (const Case& c : cases)
    {
        Variant v;
        EXPECT_EQ(v.Deserialize(c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size())), Vx::VXR_OK) << c.name;
        EXPECT_EQ(v.GetTag(), c.tag) << c.name;
        EXPECT_EQ(v.GetInt64(), c.value) << c.name;
    }
}

// Malformed input is refused without reading past it or looping.
TEST(Variant, DeserializeRefusesMalformedInput)
{
    struct Case
    {
        const char* name;
        std::vector<std::uint8_t> bytes;
    };
    const Case cases[] = {
        {"eleven bytes", Bytes({12, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0})},
        {"total beyond the input", Element(20, 1, Variant::T_INT32, Bytes({1, 2, 3, 4}))},
        {"total zero", Element(0, 1, Variant::T_NONE)},
        {"total below the header", Element(11, 1, Variant::T_NONE)},
        {"unknown format", Element(12, 2, Variant::T_NONE)},
        {"tag above 16", Element(12, 1, 17)},
        {"old tag 11", Element(12, 0, 11)},
        {"old tag 12", Element(12, 0, 12)},
        {"int32 without data", Element(Variant::T_INT32)},
        {"int32 with two bytes", Element(Variant::T_INT32, Bytes({1, 2}))},
        {"int64 with four bytes", Element(Variant::T_INT64, Bytes({1, 2, 3, 4}))},
        {"bool with two bytes", Element(Variant::T_BOOL, Bytes({1, 0}))},
        {"text without data", Element(Variant::T_STRING)},
        {"text without terminator", Element(Variant::T_STRING, Bytes({'a', 'b', 'c'}))},
        {"external data", Element(Variant::T_EXTERNAL_DATA, Bytes({1, 2}))},
        {"array element of size 0",
         Element(Variant::T_ARRAY, Concat({Element(Variant::T_INT8, Bytes({1})), Element(0, 1, Variant::T_NONE)}))},
        {"array element beyond the array", Element(Variant::T_ARRAY, Element(40, 1, Variant::T_NONE))},
        {"array with trailing bytes", Element(Variant::T_ARRAY, Concat({Element(Variant::T_NONE), Bytes({1, 2})}))},
        // Every level is checked, not only the outermost.
        {"nested array with trailing bytes",
         Element(Variant::T_ARRAY,
                 Concat({Element(Variant::T_INT8, Bytes({1})),
                         Element(Variant::T_ARRAY, Concat({Element(Variant::T_NONE), Bytes({1})}))}))},
        {"old-format nested array element of size 0",
         Element(Variant::T_ARRAY, Element(24, 0, 10, Element(0, 1, Variant::T_NONE)))},
    };
    for (const Case& c : cases)
    {
        Variant v(5);
        VxTest::CaptureStderr capture;
        EXPECT_EQ(v.Deserialize(c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size())), Vx::VXR_E_FAIL)
            << c.name;
        EXPECT_EQ(v.GetTag(), Variant::T_NONE) << c.name;
    }
    Variant v;
    EXPECT_EQ(v.Deserialize(nullptr, 100), Vx::VXR_E_FAIL);
}

// Deeper input would make every walk over it recurse once per level.
TEST(Variant, DeserializeBoundsTheNestingDepth)
{
    const std::uint32_t limit = Variant::kMaxNestingDepth;
    struct Case
    {
        const char* name;
        std::vector<std::uint8_t> bytes;
        bool accepted;
    };
    const Case cases[] = {
        {"at the limit", Nested(limit), true},
        {"at the limit around an int", Nested(limit, Element(Variant::T_INT32, Bytes({1, 0, 0, 0}))), true},
        {"one beyond", Nested(limit + 1), false},
        // 120 KB of input; its ordering once took gigabytes.
        {"ten thousand levels", Nested(10000), false},
        {"too deep in the second element", Element(Variant::T_ARRAY, Concat({Element(Variant::T_NONE), Nested(limit)})),
         false},
        {"old-format arrays beyond the limit", Element(12 + 12 * limit, 0, 10, Nested(limit)), false},
    };
    for (const Case& c : cases)
    {
        Variant v(5);
        EXPECT_EQ(v.Deserialize(c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size())),
                  c.accepted ? Vx::VXR_OK : Vx::VXR_E_FAIL)
            << c.name;
        EXPECT_EQ(v.GetTag(), c.accepted ? Variant::T_ARRAY : Variant::T_NONE) << c.name;
    }

    // What was accepted reads down to its innermost value.
    const std::vector<std::uint8_t> bytes = Nested(limit, Element(Variant::T_INT32, Bytes({7, 0, 0, 0})));
    Variant v;
    ASSERT_EQ(v.Deserialize(bytes.data(), static_cast<std::uint32_t>(bytes.size())), Vx::VXR_OK);
    for (std::uint32_t level = 0; level < limit; ++level)
    {
        ASSERT_EQ(v.GetArrayCount(), 1u) << level;
        ASSERT_EQ(v.GetArrayElement(0, v), 0) << level;
    }
    EXPECT_EQ(v, Variant(7));
}

// Ordering walks nested arrays where they lie: comparing copies nothing, so
// its cost follows the size of the data, not the size times the depth.
TEST(Variant, OrderOfNestedArraysCopiesNothing)
{
    const std::uint32_t limit = Variant::kMaxNestingDepth;
    auto read = [](const std::vector<std::uint8_t>& bytes) {
        Variant v;
        EXPECT_EQ(v.Deserialize(bytes.data(), static_cast<std::uint32_t>(bytes.size())), Vx::VXR_OK);
        return v;
    };
    const Variant one = read(Nested(limit, Element(Variant::T_INT32, Bytes({1, 0, 0, 0}))));
    const Variant two = read(Nested(limit, Element(Variant::T_INT32, Bytes({2, 0, 0, 0}))));
    const Variant shallower = read(Nested(limit - 1, Element(Variant::T_INT32, Bytes({2, 0, 0, 0}))));

    const std::uint64_t before = VxTest::ThreadAllocationCount();
    EXPECT_EQ(Variant::CompareOrder(one, two), -1);
    EXPECT_EQ(Variant::CompareOrder(two, one), 1);
    EXPECT_EQ(Variant::CompareOrder(one, one), 0);
    // At the first level that differs, the int sorts before the array.
    EXPECT_EQ(Variant::CompareOrder(shallower, one), -1);
    EXPECT_EQ(Variant::CompareOrder(one, shallower), 1);
    EXPECT_EQ(VxTest::ThreadAllocationCount(), before);

    // Array data set directly is not checked: levels beyond the limit read as
    // empty values, as GetArrayElement gives them, and the walk ends there.
    const std::vector<std::uint8_t> deep = Nested(10000);
    Variant raw;
    raw.SetFromBytes(Variant::T_ARRAY, deep.data() + 12, static_cast<std::uint32_t>(deep.size() - 12));
    const Variant holdingEmpty = MakeArray({Variant()});
    EXPECT_EQ(Variant::CompareOrder(raw, holdingEmpty), 0);
    EXPECT_EQ(Variant::CompareOrder(raw, MakeArray({MakeArray({})})), -1);
    Variant element(1);
    EXPECT_EQ(raw.GetArrayElement(0, element), 0);
    EXPECT_EQ(element.GetTag(), Variant::T_NONE);
}

TEST(Variant, ArraysHoldCopiesOfTheirElements)
{
    const Variant inner = MakeArray({Variant(1.0), MakeString("in")});
    Variant a = MakeArray({Variant(5), MakeString("abc"), inner, Variant()});
    EXPECT_EQ(a.GetTag(), Variant::T_ARRAY);
    ASSERT_EQ(a.GetArrayCount(), 4u);

    Variant element(3);
    EXPECT_EQ(a.GetArrayElement(0, element), 0);
    EXPECT_EQ(element, Variant(5));
    EXPECT_EQ(a.GetArrayElement(1, element), 0);
    EXPECT_STREQ(element.GetString(), "abc");
    EXPECT_EQ(a.GetArrayElement(2, element), 0);
    EXPECT_EQ(element, inner);
    EXPECT_EQ(element.GetArrayCount(), 2u);
    EXPECT_EQ(a.GetArrayElement(3, element), 0);
    EXPECT_EQ(element.GetTag(), Variant::T_NONE);
    element = Variant(8);
    EXPECT_EQ(a.GetArrayElement(4, element), -1);
    EXPECT_EQ(element.GetTag(), Variant::T_NONE);

    // The array's own element read into the array itself.
    EXPECT_EQ(a.GetArrayElement(1, a), 0);
    EXPECT_STREQ(a.GetString(), "abc");

    const Variant* pointers[] = {&inner, &element};
    Variant b;
    b.SetArrayOfPointers(pointers, 2);
    EXPECT_EQ(b.GetArrayCount(), 2u);
    // The array may contain itself: it is serialised before it changes.
    const Variant* self[] = {&b, &b};
    b.SetArrayOfPointers(self, 2);
    EXPECT_EQ(b.GetArrayCount(), 2u);
    EXPECT_EQ(b.GetArrayElement(1, element), 0);
    EXPECT_EQ(element.GetArrayCount(), 2u);

    Variant scalar(1);
    EXPECT_EQ(scalar.GetArrayCount(), 0u);
    EXPECT_EQ(scalar.GetArrayElement(0, element), -1);
}

TEST(Variant, EmptyArrayHasNoData)
{
    const Variant a = MakeArray({});
    EXPECT_EQ(a.GetTag(), Variant::T_ARRAY);
    EXPECT_EQ(a.GetSize(), 0u);
    EXPECT_EQ(a.GetArrayCount(), 0u);
}

// Arrays set from raw bytes are not checked; reading them still ends.
TEST(Variant, MalformedArrayDataCountsUpToTheBadElement)
{
    struct Case
    {
        const char* name;
        std::vector<std::uint8_t> data;
        std::uint32_t count;
    };
    const Case cases[] = {
        {"size 0 after one element", Concat({Element(Variant::T_INT8, Bytes({1})), Element(0, 1, 0)}), 1},
        {"size 5", Concat({Element(5, 1, 0), Element(Variant::T_INT8, Bytes({1}))}), 0},
        {"element beyond the data", Concat({Element(Variant::T_NONE), Element(100, 1, 0)}), 1},
        {"short tail", Concat({Element(Variant::T_NONE), Bytes({12, 0, 0, 0, 1})}), 1},
    };
    for (const Case& c : cases)
    {
        Variant v;
        v.SetFromBytes(Variant::T_ARRAY, c.data.data(), static_cast<std::uint32_t>(c.data.size()));
        VxTest::CaptureStderr capture;
        EXPECT_EQ(v.GetArrayCount(), c.count) << c.name;
        EXPECT_NE(capture.Finish().find("JUCE Assertion failure"), std::string::npos) << c.name;
        Variant element;
        EXPECT_EQ(v.GetArrayElement(c.count, element), -1) << c.name;
        EXPECT_EQ(v.GetArrayElement(c.count + 5, element), -1) << c.name;
        for (std::uint32_t i = 0; i < c.count; ++i)
            EXPECT_EQ(v.GetArrayElement(i, element), 0) << c.name;
    }
}

TEST(Variant, Equality)
{
    std::uint8_t block[4] = {};
    Variant ref1;
    ref1.SetExternalData(block, 4);
    Variant ref2;
    ref2.SetExternalData(block, 3);
    Variant ref3;
    ref3.SetExternalData(block, 4);

    struct Case
    {
        Variant a;
        Variant b;
        bool equal;
    };
    const Case cases[] = {
        {Variant(), Variant(), true},
        {Variant(1), Variant(1u), false},
        {Variant(1), Variant(1), true},
        {Variant(1.0f), Variant(1.0f), true},
        {Variant(std::nan("")), Variant(std::nan("")), false},
        {Variant(0.0), Variant(-0.0), true},
        {Variant(kInt64Min), Variant(kInt64Min), true},
        {Variant(kInt64Min), Variant(kInt64Min + 1), false},
        {ref1, ref3, true},
        {ref1, ref2, false},
        {MakeString("abc"), MakeString("abc"), true},
        {MakeString("abc"), MakeString("abd"), false},
        {MakeBytes({}), MakeBytes({}), true},
        {MakeBytes(Bytes({1})), MakeBytes(Bytes({1, 0})), false},
        {MakeArray({Variant(1)}), MakeArray({Variant(1)}), true},
        {MakeArray({Variant(1)}), MakeArray({Variant(2)}), false},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(c.a == c.b, c.equal) << c.a.GetTag() << " " << c.b.GetTag();
        EXPECT_EQ(c.b == c.a, c.equal);
    }
}

namespace
{
// Values of every tag, with neighbours inside each tag.
std::vector<Variant> OrderSamples()
{
    static const std::uint8_t block[4] = {};
    std::vector<Variant> v = {
        Variant(),
        Variant(false),
        Variant(true),
        Variant(std::int8_t(-1)),
        Variant(std::int8_t(1)),
        Variant(std::uint8_t(1)),
        Variant(std::uint8_t(255)),
        Variant(std::int16_t(-2)),
        Variant(std::uint16_t(65535)),
        Variant(-5),
        Variant(5),
        Variant(1u),
        Variant(4294967295u),
        Variant(-1.0f),
        Variant(std::numeric_limits<float>::quiet_NaN()),
        Variant(0.0),
        Variant(-0.0),
        Variant(std::numeric_limits<double>::quiet_NaN()),
        Variant(std::numeric_limits<double>::infinity()),
        Variant(kInt64Min),
        Variant(std::int64_t(0)),
        Variant(std::uint64_t(1)),
        Variant(kUInt64Max),
        MakeBytes({}),
        MakeBytes(Bytes({2})),
        MakeBytes(Bytes({1, 9})),
        MakeBytes(Bytes({2, 0})),
        MakeString(""),
        MakeString("a"),
        MakeString("ab"),
        MakeString("b"),
        MakeArray({}),
        MakeArray({Variant(1)}),
        MakeArray({Variant(1), Variant(2)}),
        MakeArray({Variant(2)}),
        MakeArray({MakeString("a"), Variant(std::nan(""))}),
    };
    Variant r1;
    r1.SetExternalData(block, 2);
    Variant r2;
    r2.SetExternalData(block + 1, 2);
    Variant r3;
    r3.SetExternalData(block, 3);
    Variant o1;
    o1.SetExternalObject(nullptr, 0);
    v.insert(v.end(), {r1, r2, r3, o1});
    return v;
}
} // namespace

TEST(Variant, OrderIsAStrictWeakOrder)
{
    const std::vector<Variant> s = OrderSamples();
    auto less = [](const Variant& a, const Variant& b) { return a < b; };
    auto equivalent = [&](const Variant& a, const Variant& b) { return !less(a, b) && !less(b, a); };
    for (const Variant& a : s)
    {
        EXPECT_FALSE(less(a, a)) << a.GetTag();
        for (const Variant& b : s)
        {
            EXPECT_FALSE(less(a, b) && less(b, a)) << a.GetTag() << " " << b.GetTag();
            EXPECT_EQ(Variant::CompareOrder(a, b), less(a, b) ? -1 : (less(b, a) ? 1 : 0));
            for (const Variant& c : s)
            {
                const bool transitive = !(less(a, b) && less(b, c)) || less(a, c);
                const bool equivalenceTransitive = !(equivalent(a, b) && equivalent(b, c)) || equivalent(a, c);
                EXPECT_TRUE(transitive && equivalenceTransitive)
                    << a.GetTag() << " " << b.GetTag() << " " << c.GetTag();
            }
        }
    }
}

TEST(Variant, OrderByTagThenValue)
{
    struct Case
    {
        Variant smaller;
        Variant larger;
    };
    const Case cases[] = {
        {Variant(), Variant(false)},
        // Different tags order by tag, whatever the values.
        {Variant(100), Variant(1u)},
        {Variant(std::int8_t(-1)), Variant(std::int8_t(1))},
        {Variant(std::uint8_t(1)), Variant(std::uint8_t(255))},
        {Variant(-5), Variant(5)},
        {Variant(1u), Variant(4294967295u)},
        {Variant(kInt64Min), Variant(std::int64_t(0))},
        {Variant(std::uint64_t(1)), Variant(kUInt64Max)},
        {Variant(std::numeric_limits<double>::infinity()), Variant(std::nan(""))},
        {MakeBytes(Bytes({9})), MakeBytes(Bytes({1, 0}))},
        {MakeBytes(Bytes({1, 9})), MakeBytes(Bytes({2, 0}))},
        {MakeString("a"), MakeString("ab")},
        {MakeString("ab"), MakeString("b")},
        {MakeString("\x7f"), MakeString("\xC3\xA9")},
        {MakeArray({Variant(1), Variant(2)}), MakeArray({Variant(2)})},
        {MakeArray({Variant(1)}), MakeArray({Variant(1), Variant(2)})},
    };
    for (const Case& c : cases)
    {
        EXPECT_TRUE(c.smaller < c.larger) << c.smaller.GetTag() << " " << c.larger.GetTag();
        EXPECT_FALSE(c.larger < c.smaller) << c.smaller.GetTag() << " " << c.larger.GetTag();
    }
    EXPECT_EQ(Variant::CompareOrder(Variant(0.0), Variant(-0.0)), 0);
}
