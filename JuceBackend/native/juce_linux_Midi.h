#pragma once

// What the device's ALSA MIDI backend adds to JUCE's MIDI classes, and the
// input thread's decoding of sequencer events, which tests drive directly.

#include <juce_audio_devices/juce_audio_devices.h>

#include <vector>

struct snd_seq_event;
struct snd_midi_event;

namespace juce
{

/** Whether an input opened by its device is still connected to that device:
    ALSA reports the subscription from the device's port to the input's own
    port.  An unplugged device takes its subscriptions with it.  False for
    inputs made by createNewDevice, which have no device. */
bool isConnected (const MidiInput& input);

/** The same for an output: the subscription from its own port to the device's. */
bool isConnected (const MidiOutput& output);

//==============================================================================
/** Turns the sequencer events of one input client into whole MIDI messages.

    Each event is decoded by ALSA's MIDI event decoder.  System Exclusive
    messages that the sequencer splits over several events are put together
    again: a piece that starts with F0 and does not end with F7 starts a
    message, and the pieces after it (real-time bytes such as a clock F8
    included) are appended until one ends with F7.  A message whose end never
    comes is dropped when another status byte starts, or once it would grow
    past maxSysExSize (and its remaining pieces with it).
*/
class AlsaMidiInputDecoder
{
public:
    /** The largest event the decoder takes; larger ones are dropped. */
    static constexpr int maxEventSize = 16 * 1024;

    /** The largest System Exclusive message put together from pieces. */
    static constexpr int maxSysExSize = 64 * 1024;

    AlsaMidiInputDecoder();
    ~AlsaMidiInputDecoder();

    /** False when ALSA's decoder could not be made; decode then gives nothing. */
    bool isValid() const noexcept { return decoder != nullptr; }

    /** The message this event completes, valid until the next call, and its
        size; nullptr (and 0) when the event completes none. */
    const uint8* decode (const snd_seq_event& event, int& numBytes);

    /** Messages dropped as incomplete or too long so far. */
    int getNumDroppedMessages() const noexcept { return numDropped; }

private:
    const uint8* reassemble (const uint8* data, int size, int& numBytes);
    void dropMessage (const char* reason);

    snd_midi_event* decoder = nullptr;
    HeapBlock<uint8> buffer;
    std::vector<uint8> message;

    // Skipping: the rest of a message that grew too long is dropped too.
    enum class State
    {
        idle,
        assembling,
        skipping
    };
    State state = State::idle;
    int numDropped = 0;

    JUCE_DECLARE_NON_COPYABLE (AlsaMidiInputDecoder)
};

} // namespace juce
