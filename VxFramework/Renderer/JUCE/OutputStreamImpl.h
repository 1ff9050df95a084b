#pragma once

#include <juce_core/juce_core.h>

#include <fstream>
#include <string>

namespace Vx
{
// A JUCE output stream into a file, truncated on opening.  Each call reports
// whether the file stream is still good.
class OutputStreamImpl : public juce::OutputStream
{
public:
    explicit OutputStreamImpl(const std::string& path)
        : mStream(path, std::ios::out | std::ios::trunc | std::ios::binary)
    {
    }

    bool IsOpen() const { return mStream.is_open(); }
    // Whether every write and seek so far succeeded.
    bool IsGood() const { return mStream.good(); }

    void flush() override { mStream.flush(); }

    bool setPosition(juce::int64 newPosition) override
    {
        mStream.seekp(static_cast<std::streamoff>(newPosition));
        return mStream.good();
    }

    juce::int64 getPosition() override { return static_cast<juce::int64>(mStream.tellp()); }

    bool write(const void* data, size_t byteCount) override
    {
        mStream.write(static_cast<const char*>(data), static_cast<std::streamsize>(byteCount));
        return mStream.good();
    }

private:
    std::ofstream mStream;
};
} // namespace Vx
