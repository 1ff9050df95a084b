#include "Panel/Engine/VB05Common/BluetoothTest.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <unistd.h>

namespace Vx::VB05
{
namespace
{
std::atomic<BluetoothManagerProvider>& Provider()
{
    static std::atomic<BluetoothManagerProvider> provider{nullptr};
    return provider;
}

// 200 ms, resumed with the time left when a signal cuts it short.
void SleepBetweenPolls()
{
    timespec request{0, 200000000L};
    timespec remaining{};
    while (nanosleep(&request, &remaining) != 0 && errno == EINTR)
        request = remaining;
}
} // namespace

void SetBluetoothManagerProvider(BluetoothManagerProvider provider) noexcept
{
    Provider().store(provider);
}

RCPtr<LIBluetooth> GetApplicationBluetoothManager()
{
    const BluetoothManagerProvider provider = Provider().load();
    return provider != nullptr ? provider() : RCPtr<LIBluetooth>();
}

LBluetoothInterfaceUpCommand::LBluetoothInterfaceUpCommand()
    : LGenericExternalCommand(StringT<char, unsigned short>("hciconfig hci0 up"), StringT<char, unsigned short>("\n"))
{
}

LBluetoothInterfaceUpCommand::~LBluetoothInterfaceUpCommand() = default;

LBluetoothTest2::LBluetoothTest2() : mInterfaceUpCommand(MakeRCPtr<LBluetoothInterfaceUpCommand>())
{
    mInterfaceUpCommand->SetListener(this);
}

LBluetoothTest2::~LBluetoothTest2()
{
    Abort();
}

std::int32_t LBluetoothTest2::Abort()
{
    mInterfaceUpCommand->Wake();
    return LThreadedTest::Abort();
}

std::int32_t LBluetoothTest2::Run()
{
    const RCPtr<LIBluetooth> bluetooth = GetApplicationBluetoothManager();
    Log(String("Enabling bluetooth controller power"));
    // Without a model there is no controller to switch on.
    if (bluetooth.IsNull())
        return kResultFailed;
    bluetooth->SetPowered(true);
    usleep(500000);
    if (!bluetooth->IsPowered())
        return kResultFailed;

    Log(String("Starting blueooth devices scan"));
    bluetooth->StartDiscovery();
    const auto start = std::chrono::steady_clock::now();
    int count = 0;
    long long elapsed = 0;
    while (count == 0 && !IsAbortRequested() && elapsed <= 9999)
    {
        for (const RCPtr<LIBluetoothDevice>& device : bluetooth->GetDevices())
        {
            const String address = device->GetAddress();
            const String name = device->GetName();
            const std::int16_t rssi = device->GetRSSI();
            if (name.IsEmpty())
                continue;
            Log(String::Format("%s: %s, rssi=%hd", address.GetCString(), name.GetCString(), rssi));
            ++count;
        }
        if (count == 0)
        {
            SleepBetweenPolls();
            elapsed =
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        }
    }
    bluetooth->StopDiscovery();

    if (IsAbortRequested())
    {
        Log(String("Test was aborted"));
        return kResultAborted;
    }
    Log(String::Format("Number of bluetooth devices found: %d", count));
    return count > 0 ? kResultSucceeded : kResultFailed;
}
} // namespace Vx::VB05
