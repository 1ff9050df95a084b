#pragma once

// The command runner of the tests that run shell commands: the output sink of
// every command the test runs, which writes the command line, each line of
// output (a last one without a line end too) and the exit status into the
// test's log.  T is the owning test, a Vx::LThreadedTest that has the executer
// as its next base and befriends it, so that the executer may log.

#include "Panel/Engine/VB05Common/ExternalCommand.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>

namespace Vx::VB05
{
template <class T>
class ExternalCommandExecuter : public IExternalCommandOutputSink, public IExternalCommandOutputTokenizerSink
{
public:
    using String = StringT<char, unsigned short>;

    ExternalCommandExecuter() : mTokenizer(String("\n")) { mTokenizer.SetSink(this); }
    virtual ~ExternalCommandExecuter() = default;
    ExternalCommandExecuter(const ExternalCommandExecuter&) = delete;
    ExternalCommandExecuter& operator=(const ExternalCommandExecuter&) = delete;

    // The output side: cut into lines.
    void OnStart() override { mTokenizer.OnStart(); }
    void OnFinish() override { mTokenizer.OnFinish(); }
    void OnOutput(const String& chunk) override { mTokenizer.OnOutput(chunk); }

    // The line side: each line goes to the test's log.
    void OnTokenizingStart() override {}
    void OnTokenizingFinish() override {}
    void OnToken(const String& line) override { static_cast<T*>(this)->Log(line); }

    // Runs the command with its output logged.  True when it ran; the exit
    // status (the wait status) is then stored and logged, otherwise the status
    // is left as it was.
    bool Execute(ExternalCommand& command, std::int32_t& status)
    {
        static_cast<T*>(this)->Log(String::Format("Executing command: %s", command.GetCommand().GetCString()));
        command.SetSink(this);
        const bool ran = command.Execute();
        if (ran)
        {
            status = command.GetExitStatus();
            static_cast<T*>(this)->Log(String::Format("Exit status: %d", status));
        }
        else
        {
            static_cast<T*>(this)->Log(String("Failed to execute"));
        }
        return ran;
    }

    bool Execute(const String& commandLine, std::int32_t& status)
    {
        ExternalCommand command(commandLine, true);
        return Execute(command, status);
    }

private:
    ExternalCommandOutputTokenizer mTokenizer;
};
} // namespace Vx::VB05
