#pragma once

#include "DeviceControl/GeneratedCode/Engine/Src/AudioOutTestConfiguration.h"

namespace Vx
{
class LAudioOutTest final : public LGeneratedModule<LAudioOutTest, IAudioOutTest>
{
public:
    static const ParamModuleSource kSource;

    RCPtr<IAudioOutTestConfiguration> GetAudioOutTestConfiguration(std::uint32_t index) override
    {
        return StoredElement<LAudioOutTestConfiguration>(index);
    }
};

extern template class LGeneratedModule<LAudioOutTest, IAudioOutTest>;
} // namespace Vx
