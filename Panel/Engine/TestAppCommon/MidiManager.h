#pragma once

#include "VxFramework/MidiAndAudio/Midi/MidiCommInterface.h"
#include "VxFramework/MidiAndAudio/Midi/MidiPortProperties.h"
#include "VxFramework/ObjectBase/Mutex.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/Utilities/Storage/StringT.h"
#include "VxFramework/Utilities/Storage/VxArray.h"

#include <cstdint>

namespace Vx
{
// The application's owner of the MIDI service and its register of MIDI
// functions.  The controller boards' port names say nothing about the board
// behind them: detection sends an identity request on every input that has an
// output of the same name and matches the replies with the functions the
// application needs.  Clients, tests and views then find a function's ports
// by (functionID, functionIndex) and open them through the manager.
class LMidiManager : public virtual LRefCountedObject
{
public:
    using String = StringT<char, unsigned short>;

    // Initialised: the service made and the port lists traced.  A failed
    // initialisation is asserted; the manager is returned all the same.
    static RCPtr<LMidiManager> Create();
    ~LMidiManager() override;

    // The functions the application needs: the control surface, function
    // (0, 0), found by inquiry.
    static Array<MidiPortProperties> GetRequiredFunctions();

    // Fills the function table from the required functions: 0 when each was
    // found or names its ports, else 0x80000008.  Blocks for up to 1.1 s per
    // inquired port and device id.  Inquiries open their ports through the
    // application's manager: install this one first.
    VxRESULT DetectPorts();
    // The same from another table of required functions.
    VxRESULT DetectPorts(const Array<MidiPortProperties>& required);

    // Empty when initialisation failed.
    RCPtr<LMidiCommInterface> GetCommInterface() const { return mComm; }
    // The service's; 0x80000008 (asserted) without a service.  An empty name
    // is asserted and passed on.
    VxRESULT OpenCapturePort(const String& name, RCPtr<LRefCountedObject>& port);
    VxRESULT OpenRenderPort(const String& name, RCPtr<LRefCountedObject>& port);

    // A copy of the first entry of the pair; 0x80000008 (out unchanged) when
    // there is none.
    VxRESULT GetPortProperties(std::int32_t functionID, std::int32_t functionIndex, MidiPortProperties& out) const;

    // Through the application's manager: the pair's port names, both empty
    // when there is no entry; the lookup's result.
    static VxRESULT GetPortNames(std::int32_t functionID, std::int32_t functionIndex, String& inputPortName,
                                 String& outputPortName);

private:
    LMidiManager() = default;
    VxRESULT Initialize();

    RCPtr<LMidiCommInterface> mComm;
    // Detection writes it whole while lookups may read it from other threads.
    mutable Mutex mFunctionsLock;
    Array<MidiPortProperties> mFunctions;
};

// Where clients and protocols find the application's manager.  The
// application owns it and installs a provider that hands it out, so that this
// layer never reaches up to the application; tests install their own.  Null
// uninstalls.
using MidiManagerProvider = RCPtr<LMidiManager> (*)();
void SetMidiManagerProvider(MidiManagerProvider provider) noexcept;
// Null without a provider or before the application made its manager.
RCPtr<LMidiManager> GetApplicationMidiManager();

// Lookups by function through the application's manager.
VxRESULT GetMidiPortPropertiesByFunction(std::int32_t functionID, std::int32_t functionIndex, MidiPortProperties& out);
// The defaults of MidiPortProperties when there is no entry.
MidiPortProperties GetMidiPortPropertiesByFunction(std::int32_t functionID, std::int32_t functionIndex);
// Empty when there is no entry.
StringT<char, unsigned short> GetMidiInputPortNameByFunction(std::int32_t functionID, std::int32_t functionIndex);
StringT<char, unsigned short> GetMidiOutputPortNameByFunction(std::int32_t functionID, std::int32_t functionIndex);
} // namespace Vx
