// The device's ALSA sequencer behind the MIDI backend's seam.

#include "JuceBackend/juce_linux_SequencerCalls.h"

#include <atomic>

namespace juce
{

namespace
{

    class AlsaSequencerCalls final : public SequencerCalls
    {
    public:
        int open (snd_seq_t** handle, const char* name, int streams, int mode) override { return ::snd_seq_open (handle, name, streams, mode); }
        int close (snd_seq_t* handle) override { return ::snd_seq_close (handle); }
        int setNonBlocking (snd_seq_t* handle, int nonBlocking) override { return ::snd_seq_nonblock (handle, nonBlocking); }
        int getClientId (snd_seq_t* handle) override { return ::snd_seq_client_id (handle); }
        int setClientName (snd_seq_t* handle, const char* name) override { return ::snd_seq_set_client_name (handle, name); }

        int querySystemInfo (snd_seq_t* handle, SequencerSystemInfo& info) override
        {
            snd_seq_system_info_t* systemInfo = nullptr;

            if (const auto result = ::snd_seq_system_info_malloc (&systemInfo); result < 0)
                return result;

            const auto result = ::snd_seq_system_info (handle, systemInfo);

            if (result >= 0)
                info.currentClients = ::snd_seq_system_info_get_cur_clients (systemInfo);

            ::snd_seq_system_info_free (systemInfo);
            return result;
        }

        int queryNextClient (snd_seq_t* handle, SequencerClientInfo& info) override
        {
            snd_seq_client_info_t* clientInfo = nullptr;

            if (const auto result = ::snd_seq_client_info_malloc (&clientInfo); result < 0)
                return result;

            ::snd_seq_client_info_set_client (clientInfo, info.client);
            const auto result = ::snd_seq_query_next_client (handle, clientInfo);

            if (result >= 0)
            {
                info.client = ::snd_seq_client_info_get_client (clientInfo);
                info.name = ::snd_seq_client_info_get_name (clientInfo);
                info.numPorts = ::snd_seq_client_info_get_num_ports (clientInfo);
            }

            ::snd_seq_client_info_free (clientInfo);
            return result;
        }

        int queryNextPort (snd_seq_t* handle, SequencerPortInfo& info) override
        {
            snd_seq_port_info_t* portInfo = nullptr;

            if (const auto result = ::snd_seq_port_info_malloc (&portInfo); result < 0)
                return result;

            ::snd_seq_port_info_set_client (portInfo, info.client);
            ::snd_seq_port_info_set_port (portInfo, info.port);
            const auto result = ::snd_seq_query_next_port (handle, portInfo);

            if (result >= 0)
            {
                info.client = ::snd_seq_port_info_get_client (portInfo);
                info.port = ::snd_seq_port_info_get_port (portInfo);
                info.name = ::snd_seq_port_info_get_name (portInfo);
                info.capability = ::snd_seq_port_info_get_capability (portInfo);
            }

            ::snd_seq_port_info_free (portInfo);
            return result;
        }

        int createSimplePort (snd_seq_t* handle, const char* name, unsigned int capabilities, unsigned int type) override
        {
            return ::snd_seq_create_simple_port (handle, name, capabilities, type);
        }

        int deleteSimplePort (snd_seq_t* handle, int port) override { return ::snd_seq_delete_simple_port (handle, port); }

        int connectFrom (snd_seq_t* handle, int myPort, int sourceClient, int sourcePort) override
        {
            return ::snd_seq_connect_from (handle, myPort, sourceClient, sourcePort);
        }

        int connectTo (snd_seq_t* handle, int myPort, int destinationClient, int destinationPort) override
        {
            return ::snd_seq_connect_to (handle, myPort, destinationClient, destinationPort);
        }

        int getPortSubscription (snd_seq_t* handle, snd_seq_port_subscribe_t* subscription) override
        {
            return ::snd_seq_get_port_subscription (handle, subscription);
        }

        int eventOutputDirect (snd_seq_t* handle, snd_seq_event_t* event) override { return ::snd_seq_event_output_direct (handle, event); }
        int eventInput (snd_seq_t* handle, snd_seq_event_t** event) override { return ::snd_seq_event_input (handle, event); }
        int eventInputPending (snd_seq_t* handle, int fetchSequencer) override { return ::snd_seq_event_input_pending (handle, fetchSequencer); }
        int freeEvent (snd_seq_event_t* event) override { return ::snd_seq_free_event (event); }
        int pollDescriptorsCount (snd_seq_t* handle, short events) override { return ::snd_seq_poll_descriptors_count (handle, events); }

        int pollDescriptors (snd_seq_t* handle, struct pollfd* descriptors, unsigned int space, short events) override
        {
            return ::snd_seq_poll_descriptors (handle, descriptors, space, events);
        }
    };
} // namespace

SequencerCalls& SequencerCalls::getDeviceCalls()
{
    // Built on first use and never destroyed: threads still running at exit may use it.
    static auto* deviceCalls = new AlsaSequencerCalls();
    return *deviceCalls;
}

} // namespace juce
