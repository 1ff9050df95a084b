#include "Panel/Engine/VB05Common/ExternalCommand.h"

#include "tests/support/CaptureStderr.h"
#include "tests/support/SimTools.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
using String = Vx::StringT<char, unsigned short>;
using Vx::ExternalCommand;
using Vx::VB05::LGenericExternalCommand;

std::vector<std::string> Strings(const Vx::StringArrayT<char, unsigned short>& array)
{
    std::vector<std::string> strings;
    for (const String& text : array)
        strings.emplace_back(text.GetCString());
    return strings;
}

//==============================================================================
struct TokenizerCase
{
    const char* name;
    const char* delimiters;
    std::vector<std::string> feeds;
    std::vector<std::string> tokensBeforeFlush;
    std::vector<std::string> tokensOfFlush;
};

TEST(StreamTokenizer, CutsAtDelimitersAndKeepsTheRestForLater)
{
    const TokenizerCase cases[] = {
        {"empty line dropped, last line on flush", "\n", {"a\n\nb"}, {"a"}, {"b"}},
        {"line split over feeds", "\n", {"ab", "c\nd", "e"}, {"abc"}, {"de"}},
        {"carriage return stays", "\n", {"x\r\ny\r\n"}, {"x\r", "y\r"}, {}},
        {"any delimiter of the set", ",;", {"a,;b;", ";c"}, {"a", "b"}, {"c"}},
        {"only delimiters", "\n", {"\n\n", "\n"}, {}, {}},
    };
    for (const TokenizerCase& test : cases)
    {
        SCOPED_TRACE(test.name);
        Vx::StreamTokenizer tokenizer{String(test.delimiters)};
        for (const std::string& feed : test.feeds)
            tokenizer.Feed(String(feed.c_str()));
        EXPECT_EQ(Strings(tokenizer.TakeTokens()), test.tokensBeforeFlush);
        tokenizer.Flush();
        EXPECT_EQ(Strings(tokenizer.TakeTokens()), test.tokensOfFlush);
        EXPECT_TRUE(tokenizer.TakeTokens().IsEmpty());
    }
}

TEST(StreamTokenizer, ResetDropsThePendingTextButNotTheTokens)
{
    Vx::StreamTokenizer tokenizer{String("\n")};
    tokenizer.Feed(String("kept\nlost"));
    tokenizer.Reset();
    tokenizer.Feed(String("new\n"));
    tokenizer.Flush();
    EXPECT_EQ(Strings(tokenizer.TakeTokens()), (std::vector<std::string>{"kept", "new"}));
}

//==============================================================================
// Commands run through the real shell, with only the simulated tools and a few
// harmless ones on PATH.
class ExternalCommandTest : public ::testing::Test
{
protected:
    VxTest::ScopedSimTools mTools;
};

// A command object that records what happens to it, in order, with the
// output text as it stood at each listener call.
class RecordingCommand : public LGenericExternalCommand
{
public:
    explicit RecordingCommand(const char* command)
        : LGenericExternalCommand(String(command), String("\n")),
          mListener([this] { Add("listener start, status " + std::to_string(GetExitStatus())); },
                    [this] { Add("listener finish"); },
                    [this](const String& chunk) {
                        Add("listener output [" + std::string(chunk.GetCString()) + "] after [" +
                            GetOutput().GetCString() + "]");
                    })
    {
        SetListener(&mListener);
    }

    void OnTokenizingStart() override { Add("tokenizing start"); }
    void OnTokenizingFinish() override { Add("tokenizing finish"); }
    void OnToken(const String& token) override { Add("token [" + std::string(token.GetCString()) + "]"); }

    std::vector<std::string> mEvents;

private:
    void Add(std::string event) { mEvents.push_back(std::move(event)); }

    Vx::ExternalCommandOutputSinkToFunctionSet mListener;
};

TEST_F(ExternalCommandTest, OneRunCallsListenerAndTokensInOrder)
{
    const Vx::RCPtr<RecordingCommand> command = Vx::MakeRCPtr<RecordingCommand>("printf 'a\\n\\nb'");
    VxTest::CaptureStderr capture;
    ASSERT_TRUE(command->Execute());
    const std::string trace = capture.Finish();

    EXPECT_EQ(command->mEvents, (std::vector<std::string>{
                                    "listener start, status -1",
                                    "tokenizing start",
                                    "listener output [a\n] after [a\n]",
                                    "token [a]",
                                    "listener output [\n] after [a\n\n]",
                                    "listener output [b] after [a\n\nb]",
                                    "token [b]",
                                    "tokenizing finish",
                                    "listener finish",
                                }));
    EXPECT_EQ(command->GetExitStatus(), 0);
    EXPECT_TRUE(command->Succeeded());
    EXPECT_STREQ(command->GetOutput().GetCString(), "a\n\nb");
    // The command, its raw output as it came, and the status.
    EXPECT_NE(trace.find("Starting command: printf 'a\\n\\nb'\na\n\nbExit status: 0\n"), std::string::npos) << trace;
}

