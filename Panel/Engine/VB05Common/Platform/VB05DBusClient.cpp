#include "Panel/Engine/VB05Common/Platform/VB05DBusClient.h"

#include "VxFramework/ObjectBase/NoDestructor.h"
#include "VxFramework/Utilities/DebugTracer.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <poll.h>
#include <pthread.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <unistd.h>

namespace Vx::VB05
{
namespace
{
constexpr long kNanosecondsPerSecond = 1000000000L;

timespec Now()
{
    timespec now{};
    // The monotonic clock does not fail on any system this runs on; a
    // failure would leave every timeout meaningless.
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0)
        std::abort();
    return now;
}

timespec After(const timespec& start, int milliseconds)
{
    timespec result = start;
    result.tv_sec += milliseconds / 1000;
    result.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (result.tv_nsec >= kNanosecondsPerSecond)
    {
        result.tv_sec += 1;
        result.tv_nsec -= kNanosecondsPerSecond;
    }
    return result;
}

// Milliseconds from now to the expiry, 0 when it has passed.
long long MillisecondsLeft(const timespec& now, const timespec& expiry)
{
    const long long left =
        static_cast<long long>(expiry.tv_sec - now.tv_sec) * 1000 + (expiry.tv_nsec - now.tv_nsec) / 1000000L;
    return left > 0 ? left : 0;
}

void PrintFailure(const char* function, int error)
{
    std::fprintf(stderr, "DBUS: %s: fail: %s (%d)\n", function, std::strerror(error), error);
    std::fflush(stderr);
}

bool IsValidOrEmpty(const char* text, dbus_bool_t (*validate)(const char*, DBusError*))
{
    return text == nullptr || *text == '\0' || validate(text, nullptr);
}
} // namespace

bool LDBusClient::Timeout::operator<(const Timeout& other) const noexcept
{
    if (expiry.tv_sec != other.expiry.tv_sec)
        return expiry.tv_sec < other.expiry.tv_sec;
    if (expiry.tv_nsec != other.expiry.tv_nsec)
        return expiry.tv_nsec < other.expiry.tv_nsec;
    return std::less<DBusTimeout*>()(handle, other.handle);
}

RCPtr<LDBusClient> LDBusClient::GetInstance()
{
    struct Instance
    {
        std::mutex lock;
        RCPtr<LDBusClient> client;
    };
    static NoDestructor<Instance> instance;
    const std::lock_guard<std::mutex> guard(instance->lock);
    if (instance->client.IsNull())
        instance->client = MakeRCPtr<LDBusClient>();
    return instance->client;
}

LDBusClient::LDBusClient()
{
    dbus_threads_init_default();

    mWakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (mWakeFd < 0)
        throw std::runtime_error("eventfd() failed");

    // A connection of the client's own: its hooks and filters point at this
    // object, so no other user of libdbus in the process may share it, and
    // it is closed with the client.
    DBusError error;
    dbus_error_init(&error);
    mConnection = dbus_bus_get_private(DBUS_BUS_SYSTEM, &error);
    if (dbus_error_is_set(&error) || mConnection == nullptr)
    {
        const std::string message =
            dbus_error_is_set(&error) && error.message != nullptr ? error.message : "no connection to the system bus";
        dbus_error_free(&error);
        Shutdown();
        throw std::runtime_error(message);
    }
    // Losing the bus must not end the process.
    dbus_connection_set_exit_on_disconnect(mConnection, FALSE);

    if (!dbus_connection_set_timeout_functions(mConnection, AddTimeout, RemoveTimeout, ToggleTimeout, this, nullptr) ||
        !dbus_connection_set_watch_functions(mConnection, AddWatch, RemoveWatch, ToggleWatch, this, nullptr))
    {
        Shutdown();
        throw std::bad_alloc();
    }
    mQueueingSignals = dbus_connection_add_filter(mConnection, QueueSignal, this, nullptr) != FALSE;
    if (!mQueueingSignals)
    {
        Shutdown();
        throw std::bad_alloc();
    }
    dbus_connection_set_wakeup_main_function(mConnection, WakeupMainFunction, this, nullptr);

    try
    {
        mDispatchThread = std::thread([this] { Run(); });
        pthread_setname_np(mDispatchThread.native_handle(), "DBusClient");
        mNotifyThread = std::thread([this] { NotifyRun(); });
        pthread_setname_np(mNotifyThread.native_handle(), "DBusNotify");
    }
    catch (...)
    {
        Shutdown();
        throw;
    }
}

LDBusClient::~LDBusClient()
{
    Shutdown();
}

