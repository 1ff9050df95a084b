#include "VxFramework/Notification/NotificationCenter.h"

#include "tests/VxFramework/Notification/NotificationTestSupport.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace
{
using Vx::RCPtr;
using VxTest::CountedParam;
using VxTest::MakeNotification;
using VxTest::RecordingClient;

using Log = std::vector<std::string>;
using String = Vx::StringT<char, unsigned short>;

int ParamValue(const Vx::ConstRCPtr<Vx::LNotification>& notification)
{
    const auto* param = dynamic_cast<const CountedParam*>(notification->GetParam().Get());
    return param == nullptr ? -1 : param->mValue;
}

// A centre of its own per test, and a client that logs what it receives from it.
class CenterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        center = Vx::LNotificationCenterManager::GetInstance()->GetCenter(String("test"));
        ASSERT_FALSE(center.IsNull());
    }
    void TearDown() override
    {
        client->mAction = nullptr;
        client = nullptr;
        center = nullptr;
        Vx::LNotificationCenterManager::ReleaseInstance();
        Vx::LNotification::SetPoolingEnabled(false);
    }

    void Listen(const std::vector<const char*>& ids, std::uint32_t flags = 0)
    {
        for (const char* id : ids)
            ASSERT_NE(client->Register(RCPtr<Vx::LNotificationDistributor>(center), id, flags), nullptr);
    }

    Vx::VxRESULT Post(const char* id, int value = 0)
    {
        return center->Post(MakeNotification(id, Vx::MakeRCPtr<CountedParam>(nullptr, value)));
    }

    Log log;
    RCPtr<Vx::LNotificationCenter> center;
    RCPtr<RecordingClient> client = Vx::MakeRCPtr<RecordingClient>("c", &log);
};

TEST_F(CenterTest, DeliversInPostingOrderAndLeavesLaterPostsForTheNextCall)
{
    Listen({"NID_TEST_A", "NID_TEST_B", "NID_TEST_C", "NID_TEST_D"});
    client->mAction = [this](RecordingClient&, const RCPtr<Vx::LNotificationDistributor>& from,
                             const Vx::ConstRCPtr<Vx::LNotification>& notification) {
        EXPECT_EQ(from.Get(), static_cast<Vx::LNotificationDistributor*>(center.Get()));
        if (notification->GetId() == Vx::InternNotificationId("NID_TEST_B"))
        {
            EXPECT_EQ(Post("NID_TEST_D"), Vx::VXR_OK);
        }
    };
    for (const char* id : {"NID_TEST_A", "NID_TEST_B", "NID_TEST_C"})
        ASSERT_EQ(Post(id), Vx::VXR_OK);
    EXPECT_EQ(center->GetPendingCount(), 3u);
    EXPECT_TRUE(center->ProcessPending(false));
    EXPECT_EQ(log, (Log{"c:NID_TEST_A", "c:NID_TEST_B", "c:NID_TEST_C"}));
    EXPECT_FALSE(center->ProcessPending(false));
    EXPECT_EQ(log.back(), "c:NID_TEST_D");
    EXPECT_EQ(log.size(), 4u);
}

TEST_F(CenterTest, PendingNotificationIsFrozenAndCannotBePostedAgain)
{
    Listen({"NID_TEST_A"});
    const RCPtr<Vx::LNotification> notification = MakeNotification("NID_TEST_A");
    ASSERT_EQ(center->Post(notification), Vx::VXR_OK);
    EXPECT_TRUE(notification->IsPosted());
    {
        VxTest::CaptureStderr capture;
        EXPECT_EQ(center->Post(notification), Vx::VXR_E_INVALIDARG);
        EXPECT_EQ(center->Post(nullptr), Vx::VXR_E_INVALIDARG);
        EXPECT_NE(capture.Finish().find("JUCE Assertion failure in NotificationCenter.cpp:"), std::string::npos);
    }
    EXPECT_EQ(notification->SetId("NID_TEST_B"), Vx::VXR_E_FAIL);
    EXPECT_EQ(notification->SetParam(Vx::MakeRCPtr<CountedParam>(nullptr)), Vx::VXR_E_FAIL);
    EXPECT_EQ(notification->GetId(), Vx::InternNotificationId("NID_TEST_A"));
    EXPECT_TRUE(notification->GetParam().IsNull());

    // The receiver cannot post what it is receiving.
    client->mAction = [this](RecordingClient&, const RCPtr<Vx::LNotificationDistributor>&,
                             const Vx::ConstRCPtr<Vx::LNotification>& received) {
        VxTest::CaptureStderr capture;
        EXPECT_EQ(center->Post(RCPtr<Vx::LNotification>(received.GetMutable())), Vx::VXR_E_INVALIDARG);
    };
    EXPECT_FALSE(center->ProcessPending(false));
    EXPECT_EQ(log.size(), 1u);
    EXPECT_FALSE(notification->IsPosted());
    client->mAction = nullptr;
    EXPECT_EQ(center->Post(notification), Vx::VXR_OK);
    center->ProcessPending(false);
    EXPECT_EQ(log.size(), 2u);
}

