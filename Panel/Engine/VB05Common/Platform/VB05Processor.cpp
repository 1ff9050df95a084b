#include "Panel/Engine/VB05Common/Platform/VB05Processor.h"

#include "JuceBackend/SystemPath.h"
#include "Panel/Engine/VB05Common/Platform/VB05Utilities.h"
#include "VxFramework/Utilities/DebugTracer.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace Vx::VB05
{
namespace
{
using String = StringT<char, unsigned short>;

constexpr char kProcStat[] = "/proc/stat";
constexpr char kDDRClock[] = "/sys/kernel/debug/clk/ddrphy/clk_rate";
constexpr char kGPUClock[] = "/sys/class/devfreq/ffa30000.gpu/cur_freq";
// user, nice, system, idle, iowait, irq, softirq, then steal, guest and
// guest_nice, which are read and dropped.
constexpr int kCountersKept = 7;
constexpr int kCountersRead = 10;

// Reads a decimal unsigned number after blanks: digits only, no sign, no
// wrap-around beyond 64 bits.
bool ReadNumber(const std::string& line, std::size_t& at, std::uint64_t& value)
{
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
        ++at;
    const std::size_t start = at;
    value = 0;
    while (at < line.size() && line[at] >= '0' && line[at] <= '9')
    {
        const auto digit = static_cast<std::uint64_t>(line[at] - '0');
        if (value > (~std::uint64_t{0} - digit) / 10)
            return false;
        value = value * 10 + digit;
        ++at;
    }
    return at > start;
}

// The counters after the label: the seven kept; the last three may be
// missing on older kernels.
bool ReadCounters(const std::string& line, std::size_t at, CPUTimes& times)
{
    std::uint64_t values[kCountersRead] = {};
    for (int i = 0; i < kCountersRead; ++i)
    {
        if (!ReadNumber(line, at, values[i]))
        {
            if (i < kCountersKept)
                return false;
            break;
        }
    }
    times = CPUTimes{values[0], values[1], values[2], values[3], values[4], values[5], values[6], 0, 0};
    return true;
}

CPUTimes Difference(const CPUTimes& now, const CPUTimes& before)
{
    CPUTimes delta{now.user - before.user,
                   now.nice - before.nice,
                   now.system - before.system,
                   now.idle - before.idle,
                   now.iowait - before.iowait,
                   now.irq - before.irq,
                   now.softirq - before.softirq,
                   0,
                   0};
    delta.kernel = delta.system + delta.irq + delta.softirq;
    delta.total = delta.user + delta.nice + delta.system + delta.idle + delta.iowait + delta.irq + delta.softirq;
    return delta;
}

bool ReadDouble(const char* path, double& value)
{
    String token;
    if (!ReadFirstToken(String(path), token))
        return false;
    value = std::atof(token.GetCString());
    return true;
}

String ThermalZonePath(std::int32_t zone, const char* attribute)
{
    return String::Format("/sys/class/thermal/thermal_zone%d/%s", zone, attribute);
}

String CoolingStatePath(std::int32_t device)
{
    return String::Format("/sys/class/thermal/cooling_device%d/cur_state", device);
}

bool IsKnownZone(std::int32_t zone)
{
    if (zone == 1 || zone == 2)
        return true;
    std::fprintf(stderr, "Unknown zone: %d", zone);
    return false;
}
} // namespace

void CPUStat::Read()
{
    std::ifstream stream(MapSystemPath(kProcStat));
    if (!stream.is_open())
        return;
    std::string line;
    if (!std::getline(stream, line))
        return;
    // The aggregate line: "cpu" and blanks, then the counters.
    if (line.compare(0, 3, "cpu") == 0 && (line.size() == 3 || line[3] == ' '))
    {
        CPUTimes now{};
        if (ReadCounters(line, 3, now))
        {
            delta = Difference(now, previous);
            previous = now;
        }
    }
    for (std::uint32_t i = 0; i < kCoreCount && std::getline(stream, line); ++i)
    {
        // Core lines are "cpu" and the core's number; the first other line
        // ends them (a system with fewer cores).
        std::size_t at = 3;
        std::uint64_t core = 0;
        if (line.compare(0, 3, "cpu") != 0 || at >= line.size() || line[at] < '0' || line[at] > '9' ||
            !ReadNumber(line, at, core))
            break;
        if (core >= kCoreCount)
        {
            DebugTracer::Get().Trace(1, "Unexpected CPU index: %d", core > 0x7FFFFFFF ? -1 : static_cast<int>(core));
            continue;
        }
        CPUTimes now{};
        if (!ReadCounters(line, at, now))
            continue;
        coreDelta[core] = Difference(now, corePrevious[core]);
        corePrevious[core] = now;
    }
}

bool CPUStat::GetCPUDelta(std::uint32_t core, CPUTimes& times) const
{
    if (core >= kCoreCount)
        return false;
    times = coreDelta[core];
    return true;
}

bool GetCPUFrequency(std::int32_t core, double& frequency)
{
    return ReadDouble(String::Format("/sys/devices/system/cpu/cpu%d/cpufreq/scaling_cur_freq", core).GetCString(),
                      frequency);
}

bool GetDDRClockRate(double& rate)
{
    return ReadDouble(kDDRClock, rate);
}

bool GetGPUFrequency(double& frequency)
{
    return ReadDouble(kGPUClock, frequency);
}

bool GetThermalZoneTemperature(std::int32_t zone, double& temperature)
{
    double thousandths = 0;
    if (!ReadDouble(ThermalZonePath(zone, "temp").GetCString(), thousandths))
        return false;
    temperature = thousandths / 1000.0;
    return true;
}

bool GetThermalZoneMode(std::int32_t zone, String& mode)
{
    if (!IsKnownZone(zone))
        return false;
    return ReadFirstToken(ThermalZonePath(zone, "mode"), mode);
}

bool GetThermalZoneModeValue(std::int32_t zone, ThermalZoneMode& mode)
{
    String text;
    if (!GetThermalZoneMode(zone, text))
        return false;
    if (text == "enabled")
        mode = THERMAL_ZONE_MODE_ENABLED;
    else if (text == "disabled")
        mode = THERMAL_ZONE_MODE_DISABLED;
    else
    {
        mode = static_cast<ThermalZoneMode>(-1);
        return false;
    }
    return true;
}

bool GetThermalZoneModeName(std::int32_t mode, String& name)
{
    switch (mode)
    {
    case THERMAL_ZONE_MODE_ENABLED:
        name = "enabled";
        return true;
    case THERMAL_ZONE_MODE_DISABLED:
        name = "disabled";
        return true;
    default:
        return false;
    }
}

bool SetThermalZoneModeText(std::int32_t zone, const String& mode)
{
    if (!IsKnownZone(zone))
        return false;
    // Zone 1 is cooled by cooling device 0, zone 2 by cooling device 1.
    const String modePath = ThermalZonePath(zone, "mode");
    const String coolingPath = CoolingStatePath(zone - 1);
    std::fprintf(stderr, "Writing \"%s\" to %s\n", mode.GetCString(), modePath.GetCString());
    if (!WriteFile(modePath, mode))
        return false;
    if (mode == "disabled")
    {
        // A zone out of thermal control must not leave its fan or throttle running.
        std::fprintf(stderr, "Writing \"0\" to %s\n", coolingPath.GetCString());
        return WriteFile(coolingPath, String("0"));
    }
    return true;
}

bool SetThermalZoneMode(std::int32_t zone, std::int32_t mode)
{
    String name;
    return GetThermalZoneModeName(mode, name) && SetThermalZoneModeText(zone, name);
}

bool SetThermalZonesModeText(const String& mode)
{
    const bool first = SetThermalZoneModeText(1, mode);
    const bool second = SetThermalZoneModeText(2, mode);
    return first && second;
}

bool DescribeThermalZoneModes(String& text)
{
    String first;
    String second;
    const bool readFirst = GetThermalZoneMode(1, first);
    if (!readFirst)
        first.Empty();
    const bool readSecond = GetThermalZoneMode(2, second);
    if (!readSecond)
        second.Empty();
    text = String::Format("zone1: %s\nzone2: %s", first.GetCString(), second.GetCString());
    return readFirst && readSecond;
}
} // namespace Vx::VB05
