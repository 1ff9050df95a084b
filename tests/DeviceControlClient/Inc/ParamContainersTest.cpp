#include "DeviceControlClient/Inc/ParamContainers.h"

#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

namespace
{
using Vx::ParamDescriptor;
using Vx::ParamDescriptors;
using Vx::ParamRange;
using Vx::ParamRanges;
using Vx::ParamValue;
using Vx::ParamValues;
using Vx::Variant;

Variant MakeArray(std::initializer_list<Variant> elements)
{
    Variant array;
    array.SetArray(elements.begin(), static_cast<std::uint32_t>(elements.size()));
    return array;
}

Variant Text(const char* text)
{
    Variant value;
    value.SetString(text);
    return value;
}

// A list Variant of the given type holding exactly these entries.
template <class List>
List MakeList(std::initializer_list<Variant> entries)
{
    List list;
    static_cast<Variant&>(list) = MakeArray(entries);
    return list;
}

std::vector<std::uint8_t> Bytes(const Variant& value)
{
    std::vector<std::uint8_t> bytes(value.GetSerializedSize());
    value.Serialize(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    return bytes;
}

struct Entry
{
    std::int32_t id;
    Variant key;
    Variant value;
};

std::vector<Entry> Entries(const ParamValues& list)
{
    std::vector<Entry> entries;
    for (std::uint32_t i = 0; i < list.GetEntryCount(); ++i)
    {
        Entry entry{};
        EXPECT_EQ(list.GetEntry(i, entry.value, entry.id, entry.key), 0) << "entry " << i;
        entries.push_back(entry);
    }
    return entries;
}

std::vector<std::int32_t> Ids(const ParamValues& list)
{
    std::vector<std::int32_t> ids;
    for (const Entry& entry : Entries(list))
        ids.push_back(entry.id);
    return ids;
}

// The [id, key] entries of a descriptor list, each checked for its shape and tags.
std::vector<ParamDescriptor> Descriptors(const ParamDescriptors& list)
{
    std::vector<ParamDescriptor> descriptors;
    for (std::uint32_t i = 0; i < list.GetEntryCount(); ++i)
    {
        Variant entry;
        Variant id;
        Variant key;
        EXPECT_EQ(list.GetArrayElement(i, entry), 0);
        EXPECT_EQ(entry.GetArrayCount(), 2u);
        entry.GetArrayElement(0, id);
        entry.GetArrayElement(1, key);
        EXPECT_EQ(id.GetTag(), Variant::T_INT32);
        descriptors.emplace_back(id.GetInt32(), key);
    }
    return descriptors;
}

// --- Descriptor order ----------------------------------------------------

TEST(ParamDescriptorOrder, IdsCompareUnsignedThenKeysWithEmptyFirst)
{
    struct Case
    {
        ParamDescriptor a;
        ParamDescriptor b;
        bool less;
    };
    const Case cases[] = {
        {ParamDescriptor(5), ParamDescriptor(105), true},
        {ParamDescriptor(105), ParamDescriptor(-2), true}, // negative ids after every other
        {ParamDescriptor(-2), ParamDescriptor(5), false},
        {ParamDescriptor(-2), ParamDescriptor(-1), true}, // -1 last of all
        {ParamDescriptor(-1), ParamDescriptor(-256), false},
        {ParamDescriptor(7), ParamDescriptor(7, Variant(0)), true}, // empty key first
        {ParamDescriptor(7, Variant(1)), ParamDescriptor(7, Variant(2)), true},
        {ParamDescriptor(7, Variant(2)), ParamDescriptor(7, Variant(1)), false},
        {ParamDescriptor(7, Variant(1)), ParamDescriptor(7, Variant(1)), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.a < c.b, c.less) << c.a.mParamID << " < " << c.b.mParamID;

    std::vector<ParamDescriptor> sorted{ParamDescriptor(5), ParamDescriptor(-2), ParamDescriptor(105)};
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted[0].mParamID, 5);
    EXPECT_EQ(sorted[1].mParamID, 105);
    EXPECT_EQ(sorted[2].mParamID, -2);
}

TEST(ParamDescriptorText, IsTheIdAsAnUnsignedNumber)
{
    EXPECT_STREQ(Vx::ParamDescriptorToString(ParamDescriptor(-4)).GetCString(), "4294967292");
    EXPECT_STREQ(Vx::ParamDescriptorToString(ParamDescriptor(17)).GetCString(), "17");
    const Vx::RCPtr<Vx::LParamPair> pair(new Vx::LParamPair(ParamDescriptor(-1), Variant(3)));
    EXPECT_STREQ(pair->ToString().GetCString(), "4294967295");
    EXPECT_EQ(pair->GetValue().GetInt32(), 3);
}

TEST(ParamValueDefaults, AreIdMinusOneAndEmpty)
{
    const ParamValue value;
    EXPECT_EQ(value.mDescriptor.mParamID, -1);
    EXPECT_EQ(value.mDescriptor.mKey.GetTag(), Variant::T_NONE);
    EXPECT_EQ(value.mValue.GetTag(), Variant::T_NONE);
    const ParamValues list;
    EXPECT_EQ(list.GetTag(), Variant::T_NONE);
    EXPECT_EQ(list.GetEntryCount(), 0u);
}

// --- ParamValues::SetValue -----------------------------------------------

TEST(ParamValuesSetValue, CreatesThenKeepsAnEqualValueByteForByte)
{
    ParamValues list;
    ASSERT_EQ(list.SetValue(ParamDescriptor(4), Variant(5)), 0);
    ASSERT_EQ(list.GetEntryCount(), 1u);
    const std::vector<std::uint8_t> before = Bytes(list);

    EXPECT_EQ(list.SetValue(ParamDescriptor(4), Variant(5)), 1);
    EXPECT_EQ(Bytes(list), before);

    // Entries are [value, id as a 32-bit integer, key].
    Variant entry;
    Variant id;
    ASSERT_EQ(list.GetArrayElement(0, entry), 0);
    ASSERT_EQ(entry.GetArrayCount(), 3u);
    entry.GetArrayElement(1, id);
    EXPECT_EQ(id.GetTag(), Variant::T_INT32);

    // Another tag is another value.
    EXPECT_EQ(list.SetValue(ParamDescriptor(4), Variant(std::int16_t{5})), 0);
    EXPECT_EQ(Entries(list)[0].value.GetTag(), Variant::T_INT16);
}

TEST(ParamValuesSetValue, InsertsInDescriptorOrderAndReplacesOnlyTheMatch)
{
    ParamValues list;
    for (const std::int32_t id : {9, -4, 3, 105, -1, 0})
        ASSERT_EQ(list.SetValue(ParamDescriptor(id), Variant(id * 10)), 0) << id;
    EXPECT_EQ(Ids(list), (std::vector<std::int32_t>{0, 3, 9, 105, -4, -1}));

    ParamValues keyed;
    ASSERT_EQ(keyed.SetValue(ParamDescriptor(2, Variant(10)), Text("ten")), 0);
    ASSERT_EQ(keyed.SetValue(ParamDescriptor(2, Variant(30)), Text("thirty")), 0);
    ASSERT_EQ(keyed.SetValue(ParamDescriptor(2, Variant(20)), Text("twenty")), 0);
    ASSERT_EQ(keyed.SetValue(ParamDescriptor(2, Variant(30)), Text("THIRTY")), 0);

    const std::vector<Entry> entries = Entries(keyed);
    ASSERT_EQ(entries.size(), 3u);
    const char* const texts[] = {"ten", "twenty", "THIRTY"};
    for (std::size_t i = 0; i < 3; ++i)
    {
        EXPECT_EQ(entries[i].key.GetInt32(), static_cast<std::int32_t>(10 * (i + 1)));
        EXPECT_STREQ(entries[i].value.GetString(), texts[i]);
    }
}

TEST(ParamValuesSetValue, RefusesAMalformedListAndLeavesIt)
{
    const Variant good = MakeArray({Variant(1), Variant(0), Variant()});
    const Variant twoElements = MakeArray({Variant(1), Variant(0)});
    ParamValues list = MakeList<ParamValues>({good, twoElements});
    const std::vector<std::uint8_t> before = Bytes(list);

    EXPECT_EQ(list.SetValue(ParamDescriptor(8), Variant(1)), Vx::kParamListMalformedEntry);
    EXPECT_EQ(Bytes(list), before);
}

TEST(ParamValuesSetValue, KeepsOneEntryPerDescriptorInAListBuiltOutOfOrder)
{
    // [7, 3]: the walk inserts 3 before 7 and then meets the old 3.
    ParamValues list = MakeList<ParamValues>(
        {MakeArray({Variant(70), Variant(7), Variant()}), MakeArray({Variant(30), Variant(3), Variant()})});
    VxTest::CaptureStderr capture;
    EXPECT_EQ(list.SetValue(ParamDescriptor(3), Variant(33)), 0);
    EXPECT_NE(capture.Finish().find("JUCE Assertion failure in"), std::string::npos);

    const std::vector<Entry> entries = Entries(list);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].id, 7);
    EXPECT_EQ(entries[1].id, 3);
    EXPECT_EQ(entries[1].value.GetInt32(), 33);
}

