#include "DeviceControl/GeneratedCode/Engine/Src/EncodersTest.h"

namespace Vx
{
template class LGeneratedModule<LEncodersTest, IEncodersTest>;

// This module's logic errors and assertions name this position.
const ParamModuleSource LEncodersTest::kSource{__FILE__, __LINE__};
} // namespace Vx
