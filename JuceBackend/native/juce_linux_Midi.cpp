/*
    JUCE's MidiInput and MidiOutput on the device's ALSA sequencer.

    One sequencer client per direction is shared by every input or every
    output; each opened device gets its own port on it, connected to the
    device's port, whose address the port remembers so that the framework can
    ask whether the device is still there.  One input thread per input client
    reads the events of all its ports.  Every sequencer call goes through
    SequencerCalls.
*/

#include "JuceBackend/juce_linux_SequencerCalls.h"
#include "JuceBackend/native/juce_linux_Midi.h"
#include "JuceBackend/native/juce_linux_Threads.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <mutex>

namespace juce
{

//==============================================================================
AlsaMidiInputDecoder::AlsaMidiInputDecoder()
{
    if (snd_midi_event_new ((size_t) maxEventSize, &decoder) < 0)
        decoder = nullptr;

    buffer.malloc ((size_t) maxEventSize);
}

AlsaMidiInputDecoder::~AlsaMidiInputDecoder()
{
    if (decoder != nullptr)
        snd_midi_event_free (decoder);
}

const uint8* AlsaMidiInputDecoder::decode (const snd_seq_event& event, int& numBytes)
{
    numBytes = 0;

    if (decoder == nullptr)
        return nullptr;

    const auto size = snd_midi_event_decode (decoder, buffer, maxEventSize, &event);

    // Every event stands alone: no running status is carried into the next.
    snd_midi_event_reset_decode (decoder);

    // Events that are no MIDI bytes, or too large for the buffer, are dropped.
    if (size <= 0)
        return nullptr;

    return reassemble (buffer, (int) size, numBytes);
}

const uint8* AlsaMidiInputDecoder::reassemble (const uint8* data, int size, int& numBytes)
{
    const auto first = data[0];
    const auto endsMessage = data[size - 1] == 0xf7;

    // A status byte other than a real-time one or the end starts another message.
    const auto startsAnother = first >= 0x80 && first != 0xf7 && first < 0xf8;

    if (state == State::skipping)
    {
        // The rest of a message too long to keep goes the same way.
        if (! startsAnother)
        {
            if (endsMessage)
                state = State::idle;

            return nullptr;
        }

        state = State::idle;
    }

    if (state == State::assembling)
    {
        if (startsAnother)
        {
            // The end of the message being put together was lost.
            dropMessage ("ALSA MIDI input: unterminated System Exclusive message dropped");
        }
        else if ((int) message.size() + size > maxSysExSize)
        {
            dropMessage ("ALSA MIDI input: System Exclusive message too long, dropped");

            if (! endsMessage)
                state = State::skipping;

            return nullptr;
        }
        else
        {
            message.insert (message.end(), data, data + size);

            if (! endsMessage)
                return nullptr;

            state = State::idle;
            numBytes = (int) message.size();
            return message.data();
        }
    }

    if (first == 0xf0 && ! endsMessage)
    {
        message.assign (data, data + size);
        state = State::assembling;
        return nullptr;
    }

    numBytes = size;
    return data;
}

void AlsaMidiInputDecoder::dropMessage (const char* reason)
{
    std::fprintf (stderr, "%s\n", reason);
    message.clear();
    state = State::idle;
    ++numDropped;
}

//==============================================================================
class AlsaPortAndCallback;

/** One direction's shared sequencer client. */
class AlsaClient
{
public:
    ~AlsaClient()
    {
        jassert (activeCallbacks.isEmpty());

        if (inputThread != nullptr)
            inputThread->stopThread (3000);

        if (handle != nullptr)
            calls.close (handle);
    }

    /** The client of the direction, made when nobody holds it. */
    static std::shared_ptr<AlsaClient> getInstance (bool forInput)
    {
        // Built on first use and never destroyed: ports may be closed by threads still running at exit.
        struct Instances
        {
            std::mutex lock;
            std::weak_ptr<AlsaClient> clients[2];
        };

        static auto* instances = new Instances();

        const std::lock_guard<std::mutex> sl (instances->lock);
        auto& instance = instances->clients[forInput ? 0 : 1];
        auto client = instance.lock();

        if (client == nullptr)
        {
            client.reset (new AlsaClient (forInput));
            instance = client;
        }

        return client;
    }

