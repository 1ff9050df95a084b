#include "Panel/Main/MidiStartup.h"

#include "Panel/Engine/TestAppCommon/MidiClient.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Utilities/DebugTracer.h"

namespace Vx
{
VxRESULT SendControlSurfaceInitMessage()
{
    const RCPtr<LMidiClient> client = LMidiClient::CreateForFunction(0, 0, nullptr);
    const VxRESULT opened = client->Open();
    if (Failed(opened))
        return opened;
    DebugTracer::Get().Trace(-1, "Sending INIT command to control surface: %s", kControlSurfaceInitMessage);
    const VxRESULT sent = client->SendHexString(kControlSurfaceInitMessage);
    VX_ASSERT(Succeeded(sent));
    client->Close();
    return sent;
}
} // namespace Vx
