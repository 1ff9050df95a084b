#include "tests/support/DBusTestBus.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef VX_SIM_DBUS_DIR
#error "VX_SIM_DBUS_DIR names the folder of the simulated bus and BlueZ"
#endif

#if defined(__SANITIZE_THREAD__)
#define VX_DBUS_TEST_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VX_DBUS_TEST_TSAN 1
#endif
#endif

#ifdef VX_DBUS_TEST_TSAN
// libdbus is not instrumented, so what orders its threads is invisible here:
// its atomic reference counts (a message freed on the dispatch thread after a
// caller dropped its own reference) and its locks (the global bus lock and a
// connection's, taken in one order while connecting and in the other while
// closing that connection, which no other thread knows yet).  Races of the
// system's own code stay reported.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:libdbus-1.so\n"
           "deadlock:libdbus-1.so\n";
}
#endif

namespace VxTest
{
namespace
{
constexpr char kPython[] = "/usr/bin/python3";

struct BusState
{
    std::mutex lock;
    std::string folder;
    std::string address;
    pid_t pid = -1;
    bool addressSet = false;
};

BusState& State()
{
    // Never destroyed: the exit handler below still uses it.
    static BusState* const state = new BusState;
    return *state;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool IsAlive(pid_t pid)
{
    int status = 0;
    return pid > 0 && waitpid(pid, &status, WNOHANG) == 0;
}

void EndProcess(pid_t pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 500; ++i)
    {
        const pid_t ended = waitpid(pid, &status, WNOHANG);
        if (ended == pid || (ended < 0 && errno != EINTR))
            return;
        usleep(10000);
    }
    kill(pid, SIGKILL);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR)
    {
    }
}

// A child that dies with the thread that started it, with its output in the log.
pid_t Spawn(const std::vector<std::string>& arguments, int stdoutFd, const std::string& logPath)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    // Only async-signal-safe calls from here to exec.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (log >= 0)
    {
        dup2(log, 2);
        dup2(stdoutFd >= 0 ? stdoutFd : log, 1);
    }
    execvp(argv[0], argv.data());
    _exit(127);
}

void OnExit()
{
    PrivateSystemBus::Stop();
    BusState& state = State();
    if (!state.folder.empty())
    {
        const std::string command = "rm -rf '" + state.folder + "'";
        [[maybe_unused]] const int ignored = std::system(command.c_str());
    }
}
} // namespace

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

