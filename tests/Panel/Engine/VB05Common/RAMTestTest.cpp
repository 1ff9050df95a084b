#include "Panel/Engine/VB05Common/RAMTest.h"

#include "Panel/Engine/VB05Common/Platform/DeviceCalls.h"
#include "Panel/Main/TestIdentifiers.h"
#include "Panel/Main/TestRegistrations.h"
#include "sim/SimDeviceCalls.h"

#include "tests/Panel/Engine/TestAppCommon/EngineTestSupport.h"
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// The sanitizers map terabytes of shadow memory, so an address-space limit
// cannot stand for a small memory there: the simulated memory's limit does
// instead, at the same size.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VX_TEST_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VX_TEST_SANITIZER 1
#endif
#endif

namespace
{
using String = Vx::StringT<char, unsigned short>;
using Lines = std::vector<std::string>;

constexpr std::uint64_t MiB = std::uint64_t{1} << 20;
// What a block of the test buffer costs beyond its size: the alignment to 4096.
constexpr std::uint64_t kAlignment = 4095;

//==============================================================================
// The allocation on its own: the sizes asked for and the lines, with the
// simulated memory behind it (nothing is written, so large sizes cost only
// address space).
class RAMTestAllocation : public ::testing::Test
{
protected:
    Lines Allocate(Vx::RCPtr<Vx::LIBuffer>& buffer)
    {
        Lines lines;
        buffer =
            Vx::VB05::detail::AllocateRAMTestBuffer([&](const String& line) { lines.emplace_back(line.GetCString()); });
        return lines;
    }

