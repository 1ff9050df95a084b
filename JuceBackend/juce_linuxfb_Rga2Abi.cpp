#include "JuceBackend/juce_linuxfb_Rga2Abi.h"

namespace juce
{

namespace
{
    // The driver writes its records in the device's byte order, little-endian.
    uint32_t readLittleEndian32 (const uint8_t* bytes)
    {
        return (uint32_t) bytes[0] | ((uint32_t) bytes[1] << 8) | ((uint32_t) bytes[2] << 16) | ((uint32_t) bytes[3] << 24);
    }

    uint64_t readLittleEndian64 (const uint8_t* bytes)
    {
        return (uint64_t) readLittleEndian32 (bytes) | ((uint64_t) readLittleEndian32 (bytes + 4) << 32);
    }
} // namespace

bool Rga2::parseCompletions (const uint8_t* bytes, size_t numBytes, const std::function<void (const Completion&)>& onRecord)
{
    size_t offset = 0;

    while (numBytes - offset >= completionHeaderSize)
    {
        Completion record {};
        record.type = readLittleEndian32 (bytes + offset);
        record.length = readLittleEndian32 (bytes + offset + 4);

        const auto remaining = numBytes - offset;
        const size_t minimumLength = record.type == jobCompletedType ? jobCompletionSize : completionHeaderSize;

        if (record.length < minimumLength || record.length > remaining)
            return false;

        if (record.type == jobCompletedType)
        {
            record.userData = readLittleEndian64 (bytes + offset + 8);
            record.status = readLittleEndian32 (bytes + offset + 16);
        }

        onRecord (record);
        offset += record.length;
    }

    return offset == numBytes;
}

} // namespace juce
