#pragma once

#include "VxFramework/Utilities/Storage/Iterable.h"

#include <cstdint>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <vector>

namespace Vx
{
// An array of objects with constructors and destructors, kept in a vector.
template <class T>
class Array : public IArray<T>
{
    // std::vector<bool> has no contiguous element storage; plain flags go in an ArrayBuffer.
    static_assert(!std::is_same_v<T, bool>, "Vx::Array<bool> cannot hand out element pointers");

public:
    Array() = default;
    Array(const Array&) = default;
    Array& operator=(const Array&) = default;
    virtual ~Array() = default;

    std::uint32_t GetCount() const override { return static_cast<std::uint32_t>(mItems.size()); }

    // Range-tested: an index at or beyond the count throws std::out_of_range.
    const T* GetAtConst(std::uint32_t index) const override { return &mItems.at(index); }
    T* GetAt(std::uint32_t index) override { return &mItems.at(index); }

    // Returns the index of the new element.
    VxRESULT Insert(std::uint32_t index, const T& item) override
    {
        if (index > GetCount())
        {
            VX_ASSERT_FALSE();
            return VXR_E_INVALIDARG;
        }
        if (GetCount() >= this->GetMaxCount())
            return VXR_E_FAIL;
        try
        {
            mItems.insert(mItems.begin() + index, item);
        }
        catch (const std::bad_alloc&)
        {
            return VXR_E_FAIL;
        }
        return static_cast<VxRESULT>(index);
    }

    VxRESULT RemoveAt(std::uint32_t index, T& out) override
    {
        out = *GetAt(index);
        return RemoveSpace(index, 1);
    }

    VxRESULT SetCount(std::uint32_t n) override
    {
        if (n > this->GetMaxCount())
            return VXR_E_FAIL;
        try
        {
            mItems.resize(n);
        }
        catch (const std::bad_alloc&)
        {
            return VXR_E_FAIL;
        }
        return static_cast<VxRESULT>(n);
    }

    VxRESULT InsertSpace(std::uint32_t index, std::uint32_t n) override
    {
        const std::uint32_t count = GetCount();
        if (index > count)
        {
            VX_ASSERT_FALSE();
            return VXR_E_INVALIDARG;
        }
        if (n > this->GetMaxCount() - count)
            return VXR_E_FAIL;
        try
        {
            mItems.insert(mItems.begin() + index, n, T());
        }
        catch (const std::bad_alloc&)
        {
            return VXR_E_FAIL;
        }
        return static_cast<VxRESULT>(GetCount());
    }

    VxRESULT RemoveSpace(std::uint32_t index, std::uint32_t n) override
    {
        const std::uint32_t count = GetCount();
        if (index >= count || static_cast<std::uint64_t>(index) + n > count)
        {
            VX_ASSERT_FALSE();
            return VXR_E_INVALIDARG;
        }
        mItems.erase(mItems.begin() + index, mItems.begin() + index + n);
        return static_cast<VxRESULT>(GetCount());
    }

    T* GetData() override { return mItems.empty() ? nullptr : mItems.data(); }
    const T* GetDataConst() const override { return mItems.empty() ? nullptr : mItems.data(); }

private:
    std::vector<T> mItems;
};
} // namespace Vx
