#include "DeviceControl/GeneratedCode/Engine/Src/PotsTest.h"

namespace Vx
{
template class LGeneratedModule<LPotsTest, IPotsTest>;

// This module's logic errors and assertions name this position.
const ParamModuleSource LPotsTest::kSource{__FILE__, __LINE__};
} // namespace Vx
