#include "sim/devicecontrol/SimDeviceControlClient.h"

#include <condition_variable>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#define SIM_EXPORT extern "C" __attribute__ ((visibility ("default")))

namespace Sim
{
namespace
{

    using Entry = Vx::DeviceControlEntry;

    class SimLibrary final : public DeviceControlScript
    {
    public:
        SimLibrary() = default;

        /** Runs when the library is unloaded: no call may come from a thread of
        code that is gone. */
        ~SimLibrary() { stopDelivery(); }

        //==========================================================================
        void reset() override
        {
            stopDelivery();
            const std::lock_guard<std::mutex> guard (lock);
            for (auto& result : results)
                result = 0;
            for (auto& call : calls)
                call = DeviceControlCall();
            deviceList.Clear();
            paramValue.Clear();
            deviceInfo = Vx::DeviceInfo();
            pending.clear();
            callback = nullptr;
            userData = nullptr;
        }

        void setResult (Entry entry, int32_t result) override
        {
            const std::lock_guard<std::mutex> guard (lock);
            results[index (entry)] = result;
        }

        void setDeviceList (const Vx::Variant& list) override
        {
            const std::lock_guard<std::mutex> guard (lock);
            deviceList = list;
        }

        void setParamValue (const Vx::Variant& value) override
        {
            const std::lock_guard<std::mutex> guard (lock);
            paramValue = value;
        }

        void setDeviceInfo (const Vx::DeviceInfo& info) override
        {
            const std::lock_guard<std::mutex> guard (lock);
            deviceInfo = info;
        }

        void sendBatch (const Vx::ParamValues* batch) override
        {
            auto copy = batch != nullptr ? std::make_unique<Vx::ParamValues> (*batch) : nullptr;
            const std::lock_guard<std::mutex> guard (lock);
            pending.push_back (std::move (copy));
            changed.notify_all();
        }

        bool waitUntilSent (int timeoutMs) override
        {
            const auto allSent = [this]
            { return pending.empty() && ! delivering; };
            std::unique_lock<std::mutex> guard (lock);
            return changed.wait_for (guard, std::chrono::milliseconds (timeoutMs), allSent);
        }

        DeviceControlCall getLastCall (Entry entry) const override
        {
            const std::lock_guard<std::mutex> guard (lock);
            return calls[index (entry)];
        }

        //==========================================================================
        /** A counted call, its record locked for filling in, and the result set. */
        struct Recorded
        {
            std::unique_lock<std::mutex> guard;
            DeviceControlCall& call;
            int32_t result;
        };

        Recorded record (Entry entry, const Vx::Variant* device)
        {
            std::unique_lock<std::mutex> guard (lock);
            auto& call = calls[index (entry)];
            ++call.count;
            call.device = device != nullptr ? *device : Vx::Variant();
            return { std::move (guard), call, results[index (entry)] };
        }

        int32_t findRemoteDevices (const Vx::GUID* filter, uint32_t count, Vx::Variant* devices, uint8_t explicitListing)
        {
            auto recorded = record (Entry::FindRemoteDevices, nullptr);
            recorded.call.pointers[0] = filter;
            recorded.call.filterCount = count;
            recorded.call.explicitListing = explicitListing;

            if (recorded.result >= 0 && devices != nullptr)
                *devices = deviceList;

            return recorded.result;
        }

        int32_t connect (const Vx::Variant* device, PDCI_DataCallback newCallback, void* newUserData)
        {
            auto recorded = record (Entry::ConnectDevice, device);
            recorded.call.callback = newCallback;
            recorded.call.pointers[0] = newUserData;

            if (recorded.result < 0)
                return recorded.result;

            // While another call ends the delivery thread, a new one started
            // now would see the stop and end at once.
            changed.wait (recorded.guard, [this]
                          { return ! stopping; });

            callback = newCallback;
            userData = newUserData;

            if (! thread.joinable())
                thread = std::thread (&SimLibrary::deliver, this);

            changed.notify_all();
            return recorded.result;
        }

        int32_t getParamValue (const Vx::Variant* device, const Vx::ParamDescriptor* descriptor, Vx::Variant* value)
        {
            auto recorded = record (Entry::GetParamValue, device);
            setDescriptor (recorded.call, descriptor);

            if (recorded.result >= 0 && value != nullptr)
                *value = paramValue;

            return recorded.result;
        }

        int32_t getDeviceInfo (const Vx::Variant* device, Vx::DeviceInfo* info)
        {
            auto recorded = record (Entry::GetDeviceInfo, device);

            if (recorded.result >= 0 && info != nullptr)
                *info = deviceInfo;

            return recorded.result;
        }

        /** After a disconnection or a release no batch is handed over any more,
            and none is being handed over: the callback's owner may go. */
        int32_t disconnect (Entry entry, const Vx::Variant* device)
        {
            const auto result = record (entry, device).result;
            stopDelivery();
            return result;
        }

        static void setDescriptor (DeviceControlCall& call, const Vx::ParamDescriptor* descriptor)
        {
            if (descriptor == nullptr)
                return;

            call.paramID = descriptor->mParamID;
            call.key = descriptor->mKey;
        }

    private:
        static uint32_t index (Entry entry) { return static_cast<uint32_t> (entry); }

        void deliver()
        {
            const auto workOrStop = [this]
            { return stopping || (callback != nullptr && ! pending.empty()); };
            std::unique_lock<std::mutex> guard (lock);

            for (;;)
            {
                changed.wait (guard, workOrStop);

                if (stopping)
                    return;

                auto batch = std::move (pending.front());
                pending.pop_front();
                const auto call = callback;
                const auto data = userData;
                delivering = true;
                guard.unlock();

                call (data, this, batch.get());

                // Freed as soon as the call returns: a receiver that kept the
                // pointer reads freed memory, which AddressSanitizer reports.
                batch.reset();

                guard.lock();
                delivering = false;
                changed.notify_all();
            }
        }

