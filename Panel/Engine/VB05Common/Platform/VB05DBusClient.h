#pragma once

// The process's D-Bus client on the system bus, and the templates that turn
// message arguments into the system's values and back.
//
// The client owns one bus connection and two threads: "DBusClient", the only
// thread that dispatches, reads and writes the connection and sends queued
// method calls, and "DBusNotify", which hands subscribed signals to their
// listeners.  Connection-level filters run on the dispatch thread.  Any thread
// may place a method call; off the dispatch thread it is queued and its
// caller waits for the reply.
//
// The bus address is libdbus's own affair (its system-bus default, or the
// address its environment names); this code reads no environment variable.

#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/Utilities/Storage/Variant.h"

#include <dbus/dbus.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

namespace Vx::VB05
{
// Owns one reference to a libdbus message, or none.
class DBusMessagePtr
{
public:
    DBusMessagePtr() noexcept = default;
    DBusMessagePtr(std::nullptr_t) noexcept {}
    // Takes over a reference the caller owns (a new message, a stolen reply).
    static DBusMessagePtr Adopt(DBusMessage* message) noexcept { return DBusMessagePtr(message); }
    // Takes a reference of its own.
    static DBusMessagePtr Ref(DBusMessage* message) noexcept
    {
        return DBusMessagePtr(message != nullptr ? dbus_message_ref(message) : nullptr);
    }

    DBusMessagePtr(const DBusMessagePtr& other) noexcept : DBusMessagePtr(Ref(other.mMessage)) {}
    DBusMessagePtr(DBusMessagePtr&& other) noexcept : mMessage(std::exchange(other.mMessage, nullptr)) {}
    DBusMessagePtr& operator=(const DBusMessagePtr& other) noexcept
    {
        if (this != &other)
            Replace(other.mMessage != nullptr ? dbus_message_ref(other.mMessage) : nullptr);
        return *this;
    }
    DBusMessagePtr& operator=(DBusMessagePtr&& other) noexcept
    {
        if (this != &other)
            Replace(std::exchange(other.mMessage, nullptr));
        return *this;
    }
    ~DBusMessagePtr() { Replace(nullptr); }

    DBusMessage* Get() const noexcept { return mMessage; }
    explicit operator bool() const noexcept { return mMessage != nullptr; }
    void Reset() noexcept { Replace(nullptr); }

private:
    explicit DBusMessagePtr(DBusMessage* message) noexcept : mMessage(message) {}
    void Replace(DBusMessage* message) noexcept
    {
        DBusMessage* const old = std::exchange(mMessage, message);
        if (old != nullptr)
            dbus_message_unref(old);
    }

    DBusMessage* mMessage = nullptr;
};

// Receives the signals of its subscriptions, on the client's notify thread.
class DBusSignalListener
{
public:
    virtual ~DBusSignalListener() = default;
    virtual void Signal(DBusMessagePtr& message) = 0;
};

class LDBusClient : public LRefCountedObject
{
public:
    // One subscription; an empty string matches any value.
    struct SignalFilter
    {
        DBusSignalListener* listener = nullptr;
        std::string path;
        std::string interface;
        std::string member;
    };

    // A connection-level filter: sees every incoming message on the dispatch thread.
    using Filter = std::function<DBusHandlerResult(DBusMessagePtr&)>;

    struct Timeout
    {
        DBusTimeout* handle = nullptr;
        timespec expiry{};

        // Earlier expiry first, equal expiries by handle address.
        bool operator<(const Timeout& other) const noexcept;
    };

    // The reply of one queued call.  Whoever holds it last completes the
    // waiting caller: a slot destroyed without a reply hands over a null one,
    // so no caller waits for a call that can no longer complete.
    class ReplySlot
    {
    public:
        explicit ReplySlot(LDBusClient* client) : mClient(client) {}
        ~ReplySlot() { Set(DBusMessagePtr()); }
        ReplySlot(const ReplySlot&) = delete;
        ReplySlot& operator=(const ReplySlot&) = delete;

        std::future<DBusMessagePtr> GetFuture() { return mPromise.get_future(); }
        // Once; later replies are dropped.
        void Set(DBusMessagePtr reply)
        {
            if (!mSet)
            {
                mSet = true;
                mPromise.set_value(std::move(reply));
            }
        }
        LDBusClient* GetClient() const noexcept { return mClient; }

