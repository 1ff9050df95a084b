#include "Panel/Engine/VB05Common/StorageTest.h"

#include "JuceBackend/SystemPath.h"
#include "Panel/Engine/VB05Common/Platform/VB05Multiplexer.h"
#include "Panel/Main/TestIdentifiers.h"
#include "Panel/Main/TestRegistrations.h"
#include "sim/SimulatedDevice.h"

#include "tests/Panel/Engine/TestAppCommon/EngineTestSupport.h"
#include "tests/Panel/Engine/VB05Common/Platform/PlatformTestSupport.h"
#include "tests/support/CaptureStderr.h"
#include "tests/support/SimTools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{
namespace fs = std::filesystem;
using String = Vx::StringT<char, unsigned short>;
using Lines = std::vector<std::string>;
using Calls = std::vector<std::vector<std::string>>;
using namespace Vx::VB05;
using namespace std::chrono_literals;

constexpr char kBackPort2Disk[] = "platform-ff500000.usb-usb-0:1.2:1.0-scsi-0:0:0:0";
constexpr char kRandomLine[] = "Test data prepared, first 16 bytes: <random>";

// The line of the random data's first bytes in a fixed form, once it has the
// form the test data gives it.
Lines Normalized(Lines lines)
{
    static const std::regex random("Test data prepared, first 16 bytes: ([0-9A-F]{2} ){16}");
    for (std::string& line : lines)
    {
        if (std::regex_match(line, random))
            line = kRandomLine;
    }
    return lines;
}

