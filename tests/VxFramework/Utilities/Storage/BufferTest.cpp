#include "VxFramework/Utilities/Storage/Buffer.h"

#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{
// An allocator that counts its calls, can be told to fail (every request, or
// those above a size), and places every block 8 bytes further or nearer than
// the last one, so that a realloc always moves the block and changes its
// alignment.
struct AllocatorLog
{
    int calls = 0;
    bool fail = false;
    std::size_t failAbove = SIZE_MAX;
    std::size_t shift = 0;
};
AllocatorLog gLog;

constexpr std::size_t kHeader = 16;

void* Place(std::size_t size)
{
    char* base = static_cast<char*>(std::malloc(size + kHeader + 8));
    if (base == nullptr)
        return nullptr;
    gLog.shift ^= 8;
    char* user = base + kHeader + gLog.shift;
    std::memcpy(user - sizeof(void*), &base, sizeof base);
    std::memcpy(user - kHeader, &size, sizeof size);
    return user;
}

std::size_t PlacedSize(void* block)
{
    std::size_t size;
    std::memcpy(&size, static_cast<char*>(block) - kHeader, sizeof size);
    return size;
}

void Unplace(void* block)
{
    char* base;
    std::memcpy(&base, static_cast<char*>(block) - sizeof(void*), sizeof base);
    std::free(base);
}

bool Refused(std::size_t size)
{
    return gLog.fail || size > gLog.failAbove;
}

void* TestMalloc(std::size_t size)
{
    ++gLog.calls;
    return Refused(size) ? nullptr : Place(size);
}

void* TestCalloc(std::size_t count, std::size_t size)
{
    void* block = TestMalloc(count * size);
    if (block != nullptr)
        std::memset(block, 0, count * size);
    return block;
}

void* TestRealloc(void* block, std::size_t size)
{
    ++gLog.calls;
    if (Refused(size))
        return nullptr;
    void* moved = Place(size);
    const std::size_t old = PlacedSize(block);
    std::memcpy(moved, block, old < size ? old : size);
    Unplace(block);
    return moved;
}

void TestFree(void* block)
{
    ++gLog.calls;
    Unplace(block);
}

const Vx::Allocator& TestAllocator() noexcept
{
    static constexpr Vx::Allocator kAllocator{&TestMalloc, &TestCalloc, &TestRealloc, &TestFree};
    return kAllocator;
}

template <std::uint32_t G, std::uint32_t S, std::uint32_t A, class P = char*>
using TestBuffer = Vx::LBufferT<G, S, A, P, &TestAllocator>;

using Factory = Vx::RCPtr<Vx::LIBuffer> (*)(std::uint32_t, std::uint32_t, std::uint32_t);

class Buffers : public ::testing::Test
{
protected:
    void SetUp() override { gLog = AllocatorLog(); }
    void TearDown() override
    {
        gLog.fail = false;
        gLog.failAbove = SIZE_MAX;
    }
};

struct Step
{
    bool setSize;           // SetSize instead of Resize
    std::uint32_t size;
    std::uint32_t capacity; // expected afterwards
    bool allocates;         // whether the allocator is called
};

struct PolicyCase
{
    const char* name;
    Factory create;
    std::uint32_t size;
    std::uint32_t reserve;
    std::uint32_t capacity; // after construction
    std::vector<Step> steps;
};

