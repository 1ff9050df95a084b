#include "DeviceControl/GeneratedCode/Engine/Src/MediaTests.h"

namespace Vx
{
template class LGeneratedModule<LMediaTests, IMediaTests>;

// This module's logic errors and assertions name this position.
const ParamModuleSource LMediaTests::kSource{__FILE__, __LINE__};
} // namespace Vx