void LDBusClient::Shutdown() noexcept
{
    // A sequentially consistent store: no separate barrier is needed.
    mStop.store(true, std::memory_order_seq_cst);
    if (mWakeFd >= 0)
        WakeupMain();
    {
        // Taken so that a notify thread that found the flag clear is already
        // waiting when the condition is signalled.
        const std::lock_guard<std::mutex> lock(mLock);
    }
    mSignalCondition.notify_all();
    if (mDispatchThread.joinable())
        mDispatchThread.join();
    if (mNotifyThread.joinable())
        mNotifyThread.join();
    // When the dispatch thread never ran.
    FailOutstandingCalls();

    if (mConnection != nullptr)
    {
        dbus_connection_set_wakeup_main_function(mConnection, nullptr, nullptr, nullptr);
        dbus_connection_set_watch_functions(mConnection, nullptr, nullptr, nullptr, nullptr, nullptr);
        dbus_connection_set_timeout_functions(mConnection, nullptr, nullptr, nullptr, nullptr, nullptr);
        // libdbus aborts the process on removing a filter it does not hold.
        if (mQueueingSignals)
            dbus_connection_remove_filter(mConnection, QueueSignal, this);
        for (const auto& [rule, entry] : mFilters)
            dbus_connection_remove_filter(mConnection, FilterTrampoline, entry.get());
        dbus_connection_close(mConnection);
        dbus_connection_unref(mConnection);
        mConnection = nullptr;
    }
    if (mWakeFd >= 0)
    {
        close(mWakeFd);
        mWakeFd = -1;
    }
    mSignalQueue.clear();
    mFilters.clear();
    mRetiredFilters.clear();
    mTimeouts.clear();
    mWatches.clear();
    mSubscriptions.clear();
}

//==============================================================================
DBusMessagePtr LDBusClient::Call(DBusMessagePtr& message, DBusError* error, std::int32_t timeoutMilliseconds)
{
    if (!message)
    {
        dbus_set_error_const(error, "out of memory", "no memory");
        return {};
    }
    // The dispatch thread cannot wait for itself: libdbus sends, reads and
    // times the call out on this thread.
    if (IsDispatchThread())
        return DBusMessagePtr::Adopt(
            dbus_connection_send_with_reply_and_block(mConnection, message.Get(), timeoutMilliseconds, error));

    auto slot = std::make_unique<ReplySlot>(this);
    std::future<DBusMessagePtr> future = slot->GetFuture();
    {
        const std::lock_guard<std::mutex> lock(mLock);
        // With the dispatch thread gone nothing would ever send it; the slot
        // is dropped below and completes the call with a null reply.
        if (!mDispatchEnded)
            mCallQueue.push_back(QueuedMsg{std::move(message), std::move(slot), timeoutMilliseconds});
    }
    slot.reset();
    WakeupMain();

    DBusMessagePtr reply = future.get();
    if (!reply)
    {
        dbus_set_error_const(error, "fail", "fail");
        return {};
    }
    if (dbus_set_error_from_message(error, reply.Get()))
        return {};
    return reply;
}

void LDBusClient::Send(DBusMessagePtr& message)
{
    if (!message)
        return;
    if (dbus_message_get_type(message.Get()) == DBUS_MESSAGE_TYPE_METHOD_CALL)
        dbus_message_set_no_reply(message.Get(), TRUE);
    dbus_connection_send(mConnection, message.Get(), nullptr);
    WakeupMain();
}

//==============================================================================
std::string LDBusClient::BuildMatchRule(const SignalFilter& subscription)
{
    std::string rule = "type='signal'";
    if (!subscription.path.empty())
        rule += ",path='" + subscription.path + "'";
    if (!subscription.interface.empty())
        rule += ",interface='" + subscription.interface + "'";
    if (!subscription.member.empty())
        rule += ",member='" + subscription.member + "'";
    return rule;
}

bool LDBusClient::AddSignalListener(const char* path, const char* interface, const char* member,
                                    DBusSignalListener* listener)
{
    // Valid names cannot carry a quote into the match rule, nor make libdbus
    // abort on a bad argument.
    if (listener == nullptr || !IsValidOrEmpty(path, dbus_validate_path) ||
        !IsValidOrEmpty(interface, dbus_validate_interface) || !IsValidOrEmpty(member, dbus_validate_member))
    {
        VX_ASSERT_FALSE();
        return false;
    }
    std::string rule;
    {
        const std::lock_guard<std::mutex> lock(mLock);
        mSubscriptions.push_back(SignalFilter{listener, path != nullptr ? path : "",
                                              interface != nullptr ? interface : "", member != nullptr ? member : ""});
        rule = BuildMatchRule(mSubscriptions.back());
    }
    dbus_bus_add_match(mConnection, rule.c_str(), nullptr);
    return true;
}

void LDBusClient::RemoveSignalListener(const char* path, const char* interface, const char* member,
                                       DBusSignalListener* listener)
{
    const SignalFilter wanted{listener, path != nullptr ? path : "", interface != nullptr ? interface : "",
                              member != nullptr ? member : ""};
    std::string rule;
    {
        std::unique_lock<std::mutex> lock(mLock);
        const auto found = std::find_if(mSubscriptions.begin(), mSubscriptions.end(), [&](const SignalFilter& s) {
            return s.listener == wanted.listener && s.path == wanted.path && s.interface == wanted.interface &&
                   s.member == wanted.member;
        });
        if (found == mSubscriptions.end())
            return;
        rule = BuildMatchRule(*found);
        mSubscriptions.erase(found);
        if (std::this_thread::get_id() != mNotifyThreadId.load())
            mReturned.wait(lock, [&] { return mDelivering != listener; });
    }
    dbus_bus_remove_match(mConnection, rule.c_str(), nullptr);
}

