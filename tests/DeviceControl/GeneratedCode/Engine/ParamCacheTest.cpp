#include "DeviceControl/GeneratedCode/Engine/Inc/ParamCache.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace
{
using Vx::ParamDescriptor;
using Vx::ParamValues;
using Vx::Variant;

// Records every change the cache reports.
class RecordingCache : public Vx::LParamCache
{
public:
    using LParamCache::LParamCache;

    struct Change
    {
        std::uint32_t index;
        Variant value;
    };
    std::vector<Change> changes;

protected:
    void OnCachedValueChanged(std::uint32_t index, const Variant& value) override { changes.push_back({index, value}); }
};

Vx::RCPtr<RecordingCache> MakeCache(std::uint32_t slots = 106)
{
    return Vx::RCPtr<RecordingCache>(new RecordingCache(slots));
}

TEST(ParamCache, RefusesIndicesOutsideItsSlots)
{
    const auto cache = MakeCache();
    for (const std::int32_t index : {106, 107, -1, -4})
    {
        Variant value(1);
        EXPECT_EQ(cache->Store(ParamDescriptor(index), Variant(5), true), -1) << index;
        EXPECT_EQ(cache->Store(ParamDescriptor(index, Variant(1)), Variant(5), true), -1) << index;
        EXPECT_EQ(cache->Read(ParamDescriptor(index), value), -1) << index;
        EXPECT_EQ(value.GetTag(), Variant::T_NONE) << index;
    }
    EXPECT_TRUE(cache->changes.empty());
}

TEST(ParamCache, StoresPlainValuesAndReportsEachRealChangeOnce)
{
    const auto cache = MakeCache();
    struct Step
    {
        Variant value;
        bool notify;
        std::int32_t result;
        std::size_t changesAfter;
    };
    const Step steps[] = {
        {Variant(5), true, 0, 1},
        {Variant(5), true, 1, 1},               // the same value
        {Variant(std::int16_t{5}), true, 0, 2}, // another tag is another value
        {Variant(6), false, 0, 2},              // changed, not reported
        {Variant(6), true, 1, 2},
        {Variant(7), true, 0, 3},
    };
    for (const Step& step : steps)
    {
        EXPECT_EQ(cache->Store(ParamDescriptor(105), step.value, step.notify), step.result);
        EXPECT_EQ(cache->changes.size(), step.changesAfter);
    }
    ASSERT_EQ(cache->changes.size(), 3u);
    EXPECT_EQ(cache->changes[1].index, 105u);
    EXPECT_EQ(cache->changes[1].value.GetTag(), Variant::T_INT16);

    Variant value;
    EXPECT_EQ(cache->Read(ParamDescriptor(105), value), 0);
    EXPECT_EQ(value, Variant(7));
    // A slot never written reads as empty, and succeeds.
    value = Variant(1);
    EXPECT_EQ(cache->Read(ParamDescriptor(0), value), 0);
    EXPECT_EQ(value.GetTag(), Variant::T_NONE);
}

TEST(ParamCache, KeyedStoresKeepAListInTheSlot)
{
    const auto cache = MakeCache();
    ASSERT_EQ(cache->Store(ParamDescriptor(3), Variant(17), true), 0);
    // A plain value that is no array counts as an empty list.
    EXPECT_EQ(cache->Store(ParamDescriptor(3, Variant(2)), Variant(20), true), 0);
    EXPECT_EQ(cache->Store(ParamDescriptor(3, Variant(1)), Variant(10), true), 0);
    EXPECT_EQ(cache->Store(ParamDescriptor(3, Variant(1)), Variant(10), true), 1);
    EXPECT_EQ(cache->Store(ParamDescriptor(3, Variant(1)), Variant(11), false), 0);
    ASSERT_EQ(cache->changes.size(), 3u);

    // The hook gets the whole list; its entries carry the index.
    ParamValues reported;
    static_cast<Variant&>(reported) = cache->changes.back().value;
    ASSERT_EQ(reported.GetEntryCount(), 2u);
    Variant value;
    Variant key;
    std::int32_t id = 0;
    ASSERT_EQ(reported.GetEntry(0, value, id, key), 0);
    EXPECT_EQ(id, 3);
    EXPECT_EQ(key.GetInt32(), 1);
    EXPECT_EQ(value.GetInt32(), 10);

    EXPECT_EQ(cache->Read(ParamDescriptor(3, Variant(1)), value), 0);
    EXPECT_EQ(value.GetInt32(), 11);
    EXPECT_EQ(cache->Read(ParamDescriptor(3, Variant(9)), value), 1);
    EXPECT_EQ(value.GetTag(), Variant::T_NONE);
    // The same slot with an empty key is the whole list.
    EXPECT_EQ(cache->Read(ParamDescriptor(3), value), 0);
    EXPECT_EQ(value.GetArrayCount(), 2u);
}

TEST(ParamCache, KeyedStoreIntoAMalformedListKeepsTheSlot)
{
    const auto cache = MakeCache(4);
    Variant entry;
    const Variant elements[] = {Variant(1), Variant(2)};
    entry.SetArray(elements, 2);
    Variant broken;
    broken.SetArray(&entry, 1);
    ASSERT_EQ(cache->Store(ParamDescriptor(1), broken, false), 0);

    EXPECT_EQ(cache->Store(ParamDescriptor(1, Variant(1)), Variant(5), true), -1);
    Variant value;
    EXPECT_EQ(cache->Read(ParamDescriptor(1), value), 0);
    EXPECT_EQ(value, broken);
    EXPECT_EQ(cache->Read(ParamDescriptor(1, Variant(1)), value), Vx::kParamListMalformedEntry);
    EXPECT_TRUE(cache->changes.empty());
}
} // namespace