// --- Reading entries -----------------------------------------------------

TEST(ParamValuesEntries, ReadIdsOfAnyNumericTagAndRefuseTheRest)
{
    struct Case
    {
        const char* name;
        Variant entry;
        std::int32_t result;
        std::int32_t id;
    };
    const Case cases[] = {
        {"int32", MakeArray({Variant(1), Variant(12), Variant()}), 0, 12},
        {"int64", MakeArray({Variant(1), Variant(std::int64_t{-4}), Variant()}), 0, -4},
        {"uint8", MakeArray({Variant(1), Variant(std::uint8_t{200}), Variant()}), 0, 200},
        {"float", MakeArray({Variant(1), Variant(6.6f), Variant()}), 0, 7},
        {"double", MakeArray({Variant(1), Variant(-9.0), Variant()}), 0, -9},
        {"text id", MakeArray({Variant(1), Text("12"), Variant()}), Vx::kParamListMalformedEntry, -1},
        {"empty id", MakeArray({Variant(1), Variant(), Variant()}), Vx::kParamListMalformedEntry, -1},
        {"two elements", MakeArray({Variant(1), Variant(12)}), Vx::kParamListMalformedEntry, -1},
        {"four elements", MakeArray({Variant(1), Variant(12), Variant(), Variant()}), Vx::kParamListMalformedEntry, -1},
        {"not an array", Variant(12), Vx::kParamListMalformedEntry, -1},
    };
    for (const Case& c : cases)
    {
        const ParamValues list = MakeList<ParamValues>({c.entry});
        Variant value(99);
        Variant key(99);
        std::int32_t id = 99;
        EXPECT_EQ(list.GetEntry(0, value, id, key), c.result) << c.name;
        EXPECT_EQ(id, c.id) << c.name;
        if (c.result != 0)
        {
            EXPECT_EQ(value.GetTag(), Variant::T_NONE) << c.name;
        }
    }
}

