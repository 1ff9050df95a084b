#pragma once

#include "VxFramework/ObjectBase/NonCopyable.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Storage/Buffer.h"
#include "VxFramework/Utilities/Storage/Iterable.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>
#include <memory>

namespace Vx
{
// Writes blocks of float samples to a WAV file through JUCE's WAV format.
class LWaveFileWriter : public virtual LRefCountedObject, public NonCopyable
{
public:
    using String = StringT<char, unsigned short>;

    static RCPtr<LWaveFileWriter> Create();
    ~LWaveFileWriter() override;

    // Closes first, then replaces the file at the full path: 0, or 0x80000008
    // when the path is not a full path, the file cannot be made or JUCE's WAV
    // format does not take the rate (above 0, within 32 bits), the channel
    // count (1 to 255) or the bits per sample (8, 16, 24, 32).
    VxRESULT Open(const String& path, std::int32_t channelCount, std::int32_t bitsPerSample, double sampleRateHz);
    // The channels' samples from startSample on, for sampleCount samples: 0,
    // or 0x80000008 without an open file, for a null channel list, a negative
    // start or count, or when the writer fails.  Channels beyond the file's
    // are ignored; the file's channels beyond those given, or given as null,
    // are written silent.
    VxRESULT Write(const float* const* channels, std::int32_t channelCount, std::int32_t startSample,
                   std::int32_t sampleCount);
    // Write with the data of each buffer of the list; 0x80000008 also when a
    // buffer is missing or does not hold the samples asked for.
    VxRESULT WriteBuffers(const IArray<RCPtr<LIBuffer>>& buffers, std::int32_t startSample, std::int32_t sampleCount);
    // Completes the file; 0.
    VxRESULT Close();

private:
    LWaveFileWriter();

    struct Record;
    std::unique_ptr<Record> mRecord;
};
} // namespace Vx
