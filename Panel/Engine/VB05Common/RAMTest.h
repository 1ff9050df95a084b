#pragma once

// The main-memory test: it takes as much of the free memory as it can get,
// less a margin for the rest of the system, writes two complementary bit
// patterns over all of it and reads each back.  A new test object is made for
// every run; everything a run uses lives in Run and goes when it returns.

#include "Panel/Engine/TestAppCommon/ThreadedTest.h"
#include "Panel/Engine/VB05Common/Platform/DeviceMemory.h"
#include "VxFramework/Utilities/Storage/Buffer.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace Vx::VB05
{
class LRAMTest : public LThreadedTest
{
public:
    LRAMTest() = default;

protected:
    // Succeeded (0), or Failed (-1) when no memory could be had or a pattern
    // did not read back.  It does not poll for an abort: an abort waits for
    // the passes to end.
    std::int32_t Run() override;
};

namespace detail
{
// The patterns and the memory under test: page-aligned blocks from the
// device-calls seam.
using RAMTestBuffer = LBufferT<1, 0, 4096, char*, GetDeviceMemoryAllocator>;

inline constexpr std::uint32_t kRAMTestPatternSize = 4096;
// Asked for when the free memory is unknown.
inline constexpr std::uint64_t kRAMTestDefaultRequest = 0xC0000000u;
// A request that fails is retried this much smaller.
inline constexpr std::uint64_t kRAMTestStep = 0x2000000u;
// The most left to the system at first, and what is handed back after.
inline constexpr std::uint64_t kRAMTestMargin = 0x4000000u;

// The test buffer: the free memory (sysinfo, in bytes) less a sixteenth of it
// or the margin, whichever is less, retried in steps while it cannot be had;
// then, when more than the margin was had, freed and taken again the margin
// smaller.  Each step is logged.  The buffer's data is null when nothing
// could be had; null only when no buffer could be made.
RCPtr<LIBuffer> AllocateRAMTestBuffer(const std::function<void(const StringT<char, unsigned short>&)>& log);

// Copies the pattern over the buffer chunk by chunk (the last one cut short),
// and compares the same chunks; false at the first chunk that differs.
void FillWithPattern(void* buffer, std::size_t size, const void* pattern, std::size_t patternSize);
bool CompareWithPattern(const void* buffer, std::size_t size, const void* pattern, std::size_t patternSize);
} // namespace detail
} // namespace Vx::VB05
