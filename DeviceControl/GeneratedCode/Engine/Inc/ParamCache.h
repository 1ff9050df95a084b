#pragma once

#include "DeviceControlClient/Inc/ParamContainers.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"

#include <cstdint>
#include <memory>

namespace Vx
{
// The last known value of every parameter of the root module, one slot per
// parameter index (its id minus the root's first id).  A keyed parameter
// keeps all its elements in its slot as a ParamValues list whose entries
// carry the index as their id.  No lock: the owner serialises the calls.
class LParamCache : public virtual LRefCountedObject
{
public:
    explicit LParamCache(std::uint32_t slotCount);

    // 0 when the slot changed, 1 when it already held the value, -1 for an
    // index out of range or a keyed store into a malformed list (the slot is
    // kept).  With notify set, a change calls OnCachedValueChanged once.
    virtual std::int32_t Store(const ParamDescriptor& descriptor, const Variant& value, bool notify);
    // The value is cleared first.  Empty key: a copy of the slot (empty and
    // 0 for a slot never written).  Keyed: 0 found, 1 absent, negative for a
    // malformed list.  -1 for an index out of range.
    virtual std::int32_t Read(const ParamDescriptor& descriptor, Variant& value);
    // No effect here; the owner calls it once the cache holds its defaults.
    virtual void EnableChangeNotifications(bool enable);
    ~LParamCache() override;

    std::uint32_t GetSlotCount() const noexcept { return mSlotCount; }

protected:
    // Called by Store for every change made with notify set; the value is the
    // slot's new content (the whole list for a keyed store).
    virtual void OnCachedValueChanged(std::uint32_t index, const Variant& value);

private:
    const std::uint32_t mSlotCount;
    const std::unique_ptr<Variant[]> mSlots;
};
} // namespace Vx
