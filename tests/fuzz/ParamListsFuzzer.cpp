// Reads arbitrary bytes as the list types that arrive from the client library
// (values, descriptors, ranges) and checks what the model relies on: every
// read is bounded and refuses malformed entries, a value set can be found
// again, a keyed store into the cache never loses a slot it refused.
#include "DeviceControl/GeneratedCode/Engine/Inc/ParamCache.h"
#include "DeviceControlClient/Inc/ParamContainers.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace
{
void Check(bool condition)
{
    if (!condition)
        std::abort();
}

bool SameBytes(const Vx::Variant& a, const Vx::Variant& b)
{
    return a.GetTag() == b.GetTag() && a == b;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 0xFFFFFFFFu)
        return 0;
    Vx::ParamValues values;
    if (values.Deserialize(data, static_cast<std::uint32_t>(size)) != Vx::VXR_OK)
        return 0;

    // Entries read or are refused; never past the count.
    const std::uint32_t count = values.GetEntryCount();
    for (std::uint32_t i = 0; i <= count; ++i)
    {
        Vx::Variant value;
        Vx::Variant key;
        std::int32_t id = 0;
        const std::int32_t result = values.GetEntry(i, value, id, key);
        Check(result == 0 || result == Vx::kParamListIndexOutOfRange || result == Vx::kParamListMalformedEntry);
        Check(i < count || result == Vx::kParamListIndexOutOfRange);
        Check(result == 0 || (id == -1 && value.GetTag() == Vx::Variant::T_NONE));
    }

    // A value set is found again; a refused set leaves the list as it was.
    const Vx::ParamDescriptor descriptors[] = {Vx::ParamDescriptor(0), Vx::ParamDescriptor(3, Vx::Variant(1)),
                                               Vx::ParamDescriptor(-4)};
    for (const Vx::ParamDescriptor& descriptor : descriptors)
    {
        Vx::ParamValues copy(values);
        const std::int32_t result = copy.SetValue(descriptor, Vx::Variant(size));
        Vx::Variant found;
        if (result >= 0)
        {
            Check(copy.Find(descriptor, found) == 0);
            Check(found == Vx::Variant(size));
            Check(copy.GetEntryCount() <= count + 1);
        }
        else
        {
            Check(SameBytes(copy, values));
        }
    }

    // The same bytes as ranges expand within the limit or are refused.
    Vx::ParamRanges ranges;
    static_cast<Vx::Variant&>(ranges) = values;
    Vx::ParamDescriptors expanded;
    if (expanded.AssignFromRanges(ranges) == 0)
        Check(expanded.GetEntryCount() <= Vx::ParamDescriptors::kMaxExpandedCount);

    // As a slot of the cache.
    const Vx::RCPtr<Vx::LParamCache> cache(new Vx::LParamCache(4));
    cache->Store(Vx::ParamDescriptor(1), values, false);
    const std::int32_t stored = cache->Store(Vx::ParamDescriptor(1, Vx::Variant(7)), Vx::Variant(7), false);
    Vx::Variant slot;
    cache->Read(Vx::ParamDescriptor(1), slot);
    Check(stored >= 0 || SameBytes(slot, values) || values.GetTag() != Vx::Variant::T_ARRAY);
    return 0;
}
