#pragma once

// The Bluetooth test: switches the controller on through the application's
// Bluetooth model, scans, and passes once a device with a name is listed.

#include "Panel/Engine/TestAppCommon/ThreadedTest.h"
#include "Panel/Engine/VB05Common/ExternalCommand.h"
#include "Panel/Engine/VB05Common/ExternalCommandExecuter.h"
#include "Panel/Engine/VB05Common/Platform/VB05Bluetooth.h"

#include <cstdint>

namespace Vx::VB05
{
// "hciconfig hci0 up".  Start-up brings the interface up with this line; the
// test only holds one.
class LBluetoothInterfaceUpCommand : public LGenericExternalCommand
{
public:
    LBluetoothInterfaceUpCommand();
    ~LBluetoothInterfaceUpCommand() override;
};

class LBluetoothTest2 : public LThreadedTest, public ExternalCommandExecuter<LBluetoothTest2>
{
public:
    using String = StringT<char, unsigned short>;

    LBluetoothTest2();
    // Aborts a run still under way before the members go.
    ~LBluetoothTest2() override;

    // Wakes the command, then stops the run: the body sees the request at its
    // next poll and ends with -2.
    std::int32_t Abort() override;

protected:
    // Power, half a second, then a scan polled every 200 ms for a little over
    // ten seconds: 0 once a named device is listed, -1 without power or
    // without such a device, -2 when aborted.
    std::int32_t Run() override;

private:
    friend class ExternalCommandExecuter<LBluetoothTest2>;

    RCPtr<LBluetoothInterfaceUpCommand> mInterfaceUpCommand;
};

// Where the test finds the application's Bluetooth model: the application
// installs a provider that hands out the model it made at start-up, so that
// this layer never reaches up to it; tests install their own.  Null
// uninstalls.
using BluetoothManagerProvider = RCPtr<LIBluetooth> (*)();
void SetBluetoothManagerProvider(BluetoothManagerProvider provider) noexcept;
// Null when no provider is installed or it has no model.
RCPtr<LIBluetooth> GetApplicationBluetoothManager();
} // namespace Vx::VB05
