#include "sim/SimSequencer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace Sim
{

namespace
{
    // Addresses the kernel reserves: every subscriber of the sender.
    constexpr int subscribersAddress = SND_SEQ_ADDRESS_SUBSCRIBERS;

    // The program's own clients get numbers from here, as the kernel gives them.
    constexpr int firstUserClient = 128;

    // Midi Through passes on what it gets; a loop through it ends here.
    constexpr int maxDeliveryDepth = 4;

    bool isVariableLength (const snd_seq_event_t& event)
    {
        return (event.flags & SND_SEQ_EVENT_LENGTH_MASK) == SND_SEQ_EVENT_LENGTH_VARIABLE;
    }
} // namespace

SimSequencer::SimSequencer()
{
    clients[systemClient].name = "System";
    clients[systemClient].ports[0] = { "Timer", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_READ | SND_SEQ_PORT_CAP_SUBS_WRITE, {} };
    clients[systemClient].ports[1] = { "Announce", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ, {} };
    clients[midiThroughClient].name = "Midi Through";
    clients[midiThroughClient].ports[0] = { "Midi Through Port-0", duplexCapability, {} };
}

SimSequencer::~SimSequencer()
{
    // Handles still open are the program's leaks; they go with the sequencer.
    if (! handles.empty())
        std::fprintf (stderr, "SimSequencer: %d sequencer handle(s) still open\n", (int) handles.size());

    for (auto* handle : handles)
    {
        ::close (handle->eventFd);
        delete handle;
    }
}

//==============================================================================
int SimSequencer::addDevice (const std::string& name, const std::vector<PortSpec>& ports, int client)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (client < 0)
    {
        client = 20;

        while (clients.count (client) != 0)
            client += 4;
    }
    else if (clients.count (client) != 0)
    {
        return -1;
    }

    auto& added = clients[client];
    added.name = name;

    for (size_t i = 0; i < ports.size(); ++i)
        added.ports[(int) i] = { ports[i].name, ports[i].capability, {} };

    return client;
}

void SimSequencer::removeDevice (int client)
{
    const std::lock_guard<std::mutex> sl (lock);
    auto found = clients.find (client);

    if (found != clients.end() && found->second.handle == nullptr)
        dropClient (client);
}

bool SimSequencer::sendFromDevice (int client, int port, const std::vector<uint8_t>& bytes, size_t sysExPieceSize)
{
    snd_midi_event_t* encoder = nullptr;

    // Large enough for the whole message: a System Exclusive message comes out as one event.
    if (snd_midi_event_new (std::max<size_t> (bytes.size(), 16), &encoder) < 0)
        return false;

    std::vector<StoredEvent> events;
    auto* data = bytes.data();
    auto remaining = (long) bytes.size();

    while (remaining > 0)
    {
        snd_seq_event_t event;
        snd_seq_ev_clear (&event);
        const auto used = snd_midi_event_encode (encoder, data, remaining, &event);

        if (used <= 0)
            break;

        data += used;
        remaining -= used;

        if (event.type == SND_SEQ_EVENT_NONE)
            continue;

        auto stored = store (event);

        if (event.type == SND_SEQ_EVENT_SYSEX && sysExPieceSize > 0)
        {
            for (size_t offset = 0; offset < stored.data.size(); offset += sysExPieceSize)
            {
                StoredEvent piece;
                piece.event = stored.event;
                piece.data.assign (stored.data.begin() + (long) offset,
                                   stored.data.begin() + (long) std::min (stored.data.size(), offset + sysExPieceSize));
                events.push_back (std::move (piece));
            }
        }
        else
        {
            events.push_back (std::move (stored));
        }
    }

    snd_midi_event_free (encoder);

    const std::lock_guard<std::mutex> sl (lock);

    if (findPort (client, port) == nullptr || events.empty())
        return false;

    for (auto& event : events)
        sendFrom (client, port, std::move (event), 0);

    return true;
}

bool SimSequencer::sendEventFromDevice (int client, int port, const snd_seq_event_t& event)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (findPort (client, port) == nullptr)
        return false;

    sendFrom (client, port, store (event), 0);
    return true;
}

std::vector<uint8_t> SimSequencer::takeReceivedBytes (int client, int port)
{
    const std::lock_guard<std::mutex> sl (lock);
    std::vector<uint8_t> bytes;

    if (auto* found = findPort (client, port))
        std::swap (bytes, found->received);

    return bytes;
}

void SimSequencer::setDeviceListener (int client, DeviceListener listener)
{
    const std::lock_guard<std::mutex> sl (lock);
    auto found = clients.find (client);

    if (found != clients.end() && found->second.handle == nullptr)
        found->second.listener = std::move (listener);
}

std::vector<SimSequencer::Subscription> SimSequencer::getSubscriptions() const
{
    const std::lock_guard<std::mutex> sl (lock);
    return subscriptions;
}