TEST_F(CenterTest, PostedOnlyClientGetsOnlyTheNewestWhileOthersGetEveryOne)
{
    Log newest;
    const RCPtr<RecordingClient> latest = Vx::MakeRCPtr<RecordingClient>("latest", &newest);
    latest->mAction = [&newest](RecordingClient&, const RCPtr<Vx::LNotificationDistributor>&,
                                const Vx::ConstRCPtr<Vx::LNotification>& notification) {
        newest.back() += "=" + std::to_string(ParamValue(notification));
    };
    ASSERT_NE(latest->Register(RCPtr<Vx::LNotificationDistributor>(center), "NID_TEST_A",
                               Vx::kNotificationPostedOnly),
              nullptr);
    Listen({"NID_TEST_A"});
    Post("NID_TEST_A", 1);
    Post("NID_TEST_A", 2);
    Post("NID_TEST_A", 3);
    center->ProcessPending(false);
    EXPECT_EQ(log.size(), 3u);
    EXPECT_EQ(newest, Log{"latest:NID_TEST_A=3"});
    // The next burst again gives it one, the newest of that burst.
    Post("NID_TEST_A", 4);
    Post("NID_TEST_A", 5);
    center->ProcessPending(false);
    EXPECT_EQ(newest, (Log{"latest:NID_TEST_A=3", "latest:NID_TEST_A=5"}));
    latest->mAction = nullptr;
}

TEST_F(CenterTest, IdleNotificationComesAfterThePendingOnesWhenAskedFor)
{
    Listen({"NID_IDLE", "NID_TEST_A"});
    EXPECT_FALSE(center->ProcessPending(false));
    EXPECT_TRUE(log.empty());
    EXPECT_FALSE(center->ProcessPending(true));
    EXPECT_EQ(log, Log{"c:NID_IDLE"});
    Post("NID_TEST_A");
    center->ProcessPending(true);
    EXPECT_EQ(log, (Log{"c:NID_IDLE", "c:NID_TEST_A", "c:NID_IDLE"}));
}

TEST_F(CenterTest, ProcessingFromInsideADeliveryDeliversOnlyTheIdleNotification)
{
    Listen({"NID_IDLE", "NID_TEST_A", "NID_TEST_B"});
    client->mAction = [this](RecordingClient&, const RCPtr<Vx::LNotificationDistributor>&,
                             const Vx::ConstRCPtr<Vx::LNotification>& notification) {
        if (notification->GetId() == Vx::InternNotificationId("NID_TEST_A"))
        {
            EXPECT_TRUE(center->ProcessPending(true));
        }
    };
    Post("NID_TEST_A");
    Post("NID_TEST_B");
    EXPECT_FALSE(center->ProcessPending(false));
    EXPECT_EQ(log, (Log{"c:NID_TEST_A", "c:NID_IDLE", "c:NID_TEST_B"}));
}

TEST_F(CenterTest, ReceiverThatThrowsDoesNotFreezeTheQueue)
{
    Listen({"NID_TEST_THROW", "NID_APP_EXIT_REQ", "NID_TEST_A"});
    client->mAction = [](RecordingClient&, const RCPtr<Vx::LNotificationDistributor>&,
                         const Vx::ConstRCPtr<Vx::LNotification>& notification) {
        if (notification->GetId() == Vx::InternNotificationId("NID_TEST_THROW"))
            throw std::runtime_error("receiver failed");
    };
    const RCPtr<Vx::LNotification> failing = MakeNotification("NID_TEST_THROW");
    center->Post(failing);
    Post("NID_TEST_A");
    EXPECT_THROW(center->ProcessPending(true), std::runtime_error);
    EXPECT_FALSE(failing->IsPosted());
    EXPECT_EQ(center->GetPendingCount(), 1u);
    // The exit request posted after the failure is delivered by the next tick.
    ASSERT_EQ(Vx::PostNotification("NID_APP_EXIT_REQ", nullptr, center), Vx::VXR_OK);
    EXPECT_FALSE(center->ProcessPending(false));
    EXPECT_EQ(log, (Log{"c:NID_TEST_THROW", "c:NID_TEST_A", "c:NID_APP_EXIT_REQ"}));
}

