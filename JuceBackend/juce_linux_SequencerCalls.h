#pragma once

// The MIDI backend's only way to the ALSA sequencer.  Each virtual is one
// snd_seq_* call with the same arguments and result (0 or a count on success,
// a negative errno on failure), so that everything above it is the backend's
// real code.  The queries that fill ALSA's opaque info records take the
// project's small records instead, because only alsa-lib can fill ALSA's.
// ALSA's MIDI event encoder and decoder work without a sequencer and stay
// real.  The device runs the implementation over alsa-lib; the simulator
// (sim/) installs an in-memory sequencer.

#include "juce_linuxfb_ScopedSystemCalls.h"

#include <alsa/asoundlib.h>

#include <string>

namespace juce
{

/** What snd_seq_system_info reports of the sequencer. */
struct SequencerSystemInfo
{
    int currentClients = 0;
};

/** What snd_seq_query_next_client reports of a client. */
struct SequencerClientInfo
{
    int client = 0;
    std::string name;
    int numPorts = 0;
};

/** What snd_seq_query_next_port reports of a port. */
struct SequencerPortInfo
{
    int client = 0;
    int port = 0;
    std::string name;
    unsigned int capability = 0;
};

class SequencerCalls
{
public:
    virtual ~SequencerCalls() = default;

    /** The calls in use: a scope's stand-in, else the device's own.  A
        sequencer handle is always used with the calls that opened it, so
        change them only while no handle is open. */
    static SequencerCalls& get() { return getSystemCalls<SequencerCalls>(); }

    /** The device's own calls, over alsa-lib. */
    static SequencerCalls& getDeviceCalls();

    using Scoped = ScopedSystemCalls<SequencerCalls>;

    virtual int open (snd_seq_t** handle, const char* name, int streams, int mode) = 0;
    virtual int close (snd_seq_t*) = 0;
    virtual int setNonBlocking (snd_seq_t*, int nonBlocking) = 0;
    virtual int getClientId (snd_seq_t*) = 0;
    virtual int setClientName (snd_seq_t*, const char* name) = 0;

    virtual int querySystemInfo (snd_seq_t*, SequencerSystemInfo& info) = 0;

    /** The first client numbered above info.client; fills info. */
    virtual int queryNextClient (snd_seq_t*, SequencerClientInfo& info) = 0;

    /** The first port of info.client numbered above info.port; fills info. */
    virtual int queryNextPort (snd_seq_t*, SequencerPortInfo& info) = 0;

    virtual int createSimplePort (snd_seq_t*, const char* name, unsigned int capabilities, unsigned int type) = 0;
    virtual int deleteSimplePort (snd_seq_t*, int port) = 0;
    virtual int connectFrom (snd_seq_t*, int myPort, int sourceClient, int sourcePort) = 0;
    virtual int connectTo (snd_seq_t*, int myPort, int destinationClient, int destinationPort) = 0;
    virtual int getPortSubscription (snd_seq_t*, snd_seq_port_subscribe_t* subscription) = 0;

    virtual int eventOutputDirect (snd_seq_t*, snd_seq_event_t* event) = 0;
    virtual int eventInput (snd_seq_t*, snd_seq_event_t** event) = 0;
    virtual int eventInputPending (snd_seq_t*, int fetchSequencer) = 0;
    virtual int freeEvent (snd_seq_event_t* event) = 0;
    virtual int pollDescriptorsCount (snd_seq_t*, short events) = 0;
    virtual int pollDescriptors (snd_seq_t*, struct pollfd* descriptors, unsigned int space, short events) = 0;
};

/** Installs sequencer calls for its lifetime and then puts back the ones
    that were installed before. */
using ScopedSequencerCalls = SequencerCalls::Scoped;

} // namespace juce
