#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/Utilities/Storage/Buffer.h"
#include "VxFramework/Utilities/Storage/Iterable.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <type_traits>
#include <utility>

namespace Vx
{
// An array of reference-counted objects kept as raw pointers, each non-null
// slot owning one reference.  This is the storage owner and the read-only face;
// RCPtrArray adds the modifiable face over the same slots.  Moving slots around
// (gaps, reallocation) copies raw pointers and touches no reference count.
template <class T, std::uint32_t G = 1, std::uint32_t S = 0>
class ConstRCPtrArray : public IArray<ConstRCPtr<T>>
{
    // A slot is read as either smart pointer: both must be exactly one raw pointer.
    static_assert(sizeof(ConstRCPtr<T>) == sizeof(T*) && std::is_standard_layout_v<ConstRCPtr<T>>);
    static_assert(sizeof(RCPtr<T>) == sizeof(T*) && std::is_standard_layout_v<RCPtr<T>>);

public:
    using Element = ConstRCPtr<T>;

    explicit ConstRCPtrArray(std::uint32_t count = 0, std::uint32_t reserve = 0)
        : mStorage(SlotBytes(count), reserve > count ? SlotBytes(reserve) : 0, 1)
    {
    }

    ConstRCPtrArray(const ConstRCPtrArray& other) : ConstRCPtrArray() { this->CopyFrom(other); }

    ConstRCPtrArray& operator=(const ConstRCPtrArray& other)
    {
        this->CopyFrom(other);
        return *this;
    }

    virtual ~ConstRCPtrArray() { ConstRCPtrArray::SetCount(0); }

    std::uint32_t GetCount() const override { return mStorage.GetSize() / kSlotSize; }

    ConstRCPtr<T>* GetData() override { return reinterpret_cast<ConstRCPtr<T>*>(Slots()); }

    // Swaps the raw pointers: no reference traffic.
    VxRESULT Swap(std::uint32_t i, std::uint32_t j) override
    {
        const std::uint32_t count = ConstRCPtrArray::GetCount();
        if (count <= i || count <= j)
            return VXR_E_INVALIDARG;
        std::swap(Slots()[i], Slots()[j]);
        return VXR_OK;
    }

    // Returns the index of the new element.
    VxRESULT Insert(std::uint32_t index, const ConstRCPtr<T>& item) override
    {
        // The reference is taken before the array changes: the item may live in
        // this array's storage, and taking it may throw (copy-on-share).
        ConstRCPtr<T> held(item);
        const VxRESULT result = ConstRCPtrArray::InsertSpace(index, 1);
        if (Failed(result))
            return result;
        SlotAs<ConstRCPtr<T>>(index) = std::move(held);
        return static_cast<VxRESULT>(index);
    }

    // Hands the slot's reference to out; an index outside the array throws.
    VxRESULT RemoveAt(std::uint32_t index, ConstRCPtr<T>& out) override
    {
        if (index >= ConstRCPtrArray::GetCount())
            VX_THROW(std::out_of_range, "");
        return TakeAt(index, out);
    }

    // Hands the last reference to out; out is null when the array was empty.
    VxRESULT RemoveLast(ConstRCPtr<T>& out) override
    {
        out = nullptr;
        if (ConstRCPtrArray::GetCount() == 0)
        {
            VX_ASSERT_FALSE();
            return VXR_E_FAIL;
        }
        return TakeAt(ConstRCPtrArray::GetCount() - 1, out);
    }

    VxRESULT SetCount(std::uint32_t n) override
    {
        const std::uint32_t count = ConstRCPtrArray::GetCount();
        if (count > n)
            return ConstRCPtrArray::RemoveSpace(n, count - n);
        if (n == count)
            return static_cast<VxRESULT>(n);
        const VxRESULT resized = ResizeStorage(n);
        if (Failed(resized))
            return resized;
        std::fill(Slots() + count, Slots() + n, nullptr);
        return static_cast<VxRESULT>(n);
    }

