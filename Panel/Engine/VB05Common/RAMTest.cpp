#include "Panel/Engine/VB05Common/RAMTest.h"

#include "Panel/Engine/VB05Common/Platform/DeviceCalls.h"
#include "VxFramework/Utilities/Storage/RCPtrArray.h"

#include <algorithm>
#include <cstring>

namespace Vx::VB05
{
namespace
{
using String = StringT<char, unsigned short>;

constexpr std::uint32_t kPatternWords[] = {0xAAAAAAAAu, 0x55555555u};

// The size in MiB as the lines print it: through single precision.
double Mebibytes(std::uint64_t bytes)
{
    return static_cast<double>(static_cast<float>(bytes) * 0x1p-20f);
}

// Sizes are computed in 64 bits; one a buffer cannot hold is never cut to
// fit, it simply cannot be had (the buffer stays empty).
void TrySize(LIBuffer& buffer, std::uint64_t size)
{
    if (size <= kMaxBufferSize)
        buffer.SetSize(static_cast<std::uint32_t>(size));
}

// Asks for the request, then for a step less each time while nothing is had
// and a whole step remains.
void AllocateStepwise(LIBuffer& buffer, std::uint64_t request)
{
    TrySize(buffer, request);
    while (buffer.GetData() == nullptr && request >= detail::kRAMTestStep)
    {
        request -= detail::kRAMTestStep;
        TrySize(buffer, request);
    }
}

std::uint64_t AllocatedSize(const LIBuffer& buffer)
{
    return buffer.GetData() != nullptr ? buffer.GetSize() : 0;
}
} // namespace

namespace detail
{
RCPtr<LIBuffer> AllocateRAMTestBuffer(const std::function<void(const String&)>& log)
{
    RCPtr<LIBuffer> buffer = RAMTestBuffer::Create(0, 0, kBufferZeroFill);
    if (buffer == nullptr)
        return nullptr;

    std::uint64_t request = kRAMTestDefaultRequest;
    struct sysinfo info
    {
    };
    if (DeviceCalls::Get().GetSystemInfo(info) != 0)
    {
        log(String("sysinfo failed"));
    }
    else
    {
        // The kernel counts in units of mem_unit bytes.
        const std::uint64_t unit = info.mem_unit != 0 ? info.mem_unit : 1;
        const std::uint64_t freeBytes = static_cast<std::uint64_t>(info.freeram) * unit;
        log(String::Format("sysinfo.freeram=%f.0 MiB", Mebibytes(freeBytes)));
        request = freeBytes - std::min(freeBytes / 16, kRAMTestMargin);
    }

    log(String::Format("Trying to allocate %f.0 MiB", Mebibytes(request)));
    AllocateStepwise(*buffer, request);
    std::uint64_t allocated = AllocatedSize(*buffer);
    log(String::Format("Successful allocation: %f.0 MiB", Mebibytes(allocated)));

    // Hand the margin back to the system.
    if (allocated > kRAMTestMargin)
    {
        buffer->SetSize(0);
        allocated -= kRAMTestMargin;
        log(String::Format("Trying to reduce allocated memory to %f.0 MiB", Mebibytes(allocated)));
        AllocateStepwise(*buffer, allocated);
        log(String::Format("Final allocation: %f.0 MiB", Mebibytes(AllocatedSize(*buffer))));
    }
    return buffer;
}

void FillWithPattern(void* buffer, std::size_t size, const void* pattern, std::size_t patternSize)
{
    char* const bytes = static_cast<char*>(buffer);
    for (std::size_t offset = 0; offset < size; offset += patternSize)
        std::memcpy(bytes + offset, pattern, std::min(patternSize, size - offset));
}

bool CompareWithPattern(const void* buffer, std::size_t size, const void* pattern, std::size_t patternSize)
{
    const char* const bytes = static_cast<const char*>(buffer);
    for (std::size_t offset = 0; offset < size; offset += patternSize)
    {
        if (std::memcmp(bytes + offset, pattern, std::min(patternSize, size - offset)) != 0)
            return false;
    }
    return true;
}
} // namespace detail

std::int32_t LRAMTest::Run()
{
    RCPtrArray<LIBuffer> patterns(2);
    for (std::uint32_t index = 0; index < 2; ++index)
    {
        RCPtr<LIBuffer> pattern = detail::RAMTestBuffer::Create(0, 0, kBufferZeroFill);
        if (pattern == nullptr)
            return kResultFailed;
        patterns[index] = pattern;
        pattern->SetSize(detail::kRAMTestPatternSize);
        if (pattern->GetSize() != detail::kRAMTestPatternSize || pattern->GetData() == nullptr)
            return kResultFailed;
        char* const bytes = static_cast<char*>(pattern->GetData());
        for (std::uint32_t word = 0; word < pattern->GetSize() / 4; ++word)
            std::memcpy(bytes + 4 * static_cast<std::size_t>(word), &kPatternWords[index], 4);
    }

    const RCPtr<LIBuffer> buffer = detail::AllocateRAMTestBuffer([this](const String& line) { Log(line); });
    if (buffer == nullptr || buffer->GetData() == nullptr)
        return kResultFailed;

    for (const RCPtr<LIBuffer>& pattern : patterns)
    {
        Log(String("Filling buffer with pattern"));
        detail::FillWithPattern(buffer->GetData(), buffer->GetSize(), pattern->GetData(), pattern->GetSize());
        Log(String("Reading buffer and comparing with pattern"));
        if (!detail::CompareWithPattern(buffer->GetData(), buffer->GetSize(), pattern->GetData(), pattern->GetSize()))
            return kResultFailed;
    }
    return kResultSucceeded;
}
} // namespace Vx::VB05
