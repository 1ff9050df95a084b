#include "VxFramework/Utilities/Storage/ArrayUtils.h"
#include "VxFramework/Utilities/Storage/RCPtrArray.h"
#include "VxFramework/Utilities/Storage/VxArray.h"

#include "tests/VxFramework/Utilities/Storage/Tracked.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
using VxTest::Tracked;
using String = Vx::StringT<char, unsigned short>;
using Strings = Vx::StringArrayT<char, unsigned short>;

std::vector<std::string> Texts(const Strings& strings)
{
    std::vector<std::string> texts;
    for (const String& text : strings)
        texts.emplace_back(text.GetCString());
    return texts;
}

TEST(StringArray, SplitsIntoFields)
{
    struct SplitCase
    {
        const char* text;
        const char* delimiters;
        std::vector<std::string> fields;
    };
    const SplitCase cases[] = {
        {"a,b,,c", ",", {"a", "b", "", "c"}},
        {",a", ",", {"", "a"}},
        {"a,", ",", {"a"}},
        {"a,,", ",", {"a", ""}},
        {"", ",", {""}},
        {"abc", ",", {"abc"}},
        {"a b\tc", " \t", {"a", "b", "c"}},
        {"line 1\nline 2\n", "\n", {"line 1", "line 2"}},
    };
    for (const SplitCase& c : cases)
    {
        SCOPED_TRACE(c.text);
        const Strings fields(c.text, c.delimiters, -1);
        EXPECT_EQ(Texts(fields), c.fields);
    }
    // Every field is produced whatever the maximum count, each whole: none is
    // dropped and the last is not left holding the rest of the text.
    for (const int maximum : {0, 1, 2, 3, 100})
    {
        SCOPED_TRACE(maximum);
        EXPECT_EQ(Texts(Strings("a;b;c", ";", maximum)), (std::vector<std::string>{"a", "b", "c"}));
    }
}

TEST(StringArray, FindsTheLastElementHoldingTheCharacters)
{
    Strings strings;
    const String name("NID_TEST");
    strings.Add(String("other"));
    strings.Add(name); // shares the buffer of name
    strings.Add(String("NID_TEST"));
    strings.Add(name);
    EXPECT_EQ(strings.FindByDataPointer(name.GetCString()), 3);
    EXPECT_EQ(strings.FindByDataPointer(strings[2].GetCString()), 2);
    // Equal text in another buffer is not the same characters.
    const String equal("NID_TEST");
    EXPECT_EQ(strings.FindByDataPointer(equal.GetCString()), -1);
    EXPECT_EQ(Strings().FindByDataPointer(name.GetCString()), -1);
}

TEST(StringArray, GrowingKeepsTheTextsWhereTheyAre)
{
    // Interned names are handed out by their character pointer.
    Strings strings;
    strings.Add(String("first"));
    const char* const first = strings[0].GetCString();
    for (int i = 0; i < 1000; ++i)
        strings.Add(String::Format("name %d", i));
    EXPECT_EQ(strings[0].GetCString(), first);
    EXPECT_EQ(strings.FindByDataPointer(first), 0);

    const Strings copy(strings);
    EXPECT_EQ(Texts(copy), Texts(strings));
}

std::vector<unsigned int> Indices(const Vx::ArrayBuffer<unsigned int, 1, 0>& indices)
{
    std::vector<unsigned int> values;
    for (std::uint32_t i = 0; i < indices.GetCount(); ++i)
        values.push_back(indices[i]);
    return values;
}

TEST(SortArray, SortsTheFirstNElements)
{
    Vx::Array<int> array;
    for (int value : {5, 3, 9, 1, 0})
        array.Add(value);
    Vx::SortArray(array, 4, [](int a, int b) { return a < b; });
    const std::vector<int> expected{1, 3, 5, 9, 0};
    for (std::uint32_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(array[i], expected[i]);
}

TEST(SortArray, TooManyElementsThrowsAndChangesNothing)
{
    Vx::Array<int> array;
    for (int value : {3, 2, 1})
        array.Add(value);
    try
    {
        Vx::SortArray(array, 4, [](int a, int b) { return a < b; });
        FAIL() << "no exception";
    }
    catch (const Vx::Exception<std::out_of_range>& error)
    {
        EXPECT_EQ(std::string(error.what()).rfind("Out of Range :  :  : VxFramework/Utilities/Storage/ArrayUtils.h : Line ", 0), 0u)
            << error.what();
    }
    EXPECT_EQ(array[0], 3);
    Vx::SortArray(array, 1, [](int a, int b) { return a < b; });
    EXPECT_EQ(array[0], 3);
}

TEST(SortArray, SortsReferencePointersWithoutReferenceTraffic)
{
    Vx::RCPtrArray<Tracked> array;
    for (int value : {2, 3, 1})
        array.Add(Vx::RCPtr<Tracked>(new Tracked(value)));
    Tracked::Counters().Reset();
    Vx::SortArray(array, 3, [](const Vx::RCPtr<Tracked>& a, const Vx::RCPtr<Tracked>& b) { return a->mValue < b->mValue; });
    EXPECT_EQ(array[0]->mValue, 1);
    EXPECT_EQ(array[2]->mValue, 3);
    EXPECT_EQ(Tracked::Counters().addRefs, Tracked::Counters().releases);
    EXPECT_TRUE(Tracked::Counters().destroyed.empty());
}

TEST(SortArrayIndices, ListsPositionsInOrderAndLeavesTheSource)
{
    Vx::Array<int> source;
    for (int value : {30, 10, 20})
        source.Add(value);
    Vx::ArrayBuffer<unsigned int, 1, 0> indices;
    indices.SetCount(7);
    const auto less = [](int a, int b) { return a < b; };
    Vx::SortArrayIndices(source, 3, indices, less);
    EXPECT_EQ(Indices(indices), (std::vector<unsigned int>{1, 2, 0}));
    EXPECT_EQ(source[0], 30);
    EXPECT_EQ(source[1], 10);

    Vx::SortArrayIndices(source, 2, indices, less);
    EXPECT_EQ(Indices(indices), (std::vector<unsigned int>{1, 0}));
    Vx::SortArrayIndices(source, 0, indices, less);
    EXPECT_EQ(indices.GetCount(), 0u);
    EXPECT_THROW(Vx::SortArrayIndices(source, 4, indices, less), Vx::Exception<std::out_of_range>);
}
} // namespace
