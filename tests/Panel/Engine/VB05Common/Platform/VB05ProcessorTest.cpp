#include "Panel/Engine/VB05Common/Platform/VB05Processor.h"

#include "tests/Panel/Engine/VB05Common/Platform/PlatformTestSupport.h"
#include "tests/support/CaptureStderr.h"

#include <cstring>
#include <string>

namespace
{
using String = Vx::StringT<char, unsigned short>;

class ProcessorTest : public VxTest::PlatformTest
{
protected:
    static std::string Line(const char* label, std::uint64_t base)
    {
        std::string line = label;
        for (std::uint64_t i = 0; i < 10; ++i)
            line += " " + std::to_string(base + i);
        return line + "\n";
    }
};

TEST_F(ProcessorTest, LoadDeltasComeFromTwoReadsOfProcStat)
{
    const std::string tail = "intr 1 2 3\nctxt 99\n";
    WriteSystemFile("/proc/stat", Line("cpu ", 1000) + Line("cpu0", 100) + Line("cpu1", 200) + Line("cpu2", 300) +
                                      Line("cpu3", 400) + tail);
    Vx::VB05::CPUStat stat;
    stat.Read();
    // A new sampler starts at zero: the first read gives the counts since boot.
    Vx::VB05::CPUTimes times{};
    ASSERT_TRUE(stat.GetCPUDelta(2, times));
    EXPECT_EQ(times.user, 300u);
    EXPECT_EQ(times.softirq, 306u);

    // One second later on an idle system: 100 ticks, 97 of them idle.
    WriteSystemFile("/proc/stat", "cpu  1001 1002 1003 1100 1004 1005 1006 1007 1008 1009\n"
                                  "cpu0 100 101 102 103 104 105 106 107 108 109\n"
                                  "cpu1 201 202 202 300 204 205 207 207 208 209\n"
                                  "cpu2 300 301 302 303 304 305 306 307 308 309\n"
                                  "cpu3 400 401 402 403 404 405 406 407 408 409\n" +
                                      tail);
    stat.Read();
    ASSERT_TRUE(stat.GetCPUDelta(1, times));
    EXPECT_EQ(times.user, 1u);
    EXPECT_EQ(times.idle, 97u);
    EXPECT_EQ(times.softirq, 1u);
    EXPECT_EQ(times.kernel, 1u);
    EXPECT_EQ(times.total, 100u);
    EXPECT_EQ(100 - 100 * times.idle / times.total, 3u);
    ASSERT_TRUE(stat.GetCPUDelta(0, times));
    EXPECT_EQ(times.total, 0u);
    EXPECT_EQ(stat.delta.user, 1u);
    EXPECT_EQ(stat.delta.idle, 97u);
    EXPECT_EQ(stat.delta.total, 100u);

    times.user = 77;
    EXPECT_FALSE(stat.GetCPUDelta(4, times));
    EXPECT_EQ(times.user, 77u);
}

TEST_F(ProcessorTest, UnexpectedCoresFewerCoresAndGarbageLeaveTheSamplerAlone)
{
    WriteSystemFile("/proc/stat", Line("cpu ", 1000) + Line("cpu0", 100) + Line("cpu7", 700) + Line("cpu1", 200));
    Vx::VB05::CPUStat stat;
    VxTest::CaptureStderr capture;
    stat.Read();
    const std::string err = capture.Finish();
    EXPECT_NE(err.find("Unexpected CPU index: 7"), std::string::npos) << err;
    Vx::VB05::CPUTimes times{};
    ASSERT_TRUE(stat.GetCPUDelta(1, times));
    EXPECT_EQ(times.user, 200u);
    for (std::uint32_t core = 2; core < 4; ++core)
    {
        ASSERT_TRUE(stat.GetCPUDelta(core, times));
        EXPECT_EQ(times.total, 0u) << core;
    }

    // Two cores, then other lines: they are not taken for cores.
    WriteSystemFile("/proc/stat", Line("cpu ", 2000) + Line("cpu0", 150) + "intr 5 5 5 5 5 5 5 5 5 5\n");
    stat.Read();
    ASSERT_TRUE(stat.GetCPUDelta(0, times));
    EXPECT_EQ(times.user, 50u);
    ASSERT_TRUE(stat.GetCPUDelta(1, times));
    EXPECT_EQ(times.user, 200u);
    EXPECT_EQ(stat.previous.user, 2000u);

    // Garbage: signs, letters, too few counters, numbers beyond 64 bits, nothing.
    const Vx::VB05::CPUStat before = stat;
    for (const char* garbage :
         {"cpu -1 2 3 4 5 6 7\ncpu0 -5 1 1 1 1 1 1\n", "cpu a b c\ncpu0 x\ncpux 1 2 3 4 5 6 7\n",
          "cpu 1 2 3\ncpu0 1 2\n", "cpu 99999999999999999999 1 1 1 1 1 1\ncpu0 1 1 1 1 1 1 99999999999999999999\n", "",
          "\n\n\n", "cpu0 1 2 3 4 5 6 7\n"})
    {
        SCOPED_TRACE(garbage);
        WriteSystemFile("/proc/stat", garbage);
        stat.Read();
        EXPECT_EQ(std::memcmp(&stat, &before, sizeof stat), 0);
    }
    std::filesystem::remove(TreePath("/proc/stat"));
    stat.Read();
    EXPECT_EQ(std::memcmp(&stat, &before, sizeof stat), 0);
}

TEST_F(ProcessorTest, ClocksAndTemperaturesAreReadInTheirUnits)
{
    double value = -1;
    EXPECT_FALSE(Vx::VB05::GetCPUFrequency(0, value));
    EXPECT_FALSE(Vx::VB05::GetThermalZoneTemperature(0, value));
    EXPECT_EQ(value, -1);
    WriteSystemFile("/sys/devices/system/cpu/cpu3/cpufreq/scaling_cur_freq", "1416000\n");
    WriteSystemFile("/sys/kernel/debug/clk/ddrphy/clk_rate", "933000000\n");
    WriteSystemFile("/sys/class/devfreq/ffa30000.gpu/cur_freq", "400000000\n");
    WriteSystemFile("/sys/class/thermal/thermal_zone0/temp", "45625\n");
    EXPECT_TRUE(Vx::VB05::GetCPUFrequency(3, value));
    EXPECT_EQ(value, 1416000.0);
    EXPECT_TRUE(Vx::VB05::GetDDRClockRate(value));
    EXPECT_EQ(value, 933000000.0);
    EXPECT_TRUE(Vx::VB05::GetGPUFrequency(value));
    EXPECT_EQ(value, 400000000.0);
    EXPECT_TRUE(Vx::VB05::GetThermalZoneTemperature(0, value));
    EXPECT_DOUBLE_EQ(value, 45.625);
}

TEST_F(ProcessorTest, DisablingAZoneAlsoStopsItsCoolingDevice)
{
    for (const char* file :
         {"/sys/class/thermal/thermal_zone1/mode", "/sys/class/thermal/thermal_zone2/mode",
          "/sys/class/thermal/cooling_device0/cur_state", "/sys/class/thermal/cooling_device1/cur_state"})
        WriteSystemFile(file, "untouched");
    {
        VxTest::CaptureStderr capture;
        EXPECT_TRUE(Vx::VB05::SetThermalZoneMode(2, Vx::VB05::THERMAL_ZONE_MODE_DISABLED));
        EXPECT_EQ(capture.Finish(), "Writing \"disabled\" to /sys/class/thermal/thermal_zone2/mode\n"
                                    "Writing \"0\" to /sys/class/thermal/cooling_device1/cur_state\n");
    }
    EXPECT_EQ(ReadSystemFile("/sys/class/thermal/thermal_zone2/mode"), "disabled");
    EXPECT_EQ(ReadSystemFile("/sys/class/thermal/cooling_device1/cur_state"), "0");
    EXPECT_EQ(ReadSystemFile("/sys/class/thermal/cooling_device0/cur_state"), "untouched");

    WriteSystemFile("/sys/class/thermal/cooling_device0/cur_state", "3");
    {
        VxTest::CaptureStderr capture;
        EXPECT_TRUE(Vx::VB05::SetThermalZoneModeText(1, String("enabled")));
        capture.Finish();
    }
    EXPECT_EQ(ReadSystemFile("/sys/class/thermal/thermal_zone1/mode"), "enabled");
    EXPECT_EQ(ReadSystemFile("/sys/class/thermal/cooling_device0/cur_state"), "3");

    Vx::VB05::ThermalZoneMode mode = Vx::VB05::THERMAL_ZONE_MODE_DISABLED;
    EXPECT_TRUE(Vx::VB05::GetThermalZoneModeValue(1, mode));
    EXPECT_EQ(mode, Vx::VB05::THERMAL_ZONE_MODE_ENABLED);
    String text;
    EXPECT_TRUE(Vx::VB05::DescribeThermalZoneModes(text));
    EXPECT_STREQ(text.GetCString(), "zone1: enabled\nzone2: disabled");

    WriteSystemFile("/sys/class/thermal/thermal_zone1/mode", "step_wise");
    EXPECT_FALSE(Vx::VB05::GetThermalZoneModeValue(1, mode));
    EXPECT_EQ(mode, -1);
    EXPECT_FALSE(Vx::VB05::SetThermalZoneMode(1, 2));
    EXPECT_FALSE(Vx::VB05::GetThermalZoneModeName(-1, text));

    // Both zones are attempted even when the first fails.
    std::filesystem::remove(TreePath("/sys/class/thermal/thermal_zone1/mode"));
    MakeSystemDirectory("/sys/class/thermal/thermal_zone1/mode");
    {
        VxTest::CaptureStderr capture;
        EXPECT_FALSE(Vx::VB05::SetThermalZonesModeText(String("enabled")));
        capture.Finish();
    }
    EXPECT_EQ(ReadSystemFile("/sys/class/thermal/thermal_zone2/mode"), "enabled");
    EXPECT_FALSE(Vx::VB05::DescribeThermalZoneModes(text));
    EXPECT_STREQ(text.GetCString(), "zone1: \nzone2: enabled");
}

TEST_F(ProcessorTest, OnlyZonesOneAndTwoAreKnown)
{
    String text;
    Vx::VB05::ThermalZoneMode mode{};
    for (int call = 0; call < 3; ++call)
    {
        VxTest::CaptureStderr capture;
        const bool result = call == 0   ? Vx::VB05::GetThermalZoneMode(3, text)
                            : call == 1 ? Vx::VB05::SetThermalZoneModeText(3, String("disabled"))
                                        : Vx::VB05::GetThermalZoneModeValue(0, mode);
        EXPECT_FALSE(result);
        EXPECT_EQ(capture.Finish(), call == 2 ? "Unknown zone: 0" : "Unknown zone: 3");
    }
}
} // namespace
