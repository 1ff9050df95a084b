#pragma once

#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/Result.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

namespace Vx
{
// The allocation functions a buffer uses.
struct Allocator
{
    void* (*Malloc)(std::size_t size);
    void* (*Calloc)(std::size_t count, std::size_t size);
    void* (*Realloc)(void* block, std::size_t size);
    void (*Free)(void* block);
};

// The C library's malloc, calloc, realloc and free.
const Allocator& GetSystemAllocator() noexcept;

using AllocatorSource = const Allocator& (*)() noexcept;

// Constructor flag: the initial bytes are set to zero.
inline constexpr std::uint32_t kBufferZeroFill = 1;

// Sizes are limited so that every size also fits a non-negative result code.
inline constexpr std::uint32_t kMaxBufferSize = 0x7FFFFFFF;

// A block of bytes with a used size and an allocated capacity.
class IBuffer
{
public:
    virtual std::uint32_t GetSize() const = 0;
    // Exact reallocation; the contents are not kept.  Returns the new size,
    // or a failure code with the buffer unchanged.
    virtual std::int32_t SetSize(std::uint32_t size) = 0;
    // Keeps the contents.  Returns the new size, or a failure code with the
    // buffer unchanged.
    virtual std::int32_t Resize(std::uint32_t size) = 0;
    // Resize for storage that keeps growing (text being appended to): a block
    // too small is replaced by one with room to spare and a block large
    // enough is kept whatever stays unused, so that a run of growing calls
    // moves each byte only a bounded number of times.  A buffer without a
    // block gets the exact size.  Returns the new size, or a failure code
    // with the buffer unchanged.
    virtual std::int32_t Grow(std::uint32_t size) = 0;
    // A negative count means up to the end.
    virtual VxRESULT Fill(std::uint8_t value, std::uint32_t offset, std::int32_t count) = 0;
    // The offset is in bytes, the count in 16-bit units; a negative count
    // means up to the end.
    virtual VxRESULT Fill16(std::uint16_t value, std::uint32_t offset, std::int32_t count) = 0;
    virtual std::uint32_t GetCapacity() const = 0;
    virtual void* GetData() const = 0;

    // A typed pointer at a byte offset; null (after an assertion) when the
    // element would not lie wholly inside the used size.
    template <class T>
    T* GetDataAt(std::uint32_t offset)
    {
        if (static_cast<std::uint64_t>(offset) + sizeof(T) > GetSize())
        {
            VX_ASSERT_FALSE();
            return nullptr;
        }
        return reinterpret_cast<T*>(static_cast<char*>(GetData()) + offset);
    }

    template <class T>
    const T* GetDataAt(std::uint32_t offset) const
    {
        if (static_cast<std::uint64_t>(offset) + sizeof(T) > GetSize())
        {
            VX_ASSERT_FALSE();
            return nullptr;
        }
        return reinterpret_cast<const T*>(static_cast<const char*>(GetData()) + offset);
    }

protected:
    // Buffers are destroyed through their own type or through their
    // reference count, never through this interface.
    ~IBuffer() = default;
};

// Contiguous storage whose capacity is the size rounded up to Granularity and
// is reallocated only when too small or when more than
// max(Slack, Granularity - 1) bytes would stay unused.  Only Grow sizes
// geometrically: a block it must replace gets half the size again as room,
// which the next Resize or SetSize gives back by the rule above.
// An Alignment above 8 is met by over-allocating Alignment - 1 bytes.
template <std::uint32_t Granularity, std::uint32_t Slack, std::uint32_t Alignment, class P = char*,
          AllocatorSource Alloc = GetSystemAllocator>
class BufferT : public virtual IBuffer
{
    static_assert(Granularity > 0, "granularity must be at least one byte");
    static_assert(Alignment > 0 && (Alignment & (Alignment - 1)) == 0, "alignment must be a power of two");
    static_assert(std::is_pointer_v<P>, "the element type is given as a pointer type");

public:
    explicit BufferT(std::uint32_t size = 0, std::uint32_t reserve = 0, std::uint32_t flags = 0)
    {
        if (reserve > size)
        {
            // The reserve is taken as it is, not rounded to the granularity.
            const std::uint64_t capacity = static_cast<std::uint64_t>(reserve) + kAllowance;
            if (capacity <= kMaxBufferSize)
            {
                void* block = Alloc().Malloc(static_cast<std::size_t>(capacity));
                if (block != nullptr)
                    Adopt(block, static_cast<std::uint32_t>(capacity));
            }
        }
        // A reserve beyond the slack limit is given back at once.  When this
        // fails the buffer stays empty; the factories check the size.
        if (DoResize(size) > 0 && (flags & kBufferZeroFill) != 0)
            std::memset(Bytes(), 0, mSize);
    }