int SimSequencer::getNumOpenHandles() const
{
    const std::lock_guard<std::mutex> sl (lock);
    return (int) handles.size();
}

bool SimSequencer::hasPort (int client, int port) const
{
    const std::lock_guard<std::mutex> sl (lock);
    auto found = clients.find (client);
    return found != clients.end() && found->second.ports.count (port) != 0;
}

std::string SimSequencer::getClientName (int client) const
{
    const std::lock_guard<std::mutex> sl (lock);
    auto found = clients.find (client);
    return found != clients.end() ? found->second.name : std::string();
}

//==============================================================================
SimSequencer::Handle* SimSequencer::findHandle (snd_seq_t* seq) const
{
    auto* handle = reinterpret_cast<Handle*> (seq);
    return handles.count (handle) != 0 ? handle : nullptr;
}

SimSequencer::Port* SimSequencer::findPort (int client, int port)
{
    auto foundClient = clients.find (client);

    if (foundClient == clients.end())
        return nullptr;

    auto foundPort = foundClient->second.ports.find (port);
    return foundPort != foundClient->second.ports.end() ? &foundPort->second : nullptr;
}

SimSequencer::StoredEvent SimSequencer::store (const snd_seq_event_t& event)
{
    StoredEvent stored;
    stored.event = event;

    if (isVariableLength (event))
    {
        if (event.data.ext.len > 0 && event.data.ext.ptr != nullptr)
        {
            auto* bytes = static_cast<const uint8_t*> (event.data.ext.ptr);
            stored.data.assign (bytes, bytes + event.data.ext.len);
        }

        // Pointed at the stored copy when the event is handed out.
        stored.event.data.ext.ptr = nullptr;
    }

    return stored;
}

void SimSequencer::sendFrom (int client, int port, StoredEvent event, int depth)
{
    event.event.source.client = (unsigned char) client;
    event.event.source.port = (unsigned char) port;

    for (const auto& subscription : std::vector<Subscription> (subscriptions))
        if (subscription.senderClient == client && subscription.senderPort == port)
            deliver (event, subscription.destClient, subscription.destPort, depth);
}

void SimSequencer::deliver (StoredEvent event, int client, int port, int depth)
{
    auto foundClient = clients.find (client);

    if (foundClient == clients.end() || foundClient->second.ports.count (port) == 0)
        return;

    event.event.dest.client = (unsigned char) client;
    event.event.dest.port = (unsigned char) port;

    if (auto* handle = foundClient->second.handle)
    {
        if ((handle->streams & SND_SEQ_OPEN_INPUT) == 0)
            return;

        const bool wasEmpty = handle->queue.empty();
        handle->queue.push_back (std::move (event));

        if (wasEmpty)
        {
            const uint64_t one = 1;
            [[maybe_unused]] const auto written = ::write (handle->eventFd, &one, sizeof (one));
        }

        eventArrived.notify_all();
        return;
    }

    if (client == midiThroughClient)
    {
        if (depth < maxDeliveryDepth)
            sendFrom (client, port, std::move (event), depth + 1);

        return;
    }

    // A device: what it received, as bytes.
    std::vector<uint8_t> bytes;

    if (isVariableLength (event.event))
    {
        bytes = std::move (event.data);
    }
    else
    {
        snd_midi_event_t* decoder = nullptr;

        if (snd_midi_event_new (16, &decoder) < 0)
            return;

        snd_midi_event_no_status (decoder, 1);
        unsigned char decoded[16];
        const auto size = snd_midi_event_decode (decoder, decoded, sizeof (decoded), &event.event);

        if (size > 0)
            bytes.assign (decoded, decoded + size);

        snd_midi_event_free (decoder);
    }

    if (bytes.empty())
        return;

    auto& received = foundClient->second.ports[port].received;
    received.insert (received.end(), bytes.begin(), bytes.end());

    if (foundClient->second.listener)
        foundClient->second.listener (port, bytes);
}

void SimSequencer::removeSubscriptionsOf (int client, int port)
{
    subscriptions.erase (std::remove_if (subscriptions.begin(), subscriptions.end(), [&] (const Subscription& s)
                                         { return (s.senderClient == client && (port < 0 || s.senderPort == port))
                                                  || (s.destClient == client && (port < 0 || s.destPort == port)); }),
                         subscriptions.end());
}

void SimSequencer::dropClient (int client)
{
    removeSubscriptionsOf (client, -1);
    clients.erase (client);
}

