#include "DeviceControl/GeneratedCode/Engine/Src/ManualVerificationTest.h"

namespace Vx
{
template class LGeneratedModule<LManualVerificationTest, IManualVerificationTest>;

// This module's logic errors and assertions name this position.
const ParamModuleSource LManualVerificationTest::kSource{__FILE__, __LINE__};
} // namespace Vx