    private:
        LDBusClient* mClient;
        std::promise<DBusMessagePtr> mPromise;
        bool mSet = false;
    };

    struct QueuedMsg
    {
        DBusMessagePtr message;
        // Null once libdbus holds it.
        std::unique_ptr<ReplySlot> reply;
        std::int32_t timeout = 0;
    };

    // The process's client, made on the first call (the constructor's
    // exceptions reach the caller and nothing is kept); later calls return
    // the same object.  It is never destroyed.
    static RCPtr<LDBusClient> GetInstance();

    // Connects to the system bus and starts both threads.  Throws
    // std::runtime_error: "eventfd() failed", or libdbus's message when the
    // bus cannot be reached.
    LDBusClient();
    // Stops and joins both threads and closes the connection.  Calls still
    // waiting complete with the "fail" error.  Not on the client's own threads.
    ~LDBusClient() override;
    LDBusClient(const LDBusClient&) = delete;
    LDBusClient& operator=(const LDBusClient&) = delete;

    // Sends a method call and waits for its reply: the reply, or null with the
    // error set (the peer's error name and message for an error reply; libdbus's
    // no-reply error when the timeout passes; "out of memory"/"no memory" for a
    // null message; "fail"/"fail" when the call could not be sent or completed).
    // The error must be unset (or null).  Off the dispatch thread the message
    // is moved out of the handle.
    DBusMessagePtr Call(DBusMessagePtr& message, DBusError* error, std::int32_t timeoutMilliseconds);
    // Sends without waiting; a method call is marked as expecting no reply.
    void Send(DBusMessagePtr& message);

    // Subscribes the listener to the signals on that path, interface and
    // member (null or empty: any).  A signal reaches only the first matching
    // subscription.  False for a null listener or a name that is not valid
    // D-Bus syntax (nothing is subscribed); whether the bus took the rule is
    // not learnt.
    bool AddSignalListener(const char* path, const char* interface, const char* member, DBusSignalListener* listener);
    // Removes the first subscription with exactly these four.  When the notify
    // thread is delivering to the listener at that moment, waits until it has
    // returned (unless called from that delivery), so that the listener may
    // be destroyed afterwards.  Nothing happens when none matches.
    void RemoveSignalListener(const char* path, const char* interface, const char* member,
                              DBusSignalListener* listener);

    // Adds the match rule on the bus and a filter that sees every incoming
    // message.  False when libdbus refuses the filter, for an empty filter, a
    // rule that is not UTF-8, or a rule already stored (which keeps its filter).
    bool AddFilter(const std::string& matchRule, Filter filter);
    // Removes the filter stored under the rule and its match rule; when the
    // filter is running at that moment, waits for it to return (unless called
    // from the dispatch thread).  Nothing happens for a rule not stored.  Not
    // at the same time as AddFilter with the same rule.
    void RemoveFilter(const std::string& matchRule);

private:
    struct FilterEntry
    {
        LDBusClient* client = nullptr;
        Filter callback;
        // Cleared on removal, after which the callback is never started.
        bool active = true;
    };

    // A removed filter's entry stays until no dispatch can still call it.
    struct RetiredFilter
    {
        std::unique_ptr<FilterEntry> entry;
        std::uint64_t generation = 0;
        bool waitForDispatch = false;
    };

    void Run();
    void NotifyRun();
    void WakeupMain();
    // Completes every queued and pending call with a null reply; no later
    // call is queued.
    void FailOutstandingCalls();
    // Completes the calls libdbus holds with a null reply.
    void FailPendingCalls();
    void Shutdown() noexcept;
    bool IsDispatchThread() const noexcept { return std::this_thread::get_id() == mDispatchThreadId.load(); }
    static std::string BuildMatchRule(const SignalFilter& subscription);

    static dbus_bool_t AddWatch(DBusWatch* watch, void* data);
    static void RemoveWatch(DBusWatch* watch, void* data);
    static void ToggleWatch(DBusWatch* watch, void* data);
    static dbus_bool_t AddTimeout(DBusTimeout* timeout, void* data);
    static void RemoveTimeout(DBusTimeout* timeout, void* data);
    static void ToggleTimeout(DBusTimeout* timeout, void* data);
    static void WakeupMainFunction(void* data);
    static DBusHandlerResult QueueSignal(DBusConnection* connection, DBusMessage* message, void* data);
    static DBusHandlerResult FilterTrampoline(DBusConnection* connection, DBusMessage* message, void* data);
    static void Notifier(DBusPendingCall* pending, void* data);
    static void FreeReplySlot(void* data);