Lines Concat(std::initializer_list<Lines> parts)
{
    Lines all;
    for (const Lines& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// The simulated device and tools behind the storage tests, the application's
// factories as start-up fills them.  A medium's partition is a file of the
// system tree that holds the name of the file system it is formatted with;
// the simulated mount takes a partition with that type onto a directory, as a
// plain directory stands for the mounted medium.
class StorageTestFixture : public VxTest::EngineTestBase
{
protected:
    StorageTestFixture()
    {
        mDevice.install();
        mRoot = mDevice.getRoot().getFullPathName().toStdString();
        const std::string root = "'" + mRoot + "'";
        mTools.SetScript("mount", "[ \"$1\" = -t ] || exit 1\n"
                                  "[ -f " +
                                      root + "\"$3\" ] && [ -d " + root +
                                      "\"$4\" ] || exit 32\n"
                                      "[ \"$(cat " +
                                      root + "\"$3\")\" = \"$2\" ] || exit 32\n");
        mTools.SetScript("vb05-usbmux-switch", "mkdir -p " + root +
                                                   "/sys/devices/platform/usb-mux\n"
                                                   "printf '%s\\n' \"$1\" > " +
                                                   root + "/sys/devices/platform/usb-mux/state\n");
        // A last line without its end is not copied into the log.
        mTools.SetAnswer("ls", "listing\nunfinished");
        SetUSBMux("internal");
    }

    void SetUp() override
    {
        EngineTestBase::SetUp();
        Vx::RegisterTestEngineCreators(*sEngineFactory);
        Vx::RegisterTestCreators(*sTestFactory);
    }

    std::string TreePath(const std::string& systemPath) const { return mRoot + systemPath; }
    void WriteSystemFile(const std::string& systemPath, const std::string& text)
    {
        mDevice.writeSystemFile(systemPath, text.data(), text.size());
    }
    void MakeLink(const std::string& systemPath, const std::string& target)
    {
        fs::create_directories(fs::path(TreePath(systemPath)).parent_path());
        fs::remove(TreePath(systemPath));
        fs::create_symlink(target, TreePath(systemPath));
    }
    void SetUSBMux(const std::string& state) { WriteSystemFile(kUSBMuxStatePath, state + "\n"); }
    std::string USBMux() const
    {
        std::ifstream stream(TreePath(kUSBMuxStatePath));
        std::string state;
        stream >> state;
        return state;
    }

    // A USB disk by its by-path name as /dev/sd<letter>, with partitions of
    // the given file systems ("" unformatted), numbered from 1.
    void AttachUSBDisk(const std::string& diskPath, char letter, const std::vector<std::string>& partitions)
    {
        const std::string disk = std::string("sd") + letter;
        WriteSystemFile("/dev/" + disk, "");
        for (std::size_t i = 0; i < partitions.size(); ++i)
            WriteSystemFile("/dev/" + disk + std::to_string(i + 1), partitions[i]);
        MakeLink(std::string("/dev/disk/by-path/") + diskPath, "../../" + disk);
    }

    // A disk as /sys/block shows it, on a hub port through the USB 3 or USB 2 path.
    void AttachHubDisk(char letter, int port, bool usb3, const std::vector<std::string>& partitions)
    {
        const std::string disk = std::string("sd") + letter;
        const std::string bus = usb3 ? "3-1" : "2-1";
        const std::string device = "devices/platform/usb/usb" + std::string(usb3 ? "3" : "2") + "/" + bus + "/" + bus +
                                   "." + std::to_string(port) + "/" + bus + "." + std::to_string(port) +
                                   ":1.0/host0/block/" + disk;
        fs::create_directories(TreePath("/sys/" + device));
        MakeLink("/sys/block/" + disk, "../" + device);
        WriteSystemFile("/dev/" + disk, "");
        for (std::size_t i = 0; i < partitions.size(); ++i)
            WriteSystemFile("/dev/" + disk + std::to_string(i + 1), partitions[i]);
    }

    struct Outcome
    {
        Lines log;
        std::int32_t result = -100;
    };

    // One run through the engine the application's factories make for the id.
    Outcome RunThroughEngine(const char* testId)
    {
        const Vx::RCPtr<Vx::LTestEngine> engine = sEngineFactory->Create(String(testId));
        EXPECT_FALSE(engine.IsNull());
        if (engine.IsNull())
            return {};
        mRecorder->mReceived.clear();
        VxTest::CaptureStderr capture;
        EXPECT_EQ(engine->Start(), Vx::VXR_OK);
        EXPECT_TRUE(VxTest::PumpUntil([&] { return mRecorder->Count("NID_TEST_COMPLETED") == 1; }, 30s));
        mTrace = capture.Finish();
        Outcome outcome{Normalized(VxTest::Lines(engine->GetLog())), -100};
        for (const VxTest::Received& received : mRecorder->mReceived)
        {
            if (received.id == "NID_TEST_COMPLETED")
                outcome.result = received.result;
        }
        return outcome;
    }

    // The number the next USB storage test object will mount under.
    static std::int32_t NextUSBNumber() { return LStorageTestUSB::Create(String("probe"))->GetInstanceNumber() + 1; }

    Sim::SimulatedDevice mDevice;
    VxTest::ScopedSimTools mTools;
    std::string mRoot;
    std::string mTrace;
};

// The lines of the mount attempts of one partition, up to the one that works.
Lines MountAttempts(const std::string& node, const std::string& mountPoint, const std::vector<std::string>& types,
                    bool lastMounts)
{
    Lines lines;
    for (std::size_t i = 0; i < types.size(); ++i)
    {
        lines.push_back("Trying to unmount device: devNode=" + node);
        lines.push_back("Trying to mount device: devNode=" + node + ", mountPoint=" + mountPoint + ", fs=" + types[i]);
        lines.push_back(lastMounts && i + 1 == types.size() ? "Device mounted" : "Device not mounted: errno=0");
    }
    return lines;
}

// Write, read back, compare, delete and unmount, all as they should go.
Lines WriteToUnmount(const std::string& mountPoint, const std::string& node)
{
    const std::string file = mountPoint + "/test";
    return {"Writing test file",
            "Test file written: " + file + ", size=65536",
            "Reading test file",
            "Test file read: " + file,
            "Test data validation succeeded: " + file,
            "Deleting test file",
            "Unmounting the device",
            "Device unmounted: " + node};
}

const Lines kUSBListings{"Executing command: ls -al /sys/block/sd*", "listing", "Executing command: ls -al /dev/sd*",
                         "listing"};

TEST_F(StorageTestFixture, AUSBStickIsFoundMountedWrittenReadBackAndReleased)
{
    // Only the second partition is formatted; the multiplexer starts external.
    AttachUSBDisk(kBackPort2Disk, 'b', {"", "vfat"});
    SetUSBMux("external");
    const std::int32_t number = NextUSBNumber();
    const std::string mountPoint = "/media/productiontest/usb" + std::to_string(number);

    const Outcome outcome = RunThroughEngine(Vx::TID_MEDIA_USB_BACK_2);
    const Lines expected = Concat({
        {"Started TID_MEDIA_USB_BACK_2", "Preparing storage for test", "Switching USB mux to internal state",
         "USB mux switched to sucessfully", std::string("Looking for block device with disk path: ") + kBackPort2Disk,
         "Found device node /dev/sdb"},
        kUSBListings,
        {"Storage prepared for test", "Preparing test data", kRandomLine, "Checking device mount point",
         "Mount point created: " + mountPoint},
        MountAttempts("/dev/sdb1", mountPoint, {"vfat", "exfat", "ntfs-3g", "ext4"}, false),
        MountAttempts("/dev/sdb2", mountPoint, {"vfat"}, true),
        WriteToUnmount(mountPoint, "/dev/sdb2"),
        {"Completed TID_MEDIA_USB_BACK_2: succeeded"},
    });
    EXPECT_EQ(outcome.log, expected);
    EXPECT_EQ(outcome.result, Vx::LTestEngine::kResultSucceeded);
    EXPECT_EQ(USBMux(), "internal");
    EXPECT_TRUE(fs::is_directory(TreePath(mountPoint)));
    EXPECT_FALSE(fs::exists(TreePath(mountPoint + "/test")));

    const Calls calls = mTools.Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), (std::vector<std::string>{"vb05-usbmux-switch", "internal"}));
    EXPECT_EQ(calls.back(), (std::vector<std::string>{"umount", mountPoint}));
}

