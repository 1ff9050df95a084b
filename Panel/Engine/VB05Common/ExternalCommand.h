#pragma once

// The shell command runner: one command line through the shell, its standard
// output read without blocking in chunks of at most one line, every chunk
// handed to virtual handlers and an optional sink, and the shell's wait status
// kept.  Tokenizers cut the chunked stream at delimiters (every user cuts at
// line ends); LGenericExternalCommand is the counted base of the platform's
// command objects.  Commands run on the calling thread; nothing here starts a
// thread.

#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/Utilities/Storage/ArrayUtils.h"
#include "VxFramework/Utilities/Storage/StringT.h"
#include "VxFramework/Utilities/Threading/EventData.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>

namespace Vx
{
// Receives the output of a command run as it comes.
class IExternalCommandOutputSink
{
public:
    virtual void OnStart() = 0;
    virtual void OnFinish() = 0;
    // One chunk: a line with its line end, or up to 127 characters of one.
    virtual void OnOutput(const StringT<char, unsigned short>& chunk) = 0;

protected:
    ~IExternalCommandOutputSink() = default;
};

// Receives the tokens cut from a command's output.
class IExternalCommandOutputTokenizerSink
{
public:
    virtual void OnTokenizingStart() = 0;
    virtual void OnTokenizingFinish() = 0;
    virtual void OnToken(const StringT<char, unsigned short>& token) = 0;

protected:
    ~IExternalCommandOutputTokenizerSink() = default;
};

class ExternalCommand
{
public:
    using String = StringT<char, unsigned short>;

    // The wait status of a command line whose command the shell did not find
    // (exit code 127).
    static constexpr std::int32_t kCommandNotFound = 0x7F00;

    // The command line goes to the shell as it is.  logOutput traces every
    // chunk of output at level -1.
    ExternalCommand(const String& command, bool logOutput);
    // Wakes a run in progress; does not wait for it.
    virtual ~ExternalCommand();
    ExternalCommand(const ExternalCommand&) = delete;
    ExternalCommand& operator=(const ExternalCommand&) = delete;

    // Runs the command to its end on the calling thread.  True when its output
    // was read to the end and the stream closed (whatever the command's exit
    // code); false while another run of this object is in progress, or when
    // the command could not be started or read.
    virtual bool Execute();
    // Cuts the current 20 ms wait of a run short; does not stop the command.
    // Any thread; nothing on an idle object.
    virtual void Wake();
    // The output of the run (of every run, for objects that keep it).
    virtual String GetOutput() const;
    // -1 from the start of a run until its stream is closed, then the wait
    // status (exit code times 256 for a normal exit).
    virtual std::int32_t GetExitStatus() const;

    // Empties the output text, then tells the sink.
    virtual void OnStart();
    virtual void OnFinish();
    // Appends the chunk to the output text, then hands it to the sink.
    virtual void OnOutputLine(const String& chunk);

    // Not owned; null for none.  Not while running.
    void SetSink(IExternalCommandOutputSink* sink) { mSink = sink; }
    void SetLogOutput(bool logOutput) { mLogOutput = logOutput; }
    String GetCommand() const { return mCommand; }

private:
    // Reads the stream to its end; false on a read failure.
    bool ReadOutput(std::FILE* stream);

    const String mCommand;
    String mOutput;
    IExternalCommandOutputSink* mSink = nullptr;
    Event mWake{Event::kAutoReset};
    Event mCompletion{Event::kAutoReset};
    std::atomic<bool> mRunning{false};
    std::atomic<std::int32_t> mExitStatus{-1};
    bool mLogOutput;
};

// Cuts a stream of text into tokens at any character of a delimiter set.
// Empty tokens are dropped; text after the last delimiter waits for more.
class StreamTokenizer
{
public:
    using String = StringT<char, unsigned short>;

    explicit StreamTokenizer(const String& delimiters);
    virtual ~StreamTokenizer() = default;

