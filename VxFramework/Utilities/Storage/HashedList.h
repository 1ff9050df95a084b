#pragma once

#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/Utilities/Storage/Pair.h"
#include "VxFramework/Utilities/Storage/RCPtrArray.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>
#include <typeinfo>

namespace Vx
{
// Maps keys to entry pointers; the list does not own the entries.
template <class EntryPtr, class Key>
class IHashedList
{
public:
    virtual std::int32_t GetCount() const = 0;
    virtual void RemoveAll() = 0;
    // 1 when a new pair was added, 0 when an existing key now maps to the entry.
    virtual std::int32_t Add(EntryPtr entry) = 0;
    // The address of the value stored for the key, else defaultValue.
    virtual EntryPtr* Find(const Key& key, EntryPtr* defaultValue) = 0;
    // 1 when the key was removed, 0 when it was not there.
    virtual std::int32_t Remove(const Key& key) = 0;
    virtual ~IHashedList() = default;
};

// A fixed table of 2^Bits buckets of key and entry pairs.  GetEntryID(entry)
// gives an entry's key; Hash(key) its bucket.  Keys compare with the key
// type's ==.
template <class EntryPtr, class Key, auto GetEntryID, std::uint32_t Bits, auto Hash>
class HashedList : public IHashedList<EntryPtr, Key>
{
    static_assert(Bits >= 1 && Bits <= 16, "a bucket table of 2 to 65536 entries");

public:
    static constexpr std::uint32_t kBucketCount = 1u << Bits;

    // The type name of Key: the text form of every pair of the list.
    static StringT<char, unsigned short> KeyToString(const Key&)
    {
        return StringT<char, unsigned short>(GetTypeName(typeid(Key)));
    }

    using Pair = LPair<Key, EntryPtr, &HashedList::KeyToString>;
    using Bucket = RCPtrArray<Pair, 1, 0>;

    HashedList() = default;
    HashedList(const HashedList&) = delete;
    HashedList& operator=(const HashedList&) = delete;
    ~HashedList() override = default;

    std::int32_t GetCount() const override { return mCount; }

    void RemoveAll() override
    {
        for (Bucket& bucket : mBuckets)
            bucket.SetCount(0);
        mCount = 0;
    }

    std::int32_t Add(EntryPtr entry) override
    {
        const Key key = GetEntryID(entry);
        Bucket& bucket = mBuckets[BucketOf(key)];
        const std::int32_t index = IndexIn(bucket, key);
        if (index >= 0)
        {
            bucket[static_cast<std::uint32_t>(index)]->SetValue(entry);
            return 0;
        }
        bucket.Add(RCPtr<Pair>(new Pair(key, entry)));
        ++mCount;
        return 1;
    }

    EntryPtr* Find(const Key& key, EntryPtr* defaultValue) override
    {
        Bucket& bucket = mBuckets[BucketOf(key)];
        const std::int32_t index = IndexIn(bucket, key);
        if (index < 0)
            return defaultValue;
        return &bucket[static_cast<std::uint32_t>(index)]->GetValue();
    }

    std::int32_t Remove(const Key& key) override
    {
        Bucket& bucket = mBuckets[BucketOf(key)];
        const std::int32_t index = IndexIn(bucket, key);
        if (index < 0)
            return 0;
        bucket.RemoveSpace(static_cast<std::uint32_t>(index), 1);
        --mCount;
        return 1;
    }

private:
    static std::uint32_t BucketOf(const Key& key)
    {
        const std::uint32_t bucket = static_cast<std::uint32_t>(Hash(key));
        // A hash beyond the table would index past the buckets.
        if (bucket >= kBucketCount)
        {
            VX_ASSERT_FALSE();
            return bucket & (kBucketCount - 1);
        }
        return bucket;
    }

    // The last pair of the bucket with an equal key, -1 when none.
    static std::int32_t IndexIn(const Bucket& bucket, const Key& key)
    {
        for (std::uint32_t i = bucket.GetCount(); i > 0; --i)
        {
            const RCPtr<Pair>& pair = bucket[i - 1];
            if (pair->GetKey() == key)
                return static_cast<std::int32_t>(i - 1);
        }
        return -1;
    }

    std::int32_t mCount = 0;
    Bucket mBuckets[kBucketCount];
};
} // namespace Vx
