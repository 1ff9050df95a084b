#include "VxFramework/Utilities/Storage/RCPtrQueue.h"

#include "tests/VxFramework/Utilities/Storage/Tracked.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace
{
using VxTest::Tracked;
using Ptr = Vx::RCPtr<Tracked>;
using Queue = Vx::RCPtrQueue<Tracked>;

class RCPtrQueues : public ::testing::Test
{
protected:
    void SetUp() override { Tracked::Counters().Reset(); }
    void TearDown() override { EXPECT_EQ(Tracked::Counters().live, 0) << "an item leaked"; }

    static void Push(Queue& queue, int first, int last)
    {
        for (int value = first; value <= last; ++value)
            ASSERT_EQ(queue.Push(Ptr(new Tracked(value))), 0);
    }

    // Pops n items and checks they come in the order first, first + 1, ...
    static void ExpectPops(Queue& queue, int first, int n)
    {
        for (int i = 0; i < n; ++i)
        {
            const Ptr item = queue.Pop();
            ASSERT_FALSE(item.IsNull());
            ASSERT_EQ(item->mValue, first + i);
        }
    }
};

TEST_F(RCPtrQueues, PopsInPushOrderAndThrowsWhenEmpty)
{
    Vx::Mutex lock;
    Queue queue(&lock);
    Push(queue, 1, 3);
    EXPECT_EQ(queue.GetCount(), 3u);
    ExpectPops(queue, 1, 3);
    EXPECT_EQ(queue.GetCount(), 0u);
    try
    {
        queue.Pop();
        FAIL() << "no exception";
    }
    catch (const Vx::Exception<std::runtime_error>& error)
    {
        const std::string text = error.what();
        const std::string prefix = "Runtime Error :  :  : VxFramework/Utilities/Storage/RCPtrQueue.h : Line ";
        EXPECT_EQ(text.compare(0, prefix.size(), prefix), 0) << text;
    }
    // Still usable after the failed Pop.
    Push(queue, 4, 4);
    ExpectPops(queue, 4, 1);
}

TEST_F(RCPtrQueues, GrowsBySlotsOnlyWhenFull)
{
    Queue queue(nullptr);
    Push(queue, 1, 254);
    EXPECT_FALSE(queue.IsFull());
    Push(queue, 255, 255);
    EXPECT_TRUE(queue.IsFull());
    // Each push into a full ring adds one slot, which the item then takes.
    Push(queue, 256, 256);
    EXPECT_TRUE(queue.IsFull());
    EXPECT_EQ(queue.GetCount(), 256u);
    ExpectPops(queue, 1, 1);
    EXPECT_FALSE(queue.IsFull());
    Push(queue, 257, 1000);
    EXPECT_EQ(queue.GetCount(), 999u);
    ExpectPops(queue, 2, 999);
}

TEST_F(RCPtrQueues, KeepsOrderWhenGrowingAfterWrapping)
{
    // Start the ring at different read positions, so that growth happens with
    // the oldest item at the start, in the middle and at the last slot.
    for (const int skipped : {0, 1, 100, 200, 254, 255})
    {
        SCOPED_TRACE(skipped);
        Queue queue(nullptr);
        Push(queue, -skipped, -1);
        ExpectPops(queue, -skipped, skipped);
        Push(queue, 1, 255);
        EXPECT_TRUE(queue.IsFull());
        Push(queue, 256, 600);
        ExpectPops(queue, 1, 300);
        Push(queue, 601, 700); // wraps again in the grown ring
        ExpectPops(queue, 301, 400);
        EXPECT_EQ(queue.GetCount(), 0u);
    }
}

TEST_F(RCPtrQueues, PopHandsOverTheQueuesReference)
{
    Queue queue(nullptr);
    Push(queue, 1, 2);
    {
        const Ptr item = queue.Pop();
        EXPECT_EQ(item->GetRefCount(), 1u);
    }
    EXPECT_EQ(Tracked::Counters().destroyed, std::vector<int>{1});
    // Destroying the queue releases what is still queued.
}

class Other : public virtual Vx::LRefCountedObject
{
};

// Exclusive and held elsewhere, its copy of the wrong type: taking a reference throws.
class Uncopyable : public virtual Vx::LRefCountedObject
{
public:
    Vx::RCPtr<Vx::LRefCountedObject> CreateCopy() const override { return Vx::MakeRCPtr<Other>(); }
};

TEST_F(RCPtrQueues, PushThatCannotTakeTheItemQueuesNothing)
{
    Vx::RCPtrQueue<Uncopyable> queue(nullptr);
    const Vx::RCPtr<Uncopyable> item(new Uncopyable);
    item->SetExclusive(true);
    EXPECT_THROW(queue.Push(item), std::logic_error);
    EXPECT_EQ(queue.GetCount(), 0u);
    EXPECT_EQ(item->GetRefCount(), 1u);
    item->SetExclusive(false);
    EXPECT_EQ(queue.Push(item), 0);
    EXPECT_EQ(queue.Pop(), item);
}

TEST_F(RCPtrQueues, ProducersUnderOneLockLoseAndReorderNothing)
{
    constexpr int kProducers = 4;
    constexpr int kItems = 5000;
    Vx::Mutex lock;
    Queue queue(&lock);
    std::atomic<int> running{kProducers};

    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p)
        producers.emplace_back([&, p] {
            for (int i = 0; i < kItems; ++i)
                queue.Push(Ptr(new Tracked(p * kItems + i)));
            --running;
        });

    // One consumer pops while the producers push, as the main thread does.
    std::vector<int> next(kProducers, 0);
    int received = 0;
    bool ordered = true;
    while (received < kProducers * kItems)
    {
        if (queue.GetCount() == 0)
        {
            const bool producing = running > 0;
            if (!producing && queue.GetCount() == 0)
                break; // everything pushed, nothing left: the rest was lost
            std::this_thread::yield();
            continue;
        }
        const Ptr item = queue.Pop();
        const int producer = item->mValue / kItems;
        ordered = ordered && item->mValue % kItems == next[producer];
        ++next[producer];
        ++received;
    }
    for (std::thread& producer : producers)
        producer.join();
    EXPECT_EQ(received, kProducers * kItems);
    EXPECT_TRUE(ordered);
    EXPECT_EQ(queue.GetCount(), 0u);
    EXPECT_EQ(next, std::vector<int>(kProducers, kItems));
}

