#pragma once

// Small accessors of the board's clock, radios, power sources, display
// backlight and touch driver, each over one device node or sysfs file.  No
// state and no locks: any thread may call them; each blocks for its file
// access.

#include "VxFramework/Utilities/Storage/ArrayUtils.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>

namespace Vx::VB05
{
// Months 1-12 and the full year; the clock device's own record counts months
// from 0 and years from 1900.  No time-zone conversion anywhere.
struct RTCTime
{
    std::int32_t second;
    std::int32_t minute;
    std::int32_t hour;
    std::int32_t day;
    std::int32_t month;
    std::int32_t year;
};

bool ReadRTC(RTCTime& time);
bool WriteRTC(const RTCTime& time);

// The radio switch directories ("/sys/class/rfkill/rfkill*").
bool ListRFKillEntries(StringArrayT<char, unsigned short>& entries);
bool SetRFKillEntrySoftBlock(const StringT<char, unsigned short>& entry, std::int32_t value);
// 0 unblocks and 1 blocks every radio; every entry is tried; true when every
// write succeeded (also when there are none).
bool SetRFKillSoftBlock(std::int32_t value);

bool SuperCapExists();
// 0 and false when the file cannot be read.
bool GetSuperCapVoltageRaw(std::int32_t& raw);
// The raw reading of a fully charged capacitor.
std::int32_t GetSuperCapFullScaleRaw();

// By the device model and board revision; the lower bound is always 0.
void GetBacklightRange(std::int32_t& lower, std::int32_t& upper);
// False when the level cannot be read or is not a level (negative).
bool GetBacklightPercent(std::uint32_t& percent);
// The level written is limited to 255, not to the model's range.
bool SetBacklightPercent(std::uint32_t percent);

enum BatteryAttribute : std::int32_t
{
    BATTERY_CAPACITY = 0,
    BATTERY_CHARGE_FULL,
    BATTERY_CHARGE_FULL_DESIGN,
    BATTERY_CHARGE_NOW,
    BATTERY_CURRENT_NOW,
    BATTERY_CYCLE_COUNT,
    BATTERY_ENERGY_FULL,
    BATTERY_ENERGY_FULL_DESIGN,
    BATTERY_ENERGY_NOW,
    BATTERY_HEALTH,
    BATTERY_MANUFACTURER,
    BATTERY_MODEL_NAME,
    BATTERY_PRESENT,
    BATTERY_SERIAL_NUMBER,
    BATTERY_STATUS,
    BATTERY_TECHNOLOGY,
    BATTERY_TEMP,
    BATTERY_TIME_TO_EMPTY_AVG,
    BATTERY_TIME_TO_FULL_AVG,
    BATTERY_TYPE,
    BATTERY_VOLTAGE_MAX_DESIGN,
    BATTERY_VOLTAGE_MIN_DESIGN,
    BATTERY_VOLTAGE_NOW,
};

// False for values outside the enumeration.
bool GetBatteryAttributePath(std::int32_t attribute, StringT<char, unsigned short>& path);
bool ReadBatteryAttribute(std::int32_t attribute, StringT<char, unsigned short>& text);
// The numeric attributes in their units ("%", "Ah", "A", "Wh", "C", "V" or
// none); false for the text attributes.
bool GetBatteryValue(std::int32_t attribute, float& value, StringT<char, unsigned short>& unit);
// The text attributes as shown: "Yes"/"No" for presence, "h:m" for the times;
// false for the numeric attributes.
bool GetBatteryText(std::int32_t attribute, StringT<char, unsigned short>& text);

// Unbinds and binds the touch controller's driver; failures on standard error.
bool RebindTouchDriver();
} // namespace Vx::VB05
