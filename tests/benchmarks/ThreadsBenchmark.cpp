#include "VxFramework/Utilities/Storage/FastLock.h"
#include "VxFramework/Utilities/Storage/ReuseAllocator.h"
#include "VxFramework/Utilities/Threading/EventData.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace
{
struct Item
{
    char bytes[48];
};

void PooledAllocateAndFree(benchmark::State& state)
{
    Vx::ReuseAllocator<Item, 32> pool(state.range(0) != 0);
    for (auto _ : state)
    {
        void* storage = pool.Allocate(sizeof(Item));
        benchmark::DoNotOptimize(storage);
        pool.Free(storage);
    }
}
BENCHMARK(PooledAllocateAndFree)->Arg(0)->Arg(1)->ArgName("locked");

void HeapAllocateAndFree(benchmark::State& state)
{
    for (auto _ : state)
    {
        void* storage = std::malloc(sizeof(Item));
        benchmark::DoNotOptimize(storage);
        std::free(storage);
    }
}
BENCHMARK(HeapAllocateAndFree);

void FastLockUncontended(benchmark::State& state)
{
    Vx::FastLock lock;
    for (auto _ : state)
    {
        lock.Lock();
        lock.Unlock();
    }
}
BENCHMARK(FastLockUncontended);

void FastLockContended(benchmark::State& state)
{
    static Vx::FastLock lock;
    static long shared = 0;
    for (auto _ : state)
    {
        lock.Lock();
        benchmark::DoNotOptimize(++shared);
        lock.Unlock();
    }
}
BENCHMARK(FastLockContended)->Threads(1)->Threads(4);

void SetEventAndWait(benchmark::State& state)
{
    Vx::Event event(Vx::Event::kAutoReset);
    for (auto _ : state)
    {
        event.Set();
        benchmark::DoNotOptimize(event.Wait(0));
    }
}
BENCHMARK(SetEventAndWait);
} // namespace

BENCHMARK_MAIN();