TEST(NotificationQueue, WithoutADistributorNothingIsQueuedOrDelivered)
{
    const RCPtr<Vx::LNotificationQueue> queue = Vx::MakeRCPtr<Vx::LNotificationQueue>();
    const RCPtr<Vx::LNotification> notification = MakeNotification("NID_TEST_A");
    VxTest::CaptureStderr capture;
    EXPECT_EQ(queue->Post(notification), Vx::VXR_E_FAIL);
    EXPECT_EQ(capture.Finish(), "");
    EXPECT_FALSE(notification->IsPosted());
    EXPECT_FALSE(queue->ProcessPending(true));
}

TEST(NotificationQueue, DetachDropsThePendingAndRefusesFromThenOn)
{
    Log log;
    int paramsDestroyed = 0;
    const RCPtr<Vx::LNotificationDistributor> distributor = Vx::MakeRCPtr<Vx::LNotificationDistributor>();
    const RCPtr<RecordingClient> client = Vx::MakeRCPtr<RecordingClient>("c", &log);
    client->Register(distributor, "NID_TEST_A", 0);
    client->Register(distributor, "NID_IDLE", 0);
    RCPtr<Vx::LNotificationQueue> queue = Vx::MakeRCPtr<Vx::LNotificationQueue>();
    ASSERT_EQ(queue->SetDistributor(distributor), Vx::VXR_OK);
    const RCPtr<Vx::LNotification> kept = MakeNotification("NID_TEST_A");
    queue->Post(kept);
    queue->Post(MakeNotification("NID_TEST_A", Vx::MakeRCPtr<CountedParam>(&paramsDestroyed)));
    queue->Detach();
    EXPECT_FALSE(kept->IsPosted());
    EXPECT_EQ(paramsDestroyed, 1);
    EXPECT_EQ(queue->GetPendingCount(), 0u);
    EXPECT_TRUE(queue->GetPostingReceiver().IsNull());
    EXPECT_EQ(queue->Post(MakeNotification("NID_TEST_A")), Vx::VXR_E_FAIL);
    {
        VxTest::CaptureStderr capture;
        EXPECT_EQ(queue->SetDistributor(distributor), Vx::VXR_E_FAIL);
        EXPECT_NE(capture.Finish().find("JUCE Assertion failure in NotificationCenter.cpp:"), std::string::npos);
    }
    EXPECT_FALSE(queue->ProcessPending(true));
    EXPECT_TRUE(log.empty());
    // Only the test's own reference is left.
    EXPECT_EQ(queue->GetRefCount(), 1u);
    EXPECT_EQ(queue->GetContainedRefCount(), 0u);
}

TEST(NotificationQueue, PostingReceiverTurnsASendIntoAPost)
{
    Log log;
    const RCPtr<Vx::LNotificationDistributor> source = Vx::MakeRCPtr<Vx::LNotificationDistributor>();
    const RCPtr<Vx::LNotificationDistributor> target = Vx::MakeRCPtr<Vx::LNotificationDistributor>();
    const RCPtr<RecordingClient> client = Vx::MakeRCPtr<RecordingClient>("c", &log);
    client->mAction = [&log](RecordingClient&, const RCPtr<Vx::LNotificationDistributor>&,
                             const Vx::ConstRCPtr<Vx::LNotification>& notification) {
        log.back() += "=" + std::to_string(ParamValue(notification));
    };
    client->Register(target, "NID_TEST_A", 0);
    const RCPtr<Vx::LNotificationQueue> queue = Vx::MakeRCPtr<Vx::LNotificationQueue>();
    queue->SetDistributor(target);
    ASSERT_EQ(source->AddClient(queue->GetPostingReceiver(), "NID_TEST_A", 0), Vx::VXR_OK);
    const RCPtr<Vx::LNotification> sent = MakeNotification("NID_TEST_A", Vx::MakeRCPtr<CountedParam>(nullptr, 9));
    EXPECT_EQ(source->Notify(sent), Vx::VXR_OK);
    // A copy is queued; the one sent is free to be posted elsewhere.
    EXPECT_FALSE(sent->IsPosted());
    EXPECT_TRUE(log.empty());
    EXPECT_FALSE(queue->ProcessPending(false));
    EXPECT_EQ(log, Log{"c:NID_TEST_A=9"});
    source->RemoveClient(queue->GetPostingReceiver(), "NID_TEST_A");
    client->mAction = nullptr;
}

