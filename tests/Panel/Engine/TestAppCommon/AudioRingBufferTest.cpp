#include "Panel/Engine/TestAppCommon/AudioRingBuffer.h"

#include "VxFramework/Utilities/Storage/VxArray.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace
{
using Vx::AudioRingBuffer;

template <class T>
class AudioRingBufferTest : public ::testing::Test
{
protected:
    // Frames from, from + 1, ... in channel 0 and their negatives in channel 1.
    static std::vector<std::vector<T>> Block(int from, std::uint32_t count)
    {
        std::vector<std::vector<T>> block(2, std::vector<T>(count));
        for (std::uint32_t i = 0; i < count; ++i)
        {
            block[0][i] = static_cast<T>(from + static_cast<int>(i));
            block[1][i] = -static_cast<T>(from + static_cast<int>(i));
        }
        return block;
    }
    Vx::VxRESULT Write(const std::vector<std::vector<T>>& block)
    {
        const T* sources[] = {block[0].data(), block[1].data()};
        return ring.Write(sources, static_cast<std::uint32_t>(block[0].size()));
    }
    // Reads count frames; empty when the ring refuses.
    std::vector<std::vector<T>> Read(std::uint32_t count)
    {
        std::vector<std::vector<T>> block(2, std::vector<T>(count, T(99)));
        T* destinations[] = {block[0].data(), block[1].data()};
        if (ring.Read(destinations, count) != 0)
            return {};
        return block;
    }

    AudioRingBuffer<T> ring;
};

using SampleTypes = ::testing::Types<float, double>;
TYPED_TEST_SUITE(AudioRingBufferTest, SampleTypes);

TYPED_TEST(AudioRingBufferTest, HoldsOneFrameLessThanItsCapacity)
{
    EXPECT_EQ(this->ring.GetCapacity(), 1u);
    EXPECT_EQ(this->ring.GetWritableCount(), 0u) << "nothing fits before Init";
    ASSERT_EQ(this->ring.Init(2, 8), 0);
    EXPECT_EQ(this->ring.GetChannelCount(), 2u);
    EXPECT_EQ(this->ring.GetWritableCount(), 7u);
    EXPECT_EQ(this->ring.GetReadableCount(), 0u);
    EXPECT_EQ(this->Write(this->Block(1, 7)), 0);
    EXPECT_EQ(this->ring.GetReadableCount(), 7u);
    EXPECT_EQ(this->Write(this->Block(8, 1)), static_cast<Vx::VxRESULT>(0x80000002u));
    EXPECT_EQ(this->Read(7), this->Block(1, 7));
}

TYPED_TEST(AudioRingBufferTest, BlocksWrapAroundTheEndInOrder)
{
    ASSERT_EQ(this->ring.Init(2, 8), 0);
    ASSERT_EQ(this->Write(this->Block(0, 6)), 0);
    ASSERT_FALSE(this->Read(6).empty());
    // At position 6: two frames at the end, three at the start.
    ASSERT_EQ(this->Write(this->Block(10, 5)), 0);
    TypeParam* pointers[2] = {};
    EXPECT_EQ(this->ring.GetReadPointers(pointers, 5), 2u) << "the run up to the end";
    EXPECT_EQ(pointers[0][1], TypeParam(11));
    EXPECT_EQ(pointers[1][0], TypeParam(-10));
    EXPECT_EQ(this->ring.Skip(2), 0u);
    EXPECT_EQ(this->ring.GetReadPointers(pointers, 5), 3u) << "the rest from the start";
    EXPECT_EQ(pointers[0][2], TypeParam(14));
    EXPECT_EQ(this->Read(3), this->Block(12, 3));

    // A null source writes zeros, across the end as well.
    ASSERT_EQ(this->Write(this->Block(0, 4)), 0);
    ASSERT_FALSE(this->Read(4).empty());
    const auto block = this->Block(20, 6);
    const TypeParam* sources[] = {block[0].data(), nullptr};
    ASSERT_EQ(this->ring.Write(sources, 6), 0);
    const auto read = this->Read(6);
    EXPECT_EQ(read[0], block[0]);
    EXPECT_EQ(read[1], std::vector<TypeParam>(6, TypeParam(0)));
}

TYPED_TEST(AudioRingBufferTest, RefusesWhatDoesNotFitOrIsNotWaiting)
{
    VxTest::CaptureStderr quiet;
    EXPECT_EQ(this->ring.Init(0, 8), static_cast<Vx::VxRESULT>(0x80000003u));
    EXPECT_EQ(this->ring.Init(2, 0), static_cast<Vx::VxRESULT>(0x80000003u));
    ASSERT_EQ(this->ring.Init(2, 8), 0);
    ASSERT_EQ(this->Write(this->Block(1, 3)), 0);

    EXPECT_TRUE(this->Read(4).empty()) << "more than waiting";
    EXPECT_EQ(this->Write(this->Block(0, 5)), static_cast<Vx::VxRESULT>(0x80000002u)) << "more than fits";
    EXPECT_EQ(this->Write(this->Block(0, 9)), static_cast<Vx::VxRESULT>(0x80000002u)) << "more than the capacity";
    EXPECT_EQ(this->ring.GetReadableCount(), 3u) << "nothing moved";

    // A list without an entry per channel writes nothing.
    Vx::Array<const TypeParam*> shortList;
    const auto block = this->Block(0, 1);
    shortList.Add(block[0].data());
    EXPECT_EQ(this->ring.Write(shortList, 1), static_cast<Vx::VxRESULT>(0x80000003u));
    EXPECT_EQ(this->ring.Write(Vx::Array<const TypeParam*>(), 0), static_cast<Vx::VxRESULT>(0x80000003u));
    EXPECT_EQ(this->ring.GetReadableCount(), 3u);

    // A short destination list grows with null entries: channel 1 is dropped.
    std::vector<TypeParam> first(2);
    Vx::Array<TypeParam*> destinations;
    destinations.Add(first.data());
    ASSERT_EQ(this->ring.Read(destinations, 2), 0);
    ASSERT_EQ(destinations.GetCount(), 2u);
    EXPECT_EQ(destinations[1], nullptr);
    EXPECT_EQ(first, this->Block(1, 2)[0]);

    // The run handed out never passes the frames waiting: beyond them the
    // writer may be at work.
    TypeParam* pointers[2] = {};
    EXPECT_EQ(this->ring.GetReadPointers(pointers, 7), 1u);
    EXPECT_EQ(this->ring.SkipAll(), 3u);
    EXPECT_EQ(this->ring.GetReadableCount(), 0u);
    EXPECT_EQ(this->ring.Skip(5), 3u) << "nothing to skip";
}

TYPED_TEST(AudioRingBufferTest, InitAgainStartsEmpty)
{
    ASSERT_EQ(this->ring.Init(2, 16), 0);
    ASSERT_EQ(this->Write(this->Block(0, 12)), 0);
    ASSERT_FALSE(this->Read(10).empty());
    // Positions 12 and 10 lie beyond the new capacity.
    ASSERT_EQ(this->ring.Init(2, 4), 0);
    EXPECT_EQ(this->ring.GetReadableCount(), 0u);
    EXPECT_EQ(this->ring.GetWritableCount(), 3u);
    ASSERT_EQ(this->Write(this->Block(5, 3)), 0);
    EXPECT_EQ(this->Read(3), this->Block(5, 3));
}

// One writer and one reader at once: every frame arrives once and in order.
TYPED_TEST(AudioRingBufferTest, AWriterAndAReaderOnTheirOwnThreads)
{
    constexpr int kFrames = 200000;
    ASSERT_EQ(this->ring.Init(2, 256), 0);
    std::atomic<bool> readerDone{false};
    std::thread writer([&] {
        int next = 0;
        std::uint32_t size = 1;
        while (next < kFrames && !readerDone.load())
        {
            size = size % 97 + 1;
            const std::uint32_t count = std::min<std::uint32_t>(size, static_cast<std::uint32_t>(kFrames - next));
            const auto block = this->Block(next, count);
            const TypeParam* sources[] = {block[0].data(), block[1].data()};
            if (this->ring.Write(sources, count) == 0)
                next += static_cast<int>(count);
            else
                std::this_thread::yield();
        }
    });
    int expected = 0;
    bool inOrder = true;
    std::uint32_t size = 1;
    while (expected < kFrames && inOrder)
    {
        size = size % 89 + 1;
        if (size % 2 == 0)
        {
            const auto block = this->Read(size);
            if (block.empty())
            {
                std::this_thread::yield();
                continue;
            }
            inOrder = block == this->Block(expected, size);
            expected += static_cast<int>(size);
            continue;
        }
        TypeParam* pointers[2] = {};
        const std::uint32_t run = this->ring.GetReadPointers(pointers, size);
        for (std::uint32_t i = 0; i < run; ++i)
            inOrder = inOrder && pointers[0][i] == TypeParam(expected + static_cast<int>(i)) &&
                      pointers[1][i] == -TypeParam(expected + static_cast<int>(i));
        this->ring.Skip(run);
        expected += static_cast<int>(run);
    }
    readerDone = true;
    writer.join();
    EXPECT_TRUE(inOrder) << "at frame " << expected;
    EXPECT_EQ(expected, kFrames);
}
} // namespace
