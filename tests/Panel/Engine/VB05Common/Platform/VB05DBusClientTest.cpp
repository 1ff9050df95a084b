#include "Panel/Engine/VB05Common/Platform/VB05DBusClient.h"

#include "tests/support/CaptureStderr.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/DBusTestBus.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <string>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
using namespace Vx::VB05;
using namespace std::chrono_literals;
using VxTest::BusPeer;
using VxTest::CaptureStderr;
using VxTest::PrivateSystemBus;
using VxTest::WaitUntil;

constexpr char kPeerName[] = "vx.test.Peer";

std::string ThreadName()
{
    char name[16] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    return name;
}

// A gate a callback waits at until the test opens it.
class Gate
{
public:
    void Open()
    {
        const std::lock_guard<std::mutex> lock(mMutex);
        mOpen = true;
        mChanged.notify_all();
    }
    void Wait()
    {
        std::unique_lock<std::mutex> lock(mMutex);
        mChanged.wait(lock, [this] { return mOpen; });
    }

private:
    std::mutex mMutex;
    std::condition_variable mChanged;
    bool mOpen = false;
};

// Records the signals it gets: member, the int32 argument (-1 for none) and
// the thread they came on.
class RecordingListener : public DBusSignalListener
{
public:
    struct Seen
    {
        std::string member;
        std::string path;
        std::int32_t argument;
        std::string thread;
    };

    void Signal(DBusMessagePtr& message) override
    {
        dbus_int32_t argument = -1;
        DBusMessageIter reader;
        if (dbus_message_iter_init(message.Get(), &reader) &&
            dbus_message_iter_get_arg_type(&reader) == DBUS_TYPE_INT32)
            dbus_message_iter_get_basic(&reader, &argument);
        {
            const std::lock_guard<std::mutex> lock(mMutex);
            mSeen.push_back(Seen{dbus_message_get_member(message.Get()), dbus_message_get_path(message.Get()), argument,
                                 ThreadName()});
        }
        if (mGate != nullptr && mSeen.size() == 1)
        {
            mEntered = true;
            mGate->Wait();
        }
        mReturned = true;
    }

    std::vector<Seen> GetSeen()
    {
        const std::lock_guard<std::mutex> lock(mMutex);
        return mSeen;
    }
    // The arguments of the signals with that member, in arrival order.
    std::vector<std::int32_t> Arguments(const std::string& member)
    {
        std::vector<std::int32_t> arguments;
        for (const Seen& seen : GetSeen())
        {
            if (seen.member == member)
                arguments.push_back(seen.argument);
        }
        return arguments;
    }

    // When set, the first delivery waits at the gate.
    Gate* mGate = nullptr;
    std::atomic<bool> mEntered{false};
    std::atomic<bool> mReturned{false};

private:
    std::mutex mMutex;
    std::vector<Seen> mSeen;
};

// Ends the client, and with it every delivery and filter call, before the
// listeners and what the filters use that were declared before it go.
struct ClientEnd
{
    Vx::RCPtr<LDBusClient>& client;
    ~ClientEnd() { client = nullptr; }
};