TEST(ParamValuesEntries, IndexAtOrPastTheCountIsOutOfRange)
{
    ParamValues list;
    list.SetValue(ParamDescriptor(1), Variant(10));
    list.SetValue(ParamDescriptor(2), Variant(20));
    for (const std::uint32_t index : {2u, 3u, 0xFFFFFFFFu})
    {
        Variant value(5);
        Variant key(5);
        std::int32_t id = 5;
        EXPECT_EQ(list.GetEntry(index, value, id, key), Vx::kParamListIndexOutOfRange) << index;
        EXPECT_EQ(id, -1);
        EXPECT_EQ(value.GetTag(), Variant::T_NONE);
        EXPECT_EQ(key.GetTag(), Variant::T_NONE);
    }
}

TEST(ParamValuesFind, MatchesIdAndKeyExactly)
{
    ParamValues list;
    list.SetValue(ParamDescriptor(3, Variant(1)), Text("one"));
    list.SetValue(ParamDescriptor(4), Variant(40));

    Variant value;
    EXPECT_EQ(list.Find(ParamDescriptor(3, Variant(1)), value), 0);
    EXPECT_STREQ(value.GetString(), "one");
    EXPECT_EQ(list.Find(ParamDescriptor(3, Variant(2)), value), 1);
    EXPECT_EQ(value.GetTag(), Variant::T_NONE);
    EXPECT_EQ(list.Find(ParamDescriptor(3), value), 1);
    EXPECT_EQ(list.Find(ParamDescriptor(4, Variant(std::int64_t{0})), value), 1);
    EXPECT_EQ(list.Find(ParamDescriptor(4), value), 0);
    EXPECT_EQ(value.GetInt32(), 40);

    // A malformed entry before the match stops the scan.
    const ParamValues broken =
        MakeList<ParamValues>({MakeArray({Variant(1)}), MakeArray({Variant(40), Variant(4), Variant()})});
    value = Variant(1);
    EXPECT_EQ(broken.Find(ParamDescriptor(4), value), Vx::kParamListMalformedEntry);
    EXPECT_EQ(value.GetTag(), Variant::T_NONE);
}

TEST(ParamValuesAssign, NothingToAssignKeepsTheList)
{
    ParamValues list;
    list.SetValue(ParamDescriptor(1), Variant(10));
    const std::vector<std::uint8_t> before = Bytes(list);
    const ParamValue one(2, Variant(), Variant(20));
    EXPECT_EQ(list.Assign(nullptr, 1), Vx::kParamListIndexOutOfRange);
    EXPECT_EQ(list.Assign(&one, 0), Vx::kParamListIndexOutOfRange);
    EXPECT_EQ(Bytes(list), before);

    // Given order, not descriptor order.
    const ParamValue values[] = {ParamValue(-2, Variant(), Variant(true)), ParamValue(0, Variant(), Variant(1))};
    EXPECT_EQ(list.Assign(values, 2), 0);
    EXPECT_EQ(Ids(list), (std::vector<std::int32_t>{-2, 0}));
}

