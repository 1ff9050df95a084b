// Programming a serial number into the simulated control surface and reading
// it back, beside the time the same bytes take on a MIDI wire; and port
// detection's time per inquired port beside its bound.

#include "JuceBackend/juce_linux_SequencerCalls.h"
#include "Panel/Engine/TestAppCommon/MidiManager.h"
#include "Panel/Engine/TestAppCommon/SerialNumberProgramming.h"
#include "sim/SimControllerBoard.h"
#include "sim/SimSequencer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace
{
// 31250 baud, ten bits a byte.
constexpr double kWireMillisecondsPerByte = 10.0 * 1000.0 / 31250.0;
// The manufacturing-data message, the identity request and the board's reply.
constexpr int kProgramAndReadBackBytes = 26 + 6 + 37;
// Detection's bound per inquired port: the time-out and the pause after it.
constexpr double kDetectionBoundMilliseconds = 1000.0 + 100.0;

Vx::RCPtr<Vx::LMidiManager>& Manager()
{
    static Vx::RCPtr<Vx::LMidiManager> manager;
    return manager;
}

Vx::RCPtr<Vx::LMidiManager> ProvideManager()
{
    return Manager();
}

// The trace lines of each inquiry go nowhere while the clock runs.
class QuietTrace
{
public:
    QuietTrace() : saved(dup(2))
    {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        close(null);
    }
    ~QuietTrace()
    {
        dup2(saved, 2);
        close(saved);
    }

private:
    int saved;
};

// The sequencer with the control surface, found by the application's manager.
struct World
{
    World()
    {
        sequencer.removeDevice(Sim::SimSequencer::midiThroughClient);
        Manager() = Vx::LMidiManager::Create();
        Vx::SetMidiManagerProvider(&ProvideManager);
    }
    ~World()
    {
        Vx::SetMidiManagerProvider(nullptr);
        Manager() = nullptr;
    }

    Sim::SimSequencer sequencer;
    juce::ScopedSequencerCalls installed{sequencer};
    Sim::SimControllerBoard board{sequencer, "Control Surface"};
};

void ProgramAndReadBackSerialNumber(benchmark::State& state)
{
    QuietTrace quiet;
    World world;
    if (Vx::Failed(Manager()->DetectPorts()))
    {
        state.SkipWithError("the control surface was not found");
        return;
    }
    // The board's copy only: the boot loader's is not on the wire.
    Vx::SerialNumberProgramming programming{Vx::BootloaderSerialNumberCalls()};
    Vx::MidiPortProperties::Bytes serial, readBack;
    for (const char character : std::string("ABCDEFGHIJKLMNO"))
        serial.Add(character);

    double totalMilliseconds = 0;
    for (auto _ : state)
    {
        const auto start = std::chrono::steady_clock::now();
        if (Vx::Failed(programming.ProgramMidiDeviceSerialNumber(serial)) ||
            Vx::Failed(programming.ReadMidiDeviceSerialNumber(readBack)))
        {
            state.SkipWithError("programming failed");
            return;
        }
        totalMilliseconds +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
    const double perRound = totalMilliseconds / static_cast<double>(state.iterations());
    const double wire = kProgramAndReadBackBytes * kWireMillisecondsPerByte;
    state.counters["round_ms"] = perRound;
    state.counters["wire_ms"] = wire;
    state.counters["times_wire"] = perRound / wire;
}
BENCHMARK(ProgramAndReadBackSerialNumber)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

void DetectionPerInquiredPort(benchmark::State& state)
{
    QuietTrace quiet;
    World world;
    double totalMilliseconds = 0;
    for (auto _ : state)
    {
        const auto start = std::chrono::steady_clock::now();
        if (Vx::Failed(Manager()->DetectPorts()))
        {
            state.SkipWithError("the control surface was not found");
            return;
        }
        totalMilliseconds +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
    const double perPort = totalMilliseconds / static_cast<double>(state.iterations());
    state.counters["port_ms"] = perPort;
    state.counters["bound_ms"] = kDetectionBoundMilliseconds;
}
BENCHMARK(DetectionPerInquiredPort)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
} // namespace

BENCHMARK_MAIN();
