#include "Panel/Engine/TestAppCommon/MidiManager.h"

#include "Panel/Engine/TestAppCommon/MidiInquirerAndSerialProgrammer.h"
#include "VxFramework/MidiAndAudio/Midi/Juce/MidiComm.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Utilities/DebugTracer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace Vx
{
namespace
{
using String = LMidiManager::String;

std::atomic<MidiManagerProvider> sProvider{nullptr};

// Detection's inquiry of one port and device id, and the pause after it.
constexpr std::int32_t kInquiryAttempts = 1;
constexpr std::uint32_t kInquiryTimeoutMs = 1000;
constexpr std::chrono::milliseconds kPauseAfterInquiry{100};

bool Contains(const LMidiComm::StringArray& names, const String& name)
{
    for (std::uint32_t i = 0; i < names.GetCount(); ++i)
    {
        if (*names.GetAtConst(i) == name)
            return true;
    }
    return false;
}

bool IsAssignedExplicitly(const Array<MidiPortProperties>& table, const String& name)
{
    for (std::uint32_t i = 0; i < table.GetCount(); ++i)
    {
        const MidiPortProperties& entry = *table.GetAtConst(i);
        if (entry.inputPortName == name || entry.outputPortName == name)
            return true;
    }
    return false;
}

// The distinct inquiry device ids of the table, greatest first (as signed bytes).
std::vector<signed char> InquiryDeviceIds(const Array<MidiPortProperties>& table)
{
    std::vector<signed char> ids;
    for (std::uint32_t i = 0; i < table.GetCount(); ++i)
    {
        const signed char id = table.GetAtConst(i)->inquiryDeviceID;
        if (std::find(ids.begin(), ids.end(), id) == ids.end())
            ids.push_back(id);
    }
    std::sort(ids.begin(), ids.end(), [](signed char a, signed char b) { return a > b; });
    return ids;
}

MidiPortProperties Discovered(const MidiInquiryResult& reply, const String& name)
{
    MidiPortProperties found;
    found.manufacturerID = reply.manufacturerID;
    found.productID = reply.productID;
    found.deviceID = reply.deviceID;
    found.firmwareVersion = reply.firmwareVersion;
    found.manufacturingData = reply.manufacturingData;
    found.inputPortName = name;
    found.outputPortName = name;
    return found;
}

String ToHex(const MidiPortProperties::Bytes& bytes)
{
    return String::EncodeBinaryData(0, bytes.GetDataConst(), bytes.GetCount());
}
} // namespace

RCPtr<LMidiManager> LMidiManager::Create()
{
    RCPtr<LMidiManager> manager(new LMidiManager());
    if (Failed(manager->Initialize()))
        VX_ASSERT_FALSE();
    return manager;
}

LMidiManager::~LMidiManager() = default;

VxRESULT LMidiManager::Initialize()
{
    mComm = RCPtr<LMidiCommInterface>(new LMidiComm());
    if (mComm == nullptr)
        return VXR_E_OUTOFMEMORY;

    LMidiComm::StringArray inputs, outputs;
    LMidiComm::GetInputPortNames(inputs);
    LMidiComm::GetOutputPortNames(outputs);
    // The two lists' texts are spaced differently.
    DebugTracer& tracer = DebugTracer::Get();
    tracer.Trace(-1, "MIDI input devices found:  %d", static_cast<int>(inputs.GetCount()));
    for (std::uint32_t i = 0; i < inputs.GetCount(); ++i)
        tracer.Trace(-1, "  MIDI input device #%d:  %s", static_cast<int>(i), inputs.GetAtConst(i)->GetCString());
    tracer.Trace(-1, "MIDI output devices found: %d", static_cast<int>(outputs.GetCount()));
    for (std::uint32_t i = 0; i < outputs.GetCount(); ++i)
        tracer.Trace(-1, "  MIDI output device #%d: %s", static_cast<int>(i), outputs.GetAtConst(i)->GetCString());
    return VXR_OK;
}

Array<MidiPortProperties> LMidiManager::GetRequiredFunctions()
{
    MidiPortProperties controlSurface;
    controlSurface.functionID = 0;
    controlSurface.functionIndex = 0;
    for (const int byte : {0x00, 0x3A, 0x51})
        controlSurface.manufacturerID.Add(static_cast<signed char>(byte));
    controlSurface.productID = 0x0E;
    controlSurface.deviceID = 0x00;
    controlSurface.inquiryDeviceID = 0x00;

    Array<MidiPortProperties> table;
    table.Add(controlSurface);
    return table;
}

VxRESULT LMidiManager::DetectPorts()
{
    return DetectPorts(GetRequiredFunctions());
}

VxRESULT LMidiManager::DetectPorts(const Array<MidiPortProperties>& required)
{
    DebugTracer& tracer = DebugTracer::Get();
    LMidiComm::StringArray inputs, outputs;
    LMidiComm::GetInputPortNames(inputs);
    LMidiComm::GetOutputPortNames(outputs);

    // Built apart and put in place whole: lookups meanwhile see the old table.
    Array<MidiPortProperties> table = required;
    const std::vector<signed char> deviceIds = InquiryDeviceIds(table);

    Array<MidiPortProperties> discovered;
    const RCPtr<LMidiInquirer> inquirer = LMidiInquirer::Create();
    for (std::uint32_t i = 0; i < inputs.GetCount(); ++i)
    {
        const String& name = *inputs.GetAtConst(i);
        if (!Contains(outputs, name))
        {
            tracer.Trace(-1, "Skipping inquiry for input port \"%s\": no matching output port", name.GetCString());
            continue;
        }
        if (IsAssignedExplicitly(table, name))
        {
            tracer.Trace(-1, "Skipping inquiry for input port \"%s\": port explicitly assigned", name.GetCString());
            continue;
        }
        for (const signed char deviceId : deviceIds)
        {
            const VxRESULT result = inquirer->Inquire(name, name, deviceId, kInquiryAttempts, kInquiryTimeoutMs);
            std::this_thread::sleep_for(kPauseAfterInquiry);
            MidiInquiryResult reply;
            if (Succeeded(result) && Succeeded(inquirer->GetResult(reply)))
            {
                discovered.Add(Discovered(reply, name));
                break;
            }
        }
    }

    bool failed = false;
    for (std::uint32_t i = 0; i < table.GetCount(); ++i)
    {
        MidiPortProperties& entry = *table.GetAt(i);
        tracer.Trace(-1,
                     "Checking required MIDI port: functionID=%d, functionIndex=%d, manufacturerID=%s, "
                     "productID=0x%02X, deviceID=0x%02X, inputPortName=\"%s\", outputPortName=\"%s\"",
                     entry.functionID, entry.functionIndex, ToHex(entry.manufacturerID).GetCString(),
                     static_cast<unsigned char>(entry.productID), static_cast<unsigned char>(entry.deviceID),
                     entry.inputPortName.GetCString(), entry.outputPortName.GetCString());
        if (!entry.inputPortName.IsEmpty() || !entry.outputPortName.IsEmpty())
        {
            tracer.Trace(-1, "  Port name explicitly specified, skipping automatic port detection");
            continue;
        }
        const MidiPortProperties* match = nullptr;
        for (std::uint32_t j = 0; j < discovered.GetCount() && match == nullptr; ++j)
        {
            const MidiPortProperties& candidate = *discovered.GetAtConst(j);
            if (MidiMessage(candidate.manufacturerID).IsEqual(entry.manufacturerID) &&
                candidate.productID == entry.productID && candidate.deviceID == entry.deviceID)
                match = &candidate;
        }
        if (match == nullptr)
        {
            tracer.Trace(-1, "  Could not find required MIDI ports");
            failed = true;
            continue;
        }
        tracer.Trace(-1, "  Found MIDI ports: inputPortName=\"%s\", outputPortName=\"%s\"",
                     match->inputPortName.GetCString(), match->outputPortName.GetCString());
        entry.inputPortName = match->inputPortName;
        entry.outputPortName = match->outputPortName;
        entry.deviceID = match->deviceID;
        entry.firmwareVersion = match->firmwareVersion;
    }

    {
        const ScopedLock lock(mFunctionsLock);
        mFunctions = table;
    }
    return failed ? VXR_E_FAIL : VXR_OK;
}

VxRESULT LMidiManager::OpenCapturePort(const String& name, RCPtr<LRefCountedObject>& port)
{
    VX_ASSERT(!name.IsEmpty());
    if (mComm == nullptr)
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    return mComm->OpenCapturePort(name, port);
}

VxRESULT LMidiManager::OpenRenderPort(const String& name, RCPtr<LRefCountedObject>& port)
{
    VX_ASSERT(!name.IsEmpty());
    if (mComm == nullptr)
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    return mComm->OpenRenderPort(name, port);
}

VxRESULT LMidiManager::GetPortProperties(std::int32_t functionID, std::int32_t functionIndex,
                                         MidiPortProperties& out) const
{
    const ScopedLock lock(mFunctionsLock);
    for (std::uint32_t i = 0; i < mFunctions.GetCount(); ++i)
    {
        const MidiPortProperties& entry = *mFunctions.GetAtConst(i);
        if (entry.functionID == functionID && entry.functionIndex == functionIndex)
        {
            out = entry;
            return VXR_OK;
        }
    }
    return VXR_E_FAIL;
}

VxRESULT LMidiManager::GetPortNames(std::int32_t functionID, std::int32_t functionIndex, String& inputPortName,
                                    String& outputPortName)
{
    MidiPortProperties properties;
    const VxRESULT result = GetMidiPortPropertiesByFunction(functionID, functionIndex, properties);
    inputPortName = properties.inputPortName;
    outputPortName = properties.outputPortName;
    return result;
}

void SetMidiManagerProvider(MidiManagerProvider provider) noexcept
{
    sProvider.store(provider, std::memory_order_release);
}

RCPtr<LMidiManager> GetApplicationMidiManager()
{
    const MidiManagerProvider provider = sProvider.load(std::memory_order_acquire);
    return provider != nullptr ? provider() : nullptr;
}

VxRESULT GetMidiPortPropertiesByFunction(std::int32_t functionID, std::int32_t functionIndex, MidiPortProperties& out)
{
    const RCPtr<LMidiManager> manager = GetApplicationMidiManager();
    return manager != nullptr ? manager->GetPortProperties(functionID, functionIndex, out) : VXR_E_FAIL;
}

MidiPortProperties GetMidiPortPropertiesByFunction(std::int32_t functionID, std::int32_t functionIndex)
{
    MidiPortProperties properties;
    GetMidiPortPropertiesByFunction(functionID, functionIndex, properties);
    return properties;
}

StringT<char, unsigned short> GetMidiInputPortNameByFunction(std::int32_t functionID, std::int32_t functionIndex)
{
    return GetMidiPortPropertiesByFunction(functionID, functionIndex).inputPortName;
}

StringT<char, unsigned short> GetMidiOutputPortNameByFunction(std::int32_t functionID, std::int32_t functionIndex)
{
    return GetMidiPortPropertiesByFunction(functionID, functionIndex).outputPortName;
}
} // namespace Vx