TEST_F(StorageTestFixture, EachRunOfAUSBTestMountsUnderANewNumber)
{
    const std::int32_t first = NextUSBNumber();
    const Vx::RCPtr<Vx::LThreadedTest> one = sTestFactory->Create(String(Vx::TID_MEDIA_USB_FRONT_1));
    const Vx::RCPtr<Vx::LThreadedTest> two = sTestFactory->Create(String(Vx::TID_MEDIA_USB_FRONT_1));
    EXPECT_EQ(Vx::RCPtr<LStorageTestUSB>(one)->GetInstanceNumber(), first);
    EXPECT_EQ(Vx::RCPtr<LStorageTestUSB>(two)->GetInstanceNumber(), first + 1);
}

// The waits, run on the test's own worker; the disk can be made to appear
// when a given line is logged.
class DeviceWaitTest : public StorageTestFixture
{
protected:
    class Callbacks : public VxTest::RecordingCallbacks
    {
    public:
        using RecordingCallbacks::RecordingCallbacks;
        void OnTestLog(const Vx::StringT<char, unsigned short>& text) override
        {
            RecordingCallbacks::OnTestLog(text);
            if (mOnLine)
                mOnLine(text.GetCString());
        }
        std::function<void(const std::string&)> mOnLine;
    };

    // The log and result of one run of the test.
    Outcome Run(const Vx::RCPtr<Vx::LThreadedTest>& test, const std::function<void(const std::string&)>& onLine)
    {
        Callbacks callbacks(test.Get());
        callbacks.mOnLine = onLine;
        test->SetCallbacks(&callbacks);
        VxTest::CaptureStderr capture;
        EXPECT_TRUE(test->Start());
        EXPECT_TRUE(VxTest::WaitFor([&] { return callbacks.IsCompleted(); }, 30s));
        mTrace = capture.Finish();
        test->SetCallbacks(nullptr);
        Lines log;
        for (const std::string& what : callbacks.What())
        {
            if (what.rfind("log:", 0) == 0)
                log.push_back(what.substr(4));
        }
        return {Normalized(log), test->GetResult()};
    }
};

TEST_F(DeviceWaitTest, ADiskThatShowsUpLateIsWaitedForSecondBySecond)
{
    const std::string link = std::string("/dev/disk/by-path/") + kBackPort2Disk;
    const Outcome outcome = Run(LStorageTestUSB::Create(String(kBackPort2Disk)), [&](const std::string& line) {
        // After three and a half seconds.
        if (line == "Time left to wait: 2.000000 seconds")
            AttachUSBDisk(kBackPort2Disk, 'c', {"ext4"});
    });
    const Lines wait{std::string("Looking for block device with disk path: ") + kBackPort2Disk,
                     "Time left to wait: 4.000000 seconds", "Time left to wait: 3.000000 seconds",
                     "Time left to wait: 2.000000 seconds", "Found device node /dev/sdc"};
    ASSERT_GE(outcome.log.size(), 6u);
    EXPECT_EQ(Lines(outcome.log.begin() + 1, outcome.log.begin() + 6), wait);
    EXPECT_EQ(outcome.result, Vx::LThreadedTest::kResultSucceeded);
}

