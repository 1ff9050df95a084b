#pragma once

#include "VxFramework/Notification/Holder.h"
#include "VxFramework/Utilities/Storage/Pair.h"
#include "VxFramework/Utilities/Storage/StringT.h"
#include "VxFramework/Utilities/Storage/Variant.h"
#include "VxFramework/Utilities/Storage/VxArray.h"

#include <cstdint>

namespace Vx
{
class ParamRanges;

// Results of the list operations.  A list arrives from the client library as
// one Variant, so its contents are checked where they are read, never trusted.
inline constexpr std::int32_t kParamListIndexOutOfRange = -4;
inline constexpr std::int32_t kParamListMalformedEntry = -7;

// A 16-byte identifier, as the client library's device discovery filters by.
struct GUID
{
    std::uint32_t mData1 = 0;
    std::uint16_t mData2 = 0;
    std::uint16_t mData3 = 0;
    std::uint8_t mData4[8] = {};
};
static_assert(sizeof(GUID) == 16);

// A run of consecutive parameter ids.
struct ParamRange
{
    std::int32_t mFirstParamID = -1;
    std::int32_t mCount = 0;
};

// One parameter, or one element of a keyed parameter when the key is not empty.
class ParamDescriptor
{
public:
    ParamDescriptor() = default;
    explicit ParamDescriptor(std::int32_t paramID) : mParamID(paramID) {}
    ParamDescriptor(std::int32_t paramID, const Variant& key) : mParamID(paramID), mKey(key) {}

    // Ids compared as unsigned numbers, so that negative (device-level) ids
    // sort after the tree's own; equal ids by key, an empty key first.
    bool operator<(const ParamDescriptor& other) const;
    // Same id and an equal key.
    bool Matches(std::int32_t paramID, const Variant& key) const { return mParamID == paramID && mKey == key; }

    std::int32_t mParamID = -1;
    Variant mKey;
};

// The id printed as an unsigned number (-4 gives 4294967292): the text form
// of a descriptor and value pair.
StringT<char, unsigned short> ParamDescriptorToString(const ParamDescriptor& descriptor);

class ParamValue
{
public:
    ParamValue() = default;
    explicit ParamValue(std::int32_t paramID) : mDescriptor(paramID) {}
    ParamValue(std::int32_t paramID, const Variant& key, const Variant& value)
        : mDescriptor(paramID, key), mValue(value)
    {
    }
    ParamValue(const ParamDescriptor& descriptor, const Variant& value) : mDescriptor(descriptor), mValue(value) {}

    ParamDescriptor mDescriptor;
    Variant mValue;
};

// The three list types are Variants holding an array of fixed-length entries,
// so that a whole list crosses the client library's interface as one value.
// Readers take ids and counts with GetInt32 (any numeric tag); writers write
// 32-bit signed integers.

// Entries [value, id, key], sorted in descriptor order when built by SetValue.
class ParamValues : public Variant
{
public:
    ParamValues() = default;
    ~ParamValues() override;

    std::uint32_t GetEntryCount() const { return GetArrayCount(); }
    // 0, kParamListIndexOutOfRange or kParamListMalformedEntry; the outputs
    // are cleared (the id set to -1) before anything is read.
    std::int32_t GetEntry(std::uint32_t index, Variant& value, std::int32_t& paramID, Variant& key) const;
    // The value of the first entry matching the descriptor: 0; 1 when none
    // matches; a malformed entry stops the scan with its error.  The output is
    // cleared unless an entry matched.
    std::int32_t Find(const ParamDescriptor& descriptor, Variant& value) const;
    // Inserts the value in descriptor order or replaces the matching entry's:
    // 0 changed, 1 already held, negative for a malformed list (left as it was).
    std::int32_t SetValue(const ParamDescriptor& descriptor, const Variant& value);
    // Replaces the whole list by one entry per element, in order: 0, or
    // kParamListIndexOutOfRange with the list kept when there is nothing.
    std::int32_t Assign(const ParamValue* values, std::uint32_t count);
};

// Entries [id, key].
class ParamDescriptors : public Variant
{
public:
    // The most descriptors a list of ranges may expand to.  No list of this
    // model comes near it (the tree has 106 parameters); a count from outside
    // beyond it would only exhaust memory.
    static constexpr std::uint32_t kMaxExpandedCount = 65536;

    ParamDescriptors() = default;
    ~ParamDescriptors() override;

    std::uint32_t GetEntryCount() const { return GetArrayCount(); }
    // 0, or kParamListIndexOutOfRange with the list kept when there is nothing.
    std::int32_t Assign(const ParamDescriptor* descriptors, std::uint32_t count);
    // One descriptor with an empty key for every id of every range, in order:
    // 0.  A malformed range gives kParamListMalformedEntry; a negative count,
    // a run past the largest id or more than kMaxExpandedCount ids give
    // kParamListIndexOutOfRange; the list is kept in both cases.
    std::int32_t AssignFromRanges(const ParamRanges& ranges);
};

// Entries [first id, count].
class ParamRanges : public Variant
{
public:
    ParamRanges() = default;
    ~ParamRanges() override;

    std::uint32_t GetEntryCount() const { return GetArrayCount(); }
    // 0, or kParamListIndexOutOfRange with the list kept when there is nothing.
    std::int32_t Assign(const ParamRange* ranges, std::uint32_t count);
    // 0; kParamListIndexOutOfRange or kParamListMalformedEntry with the range
    // set to {-1, 0}.
    std::int32_t GetRange(std::uint32_t index, ParamRange& range) const;
};

// A list of values that can be queued and posted.
using LParamValuesWrapper = LWrapper<ParamValues, LRefCountedObject>;
// One descriptor with its value, as a notification parameter.
using LParamPair = LPair<ParamDescriptor, Variant, ParamDescriptorToString>;
} // namespace Vx
