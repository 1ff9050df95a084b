#pragma once

#include "VxFramework/MidiAndAudio/Midi/MidiMessage.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/Utilities/Storage/VxArray.h"

#include <cstdint>

namespace Vx
{
// Decides which captured messages a MIDI client is given.
class IMidiFilter
{
public:
    // True when the message (its bytes and their count) is to be delivered.
    virtual bool Match(const signed char* data, std::uint32_t length) = 0;

protected:
    ~IMidiFilter() = default;
};

// A filter held through RCPtr.
class LIMidiFilter : public IMidiFilter, public virtual LRefCountedObject
{
public:
    ~LIMidiFilter() override = default;
};

// Deny and allow lists of byte prefixes.  The deny list is read first: a
// message that begins with one of its entries is refused.  Otherwise a message
// that begins with an allow entry is accepted, and so is every message when
// the allow list is empty.  An empty entry is a prefix of every message.
class LMidiFilterByDenyAllowPrefixLists : public LIMidiFilter
{
public:
    LMidiFilterByDenyAllowPrefixLists() = default;
    LMidiFilterByDenyAllowPrefixLists(const LMidiFilterByDenyAllowPrefixLists& other);
    ~LMidiFilterByDenyAllowPrefixLists() override = default;

    // Both lists empty: the filter accepts everything.
    static RCPtr<LMidiFilterByDenyAllowPrefixLists> Create();

    void SetDenyList(const Array<MidiMessage>& list) { mDenyList = list; }
    void SetAllowList(const Array<MidiMessage>& list) { mAllowList = list; }
    const Array<MidiMessage>& GetDenyList() const { return mDenyList; }
    const Array<MidiMessage>& GetAllowList() const { return mAllowList; }

    bool Match(const signed char* data, std::uint32_t length) override;

    // A new filter with copies of both lists.
    RCPtr<LRefCountedObject, LRefCountedObject*> CreateCopy() const override;

private:
    Array<MidiMessage> mDenyList;
    Array<MidiMessage> mAllowList;
};
} // namespace Vx
