#include "Panel/Engine/VB05Common/Platform/VB05Peripherals.h"

#include "Panel/Engine/VB05Common/Platform/DeviceCalls.h"
#include "Panel/Engine/VB05Common/Platform/VB05Device.h"
#include "Panel/Engine/VB05Common/Platform/VB05Utilities.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>

namespace Vx::VB05
{
namespace
{
using String = StringT<char, unsigned short>;

constexpr char kRTCDevice[] = "/dev/rtc";
constexpr char kRFKillDirectory[] = "/sys/class/rfkill";
constexpr char kSuperCapVoltage[] = "/sys/bus/iio/devices/iio:device0/in_voltage0_raw";
constexpr char kBacklightLevel[] = "/sys/devices/platform/mipi-backlight/backlight/mipi-backlight/brightness";
constexpr char kBatteryDirectory[] = "/sys/class/power_supply/sbs-3-000b";
constexpr char kTouchUnbind[] = "/sys/bus/i2c/drivers/ili2116_i2c/unbind";
constexpr char kTouchBind[] = "/sys/bus/i2c/drivers/ili2116_i2c/bind";
constexpr char kTouchDevice[] = "4-0041";
constexpr std::int32_t kSuperCapFullScaleRaw = 670;
constexpr std::uint32_t kBacklightMaxRaw = 255;

enum class Reading
{
    None,
    AsRead,
    Scaled,
    Presence,
    Duration,
};

struct BatteryEntry
{
    const char* name;
    Reading numeric; // None, AsRead or Scaled
    float divisor;
    const char* unit;
    Reading text; // None, AsRead, Presence or Duration
};

constexpr BatteryEntry kBattery[] = {
    {"capacity", Reading::AsRead, 1.0f, "%", Reading::None},
    {"charge_full", Reading::Scaled, 1000000.0f, "Ah", Reading::None},
    {"charge_full_design", Reading::Scaled, 1000000.0f, "Ah", Reading::None},
    {"charge_now", Reading::Scaled, 1000000.0f, "Ah", Reading::None},
    {"current_now", Reading::Scaled, 1000000.0f, "A", Reading::None},
    {"cycle_count", Reading::AsRead, 1.0f, "", Reading::None},
    {"energy_full", Reading::Scaled, 1000000.0f, "Wh", Reading::None},
    {"energy_full_design", Reading::Scaled, 1000000.0f, "Wh", Reading::None},
    {"energy_now", Reading::Scaled, 1000000.0f, "Wh", Reading::None},
    {"health", Reading::None, 1.0f, "", Reading::AsRead},
    {"manufacturer", Reading::None, 1.0f, "", Reading::AsRead},
    {"model_name", Reading::None, 1.0f, "", Reading::AsRead},
    {"present", Reading::None, 1.0f, "", Reading::Presence},
    {"serial_number", Reading::None, 1.0f, "", Reading::AsRead},
    {"status", Reading::None, 1.0f, "", Reading::AsRead},
    {"technology", Reading::None, 1.0f, "", Reading::AsRead},
    {"temp", Reading::Scaled, 10.0f, "C", Reading::None},
    {"time_to_empty_avg", Reading::None, 1.0f, "", Reading::Duration},
    {"time_to_full_avg", Reading::None, 1.0f, "", Reading::Duration},
    {"type", Reading::None, 1.0f, "", Reading::AsRead},
    {"voltage_max_design", Reading::Scaled, 1000000.0f, "V", Reading::None},
    {"voltage_min_design", Reading::Scaled, 1000000.0f, "V", Reading::None},
    {"voltage_now", Reading::Scaled, 1000000.0f, "V", Reading::None},
};

constexpr std::int32_t kBatteryCount = static_cast<std::int32_t>(sizeof kBattery / sizeof kBattery[0]);

const BatteryEntry* FindBattery(std::int32_t attribute)
{
    return attribute >= 0 && attribute < kBatteryCount ? &kBattery[attribute] : nullptr;
}
} // namespace

bool ReadRTC(RTCTime& time)
{
    DeviceCalls& calls = DeviceCalls::Get();
    const UniqueDeviceDescriptor device(calls, calls.Open(kRTCDevice, O_RDONLY));
    if (!device.IsValid())
        return false;
    rtc_time record{};
    if (calls.ReadRtcTime(device.Get(), record) != 0)
        return false;
    time.second = record.tm_sec;
    time.minute = record.tm_min;
    time.hour = record.tm_hour;
    time.day = record.tm_mday;
    time.month = record.tm_mon + 1;
    time.year = record.tm_year + 1900;
    return true;
}

bool WriteRTC(const RTCTime& time)
{
    DeviceCalls& calls = DeviceCalls::Get();
    const UniqueDeviceDescriptor device(calls, calls.Open(kRTCDevice, O_RDWR));
    if (!device.IsValid())
        return false;
    rtc_time record{};
    record.tm_sec = time.second;
    record.tm_min = time.minute;
    record.tm_hour = time.hour;
    record.tm_mday = time.day;
    record.tm_mon = time.month - 1;
    record.tm_year = time.year - 1900;
    return calls.SetRtcTime(device.Get(), record) == 0;
}

bool ListRFKillEntries(StringArrayT<char, unsigned short>& entries)
{
    return ListDirectory(String(kRFKillDirectory), false, true, String("rfkill"), entries);
}

bool SetRFKillEntrySoftBlock(const String& entry, std::int32_t value)
{
    return WriteFile(entry + String("/soft"), String::Format("%d", value));
}

bool SetRFKillSoftBlock(std::int32_t value)
{
    StringArrayT<char, unsigned short> entries;
    if (!ListRFKillEntries(entries))
        return false;
    bool result = true;
    for (std::uint32_t i = 0; i < entries.GetCount(); ++i)
    {
        if (!SetRFKillEntrySoftBlock(entries[i], value))
            result = false;
    }
    return result;
}

bool SuperCapExists()
{
    return FileExists(String(kSuperCapVoltage));
}

bool GetSuperCapVoltageRaw(std::int32_t& raw)
{
    raw = 0;
    String token;
    if (!ReadFirstToken(String(kSuperCapVoltage), token))
        return false;
    raw = std::atoi(token.GetCString());
    return true;
}

std::int32_t GetSuperCapFullScaleRaw()
{
    return kSuperCapFullScaleRaw;
}

void GetBacklightRange(std::int32_t& lower, std::int32_t& upper)
{
    lower = 0;
    switch (GetDeviceModel())
    {
    case DEVICE_MODEL_KS56:
    case DEVICE_MODEL_KS5M:
    case DEVICE_MODEL_WD83:
    case DEVICE_MODEL_TL45:
    case DEVICE_MODEL_RN12:
    case DEVICE_MODEL_RN15:
    case DEVICE_MODEL_FE66:
    case DEVICE_MODEL_GU72:
    case DEVICE_MODEL_GU74:
    {
        const PCBRevision revision = GetPCBRevision();
        upper = revision == PCB_REVISION_B || revision == PCB_REVISION_C ? 120 : 227;
        break;
    }
    case DEVICE_MODEL_KS5E:
        upper = 95;
        break;
    default:
        upper = 255;
        break;
    }
}

bool GetBacklightPercent(std::uint32_t& percent)
{
    std::int32_t lower = 0;
    std::int32_t upper = 0;
    GetBacklightRange(lower, upper);
    String token;
    if (!ReadFirstToken(String(kBacklightLevel), token))
        return false;
    const int raw = std::atoi(token.GetCString());
    // A negative level is no level; as an unsigned count it would overflow the percentage.
    if (raw < 0)
        return false;
    const float scaled = static_cast<float>(static_cast<unsigned>(raw)) * 100.0f /
                         static_cast<float>(static_cast<unsigned>(upper - lower));
    percent = static_cast<std::uint32_t>(std::floor(static_cast<double>(scaled) + 0.5));
    return true;
}

bool SetBacklightPercent(std::uint32_t percent)
{
    std::int32_t lower = 0;
    std::int32_t upper = 0;
    GetBacklightRange(lower, upper);
    const float scaled =
        static_cast<float>(static_cast<unsigned>(upper - lower)) * (static_cast<float>(percent) / 100.0f);
    // Limited before the conversion, so that a huge percentage cannot overflow it.
    const double raw = std::fmin(std::floor(static_cast<double>(scaled) + 0.5), kBacklightMaxRaw);
    return WriteFile(String(kBacklightLevel), String::Format("%d", static_cast<int>(raw)));
}

bool GetBatteryAttributePath(std::int32_t attribute, String& path)
{
    const BatteryEntry* entry = FindBattery(attribute);
    if (entry == nullptr)
        return false;
    path = String::Format("%s/%s", kBatteryDirectory, entry->name);
    return true;
}

bool ReadBatteryAttribute(std::int32_t attribute, String& text)
{
    String path;
    return GetBatteryAttributePath(attribute, path) && ReadFirstToken(path, text);
}

bool GetBatteryValue(std::int32_t attribute, float& value, String& unit)
{
    String text;
    if (!ReadBatteryAttribute(attribute, text))
        return false;
    value = static_cast<float>(std::atof(text.GetCString()));
    const BatteryEntry& entry = kBattery[attribute];
    if (entry.numeric == Reading::None)
        return false;
    value /= entry.divisor;
    unit = entry.unit;
    return true;
}

bool GetBatteryText(std::int32_t attribute, String& text)
{
    if (!ReadBatteryAttribute(attribute, text))
        return false;
    switch (kBattery[attribute].text)
    {
    case Reading::AsRead:
        return true;
    case Reading::Presence:
        text = text == "1" ? "Yes" : "No";
        return true;
    case Reading::Duration:
    {
        const auto seconds = static_cast<unsigned>(std::atoi(text.GetCString()));
        text = String::Format("%u:%u", seconds / 3600, seconds / 60 - (seconds / 3600) * 60);
        return true;
    }
    default:
        return false;
    }
}

bool RebindTouchDriver()
{
    if (!WriteFile(String(kTouchUnbind), String(kTouchDevice)))
    {
        std::fprintf(stderr, "Failed to unbind driver: %s, %s", kTouchUnbind, kTouchDevice);
        return false;
    }
    if (!WriteFile(String(kTouchBind), String(kTouchDevice)))
    {
        std::fprintf(stderr, "Failed to bind driver: %s, %s", kTouchBind, kTouchDevice);
        return false;
    }
    return true;
}
} // namespace Vx::VB05