    bool isInput() const noexcept { return input; }
    snd_seq_t* get() const noexcept { return handle; }
    SequencerCalls& getCalls() const noexcept { return calls; }

    int getId() const
    {
        return handle != nullptr ? calls.getClientId (handle) : -1;
    }

    void setName (const char* name)
    {
        if (handle != nullptr)
            calls.setClientName (handle, name);
    }

    void registerCallback (AlsaPortAndCallback* record)
    {
        MidiInputThread* thread = nullptr;

        {
            const ScopedLock sl (callbackLock);
            activeCallbacks.add (record);

            if (inputThread == nullptr)
                inputThread = std::make_unique<MidiInputThread> (*this);

            thread = inputThread.get();
        }

        // Starting and stopping go one at a time, so that a stop decided on an
        // empty list never ends a thread that a later registration needs.
        const ScopedLock tl (threadLock);

        if (hasActiveCallbacks())
            thread->startThread (inputThreadPriority);
    }

    void unregisterCallback (AlsaPortAndCallback* record)
    {
        MidiInputThread* thread = nullptr;

        {
            const ScopedLock sl (callbackLock);
            jassert (activeCallbacks.contains (record));
            activeCallbacks.removeAllInstancesOf (record);
            thread = inputThread.get();
        }

        // Not under the callback lock: the thread takes it for every delivery.
        const ScopedLock tl (threadLock);

        if (! hasActiveCallbacks() && thread != nullptr && thread->isThreadRunning())
            thread->stopThread (500);
    }

    void handleIncomingMidiMessage (int destinationPort, const MidiMessage& message);

    static constexpr int inputThreadPriority = 8;

private:
    explicit AlsaClient (bool forInput)
        : calls (SequencerCalls::get()), input (forInput)
    {
        if (calls.open (&handle, "default", forInput ? SND_SEQ_OPEN_INPUT : SND_SEQ_OPEN_OUTPUT, 0) < 0)
            handle = nullptr;
    }

    bool hasActiveCallbacks() const
    {
        const ScopedLock sl (callbackLock);
        return ! activeCallbacks.isEmpty();
    }

    //==============================================================================
    class MidiInputThread : public PriorityThread,
                            private Thread::Listener
    {
    public:
        explicit MidiInputThread (AlsaClient& c)
            : PriorityThread ("Juce MIDI Input"), client (c)
        {
            addListener (this);
        }

        ~MidiInputThread() override
        {
            stopThread (500);
            removeListener (this);

            if (wakeUp >= 0)
                ::close (wakeUp);
        }

    private:
        // A stop wakes the poll at once: closing the last input (which every
        // identity inquiry does) never waits for the poll's time-out.
        void exitSignalSent() override
        {
            if (wakeUp >= 0)
            {
                const uint64_t one = 1;
                [[maybe_unused]] const auto written = ::write (wakeUp, &one, sizeof (one));
            }
        }

        void drainWakeUp()
        {
            uint64_t count = 0;
            [[maybe_unused]] const auto read = ::read (wakeUp, &count, sizeof (count));
        }

        void runThread() override
        {
            auto& calls = client.getCalls();
            auto* seqHandle = client.get();

            // The reassembly state lives for one run: a message still being
            // put together when the thread stops is dropped.
            AlsaMidiInputDecoder decoder;

            if (seqHandle == nullptr || ! decoder.isValid())
                return;

            const auto numPfds = calls.pollDescriptorsCount (seqHandle, POLLIN);

            if (numPfds <= 0)
                return;

            // The sequencer's descriptors, then the wake-up.
            HeapBlock<pollfd> pfd ((size_t) numPfds + 1, true);
            const auto numFilled = calls.pollDescriptors (seqHandle, pfd, (unsigned int) numPfds, POLLIN);

            if (numFilled <= 0)
                return;

            auto numPolled = (nfds_t) numFilled;

            if (wakeUp >= 0)
            {
                // What an earlier stop left there.
                drainWakeUp();
                pfd[numFilled].fd = wakeUp;
                pfd[numFilled].events = POLLIN;
                pfd[numFilled].revents = 0;
                ++numPolled;
            }

            while (! threadShouldExit())
            {
                // Short all the same, should a wake-up be lost.
                if (poll (pfd, numPolled, 100) <= 0)
                    continue;

                if (threadShouldExit())
                    break;

                if (numPolled > (nfds_t) numFilled && (pfd[numFilled].revents & POLLIN) != 0)
                    drainWakeUp();

                calls.setNonBlocking (seqHandle, 1);

                do
                {
                    snd_seq_event_t* inputEvent = nullptr;

                    if (calls.eventInput (seqHandle, &inputEvent) < 0 || inputEvent == nullptr)
                        break;

                    int numBytes = 0;

                    if (auto* data = decoder.decode (*inputEvent, numBytes))
                        client.handleIncomingMidiMessage (inputEvent->dest.port,
                                                          MidiMessage (data, numBytes, Time::getMillisecondCounter() * 0.001));

                    calls.freeEvent (inputEvent);
                } while (calls.eventInputPending (seqHandle, 0) > 0);
            }
        }

        AlsaClient& client;
        const int wakeUp = ::eventfd (0, EFD_NONBLOCK | EFD_CLOEXEC);

        JUCE_DECLARE_NON_COPYABLE (MidiInputThread)
    };

