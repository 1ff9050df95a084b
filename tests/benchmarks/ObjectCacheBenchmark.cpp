// Lookups in the renderer's kind of object cache: a hit is one bucket search;
// a miss in a full cache walks the 256 entries for the one to reuse.

#include "VxFramework/Utilities/Storage/PurgableObjectCache.h"

#include <benchmark/benchmark.h>

namespace
{
struct Cached : public virtual Vx::LRefCountedObject
{
};

using Cache = Vx::PurgableObjectCache<Cached, int, int, &Vx::GetSelf<int>, 8, &Vx::GetBits<8, 0, int>>;

void Fill(Cache& cache)
{
    for (int key = 0; key < 256; ++key)
        cache.GetEntry(key, false) = new Cached();
}

void BM_CacheHit(benchmark::State& state)
{
    Cache cache;
    Fill(cache);
    int key = 0;
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(cache.GetEntry(key, false).Get());
        key = (key + 37) & 0xFF;
    }
}
BENCHMARK(BM_CacheHit);

void BM_CacheMissWhenFull(benchmark::State& state)
{
    Cache cache;
    Fill(cache);
    int key = 256;
    for (auto _ : state)
    {
        Vx::RCPtr<Cached>& object = cache.GetEntry(key++, false);
        object = new Cached();
    }
}
BENCHMARK(BM_CacheMissWhenFull);
} // namespace

BENCHMARK_MAIN();
