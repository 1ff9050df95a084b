#pragma once

#include "Panel/Engine/TestAppCommon/MidiClient.h"
#include "VxFramework/MidiAndAudio/Midi/MidiFilter.h"
#include "VxFramework/MidiAndAudio/Midi/MidiMessage.h"
#include "VxFramework/Utilities/Storage/VxArray.h"

#include <cstdint>
#include <mutex>

namespace Vx
{
// Gets one step back or forward per encoder detent, on the MIDI service's
// worker thread.
class LEncoderMidiClientCallbackReceiver : public virtual LRefCountedObject
{
public:
    virtual void OnEncoderDecrement() = 0;
    virtual void OnEncoderIncrement() = 0;
    ~LEncoderMidiClientCallbackReceiver() override = default;
};

// Turns an encoder's MIDI messages into decrement and increment events: its
// MIDI client lets through the messages that begin with one of the patterns,
// and a message equal to a decrement or an increment pattern fires the event.
// It is its MIDI client's receiver; the client's reference to it is one of its
// own, so that it ends when its owner lets go.
class LEncoderMidiClient : public LMidiClientCallbackReceiver
{
public:
    using String = StringT<char, unsigned short>;

    static RCPtr<LEncoderMidiClient> Create(const String& inputPortName,
                                            const RCPtr<LEncoderMidiClientCallbackReceiver>& receiver);
    // On the input port the MIDI manager knows for the function (none: empty).
    static RCPtr<LEncoderMidiClient> CreateForFunction(std::int32_t functionID, std::int32_t functionIndex,
                                                       const RCPtr<LEncoderMidiClientCallbackReceiver>& receiver);
    ~LEncoderMidiClient() override;

    void SetPatterns(const MidiMessage& decrement, const MidiMessage& increment);
    // Copies of both lists, and a filter that allows every pattern.
    void SetPatternLists(const Array<MidiMessage>& decrement, const Array<MidiMessage>& increment);
    void SetReceiver(const RCPtr<LEncoderMidiClientCallbackReceiver>& receiver);

    // The MIDI client's result, capture enabled: 0x80000003 without an input
    // port name, 0x80000008 when the port cannot be opened.
    VxRESULT Open();
    void Close();

    // Equal to a decrement pattern (checked first) or an increment pattern;
    // anything else is ignored.
    void HandleMidiMessage(const MidiMessage& message, std::uint32_t timeStampMs) override;

    VxRESULT RemoveContainedReferences() override;

private:
    explicit LEncoderMidiClient(const String& inputPortName);

    RCPtr<LMidiClient> mClient;
    // The lists and the receiver are read on the worker and replaced on the
    // owner's thread; the receiver is called without the lock.
    std::mutex mLock;
    Array<MidiMessage> mDecrement;
    Array<MidiMessage> mIncrement;
    RCPtr<LMidiFilterByDenyAllowPrefixLists> mFilter;
    RCPtr<LEncoderMidiClientCallbackReceiver> mReceiver;
};
} // namespace Vx
