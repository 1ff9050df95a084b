#include "Panel/Engine/VB05Common/Platform/VB05Peripherals.h"

#include "Panel/Engine/VB05Common/Platform/DeviceCalls.h"
#include "sim/SimDeviceCalls.h"

#include "tests/Panel/Engine/VB05Common/Platform/PlatformTestSupport.h"
#include "tests/support/CaptureStderr.h"

#include <cerrno>
#include <cmath>
#include <string>

namespace
{
using String = Vx::StringT<char, unsigned short>;

constexpr char kBacklight[] = "/sys/devices/platform/mipi-backlight/backlight/mipi-backlight/brightness";

class PeripheralsTest : public VxTest::PlatformTest
{
protected:
    Sim::SimDeviceCalls mCalls;
    Vx::VB05::DeviceCalls::Scoped mScope{mCalls};
};

TEST_F(PeripheralsTest, TheClockRoundTripsThroughTheDevicesOwnRecord)
{
    mCalls.rtcTime = rtc_time{};
    mCalls.rtcTime.tm_sec = 5;
    mCalls.rtcTime.tm_min = 6;
    mCalls.rtcTime.tm_hour = 7;
    mCalls.rtcTime.tm_mday = 8;
    mCalls.rtcTime.tm_mon = 0;
    mCalls.rtcTime.tm_year = 124;
    Vx::VB05::RTCTime time{};
    ASSERT_TRUE(Vx::VB05::ReadRTC(time));
    EXPECT_EQ(time.second, 5);
    EXPECT_EQ(time.minute, 6);
    EXPECT_EQ(time.hour, 7);
    EXPECT_EQ(time.day, 8);
    EXPECT_EQ(time.month, 1);
    EXPECT_EQ(time.year, 2024);

    mCalls.rtcTime = rtc_time{};
    time.month = 12;
    ASSERT_TRUE(Vx::VB05::WriteRTC(time));
    EXPECT_EQ(mCalls.rtcTime.tm_mon, 11);
    EXPECT_EQ(mCalls.rtcTime.tm_year, 124);
    EXPECT_EQ(mCalls.rtcTime.tm_mday, 8);
    EXPECT_EQ(mCalls.rtcTime.tm_wday, 0);
    EXPECT_EQ(mCalls.rtcTime.tm_yday, 0);

    // A failing ioctl fails, and the device is closed on every path.
    mCalls.faults.failNext(Sim::SimDeviceCalls::Call::readRtcTime, EIO);
    EXPECT_FALSE(Vx::VB05::ReadRTC(time));
    mCalls.faults.failNext(Sim::SimDeviceCalls::Call::setRtcTime, EINVAL);
    EXPECT_FALSE(Vx::VB05::WriteRTC(time));
    mCalls.rtcPresent = false;
    EXPECT_FALSE(Vx::VB05::ReadRTC(time));
    EXPECT_FALSE(Vx::VB05::WriteRTC(time));
    EXPECT_EQ(mCalls.getNumOpenDescriptors(), 0);
}

TEST_F(PeripheralsTest, EveryRadioIsUnblockedAndFailuresDoNotStopTheOthers)
{
    EXPECT_FALSE(Vx::VB05::SetRFKillSoftBlock(0)); // no rfkill class at all
    MakeSystemDirectory("/sys/class/rfkill");
    EXPECT_TRUE(Vx::VB05::SetRFKillSoftBlock(0)); // no radios: nothing to do

    WriteSystemFile("/sys/devices/radio0/soft", "1");
    std::filesystem::create_directory_symlink(TreePath("/sys/devices/radio0"), TreePath("/sys/class/rfkill/rfkill0"));
    MakeSystemDirectory("/sys/class/rfkill/rfkill1");
    WriteSystemFile("/sys/class/rfkill/rfkill1/soft", "1");
    WriteSystemFile("/sys/class/rfkill/notaradio", "");

    Vx::StringArrayT<char, unsigned short> entries;
    ASSERT_TRUE(Vx::VB05::ListRFKillEntries(entries));
    EXPECT_EQ(entries.GetCount(), 2u);
    EXPECT_TRUE(Vx::VB05::SetRFKillSoftBlock(0));
    EXPECT_EQ(ReadSystemFile("/sys/devices/radio0/soft"), "0");
    EXPECT_EQ(ReadSystemFile("/sys/class/rfkill/rfkill1/soft"), "0");

    // A switch that refuses the write: the others are still set, the result is false.
    std::filesystem::remove(TreePath("/sys/devices/radio0/soft"));
    std::filesystem::create_symlink("/dev/full", TreePath("/sys/devices/radio0/soft"));
    EXPECT_FALSE(Vx::VB05::SetRFKillSoftBlock(1));
    EXPECT_EQ(ReadSystemFile("/sys/class/rfkill/rfkill1/soft"), "1");
}

TEST_F(PeripheralsTest, TheBacklightRangeFollowsTheModelAndRevision)
{
    struct Case
    {
        const char* compatible;
        const char* revision;
        int upper;
        const char* level;        // read
        std::uint32_t percent;    // from it
        std::uint32_t setPercent; // then set
        const char* written;
    };
    const Case cases[] = {
        {"korvatek,ks56", "C", 120, "60", 50, 50, "60"},
        {"korvatek,ks56", "B", 120, "120", 100, 100, "120"},
        {"korvatek,gu74", "D", 227, "227", 100, 50, "114"},
        {"korvatek,ks5e", "C", 95, "95", 100, 100, "95"},
        {"korvatek,ks52", "C", 255, "0", 0, 100, "255"},
        {"something,else", "H", 255, "128", 50, 1000, "255"},
        // Beyond every range, and far beyond: limited to 255 without overflowing.
        {"korvatek,ks56", "C", 120, "240", 200, 4000000000u, "255"},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(std::string(test.compatible) + " " + test.revision + " " + test.level);
        WriteSystemFile("/sys/firmware/devicetree/base/compatible", std::string(test.compatible) + '\0');
        WriteSystemFile("/sys/firmware/devicetree/base/korvatek,vb05-pcb-rev", std::string(test.revision) + '\0');
        std::int32_t lower = -1;
        std::int32_t upper = -1;
        Vx::VB05::GetBacklightRange(lower, upper);
        EXPECT_EQ(lower, 0);
        EXPECT_EQ(upper, test.upper);
        WriteSystemFile(kBacklight, std::string(test.level) + "\n");
        std::uint32_t percent = 12345;
        EXPECT_TRUE(Vx::VB05::GetBacklightPercent(percent));
        EXPECT_EQ(percent, test.percent);
        EXPECT_TRUE(Vx::VB05::SetBacklightPercent(test.setPercent));
        EXPECT_EQ(ReadSystemFile(kBacklight), test.written);
    }
    // A negative level is no level.
    WriteSystemFile(kBacklight, "-1\n");
    std::uint32_t percent = 7;
    EXPECT_FALSE(Vx::VB05::GetBacklightPercent(percent));
    EXPECT_EQ(percent, 7u);
    std::filesystem::remove(TreePath(kBacklight));
    EXPECT_FALSE(Vx::VB05::GetBacklightPercent(percent));
}

TEST_F(PeripheralsTest, BatteryAttributesReadAsValuesOrTexts)
{
    const std::string battery = "/sys/class/power_supply/sbs-3-000b/";
    String text;
    float value = 0;
    String unit;
    EXPECT_FALSE(Vx::VB05::GetBatteryText(Vx::VB05::BATTERY_STATUS, text)); // no battery

    WriteSystemFile(battery + "capacity", "87\n");
    WriteSystemFile(battery + "voltage_now", "12600000\n");
    WriteSystemFile(battery + "temp", "296\n");
    WriteSystemFile(battery + "cycle_count", "3\n");
    WriteSystemFile(battery + "status", "Charging\n");
    WriteSystemFile(battery + "present", "1\n");
    WriteSystemFile(battery + "time_to_empty_avg", "7260\n");
    WriteSystemFile(battery + "time_to_full_avg", "3900\n");

    struct ValueCase
    {
        std::int32_t attribute;
        float value;
        const char* unit;
    };
    for (const ValueCase& test :
         {ValueCase{Vx::VB05::BATTERY_CAPACITY, 87.0f, "%"}, ValueCase{Vx::VB05::BATTERY_VOLTAGE_NOW, 12.6f, "V"},
          ValueCase{Vx::VB05::BATTERY_TEMP, 29.6f, "C"}, ValueCase{Vx::VB05::BATTERY_CYCLE_COUNT, 3.0f, ""}})
    {
        SCOPED_TRACE(test.attribute);
        unit = "stale";
        EXPECT_TRUE(Vx::VB05::GetBatteryValue(test.attribute, value, unit));
        EXPECT_FLOAT_EQ(value, test.value);
        EXPECT_STREQ(unit.GetCString(), test.unit);
        EXPECT_FALSE(Vx::VB05::GetBatteryText(test.attribute, text));
    }
    EXPECT_FALSE(Vx::VB05::GetBatteryValue(Vx::VB05::BATTERY_STATUS, value, unit));

    struct TextCase
    {
        std::int32_t attribute;
        const char* text;
    };
    for (const TextCase& test :
         {TextCase{Vx::VB05::BATTERY_STATUS, "Charging"}, TextCase{Vx::VB05::BATTERY_PRESENT, "Yes"},
          TextCase{Vx::VB05::BATTERY_TIME_TO_EMPTY_AVG, "2:1"}, TextCase{Vx::VB05::BATTERY_TIME_TO_FULL_AVG, "1:5"}})
    {
        SCOPED_TRACE(test.attribute);
        EXPECT_TRUE(Vx::VB05::GetBatteryText(test.attribute, text));
        EXPECT_STREQ(text.GetCString(), test.text);
    }
    for (const char* present : {"0\n", ""})
    {
        WriteSystemFile(battery + "present", present);
        EXPECT_TRUE(Vx::VB05::GetBatteryText(Vx::VB05::BATTERY_PRESENT, text));
        EXPECT_STREQ(text.GetCString(), "No");
    }

    String path;
    EXPECT_TRUE(Vx::VB05::GetBatteryAttributePath(22, path));
    EXPECT_STREQ(path.GetCString(), "/sys/class/power_supply/sbs-3-000b/voltage_now");
    EXPECT_FALSE(Vx::VB05::GetBatteryAttributePath(23, path));
    EXPECT_FALSE(Vx::VB05::GetBatteryAttributePath(-1, path));
    EXPECT_FALSE(Vx::VB05::GetBatteryText(-1, text));
    EXPECT_FALSE(Vx::VB05::GetBatteryValue(23, value, unit));
}

TEST_F(PeripheralsTest, SuperCapacitorAndTouchDriver)
{
    std::int32_t raw = 5;
    EXPECT_FALSE(Vx::VB05::SuperCapExists());
    EXPECT_FALSE(Vx::VB05::GetSuperCapVoltageRaw(raw));
    EXPECT_EQ(raw, 0);
    WriteSystemFile("/sys/bus/iio/devices/iio:device0/in_voltage0_raw", "512\n");
    EXPECT_TRUE(Vx::VB05::SuperCapExists());
    EXPECT_TRUE(Vx::VB05::GetSuperCapVoltageRaw(raw));
    EXPECT_EQ(raw, 512);
    EXPECT_EQ(Vx::VB05::GetSuperCapFullScaleRaw(), 670);

    const std::string driver = "/sys/bus/i2c/drivers/ili2116_i2c/";
    {
        VxTest::CaptureStderr capture;
        EXPECT_FALSE(Vx::VB05::RebindTouchDriver());
        EXPECT_EQ(capture.Finish(), "Failed to unbind driver: " + driver + "unbind, 4-0041");
    }
    WriteSystemFile(driver + "unbind", "");
    // A driver that refuses the device, as the kernel does when the write reaches it.
    std::filesystem::create_symlink("/dev/full", TreePath(driver + "bind"));
    {
        VxTest::CaptureStderr capture;
        EXPECT_FALSE(Vx::VB05::RebindTouchDriver());
        EXPECT_EQ(capture.Finish(), "Failed to bind driver: " + driver + "bind, 4-0041");
    }
    std::filesystem::remove(TreePath(driver + "bind"));
    WriteSystemFile(driver + "bind", "");
    EXPECT_TRUE(Vx::VB05::RebindTouchDriver());
    EXPECT_EQ(ReadSystemFile(driver + "unbind"), "4-0041");
    EXPECT_EQ(ReadSystemFile(driver + "bind"), "4-0041");
}
} // namespace
