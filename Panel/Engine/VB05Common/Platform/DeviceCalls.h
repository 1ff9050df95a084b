#pragma once

// The platform layer's way to the devices that files cannot stand in for: the
// framebuffer, RTC and I2C ioctls, block-device sizes, sysinfo and sysconf,
// and the memory the RAM test checks.  Each call is as thin as the system call it names; the
// code above makes every decision.  The device runs the implementation over
// the real calls (DeviceCalls.cpp); the simulator's stand-in (sim/
// SimDeviceCalls) takes its place inside a DeviceCalls::Scoped.
//
// Calls that answer an int give 0 (or the descriptor asked for) on success and
// a negative error number on failure, never -1 with errno.

#include "JuceBackend/juce_linuxfb_ScopedSystemCalls.h"

#include <linux/fb.h>
#include <linux/i2c.h>
#include <linux/rtc.h>
#include <sys/sysinfo.h>

#include <cstddef>
#include <cstdint>
#include <utility>

namespace Vx::VB05
{
class DeviceCalls
{
public:
    virtual ~DeviceCalls() = default;

    // The calls in use: a scope's stand-in, else the device's own.
    static DeviceCalls& Get() { return juce::getSystemCalls<DeviceCalls>(); }
    // The device's own calls.
    static DeviceCalls& GetDeviceCalls();
    // The name the scope template asks for.
    static DeviceCalls& getDeviceCalls() { return GetDeviceCalls(); }

    using Scoped = juce::ScopedSystemCalls<DeviceCalls>;

    // A device node by its system path ("/dev/fb0", "/dev/rtc", "/dev/i2c-1",
    // a block device).
    virtual int Open(const char* path, int flags) = 0;
    virtual int Close(int fd) = 0;

    // FBIOGET_VSCREENINFO and FBIOGET_FSCREENINFO.
    virtual int GetVariableScreenInfo(int fd, fb_var_screeninfo& info) = 0;
    virtual int GetFixedScreenInfo(int fd, fb_fix_screeninfo& info) = 0;
    // A shared read-write mapping of length bytes of the device from offset 0.
    virtual int MapShared(int fd, std::size_t length, void*& address) = 0;
    virtual int Unmap(void* address, std::size_t length) = 0;

    // RTC_RD_TIME and RTC_SET_TIME.
    virtual int ReadRtcTime(int fd, rtc_time& time) = 0;
    virtual int SetRtcTime(int fd, const rtc_time& time) = 0;

    // I2C_RDWR: the messages as one transfer.  The buffers of read messages
    // (I2C_M_RD) are filled.
    virtual int TransferI2c(int fd, i2c_msg* messages, std::uint32_t count) = 0;

    // BLKGETSIZE64.
    virtual int GetBlockDeviceSize(int fd, std::uint64_t& bytes) = 0;

    // sysinfo(2), the record as the kernel fills it (sizes in mem_unit).
    virtual int GetSystemInfo(struct sysinfo& info) = 0;

    // sysconf(3) of the name (_SC_PHYS_PAGES, _SC_PAGESIZE).
    virtual int GetSystemConfiguration(int name, long& value) = 0;

    // malloc, realloc and free of the memory the RAM test checks.  Null when
    // the memory cannot be had.  A block is freed through the calls that
    // allocated it.
    virtual void* AllocateMemory(std::size_t size) = 0;
    virtual void* ReallocateMemory(void* block, std::size_t size) = 0;
    virtual void FreeMemory(void* block) = 0;
};

// Owns a descriptor that the calls opened and closes it through them.
class UniqueDeviceDescriptor
{
public:
    UniqueDeviceDescriptor() noexcept = default;
    // Takes a descriptor or a negative error number (which holds nothing).
    UniqueDeviceDescriptor(DeviceCalls& calls, int descriptor) noexcept
        : mCalls(&calls), mDescriptor(descriptor < 0 ? -1 : descriptor)
    {
    }
    ~UniqueDeviceDescriptor() { Reset(); }

    UniqueDeviceDescriptor(UniqueDeviceDescriptor&& other) noexcept
        : mCalls(other.mCalls), mDescriptor(std::exchange(other.mDescriptor, -1))
    {
    }
    UniqueDeviceDescriptor& operator=(UniqueDeviceDescriptor&& other) noexcept
    {
        if (this != &other)
        {
            Reset();
            mCalls = other.mCalls;
            mDescriptor = std::exchange(other.mDescriptor, -1);
        }
        return *this;
    }
    UniqueDeviceDescriptor(const UniqueDeviceDescriptor&) = delete;
    UniqueDeviceDescriptor& operator=(const UniqueDeviceDescriptor&) = delete;

    int Get() const noexcept { return mDescriptor; }
    bool IsValid() const noexcept { return mDescriptor >= 0; }

    // Closes now; 0, or the negative error number of the close.
    int Reset() noexcept
    {
        const int descriptor = std::exchange(mDescriptor, -1);
        return descriptor >= 0 ? mCalls->Close(descriptor) : 0;
    }

private:
    DeviceCalls* mCalls = nullptr;
    int mDescriptor = -1;
};

// Owns a mapping that the calls made and unmaps it through them.
class UniqueDeviceMapping
{
public:
    UniqueDeviceMapping() noexcept = default;
    UniqueDeviceMapping(DeviceCalls& calls, void* address, std::size_t length) noexcept
        : mCalls(&calls), mAddress(address), mLength(length)
    {
    }
    ~UniqueDeviceMapping() { Reset(); }

    UniqueDeviceMapping(UniqueDeviceMapping&& other) noexcept
        : mCalls(other.mCalls), mAddress(std::exchange(other.mAddress, nullptr)), mLength(other.mLength)
    {
    }
    UniqueDeviceMapping& operator=(UniqueDeviceMapping&& other) noexcept
    {
        if (this != &other)
        {
            Reset();
            mCalls = other.mCalls;
            mAddress = std::exchange(other.mAddress, nullptr);
            mLength = other.mLength;
        }
        return *this;
    }
    UniqueDeviceMapping(const UniqueDeviceMapping&) = delete;
    UniqueDeviceMapping& operator=(const UniqueDeviceMapping&) = delete;

    void* Get() const noexcept { return mAddress; }
    std::size_t GetLength() const noexcept { return mLength; }

    // Unmaps now; 0, or the negative error number of the unmap.
    int Reset() noexcept
    {
        void* const address = std::exchange(mAddress, nullptr);
        return address != nullptr ? mCalls->Unmap(address, mLength) : 0;
    }

private:
    DeviceCalls* mCalls = nullptr;
    void* mAddress = nullptr;
    std::size_t mLength = 0;
};
} // namespace Vx::VB05