    virtual ~BufferT() { ReleaseBlock(); }

    BufferT(const BufferT&) = delete;
    BufferT& operator=(const BufferT&) = delete;

    std::uint32_t GetSize() const override { return mSize; }
    std::uint32_t GetCapacity() const override { return mCapacity; }
    void* GetData() const override { return const_cast<void*>(static_cast<const void*>(mData)); }
    P GetTypedData() const noexcept { return mData; }

    std::int32_t SetSize(std::uint32_t size) override
    {
        if (size > kMaxBufferSize)
            return VXR_E_INVALIDARG;
        if (size == 0)
        {
            ReleaseBlock();
            return 0;
        }
        const std::uint64_t capacity = NeededCapacity(size);
        if (capacity > kMaxCapacity)
            return VXR_E_OUTOFMEMORY;
        if (capacity != mCapacity)
        {
            // Allocate before freeing, so that a failure leaves the old block.
            void* block = Alloc().Malloc(static_cast<std::size_t>(capacity));
            if (block == nullptr)
                return VXR_E_OUTOFMEMORY;
            ReleaseBlock();
            Adopt(block, static_cast<std::uint32_t>(capacity));
        }
        mSize = size;
        return static_cast<std::int32_t>(size);
    }

    std::int32_t Resize(std::uint32_t size) override { return DoResize(size); }

    std::int32_t Grow(std::uint32_t size) override
    {
        if (size > kMaxBufferSize)
            return VXR_E_INVALIDARG;
        if (mCapacity == 0)
            return SetSize(size);
        if (static_cast<std::uint64_t>(size) + kAllowance > mCapacity)
        {
            const std::uint64_t roomy = static_cast<std::uint64_t>(size) + size / 2;
            const std::uint32_t target = roomy < kMaxBufferSize ? static_cast<std::uint32_t>(roomy) : kMaxBufferSize;
            // Near the limits the room is what fails: the exact size may
            // still fit.
            if (!MoveBlock(NeededCapacity(target), size) && !MoveBlock(NeededCapacity(size), size))
                return VXR_E_OUTOFMEMORY;
        }
        mSize = size;
        return static_cast<std::int32_t>(size);
    }

    VxRESULT Fill(std::uint8_t value, std::uint32_t offset, std::int32_t count) override
    {
        std::uint32_t bytes;
        if (count < 0)
        {
            if (offset > mSize)
            {
                VX_ASSERT_FALSE();
                return VXR_E_INVALIDARG;
            }
            bytes = mSize - offset;
        }
        else
        {
            if (static_cast<std::uint64_t>(offset) + static_cast<std::uint32_t>(count) > mSize)
            {
                VX_ASSERT_FALSE();
                return VXR_E_INVALIDARG;
            }
            bytes = static_cast<std::uint32_t>(count);
        }
        if (bytes != 0)
            std::memset(Bytes() + offset, value, bytes);
        return VXR_OK;
    }