    Sim::SimDeviceCalls mCalls;
    Vx::VB05::DeviceCalls::Scoped mScope{mCalls};
};

TEST_F(RAMTestAllocation, TakesTheFreeMemoryLessAMarginThenHandsTheMarginBack)
{
    struct Case
    {
        const char* name;
        std::uint64_t freeUnits;
        std::uint32_t unit;
        bool sysinfoFails;
        std::uint64_t limit; // of a block, in bytes
        Lines lines;
        std::uint64_t size; // in the end; 0 for no data
    };
    const std::uint64_t none = ~std::uint64_t{0};
    const Case cases[] = {
        {"a sixteenth of 800 MiB as the margin",
         800 * MiB,
         1,
         false,
         none,
         {"sysinfo.freeram=800.000000.0 MiB", "Trying to allocate 750.000000.0 MiB",
          "Successful allocation: 750.000000.0 MiB", "Trying to reduce allocated memory to 686.000000.0 MiB",
          "Final allocation: 686.000000.0 MiB"},
         686 * MiB},
        {"the margin capped at 64 MiB",
         2048 * MiB,
         1,
         false,
         none,
         {"sysinfo.freeram=2048.000000.0 MiB", "Trying to allocate 1984.000000.0 MiB",
          "Successful allocation: 1984.000000.0 MiB", "Trying to reduce allocated memory to 1920.000000.0 MiB",
          "Final allocation: 1920.000000.0 MiB"},
         1920 * MiB},
        {"a sixteenth equal to the cap",
         1024 * MiB,
         1,
         false,
         none,
         {"sysinfo.freeram=1024.000000.0 MiB", "Trying to allocate 960.000000.0 MiB",
          "Successful allocation: 960.000000.0 MiB", "Trying to reduce allocated memory to 896.000000.0 MiB",
          "Final allocation: 896.000000.0 MiB"},
         896 * MiB},
        {"exactly 64 MiB had stays",
         1088 * MiB,
         1,
         false,
         64 * MiB + kAlignment,
         {"sysinfo.freeram=1088.000000.0 MiB", "Trying to allocate 1024.000000.0 MiB",
          "Successful allocation: 64.000000.0 MiB"},
         64 * MiB},
        {"64 MiB and a byte had leaves a byte",
         1088 * MiB + 1,
         1,
         false,
         64 * MiB + 1 + kAlignment,
         {"sysinfo.freeram=1088.000000.0 MiB", "Trying to allocate 1024.000000.0 MiB",
          "Successful allocation: 64.000000.0 MiB", "Trying to reduce allocated memory to 0.000001.0 MiB",
          "Final allocation: 0.000001.0 MiB"},
         1},
        {"free memory counted in pages",
         200 * MiB / 4096,
         4096,
         false,
         none,
         {"sysinfo.freeram=200.000000.0 MiB", "Trying to allocate 187.500000.0 MiB",
          "Successful allocation: 187.500000.0 MiB", "Trying to reduce allocated memory to 123.500000.0 MiB",
          "Final allocation: 123.500000.0 MiB"},
         MiB * 247 / 2},
        // More than one buffer can hold is never cut down to fit: it steps down.
        {"6 GiB free",
         6144 * MiB / 4096,
         4096,
         false,
         none,
         {"sysinfo.freeram=6144.000000.0 MiB", "Trying to allocate 6080.000000.0 MiB",
          "Successful allocation: 2016.000000.0 MiB", "Trying to reduce allocated memory to 1952.000000.0 MiB",
          "Final allocation: 1952.000000.0 MiB"},
         1952 * MiB},
        {"sysinfo failing",
         0,
         1,
         true,
         none,
         {"sysinfo failed", "Trying to allocate 3072.000000.0 MiB", "Successful allocation: 2016.000000.0 MiB",
          "Trying to reduce allocated memory to 1952.000000.0 MiB", "Final allocation: 1952.000000.0 MiB"},
         1952 * MiB},
        {"nothing to be had",
         800 * MiB,
         1,
         false,
         0,
         {"sysinfo.freeram=800.000000.0 MiB", "Trying to allocate 750.000000.0 MiB",
          "Successful allocation: 0.000000.0 MiB"},
         0},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.name);
        mCalls.systemInfo.freeram = static_cast<unsigned long>(test.freeUnits);
        mCalls.systemInfo.mem_unit = test.unit;
        mCalls.memoryLimit = test.limit == none ? SIZE_MAX : static_cast<std::size_t>(test.limit);
        if (test.sysinfoFails)
            mCalls.faults.failNext(Sim::SimDeviceCalls::Call::getSystemInfo, EIO);
        const std::size_t before = mCalls.getAllocationRequests().size();

        Vx::RCPtr<Vx::LIBuffer> buffer;
        EXPECT_EQ(Allocate(buffer), test.lines);
        ASSERT_FALSE(buffer.IsNull());
        EXPECT_EQ(buffer->GetData() != nullptr ? buffer->GetSize() : 0u, test.size);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer->GetData()) % 4096, 0u);
        // No size past what a buffer holds reached the memory.
        for (std::size_t i = before; i < mCalls.getAllocationRequests().size(); ++i)
            EXPECT_LE(mCalls.getAllocationRequests()[i], Vx::kMaxBufferSize + kAlignment);
        buffer = nullptr;
        EXPECT_EQ(mCalls.getNumLiveBlocks(), 0);
    }
}

TEST_F(RAMTestAllocation, AFailedRequestIsRetriedInStepsUntilLessThanAStepRemains)
{
    mCalls.systemInfo.freeram = 800 * MiB;
    mCalls.systemInfo.mem_unit = 1;
    mCalls.memoryLimit = 0;
    Vx::RCPtr<Vx::LIBuffer> buffer;
    Allocate(buffer);
    // 750 MiB, then 32 MiB less each time down to 14 MiB.
    std::vector<std::size_t> expected;
    for (std::uint64_t step = 0; step <= 23; ++step)
        expected.push_back(static_cast<std::size_t>(750 * MiB - step * 32 * MiB + kAlignment));
    EXPECT_EQ(mCalls.getAllocationRequests(), expected);
}

