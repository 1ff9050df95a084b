#include "DeviceControl/GeneratedCode/Engine/Src/SerialTest.h"

namespace Vx
{
template class LGeneratedModule<LSerialTest, ISerialTest>;

// This module's logic errors and assertions name this position.
const ParamModuleSource LSerialTest::kSource{__FILE__, __LINE__};
} // namespace Vx
