#pragma once

#include <juce_events/juce_events.h>

#include <deque>

struct libinput;
struct udev;
struct udev_monitor;

namespace juce
{

/** JUCE's message queue on a device without a window system.  The "System
    Event Thread" only waits on the devices' descriptors and flags what became
    ready; the message thread reads and handles everything, one class of system
    events or one posted message per dispatch step. */
class InternalMessageQueue  : public Thread
{
public:
    InternalMessageQueue();
    ~InternalMessageQueue() override;

    /** The process's queue: null before the message manager creates it and after
        it is deleted. */
    static InternalMessageQueue* getInstance() noexcept;

    /** Any thread: appends the message (taking a reference), waking the message
        thread when the list was empty.  False once the keyboard break was seen. */
    bool postMessage (MessageManager::MessageBase* message);

    /** Message thread: JUCE's dispatch step (see dispatchNextMessageOnSystemQueue). */
    bool dispatchNext (bool returnIfNoPendingMessages);

    /** The classes of system events flagged and not yet handled, as bits. */
    enum PendingEvent
    {
        inputPending       = 1,
        hotplugPending     = 2,
        pageFlipPending    = 4,
        acceleratorPending = 8
    };

    int getPendingEvents() const;

    /** The wake descriptor (an eventfd); negative when it could not be made. */
    int getWakeDescriptor() const noexcept      { return wakeFd; }

    /** The process-wide flags of the keyboard break (SIGINT). */
    static bool hasKeyboardBreakOccurred() noexcept;
    static bool hasErrorOccurred() noexcept;

private:
    // Lets the tests start the dispatch counter where it wraps.
    friend struct InternalMessageQueueTestAccess;

    void run() override;

    bool dispatchNextMessage();
    bool dispatchNextSystemEvent();

    CriticalSection queueLock;
    CriticalSection libinputLock;
    WaitableEvent wakeEvent;
    std::deque<MessageManager::MessageBase::Ptr> messages;
    ::libinput* input = nullptr;
    ::udev* udevContext = nullptr;
    ::udev_monitor* monitor = nullptr;
    int monitorFd = -1;
    int wakeFd = -1;
    // Unsigned: only its parity matters, and it must wrap, not overflow.
    uint32 dispatchCounter = 0;
    bool isInputPending = false;
    bool isHotplugPending = false;
    bool isPageFlipPending = false;
    bool isAcceleratorPending = false;

    JUCE_DECLARE_NON_COPYABLE (InternalMessageQueue)
};

} // namespace juce
