#include "DeviceControl/GeneratedCode/Engine/Src/MotorTest.h"

namespace Vx
{
template class LGeneratedModule<LMotorTest, IMotorTest>;

// This module's logic errors and assertions name this position.
const ParamModuleSource LMotorTest::kSource{__FILE__, __LINE__};
} // namespace Vx