// A fresh bus for every test, a peer that answers calls, and a client.
class DBusClientTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string why;
        if (!PrivateSystemBus::Start(why))
            GTEST_SKIP() << why;
        mPeer = std::make_unique<BusPeer>(kPeerName);
        ASSERT_TRUE(mPeer->IsConnected());
        mPeer->SetCallHandler([this](BusPeer& peer, DBusMessage* call) { Answer(peer, call); });
        mClient = Vx::MakeRCPtr<LDBusClient>();
    }

    void TearDown() override
    {
        mClient = nullptr;
        mPeer.reset();
        PrivateSystemBus::Stop();
    }

    // Echo: the text back; Fail: an error; Ignore: never answered; Vanish:
    // the peer leaves the bus.
    void Answer(BusPeer& peer, DBusMessage* call)
    {
        const std::string member = dbus_message_get_member(call);
        {
            const std::lock_guard<std::mutex> lock(mMutex);
            mCalls.push_back(member);
            mNoReply.push_back(dbus_message_get_no_reply(call) != FALSE);
        }
        if (member == "Echo")
        {
            const char* text = "";
            dbus_message_get_args(call, nullptr, DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID);
            peer.Reply(call, {text});
        }
        else if (member == "Fail")
            peer.ReplyError(call, "vx.test.Error.Refused", "refused politely");
        else if (member == "Vanish")
            peer.Close();
    }

    std::vector<std::string> Calls()
    {
        const std::lock_guard<std::mutex> lock(mMutex);
        return mCalls;
    }

    static DBusMessagePtr NewCall(const char* method, const char* text = nullptr)
    {
        DBusMessagePtr call;
        EXPECT_TRUE(NewMethodCall(call, kPeerName, "/vx/test", "vx.test.Peer", method));
        if (text != nullptr)
            dbus_message_append_args(call.Get(), DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID);
        return call;
    }

    // The reply's text, or "error <name>: <message>".
    static std::string Outcome(LDBusClient& client, DBusMessagePtr& call, std::int32_t timeout = 20000)
    {
        DBusError error;
        dbus_error_init(&error);
        const DBusMessagePtr reply = client.Call(call, &error, timeout);
        std::string outcome;
        if (dbus_error_is_set(&error))
            outcome = std::string("error ") + error.name + ": " + error.message;
        else if (!reply)
            outcome = "null without an error";
        else
        {
            const char* text = "";
            dbus_message_get_args(reply.Get(), nullptr, DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID);
            outcome = text;
        }
        dbus_error_free(&error);
        return outcome;
    }

    // Every request the client sent before this has reached the bus.
    void Sync()
    {
        DBusMessagePtr call = NewCall("Echo", "sync");
        ASSERT_EQ(Outcome(*mClient, call), "sync");
    }

    std::unique_ptr<BusPeer> mPeer;
    Vx::RCPtr<LDBusClient> mClient;
    std::mutex mMutex;
    std::vector<std::string> mCalls;
    std::vector<bool> mNoReply;
};