//==============================================================================
int SimSequencer::open (snd_seq_t** seq, const char* name, int streams, int mode)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (const auto error = faults.take (Call::open))
        return -error;

    if (seq == nullptr || name == nullptr || std::strcmp (name, "default") != 0)
        return -ENOENT;

    auto client = firstUserClient;

    while (clients.count (client) != 0)
        ++client;

    auto* handle = new Handle();
    handle->client = client;
    handle->streams = streams;
    handle->nonBlocking = (mode & SND_SEQ_NONBLOCK) != 0;
    handle->eventFd = ::eventfd (0, EFD_NONBLOCK | EFD_CLOEXEC);

    if (handle->eventFd < 0)
    {
        const auto error = errno;
        delete handle;
        return -error;
    }

    auto& added = clients[client];
    added.name = "Client-" + std::to_string (client);
    added.handle = handle;
    handles.insert (handle);
    *seq = reinterpret_cast<snd_seq_t*> (handle);
    return 0;
}

int SimSequencer::close (snd_seq_t* seq)
{
    const std::lock_guard<std::mutex> sl (lock);
    auto* handle = findHandle (seq);

    if (handle == nullptr)
        return -EBADFD;

    dropClient (handle->client);
    handles.erase (handle);
    ::close (handle->eventFd);
    delete handle;
    eventArrived.notify_all();
    return 0;
}

int SimSequencer::setNonBlocking (snd_seq_t* seq, int nonBlocking)
{
    const std::lock_guard<std::mutex> sl (lock);
    auto* handle = findHandle (seq);

    if (handle == nullptr)
        return -EBADFD;

    handle->nonBlocking = nonBlocking != 0;
    return 0;
}

int SimSequencer::getClientId (snd_seq_t* seq)
{
    const std::lock_guard<std::mutex> sl (lock);
    auto* handle = findHandle (seq);
    return handle != nullptr ? handle->client : -EBADFD;
}

int SimSequencer::setClientName (snd_seq_t* seq, const char* name)
{
    const std::lock_guard<std::mutex> sl (lock);
    auto* handle = findHandle (seq);

    if (handle == nullptr || name == nullptr)
        return -EINVAL;

    clients[handle->client].name = name;
    return 0;
}

int SimSequencer::querySystemInfo (snd_seq_t* seq, juce::SequencerSystemInfo& info)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (findHandle (seq) == nullptr)
        return -EBADFD;

    info.currentClients = (int) clients.size();
    return 0;
}

int SimSequencer::queryNextClient (snd_seq_t* seq, juce::SequencerClientInfo& info)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (findHandle (seq) == nullptr)
        return -EBADFD;

    // As the kernel: the first client numbered above the one asked about.
    auto next = clients.upper_bound (info.client);

    if (next == clients.end())
        return -ENOENT;

    info.client = next->first;
    info.name = next->second.name;
    info.numPorts = (int) next->second.ports.size();
    return 0;
}

int SimSequencer::queryNextPort (snd_seq_t* seq, juce::SequencerPortInfo& info)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (findHandle (seq) == nullptr)
        return -EBADFD;

    auto foundClient = clients.find (info.client);

    if (foundClient == clients.end())
        return -ENOENT;

    auto next = foundClient->second.ports.upper_bound (info.port);

    if (next == foundClient->second.ports.end())
        return -ENOENT;

    info.port = next->first;
    info.name = next->second.name;
    info.capability = next->second.capability;
    return 0;
}

int SimSequencer::createSimplePort (snd_seq_t* seq, const char* name, unsigned int capabilities, unsigned int)
{
    const std::lock_guard<std::mutex> sl (lock);
    auto* handle = findHandle (seq);

    if (handle == nullptr)
        return -EBADFD;

    if (const auto error = faults.take (Call::createSimplePort))
        return -error;

    auto& ports = clients[handle->client].ports;
    int port = 0;

    while (ports.count (port) != 0)
        ++port;

    ports[port] = { name != nullptr ? name : "", capabilities, {} };
    return port;
}

int SimSequencer::deleteSimplePort (snd_seq_t* seq, int port)
{
    const std::lock_guard<std::mutex> sl (lock);
    auto* handle = findHandle (seq);

    if (handle == nullptr)
        return -EBADFD;

    if (clients[handle->client].ports.erase (port) == 0)
        return -ENOENT;

    removeSubscriptionsOf (handle->client, port);
    return 0;
}

int SimSequencer::connectFrom (snd_seq_t* seq, int myPort, int sourceClient, int sourcePort)
{
    return connect (seq, myPort, sourceClient, sourcePort, true);
}

int SimSequencer::connectTo (snd_seq_t* seq, int myPort, int destinationClient, int destinationPort)
{
    return connect (seq, myPort, destinationClient, destinationPort, false);
}

