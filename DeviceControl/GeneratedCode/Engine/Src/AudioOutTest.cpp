#include "DeviceControl/GeneratedCode/Engine/Src/AudioOutTest.h"

namespace Vx
{
template class LGeneratedModule<LAudioOutTest, IAudioOutTest>;

// This module's logic errors and assertions name this position.
const ParamModuleSource LAudioOutTest::kSource{__FILE__, __LINE__};
} // namespace Vx
