#pragma once

// The storage tests: find the medium's block device, mount it, write a file
// of 64 KiB of random data, read it back and compare, delete it and unmount.
// The base runs the steps; each kind of medium says how its device is found,
// where it is mounted and which file systems are tried.  A new test object is
// made for every run.  The multiplexers and mount points are shared with the
// other tests without a lock: nothing orders a USB storage test's switch of
// the USB multiplexer to internal against the USB-B test's switch to external.

#include "Panel/Engine/TestAppCommon/ThreadedTest.h"
#include "Panel/Engine/VB05Common/Platform/VB05BlockDevice.h"
#include "VxFramework/Utilities/Storage/ArrayUtils.h"
#include "VxFramework/Utilities/Storage/Buffer.h"
#include "VxFramework/Utilities/Storage/StringT.h"
#include "VxFramework/Utilities/Storage/VxArray.h"

#include <cstdint>
#include <functional>

namespace Vx::VB05
{
// Every medium is mounted in a directory under this one.
inline constexpr char kTestMediaDirectory[] = "/media/productiontest";
// The size of the test file.
inline constexpr std::uint32_t kStorageTestDataSize = 65536;

class LStorageTest : public LThreadedTest
{
public:
    using StringArray = StringArrayT<char, unsigned short>;
    using TestDataBuffer = LBufferT<1, 0, 8, char*>;

    // Waits for a running body before anything of the test goes.
    ~LStorageTest() override;

protected:
    LStorageTest();

    // Locate and prepare, make the data, check the mount point, mount, write,
    // read back and compare, delete, unmount: Succeeded (0) or Failed (-1).
    // A failed mount ends the run without unmounting; every later failure
    // still unmounts, and a failed read or comparison still deletes.
    std::int32_t Run() override;

    // The steps; each gives 0 or -1.
    virtual std::int32_t PrepareTest();
    virtual std::int32_t PrepareTestData(const RCPtr<TestDataBuffer>& buffer);
    virtual std::int32_t CheckMountPoint();
    virtual std::int32_t Mount();
    virtual std::int32_t WriteTestFile();
    virtual std::int32_t ReadAndVerifyTestFile();
    virtual std::int32_t DeleteTestFile();
    virtual std::int32_t Unmount();
    // The candidate partition nodes, the mount point and the file systems to
    // try, each emptied first; the last two are set only when it succeeds.
    virtual std::int32_t LocateDevice(StringArray& deviceNodes, String& mountPoint, StringArray& fileSystems) = 0;

    // The disk whose by-path link has that name (the USB multiplexer switched
    // to internal first), then its partition nodes.
    std::int32_t FindDiskByPath(const String& diskPath, StringArray& deviceNodes);
    // The first disk sda to sdz attached to one of the hub's ports, then its
    // partition nodes.
    std::int32_t FindDiskOnHubPorts(const Array<std::int32_t>& hubPorts, StringArray& deviceNodes);
    // The partitions on the SD controller, with the SD multiplexer switched
    // to the state first (-1 leaves it alone).
    std::int32_t FindSDPartitions(std::int32_t muxState, StringArray& deviceNodes);
    // Waits up to the timeout for partitions on the connector.
    std::int32_t WaitForPartitions(BlockDeviceConnector connector, std::int32_t timeoutMilliseconds,
                                   StringArray& devices);
    // Checks now and after every 50 ms until the timeout has been slept,
    // logging the time left after every second; 0 once the check holds, -1
    // when it never did.
    std::int32_t WaitForDevice(std::int32_t timeoutMilliseconds, const std::function<bool()>& check);
    // Runs the command line and copies its output into the log line by line
    // (an unfinished last line is dropped); its status is not looked at.
    void RunAndLogCommand(const String& commandLine);
    // The MMC driver's errors in the kernel log, for the operator.
    void LogKernelErrors();
    // The eMMC's clock, for the operator (it tells the bus mode).
    void LogEMMCClock();

