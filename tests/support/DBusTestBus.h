#pragma once

// The private system bus of the D-Bus tests and the peers on it.
//
// PrivateSystemBus runs a dbus-daemon of its own (sim/dbus/system-bus.conf)
// on a socket in a folder of this process, always at the same address, and
// points libdbus of this process at it as the system bus (libdbus reads that
// address once).  It is torn down by its process id.  BusPeer is a connection
// of the test's own that can own a name, answer calls, send signals, call and
// watch the bus as a monitor.  MockBluez runs python-dbusmock's BlueZ with the
// simulator's additions (sim/dbus/bluez_mock.py) under Debian's python3.

#include <dbus/dbus.h>

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <variant>
#include <vector>

namespace VxTest
{
class PrivateSystemBus
{
public:
    // Starts the daemon unless it runs; false with the reason when none can
    // start.  Sets the address for libdbus on the first start, before any
    // connection is made.
    static bool Start(std::string& why);
    // Ends the daemon (SIGTERM, then its exit is awaited); every connection
    // to it is cut.
    static void Stop();
    static bool IsRunning();
    static std::string GetAddress();
    // The folder of the socket and the logs.
    static std::string GetFolder();
};

// Owns one reference to a message.
class MessageRef
{
public:
    MessageRef() = default;
    explicit MessageRef(DBusMessage* adopted) : mMessage(adopted) {}
    MessageRef(const MessageRef& other) : mMessage(other.mMessage ? dbus_message_ref(other.mMessage) : nullptr) {}
    MessageRef& operator=(MessageRef other)
    {
        std::swap(mMessage, other.mMessage);
        return *this;
    }
    ~MessageRef()
    {
        if (mMessage != nullptr)
            dbus_message_unref(mMessage);
    }
    DBusMessage* Get() const { return mMessage; }
    explicit operator bool() const { return mMessage != nullptr; }

private:
    DBusMessage* mMessage = nullptr;
};

class BusPeer
{
public:
    // Called on the peer's own thread for each method call addressed to it;
    // it answers with Reply, ReplyError, or not at all.
    using CallHandler = std::function<void(BusPeer& peer, DBusMessage* call)>;

    // Connects (and owns the name when given); IsConnected tells whether it could.
    explicit BusPeer(const std::string& name = "");
    ~BusPeer();
    BusPeer(const BusPeer&) = delete;
    BusPeer& operator=(const BusPeer&) = delete;

    bool IsConnected() const { return mConnection != nullptr; }
    std::string GetUniqueName() const;

    // Set before the first call arrives.
    void SetCallHandler(CallHandler handler);
    // A method return holding the given strings.
    void Reply(DBusMessage* call, const std::vector<std::string>& texts);
    void ReplyError(DBusMessage* call, const char* name, const char* message);

    // A signal with one int32 argument (none when argument is negative).
    void EmitSignal(const char* path, const char* interface, const char* member, std::int32_t argument = -1);
    void Send(DBusMessage* message);

    // A blocking call; the reply, or null with the error's name in error.
    MessageRef Call(DBusMessage* call, std::string& error, int timeoutMilliseconds = 20000);

    // From now on records every message the bus routes that matches one of
    // the rules (all of them for none); the peer sends nothing afterwards.
    bool BecomeMonitor(const std::vector<std::string>& rules);
    std::vector<MessageRef> GetRecorded();

    // Whether the name has an owner on the bus.
    bool NameHasOwner(const char* name);

    // Leaves the bus without answering what is pending.
    void Close();

private:
    static DBusHandlerResult Filter(DBusConnection* connection, DBusMessage* message, void* data);
    void Run();

    DBusConnection* mConnection = nullptr;
    std::thread mThread;
    std::atomic<std::thread::id> mThreadId{};
    std::atomic<bool> mStop{false};
    std::atomic<bool> mMonitoring{false};
    std::mutex mLock;
    CallHandler mHandler;
    std::vector<MessageRef> mRecorded;
};

class MockBluez
{
public:
    using Value = std::variant<bool, std::int16_t, std::uint32_t, std::string>;

    MockBluez() = default;
    ~MockBluez();
    MockBluez(const MockBluez&) = delete;
    MockBluez& operator=(const MockBluez&) = delete;

    // Starts it on the private bus and waits until "org.bluez" is owned;
    // false with the reason when it cannot start.
    bool Start(std::string& why);
    // Ends it by its process id and waits until the name is gone.
    void Stop();

    // The template's own: the new object's path.
    std::string AddAdapter(const std::string& deviceName, const std::string& alias);
    std::string AddDevice(const std::string& adapterName, const std::string& address, const std::string& alias);
    void RemoveDevice(const std::string& adapterPath, const std::string& devicePath);
    void RemoveAdapter(const std::string& deviceName);
    // The simulator's additions.
    void RefusePower(const std::string& adapterName, bool refused);
    void SetProperty(const std::string& path, const std::string& interface, const std::string& name,
                     const Value& value);
    void DropProperties(const std::string& path, const std::string& interface, const std::vector<std::string>& names);
    void EmitRaw(const std::string& path, const std::string& interface, const std::string& member,
                 const std::string& signature, const std::string& arguments);

    // Every method call it received, by name, as its log shows them.
    std::string GetLog() const;

private:
    // Calls a method of "/" (or another object) of org.bluez; a failure fails the test.
    MessageRef CallMock(const char* path, const char* interface, const char* method,
                        const std::function<void(DBusMessageIter*)>& append);

    pid_t mPid = -1;
    std::string mLogPath;
    std::unique_ptr<BusPeer> mControl;
};

// Waits until done() holds, at most limit; true when it does.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(20));
} // namespace VxTest
