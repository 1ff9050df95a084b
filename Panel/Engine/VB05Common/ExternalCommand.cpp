#include "Panel/Engine/VB05Common/ExternalCommand.h"

#include "VxFramework/Utilities/DebugTracer.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <utility>

namespace Vx
{
namespace
{
// Chunks are at most one line of at most 127 characters.
constexpr int kChunkBufferSize = 128;
// How long a run waits for more output before it looks again.
constexpr std::uint32_t kOutputWaitMilliseconds = 20;
} // namespace

ExternalCommand::ExternalCommand(const String& command, bool logOutput) : mCommand(command), mLogOutput(logOutput) {}

ExternalCommand::~ExternalCommand()
{
    Wake();
}

bool ExternalCommand::Execute()
{
    bool idle = false;
    if (!mRunning.compare_exchange_strong(idle, true))
    {
        DebugTracer::Get().Trace(-1, "Command execution is still in progress: %s", mCommand.GetCString());
        return false;
    }
    mCompletion.Reset();
    mWake.Reset();
    mExitStatus.store(-1);

    // Whatever a handler throws, the stream is closed and the object is idle
    // again before the exception leaves.
    std::FILE* stream = nullptr;
    struct RunGuard
    {
        ExternalCommand& command;
        std::FILE*& stream;
        bool finished = false;
        ~RunGuard()
        {
            if (finished)
                return;
            if (stream != nullptr)
                ::pclose(stream);
            command.mRunning.store(false);
            command.mCompletion.Set();
        }
    } guard{*this, stream};

    OnStart();
    DebugTracer::Get().Trace(-1, "Starting command: %s", mCommand.GetCString());

    bool result = false;
    stream = ::popen(mCommand.GetCString(), "r");
    if (stream == nullptr)
    {
        DebugTracer::Get().Trace(1, "popen() failed, errno=%d", errno);
    }
    else
    {
        const int fd = ::fileno(stream);
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0)
        {
            DebugTracer::Get().Trace(1, "fcntl() failed, errno=%d", errno);
            ::pclose(std::exchange(stream, nullptr));
        }
        else
        {
            result = ReadOutput(stream);
            const int status = ::pclose(std::exchange(stream, nullptr));
            mExitStatus.store(status);
            DebugTracer::Get().Trace(-1, "Exit status: %d", status);
        }
    }

    mRunning.store(false);
    guard.finished = true;
    OnFinish();
    mCompletion.Set();
    return result;
}

bool ExternalCommand::ReadOutput(std::FILE* stream)
{
    char chunk[kChunkBufferSize];
    while (!std::feof(stream))
    {
        errno = 0;
        if (std::fgets(chunk, sizeof chunk, stream) != nullptr)
        {
            if (mLogOutput)
                DebugTracer::Get().TraceNoNewline(-1, "%s", chunk);
            OnOutputLine(String(chunk));
            continue;
        }
        if (std::feof(stream))
            break;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
        {
            // Nothing yet: the error mark of the stream goes, the wait comes.
            std::clearerr(stream);
            mWake.Wait(kOutputWaitMilliseconds);
            continue;
        }
        DebugTracer::Get().Trace(1, "fgets() failed, errno=%d", errno);
        return false;
    }
    return true;
}

void ExternalCommand::Wake()
{
    if (mRunning.load())
        mWake.Set();
}

ExternalCommand::String ExternalCommand::GetOutput() const
{
    return mOutput;
}

std::int32_t ExternalCommand::GetExitStatus() const
{
    return mExitStatus.load();
}

void ExternalCommand::OnStart()
{
    mOutput.Empty();
    if (mSink != nullptr)
        mSink->OnStart();
}

void ExternalCommand::OnFinish()
{
    if (mSink != nullptr)
        mSink->OnFinish();
}

void ExternalCommand::OnOutputLine(const String& chunk)
{
    mOutput.Append(chunk);
    if (mSink != nullptr)
        mSink->OnOutput(chunk);
}

//==============================================================================
StreamTokenizer::StreamTokenizer(const String& delimiters) : mDelimiters(delimiters) {}

void StreamTokenizer::Reset()
{
    mPending.Empty();
}

void StreamTokenizer::Flush()
{
    Cut(true);
}

void StreamTokenizer::Feed(const String& text)
{
    mPending.Append(text);
    Cut(false);
}

StringArrayT<char, unsigned short> StreamTokenizer::TakeTokens()
{
    StringArrayT<char, unsigned short> tokens(mTokens);
    mTokens.RemoveAll();
    return tokens;
}

void StreamTokenizer::OnToken(const String& token)
{
    mTokens.Add(token);
}