bool LDBusClient::AddFilter(const std::string& matchRule, Filter filter)
{
    if (!filter || !dbus_validate_utf8(matchRule.c_str(), nullptr))
        return false;
    FilterEntry* entry = nullptr;
    {
        const std::lock_guard<std::mutex> lock(mLock);
        // A second registration of the same entry would outlive its removal
        // inside libdbus.
        if (mFilters.count(matchRule) != 0)
            return false;
        auto created = std::make_unique<FilterEntry>();
        created->client = this;
        created->callback = std::move(filter);
        entry = created.get();
        mFilters.emplace(matchRule, std::move(created));
    }
    dbus_bus_add_match(mConnection, matchRule.c_str(), nullptr);
    if (dbus_connection_add_filter(mConnection, FilterTrampoline, entry, nullptr))
        return true;
    dbus_bus_remove_match(mConnection, matchRule.c_str(), nullptr);
    const std::lock_guard<std::mutex> lock(mLock);
    mFilters.erase(matchRule);
    return false;
}

void LDBusClient::RemoveFilter(const std::string& matchRule)
{
    FilterEntry* entry = nullptr;
    std::unique_ptr<FilterEntry> removed;
    {
        std::unique_lock<std::mutex> lock(mLock);
        const auto found = mFilters.find(matchRule);
        if (found == mFilters.end())
            return;
        entry = found->second.get();
        entry->active = false;
        if (!IsDispatchThread())
            mReturned.wait(lock, [&] { return mRunningFilter != entry; });
        removed = std::move(found->second);
        mFilters.erase(found);
    }
    dbus_bus_remove_match(mConnection, matchRule.c_str(), nullptr);
    dbus_connection_remove_filter(mConnection, FilterTrampoline, entry);

    // A dispatch that began before the removal may still hold the entry in
    // its copy of libdbus's filter list; it is freed after that dispatch.
    const std::lock_guard<std::mutex> lock(mLock);
    mRetiredFilters.push_back(RetiredFilter{std::move(removed), mDispatchGeneration, mDispatching});
}

//==============================================================================
void LDBusClient::WakeupMain()
{
    const std::uint64_t one = 1;
    const ssize_t written = write(mWakeFd, &one, sizeof one);
    if (written != static_cast<ssize_t>(sizeof one))
        PrintFailure("WakeupMain", written < 0 ? errno : EIO);
}

void LDBusClient::WakeupMainFunction(void* data)
{
    static_cast<LDBusClient*>(data)->WakeupMain();
}

dbus_bool_t LDBusClient::AddWatch(DBusWatch* watch, void* data)
{
    auto* client = static_cast<LDBusClient*>(data);
    {
        const std::lock_guard<std::mutex> lock(client->mLock);
        if (dbus_watch_get_enabled(watch))
            client->mWatches.insert(watch);
    }
    if (!client->IsDispatchThread())
        client->WakeupMain();
    return TRUE;
}

void LDBusClient::RemoveWatch(DBusWatch* watch, void* data)
{
    auto* client = static_cast<LDBusClient*>(data);
    const std::lock_guard<std::mutex> lock(client->mLock);
    client->mWatches.erase(watch);
}

void LDBusClient::ToggleWatch(DBusWatch* watch, void* data)
{
    auto* client = static_cast<LDBusClient*>(data);
    {
        const std::lock_guard<std::mutex> lock(client->mLock);
        if (dbus_watch_get_enabled(watch))
            client->mWatches.insert(watch);
        else
            client->mWatches.erase(watch);
    }
    if (!client->IsDispatchThread())
        client->WakeupMain();
}

dbus_bool_t LDBusClient::AddTimeout(DBusTimeout* timeout, void* data)
{
    auto* client = static_cast<LDBusClient*>(data);
    {
        const std::lock_guard<std::mutex> lock(client->mLock);
        // libdbus asks that a disabled timeout be left alone until enabled.
        if (dbus_timeout_get_enabled(timeout))
            client->mTimeouts.push_back(Timeout{timeout, After(Now(), dbus_timeout_get_interval(timeout))});
    }
    if (!client->IsDispatchThread())
        client->WakeupMain();
    return TRUE;
}

void LDBusClient::RemoveTimeout(DBusTimeout* timeout, void* data)
{
    auto* client = static_cast<LDBusClient*>(data);
    const std::lock_guard<std::mutex> lock(client->mLock);
    std::erase_if(client->mTimeouts, [timeout](const Timeout& entry) { return entry.handle == timeout; });
}

void LDBusClient::ToggleTimeout(DBusTimeout* timeout, void* data)
{
    auto* client = static_cast<LDBusClient*>(data);
    {
        const std::lock_guard<std::mutex> lock(client->mLock);
        std::erase_if(client->mTimeouts, [timeout](const Timeout& entry) { return entry.handle == timeout; });
        if (dbus_timeout_get_enabled(timeout))
            client->mTimeouts.push_back(Timeout{timeout, After(Now(), dbus_timeout_get_interval(timeout))});
    }
    if (!client->IsDispatchThread())
        client->WakeupMain();
}