    SequencerCalls& calls;
    snd_seq_t* handle = nullptr;
    const bool input;

    Array<AlsaPortAndCallback*> activeCallbacks;
    CriticalSection callbackLock, threadLock;
    std::unique_ptr<MidiInputThread> inputThread;

    JUCE_DECLARE_NON_COPYABLE (AlsaClient)
};

//==============================================================================
/** A port of the shared client, and the device port it was connected to. */
struct AlsaPort
{
    std::shared_ptr<AlsaClient> client;
    int portId = -1;
    int remoteClient = -1, remotePort = -1;

    bool isValid() const noexcept
    {
        return client != nullptr && client->get() != nullptr && portId >= 0;
    }

    void createPort (const String& name, bool enableSubscription)
    {
        if (client == nullptr || client->get() == nullptr)
            return;

        const unsigned int caps = client->isInput()
                                      ? (SND_SEQ_PORT_CAP_WRITE | (enableSubscription ? SND_SEQ_PORT_CAP_SUBS_WRITE : 0u))
                                      : (SND_SEQ_PORT_CAP_READ | (enableSubscription ? SND_SEQ_PORT_CAP_SUBS_READ : 0u));

        portId = client->getCalls().createSimplePort (client->get(), name.toRawUTF8(), caps, SND_SEQ_PORT_TYPE_MIDI_GENERIC);
    }

    bool connectWith (int sourceClient, int sourcePort)
    {
        auto& calls = client->getCalls();
        const auto result = client->isInput() ? calls.connectFrom (client->get(), portId, sourceClient, sourcePort)
                                              : calls.connectTo (client->get(), portId, sourceClient, sourcePort);

        if (result < 0)
            return false;

        remoteClient = sourceClient;
        remotePort = sourcePort;
        return true;
    }

    void deletePort()
    {
        if (isValid())
            client->getCalls().deleteSimplePort (client->get(), portId);

        portId = -1;
    }

    /** Whether ALSA knows the subscription between the remote port and ours,
        in the direction of the data. */
    bool isSubscribed() const
    {
        if (! isValid() || remoteClient < 0)
            return false;

        snd_seq_port_subscribe_t* subscription = nullptr;

        if (snd_seq_port_subscribe_malloc (&subscription) < 0 || subscription == nullptr)
            return false;

        const snd_seq_addr_t remote { (unsigned char) remoteClient, (unsigned char) remotePort };
        const snd_seq_addr_t own { (unsigned char) client->getId(), (unsigned char) portId };

        snd_seq_port_subscribe_set_sender (subscription, client->isInput() ? &remote : &own);
        snd_seq_port_subscribe_set_dest (subscription, client->isInput() ? &own : &remote);
        snd_seq_port_subscribe_set_queue (subscription, 0);
        snd_seq_port_subscribe_set_exclusive (subscription, 0);
        snd_seq_port_subscribe_set_time_update (subscription, 0);
        snd_seq_port_subscribe_set_time_real (subscription, 0);

        const auto found = client->getCalls().getPortSubscription (client->get(), subscription) == 0;
        snd_seq_port_subscribe_free (subscription);
        return found;
    }
};

//==============================================================================
// The opened inputs and outputs, for the connection checks, which JUCE's
// classes cannot answer themselves.
static CriticalSection& getOpenDevicesLock()
{
    static auto* lock = new CriticalSection();
    return *lock;
}

class AlsaPortAndCallback
{
public:
    AlsaPortAndCallback (AlsaPort&& p, MidiInput* input, MidiInputCallback* cb)
        : port (std::move (p)), midiInput (input), callback (cb)
    {
        const ScopedLock sl (getOpenDevicesLock());
        getOpenInputs().add (this);
    }

