#pragma once

// An in-memory ALSA sequencer behind the MIDI backend's seam: the System and
// Midi Through clients, device clients with ports that tests plug in and
// unplug, the program's own clients, subscriptions between ports, events with
// their variable-length data, and a real descriptor per client to poll.
// Events from devices are made with ALSA's own MIDI event encoder, as the
// kernel's MIDI converter makes them, System Exclusive split into pieces on
// demand; what reaches a device is decoded with ALSA's decoder.

#include "JuceBackend/juce_linux_SequencerCalls.h"
#include "sim/SimFaults.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace Sim
{

class SimSequencer final : public juce::SequencerCalls
{
public:
    /** The System client (0) with its Timer and Announce ports, and Midi
        Through (14) with one port that sends on whatever it receives. */
    SimSequencer();
    ~SimSequencer() override;

    static constexpr int systemClient = 0;
    static constexpr int midiThroughClient = 14;

    static constexpr unsigned int duplexCapability = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_WRITE
                                                     | SND_SEQ_PORT_CAP_SUBS_READ | SND_SEQ_PORT_CAP_SUBS_WRITE
                                                     | SND_SEQ_PORT_CAP_DUPLEX;

    struct PortSpec
    {
        std::string name;
        unsigned int capability = duplexCapability;
    };

    //==========================================================================
    /** Plugs in a device client with its ports (numbered from 0), under the
        number given or, for -1, the first free one from 20 up as the kernel
        gives to sound cards.  Returns the number; -1 when it is taken. */
    int addDevice (const std::string& name, const std::vector<PortSpec>& ports, int client = -1);

    /** Unplugs a device: its ports go, and every subscription with them. */
    void removeDevice (int client);

    /** A device port sends bytes to its subscribers: one event per message,
        made by ALSA's encoder, a System Exclusive message split into events
        of at most sysExPieceSize bytes (0: one event).  False when the port
        does not exist or the bytes make no event. */
    bool sendFromDevice (int client, int port, const std::vector<uint8_t>& bytes, size_t sysExPieceSize = 0);

    /** A device port sends one event of any kind (its variable-length data is copied). */
    bool sendEventFromDevice (int client, int port, const snd_seq_event_t& event);

    /** The bytes that arrived at a device port so far, decoded; cleared by the call. */
    std::vector<uint8_t> takeReceivedBytes (int client, int port);

    /** Called with the decoded bytes of every event that reaches one of the
        device's ports, on the sending thread and under the sequencer's lock:
        a listener hands the bytes on and never calls back into the sequencer.
        An empty function removes the listener.  A device that is unplugged
        loses its listener. */
    using DeviceListener = std::function<void (int port, const std::vector<uint8_t>& bytes)>;
    void setDeviceListener (int client, DeviceListener listener);

    //==========================================================================
    struct Subscription
    {
        int senderClient, senderPort, destClient, destPort;
    };

    std::vector<Subscription> getSubscriptions() const;
    int getNumOpenHandles() const;
    bool hasPort (int client, int port) const;

    /** A client's name; empty when there is no such client. */
    std::string getClientName (int client) const;

    //==========================================================================
    /** The calls that faults can make fail, by name. */
    enum class Call
    {
        open,
        createSimplePort,
        connectFrom,
        connectTo,
        eventOutputDirect
    };

    Faults<Call> faults;

    //==========================================================================
    int open (snd_seq_t** handle, const char* name, int streams, int mode) override;
    int close (snd_seq_t*) override;
    int setNonBlocking (snd_seq_t*, int nonBlocking) override;
    int getClientId (snd_seq_t*) override;
    int setClientName (snd_seq_t*, const char* name) override;
    int querySystemInfo (snd_seq_t*, juce::SequencerSystemInfo& info) override;
    int queryNextClient (snd_seq_t*, juce::SequencerClientInfo& info) override;
    int queryNextPort (snd_seq_t*, juce::SequencerPortInfo& info) override;
    int createSimplePort (snd_seq_t*, const char* name, unsigned int capabilities, unsigned int type) override;
    int deleteSimplePort (snd_seq_t*, int port) override;
    int connectFrom (snd_seq_t*, int myPort, int sourceClient, int sourcePort) override;
    int connectTo (snd_seq_t*, int myPort, int destinationClient, int destinationPort) override;
    int getPortSubscription (snd_seq_t*, snd_seq_port_subscribe_t* subscription) override;
    int eventOutputDirect (snd_seq_t*, snd_seq_event_t* event) override;
    int eventInput (snd_seq_t*, snd_seq_event_t** event) override;
    int eventInputPending (snd_seq_t*, int fetchSequencer) override;
    int freeEvent (snd_seq_event_t* event) override;
    int pollDescriptorsCount (snd_seq_t*, short events) override;
    int pollDescriptors (snd_seq_t*, struct pollfd* descriptors, unsigned int space, short events) override;

private:
    struct StoredEvent
    {
        snd_seq_event_t event {};
        std::vector<uint8_t> data; // the variable-length part
    };

    struct Handle
    {
        int client = -1;
        int streams = 0;
        bool nonBlocking = false;
        int eventFd = -1;
        std::deque<StoredEvent> queue;
        StoredEvent current; // what eventInput handed out last
    };

    struct Port
    {
        std::string name;
        unsigned int capability = 0;
        std::vector<uint8_t> received;
    };

    struct Client
    {
        std::string name;
        std::map<int, Port> ports;
        Handle* handle = nullptr; // the program's clients only
        DeviceListener listener; // devices only
    };

    Handle* findHandle (snd_seq_t*) const;
    Port* findPort (int client, int port);
    static StoredEvent store (const snd_seq_event_t& event);
    void sendFrom (int client, int port, StoredEvent event, int depth);
    void deliver (StoredEvent event, int client, int port, int depth);
    void removeSubscriptionsOf (int client, int port);
    /** Subscribes the handle's port and another port: from it (otherSends, as
        connectFrom) or to it (as connectTo). */
    int connect (snd_seq_t*, int myPort, int otherClient, int otherPort, bool otherSends);
    void dropClient (int client);

    mutable std::mutex lock;
    std::condition_variable eventArrived;
    std::map<int, Client> clients;
    std::vector<Subscription> subscriptions;
    std::set<Handle*> handles;
};

} // namespace Sim