TEST_F(DeviceWaitTest, ALinkToAPartitionIsNoDiskAndTheWaitRunsOut)
{
    WriteSystemFile("/dev/sdb1", "vfat");
    MakeLink(std::string("/dev/disk/by-path/") + kBackPort2Disk, "../../sdb1");
    const Outcome outcome = Run(LStorageTestUSB::Create(String(kBackPort2Disk)), nullptr);
    const Lines expected = Concat({
        {"Preparing storage for test", std::string("Looking for block device with disk path: ") + kBackPort2Disk,
         "Time left to wait: 4.000000 seconds", "Time left to wait: 3.000000 seconds",
         "Time left to wait: 2.000000 seconds", "Time left to wait: 1.000000 seconds",
         "Time left to wait: 0.000000 seconds", "Device node didn't appear in 5.000000 seconds"},
        kUSBListings,
    });
    EXPECT_EQ(outcome.log, expected);
    EXPECT_EQ(outcome.result, Vx::LThreadedTest::kResultFailed);
    EXPECT_NE(mTrace.find("LStorageTest::PrepareTest Failed. Result = -1"), std::string::npos);
    EXPECT_FALSE(fs::exists(TreePath("/media/productiontest")));
    for (const auto& call : mTools.Calls())
        EXPECT_NE(call[0], "mount");
}

TEST_F(DeviceWaitTest, AMultiplexerThatCannotBeReadOrSwitchedEndsTheSearch)
{
    AttachUSBDisk(kBackPort2Disk, 'b', {"vfat"});
    SetUSBMux("broken");
    Outcome outcome = Run(LStorageTestUSB::Create(String(kBackPort2Disk)), nullptr);
    EXPECT_EQ(outcome.log, Concat({{"Preparing storage for test", "Failed to get USB mux state"}, kUSBListings}));
    EXPECT_EQ(outcome.result, Vx::LThreadedTest::kResultFailed);

    SetUSBMux("external");
    mTools.SetScript("vb05-usbmux-switch", "exit 1\n");
    outcome = Run(LStorageTestUSB::Create(String(kBackPort2Disk)), nullptr);
    EXPECT_EQ(outcome.log,
              Concat({{"Preparing storage for test", "Switching USB mux to internal state", "Failed to switch USB mux"},
                      kUSBListings}));
    EXPECT_EQ(outcome.result, Vx::LThreadedTest::kResultFailed);
}

//==============================================================================
TEST_F(StorageTestFixture, TheInternalFlashIsWrittenInPlaceWithoutMounting)
{
    WriteSystemFile("/sys/kernel/debug/clk/emmc_sample/clk_rate", "148500000\n");
    const Outcome outcome = RunThroughEngine(Vx::TID_MEDIA_EMMC);
    const std::string mountPoint = "/media/productiontest/internalflash";
    const std::string file = mountPoint + "/test";
    const Lines expected{"Started TID_MEDIA_EMMC",
                         "Preparing storage for test",
                         "Reading eMMC clock from /sys/kernel/debug/clk/emmc_sample/clk_rate",
                         "eMMC clock: 148500000",
                         "Clock close to 150MHz indicates HS200 mode of operation",
                         "Storage prepared for test",
                         "Preparing test data",
                         kRandomLine,
                         "Checking device mount point",
                         "Mount point created: " + mountPoint,
                         "Writing test file",
                         "Test file written: " + file + ", size=65536",
                         "Reading test file",
                         "Test file read: " + file,
                         "Test data validation succeeded: " + file,
                         "Deleting test file",
                         "Completed TID_MEDIA_EMMC: succeeded"};
    EXPECT_EQ(outcome.log, expected);
    EXPECT_TRUE(fs::is_directory(TreePath(mountPoint)));
    EXPECT_FALSE(fs::exists(TreePath(file)));
    EXPECT_TRUE(mTools.Calls().empty());

    // Without the clock's file the test goes on all the same.
    fs::remove(TreePath("/sys/kernel/debug/clk/emmc_sample/clk_rate"));
    const Outcome again = RunThroughEngine(Vx::TID_MEDIA_EMMC);
    ASSERT_GE(again.log.size(), 5u);
    EXPECT_EQ(again.log[3], "Failed to read eMMC clock");
    EXPECT_EQ(again.log[4], "Storage prepared for test");
    EXPECT_EQ(again.result, Vx::LTestEngine::kResultSucceeded);
}

