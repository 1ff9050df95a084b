#pragma once

#include "VxFramework/Utilities/Storage/Buffer.h"
#include "VxFramework/Utilities/Storage/Iterable.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace Vx
{
// An array of plain values kept as bytes in a framework buffer: elements are
// copied as bytes, never constructed or destroyed, and new elements are zero.
// The storage grows in steps of G elements and is given back only when more
// than S elements (or G - 1) would stay unused.
template <class T, std::uint32_t G = 1, std::uint32_t S = 0, bool Z = true, std::uint32_t A = 8,
    AllocatorSource Alloc = GetSystemAllocator>
class ArrayBuffer : public IArray<T>
{
    static_assert(std::is_trivially_copyable_v<T>, "ArrayBuffer holds plain values only");
    static_assert(Z, "new elements of an ArrayBuffer are always zero");

public:
    ArrayBuffer() : mBuffer(0, 0, 0) {}
    ArrayBuffer(const ArrayBuffer& other) : IArray<T>(), mBuffer(0, 0, 0) { this->AppendAllDirect(other); }

    ArrayBuffer& operator=(const ArrayBuffer& other)
    {
        this->CopyFrom(other);
        return *this;
    }

    virtual ~ArrayBuffer() = default;

    std::uint32_t GetCount() const override { return HeapCount(); }

    // Returns the new count.
    VxRESULT Insert(std::uint32_t index, const T& item) override
    {
        // Copied first: the item may lie in the storage that InsertSpace moves.
        const T copy = item;
        const VxRESULT result = InsertSpace(index, 1);
        if (Succeeded(result))
            std::memcpy(static_cast<void*>(GetData() + index), &copy, sizeof(T));
        return result;
    }

    // An index outside the array fails as RemoveSpace does, and out is not written.
    VxRESULT RemoveAt(std::uint32_t index, T& out) override
    {
        if (index < this->GetCount())
            std::memcpy(static_cast<void*>(&out), GetData() + index, sizeof(T));
        return RemoveSpace(index, 1);
    }

    VxRESULT SetCount(std::uint32_t n) override
    {
        const std::uint32_t old = this->GetCount();
        const VxRESULT result = ResizeStorage(n);
        if (Succeeded(result) && n > old)
            Zero(old, n - old);
        return result;
    }

    VxRESULT InsertSpace(std::uint32_t index, std::uint32_t n) override
    {
        const std::uint32_t count = this->GetCount();
        if (n == 0)
            return static_cast<VxRESULT>(count);
        if (index > count)
        {
            VX_ASSERT_FALSE();
            return VXR_E_INVALIDARG;
        }
        if (n > kMaxCount - count)
            return VXR_E_FAIL;
        if (index == count)
            return SetCount(count + n);
        const VxRESULT resized = ResizeStorage(count + n);
        if (Failed(resized))
        {
            VX_ASSERT_FALSE();
            return resized;
        }
        T* const data = GetData();
        std::memmove(static_cast<void*>(data + index + n), data + index, static_cast<std::size_t>(count - index) * sizeof(T));
        Zero(index, n);
        return static_cast<VxRESULT>(count + n);
    }

    VxRESULT RemoveSpace(std::uint32_t index, std::uint32_t n) override
    {
        const std::uint32_t count = this->GetCount();
        if (n == 0)
            return static_cast<VxRESULT>(count);
        if (static_cast<std::uint64_t>(index) + n > count)
        {
            VX_ASSERT_FALSE();
            return VXR_E_INVALIDARG;
        }
        T* const data = GetData();
        std::memmove(static_cast<void*>(data + index), data + index + n,
            static_cast<std::size_t>(count - index - n) * sizeof(T));
        return ResizeStorage(count - n);
    }

    // May be non-null while the count is 0, when the buffer kept its block.
    T* GetData() override { return reinterpret_cast<T*>(mBuffer.GetData()); }

    // Resizes the storage to n elements; the kept elements keep their bytes.
    virtual VxRESULT ResizeStorage(std::uint32_t n)
    {
        if (n > kMaxCount)
            return VXR_E_FAIL;
        const auto bytes = static_cast<std::uint32_t>(n * sizeof(T));
        mBuffer.Resize(bytes);
        if (mBuffer.GetSize() != bytes)
            return VXR_E_FAIL;
        return static_cast<VxRESULT>(n);
    }

protected:
    using Storage = BufferT<static_cast<std::uint32_t>(sizeof(T)) * G, static_cast<std::uint32_t>(sizeof(T)) * S, A, T*,
        Alloc>;

    // The largest count whose byte size a buffer can hold.
    static constexpr std::uint32_t kMaxCount =
        static_cast<std::uint32_t>(kMaxBufferSize / sizeof(T));

    std::uint32_t HeapCount() const { return mBuffer.GetSize() / static_cast<std::uint32_t>(sizeof(T)); }

    // The buffer face, kept from callers: only the array operations change it.
    virtual VxRESULT Fill(std::uint8_t value, std::uint32_t offset, std::int32_t count)
    {
        return mBuffer.Fill(value, offset, count);
    }

    virtual VxRESULT Fill16(std::uint16_t value, std::uint32_t offset, std::int32_t count)
    {
        return mBuffer.Fill16(value, offset, count);
    }

    Storage mBuffer;

private:
    void Zero(std::uint32_t index, std::uint32_t n)
    {
        std::memset(static_cast<void*>(GetData() + index), 0, static_cast<std::size_t>(n) * sizeof(T));
    }
};

// An ArrayBuffer that keeps up to N elements inside the object and uses the
// heap buffer only for more: 1..N elements are inline with the heap buffer
// empty; 0 or more than N are in the heap buffer with the inline count 0.
template <class T, std::uint32_t N, std::uint32_t G = 1, std::uint32_t S = 0, bool Z = true, std::uint32_t A = 8,
    AllocatorSource Alloc = GetSystemAllocator>
class ArrayBufferM : public ArrayBuffer<T, G, S, Z, A, Alloc>
{
    static_assert(N > 0);
    using Base = ArrayBuffer<T, G, S, Z, A, Alloc>;

public:
    ArrayBufferM() = default;
    ArrayBufferM(const ArrayBufferM& other) : Base() { this->AppendAllDirect(other); }

    ArrayBufferM& operator=(const ArrayBufferM& other)
    {
        this->CopyFrom(other);
        return *this;
    }

    ~ArrayBufferM() override = default;

    std::uint32_t GetCount() const override
    {
        if (mInlineCount != 0)
        {
            VX_ASSERT(mInlineCount <= N);
            return mInlineCount;
        }
        const std::uint32_t heap = this->HeapCount();
        VX_ASSERT(heap == 0 || heap > N);
        return heap;
    }

    T* GetData() override { return GetCount() <= N ? mInline : Base::GetData(); }

    VxRESULT ResizeStorage(std::uint32_t n) override
    {
        const std::uint32_t current = GetCount();
        if (n > Base::kMaxCount)
            return VXR_E_FAIL;
        if (n <= N && current > N)
        {
            std::memcpy(static_cast<void*>(mInline), Base::GetData(), static_cast<std::size_t>(n) * sizeof(T));
            mInlineCount = n;
            this->mBuffer.SetSize(0);
            return static_cast<VxRESULT>(n);
        }
        if (current <= N && n > N)
        {
            const auto bytes = static_cast<std::uint32_t>(n * sizeof(T));
            this->mBuffer.SetSize(bytes);
            if (this->mBuffer.GetSize() != bytes)
            {
                // The elements are still inline; keep them there.
                this->mBuffer.SetSize(0);
                return VXR_E_FAIL;
            }
            std::memcpy(static_cast<void*>(Base::GetData()), mInline, static_cast<std::size_t>(current) * sizeof(T));
            mInlineCount = 0;
            return static_cast<VxRESULT>(n);
        }
        if (n <= N)
        {
            mInlineCount = n;
            return static_cast<VxRESULT>(n);
        }
        VX_ASSERT(mInlineCount == 0);
        return Base::ResizeStorage(n);
    }

    // Byte fill over the elements' bytes, wherever they are kept.
    VxRESULT Fill(std::uint8_t value, std::uint32_t offset, std::int32_t count) override
    {
        if (GetCount() > N)
            return Base::Fill(value, offset, count);
        const std::uint32_t size = InlineBytes();
        std::uint32_t bytes;
        if (count < 0)
        {
            if (size < offset)
            {
                VX_ASSERT_FALSE();
                return VXR_E_INVALIDARG;
            }
            bytes = size - offset;
        }
        else
        {
            if (static_cast<std::uint64_t>(offset) + static_cast<std::uint32_t>(count) > size)
            {
                VX_ASSERT_FALSE();
                return VXR_E_INVALIDARG;
            }
            bytes = static_cast<std::uint32_t>(count);
        }
        std::memset(reinterpret_cast<unsigned char*>(mInline) + offset, value, bytes);
        return VXR_OK;
    }

    // Fill with 16-bit values; count is in 16-bit units, below 0 up to the end.
    VxRESULT Fill16(std::uint16_t value, std::uint32_t offset, std::int32_t count) override
    {
        if (GetCount() > N)
            return Base::Fill16(value, offset, count);
        const std::uint32_t size = InlineBytes();
        std::uint32_t units;
        if (count < 0)
        {
            if (size < offset)
            {
                VX_ASSERT_FALSE();
                return VXR_E_INVALIDARG;
            }
            const std::uint32_t remaining = size - offset;
            if (remaining % 2 != 0)
                VX_ASSERT_FALSE();
            units = remaining / 2;
        }
        else
        {
            if (static_cast<std::uint64_t>(offset) + 2 * static_cast<std::uint64_t>(count) > size)
            {
                VX_ASSERT_FALSE();
                return VXR_E_INVALIDARG;
            }
            units = static_cast<std::uint32_t>(count);
        }
        unsigned char* to = reinterpret_cast<unsigned char*>(mInline) + offset;
        for (std::uint32_t i = 0; i < units; ++i, to += 2)
            std::memcpy(to, &value, 2);
        return VXR_OK;
    }

private:
    std::uint32_t InlineBytes() const { return GetCount() * static_cast<std::uint32_t>(sizeof(T)); }

    std::uint32_t mInlineCount = 0;
    T mInline[N] = {};
};
} // namespace Vx