//==============================================================================
TEST_F(DBusClientTest, CallsFromWorkerThreadsGetTheirOwnReplies)
{
    constexpr int kThreads = 8;
    constexpr int kCalls = 25;
    std::vector<std::thread> threads;
    std::atomic<int> right{0};
    std::atomic<int> handlesLeft{0};
    for (int t = 0; t < kThreads; ++t)
    {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kCalls; ++i)
            {
                const std::string text = std::to_string(t) + "/" + std::to_string(i);
                DBusMessagePtr call = NewCall("Echo", text.c_str());
                if (Outcome(*mClient, call) == text)
                    ++right;
                // A queued call takes the message out of the caller's handle.
                if (call)
                    ++handlesLeft;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(right, kThreads * kCalls);
    EXPECT_EQ(handlesLeft, 0);
}

TEST_F(DBusClientTest, FailuresCarryTheirErrors)
{
    DBusMessagePtr refused = NewCall("Fail");
    EXPECT_EQ(Outcome(*mClient, refused), "error vx.test.Error.Refused: refused politely");

    // Nobody answers: libdbus times the call out.
    DBusMessagePtr ignored = NewCall("Ignore");
    EXPECT_EQ(Outcome(*mClient, ignored, 300).rfind("error org.freedesktop.DBus.Error.NoReply: ", 0), 0u);

    DBusMessagePtr none;
    EXPECT_EQ(Outcome(*mClient, none), "error out of memory: no memory");

    DBusMessagePtr unknown;
    ASSERT_TRUE(NewMethodCall(unknown, "vx.test.Nobody", "/", "vx.test.Peer", "Echo"));
    EXPECT_EQ(Outcome(*mClient, unknown).rfind("error org.freedesktop.DBus.Error.ServiceUnknown: ", 0), 0u);

    EXPECT_EQ(Calls(), (std::vector<std::string>{"Fail", "Ignore"}));
}

TEST_F(DBusClientTest, CallMethodPrintsItsFailuresAndSendsNothingItCannotWrite)
{
    CaptureStderr capture;
    DBusMessagePtr unwritable = NewCall("Echo");
    CallMethod(unwritable, *mClient, Vx::Variant(1.5f));
    DBusMessagePtr refused = NewCall("Fail");
    CallMethod(refused, *mClient, "argument");
    Sync();
    const std::string err = capture.Finish();
    EXPECT_NE(err.find("DBUS: failed to append args to message\n"), std::string::npos) << err;
    EXPECT_NE(err.find("DBUS: method call failed: refused politely\n"), std::string::npos) << err;
    EXPECT_EQ(Calls(), (std::vector<std::string>{"Fail", "Echo"}));
}

TEST_F(DBusClientTest, SendMarksAMethodCallAsExpectingNoReply)
{
    DBusMessagePtr call = NewCall("Ignore");
    mClient->Send(call);
    ASSERT_TRUE(WaitUntil([&] { return !Calls().empty(); }));
    const std::lock_guard<std::mutex> lock(mMutex);
    EXPECT_EQ(mCalls, std::vector<std::string>{"Ignore"});
    EXPECT_EQ(mNoReply, std::vector<bool>{true});
}

// A filter runs on the dispatch thread; a call made there is sent and
// awaited on that thread without waiting for itself.
TEST_F(DBusClientTest, AFilterCallbackCanCallOnTheDispatchThread)
{
    std::mutex mutex;
    std::string seen;
    const ClientEnd end{mClient};
    const bool added = mClient->AddFilter("type='signal',interface='vx.test.Trigger'", [&](DBusMessagePtr& message) {
        if (dbus_message_is_signal(message.Get(), "vx.test.Trigger", "Go"))
        {
            DBusMessagePtr call = NewCall("Echo", "from the filter");
            const std::string outcome = Outcome(*mClient, call);
            const std::lock_guard<std::mutex> lock(mutex);
            seen = ThreadName() + ": " + outcome + (call ? " (handle kept)" : "");
        }
        return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
    });
    ASSERT_TRUE(added);
    Sync();
    mPeer->EmitSignal("/vx/test", "vx.test.Trigger", "Go");
    ASSERT_TRUE(WaitUntil([&] {
        const std::lock_guard<std::mutex> lock(mutex);
        return !seen.empty();
    }));
    EXPECT_EQ(seen, "DBusClient: from the filter (handle kept)");
}

TEST_F(DBusClientTest, FiltersAreKeptOnePerRuleAndRemovedOnce)
{
    const std::string rule = "type='signal',interface='vx.test.Counted'";
    std::atomic<int> first{0};
    std::atomic<int> second{0};
    const ClientEnd end{mClient};
    ASSERT_TRUE(mClient->AddFilter(rule, [&](DBusMessagePtr& message) {
        if (dbus_message_is_signal(message.Get(), "vx.test.Counted", "Tick"))
            ++first;
        return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
    }));
    EXPECT_FALSE(mClient->AddFilter(rule, [&](DBusMessagePtr&) {
        ++second;
        return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
    }));
    EXPECT_FALSE(mClient->AddFilter("type='signal',member='\xFF'",
                                    [](DBusMessagePtr&) { return DBUS_HANDLER_RESULT_NOT_YET_HANDLED; }));
    mClient->RemoveFilter("type='signal',interface='vx.test.Unknown'");
    Sync();
    mPeer->EmitSignal("/vx/test", "vx.test.Counted", "Tick");
    ASSERT_TRUE(WaitUntil([&] { return first == 1; }));

    mClient->RemoveFilter(rule);
    mClient->RemoveFilter(rule);
    mPeer->EmitSignal("/vx/test", "vx.test.Counted", "Tick");
    Sync();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
}

// So that its owner may go right afterwards.
TEST_F(DBusClientTest, RemovingAFilterWaitsForItsRunningCallback)
{
    const std::string rule = "type='signal',interface='vx.test.Slow'";
    Gate gate;
    std::atomic<bool> entered{false};
    std::atomic<bool> returned{false};
    const ClientEnd end{mClient};
    ASSERT_TRUE(mClient->AddFilter(rule, [&](DBusMessagePtr& message) {
        if (dbus_message_is_signal(message.Get(), "vx.test.Slow", "Go"))
        {
            entered = true;
            gate.Wait();
            returned = true;
        }
        return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
    }));
    Sync();
    mPeer->EmitSignal("/vx/test", "vx.test.Slow", "Go");
    ASSERT_TRUE(WaitUntil([&] { return entered.load(); }));

    std::atomic<bool> removed{false};
    bool returnedFirst = false;
    std::thread remover([&] {
        mClient->RemoveFilter(rule);
        returnedFirst = returned.load();
        removed = true;
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(removed.load());
    gate.Open();
    remover.join();
    EXPECT_TRUE(returnedFirst);
}

//==============================================================================
TEST_F(DBusClientTest, SubscriptionsMatchByPathInterfaceAndMemberWithEmptyForAny)
{
    struct Case
    {
        const char* path;
        const char* interface;
        const char* member;
        const char* signalPath;
        const char* signalInterface;
        const char* signalMember;
        bool matches;
    };
    const Case cases[] = {
        {"/vx/a", "vx.test.One", "Ping", "/vx/a", "vx.test.One", "Ping", true},
        {"/vx/a", "vx.test.One", "Ping", "/vx/b", "vx.test.One", "Ping", false},
        {"/vx/a", "vx.test.One", "Ping", "/vx/a", "vx.test.Two", "Ping", false},
        {"/vx/a", "vx.test.One", "Ping", "/vx/a", "vx.test.One", "Pong", false},
        {"/vx/a", "", "Ping", "/vx/a", "vx.test.Two", "Ping", true},
        {"/vx/a", nullptr, nullptr, "/vx/a", "vx.test.Two", "Pong", true},
        {"", "vx.test.One", "", "/vx/z", "vx.test.One", "Any", true},
        {"/vx", "", "", "/vx/a", "vx.test.One", "Ping", false},
    };
    // Added last, so that it gets every signal the case's subscription does not.
    RecordingListener others;
    std::vector<std::unique_ptr<RecordingListener>> listeners;
    const ClientEnd end{mClient};
    int number = 0;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.path) + " " + (c.interface ? c.interface : "(null)") + " " +
                     (c.member ? c.member : "(null)") + " <- " + c.signalPath + " " + c.signalInterface + " " +
                     c.signalMember);
        RecordingListener& listener = *listeners.emplace_back(std::make_unique<RecordingListener>());
        ASSERT_TRUE(mClient->AddSignalListener(c.path, c.interface, c.member, &listener));
        ASSERT_TRUE(mClient->AddSignalListener(nullptr, nullptr, nullptr, &others));
        Sync();
        ++number;
        mPeer->EmitSignal(c.signalPath, c.signalInterface, c.signalMember, number);
        ASSERT_TRUE(WaitUntil([&] {
            for (RecordingListener* each : {&listener, &others})
            {
                for (const auto& seen : each->GetSeen())
                {
                    if (seen.argument == number)
                        return true;
                }
            }
            return false;
        }));
        EXPECT_EQ(listener.Arguments(c.signalMember),
                  (c.matches ? std::vector<std::int32_t>{number} : std::vector<std::int32_t>{}));
        mClient->RemoveSignalListener(c.path, c.interface, c.member, &listener);
        mClient->RemoveSignalListener(nullptr, nullptr, nullptr, &others);
        for (const auto& seen : listener.GetSeen())
            EXPECT_EQ(seen.thread, "DBusNotify");
    }
}