    // Drops the text that waits for more; collected tokens stay.
    virtual void Reset();
    // Cuts, and the rest becomes the last token.
    virtual void Flush();
    // Appends the text and cuts what is complete.
    virtual void Feed(const String& text);
    // The collected tokens, in order; the collection is emptied.
    virtual StringArrayT<char, unsigned short> TakeTokens();
    // Collects a token; a subclass may consume tokens as they are cut.
    virtual void OnToken(const String& token);

private:
    void Cut(bool flush);

    const String mDelimiters;
    String mPending;
    StringArrayT<char, unsigned short> mTokens;
};

// A command's output sink that hands the tokens of the output to a tokenizer sink.
class ExternalCommandOutputTokenizer : public IExternalCommandOutputSink
{
public:
    using String = StringT<char, unsigned short>;

    explicit ExternalCommandOutputTokenizer(const String& delimiters);
    virtual ~ExternalCommandOutputTokenizer() = default;

    // Not owned; null for none (the tokens are then dropped).
    void SetSink(IExternalCommandOutputTokenizerSink* sink) { mSink = sink; }

    void OnStart() override;
    void OnFinish() override;
    void OnOutput(const String& chunk) override;

    // Hands every collected token to the sink, in order.
    void DeliverTokens();

private:
    StreamTokenizer mTokenizer;
    IExternalCommandOutputTokenizerSink* mSink = nullptr;
};

// An output sink of three callables, each of which may be empty.
class ExternalCommandOutputSinkToFunctionSet : public IExternalCommandOutputSink
{
public:
    using String = StringT<char, unsigned short>;

    ExternalCommandOutputSinkToFunctionSet(std::function<void()> onStart, std::function<void()> onFinish,
                                           std::function<void(const String&)> onOutput);
    virtual ~ExternalCommandOutputSinkToFunctionSet() = default;

    void OnStart() override;
    void OnFinish() override;
    void OnOutput(const String& chunk) override;

private:
    std::function<void()> mOnStart;
    std::function<void()> mOnFinish;
    std::function<void(const String&)> mOnOutput;
};

// A tokenizer sink of three callables, each of which may be empty.
class ExternalCommandOutputTokenizerSinkToFunctionSet : public IExternalCommandOutputTokenizerSink
{
public:
    using String = StringT<char, unsigned short>;

    ExternalCommandOutputTokenizerSinkToFunctionSet(std::function<void()> onStart, std::function<void()> onFinish,
                                                    std::function<void(const String&)> onToken);
    virtual ~ExternalCommandOutputTokenizerSinkToFunctionSet() = default;

    void OnTokenizingStart() override;
    void OnTokenizingFinish() override;
    void OnToken(const String& token) override;

private:
    std::function<void()> mOnStart;
    std::function<void()> mOnFinish;
    std::function<void(const String&)> mOnToken;
};

namespace VB05
{
// The counted base of the platform's command objects: a runner that cuts its
// own output into tokens, forwards the raw output to an optional listener and
// gives its subclasses one call per token.  In one run: listener OnStart,
// OnTokenizingStart; per chunk the output text grows, listener OnOutput, one
// OnToken per line the chunk completes; at the end OnToken for a last line
// without a line end, OnTokenizingFinish, listener OnFinish.  Its output text
// is kept over repeated runs.
class LGenericExternalCommand : public ExternalCommand,
                                public IExternalCommandOutputSink,
                                public IExternalCommandOutputTokenizerSink,
                                public virtual LRefCountedObject
{
public:
    LGenericExternalCommand(const String& command, const String& delimiters);
    ~LGenericExternalCommand() override;

    // Not owned; null for none.  Not while running.
    void SetListener(IExternalCommandOutputSink* listener) { mListener = listener; }
    // Whether the command succeeded: its wait status is 0.
    virtual bool Succeeded();

    // Both the runner's and the output sink's: the output text is not
    // emptied, so it accumulates over runs.
    void OnStart() override;
    void OnFinish() override;
    void OnOutput(const String& chunk) override;

    // Nothing here; what subclasses override.
    void OnTokenizingStart() override;
    void OnTokenizingFinish() override;
    void OnToken(const String& token) override;

private:
    IExternalCommandOutputSink* mListener = nullptr;
    ExternalCommandOutputTokenizer mTokenizer;
};
} // namespace VB05
} // namespace Vx