// --- Descriptor lists and ranges -----------------------------------------

TEST(ParamDescriptorsFromRanges, ExpandEveryRangeInOrder)
{
    const ParamRange whole{0, 106};
    ParamRanges ranges;
    ASSERT_EQ(ranges.Assign(&whole, 1), 0);
    ParamDescriptors descriptors;
    ASSERT_EQ(descriptors.AssignFromRanges(ranges), 0);
    const std::vector<ParamDescriptor> all = Descriptors(descriptors);
    ASSERT_EQ(all.size(), 106u);
    for (std::int32_t i = 0; i < 106; ++i)
    {
        EXPECT_EQ(all[i].mParamID, i);
        EXPECT_EQ(all[i].mKey.GetTag(), Variant::T_NONE);
    }

    const ParamRange two[] = {{-10, 3}, {40, 0}, {7, 1}};
    ASSERT_EQ(ranges.Assign(two, 3), 0);
    ASSERT_EQ(descriptors.AssignFromRanges(ranges), 0);
    std::vector<std::int32_t> ids;
    for (const ParamDescriptor& descriptor : Descriptors(descriptors))
        ids.push_back(descriptor.mParamID);
    EXPECT_EQ(ids, (std::vector<std::int32_t>{-10, -9, -8, 7}));
}

TEST(ParamDescriptorsFromRanges, RefuseRangesTheyCannotExpandAndKeepTheList)
{
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    struct Case
    {
        const char* name;
        ParamRanges ranges;
        std::int32_t result;
    };
    const Case cases[] = {
        {"two-element entry missing", MakeList<ParamRanges>({MakeArray({Variant(1)})}), Vx::kParamListMalformedEntry},
        {"count as text", MakeList<ParamRanges>({MakeArray({Variant(1), Text("3")})}), Vx::kParamListMalformedEntry},
        {"negative count", MakeList<ParamRanges>({MakeArray({Variant(1), Variant(-3)})}),
         Vx::kParamListIndexOutOfRange},
        {"past the largest id", MakeList<ParamRanges>({MakeArray({Variant(kMax), Variant(2)})}),
         Vx::kParamListIndexOutOfRange},
        {"too many ids", MakeList<ParamRanges>({MakeArray({Variant(0), Variant(kMax)})}),
         Vx::kParamListIndexOutOfRange},
        {"too many in sum",
         MakeList<ParamRanges>({MakeArray({Variant(0), Variant(40000)}), MakeArray({Variant(0), Variant(40000)})}),
         Vx::kParamListIndexOutOfRange},
    };
    for (const Case& c : cases)
    {
        ParamDescriptors descriptors;
        const ParamDescriptor one(5);
        descriptors.Assign(&one, 1);
        const std::vector<std::uint8_t> before = Bytes(descriptors);
        EXPECT_EQ(descriptors.AssignFromRanges(c.ranges), c.result) << c.name;
        EXPECT_EQ(Bytes(descriptors), before) << c.name;
    }

    // No range at all is an empty list.
    ParamDescriptors descriptors;
    EXPECT_EQ(descriptors.AssignFromRanges(ParamRanges()), 0);
    EXPECT_EQ(descriptors.GetEntryCount(), 0u);
}

TEST(ParamRangesGetRange, ReportsIndexAndShapeFaults)
{
    const ParamRanges ranges = MakeList<ParamRanges>(
        {MakeArray({Variant(std::int64_t{3}), Variant(4.0)}), MakeArray({Variant(1), Variant(2), Variant(3)})});
    ParamRange range;
    EXPECT_EQ(ranges.GetRange(0, range), 0);
    EXPECT_EQ(range.mFirstParamID, 3);
    EXPECT_EQ(range.mCount, 4);
    EXPECT_EQ(ranges.GetRange(1, range), Vx::kParamListMalformedEntry);
    EXPECT_EQ(range.mFirstParamID, -1);
    EXPECT_EQ(range.mCount, 0);
    range = {5, 5};
    EXPECT_EQ(ranges.GetRange(2, range), Vx::kParamListIndexOutOfRange);
    EXPECT_EQ(range.mFirstParamID, -1);
    EXPECT_EQ(range.mCount, 0);
}
} // namespace
