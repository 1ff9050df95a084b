#include "DeviceControl/GeneratedCode/Engine/Src/VersionTest.h"

namespace Vx
{
template class LGeneratedModule<LVersionTest, IVersionTest>;

// This module's logic errors and assertions name this position.
const ParamModuleSource LVersionTest::kSource{__FILE__, __LINE__};
} // namespace Vx
