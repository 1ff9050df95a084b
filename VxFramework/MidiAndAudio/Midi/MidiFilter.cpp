#include "VxFramework/MidiAndAudio/Midi/MidiFilter.h"

#include <cstring>

namespace Vx
{
namespace
{
bool IsPrefixOf(const MidiMessage& prefix, const signed char* data, std::uint32_t length)
{
    const std::uint32_t count = prefix.GetCount();
    // An empty prefix has no storage to compare, and needs none.
    return count <= length && (count == 0 || std::memcmp(prefix.GetDataConst(), data, count) == 0);
}

bool AnyIsPrefixOf(const Array<MidiMessage>& list, const signed char* data, std::uint32_t length)
{
    const std::uint32_t count = list.GetCount();
    for (std::uint32_t i = 0; i < count; ++i)
    {
        if (IsPrefixOf(list[i], data, length))
            return true;
    }
    return false;
}
} // namespace

LMidiFilterByDenyAllowPrefixLists::LMidiFilterByDenyAllowPrefixLists(const LMidiFilterByDenyAllowPrefixLists& other)
    : LRefCountedObject(other), LIMidiFilter(other), mDenyList(other.mDenyList), mAllowList(other.mAllowList)
{
}

RCPtr<LMidiFilterByDenyAllowPrefixLists> LMidiFilterByDenyAllowPrefixLists::Create()
{
    return RCPtr<LMidiFilterByDenyAllowPrefixLists>(new LMidiFilterByDenyAllowPrefixLists());
}

bool LMidiFilterByDenyAllowPrefixLists::Match(const signed char* data, std::uint32_t length)
{
    if (AnyIsPrefixOf(mDenyList, data, length))
        return false;
    return mAllowList.GetCount() == 0 || AnyIsPrefixOf(mAllowList, data, length);
}

RCPtr<LRefCountedObject, LRefCountedObject*> LMidiFilterByDenyAllowPrefixLists::CreateCopy() const
{
    return RCPtr<LRefCountedObject>(new LMidiFilterByDenyAllowPrefixLists(*this));
}
} // namespace Vx