    ~AlsaPortAndCallback()
    {
        enableCallback (false);
        port.deletePort();

        const ScopedLock sl (getOpenDevicesLock());
        getOpenInputs().removeAllInstancesOf (this);
    }

    void enableCallback (bool enable)
    {
        if (callbackEnabled.exchange (enable) == enable)
            return;

        if (enable)
            port.client->registerCallback (this);
        else
            port.client->unregisterCallback (this);
    }

    void handleIncomingMidiMessage (const MidiMessage& message) const
    {
        callback->handleIncomingMidiMessage (midiInput, message);
    }

    static Array<AlsaPortAndCallback*>& getOpenInputs()
    {
        static auto* inputs = new Array<AlsaPortAndCallback*>();
        return *inputs;
    }

    AlsaPort port;
    MidiInput* const midiInput;
    MidiInputCallback* const callback;

private:
    std::atomic<bool> callbackEnabled { false };

    JUCE_DECLARE_NON_COPYABLE (AlsaPortAndCallback)
};

void AlsaClient::handleIncomingMidiMessage (int destinationPort, const MidiMessage& message)
{
    const ScopedLock sl (callbackLock);

    // The input whose own port the event was sent to.
    for (auto* record : activeCallbacks)
    {
        if (record->port.portId == destinationPort)
        {
            record->handleIncomingMidiMessage (message);
            return;
        }
    }
}

//==============================================================================
class MidiOutputDevice
{
public:
    MidiOutputDevice (AlsaPort&& p, MidiOutput* output)
        : port (std::move (p)), midiOutput (output)
    {
        if (snd_midi_event_new ((size_t) maxEventSize, &midiParser) < 0)
            midiParser = nullptr;

        const ScopedLock sl (getOpenDevicesLock());
        getOpenOutputs().add (this);
    }

    ~MidiOutputDevice()
    {
        {
            const ScopedLock sl (getOpenDevicesLock());
            getOpenOutputs().removeAllInstancesOf (this);
        }

        port.deletePort();

        if (midiParser != nullptr)
            snd_midi_event_free (midiParser);
    }

    bool sendMessageNow (const MidiMessage& message)
    {
        if (message.getRawDataSize() > maxEventSize)
        {
            if (midiParser != nullptr)
                snd_midi_event_free (midiParser);

            maxEventSize = message.getRawDataSize();

            if (snd_midi_event_new ((size_t) maxEventSize, &midiParser) < 0)
                midiParser = nullptr;
        }

        if (midiParser == nullptr || ! port.isValid())
            return false;

        snd_seq_event_t event;
        snd_seq_ev_clear (&event);

        auto numBytes = (long) message.getRawDataSize();
        auto* data = message.getRawData();
        auto& calls = port.client->getCalls();
        bool success = true;

        while (numBytes > 0)
        {
            const auto numSent = snd_midi_event_encode (midiParser, data, numBytes, &event);

            if (numSent <= 0)
            {
                success = numSent == 0;
                break;
            }

            numBytes -= numSent;
            data += numSent;

            // Bytes that make no whole message (a data byte without a status)
            // give the encoder nothing to send.
            if (event.type == SND_SEQ_EVENT_NONE)
                continue;

            snd_seq_ev_set_source (&event, (unsigned char) port.portId);
            snd_seq_ev_set_subs (&event);
            snd_seq_ev_set_direct (&event);

            if (calls.eventOutputDirect (port.client->get(), &event) < 0)
            {
                success = false;
                break;
            }
        }

        snd_midi_event_reset_encode (midiParser);
        return success;
    }

    static Array<MidiOutputDevice*>& getOpenOutputs()
    {
        static auto* outputs = new Array<MidiOutputDevice*>();
        return *outputs;
    }