    VxRESULT InsertSpace(std::uint32_t index, std::uint32_t n) override
    {
        const std::uint32_t count = ConstRCPtrArray::GetCount();
        if (n == 0)
            return static_cast<VxRESULT>(count);
        if (index > count)
        {
            VX_ASSERT_FALSE();
            return VXR_E_INVALIDARG;
        }
        if (n > kMaxSlots - count)
            return VXR_E_FAIL;
        if (index == count)
            return ConstRCPtrArray::SetCount(count + n);
        const VxRESULT resized = ResizeStorage(count + n);
        if (Failed(resized))
        {
            VX_ASSERT_FALSE();
            return resized;
        }
        T** const slots = Slots();
        std::memmove(slots + index + n, slots + index, static_cast<std::size_t>(count - index) * kSlotSize);
        std::fill(slots + index, slots + index + n, nullptr);
        return static_cast<VxRESULT>(count + n);
    }

    // Releases the n elements from the index on, in ascending order, and closes
    // the gap.  A range outside the array changes nothing.
    VxRESULT RemoveSpace(std::uint32_t index, std::uint32_t n) override
    {
        const std::uint32_t count = ConstRCPtrArray::GetCount();
        if (n == 0)
            return static_cast<VxRESULT>(count);
        if (static_cast<std::uint64_t>(index) + n > count)
        {
            VX_ASSERT_FALSE();
            return VXR_E_INVALIDARG;
        }
        // Each slot is emptied before its pointee is released, so a destructor
        // that looks at this array meets only null slots or owned references.
        for (std::uint32_t i = index; i < index + n; ++i)
            ConstRCPtr<T> dropped(std::move(SlotAs<ConstRCPtr<T>>(i)));
        return RemoveRange(index, n);
    }

    // Resizes the slot storage; no reference is taken or dropped.
    VxRESULT ResizeStorage(std::uint32_t n)
    {
        if (n > kMaxSlots)
            return VXR_E_FAIL;
        const auto bytes = static_cast<std::uint32_t>(SlotBytes(n));
        if (static_cast<std::uint32_t>(mStorage.Resize(bytes)) != bytes || mStorage.GetSize() != bytes)
            return VXR_E_FAIL;
        return static_cast<VxRESULT>(n);
    }

    // Closes a range of slots that the caller has already emptied.
    VxRESULT RemoveRange(std::uint32_t index, std::uint32_t n)
    {
        const std::uint32_t count = ConstRCPtrArray::GetCount();
        if (n == 0)
            return static_cast<VxRESULT>(count);
        if (static_cast<std::uint64_t>(index) + n > count)
        {
            VX_ASSERT_FALSE();
            return VXR_E_INVALIDARG;
        }
        T** const slots = Slots();
        std::memmove(slots + index, slots + index + n, static_cast<std::size_t>(count - index - n) * kSlotSize);
        return ResizeStorage(count - n);
    }

protected:
    static constexpr std::uint32_t kSlotSize = sizeof(T*);
    static constexpr std::uint32_t kMaxSlots = kMaxBufferSize / kSlotSize;

    static std::uint32_t SlotBytes(std::uint32_t count)
    {
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(count, kMaxSlots) * kSlotSize);
    }

    T** Slots() const { return reinterpret_cast<T**>(mStorage.GetData()); }

    // A slot seen as the smart pointer of either face: the slot is that pointer.
    template <class P>
    P& SlotAs(std::uint32_t index) const
    {
        return *reinterpret_cast<P*>(Slots() + index);
    }

    // Moves the slot's reference into out and closes the slot; the index is valid.
    template <class P>
    VxRESULT TakeAt(std::uint32_t index, P& out)
    {
        P taken(std::move(SlotAs<P>(index)));
        const VxRESULT result = RemoveRange(index, 1);
        // Whatever out held goes only once the array is whole again.
        out = std::move(taken);
        return result;
    }

private:
    using Storage = BufferT<kSlotSize * G, kSlotSize * S, 8, T**, GetSystemAllocator>;

    Storage mStorage;
};
} // namespace Vx
