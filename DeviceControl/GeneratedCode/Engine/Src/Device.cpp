#include "DeviceControl/GeneratedCode/Engine/Src/Device.h"

namespace Vx
{
template class LGeneratedModule<LDevice, IDevice>;

// This module's logic errors and assertions name this position.
const ParamModuleSource LDevice::kSource{__FILE__, __LINE__};
} // namespace Vx
