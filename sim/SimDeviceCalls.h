#pragma once

// The devices behind the platform layer's device-calls seam: a framebuffer
// ("/dev/fb0"), a real-time clock ("/dev/rtc"), I2C buses ("/dev/i2c-N") with
// devices a test adds, block devices of given sizes, the system information
// record and the memory the RAM test checks.  Descriptors are eventfds that
// lead nowhere; every call can be told to fail (faults), and the memory can be
// limited and can have a cell that does not hold its value.

#include "Panel/Engine/VB05Common/Platform/DeviceCalls.h"
#include "sim/SimFaults.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace Sim
{

class SimDeviceCalls final : public Vx::VB05::DeviceCalls
{
public:
    /** A portrait framebuffer of 800 x 1280 pixels of 32 bits, a clock at
        2024-01-01 00:00:00, no I2C devices, no block devices, 2 GiB of memory
        of which 1.5 GiB are free. */
    SimDeviceCalls();
    ~SimDeviceCalls() override;

    enum class Call
    {
        open,
        close,
        getVariableScreenInfo,
        getFixedScreenInfo,
        mapShared,
        unmap,
        readRtcTime,
        setRtcTime,
        transferI2c,
        getBlockDeviceSize,
        getSystemInfo,
        allocateMemory,
        getSystemConfiguration
    };
    Faults<Call> faults;

    //==========================================================================
    /** The framebuffer: its screen information and its memory (line length x
        virtual height bytes, resized to match whenever it is opened). */
    bool frameBufferPresent = true;
    fb_var_screeninfo variableScreenInfo {};
    fb_fix_screeninfo fixedScreenInfo {};
    std::vector<uint8_t> frameBufferMemory;
    int getNumMappings() const;

    /** The clock's record as the kernel keeps it (months from 0, years from 1900). */
    bool rtcPresent = true;
    rtc_time rtcTime {};

    /** A device answers the transfers to its address: it fills the buffers of
        the read messages and gives 0 or a negative error number. */
    using I2cDevice = std::function<int (i2c_msg* messages, uint32_t count)>;
    void addI2cDevice (int bus, uint16_t address, I2cDevice device);

    struct I2cMessage
    {
        uint16_t address = 0, flags = 0;
        std::vector<uint8_t> bytes; // written, or read as the device answered
    };
    struct I2cTransfer
    {
        int bus = 0;
        std::vector<I2cMessage> messages;
    };
    std::vector<I2cTransfer> getI2cTransfers() const;

    /** A block device node and its size in bytes. */
    void addBlockDevice (const std::string& path, uint64_t bytes);

    /** What sysinfo answers, and a call made on the caller's thread just before
        it answers (a test limits the address space there). */
    struct sysinfo systemInfo
    {
    };
    std::function<void()> onGetSystemInfo;

    /** What sysconf answers for the physical pages and the page size (other
        names have no value). */
    long physicalPages = 2048l << 8;
    long pageSize = 4096;

    //==========================================================================
    /** Allocations (and reallocations) of more bytes than this fail, as in an
        exhausted address space. */
    size_t memoryLimit = std::numeric_limits<size_t>::max();
    /** Every size asked for, in order, and the blocks not yet freed. */
    std::vector<size_t> getAllocationRequests() const;
    int getNumLiveBlocks() const;

    /** A memory cell that does not hold its value: in every block with at
        least two whole pages from the byte at offset (counted from the block's
        first whole page) on, that bit of that byte falls to value whenever the
        code goes on from the byte's page to the next page.  Works through page
        protection and a SIGSEGV handler, installed until the calls end. */
    void setStuckBit (size_t offset, int bit, bool value);

    //==========================================================================
    /** Descriptors still open, and calls made on one that was not open. */
    int getNumOpenDescriptors() const;
    int getNumMisusedDescriptors() const;

    //==========================================================================
    int Open (const char* path, int flags) override;
    int Close (int fd) override;
    int GetVariableScreenInfo (int fd, fb_var_screeninfo& info) override;
    int GetFixedScreenInfo (int fd, fb_fix_screeninfo& info) override;
    int MapShared (int fd, std::size_t length, void*& address) override;
    int Unmap (void* address, std::size_t length) override;
    int ReadRtcTime (int fd, rtc_time& time) override;
    int SetRtcTime (int fd, const rtc_time& time) override;
    int TransferI2c (int fd, i2c_msg* messages, std::uint32_t count) override;
    int GetBlockDeviceSize (int fd, std::uint64_t& bytes) override;
    int GetSystemInfo (struct sysinfo& info) override;
    int GetSystemConfiguration (int name, long& value) override;
    void* AllocateMemory (std::size_t size) override;
    void* ReallocateMemory (void* block, std::size_t size) override;
    void FreeMemory (void* block) override;

private:
    enum class Kind
    {
        frameBuffer,
        rtc,
        i2c,
        block
    };

    struct Descriptor
    {
        Kind kind;
        std::string path;
        int bus = 0;
    };

    /** The open descriptor of that kind, else null after counting the misuse. */
    const Descriptor* find (int fd);
    /** 0 when the call on that descriptor of that kind goes on, else its negative error number. */
    int check (int fd, Kind kind, Call call);

    mutable std::mutex lock;
    std::map<int, Descriptor> descriptors;
    int numMisused = 0;
    std::map<void*, size_t> mappings;
    std::map<std::pair<int, uint16_t>, I2cDevice> i2cDevices;
    std::vector<I2cTransfer> i2cTransfers;
    std::map<std::string, uint64_t> blockDevices;
    std::vector<size_t> allocationRequests;
    std::map<void*, size_t> liveBlocks;
    bool stuckBitSet = false;
};

} // namespace Sim