//==============================================================================
bool PrivateSystemBus::Start(std::string& why)
{
    dbus_threads_init_default();
    BusState& state = State();
    const std::lock_guard<std::mutex> lock(state.lock);
    if (IsAlive(state.pid))
        return true;
    if (state.folder.empty())
    {
        char pattern[] = "/tmp/vx-dbus-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
        {
            why = std::string("no folder for the private bus: ") + std::strerror(errno);
            return false;
        }
        state.folder = pattern;
        state.address = "unix:path=" + state.folder + "/system_bus_socket";
        std::atexit(OnExit);
    }
    // libdbus reads the address once, at its first connection: the same
    // address serves every later start.
    if (!state.addressSet)
    {
        setenv("DBUS_SYSTEM_BUS_ADDRESS", state.address.c_str(), 1);
        state.addressSet = true;
    }
    unlink((state.folder + "/system_bus_socket").c_str());

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
    {
        why = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    const std::string logPath = state.folder + "/dbus-daemon.log";
    state.pid = Spawn({"dbus-daemon", "--nofork", "--config-file=" VX_SIM_DBUS_DIR "/system-bus.conf",
                       "--address=" + state.address, "--print-address=1"},
                      pipeFds[1], logPath);
    close(pipeFds[1]);

    // The daemon prints its address once it listens.
    std::string printed;
    pollfd readable{pipeFds[0], POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (printed.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline)
    {
        if (poll(&readable, 1, 100) <= 0)
            continue;
        char buffer[256];
        const ssize_t count = read(pipeFds[0], buffer, sizeof buffer);
        if (count <= 0)
            break;
        printed.append(buffer, static_cast<std::size_t>(count));
    }
    close(pipeFds[0]);
    if (printed.find('\n') == std::string::npos)
    {
        EndProcess(state.pid);
        state.pid = -1;
        why = "no dbus-daemon could start for the private system bus (is the dbus-daemon package installed?): " +
              ReadFile(logPath);
        return false;
    }
    return true;
}

void PrivateSystemBus::Stop()
{
    BusState& state = State();
    const std::lock_guard<std::mutex> lock(state.lock);
    EndProcess(state.pid);
    state.pid = -1;
}

bool PrivateSystemBus::IsRunning()
{
    BusState& state = State();
    const std::lock_guard<std::mutex> lock(state.lock);
    return IsAlive(state.pid);
}

std::string PrivateSystemBus::GetAddress()
{
    BusState& state = State();
    const std::lock_guard<std::mutex> lock(state.lock);
    return state.address;
}

std::string PrivateSystemBus::GetFolder()
{
    BusState& state = State();
    const std::lock_guard<std::mutex> lock(state.lock);
    return state.folder;
}

//==============================================================================
BusPeer::BusPeer(const std::string& name)
{
    dbus_threads_init_default();
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* connection = dbus_connection_open_private(PrivateSystemBus::GetAddress().c_str(), &error);
    if (connection == nullptr)
    {
        dbus_error_free(&error);
        return;
    }
    dbus_connection_set_exit_on_disconnect(connection, FALSE);
    if (!dbus_bus_register(connection, &error) ||
        (!name.empty() && dbus_bus_request_name(connection, name.c_str(), DBUS_NAME_FLAG_DO_NOT_QUEUE, &error) !=
                              DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER))
    {
        dbus_error_free(&error);
        dbus_connection_close(connection);
        dbus_connection_unref(connection);
        return;
    }
    dbus_connection_add_filter(connection, Filter, this, nullptr);
    mConnection = connection;
}

BusPeer::~BusPeer()
{
    Close();
}

std::string BusPeer::GetUniqueName() const
{
    const char* name = mConnection != nullptr ? dbus_bus_get_unique_name(mConnection) : nullptr;
    return name != nullptr ? name : "";
}

void BusPeer::SetCallHandler(CallHandler handler)
{
    {
        const std::lock_guard<std::mutex> lock(mLock);
        mHandler = std::move(handler);
    }
    if (!mThread.joinable() && mConnection != nullptr)
        mThread = std::thread([this] { Run(); });
}

void BusPeer::Run()
{
    mThreadId.store(std::this_thread::get_id());
    while (!mStop.load() && dbus_connection_read_write_dispatch(mConnection, 20))
    {
    }
}

DBusHandlerResult BusPeer::Filter(DBusConnection* /*connection*/, DBusMessage* message, void* data)
{
    auto* peer = static_cast<BusPeer*>(data);
    if (peer->mMonitoring.load())
    {
        const std::lock_guard<std::mutex> lock(peer->mLock);
        peer->mRecorded.emplace_back(dbus_message_ref(message));
        // A monitor must not answer anything.
        return DBUS_HANDLER_RESULT_HANDLED;
    }
    if (dbus_message_get_type(message) != DBUS_MESSAGE_TYPE_METHOD_CALL)
        return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
    CallHandler handler;
    {
        const std::lock_guard<std::mutex> lock(peer->mLock);
        handler = peer->mHandler;
    }
    if (!handler)
        return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
    handler(*peer, message);
    return DBUS_HANDLER_RESULT_HANDLED;
}

void BusPeer::Reply(DBusMessage* call, const std::vector<std::string>& texts)
{
    DBusMessage* reply = dbus_message_new_method_return(call);
    for (const std::string& text : texts)
    {
        const char* pointer = text.c_str();
        dbus_message_append_args(reply, DBUS_TYPE_STRING, &pointer, DBUS_TYPE_INVALID);
    }
    Send(reply);
    dbus_message_unref(reply);
}

void BusPeer::ReplyError(DBusMessage* call, const char* name, const char* message)
{
    DBusMessage* reply = dbus_message_new_error(call, name, message);
    Send(reply);
    dbus_message_unref(reply);
}

void BusPeer::EmitSignal(const char* path, const char* interface, const char* member, std::int32_t argument)
{
    DBusMessage* signal = dbus_message_new_signal(path, interface, member);
    if (argument >= 0)
        dbus_message_append_args(signal, DBUS_TYPE_INT32, &argument, DBUS_TYPE_INVALID);
    Send(signal);
    dbus_message_unref(signal);
}

void BusPeer::Send(DBusMessage* message)
{
    if (mConnection == nullptr)
        return;
    dbus_connection_send(mConnection, message, nullptr);
    dbus_connection_flush(mConnection);
}

MessageRef BusPeer::Call(DBusMessage* call, std::string& error, int timeoutMilliseconds)
{
    error.clear();
    if (mConnection == nullptr)
    {
        error = "not connected";
        return MessageRef();
    }
    DBusError failure;
    dbus_error_init(&failure);
    DBusMessage* reply = dbus_connection_send_with_reply_and_block(mConnection, call, timeoutMilliseconds, &failure);
    if (reply == nullptr)
    {
        error = failure.name != nullptr ? failure.name : "failed";
        if (failure.message != nullptr)
            error += std::string(": ") + failure.message;
        dbus_error_free(&failure);
    }
    return MessageRef(reply);
}

bool BusPeer::BecomeMonitor(const std::vector<std::string>& rules)
{
    DBusMessage* call = dbus_message_new_method_call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                     "org.freedesktop.DBus.Monitoring", "BecomeMonitor");
    DBusMessageIter arguments;
    DBusMessageIter array;
    dbus_message_iter_init_append(call, &arguments);
    dbus_message_iter_open_container(&arguments, DBUS_TYPE_ARRAY, DBUS_TYPE_STRING_AS_STRING, &array);
    for (const std::string& rule : rules)
    {
        const char* pointer = rule.c_str();
        dbus_message_iter_append_basic(&array, DBUS_TYPE_STRING, &pointer);
    }
    dbus_message_iter_close_container(&arguments, &array);
    const dbus_uint32_t flags = 0;
    dbus_message_iter_append_basic(&arguments, DBUS_TYPE_UINT32, &flags);
    mMonitoring = true;
    std::string error;
    const MessageRef reply = Call(call, error);
    dbus_message_unref(call);
    if (!reply)
    {
        mMonitoring = false;
        ADD_FAILURE() << "BecomeMonitor: " << error;
        return false;
    }
    if (!mThread.joinable())
        mThread = std::thread([this] { Run(); });
    return true;
}

std::vector<MessageRef> BusPeer::GetRecorded()
{
    const std::lock_guard<std::mutex> lock(mLock);
    return mRecorded;
}

void BusPeer::Close()
{
    mStop = true;
    if (std::this_thread::get_id() == mThreadId.load())
    {
        // From the peer's own handler: the connection goes at once, the
        // thread ends at its next turn and is joined by the destructor.
        dbus_connection_close(mConnection);
        return;
    }
    if (mThread.joinable())
        mThread.join();
    if (mConnection != nullptr)
    {
        dbus_connection_close(mConnection);
        dbus_connection_unref(mConnection);
        mConnection = nullptr;
    }
}

//==============================================================================
bool BusPeer::NameHasOwner(const char* name)
{
    DBusMessage* call = dbus_message_new_method_call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                     "org.freedesktop.DBus", "NameHasOwner");
    dbus_message_append_args(call, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID);
    std::string error;
    const MessageRef reply = Call(call, error);
    dbus_message_unref(call);
    dbus_bool_t has = FALSE;
    if (reply)
        dbus_message_get_args(reply.Get(), nullptr, DBUS_TYPE_BOOLEAN, &has, DBUS_TYPE_INVALID);
    return has != FALSE;
}