DBusHandlerResult LDBusClient::QueueSignal(DBusConnection* /*connection*/, DBusMessage* message, void* data)
{
    if (dbus_message_get_type(message) == DBUS_MESSAGE_TYPE_SIGNAL)
    {
        auto* client = static_cast<LDBusClient*>(data);
        bool first = false;
        {
            const std::lock_guard<std::mutex> lock(client->mLock);
            client->mSignalQueue.push_back(DBusMessagePtr::Ref(message));
            first = client->mSignalQueue.size() == 1;
        }
        if (first)
            client->mSignalCondition.notify_one();
    }
    return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
}

DBusHandlerResult LDBusClient::FilterTrampoline(DBusConnection* /*connection*/, DBusMessage* message, void* data)
{
    auto* entry = static_cast<FilterEntry*>(data);
    if (entry == nullptr)
        return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
    LDBusClient* const client = entry->client;
    {
        const std::lock_guard<std::mutex> lock(client->mLock);
        if (!entry->active)
            return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
        client->mRunningFilter = entry;
    }
    DBusHandlerResult result = DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
    DBusMessagePtr held = DBusMessagePtr::Ref(message);
    try
    {
        result = entry->callback(held);
    }
    catch (...)
    {
        // Nothing may unwind through libdbus.
        VX_ASSERT_FALSE();
    }
    {
        const std::lock_guard<std::mutex> lock(client->mLock);
        client->mRunningFilter = nullptr;
    }
    client->mReturned.notify_all();
    return result;
}

void LDBusClient::Notifier(DBusPendingCall* pending, void* data)
{
    auto* slot = static_cast<ReplySlot*>(data);
    slot->Set(DBusMessagePtr::Adopt(dbus_pending_call_steal_reply(pending)));
    LDBusClient* const client = slot->GetClient();
    {
        const std::lock_guard<std::mutex> lock(client->mLock);
        client->mPendingCalls.erase(pending);
    }
    // The slot goes with the pending call (FreeReplySlot).
    dbus_pending_call_unref(pending);
}

void LDBusClient::FreeReplySlot(void* data)
{
    delete static_cast<ReplySlot*>(data);
}

//==============================================================================
void LDBusClient::Run()
{
    mDispatchThreadId.store(std::this_thread::get_id());
    std::fprintf(stderr, "DBUS: %s: starting\n", "Run");
    std::fflush(stderr);

    std::vector<pollfd> pollList;
    std::vector<DBusWatch*> pollWatches;
    std::vector<DBusTimeout*> dueTimeouts;

    while (!mStop.load())
    {
        {
            const std::lock_guard<std::mutex> lock(mLock);
            ++mDispatchGeneration;
            mDispatching = true;
        }
        const DBusDispatchStatus status = dbus_connection_dispatch(mConnection);
        long long pollTimeout = status == DBUS_DISPATCH_DATA_REMAINS ? 0 : -1;
        // libdbus drops the calls it was waiting for when the bus goes
        // away without telling their notifiers: their callers learn it here.
        if (!dbus_connection_get_is_connected(mConnection))
            FailPendingCalls();

        pollList.clear();
        pollWatches.clear();
        dueTimeouts.clear();
        std::unique_lock<std::mutex> lock(mLock);
        mDispatching = false;
        std::erase_if(mRetiredFilters, [this](const RetiredFilter& retired) {
            return !retired.waitForDispatch || retired.generation <= mDispatchGeneration;
        });

        while (!mCallQueue.empty())
        {
            QueuedMsg entry = std::move(mCallQueue.front());
            mCallQueue.pop_front();
            lock.unlock();
            DBusPendingCall* pending = nullptr;
            // A disconnected connection accepts the call but hands back no
            // pending call: that is a refusal too.
            if (!dbus_connection_send_with_reply(mConnection, entry.message.Get(), &pending, entry.timeout) ||
                pending == nullptr)
            {
                entry.reply->Set(DBusMessagePtr());
            }
            else if (dbus_pending_call_get_completed(pending))
            {
                entry.reply->Set(DBusMessagePtr::Adopt(dbus_pending_call_steal_reply(pending)));
                dbus_pending_call_unref(pending);
            }
            else
            {
                {
                    const std::lock_guard<std::mutex> tracking(mLock);
                    mPendingCalls.insert(pending);
                }
                ReplySlot* const slot = entry.reply.get();
                if (dbus_pending_call_set_notify(pending, Notifier, slot, FreeReplySlot))
                {
                    entry.reply.release();
                }
                else
                {
                    {
                        const std::lock_guard<std::mutex> tracking(mLock);
                        mPendingCalls.erase(pending);
                    }
                    entry.reply->Set(DBusMessagePtr());
                    dbus_pending_call_cancel(pending);
                    dbus_pending_call_unref(pending);
                }
            }
            // The entry (and a slot still held) goes before the lock is retaken.
            entry = QueuedMsg();
            lock.lock();
        }

        // The poll waits no longer than the nearest timeout; with data still
        // to dispatch it does not wait at all.
        std::sort(mTimeouts.begin(), mTimeouts.end());
        const timespec now = Now();
        for (Timeout& timeout : mTimeouts)
        {
            const long long left = MillisecondsLeft(now, timeout.expiry);
            if (left > 0)
            {
                if (pollTimeout < 0 || left < pollTimeout)
                    pollTimeout = left;
                break;
            }
            timeout.expiry = After(now, dbus_timeout_get_interval(timeout.handle));
            dueTimeouts.push_back(timeout.handle);
        }
        if (!dueTimeouts.empty())
            pollTimeout = 0;

        pollList.push_back(pollfd{mWakeFd, POLLIN, 0});
        pollWatches.push_back(nullptr);
        for (DBusWatch* watch : mWatches)
        {
            const unsigned int flags = dbus_watch_get_flags(watch);
            short events = 0;
            if ((flags & DBUS_WATCH_READABLE) != 0)
                events |= POLLIN;
            if ((flags & DBUS_WATCH_WRITABLE) != 0)
                events |= POLLOUT;
            pollList.push_back(pollfd{dbus_watch_get_unix_fd(watch), events, 0});
            pollWatches.push_back(watch);
        }
        lock.unlock();

        // Without the lock: libdbus may call the timeout functions from here.
        // A handler may remove a later timeout, so each is looked up first.
        for (DBusTimeout* timeout : dueTimeouts)
        {
            lock.lock();
            const bool present = std::any_of(mTimeouts.begin(), mTimeouts.end(),
                                             [timeout](const Timeout& entry) { return entry.handle == timeout; });
            lock.unlock();
            if (present)
                dbus_timeout_handle(timeout);
        }

        const int timeoutArgument =
            pollTimeout < 0 ? -1 : static_cast<int>(std::min<long long>(pollTimeout, 0x7FFFFFFF));
        if (poll(pollList.data(), pollList.size(), timeoutArgument) < 0)
        {
            if (errno == EINTR)
                continue;
            PrintFailure("poll", errno);
            break;
        }

        for (std::size_t i = 0; i < pollList.size(); ++i)
        {
            const short events = pollList[i].revents;
            if (events == 0)
                continue;
            if (pollWatches[i] == nullptr)
            {
                std::uint64_t count = 0;
                [[maybe_unused]] const ssize_t drained = read(mWakeFd, &count, sizeof count);
                continue;
            }
            // Handling one watch may remove (and free) another, as on a
            // hang-up: only watches still in the set are handed over.
            lock.lock();
            const bool present = mWatches.count(pollWatches[i]) != 0;
            lock.unlock();
            if (!present)
                continue;
            unsigned int flags = 0;
            if ((events & POLLIN) != 0)
                flags |= DBUS_WATCH_READABLE;
            if ((events & POLLOUT) != 0)
                flags |= DBUS_WATCH_WRITABLE;
            if ((events & POLLERR) != 0)
                flags |= DBUS_WATCH_ERROR;
            if ((events & POLLHUP) != 0)
                flags |= DBUS_WATCH_HANGUP;
            dbus_watch_handle(pollWatches[i], flags);
        }
    }

    FailOutstandingCalls();
    std::fprintf(stderr, "DBUS: %s: exiting\n", "Run");
    std::fflush(stderr);
}