TEST_F(DBusClientTest, ASignalReachesOnlyTheFirstMatchingSubscription)
{
    RecordingListener first;
    RecordingListener second;
    const ClientEnd end{mClient};
    ASSERT_TRUE(mClient->AddSignalListener("/vx/a", "vx.test.One", "Ping", &first));
    ASSERT_TRUE(mClient->AddSignalListener("/vx/a", "", "", &second));
    Sync();
    mPeer->EmitSignal("/vx/a", "vx.test.One", "Ping", 1);
    mPeer->EmitSignal("/vx/a", "vx.test.One", "Pong", 2);
    ASSERT_TRUE(WaitUntil([&] { return second.Arguments("Pong").size() == 1; }));
    EXPECT_EQ(first.Arguments("Ping"), std::vector<std::int32_t>{1});
    EXPECT_TRUE(second.Arguments("Ping").empty());

    mClient->RemoveSignalListener("/vx/a", "vx.test.One", "Ping", &first);
    mPeer->EmitSignal("/vx/a", "vx.test.One", "Ping", 3);
    ASSERT_TRUE(WaitUntil([&] { return second.Arguments("Ping").size() == 1; }));
    EXPECT_EQ(second.Arguments("Ping"), std::vector<std::int32_t>{3});
}

// Signals that queue up while a listener is busy all arrive, in order.
TEST_F(DBusClientTest, SignalsArriveInOrderAlsoWhenTheyQueueUp)
{
    RecordingListener listener;
    Gate gate;
    listener.mGate = &gate;
    const ClientEnd end{mClient};
    ASSERT_TRUE(mClient->AddSignalListener("/vx/a", "vx.test.One", "Seq", &listener));
    Sync();
    mPeer->EmitSignal("/vx/a", "vx.test.One", "Seq", 0);
    ASSERT_TRUE(WaitUntil([&] { return listener.mEntered.load(); }));
    std::vector<std::int32_t> expected{0};
    for (std::int32_t i = 1; i < 200; ++i)
    {
        mPeer->EmitSignal("/vx/a", "vx.test.One", "Seq", i);
        expected.push_back(i);
    }
    Sync();
    gate.Open();
    ASSERT_TRUE(WaitUntil([&] { return listener.Arguments("Seq").size() == expected.size(); }));
    EXPECT_EQ(listener.Arguments("Seq"), expected);
}