//==============================================================================
MockBluez::~MockBluez()
{
    Stop();
}

bool MockBluez::Start(std::string& why)
{
    if (access(kPython, X_OK) != 0 ||
        std::system((std::string(kPython) + " -c 'import dbusmock' >/dev/null 2>&1").c_str()) != 0)
    {
        why = "python3-dbusmock is not installed for Debian's python3 (tools/setup.sh installs it)";
        return false;
    }
    mControl = std::make_unique<BusPeer>();
    if (!mControl->IsConnected())
    {
        why = "no connection to the private bus";
        return false;
    }
    mLogPath = PrivateSystemBus::GetFolder() + "/bluez-mock.log";
    unlink(mLogPath.c_str());
    mPid = Spawn({kPython, "-m", "dbusmock", "--system", "--template", VX_SIM_DBUS_DIR "/bluez_mock.py"}, -1, mLogPath);
    if (WaitUntil([this] { return !IsAlive(mPid) || mControl->NameHasOwner("org.bluez"); }) &&
        mControl->NameHasOwner("org.bluez"))
        return true;
    why = "the mock BlueZ did not start: " + ReadFile(mLogPath);
    Stop();
    return false;
}

void MockBluez::Stop()
{
    if (mPid > 0)
    {
        EndProcess(mPid);
        mPid = -1;
        if (mControl != nullptr && mControl->IsConnected())
            WaitUntil([this] { return !mControl->NameHasOwner("org.bluez"); }, std::chrono::seconds(5));
    }
    mControl.reset();
}

std::string MockBluez::GetLog() const
{
    return ReadFile(mLogPath);
}

MessageRef MockBluez::CallMock(const char* path, const char* interface, const char* method,
                               const std::function<void(DBusMessageIter*)>& append)
{
    DBusMessage* call = dbus_message_new_method_call("org.bluez", path, interface, method);
    DBusMessageIter arguments;
    dbus_message_iter_init_append(call, &arguments);
    append(&arguments);
    std::string error;
    MessageRef reply = mControl != nullptr ? mControl->Call(call, error) : MessageRef();
    dbus_message_unref(call);
    if (!reply)
        ADD_FAILURE() << "mock BlueZ " << method << ": " << error << "\n" << GetLog();
    return reply;
}

namespace
{
void AppendString(DBusMessageIter* iterator, const std::string& text, int type = DBUS_TYPE_STRING)
{
    const char* pointer = text.c_str();
    dbus_message_iter_append_basic(iterator, type, &pointer);
}

std::string ReplyText(const MessageRef& reply)
{
    const char* text = nullptr;
    if (!reply || !dbus_message_get_args(reply.Get(), nullptr, DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID))
        return "";
    return text;
}
} // namespace