TEST_F(CenterTest, CentresAreFoundByExactName)
{
    const RCPtr<Vx::LNotificationCenterManager> manager = Vx::LNotificationCenterManager::GetInstance();
    const RCPtr<Vx::LNotificationCenter> application = manager->GetCenter(String("application"));
    ASSERT_FALSE(application.IsNull());
    EXPECT_EQ(manager->GetCenter(String("application")), application);
    EXPECT_EQ(manager->GetCenter(Vx::LNotificationCenterManager::GetDefaultCenterName()), application);
    EXPECT_STREQ(application->GetName().GetCString(), "application");
    const std::uint32_t count = manager->GetCenterCount();
    EXPECT_TRUE(manager->FindCenter(String("nowhere")).IsNull());
    EXPECT_EQ(manager->GetCenterCount(), count);
    {
        VxTest::CaptureStderr capture;
        EXPECT_TRUE(manager->GetCenter(String()).IsNull());
        EXPECT_NE(capture.Finish().find("JUCE Assertion failure in NotificationCenter.cpp:"), std::string::npos);
    }
    const RCPtr<Vx::LNotificationCenter> other = manager->GetCenter(String("Application"));
    EXPECT_NE(other, application);
    EXPECT_EQ(manager->FindCenter(String("Application")), other);
    // An empty centre name posts to "application".
    EXPECT_EQ(Vx::PostNotification("NID_TEST_A", nullptr, String()), Vx::VXR_OK);
    EXPECT_EQ(application->GetPendingCount(), 1u);
    EXPECT_EQ(Vx::PostNotification("NID_TEST_A", nullptr, RCPtr<Vx::LNotificationCenter>()),
              Vx::VXR_E_INVALIDARG);
    VxTest::CaptureStderr capture;
    EXPECT_EQ(Vx::PostNotification("", nullptr, application), Vx::VXR_E_INVALIDARG);
}

TEST_F(CenterTest, ClientsRegisterWithCentresByName)
{
    const char* id = client->Register(String("by-name"), "NID_TEST_A", 0);
    EXPECT_EQ(id, Vx::InternNotificationId("NID_TEST_A"));
    const RCPtr<Vx::LNotificationCenter> byName =
        Vx::LNotificationCenterManager::GetInstance()->FindCenter(String("by-name"));
    ASSERT_FALSE(byName.IsNull());
    EXPECT_TRUE(byName->HasClient(RCPtr<Vx::LNotificationReceiver>(client)));
    {
        VxTest::CaptureStderr capture;
        EXPECT_EQ(client->Unregister(String("no-such-centre"), "NID_TEST_A"), Vx::VXR_E_INVALIDARG);
    }
    EXPECT_EQ(client->Unregister(String("by-name"), "NID_TEST_A"), Vx::VXR_OK);
    EXPECT_EQ(client->GetRegistrationCount(), 0);
}

TEST(NotificationCenterManager, ReleasingTheManagerDestroysTheCentresAndUnregistersTheirClients)
{
    int paramsDestroyed = 0;
    const RCPtr<RecordingClient> client = Vx::MakeRCPtr<RecordingClient>("c", nullptr);
    client->Register(String("application"), "NID_TEST_A", 0);
    client->Register(String("second"), "NID_TEST_A", 0);
    client->Register(String("second"), "NID_TEST_B", 0);
    EXPECT_EQ(client->GetRegistrationCount(), 3);
    // Still pending when the centre goes.
    Vx::PostNotification("NID_TEST_A", Vx::MakeRCPtr<CountedParam>(&paramsDestroyed), String("second"));
    Vx::LNotificationCenterManager::ReleaseInstance();
    EXPECT_EQ(client->GetRegistrationCount(), 0);
    EXPECT_EQ(client->GetDistributorCount(), 0u);
    EXPECT_EQ(client->GetRefCount(), 1u);
    EXPECT_EQ(paramsDestroyed, 1);
    const RCPtr<Vx::LNotificationCenterManager> fresh = Vx::LNotificationCenterManager::GetInstance();
    EXPECT_EQ(fresh->GetCenterCount(), 0u);
    Vx::LNotificationCenterManager::ReleaseInstance();
}