void LDBusClient::FailOutstandingCalls()
{
    std::deque<QueuedMsg> queued;
    {
        const std::lock_guard<std::mutex> lock(mLock);
        mDispatchEnded = true;
        mDispatching = false;
        queued.swap(mCallQueue);
        mRetiredFilters.clear();
    }
    // Each slot completes its caller as it goes.
    queued.clear();
    FailPendingCalls();
}

void LDBusClient::FailPendingCalls()
{
    std::set<DBusPendingCall*> pending;
    {
        const std::lock_guard<std::mutex> lock(mLock);
        pending.swap(mPendingCalls);
    }
    // The last reference frees the reply slot, which completes its caller.
    for (DBusPendingCall* call : pending)
    {
        dbus_pending_call_cancel(call);
        dbus_pending_call_unref(call);
    }
}

void LDBusClient::NotifyRun()
{
    mNotifyThreadId.store(std::this_thread::get_id());
    while (!mStop.load())
    {
        std::unique_lock<std::mutex> lock(mLock);
        if (mSignalQueue.empty())
        {
            if (!mStop.load())
                mSignalCondition.wait(lock);
            if (mSignalQueue.empty())
                continue;
        }
        DBusMessagePtr message = std::move(mSignalQueue.front());
        mSignalQueue.pop_front();

        const char* const path = dbus_message_get_path(message.Get());
        const char* const interface = dbus_message_get_interface(message.Get());
        const char* const member = dbus_message_get_member(message.Get());
        const auto matches = [](const std::string& wanted, const char* field) {
            return wanted.empty() || (field != nullptr && wanted == field);
        };
        for (const SignalFilter& subscription : mSubscriptions)
        {
            if (!matches(subscription.path, path) || !matches(subscription.interface, interface) ||
                !matches(subscription.member, member))
                continue;
            DBusSignalListener* const listener = subscription.listener;
            mDelivering = listener;
            lock.unlock();
            try
            {
                listener->Signal(message);
            }
            catch (...)
            {
                VX_ASSERT_FALSE();
            }
            lock.lock();
            mDelivering = nullptr;
            lock.unlock();
            mReturned.notify_all();
            break;
        }
    }
}
//==============================================================================
namespace detail
{
DBusMessageIter EnterVariants(const DBusMessageIter& iterator)
{
    DBusMessageIter current = iterator;
    // Each step enters one level of the message, so the walk ends with it.
    while (dbus_message_iter_get_arg_type(&current) == DBUS_TYPE_VARIANT)
    {
        DBusMessageIter inner;
        dbus_message_iter_recurse(&current, &inner);
        current = inner;
    }
    return current;
}

void PrintBadType(const char* function, int type)
{
    std::fprintf(stderr, "DBUS: %s: bad type: %c\n", function, static_cast<char>(type));
    std::fflush(stderr);
}
} // namespace detail