        /** Safe from several threads at once (a test's reset beside the
            transport's release): whoever takes the thread ends it, and the
            others wait for that end, since each caller is promised that no
            batch is being handed over when it returns. */
        void stopDelivery()
        {
            std::unique_lock<std::mutex> guard (lock);
            callback = nullptr;
            userData = nullptr;
            pending.clear();

            if (! thread.joinable())
            {
                changed.wait (guard, [this]
                              { return ! stopping; });
                return;
            }

            // Only this caller clears it, and only once the thread has been
            // joined: cleared earlier, the thread could miss it and wait on.
            stopping = true;
            auto ending = std::move (thread);
            changed.notify_all();
            guard.unlock();

            ending.join();

            guard.lock();
            stopping = false;
            changed.notify_all();
        }

        mutable std::mutex lock;
        std::condition_variable changed;

        int32_t results[Vx::kDeviceControlEntryCount] = {};
        DeviceControlCall calls[Vx::kDeviceControlEntryCount];
        Vx::Variant deviceList, paramValue;
        Vx::DeviceInfo deviceInfo;

        std::deque<std::unique_ptr<Vx::ParamValues>> pending;
        bool delivering = false;
        PDCI_DataCallback callback = nullptr;
        void* userData = nullptr;
        bool stopping = false;
        std::thread thread;
    };

    SimLibrary& library()
    {
        // Destroyed when the library is unloaded, which stops its thread.
        static SimLibrary instance;
        return instance;
    }

} // namespace
} // namespace Sim

using Entry = Vx::DeviceControlEntry;

SIM_EXPORT Sim::DeviceControlScript* SimDeviceControl_GetScript()
{
    return &Sim::library();
}

SIM_EXPORT int32_t PDCI_FindDevices (void* first, void* second, void* third)
{
    auto recorded = Sim::library().record (Entry::FindDevices, nullptr);
    recorded.call.pointers[0] = first;
    recorded.call.pointers[1] = second;
    recorded.call.pointers[2] = third;
    return recorded.result;
}

SIM_EXPORT int32_t PDCI_FindRemoteDevices (const Vx::GUID* filter, uint32_t count, Vx::Variant* devices, uint8_t explicitListing)
{
    return Sim::library().findRemoteDevices (filter, count, devices, explicitListing);
}

SIM_EXPORT int32_t PDCI_ConnectDevice (const Vx::Variant* device, PDCI_DataCallback callback, void* userData)
{
    return Sim::library().connect (device, callback, userData);
}

SIM_EXPORT int32_t PDCI_RequestParamRanges (const Vx::Variant* device, const Vx::ParamRanges* ranges)
{
    auto recorded = Sim::library().record (Entry::RequestParamRanges, device);

    if (ranges != nullptr)
        recorded.call.argument = *ranges;

    return recorded.result;
}

SIM_EXPORT int32_t PDCI_RequestParamValues (const Vx::Variant* device, const Vx::ParamDescriptors* descriptors)
{
    auto recorded = Sim::library().record (Entry::RequestParamValues, device);

    if (descriptors != nullptr)
        recorded.call.argument = *descriptors;

    return recorded.result;
}

SIM_EXPORT int32_t PDCI_GetParamRanges (const Vx::Variant* device, void* first, void* second)
{
    auto recorded = Sim::library().record (Entry::GetParamRanges, device);
    recorded.call.pointers[0] = first;
    recorded.call.pointers[1] = second;
    return recorded.result;
}

SIM_EXPORT int32_t PDCI_GetParamValues (const Vx::Variant* device, void* first, void* second)
{
    auto recorded = Sim::library().record (Entry::GetParamValues, device);
    recorded.call.pointers[0] = first;
    recorded.call.pointers[1] = second;
    return recorded.result;
}

SIM_EXPORT int32_t PDCI_GetParamValue (const Vx::Variant* device, const Vx::ParamDescriptor* descriptor, Vx::Variant* value)
{
    return Sim::library().getParamValue (device, descriptor, value);
}

SIM_EXPORT int32_t PDCI_SetParamValue (const Vx::Variant* device, const Vx::ParamDescriptor* descriptor, const Vx::Variant* value)
{
    auto recorded = Sim::library().record (Entry::SetParamValue, device);
    Sim::SimLibrary::setDescriptor (recorded.call, descriptor);

    if (value != nullptr)
        recorded.call.argument = *value;

    return recorded.result;
}

SIM_EXPORT int32_t PDCI_SetParamValues (const Vx::Variant* device, const Vx::ParamValues* values)
{
    auto recorded = Sim::library().record (Entry::SetParamValues, device);

    if (values != nullptr)
        recorded.call.argument = *values;

    return recorded.result;
}

SIM_EXPORT int32_t PDCI_DisconnectDevice (const Vx::Variant* device)
{
    return Sim::library().disconnect (Entry::DisconnectDevice, device);
}

SIM_EXPORT int32_t PDCI_IsDeviceConnected (const Vx::Variant* device)
{
    return Sim::library().record (Entry::IsDeviceConnected, device).result;
}

SIM_EXPORT int32_t PDCI_GetDeviceInfo (const Vx::Variant* device, Vx::DeviceInfo* info)
{
    return Sim::library().getDeviceInfo (device, info);
}

SIM_EXPORT int32_t PDCI_ReleaseAll()
{
    return Sim::library().disconnect (Entry::ReleaseAll, nullptr);
}
