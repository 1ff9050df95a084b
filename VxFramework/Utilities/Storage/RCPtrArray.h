#pragma once

#include "VxFramework/ObjectBase/TaggableObject.h"
#include "VxFramework/Utilities/Storage/ConstRCPtrArray.h"

namespace Vx
{
// The modifiable face's Insert, RemoveAt and RemoveLast hide the read-only
// face's on purpose: callers that want those go through the base.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Woverloaded-virtual"
#elif defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Woverloaded-virtual"
#endif

// The modifiable face over a ConstRCPtrArray's slots: the same storage, the
// elements seen as RCPtr<T>.  Owners keep this and hand out the base where
// callers should only read.  Unqualified names reach the modifiable face.
template <class T, std::uint32_t G = 1, std::uint32_t S = 0>
class RCPtrArray : public IArray<RCPtr<T>>, public ConstRCPtrArray<T, G, S>
{
    using Face = IArray<RCPtr<T>>;
    using Store = ConstRCPtrArray<T, G, S>;

public:
    using Element = RCPtr<T>;
    using typename Face::Iterator;
    using typename Face::ConstIterator;

    explicit RCPtrArray(std::uint32_t count = 0, std::uint32_t reserve = 0) : Face(), Store(count, reserve) {}

    RCPtrArray(const RCPtrArray& other) : Face(), Store() { Face::CopyFrom(other); }

    RCPtrArray& operator=(const RCPtrArray& other)
    {
        Face::CopyFrom(other);
        return *this;
    }

    ~RCPtrArray() override = default;

    // These serve both faces.
    std::uint32_t GetCount() const override { return Store::GetCount(); }
    RCPtr<T>* GetData() override { return reinterpret_cast<RCPtr<T>*>(Store::GetData()); }
    VxRESULT SetCount(std::uint32_t n) override { return Store::SetCount(n); }
    VxRESULT InsertSpace(std::uint32_t index, std::uint32_t n) override { return Store::InsertSpace(index, n); }
    VxRESULT RemoveSpace(std::uint32_t index, std::uint32_t n) override { return Store::RemoveSpace(index, n); }

    // Returns the index of the new element.
    VxRESULT Insert(std::uint32_t index, const RCPtr<T>& item) override
    {
        // Taken before the array changes: the item may live in this array's
        // storage, and taking it may throw (copy-on-share).
        RCPtr<T> held(item);
        const VxRESULT result = Store::InsertSpace(index, 1);
        if (Failed(result))
            return result;
        this->template SlotAs<RCPtr<T>>(index) = std::move(held);
        return static_cast<VxRESULT>(index);
    }

    // Hands the slot's reference to out; an index outside the array throws.
    VxRESULT RemoveAt(std::uint32_t index, RCPtr<T>& out) override
    {
        if (index >= Store::GetCount())
            VX_THROW(std::out_of_range, "");
        return this->TakeAt(index, out);
    }

    // Hands the last reference to out; out is null when the array was empty.
    VxRESULT RemoveLast(RCPtr<T>& out) override
    {
        out = nullptr;
        if (Store::GetCount() == 0)
        {
            VX_ASSERT_FALSE();
            return VXR_E_FAIL;
        }
        return this->TakeAt(Store::GetCount() - 1, out);
    }

    using Face::GetMaxCount;
    using Face::Begin;
    using Face::CBegin;
    using Face::End;
    using Face::CEnd;
    using Face::RBegin;
    using Face::CRBegin;
    using Face::REnd;
    using Face::CREnd;
    using Face::GetElement;
    using Face::GetElementConst;
    using Face::GetAtConst;
    using Face::GetAt;
    using Face::Swap;
    using Face::Advance;
    using Face::First;
    using Face::EndPtr;
    using Face::Last;
    using Face::BeforeFirst;
    using Face::RemoveAll;
    using Face::AppendAll;
    using Face::Add;
    using Face::CopyFrom;
    using Face::GetDataConst;
    using Face::AppendAllDirect;
    using Face::IsEmpty;
    using Face::operator[];
    using Face::Append;
    using Face::begin;
    using Face::end;
};

#if defined(__clang__)
#pragma clang diagnostic pop
#elif defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

// An RCPtrArray that is itself reference counted, so that a whole list can be
// shared through smart pointers.
template <class T, std::uint32_t G = 1, std::uint32_t S = 0>
class LRCPtrArray : public RCPtrArray<T, G, S>, public virtual LTaggableObject
{
public:
    explicit LRCPtrArray(std::uint32_t count = 0, std::uint32_t reserve = 0) : RCPtrArray<T, G, S>(count, reserve) {}
    // Shared through smart pointers, never copied.
    LRCPtrArray(const LRCPtrArray&) = delete;
    LRCPtrArray& operator=(const LRCPtrArray&) = delete;
    ~LRCPtrArray() override = default;
};
} // namespace Vx