namespace
{
// The basic value of the wanted type, or an assertion and the type's zero.
DBusBasicValue ReadBasic(DBusMessageIter* iterator, int wantedType)
{
    DBusBasicValue value{};
    DBusMessageIter content = detail::EnterVariants(*iterator);
    if (dbus_message_iter_get_arg_type(&content) != wantedType)
    {
        VX_ASSERT_FALSE();
        return value;
    }
    dbus_message_iter_get_basic(&content, &value);
    return value;
}

bool IsText(int type)
{
    return type == DBUS_TYPE_STRING || type == DBUS_TYPE_OBJECT_PATH || type == DBUS_TYPE_SIGNATURE;
}
} // namespace

template <>
bool ConvertArg<bool>(DBusMessageIter* iterator)
{
    return ReadBasic(iterator, DBUS_TYPE_BOOLEAN).bool_val != 0;
}

template <>
std::uint8_t ConvertArg<std::uint8_t>(DBusMessageIter* iterator)
{
    return ReadBasic(iterator, DBUS_TYPE_BYTE).byt;
}

template <>
std::int16_t ConvertArg<std::int16_t>(DBusMessageIter* iterator)
{
    return ReadBasic(iterator, DBUS_TYPE_INT16).i16;
}

template <>
std::uint16_t ConvertArg<std::uint16_t>(DBusMessageIter* iterator)
{
    return ReadBasic(iterator, DBUS_TYPE_UINT16).u16;
}

template <>
std::int32_t ConvertArg<std::int32_t>(DBusMessageIter* iterator)
{
    return ReadBasic(iterator, DBUS_TYPE_INT32).i32;
}

template <>
std::uint32_t ConvertArg<std::uint32_t>(DBusMessageIter* iterator)
{
    return ReadBasic(iterator, DBUS_TYPE_UINT32).u32;
}

template <>
std::int64_t ConvertArg<std::int64_t>(DBusMessageIter* iterator)
{
    return ReadBasic(iterator, DBUS_TYPE_INT64).i64;
}

template <>
std::uint64_t ConvertArg<std::uint64_t>(DBusMessageIter* iterator)
{
    return ReadBasic(iterator, DBUS_TYPE_UINT64).u64;
}

template <>
double ConvertArg<double>(DBusMessageIter* iterator)
{
    return ReadBasic(iterator, DBUS_TYPE_DOUBLE).dbl;
}

template <>
std::string ConvertArg<std::string>(DBusMessageIter* iterator)
{
    DBusMessageIter content = detail::EnterVariants(*iterator);
    if (!IsText(dbus_message_iter_get_arg_type(&content)))
        return {};
    const char* text = nullptr;
    dbus_message_iter_get_basic(&content, &text);
    return text != nullptr ? std::string(text) : std::string();
}

template <>
std::vector<std::string> ConvertArg<std::vector<std::string>>(DBusMessageIter* iterator)
{
    std::vector<std::string> texts;
    DBusMessageIter content = detail::EnterVariants(*iterator);
    if (dbus_message_iter_get_arg_type(&content) != DBUS_TYPE_ARRAY)
        return texts;
    DBusMessageIter element;
    dbus_message_iter_recurse(&content, &element);
    while (dbus_message_iter_get_arg_type(&element) != DBUS_TYPE_INVALID)
    {
        texts.push_back(ConvertArg<std::string>(&element));
        dbus_message_iter_next(&element);
    }
    return texts;
}

