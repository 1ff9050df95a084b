#include "Panel/Engine/TestAppCommon/WaveFileWriter.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <new>
#include <vector>

namespace Vx
{
namespace
{
constexpr int kStreamBufferSize = 32768;
// JUCE's conversion of float samples handles fewer than 256 channels.
constexpr std::int32_t kMaxChannels = 255;
} // namespace

struct LWaveFileWriter::Record
{
    juce::WavAudioFormat format;
    juce::File file;
    std::unique_ptr<juce::AudioFormatWriter> writer;
};

RCPtr<LWaveFileWriter> LWaveFileWriter::Create()
{
    return RCPtr<LWaveFileWriter>(new (std::nothrow) LWaveFileWriter());
}

LWaveFileWriter::LWaveFileWriter() : mRecord(std::make_unique<Record>()) {}

LWaveFileWriter::~LWaveFileWriter()
{
    Close();
}

VxRESULT LWaveFileWriter::Open(const String& path, std::int32_t channelCount, std::int32_t bitsPerSample,
                               double sampleRateHz)
{
    Close();
    const juce::String fullPath = juce::String::fromUTF8(path.GetCString());
    // JUCE takes a relative path for an error of the caller's.
    if (!juce::File::isAbsolutePath(fullPath))
        return VXR_E_FAIL;
    // The header keeps the rate as a 32-bit integer.
    if (!(sampleRateHz > 0.0 && sampleRateHz <= 4294967295.0) || channelCount <= 0 || channelCount > kMaxChannels)
        return VXR_E_FAIL;
    // Refused before the old file goes.
    if (!mRecord->format.getPossibleBitDepths().contains(bitsPerSample))
        return VXR_E_FAIL;
    mRecord->file = juce::File(fullPath);
    if (mRecord->file.existsAsFile() && !mRecord->file.deleteFile())
        return VXR_E_FAIL;

    std::unique_ptr<juce::FileOutputStream> stream = mRecord->file.createOutputStream(kStreamBufferSize);
    if (stream == nullptr || stream->failedToOpen())
        return VXR_E_FAIL;
    juce::AudioFormatWriter* writer = mRecord->format.createWriterFor(
        stream.get(), sampleRateHz, static_cast<unsigned int>(channelCount), bitsPerSample, juce::StringPairArray(), 0);
    if (writer == nullptr)
    {
        stream.reset();
        mRecord->file.deleteFile();
        return VXR_E_FAIL;
    }
    // The writer owns the stream from here on.
    stream.release();
    mRecord->writer.reset(writer);
    return VXR_OK;
}

VxRESULT LWaveFileWriter::Write(const float* const* channels, std::int32_t channelCount, std::int32_t startSample,
                                std::int32_t sampleCount)
{
    juce::AudioFormatWriter* const writer = mRecord->writer.get();
    if (writer == nullptr || channels == nullptr || channelCount < 0 || startSample < 0 || sampleCount < 0)
        return VXR_E_FAIL;
    // JUCE's writer reads one pointer for each of the file's channels.
    const int fileChannels = writer->getNumChannels();
    std::vector<const float*> sources(static_cast<std::size_t>(fileChannels), nullptr);
    std::vector<float> silence;
    for (int i = 0; i < fileChannels; ++i)
    {
        const float* const source = i < channelCount ? channels[i] : nullptr;
        if (source != nullptr)
        {
            sources[static_cast<std::size_t>(i)] = source + startSample;
            continue;
        }
        silence.resize(static_cast<std::size_t>(sampleCount));
        sources[static_cast<std::size_t>(i)] = silence.data();
    }
    return writer->writeFromFloatArrays(sources.data(), fileChannels, sampleCount) ? VXR_OK : VXR_E_FAIL;
}

VxRESULT LWaveFileWriter::WriteBuffers(const IArray<RCPtr<LIBuffer>>& buffers, std::int32_t startSample,
                                       std::int32_t sampleCount)
{
    if (startSample < 0 || sampleCount < 0)
        return VXR_E_FAIL;
    std::vector<const float*> channels;
    for (std::uint32_t i = 0; i < buffers.GetCount(); ++i)
    {
        const RCPtr<LIBuffer>& buffer = *buffers.GetAtConst(i);
        if (buffer == nullptr || static_cast<std::uint64_t>(startSample) + static_cast<std::uint64_t>(sampleCount) >
                                     buffer->GetSize() / sizeof(float))
            return VXR_E_FAIL;
        channels.push_back(static_cast<const float*>(buffer->GetData()));
    }
    if (channels.empty())
        channels.push_back(nullptr);
    return Write(channels.data(), static_cast<std::int32_t>(buffers.GetCount()), startSample, sampleCount);
}

VxRESULT LWaveFileWriter::Close()
{
    // Deleting the writer completes the header.
    mRecord->writer.reset();
    mRecord->file = juce::File();
    return VXR_OK;
}
} // namespace Vx
