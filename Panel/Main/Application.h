#pragma once

#include "Panel/Engine/TestAppCommon/MidiManager.h"
#include "Panel/Engine/TestAppCommon/RootModuleEngine.h"
#include "Panel/Engine/TestAppCommon/TestFactory.h"
#include "Panel/Engine/VB05Common/Platform/VB05Bluetooth.h"
#include "Panel/Engine/VB05Common/Platform/VB05DBusClient.h"
#include "VxFramework/Application/ApplicationBaseJuce.h"

namespace Vx
{
// The test application: the services that tests, pages and the device model
// reach through the application, filled by RunApplicationStartup and
// released in reverse order of their use by the destructor.  Main thread
// only.
class LApplication : public LApplicationBase<LApplication>
{
public:
    static RCPtr<LApplication> CreateInstance(const RCPtr<LControlFactory>& factory,
                                              const RCPtr<LStringTable>& stringTable, const String& commandLine);

    LApplication(const RCPtr<LControlFactory>& factory, const RCPtr<LStringTable>& stringTable,
                 const String& commandLine);
    ~LApplication() override;

    VxRESULT OnPreStartup(const String&) override { return VXR_OK; }
    String GetVersionText() override { return String("1_0_0"); }
    String GetMainControlName() override { return String("mainControl"); }
    // The drop cursors have no picture: the current cursor, after a line on
    // standard error.  The split, rotate and magnifier cursors: an assertion
    // and null.  The names are told apart by their text buffer (see
    // OSWindowJuce.h); other names go to the base's map.
    juce::MouseCursor* LoadCursor(const String& name) override;
    // Path ids 5 and 6 are the home folder.
    String GetPath(int pathId) override;
    int GetMainRendererKind() override { return kJuceRenderer; }
    // Root window 0's main control shuts the device down; without one, an
    // assertion.
    void OnPowerButtonPressed() override;
    // The framework's start-up, then the registrations, the device-control
    // engine, the hardware brought into a known state and the control
    // surface greeted.  A failed framework start-up is returned at once;
    // every later step is best effort.  Blocks for at least 3 s.
    VxRESULT RunApplicationStartup() override;
    bool AllowExit() override { return true; }

    RCPtr<LRootModuleEngine>& GetRootModuleEngine() noexcept { return mRootModuleEngine; }
    RCPtr<LMidiManager> GetMidiManager() const { return mMidiManager; }
    RCPtr<LTestEngineFactory> GetTestEngineFactory() const { return mTestEngineFactory; }
    RCPtr<LTestFactory> GetTestFactory() const { return mTestFactory; }
    RCPtr<VB05::LBluetooth> GetBluetoothManager() const { return mBluetooth; }

    // The running application, null when there is none or it is not this class.
    static LApplication* GetCurrent() noexcept;

private:
    RCPtr<LRootModuleEngine> mRootModuleEngine;
    RCPtr<LMidiManager> mMidiManager;
    RCPtr<VB05::LDBusClient> mDBusClient;
    RCPtr<VB05::LBluetooth> mBluetooth;
    RCPtr<LTestEngineFactory> mTestEngineFactory;
    RCPtr<LTestFactory> mTestFactory;
};

// The program: the shell around LApplication; JUCE's return value.
int RunTestApplication();
} // namespace Vx