// The match rules the client hands the bus, watched by a monitor: a removal
// of a subscription that was never made sends nothing.
TEST_F(DBusClientTest, MatchRulesReachTheBusAndAnUnknownRemovalSendsNothing)
{
    BusPeer monitor;
    ASSERT_TRUE(monitor.IsConnected());
    ASSERT_TRUE(monitor.BecomeMonitor({"type='method_call',interface='org.freedesktop.DBus',member='AddMatch'",
                                       "type='method_call',interface='org.freedesktop.DBus',member='RemoveMatch'"}));
    const auto requests = [&] {
        std::vector<std::string> seen;
        for (const VxTest::MessageRef& message : monitor.GetRecorded())
        {
            // The monitor's own name changes come too.
            if (dbus_message_get_type(message.Get()) != DBUS_MESSAGE_TYPE_METHOD_CALL)
                continue;
            const char* rule = "";
            dbus_message_get_args(message.Get(), nullptr, DBUS_TYPE_STRING, &rule, DBUS_TYPE_INVALID);
            seen.push_back(std::string(dbus_message_get_member(message.Get())) + " " + rule);
        }
        return seen;
    };

    RecordingListener listener;
    RecordingListener stranger;
    const ClientEnd end{mClient};
    ASSERT_TRUE(mClient->AddSignalListener("/org/bluez/hci0", "org.freedesktop.DBus.Properties", "PropertiesChanged",
                                           &listener));
    ASSERT_TRUE(mClient->AddSignalListener(nullptr, "vx.test.One", nullptr, &listener));
    // Not valid D-Bus names: refused before anything reaches the bus.
    CaptureStderr capture;
    EXPECT_FALSE(mClient->AddSignalListener("/vx/a',sender='x", nullptr, nullptr, &listener));
    EXPECT_FALSE(mClient->AddSignalListener("/vx/a", "no-dots", nullptr, &listener));
    EXPECT_FALSE(mClient->AddSignalListener("/vx/a", nullptr, "Bad.Member", &listener));
    EXPECT_FALSE(mClient->AddSignalListener("/vx/a", nullptr, nullptr, nullptr));
    capture.Finish();

    mClient->RemoveSignalListener("/org/bluez/hci0", "org.freedesktop.DBus.Properties", "PropertiesChanged", &stranger);
    mClient->RemoveSignalListener("/org/bluez/hci1", "org.freedesktop.DBus.Properties", "PropertiesChanged", &listener);
    // The subscription is still whole.
    Sync();
    mPeer->EmitSignal("/vx/b", "vx.test.One", "Ping", 7);
    ASSERT_TRUE(WaitUntil([&] { return listener.Arguments("Ping").size() == 1; }));

    mClient->RemoveSignalListener(nullptr, "vx.test.One", nullptr, &listener);
    const std::vector<std::string> expected = {
        "AddMatch type='signal',path='/org/bluez/hci0',interface='org.freedesktop.DBus.Properties',"
        "member='PropertiesChanged'",
        "AddMatch type='signal',interface='vx.test.One'",
        "RemoveMatch type='signal',interface='vx.test.One'",
    };
    ASSERT_TRUE(WaitUntil([&] { return requests().size() >= expected.size(); }));
    Sync();
    EXPECT_EQ(requests(), expected);
}

