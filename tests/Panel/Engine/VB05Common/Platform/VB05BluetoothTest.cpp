#include "Panel/Engine/VB05Common/Platform/VB05Bluetooth.h"

#include "tests/support/CaptureStderr.h"
#include "tests/support/DBusTestBus.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace
{
using namespace Vx::VB05;
using namespace std::chrono_literals;
using VxTest::CaptureStderr;
using VxTest::MockBluez;
using VxTest::PrivateSystemBus;
using VxTest::WaitUntil;
using String = Vx::StringT<char, unsigned short>;

constexpr char kDevice1[] = "org.bluez.Device1";
constexpr char kAdapter1[] = "org.bluez.Adapter1";
constexpr char kSpeaker[] = "AA:BB:CC:DD:EE:01";
constexpr char kStranger[] = "AA:BB:CC:DD:EE:02";

std::string ThreadName()
{
    char name[16] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    return name;
}

std::string Text(const String& text)
{
    return text.GetCString();
}

// Records what the model tells it, with the thread, and whether a removed
// device was still listed at that moment.
class RecordingListener : public LIBluetoothListener
{
public:
    explicit RecordingListener(LIBluetooth* model) : mModel(model) {}

    void OnAdapterChanged() override { Add("adapter changed"); }
    void OnDeviceChanged(Vx::RCPtr<LIBluetoothDevice> device) override { Add("changed " + Text(device->GetAddress())); }
    void OnDeviceAdded(Vx::RCPtr<LIBluetoothDevice> device) override { Add("added " + Text(device->GetAddress())); }
    void OnDeviceRemoved(Vx::RCPtr<LIBluetoothDevice> device) override
    {
        bool listed = false;
        for (const auto& each : mModel->GetDevices())
            listed = listed || each.Get() == device.Get();
        Add("removed " + Text(device->GetAddress()) + (listed ? " while listed" : " after leaving"));
    }

    std::vector<std::string> Events()
    {
        const std::lock_guard<std::mutex> lock(mMutex);
        return mEvents;
    }
    bool Has(const std::string& event)
    {
        for (const std::string& each : Events())
        {
            if (each == event)
                return true;
        }
        return false;
    }

private:
    void Add(const std::string& what)
    {
        const std::lock_guard<std::mutex> lock(mMutex);
        mEvents.push_back(what + " on " + ThreadName());
    }

    LIBluetooth* mModel;
    std::mutex mMutex;
    std::vector<std::string> mEvents;
};

int CountMatches(const std::string& text, const std::string& pattern)
{
    const std::regex expression(pattern);
    return static_cast<int>(
        std::distance(std::sregex_iterator(text.begin(), text.end(), expression), std::sregex_iterator()));
}

// A fresh bus with the mock BlueZ for every test, and a client.
class BluetoothModelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string why;
        if (!PrivateSystemBus::Start(why))
            GTEST_SKIP() << why;
        if (StartsBluez() && !mBluez.Start(why))
            GTEST_SKIP() << why;
        mClient = Vx::MakeRCPtr<LDBusClient>();
    }

    void TearDown() override
    {
        if (!mListener.IsNull() && !mModel.IsNull())
            mModel->SetListener(nullptr);
        mListener = nullptr;
        mModel = nullptr;
        mClient = nullptr;
        mBluez.Stop();
        PrivateSystemBus::Stop();
    }

    virtual bool StartsBluez() const { return true; }

    // hci0 with a named device and one without a name.
    void AddAdapterAndDevices()
    {
        mAdapterPath = mBluez.AddAdapter("hci0", "vx");
        mSpeakerPath = mBluez.AddDevice("hci0", kSpeaker, "Speaker");
        mStrangerPath = mBluez.AddDevice("hci0", kStranger, "");
    }

    void MakeModel()
    {
        mModel = Vx::MakeRCPtr<LBluetooth>(mClient);
        mListener = Vx::MakeRCPtr<RecordingListener>(mModel.Get());
        mModel->SetListener(Vx::RCPtr<LIBluetoothListener>(mListener));
    }

    Vx::RCPtr<LIBluetoothDevice> Device(const char* address) { return mModel->GetDevice(String(address)); }

    MockBluez mBluez;
    Vx::RCPtr<LDBusClient> mClient;
    Vx::RCPtr<LIBluetooth> mModel;
    Vx::RCPtr<RecordingListener> mListener;
    std::string mAdapterPath;
    std::string mSpeakerPath;
    std::string mStrangerPath;
};

