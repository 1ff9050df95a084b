// The RAM test's write-and-compare passes over a large buffer, beside a plain
// memset and memcmp of the same buffer in the same run: both write every byte
// once and read every byte once, so their bandwidths compare directly.
#include "Panel/Engine/VB05Common/RAMTest.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>

namespace
{
// Far larger than any cache.
constexpr std::uint32_t kBufferSize = 256u << 20;
constexpr std::uint32_t kPatternSize = Vx::VB05::detail::kRAMTestPatternSize;

struct Memory
{
    Vx::RCPtr<Vx::LIBuffer> buffer = Vx::VB05::detail::RAMTestBuffer::Create(kBufferSize);
    Vx::RCPtr<Vx::LIBuffer> pattern = Vx::VB05::detail::RAMTestBuffer::Create(kPatternSize);

    Memory()
    {
        std::memset(pattern->GetData(), 0xAA, kPatternSize);
        // Touched once, so that no run pays for the first faults.
        std::memset(buffer->GetData(), 0, kBufferSize);
    }
};

Memory& GetMemory()
{
    static Memory memory;
    return memory;
}

void RAMTestPasses(benchmark::State& state)
{
    Memory& memory = GetMemory();
    for (auto _ : state)
    {
        Vx::VB05::detail::FillWithPattern(memory.buffer->GetData(), kBufferSize, memory.pattern->GetData(),
                                          kPatternSize);
        bool same = Vx::VB05::detail::CompareWithPattern(memory.buffer->GetData(), kBufferSize,
                                                         memory.pattern->GetData(), kPatternSize);
        benchmark::DoNotOptimize(same);
    }
    // Bytes of the buffer written and read back.
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 2 * kBufferSize);
}
BENCHMARK(RAMTestPasses)->Unit(benchmark::kMillisecond);

void PlainMemsetAndMemcmp(benchmark::State& state)
{
    Memory& memory = GetMemory();
    char* const bytes = static_cast<char*>(memory.buffer->GetData());
    for (auto _ : state)
    {
        std::memset(bytes, 0xAA, kBufferSize);
        // Each page against the next: the second stream reads what the first
        // brought into the cache a page earlier, so the memory is read once.
        int order = std::memcmp(bytes, bytes + kPatternSize, kBufferSize - kPatternSize);
        benchmark::DoNotOptimize(order);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 2 * kBufferSize);
}
BENCHMARK(PlainMemsetAndMemcmp)->Unit(benchmark::kMillisecond);
} // namespace

BENCHMARK_MAIN();
