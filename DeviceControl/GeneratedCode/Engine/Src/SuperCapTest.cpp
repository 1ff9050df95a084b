#include "DeviceControl/GeneratedCode/Engine/Src/SuperCapTest.h"

namespace Vx
{
template class LGeneratedModule<LSuperCapTest, ISuperCapTest>;

// This module's logic errors and assertions name this position.
const ParamModuleSource LSuperCapTest::kSource{__FILE__, __LINE__};
} // namespace Vx
