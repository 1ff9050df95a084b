// The fixed-size object cache: which entry a new key takes, and what a purge
// releases.

#include "VxFramework/Utilities/Storage/PurgableObjectCache.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace
{
int gLiveObjects = 0;

struct Cached : public virtual Vx::LRefCountedObject
{
    explicit Cached(int v) : value(v) { ++gLiveObjects; }
    ~Cached() override { --gLiveObjects; }
    int value;
};

using Cache = Vx::PurgableObjectCache<Cached, int, int, &Vx::GetSelf<int>, 8, &Vx::GetBits<8, 0, int>>;

// Reaches the entries so that tests can read and arrange their use history.
class Probe : public Cache
{
public:
    Entry& At(int index) { return mEntries[index]; }
    int ListCount() const { return mList.GetCount(); }
    bool Contains(int key)
    {
        Entry* missing = nullptr;
        return *mList.Find(key, &missing) != nullptr;
    }
    int IndexOf(const Vx::RCPtr<Cached>& object)
    {
        for (int i = 0; i < GetCapacity(); ++i)
            if (&At(i).mObject == &object)
                return i;
        return -1;
    }

    // A lookup as the renderer makes it: the caller fills an empty entry.
    int Use(int key)
    {
        Vx::RCPtr<Cached>& object = GetEntry(key, false);
        if (object.IsNull())
            object = new Cached(key);
        return IndexOf(object);
    }

    void Fill()
    {
        for (int key = 0; key < GetCapacity(); ++key)
            Use(key);
    }
};

class ObjectCache : public ::testing::Test
{
protected:
    void TearDown() override { EXPECT_EQ(gLiveObjects, 0); }
};

TEST_F(ObjectCache, EntriesAreTakenInOrderAndFoundAgain)
{
    Probe cache;
    EXPECT_EQ(cache.GetCapacity(), 256);
    for (int key = 0; key < 256; ++key)
        EXPECT_EQ(cache.Use(key * 7 + 3), key);
    EXPECT_EQ(cache.ListCount(), 256);
    EXPECT_EQ(gLiveObjects, 256);

    EXPECT_EQ(cache.Use(10), 1);
    EXPECT_EQ(cache.At(1).mUseCount, 2u);
    EXPECT_EQ(cache.At(1).mLastUse, 257u);
    EXPECT_EQ(cache.At(1).mObject->value, 10);
    EXPECT_EQ(gLiveObjects, 256);
}

// Which entry a new key takes when all 256 are taken: each row arranges the
// entries of a cache filled with keys 0..255 (entry i: key i, last use i + 1,
// one use) and names the entry the new key must reuse.
struct EvictionCase
{
    const char* name;
    std::function<void(Probe&)> arrange;
    int expected;
};

TEST_F(ObjectCache, EvictionChoosesEmptyThenOldestThenLeastUsed)
{
    const std::vector<EvictionCase> cases = {
        {"the least recently used", [](Probe&) {}, 0},
        {"a used entry is kept", [](Probe& c) { c.Use(0); }, 1},
        {"an empty entry before older ones", [](Probe& c) { c.At(200).mObject = nullptr; }, 200},
        {"the first of two empty entries",
         [](Probe& c) {
             c.At(250).mObject = nullptr;
             c.At(100).mObject = nullptr;
         },
         100},
        {"fewer uses among equal ages",
         [](Probe& c) {
             c.At(5).mLastUse = 0;
             c.At(5).mUseCount = 3;
             c.At(9).mLastUse = 0;
             c.At(9).mUseCount = 2;
         },
         9},
        {"the first among equal ages and uses",
         [](Probe& c) {
             c.At(9).mLastUse = 0;
             c.At(9).mUseCount = 2;
             c.At(5).mLastUse = 0;
             c.At(5).mUseCount = 2;
         },
         5},
        {"ages are unsigned differences",
         [](Probe& c) {
             // Last used just before the counter wrapped: older than all.
             c.At(100).mLastUse = 0xFFFFFFFFu;
         },
         100},
    };
    for (const EvictionCase& row : cases)
    {
        SCOPED_TRACE(row.name);
        Probe cache;
        cache.Fill();
        row.arrange(cache);
        const int oldKey = cache.At(row.expected).mKey;

        Vx::RCPtr<Cached>& object = cache.GetEntry(1000, false);
        EXPECT_EQ(cache.IndexOf(object), row.expected);
        EXPECT_TRUE(object.IsNull());
        EXPECT_EQ(cache.At(row.expected).mKey, 1000);
        EXPECT_EQ(cache.At(row.expected).mUseCount, 1u);
        EXPECT_EQ(cache.ListCount(), 256);
        EXPECT_FALSE(cache.Contains(oldKey));
        EXPECT_TRUE(cache.Contains(1000));
    }
}

TEST_F(ObjectCache, ResetStartsAFoundEntryOver)
{
    Probe cache;
    cache.Use(1);
    cache.Use(1);
    Vx::RCPtr<Cached>& object = cache.GetEntry(1, true);
    EXPECT_EQ(cache.IndexOf(object), 0);
    EXPECT_TRUE(object.IsNull());
    EXPECT_EQ(cache.At(0).mUseCount, 1u);
    EXPECT_EQ(cache.At(0).mLastUse, 3u);
    EXPECT_EQ(gLiveObjects, 0);
}

TEST_F(ObjectCache, UseCountStopsAtItsMaximum)
{
    Probe cache;
    cache.Use(1);
    cache.At(0).mUseCount = 0xFFFFFFFFu;
    cache.Use(1);
    EXPECT_EQ(cache.At(0).mUseCount, 0xFFFFFFFFu);
}

TEST_F(ObjectCache, PurgeReleasesWhatWasNotUsedSinceThePreviousPurge)
{
    Probe cache;
    for (int key = 1; key <= 4; ++key)
        cache.Use(key);
    // Nothing was purged before: everything counts as used since.
    cache.PurgeUnused();
    EXPECT_EQ(gLiveObjects, 4);

    cache.Use(1);
    cache.Use(3);
    cache.PurgeUnused();
    EXPECT_FALSE(cache.At(0).mObject.IsNull());
    EXPECT_TRUE(cache.At(1).mObject.IsNull());
    EXPECT_FALSE(cache.At(2).mObject.IsNull());
    EXPECT_EQ(cache.At(1).mUseCount, 0u);
    EXPECT_EQ(cache.At(1).mLastUse, 0u);

    // The purged entry keeps its key: the next lookup finds it, empty.
    EXPECT_TRUE(cache.Contains(2));
    Vx::RCPtr<Cached>& object = cache.GetEntry(2, false);
    EXPECT_EQ(cache.IndexOf(object), 1);
    EXPECT_TRUE(object.IsNull());
    EXPECT_EQ(cache.ListCount(), 4);
}

TEST_F(ObjectCache, PurgedEntriesAreReusedFirstWhenFull)
{
    Probe cache;
    cache.Fill();
    cache.PurgeUnused();
    for (int key = 0; key < 256; ++key)
        if (key != 77)
            cache.Use(key);
    cache.PurgeUnused();
    EXPECT_TRUE(cache.At(77).mObject.IsNull());
    EXPECT_EQ(cache.Use(5000), 77);
    EXPECT_FALSE(cache.Contains(77));
}
} // namespace
