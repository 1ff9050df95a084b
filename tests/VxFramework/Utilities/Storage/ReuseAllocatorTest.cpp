#include "VxFramework/Utilities/Storage/ReuseAllocator.h"

#include "tests/support/CaptureStderr.h"
#include "tests/support/CountAllocations.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace
{
const char* const kAssertion = "JUCE Assertion failure in ReuseAllocator.h:";
constexpr std::uint32_t kNoIndex = 0xFFFFFFFFu;

struct Payload
{
    std::uint64_t owner;
    std::uint64_t serial;
    char bytes[8];
};

using Pool = Vx::ReuseAllocator<Payload, 4>;

bool IsAligned(const void* pointer)
{
    return reinterpret_cast<std::uintptr_t>(pointer) % alignof(std::max_align_t) == 0;
}

// A pooled class as the framework's small parameter classes are.
class Pooled
{
public:
    virtual ~Pooled() = default;
    std::uint64_t value = 0;

    static Vx::ReuseAllocator<Pooled, 32>& Pool()
    {
        static auto* pool = new Vx::ReuseAllocator<Pooled, 32>(false);
        return *pool;
    }
    static void* operator new(std::size_t size) { return Pool().AllocateOrThrow(size); }
    static void operator delete(void* pointer) { Pool().Free(pointer); }
};

class LargerPooled : public Pooled
{
public:
    char more[24] = {};
};
} // namespace

TEST(ReuseAllocator, ReusesTheLastFreedBlockFirst)
{
    Pool pool(false);
    void* a = pool.Allocate(sizeof(Payload));
    void* b = pool.Allocate(sizeof(Payload));
    void* c = pool.Allocate(sizeof(Payload));
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(IsAligned(a) && IsAligned(b) && IsAligned(c));
    EXPECT_EQ(pool.GetIndex(static_cast<Payload*>(a)), 0u);
    EXPECT_EQ(pool.GetIndex(static_cast<Payload*>(c)), 2u);

    pool.Free(a);
    pool.Free(b);
    EXPECT_EQ(pool.Allocate(sizeof(Payload)), b);
    EXPECT_EQ(pool.Allocate(sizeof(Payload)), a);
    void* d = pool.Allocate(sizeof(Payload));
    EXPECT_EQ(pool.GetIndex(static_cast<Payload*>(d)), 3u) << "only a new object needs a new block";
    // The destructor gives back every block, handed out or not.
}

TEST(ReuseAllocator, OtherSizesComeFromTheHeap)
{
    Pool pool(false);
    void* pooled = pool.Allocate(sizeof(Payload));
    void* larger = pool.Allocate(sizeof(Payload) + 8);
    ASSERT_NE(larger, nullptr);
    EXPECT_TRUE(IsAligned(larger));
    VxTest::CaptureStderr capture;
    EXPECT_EQ(pool.GetIndex(static_cast<Payload*>(larger)), kNoIndex);
    EXPECT_NE(capture.Finish().find(kAssertion), std::string::npos);
    pool.Free(larger);
    pool.Free(pooled);
    EXPECT_EQ(pool.Allocate(sizeof(Payload)), pooled) << "the heap object took no block";
}

TEST(ReuseAllocator, ABlockGivenBackTwiceIsHandedOutOnce)
{
    Pool pool(false);
    void* a = pool.Allocate(sizeof(Payload));
    void* b = pool.Allocate(sizeof(Payload));
    pool.Free(a);
    VxTest::CaptureStderr capture;
    pool.Free(a);
    EXPECT_NE(capture.Finish().find(kAssertion), std::string::npos);
    pool.Free(b);
    void* first = pool.Allocate(sizeof(Payload));
    void* second = pool.Allocate(sizeof(Payload));
    void* third = pool.Allocate(sizeof(Payload));
    EXPECT_NE(first, second);
    EXPECT_NE(second, third);
    EXPECT_NE(first, third);
}

TEST(ReuseAllocator, PooledClassRoutesNewAndDelete)
{
    Pooled* object = new Pooled;
    EXPECT_NE(Pooled::Pool().GetIndex(object), kNoIndex);
    delete object;
    Pooled* again = new Pooled;
    EXPECT_EQ(again, object) << "the freed block came back";
    delete again;

    // A derived class is larger: heap storage through the same functions.
    LargerPooled* larger = new LargerPooled;
    EXPECT_TRUE(IsAligned(larger));
    VxTest::CaptureStderr capture;
    EXPECT_EQ(Pooled::Pool().GetIndex(larger), kNoIndex);
    capture.Finish();
    delete larger;
}

