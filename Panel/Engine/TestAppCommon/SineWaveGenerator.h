#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/Utilities/Storage/Buffer.h"
#include "VxFramework/Utilities/Storage/Iterable.h"

#include <cstdint>

namespace Vx
{
// Renders a sine into the first buffer of a list of float sample buffers and
// copies the block into every other buffer of the list.  One thread at a time.
class SineWaveGenerator
{
public:
    SineWaveGenerator();
    explicit SineWaveGenerator(double sampleRateHz);
    // A gain above 0 dB, a negative frequency or a negative rate is asserted
    // and kept.
    SineWaveGenerator(double gainDb, double frequencyHz, double sampleRateHz);

    // count frames from offset; a block that does not fit the first buffer,
    // or a generator without a phase increment (frequency or rate 0), writes
    // nothing.
    void Render(IArray<RCPtr<LIBuffer>>& buffers, std::int32_t offset, std::int32_t count);

    // At or below -200 dB the gain is 0.
    void SetGainDb(double gainDb);
    double GetGainDb() const noexcept { return mGainDb; }
    void SetFrequency(double frequencyHz);
    double GetFrequency() const noexcept { return mFrequency; }
    void SetPhase(double phase) noexcept { mPhase = phase; }
    double GetPhase() const noexcept { return mPhase; }

    float GetGain() const noexcept { return mGain; }
    double GetPhaseIncrement() const noexcept { return mPhaseIncrement; }

private:
    void UpdateIncrement();

    double mSampleRate = 0;
    double mGainDb = 0;
    double mFrequency = 0;
    float mGain = 0;
    double mPhaseIncrement = 0;
    double mPhase = 0;
};

class LSineWaveGenerator : public virtual LRefCountedObject, public SineWaveGenerator
{
public:
    static RCPtr<LSineWaveGenerator> Create(double gainDb, double frequencyHz, double sampleRateHz);
    ~LSineWaveGenerator() override = default;

private:
    LSineWaveGenerator(double gainDb, double frequencyHz, double sampleRateHz)
        : SineWaveGenerator(gainDb, frequencyHz, sampleRateHz)
    {
    }
};

namespace AudioBlocks
{
// Whether the first buffer of the list holds frames offset .. offset + count - 1
// (asserted when not, or when offset or count is negative).
bool FirstBufferHolds(const IArray<RCPtr<LIBuffer>>& buffers, std::int32_t offset, std::int32_t count);
// Copies those frames of the first buffer into every other buffer that holds
// them; a buffer too short or missing is asserted and skipped.
void CopyFirstToOthers(IArray<RCPtr<LIBuffer>>& buffers, std::int32_t offset, std::int32_t count);
} // namespace AudioBlocks
} // namespace Vx
