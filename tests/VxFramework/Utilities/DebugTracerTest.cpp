#include "VxFramework/Utilities/DebugTracer.h"

#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace
{
Vx::DebugTracer& Tracer()
{
    return Vx::DebugTracer::Get();
}
} // namespace

TEST(DebugTracer, WritesLevelsUpToOne)
{
    struct Case
    {
        int level;
        bool written;
    };
    for (const Case c : {Case{-1, true}, Case{0, true}, Case{1, true}, Case{2, false}, Case{5, false}})
    {
        VxTest::CaptureStderr capture;
        Tracer().Trace(c.level, "level %d", c.level);
        EXPECT_EQ(capture.Finish(), c.written ? "level " + std::to_string(c.level) + "\n" : "") << c.level;
    }
}

TEST(DebugTracer, LongLinesAreCutTo511Bytes)
{
    const std::string longText(600, 'x');
    VxTest::CaptureStderr capture;
    Tracer().Trace(1, "%s", longText.c_str());
    Tracer().TraceNoNewline(1, "%s", longText.c_str());
    EXPECT_EQ(capture.Finish(), std::string(511, 'x') + "\n" + std::string(510, 'x'));
}

TEST(DebugTracer, CutNeverSplitsACharacter)
{
    // 510 bytes then a two-byte character: the cut at 511 would halve it.
    const std::string text = std::string(510, 'a') + "\xC3\xA9" + "tail";
    VxTest::CaptureStderr capture;
    Tracer().Trace(1, "%s", text.c_str());
    EXPECT_EQ(capture.Finish(), std::string(510, 'a') + "\n");
}

TEST(DebugTracer, PiecesBuildOneLine)
{
    VxTest::CaptureStderr capture;
    Tracer().TraceNoNewline(1, "abc");
    Tracer().Trace(1, "def");
    EXPECT_EQ(capture.Finish(), "abcdef\n");
}

TEST(DebugTracer, OutsideTextIsNotAFormat)
{
    VxTest::CaptureStderr capture;
    const char* outside = "%s%n%x";
    Tracer().Trace(1, "name %s", outside);
    EXPECT_EQ(capture.Finish(), "name %s%n%x\n");
}

TEST(DebugTracer, SilentVariantsWriteNothing)
{
    VxTest::CaptureStderr capture;
    Tracer().TraceSilent(1, "x");
    Tracer().TraceSilentNoNewline(1, "y");
    EXPECT_EQ(capture.Finish(), "");
}

TEST(DebugTracer, ConcurrentLinesNeverInterleave)
{
    constexpr int kThreads = 4;
    constexpr int kLines = 500;
    VxTest::CaptureStderr capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            const std::string body(100 + t * 50, static_cast<char>('a' + t));
            for (int i = 0; i < kLines; ++i)
                Tracer().Trace(1, "%d:%s", t, body.c_str());
        });
    for (auto& thread : threads)
        thread.join();
    std::istringstream lines(capture.Finish());
    std::string line;
    int count[kThreads] = {};
    while (std::getline(lines, line))
    {
        ASSERT_GE(line.size(), 2u);
        const int t = line[0] - '0';
        ASSERT_TRUE(t >= 0 && t < kThreads) << line;
        EXPECT_EQ(line, std::to_string(t) + ":" + std::string(100 + t * 50, static_cast<char>('a' + t)));
        ++count[t];
    }
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(count[t], kLines);
}