//==============================================================================
TEST_F(BluetoothModelTest, AdapterAndDevicesComeFromTheManagedObjects)
{
    AddAdapterAndDevices();
    CaptureStderr capture;
    MakeModel();
    const std::string err = capture.Finish();

    EXPECT_TRUE(mModel->HasAdapter());
    EXPECT_TRUE(mModel->IsPowered());
    EXPECT_FALSE(mModel->IsDiscovering());
    ASSERT_EQ(mModel->GetDevices().size(), 2u);
    const Vx::RCPtr<LIBluetoothDevice> speaker = Device(kSpeaker);
    ASSERT_FALSE(speaker.IsNull());
    EXPECT_EQ(Text(speaker->GetName()), "Speaker");
    EXPECT_EQ(Text(speaker->GetAlias()), "Speaker");
    EXPECT_EQ(speaker->GetClass(), 0u);
    EXPECT_EQ(Text(speaker->GetIcon()), "");
    EXPECT_FALSE(speaker->IsConnected());
    EXPECT_FALSE(speaker->IsPaired());
    EXPECT_EQ(speaker->GetRSSI(), -79);
    EXPECT_EQ(Text(Device(kStranger)->GetName()), "");
    // Addresses compare byte for byte.
    EXPECT_TRUE(Device("aa:bb:cc:dd:ee:01").IsNull());
    EXPECT_TRUE(Device("").IsNull());

    for (const std::string& path : {mAdapterPath, mSpeakerPath, mStrangerPath})
        EXPECT_EQ(CountMatches(err, "BluetoothObject:[0-9]+ found object " + path + "\n"), 1) << err;
    // The listing's own object with other interfaces is no adapter nor device.
    EXPECT_EQ(CountMatches(err, "found object /org/bluez\n"), 0) << err;
}

TEST_F(BluetoothModelTest, PoweringGoesThroughBluezAndTheCacheFollowsItsSignal)
{
    AddAdapterAndDevices();
    MakeModel();
    CaptureStderr capture;
    mModel->SetPowered(false);
    EXPECT_TRUE(WaitUntil([&] { return !mModel->IsPowered(); }));
    EXPECT_TRUE(WaitUntil([&] { return mListener->Has("adapter changed on DBusNotify"); }));
    EXPECT_TRUE(mModel->SetPowered(true) || WaitUntil([&] { return mModel->IsPowered(); }));
    const std::string err = capture.Finish();
    EXPECT_EQ(CountMatches(err, "AppendArgs:[0-9]+ variantType=1\n"), 2) << err;
    EXPECT_EQ(CountMatches(err, "AppendArgs:[0-9]+ Opened variant container DBUS_TYPE_BOOLEAN_AS_STRING\n"), 2);
    EXPECT_EQ(CountMatches(err, "AppendArgs:[0-9]+ Closed variant container: 1\n"), 2);
    const std::string log = mBluez.GetLog();
    EXPECT_NE(log.find("Set /org/bluez/hci0 org.bluez.Adapter1.Powered False"), std::string::npos) << log;
}

TEST_F(BluetoothModelTest, DiscoverySetsTheAdapterUpAndStartsAndStopsInOrder)
{
    AddAdapterAndDevices();
    MakeModel();
    mModel->StartDiscovery();
    EXPECT_TRUE(WaitUntil([&] { return mModel->IsDiscovering(); }));
    mModel->StopDiscovery();
    EXPECT_TRUE(WaitUntil([&] { return !mModel->IsDiscovering(); }));

    const std::string log = mBluez.GetLog();
    std::size_t at = 0;
    for (const char* step : {"Set /org/bluez/hci0 org.bluez.Adapter1.Discoverable True",
                             "Set /org/bluez/hci0 org.bluez.Adapter1.Pairable True", "StartDiscovery",
                             "Set /org/bluez/hci0 org.bluez.Adapter1.Discoverable False",
                             "Set /org/bluez/hci0 org.bluez.Adapter1.Pairable False", "StopDiscovery"})
    {
        at = log.find(step, at);
        ASSERT_NE(at, std::string::npos) << step << " in order in\n" << log;
    }
}