// So that the listener may be destroyed right afterwards.
TEST_F(DBusClientTest, RemovingASubscriptionWaitsForADeliveryUnderWay)
{
    RecordingListener listener;
    Gate gate;
    listener.mGate = &gate;
    const ClientEnd end{mClient};
    ASSERT_TRUE(mClient->AddSignalListener("/vx/a", nullptr, nullptr, &listener));
    Sync();
    mPeer->EmitSignal("/vx/a", "vx.test.One", "Ping", 1);
    ASSERT_TRUE(WaitUntil([&] { return listener.mEntered.load(); }));

    std::atomic<bool> removed{false};
    bool returnedFirst = false;
    std::thread remover([&] {
        mClient->RemoveSignalListener("/vx/a", nullptr, nullptr, &listener);
        returnedFirst = listener.mReturned.load();
        removed = true;
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(removed.load());
    gate.Open();
    remover.join();
    EXPECT_TRUE(returnedFirst);
}

//==============================================================================
TEST_F(DBusClientTest, APeerVanishingMidCallCompletesTheCallerWithAnError)
{
    DBusMessagePtr call = NewCall("Vanish");
    EXPECT_EQ(Outcome(*mClient, call).rfind("error org.freedesktop.DBus.Error.NoReply: ", 0), 0u);
    // The client carries on.
    auto other = std::make_unique<BusPeer>(kPeerName);
    ASSERT_TRUE(other->IsConnected());
    other->SetCallHandler([this](BusPeer& peer, DBusMessage* message) { Answer(peer, message); });
    DBusMessagePtr echo = NewCall("Echo", "still here");
    EXPECT_EQ(Outcome(*mClient, echo), "still here");
}

TEST_F(DBusClientTest, TheBusGoingAwayFailsCallsButNotTheProcess)
{
    std::string outcome;
    std::thread caller([&] {
        DBusMessagePtr call = NewCall("Ignore");
        outcome = Outcome(*mClient, call, kDBusCallTimeout);
    });
    ASSERT_TRUE(WaitUntil([&] { return Calls().size() == 1; }));
    PrivateSystemBus::Stop();
    caller.join();
    EXPECT_EQ(outcome.rfind("error ", 0), 0u) << outcome;

    DBusMessagePtr later = NewCall("Echo", "anyone?");
    EXPECT_EQ(Outcome(*mClient, later), "error fail: fail");
    mClient = nullptr;
}

TEST_F(DBusClientTest, CallsStillWaitingAtDestructionAreCompleted)
{
    LDBusClient* const client = mClient.Get();
    std::string outcome;
    std::thread caller([&] {
        DBusMessagePtr call = NewCall("Ignore");
        outcome = Outcome(*client, call, kDBusCallTimeout);
    });
    ASSERT_TRUE(WaitUntil([&] { return Calls().size() == 1; }));
    mClient = nullptr;
    caller.join();
    EXPECT_EQ(outcome, "error fail: fail");
}

// Lock-free, so that the handler may count.
std::atomic<int> gInterruptions{0};
static_assert(std::atomic<int>::is_always_lock_free);

// Every thread of the process with that name.
std::vector<pid_t> ThreadsNamed(const std::string& name)
{
    std::vector<pid_t> found;
    DIR* const tasks = opendir("/proc/self/task");
    if (tasks == nullptr)
        return found;
    while (const dirent* entry = readdir(tasks))
    {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
        std::string line;
        std::getline(comm, line);
        if (line == name)
            found.push_back(static_cast<pid_t>(std::stoi(entry->d_name)));
    }
    closedir(tasks);
    return found;
}

TEST_F(DBusClientTest, AnInterruptedPollDoesNotStopTheDispatchThread)
{
    struct sigaction action
    {
    };
    struct sigaction previous
    {
    };
    action.sa_handler = [](int) { ++gInterruptions; };
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: poll returns EINTR
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
    gInterruptions = 0;

    const std::vector<pid_t> dispatchThreads = ThreadsNamed("DBusClient");
    ASSERT_FALSE(dispatchThreads.empty());
    CaptureStderr capture;
    // A signal still pending when the next one comes merges with it: each
    // round waits for its own to be handled.
    int expected = 0;
    for (int i = 0; i < 5; ++i)
    {
        for (const pid_t thread : dispatchThreads)
            syscall(SYS_tgkill, getpid(), thread, SIGUSR1);
        expected += static_cast<int>(dispatchThreads.size());
        ASSERT_TRUE(WaitUntil([expected] { return gInterruptions >= expected; })) << "round " << i;
    }
    DBusMessagePtr call = NewCall("Echo", "after the signals");
    EXPECT_EQ(Outcome(*mClient, call), "after the signals");
    EXPECT_EQ(capture.Finish().find("DBUS: Run: exiting"), std::string::npos);
    sigaction(SIGUSR1, &previous, nullptr);
}

//==============================================================================
// Life cycles, each in a child process of its own, so that their threads
// and the process-wide client stay out of the other tests.
class DBusClientLifeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string why;
        if (!PrivateSystemBus::Start(why))
            GTEST_SKIP() << why;
    }
    void TearDown() override { PrivateSystemBus::Stop(); }

    static void Quiet()
    {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        close(null);
    }
};

