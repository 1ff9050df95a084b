#include "Panel/Engine/VB05Common/Platform/DeviceCalls.h"

#include "Panel/Engine/VB05Common/Platform/DeviceMemory.h"
#include "sim/SimDeviceCalls.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <vector>

namespace
{
using Vx::VB05::DeviceCalls;
using Vx::VB05::UniqueDeviceDescriptor;
using Vx::VB05::UniqueDeviceMapping;
using Call = Sim::SimDeviceCalls::Call;

// The device's own calls, on what this machine has: errors come back as
// negative error numbers.  Only requests that read are made, and only on
// /dev/null, never on a real clock or bus.
TEST(DeviceCalls, TheDevicesOwnCallsAnswerWithNegativeErrorNumbers)
{
    DeviceCalls& calls = DeviceCalls::GetDeviceCalls();
    EXPECT_EQ(&DeviceCalls::Get(), &calls);
    EXPECT_EQ(calls.Open("/dev/vx-no-such-device", O_RDWR), -ENOENT);
    EXPECT_EQ(calls.Close(-1), -EBADF);

    UniqueDeviceDescriptor null(calls, calls.Open("/dev/null", O_RDONLY));
    ASSERT_TRUE(null.IsValid());
    rtc_time time{};
    EXPECT_EQ(calls.ReadRtcTime(null.Get(), time), -ENOTTY);
    fb_var_screeninfo screen{};
    EXPECT_EQ(calls.GetVariableScreenInfo(null.Get(), screen), -ENOTTY);
    std::uint64_t bytes = 0;
    EXPECT_EQ(calls.GetBlockDeviceSize(null.Get(), bytes), -ENOTTY);
    EXPECT_EQ(null.Reset(), 0);
    EXPECT_FALSE(null.IsValid());

    struct sysinfo info
    {
    };
    EXPECT_EQ(calls.GetSystemInfo(info), 0);
    EXPECT_GT(info.totalram, 0u);

    void* block = Vx::VB05::GetDeviceMemoryAllocator().Calloc(3, 5);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::memcmp(block, std::vector<char>(15, 0).data(), 15), 0);
    block = Vx::VB05::GetDeviceMemoryAllocator().Realloc(block, 100);
    ASSERT_NE(block, nullptr);
    Vx::VB05::GetDeviceMemoryAllocator().Free(block);
    EXPECT_EQ(Vx::VB05::GetDeviceMemoryAllocator().Calloc(SIZE_MAX / 2, 4), nullptr);
}

TEST(DeviceCalls, AScopePutsTheSimulatedDevicesBehindTheSeamUntilItEnds)
{
    Sim::SimDeviceCalls outer, inner;
    {
        const DeviceCalls::Scoped outerScope(outer);
        EXPECT_EQ(&DeviceCalls::Get(), &outer);
        {
            const DeviceCalls::Scoped innerScope(inner);
            EXPECT_EQ(&DeviceCalls::Get(), &inner);
            void* block = Vx::VB05::GetDeviceMemoryAllocator().Malloc(64);
            EXPECT_EQ(inner.getNumLiveBlocks(), 1);
            Vx::VB05::GetDeviceMemoryAllocator().Free(block);
            EXPECT_EQ(inner.getNumLiveBlocks(), 0);
        }
        EXPECT_EQ(&DeviceCalls::Get(), &outer);
    }
    EXPECT_EQ(&DeviceCalls::Get(), &DeviceCalls::GetDeviceCalls());
}

