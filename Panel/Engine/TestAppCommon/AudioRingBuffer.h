#pragma once

#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Storage/Iterable.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace Vx
{
// A multi-channel sample ring for one writing and one reading thread, without
// locks: the writer appends blocks of frames to every channel at once, the
// reader takes them in the same order.  One slot always stays empty, so a ring
// of capacity C holds at most C - 1 frames and equal positions mean empty.
// Each position is written by its own side only; the writer stores the
// samples before it publishes its position, the reader reads them only after
// loading it.
template <class T>
class AudioRingBuffer
{
public:
    AudioRingBuffer() = default;
    AudioRingBuffer(const AudioRingBuffer&) = delete;
    AudioRingBuffer& operator=(const AudioRingBuffer&) = delete;

    // Before either side runs: channelCount arrays of capacity samples each,
    // the ring empty.  0; 0x80000003 when either is 0; 0x80000002 when the
    // arrays cannot be allocated (the ring is left as it was).
    VxRESULT Init(std::uint32_t channelCount, std::uint32_t capacity);

    std::uint32_t GetChannelCount() const noexcept { return static_cast<std::uint32_t>(mChannels.size()); }
    std::uint32_t GetCapacity() const noexcept { return mCapacity; }
    // A lower bound for the calling side, from either side.
    std::uint32_t GetWritableCount() const noexcept;
    std::uint32_t GetReadableCount() const noexcept;

    // One source per channel; a null source writes zeros.  0; 0x80000002 when
    // the block does not fit (nothing is written).
    VxRESULT Write(const T* const* sources, std::uint32_t count);
    // The list needs an entry per channel: a shorter one is refused with
    // 0x80000003 and nothing is written.
    VxRESULT Write(const IArray<const T*>& sources, std::uint32_t count);

    // One destination per channel; a channel with a null destination is
    // dropped with the others.  0; 0x80000008 when fewer frames are waiting
    // (nothing moves).
    VxRESULT Read(T* const* destinations, std::uint32_t count);
    // A shorter list is first grown to the channel count with null entries.
    VxRESULT Read(IArray<T*>& destinations, std::uint32_t count);

    // Points each entry at its channel's next frame to read and returns the
    // length of the contiguous run there, at most count and at most the frames
    // waiting; the reader consumes them afterwards with Skip.
    std::uint32_t GetReadPointers(T** pointers, std::uint32_t count) const;
    std::uint32_t GetReadPointers(IArray<T*>& pointers, std::uint32_t count) const;

    // Moves the read position by at most the frames waiting; the new position.
    std::uint32_t Skip(std::uint32_t count);
    std::uint32_t SkipAll();

private:
    static std::uint32_t Distance(std::uint32_t from, std::uint32_t to, std::uint32_t capacity) noexcept
    {
        return to >= from ? to - from : capacity - from + to;
    }
    std::uint32_t Advance(std::uint32_t position, std::uint32_t count) const noexcept
    {
        return count >= mCapacity - position ? count - (mCapacity - position) : position + count;
    }

    std::vector<std::unique_ptr<T[]>> mChannels;
    std::uint32_t mCapacity = 1;
    std::atomic<std::uint32_t> mWritePosition{0};
    std::atomic<std::uint32_t> mReadPosition{0};
};

extern template class AudioRingBuffer<float>;
extern template class AudioRingBuffer<double>;
} // namespace Vx
