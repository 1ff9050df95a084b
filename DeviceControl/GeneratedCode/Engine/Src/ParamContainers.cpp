#include "DeviceControlClient/Inc/ParamContainers.h"

#include "VxFramework/ObjectBase/Exception.h"

#include <cstddef>
#include <limits>
#include <vector>

namespace Vx
{
namespace
{
// Ids and counts may arrive in any numeric tag; text, bytes, references and
// arrays are not numbers, and reading them as one would invent an id.
bool IsNumeric(const Variant& value)
{
    const std::uint32_t tag = value.GetTag();
    return tag >= Variant::T_BOOL && tag <= Variant::T_UINT64;
}

// The entry at index when it is an array of exactly `elements` elements.
std::int32_t ReadEntry(const Variant& list, std::uint32_t index, std::uint32_t elements, Variant& entry)
{
    if (index >= list.GetArrayCount())
        return kParamListIndexOutOfRange;
    if (list.GetArrayElement(index, entry) != 0 || entry.GetTag() != Variant::T_ARRAY ||
        entry.GetArrayCount() != elements)
        return kParamListMalformedEntry;
    return 0;
}

Variant MakeEntry(const Variant* elements, std::uint32_t count)
{
    Variant entry;
    entry.SetArray(elements, count);
    return entry;
}
} // namespace

bool ParamDescriptor::operator<(const ParamDescriptor& other) const
{
    const auto id = static_cast<std::uint32_t>(mParamID);
    const auto otherID = static_cast<std::uint32_t>(other.mParamID);
    if (id != otherID)
        return id < otherID;
    return Variant::CompareOrder(mKey, other.mKey) < 0;
}

StringT<char, unsigned short> ParamDescriptorToString(const ParamDescriptor& descriptor)
{
    return StringT<char, unsigned short>::Format("%u", static_cast<unsigned int>(descriptor.mParamID));
}

// --- ParamValues ---------------------------------------------------------

ParamValues::~ParamValues() = default;

std::int32_t ParamValues::GetEntry(std::uint32_t index, Variant& value, std::int32_t& paramID, Variant& key) const
{
    value.Clear();
    key.Clear();
    paramID = -1;
    Variant entry;
    const std::int32_t read = ReadEntry(*this, index, 3, entry);
    if (read != 0)
        return read;
    Variant elements[3];
    for (std::uint32_t i = 0; i < 3; ++i)
        entry.GetArrayElement(i, elements[i]);
    if (!IsNumeric(elements[1]))
        return kParamListMalformedEntry;
    value = elements[0];
    paramID = elements[1].GetInt32();
    key = elements[2];
    return 0;
}

std::int32_t ParamValues::Find(const ParamDescriptor& descriptor, Variant& value) const
{
    Variant entryValue;
    Variant key;
    std::int32_t paramID = -1;
    const std::uint32_t count = GetEntryCount();
    for (std::uint32_t i = 0; i < count; ++i)
    {
        const std::int32_t read = GetEntry(i, entryValue, paramID, key);
        if (read < 0)
        {
            value.Clear();
            return read;
        }
        if (descriptor.Matches(paramID, key))
        {
            value = entryValue;
            return 0;
        }
    }
    value.Clear();
    return 1;
}

std::int32_t ParamValues::SetValue(const ParamDescriptor& descriptor, const Variant& value)
{
    const std::uint32_t count = GetEntryCount();
    std::vector<ParamValue> output;
    output.reserve(static_cast<std::size_t>(count) + 1);
    // Positions in the output; once something is inserted a position may
    // equal the entry count, so "none" is a value no position can take.
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t found = kNone;
    std::size_t inserted = kNone;

    Variant entryValue;
    Variant key;
    std::int32_t paramID = -1;
    for (std::uint32_t j = 0; j < count; ++j)
    {
        const std::int32_t read = GetEntry(j, entryValue, paramID, key);
        if (read < 0)
            return read;
        if (descriptor.Matches(paramID, key))
        {
            if (entryValue == value)
                return 1;
            if (found != kNone)
            {
                // A second entry for the descriptor: the list was not built
                // by this operation.  Keep one entry per descriptor.
                VX_ASSERT_FALSE();
                continue;
            }
            found = output.size();
            output.emplace_back(paramID, key, entryValue);
            continue;
        }
        if (found == kNone && inserted == kNone && !(ParamDescriptor(paramID, key) < descriptor))
        {
            inserted = output.size();
            output.emplace_back(descriptor, value);
        }
        output.emplace_back(paramID, key, entryValue);
    }

    if (found != kNone)
    {
        output[found].mValue = value;
        if (inserted != kNone)
        {
            // Inserted before an entry that matched further on: an unsorted
            // list.  The matching entry takes the value; the insert goes.
            VX_ASSERT_FALSE();
            output.erase(output.begin() + static_cast<std::ptrdiff_t>(inserted));
        }
    }
    else if (inserted == kNone)
    {
        output.emplace_back(descriptor, value);
    }
    VX_ASSERT(output.size() == count || output.size() == static_cast<std::size_t>(count) + 1);
    return Assign(output.data(), static_cast<std::uint32_t>(output.size()));
}

std::int32_t ParamValues::Assign(const ParamValue* values, std::uint32_t count)
{
    if (values == nullptr || count == 0)
        return kParamListIndexOutOfRange;
    std::vector<Variant> entries(count);
    for (std::uint32_t i = 0; i < count; ++i)
    {
        const Variant elements[3] = {values[i].mValue, Variant(values[i].mDescriptor.mParamID),
                                     values[i].mDescriptor.mKey};
        entries[i] = MakeEntry(elements, 3);
    }
    SetArray(entries.data(), count);
    return 0;
}

// --- ParamDescriptors ----------------------------------------------------

ParamDescriptors::~ParamDescriptors() = default;

std::int32_t ParamDescriptors::Assign(const ParamDescriptor* descriptors, std::uint32_t count)
{
    if (descriptors == nullptr || count == 0)
        return kParamListIndexOutOfRange;
    std::vector<Variant> entries(count);
    for (std::uint32_t i = 0; i < count; ++i)
    {
        const Variant elements[2] = {Variant(descriptors[i].mParamID), descriptors[i].mKey};
        entries[i] = MakeEntry(elements, 2);
    }
    SetArray(entries.data(), count);
    return 0;
}

std::int32_t ParamDescriptors::AssignFromRanges(const ParamRanges& ranges)
{
    const std::uint32_t rangeCount = ranges.GetEntryCount();
    std::vector<ParamRange> read(rangeCount);
    std::uint64_t total = 0;
    for (std::uint32_t i = 0; i < rangeCount; ++i)
    {
        ParamRange& range = read[i];
        const std::int32_t result = ranges.GetRange(i, range);
        if (result < 0)
            return result;
        if (range.mCount < 0)
            return kParamListIndexOutOfRange;
        const std::int64_t last = static_cast<std::int64_t>(range.mFirstParamID) + range.mCount - 1;
        if (last > std::numeric_limits<std::int32_t>::max())
            return kParamListIndexOutOfRange;
        total += static_cast<std::uint64_t>(range.mCount);
        if (total > kMaxExpandedCount)
            return kParamListIndexOutOfRange;
    }

    std::vector<ParamDescriptor> descriptors;
    descriptors.reserve(static_cast<std::size_t>(total));
    for (const ParamRange& range : read)
    {
        for (std::int32_t k = 0; k < range.mCount; ++k)
            descriptors.emplace_back(range.mFirstParamID + k);
    }
    if (descriptors.empty())
        SetArray(nullptr, 0);
    else
        Assign(descriptors.data(), static_cast<std::uint32_t>(descriptors.size()));
    return 0;
}

// --- ParamRanges ---------------------------------------------------------

ParamRanges::~ParamRanges() = default;

std::int32_t ParamRanges::Assign(const ParamRange* ranges, std::uint32_t count)
{
    if (ranges == nullptr || count == 0)
        return kParamListIndexOutOfRange;
    std::vector<Variant> entries(count);
    for (std::uint32_t i = 0; i < count; ++i)
    {
        const Variant elements[2] = {Variant(ranges[i].mFirstParamID), Variant(ranges[i].mCount)};
        entries[i] = MakeEntry(elements, 2);
    }
    SetArray(entries.data(), count);
    return 0;
}

std::int32_t ParamRanges::GetRange(std::uint32_t index, ParamRange& range) const
{
    range = ParamRange{};
    Variant entry;
    const std::int32_t read = ReadEntry(*this, index, 2, entry);
    if (read != 0)
        return read;
    Variant first;
    Variant count;
    entry.GetArrayElement(0, first);
    entry.GetArrayElement(1, count);
    if (!IsNumeric(first) || !IsNumeric(count))
        return kParamListMalformedEntry;
    range.mFirstParamID = first.GetInt32();
    range.mCount = count.GetInt32();
    return 0;
}
} // namespace Vx
