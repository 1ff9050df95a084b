#include "Panel/Engine/TestAppCommon/WhiteNoiseGenerator.h"

#include "Panel/Engine/TestAppCommon/SineWaveGenerator.h"
#include "VxFramework/ObjectBase/Exception.h"

#include <cmath>
#include <new>

namespace Vx
{
WhiteNoiseGenerator::WhiteNoiseGenerator() = default;

WhiteNoiseGenerator::WhiteNoiseGenerator(double sampleRateHz) : mSampleRate(sampleRateHz) {}

WhiteNoiseGenerator::WhiteNoiseGenerator(double gainDb, double sampleRateHz)
    : mSampleRate(sampleRateHz), mGainDb(gainDb)
{
    VX_ASSERT(gainDb <= 0.0);
    VX_ASSERT(sampleRateHz >= 0.0);
    mGain = static_cast<float>(std::pow(10.0, gainDb / 20.0));
    std::random_device device;
    mEngine.seed(static_cast<std::mt19937::result_type>(device()));
    mHigh = mGain;
}

void WhiteNoiseGenerator::Render(IArray<RCPtr<LIBuffer>>& buffers, std::int32_t offset, std::int32_t count)
{
    if (buffers.GetCount() == 0 || !AudioBlocks::FirstBufferHolds(buffers, offset, count))
        return;
    // The largest float below 1: a 32-bit word rounded up to 2^32 must not
    // reach the upper bound.
    constexpr float kBelowOne = 0x1.fffffep-1f;
    float* const samples = static_cast<float*>(buffers[0]->GetData()) + offset;
    for (std::int32_t i = 0; i < count; ++i)
    {
        float u = static_cast<float>(mEngine()) * 0x1p-32f;
        if (u >= 1.0f)
            u = kBelowOne;
        samples[i] = mLow + (mHigh - mLow) * u;
    }
    AudioBlocks::CopyFirstToOthers(buffers, offset, count);
}

RCPtr<LWhiteNoiseGenerator> LWhiteNoiseGenerator::Create(double gainDb, double sampleRateHz)
{
    return RCPtr<LWhiteNoiseGenerator>(new (std::nothrow) LWhiteNoiseGenerator(gainDb, sampleRateHz));
}
} // namespace Vx
