#pragma once

#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/Utilities/Storage/HashedList.h"

#include <cstdint>
#include <memory>

namespace Vx
{
// GetKey for caches whose source is its own key.
template <class T>
const T& GetSelf(const T& source) noexcept
{
    return source;
}

// Hash of Bits bits of a key from bit Shift on.
template <std::uint32_t Bits, std::uint32_t Shift, class K>
std::uint32_t GetBits(const K& key) noexcept
{
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(key) >> Shift) & ((1u << Bits) - 1u);
}

template <class T, class Key>
class PurgableCacheEntry
{
public:
    PurgableCacheEntry() = default;
    PurgableCacheEntry(const PurgableCacheEntry&) = delete;
    PurgableCacheEntry& operator=(const PurgableCacheEntry&) = delete;
    virtual ~PurgableCacheEntry() = default;

    virtual bool IsEmpty() const { return mObject.IsNull(); }

    // Forgets the object and the entry's use history.
    void Reset()
    {
        mLastUse = 0;
        mUseCount = 0;
        mObject = nullptr;
    }

    Key mKey{};
    RCPtr<T> mObject;
    // The cache's use counter at the last use; 0 when not used since reset.
    std::uint32_t mLastUse = 0;
    // Uses since the entry was (re)assigned; stops at 0xFFFFFFFF.
    std::uint32_t mUseCount = 0;
};

// A fixed set of reusable entries found by key.  When every entry is taken a
// lookup of a new key reuses an empty entry, else the least recently used one
// (the less used among equally old ones); PurgeUnused drops the objects that
// were not used since the previous purge.  No lock: one thread uses a cache.
template <class T, class Source, class Key, auto GetKey, std::uint32_t Bits, auto Hash>
class PurgableObjectCache
{
public:
    using Entry = PurgableCacheEntry<T, Key>;

    static constexpr std::int32_t kCapacity = 256;

    PurgableObjectCache() : mEntries(new Entry[kCapacity]) {}
    PurgableObjectCache(const PurgableObjectCache&) = delete;
    PurgableObjectCache& operator=(const PurgableObjectCache&) = delete;

    virtual ~PurgableObjectCache()
    {
        for (std::int32_t i = 0; i < mCapacity; ++i)
            mEntries[i].mObject = nullptr;
    }

    // The object pointer of the entry for the source's key: null when the
    // caller must create the object (and store it there).  With reset, a found
    // entry starts over empty.
    RCPtr<T>& GetEntry(const Source& source, bool reset)
    {
        const Key key = GetKey(source);
        Entry* missing = nullptr;
        Entry* entry = *mList.Find(key, &missing);
        if (entry != nullptr)
        {
            if (reset)
                entry->Reset();
        }
        else
        {
            entry = ChooseEntry();
            entry->Reset();
            entry->mKey = key;
            mList.Add(entry);
        }

        VX_ASSERT(entry->mKey == key);
        VX_ASSERT(*mList.Find(key, &missing) == entry);

        if (entry->mUseCount != 0xFFFFFFFFu)
            ++entry->mUseCount;
        entry->mLastUse = ++mUseCounter;
        return entry->mObject;
    }

    // Releases the objects of the entries not used since the previous purge.
    // Their keys stay, so the next lookup finds the entry empty.
    void PurgeUnused()
    {
        const std::uint32_t mark = mPurgeMark;
        for (std::int32_t i = 0; i < mCapacity; ++i)
        {
            Entry& entry = mEntries[i];
            if (static_cast<std::int32_t>(entry.mLastUse - mark) < 0)
                entry.Reset();
        }
        mPurgeMark = mUseCounter;
    }

    std::int32_t GetCapacity() const noexcept { return mCapacity; }

protected:
    static Key GetEntryKey(Entry* entry) { return entry->mKey; }

    using List = HashedList<Entry*, Key, &PurgableObjectCache::GetEntryKey, Bits, Hash>;

    // An entry for a key that is not in the list: the next unused entry while
    // there is one, else an empty entry, else the oldest.
    Entry* ChooseEntry()
    {
        if (mList.GetCount() < mCapacity)
            return &mEntries[mList.GetCount()];

        Entry* chosen = nullptr;
        for (std::int32_t i = 0; i < mCapacity; ++i)
        {
            if (mEntries[i].IsEmpty())
            {
                chosen = &mEntries[i];
                break;
            }
        }
        if (chosen == nullptr)
        {
            chosen = &mEntries[0];
            for (std::int32_t i = 1; i < mCapacity; ++i)
            {
                Entry& candidate = mEntries[i];
                const std::uint32_t age = mUseCounter - candidate.mLastUse;
                const std::uint32_t chosenAge = mUseCounter - chosen->mLastUse;
                if (age > chosenAge || (age == chosenAge && candidate.mUseCount < chosen->mUseCount))
                    chosen = &candidate;
            }
        }
        Entry* missing = nullptr;
        VX_ASSERT(*mList.Find(chosen->mKey, &missing) == chosen);
        const std::int32_t removed = mList.Remove(chosen->mKey);
        VX_ASSERT(removed == 1);
        return chosen;
    }

    std::int32_t mCapacity = kCapacity;
    std::uint32_t mUseCounter = 0;
    std::uint32_t mPurgeMark = 0;
    std::unique_ptr<Entry[]> mEntries;
    List mList;
};
} // namespace Vx
