#include "Panel/Engine/VB05Common/StorageTest.h"

#include "JuceBackend/SystemPath.h"
#include "Panel/Engine/VB05Common/Platform/VB05Device.h"
#include "Panel/Engine/VB05Common/Platform/VB05Multiplexer.h"
#include "Panel/Engine/VB05Common/Platform/VB05Utilities.h"
#include "VxFramework/Utilities/DebugTracer.h"

#include <juce_core/juce_core.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <unistd.h>

namespace Vx::VB05
{
namespace
{
using String = StringT<char, unsigned short>;
using StringArray = LStorageTest::StringArray;

constexpr std::int32_t kDeviceWaitMilliseconds = 5000;
constexpr std::int32_t kDevicePollMilliseconds = 50;
// A line of the time left after this many polls (one second).
constexpr std::int32_t kPollsPerNotice = 20;
// The partitions of a disk that was just found settle meanwhile.
constexpr auto kPartitionSettleTime = std::chrono::milliseconds(1000);
constexpr std::int32_t kHighestPartitionNumber = 255;
constexpr std::uint32_t kTestFileBufferSize = 16384;
constexpr std::int32_t kCommandPollMilliseconds = 20;

constexpr char kByPathPrefix[] = "/dev/disk/by-path/";
constexpr char kEMMCClockPath[] = "/sys/kernel/debug/clk/emmc_sample/clk_rate";
constexpr char kKernelErrorsCommand[] = R"(dmesg | grep -e "\-84" -e "\-110" -e "\-115" -e "CRC" | grep -e "mmc")";
constexpr char kListByPathCommand[] = "ls -al /dev/disk/by-path/*";

// The file the system path stands for here.
juce::File SystemFile(const String& path)
{
    return juce::File(juce::String(MapSystemPath(path.GetCString())));
}

String Media(const char* suffix)
{
    return String(kTestMediaDirectory) + String(suffix);
}

void SetFileSystems(StringArray& fileSystems, std::initializer_list<const char*> names)
{
    fileSystems.RemoveAll();
    for (const char* name : names)
        fileSystems.Add(String(name));
}

// A command line's status through the shell, with errno cleared first so that
// what it holds afterwards is the call's own.
int RunShell(const String& commandLine)
{
    errno = 0;
    return std::system(commandLine.GetCString());
}

// The target of the by-path link when it names a whole disk ("../../sdb"):
// the disk's node, "/dev/sdb".
bool FindDiskNodeByLink(const String& link, String& diskNode)
{
    if (!SystemFile(link).exists())
        return false;
    char target[PATH_MAX];
    const ssize_t length = ::readlink(MapSystemPath(link.GetCString()).c_str(), target, sizeof target - 1);
    if (length < 3)
        return false;
    const char* const name = target + length - 3;
    if (name[0] != 's' || name[1] != 'd' || name[2] < 'a' || name[2] > 'z')
        return false;
    diskNode = String("/dev/") + String(name, 3);
    return true;
}

// The hub port in the link target of a disk under /sys/block: the number
// after "3-1/3-1." (the USB 3 path) or else "2-1/2-1.".
bool FindHubPort(const std::string& target, std::int32_t& port)
{
    for (const char* const marker : {"3-1/3-1.", "2-1/2-1."})
    {
        const std::size_t at = target.find(marker);
        if (at != std::string::npos)
            return std::sscanf(target.c_str() + at + std::strlen(marker), "%d", &port) == 1;
    }
    return false;
}

String FormatPortList(const Array<std::int32_t>& ports)
{
    String text("{");
    for (std::uint32_t i = 0; i < ports.GetCount(); ++i)
    {
        if (i != 0)
            text.Append(String(", "));
        text.Append(String::Format("%d", ports[i]));
    }
    text.Append(String("}"));
    return text;
}

bool Contains(const Array<std::int32_t>& ports, std::int32_t port)
{
    for (std::uint32_t i = 0; i < ports.GetCount(); ++i)
    {
        if (ports[i] == port)
            return true;
    }
    return false;
}

// The first disk sda to sdz whose /sys/block link leads through one of the ports.
bool FindDiskNodeOnHubPorts(const Array<std::int32_t>& hubPorts, String& diskNode)
{
    for (char letter = 'a'; letter <= 'z'; ++letter)
    {
        const String block = String("/sys/block/sd") + String(letter);
        if (!SystemFile(block).exists())
            continue;
        char target[PATH_MAX];
        const ssize_t length = ::readlink(MapSystemPath(block.GetCString()).c_str(), target, sizeof target - 1);
        // Only a link tells where the disk is attached.
        if (length <= 0)
            continue;
        std::int32_t port = -1;
        if (FindHubPort(std::string(target, static_cast<std::size_t>(length)), port) && Contains(hubPorts, port))
        {
            diskNode = String("/dev/sd") + String(letter);
            return true;
        }
    }
    return false;
}

struct PipeCloser
{
    void operator()(std::FILE* stream) const { ::pclose(stream); }
};

// Counts the USB storage tests made, for their mount points.
std::atomic<std::int32_t>& USBInstanceCounter()
{
    static std::atomic<std::int32_t> counter{0};
    return counter;
}
} // namespace

LStorageTest::LStorageTest() : mTestData(TestDataBuffer::CreateTyped(0)) {}

LStorageTest::~LStorageTest()
{
    Abort();
}

std::int32_t LStorageTest::Run()
{
    std::int32_t result = PrepareTest();
    if (result != 0)
    {
        DebugTracer::Get().Trace(1, "LStorageTest::PrepareTest Failed. Result = %d", result);
        return result;
    }
    result = PrepareTestData(mTestData);
    if (result != 0)
    {
        DebugTracer::Get().Trace(1, "LStorageTest::PrepareTestData Failed. Result = %d", result);
        return result;
    }
    result = CheckMountPoint();
    if (result != 0)
        return result;
    result = Mount();
    if (result != 0)
        return result;
    result = WriteTestFile();
    if (result == 0)
    {
        result = ReadAndVerifyTestFile();
        DeleteTestFile();
    }
    Unmount();
    return result;
}

std::int32_t LStorageTest::PrepareTest()
{
    Log(String("Preparing storage for test"));
    const std::int32_t result = LocateDevice(mDeviceNodes, mMountPoint, mFileSystems);
    if (result == 0)
    {
        mTestFilePath = mMountPoint + String("/test");
        Log(String("Storage prepared for test"));
    }
    return result;
}

std::int32_t LStorageTest::PrepareTestData(const RCPtr<TestDataBuffer>& buffer)
{
    Log(String("Preparing test data"));
    std::random_device source("default");
    std::mt19937 generator(source());
    std::string data(kStorageTestDataSize, '\0');
    for (char& byte : data)
    {
        // Uniform over 0 to 255: the draws of the incomplete top range are drawn again.
        std::uint32_t draw = 0;
        do
            draw = static_cast<std::uint32_t>(generator());
        while (draw >= 0xFFFFFF00u);
        byte = static_cast<char>(draw / 0xFFFFFFu);
    }
    String first;
    for (std::uint32_t i = 0; i < 16; ++i)
        first.Append(String::Format("%02X ", static_cast<unsigned char>(data[i])));
    Log(String::Format("Test data prepared, first 16 bytes: %s", first.GetCString()));

    if (buffer.IsNull())
        return -1;
    buffer->SetSize(kStorageTestDataSize);
    if (buffer->GetSize() != kStorageTestDataSize || buffer->GetData() == nullptr)
        return -1;
    std::memcpy(buffer->GetData(), data.data(), kStorageTestDataSize);
    return 0;
}

std::int32_t LStorageTest::CheckMountPoint()
{
    Log(String("Checking device mount point"));
    const juce::File directory = SystemFile(mMountPoint);
    std::int32_t result = 0;
    String message;
    if (directory.exists())
        message = String::Format("Mount point exists: %s", mMountPoint.GetCString());
    else if (directory.createDirectory().wasOk())
        message = String::Format("Mount point created: %s", mMountPoint.GetCString());
    else
    {
        message = String::Format("Failed to create mount point: %s", mMountPoint.GetCString());
        result = -1;
    }
    Log(message);
    return result;
}

std::int32_t LStorageTest::Mount()
{
    for (std::uint32_t node = 0; node < mDeviceNodes.GetCount(); ++node)
    {
        for (std::uint32_t system = 0; system < mFileSystems.GetCount(); ++system)
        {
            mDeviceNode = mDeviceNodes[node];
            Log(String::Format("Trying to unmount device: devNode=%s", mDeviceNode.GetCString()));
            // The paths reach the tools as one word each whatever they hold.
            RunShell(String("umount ") + QuoteShellArgument(mDeviceNode));
            Log(String::Format("Trying to mount device: devNode=%s, mountPoint=%s, fs=%s", mDeviceNode.GetCString(),
                               mMountPoint.GetCString(), mFileSystems[system].GetCString()));
            const int status = RunShell(String::Format("mount -t %s %s %s", mFileSystems[system].GetCString(),
                                                       QuoteShellArgument(mDeviceNode).GetCString(),
                                                       QuoteShellArgument(mMountPoint).GetCString()));
            const int error = errno;
            if (status == 0)
            {
                Log(String("Device mounted"));
                return 0;
            }
            Log(String::Format("Device not mounted: errno=%d", error));
        }
    }
    Log(String("Failed to mount device"));
    return -1;
}

std::int32_t LStorageTest::WriteTestFile()
{
    Log(String("Writing test file"));
    const juce::File file = SystemFile(mTestFilePath);
    if (file.exists())
    {
        if (!file.deleteFile())
        {
            Log(String::Format("Failed to delete test file: %s", mTestFilePath.GetCString()));
            return -1;
        }
        Log(String::Format("Test file deleted: %s", mTestFilePath.GetCString()));
    }
    bool written = false;
    {
        juce::FileOutputStream stream(file, kTestFileBufferSize);
        if (stream.openedOk() && stream.setPosition(0) && stream.write(mTestData->GetData(), mTestData->GetSize()))
        {
            // What is still buffered counts too: a full medium refuses it only now.
            stream.flush();
            written = stream.getStatus().wasOk();
        }
    }
    if (!written)
    {
        Log(String::Format("Failed to write test file: %s", mTestFilePath.GetCString()));
        return -1;
    }
    Log(String::Format("Test file written: %s, size=%d", mTestFilePath.GetCString(),
                       static_cast<int>(mTestData->GetSize())));
    return 0;
}

std::int32_t LStorageTest::ReadAndVerifyTestFile()
{
    Log(String("Reading test file"));
    const juce::File file = SystemFile(mTestFilePath);
    if (!file.exists())
    {
        Log(String("Test file does not exists: ") + mTestFilePath);
        return -1;
    }
    juce::MemoryBlock data;
    if (!file.loadFileAsData(data))
    {
        Log(String::Format("Failed to read test file: %s", mTestFilePath.GetCString()));
        return -1;
    }
    Log(String::Format("Test file read: %s", mTestFilePath.GetCString()));
    if (data.getSize() != mTestData->GetSize() ||
        std::memcmp(data.getData(), mTestData->GetData(), mTestData->GetSize()) != 0)
    {
        Log(String::Format("Test data validation failed: %s", mTestFilePath.GetCString()));
        return -1;
    }
    Log(String::Format("Test data validation succeeded: %s", mTestFilePath.GetCString()));
    return 0;
}

std::int32_t LStorageTest::DeleteTestFile()
{
    Log(String("Deleting test file"));
    const juce::File file = SystemFile(mTestFilePath);
    if (file.existsAsFile() && !file.deleteFile())
        return -1;
    return 0;
}

std::int32_t LStorageTest::Unmount()
{
    Log(String("Unmounting the device"));
    const int status = RunShell(String("umount ") + QuoteShellArgument(mMountPoint));
    if (status == 0)
    {
        Log(String::Format("Device unmounted: %s", mDeviceNode.GetCString()));
        return 0;
    }
    Log(String::Format("Failed to unmount device: %d", status));
    return -1;
}

std::int32_t LStorageTest::SwitchUSBMuxToInternal()
{
    MuxState state = MUX_STATE_UNKNOWN;
    if (!GetUSBMuxState(state))
    {
        Log(String("Failed to get USB mux state"));
        return -1;
    }
    if (state == MUX_STATE_EXTERNAL)
    {
        Log(String("Switching USB mux to internal state"));
        if (!SetUSBMuxState(MUX_STATE_INTERNAL))
        {
            Log(String("Failed to switch USB mux"));
            return -1;
        }
        Log(String("USB mux switched to sucessfully"));
    }
    return 0;
}

std::int32_t LStorageTest::FindDiskPartitions(const std::function<bool(String&)>& findDisk, StringArray& deviceNodes)
{
    String diskNode;
    if (WaitForDevice(kDeviceWaitMilliseconds, [&] { return findDisk(diskNode); }) != 0)
    {
        Log(String::Format("Device node didn't appear in %f seconds", kDeviceWaitMilliseconds / 1000.0));
        return -1;
    }
    Log(String::Format("Found device node %s", diskNode.GetCString()));

    std::this_thread::sleep_for(kPartitionSettleTime);
    deviceNodes.RemoveAll();
    for (std::int32_t number = 0; number <= kHighestPartitionNumber; ++number)
    {
        const String node = diskNode + String::Format("%d", number);
        if (SystemFile(node).exists())
            deviceNodes.Add(node);
    }
    return deviceNodes.GetCount() == 0 ? -1 : 0;
}

std::int32_t LStorageTest::FindDiskByPath(const String& diskPath, StringArray& deviceNodes)
{
    deviceNodes.RemoveAll();
    if (SwitchUSBMuxToInternal() != 0)
        return -1;
    Log(String::Format("Looking for block device with disk path: %s", diskPath.GetCString()));
    const String link = String(kByPathPrefix) + diskPath;
    return FindDiskPartitions([&](String& diskNode) { return FindDiskNodeByLink(link, diskNode); }, deviceNodes);
}

std::int32_t LStorageTest::FindDiskOnHubPorts(const Array<std::int32_t>& hubPorts, StringArray& deviceNodes)
{
    deviceNodes.RemoveAll();
    if (SwitchUSBMuxToInternal() != 0)
        return -1;
    Log(String::Format("Looking for block device attached to USB hub ports %s", FormatPortList(hubPorts).GetCString()));
    return FindDiskPartitions([&](String& diskNode) { return FindDiskNodeOnHubPorts(hubPorts, diskNode); },
                              deviceNodes);
}

std::int32_t LStorageTest::FindSDPartitions(std::int32_t muxState, StringArray& deviceNodes)
{
    if (muxState != -1 && SDMuxExists())
    {
        MuxState current = MUX_STATE_UNKNOWN;
        if (!GetSDMuxState(current))
        {
            Log(String("Failed to obtain current SD Mux state"));
            return -1;
        }
        if (current != muxState)
        {
            const auto wanted = static_cast<MuxState>(muxState);
            String name;
            GetSDMuxStateName(wanted, name);
            Log(String::Format("Switching SD mux to %s state", name.GetCString()));
            if (!SetSDMuxState(wanted))
            {
                Log(String::Format("Failed to switch SD mux to %s state", name.GetCString()));
                return -1;
            }
            Log(String::Format("SD mux switched to %s state sucessfully", name.GetCString()));
        }
    }

    Log(String("Looking for partition block device"));
    StringArray devices;
    if (WaitForPartitions(BLOCK_DEVICE_CONNECTOR_SD_CONTROLLER, kDeviceWaitMilliseconds, devices) != 0)
    {
        Log(String("Could not find partition block devices"));
        return -1;
    }
    for (std::uint32_t i = 0; i < devices.GetCount(); ++i)
        Log(String::Format("Found partition block device: %s", devices[i].GetCString()));
    deviceNodes = devices;
    return deviceNodes.GetCount() == 0 ? -1 : 0;
}

std::int32_t LStorageTest::WaitForPartitions(BlockDeviceConnector connector, std::int32_t timeoutMilliseconds,
                                             StringArray& devices)
{
    return WaitForDevice(timeoutMilliseconds,
                         [&] { return GetPartitionDevices(connector, devices) && devices.GetCount() != 0; });
}

std::int32_t LStorageTest::WaitForDevice(std::int32_t timeoutMilliseconds, const std::function<bool()>& check)
{
    if (check())
        return 0;
    std::int32_t left = timeoutMilliseconds;
    for (std::int32_t polls = 1; left > 0; ++polls)
    {
        Sleep(kDevicePollMilliseconds);
        left -= kDevicePollMilliseconds;
        if (polls % kPollsPerNotice == 0)
            Log(String::Format("Time left to wait: %f seconds", left / 1000.0));
        if (check())
            return 0;
    }
    return -1;
}

void LStorageTest::RunAndLogCommand(const String& commandLine)
{
    Log(String::Format("Executing command: %s", commandLine.GetCString()));
    const std::unique_ptr<std::FILE, PipeCloser> stream(::popen(commandLine.GetCString(), "r"));
    if (stream == nullptr)
    {
        Log(String::Format("Failed to open pipe for command \"%s\"", commandLine.GetCString()));
        return;
    }
    const int fd = ::fileno(stream.get());
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);

