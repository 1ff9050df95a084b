#include "DeviceControl/GeneratedCode/Engine/Src/AudioOutTestConfiguration.h"

namespace Vx
{
template class LGeneratedModule<LAudioOutTestConfiguration, IAudioOutTestConfiguration>;

// This module's logic errors and assertions name this position.
const ParamModuleSource LAudioOutTestConfiguration::kSource{__FILE__, __LINE__};
} // namespace Vx