TEST_F(Buffers, CapacityFollowsGranularitySlackAndAlignment)
{
    const PolicyCase cases[] = {
        {"string grows exactly, keeps up to 128 unused", &TestBuffer<1, 128, 8>::Create, 0, 0, 0,
         {{false, 10, 10, true}, {false, 20, 20, true}, {false, 10, 20, false}, {false, 200, 200, true},
          {false, 72, 200, false}, {false, 71, 71, true}, {false, 0, 71, false}, {false, 200, 200, true},
          {false, 0, 0, true}}},
        {"reserve beyond the slack is given back", &TestBuffer<1, 128, 8>::Create, 0, 1000, 0, {}},
        {"reserve within the slack is kept", &TestBuffer<1, 128, 8>::Create, 0, 100, 100,
         {{false, 60, 100, false}, {false, 101, 101, true}}},
        {"granularity 4, no slack", &TestBuffer<4, 0, 8>::Create, 0, 0, 0,
         {{false, 5, 8, true}, {false, 8, 8, false}, {false, 6, 8, false}, {false, 4, 4, true}, {false, 0, 0, true}}},
        {"SetSize keeps a block of the same capacity only", &TestBuffer<4, 0, 8>::Create, 0, 0, 0,
         {{true, 5, 8, true}, {true, 7, 8, false}, {true, 9, 12, true}, {true, 0, 0, true}}},
        {"queue ring, 1024-byte steps", &TestBuffer<1024, 1024, 8>::Create, 0, 0, 0,
         {{false, 1, 1024, true}, {false, 1025, 2048, true}, {false, 1024, 2048, false}, {false, 10, 1024, true}}},
        {"16-aligned samples over-allocate 15 bytes", &TestBuffer<1, 0, 16, float*>::Create, 5, 0, 20,
         {{false, 5, 20, false}, {false, 6, 21, true}, {false, 5, 20, true}}},
        {"page-aligned blocks", &TestBuffer<1, 0, 4096>::Create, 0, 0, 0, {{false, 1, 4096, true}}},
        {"initial size", &TestBuffer<1, 128, 8>::Create, 33, 0, 33, {{false, 34, 34, true}}},
    };
    for (const PolicyCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        Vx::RCPtr<Vx::LIBuffer> buffer = c.create(c.size, c.reserve, 0);
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(buffer->GetSize(), c.size);
        EXPECT_EQ(buffer->GetCapacity(), c.capacity);
        for (const Step& step : c.steps)
        {
            SCOPED_TRACE(::testing::Message() << (step.setSize ? "SetSize " : "Resize ") << step.size);
            const int before = gLog.calls;
            const std::int32_t result = step.setSize ? buffer->SetSize(step.size) : buffer->Resize(step.size);
            EXPECT_EQ(result, static_cast<std::int32_t>(step.size));
            EXPECT_EQ(buffer->GetSize(), step.size);
            EXPECT_EQ(buffer->GetCapacity(), step.capacity);
            EXPECT_EQ(gLog.calls != before, step.allocates);
            EXPECT_EQ(buffer->GetData() == nullptr, step.capacity == 0);
        }
    }
}

using SizeChange = std::int32_t (Vx::IBuffer::*)(std::uint32_t);

template <std::uint32_t A>
void CheckContentsSurviveMovesAndStayAligned(SizeChange change)
{
    TestBuffer<1, 0, A> buffer(0, 0, 0);
    std::vector<char> expected;
    for (std::uint32_t size : {3u, 40u, 41u, 7u, 300u, 299u, 1u, 500u})
    {
        const std::uint32_t kept = std::min<std::uint32_t>(size, static_cast<std::uint32_t>(expected.size()));
        ASSERT_EQ((buffer.*change)(size), static_cast<std::int32_t>(size));
        ASSERT_EQ(reinterpret_cast<std::uintptr_t>(buffer.GetData()) % A, 0u) << size;
        if (kept != 0)
        {
            ASSERT_EQ(std::memcmp(buffer.GetData(), expected.data(), kept), 0) << size;
        }
        expected.resize(size);
        for (std::uint32_t i = 0; i < size; ++i)
            expected[i] = static_cast<char>(i * 7 + size);
        std::memcpy(buffer.GetData(), expected.data(), size);
    }
}

TEST_F(Buffers, ResizeKeepsContentsAndAlignmentWhenTheBlockMoves)
{
    for (SizeChange change : {&Vx::IBuffer::Resize, &Vx::IBuffer::Grow})
    {
        SCOPED_TRACE(change == &Vx::IBuffer::Grow ? "Grow" : "Resize");
        CheckContentsSurviveMovesAndStayAligned<8>(change);
        CheckContentsSurviveMovesAndStayAligned<16>(change);
        CheckContentsSurviveMovesAndStayAligned<4096>(change);
    }
}

TEST_F(Buffers, GrowLeavesRoomThatResizeGivesBack)
{
    struct GrowStep
    {
        bool grow; // Grow instead of Resize
        std::uint32_t size;
        std::uint32_t capacity; // expected afterwards
        bool allocates;
    };
    struct GrowCase
    {
        const char* name;
        Factory create;
        std::uint32_t size;
        std::vector<GrowStep> steps;
    };
    const GrowCase cases[] = {
        {"string buffer",
         &TestBuffer<1, 128, 8>::Create,
         10,
         {{true, 11, 16, true},  // half the size again
          {true, 16, 16, false}, // the room is used in place
          {true, 5, 16, false},  // a smaller size keeps the block
          {true, 17, 25, true},
          {false, 20, 25, false}, // Resize keeps what the slack allows
          {true, 1000, 1500, true},
          {false, 1001, 1001, true}}}, // and gives back the rest
        {"granularity 4, empty at first",
         &TestBuffer<4, 0, 8>::Create,
         0,
         {{true, 10, 12, true}, {true, 13, 20, true}, {true, 20, 20, false}}},
        {"16-aligned samples", &TestBuffer<1, 0, 16, float*>::Create, 5, {{true, 6, 24, true}}},
    };
    for (const GrowCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        Vx::RCPtr<Vx::LIBuffer> buffer = c.create(c.size, 0, 0);
        ASSERT_NE(buffer, nullptr);
        for (const GrowStep& step : c.steps)
        {
            SCOPED_TRACE(::testing::Message() << (step.grow ? "Grow " : "Resize ") << step.size);
            const int before = gLog.calls;
            const std::int32_t result = step.grow ? buffer->Grow(step.size) : buffer->Resize(step.size);
            EXPECT_EQ(result, static_cast<std::int32_t>(step.size));
            EXPECT_EQ(buffer->GetSize(), step.size);
            EXPECT_EQ(buffer->GetCapacity(), step.capacity);
            EXPECT_EQ(gLog.calls != before, step.allocates);
        }
    }

    // Where the room cannot be had, the exact size still can.
    TestBuffer<1, 0, 8> buffer(1000, 0, 0);
    std::memset(buffer.GetData(), 'g', 1000);
    gLog.failAbove = 1200;
    EXPECT_EQ(buffer.Grow(1100), 1100);
    EXPECT_EQ(buffer.GetCapacity(), 1100u);
    EXPECT_EQ(std::string(static_cast<const char*>(buffer.GetData()), 1000), std::string(1000, 'g'));
}

