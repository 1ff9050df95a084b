#include "VxFramework/Utilities/DebugTracer.h"

#include "VxFramework/ObjectBase/NoDestructor.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <new>

namespace
{
// Pending text is handed on before it passes this many units.
constexpr std::streamsize kMaxPending = 1023;

// A cut at the end of a buffer must not leave half a UTF-8 sequence behind.
std::size_t TrimToCharBoundary(const char* text, std::size_t length)
{
    std::size_t start = length;
    while (start > 0 && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80)
        --start;
    if (start == 0)
        return length;
    const auto lead = static_cast<unsigned char>(text[start - 1]);
    std::size_t needed = 1;
    if ((lead & 0xE0) == 0xC0)
        needed = 2;
    else if ((lead & 0xF0) == 0xE0)
        needed = 3;
    else if ((lead & 0xF8) == 0xF0)
        needed = 4;
    return length - (start - 1) < needed ? start - 1 : length;
}

// Formats into buffer; returns the number of bytes kept, never more than limit - 1.
[[gnu::format(printf, 3, 0)]] std::size_t FormatLine(char* buffer, std::size_t limit, const char* format, va_list args)
{
    const int written = std::vsnprintf(buffer, limit, format, args);
    if (written < 0)
    {
        buffer[0] = '\0';
        return 0;
    }
    std::size_t length = static_cast<std::size_t>(written);
    if (length >= limit)
    {
        length = TrimToCharBoundary(buffer, limit - 1);
        buffer[length] = '\0';
    }
    return length;
}
} // namespace

template <class C>
basic_debugbuf<C>::~basic_debugbuf()
{
    if (this->pbase() != nullptr)
        sync();
}

template <class C>
std::streamsize basic_debugbuf<C>::xsputn(const C* units, std::streamsize count)
{
    std::streamsize taken = 0;
    while (taken < count)
    {
        std::streamsize pending = this->pptr() - this->pbase();
        if (pending > kMaxPending - 1)
        {
            sync();
            pending = 0;
        }
        const std::streamsize chunk = std::min(count - taken, kMaxPending - pending);
        const std::streamsize put = std::basic_stringbuf<C>::xsputn(units + taken, chunk);
        if (put <= 0)
            break;
        taken += put;
    }
    return taken;
}

template <class C>
int basic_debugbuf<C>::sync()
{
    this->sputc(C(0));
    Output(this->pbase());
    this->str(std::basic_string<C>());
    return 0;
}

template <>
void basic_debugbuf<char>::Output(const char* text)
{
    std::fputs(text, stderr);
    std::fflush(stderr);
}

template class basic_debugbuf<char>;

namespace Vx
{
DebugTracer::DebugTracer() = default;
DebugTracer::~DebugTracer() = default;

DebugTracer& DebugTracer::Get()
{
    static NoDestructor<DebugTracer> tracer;
    return *tracer;
}

Mutex& DebugTracer::GetLock()
{
    static NoDestructor<Mutex> lock;
    return *lock;
}

void DebugTracer::TraceNoNewline(std::int32_t level, const char* format, ...)
{
    if (level > mLevel)
        return;
    ScopedLock lock(GetLock());
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kLineBufferSize]);
    if (!buffer)
        return;
    va_list args;
    va_start(args, format);
    FormatLine(buffer.get(), kLineBufferSize - 1, format, args);
    va_end(args);
    *mStreamPtr << buffer.get();
    mStreamPtr->flush();
}

void DebugTracer::Trace(std::int32_t level, const char* format, ...)
{
    if (level > mLevel)
        return;
    ScopedLock lock(GetLock());
    char buffer[kLineBufferSize];
    va_list args;
    va_start(args, format);
    FormatLine(buffer, sizeof buffer, format, args);
    va_end(args);
    *mStreamPtr << buffer << std::endl;
}

void DebugTracer::TraceSilent(std::int32_t level, const char*, ...)
{
    if (level > mLevel)
        return;
    ScopedLock lock(GetLock());
}

void DebugTracer::TraceSilentNoNewline(std::int32_t level, const char*, ...)
{
    if (level > mLevel)
        return;
    ScopedLock lock(GetLock());
}
} // namespace Vx
