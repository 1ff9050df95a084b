// A notification posted on a worker thread and delivered on the processing
// (main) thread, next to JUCE's MessageManager::callAsync doing the same through
// the build's message loop.  Throughput: the worker posts a batch as fast as
// it can.  Latency: the worker posts one, waits for its delivery, posts the
// next; percentiles of post-to-delivery time are reported in nanoseconds.
//
// The notification queue has no wake-up of its own (the application's idle
// tick processes it), so here the main thread polls it, yielding between
// polls; JUCE's loop sleeps in poll() until its socket is written.
#include "VxFramework/Notification/NotificationCenter.h"
#include "VxFramework/Notification/NotificationClient.h"

#include <juce_events/juce_events.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

namespace juce
{
// The message loop's one step: waits for the next event and dispatches it.
// MessageManager's own loops are built on it; it has no public declaration.
bool dispatchNextMessageOnSystemQueue(bool returnIfNoPendingMessages);
} // namespace juce

namespace
{
constexpr std::uint32_t kBatch = 10000;
constexpr std::uint32_t kPingPongs = 2000;

std::int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Stamp
{
    std::int64_t postedNs = 0;
};

// Post-to-delivery times of one benchmark run.
class Latencies
{
public:
    void Reserve(std::size_t n) { mSamples.reserve(n); }
    void Add(std::int64_t ns) { mSamples.push_back(ns); }

    void Report(benchmark::State& state)
    {
        if (mSamples.empty())
            return;
        std::sort(mSamples.begin(), mSamples.end());
        const auto at = [this](double q) {
            return static_cast<double>(mSamples[static_cast<std::size_t>(q * static_cast<double>(mSamples.size() - 1))]);
        };
        state.counters["p50_ns"] = at(0.50);
        state.counters["p99_ns"] = at(0.99);
        state.counters["p999_ns"] = at(0.999);
        state.counters["max_ns"] = static_cast<double>(mSamples.back());
    }

private:
    std::vector<std::int64_t> mSamples;
};

class StampReceiver : public Vx::LNotificationClient
{
public:
    Vx::NotificationHandlerResultCode Receive(const Vx::RCPtr<Vx::LNotificationDistributor>&,
                                              const Vx::ConstRCPtr<Vx::LNotification>& notification) override
    {
        const auto* stamp = dynamic_cast<const Vx::LWrapper<Stamp>*>(notification->GetParam().Get());
        if (latencies != nullptr && stamp != nullptr)
            latencies->Add(NowNs() - stamp->postedNs);
        delivered.store(delivered.load(std::memory_order_relaxed) + 1, std::memory_order_release);
        return 1;
    }

    Latencies* latencies = nullptr;
    std::atomic<std::uint32_t> delivered{0};
};

void PostStamped(const Vx::RCPtr<Vx::LNotificationCenter>& center, const char* id)
{
    Stamp stamp;
    stamp.postedNs = NowNs();
    Vx::PostNotification(id, Vx::MakeRCPtr<Vx::LWrapper<Stamp>>(stamp), center);
}

// The main thread processes the centre until the count is reached.
void ProcessUntil(const Vx::RCPtr<Vx::LNotificationCenter>& center, const std::atomic<std::uint32_t>& delivered,
                  std::uint32_t count)
{
    while (delivered.load(std::memory_order_acquire) < count)
    {
        if (!center->ProcessPending(false))
            std::this_thread::yield();
    }
}

void DispatchUntil(const std::atomic<std::uint32_t>& delivered, std::uint32_t count)
{
    while (delivered.load(std::memory_order_acquire) < count)
        juce::dispatchNextMessageOnSystemQueue(false);
}

struct QueueFixture
{
    QueueFixture()
    {
        center = Vx::LNotificationCenterManager::GetInstance()->GetCenter(Vx::StringT<char, unsigned short>("bench"));
        receiver = Vx::MakeRCPtr<StampReceiver>();
        id = receiver->Register(Vx::RCPtr<Vx::LNotificationDistributor>(center), "NID_BENCH_STAMP", 0);
    }
    ~QueueFixture()
    {
        receiver = nullptr;
        center = nullptr;
        Vx::LNotificationCenterManager::ReleaseInstance();
    }

    Vx::RCPtr<Vx::LNotificationCenter> center;
    Vx::RCPtr<StampReceiver> receiver;
    const char* id = nullptr;
};

void NotificationQueueThroughput(benchmark::State& state)
{
    QueueFixture fixture;
    for (auto _ : state)
    {
        fixture.receiver->delivered.store(0);
        std::thread worker([&fixture] {
            for (std::uint32_t i = 0; i < kBatch; ++i)
                PostStamped(fixture.center, fixture.id);
        });
        ProcessUntil(fixture.center, fixture.receiver->delivered, kBatch);
        worker.join();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kBatch);
}

void CallAsyncThroughput(benchmark::State& state)
{
    std::atomic<std::uint32_t> delivered{0};
    for (auto _ : state)
    {
        delivered.store(0);
        std::thread worker([&delivered] {
            for (std::uint32_t i = 0; i < kBatch; ++i)
            {
                Stamp stamp;
                stamp.postedNs = NowNs();
                juce::MessageManager::callAsync([&delivered, stamp] {
                    benchmark::DoNotOptimize(stamp);
                    delivered.store(delivered.load(std::memory_order_relaxed) + 1, std::memory_order_release);
                });
            }
        });
        DispatchUntil(delivered, kBatch);
        worker.join();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kBatch);
}

void NotificationQueueLatency(benchmark::State& state)
{
    QueueFixture fixture;
    Latencies latencies;
    latencies.Reserve(kPingPongs * 64);
    fixture.receiver->latencies = &latencies;
    for (auto _ : state)
    {
        fixture.receiver->delivered.store(0);
        std::thread worker([&fixture] {
            for (std::uint32_t i = 0; i < kPingPongs; ++i)
            {
                PostStamped(fixture.center, fixture.id);
                while (fixture.receiver->delivered.load(std::memory_order_acquire) <= i)
                    std::this_thread::yield();
            }
        });
        ProcessUntil(fixture.center, fixture.receiver->delivered, kPingPongs);
        worker.join();
    }
    fixture.receiver->latencies = nullptr;
    latencies.Report(state);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kPingPongs);
}

void CallAsyncLatency(benchmark::State& state)
{
    std::atomic<std::uint32_t> delivered{0};
    Latencies latencies;
    latencies.Reserve(kPingPongs * 64);
    for (auto _ : state)
    {
        delivered.store(0);
        std::thread worker([&delivered, &latencies] {
            for (std::uint32_t i = 0; i < kPingPongs; ++i)
            {
                const std::int64_t posted = NowNs();
                juce::MessageManager::callAsync([&delivered, &latencies, posted] {
                    latencies.Add(NowNs() - posted);
                    delivered.store(delivered.load(std::memory_order_relaxed) + 1, std::memory_order_release);
                });
                while (delivered.load(std::memory_order_acquire) <= i)
                    std::this_thread::yield();
            }
        });
        DispatchUntil(delivered, kPingPongs);
        worker.join();
    }
    latencies.Report(state);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kPingPongs);
}

BENCHMARK(NotificationQueueThroughput)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(CallAsyncThroughput)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(NotificationQueueLatency)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(CallAsyncLatency)->UseRealTime()->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char** argv)
{
    // The calling thread becomes JUCE's message thread; the benchmarks run on it.
    juce::MessageManager::getInstance();
    // As in the running application.
    Vx::LNotification::SetPoolingEnabled(true);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Vx::LNotification::SetPoolingEnabled(false);
    juce::MessageManager::deleteInstance();
    return 0;
}
