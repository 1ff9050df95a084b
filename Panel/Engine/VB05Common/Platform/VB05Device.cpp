#include "Panel/Engine/VB05Common/Platform/VB05Device.h"

#include "Panel/Engine/VB05Common/ExternalCommand.h"
#include "Panel/Engine/VB05Common/Platform/VB05Utilities.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Utilities/DebugTracer.h"

#include <cstring>

namespace Vx::VB05
{
namespace
{
using String = StringT<char, unsigned short>;

constexpr char kCompatiblePath[] = "/sys/firmware/devicetree/base/compatible";
constexpr char kBoardRevisionPath[] = "/sys/firmware/devicetree/base/korvatek,vb05-pcb-rev";

struct ModelEntry
{
    DeviceModel model;
    const char* compatible;
};

// In the order they are tried: a compatible entry that begins with one of
// these strings is that model.
constexpr ModelEntry kModels[] = {
    {DEVICE_MODEL_KS52, "korvatek,ks52"}, {DEVICE_MODEL_KS56, "korvatek,ks56"}, {DEVICE_MODEL_KS5E, "korvatek,ks5e"},
    {DEVICE_MODEL_KS5M, "korvatek,ks5m"}, {DEVICE_MODEL_WD83, "korvatek,wd83"}, {DEVICE_MODEL_TL40, "korvatek,tl40"},
    {DEVICE_MODEL_TL45, "korvatek,tl45"}, {DEVICE_MODEL_RN12, "korvatek,rn12"}, {DEVICE_MODEL_RN15, "korvatek,rn15"},
    {DEVICE_MODEL_RN19, "korvatek,rn19"}, {DEVICE_MODEL_RN22, "korvatek,rn22"}, {DEVICE_MODEL_FE66, "korvatek,fe66"},
    {DEVICE_MODEL_FE66, "korvatek,ormo"}, {DEVICE_MODEL_GU72, "korvatek,gu72"}, {DEVICE_MODEL_GU74, "korvatek,gu74"},
};

constexpr const char* kModelNames[] = {"KS52", "KS56", "KS5E", "KS5M", "WD83", "TL40", "TL45",   "RN12",
                                       "RN15", "RN19", "RN22", "FE66", "GU72", "GU74", "UNKNOWN"};

// The letters as the device tree holds them, in the order they are compared.
constexpr const char* kRevisionLetters[] = {"B", "C", "D", "F", "H"};
constexpr const char* kRevisionNames[] = {"B", "C", "D/E/G", "F", "H"};

constexpr char kSerialKey[] = "serial#=";

// What the boot loader's tool cannot keep as a value: nothing at all (it
// deletes the variable) or control characters (its output is read by lines).
bool IsStorableSerialNumber(const String& serialNumber)
{
    if (serialNumber.IsEmpty())
        return false;
    for (const char* character = serialNumber.GetCString(); *character != '\0'; ++character)
    {
        const auto unit = static_cast<unsigned char>(*character);
        if (unit < 0x20 || unit == 0x7F)
            return false;
    }
    return true;
}
} // namespace

DeviceModel GetDeviceModel()
{
    String token;
    if (!ReadFirstToken(String(kCompatiblePath), token))
        token.Empty();
    for (const ModelEntry& entry : kModels)
    {
        if (std::strncmp(token.GetCString(), entry.compatible, std::strlen(entry.compatible)) == 0)
            return entry.model;
    }
    return DEVICE_MODEL_UNKNOWN;
}

String GetDeviceModelName(DeviceModel model)
{
    if (model < DEVICE_MODEL_KS52 || model > DEVICE_MODEL_UNKNOWN)
    {
        VX_ASSERT_FALSE();
        return String("UNKNOWN");
    }
    return String(kModelNames[model]);
}

PCBRevision GetPCBRevision()
{
    String token;
    if (!ReadFirstToken(String(kBoardRevisionPath), token))
        return PCB_REVISION_ABOVE_H;
    for (std::int32_t revision = PCB_REVISION_B; revision <= PCB_REVISION_H; ++revision)
    {
        if (token == kRevisionLetters[revision])
            return static_cast<PCBRevision>(revision);
    }
    return PCB_REVISION_ABOVE_H;
}

String GetPCBRevisionName(PCBRevision revision)
{
    if (revision < PCB_REVISION_B || revision > PCB_REVISION_H)
        return String(">H");
    return String(kRevisionNames[revision]);
}

bool SetSerialNumber(const String& serialNumber)
{
    if (!IsStorableSerialNumber(serialNumber))
    {
        DebugTracer::Get().Trace(1,
                                 "SetSerialNumber: refused a serial number that is empty or holds control characters");
        return false;
    }
    ExternalCommand command(String("fw_setenv serial# ") + QuoteShellArgument(serialNumber), true);
    // The tool's own verdict counts: an environment it could not write is a failure.
    return command.Execute() && command.GetExitStatus() == 0;
}

bool GetSerialNumber(String& serialNumber)
{
    serialNumber.Empty();
    ExternalCommand command(String("fw_printenv serial#"), true);
    if (!command.Execute() || command.GetExitStatus() != 0)
        return false;
    const String output = command.GetOutput();
    const std::int32_t at = output.Find(kSerialKey);
    if (at < 0)
        return false;
    serialNumber = output.Mid(at + static_cast<std::int32_t>(std::strlen(kSerialKey))).Trim();
    return true;
}
} // namespace Vx::VB05
