#include "DeviceControl/GeneratedCode/Engine/Src/RTCTest.h"

namespace Vx
{
template class LGeneratedModule<LRTCTest, IRTCTest>;

// This module's logic errors and assertions name this position.
const ParamModuleSource LRTCTest::kSource{__FILE__, __LINE__};
} // namespace Vx
