#pragma once

// The figures of the system status page: the cores', memory's and graphics
// clocks, the cores' load from the time counters of /proc/stat, and the
// thermal zones' temperatures and modes.  The functions keep no state and
// take no lock; a CPUStat belongs to one owner and is used on its thread.

#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>

namespace Vx::VB05
{
// Clock ticks.  The first seven are the counters of a /proc/stat line; in a
// difference record kernel = system + irq + softirq and total = the seven's sum.
struct CPUTimes
{
    std::uint64_t user;
    std::uint64_t nice;
    std::uint64_t system;
    std::uint64_t idle;
    std::uint64_t iowait;
    std::uint64_t irq;
    std::uint64_t softirq;
    std::uint64_t kernel;
    std::uint64_t total;
};

// The load sampler: the previous counters and the differences since the last
// read, for all cores together and for cores 0 to 3.  A new sampler starts at
// zero, so its first read gives the counts since boot.
struct CPUStat
{
    static constexpr std::uint32_t kCoreCount = 4;

    CPUTimes previous{};
    CPUTimes delta{};
    CPUTimes corePrevious[kCoreCount]{};
    CPUTimes coreDelta[kCoreCount]{};

    // Takes a new sample.  A /proc/stat that does not open changes nothing;
    // a line that cannot be read, or names a core above 3 (traced at level 1),
    // leaves its part of the sampler as it was.  The core lines end at the
    // first line that is not one, so fewer cores than four are fine.
    void Read();
    // The core's latest difference; false for a core above 3.
    bool GetCPUDelta(std::uint32_t core, CPUTimes& times) const;
};

// Kilohertz.
bool GetCPUFrequency(std::int32_t core, double& frequency);
// Hertz.
bool GetDDRClockRate(double& rate);
// Hertz.
bool GetGPUFrequency(double& frequency);

enum ThermalZoneMode : std::int32_t
{
    THERMAL_ZONE_MODE_ENABLED = 0,
    THERMAL_ZONE_MODE_DISABLED = 1,
};

// Degrees Celsius.
bool GetThermalZoneTemperature(std::int32_t zone, double& temperature);
// Zones 1 and 2 only; others are reported on standard error.
bool GetThermalZoneMode(std::int32_t zone, StringT<char, unsigned short>& mode);
// -1 and false for a mode text that is neither name.
bool GetThermalZoneModeValue(std::int32_t zone, ThermalZoneMode& mode);
bool GetThermalZoneModeName(std::int32_t mode, StringT<char, unsigned short>& name);
// Writes the zone's mode; "disabled" also sets its cooling device idle.
bool SetThermalZoneModeText(std::int32_t zone, const StringT<char, unsigned short>& mode);
bool SetThermalZoneMode(std::int32_t zone, std::int32_t mode);
// Both zones, both always attempted.
bool SetThermalZonesModeText(const StringT<char, unsigned short>& mode);
// "zone1: %s\nzone2: %s".
bool DescribeThermalZoneModes(StringT<char, unsigned short>& text);
} // namespace Vx::VB05
