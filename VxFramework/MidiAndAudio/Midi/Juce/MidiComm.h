#pragma once

#include "VxFramework/MidiAndAudio/Midi/MidiCommInterface.h"
#include "VxFramework/ObjectBase/Mutex.h"
#include "VxFramework/Utilities/Storage/ArrayUtils.h"
#include "VxFramework/Utilities/Storage/RCPtrArray.h"
#include "VxFramework/Utilities/Threading/ThreadPool.h"
#include "VxFramework/Utilities/Threading/Threader.h"

#include <juce_audio_devices/juce_audio_devices.h>

#include <cstdint>
#include <memory>

namespace Vx
{
class LMidiCapturePort;
class LMidiRenderPort;

// The MIDI service on JUCE's MidiInput and MidiOutput.  A captured message is
// copied on JUCE's MIDI input thread into a pooled payload and queued on the
// service's thread pool, whose single worker delivers the messages one at a
// time in the order they arrived, across all ports.
class LMidiComm : public LMidiCommInterface, public LThreadWorker
{
public:
    using StringArray = StringArrayT<char, unsigned short>;

    // Work priority of captured messages: all alike, so they keep their order.
    static constexpr std::int32_t kCapturePriority = 5;

    LMidiComm();
    ~LMidiComm() override;

    // An open port whose name contains the name (both in lower case) is
    // shared, newest first; it is reopened first when its device went away.
    // Otherwise a new port opens the input that JUCE lists under exactly this
    // name.  An empty name opens nothing.
    VxRESULT OpenCapturePort(const String& name, RCPtr<LRefCountedObject>& port) override;
    VxRESULT OpenRenderPort(const String& name, RCPtr<LRefCountedObject>& port) override;
    VxRESULT Send(const RCPtr<LRefCountedObject>& port, const MidiMessage& message) override;
    VxRESULT SendBuffer(const RCPtr<LRefCountedObject>& port, const RCPtr<LIBuffer>& buffer) override;

    // The pool's work item: delivers one captured payload.
    std::int32_t ThreadMain(RCPtr<LRefCountedObject>& parameter) override;

    // The names JUCE lists for the inputs or outputs, in its order; 0.
    static VxRESULT GetInputPortNames(StringArray& names);
    static VxRESULT GetOutputPortNames(StringArray& names);

    // For the ports: queues a captured message on the pool.
    void QueueCapturedData(const RCPtr<LMidiCaptureNotificationData>& data);
    // For the ports' release: drops the service's reference; 0x80000008
    // (asserted) when the port is not in its array.
    VxRESULT RemoveCapturePort(const LMidiCapturePort* port);
    VxRESULT RemoveRenderPort(const LMidiRenderPort* port);

    std::uint32_t GetCapturePortCount();
    std::uint32_t GetRenderPortCount();

private:
    RCPtrArray<LMidiCapturePort, 1, 0> mCapturePorts;
    RCPtrArray<LMidiRenderPort, 1, 0> mRenderPorts;
    RCPtr<LThreadPool> mThreadPool;
    // Guards both arrays, and opening, reusing and removing ports.
    Mutex mPortsLock;
};

// A MIDI input of the service, shared by name.  It stays open while a handle
// to it exists outside the service; the last one's release removes it from
// the service and closes its device.
class LMidiCapturePort : public juce::MidiInputCallback, public virtual LRefCountedObject
{
public:
    using String = StringT<char, unsigned short>;

    // Null (asserted) for an empty name or a missing owner.
    static RCPtr<LMidiCapturePort> Create(const String& name, const RCPtr<LMidiComm>& owner);
    ~LMidiCapturePort() override;

    // Opens and starts the input JUCE lists under exactly this port's name.
    bool Open();
    void Close();
    // Open and still connected to its device.
    bool IsConnected() const;
    const String& GetName() const { return mName; }

    // On JUCE's MIDI input thread: copies the message and queues it.
    void handleIncomingMidiMessage(juce::MidiInput* source, const juce::MidiMessage& message) override;

    VxRESULT RemoveContainedReferences() override;

private:
    LMidiCapturePort(const String& name, const RCPtr<LMidiComm>& owner);

    const String mName;
    const RCPtr<LMidiComm> mOwner;
    std::unique_ptr<juce::MidiInput> mInput;
};

// A MIDI output of the service, shared by name like the inputs.
class LMidiRenderPort : public virtual LRefCountedObject
{
public:
    using String = StringT<char, unsigned short>;

    static RCPtr<LMidiRenderPort> Create(const String& name, const RCPtr<LMidiComm>& owner);
    ~LMidiRenderPort() override;

    bool Open();
    void Close();
    bool IsConnected() const;
    const String& GetName() const { return mName; }

    // Sends the bytes at once on the calling thread: 0; 0x80000008 without
    // an open output or without bytes.
    VxRESULT Send(const signed char* data, std::uint32_t length);

    VxRESULT RemoveContainedReferences() override;

private:
    LMidiRenderPort(const String& name, const RCPtr<LMidiComm>& owner);

    const String mName;
    const RCPtr<LMidiComm> mOwner;
    // Sending takes no service lock; this keeps a reopening from deleting
    // the output under a sender.
    mutable Mutex mOutputLock;
    std::unique_ptr<juce::MidiOutput> mOutput;
};
} // namespace Vx
