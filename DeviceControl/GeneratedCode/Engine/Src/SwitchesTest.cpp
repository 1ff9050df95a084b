#include "DeviceControl/GeneratedCode/Engine/Src/SwitchesTest.h"

namespace Vx
{
template class LGeneratedModule<LSwitchesTest, ISwitchesTest>;

// This module's logic errors and assertions name this position.
const ParamModuleSource LSwitchesTest::kSource{__FILE__, __LINE__};
} // namespace Vx