    VxRESULT Fill16(std::uint16_t value, std::uint32_t offset, std::int32_t count) override
    {
        std::uint32_t units;
        if (count < 0)
        {
            if (offset > mSize)
            {
                VX_ASSERT_FALSE();
                return VXR_E_INVALIDARG;
            }
            const std::uint32_t remaining = mSize - offset;
            // An odd byte at the end cannot take a whole unit; it is left alone.
            if ((remaining & 1) != 0)
                VX_ASSERT_FALSE();
            units = remaining / 2;
        }
        else
        {
            if (static_cast<std::uint64_t>(offset) + 2 * static_cast<std::uint64_t>(count) > mSize)
            {
                VX_ASSERT_FALSE();
                return VXR_E_INVALIDARG;
            }
            units = static_cast<std::uint32_t>(count);
        }
        // The offset may be odd: store byte-wise.
        char* target = Bytes() + offset;
        for (std::uint32_t i = 0; i < units; ++i)
            std::memcpy(target + 2 * static_cast<std::size_t>(i), &value, sizeof value);
        return VXR_OK;
    }

private:
    static constexpr std::uint32_t kAllowance = Alignment > 8 ? Alignment - 1 : 0;
    static constexpr std::uint32_t kSlackLimit = Slack > Granularity - 1 ? Slack : Granularity - 1;
    static constexpr std::uint64_t kMaxCapacity = 0xFFFFFFFFu;

    static std::uint64_t NeededCapacity(std::uint32_t size) noexcept
    {
        return (static_cast<std::uint64_t>(size) + Granularity - 1) / Granularity * Granularity + kAllowance;
    }

    static char* AlignedStart(void* block) noexcept
    {
        if constexpr (Alignment > 8)
        {
            const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(block);
            const std::uintptr_t aligned = (address + Alignment - 1) & ~static_cast<std::uintptr_t>(Alignment - 1);
            return static_cast<char*>(block) + (aligned - address);
        }
        else
        {
            return static_cast<char*>(block);
        }
    }

    char* Bytes() const noexcept { return static_cast<char*>(GetData()); }

    void Adopt(void* block, std::uint32_t capacity) noexcept
    {
        mBlock = block;
        mCapacity = capacity;
        mData = reinterpret_cast<P>(AlignedStart(block));
    }

    void ReleaseBlock() noexcept
    {
        if (mBlock != nullptr)
            Alloc().Free(mBlock);
        mData = nullptr;
        mSize = 0;
        mBlock = nullptr;
        mCapacity = 0;
    }

    std::int32_t DoResize(std::uint32_t size)
    {
        if (size > kMaxBufferSize)
            return VXR_E_INVALIDARG;
        if (mCapacity == 0)
            return SetSize(size);
        const std::uint64_t wanted = static_cast<std::uint64_t>(size) + kAllowance;
        if (mCapacity < wanted || mCapacity - wanted > kSlackLimit)
        {
            if (size == 0)
            {
                ReleaseBlock();
                return 0;
            }
            if (!MoveBlock(NeededCapacity(size), size))
                return VXR_E_OUTOFMEMORY;
        }
        mSize = size;
        return static_cast<std::int32_t>(size);
    }

    // Reallocates the block to the capacity, keeping the bytes that the new
    // size still covers; false with the block unchanged on failure.
    bool MoveBlock(std::uint64_t capacity, std::uint32_t size)
    {
        if (capacity > kMaxCapacity)
            return false;
        const std::size_t oldOffset = static_cast<std::size_t>(Bytes() - static_cast<char*>(mBlock));
        // On failure realloc leaves the old block as it was.
        void* block = Alloc().Realloc(mBlock, static_cast<std::size_t>(capacity));
        if (block == nullptr)
            return false;
        char* data = AlignedStart(block);
        const std::size_t newOffset = static_cast<std::size_t>(data - static_cast<char*>(block));
        if (newOffset != oldOffset)
            std::memmove(data, static_cast<char*>(block) + oldOffset, mSize < size ? mSize : size);
        mBlock = block;
        mCapacity = static_cast<std::uint32_t>(capacity);
        mData = reinterpret_cast<P>(data);
        return true;
    }

