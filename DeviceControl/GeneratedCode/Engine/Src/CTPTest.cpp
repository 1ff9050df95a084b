#include "DeviceControl/GeneratedCode/Engine/Src/CTPTest.h"

namespace Vx
{
template class LGeneratedModule<LCTPTest, ICTPTest>;

// This module's logic errors and assertions name this position.
const ParamModuleSource LCTPTest::kSource{__FILE__, __LINE__};
} // namespace Vx
