#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/Utilities/Storage/Buffer.h"
#include "VxFramework/Utilities/Storage/Iterable.h"

#include <cstdint>
#include <random>

namespace Vx
{
// Renders uniform white noise in [0, gain) into the first buffer of a list of
// float sample buffers and copies the block into every other buffer.  Each
// generator is seeded from the system's random device.  One thread at a time.
class WhiteNoiseGenerator
{
public:
    // Gain 0 (silence), the engine at its default seed, bounds (0, 1).
    WhiteNoiseGenerator();
    explicit WhiteNoiseGenerator(double sampleRateHz);
    // A gain above 0 dB or a negative rate is asserted and kept.
    WhiteNoiseGenerator(double gainDb, double sampleRateHz);

    // count frames from offset; a block that does not fit the first buffer
    // writes nothing.
    void Render(IArray<RCPtr<LIBuffer>>& buffers, std::int32_t offset, std::int32_t count);

    double GetGainDb() const noexcept { return mGainDb; }
    float GetGain() const noexcept { return mGain; }
    double GetSampleRate() const noexcept { return mSampleRate; }

private:
    double mSampleRate = 0;
    double mGainDb = 0;
    float mGain = 0;
    std::mt19937 mEngine;
    float mLow = 0.0f;
    float mHigh = 1.0f;
};

class LWhiteNoiseGenerator : public virtual LRefCountedObject, public WhiteNoiseGenerator
{
public:
    static RCPtr<LWhiteNoiseGenerator> Create(double gainDb, double sampleRateHz);
    ~LWhiteNoiseGenerator() override = default;

private:
    LWhiteNoiseGenerator(double gainDb, double sampleRateHz) : WhiteNoiseGenerator(gainDb, sampleRateHz) {}
};
} // namespace Vx
