#include "DeviceControl/GeneratedCode/Engine/Inc/ParamCache.h"

namespace Vx
{
LParamCache::LParamCache(std::uint32_t slotCount) : mSlotCount(slotCount), mSlots(new Variant[slotCount]) {}

LParamCache::~LParamCache() = default;

std::int32_t LParamCache::Store(const ParamDescriptor& descriptor, const Variant& value, bool notify)
{
    // Compared unsigned, so that a negative index is out of range too.
    const auto index = static_cast<std::uint32_t>(descriptor.mParamID);
    if (index >= mSlotCount)
        return -1;
    Variant& slot = mSlots[index];
    if (descriptor.mKey.GetTag() == Variant::T_NONE)
    {
        if (slot == value)
            return 1;
        slot = value;
        if (notify)
            OnCachedValueChanged(index, slot);
        return 0;
    }

    // A slot that holds no array reads as an empty list.
    ParamValues list;
    if (slot.GetTag() == Variant::T_ARRAY)
        list.CopyFrom(slot);
    const std::int32_t result = list.SetValue(descriptor, value);
    if (result < 0)
        return -1;
    if (result == 1)
        return 1;
    slot = list;
    if (notify)
        OnCachedValueChanged(index, slot);
    return 0;
}

std::int32_t LParamCache::Read(const ParamDescriptor& descriptor, Variant& value)
{
    value.Clear();
    const auto index = static_cast<std::uint32_t>(descriptor.mParamID);
    if (index >= mSlotCount)
        return -1;
    const Variant& slot = mSlots[index];
    if (descriptor.mKey.GetTag() == Variant::T_NONE)
    {
        value = slot;
        return 0;
    }
    ParamValues list;
    list.CopyFrom(slot);
    return list.Find(descriptor, value);
}

void LParamCache::EnableChangeNotifications(bool) {}

void LParamCache::OnCachedValueChanged(std::uint32_t, const Variant&) {}
} // namespace Vx
