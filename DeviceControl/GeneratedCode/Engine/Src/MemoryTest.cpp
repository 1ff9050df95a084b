#include "DeviceControl/GeneratedCode/Engine/Src/MemoryTest.h"

namespace Vx
{
template class LGeneratedModule<LMemoryTest, IMemoryTest>;

// This module's logic errors and assertions name this position.
const ParamModuleSource LMemoryTest::kSource{__FILE__, __LINE__};
} // namespace Vx