// Several consumers race for the last item: emptiness is tested under the
// same lock as the removal, so each item goes to exactly one of them, the
// others get the empty queue's error, and nobody gets a null or an old item.
TEST_F(RCPtrQueues, ConsumersUnderOneLockNeverShareOrLoseAnItem)
{
    constexpr int kConsumers = 4;
    constexpr int kItems = 20000;
    Vx::Mutex lock;
    Queue queue(&lock);
    std::atomic<bool> producing{true};
    std::atomic<int> nulls{0};
    std::vector<std::vector<int>> taken(kConsumers);

    std::vector<std::thread> consumers;
    for (int c = 0; c < kConsumers; ++c)
        consumers.emplace_back([&, c] {
            for (;;)
            {
                try
                {
                    const Ptr item = queue.Pop();
                    if (item.IsNull())
                        ++nulls;
                    else
                        taken[static_cast<std::size_t>(c)].push_back(item->mValue);
                }
                catch (const std::runtime_error&)
                {
                    if (!producing && queue.GetCount() == 0)
                        return;
                    std::this_thread::yield();
                }
            }
        });

    // Items arrive one at a time, so that the consumers mostly fight over a
    // queue of one.
    for (int i = 0; i < kItems; ++i)
    {
        ASSERT_EQ(queue.Push(Ptr(new Tracked(i))), 0);
        if (i % 4 == 0)
            std::this_thread::yield();
    }
    producing = false;
    for (std::thread& consumer : consumers)
        consumer.join();

    EXPECT_EQ(nulls, 0);
    std::vector<int> all;
    for (const std::vector<int>& mine : taken)
    {
        EXPECT_TRUE(std::is_sorted(mine.begin(), mine.end())) << "a consumer saw the order change";
        all.insert(all.end(), mine.begin(), mine.end());
    }
    std::sort(all.begin(), all.end());
    std::vector<int> expected(kItems);
    for (int i = 0; i < kItems; ++i)
        expected[static_cast<std::size_t>(i)] = i;
    EXPECT_EQ(all, expected) << "an item was lost or taken twice";
    EXPECT_EQ(queue.GetCount(), 0u);
}
} // namespace