    std::string pending;
    char chunk[128];
    while (!std::feof(stream.get()))
    {
        errno = 0;
        const char* const read = std::fgets(chunk, sizeof chunk, stream.get());
        const int error = errno;
        if (read != nullptr)
        {
            pending += read;
            for (std::size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n'))
            {
                Log(String(pending.substr(0, end).c_str()));
                pending.erase(0, end + 1);
            }
        }
        if (std::ferror(stream.get()))
        {
            // Nothing ready yet: wait for more; any other failure ends the reading.
            if (error != EAGAIN)
                break;
            std::clearerr(stream.get());
            if (read == nullptr)
                Sleep(kCommandPollMilliseconds);
        }
        else if (read == nullptr && !std::feof(stream.get()))
            break;
    }
}

void LStorageTest::LogKernelErrors()
{
    RunAndLogCommand(String(kKernelErrorsCommand));
}

void LStorageTest::LogEMMCClock()
{
    static const String path(kEMMCClockPath);
    Log(String::Format("Reading eMMC clock from %s", path.GetCString()));
    String clock;
    if (ReadFirstToken(path, clock))
    {
        Log(String::Format("eMMC clock: %s", clock.GetCString()));
        Log(String("Clock close to 150MHz indicates HS200 mode of operation"));
    }
    else
        Log(String("Failed to read eMMC clock"));
}

//==============================================================================
LStorageTestUSB::LStorageTestUSB(const String& diskPath) : mDiskPath(diskPath), mInstanceNumber(++USBInstanceCounter())
{
}

LStorageTestUSB::~LStorageTestUSB()
{
    Abort();
}

RCPtr<LStorageTestUSB> LStorageTestUSB::Create(const String& diskPath)
{
    return MakeRCPtr<LStorageTestUSB>(diskPath);
}

std::int32_t LStorageTestUSB::LocateDevice(StringArray& deviceNodes, String& mountPoint, StringArray& fileSystems)
{
    deviceNodes.RemoveAll();
    mountPoint.Empty();
    fileSystems.RemoveAll();
    const std::int32_t result = FindDiskByPath(mDiskPath, deviceNodes);
    if (result == 0)
    {
        mountPoint = Media("") + String::Format("/usb%d", mInstanceNumber);
        SetFileSystems(fileSystems, {"vfat", "exfat", "ntfs-3g", "ext4"});
    }
    RunAndLogCommand(String("ls -al /sys/block/sd*"));
    RunAndLogCommand(String("ls -al /dev/sd*"));
    return result;
}

LStorageTestSATA::~LStorageTestSATA()
{
    Abort();
}

RCPtr<LStorageTestSATA> LStorageTestSATA::Create()
{
    return MakeRCPtr<LStorageTestSATA>();
}

std::int32_t LStorageTestSATA::LocateDevice(StringArray& deviceNodes, String& mountPoint, StringArray& fileSystems)
{
    deviceNodes.RemoveAll();
    mountPoint.Empty();
    fileSystems.RemoveAll();
    Array<std::int32_t> ports;
    ports.Add(4);
    const std::int32_t result = FindDiskOnHubPorts(ports, deviceNodes);
    if (result == 0)
    {
        mountPoint = Media("/sata");
        SetFileSystems(fileSystems, {"exfat", "ntfs-3g", "vfat", "ext4"});
    }
    RunAndLogCommand(String("ls -al /sys/block/sd*"));
    RunAndLogCommand(String("ls -al /dev/sd*"));
    return result;
}

LStorageTestExternalSD::~LStorageTestExternalSD()
{
    Abort();
}

RCPtr<LStorageTestExternalSD> LStorageTestExternalSD::Create()
{
    return MakeRCPtr<LStorageTestExternalSD>();
}

std::int32_t LStorageTestExternalSD::LocateDevice(StringArray& deviceNodes, String& mountPoint,
                                                  StringArray& fileSystems)
{
    deviceNodes.RemoveAll();
    mountPoint.Empty();
    fileSystems.RemoveAll();
    std::int32_t result = -1;
    const DeviceModel model = GetDeviceModel();
    // These boards read the card through a reader on the hub.
    if (model == DEVICE_MODEL_KS52 || model == DEVICE_MODEL_KS56 || model == DEVICE_MODEL_WD83)
    {
        Array<std::int32_t> ports;
        ports.Add(3);
        result = FindDiskOnHubPorts(ports, deviceNodes);
    }
    else
        result = FindSDPartitions(MUX_STATE_EXTERNAL, deviceNodes);
    if (result == 0)
    {
        mountPoint = Media("/externalsd");
        SetFileSystems(fileSystems, {"exfat", "vfat", "ntfs-3g", "ext4"});
    }
    else
        RunAndLogCommand(String(kListByPathCommand));
    return result;
}

LStorageTestInternalSD::~LStorageTestInternalSD()
{
    Abort();
}

RCPtr<LStorageTestInternalSD> LStorageTestInternalSD::Create()
{
    return MakeRCPtr<LStorageTestInternalSD>();
}

std::int32_t LStorageTestInternalSD::LocateDevice(StringArray& deviceNodes, String& mountPoint,
                                                  StringArray& fileSystems)
{
    deviceNodes.RemoveAll();
    mountPoint.Empty();
    fileSystems.RemoveAll();
    LogKernelErrors();
    const std::int32_t result = FindSDPartitions(MUX_STATE_INTERNAL, deviceNodes);
    if (result == 0)
    {
        mountPoint = Media("/internalsd");
        SetFileSystems(fileSystems, {"vfat", "exfat", "ntfs", "ext4"});
    }
    else
        RunAndLogCommand(String(kListByPathCommand));
    return result;
}

LStorageTestSDInterface::LStorageTestSDInterface(std::int32_t muxState) : mMuxState(muxState) {}

LStorageTestSDInterface::~LStorageTestSDInterface()
{
    Abort();
}

RCPtr<LStorageTestSDInterface> LStorageTestSDInterface::Create(std::int32_t muxState)
{
    return MakeRCPtr<LStorageTestSDInterface>(muxState);
}

std::int32_t LStorageTestSDInterface::LocateDevice(StringArray& deviceNodes, String& mountPoint,
                                                   StringArray& fileSystems)
{
    deviceNodes.RemoveAll();
    mountPoint.Empty();
    fileSystems.RemoveAll();
    LogKernelErrors();
    const std::int32_t result = FindSDPartitions(mMuxState, deviceNodes);
    if (result == 0)
    {
        mountPoint = Media("/internalsd");
        SetFileSystems(fileSystems, {"vfat", "exfat", "ntfs", "ext4"});
    }
    else
        RunAndLogCommand(String(kListByPathCommand));
    return result;
}

LStorageTestInternalFlash::~LStorageTestInternalFlash()
{
    Abort();
}

RCPtr<LStorageTestInternalFlash> LStorageTestInternalFlash::Create()
{
    return MakeRCPtr<LStorageTestInternalFlash>();
}

std::int32_t LStorageTestInternalFlash::Mount()
{
    return 0;
}

std::int32_t LStorageTestInternalFlash::Unmount()
{
    return 0;
}

std::int32_t LStorageTestInternalFlash::LocateDevice(StringArray& deviceNodes, String& mountPoint,
                                                     StringArray& fileSystems)
{
    deviceNodes.RemoveAll();
    mountPoint.Empty();
    fileSystems.RemoveAll();
    LogEMMCClock();
    GetPartitionDevices(BLOCK_DEVICE_CONNECTOR_EMMC, deviceNodes);
    mountPoint = Media("/internalflash");
    return 0;
}
} // namespace Vx::VB05