template <>
Variant ConvertArg<Variant>(DBusMessageIter* iterator)
{
    const int type = dbus_message_iter_get_arg_type(iterator);
    if (type != DBUS_TYPE_VARIANT)
    {
        detail::PrintBadType("ConvertArg<Vx::Variant>", type);
        VX_ASSERT_FALSE();
        return Variant();
    }
    DBusMessageIter content;
    dbus_message_iter_recurse(iterator, &content);
    const int contentType = dbus_message_iter_get_arg_type(&content);
    DBusBasicValue value{};
    switch (contentType)
    {
    case DBUS_TYPE_BOOLEAN:
        dbus_message_iter_get_basic(&content, &value);
        return Variant(value.bool_val != 0);
    case DBUS_TYPE_BYTE:
        dbus_message_iter_get_basic(&content, &value);
        return Variant(static_cast<std::uint8_t>(value.byt));
    case DBUS_TYPE_INT16:
        dbus_message_iter_get_basic(&content, &value);
        return Variant(static_cast<std::int16_t>(value.i16));
    case DBUS_TYPE_UINT16:
        dbus_message_iter_get_basic(&content, &value);
        return Variant(static_cast<std::uint16_t>(value.u16));
    case DBUS_TYPE_INT32:
        dbus_message_iter_get_basic(&content, &value);
        return Variant(static_cast<std::int32_t>(value.i32));
    case DBUS_TYPE_UINT32:
        dbus_message_iter_get_basic(&content, &value);
        return Variant(static_cast<std::uint32_t>(value.u32));
    case DBUS_TYPE_INT64:
        dbus_message_iter_get_basic(&content, &value);
        return Variant(static_cast<std::int64_t>(value.i64));
    case DBUS_TYPE_UINT64:
        dbus_message_iter_get_basic(&content, &value);
        return Variant(static_cast<std::uint64_t>(value.u64));
    case DBUS_TYPE_DOUBLE:
        dbus_message_iter_get_basic(&content, &value);
        return Variant(static_cast<double>(value.dbl));
    case DBUS_TYPE_STRING:
    case DBUS_TYPE_OBJECT_PATH:
    case DBUS_TYPE_SIGNATURE:
    {
        Variant text;
        text.SetString(ConvertArg<std::string>(&content).c_str());
        return text;
    }
    case DBUS_TYPE_ARRAY:
    {
        const std::vector<std::string> texts = ConvertArg<std::vector<std::string>>(&content);
        std::vector<Variant> elements(texts.size());
        for (std::size_t i = 0; i < texts.size(); ++i)
            elements[i].SetString(texts[i].c_str());
        Variant array;
        array.SetArray(elements.data(), static_cast<std::uint32_t>(elements.size()));
        return array;
    }
    default:
        detail::PrintBadType("ConvertArg<Vx::Variant>", contentType);
        VX_ASSERT_FALSE();
        return Variant();
    }
}

bool ConvertArg(DBusMessageIter* iterator, std::string& text)
{
    if (dbus_message_iter_get_arg_type(iterator) == DBUS_TYPE_INVALID)
        return false;
    text = ConvertArg<std::string>(iterator);
    return true;
}

bool ConvertArg(DBusMessageIter* iterator, std::vector<std::string>& texts)
{
    texts = ConvertArg<std::vector<std::string>>(iterator);
    return true;
}

//==============================================================================
bool AppendArgs(DBusMessageIter* iterator, const char* text)
{
    // libdbus aborts the process on a string that is not UTF-8.
    if (text == nullptr || !dbus_validate_utf8(text, nullptr))
        return false;
    return dbus_message_iter_append_basic(iterator, DBUS_TYPE_STRING, &text) != FALSE;
}

bool AppendArgs(DBusMessageIter* iterator, bool value)
{
    const dbus_bool_t word = value ? TRUE : FALSE;
    return dbus_message_iter_append_basic(iterator, DBUS_TYPE_BOOLEAN, &word) != FALSE;
}

bool AppendArgs(DBusMessageIter* iterator, const std::vector<std::string>& texts)
{
    DBusMessageIter array;
    if (!dbus_message_iter_open_container(iterator, DBUS_TYPE_ARRAY, DBUS_TYPE_STRING_AS_STRING, &array))
        return false;
    for (const std::string& text : texts)
    {
        if (!AppendArgs(&array, text.c_str()))
        {
            dbus_message_iter_abandon_container(iterator, &array);
            return false;
        }
    }
    return dbus_message_iter_close_container(iterator, &array) != FALSE;
}