// Several threads post to "application" while the main thread processes it
// every millisecond, as the idle tick does.
TEST(NotificationCrossThread, EveryPostIsDeliveredOnceInEachThreadsOrder)
{
    constexpr int kThreads = 4;
    constexpr std::uint32_t kPosts = 5000;
    Vx::LNotification::SetPoolingEnabled(true);
    const RCPtr<Vx::LNotificationCenter> application =
        Vx::LNotificationCenterManager::GetInstance()->GetCenter(Vx::LNotificationCenterManager::GetDefaultCenterName());

    std::vector<std::uint32_t> next(kThreads, 0);
    std::uint32_t delivered = 0;
    std::uint32_t outOfOrder = 0;
    std::uint64_t lastDelivered = 0;
    const RCPtr<RecordingClient> client = Vx::MakeRCPtr<RecordingClient>("main", nullptr);
    const std::thread::id mainThread = std::this_thread::get_id();
    client->mAction = [&](RecordingClient&, const RCPtr<Vx::LNotificationDistributor>&,
                          const Vx::ConstRCPtr<Vx::LNotification>& notification) {
        EXPECT_EQ(std::this_thread::get_id(), mainThread);
        const auto& holder = dynamic_cast<const Vx::LHolder<std::uint64_t>&>(*notification->GetParam());
        const auto thread = static_cast<std::size_t>(holder.GetValue() >> 32);
        const auto sequence = static_cast<std::uint32_t>(holder.GetValue());
        if (sequence != next[thread])
            ++outOfOrder;
        next[thread] = sequence + 1;
        lastDelivered = holder.GetValue();
        ++delivered;
    };
    client->Register(String("application"), "NID_TEST_CROSS_THREAD", 0);
    // Stamped by the posting threads, consumed by the main thread.
    std::uint64_t newest = 0;
    std::uint32_t newestCount = 0;
    const RCPtr<RecordingClient> latest = Vx::MakeRCPtr<RecordingClient>("latest", nullptr);
    latest->mAction = [&](RecordingClient&, const RCPtr<Vx::LNotificationDistributor>&,
                          const Vx::ConstRCPtr<Vx::LNotification>& notification) {
        newest = dynamic_cast<const Vx::LHolder<std::uint64_t>&>(*notification->GetParam()).GetValue();
        ++newestCount;
    };
    latest->Register(String("application"), "NID_TEST_CROSS_THREAD", Vx::kNotificationPostedOnly);

    std::vector<std::thread> posters;
    std::atomic<int> failedPosts{0};
    for (int t = 0; t < kThreads; ++t)
    {
        posters.emplace_back([t, &failedPosts] {
            for (std::uint32_t i = 0; i < kPosts; ++i)
            {
                const std::uint64_t value = (static_cast<std::uint64_t>(t) << 32) | i;
                if (Vx::PostNotification("NID_TEST_CROSS_THREAD", Vx::MakeRCPtr<Vx::LHolder<std::uint64_t>>(value),
                                         String("application")) != Vx::VXR_OK)
                    ++failedPosts;
            }
        });
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (delivered < kThreads * kPosts && std::chrono::steady_clock::now() < deadline)
    {
        Vx::LNotificationCenterManager::GetInstance()->ProcessPending(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    for (std::thread& poster : posters)
        poster.join();
    Vx::LNotificationCenterManager::GetInstance()->ProcessPending(true);

    EXPECT_EQ(failedPosts.load(), 0);
    EXPECT_EQ(delivered, kThreads * kPosts);
    EXPECT_EQ(outOfOrder, 0u);
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(next[static_cast<std::size_t>(t)], kPosts);
    EXPECT_EQ(application->GetPendingCount(), 0u);
    // The posted-only client saw at most one per tick, and the very last one.
    EXPECT_GE(newestCount, 1u);
    EXPECT_LE(newestCount, delivered);
    EXPECT_EQ(newest, lastDelivered);

    client->mAction = nullptr;
    latest->mAction = nullptr;
    Vx::LNotificationCenterManager::ReleaseInstance();
    Vx::LNotification::SetPoolingEnabled(false);
}
} // namespace
