#include "VxFramework/MidiAndAudio/Midi/MidiCommInterface.h"

#include "VxFramework/Notification/Notification.h"

namespace Vx
{
namespace
{
const char* CapturedId()
{
    static const char* const id = InternNotificationId(kNidMidiDataCaptured);
    return id;
}
} // namespace

LMidiCommInterface::~LMidiCommInterface() = default;

std::intptr_t LMidiCommInterface::GetCapturePortId(const RCPtr<LRefCountedObject>& port)
{
    return reinterpret_cast<std::intptr_t>(port.Get());
}

RCPtr<LIMidiFilter> LMidiCommInterface::GetMidiFilter(const LNotificationReceiver* client)
{
    const ScopedLock lock(mFilterLock);
    const std::uint32_t count = mFilters.GetCount();
    for (std::uint32_t i = 0; i < count; ++i)
    {
        if (mFilters[i].client == client && mFilters[i].filter != nullptr)
            return RCPtr<LIMidiFilter>(mFilters[i].filter->CreateCopy());
    }
    return nullptr;
}

VxRESULT LMidiCommInterface::SetMidiFilter(const LNotificationReceiver* client, const RCPtr<LIMidiFilter>& filter)
{
    // The copy is made before the lock: the client's filter is its own.
    const RCPtr<LIMidiFilter> copy = filter == nullptr ? nullptr : RCPtr<LIMidiFilter>(filter->CreateCopy());
    MidiFilterEntry removed;
    const ScopedLock lock(mFilterLock);
    const std::uint32_t count = mFilters.GetCount();
    for (std::uint32_t i = 0; i < count; ++i)
    {
        if (mFilters[i].client != client)
            continue;
        if (copy == nullptr)
            mFilters.RemoveAt(i, removed);
        else
            mFilters[i].filter = copy;
        return VXR_OK;
    }
    if (copy != nullptr)
        mFilters.Add(MidiFilterEntry{client, copy});
    return VXR_OK;
}

VxRESULT LMidiCommInterface::DistributeCapturedData(const RCPtr<LMidiCaptureNotificationData>& data)
{
    if (data == nullptr)
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    const char* const id = CapturedId();
    const RCPtr<LNotificationClientPool> clients = FindClientPool(id);
    if (clients == nullptr)
        return VXR_NOTHING_DONE;

    const signed char* bytes = data->message.GetDataConst();
    const std::uint32_t length = data->message.GetCount();
    const RCPtr<LNotificationDistributor> self(this);
    RCPtr<LNotification> notification;

    const ScopedLock filterLock(mFilterLock);
    std::int32_t index;
    {
        const ScopedLock listLock(clients->GetLock());
        index = static_cast<std::int32_t>(clients->GetClients().GetCount()) - 1;
    }
    while (index >= 0)
    {
        const LNotificationReceiver* client = nullptr;
        {
            const ScopedLock listLock(clients->GetLock());
            const auto count = static_cast<std::int32_t>(clients->GetClients().GetCount());
            if (count == 0)
                break;
            // Clients left during the delivery: go on from the new last one.
            if (index >= count)
                index = count - 1;
            client = clients->GetClients()[static_cast<std::uint32_t>(index)]->mReceiver.Get();
        }

        bool accepted = true;
        const std::uint32_t filterCount = mFilters.GetCount();
        for (std::uint32_t i = 0; i < filterCount; ++i)
        {
            if (mFilters[i].client == client)
            {
                accepted = mFilters[i].filter == nullptr || mFilters[i].filter->Match(bytes, length);
                break;
            }
        }
        if (!accepted)
        {
            --index;
            continue;
        }

        // Built once, and only when someone takes the message.
        if (notification == nullptr)
            LNotification::Create(notification, id, RCPtr<LRefCountedObject>(data));
        index = clients->NotifyClientAt(self, index, notification) - 1;
    }
    return VXR_OK;
}
} // namespace Vx
