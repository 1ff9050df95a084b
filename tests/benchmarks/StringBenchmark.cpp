// The cost of the framework string next to the standard strings doing the
// same work: formatting, appending, copying and UTF-8/UTF-16 conversion.
#include "VxFramework/Utilities/Storage/StringT.h"

#include <benchmark/benchmark.h>

#include <codecvt>
#include <cstdio>
#include <locale>
#include <string>

namespace
{
using String = Vx::StringT<char, unsigned short>;
using WideString = Vx::StringT<unsigned short, char>;

// Mixed text: ASCII, two-, three- and four-byte sequences.
std::string SampleText(std::size_t repeats)
{
    std::string text;
    for (std::size_t i = 0; i < repeats; ++i)
        text += "Test line \xC3\xA9t\xC3\xA9 \xE2\x82\xAC 42 \xF0\x9F\x98\x80 ";
    return text;
}

void FormatFramework(benchmark::State& state)
{
    for (auto _ : state)
    {
        String s = String::Format("Thread 0x%x : %s after %u milliseconds (%d, %.2f)", 0xbeefu, "timed out", 60000u, -3, 1.5);
        benchmark::DoNotOptimize(s.GetCString());
    }
}
BENCHMARK(FormatFramework);

void FormatStandard(benchmark::State& state)
{
    for (auto _ : state)
    {
        char buffer[16384];
        const int n = std::snprintf(buffer, sizeof buffer, "Thread 0x%x : %s after %u milliseconds (%d, %.2f)", 0xbeefu,
                                    "timed out", 60000u, -3, 1.5);
        std::string s(buffer, static_cast<std::size_t>(n));
        benchmark::DoNotOptimize(s.data());
    }
}
BENCHMARK(FormatStandard);

void AppendFramework(benchmark::State& state)
{
    const String piece("log line; ");
    for (auto _ : state)
    {
        String s;
        for (int i = 0; i < state.range(0); ++i)
            s.Append(piece);
        benchmark::DoNotOptimize(s.GetCString());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(AppendFramework)->Arg(10)->Arg(100)->Arg(1000);

void AppendStandard(benchmark::State& state)
{
    const std::string piece("log line; ");
    for (auto _ : state)
    {
        std::string s;
        for (int i = 0; i < state.range(0); ++i)
            s += piece;
        benchmark::DoNotOptimize(s.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(AppendStandard)->Arg(10)->Arg(100)->Arg(1000);

void CopyFramework(benchmark::State& state)
{
    const String original(SampleText(static_cast<std::size_t>(state.range(0))).c_str());
    for (auto _ : state)
    {
        String copy(original);
        benchmark::DoNotOptimize(copy.GetCString());
    }
}
BENCHMARK(CopyFramework)->Arg(1)->Arg(100);

void CopyStandard(benchmark::State& state)
{
    const std::string original = SampleText(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
    {
        std::string copy(original);
        benchmark::DoNotOptimize(copy.data());
    }
}
BENCHMARK(CopyStandard)->Arg(1)->Arg(100);

// std::wstring_convert is deprecated but is the standard library's own
// UTF-8/UTF-16 converter, so it is the fair comparison here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
using Converter = std::wstring_convert<std::codecvt_utf8_utf16<char16_t>, char16_t>;

void Utf8ToUtf16Framework(benchmark::State& state)
{
    const String text(SampleText(static_cast<std::size_t>(state.range(0))).c_str());
    for (auto _ : state)
    {
        WideString wide(text);
        benchmark::DoNotOptimize(wide.GetCString());
    }
    state.SetBytesProcessed(state.iterations() * text.GetLength());
}
BENCHMARK(Utf8ToUtf16Framework)->Arg(1)->Arg(100);

void Utf8ToUtf16Standard(benchmark::State& state)
{
    const std::string text = SampleText(static_cast<std::size_t>(state.range(0)));
    Converter converter;
    for (auto _ : state)
    {
        std::u16string wide = converter.from_bytes(text);
        benchmark::DoNotOptimize(wide.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(Utf8ToUtf16Standard)->Arg(1)->Arg(100);

void Utf16ToUtf8Framework(benchmark::State& state)
{
    const String text(SampleText(static_cast<std::size_t>(state.range(0))).c_str());
    const WideString wide(text);
    for (auto _ : state)
    {
        String narrow(wide);
        benchmark::DoNotOptimize(narrow.GetCString());
    }
    state.SetBytesProcessed(state.iterations() * text.GetLength());
}
BENCHMARK(Utf16ToUtf8Framework)->Arg(1)->Arg(100);

void Utf16ToUtf8Standard(benchmark::State& state)
{
    const std::string text = SampleText(static_cast<std::size_t>(state.range(0)));
    Converter converter;
    const std::u16string wide = converter.from_bytes(text);
    for (auto _ : state)
    {
        std::string narrow = converter.to_bytes(wide);
        benchmark::DoNotOptimize(narrow.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(Utf16ToUtf8Standard)->Arg(1)->Arg(100);
#pragma GCC diagnostic pop
} // namespace

BENCHMARK_MAIN();
