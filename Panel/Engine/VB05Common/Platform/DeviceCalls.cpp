// The device's own calls: each forwards to the system call it names and turns
// -1 with errno into a negative error number.  Nothing else happens here.

#include "Panel/Engine/VB05Common/Platform/DeviceCalls.h"

#include "VxFramework/ObjectBase/NoDestructor.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/i2c-dev.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace Vx::VB05
{
namespace
{
int ResultOf(int result)
{
    return result < 0 ? -errno : 0;
}

class KernelDeviceCalls final : public DeviceCalls
{
public:
    int Open(const char* path, int flags) override
    {
        const int fd = ::open(path, flags | O_CLOEXEC);
        return fd >= 0 ? fd : -errno;
    }

    int Close(int fd) override { return ResultOf(::close(fd)); }

    int GetVariableScreenInfo(int fd, fb_var_screeninfo& info) override
    {
        return ResultOf(::ioctl(fd, FBIOGET_VSCREENINFO, &info));
    }

    int GetFixedScreenInfo(int fd, fb_fix_screeninfo& info) override
    {
        return ResultOf(::ioctl(fd, FBIOGET_FSCREENINFO, &info));
    }

    int MapShared(int fd, std::size_t length, void*& address) override
    {
        void* const mapped = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (mapped == MAP_FAILED)
        {
            address = nullptr;
            return -errno;
        }
        address = mapped;
        return 0;
    }

    int Unmap(void* address, std::size_t length) override { return ResultOf(::munmap(address, length)); }

    int ReadRtcTime(int fd, rtc_time& time) override { return ResultOf(::ioctl(fd, RTC_RD_TIME, &time)); }

    int SetRtcTime(int fd, const rtc_time& time) override { return ResultOf(::ioctl(fd, RTC_SET_TIME, &time)); }

    int TransferI2c(int fd, i2c_msg* messages, std::uint32_t count) override
    {
        i2c_rdwr_ioctl_data transfer{messages, count};
        return ResultOf(::ioctl(fd, I2C_RDWR, &transfer));
    }

    int GetBlockDeviceSize(int fd, std::uint64_t& bytes) override
    {
        return ResultOf(::ioctl(fd, BLKGETSIZE64, &bytes));
    }

    int GetSystemInfo(struct sysinfo& info) override { return ResultOf(::sysinfo(&info)); }

    int GetSystemConfiguration(int name, long& value) override
    {
        errno = 0;
        const long answer = ::sysconf(name);
        if (answer == -1)
            // No errno: the system has no value for the name.
            return errno != 0 ? -errno : -EINVAL;
        value = answer;
        return 0;
    }

    void* AllocateMemory(std::size_t size) override { return std::malloc(size); }
    void* ReallocateMemory(void* block, std::size_t size) override { return std::realloc(block, size); }
    void FreeMemory(void* block) override { std::free(block); }
};
} // namespace

DeviceCalls& DeviceCalls::GetDeviceCalls()
{
    static NoDestructor<KernelDeviceCalls> calls;
    return *calls;
}
} // namespace Vx::VB05
