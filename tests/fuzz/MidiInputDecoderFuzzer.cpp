// The MIDI input thread's work on sequencer events: decoding and putting
// System Exclusive pieces together.  The input is a series of events, each a
// kind byte and then its fields or its variable-length data.

#include "JuceBackend/native/juce_linux_Midi.h"

#include <alsa/asoundlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace
{
// What a sequencer hands the input thread: MIDI kinds, and some that are none.
const snd_seq_event_type_t kinds[] = {
    SND_SEQ_EVENT_NOTEON,          SND_SEQ_EVENT_NOTEOFF,      SND_SEQ_EVENT_KEYPRESS,  SND_SEQ_EVENT_CONTROLLER,
    SND_SEQ_EVENT_PGMCHANGE,       SND_SEQ_EVENT_CHANPRESS,    SND_SEQ_EVENT_PITCHBEND, SND_SEQ_EVENT_CONTROL14,
    SND_SEQ_EVENT_NONREGPARAM,     SND_SEQ_EVENT_REGPARAM,     SND_SEQ_EVENT_SONGPOS,   SND_SEQ_EVENT_SONGSEL,
    SND_SEQ_EVENT_QFRAME,          SND_SEQ_EVENT_TUNE_REQUEST, SND_SEQ_EVENT_CLOCK,     SND_SEQ_EVENT_START,
    SND_SEQ_EVENT_CONTINUE,        SND_SEQ_EVENT_STOP,         SND_SEQ_EVENT_SENSING,   SND_SEQ_EVENT_RESET,
    SND_SEQ_EVENT_PORT_SUBSCRIBED, SND_SEQ_EVENT_CLIENT_START, SND_SEQ_EVENT_NONE,      SND_SEQ_EVENT_SYSEX,
};

struct Reader
{
    const uint8_t* data;
    size_t size;
    size_t position = 0;

    bool atEnd() const { return position >= size; }
    uint8_t next() { return atEnd() ? 0 : data[position++]; }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    juce::AlsaMidiInputDecoder decoder;
    Reader reader{data, size};

    while (!reader.atEnd())
    {
        snd_seq_event_t event;
        snd_seq_ev_clear(&event);
        event.type = kinds[reader.next() % (sizeof(kinds) / sizeof(kinds[0]))];
        std::vector<uint8_t> variable;

        if (event.type == SND_SEQ_EVENT_SYSEX)
        {
            // A length, and that many bytes; a length byte of 0xFF stands for
            // an event larger than the decoder takes.
            const uint8_t length = reader.next();
            if (length == 0xFF)
                variable.assign(juce::AlsaMidiInputDecoder::maxEventSize + 1, 0x10);
            for (uint8_t i = 0; i < length && length != 0xFF && !reader.atEnd(); ++i)
                variable.push_back(reader.next());
            snd_seq_ev_set_sysex(&event, variable.size(), variable.data());
        }
        else
        {
            event.data.control.channel = reader.next();
            event.data.control.param = reader.next();
            event.data.control.value = static_cast<int8_t>(reader.next());
        }

        int numBytes = -1;
        const uint8_t* message = decoder.decode(event, numBytes);

        // A message has bytes and at most the size a System Exclusive message may grow to;
        // one put together from pieces runs from F0 to F7.
        if (message == nullptr ? numBytes != 0 : numBytes < 1 || numBytes > juce::AlsaMidiInputDecoder::maxSysExSize)
            std::abort();
        if (message != nullptr && message[0] == 0xF0 && numBytes > 1 && message[numBytes - 1] != 0xF7)
            std::abort();
    }

    return 0;
}