TEST_F(BluetoothModelTest, PropertyChangesAreStoredAndInvalidatedOnesForgotten)
{
    AddAdapterAndDevices();
    MakeModel();
    const Vx::RCPtr<LIBluetoothDevice> speaker = Device(kSpeaker);
    ASSERT_FALSE(speaker.IsNull());

    mBluez.SetProperty(mSpeakerPath, kDevice1, "Name", std::string("Kitchen"));
    EXPECT_TRUE(WaitUntil([&] { return Text(speaker->GetName()) == "Kitchen"; }));
    mBluez.SetProperty(mSpeakerPath, kDevice1, "Connected", true);
    EXPECT_TRUE(WaitUntil([&] { return speaker->IsConnected(); }));

    mBluez.DropProperties(mSpeakerPath, kDevice1, {"RSSI", "Alias"});
    EXPECT_TRUE(WaitUntil([&] { return speaker->GetRSSI() == 0 && speaker->GetAlias().IsEmpty(); }));
    // A property the object does not hold is added.
    mBluez.SetProperty(mSpeakerPath, kDevice1, "RSSI", std::int16_t{-40});
    EXPECT_TRUE(WaitUntil([&] { return speaker->GetRSSI() == -40; }));
    mBluez.SetProperty(mSpeakerPath, kDevice1, "Class", std::uint32_t{0x240404});
    EXPECT_TRUE(WaitUntil([&] { return speaker->GetClass() == 0x240404u; }));
    // Of another integer type, it reads as the default.
    mBluez.SetProperty(mSpeakerPath, kDevice1, "Class", std::int16_t{5});
    mBluez.SetProperty(mSpeakerPath, kDevice1, "Icon", std::string("audio-card"));
    EXPECT_TRUE(WaitUntil([&] { return Text(speaker->GetIcon()) == "audio-card"; }));
    EXPECT_EQ(speaker->GetClass(), 0u);
    EXPECT_TRUE(mListener->Has(std::string("changed ") + kSpeaker + " on DBusNotify"));
}

TEST_F(BluetoothModelTest, ASignalOfAnotherInterfaceOrMalformedChangesNothing)
{
    AddAdapterAndDevices();
    MakeModel();
    const Vx::RCPtr<LIBluetoothDevice> speaker = Device(kSpeaker);
    CaptureStderr capture;
    mBluez.EmitRaw(mSpeakerPath, "org.freedesktop.DBus.Properties", "PropertiesChanged", "sa{sv}as",
                   "['org.bluez.MediaControl1', {'Name': dbus.String('Other', variant_level=1)}, []]");
    mBluez.EmitRaw(mSpeakerPath, "org.freedesktop.DBus.Properties", "PropertiesChanged", "sa{sv}",
                   "['org.bluez.Device1', {'Name': dbus.String('Short', variant_level=1)}]");
    // The last one is whole, so that the test knows the others have been handled.
    mBluez.SetProperty(mSpeakerPath, kDevice1, "Paired", true);
    EXPECT_TRUE(WaitUntil([&] { return speaker->IsPaired(); }));
    const std::string err = capture.Finish();
    EXPECT_EQ(Text(speaker->GetName()), "Speaker");
    EXPECT_EQ(CountMatches(err, "Signal_UIThread:[0-9]+ Failed to extract signal arguments\n"), 2) << err;
    EXPECT_EQ(CountMatches(err, "Signal:[0-9]+ properties changed on " + mSpeakerPath + "\n"), 3) << err;
    // The listener hears of every one of them.
    int changes = 0;
    for (const std::string& event : mListener->Events())
        changes += event == std::string("changed ") + kSpeaker + " on DBusNotify";
    EXPECT_EQ(changes, 3);
}

// Added devices are told of on the dispatch thread; a removed one while it
// is still listed.
TEST_F(BluetoothModelTest, ObjectsComeAndGoWithTheObjectManager)
{
    mAdapterPath = mBluez.AddAdapter("hci0", "vx");
    MakeModel();
    EXPECT_TRUE(mModel->GetDevices().empty());

    mSpeakerPath = mBluez.AddDevice("hci0", kSpeaker, "Speaker");
    ASSERT_TRUE(WaitUntil([&] { return mListener->Has(std::string("added ") + kSpeaker + " on DBusClient"); }));
    const Vx::RCPtr<LIBluetoothDevice> speaker = Device(kSpeaker);
    ASSERT_FALSE(speaker.IsNull());
    EXPECT_EQ(Text(speaker->GetName()), "Speaker");

    mBluez.RemoveDevice(mAdapterPath, mSpeakerPath);
    ASSERT_TRUE(WaitUntil([&] { return mModel->GetDevices().empty(); }));
    EXPECT_EQ(mListener->Events(),
              (std::vector<std::string>{std::string("added ") + kSpeaker + " on DBusClient",
                                        std::string("removed ") + kSpeaker + " while listed on DBusClient"}));
    // A device held outside outlives its removal with what it knew.
    EXPECT_EQ(Text(speaker->GetName()), "Speaker");

    mBluez.RemoveAdapter("hci0");
    ASSERT_TRUE(WaitUntil([&] { return !mModel->HasAdapter(); }));
    EXPECT_FALSE(mModel->IsPowered());
    EXPECT_FALSE(mModel->SetPowered(true));
    EXPECT_TRUE(mModel->SetPowered(false));
}