void StreamTokenizer::Cut(bool flush)
{
    for (;;)
    {
        const char* const text = mPending.GetCString();
        const std::size_t position = std::strcspn(text, mDelimiters.GetCString());
        if (text[position] == '\0')
            break;
        const auto length = static_cast<std::int32_t>(position);
        if (length > 0)
            OnToken(mPending.Mid(0, length));
        // Exactly one delimiter goes: consecutive ones give empty tokens,
        // which are dropped above.
        mPending = mPending.Mid(length + 1);
    }
    if (flush)
    {
        if (!mPending.IsEmpty())
            OnToken(mPending);
        mPending.Empty();
    }
}

//==============================================================================
ExternalCommandOutputTokenizer::ExternalCommandOutputTokenizer(const String& delimiters) : mTokenizer(delimiters) {}

void ExternalCommandOutputTokenizer::OnStart()
{
    mTokenizer.Reset();
    if (mSink != nullptr)
        mSink->OnTokenizingStart();
}

void ExternalCommandOutputTokenizer::OnOutput(const String& chunk)
{
    mTokenizer.Feed(chunk);
    DeliverTokens();
}

void ExternalCommandOutputTokenizer::OnFinish()
{
    mTokenizer.Flush();
    DeliverTokens();
    if (mSink != nullptr)
        mSink->OnTokenizingFinish();
}

void ExternalCommandOutputTokenizer::DeliverTokens()
{
    const StringArrayT<char, unsigned short> tokens = mTokenizer.TakeTokens();
    if (mSink == nullptr)
        return;
    for (const String& token : tokens)
        mSink->OnToken(token);
}

//==============================================================================
ExternalCommandOutputSinkToFunctionSet::ExternalCommandOutputSinkToFunctionSet(
    std::function<void()> onStart, std::function<void()> onFinish, std::function<void(const String&)> onOutput)
    : mOnStart(std::move(onStart)), mOnFinish(std::move(onFinish)), mOnOutput(std::move(onOutput))
{
}

void ExternalCommandOutputSinkToFunctionSet::OnStart()
{
    if (mOnStart)
        mOnStart();
}

void ExternalCommandOutputSinkToFunctionSet::OnFinish()
{
    if (mOnFinish)
        mOnFinish();
}

void ExternalCommandOutputSinkToFunctionSet::OnOutput(const String& chunk)
{
    if (mOnOutput)
        mOnOutput(chunk);
}

ExternalCommandOutputTokenizerSinkToFunctionSet::ExternalCommandOutputTokenizerSinkToFunctionSet(
    std::function<void()> onStart, std::function<void()> onFinish, std::function<void(const String&)> onToken)
    : mOnStart(std::move(onStart)), mOnFinish(std::move(onFinish)), mOnToken(std::move(onToken))
{
}

void ExternalCommandOutputTokenizerSinkToFunctionSet::OnTokenizingStart()
{
    if (mOnStart)
        mOnStart();
}

void ExternalCommandOutputTokenizerSinkToFunctionSet::OnTokenizingFinish()
{
    if (mOnFinish)
        mOnFinish();
}

void ExternalCommandOutputTokenizerSinkToFunctionSet::OnToken(const String& token)
{
    if (mOnToken)
        mOnToken(token);
}

//==============================================================================
namespace VB05
{
LGenericExternalCommand::LGenericExternalCommand(const String& command, const String& delimiters)
    : ExternalCommand(command, true), mTokenizer(delimiters)
{
    SetSink(static_cast<IExternalCommandOutputSink*>(this));
    mTokenizer.SetSink(static_cast<IExternalCommandOutputTokenizerSink*>(this));
}

LGenericExternalCommand::~LGenericExternalCommand() = default;

bool LGenericExternalCommand::Succeeded()
{
    return GetExitStatus() == 0;
}

void LGenericExternalCommand::OnStart()
{
    if (mListener != nullptr)
        mListener->OnStart();
    mTokenizer.OnStart();
}

void LGenericExternalCommand::OnFinish()
{
    mTokenizer.OnFinish();
    if (mListener != nullptr)
        mListener->OnFinish();
}

void LGenericExternalCommand::OnOutput(const String& chunk)
{
    if (mListener != nullptr)
        mListener->OnOutput(chunk);
    mTokenizer.OnOutput(chunk);
}

void LGenericExternalCommand::OnTokenizingStart() {}

void LGenericExternalCommand::OnTokenizingFinish() {}

void LGenericExternalCommand::OnToken(const String& /*token*/) {}
} // namespace VB05
} // namespace Vx
