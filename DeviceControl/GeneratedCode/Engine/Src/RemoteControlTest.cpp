#include "DeviceControl/GeneratedCode/Engine/Src/RemoteControlTest.h"

namespace Vx
{
template class LGeneratedModule<LRemoteControlTest, IRemoteControlTest>;

// This module's logic errors and assertions name this position.
const ParamModuleSource LRemoteControlTest::kSource{__FILE__, __LINE__};
} // namespace Vx