TEST_F(StorageTestFixture, TheExternalSDIsOnTheHubOnSomeModelsAndOnTheSDControllerOnOthers)
{
    // The card reader on hub port 3, seen through the USB 2 path; a disk on
    // another port comes first and is passed over.
    mDevice.setCompatible({"korvatek,ks56"});
    AttachHubDisk('a', 1, true, {"vfat"});
    AttachHubDisk('c', 3, false, {"exfat"});
    Outcome outcome = RunThroughEngine(Vx::TID_MEDIA_EXTERNAL_SD);
    const std::string mountPoint = "/media/productiontest/externalsd";
    Lines expected = Concat({
        {"Started TID_MEDIA_EXTERNAL_SD", "Preparing storage for test",
         "Looking for block device attached to USB hub ports {3}", "Found device node /dev/sdc",
         "Storage prepared for test", "Preparing test data", kRandomLine, "Checking device mount point",
         "Mount point created: " + mountPoint},
        MountAttempts("/dev/sdc1", mountPoint, {"exfat"}, true),
        WriteToUnmount(mountPoint, "/dev/sdc1"),
        {"Completed TID_MEDIA_EXTERNAL_SD: succeeded"},
    });
    EXPECT_EQ(outcome.log, expected);

    // Elsewhere the card is on the SD controller, behind the SD multiplexer.
    mDevice.setCompatible({"korvatek,rn12"});
    WriteSystemFile(kSDMuxStatePath, "internal\n");
    WriteSystemFile("/dev/mmcblk0p1", "ntfs-3g");
    MakeLink("/dev/disk/by-path/platform-ff0c0000.dwmmc-part1", "../../mmcblk0p1");
    outcome = RunThroughEngine(Vx::TID_MEDIA_EXTERNAL_SD);
    expected = Concat({
        {"Started TID_MEDIA_EXTERNAL_SD", "Preparing storage for test", "Switching SD mux to external state",
         "SD mux switched to external state sucessfully", "Looking for partition block device",
         "Found partition block device: /dev/mmcblk0p1", "Storage prepared for test", "Preparing test data",
         kRandomLine, "Checking device mount point", "Mount point exists: " + mountPoint},
        MountAttempts("/dev/mmcblk0p1", mountPoint, {"exfat", "vfat", "ntfs-3g"}, true),
        WriteToUnmount(mountPoint, "/dev/mmcblk0p1"),
        {"Completed TID_MEDIA_EXTERNAL_SD: succeeded"},
    });
    EXPECT_EQ(outcome.log, expected);
    std::ifstream sdMux(TreePath(kSDMuxStatePath));
    std::string state;
    sdMux >> state;
    EXPECT_EQ(state, "external");
}

TEST_F(StorageTestFixture, AMissingSDCardEndsWithTheListingOfTheDisks)
{
    mDevice.setCompatible({"korvatek,rn12"});
    const Outcome outcome = RunThroughEngine(Vx::TID_MEDIA_EXTERNAL_SD);
    Lines expected{"Started TID_MEDIA_EXTERNAL_SD", "Preparing storage for test", "Looking for partition block device"};
    for (int second = 4; second >= 0; --second)
        expected.push_back("Time left to wait: " + std::to_string(second) + ".000000 seconds");
    expected.insert(expected.end(),
                    {"Could not find partition block devices", "Executing command: ls -al /dev/disk/by-path/*",
                     "listing", "Completed TID_MEDIA_EXTERNAL_SD: failed"});
    EXPECT_EQ(outcome.log, expected);
    EXPECT_EQ(outcome.result, Vx::LTestEngine::kResultFailed);
}

TEST_F(StorageTestFixture, AMountPointThatIsAFileFailsEveryMount)
{
    AttachUSBDisk(kBackPort2Disk, 'b', {"vfat"});
    const std::string mountPoint = "/media/productiontest/usb" + std::to_string(NextUSBNumber());
    WriteSystemFile(mountPoint, "a file");
    const Outcome outcome = RunThroughEngine(Vx::TID_MEDIA_USB_BACK_2);
    const Lines tail = Concat({
        {"Checking device mount point", "Mount point exists: " + mountPoint},
        MountAttempts("/dev/sdb1", mountPoint, {"vfat", "exfat", "ntfs-3g", "ext4"}, false),
        {"Failed to mount device", "Completed TID_MEDIA_USB_BACK_2: failed"},
    });
    ASSERT_GE(outcome.log.size(), tail.size());
    EXPECT_EQ(Lines(outcome.log.end() - static_cast<std::ptrdiff_t>(tail.size()), outcome.log.end()), tail);
    // Nothing was mounted, so nothing is unmounted.
    EXPECT_NE(mTools.Calls().back(), (std::vector<std::string>{"umount", mountPoint}));
}

//==============================================================================
// A USB test whose file changes behind its back after it is written.
class TamperedStorageTest : public LStorageTestUSB
{
public:
    explicit TamperedStorageTest(std::function<void(const std::string&)> tamper)
        : LStorageTestUSB(String(kBackPort2Disk)), mTamper(std::move(tamper))
    {
    }
    ~TamperedStorageTest() override { Abort(); }

protected:
    std::int32_t WriteTestFile() override
    {
        const std::int32_t result = LStorageTestUSB::WriteTestFile();
        mTamper(Vx::MapSystemPath(GetTestFilePath().GetCString()));
        return result;
    }

private:
    std::function<void(const std::string&)> mTamper;
};