int SimSequencer::connect (snd_seq_t* seq, int myPort, int otherClient, int otherPort, bool otherSends)
{
    const std::lock_guard<std::mutex> sl (lock);
    auto* handle = findHandle (seq);

    if (handle == nullptr)
        return -EBADFD;

    if (const auto error = faults.take (otherSends ? Call::connectFrom : Call::connectTo))
        return -error;

    auto* other = findPort (otherClient, otherPort);

    if (other == nullptr || findPort (handle->client, myPort) == nullptr)
        return -EINVAL;

    // The other port must let itself be read from, or written to.
    const auto needed = otherSends ? SND_SEQ_PORT_CAP_SUBS_READ : SND_SEQ_PORT_CAP_SUBS_WRITE;

    if ((other->capability & (unsigned int) needed) == 0)
        return -EPERM;

    const Subscription wanted = otherSends ? Subscription { otherClient, otherPort, handle->client, myPort }
                                           : Subscription { handle->client, myPort, otherClient, otherPort };

    for (const auto& s : subscriptions)
        if (s.senderClient == wanted.senderClient && s.senderPort == wanted.senderPort
            && s.destClient == wanted.destClient && s.destPort == wanted.destPort)
            return -EBUSY;

    subscriptions.push_back (wanted);
    return 0;
}

int SimSequencer::getPortSubscription (snd_seq_t* seq, snd_seq_port_subscribe_t* subscription)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (findHandle (seq) == nullptr)
        return -EBADFD;

    const auto* sender = snd_seq_port_subscribe_get_sender (subscription);
    const auto* dest = snd_seq_port_subscribe_get_dest (subscription);

    for (const auto& s : subscriptions)
        if (s.senderClient == sender->client && s.senderPort == sender->port && s.destClient == dest->client && s.destPort == dest->port)
            return 0;

    return -ENOENT;
}

int SimSequencer::eventOutputDirect (snd_seq_t* seq, snd_seq_event_t* event)
{
    const std::lock_guard<std::mutex> sl (lock);
    auto* handle = findHandle (seq);

    if (handle == nullptr || event == nullptr)
        return -EBADFD;

    if ((handle->streams & SND_SEQ_OPEN_OUTPUT) == 0)
        return -ENXIO;

    if (const auto error = faults.take (Call::eventOutputDirect))
        return -error;

    if (findPort (handle->client, event->source.port) == nullptr)
        return -EINVAL;

    auto stored = store (*event);
    const auto size = (int) (sizeof (snd_seq_event_t) + stored.data.size());

    if (event->dest.client == subscribersAddress)
    {
        sendFrom (handle->client, event->source.port, std::move (stored), 0);
    }
    else
    {
        stored.event.source.client = (unsigned char) handle->client;
        deliver (std::move (stored), event->dest.client, event->dest.port, 0);
    }

    return size;
}

int SimSequencer::eventInput (snd_seq_t* seq, snd_seq_event_t** event)
{
    std::unique_lock<std::mutex> sl (lock);
    auto* handle = findHandle (seq);

    if (handle == nullptr || event == nullptr)
        return -EBADFD;

    if ((handle->streams & SND_SEQ_OPEN_INPUT) == 0)
        return -ENXIO;

    while (handle->queue.empty())
    {
        if (handle->nonBlocking)
            return -EAGAIN;

        eventArrived.wait (sl);

        if (findHandle (seq) == nullptr)
            return -EBADFD;
    }

    handle->current = std::move (handle->queue.front());
    handle->queue.pop_front();

    if (handle->queue.empty())
    {
        uint64_t count = 0;
        [[maybe_unused]] const auto read = ::read (handle->eventFd, &count, sizeof (count));
    }

    auto& current = handle->current;

    if (isVariableLength (current.event))
    {
        current.event.data.ext.ptr = current.data.data();
        current.event.data.ext.len = (unsigned int) current.data.size();
    }

    *event = &current.event;
    return (int) handle->queue.size();
}

int SimSequencer::eventInputPending (snd_seq_t* seq, int)
{
    const std::lock_guard<std::mutex> sl (lock);
    auto* handle = findHandle (seq);
    return handle != nullptr ? (int) handle->queue.size() : -EBADFD;
}

int SimSequencer::freeEvent (snd_seq_event_t*)
{
    // As alsa-lib: the event lives in the handle's buffer.
    return 0;
}

int SimSequencer::pollDescriptorsCount (snd_seq_t* seq, short)
{
    const std::lock_guard<std::mutex> sl (lock);
    return findHandle (seq) != nullptr ? 1 : -EBADFD;
}

int SimSequencer::pollDescriptors (snd_seq_t* seq, struct pollfd* descriptors, unsigned int space, short events)
{
    const std::lock_guard<std::mutex> sl (lock);
    auto* handle = findHandle (seq);

    if (handle == nullptr)
        return -EBADFD;

    if (space < 1 || descriptors == nullptr)
        return 0;

    descriptors[0].fd = handle->eventFd;
    descriptors[0].events = events;
    descriptors[0].revents = 0;
    return 1;
}

} // namespace Sim
