#include "Panel/Main/Application.h"

#include "Panel/Engine/VB05Common/BluetoothTest.h"
#include "Panel/Engine/VB05Common/ExternalCommand.h"
#include "Panel/Engine/VB05Common/Platform/VB05BlockDevice.h"
#include "Panel/Engine/VB05Common/Platform/VB05Multiplexer.h"
#include "Panel/Engine/VB05Common/Platform/VB05Peripherals.h"
#include "Panel/Main/MidiStartup.h"
#include "Panel/Main/TestRegistrations.h"
#include "VxFramework/Application/OSWindowJuce.h"
#include "VxFramework/MidiAndAudio/Audio/AudioDevice.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Utilities/DebugTracer.h"

#include <unistd.h>

#include <cstdio>

namespace Vx
{
namespace
{
constexpr int kHomeAliasFirst = 5;
constexpr int kHomeAliasLast = 6;

// The hooks through which the lower layers reach the application's services.
RCPtr<LTestEngineFactory> CurrentTestEngineFactory()
{
    LApplication* const app = LApplication::GetCurrent();
    return app == nullptr ? nullptr : app->GetTestEngineFactory();
}

RCPtr<LTestFactory> CurrentTestFactory()
{
    LApplication* const app = LApplication::GetCurrent();
    return app == nullptr ? nullptr : app->GetTestFactory();
}

RCPtr<LMidiManager> CurrentMidiManager()
{
    LApplication* const app = LApplication::GetCurrent();
    return app == nullptr ? nullptr : app->GetMidiManager();
}

RCPtr<VB05::LIBluetooth> CurrentBluetooth()
{
    LApplication* const app = LApplication::GetCurrent();
    return app == nullptr ? nullptr : RCPtr<VB05::LIBluetooth>(app->GetBluetoothManager());
}

// The device-control engine finds the application through the shell's
// pointer, which lives exactly as long as the running application.
RCPtr<LRootModuleEngine> GlobalRootModuleEngine()
{
    auto* const app = dynamic_cast<LApplication*>(GetGlobalApplication().Get());
    return app == nullptr ? nullptr : app->GetRootModuleEngine();
}

// Runs a shell command to its end with its output traced; its status is not
// a start-up matter.
void RunCommand(const char* command)
{
    ExternalCommand external{LFrameworkApp::String(command), true};
    static_cast<void>(external.Execute());
}

void SleepMicroseconds(useconds_t microseconds)
{
    ::usleep(microseconds);
}
} // namespace

RCPtr<LApplication> LApplication::CreateInstance(const RCPtr<LControlFactory>& factory,
                                                 const RCPtr<LStringTable>& stringTable, const String& commandLine)
{
    return RCPtr<LApplication>(new LApplication(factory, stringTable, commandLine));
}

LApplication::LApplication(const RCPtr<LControlFactory>& factory, const RCPtr<LStringTable>& stringTable,
                           const String& commandLine)
    : LApplicationBase<LApplication>(factory, stringTable, commandLine)
{
    SetTestFactoryProviders(&CurrentTestEngineFactory, &CurrentTestFactory);
    SetRootModuleEngineProvider(&GlobalRootModuleEngine);
    SetMidiManagerProvider(&CurrentMidiManager);
    VB05::SetBluetoothManagerProvider(&CurrentBluetooth);
}

LApplication::~LApplication()
{
    mTestFactory = nullptr;
    mTestEngineFactory = nullptr;
    mBluetooth = nullptr;
    mDBusClient = nullptr;
    mMidiManager = nullptr;
    mRootModuleEngine = nullptr;
    SetTestFactoryProviders(nullptr, nullptr);
    SetRootModuleEngineProvider(nullptr);
    SetMidiManagerProvider(nullptr);
    VB05::SetBluetoothManagerProvider(nullptr);
}

LApplication* LApplication::GetCurrent() noexcept
{
    return dynamic_cast<LApplication*>(LFrameworkApp::GetApplication());
}

juce::MouseCursor* LApplication::LoadCursor(const String& name)
{
    // By buffer, not by text: a name built elsewhere is the base's business.
    const auto is = [&name](const String& constant) { return name.GetCString() == constant.GetCString(); };
    if (is(UI_CURSOR_DROP_MOVE) || is(UI_CURSOR_DROP_COPY))
    {
        std::fputs("LoadCursor unimplemented\n", stderr);
        return GetCurrentCursor();
    }
    for (const String* unsupported : {&UI_CURSOR_SPLIT_V, &UI_CURSOR_SPLIT_H, &UI_CURSOR_ROTATE, &UI_CURSOR_MAG,
                                      &UI_CURSOR_MAG_PLUS, &UI_CURSOR_MAG_MINUS})
    {
        if (is(*unsupported))
        {
            VX_ASSERT_FALSE();
            return nullptr;
        }
    }
    return LApplicationBase<LApplication>::LoadCursor(name);
}

LApplication::String LApplication::GetPath(int pathId)
{
    if (pathId >= kHomeAliasFirst && pathId <= kHomeAliasLast)
        pathId = kPathHome;
    return LApplicationBase<LApplication>::GetPath(pathId);
}

void LApplication::OnPowerButtonPressed()
{
    DebugTracer::Get().Trace(-1, "LApplication::OnPowerButtonPressed");
    const RCPtr<LRootWindow>& main = GetRootWindow(0);
    if (main.IsNull())
    {
        VX_ASSERT_FALSE();
        return;
    }
    // The main control and its device view, which shut the device down, are
    // not registered yet: their creator makes a plain control.
    VX_ASSERT_FALSE();
}

VxRESULT LApplication::RunApplicationStartup()
{
    const VxRESULT result = LApplicationBase<LApplication>::RunApplicationStartup();
    if (result < 0)
        return result;
    DebugTracer& tracer = DebugTracer::Get();

    mTestEngineFactory = MakeRCPtr<LTestEngineFactory>();
    RegisterTestEngineCreators(*mTestEngineFactory);
    mTestFactory = MakeRCPtr<LTestFactory>();
    RegisterTestCreators(*mTestFactory);

    mRootModuleEngine = MakeRCPtr<LRootModuleEngine>();
    if (mRootModuleEngine->Start(0) < 0)
        VX_ASSERT_FALSE();

    for (const VB05::BlockDeviceConnector connector :
         {VB05::BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT1, VB05::BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT2,
          VB05::BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT3, VB05::BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT4})
        static_cast<void>(VB05::UnmountAllPartitions(connector));
    static_cast<void>(VB05::SetUSBMuxState(VB05::MUX_STATE_EXTERNAL));
    static_cast<void>(VB05::SetUSBMuxState(VB05::MUX_STATE_INTERNAL));
    // The hub's devices settle after the switch before the ports are listed.
    SleepMicroseconds(2000000);

    mMidiManager = LMidiManager::Create();
    static_cast<void>(mMidiManager->DetectPorts());

    {
        Array<LAudioDevice::AudioDeviceID> devices;
        LAudioDevice::GetDeviceList(devices);
        tracer.Trace(-1, "Audio device found: %d", static_cast<int>(devices.GetCount()));
        for (std::uint32_t i = 0; i < devices.GetCount(); ++i)
            tracer.Trace(-1, "Audio device #%d: \"%s\"", static_cast<int>(i), devices[i].mName.GetCString());
    }

    {
        StringArrayT<char, unsigned short> entries;
        static_cast<void>(VB05::ListRFKillEntries(entries));
        tracer.Trace(-1, "Disabling soft rfkill states:");
        for (std::uint32_t i = 0; i < entries.GetCount(); ++i)
            tracer.Trace(-1, "    %s", entries[i].GetCString());
        for (std::uint32_t i = 0; i < entries.GetCount(); ++i)
            static_cast<void>(VB05::SetRFKillEntrySoftBlock(entries[i], 0));
    }
    // The radios come up after the unblock before the Bluetooth interface
    // is raised.
    SleepMicroseconds(1000000);

    RunCommand("hciconfig hci0 up");
    RunCommand("systemctl restart bluetooth");
    mDBusClient = VB05::LDBusClient::GetInstance();
    mBluetooth = MakeRCPtr<VB05::LBluetooth>(mDBusClient);
    RunCommand("connmanctl enable wifi");
    RunCommand("connmanctl scan wifi");

    // No control surface attached: nothing to greet, and nothing to say.
    const VxRESULT greeted = SendControlSurfaceInitMessage();
    static_cast<void>(greeted);
    return result;
}

int RunTestApplication()
{
    return RunJuceFrameworkApp<LApplication>();
}
} // namespace Vx
