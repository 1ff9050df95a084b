#include "Panel/Engine/VB05Common/WiFiTest.h"

#include "Panel/Engine/VB05Common/Platform/VB05Peripherals.h"
#include "Panel/Engine/VB05Common/Platform/VB05Utilities.h"
#include "Panel/Engine/VB05Common/TestDelays.h"

#include <cmath>
#include <cstdlib>

namespace Vx::VB05
{
namespace
{
using String = StringT<char, unsigned short>;

constexpr char kSDIOClock[] = "/sys/kernel/debug/clk/sdio0_sample/clk_rate";
constexpr std::int32_t kMinimumSDIOClock = 25000000;
constexpr std::int32_t kListingAttempts = 3;
constexpr std::uint32_t kRestartSettleMilliseconds = 3000;
constexpr std::uint32_t kEnableSettleMilliseconds = 1000;
constexpr std::uint32_t kScanSettleMilliseconds = 1000;
} // namespace

LWiFiCMTest::~LWiFiCMTest()
{
    LWiFiCMTest::Abort();
}

std::int32_t LWiFiCMTest::Abort()
{
    return LThreadedTest::Abort();
}

std::int32_t LWiFiCMTest::GetAttemptDelay(std::int32_t attempt)
{
    return static_cast<std::int32_t>(std::exp(static_cast<double>(attempt - 1)) * 1000.0);
}

std::int32_t LWiFiCMTest::Run()
{
    Log(String("Checking sdio0 clock rate"));
    String token;
    if (ReadFirstToken(String(kSDIOClock), token))
    {
        const std::int32_t rate = std::atoi(token.GetCString());
        Log(String::Format("sdio0 clock rate is %d, required >= %d", rate, kMinimumSDIOClock));
        if (rate < kMinimumSDIOClock)
            return kResultFailed;
    }
    else
    {
        Log(String::Format("Failed to read %s", kSDIOClock));
        Log(String("Checking sdio0 clock rate skipped"));
    }

    Log(String("Checking for wlan0 interface"));
    std::int32_t status = -1;
    if (!Execute(String("ip link show wlan0"), status))
        return kResultFailed;
    if (status != 0)
    {
        Log(String("Could not find wlan0 interface"));
        return kResultFailed;
    }

    Log(String("Disabling all rfkill devices"));
    SetRFKillSoftBlock(0);

    // The network manager's own verdicts are not judged here: enabling Wi-Fi
    // that is already on reports an error, and the listing below decides.
    if (!Execute(String("systemctl restart connman"), status))
        return kResultFailed;
    TestDelays::Sleep(kRestartSettleMilliseconds);
    if (!Execute(String("connmanctl enable wifi"), status))
        return kResultFailed;
    TestDelays::Sleep(kEnableSettleMilliseconds);
    if (!Execute(String("connmanctl scan wifi"), status))
        return kResultFailed;
    TestDelays::Sleep(kScanSettleMilliseconds);

    for (std::int32_t attempt = 1; attempt <= kListingAttempts; ++attempt)
    {
        const std::int32_t delay = GetAttemptDelay(attempt);
        Log(String::Format("Attempt #%d, delay %d ms", attempt, delay));
        TestDelays::Sleep(static_cast<std::uint32_t>(delay));
        ExternalCommand services(String("connmanctl services"), true);
        if (Execute(services, status) && status >= 0)
        {
            if (services.GetOutput().Find("wifi_") >= 0)
            {
                Log(String("Some WiFi networks found"));
                return kResultSucceeded;
            }
            Log(String("No WiFi networks found"));
        }
    }
    return kResultFailed;
}

RCPtr<LThreadedTest> CreateWiFiTest()
{
    return RCPtr<LThreadedTest>(MakeRCPtr<LWiFiCMTest>());
}
} // namespace Vx::VB05