bool AppendArgs(DBusMessageIter* iterator, const Variant& value)
{
    const std::uint32_t tag = value.GetTag();
    DebugTracer::Get().Trace(-1, "%s:%d variantType=%d", "AppendArgs", __LINE__, static_cast<int>(tag));

    DBusMessageIter container;
    const auto open = [&](const char* signature) {
        return dbus_message_iter_open_container(iterator, DBUS_TYPE_VARIANT, signature, &container) != FALSE;
    };
    const auto appendBasic = [&](int type, const void* basic) {
        return dbus_message_iter_append_basic(&container, type, basic) != FALSE;
    };

    bool opened = false;
    bool written = false;
    switch (tag)
    {
    case Variant::T_BOOL:
    {
        const dbus_bool_t word = value.GetBool() ? TRUE : FALSE;
        if ((opened = open(DBUS_TYPE_BOOLEAN_AS_STRING)))
        {
            DebugTracer::Get().Trace(-1, "%s:%d Opened variant container DBUS_TYPE_BOOLEAN_AS_STRING", "AppendArgs",
                                     __LINE__);
            written = appendBasic(DBUS_TYPE_BOOLEAN, &word);
        }
        break;
    }
    case Variant::T_INT16:
    {
        const dbus_int16_t number = value.GetInt16();
        if ((opened = open(DBUS_TYPE_INT16_AS_STRING)))
        {
            DebugTracer::Get().Trace(-1, "%s:%d Opened variant container DBUS_TYPE_INT16_AS_STRING", "AppendArgs",
                                     __LINE__);
            written = appendBasic(DBUS_TYPE_INT16, &number);
        }
        break;
    }
    case Variant::T_UINT16:
    {
        const dbus_uint16_t number = value.GetUInt16();
        if ((opened = open(DBUS_TYPE_UINT16_AS_STRING)))
        {
            DebugTracer::Get().Trace(-1, "%s:%d Opened variant container DBUS_TYPE_UINT16_AS_STRING", "AppendArgs",
                                     __LINE__);
            written = appendBasic(DBUS_TYPE_UINT16, &number);
        }
        break;
    }
    case Variant::T_INT32:
    {
        const dbus_int32_t number = value.GetInt32();
        if ((opened = open(DBUS_TYPE_INT32_AS_STRING)))
        {
            DebugTracer::Get().Trace(-1, "%s:%d Opened variant container DBUS_TYPE_INT32_AS_STRING", "AppendArgs",
                                     __LINE__);
            written = appendBasic(DBUS_TYPE_INT32, &number);
        }
        break;
    }
    case Variant::T_UINT32:
    {
        const dbus_uint32_t number = value.GetUInt32();
        if ((opened = open(DBUS_TYPE_UINT32_AS_STRING)))
        {
            DebugTracer::Get().Trace(-1, "%s:%d Opened variant container DBUS_TYPE_UINT32_AS_STRING", "AppendArgs",
                                     __LINE__);
            written = appendBasic(DBUS_TYPE_UINT32, &number);
        }
        break;
    }
    case Variant::T_INT64:
    {
        const dbus_int64_t number = value.GetInt64();
        if ((opened = open(DBUS_TYPE_INT64_AS_STRING)))
        {
            DebugTracer::Get().Trace(-1, "%s:%d Opened variant container DBUS_TYPE_INT64_AS_STRING", "AppendArgs",
                                     __LINE__);
            written = appendBasic(DBUS_TYPE_INT64, &number);
        }
        break;
    }
    case Variant::T_UINT64:
    {
        const dbus_uint64_t number = value.GetUInt64();
        if ((opened = open(DBUS_TYPE_UINT64_AS_STRING)))
        {
            DebugTracer::Get().Trace(-1, "%s:%d Opened variant container DBUS_TYPE_UINT64_AS_STRING", "AppendArgs",
                                     __LINE__);
            written = appendBasic(DBUS_TYPE_UINT64, &number);
        }
        break;
    }
    case Variant::T_DOUBLE:
    {
        const double number = value.GetDouble();
        if ((opened = open(DBUS_TYPE_DOUBLE_AS_STRING)))
        {
            DebugTracer::Get().Trace(-1, "%s:%d Opened variant container DBUS_TYPE_DOUBLE_AS_STRING", "AppendArgs",
                                     __LINE__);
            written = appendBasic(DBUS_TYPE_DOUBLE, &number);
        }
        break;
    }
    case Variant::T_STRING:
    {
        const char* const text = value.GetString() != nullptr ? value.GetString() : "";
        if ((opened = open(DBUS_TYPE_STRING_AS_STRING)))
        {
            DebugTracer::Get().Trace(-1, "%s:%d Opened variant container DBUS_TYPE_STRING_AS_STRING", "AppendArgs",
                                     __LINE__);
            written = AppendArgs(&container, text);
        }
        break;
    }
    case Variant::T_ARRAY:
    {
        std::vector<std::string> texts(value.GetArrayCount());
        bool readable = true;
        for (std::uint32_t i = 0; i < texts.size() && readable; ++i)
        {
            Variant element;
            readable = value.GetArrayElement(i, element) >= 0;
            // An element that is not text is written as an empty text, so
            // that the array keeps its count.
            if (readable && element.GetTag() == Variant::T_STRING && element.GetString() != nullptr)
                texts[i] = element.GetString();
        }
        if (readable && (opened = open(DBUS_TYPE_ARRAY_AS_STRING DBUS_TYPE_STRING_AS_STRING)))
        {
            DebugTracer::Get().Trace(
                -1, "%s:%d Opened variant container DBUS_TYPE_ARRAY_AS_STRING DBUS_TYPE_STRING_AS_STRING", "AppendArgs",
                __LINE__);
            written = AppendArgs(&container, texts);
        }
        break;
    }
    default:
        DebugTracer::Get().Trace(-1, "%s:%d Unexpected variant type: %d", "AppendArgs", __LINE__,
                                 static_cast<int>(tag));
        break;
    }

    if (!written)
    {
        DebugTracer::Get().Trace(-1, "%s:%d Failed to write value to variant container", "AppendArgs", __LINE__);
        // The message stays consistent; it is not sent.
        if (opened)
            dbus_message_iter_abandon_container(iterator, &container);
        return false;
    }
    const bool closed = dbus_message_iter_close_container(iterator, &container) != FALSE;
    DebugTracer::Get().Trace(-1, "%s:%d Closed variant container: %d", "AppendArgs", __LINE__, closed ? 1 : 0);
    return closed;
}

bool NewMethodCall(DBusMessagePtr& message, const char* destination, const char* path, const char* interface,
                   const char* method)
{
    message.Reset();
    // libdbus aborts the process on a malformed name; such a call is refused here.
    if ((destination != nullptr && !dbus_validate_bus_name(destination, nullptr)) || path == nullptr ||
        !dbus_validate_path(path, nullptr) || (interface != nullptr && !dbus_validate_interface(interface, nullptr)) ||
        method == nullptr || !dbus_validate_member(method, nullptr))
        return false;
    message = DBusMessagePtr::Adopt(dbus_message_new_method_call(destination, path, interface, method));
    return static_cast<bool>(message);
}
} // namespace Vx::VB05
