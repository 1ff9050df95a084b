// The accelerator's completion records as read from its device: any bytes.

#include "JuceBackend/juce_linuxfb_Rga2Abi.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A copy of exactly the bytes read, so that any read past them is caught.
    const std::vector<uint8_t> bytes(data, data + size);
    size_t covered = 0;

    juce::Rga2::parseCompletions(bytes.data(), bytes.size(), [&](const juce::Rga2::Completion& record) {
        // Every record handed out lies inside what was read and moves the walk on.
        if (record.length < juce::Rga2::completionHeaderSize || covered + record.length > bytes.size())
            std::abort();
        covered += record.length;
    });

    return 0;
}
