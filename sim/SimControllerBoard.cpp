#include "sim/SimControllerBoard.h"

#include <algorithm>

namespace Sim
{

namespace
{
    constexpr uint8_t sysExStart = 0xf0;
    constexpr uint8_t sysExEnd = 0xf7;
    constexpr uint8_t universalNonRealTime = 0x7e;
    constexpr uint8_t allDevices = 0x7f;
    constexpr uint8_t setManufacturingData = 0x79;

    // A board's input buffer is small; an endless message is thrown away.
    constexpr size_t maxSysExSize = 4096;

    // Bytes a message with this status byte has, or 0 for none that this board knows.
    size_t messageSize (uint8_t status)
    {
        if (status < 0xf0)
        {
            const auto type = status & 0xf0;
            return type == 0xc0 || type == 0xd0 ? 2 : 3;
        }

        switch (status)
        {
            case 0xf1:
            case 0xf3:
                return 2;
            case 0xf2:
                return 3;
            default:
                return 1;
        }
    }
} // namespace

SimControllerBoard::SimControllerBoard (SimSequencer& s, std::string n, int clientNumber)
    : sequencer (s), name (std::move (n))
{
    client = sequencer.addDevice (name, { { name + " MIDI 1" } }, clientNumber);
    sequencer.setDeviceListener (client, [this] (int, const Bytes& bytes)
                                 { received (bytes); });
    thread = std::thread ([this]
                          { run(); });
}

SimControllerBoard::~SimControllerBoard()
{
    // No listener call can start once this returns.
    sequencer.setDeviceListener (client, {});

    {
        const std::lock_guard<std::mutex> sl (lock);
        stopping = true;
    }

    changed.notify_all();
    thread.join();
    sequencer.removeDevice (client);
}

void SimControllerBoard::unplug()
{
    sequencer.removeDevice (client);
}

void SimControllerBoard::plugIn()
{
    if (sequencer.addDevice (name, { { name + " MIDI 1" } }, client) == client)
        sequencer.setDeviceListener (client, [this] (int, const Bytes& bytes)
                                     { received (bytes); });
}

//==============================================================================
SimControllerBoard::Identity SimControllerBoard::getIdentity() const
{
    const std::lock_guard<std::mutex> sl (lock);
    return identity;
}

void SimControllerBoard::setIdentity (const Identity& newIdentity)
{
    const std::lock_guard<std::mutex> sl (lock);
    identity = newIdentity;
}

SimControllerBoard::Bytes SimControllerBoard::makeIdentityReply (const Identity& id)
{
    Bytes reply { sysExStart, universalNonRealTime, id.sysExChannel, 0x06, 0x02 };
    reply.insert (reply.end(), id.manufacturerId.begin(), id.manufacturerId.end());
    reply.push_back (id.productId);

    const auto length = id.firmwareVersion.size() + 1 + id.reserved.size() + id.manufacturingData.size()
                        + id.additionalData.size();
    reply.push_back ((uint8_t) ((length >> 7) & 0x7f));
    reply.push_back ((uint8_t) (length & 0x7f));

    reply.insert (reply.end(), id.firmwareVersion.begin(), id.firmwareVersion.end());
    reply.push_back (id.deviceId);
    reply.insert (reply.end(), id.reserved.begin(), id.reserved.end());
    reply.insert (reply.end(), id.manufacturingData.begin(), id.manufacturingData.end());
    reply.insert (reply.end(), id.additionalData.begin(), id.additionalData.end());
    reply.push_back (sysExEnd);
    return reply;
}

void SimControllerBoard::setIdentityAnswer (std::vector<Bytes> newMessages)
{
    const std::lock_guard<std::mutex> sl (lock);
    answerMessages = std::move (newMessages);
}

void SimControllerBoard::setAnswerDelay (std::chrono::milliseconds delay)
{
    const std::lock_guard<std::mutex> sl (lock);
    answerDelay = delay;
}

int SimControllerBoard::getNumIdentityRequests() const
{
    const std::lock_guard<std::mutex> sl (lock);
    return numIdentityRequests;
}

int SimControllerBoard::getNumManufacturingDataWrites() const
{
    const std::lock_guard<std::mutex> sl (lock);
    return numManufacturingDataWrites;
}

std::vector<SimControllerBoard::Bytes> SimControllerBoard::getReceivedMessages() const
{
    const std::lock_guard<std::mutex> sl (lock);
    return messages;
}

bool SimControllerBoard::waitUntilIdle (std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> sl (lock);
    return changed.wait_for (sl, limit, [this]
                             { return pending.empty() && ! busy; });
}

//==============================================================================
// Under the sequencer's lock: the bytes are sorted into messages, and what
// needs an answer is left to the board's thread.
void SimControllerBoard::received (const Bytes& bytes)
{
    const std::lock_guard<std::mutex> sl (lock);

    for (const auto byte : bytes)
    {
        if (byte >= 0xf8)
        {
            // Real-time bytes stand alone, also inside a System Exclusive message.
            take ({ byte });
            continue;
        }

        if (! sysEx.empty())
        {
            if (byte < 0x80)
            {
                sysEx.push_back (byte);

                if (sysEx.size() > maxSysExSize)
                    sysEx.clear();

                continue;
            }

            if (byte == sysExEnd)
            {
                sysEx.push_back (byte);
                take (sysEx);
                sysEx.clear();
                continue;
            }

            // Another status byte: the message's end was lost.
            sysEx.clear();
        }

        if (byte == sysExStart)
        {
            channelMessage.clear();
            sysEx.push_back (byte);
        }
        else if (byte >= 0x80)
        {
            channelMessage = { byte };
            channelMessageSize = messageSize (byte);
        }
        else if (! channelMessage.empty())
        {
            channelMessage.push_back (byte);
        }

        if (! channelMessage.empty() && channelMessage.size() == channelMessageSize)
        {
            take (channelMessage);
            channelMessage.clear();
        }
    }

    changed.notify_all();
}

void SimControllerBoard::take (const Bytes& message)
{
    messages.push_back (message);

    if (message.size() < 2 || message.front() != sysExStart || message.back() != sysExEnd)
        return;

    // F0 7E dd 06 01 F7
    if (message.size() == 6 && message[1] == universalNonRealTime && message[3] == 0x06 && message[4] == 0x01)
    {
        ++numIdentityRequests;

        if (message[2] == allDevices || message[2] == identity.sysExChannel)
            pending.push_back (message);

        return;
    }

    // F0 <manufacturer id> dd pp 79 00 10 <16 bytes> F7
    const auto& id = identity.manufacturerId;
    const auto header = 1 + id.size();

    if (message.size() != header + 5 + identity.manufacturingData.size() + 1
        || ! std::equal (id.begin(), id.end(), message.begin() + 1))
        return;

    const auto deviceId = message[header];
    const auto command = message[header + 2];
    const auto length = (size_t) ((message[header + 3] << 7) | message[header + 4]);

    if ((deviceId == identity.deviceId || deviceId == allDevices) && message[header + 1] == identity.productId
        && command == setManufacturingData && length == identity.manufacturingData.size())
    {
        std::copy_n (message.begin() + (long) header + 5, identity.manufacturingData.size(), identity.manufacturingData.begin());
        ++numManufacturingDataWrites;
    }
}

void SimControllerBoard::run()
{
    std::unique_lock<std::mutex> sl (lock);

    for (;;)
    {
        changed.wait (sl, [this]
                      { return stopping || ! pending.empty(); });

        if (stopping)
            return;

        pending.pop_front();
        busy = true;

        if (answerDelay.count() > 0)
            changed.wait_for (sl, answerDelay, [this]
                              { return stopping; });

        if (stopping)
            return;

        std::vector<Bytes> toSend;

        for (const auto& entry : answerMessages)
            toSend.push_back (entry.empty() ? makeIdentityReply (identity) : entry);

        // The sequencer calls the listener under its own lock, which takes
        // this one: never send while holding it.
        sl.unlock();

        for (const auto& message : toSend)
            sequencer.sendFromDevice (client, 0, message);

        sl.lock();
        busy = false;
        changed.notify_all();
    }
}

} // namespace Sim
