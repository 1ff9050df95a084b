// Hashed lists: key equality within a bucket, replacement, removal and the
// pairs' text form.

#include "VxFramework/Utilities/Storage/HashedList.h"

#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <type_traits>

namespace
{
using Text = Vx::StringT<char, unsigned short>;

struct Item
{
    Text name;
    int value;
};

Text NameOf(Item* item)
{
    return item->name;
}

// Every key in one bucket, as the font cache has it: only equality separates them.
std::uint32_t OneBucket(const Text&)
{
    return 0;
}

std::uint32_t FirstLetter(const Text& key)
{
    return static_cast<unsigned char>(key.GetCString()[0]);
}

std::uint32_t TooLarge(const Text&)
{
    return 0x1234;
}

using SharedList = Vx::HashedList<Item*, Text, &NameOf, 8, &OneBucket>;
using SpreadList = Vx::HashedList<Item*, Text, &NameOf, 8, &FirstLetter>;

template <class List>
class HashedLists : public ::testing::Test
{
};
using ListKinds = ::testing::Types<SharedList, SpreadList>;
struct ListKindNames
{
    template <class List>
    static std::string GetName(int)
    {
        return std::is_same_v<List, SharedList> ? "OneBucket" : "Spread";
    }
};
TYPED_TEST_SUITE(HashedLists, ListKinds, ListKindNames);

TYPED_TEST(HashedLists, AddFindRemoveByKeyContent)
{
    TypeParam list;
    Item alpha{"alpha", 1};
    Item beta{"beta", 2};
    Item alphaAgain{Text("alp") + Text("ha"), 3};

    EXPECT_EQ(list.Add(&alpha), 1);
    EXPECT_EQ(list.Add(&beta), 1);
    EXPECT_EQ(list.GetCount(), 2);

    // An equal key in another buffer replaces the value and adds nothing.
    EXPECT_EQ(list.Add(&alphaAgain), 0);
    EXPECT_EQ(list.GetCount(), 2);

    Item* missing = nullptr;
    EXPECT_EQ(*list.Find("alpha", &missing), &alphaAgain);
    EXPECT_EQ(*list.Find("beta", &missing), &beta);
    EXPECT_EQ(list.Find("gamma", &missing), &missing);
    EXPECT_EQ(list.Find("Alpha", &missing), &missing);

    EXPECT_EQ(list.Remove("alpha"), 1);
    EXPECT_EQ(list.Remove("alpha"), 0);
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.Find("alpha", &missing), &missing);
    EXPECT_EQ(*list.Find("beta", &missing), &beta);

    list.RemoveAll();
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.Find("beta", &missing), &missing);
    EXPECT_EQ(list.Add(&beta), 1);
}

TYPED_TEST(HashedLists, FoundValueCanBeChangedInPlace)
{
    TypeParam list;
    Item first{"key", 1};
    Item second{"key", 2};
    list.Add(&first);
    Item* missing = nullptr;
    *list.Find("key", &missing) = &second;
    EXPECT_EQ(*list.Find("key", &missing), &second);
}

TEST(HashedList, PairTextNamesTheKeyType)
{
    EXPECT_STREQ(SharedList::Pair(Text("a"), nullptr).ToString().GetCString(), typeid(Text).name());
    EXPECT_STREQ(SharedList::KeyToString("anything").GetCString(), typeid(Text).name());
}

TEST(HashedList, HashBeyondTheTableIsFolded)
{
    Vx::HashedList<Item*, Text, &NameOf, 8, &TooLarge> list;
    Item item{"x", 1};
    VxTest::CaptureStderr capture;
    EXPECT_EQ(list.Add(&item), 1);
    Item* missing = nullptr;
    EXPECT_EQ(*list.Find("x", &missing), &item);
    EXPECT_NE(capture.Finish().find("HashedList.h"), std::string::npos);
}

Text Digits(const int& key)
{
    return Text::Format("#%d", key);
}

TEST(LPair, TextFormComesFromKeyToString)
{
    const Vx::RCPtr<Vx::LPair<int, double, &Digits>> pair(new Vx::LPair<int, double, &Digits>(42, 0.5));
    EXPECT_STREQ(pair->ToString().GetCString(), "#42");
    EXPECT_EQ(pair->GetValue(), 0.5);
}
} // namespace
