#include "VxFramework/Notification/NotificationClient.h"
#include "VxFramework/Notification/NotificationDistributor.h"

#include "tests/VxFramework/Notification/NotificationTestSupport.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace
{
using Vx::RCPtr;
using VxTest::AsReceiver;
using VxTest::CountedDistributor;
using VxTest::MakeNotification;
using VxTest::RecordingClient;

using Log = std::vector<std::string>;

// A distributor with clients a, b, c (registered in that order) for one id.
class ThreeClients : public ::testing::Test
{
public:
    void SetUp() override
    {
        for (const char* name : {"a", "b", "c"})
        {
            clients.push_back(Vx::MakeRCPtr<RecordingClient>(name, &log));
            ASSERT_NE(clients.back()->Register(distributor, "NID_TEST_A", 0), nullptr);
        }
    }
    void TearDown() override
    {
        // Nobody in a test's actions may hold a client in a cycle.
        for (const RCPtr<RecordingClient>& client : clients)
            client->mAction = nullptr;
    }

    Vx::VxRESULT Send(const char* id = "NID_TEST_A") { return distributor->Notify(MakeNotification(id)); }

    Log log;
    RCPtr<Vx::LNotificationDistributor> distributor = Vx::MakeRCPtr<Vx::LNotificationDistributor>();
    std::vector<RCPtr<RecordingClient>> clients;
};

TEST_F(ThreeClients, NewestRegistrationIsCalledFirst)
{
    EXPECT_EQ(Send(), Vx::VXR_OK);
    EXPECT_EQ(log, (Log{"c:NID_TEST_A", "b:NID_TEST_A", "a:NID_TEST_A"}));
    EXPECT_EQ(distributor->GetClientCount(), 3);
}

// What one client does inside its Receive, and who the first and the second
// delivery then reach.
struct ReentryCase
{
    const char* name;
    int actor;
    std::function<void(ThreeClients& fixture, RecordingClient& self)> action;
    Log first;
    Log second;
};

TEST_F(ThreeClients, RegistrationChangesDuringDeliveryFollowTheWalk)
{
    const std::vector<ReentryCase> cases = {
        {"unregisters itself", 1,
         [](ThreeClients& f, RecordingClient& self) { self.Unregister(f.distributor, "NID_TEST_A"); },
         {"c", "b", "a"},
         {"c", "a"}},
        {"unregisters an older client", 2,
         [](ThreeClients& f, RecordingClient&) { f.clients[0]->Unregister(f.distributor, "NID_TEST_A"); },
         {"c", "b"},
         {"c", "b"}},
        {"unregisters a newer client", 1,
         [](ThreeClients& f, RecordingClient&) { f.clients[2]->Unregister(f.distributor, "NID_TEST_A"); },
         {"c", "b", "a"},
         {"b", "a"}},
        {"the newest unregisters everyone", 2,
         [](ThreeClients& f, RecordingClient&) {
             for (const RCPtr<RecordingClient>& client : f.clients)
                 client->Unregister(f.distributor, "NID_TEST_A");
         },
         {"c"},
         {}},
        {"registers a new client", 1,
         [](ThreeClients& f, RecordingClient&) {
             if (f.clients.size() == 3)
             {
                 f.clients.push_back(Vx::MakeRCPtr<RecordingClient>("d", &f.log));
                 f.clients.back()->Register(f.distributor, "NID_TEST_A", 0);
             }
         },
         {"c", "b", "a"},
         {"d", "c", "b", "a"}},
        {"delivers the same id again once", 1,
         [](ThreeClients& f, RecordingClient& self) {
             if (self.mReceived == 1)
                 f.Send();
         },
         // The nested delivery runs its own walk; the outer one still reaches a.
         {"c", "b", "c", "b", "a", "a"},
         {"c", "b", "a"}},
    };
    for (const ReentryCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        TearDown();
        clients.clear();
        log.clear();
        distributor = Vx::MakeRCPtr<Vx::LNotificationDistributor>();
        SetUp();
        clients[static_cast<std::size_t>(c.actor)]->mAction =
            [this, &c](RecordingClient& self, const RCPtr<Vx::LNotificationDistributor>&,
                       const Vx::ConstRCPtr<Vx::LNotification>&) { c.action(*this, self); };
        Send();
        Log first;
        for (const std::string& entry : log)
            first.push_back(entry.substr(0, entry.find(':')));
        EXPECT_EQ(first, c.first);
        log.clear();
        Send();
        Log second;
        for (const std::string& entry : log)
            second.push_back(entry.substr(0, entry.find(':')));
        EXPECT_EQ(second, c.second);
    }
}

TEST_F(ThreeClients, ResultCodesOfNotify)
{
    EXPECT_EQ(Send("NID_TEST_NOBODY"), Vx::VXR_NOTHING_DONE);
    EXPECT_EQ(distributor->Notify(nullptr), Vx::VXR_E_INVALIDARG);
    for (const RCPtr<RecordingClient>& client : clients)
        EXPECT_EQ(client->Unregister(distributor, "NID_TEST_A"), Vx::VXR_OK);
    // The pool stays, empty.
    EXPECT_FALSE(distributor->FindClientPool(Vx::InternNotificationId("NID_TEST_A")).IsNull());
    EXPECT_EQ(Send(), Vx::VXR_NOTHING_DONE);
    EXPECT_TRUE(log.empty());
}

TEST_F(ThreeClients, ReceiverThatThrowsEndsTheDeliveryWithNoLockHeld)
{
    clients[1]->mAction = [](RecordingClient&, const RCPtr<Vx::LNotificationDistributor>&,
                             const Vx::ConstRCPtr<Vx::LNotification>&) { throw std::runtime_error("boom"); };
    EXPECT_THROW(Send(), std::runtime_error);
    EXPECT_EQ(log, (Log{"c:NID_TEST_A", "b:NID_TEST_A"}));
    // Another thread can still register and deliver.
    std::thread other([this] {
        const RCPtr<RecordingClient> late = Vx::MakeRCPtr<RecordingClient>("late", nullptr);
        EXPECT_NE(late->Register(distributor, "NID_TEST_B", 0), nullptr);
        EXPECT_EQ(Send("NID_TEST_B"), Vx::VXR_OK);
        EXPECT_EQ(late->mReceived, 1);
    });
    other.join();
}

TEST(NotificationClient, RegisteringTwiceKeepsOneRecordWithTheNewFlags)
{
    const RCPtr<Vx::LNotificationDistributor> distributor = Vx::MakeRCPtr<Vx::LNotificationDistributor>();
    const RCPtr<RecordingClient> client = Vx::MakeRCPtr<RecordingClient>("a", nullptr);
    const char* id = Vx::InternNotificationId("NID_TEST_A");
    EXPECT_EQ(client->Register(distributor, "NID_TEST_A", 0), id);
    EXPECT_EQ(client->Register(distributor, "NID_TEST_A", 6), id);
    EXPECT_EQ(client->GetRegistrationCount(), 1);
    EXPECT_EQ(client->GetDistributorCount(), 1u);
    EXPECT_EQ(distributor->GetClientCount(), 1);
    std::uint32_t flags = 0;
    EXPECT_EQ(distributor->GetClientFlags(AsReceiver(client), "NID_TEST_A", flags), Vx::VXR_OK);
    EXPECT_EQ(flags, 6u);
    EXPECT_EQ(distributor->FindClientPool(id)->GetFlags(), 6u);
    EXPECT_EQ(client->Unregister(distributor, "NID_TEST_A"), Vx::VXR_OK);
    EXPECT_FALSE(distributor->HasClient(AsReceiver(client)));
    EXPECT_EQ(client->GetRegistrationCount(), 0);
    EXPECT_EQ(client->GetDistributorCount(), 0u);
    EXPECT_EQ(distributor->GetClientFlags(AsReceiver(client), "NID_TEST_A", flags), Vx::VXR_E_FAIL);
    // Only the records held references: both are back to their holders' one.
    EXPECT_EQ(client->GetRefCount(), 1u);
    EXPECT_EQ(distributor->GetRefCount(), 1u);
}

TEST(NotificationClient, BadArgumentsAreRefused)
{
    const RCPtr<Vx::LNotificationDistributor> distributor = Vx::MakeRCPtr<Vx::LNotificationDistributor>();
    const RCPtr<RecordingClient> client = Vx::MakeRCPtr<RecordingClient>("a", nullptr);
    VxTest::CaptureStderr capture;
    EXPECT_EQ(client->Register(RCPtr<Vx::LNotificationDistributor>(), "NID_TEST_A", 0), nullptr);
    EXPECT_EQ(client->Register(distributor, "", 0), nullptr);
    EXPECT_EQ(distributor->AddClient(nullptr, "NID_TEST_A", 0), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(distributor->RemoveClient(nullptr, "NID_TEST_A"), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(distributor->RemoveClient(AsReceiver(client), ""), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(distributor->RemoveClientFromAll(nullptr), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(client->GetRegistrationCount(), 0);
    // Without registrations Unregister does not even look at the distributor.
    EXPECT_EQ(client->Unregister(RCPtr<Vx::LNotificationDistributor>(), "NID_TEST_A"), Vx::VXR_NOTHING_DONE);
    ASSERT_NE(client->Register(distributor, "NID_TEST_A", 0), nullptr);
    EXPECT_EQ(client->Unregister(RCPtr<Vx::LNotificationDistributor>(), "NID_TEST_A"), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(client->Unregister(distributor, nullptr), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(client->Unregister(distributor, "NID_TEST_OTHER"), Vx::VXR_NOTHING_DONE);
    const std::string err = capture.Finish();
    EXPECT_NE(err.find("JUCE Assertion failure in NotificationClient.cpp:"), std::string::npos) << err;
    EXPECT_NE(err.find("JUCE Assertion failure in NotificationDistributor.cpp:"), std::string::npos) << err;
    EXPECT_EQ(client->GetRegistrationCount(), 1);
    client->UnregisterAll();
}

TEST(NotificationClient, PostedOnlyClientIsSkippedBySynchronousDelivery)
{
    Log log;
    const RCPtr<Vx::LNotificationDistributor> distributor = Vx::MakeRCPtr<Vx::LNotificationDistributor>();
    const RCPtr<RecordingClient> posted = Vx::MakeRCPtr<RecordingClient>("posted", &log);
    const RCPtr<RecordingClient> normal = Vx::MakeRCPtr<RecordingClient>("normal", &log);
    posted->Register(distributor, "NID_TEST_A", Vx::kNotificationPostedOnly);
    normal->Register(distributor, "NID_TEST_A", 0);
    EXPECT_EQ(distributor->Notify(MakeNotification("NID_TEST_A")), Vx::VXR_OK);
    EXPECT_EQ(log, Log{"normal:NID_TEST_A"});
    normal->Unregister(distributor, "NID_TEST_A");
    // A pool with only skipped records still counts as delivered.
    EXPECT_EQ(distributor->Notify(MakeNotification("NID_TEST_A")), Vx::VXR_OK);
    EXPECT_EQ(log.size(), 1u);
}

TEST(NotificationDistributorRegistry, HoldsADistributorExactlyWhileItHasClients)
{
    const RCPtr<Vx::LNotificationDistributor> distributor = Vx::MakeRCPtr<Vx::LNotificationDistributor>();
    const RCPtr<RecordingClient> client = Vx::MakeRCPtr<RecordingClient>("a", nullptr);
    EXPECT_FALSE(distributor->IsInRegistry());
    client->Register(distributor, "NID_TEST_A", 0);
    client->Register(distributor, "NID_TEST_B", 0);
    EXPECT_TRUE(distributor->IsInRegistry());
    // Registry, two records: all of them the distributor's own parts.
    EXPECT_EQ(distributor->GetRefCount(), 4u);
    EXPECT_EQ(distributor->GetContainedRefCount(), 3u);
    client->Unregister(distributor, "NID_TEST_A");
    EXPECT_TRUE(distributor->IsInRegistry());
    client->Unregister(distributor, "NID_TEST_B");
    EXPECT_FALSE(distributor->IsInRegistry());
    EXPECT_EQ(distributor->GetRefCount(), 1u);
    client->Register(distributor, "NID_TEST_A", 0);
    EXPECT_TRUE(distributor->IsInRegistry());
    client->UnregisterAll();
    EXPECT_FALSE(distributor->IsInRegistry());
}

TEST(NotificationLifetime, ClientLeavesEveryDistributorWhenItsLastOutsideReferenceGoes)
{
    int destroyed = 0;
    std::vector<RCPtr<Vx::LNotificationDistributor>> distributors;
    RCPtr<RecordingClient> client = Vx::MakeRCPtr<RecordingClient>("a", nullptr, &destroyed);
    for (int i = 0; i < 3; ++i)
    {
        distributors.push_back(Vx::MakeRCPtr<Vx::LNotificationDistributor>());
        client->Register(distributors.back(), "NID_TEST_A", 0);
        client->Register(distributors.back(), "NID_TEST_B", 0);
    }
    EXPECT_EQ(client->GetRegistrationCount(), 6);
    EXPECT_EQ(client->GetRefCount(), 7u);
    client = nullptr;
    EXPECT_EQ(destroyed, 1);
    for (const RCPtr<Vx::LNotificationDistributor>& distributor : distributors)
    {
        EXPECT_EQ(distributor->GetClientCount(), 0);
        EXPECT_FALSE(distributor->IsInRegistry());
        EXPECT_EQ(distributor->GetRefCount(), 1u);
        EXPECT_EQ(distributor->Notify(MakeNotification("NID_TEST_A")), Vx::VXR_NOTHING_DONE);
    }
}

TEST(NotificationLifetime, DistributorLetsItsClientsGoWhenItsLastOutsideReferenceGoes)
{
    int distributorsDestroyed = 0;
    int clientsDestroyed = 0;
    RCPtr<Vx::LNotificationDistributor> distributor = Vx::MakeRCPtr<CountedDistributor>(&distributorsDestroyed);
    const RCPtr<Vx::LNotificationDistributor> other = Vx::MakeRCPtr<Vx::LNotificationDistributor>();
    RCPtr<RecordingClient> client = Vx::MakeRCPtr<RecordingClient>("a", nullptr, &clientsDestroyed);
    client->Register(distributor, "NID_TEST_A", 0);
    client->Register(distributor, "NID_TEST_B", 0);
    client->Register(other, "NID_TEST_A", 0);
    distributor = nullptr;
    EXPECT_EQ(distributorsDestroyed, 1);
    EXPECT_EQ(client->GetRegistrationCount(), 1);
    EXPECT_EQ(client->GetDistributorCount(), 1u);
    client = nullptr;
    EXPECT_EQ(clientsDestroyed, 1);
    EXPECT_EQ(other->GetClientCount(), 0);
}

TEST(NotificationLifetime, DistributorWithAPostingReceiverIsFreed)
{
    int destroyed = 0;
    RCPtr<Vx::LNotificationDistributor> distributor = Vx::MakeRCPtr<CountedDistributor>(&destroyed);
    RCPtr<Vx::LNotificationQueue> queue = Vx::MakeRCPtr<Vx::LNotificationQueue>();
    EXPECT_EQ(distributor->AddClient(queue->GetPostingReceiver(), "NID_TEST_A", 0), Vx::VXR_OK);
    distributor = nullptr;
    EXPECT_EQ(destroyed, 1);
    queue = nullptr;
}

TEST(NotificationLifetime, DistributorReleasedByItsOwnReceiverOutlivesTheDelivery)
{
    Log log;
    int destroyed = 0;
    RCPtr<Vx::LNotificationDistributor> distributor = Vx::MakeRCPtr<CountedDistributor>(&destroyed);
    const RCPtr<RecordingClient> older = Vx::MakeRCPtr<RecordingClient>("older", &log);
    const RCPtr<RecordingClient> newer = Vx::MakeRCPtr<RecordingClient>("newer", &log);
    older->Register(distributor, "NID_TEST_A", 0);
    newer->Register(distributor, "NID_TEST_A", 0);
    newer->mAction = [&distributor](RecordingClient&, const RCPtr<Vx::LNotificationDistributor>&,
                                    const Vx::ConstRCPtr<Vx::LNotification>&) { distributor = nullptr; };
    Vx::LNotificationDistributor* raw = distributor.Get();
    EXPECT_EQ(raw->Notify(MakeNotification("NID_TEST_A")), Vx::VXR_OK);
    // The delivery finished on a live object, then it went.
    EXPECT_EQ(log, (Log{"newer:NID_TEST_A", "older:NID_TEST_A"}));
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(older->GetRegistrationCount(), 0);
    EXPECT_EQ(newer->GetRegistrationCount(), 0);
    newer->mAction = nullptr;
}

TEST(NotificationConcurrency, DistributorsOnSeveralThreadsEnterAndLeaveTheRegistry)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
    {
        threads.emplace_back([] {
            const RCPtr<Vx::LNotificationDistributor> distributor = Vx::MakeRCPtr<Vx::LNotificationDistributor>();
            const RCPtr<RecordingClient> client = Vx::MakeRCPtr<RecordingClient>("c", nullptr);
            for (int i = 0; i < 500; ++i)
            {
                client->Register(distributor, "NID_TEST_A", 0);
                EXPECT_TRUE(distributor->IsInRegistry());
                client->Unregister(distributor, "NID_TEST_A");
                EXPECT_FALSE(distributor->IsInRegistry());
            }
            EXPECT_EQ(distributor->GetRefCount(), 1u);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
}

TEST(NotificationConcurrency, DeliveriesOnSeveralThreadsWhileClientsComeAndGo)
{
    const RCPtr<Vx::LNotificationDistributor> distributor = Vx::MakeRCPtr<Vx::LNotificationDistributor>();
    std::vector<RCPtr<RecordingClient>> steady;
    std::atomic<int> calls{0};
    for (int i = 0; i < 4; ++i)
    {
        steady.push_back(Vx::MakeRCPtr<RecordingClient>("steady", nullptr));
        steady.back()->mAction = [&calls](RecordingClient&, const RCPtr<Vx::LNotificationDistributor>&,
                                          const Vx::ConstRCPtr<Vx::LNotification>&) { ++calls; };
        steady.back()->Register(distributor, "NID_TEST_A", 0);
    }
    constexpr int kSends = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t)
    {
        threads.emplace_back([&distributor] {
            const RCPtr<Vx::LNotification> notification = MakeNotification("NID_TEST_A");
            for (int i = 0; i < kSends; ++i)
                distributor->Notify(notification);
        });
    }
    threads.emplace_back([&distributor] {
        // Its own client each time: a client registers on one thread at a time.
        for (int i = 0; i < 500; ++i)
        {
            const RCPtr<RecordingClient> transient = Vx::MakeRCPtr<RecordingClient>("transient", nullptr);
            transient->Register(distributor, "NID_TEST_A", 0);
            transient->Unregister(distributor, "NID_TEST_A");
        }
    });
    for (std::thread& thread : threads)
        thread.join();
    // Every steady client is reached by every delivery, whatever moved around it.
    EXPECT_EQ(calls.load(), 2 * kSends * 4);
    EXPECT_EQ(distributor->GetClientCount(), 4);
    for (const RCPtr<RecordingClient>& client : steady)
        client->mAction = nullptr;
}
} // namespace
