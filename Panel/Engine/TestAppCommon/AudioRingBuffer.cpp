#include "Panel/Engine/TestAppCommon/AudioRingBuffer.h"

#include "VxFramework/ObjectBase/Exception.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace Vx
{
template <class T>
VxRESULT AudioRingBuffer<T>::Init(std::uint32_t channelCount, std::uint32_t capacity)
{
    if (channelCount == 0 || capacity == 0)
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    std::vector<std::unique_ptr<T[]>> channels;
    try
    {
        channels.resize(channelCount);
        for (auto& channel : channels)
            channel.reset(new T[capacity]);
    }
    catch (const std::bad_alloc&)
    {
        return VXR_E_OUTOFMEMORY;
    }
    mChannels = std::move(channels);
    mCapacity = capacity;
    // Positions from an earlier use could lie beyond a smaller capacity.
    mWritePosition.store(0);
    mReadPosition.store(0);
    return VXR_OK;
}

template <class T>
std::uint32_t AudioRingBuffer<T>::GetReadableCount() const noexcept
{
    return Distance(mReadPosition.load(), mWritePosition.load(), mCapacity);
}

template <class T>
std::uint32_t AudioRingBuffer<T>::GetWritableCount() const noexcept
{
    return mCapacity - 1 - GetReadableCount();
}

template <class T>
VxRESULT AudioRingBuffer<T>::Write(const T* const* sources, std::uint32_t count)
{
    const std::uint32_t write = mWritePosition.load();
    if (mCapacity - 1 - Distance(mReadPosition.load(), write, mCapacity) < count)
        return VXR_E_OUTOFMEMORY;
    const std::uint32_t first = std::min(mCapacity - write, count);
    const std::uint32_t rest = count - first;
    for (std::size_t i = 0; i < mChannels.size(); ++i)
    {
        T* const channel = mChannels[i].get();
        const T* const source = sources[i];
        if (source != nullptr)
        {
            std::memcpy(channel + write, source, first * sizeof(T));
            std::memcpy(channel, source + first, rest * sizeof(T));
        }
        else
        {
            std::fill_n(channel + write, first, T{});
            std::fill_n(channel, rest, T{});
        }
    }
    mWritePosition.store(Advance(write, count));
    return VXR_OK;
}

template <class T>
VxRESULT AudioRingBuffer<T>::Write(const IArray<const T*>& sources, std::uint32_t count)
{
    if (sources.GetCount() == 0 || sources.GetCount() < mChannels.size())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    return Write(sources.GetDataConst(), count);
}

template <class T>
VxRESULT AudioRingBuffer<T>::Read(T* const* destinations, std::uint32_t count)
{
    const std::uint32_t read = mReadPosition.load();
    if (Distance(read, mWritePosition.load(), mCapacity) < count)
        return VXR_E_FAIL;
    const std::uint32_t first = std::min(mCapacity - read, count);
    const std::uint32_t rest = count - first;
    for (std::size_t i = 0; i < mChannels.size(); ++i)
    {
        T* const destination = destinations[i];
        if (destination == nullptr)
            continue;
        std::memcpy(destination, mChannels[i].get() + read, first * sizeof(T));
        std::memcpy(destination + first, mChannels[i].get(), rest * sizeof(T));
    }
    mReadPosition.store(Advance(read, count));
    return VXR_OK;
}

template <class T>
VxRESULT AudioRingBuffer<T>::Read(IArray<T*>& destinations, std::uint32_t count)
{
    const std::uint32_t had = destinations.GetCount();
    if (had < mChannels.size())
    {
        if (Failed(destinations.SetCount(static_cast<std::uint32_t>(mChannels.size()))))
            return VXR_E_OUTOFMEMORY;
        for (std::uint32_t i = had; i < mChannels.size(); ++i)
            destinations[i] = nullptr;
    }
    return Read(destinations.GetData(), count);
}

template <class T>
std::uint32_t AudioRingBuffer<T>::GetReadPointers(T** pointers, std::uint32_t count) const
{
    const std::uint32_t read = mReadPosition.load();
    // Frames beyond those waiting may be the writer's at this moment.
    const std::uint32_t run = std::min({mCapacity - read, count, Distance(read, mWritePosition.load(), mCapacity)});
    for (std::size_t i = 0; i < mChannels.size(); ++i)
        pointers[i] = mChannels[i].get() + read;
    return run;
}

template <class T>
std::uint32_t AudioRingBuffer<T>::GetReadPointers(IArray<T*>& pointers, std::uint32_t count) const
{
    const std::uint32_t had = pointers.GetCount();
    if (had < mChannels.size())
    {
        if (Failed(pointers.SetCount(static_cast<std::uint32_t>(mChannels.size()))))
            return 0;
        for (std::uint32_t i = had; i < mChannels.size(); ++i)
            pointers[i] = nullptr;
    }
    return GetReadPointers(pointers.GetData(), count);
}

template <class T>
std::uint32_t AudioRingBuffer<T>::Skip(std::uint32_t count)
{
    const std::uint32_t read = mReadPosition.load();
    const std::uint32_t next = Advance(read, std::min(Distance(read, mWritePosition.load(), mCapacity), count));
    mReadPosition.store(next);
    return next;
}

template <class T>
std::uint32_t AudioRingBuffer<T>::SkipAll()
{
    return Skip(mCapacity);
}

template class AudioRingBuffer<float>;
template class AudioRingBuffer<double>;
} // namespace Vx