TEST_F(ExternalCommandTest, LongLinesComeInChunksButAsOneToken)
{
    // 300 characters and a line end: chunks of 127, 127 and 47.
    const Vx::RCPtr<RecordingCommand> command =
        Vx::MakeRCPtr<RecordingCommand>("printf '%0300d\\n' 0; printf 'x\\r\\n'");
    ASSERT_TRUE(command->Execute());
    const std::string zeros(300, '0');
    EXPECT_EQ(command->mEvents,
              (std::vector<std::string>{
                  "listener start, status -1",
                  "tokenizing start",
                  "listener output [" + zeros.substr(0, 127) + "] after [" + zeros.substr(0, 127) + "]",
                  "listener output [" + zeros.substr(0, 127) + "] after [" + zeros.substr(0, 254) + "]",
                  "listener output [" + zeros.substr(0, 46) + "\n] after [" + zeros + "\n]",
                  "token [" + zeros + "]",
                  "listener output [x\r\n] after [" + zeros + "\nx\r\n]",
                  "token [x\r]",
                  "tokenizing finish",
                  "listener finish",
              }));
}

TEST_F(ExternalCommandTest, ExitStatusIsTheShellsWaitStatus)
{
    struct Case
    {
        const char* command;
        std::int32_t status;
        const char* output;
    };
    const Case cases[] = {
        {"echo done", 0, "done\n"},
        {"echo partly; exit 3", 0x300, "partly\n"},
        // The shell's answer for a command it cannot find: the run itself works.
        {"vx-no-such-command --help", ExternalCommand::kCommandNotFound, ""},
        // Neither the simulation nor the harmless tools have it: never the real one.
        {"reboot", ExternalCommand::kCommandNotFound, ""},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.command);
        ExternalCommand command(String(test.command), true);
        EXPECT_EQ(command.GetExitStatus(), -1);
        VxTest::CaptureStderr capture;
        EXPECT_TRUE(command.Execute());
        capture.Finish();
        EXPECT_EQ(command.GetExitStatus(), test.status);
        EXPECT_STREQ(command.GetOutput().GetCString(), test.output);
    }
}

TEST_F(ExternalCommandTest, OutputAccumulatesOverRunsOfACommandObjectOnly)
{
    const Vx::RCPtr<RecordingCommand> generic = Vx::MakeRCPtr<RecordingCommand>("echo run; exit 1");
    ExternalCommand plain(String("echo run"), false);
    for (int run = 0; run < 2; ++run)
    {
        EXPECT_TRUE(generic->Execute());
        EXPECT_TRUE(plain.Execute());
    }
    EXPECT_STREQ(generic->GetOutput().GetCString(), "run\nrun\n");
    EXPECT_STREQ(plain.GetOutput().GetCString(), "run\n");
    // The status reads -1 again at the start of the second run.
    EXPECT_EQ(generic->mEvents[6], "listener start, status -1");
    EXPECT_EQ(generic->GetExitStatus(), 0x100);
    EXPECT_FALSE(generic->Succeeded());
}

TEST_F(ExternalCommandTest, ASecondExecuteWhileRunningIsRefused)
{
    const std::string fifo = mTools.GetScratchDirectory() + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string text = "echo started; read line < " + fifo + "; echo \"$line\"";
    ExternalCommand command(String(text.c_str()), true);

    std::atomic<bool> started{false};
    Vx::ExternalCommandOutputSinkToFunctionSet sink(nullptr, nullptr, [&](const String&) { started = true; });
    command.SetSink(&sink);
    command.Wake(); // idle: nothing happens

    VxTest::CaptureStderr capture;
    bool firstResult = false;
    std::thread runner([&] { firstResult = command.Execute(); });
    while (!started)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    EXPECT_FALSE(command.Execute());
    command.Wake(); // only shortens a wait
    const int writer = ::open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::write(writer, "done\n", 5), 5);
    ::close(writer);
    runner.join();
    const std::string trace = capture.Finish();

    EXPECT_TRUE(firstResult);
    EXPECT_STREQ(command.GetOutput().GetCString(), "started\ndone\n");
    EXPECT_EQ(command.GetExitStatus(), 0);
    EXPECT_NE(trace.find("Command execution is still in progress: " + text + "\n"), std::string::npos) << trace;
    // The refused call started nothing.
    EXPECT_EQ(trace.find("Starting command: "), trace.rfind("Starting command: "));
}
} // namespace
