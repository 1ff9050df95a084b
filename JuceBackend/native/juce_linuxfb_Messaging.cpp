#include "juce_linuxfb_Messaging.h"
#include "juce_linuxfb_Backend.h"
#include "JuceBackend/juce_linuxfb_InputSystemCalls.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <libinput.h>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace juce
{

namespace LinuxFbMessaging
{
    std::atomic<InternalMessageQueue*> queue { nullptr };

    // Held by a thread other than the message thread while it posts, so that
    // the queue is never deleted under a post in progress (a timer thread
    // may post while the message thread shuts down).  Constant-initialised,
    // and never destroyed in effect, so posts during exit stay safe.
    std::mutex postMutex;

    // Set by the SIGINT handler, on whichever thread it runs; the event
    // thread and the dispatch loop read it.
    std::atomic<int> keyboardBreakOccurred { 0 };

    // Set once the break was seen: nothing is dispatched or posted any more.
    std::atomic<bool> errorOccurred { false };

    // The queue's wake descriptor as the signal handler sees it.
    std::atomic<int> signalWakeFd { -1 };

    static_assert (std::atomic<int>::is_always_lock_free, "the signal handler reads it");

    void keyboardBreakSignalHandler (int signal)
    {
        if (signal != SIGINT)
            return;

        keyboardBreakOccurred.store (1);

        // Wake the event thread, which wakes the message thread: an idle
        // application must still end at once.  write() is async-signal-safe.
        const auto savedErrno = errno;
        const auto fd = signalWakeFd.load();

        if (fd >= 0)
        {
            const uint64_t one = 1;
            [[maybe_unused]] auto written = ::write (fd, &one, sizeof (one));
        }

        errno = savedErrno;
    }

    void installKeyboardBreakHandler()
    {
        struct sigaction action {};
        sigemptyset (&action.sa_mask);
        action.sa_handler = keyboardBreakSignalHandler;
        action.sa_flags = 0;
        sigaction (SIGINT, &action, nullptr);
    }

    int openRestricted (const char* path, int flags, void*)
    {
        const auto fd = ::open (path, flags);
        return fd < 0 ? -errno : fd;
    }

    void closeRestricted (int fd, void*)
    {
        ::close (fd);
    }

    const libinput_interface libinputInterface { openRestricted, closeRestricted };

    void platformShutdown()
    {
        LinuxFbBackend::releasePointerDevices();

        InternalMessageQueue* toDelete = nullptr;

        {
            const std::lock_guard<std::mutex> lock (postMutex);
            toDelete = queue.exchange (nullptr);
        }

        delete toDelete;

        LinuxFbBackend::shutDown();
    }
}

//==============================================================================
InternalMessageQueue::InternalMessageQueue()
    : Thread ("System Event Thread")
{
    wakeFd = ::eventfd (0, EFD_CLOEXEC | EFD_NONBLOCK);
    jassert (wakeFd >= 0);

    auto& calls = InputSystemCalls::get();

    udevContext = calls.udevNew();
    if (udevContext == nullptr)
        _Exit (1);

    input = calls.libinputUdevCreateContext (&LinuxFbMessaging::libinputInterface, this, udevContext);
    if (input == nullptr)
        _Exit (1);

    if (calls.libinputUdevAssignSeat (input, "seat0") != 0)
        _Exit (1);

    monitor = calls.udevMonitorNewFromNetlink (udevContext, "udev");
    if (monitor == nullptr)
        _Exit (1);

    if (calls.udevMonitorFilterAddMatchSubsystemDevtype (monitor, "drm", nullptr) != 0
         || calls.udevMonitorEnableReceiving (monitor) != 0)
        _Exit (1);

    monitorFd = calls.udevMonitorGetFd (monitor);

    LinuxFbMessaging::signalWakeFd = wakeFd;
}

InternalMessageQueue::~InternalMessageQueue()
{
    signalThreadShouldExit();

    if (wakeFd >= 0)
    {
        const uint64_t one = 1;
        [[maybe_unused]] auto written = ::write (wakeFd, &one, sizeof (one));
    }

    stopThread (1000);

    auto expectedFd = wakeFd;
    LinuxFbMessaging::signalWakeFd.compare_exchange_strong (expectedFd, -1);

    if (wakeFd >= 0)
        ::close (wakeFd);

    auto& calls = InputSystemCalls::get();
    calls.udevMonitorUnref (monitor);
    calls.udevUnref (udevContext);

    auto* expectedQueue = this;
    LinuxFbMessaging::queue.compare_exchange_strong (expectedQueue, nullptr);

    calls.libinputUnref (input);
    messages.clear();
}

InternalMessageQueue* InternalMessageQueue::getInstance() noexcept
{
    return LinuxFbMessaging::queue.load();
}

bool InternalMessageQueue::hasKeyboardBreakOccurred() noexcept { return LinuxFbMessaging::keyboardBreakOccurred.load() != 0; }
bool InternalMessageQueue::hasErrorOccurred() noexcept           { return LinuxFbMessaging::errorOccurred.load(); }

int InternalMessageQueue::getPendingEvents() const
{
    const ScopedLock sl (queueLock);
    return (isInputPending ? inputPending : 0)
         | (isHotplugPending ? hotplugPending : 0)
         | (isPageFlipPending ? pageFlipPending : 0)
         | (isAcceleratorPending ? acceleratorPending : 0);
}

//==============================================================================
void InternalMessageQueue::run()
{
    // The system keeps 15 bytes of a thread's name and refuses a longer one,
    // which JUCE passes on as it is: the thread names itself, cut (the name
    // is ASCII).
    pthread_setname_np (pthread_self(), getThreadName().substring (0, 15).toRawUTF8());

    auto& calls = InputSystemCalls::get();

    while (! threadShouldExit())
    {
        pollfd fds[5] = {};
        fds[0].fd = wakeFd;
        fds[1].fd = calls.libinputGetFd (input);
        fds[2].fd = monitorFd;
        fds[3].fd = LinuxFbBackend::getDrmDescriptor();
        fds[4].fd = LinuxFbBackend::getAcceleratorDescriptor();

        for (auto& entry : fds)
            entry.events = POLLIN;

        const nfds_t count = fds[4].fd >= 0 ? 5 : 4;
        const auto result = ::poll (fds, count, -1);

        if (result < 0)
        {
            // A signal (SIGINT among them) interrupting the wait is no fault.
            jassert (errno == EINTR);
            continue;
        }

        if (result == 0)
            continue;

        if (fds[0].revents != 0)
        {
            uint64_t value = 0;
            [[maybe_unused]] auto bytesRead = ::read (wakeFd, &value, sizeof (value));

            if (hasKeyboardBreakOccurred())
                wakeEvent.signal();
        }

        const bool inputReady = fds[1].revents != 0;

        if (inputReady)
        {
            const ScopedLock sl (libinputLock);
            calls.libinputDispatch (input);
        }

        bool wasPending, isPending;

        {
            const ScopedLock sl (queueLock);
            wasPending = isInputPending || isHotplugPending || isPageFlipPending || isAcceleratorPending;

            isInputPending       = isInputPending || inputReady;
            isHotplugPending     = isHotplugPending || fds[2].revents != 0;
            isPageFlipPending    = isPageFlipPending || fds[3].revents != 0;
            isAcceleratorPending = isAcceleratorPending || (count == 5 && fds[4].revents != 0);

            isPending = isInputPending || isHotplugPending || isPageFlipPending || isAcceleratorPending;
        }

        if (! wasPending && isPending)
            wakeEvent.signal();
    }
}

//==============================================================================
bool InternalMessageQueue::postMessage (MessageManager::MessageBase* message)
{
    if (hasErrorOccurred())
        return false;

    bool wasEmpty;

    {
        const ScopedLock sl (queueLock);
        wasEmpty = messages.empty();
        messages.emplace_back (message);
    }

    if (wasEmpty)
        wakeEvent.signal();

    return true;
}

bool InternalMessageQueue::dispatchNext (bool returnIfNoPendingMessages)
{
    {
        const ScopedLock sl (queueLock);
        const bool anythingPending = ! messages.empty() || isInputPending || isHotplugPending
                                       || isPageFlipPending || isAcceleratorPending;

        if (! anythingPending)
        {
            const ScopedUnlock ul (queueLock);
            wakeEvent.wait (returnIfNoPendingMessages ? 0 : -1);
        }
    }

    if ((++dispatchCounter & 1) != 0)
        return dispatchNextSystemEvent() || dispatchNextMessage();

    return dispatchNextMessage() || dispatchNextSystemEvent();
}

bool InternalMessageQueue::dispatchNextMessage()
{
    MessageManager::MessageBase::Ptr message;

    {
        const ScopedLock sl (queueLock);

        if (messages.empty())
            return false;

        message = std::move (messages.front());
        messages.pop_front();
    }

    JUCE_TRY
    {
        message->messageCallback();
    }
    JUCE_CATCH_EXCEPTION

    return true;
}

bool InternalMessageQueue::dispatchNextSystemEvent()
{
    enum class EventClass { none, pageFlip, accelerator, hotplug, input };
    auto next = EventClass::none;

    {
        const ScopedLock sl (queueLock);

        if (std::exchange (isPageFlipPending, false))          next = EventClass::pageFlip;
        else if (std::exchange (isAcceleratorPending, false))  next = EventClass::accelerator;
        else if (std::exchange (isHotplugPending, false))      next = EventClass::hotplug;
        else if (std::exchange (isInputPending, false))        next = EventClass::input;
    }

    auto& calls = InputSystemCalls::get();

    switch (next)
    {
        case EventClass::pageFlip:
            return LinuxFbBackend::handleDrmEvents();

        case EventClass::accelerator:
            return LinuxFbBackend::handleAcceleratorCompletions();

        case EventClass::hotplug:
        {
            auto* device = calls.udevMonitorReceiveDevice (monitor);

            if (device == nullptr)
                return false;

            LinuxFbBackend::handleDisplayHotplug();
            calls.udevDeviceUnref (device);
            return true;
        }

        case EventClass::input:
        {
            bool handled = false;

            for (;;)
            {
                ::libinput_event* event;

                {
                    const ScopedLock sl (libinputLock);
                    event = calls.libinputGetEvent (input);
                }

                if (event == nullptr)
                    break;

                if (auto* handler = LinuxFbBackend::inputEventHandler)
                    handler (event);

                calls.libinputEventDestroy (event);
                handled = true;
            }

            return handled;
        }

        case EventClass::none:
            break;
    }

    return false;
}

//==============================================================================
void MessageManager::doPlatformSpecificInitialisation()
{
    if (JUCEApplicationBase::isStandaloneApp())
        LinuxFbMessaging::installKeyboardBreakHandler();

    if (LinuxFbMessaging::queue.load() == nullptr)
        LinuxFbMessaging::queue = new InternalMessageQueue();

    LinuxFbBackend::startUp();

    LinuxFbMessaging::queue.load()->startThread();
}

void MessageManager::doPlatformSpecificShutdown()
{
    LinuxFbMessaging::platformShutdown();
}

bool MessageManager::postMessageToSystemQueue (MessageManager::MessageBase* message)
{
    const std::lock_guard<std::mutex> lock (LinuxFbMessaging::postMutex);

    if (auto* queue = LinuxFbMessaging::queue.load())
        return queue->postMessage (message);

    return false;
}

void MessageManager::broadcastMessage (const String&)
{
    // There are no other JUCE processes on the device to tell.
}

// JUCE's dispatch loop calls this on the message thread only.
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages)
{
    while (! LinuxFbMessaging::errorOccurred)
    {
        if (LinuxFbMessaging::keyboardBreakOccurred.load() != 0)
        {
            LinuxFbMessaging::errorOccurred = true;

            if (! JUCEApplicationBase::isStandaloneApp())
                return false;

            LinuxFbMessaging::platformShutdown();
            _Exit (1);
        }

        auto* queue = LinuxFbMessaging::queue.load();

        if (queue == nullptr)
        {
            // Dispatching before the message manager exists or after it is gone.
            jassertfalse;
            return false;
        }

        if (queue->dispatchNext (returnIfNoPendingMessages))
            return true;

        if (returnIfNoPendingMessages)
            return false;
    }

    return false;
}

} // namespace juce
