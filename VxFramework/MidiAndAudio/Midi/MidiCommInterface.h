#pragma once

#include "VxFramework/MidiAndAudio/Midi/MidiFilter.h"
#include "VxFramework/MidiAndAudio/Midi/MidiMessage.h"
#include "VxFramework/MidiAndAudio/Midi/MidiNotificationData.h"
#include "VxFramework/Notification/NotificationDistributor.h"
#include "VxFramework/ObjectBase/Mutex.h"
#include "VxFramework/Utilities/Storage/Buffer.h"
#include "VxFramework/Utilities/Storage/VxArray.h"

#include <cstdint>

namespace Vx
{
// Sent by the MIDI service for every captured message; its parameter is the
// LMidiCaptureNotificationData.
inline constexpr const char* kNidMidiDataCaptured = "NID_MIDI_DATA_CAPTURED";

// The MIDI service: opens MIDI ports by name and shares each among its users,
// sends to output ports, and delivers every captured message to the clients
// registered for NID_MIDI_DATA_CAPTURED whose filter accepts it.  Ports are
// handed out as RCPtr<LRefCountedObject>.
class LMidiCommInterface : public LNotificationDistributor
{
public:
    using String = StringT<char, unsigned short>;

    // A client's filter, keyed by the address under which the client is
    // registered (compared only, not a reference).
    struct MidiFilterEntry
    {
        const LNotificationReceiver* client = nullptr;
        RCPtr<LIMidiFilter> filter;
    };

    LMidiCommInterface() = default;
    ~LMidiCommInterface() override;

    // 0 and the handle of an open (or reused) input port; 0x80000008 when it
    // cannot be opened.
    virtual VxRESULT OpenCapturePort(const String& name, RCPtr<LRefCountedObject>& port) = 0;
    // The same for an output port.
    virtual VxRESULT OpenRenderPort(const String& name, RCPtr<LRefCountedObject>& port) = 0;
    // 0 sent; 0x80000003 for a handle that is no output port or an empty
    // message; 0x80000008 when the port has no open device.
    virtual VxRESULT Send(const RCPtr<LRefCountedObject>& port, const MidiMessage& message) = 0;
    virtual VxRESULT SendBuffer(const RCPtr<LRefCountedObject>& port, const RCPtr<LIBuffer>& buffer) = 0;

    // The address the handle holds (0 for none): what a capture payload's
    // capturePortId carries for messages of that port.
    virtual std::intptr_t GetCapturePortId(const RCPtr<LRefCountedObject>& port);

    // A copy of the client's filter, or null when it has none.
    virtual RCPtr<LIMidiFilter> GetMidiFilter(const LNotificationReceiver* client);
    // Keeps a copy of the filter for the client; a null filter removes the
    // client's entry.  Always 0.  Waits while a message is being delivered.
    virtual VxRESULT SetMidiFilter(const LNotificationReceiver* client, const RCPtr<LIMidiFilter>& filter);

    // Delivers one captured message, on the calling thread, to every client
    // registered for NID_MIDI_DATA_CAPTURED whose filter accepts it, newest
    // client first; all of them get one notification object.  1 when no client
    // ever registered, else 0.
    virtual VxRESULT DistributeCapturedData(const RCPtr<LMidiCaptureNotificationData>& data);

private:
    // Held for the whole delivery of a message, before the client list's lock.
    Mutex mFilterLock;
    Array<MidiFilterEntry> mFilters;
};
} // namespace Vx
