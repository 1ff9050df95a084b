#pragma once

// A controller board of the device on the simulated sequencer: a device
// client with one port that answers the Universal Identity Request in the
// maker's reply layout and keeps the manufacturing data (the serial number)
// written to it with the maker's System Exclusive message.  Tests tell it to
// answer late, never, with other messages (malformed or foreign ones), or with
// another identity.  What it does is done on a thread of its own, as a board
// answers on its own time.

#include "sim/SimSequencer.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Sim
{

class SimControllerBoard
{
public:
    using Bytes = std::vector<uint8_t>;

    /** Who the board says it is. */
    struct Identity
    {
        Bytes manufacturerId { 0x00, 0x3a, 0x51 };
        uint8_t productId = 0x0e;
        /** The device id of the reply's layout (after the firmware version). */
        uint8_t deviceId = 0x00;
        /** Requests addressed to this id or to 0x7f are answered, on this channel. */
        uint8_t sysExChannel = 0x00;
        std::array<uint8_t, 4> firmwareVersion { 1, 2, 0, 5 };
        std::array<uint8_t, 4> reserved {};
        std::array<uint8_t, 16> manufacturingData {};
        Bytes additionalData;
    };

    /** Plugs the board in as a device client named name (its one port too),
        under the client number given or the first free one. */
    explicit SimControllerBoard (SimSequencer& sequencer, std::string name = "Control Surface", int client = -1);
    ~SimControllerBoard();

    SimControllerBoard (const SimControllerBoard&) = delete;
    SimControllerBoard& operator= (const SimControllerBoard&) = delete;

    int getClient() const noexcept { return client; }
    const std::string& getName() const noexcept { return name; }

    /** Unplugging drops the board's port and subscriptions; plugging it in
        again gives it the same client number. */
    void unplug();
    void plugIn();

    //==========================================================================
    Identity getIdentity() const;
    void setIdentity (const Identity& identity);

    /** The identity reply of this layout for an identity (the length field
        counts from the firmware version to the byte before F7). */
    static Bytes makeIdentityReply (const Identity& identity);

    /** What the board sends for each request it answers: the entries in
        order, where an empty entry stands for its own reply.  The default is
        one empty entry, the reply alone; an empty list never answers. */
    void setIdentityAnswer (std::vector<Bytes> messages);

    /** How long the board takes before it answers. */
    void setAnswerDelay (std::chrono::milliseconds delay);

    //==========================================================================
    /** Identity requests that reached the board, answered or not. */
    int getNumIdentityRequests() const;

    /** Manufacturing-data messages the board took for itself. */
    int getNumManufacturingDataWrites() const;

    /** Every whole message that reached the board so far, in order. */
    std::vector<Bytes> getReceivedMessages() const;

    /** Waits until the board has handled everything that reached it and
        sent what it answers; false when limit passes first. */
    bool waitUntilIdle (std::chrono::milliseconds limit = std::chrono::seconds (5));

private:
    void received (const Bytes& bytes);
    void take (const Bytes& message);
    void run();

    SimSequencer& sequencer;
    const std::string name;
    int client = -1; // fixed once plugged in first

    mutable std::mutex lock;
    std::condition_variable changed;
    Identity identity;
    std::vector<Bytes> answerMessages { Bytes() };
    std::chrono::milliseconds answerDelay { 0 };

    Bytes sysEx; // a System Exclusive message being put together
    Bytes channelMessage;
    size_t channelMessageSize = 0;
    std::vector<Bytes> messages;
    std::deque<Bytes> pending; // requests still to be answered
    bool busy = false;
    bool stopping = false;
    int numIdentityRequests = 0;
    int numManufacturingDataWrites = 0;

    std::thread thread;
};

} // namespace Sim
