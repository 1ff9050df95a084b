#include "DeviceControl/GeneratedCode/Engine/Src/MACTest.h"

namespace Vx
{
template class LGeneratedModule<LMACTest, IMACTest>;

// This module's logic errors and assertions name this position.
const ParamModuleSource LMACTest::kSource{__FILE__, __LINE__};
} // namespace Vx