std::string MockBluez::AddAdapter(const std::string& deviceName, const std::string& alias)
{
    return ReplyText(CallMock("/", "org.bluez.Mock", "AddAdapter", [&](DBusMessageIter* arguments) {
        AppendString(arguments, deviceName);
        AppendString(arguments, alias);
    }));
}

std::string MockBluez::AddDevice(const std::string& adapterName, const std::string& address, const std::string& alias)
{
    return ReplyText(CallMock("/", "org.bluez.Mock", "AddDevice", [&](DBusMessageIter* arguments) {
        AppendString(arguments, adapterName);
        AppendString(arguments, address);
        AppendString(arguments, alias);
    }));
}

void MockBluez::RemoveDevice(const std::string& adapterPath, const std::string& devicePath)
{
    CallMock(adapterPath.c_str(), "org.bluez.Adapter1", "RemoveDevice",
             [&](DBusMessageIter* arguments) { AppendString(arguments, devicePath, DBUS_TYPE_OBJECT_PATH); });
}

void MockBluez::RemoveAdapter(const std::string& deviceName)
{
    CallMock("/", "org.bluez.Mock", "RemoveAdapter",
             [&](DBusMessageIter* arguments) { AppendString(arguments, deviceName); });
}

void MockBluez::RefusePower(const std::string& adapterName, bool refused)
{
    CallMock("/", "org.bluez.Mock", "RefusePower", [&](DBusMessageIter* arguments) {
        AppendString(arguments, adapterName);
        const dbus_bool_t word = refused ? TRUE : FALSE;
        dbus_message_iter_append_basic(arguments, DBUS_TYPE_BOOLEAN, &word);
    });
}

void MockBluez::SetProperty(const std::string& path, const std::string& interface, const std::string& name,
                            const Value& value)
{
    CallMock("/", "org.bluez.Mock", "SetProperty", [&](DBusMessageIter* arguments) {
        AppendString(arguments, path, DBUS_TYPE_OBJECT_PATH);
        AppendString(arguments, interface);
        AppendString(arguments, name);
        DBusMessageIter variant;
        if (const bool* flag = std::get_if<bool>(&value))
        {
            const dbus_bool_t word = *flag ? TRUE : FALSE;
            dbus_message_iter_open_container(arguments, DBUS_TYPE_VARIANT, DBUS_TYPE_BOOLEAN_AS_STRING, &variant);
            dbus_message_iter_append_basic(&variant, DBUS_TYPE_BOOLEAN, &word);
        }
        else if (const std::int16_t* small = std::get_if<std::int16_t>(&value))
        {
            const dbus_int16_t number = *small;
            dbus_message_iter_open_container(arguments, DBUS_TYPE_VARIANT, DBUS_TYPE_INT16_AS_STRING, &variant);
            dbus_message_iter_append_basic(&variant, DBUS_TYPE_INT16, &number);
        }
        else if (const std::uint32_t* word = std::get_if<std::uint32_t>(&value))
        {
            const dbus_uint32_t number = *word;
            dbus_message_iter_open_container(arguments, DBUS_TYPE_VARIANT, DBUS_TYPE_UINT32_AS_STRING, &variant);
            dbus_message_iter_append_basic(&variant, DBUS_TYPE_UINT32, &number);
        }
        else
        {
            dbus_message_iter_open_container(arguments, DBUS_TYPE_VARIANT, DBUS_TYPE_STRING_AS_STRING, &variant);
            AppendString(&variant, std::get<std::string>(value));
        }
        dbus_message_iter_close_container(arguments, &variant);
    });
}

void MockBluez::DropProperties(const std::string& path, const std::string& interface,
                               const std::vector<std::string>& names)
{
    CallMock("/", "org.bluez.Mock", "DropProperties", [&](DBusMessageIter* arguments) {
        AppendString(arguments, path, DBUS_TYPE_OBJECT_PATH);
        AppendString(arguments, interface);
        DBusMessageIter array;
        dbus_message_iter_open_container(arguments, DBUS_TYPE_ARRAY, DBUS_TYPE_STRING_AS_STRING, &array);
        for (const std::string& name : names)
            AppendString(&array, name);
        dbus_message_iter_close_container(arguments, &array);
    });
}

void MockBluez::EmitRaw(const std::string& path, const std::string& interface, const std::string& member,
                        const std::string& signature, const std::string& arguments)
{
    CallMock("/", "org.bluez.Mock", "EmitRaw", [&](DBusMessageIter* appended) {
        for (const std::string* text : {&path, &interface, &member, &signature, &arguments})
            AppendString(appended, *text);
    });
}
} // namespace VxTest
