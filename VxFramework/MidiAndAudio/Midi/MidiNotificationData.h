#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/Utilities/Storage/ArrayBuffer.h"
#include "VxFramework/Utilities/Storage/ReuseAllocator.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstddef>
#include <cstdint>

namespace Vx
{
// One message captured on a MIDI input: the parameter of NID_MIDI_DATA_CAPTURED.
// One arrives for every incoming message, so the objects live in a pool of
// their own and a payload of up to four bytes needs no other memory.
class LMidiCaptureNotificationData : public virtual LRefCountedObject
{
public:
    LMidiCaptureNotificationData() = default;
    ~LMidiCaptureNotificationData() override = default;

    static void* operator new(std::size_t size);
    static void operator delete(void* storage) noexcept;

    // The process-wide pool: it grows to the most messages in flight at once
    // and then only reuses its blocks.
    static ReuseAllocator<LMidiCaptureNotificationData, 4>& GetPool();

    // The capture port's identity: the value GetCapturePortId gives for its
    // handle; compared, never dereferenced.
    std::intptr_t capturePortId = 0;
    ArrayBufferM<signed char, 4, 1, 0, true, 8, GetSystemAllocator> message;
    StringT<char, unsigned short> portName;
    // JUCE's time stamp in seconds x 1000, truncated.
    std::uint32_t timeStampMs = 0;
};

// The parameter of NID_MIDI_INPUT_DEVICE_CONNECTION_STATUS_CHANGED.
class LMidiDeviceConnectionStatusChangedNotification : public virtual LRefCountedObject
{
public:
    static constexpr std::int32_t kConnected = 0;
    static constexpr std::int32_t kDisconnected = 1;

    LMidiDeviceConnectionStatusChangedNotification(const StringT<char, unsigned short>& name, std::int32_t newStatus)
        : portName(name), status(newStatus)
    {
    }
    ~LMidiDeviceConnectionStatusChangedNotification() override = default;

    StringT<char, unsigned short> portName;
    std::int32_t status = kConnected;
};
} // namespace Vx