TEST_F(DeviceWaitTest, AFileThatReadsBackWrongFailsYetIsDeletedAndTheMediumReleased)
{
    AttachUSBDisk(kBackPort2Disk, 'b', {"vfat"});
    struct Case
    {
        const char* name;
        std::function<void(const std::string&)> tamper;
        Lines lines;
    };
    const Case cases[] = {
        {"one byte changed",
         [](const std::string& file) {
             std::fstream stream(file, std::ios::in | std::ios::out | std::ios::binary);
             stream.seekg(40000);
             const char byte = static_cast<char>(stream.get());
             stream.seekp(40000);
             stream.put(static_cast<char>(byte ^ 0x01));
         },
         {"Test file read: %", "Test data validation failed: %"}},
        {"cut short",
         [](const std::string& file) { fs::resize_file(file, 65535); },
         {"Test file read: %", "Test data validation failed: %"}},
        {"gone", [](const std::string& file) { fs::remove(file); }, {"Test file does not exists: %"}},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.name);
        const std::size_t callsBefore = mTools.Calls().size();
        const Vx::RCPtr<TamperedStorageTest> storage = Vx::MakeRCPtr<TamperedStorageTest>(test.tamper);
        const Outcome outcome = Run(storage, nullptr);
        const std::string mountPoint = "/media/productiontest/usb" + std::to_string(storage->GetInstanceNumber());
        const std::string file = mountPoint + "/test";
        Lines expected{"Writing test file", "Test file written: " + file + ", size=65536", "Reading test file"};
        for (const std::string& line : test.lines)
            expected.push_back(std::regex_replace(line, std::regex("%"), file));
        expected.insert(expected.end(), {"Deleting test file", "Unmounting the device", "Device unmounted: /dev/sdb1"});
        ASSERT_GE(outcome.log.size(), expected.size());
        EXPECT_EQ(Lines(outcome.log.end() - static_cast<std::ptrdiff_t>(expected.size()), outcome.log.end()), expected);
        EXPECT_EQ(outcome.result, Vx::LThreadedTest::kResultFailed);
        EXPECT_FALSE(fs::exists(TreePath(file)));
        const Calls calls = mTools.Calls();
        ASSERT_GT(calls.size(), callsBefore);
        EXPECT_EQ(calls.back(), (std::vector<std::string>{"umount", mountPoint}));
    }
}

TEST_F(DeviceWaitTest, AFileThatCannotBeWrittenIsNotReadButTheMediumIsReleased)
{
    AttachUSBDisk(kBackPort2Disk, 'b', {"vfat"});
    const Vx::RCPtr<LStorageTestUSB> storage = LStorageTestUSB::Create(String(kBackPort2Disk));
    const std::string mountPoint = "/media/productiontest/usb" + std::to_string(storage->GetInstanceNumber());
    // Something at the file's place that cannot be deleted: a folder with a file.
    WriteSystemFile(mountPoint + "/test/inside", "x");
    const Outcome outcome = Run(storage, nullptr);
    const Lines tail{"Device mounted", "Writing test file", "Failed to delete test file: " + mountPoint + "/test",
                     "Unmounting the device", "Device unmounted: /dev/sdb1"};
    ASSERT_GE(outcome.log.size(), tail.size());
    EXPECT_EQ(Lines(outcome.log.end() - static_cast<std::ptrdiff_t>(tail.size()), outcome.log.end()), tail);
    EXPECT_EQ(outcome.result, Vx::LThreadedTest::kResultFailed);
    EXPECT_EQ(mTools.Calls().back(), (std::vector<std::string>{"umount", mountPoint}));
}