    AlsaPort port;
    MidiOutput* const midiOutput;

private:
    snd_midi_event_t* midiParser = nullptr;
    int maxEventSize = 16 * 1024;

    JUCE_DECLARE_NON_COPYABLE (MidiOutputDevice)
};

//==============================================================================
static String getFormattedPortIdentifier (int clientId, int portId)
{
    return String (clientId) + "-" + String (portId);
}

struct ListedPort
{
    int client, port;
};

/** Lists the device ports of a direction: one entry per port that can be read
    (inputs) or written (outputs), named after its client, with numbers added
    to names that occur more than once.  With an identifier, that port is then
    opened on the direction's shared client and connected to the device. */
static std::unique_ptr<AlsaPort> iterateMidiDevices (bool forInput,
                                                     Array<MidiDeviceInfo>& devices,
                                                     const String& deviceIdentifierToOpen = {})
{
    auto client = AlsaClient::getInstance (forInput);
    auto* seqHandle = client->get();

    if (seqHandle == nullptr)
        return {};

    auto& calls = client->getCalls();
    SequencerSystemInfo systemInfo;

    if (calls.querySystemInfo (seqHandle, systemInfo) < 0)
        return {};

    StringArray names;
    Array<ListedPort> ports;
    SequencerClientInfo clientInfo;
    auto numClients = systemInfo.currentClients;

    while (--numClients >= 0)
    {
        if (calls.queryNextClient (seqHandle, clientInfo) != 0)
            continue;

        SequencerPortInfo portInfo;
        portInfo.client = clientInfo.client;
        portInfo.port = -1;
        auto numPorts = clientInfo.numPorts;

        while (--numPorts >= 0)
        {
            if (calls.queryNextPort (seqHandle, portInfo) == 0
                && (portInfo.capability & (forInput ? SND_SEQ_PORT_CAP_READ : SND_SEQ_PORT_CAP_WRITE)) != 0)
            {
                names.add (String::fromUTF8 (clientInfo.name.c_str()));
                ports.add ({ clientInfo.client, portInfo.port });
            }
        }
    }

    names.appendNumbersToDuplicates (true, true);

    std::unique_ptr<AlsaPort> opened;

    for (int i = 0; i < names.size(); ++i)
    {
        const MidiDeviceInfo device (names[i], getFormattedPortIdentifier (ports[i].client, ports[i].port));
        devices.add (device);

        if (opened == nullptr && deviceIdentifierToOpen.isNotEmpty() && device.identifier == deviceIdentifierToOpen)
        {
            const auto* ownName = forInput ? "Juce Midi Input" : "Juce Midi Output";
            client->setName (ownName);

            auto port = std::make_unique<AlsaPort>();
            port->client = client;
            port->createPort (ownName, true);

            if (! port->isValid())
                return {};

            // A port that could not be connected would never carry a byte.
            if (! port->connectWith (ports[i].client, ports[i].port))
            {
                port->deletePort();
                return {};
            }

            opened = std::move (port);
        }
    }

    return opened;
}

static String findDeviceName (const Array<MidiDeviceInfo>& devices, const String& identifier)
{
    for (const auto& device : devices)
        if (device.identifier == identifier)
            return device.name;

    return {};
}

bool isConnected (const MidiInput& input)
{
    const ScopedLock sl (getOpenDevicesLock());

    for (auto* record : AlsaPortAndCallback::getOpenInputs())
        if (record->midiInput == &input)
            return record->port.isSubscribed();

    return false;
}

bool isConnected (const MidiOutput& output)
{
    const ScopedLock sl (getOpenDevicesLock());

    for (auto* record : MidiOutputDevice::getOpenOutputs())
        if (record->midiOutput == &output)
            return record->port.isSubscribed();

    return false;
}

//==============================================================================
class MidiInput::Pimpl : public AlsaPortAndCallback
{
public:
    using AlsaPortAndCallback::AlsaPortAndCallback;
};

Array<MidiDeviceInfo> MidiInput::getAvailableDevices()
{
    Array<MidiDeviceInfo> devices;
    iterateMidiDevices (true, devices);
    return devices;
}

MidiDeviceInfo MidiInput::getDefaultDevice()
{
    return getAvailableDevices().getFirst();
}

std::unique_ptr<MidiInput> MidiInput::openDevice (const String& deviceIdentifier, MidiInputCallback* callback)
{
    if (deviceIdentifier.isEmpty() || callback == nullptr)
        return {};

    Array<MidiDeviceInfo> devices;
    auto port = iterateMidiDevices (true, devices, deviceIdentifier);

    if (port == nullptr)
        return {};

    std::unique_ptr<MidiInput> midiInput (new MidiInput (findDeviceName (devices, deviceIdentifier), deviceIdentifier));
    midiInput->internal = std::make_unique<Pimpl> (std::move (*port), midiInput.get(), callback);
    return midiInput;
}

std::unique_ptr<MidiInput> MidiInput::createNewDevice (const String& deviceName, MidiInputCallback* callback)
{
    if (callback == nullptr)
        return {};

    AlsaPort port;
    port.client = AlsaClient::getInstance (true);
    port.createPort (deviceName, true);

    if (! port.isValid())
        return {};

    const auto identifier = getFormattedPortIdentifier (port.client->getId(), port.portId);
    std::unique_ptr<MidiInput> midiInput (new MidiInput (deviceName, identifier));
    midiInput->internal = std::make_unique<Pimpl> (std::move (port), midiInput.get(), callback);
    return midiInput;
}

StringArray MidiInput::getDevices()
{
    StringArray deviceNames;

    for (auto& device : getAvailableDevices())
        deviceNames.add (device.name);

    return deviceNames;
}

int MidiInput::getDefaultDeviceIndex()
{
    return 0;
}

std::unique_ptr<MidiInput> MidiInput::openDevice (int index, MidiInputCallback* callback)
{
    return openDevice (getAvailableDevices()[index].identifier, callback);
}

MidiInput::MidiInput (const String& deviceName, const String& deviceIdentifier)
    : deviceInfo (deviceName, deviceIdentifier)
{
}

MidiInput::~MidiInput()
{
    stop();
}

void MidiInput::start()
{
    internal->enableCallback (true);
}

void MidiInput::stop()
{
    internal->enableCallback (false);
}

//==============================================================================
class MidiOutput::Pimpl : public MidiOutputDevice
{
public:
    using MidiOutputDevice::MidiOutputDevice;
};

Array<MidiDeviceInfo> MidiOutput::getAvailableDevices()
{
    Array<MidiDeviceInfo> devices;
    iterateMidiDevices (false, devices);
    return devices;
}

MidiDeviceInfo MidiOutput::getDefaultDevice()
{
    return getAvailableDevices().getFirst();
}

std::unique_ptr<MidiOutput> MidiOutput::openDevice (const String& deviceIdentifier)
{
    if (deviceIdentifier.isEmpty())
        return {};

    Array<MidiDeviceInfo> devices;
    auto port = iterateMidiDevices (false, devices, deviceIdentifier);

    if (port == nullptr)
        return {};

    std::unique_ptr<MidiOutput> midiOutput (new MidiOutput (findDeviceName (devices, deviceIdentifier), deviceIdentifier));
    midiOutput->internal = std::make_unique<Pimpl> (std::move (*port), midiOutput.get());
    return midiOutput;
}

std::unique_ptr<MidiOutput> MidiOutput::createNewDevice (const String& deviceName)
{
    AlsaPort port;
    port.client = AlsaClient::getInstance (false);
    port.createPort (deviceName, true);

    if (! port.isValid())
        return {};

    const auto identifier = getFormattedPortIdentifier (port.client->getId(), port.portId);
    std::unique_ptr<MidiOutput> midiOutput (new MidiOutput (deviceName, identifier));
    midiOutput->internal = std::make_unique<Pimpl> (std::move (port), midiOutput.get());
    return midiOutput;
}

StringArray MidiOutput::getDevices()
{
    StringArray deviceNames;

    for (auto& device : getAvailableDevices())
        deviceNames.add (device.name);

    return deviceNames;
}

int MidiOutput::getDefaultDeviceIndex()
{
    return 0;
}

std::unique_ptr<MidiOutput> MidiOutput::openDevice (int index)
{
    return openDevice (getAvailableDevices()[index].identifier);
}

MidiOutput::~MidiOutput()
{
    stopBackgroundThread();
}

void MidiOutput::sendMessageNow (const MidiMessage& message)
{
    internal->sendMessageNow (message);
}

} // namespace juce