TEST_F(BluetoothModelTest, OddObjectManagerSignalsKeepWhatIsKnown)
{
    AddAdapterAndDevices();
    MakeModel();
    const Vx::RCPtr<LIBluetoothDevice> speaker = Device(kSpeaker);
    CaptureStderr capture;
    // Known path: the object stays, the listener still hears of it.
    mBluez.EmitRaw("/", "org.freedesktop.DBus.ObjectManager", "InterfacesAdded", "oa{sa{sv}}",
                   "[dbus.ObjectPath('" + mSpeakerPath + "'), {'org.bluez.Device1': {}}]");
    ASSERT_TRUE(WaitUntil([&] { return mListener->Has(std::string("added ") + kSpeaker + " on DBusClient"); }));
    EXPECT_EQ(Device(kSpeaker).Get(), speaker.Get());
    EXPECT_EQ(Text(speaker->GetName()), "Speaker");

    mBluez.EmitRaw("/", "org.freedesktop.DBus.ObjectManager", "InterfacesRemoved", "oas",
                   "[dbus.ObjectPath('/org/bluez'), ['org.bluez.AgentManager1']]");
    mBluez.EmitRaw("/", "org.freedesktop.DBus.ObjectManager", "InterfacesAdded", "o",
                   "[dbus.ObjectPath('/org/bluez/hci0/dev_X')]");
    mBluez.EmitRaw("/", "org.freedesktop.DBus.ObjectManager", "InterfacesAdded", "os",
                   "[dbus.ObjectPath('/org/bluez/hci0/dev_Y'), 'org.bluez.Device1']");
    // Plain text that is no object path names no BlueZ object.
    mBluez.EmitRaw("/", "org.freedesktop.DBus.ObjectManager", "InterfacesAdded", "sa{sa{sv}}",
                   "['not a path', {'org.bluez.Device1': {}}]");
    mBluez.EmitRaw("/", "org.freedesktop.DBus.ObjectManager", "InterfacesRemoved", "o",
                   "[dbus.ObjectPath('" + mSpeakerPath + "')]");
    // Whole again, so that the test knows the others have been handled.
    mBluez.AddDevice("hci0", "AA:BB:CC:DD:EE:03", "Late");
    ASSERT_TRUE(WaitUntil([&] { return !Device("AA:BB:CC:DD:EE:03").IsNull(); }));
    const std::string err = capture.Finish();

    EXPECT_EQ(mModel->GetDevices().size(), 3u);
    EXPECT_TRUE(mModel->HasAdapter());
    EXPECT_EQ(CountMatches(err, "HandleInterfacesRemoved:[0-9]+ BlueZ AgentManager has gone away!\\?\n"), 1) << err;
    EXPECT_EQ(CountMatches(err, "MessageFilter:[0-9]+ received BlueZ InterfacesAdded\n"), 5) << err;
    EXPECT_EQ(CountMatches(err, "MessageFilter:[0-9]+ received BlueZ InterfacesRemoved\n"), 2) << err;
    EXPECT_NE(err.find("DBUS: ConvertDict: bad type: s\n"), std::string::npos) << err;
    // The second object for the known path was made and dropped again.
    EXPECT_EQ(CountMatches(err, "found object " + mSpeakerPath + "\n"), 1) << err;
    EXPECT_EQ(CountMatches(err, "~BluetoothObject:[0-9]+ removing object " + mSpeakerPath + "\n"), 1) << err;
}