//==============================================================================
// The kinds of medium the start-up registers no creator for.
TEST_F(DeviceWaitTest, TheSATADriveAndTheSDInterfaces)
{
    AttachHubDisk('d', 4, true, {"ntfs-3g"});
    Outcome outcome = Run(LStorageTestSATA::Create(), nullptr);
    EXPECT_EQ(outcome.result, Vx::LThreadedTest::kResultSucceeded);
    ASSERT_GE(outcome.log.size(), 3u);
    EXPECT_EQ(outcome.log[1], "Looking for block device attached to USB hub ports {4}");
    EXPECT_EQ(outcome.log[2], "Found device node /dev/sdd");
    const Lines sataMounts = MountAttempts("/dev/sdd1", "/media/productiontest/sata", {"exfat", "ntfs-3g"}, true);
    EXPECT_NE(std::search(outcome.log.begin(), outcome.log.end(), sataMounts.begin(), sataMounts.end()),
              outcome.log.end());

    // The kernel's MMC errors are copied for the operator; the multiplexer
    // goes internal, or stays as it is for -1.
    mTools.SetAnswer("dmesg", "[    1.5] mmc1: error -110 whilst initialising SD card\n"
                              "[    2.0] usb 1-1: new high-speed USB device\n"
                              "[    3.1] mmc1: CRC error\n");
    WriteSystemFile(kSDMuxStatePath, "external\n");
    WriteSystemFile("/dev/mmcblk0p1", "ext4");
    MakeLink("/dev/disk/by-path/platform-ff0c0000.dwmmc-part1", "../../mmcblk0p1");
    const Lines kernel{"Executing command: dmesg | grep -e \"\\-84\" -e \"\\-110\" -e \"\\-115\" -e \"CRC\" | grep -e "
                       "\"mmc\"",
                       "[    1.5] mmc1: error -110 whilst initialising SD card", "[    3.1] mmc1: CRC error"};
    outcome = Run(LStorageTestInternalSD::Create(), nullptr);
    EXPECT_EQ(outcome.result, Vx::LThreadedTest::kResultSucceeded);
    EXPECT_EQ(Lines(outcome.log.begin() + 1, outcome.log.begin() + 9),
              Concat({kernel,
                      {"Switching SD mux to internal state", "SD mux switched to internal state sucessfully",
                       "Looking for partition block device", "Found partition block device: /dev/mmcblk0p1",
                       "Storage prepared for test"}}));
    const Lines internalMounts =
        MountAttempts("/dev/mmcblk0p1", "/media/productiontest/internalsd", {"vfat", "exfat", "ntfs", "ext4"}, true);
    EXPECT_NE(std::search(outcome.log.begin(), outcome.log.end(), internalMounts.begin(), internalMounts.end()),
              outcome.log.end());

    const Vx::RCPtr<LStorageTestSDInterface> asItIs = LStorageTestSDInterface::Create(-1);
    WriteSystemFile(kSDMuxStatePath, "external\n");
    outcome = Run(asItIs, nullptr);
    EXPECT_EQ(outcome.result, Vx::LThreadedTest::kResultSucceeded);
    EXPECT_EQ(Lines(outcome.log.begin() + 1, outcome.log.begin() + 6),
              Concat({kernel, {"Looking for partition block device", "Found partition block device: /dev/mmcblk0p1"}}));
}

TEST_F(DeviceWaitTest, TheTestDataIsNewRandomBytesEveryTime)
{
    class DataProbe : public LStorageTestInternalFlash
    {
    public:
        using LStorageTestInternalFlash::PrepareTestData;
    };
    const Vx::RCPtr<DataProbe> probe = Vx::MakeRCPtr<DataProbe>();
    VxTest::RecordingCallbacks callbacks;
    probe->SetCallbacks(&callbacks);
    const auto first = DataProbe::TestDataBuffer::CreateTyped(0);
    const auto second = DataProbe::TestDataBuffer::CreateTyped(0);
    ASSERT_EQ(probe->PrepareTestData(first), 0);
    ASSERT_EQ(probe->PrepareTestData(second), 0);
    probe->SetCallbacks(nullptr);
    ASSERT_EQ(first->GetSize(), 65536u);
    ASSERT_EQ(second->GetSize(), 65536u);
    EXPECT_NE(std::memcmp(first->GetData(), second->GetData(), 65536), 0);

    // Every byte value turns up, and the line shows the first 16 bytes.
    std::array<int, 256> seen{};
    const auto* bytes = static_cast<const unsigned char*>(first->GetData());
    for (std::uint32_t i = 0; i < 65536; ++i)
        ++seen[bytes[i]];
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 0), 0);
    std::string shown = "log:Test data prepared, first 16 bytes: ";
    for (int i = 0; i < 16; ++i)
    {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X ", bytes[i]);
        shown += hex;
    }
    const Lines what = callbacks.What();
    ASSERT_EQ(what.size(), 4u);
    EXPECT_EQ(what[0], "log:Preparing test data");
    EXPECT_EQ(what[1], shown);
}

