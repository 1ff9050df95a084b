#pragma once

#include "VxFramework/MidiAndAudio/Midi/MidiCommInterface.h"
#include "VxFramework/MidiAndAudio/Midi/MidiFilter.h"
#include "VxFramework/MidiAndAudio/Midi/MidiMessage.h"
#include "VxFramework/Notification/NotificationClient.h"
#include "VxFramework/Notification/NotificationHandler.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <atomic>
#include <cstdint>
#include <mutex>

namespace Vx
{
// Sent on the "application" centre when a MIDI input device comes (status 0)
// or goes (status 1); its parameter is an
// LMidiDeviceConnectionStatusChangedNotification.
inline constexpr const char* kNidMidiInputDeviceConnectionStatusChanged =
    "NID_MIDI_INPUT_DEVICE_CONNECTION_STATUS_CHANGED";

// Gets the messages of a MIDI client's input port, on the MIDI service's
// worker thread, one at a time.  It must not touch controls there nor wait for
// another thread.
class LMidiClientCallbackReceiver : public virtual LRefCountedObject
{
public:
    virtual void HandleMidiMessage(const MidiMessage& message, std::uint32_t timeStampMs) = 0;
    ~LMidiClientCallbackReceiver() override = default;
};

// What a test, view or protocol uses to talk to one controller board: an
// input and an output port, opened by name through the application's MIDI
// manager, a filter for what the input delivers, and a receiver for it.
// Open, Close, Send and the setters run on the owner's thread; the receiver is
// called on the MIDI service's worker.
class LMidiClient : public LNotificationClient
{
public:
    using String = StringT<char, unsigned short>;

    // Closed, capture enabled.  An empty name opens no port of that
    // direction.
    static RCPtr<LMidiClient> Create(const String& inputPortName, const String& outputPortName,
                                     const RCPtr<LMidiClientCallbackReceiver>& receiver);
    // The ports the MIDI manager found for the function (asserted when it
    // knows none); the input only when a receiver is given.
    static RCPtr<LMidiClient> CreateForFunction(std::int32_t functionID, std::int32_t functionIndex,
                                                const RCPtr<LMidiClientCallbackReceiver>& receiver);
    ~LMidiClient() override;

    // Opens the ports and subscribes: 0 (or a positive code); 0x80000003 when
    // both names are empty; 0x80000008 without manager or service; the code of
    // a port that cannot be opened.  The client stays closed on failure.  A
    // second Open reopens.
    VxRESULT Open();
    void Close();
    bool IsOpen() const noexcept { return mOpen.load(); }

    // While open, subscribes to or leaves the captured data at once.
    void EnableCapture(bool enable);
    // Kept, and handed to the service whenever a service is held; null
    // removes the client's filter.
    void SetFilter(const RCPtr<LIMidiFilter>& filter);
    // Change it while closed or with capture disabled.
    void SetReceiver(const RCPtr<LMidiClientCallbackReceiver>& receiver);

    // 0x80000004 without service or output port, else the service's result.
    VxRESULT Send(const MidiMessage& message);
    // Each in order up to the first failure, whose code is returned; 1 for an
    // empty list, else the last result.
    VxRESULT SendMessages(const IArray<MidiMessage>& messages);
    // Send of the message the hexadecimal text gives.
    VxRESULT SendHexString(const String& text);

    bool CanSend() const { return mComm != nullptr && mRenderPort != nullptr; }
    bool CanCapture() const { return mComm != nullptr && mCapturePort != nullptr; }
    String GetInputPortName() const { return mInputPortName; }
    String GetOutputPortName() const { return mOutputPortName; }

    NotificationHandlerResultCode Receive(const RCPtr<LNotificationDistributor>& from,
                                          const ConstRCPtr<LNotification>& notification) override;
    VxRESULT Unregister(const RCPtr<LNotificationDistributor>& from, const char* id) override;
    VxRESULT RemoveContainedReferences() override;

private:
    LMidiClient(const String& inputPortName, const String& outputPortName,
                const RCPtr<LMidiClientCallbackReceiver>& receiver);

    NotificationHandlerResultCode OnMidiDataCaptured(const RCPtr<LNotificationDistributor>& from,
                                                     const ConstRCPtr<LNotification>& notification);
    NotificationHandlerResultCode OnConnectionStatusChanged(const RCPtr<LNotificationDistributor>& from,
                                                            const ConstRCPtr<LNotification>& notification);

    VxRESULT OpenPorts();
    void ClosePorts();
    VxRESULT SubscribeToCapturedData();
    void UnsubscribeFromCapturedData();
    VxRESULT RegisterHandler(LNotificationHandler<LMidiClient>::Handler handler,
                             const RCPtr<LNotificationDistributor>& distributor, const char* id);
    void UnregisterHandler(const RCPtr<LNotificationDistributor>& distributor, const char* id);

    RCPtr<LNotificationHandler<LMidiClient>> mHandler;
    const String mInputPortName;
    const String mOutputPortName;
    RCPtr<LMidiClientCallbackReceiver> mReceiver;
    std::atomic<bool> mCaptureEnabled{true};
    std::atomic<bool> mOpen{false};
    RCPtr<LMidiCommInterface> mComm;
    RCPtr<LRefCountedObject> mCapturePort;
    RCPtr<LRefCountedObject> mRenderPort;
    std::atomic<std::intptr_t> mCapturePortId{0};
    RCPtr<LIMidiFilter> mFilter;
    // The service's worker looks handlers up and reads the receiver while the
    // owner's thread changes them; never held while a handler runs.
    mutable std::recursive_mutex mDispatchLock;
};
} // namespace Vx