// Readers on their own threads while the notify and dispatch threads change
// the objects: clean under ThreadSanitizer.
TEST_F(BluetoothModelTest, SignalsRacingTheReadersAreClean)
{
    AddAdapterAndDevices();
    MakeModel();
    CaptureStderr quiet;
    std::atomic<bool> stop{false};
    std::atomic<long> reads{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 3; ++i)
    {
        readers.emplace_back([&] {
            while (!stop.load())
            {
                for (const auto& device : mModel->GetDevices())
                {
                    (void)device->GetName();
                    (void)device->GetRSSI();
                    (void)device->IsConnected();
                }
                (void)mModel->IsPowered();
                (void)mModel->HasAdapter();
                (void)mModel->GetDevice(String(kSpeaker));
                ++reads;
            }
        });
    }
    for (int round = 0; round < 20; ++round)
    {
        mBluez.SetProperty(mSpeakerPath, kDevice1, "Name", std::string("Name ") + std::to_string(round));
        mBluez.SetProperty(mAdapterPath, kAdapter1, "Powered", round % 2 == 0);
        mBluez.DropProperties(mStrangerPath, kDevice1, {"RSSI"});
        const std::string address = "AA:BB:CC:DD:EF:" + std::to_string(10 + round);
        const std::string path = mBluez.AddDevice("hci0", address, "Passing");
        mBluez.RemoveDevice(mAdapterPath, path);
    }
    // The passing devices may be gone before their properties are asked for.
    EXPECT_TRUE(
        WaitUntil([&] { return Text(Device(kSpeaker)->GetName()) == "Name 19" && mModel->GetDevices().size() == 2; }));
    stop = true;
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_GT(reads.load(), 0);
}

TEST_F(BluetoothModelTest, TheModelGoesWithItsLastHolderAndItsDevicesStayReadable)
{
    AddAdapterAndDevices();
    MakeModel();
    const Vx::RCPtr<LIBluetoothDevice> speaker = Device(kSpeaker);
    mModel->SetListener(nullptr);
    mListener = nullptr;
    CaptureStderr capture;
    mModel = nullptr;
    const std::string err = capture.Finish();
    for (const std::string& path : {mAdapterPath, mStrangerPath})
        EXPECT_EQ(CountMatches(err, "removing object " + path + "\n"), 1) << err;
    EXPECT_EQ(CountMatches(err, "removing object " + mSpeakerPath + "\n"), 0) << err;
    EXPECT_EQ(Text(speaker->GetName()), "Speaker");
    // BlueZ carries on without the model.
    mBluez.SetProperty(mSpeakerPath, kDevice1, "Name", std::string("Gone"));
    mBluez.AddDevice("hci0", "AA:BB:CC:DD:EE:04", "After");
    DBusMessagePtr call;
    ASSERT_TRUE(NewMethodCall(call, "org.bluez", "/", "org.freedesktop.DBus.ObjectManager", "GetManagedObjects"));
    using ManagedObjects = std::unordered_map<std::string, LBluetooth::InterfaceMap>;
    EXPECT_EQ(CallMethod<ManagedObjects>(call, *mClient).size(), 5u);
    EXPECT_EQ(Text(speaker->GetName()), "Speaker");
}

// The client keeps one object-manager filter: a second model over it lists
// what is there but follows nothing, and its end leaves the first one's.
TEST_F(BluetoothModelTest, ASecondModelOnOneClientLeavesTheFirstFollowing)
{
    AddAdapterAndDevices();
    MakeModel();
    Vx::RCPtr<LIBluetooth> second = Vx::MakeRCPtr<LBluetooth>(mClient);
    EXPECT_EQ(second->GetDevices().size(), 2u);
    second = nullptr;
    mBluez.AddDevice("hci0", "AA:BB:CC:DD:EE:05", "After");
    EXPECT_TRUE(WaitUntil([&] { return !Device("AA:BB:CC:DD:EE:05").IsNull(); }));
}

//==============================================================================
class BluetoothWithoutBluezTest : public BluetoothModelTest
{
protected:
    bool StartsBluez() const override { return false; }
};

TEST_F(BluetoothWithoutBluezTest, TheModelStartsEmptyAndItsOperationsDoNothing)
{
    CaptureStderr capture;
    MakeModel();
    EXPECT_FALSE(mModel->HasAdapter());
    EXPECT_FALSE(mModel->IsPowered());
    EXPECT_FALSE(mModel->IsDiscovering());
    EXPECT_FALSE(mModel->SetPowered(true));
    EXPECT_TRUE(mModel->SetPowered(false));
    EXPECT_FALSE(mModel->StartDiscovery());
    mModel->StopDiscovery();
    EXPECT_TRUE(mModel->GetDevices().empty());
    const std::string err = capture.Finish();
    EXPECT_NE(err.find("DBUS: method call failed: "), std::string::npos) << err;
}
} // namespace