    P mData = nullptr;
    std::uint32_t mSize = 0;
    void* mBlock = nullptr;
    std::uint32_t mCapacity = 0;
};

// A shareable, reference-counted buffer.
class LIBuffer : public virtual IBuffer, public virtual LRefCountedObject
{
public:
    // An independent, shareable copy of the used bytes; null when it cannot
    // be allocated.
    RCPtr<LRefCountedObject> CreateCopy() const override = 0;
    // A zero-filled buffer of the new size holding the bytes from the offset
    // on, as far as they fit; null when it cannot be allocated.
    virtual RCPtr<LIBuffer> CreateResizedCopy(std::uint32_t newSize, std::uint32_t offset) const = 0;

    // A string-character buffer (granularity 1, slack 128); null when the
    // size cannot be allocated.
    static RCPtr<LIBuffer> Create(std::uint32_t size, std::uint32_t reserve = 0, std::uint32_t flags = 0);

protected:
    ~LIBuffer() override = default;
};

// Final, so that a holder that keeps the buffer through its own kind reaches
// the accessors and the reference count directly, without virtual dispatch.
template <std::uint32_t Granularity, std::uint32_t Slack, std::uint32_t Alignment, class P = char*,
          AllocatorSource Alloc = GetSystemAllocator>
class LBufferT final : public BufferT<Granularity, Slack, Alignment, P, Alloc>, public LIBuffer
{
    using Storage = BufferT<Granularity, Slack, Alignment, P, Alloc>;

public:
    explicit LBufferT(std::uint32_t size = 0, std::uint32_t reserve = 0, std::uint32_t flags = 0)
        : Storage(size, reserve, flags)
    {
    }

    // A new buffer of this kind; null when the size cannot be allocated.
    static RCPtr<LIBuffer> Create(std::uint32_t size, std::uint32_t reserve = 0, std::uint32_t flags = 0)
    {
        return Make<LIBuffer>(size, reserve, flags);
    }
    // The same, held as this kind.
    static RCPtr<LBufferT> CreateTyped(std::uint32_t size, std::uint32_t reserve = 0, std::uint32_t flags = 0)
    {
        return Make<LBufferT>(size, reserve, flags);
    }

    RCPtr<LRefCountedObject> CreateCopy() const override
    {
        const std::uint32_t size = this->GetSize();
        RCPtr<LIBuffer> copy = Create(size, 0, kBufferZeroFill);
        if (copy == nullptr)
            return nullptr;
        if (size != 0)
            std::memcpy(copy->GetData(), this->GetData(), size);
        return copy;
    }

    RCPtr<LIBuffer> CreateResizedCopy(std::uint32_t newSize, std::uint32_t offset) const override
    {
        RCPtr<LIBuffer> copy = Create(newSize, 0, kBufferZeroFill);
        if (copy == nullptr)
            return nullptr;
        const std::uint32_t size = this->GetSize();
        if (size > offset)
        {
            const std::uint32_t available = size - offset;
            const std::uint32_t count = available < newSize ? available : newSize;
            if (count != 0)
                std::memcpy(copy->GetData(), static_cast<const char*>(this->GetData()) + offset, count);
        }
        return copy;
    }

private:
    template <class Holder>
    static RCPtr<Holder> Make(std::uint32_t size, std::uint32_t reserve, std::uint32_t flags)
    {
        LBufferT* buffer = new (std::nothrow) LBufferT(size, reserve, flags);
        RCPtr<Holder> result(buffer);
        if (buffer == nullptr || buffer->GetSize() != size)
            return nullptr;
        return result;
    }
};

// The characters of strings.
using LStringBuffer = LBufferT<1, 128, 8, char*>;
// Byte blocks: file contents, decoded binary text, variant data.
using LByteBuffer = LBufferT<1, 0, 8, char*>;

extern template class BufferT<1, 128, 8, char*>;
extern template class BufferT<1, 0, 8, char*>;
extern template class LBufferT<1, 128, 8, char*>;
extern template class LBufferT<1, 0, 8, char*>;
} // namespace Vx