    const StringArray& GetDeviceNodes() const { return mDeviceNodes; }
    const String& GetDeviceNode() const { return mDeviceNode; }
    const String& GetMountPoint() const { return mMountPoint; }
    const String& GetTestFilePath() const { return mTestFilePath; }

private:
    // The USB multiplexer internal (where the hub's disks are seen).
    std::int32_t SwitchUSBMuxToInternal();
    // Waits for the disk that findDisk finds, lets its partitions settle and
    // takes the partition nodes that exist (numbers 0 to 255).
    std::int32_t FindDiskPartitions(const std::function<bool(String&)>& findDisk, StringArray& deviceNodes);

    StringArray mDeviceNodes;
    String mDeviceNode;
    String mMountPoint;
    StringArray mFileSystems;
    String mTestFilePath;
    RCPtr<TestDataBuffer> mTestData;
};

// A USB disk by the name of its by-path link; each object mounts under a
// number of its own ("/usb1", "/usb2", ... for the life of the process).
class LStorageTestUSB : public LStorageTest
{
public:
    explicit LStorageTestUSB(const String& diskPath);
    ~LStorageTestUSB() override;

    static RCPtr<LStorageTestUSB> Create(const String& diskPath);

    const String& GetDiskPath() const { return mDiskPath; }
    std::int32_t GetInstanceNumber() const { return mInstanceNumber; }

protected:
    std::int32_t LocateDevice(StringArray& deviceNodes, String& mountPoint, StringArray& fileSystems) override;

private:
    String mDiskPath;
    std::int32_t mInstanceNumber;
};

// The SATA drive behind the bridge on hub port 4.
class LStorageTestSATA : public LStorageTest
{
public:
    LStorageTestSATA() = default;
    ~LStorageTestSATA() override;

    static RCPtr<LStorageTestSATA> Create();

protected:
    std::int32_t LocateDevice(StringArray& deviceNodes, String& mountPoint, StringArray& fileSystems) override;
};

// The external SD card: on hub port 3 on the KS52, KS56 and WD83, else on the
// SD controller with the SD multiplexer external.
class LStorageTestExternalSD : public LStorageTest
{
public:
    LStorageTestExternalSD() = default;
    ~LStorageTestExternalSD() override;

    static RCPtr<LStorageTestExternalSD> Create();

protected:
    std::int32_t LocateDevice(StringArray& deviceNodes, String& mountPoint, StringArray& fileSystems) override;
};

// The internal SD card on the SD controller, the SD multiplexer internal.
class LStorageTestInternalSD : public LStorageTest
{
public:
    LStorageTestInternalSD() = default;
    ~LStorageTestInternalSD() override;

    static RCPtr<LStorageTestInternalSD> Create();

protected:
    std::int32_t LocateDevice(StringArray& deviceNodes, String& mountPoint, StringArray& fileSystems) override;
};

// The SD controller with the SD multiplexer in a given state (-1: as it is).
class LStorageTestSDInterface : public LStorageTest
{
public:
    explicit LStorageTestSDInterface(std::int32_t muxState);
    ~LStorageTestSDInterface() override;

    static RCPtr<LStorageTestSDInterface> Create(std::int32_t muxState);

    std::int32_t GetMuxState() const { return mMuxState; }

protected:
    std::int32_t LocateDevice(StringArray& deviceNodes, String& mountPoint, StringArray& fileSystems) override;

private:
    std::int32_t mMuxState;
};

// The eMMC the system runs from: nothing is mounted, the file goes into a
// directory of the running system's own file system.
class LStorageTestInternalFlash : public LStorageTest
{
public:
    LStorageTestInternalFlash() = default;
    ~LStorageTestInternalFlash() override;

    static RCPtr<LStorageTestInternalFlash> Create();

protected:
    std::int32_t Mount() override;
    std::int32_t Unmount() override;
    std::int32_t LocateDevice(StringArray& deviceNodes, String& mountPoint, StringArray& fileSystems) override;
};
} // namespace Vx::VB05