    std::mutex mLock;
    std::condition_variable mSignalCondition;
    int mWakeFd = -1;
    DBusConnection* mConnection = nullptr;
    std::thread mDispatchThread;
    std::thread mNotifyThread;
    std::atomic<bool> mStop{false};
    bool mQueueingSignals = false;

    // Guarded by mLock.
    std::vector<SignalFilter> mSubscriptions;
    std::set<DBusWatch*> mWatches;
    std::vector<Timeout> mTimeouts;
    std::map<std::string, std::unique_ptr<FilterEntry>> mFilters;
    std::deque<QueuedMsg> mCallQueue;
    std::deque<DBusMessagePtr> mSignalQueue;
    // Calls libdbus completes through the notifier; each holds one reference.
    std::set<DBusPendingCall*> mPendingCalls;
    std::vector<RetiredFilter> mRetiredFilters;
    // What runs on the client's threads at this moment, so that removals can
    // wait for it to return.
    DBusSignalListener* mDelivering = nullptr;
    FilterEntry* mRunningFilter = nullptr;
    std::condition_variable mReturned;
    std::uint64_t mDispatchGeneration = 0;
    bool mDispatching = false;
    bool mDispatchEnded = false;

    std::atomic<std::thread::id> mDispatchThreadId{};
    std::atomic<std::thread::id> mNotifyThreadId{};
};

// Every method call of the system waits at most this long for its reply.
inline constexpr std::int32_t kDBusCallTimeout = 60000;

//==============================================================================
// Argument conversion.  Readers read the argument the iterator stands on and
// do not advance it; every reader except the one for Vx::Variant also accepts
// its value wrapped in any number of variants.

namespace detail
{
// The iterator moved into the variants that wrap the argument, however many.
DBusMessageIter EnterVariants(const DBusMessageIter& iterator);
// "DBUS: <function>: bad type: <code>" on standard error.
void PrintBadType(const char* function, int type);

template <class T>
struct IsStringMap : std::false_type
{
};
template <class V>
struct IsStringMap<std::unordered_map<std::string, V>> : std::true_type
{
};
} // namespace detail

// bool, std::uint8_t, std::int16_t, std::uint16_t, std::int32_t,
// std::uint32_t, std::int64_t, std::uint64_t and double: the value; another
// type gives an assertion and 0 (false).  std::string: the text of an s, o or
// g argument, else empty.  std::vector<std::string>: the texts of an array's
// elements in order (empty for an element that is not text), else empty.
// Vx::Variant: the content of a variant argument (basic values by their tag,
// text as text, any array as an array of texts); anything else prints the
// "bad type" line, asserts and gives an empty Variant.
template <class T>
T ConvertArg(DBusMessageIter* iterator);

template <>
bool ConvertArg<bool>(DBusMessageIter* iterator);
template <>
std::uint8_t ConvertArg<std::uint8_t>(DBusMessageIter* iterator);
template <>
std::int16_t ConvertArg<std::int16_t>(DBusMessageIter* iterator);
template <>
std::uint16_t ConvertArg<std::uint16_t>(DBusMessageIter* iterator);
template <>
std::int32_t ConvertArg<std::int32_t>(DBusMessageIter* iterator);
template <>
std::uint32_t ConvertArg<std::uint32_t>(DBusMessageIter* iterator);
template <>
std::int64_t ConvertArg<std::int64_t>(DBusMessageIter* iterator);
template <>
std::uint64_t ConvertArg<std::uint64_t>(DBusMessageIter* iterator);
template <>
double ConvertArg<double>(DBusMessageIter* iterator);
template <>
std::string ConvertArg<std::string>(DBusMessageIter* iterator);
template <>
std::vector<std::string> ConvertArg<std::vector<std::string>>(DBusMessageIter* iterator);
template <>
Variant ConvertArg<Variant>(DBusMessageIter* iterator);

// False only at the end of the arguments (the text is then unchanged);
// otherwise stores the text as above, empty for an argument that is not text.
bool ConvertArg(DBusMessageIter* iterator, std::string& text);
// Always true.
bool ConvertArg(DBusMessageIter* iterator, std::vector<std::string>& texts);

// An array of dictionary entries as a map from the key text to V, which is
// Vx::Variant or a map ConvertDict makes itself (a{sv}, a{sa{sv}},
// a{oa{sa{sv}}}).  The first value of a repeated key stays; elements that are
// not entries with two fields are skipped.  Anything but an array prints the
// "bad type" line, asserts and gives an empty map.
template <class V>
std::unordered_map<std::string, V> ConvertDict(DBusMessageIter* iterator)
{
    static_assert(std::is_same_v<V, Variant> || detail::IsStringMap<V>::value,
                  "dictionary values are variants or dictionaries");
    std::unordered_map<std::string, V> result;
    DBusMessageIter value = detail::EnterVariants(*iterator);
    const int type = dbus_message_iter_get_arg_type(&value);
    if (type != DBUS_TYPE_ARRAY)
    {
        detail::PrintBadType("ConvertDict", type);
        VX_ASSERT_FALSE();
        return result;
    }
    DBusMessageIter element;
    dbus_message_iter_recurse(&value, &element);
    for (int elementType = dbus_message_iter_get_arg_type(&element); elementType != DBUS_TYPE_INVALID;
         elementType = dbus_message_iter_get_arg_type(&element))
    {
        if (elementType == DBUS_TYPE_DICT_ENTRY)
        {
            DBusMessageIter field;
            dbus_message_iter_recurse(&element, &field);
            std::string key = ConvertArg<std::string>(&field);
            if (dbus_message_iter_next(&field))
            {
                if constexpr (std::is_same_v<V, Variant>)
                    result.emplace(std::move(key), ConvertArg<Variant>(&field));
                else
                    result.emplace(std::move(key), ConvertDict<typename V::mapped_type>(&field));
            }
        }
        dbus_message_iter_next(&element);
    }
    return result;
}

// Writers: each appends one argument and returns whether it could.  A text
// that is not UTF-8 (or a null one) is refused rather than handed to libdbus.
bool AppendArgs(DBusMessageIter* iterator, const char* text);
bool AppendArgs(DBusMessageIter* iterator, bool value);
// An array of strings.
bool AppendArgs(DBusMessageIter* iterator, const std::vector<std::string>& texts);
// As a variant of the Variant's own type: bool, 16-, 32- and 64-bit integers,
// double, text, or an array of texts (an element that is not text is written
// as an empty text).  Other tags are refused.  Each step is traced.
bool AppendArgs(DBusMessageIter* iterator, const Variant& value);

// Replaces the handle's message by a new method call; false (and a null
// handle) when none could be made, also for a name that is not valid D-Bus
// syntax.
bool NewMethodCall(DBusMessagePtr& message, const char* destination, const char* path, const char* interface,
                   const char* method);

// Appends the arguments, calls with kDBusCallTimeout and converts the reply's
// first argument as Result (a map ConvertDict makes; void drops the reply).
// A failure prints its "DBUS: " line and gives an empty result; nothing is
// sent when an argument cannot be appended.
template <class Result = void, class... Args>
Result CallMethod(DBusMessagePtr& message, LDBusClient& client, const Args&... args)
{
    if (message)
    {
        DBusMessageIter appender;
        dbus_message_iter_init_append(message.Get(), &appender);
        if (!(AppendArgs(&appender, args) && ...))
        {
            std::fprintf(stderr, "DBUS: failed to append args to message\n");
            std::fflush(stderr);
            if constexpr (!std::is_void_v<Result>)
                return Result();
            else
                return;
        }
    }
    DBusError error;
    dbus_error_init(&error);
    DBusMessagePtr reply = client.Call(message, &error, kDBusCallTimeout);
    if (dbus_error_is_set(&error))
    {
        std::fprintf(stderr, "DBUS: method call failed: %s\n", error.message != nullptr ? error.message : "");
        std::fflush(stderr);
        dbus_error_free(&error);
        if constexpr (!std::is_void_v<Result>)
            return Result();
        else
            return;
    }
    if constexpr (!std::is_void_v<Result>)
    {
        static_assert(detail::IsStringMap<Result>::value, "replies are converted as dictionaries");
        Result result;
        if (reply)
        {
            DBusMessageIter reader;
            dbus_message_iter_init(reply.Get(), &reader);
            result = ConvertDict<typename Result::mapped_type>(&reader);
        }
        dbus_error_free(&error);
        return result;
    }
    else
    {
        dbus_error_free(&error);
    }
}
} // namespace Vx::VB05
