// Ordering and the text form of nested arrays: the cost should follow the
// size of the data, whatever the nesting, up to the nesting limit.
#include "VxFramework/Utilities/Storage/VariantEx.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace
{
using Vx::Variant;
using Vx::VariantEx;

// `depth` arrays, each holding `width` int32 values and (but the innermost)
// the next array.
VariantEx Nested(std::int64_t depth, std::int64_t width)
{
    VariantEx inner;
    for (std::int64_t level = 0; level < depth; ++level)
    {
        std::vector<Variant> items;
        for (std::int64_t i = 0; i < width; ++i)
            items.emplace_back(static_cast<std::int32_t>(i));
        if (level != 0)
            items.push_back(inner);
        VariantEx array;
        array.SetArray(items.data(), static_cast<std::uint32_t>(items.size()));
        inner = array;
    }
    return inner;
}

void OrderOfNestedArrays(benchmark::State& state)
{
    const VariantEx a = Nested(state.range(0), 16);
    const VariantEx b = Nested(state.range(0), 16);
    for (auto _ : state)
        benchmark::DoNotOptimize(Variant::CompareOrder(a, b));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(a.GetSize()) * 2);
}
BENCHMARK(OrderOfNestedArrays)->RangeMultiplier(2)->Range(1, Variant::kMaxNestingDepth);

void TextOfNestedArrays(benchmark::State& state)
{
    const VariantEx a = Nested(state.range(0), 16);
    for (auto _ : state)
    {
        const VariantEx::String text = a.ToString();
        benchmark::DoNotOptimize(text.GetCString());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(a.GetSize()));
}
BENCHMARK(TextOfNestedArrays)->RangeMultiplier(2)->Range(1, Variant::kMaxNestingDepth);

void OrderOfWideArrays(benchmark::State& state)
{
    const VariantEx a = Nested(1, state.range(0));
    const VariantEx b = Nested(1, state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(Variant::CompareOrder(a, b));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(OrderOfWideArrays)->RangeMultiplier(4)->Range(16, 16384)->Complexity(benchmark::oN);
} // namespace

BENCHMARK_MAIN();
