#include "VxFramework/Utilities/Storage/FixedBlockPool.h"

#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

TEST(FixedBlockPool, HandsOutAlignedSlotsThenHeapBlocks)
{
    Vx::FixedBlockPool pool(20);
    ASSERT_TRUE(pool.Setup(4));
    std::set<void*> slots;
    for (int i = 0; i < 4; ++i)
    {
        void* block = pool.Allocate();
        EXPECT_TRUE(pool.Contains(block));
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % alignof(std::max_align_t), 0u);
        slots.insert(block);
    }
    EXPECT_EQ(slots.size(), 4u);
    EXPECT_EQ(pool.GetFreeCount(), 0u);

    void* heapBlock = pool.Allocate();
    EXPECT_FALSE(pool.Contains(heapBlock));
    pool.Free(heapBlock); // deleted; the sanitizer build would see a bad free

    // Freed slots come back in the order they were freed.
    std::vector<void*> order(slots.begin(), slots.end());
    pool.Free(order[2]);
    pool.Free(order[0]);
    EXPECT_EQ(pool.Allocate(), order[2]);
    EXPECT_EQ(pool.Allocate(), order[0]);
    for (void* block : order)
        pool.Free(block);
    EXPECT_EQ(pool.GetFreeCount(), 4u);

    // A slot freed once too often is refused rather than deleted.
    VxTest::CaptureStderr capture;
    pool.Free(order[1]);
    EXPECT_NE(capture.Finish().find("FixedBlockPool.cpp"), std::string::npos);
    EXPECT_EQ(pool.GetFreeCount(), 4u);
}
