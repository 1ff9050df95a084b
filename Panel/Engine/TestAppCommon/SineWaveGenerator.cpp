#include "Panel/Engine/TestAppCommon/SineWaveGenerator.h"

#include "VxFramework/ObjectBase/Exception.h"

#include <cmath>
#include <cstring>
#include <new>
#include <numbers>

namespace Vx
{
namespace
{
constexpr double kPi = std::numbers::pi;

float* SamplesOf(const RCPtr<LIBuffer>& buffer)
{
    return static_cast<float*>(buffer->GetData());
}

bool Holds(const RCPtr<LIBuffer>& buffer, std::int32_t offset, std::int32_t count)
{
    return buffer != nullptr &&
           static_cast<std::uint64_t>(offset) + static_cast<std::uint64_t>(count) <= buffer->GetSize() / sizeof(float);
}
} // namespace

namespace AudioBlocks
{
bool FirstBufferHolds(const IArray<RCPtr<LIBuffer>>& buffers, std::int32_t offset, std::int32_t count)
{
    if (offset < 0 || count < 0 || !Holds(*buffers.GetAtConst(0), offset, count))
    {
        VX_ASSERT_FALSE();
        return false;
    }
    return true;
}

void CopyFirstToOthers(IArray<RCPtr<LIBuffer>>& buffers, std::int32_t offset, std::int32_t count)
{
    const float* const first = SamplesOf(buffers[0]) + offset;
    for (std::uint32_t i = 1; i < buffers.GetCount(); ++i)
    {
        if (!Holds(buffers[i], offset, count))
        {
            VX_ASSERT_FALSE();
            continue;
        }
        std::memcpy(SamplesOf(buffers[i]) + offset, first, static_cast<std::size_t>(count) * sizeof(float));
    }
}
} // namespace AudioBlocks

SineWaveGenerator::SineWaveGenerator() = default;

SineWaveGenerator::SineWaveGenerator(double sampleRateHz) : mSampleRate(sampleRateHz) {}

SineWaveGenerator::SineWaveGenerator(double gainDb, double frequencyHz, double sampleRateHz)
    : mSampleRate(sampleRateHz), mGainDb(gainDb), mFrequency(frequencyHz)
{
    VX_ASSERT(gainDb <= 0.0);
    VX_ASSERT(frequencyHz >= 0.0);
    VX_ASSERT(sampleRateHz >= 0.0);
    mGain = static_cast<float>(std::pow(10.0, gainDb / 20.0));
    UpdateIncrement();
}

void SineWaveGenerator::UpdateIncrement()
{
    if (mSampleRate != 0.0)
        mPhaseIncrement = mFrequency * 2.0 * kPi / mSampleRate;
}

void SineWaveGenerator::SetGainDb(double gainDb)
{
    mGainDb = gainDb;
    mGain = gainDb <= -200.0 ? 0.0f : static_cast<float>(std::pow(10.0, gainDb / 20.0));
}

void SineWaveGenerator::SetFrequency(double frequencyHz)
{
    mFrequency = frequencyHz;
    UpdateIncrement();
}

void SineWaveGenerator::Render(IArray<RCPtr<LIBuffer>>& buffers, std::int32_t offset, std::int32_t count)
{
    if (buffers.GetCount() == 0)
        return;
    if (mPhaseIncrement == 0.0)
    {
        VX_ASSERT_FALSE();
        return;
    }
    if (!AudioBlocks::FirstBufferHolds(buffers, offset, count))
        return;

    float* const samples = SamplesOf(buffers[0]) + offset;
    for (std::int32_t i = 0; i < count; ++i)
    {
        samples[i] = mGain * std::sin(static_cast<float>(mPhase));
        mPhase += mPhaseIncrement;
    }
    // Once per block, not per sample.
    mPhase -= (2.0 * std::floor(mPhase / (2.0 * kPi))) * kPi;
    // Rounding can land on 2 pi itself.
    if (!(mPhase >= 0.0 && mPhase < 2.0 * kPi))
        mPhase = 0.0;

    AudioBlocks::CopyFirstToOthers(buffers, offset, count);
}

RCPtr<LSineWaveGenerator> LSineWaveGenerator::Create(double gainDb, double frequencyHz, double sampleRateHz)
{
    return RCPtr<LSineWaveGenerator>(new (std::nothrow) LSineWaveGenerator(gainDb, frequencyHz, sampleRateHz));
}
} // namespace Vx