TEST_F(Buffers, SetSizeToTheSameCapacityKeepsTheBlock)
{
    TestBuffer<4, 0, 8> buffer(6, 0, Vx::kBufferZeroFill);
    EXPECT_EQ(std::string(static_cast<const char*>(buffer.GetData()), 6), std::string(6, '\0'));
    std::memcpy(buffer.GetData(), "abcdef", 6);
    void* const data = buffer.GetData();
    ASSERT_EQ(buffer.SetSize(7), 7);
    EXPECT_EQ(buffer.GetData(), data);
    EXPECT_EQ(std::memcmp(buffer.GetData(), "abcdef", 6), 0);
}

TEST_F(Buffers, FailedAllocationKeepsTheOldBlockAndReportsFailure)
{
    TestBuffer<1, 0, 16> buffer(10, 0, 0);
    std::memcpy(buffer.GetData(), "0123456789", 10);
    void* const data = buffer.GetData();
    gLog.fail = true;
    EXPECT_EQ(buffer.Resize(1000), Vx::VXR_E_OUTOFMEMORY);
    EXPECT_EQ(buffer.SetSize(1000), Vx::VXR_E_OUTOFMEMORY);
    EXPECT_EQ(buffer.Grow(1000), Vx::VXR_E_OUTOFMEMORY);
    EXPECT_EQ(buffer.GetSize(), 10u);
    EXPECT_EQ(buffer.GetCapacity(), 25u);
    EXPECT_EQ(buffer.GetData(), data);
    EXPECT_EQ(std::memcmp(buffer.GetData(), "0123456789", 10), 0);
    EXPECT_EQ((TestBuffer<1, 128, 8>::Create(5, 0, 0)), nullptr);
    gLog.fail = false;
    EXPECT_EQ(buffer.Resize(1000), 1000);
    EXPECT_EQ(std::memcmp(buffer.GetData(), "0123456789", 10), 0);

    // Sizes that cannot be reported as a result are refused without allocating.
    const int before = gLog.calls;
    EXPECT_EQ(buffer.Resize(0x80000000u), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(buffer.SetSize(0xFFFFFFFFu), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(buffer.Grow(0x80000000u), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(gLog.calls, before);
    EXPECT_EQ(buffer.GetSize(), 1000u);
    EXPECT_EQ(Vx::LIBuffer::Create(0x80000000u), nullptr);
}

struct FillCase
{
    bool sixteen;
    std::uint32_t offset;
    std::int32_t count;
    Vx::VxRESULT result;
    const char* after; // the 7 bytes afterwards, '.' for untouched
    bool asserts;
};

TEST_F(Buffers, FillChecksItsRange)
{
    const FillCase cases[] = {
        {false, 2, -1, Vx::VXR_OK, "..xxxxx", false},
        {false, 7, -1, Vx::VXR_OK, ".......", false},
        {false, 8, -1, Vx::VXR_E_INVALIDARG, ".......", true},
        {false, 1, 3, Vx::VXR_OK, ".xxx...", false},
        {false, 5, 3, Vx::VXR_E_INVALIDARG, ".......", true},
        {false, 0xFFFFFFFFu, 2, Vx::VXR_E_INVALIDARG, ".......", true},
        {true, 1, 2, Vx::VXR_OK, ".xyxy..", false},
        {true, 1, -1, Vx::VXR_OK, ".xyxyxy", false},
        {true, 2, -1, Vx::VXR_OK, "..xyxy.", true}, // odd byte left out
        {true, 4, 2, Vx::VXR_E_INVALIDARG, ".......", true},
        {true, 8, -1, Vx::VXR_E_INVALIDARG, ".......", true},
        {true, 2, 0x7FFFFFFF, Vx::VXR_E_INVALIDARG, ".......", true},
    };
    std::uint16_t unit;
    std::memcpy(&unit, "xy", 2);
    for (const FillCase& c : cases)
    {
        SCOPED_TRACE(::testing::Message() << (c.sixteen ? "Fill16 " : "Fill ") << c.offset << ", " << c.count);
        TestBuffer<1, 0, 8> buffer(7, 0, 0);
        std::memset(buffer.GetData(), '.', 7);
        VxTest::CaptureStderr capture;
        const Vx::VxRESULT result = c.sixteen ? buffer.Fill16(unit, c.offset, c.count) : buffer.Fill('x', c.offset, c.count);
        const std::string err = capture.Finish();
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(std::string(static_cast<const char*>(buffer.GetData()), 7), c.after);
        EXPECT_EQ(err.find("JUCE Assertion failure in Buffer.h:") != std::string::npos, c.asserts) << err;
    }
}

TEST_F(Buffers, TypedAccessStaysInsideTheUsedBytes)
{
    Vx::LByteBuffer buffer(6, 0, Vx::kBufferZeroFill);
    EXPECT_NE(buffer.GetDataAt<std::uint16_t>(4), nullptr);
    VxTest::CaptureStderr capture;
    EXPECT_EQ(buffer.GetDataAt<std::uint16_t>(5), nullptr);
    const Vx::LByteBuffer& constBuffer = buffer;
    EXPECT_EQ(constBuffer.GetDataAt<char>(6), nullptr);
    EXPECT_EQ(buffer.GetDataAt<std::uint32_t>(0xFFFFFFFEu), nullptr);
    const std::string err = capture.Finish();
    EXPECT_NE(err.find("JUCE Assertion failure in Buffer.h:"), std::string::npos);
}

TEST_F(Buffers, CopiesAreIndependentAndShareable)
{
    Vx::RCPtr<Vx::LIBuffer> original = Vx::LByteBuffer::Create(5);
    std::memcpy(original->GetData(), "hello", 5);

    Vx::RCPtr<Vx::LIBuffer> copy(VX_CHECKED_RCPTR_CAST(Vx::LIBuffer, original->CreateCopy()));
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy->GetData(), original->GetData());
    EXPECT_EQ(copy->GetSize(), 5u);
    EXPECT_TRUE(copy->IsShareable());
    EXPECT_EQ(copy->GetRefCount(), 1u);
    static_cast<char*>(copy->GetData())[0] = 'j';
    EXPECT_EQ(std::memcmp(original->GetData(), "hello", 5), 0);
    // A copy keeps the kind of buffer it was made from.
    EXPECT_NE(dynamic_cast<Vx::LByteBuffer*>(copy.Get()), nullptr);

    struct ResizedCase
    {
        std::uint32_t size;
        std::uint32_t offset;
        std::string bytes;
    };
    const ResizedCase cases[] = {
        {3, 1, "ell"}, {8, 2, std::string("llo\0\0\0\0\0", 8)}, {4, 5, std::string(4, '\0')},
        {2, 100, std::string(2, '\0')}, {0, 0, ""},
    };
    for (const ResizedCase& c : cases)
    {
        Vx::RCPtr<Vx::LIBuffer> resized = original->CreateResizedCopy(c.size, c.offset);
        ASSERT_NE(resized, nullptr);
        EXPECT_EQ(std::string(static_cast<const char*>(resized->GetData()), resized->GetSize()), c.bytes)
            << c.size << ", " << c.offset;
    }

    // A smart pointer that takes an exclusive buffer from its holder gets a copy.
    original->SetExclusive(true);
    Vx::RCPtr<Vx::LIBuffer> second = original;
    EXPECT_NE(second.Get(), original.Get());
    EXPECT_EQ(std::memcmp(second->GetData(), "hello", 5), 0);
    EXPECT_EQ(original->GetRefCount(), 1u);
    original->SetExclusive(false);
}

TEST_F(Buffers, StringBufferFactoryMakesTheStringKind)
{
    Vx::RCPtr<Vx::LIBuffer> buffer = Vx::LIBuffer::Create(4, 0, Vx::kBufferZeroFill);
    ASSERT_NE(buffer, nullptr);
    EXPECT_NE(dynamic_cast<Vx::LStringBuffer*>(buffer.Get()), nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(buffer->GetData()), 4), std::string(4, '\0'));
    EXPECT_EQ(buffer->Resize(100), 100);
    EXPECT_EQ(buffer->Resize(1), 1);
    EXPECT_EQ(buffer->GetCapacity(), 100u);
}
} // namespace
