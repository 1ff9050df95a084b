#pragma once

// Lets a threaded test run shell commands with everything they print in its
// test log: the executer is the commands' output sink, cuts their output into
// lines and logs the start, each line (a last one without a line end too) and
// the exit status.  T is the owning test, derived from LThreadedTest, with
// the executer as its base and this class as its friend (for Log).

#include "Panel/Engine/VB05Common/ExternalCommand.h"

#include <cstdint>

namespace Vx::VB05
{
template <class T>
class ExternalCommandExecuter : public IExternalCommandOutputSink, public IExternalCommandOutputTokenizerSink
{
public:
    using String = StringT<char, unsigned short>;

    ExternalCommandExecuter() : mTokenizer(String("\n"))
    {
        mTokenizer.SetSink(static_cast<IExternalCommandOutputTokenizerSink*>(this));
    }
    virtual ~ExternalCommandExecuter() = default;
    ExternalCommandExecuter(const ExternalCommandExecuter&) = delete;
    ExternalCommandExecuter& operator=(const ExternalCommandExecuter&) = delete;

    void OnStart() override { mTokenizer.OnStart(); }
    void OnFinish() override { mTokenizer.OnFinish(); }
    void OnOutput(const String& chunk) override { mTokenizer.OnOutput(chunk); }

    void OnTokenizingStart() override {}
    void OnTokenizingFinish() override {}
    void OnToken(const String& line) override { LogLine(line); }

    // Runs the command with its output in the log.  True when it ran; the
    // status is then its wait status (left alone otherwise).
    bool Execute(ExternalCommand& command, std::int32_t& status)
    {
        LogLine(String::Format("Executing command: %s", command.GetCommand().GetCString()));
        command.SetSink(this);
        const bool ran = command.Execute();
        command.SetSink(nullptr);
        if (ran)
        {
            status = command.GetExitStatus();
            LogLine(String::Format("Exit status: %d", status));
        }
        else
            LogLine(String("Failed to execute"));
        return ran;
    }

    bool Execute(const String& commandLine, std::int32_t& status)
    {
        ExternalCommand command(commandLine, true);
        return Execute(command, status);
    }

private:
    void LogLine(const String& line) { static_cast<T*>(this)->Log(line); }

    ExternalCommandOutputTokenizer mTokenizer;
};
} // namespace Vx::VB05
