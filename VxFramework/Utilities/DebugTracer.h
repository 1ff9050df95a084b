#pragma once

#include "VxFramework/ObjectBase/Mutex.h"

#include <cstdint>
#include <ostream>
#include <sstream>

// A string buffer that hands each flushed text to standard error in one write.
template <class C>
class basic_debugbuf : public std::basic_stringbuf<C>
{
public:
    basic_debugbuf() : std::basic_stringbuf<C>(std::ios_base::in | std::ios_base::out) {}
    ~basic_debugbuf() override;

protected:
    std::streamsize xsputn(const C* units, std::streamsize count) override;
    int sync() override;

private:
    void Output(const C* text);
};

template <class C>
class basic_dostream : public std::basic_ostream<C>
{
public:
    basic_dostream() : std::basic_ostream<C>(nullptr) { this->init(&mBuffer); }

private:
    basic_debugbuf<C> mBuffer;
};

namespace Vx
{
// The program's one trace log.  Lines at or below the threshold level are
// written to standard error whole, one thread at a time.
class DebugTracer
{
public:
    DebugTracer();
    virtual ~DebugTracer();
    DebugTracer(const DebugTracer&) = delete;
    DebugTracer& operator=(const DebugTracer&) = delete;

    // The process-wide tracer, built on first use and never destroyed, so that
    // threads still running at exit can trace.
    static DebugTracer& Get();
    // The lock that serialises every trace line.
    static Mutex& GetLock();

    // Formats at most 510 bytes and writes them without a line end.
    virtual void TraceNoNewline(std::int32_t level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    // Formats at most 511 bytes and writes them as one line.
    virtual void Trace(std::int32_t level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    // Take and release the trace lock when the level passes; write nothing.
    virtual void TraceSilent(std::int32_t level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    virtual void TraceSilentNoNewline(std::int32_t level, const char* format, ...) __attribute__((format(printf, 3, 4)));

    std::int32_t GetLevel() const noexcept { return mLevel; }

    static constexpr std::size_t kLineBufferSize = 512;

private:
    std::int32_t mLevel = 1;
    basic_dostream<char> mStream;
    std::ostream* mStreamPtr = &mStream;
};
} // namespace Vx