TEST(SimDeviceCalls, TheFramebufferMapsItsMemoryAndEveryCallCanFail)
{
    Sim::SimDeviceCalls sim;
    {
        UniqueDeviceDescriptor fb(sim, sim.Open("/dev/fb0", O_RDWR));
        ASSERT_TRUE(fb.IsValid());
        fb_var_screeninfo screen{};
        fb_fix_screeninfo fixed{};
        sim.faults.failNext(Call::getVariableScreenInfo, EIO);
        EXPECT_EQ(sim.GetVariableScreenInfo(fb.Get(), screen), -EIO);
        ASSERT_EQ(sim.GetVariableScreenInfo(fb.Get(), screen), 0);
        ASSERT_EQ(sim.GetFixedScreenInfo(fb.Get(), fixed), 0);
        EXPECT_EQ(screen.xres, 800u);
        EXPECT_EQ(screen.yres_virtual, 1280u);
        EXPECT_EQ(fixed.line_length, 3200u);

        const std::size_t length = std::size_t{fixed.line_length} * screen.yres_virtual;
        void* address = nullptr;
        EXPECT_EQ(sim.MapShared(fb.Get(), length + 1, address), -EINVAL);
        ASSERT_EQ(sim.MapShared(fb.Get(), length, address), 0);
        UniqueDeviceMapping mapping(sim, address, length);
        static_cast<std::uint8_t*>(address)[length - 1] = 0x5A;
        EXPECT_EQ(sim.frameBufferMemory[length - 1], 0x5A);
        EXPECT_EQ(sim.getNumMappings(), 1);
        // A clock request on the framebuffer is not one it knows.
        rtc_time time{};
        EXPECT_EQ(sim.ReadRtcTime(fb.Get(), time), -ENOTTY);
    }
    // The holders closed and unmapped through the calls they came from.
    EXPECT_EQ(sim.getNumMappings(), 0);
    EXPECT_EQ(sim.getNumOpenDescriptors(), 0);
    EXPECT_EQ(sim.getNumMisusedDescriptors(), 0);

    rtc_time time{};
    EXPECT_EQ(sim.ReadRtcTime(42, time), -EBADF);
    EXPECT_EQ(sim.getNumMisusedDescriptors(), 1);
    sim.frameBufferPresent = false;
    EXPECT_EQ(sim.Open("/dev/fb0", O_RDWR), -ENOENT);
    sim.faults.failNext(Call::open, EACCES);
    EXPECT_EQ(sim.Open("/dev/rtc", O_RDONLY), -EACCES);
}

TEST(SimDeviceCalls, ClockI2cAndBlockDevicesAnswerAsTheDevicesWould)
{
    Sim::SimDeviceCalls sim;
    sim.addBlockDevice("/dev/mmcblk0", std::uint64_t{15} << 30);
    std::vector<std::uint8_t> status(16, 0);
    status[4] = 0x02;
    sim.addI2cDevice(1, 0x2D, [&](i2c_msg* messages, std::uint32_t count) {
        for (std::uint32_t i = 0; i < count; ++i)
        {
            if ((messages[i].flags & I2C_M_RD) != 0)
                std::memcpy(messages[i].buf, status.data(), std::min<std::size_t>(messages[i].len, status.size()));
        }
        return 0;
    });

    UniqueDeviceDescriptor rtc(sim, sim.Open("/dev/rtc", O_RDWR));
    rtc_time time{};
    ASSERT_EQ(sim.ReadRtcTime(rtc.Get(), time), 0);
    EXPECT_EQ(time.tm_year, 124);
    time.tm_mon = 6;
    ASSERT_EQ(sim.SetRtcTime(rtc.Get(), time), 0);
    EXPECT_EQ(sim.rtcTime.tm_mon, 6);

    UniqueDeviceDescriptor block(sim, sim.Open("/dev/mmcblk0", O_RDONLY));
    std::uint64_t bytes = 0;
    ASSERT_EQ(sim.GetBlockDeviceSize(block.Get(), bytes), 0);
    EXPECT_EQ(bytes, std::uint64_t{15} << 30);

    EXPECT_EQ(sim.Open("/dev/i2c-2", O_RDWR), -ENOENT);
    UniqueDeviceDescriptor bus(sim, sim.Open("/dev/i2c-1", O_RDWR));
    ASSERT_TRUE(bus.IsValid());
    std::uint8_t command[] = {0x00, 0x00};
    std::uint8_t answer[16] = {};
    i2c_msg messages[] = {{0x2D, 0, 2, command}, {0x2D, I2C_M_RD, 16, answer}};
    ASSERT_EQ(sim.TransferI2c(bus.Get(), messages, 2), 0);
    EXPECT_EQ(answer[4], 0x02);
    i2c_msg nobody[] = {{0x50, 0, 2, command}};
    EXPECT_EQ(sim.TransferI2c(bus.Get(), nobody, 1), -ENXIO);

    const auto transfers = sim.getI2cTransfers();
    ASSERT_EQ(transfers.size(), 1u);
    EXPECT_EQ(transfers[0].bus, 1);
    ASSERT_EQ(transfers[0].messages.size(), 2u);
    EXPECT_EQ(transfers[0].messages[0].bytes, (std::vector<std::uint8_t>{0x00, 0x00}));
    EXPECT_EQ(transfers[0].messages[1].bytes, status);
}
} // namespace