class NullListener : public DBusSignalListener
{
public:
    void Signal(DBusMessagePtr&) override {}
};

TEST_F(DBusClientLifeTest, TwoHundredClientsComeAndGoPromptly)
{
    const VxTest::ChildResult result = VxTest::RunInChild(
        [] {
            Quiet();
            NullListener listener;
            for (int i = 0; i < 200; ++i)
            {
                const Vx::RCPtr<LDBusClient> client = Vx::MakeRCPtr<LDBusClient>();
                if (!client->AddSignalListener("/vx/a", nullptr, nullptr, &listener) ||
                    !client->AddFilter("type='signal',path='/vx/a'",
                                       [](DBusMessagePtr&) { return DBUS_HANDLER_RESULT_NOT_YET_HANDLED; }))
                    return 1;
                if (i % 50 == 0)
                {
                    DBusMessagePtr call;
                    NewMethodCall(call, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                  "GetId");
                    if (!client->Call(call, nullptr, 20000))
                        return 2;
                }
            }
            return 0;
        },
        120s);
    EXPECT_FALSE(result.timedOut);
    EXPECT_TRUE(WIFEXITED(result.status) && WEXITSTATUS(result.status) == 0) << result.status;
}

TEST_F(DBusClientLifeTest, TheProcessHasOneClient)
{
    const VxTest::ChildResult result = VxTest::RunInChild(
        [] {
            Quiet();
            const Vx::RCPtr<LDBusClient> one = LDBusClient::GetInstance();
            const Vx::RCPtr<LDBusClient> two = LDBusClient::GetInstance();
            if (one.IsNull() || one.Get() != two.Get())
                return 1;
            DBusMessagePtr call;
            NewMethodCall(call, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetId");
            return one->Call(call, nullptr, 20000) ? 0 : 2;
        },
        60s);
    EXPECT_FALSE(result.timedOut);
    EXPECT_TRUE(WIFEXITED(result.status) && WEXITSTATUS(result.status) == 0) << result.status;
}

TEST_F(DBusClientLifeTest, NoBusMeansAnExceptionWithLibdbusMessage)
{
    PrivateSystemBus::Stop();
    try
    {
        const Vx::RCPtr<LDBusClient> client = Vx::MakeRCPtr<LDBusClient>();
        ADD_FAILURE() << "made a client without a bus";
    }
    catch (const std::runtime_error& error)
    {
        EXPECT_NE(std::string(error.what()).find("system_bus_socket"), std::string::npos) << error.what();
    }
}
} // namespace