TEST(ReuseAllocator, NoHeapTrafficOnceWarm)
{
    Pool pool(false);
    std::vector<void*> live(40);
    auto cycle = [&] {
        for (void*& p : live)
            p = pool.Allocate(sizeof(Payload));
        for (void* p : live)
            pool.Free(p);
    };
    cycle(); // warm-up: the pool grows to 40 blocks
    const std::uint64_t before = VxTest::ThreadAllocationCount();
    for (int i = 0; i < 100; ++i)
        cycle();
    EXPECT_EQ(VxTest::ThreadAllocationCount(), before);
}

TEST(ReuseAllocator, BlockListGrowsInStepsOfN)
{
    Vx::ReuseAllocator<Payload, 32> pool(false);
    std::vector<void*> live;
    live.reserve(64);
    const std::uint64_t start = VxTest::ThreadAllocationCount();
    for (int i = 0; i < 32; ++i)
        live.push_back(pool.Allocate(sizeof(Payload)));
    EXPECT_EQ(VxTest::ThreadAllocationCount() - start, 32u) << "one per block, the list had room for 32";
    const std::uint64_t before33 = VxTest::ThreadAllocationCount();
    live.push_back(pool.Allocate(sizeof(Payload)));
    EXPECT_EQ(VxTest::ThreadAllocationCount() - before33, 2u) << "the block and one step of the list";
    const std::uint64_t before34 = VxTest::ThreadAllocationCount();
    live.push_back(pool.Allocate(sizeof(Payload)));
    EXPECT_EQ(VxTest::ThreadAllocationCount() - before34, 1u);
}

TEST(ReuseAllocator, LockedPoolNeverHandsOneBlockToTwoThreads)
{
    Pool pool(true);
    std::vector<std::thread> threads;
    std::vector<int> clashes(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            std::vector<Payload*> mine;
            for (int round = 0; round < 200; ++round)
            {
                for (int i = 0; i < 8; ++i)
                {
                    auto* p = static_cast<Payload*>(pool.Allocate(sizeof(Payload)));
                    p->owner = static_cast<std::uint64_t>(t);
                    p->serial = static_cast<std::uint64_t>(round * 8 + i);
                    mine.push_back(p);
                }
                for (std::size_t i = 0; i < mine.size(); ++i)
                    if (mine[i]->owner != static_cast<std::uint64_t>(t) ||
                        mine[i]->serial != static_cast<std::uint64_t>(round * 8) + i)
                        ++clashes[static_cast<std::size_t>(t)];
                for (Payload* p : mine)
                    pool.Free(p);
                mine.clear();
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(clashes, std::vector<int>(4, 0));
}

// The sanitizers' allocators stop the program on an impossible size unless
// they are told to fail the allocation, as the C library's allocator does.
// These defaults come before the options of the environment.
#if defined(__SANITIZE_ADDRESS__)
#define VX_TEST_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VX_TEST_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define VX_TEST_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VX_TEST_THREAD_SANITIZER 1
#endif
#endif

#ifdef VX_TEST_ADDRESS_SANITIZER
extern "C" const char* __asan_default_options()
{
    return "allocator_may_return_null=1";
}
#endif
#ifdef VX_TEST_THREAD_SANITIZER
extern "C" const char* __tsan_default_options()
{
    return "allocator_may_return_null=1";
}
#endif

namespace
{
// Too large for the address space to hold twice: on 32 bits nearly 2 GiB (about
// the largest object there), on 64 bits 64 TiB, more than any machine here backs.
constexpr std::size_t kHugeSize =
    static_cast<std::size_t>(sizeof(void*) >= 8 ? std::uint64_t{1} << 46 : std::uint64_t{PTRDIFF_MAX} - 255);
struct Huge
{
    char bytes[kHugeSize];
};
} // namespace

TEST(ReuseAllocator, RunningOutOfMemoryLeavesThePoolUsable)
{
    Vx::ReuseAllocator<Huge, 4> pool(true);
    // A 32-bit address space may still hold the first block.
    void* first = pool.Allocate(sizeof(Huge));
    if (first != nullptr)
    {
        EXPECT_EQ(pool.Allocate(sizeof(Huge)), nullptr);
    }
    // A lock left taken by the failure would make this call wait forever.
    EXPECT_EQ(pool.Allocate(sizeof(Huge)), nullptr);
    EXPECT_THROW(pool.AllocateOrThrow(sizeof(Huge) + 8), std::bad_alloc);
    // A size that the header would wrap around is refused, not served with a
    // few bytes.
    EXPECT_EQ(pool.Allocate(SIZE_MAX), nullptr);
    pool.Free(first);
    VxTest::CaptureStderr capture;
    EXPECT_EQ(pool.GetIndex(nullptr), kNoIndex);
}