//==============================================================================
// A real ext4 file system on a loop device, mounted by the real mount tool
// in place of the medium; where this machine has no loop devices the test is
// skipped (the tests above use a plain directory as the medium).
class RealMountTest : public StorageTestFixture
{
protected:
    void SetUp() override
    {
        StorageTestFixture::SetUp();
        mImage = mTools.GetScratchDirectory() + "/medium.img";
        std::string why;
        if (::geteuid() != 0)
            why = "not running as root";
        else if (!Succeeds("grep -qw ext4 /proc/filesystems"))
            why = "the kernel has no ext4";
        else if (!MakeImage())
            why = "no ext4 image could be made";
        else
        {
            mLoop = Output("/usr/sbin/losetup -f --show '" + mImage + "' 2>/dev/null");
            if (mLoop.rfind("/dev/loop", 0) != 0)
            {
                mLoop.clear();
                why = "no loop device could be attached";
            }
        }
        if (!why.empty())
            GTEST_SKIP() << "Loop devices are not available here (" << why
                         << "): the real ext4 mount is skipped; the other storage tests use a plain directory "
                            "as the medium";
    }

    void TearDown() override
    {
        // Whatever the run left mounted goes before the loop device and the tree.
        if (!mMountPoint.empty())
            Succeeds("/usr/bin/umount '" + TreePath(mMountPoint) + "' 2>/dev/null");
        if (!mLoop.empty())
            Succeeds("/usr/sbin/losetup -d '" + mLoop + "'");
        StorageTestFixture::TearDown();
    }

    static bool Succeeds(const std::string& command) { return std::system(command.c_str()) == 0; }

    bool MakeImage() const
    {
        std::ofstream(mImage, std::ios::binary).close();
        std::error_code error;
        fs::resize_file(mImage, 8 << 20, error);
        return !error && Succeeds("/usr/sbin/mkfs.ext4 -q -F '" + mImage + "' >/dev/null 2>&1");
    }
    static std::string Output(const std::string& command)
    {
        std::string output;
        if (std::FILE* stream = ::popen(command.c_str(), "r"))
        {
            char chunk[256];
            while (std::fgets(chunk, sizeof chunk, stream) != nullptr)
                output += chunk;
            ::pclose(stream);
        }
        while (!output.empty() && output.back() == '\n')
            output.pop_back();
        return output;
    }

    bool IsMounted(const std::string& path) const
    {
        std::ifstream mounts("/proc/mounts");
        for (std::string line; std::getline(mounts, line);)
        {
            if (line.find(" " + path + " ") != std::string::npos)
                return true;
        }
        return false;
    }

    std::string mImage;
    std::string mLoop;
    std::string mMountPoint;
};

TEST_F(RealMountTest, AnExt4MediumIsReallyMountedWrittenReadAndReleased)
{
    AttachUSBDisk(kBackPort2Disk, 'b', {"ext4"});
    mMountPoint = "/media/productiontest/usb" + std::to_string(NextUSBNumber());
    const std::string root = "'" + mRoot + "'";
    const std::string listing = mTools.GetScratchDirectory() + "/listing";
    // The partition stands for the loop device, the system's paths for the
    // tree's; every type is tried for real (this kernel has no vfat or exfat).
    mTools.SetScript("mount", "[ \"$3\" = /dev/sdb1 ] || exit 32\n"
                              "exec /usr/bin/mount -t \"$2\" '" +
                                  mLoop + "' " + root + "\"$4\" 2>/dev/null\n");
    mTools.SetScript("umount", "case $1 in /media/*) ;; *) exit 32 ;; esac\n"
                               "/bin/ls -a " +
                                   root + "\"$1\" > '" + listing +
                                   "'\n"
                                   "exec /usr/bin/umount " +
                                   root + "\"$1\"\n");

    const Outcome outcome = RunThroughEngine(Vx::TID_MEDIA_USB_BACK_2);
    EXPECT_EQ(outcome.result, Vx::LTestEngine::kResultSucceeded);
    const Lines tail = Concat({
        MountAttempts("/dev/sdb1", mMountPoint, {"vfat", "exfat", "ntfs-3g", "ext4"}, true),
        WriteToUnmount(mMountPoint, "/dev/sdb1"),
        {"Completed TID_MEDIA_USB_BACK_2: succeeded"},
    });
    ASSERT_GE(outcome.log.size(), tail.size());
    EXPECT_EQ(Lines(outcome.log.end() - static_cast<std::ptrdiff_t>(tail.size()), outcome.log.end()), tail);

    // The file system was on the mount point while the file was written (its
    // lost+found showed there), the file was gone before it was unmounted,
    // and nothing is mounted now.
    std::ifstream stream(listing);
    Lines names;
    for (std::string name; std::getline(stream, name);)
        names.push_back(name);
    EXPECT_EQ(names, (Lines{".", "..", "lost+found"}));
    EXPECT_FALSE(IsMounted(TreePath(mMountPoint)));
    EXPECT_TRUE(fs::is_empty(TreePath(mMountPoint)));
}
} // namespace