TEST(RAMTestPasses, TheLastChunkIsCutShortAndAChangedByteIsFound)
{
    std::vector<char> pattern(4096);
    for (std::size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<char>(i * 7);
    const std::size_t size = 3 * 4096 + 100;
    std::vector<char> buffer(size + 1, 'x');
    Vx::VB05::detail::FillWithPattern(buffer.data(), size, pattern.data(), pattern.size());
    for (std::size_t i = 0; i < size; ++i)
        ASSERT_EQ(buffer[i], pattern[i % 4096]) << i;
    EXPECT_EQ(buffer[size], 'x');
    EXPECT_TRUE(Vx::VB05::detail::CompareWithPattern(buffer.data(), size, pattern.data(), pattern.size()));
    for (const std::size_t changed : {std::size_t{0}, std::size_t{4096 + 17}, size - 1})
    {
        buffer[changed] ^= 0x10;
        EXPECT_FALSE(Vx::VB05::detail::CompareWithPattern(buffer.data(), size, pattern.data(), pattern.size()))
            << changed;
        buffer[changed] ^= 0x10;
    }
}

//==============================================================================
// Whole runs through the application's factories, the engine and the real
// threaded test, each in a child process with its own simulated device and
// a small memory.
class RAMTestRun : public VxTest::EngineTestBase
{
protected:
    void SetUp() override
    {
        EngineTestBase::SetUp();
        Vx::RegisterTestEngineCreators(*sEngineFactory);
        Vx::RegisterTestCreators(*sTestFactory);
        char pattern[] = "/tmp/vx-ramtest-XXXXXX";
        const int fd = ::mkstemp(pattern);
        ASSERT_GE(fd, 0);
        ::close(fd);
        mOutput = pattern;
    }

    void TearDown() override
    {
        ::unlink(mOutput.c_str());
        EngineTestBase::TearDown();
    }

#ifndef VX_TEST_SANITIZER
    // The process's current size by one of its status lines, plus the budget.
    static void LimitFromNow(int resource, const std::string& key, std::uint64_t budget)
    {
        std::ifstream status("/proc/self/status");
        std::uint64_t kilobytes = 0;
        for (std::string line; std::getline(status, line);)
        {
            if (line.rfind(key, 0) == 0)
                kilobytes = std::stoull(line.substr(key.size()));
        }
        const auto bytes = static_cast<rlim_t>(kilobytes * 1024 + budget);
        const rlimit limit{bytes, bytes};
        if (kilobytes == 0 || ::setrlimit(resource, &limit) != 0)
            std::abort();
    }
#endif

    // The free memory sysinfo reports, and the memory the test can get in
    // truth: the writable address space left when it asks, or the simulated
    // memory's limit under the sanitizers.
    static void SetMemory(Sim::SimDeviceCalls& calls, std::uint64_t freeBytes, std::uint64_t budget)
    {
        calls.systemInfo.freeram = static_cast<unsigned long>(freeBytes);
        calls.systemInfo.mem_unit = 1;
#ifdef VX_TEST_SANITIZER
        calls.memoryLimit = static_cast<std::size_t>(budget);
#else
        // The limit on writable address space: a thread's malloc arena holds
        // address space in reserve that a block may grow into without asking
        // for more, so a limit on the whole address space would not hold it
        // (nor would the kernel check the data limit then).
        calls.onGetSystemInfo = [budget] { LimitFromNow(RLIMIT_DATA, "VmData:", budget); };
#endif
    }

    // The engine's log of one run of the RAM test, then its engine result.
    Lines Run(const std::function<void(Sim::SimDeviceCalls&)>& configure)
    {
        const VxTest::ChildResult child = VxTest::RunInChild(
            [&] {
                Sim::SimDeviceCalls calls;
                configure(calls);
                const Vx::VB05::DeviceCalls::Scoped scope(calls);
                const Vx::RCPtr<Vx::LTestEngine> engine = sEngineFactory->Create(String(Vx::TID_RAM));
                if (engine.IsNull() || engine->Start() != Vx::VXR_OK)
                    return 2;
                if (!VxTest::PumpUntil([&] { return mRecorder->Count("NID_TEST_COMPLETED") == 1; },
                                       std::chrono::seconds(50)))
                    return 3;
                std::ofstream out(mOutput);
                for (const std::string& line : VxTest::Lines(engine->GetLog()))
                    out << line << '\n';
                for (const VxTest::Received& received : mRecorder->mReceived)
                {
                    if (received.id == "NID_TEST_COMPLETED")
                        out << "result " << received.result << '\n';
                }
                return out ? 0 : 4;
            },
            std::chrono::seconds(60));
        EXPECT_FALSE(child.timedOut);
        EXPECT_TRUE(WIFEXITED(child.status) && WEXITSTATUS(child.status) == 0) << child.status;
        std::ifstream in(mOutput);
        Lines lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    std::string mOutput;
};

TEST_F(RAMTestRun, TakesWhatTheMemoryAllowsAndPassesBothPatterns)
{
    // 150 MiB asked for; 118 MiB do not fit the 100 MiB left, 86 MiB do.
    const Lines log = Run([](Sim::SimDeviceCalls& calls) { SetMemory(calls, 160 * MiB, 100 * MiB); });
    EXPECT_EQ(log,
              (Lines{"Started TID_RAM", "sysinfo.freeram=160.000000.0 MiB", "Trying to allocate 150.000000.0 MiB",
                     "Successful allocation: 86.000000.0 MiB", "Trying to reduce allocated memory to 22.000000.0 MiB",
                     "Final allocation: 22.000000.0 MiB", "Filling buffer with pattern",
                     "Reading buffer and comparing with pattern", "Filling buffer with pattern",
                     "Reading buffer and comparing with pattern", "Completed TID_RAM: succeeded", "result 0"}));
}

TEST_F(RAMTestRun, FailsWhenTooLittleMemoryIsLeft)
{
    // The last request, 22 MiB, does not fit the 16 MiB left either.
    const Lines log = Run([](Sim::SimDeviceCalls& calls) { SetMemory(calls, 160 * MiB, 16 * MiB); });
    EXPECT_EQ(log, (Lines{"Started TID_RAM", "sysinfo.freeram=160.000000.0 MiB", "Trying to allocate 150.000000.0 MiB",
                          "Successful allocation: 0.000000.0 MiB", "Completed TID_RAM: failed", "result 1"}));
}

TEST_F(RAMTestRun, ACellThatDoesNotHoldItsValueFailsThePatternThatFindsIt)
{
    // Bit 0 is clear in 0xAA and set in 0x55: stuck at 1 the first pattern
    // finds it, and the second is never written; stuck at 0 only the second.
    const Lines start{"Started TID_RAM",
                      "sysinfo.freeram=100.000000.0 MiB",
                      "Trying to allocate 93.750000.0 MiB",
                      "Successful allocation: 93.750000.0 MiB",
                      "Trying to reduce allocated memory to 29.750000.0 MiB",
                      "Final allocation: 29.750000.0 MiB",
                      "Filling buffer with pattern",
                      "Reading buffer and comparing with pattern"};
    for (const bool stuckValue : {true, false})
    {
        SCOPED_TRACE(stuckValue);
        mRecorder->mReceived.clear();
        const Lines log = Run([stuckValue](Sim::SimDeviceCalls& calls) {
            SetMemory(calls, 100 * MiB, 512 * MiB);
            calls.setStuckBit(5 * 4096 + 123, 0, stuckValue);
        });
        Lines expected = start;
        if (!stuckValue)
        {
            expected.push_back("Filling buffer with pattern");
            expected.push_back("Reading buffer and comparing with pattern");
        }
        expected.push_back("Completed TID_RAM: failed");
        expected.push_back("result 1");
        EXPECT_EQ(log, expected);
    }
}
} // namespace
